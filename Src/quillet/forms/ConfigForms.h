#pragma once
// The forms of the connection window's configuration dialogs: which item columns are
// shown and in what order, how often the item list refreshes, and which log
// categories are kept and where the log file goes.
#include "quillet/forms/Columns.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/UiServices.h"

#include <array>
#include <string>
#include <vector>

namespace quillet { class StringTable; }

// "Select Columns": two lists of column ids; a double click moves an entry to the end
// of the other list. Apply edits the set: the enabled list's order is the columns'.
class CSelectColumnsDlg final : public quillet::DialogForm {
public:
    explicit CSelectColumnsDlg(CColumnSet& set);
    UINT DialogId() const override { return quillet::dlg::IDD_SELECT_COLUMNS; }
    const std::string& Title(int id) const { return m_set[id].title; }
    // Moves entry index of the list (IDC_DISABLED_COLUMNS or IDC_ENABLED_COLUMNS).
    void Move(UINT list, int index);
    void Apply();

    std::vector<int> disabled;
    std::vector<int> enabled;

private:
    CColumnSet& m_set;
};

// "Change View Update Timer".
class CUpdateTimerDlg final : public quillet::DialogForm {
public:
    CUpdateTimerDlg(const quillet::StringTable& texts, DWORD periodMs);
    UINT DialogId() const override { return quillet::dlg::IDD_UPDATE_TIMER; }
    // OK: true when the period lies in 10..5000; else the message says so and the
    // dialog stays open.
    bool Validate();
    DWORD Period() const;

    std::string periodText;
    std::string message;

private:
    const quillet::StringTable& m_texts;
};

// "Configure Log".
class CLogConfigDlg final : public quillet::DialogForm {
public:
    struct Check {
        UINT control;
        DWORD bit;
        bool checked;
    };
    CLogConfigDlg(DWORD mask, std::string path);
    UINT DialogId() const override { return quillet::dlg::IDD_LOG_CONFIG; }
    // "...": a log file chosen in a file dialog replaces the path.
    void Browse(quillet::UiServices& ui);
    void SetChecked(UINT control, bool checked);
    // The mask the confirmed dialog gives: the checked bits and the run average, and
    // nothing else (server information messages are off from then on).
    DWORD Mask() const;

    std::array<Check, 18> checks;
    std::string path;
};
