#pragma once
// The main window without its widgets: the title, the status bar panes, and the
// commands that need no connection window (connect, file open and save, the recent
// files, about). Commands a connection window's table lacks end here. Application
// thread only.
#include "quillet/views/CommandTable.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CQuilletApp;
class CQuilletDoc;

// Who runs a command chosen in the main window.
enum class CommandRoute {
    Exit,    // the main window closes, as its close button does
    Window,  // the active connection window
    Frame,   // the main frame
};

class CMainFrame {
public:
    // The status bar: the message pane, then caps, num and scroll lock.
    static constexpr std::array<std::string_view, 4> kIndicators = {"", "CAP", "NUM", "SCRL"};
    // A lock pane names its key only while the lock is known to be on; an unknown state
    // (the windowing system does not tell it) shows as off.
    static std::string_view IndicatorText(std::size_t pane, std::optional<bool> on)
    {
        return pane < kIndicators.size() && on.value_or(false) ? kIndicators[pane] : std::string_view();
    }

    explicit CMainFrame(CQuilletApp& app);
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    std::string Title() const;
    const quillet::CommandTable& Commands() const { return m_commands; }
    // The main window's own commands: the table's, then Exit.
    std::vector<UINT> CommandIds() const;
    // Exit is the main window's; the active connection window's table (null: none is
    // open) runs what it holds; the rest run here.
    static CommandRoute Route(UINT id, const quillet::CommandTable* window);
    // The document of the active connection window; null when none is open.
    void SetActiveDocument(CQuilletDoc* doc) { m_pActive = doc; }
    CQuilletDoc* ActiveDocument() const;

    // The server selection dialog, then a connection unless one to the same server
    // on the same node is open; that one is connected again when it was lost. The new
    // or reconnected document, or null.
    CQuilletDoc* OnConnect();
    void OnRecentFile(std::size_t index);
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnFileClose();
    void OnAbout();
    // Closes the document as File Close does, making it the active one first; false
    // when it stays open (saving was refused or failed).
    bool CloseDocument(CQuilletDoc& doc);
    // The exit rule: every connection closes as File Close does, the newest first. False
    // when one stays open: the program keeps running with that document active.
    bool CloseAll();
    // A signal ends the program: from now on nobody is asked. A modified
    // document is written to a recovery copy under the data folder's
    // "quillet/recovery" (never to its own file) before it closes, and the copy's
    // path goes to standard error and the document's log.
    void QuitWithoutQuestions() { m_bQuitting = true; }
    bool IsQuitting() const { return m_bQuitting; }
    // The recent-file entry's menu text (its path shortened to fit); empty for an
    // unused entry.
    std::string RecentFileText(std::size_t index) const;

private:
    // Closes the active document unless it is modified and saving is refused or
    // fails; false when it stays.
    bool CloseActive();
    bool Save(CQuilletDoc& doc, bool askName);
    bool SaveRecoveryCopy(CQuilletDoc& doc);
    void Open(const std::string& path);

    CQuilletApp& m_app;
    CQuilletDoc* m_pActive = nullptr;
    quillet::CommandTable m_commands;
    bool m_bQuitting = false;
};
