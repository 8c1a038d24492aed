#pragma once
// The log view as a core object: the lower pane of the main window. It shows
// one line per log call, stamped with the local time and the kind, keeps only
// the last few dozen lines, copies every shown line into one log file a day
// when asked to, and turns view hints into readable lines. Its window (a text
// widget, or standard output without a display) mirrors the text it holds.
//
// Application thread only. Line threads reach it through its window key with
// the engine messages 0x464 (log line), 0x465 (hint) and 0x466 (filter); the
// free functions below post to it from other threads themselves.
#include <atomic>
#include <memory>
#include <string>

#include "kestrun/shell/server/LogFile.h"
#include "kestrun/shell/server/LogText.h"
#include "kestrun/shell/app/ProcessWide.h"
#include "kestrun/shell/app/View.h"
#include "kestrun/shell/app/Windows.h"
#include "platform/win/Clock.h"

class CdsServerDoc;

class CdsLogView : public shell::View {
public:
    // Colours as 0xRRGGBB: white on navy.
    static constexpr unsigned kTextColour = 0xFFFFFF;
    static constexpr unsigned kBackColour = 0x000080;

    // The view's menu commands; each toggles or sets its filter, logs an Info
    // line and stores the option.
    enum class Command { Events, Actions, Commands, Errors, InitValues, LogToFile, NoTrace, TraceSimple, TraceDetail };

    CdsLogView();
    ~CdsLogView() override;

    // The log view of the process, or null. Application thread only.
    static CdsLogView* GetLogView() { return s_pView.load(); }

    void SetWindow(std::unique_ptr<shell::LogWindow> pWindow) { m_pWindow = std::move(pWindow); }
    CdsServerDoc* GetServerDoc() const;

    // Forms the line of the kind; when the kind's filter lets it through the
    // line is shown (the oldest lines cut as needed) and, with log-to-file,
    // saved.
    void ShowMessage(int nKind, const std::string& text);
    // Kinds 0, 1, 2, 3, 4 and 8: 1 shows the kind; kind 5: the value becomes
    // the no-trace flag; other kinds are ignored.
    void FilterLogMessage(int nKind, int bFlag);
    // A hint from the document's views: logged.
    void OnUpdate(shell::View* pSender, int nCode, CdsHint* pHint) override;
    // A hint that reached this view first (a line thread, a client thread):
    // passed on to every other view of the document, then logged.
    void OnUpdateMsg(int nCode, CdsHint* pHint);

    void OnViewCommand(Command command);
    bool IsCommandChecked(Command command) const;

    void OnInitialUpdate() override;
    // Once per view: "%s (by %s) %s" of description, company and version.
    virtual void ShowWelcomeMessage();
    // Timer 3 with "Logfile Autosave Period" ms; 0 runs no timer.
    void StartLogUpdateTimer();
    void StopLogUpdateTimer();
    void OnTimer(UINT_PTR nId) override;
    LRESULT OnMessage(win::Message& msg) override;

    const kestrun::LogFilters& GetFilters() const { return m_filters; }
    const std::string& GetText() const { return m_text.Text(); }
    int GetLineCount() const { return m_text.LineCount(); }
    const CdsLogFile& GetLogFile() const { return m_file; }

protected:
    void OnCreate() override;
    void OnDestroy() override;

private:
    const win::Clock& Clock() const;
    void LogHint(int nCode, CdsHint* pHint);
    void SaveMessageToFile(const std::string& line);
    std::string LogFolder() const;

    static inline std::atomic<CdsLogView*> s_pView{nullptr};

    shell::ProcessWide<CdsLogView> m_processWide{s_pView, this};
    std::unique_ptr<shell::LogWindow> m_pWindow;
    kestrun::LogFilters m_filters;
    kestrun::LogTextBuffer m_text;
    CdsLogFile m_file;
    bool m_bFileFailing = false; // one Error line per episode of a file that cannot be opened
    bool m_bWelcomeShown = false;
    bool m_bBusy = false;        // timer 3 runs; set for good once the window goes
};

// The log view from any thread: on the application thread at once, from other
// threads posted as an owned copy. Without a log view nothing happens.
void ShowLogMessage(int nKind, const char* pszText);
// Formats into 512 characters (longer output is cut).
void ShowLogVaMessage(int nKind, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
void FilterLogMessage(int nKind, int bFlag);
// On the application thread: OnUpdateMsg.
void ShowLogHintMessage(int nCode, CdsHint* pHint);
// From any thread: an owned copy of the hint posted to the log view.
void PostLogHintMessage(int nCode, const CdsHint& hint);
