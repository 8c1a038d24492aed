#pragma once
// The main window of a server program as a core object. It loads the options
// (getters and setters live here; the statics in CdsServerOptions, its base),
// carries the table of communication handlers, runs the data timer that drives
// every line, keeps the status-bar panes, and answers the commands and private
// messages that other threads post to it. Its OnClose is the one road to
// shut-down.
//
// Threads: only the application thread runs the frame's code; others post or
// send to its window key (PostServerFrameMessage). Option statics are read by
// many threads, so they are atomics; only the getters and setters touch the
// registry.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"
#include "kestrun/shell/app/Frame.h"
#include "kestrun/shell/app/OptionHost.h"
#include "kestrun/shell/app/ProcessWide.h"
#include "kestrun/shell/server/ServerFrameCore.h"

class CdsDataView;
class CdsLogView;
class CdsOptionDlg;
class CdsServerDoc;

namespace shell {
class CdsTaskBar;
}

class CdsServerFrame : public shell::Frame, public CdsServerFrameCore, public CdsServerOptions {
public:
    static constexpr int kPaneCount = 7;
    // Scan-time counters start again after this many milliseconds.
    static constexpr std::uint64_t kScanTimeHourMs = 3600000;

    CdsServerFrame();
    ~CdsServerFrame() override;
    CdsServerFrame(const CdsServerFrame&) = delete;
    CdsServerFrame& operator=(const CdsServerFrame&) = delete;

    // The main window of the process, or null.
    static CdsServerFrame* GetServerFrame() { return s_pFrame.load(); }

    // --- views ---
    // The data view above and the log view below; none before they exist.
    CdsDataView* GetDataView() const { return m_pDataView; }
    CdsLogView* GetLogView() const { return m_pLogView; }
    CdsServerDoc* GetServerDoc() const;

    // --- data timer ---
    // Restarts the data timer with "Data Update Time".
    void StartDataUpdateTimer();
    // Stops it and clears the scan, poll and client-update counters.
    void StopDataUpdateTimer();
    bool IsDataUpdateTimerRunning() const { return m_bDataTimer; }
    // One pass of the data timer; a pass that arrives while one runs is dropped.
    void OnDataTimer();
    // The line mode is latched when the document goes online and released
    // when it is offline again.
    void LatchLineMode();
    void UnlatchLineMode();

    // --- status bar ---
    bool HasStatusBar() const { return m_bStatusBar; }
    const std::string& GetPaneText(int nPane) const;
    void SetPaneText(int nPane, const std::string& text);
    static const char* GetIndicatorText(int nPane);

    // --- counters (the engine's atomics) ---
    static void KickWdogScantime() { ++CdsEngineCounters::m_nWdogScantime; }
    static void KickWdogPolling() { ++CdsEngineCounters::m_nWdogPolling; }
    static void KickWdogUpdating() { ++CdsEngineCounters::m_nWdogUpdating; }
    static ULONG GetLoopCount() { return CdsEngineCounters::m_nLoopCount.load(); }

    // --- commands and messages ---
    // The close rules: "Do you want to Exit?" when "Confirm On Quit" is set
    // (No: keep running), then the document's save question (Cancel: keep
    // running, timer, handlers and document untouched); only then the timer
    // stops, the handlers go, the document and windows close and the loop ends.
    void OnClose() override;
    // SIGINT/SIGTERM without a desktop: the close with every question taking
    // its default answer. When even that is refused the server says so in the
    // log and closes all the same.
    void CloseWithDefaultAnswers();
    // A file name to open; an empty name, or one that is no readable regular
    // file, gives -1 and an Error line and changes nothing. A bare name is
    // taken from the configuration folder. Otherwise the name becomes "Load
    // File PathName" and the restart command is posted with it; 0.
    LRESULT OnMessageOpenFile(const std::string& strName);
    // Hides to the tray, showing the icon first; with no tray (or when the
    // icon cannot show) the window stays, so it can always be found again.
    void OnTrayIcon();
    void HideToTray() { OnTrayIcon(); }
    // Hides a showing icon, or shows it.
    void OnToggleShow();
    // Shows the window and brings it to the top.
    void OnMainDlg();
    void OnQuitImmediately();
    // "Set Options": the dialog filled from the statics; on OK every value
    // is stored through its setter. "Background Thread" changed while online
    // is stored at once but the running lines keep their mode: an Info line
    // says it takes effect at the next online.
    void OnEditOption();
    shell::CdsTaskBar* GetTaskBar() const { return m_pTaskBar.get(); }

    // --- what the program may override ---
    virtual std::unique_ptr<CdsDataView> NewDataView();
    virtual std::unique_ptr<CdsLogView> NewLogView();
    virtual LRESULT OnMainWnd(WPARAM, LPARAM) { return -1; }
    virtual LRESULT OnSkipTimer(WPARAM, LPARAM) { return -1; }
    virtual LRESULT OnCommError(WPARAM, LPARAM) { return -1; }
    // Every communication handler is stopped and destroyed.
    virtual void DeleteContents();
    virtual void PreSystemOnline(int /*bOnline*/) {}
    virtual void PostSystemOnline(int /*bOnline*/) {}
    // The option dialog; a program may return its subclass (its file filter).
    virtual std::unique_ptr<CdsOptionDlg> NewOptionDlg();
    // The tray icon, when the desktop has a notification area.
    virtual void InitTaskBar();
    virtual bool IsTaskBarAvailable() const;

    LRESULT OnMessage(win::Message& msg) override;

    // --- options ---
    // Timers, prompts and folders for the setters; null: the window's own.
    void SetOptionHost(shell::OptionHost* host);

    // Registry section of the options: "Options".
    static const char* GetProfileOption();

