#pragma once
// What the test client asks of its windows: message boxes, the wait cursor, file
// dialogs and modal dialogs. The windows supply the real one; tests supply one that
// records and answers. Every call is made on the application thread.
#include "platform/win/WinTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

// The data of one modal dialog: its fields, their checks and what it gives back.
// A window shows it by its template id; a test fills it in directly.
class DialogForm {
public:
    virtual ~DialogForm() = default;
    virtual UINT DialogId() const = 0;
};

struct FileDialogSpec {
    bool open = true;         // open, else save
    std::string defaultExt;   // without the dot
    std::string initialFile;
    std::string filter;       // "Text (*.x)|*.x|All Files (*.*)|*.*||"
};

class UiServices {
public:
    virtual ~UiServices() = default;
    // Shows text and waits for the answer. A box without a caption of its own carries
    // the program's name.
    virtual PromptAnswer MessageBox(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                                    std::string_view caption = {}) = 0;
    // Nests: the cursor waits while any holder does.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // Nests: the main window takes no input while any holder keeps it disabled.
    virtual void DisableMainWindow() = 0;
    virtual void EnableMainWindow() = 0;
    // The chosen path; nothing when cancelled.
    virtual std::optional<std::string> FileDialog(const FileDialogSpec& spec) = 0;
    // Runs the dialog of the form modally; true when it was confirmed.
    virtual bool RunDialog(DialogForm& form) = 0;
    // A call to a server waits on this thread, nothing else of the program running
    // meanwhile: the windows keep painting and take no input but, once text is given,
    // show it with a way to cancel. Called every few ms; false when the user cancelled.
    virtual bool CallWaiting(std::string_view /*text*/) { return true; }
    // The wait is over: the windows are as before it.
    virtual void EndCallWait() {}
};

// The wait cursor for a scope.
class WaitCursor {
public:
    explicit WaitCursor(UiServices& ui) : m_ui(ui) { m_ui.BeginWaitCursor(); }
    ~WaitCursor() { m_ui.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    UiServices& m_ui;
};

// The main window disabled for a scope.
class MainWindowDisabled {
public:
    explicit MainWindowDisabled(UiServices& ui) : m_ui(ui) { m_ui.DisableMainWindow(); }
    ~MainWindowDisabled() { m_ui.EnableMainWindow(); }
    MainWindowDisabled(const MainWindowDisabled&) = delete;
    MainWindowDisabled& operator=(const MainWindowDisabled&) = delete;

private:
    UiServices& m_ui;
};

} // namespace quillet
