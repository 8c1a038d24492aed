#pragma once
// The application of every server program built on the framework. The program
// derives its own application, overrides the identity getters and, in its
// InitInstance: CdsServerApp::InitInstance, its document template,
// HandleCommandLine, InitOPCServer with its DDE callback.
//
// Threads: everything runs on the application thread except the static
// accessors and the mode getters, which other threads may read.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/dde/DdeService.h"
#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/app/ProcessWide.h"
#include "kestrun/shell/server/RetiredObjects.h"
#include "platform/com/Guid.h"

namespace opc { struct RegistrarScript; }
#include "platform/dde/BrisantTypes.h"

class CdsDeviceMap;
class CdsServerDoc;
class CdsServerFrame;
class CfsCallback;

namespace win {
class NamedLock;
}

namespace kestrun {
class DdeBridge;
class DdeBridgeHost;
class ServerCommands;
} // namespace kestrun

class CdsServerApp : public shell::Application {
public:
    CdsServerApp();
    // The document and main window go first: they hand what they free to the
    // application's keeper.
    ~CdsServerApp() override;

    // The application of the process, or null.
    static CdsServerApp* GetApp() { return _theApp.load(); }
    // Set when the main window closes; the loop ends.
    static std::atomic<int> s_bQuitApp;

    // --- modes ---
    int IsAppInDll() const { return m_bAppInDll.load(); }
    int IsInteractiveMode() const { return !m_bAppInDll.load() || m_bHelper.load(); }
    int IsServiceHelperMode() const { return m_bAppInDll.load() && m_bHelper.load(); }
    int IsServiceMode() const { return m_bAppInDll.load() && !m_bHelper.load(); }
    void SetAppInDll(int b) { m_bAppInDll = b ? 1 : 0; }
    void SetServiceHelperMode(int h)
    {
        m_bAppInDll = 1;
        m_bHelper = h ? 1 : 0;
    }
    void SetServiceMode(int s)
    {
        m_bAppInDll = 1;
        m_bHelper = s ? 0 : 1;
    }

    // --- identity: null unless stated; the program overrides them ---
    virtual const char* GetServerCLSID() { return nullptr; }
    virtual const char* GetServerProgID() { return nullptr; }
    virtual const char* GetServerCompany() { return "Zendry Software"; }
    // Also the caption of the server's message boxes.
    virtual const char* GetServerRegName() { return nullptr; }
    virtual const char* GetServerDescription() { return nullptr; }
    virtual const GUID* GetItemPropCLSID() { return nullptr; }
    // The class id handed to the OPC toolkit.
    virtual const GUID* GetServerCLSID2() { return nullptr; }
    // The ProgID with its last character (of at most 50) replaced by "2".
    virtual const char* GetServerProgID2();
    virtual const char* GetServerAppName() { return GetAppName().c_str(); }
    virtual const char* GetServerExeName();
    virtual const char* GetServiceName() { return nullptr; }
    virtual const char* GetServiceDescription() { return nullptr; }
    virtual const char* GetServiceCLSID() { return nullptr; }
    virtual const char* GetServiceProgID() { return nullptr; }
    virtual const char* GetServiceRegName() { return nullptr; }
    virtual const GUID* GetServiceCLSID2() { return nullptr; }
    virtual const char* GetServiceProgID2() { return nullptr; }
    // The program's own COM class registration (its resource script), applied
    // with the OPC toolkit's and removed with it; none in the framework.
    virtual const opc::RegistrarScript* GetRegistrarScript() { return nullptr; }

    // --- life ---
    // The caption of the server's boxes; the program calls it first.
    bool InitInstance() override;
    // Stops the OPC toolkit (waiting for calls in flight), frees its callback
    // once, shuts the DDE toolkit down; then the base.
    int ExitInstance() override;
    bool OnCommand(UINT nId) override;

    // Command 23290: asks the save question (Cancel: nothing), then starts a
    // new copy; when one was started, the main window closes without asking.
    void OnResetApp();
    // The file a restart opens, empty for the configured one. Set by the open
    // request of the main window.
    void SetRestartFile(const std::string& strPath) { m_strRestartFile = strPath; }
    const std::string& GetRestartFile() const { return m_strRestartFile; }
    // The command line a restart runs once this copy has shut down (the
    // program, "--Restart", the file to open); empty when none is due. The
    // program's main executes it in place of this process (ExecRestart).
    const std::vector<std::string>& GetRestartCommand() const { return m_restartCommand; }
    // Whether this copy was started by a restart and waited for its
    // predecessor's restart lock.
    bool HasWaitedForPreviousProcess() const { return m_bWaitedForPrevious; }
    // How long a restarted copy waits for its predecessor's locks, and a
    // restart for another copy's restart (10 s unless set).
    void SetPreviousProcessWait(DWORD dwMs) { m_dwPreviousWaitMs = dwMs; }

    // --- registration (the "Regserver" and "Unregserver" switches) ---
    // Registers with the OPC toolkit (the class's program and categories) and
    // writes the AppID value "RunAs"; 1 when both succeeded.
    BOOL fsRegisterServer(int bFlag);
    // Removes the class's COM keys, what the OPC toolkit wrote and the AppID
    // value; 1 when every key was removed or was not there.
    BOOL fsUnRegisterServer(int bService);

