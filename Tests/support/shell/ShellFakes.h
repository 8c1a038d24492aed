#pragma once
// Stand-ins for what a desktop shows: message boxes answered from a list,
// file pickers that give a path (or Cancel), and the configuration dialogs as
// scripted edits. Each installs itself for its lifetime.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kestrun/shell/ConfigDialogs.h"
#include "kestrun/shell/FileDialog.h"
#include "kestrun/shell/MessageBox.h"

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

// The device and block dialogs run their edit when one is set (OK); the rest are cancelled.
class ScriptedConfigDialogs final : public shell::ConfigDialogs {
public:
    ScriptedConfigDialogs() { m_previous = shell::InstallConfigDialogs(this); }
    ~ScriptedConfigDialogs() override { shell::InstallConfigDialogs(m_previous); }
    bool EditDevice(shell::DeviceDialogFields& f, bool bNew) override { return Run(device, f, bNew); }
    bool EditBlock(shell::BlockDialogFields& f, bool bNew) override { return Run(block, f, bNew); }
    bool EditTimeouts(shell::TimeoutDialogFields&) override { return false; }
    bool EditCommandDiag(shell::CommandDiagDialogFields&) override { return false; }
    bool EditRedundancy(shell::RedundancyDialogFields&) override { return false; }

    std::function<void(shell::DeviceDialogFields&, bool)> device;
    std::function<void(shell::BlockDialogFields&, bool)> block;
    int shown = 0;

private:
    template <typename Fields>
    bool Run(const std::function<void(Fields&, bool)>& edit, Fields& f, bool bNew)
    {
        ++shown;
        if (!edit)
            return false;
        edit(f, bNew);
        return true;
    }
    shell::ConfigDialogs* m_previous = nullptr;
};

} // namespace testsupport
