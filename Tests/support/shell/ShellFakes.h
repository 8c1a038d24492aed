#pragma once
// Stand-ins for what a desktop shows: message boxes answered from a list,
// file pickers that give a path (or Cancel), and the configuration dialogs as
// scripted edits. Each installs itself for its lifetime.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kestrun/model/DeviceObject.h"
#include "kestrun/shell/forms/ConfigDialogs.h"
#include "kestrun/shell/forms/DeviceDialogs.h"
#include "kestrun/shell/forms/DeviceSettingsDialogs.h"
#include "kestrun/shell/forms/DialogForm.h"
#include "kestrun/shell/app/FileDialog.h"
#include "kestrun/shell/forms/FolderPicker.h"
#include "kestrun/shell/app/MessageBox.h"

namespace testsupport {

// Answers the boxes from a list (then the default answer) and keeps their texts.
class ScriptedAnswers final : public shell::MessageBoxPresenter {
public:
    explicit ScriptedAnswers(std::deque<int> answers = {}) : m_answers(std::move(answers))
    {
        m_previous = shell::InstallMessageBoxPresenter(this);
    }
    ~ScriptedAnswers() override { shell::InstallMessageBoxPresenter(m_previous); }
    int Show(const std::string& text, const std::string&, unsigned, int defaultAnswer) override
    {
        asked.push_back(text);
        if (m_answers.empty())
            return defaultAnswer;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    std::vector<std::string> asked;

private:
    std::deque<int> m_answers;
    shell::MessageBoxPresenter* m_previous = nullptr;
};

// Gives the next path of the list; an empty list (or an empty path) is Cancel.
class ScriptedFileDialogs final : public shell::FileDialogPresenter {
public:
    explicit ScriptedFileDialogs(std::deque<std::string> paths = {}) : paths(std::move(paths))
    {
        m_previous = shell::InstallFileDialogPresenter(this);
    }
    ~ScriptedFileDialogs() override { shell::InstallFileDialogPresenter(m_previous); }
    bool Show(const shell::FileDialogRequest& request, std::string& strPath) override
    {
        requests.push_back(request);
        if (paths.empty())
            return false;
        strPath = paths.front();
        paths.pop_front();
        return !strPath.empty();
    }
    std::deque<std::string> paths;
    std::vector<shell::FileDialogRequest> requests;

private:
    shell::FileDialogPresenter* m_previous = nullptr;
};

// The device and block dialogs run their edit when one is set and then OK, as
// the dialog does: the caller's apply step takes the values, and a refusal is
// shown and ends the dialog as Cancel. The rest are cancelled.
class ScriptedConfigDialogs final : public shell::ConfigDialogs {
public:
    ScriptedConfigDialogs() { m_previous = shell::InstallConfigDialogs(this); }
    ~ScriptedConfigDialogs() override { shell::InstallConfigDialogs(m_previous); }
    bool EditDevice(CdsDeviceObjectDlg& dialog, bool bNew) override { return Run(device, dialog.m_values, bNew); }
    bool EditBlock(CdsMemoryArrayDlg& dialog, bool bNew) override { return Run(block, dialog.m_values, bNew); }
    bool EditTimeouts(CdsTimeoutDlg& dialog) override
    {
        if (!timeouts)
            return false;
        timeouts(dialog.m_values);
        return true;
    }
    bool EditCommandDiag(CdsCommandDiagDlg&) override { return false; }
    bool EditRedundancy(CdsRedundancyDlg&) override { return false; }

    std::function<void(shell::DeviceDialogFields&, bool)> device;
    std::function<void(shell::BlockDialogFields&, bool)> block;
    std::function<void(shell::TimeoutDialogFields&)> timeouts; // set: edits, then OK
    int shown = 0;

private:
    template <typename Fields>
    bool Run(const std::function<void(Fields&, bool)>& edit, Fields& f, bool bNew)
    {
        ++shown;
        if (!edit)
            return false;
        edit(f, bNew);
        if (!f.apply)
            return true;
        const std::string refusal = f.apply(f);
        if (!refusal.empty())
            svcMessageBox(refusal, shell::MB_OK, shell::IDOK);
        return refusal.empty();
    }
    shell::ConfigDialogs* m_previous = nullptr;
};

// Fills forms as a user would: after OnInitDialog each step edits the form and
// presses OK; a refused OK leaves the dialog open for the next step, and with
// no step left the dialog is cancelled. The folder picker runs its own script.
class ScriptedForms final : public shell::FormPresenter {
public:
    using Step = std::function<void(shell::DialogForm&)>;
    ScriptedForms() { m_previous = shell::InstallFormPresenter(this); }
    ~ScriptedForms() override { shell::InstallFormPresenter(m_previous); }
    int Run(shell::DialogForm& form) override
    {
        ++shown;
        if (!form.OnInitDialog())
            return shell::IDCANCEL;
        while (!steps.empty()) {
            Step step = std::move(steps.front());
            steps.pop_front();
            step(form);
            if (form.OnOK())
                return shell::IDOK;
            ++refused;
        }
        return shell::IDCANCEL;
    }
    int RunFolderPicker(shell::COXFolderPickerDlg& picker) override
    {
        ++pickers;
        return picker_ ? picker_(picker) : shell::IDCANCEL;
    }
    // Steps that only press OK.
    void PressOk(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            steps.push_back([](shell::DialogForm&) {});
    }

    std::deque<Step> steps;
    std::function<int(shell::COXFolderPickerDlg&)> picker_;
    int shown = 0;
    int refused = 0;
    int pickers = 0;

private:
    shell::FormPresenter* m_previous = nullptr;
};

// A program's command diagnostics dialog: applies the framework's values and
// notes the name of every device it is applied to.
class NotingDiagDlg final : public CdsCommandDiagDlg {
public:
    explicit NotingDiagDlg(std::vector<std::string>& applied) : m_applied(applied) {}
    void OnUpdateDevice(CdsDeviceObject& device) const override
    {
        CdsCommandDiagDlg::OnUpdateDevice(device);
        m_applied.push_back(device.m_strName);
    }

private:
    std::vector<std::string>& m_applied;
};

} // namespace testsupport