    // --- the toolkits ---
    CfsCallback* GetCallback() const { return m_pCallback.get(); }
    // The DDE bridge and server while they run (from InitOPCServer to the exit).
    kestrun::DdeBridge* GetDdeBridge() const { return m_pDdeBridge.get(); }
    kestrun::DdeService& GetDdeService() { return m_ddeService; }
    // The document's device map changed (null: gone); the OPC bridge follows.
    void OnDeviceMapChanged(CdsDeviceMap* pMap);
    // Runs fn while no OPC client call runs (the callback's lock is held; DDE
    // runs on this thread anyway). Application thread.
    void RunWithClientsHeld(const std::function<void()>& fn);

    // --- what is let go of ---
    // Model objects wait here until no line and no queued hint can reach them.
    CdsRetiredObjects& GetRetiredObjects() { return m_retired; }
    // Runs stop (lines of the main window's handlers are stopped in it) and
    // keeps the line threads that outlive their stop wait.
    void StopLines(const std::function<void()>& stop);

    CdsServerFrame* GetServerFrame() const;
    CdsServerDoc* GetServerDoc() const;

protected:
    // Start-up steps of the server program (after its document template).
    // 1 when the program is to run.
    BOOL HandleCommandLine();
    // Sets up the DDE toolkit with the callback, then starts the OPC toolkit.
    // 0 only without a main window outside service mode.
    BOOL InitOPCServer(BRISANTACTIONPROC pCallback, int bService);
    // Starts the OPC toolkit for the server's (or the service's) class and
    // registers a new callback with it; 0 when it cannot.
    BOOL fsInitServer(int bService);
    void fsExitServer(int bFlag);
    void ExitOPCServer(int bFlag);

    // Type 1 registers, 2 unregisters (any other: 0 at once). Reports "Register
    // <description> successful." or "... Failed!" in a box captioned with the
    // ProgID and sets the exit code (0 or 1); 1 on success. Registering fails
    // when any key or value cannot be written; unregistering when a key or
    // value that is there cannot be removed (an absent one is fine).
    BOOL UpdateRegistry(int nType, int nFlag);
    // 1 when start-up may go on. With "Single Instance" on, a second copy is
    // refused with "\"<description>\" already running!". A restarted copy
    // ("--Restart") waits (bounded) for its predecessor and takes the instance
    // lock too; when that does not come free it says so in the debugger output
    // and starts all the same.
    virtual BOOL IsSingleInstance();
    // Prepares the restart that opens the file (empty: the configured one):
    // takes the restart lock and records the command line that replaces this
    // process once it has shut down. 0 (nothing held, the server keeps
    // running) when this process cannot be started again, or when another
    // copy's restart does not end within the wait; 0 at once when this
    // process has a restart due already.
    virtual BOOL ActivateRestartProcess(const std::string& strFile);
    // Lets go of the restart lock and the instance lock, removing their files.
    virtual void ReleaseInstanceMutex();
    // The program a restart runs: this one.
    virtual std::string GetRestartProgram() const;
    // The OPC bridge's callback; the program may make its own.
    virtual std::unique_ptr<CfsCallback> NewCallback();
    // "Regserver", "Unregserver" and "thread", one leading "-" or "/", any case.
    void GetRegistryCommand();

private:
    // The restart lock's name, from the class id; whether "--Restart" is on
    // the command line.
    bool SetInstanceMutexName(const char* pszClsid);
    // True when another copy holds the instance lock (or it cannot be reached).
    bool CheckAlreadyRunning(const std::string& strName);
    void WaitForPreviousProcessFinish();
    bool RegisterServer(int nFlag);
    bool UnregisterServer(int nFlag);

    static std::atomic<CdsServerApp*> _theApp;

    shell::ProcessWide<CdsServerApp> m_processWide{_theApp, this};
    CdsRetiredObjects m_retired{*this};
    std::atomic<int> m_bAppInDll{0};
    std::atomic<int> m_bHelper{1};
    std::unique_ptr<CfsCallback> m_pCallback;
    std::unique_ptr<kestrun::ServerCommands> m_pCommands;
    std::unique_ptr<kestrun::DdeBridgeHost> m_pDdeHost;
    std::unique_ptr<kestrun::DdeBridge> m_pDdeBridge;   // installed while it exists
    kestrun::DdeService m_ddeService;
    std::string m_strProgID2;
    std::string m_strExeName;
    std::string m_strRestartFile;
    std::string m_strRestartLockName;
    std::unique_ptr<win::NamedLock> m_pInstanceLock; // held for the life of the application
    std::unique_ptr<win::NamedLock> m_pRestartLock;  // held from a restart's start to the exit
    std::vector<std::string> m_restartCommand;
    bool m_bWaitedForPrevious = false;
    DWORD m_dwPreviousWaitMs = 10000;
};

// Replaces the process by the restart command; returns (1) only when that
// cannot be done, with a line in the debugger output.
int ExecRestart(const std::vector<std::string>& command);

// Gives the DDE toolkit its working time; 0 without an application or DDE server.
BOOL DoIdleProcessing();
// The OPC bridge's timer hook: once the last client has gone with "Auto Close
// On No Client" on, the main window is closed without the exit question.
void fsOnTimer();
