#include "kestrun/shell/forms/HistoryCombo.h"

#include <algorithm>
#include <filesystem>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/OptionHost.h"
#include "platform/registry/Profile.h"

namespace shell {

namespace {

constexpr const char* kHistoryKey = "HistoryCombo";
constexpr char kSeparator = '|';

std::string CurrentFolder()
{
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

} // namespace

COXHistoryCombo::COXHistoryCombo(EToolbarPosition position, bool bFlush)
    : m_position(position >= TBPNone && position <= TBPVerticalRightBottom ? position : TBPHorizontalTopLeft),
      m_bFlush(bFlush), m_strInitialFolder(CurrentFolder())
{
}

void COXHistoryCombo::Notify(int nCode) const
{
    if (onNotify)
        onNotify(nCode);
}

void COXHistoryCombo::SetCurSel(int nIndex)
{
    m_nCurSel = nIndex >= 0 && nIndex < GetCount() ? nIndex : -1;
    if (m_nCurSel >= 0)
        m_strEdit = m_items[static_cast<std::size_t>(m_nCurSel)];
}

bool COXHistoryCombo::AddNewItem(const std::string& text)
{
    const std::string item = text.empty() ? m_strEdit : text;
    if (item.empty())
        return false;
    auto it = std::find(m_items.begin(), m_items.end(), item);
    const bool bNew = it == m_items.end();
    if (!bNew)
        m_items.erase(it);
    m_items.insert(m_items.begin(), item);
    if (GetCount() > m_nMaxHistory)
        m_items.resize(static_cast<std::size_t>(std::max(m_nMaxHistory, 0)));
    SetCurSel(0);
    return bNew;
}

bool COXHistoryCombo::DeleteItem(int nIndex)
{
    if (nIndex < 0)
        nIndex = m_nCurSel;
    if (nIndex < 0 || nIndex >= GetCount())
        return false;
    m_items.erase(m_items.begin() + nIndex);
    if (nIndex < GetCount()) {
        SetCurSel(nIndex);
        Notify(CBN_SELCHANGE);
    } else {
        SetCurSel(nIndex - 1);
        if (m_nCurSel < 0)
            m_strEdit.clear();
    }
    return true;
}

bool COXHistoryCombo::BrowseItem()
{
    CFileDialogEx dialog(m_bOpen, m_strDefExt, m_strFileName, m_dwFlags, m_strFilter);
    dialog.SetInitialDir(m_strInitialFolder);
    if (dialog.DoModal() != IDOK)
        return false;
    m_strEdit = dialog.GetPathName();
    Notify(CBN_EDITCHANGE);
    return true;
}

bool COXHistoryCombo::IsButtonEnabled(int nButton) const
{
    if (!m_bEnabled)
        return false;
    switch (nButton) {
    case kNew: return CanAddNewItem();
    case kDelete: return CanDeleteItem();
    case kBrowse: return CanBrowseItem();
    default: return false;
    }
}

bool COXHistoryCombo::OnToolbarCommand(UINT nId)
{
    const int button = static_cast<int>(nId) - static_cast<int>(ID_HISTORY_NEW);
    if (button < 0 || button >= kReserved2 + 1)
        return false;
    if (!IsButtonEnabled(button))
        return true;
    switch (button) {
    case kNew: AddNewItem(); break;
    case kDelete: DeleteItem(); break;
    case kBrowse: BrowseItem(); break;
    default: break;
    }
    return true;
}

const char* COXHistoryCombo::GetButtonTooltip(int nButton)
{
    static const char* const kTips[] = {"Add a new item\nAdd", "Delete this item\nDelete (Delete)",
                                        "Browse for a file\nBrowse", "Reserved 1\nReserved", "Reserved 2\nReserved"};
    return nButton >= 0 && nButton <= kReserved2 ? kTips[nButton] : "";
}

std::string COXHistoryCombo::GetButtonTip(int nButton)
{
    const std::string text = GetButtonTooltip(nButton);
    const std::size_t newline = text.find('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

void COXHistoryCombo::SetMaxHistoryCount(int nCount)
{
    m_nMaxHistory = std::max(nCount, 0);
    if (GetCount() > m_nMaxHistory)
        m_items.resize(static_cast<std::size_t>(m_nMaxHistory));
    if (m_nCurSel >= GetCount())
        m_nCurSel = -1;
}

void COXHistoryCombo::ShowButton(int nButton, bool bShow)
{
    if (nButton >= 0 && nButton < kButtonCount)
        m_shown[nButton] = bShow;
}

bool COXHistoryCombo::IsButtonShown(int nButton) const { return nButton >= 0 && nButton < kButtonCount && m_shown[nButton]; }

void COXHistoryCombo::SetFileDialogParams(bool bOpen, std::string strDefExt, std::string strFileName, DWORD dwFlags,
                                          std::string strFilter)
{
    m_bOpen = bOpen;
    m_strDefExt = std::move(strDefExt);
    m_strFileName = std::move(strFileName);
    m_dwFlags = dwFlags;
    m_strFilter = std::move(strFilter);
}

std::string COXHistoryCombo::KeyPath(const std::string& strCompany, const std::string& strApplication) const
{
    const registry::Profile& profile = CurrentProfile();
    const std::string company = strCompany.empty() ? profile.RegistryKey() : strCompany;
    const std::string application = strApplication.empty() ? profile.ProfileName() : strApplication;
    return "Software\\" + company + "\\" + application + "\\" + kHistoryKey;
}

bool COXHistoryCombo::SaveContents(const std::string& strValueName, const std::string& strCompany,
                                   const std::string& strApplication, registry::Hive hive, bool bFlag)
{
    if (bFlag)
        AddNewItem();
    // The stored form joins entries with "|": an entry holding one would come back as two.
    std::string joined;
    for (const std::string& item : m_items) {
        if (item.find(kSeparator) != std::string::npos)
            continue;
        joined += (joined.empty() ? "" : std::string(1, kSeparator)) + item;
    }
    registry::Registry& store = CurrentProfile().Store();
    const std::string path = KeyPath(strCompany, strApplication);
    if (joined.empty()) {
        const registry::Status status = store.DeleteValue(hive, path, strValueName);
        return status == registry::Status::Ok || status == registry::Status::NotFound;
    }
    return store.SetValue(hive, path, strValueName, registry::Value::String(joined)) == registry::Status::Ok;
}

bool COXHistoryCombo::RestoreContents(const std::string& strValueName, const std::string& strCompany,
                                      const std::string& strApplication, registry::Hive hive, bool bFlag)
{
    m_items.clear();
    m_nCurSel = -1;
    registry::Value value;
    const registry::Status status =
        CurrentProfile().Store().QueryValue(hive, KeyPath(strCompany, strApplication), strValueName, value);
    if (status == registry::Status::NotFound)
        return true;
    if (status != registry::Status::Ok || value.type != registry::ValueType::String)
        return false;
    std::size_t start = 0;
    for (std::size_t bar; start <= value.text.size(); start = bar + 1) {
        bar = value.text.find(kSeparator, start);
        if (bar == std::string::npos)
            bar = value.text.size();
        if (bar > start && GetCount() < m_nMaxHistory)
            m_items.push_back(value.text.substr(start, bar - start));
    }
    if (bFlag && !m_items.empty())
        SetCurSel(0);
    return true;
}

void COXHistoryCombo::SetAutoPersistent(const std::string& strValueName, const std::string& strCompany,
                                        const std::string& strApplication)
{
    m_bAutoPersist = true;
    m_strValueName = strValueName;
    m_strCompany = strCompany;
    m_strApplication = strApplication;
    if (m_bWindow)
        RestoreContents(m_strValueName, m_strCompany, m_strApplication);
}

void COXHistoryCombo::OnCreate() { m_bWindow = true; }

void COXHistoryCombo::OnDestroy()
{
    if (m_bWindow && m_bAutoPersist)
        SaveContents(m_strValueName, m_strCompany, m_strApplication);
    m_bWindow = false;
}

} // namespace shell