    // Loads every option static (and the three string copies) from the registry,
    // then sets the service-mode static from the application mode.
    void LoadOptions(bool serviceHelperMode);

    // Getters read the registry (never the statics); setters write it, then the
    // static. Setters return false when the value could not be stored; the
    // static still takes the new value.
    int GetAutoCloseOnNoClient() const;
    bool SetAutoCloseOnNoClient(int value);
    int GetBackgroundThread() const;
    bool SetBackgroundThread(int value);
    int GetCaseSensitive() const;
    bool SetCaseSensitive(int value);
    unsigned long GetCheckMonitorInterval() const;
    bool SetCheckMonitorInterval(unsigned long value);
    unsigned long GetClientUpdateTime() const;
    bool SetClientUpdateTime(unsigned long value);
    int GetColdStart() const;
    bool SetColdStart(int value);
    int GetConfirmOnQuit() const;
    bool SetConfirmOnQuit(int value);
    int GetDataTypeFormat() const;
    bool SetDataTypeFormat(int value);
    unsigned long GetDataUpdateTime() const;
    bool SetDataUpdateTime(unsigned long value);
    int GetEnableDotSubset() const;
    bool SetEnableDotSubset(int value);
    int GetEventQueueSize() const;
    bool SetEventQueueSize(int value);
    int GetExtendedDataTypeAsFloat() const;
    bool SetExtendedDataTypeAsFloat(int value);
    int GetFixSocketLeakage() const;
    bool SetFixSocketLeakage(int value);
    int GetLoadFileOnStartup() const;
    bool SetLoadFileOnStartup(int value);
    std::string GetLoadFilePathName() const;
    bool SetLoadFilePathName(const std::string& value);
    unsigned long GetLogAutoSavePeriod() const;
    bool SetLogAutoSavePeriod(unsigned long value);
    std::string GetLogFolder() const;
    // Stores the folder; with create set and the folder missing, asks (unless
    // quiet) and creates it. False when it was not stored or not created.
    bool SetLogFolder(const std::string& folder, int create, int quiet);
    int GetLogToFile() const;
    bool SetLogToFile(int value);
    int GetMinimizeOnStartup() const;
    bool SetMinimizeOnStartup(int value);
    std::string GetNullStringValue() const;
    bool SetNullStringValue(const std::string& value);
    int GetOnlineOnLoad() const;
    bool SetOnlineOnLoad(int value);
    int GetReadbackModifiedBlock() const;
    bool SetReadbackModifiedBlock(int value);
    static int GetSingleInstance();
    static bool SetSingleInstance(int value);
    int GetStringBigEndian() const;
    bool SetStringBigEndian(int value);
    int GetTraceLevel() const;
    bool SetTraceLevel(int value);
    int GetUpdateSameValue() const;
    bool SetUpdateSameValue(int value);
    int GetUseDynamicScan() const;
    bool SetUseDynamicScan(int value);
    int GetUseIoctl() const;
    bool SetUseIoctl(int value);
    int GetUseServiceMode() const;
    bool SetUseServiceMode(int value);
    int GetUseSystemMode() const;
    bool SetUseSystemMode(int value);
    int GetUseSystemTime() const;
    bool SetUseSystemTime(int value);
    int GetViewActions() const;
    bool SetViewActions(int value);
    int GetViewCommands() const;
    bool SetViewCommands(int value);
    int GetViewErrors() const;
    bool SetViewErrors(int value);
    int GetViewEvents() const;
    bool SetViewEvents(int value);
    int GetViewInitValues() const;
    bool SetViewInitValues(int value);
    unsigned long GetWaitTimeInitialData() const;
    bool SetWaitTimeInitialData(unsigned long value);
    int GetWildSearchOnTagCreate() const;
    bool SetWildSearchOnTagCreate(int value);

    // The window's copies of the string options, safe to read from any thread.
    std::string LoadFilePathName() const;
    std::string LogFolder() const;
    std::string NullStringValue() const;

    // The main window writes its status panes.
    static std::atomic<int> g_bEnableStatusBarUpdating;

protected:
    int OnCreate() override;
    bool OnCreateClient() override;
    void OnDestroy() override;
    void OnTimer(UINT_PTR nId) override;
    bool OnCommand(UINT nId) override;

private:
    class WindowOptionHost;
    shell::OptionHost& Host() const;
    // The close once the questions are answered.
    void TearDown();
    void UpdateStatusPanes(std::uint64_t nowMs);
    std::uint64_t NowMs() const;

    static std::atomic<CdsServerFrame*> s_pFrame;

    shell::ProcessWide<CdsServerFrame> m_processWide{s_pFrame, this};
    std::unique_ptr<WindowOptionHost> m_pWindowHost;
    std::unique_ptr<shell::CdsTaskBar> m_pTaskBar;
    CdsDataView* m_pDataView = nullptr; // owned by the frame's view list
    CdsLogView* m_pLogView = nullptr;
    std::array<std::string, kPaneCount> m_panes;
    bool m_bStatusBar = false;
    bool m_bInTimer = false;    // the data timer's re-entrancy flag
    bool m_bDataTimer = false;
    std::uint64_t m_nHourStartMs = 0;

    shell::OptionHost* host_ = nullptr;
    mutable std::mutex stringsMutex_;
    std::string m_strLoadFilePathName;
    std::string m_strLogFolder;
    std::string m_strNullStringValue;
};

// The main window's key from any thread; kNoWindow without one.
win::WindowKey fsGetServerFrameWnd();
// To the main window from any thread; false without one.
bool PostServerFrameMessage(UINT nMsg, WPARAM wParam, LPARAM lParam,
                            std::unique_ptr<win::Payload> payload = nullptr);
bool SendServerFrameMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, DWORD dwTimeoutMs, LRESULT* pResult = nullptr);
