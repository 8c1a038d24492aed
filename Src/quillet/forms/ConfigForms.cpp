#include "quillet/forms/ConfigForms.h"

#include "quillet/doc/LogCategory.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/VariantText.h"

#include <algorithm>

// ---- select columns ----

CSelectColumnsDlg::CSelectColumnsDlg(CColumnSet& set) : m_set(set)
{
    for (const CColumnInfo& c : set)
        if (!c.enabled) disabled.push_back(c.id);
    CColumnSet copy = set;
    enabled = quillet::ArrangeColumns(copy);
}

void CSelectColumnsDlg::Move(UINT list, int index)
{
    std::vector<int>& from = list == quillet::ctl::IDC_ENABLED_COLUMNS ? enabled : disabled;
    std::vector<int>& to = &from == &enabled ? disabled : enabled;
    if (index < 0 || std::size_t(index) >= from.size()) return;
    to.push_back(from[index]);
    from.erase(from.begin() + index);
}

void CSelectColumnsDlg::Apply()
{
    for (int id : disabled) m_set[id].enabled = false;
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        m_set[enabled[i]].enabled = true;
        m_set[enabled[i]].position = int(i);
    }
}

// ---- update timer ----

CUpdateTimerDlg::CUpdateTimerDlg(const quillet::StringTable& texts, DWORD periodMs)
    : periodText(std::to_string(int(periodMs))), message(texts.Text(quillet::IDS_TIMER_HINT)), m_texts(texts)
{
}

bool CUpdateTimerDlg::Validate()
{
    const long long period = quillet::LeadingInteger(periodText);
    if (period >= 10 && period <= 5000) return true;
    message = m_texts.Text(quillet::IDS_TIMER_RANGE);
    return false;
}

DWORD CUpdateTimerDlg::Period() const { return DWORD(quillet::LeadingInteger(periodText)); }

// ---- log ----

CLogConfigDlg::CLogConfigDlg(DWORD mask, std::string logPath)
    : checks{{{1075, quillet::LOG_ITEM_ADD, false},
              {1076, quillet::LOG_ITEM_REMOVE, false},
              {1077, quillet::LOG_ITEM_ERROR, false},
              {1078, quillet::LOG_ITEM_INACTIVE_UPDATE, false},
              {1079, quillet::LOG_GROUP_ADD, false},
              {1080, quillet::LOG_GROUP_REMOVE, false},
              {1081, quillet::LOG_GROUP_ERROR, false},
              {1082, quillet::LOG_SYNC_WRITE, false},
              {1083, quillet::LOG_SYNC_READ, false},
              {1084, quillet::LOG_ASYNC_REFRESH, false},
              {1086, quillet::LOG_ASYNC_WRITE, false},
              {1085, quillet::LOG_ASYNC_READ, false},
              {1087, quillet::LOG_ASYNC_CANCEL, false},
              {1088, quillet::LOG_TRANSACTION_TIMEOUT, false},
              {1089, quillet::LOG_SUBSCRIPTION, false},
              {1090, quillet::LOG_ASYNC_READ_COMPLETE, false},
              {1091, quillet::LOG_WRITE_COMPLETE, false},
              {1092, quillet::LOG_TRANSACTION_COMPLETE, false}}}
    , path(std::move(logPath))
{
    for (Check& c : checks) c.checked = (mask & c.bit) != 0;
}

void CLogConfigDlg::Browse(quillet::UiServices& ui)
{
    quillet::FileDialogSpec spec{true, "log", path, "Log Output File(*.log)|*.log|All Files (*.*)|*.*||"};
    if (auto chosen = ui.FileDialog(spec)) path = *chosen;
}

void CLogConfigDlg::SetChecked(UINT control, bool checked)
{
    for (Check& c : checks)
        if (c.control == control) c.checked = checked;
}

DWORD CLogConfigDlg::Mask() const
{
    DWORD mask = quillet::LOG_RUN_AVERAGE;
    for (const Check& c : checks)
        if (c.checked) mask |= c.bit;
    return mask;
}
