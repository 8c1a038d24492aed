#pragma once
// One connection to one OPC DA server: the server's interfaces, the callback sinks,
// the groups with their items, and the connection's message log.
//
// Threads: everything runs on the application thread, sink calls included (the
// transport posts them there). The log lock guards the log queue and file against the
// logger view; no other lock is taken while it is held, and no message box is shown
// under it.
// Ownership: the document owns its groups and its log; it holds one reference on each
// sink and detaches them when it goes, so a late callback finds nothing.
#include "quillet/doc/BrowseSetup.h"
#include "quillet/doc/DocListener.h"
#include "quillet/doc/Group.h"
#include "quillet/doc/HandleTable.h"
#include "quillet/doc/LogCategory.h"

#include "platform/opc/Interfaces.h"

#include <deque>
#include <fstream>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win {
class Clock;
class Dispatcher;
} // namespace win
namespace quillet {
class UiServices;
class StringTable;
} // namespace quillet

class CAdviseSink;
class CDataCallback;
class CShutdownSink;

// What every document shares with the application; all of it outlives the documents.
struct CQuilletHost {
    const win::Clock& clock;
    quillet::UiServices& ui;
    const quillet::StringTable& texts;
    // The application thread's timers and the sinks' calls.
    win::Dispatcher& dispatcher;
};

class CQuilletDoc {
public:
    explicit CQuilletDoc(const CQuilletHost& host);
    ~CQuilletDoc();
    CQuilletDoc(const CQuilletDoc&) = delete;
    CQuilletDoc& operator=(const CQuilletDoc&) = delete;

    // ---- identity ----
    void SetConnection(std::string progId, std::string node, const CLSID& clsid);
    const std::string& GetProgID() const { return m_strProgID; }
    const std::string& GetNode() const { return m_strNode; }
    const CLSID& GetCLSID() const { return m_clsid; }
    // How the address-space browser finds further servers.
    void SetBrowseSetup(CBrowseSetup setup) { m_browseSetup = std::move(setup); }
    const CBrowseSetup& BrowseSetup() const { return m_browseSetup; }
    // "node~ProgID" for a connection; the document has no file until it is saved.
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(std::string title) { m_strTitle = std::move(title); }
    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(std::string path) { m_strPathName = std::move(path); }
    // Unique among the documents of a run.
    DWORD GetSerial() const { return m_dwSerial; }
    void SetSerial(DWORD serial) { m_dwSerial = serial; }
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }

    // ---- server ----
    // Keeps the object activation returned, asks it for IOPCServer and subscribes to
    // its shutdown requests; the document is connected again (a new link, see
    // LinkNumber). The query's result. A document that had groups gets them back
    // through the application's reconnection.
    HRESULT AttachServer(opc::ComPtr<IUnknown> serverObject);
    IOPCServer* GetServer() const { return m_server.get(); }
    // Lets a lost link go without calls: the server's and the groups' interfaces. The
    // groups stay listed (without a server nothing calls them) until they are dropped.
    void ReleaseServer();
    // Takes every group out without server calls, tearing its items down.
    void DropGroups();
    // Cleared when the server shut down or the link to it was lost; set again only by
    // a new connection. A call that timed out or was cancelled leaves it.
    bool IsConnected() const { return m_bConnected; }
    // Counts the links attached so far; a notice of an earlier link's loss names it.
    DWORD LinkNumber() const { return m_dwLink; }

    // ---- groups ----
    // Adds a prepared group to the server and the list; null (the group deleted) when
    // it cannot be added or its subscription cannot start.
    CGroup* AddServerGroup(std::unique_ptr<CGroup> group, BOOL timeStamps);
    // Removes it from the server (while connected) and the list, and deletes it.
    void RemoveGroup(CGroup* group);
    const std::list<std::unique_ptr<CGroup>>& Groups() const { return m_groups; }

    // ---- commands ----
    // Those that run dialogs are defined with the forms, those that work on the
    // window's views with the views.
    // The add-group dialog, then the group it describes.
    void OnAddGroupCommand();
    CGroup* OnAddGroup(const CGroupSettings& settings);
    // The server's status in its dialog, or the error text of the call.
    void OnServerStatus();
    // The dialogs that work on the server or a group themselves.
    void OnServerDialog(UINT dialogId);
    void OnExpertMode();
    void OnConfigureLogger();
    void OnClearLog();
    void OnAsyncIO2Refresh();
    bool GetServerStatus(OPCSERVERSTATUS& status);
    void AdviseNone(CGroup& group);
    bool AdviseDataObject(CGroup& group, BOOL timeStamps);
    bool AdviseConnectionPoint(CGroup& group);
    void ToggleAsyncIO2Enable(CGroup& group);
    // Starts a 2.0 refresh; true when the transaction is pending.
    bool AsyncIO2Refresh(CGroup& group, OPCDATASOURCE source);
    bool CanAddGroup() const { return m_bConnected && m_server; }
    bool CanAdviseDataObject(const CGroup* group) const { return CanAddGroup() && group && group->m_dataObject; }
    bool CanAdviseConnectionPoint(const CGroup* group) const
    {
        return CanAddGroup() && group && group->m_connectionPoint;
    }
    bool CanUseAsyncIO2(const CGroup* group) const
    {
        return CanAddGroup() && group && group->GetAdviseMode() == ADVISE_CONNECTIONPOINT;
    }
    bool CanAsyncIO2Refresh(const CGroup* group) const
    {
        return CanUseAsyncIO2(group) && group->Items().size() > (group->GetUpdatesItem() ? 1u : 0u);
    }
    BOOL m_bDisplayMessages = FALSE;  // failures of server calls also shown in boxes
    BOOL m_bExpertMode = FALSE;
    BOOL m_bLogViewShown = TRUE;

    // ---- the set-up file (defined with the views: it keeps the group tree's MMI settings) ----
    // The document as its set-up file's text.
    std::string SetupText() const;
    // Writes the set-up file (whole, or not at all). A failure shows the system's
    // text and leaves the document modified; false then.
    bool SaveConnection(const std::string& path);

    // ---- log ----
    // Keeps the message when its category is in the mask; TRUE when kept.
    BOOL WriteLog(DWORD category, std::string_view text);
    // The log dialog confirmed: the mask, and the file. An unchanged name keeps the
    // open file; a new one starts a new file. A file that cannot be opened is
    // reported once.
    void ConfigureLog(std::string fileName, DWORD mask);
    // The loader's setters: the file is not opened here.
    void SetLogMask(DWORD mask);
    void SetLogFileName(std::string fileName);
    DWORD GetLogMask() const;
    std::string GetLogFileName() const;
    // The logger view takes the queued entries.
    std::vector<quillet::CLogEntry> TakeLogEntries();
    void DeleteLogEntries();

    // ---- failures and the link ----
    // Notes the result of a server call: a result that means the link is gone
    // disconnects the document. A call that timed out or was cancelled does not: the
    // server may only be slow, and answers again on the same link.
    HRESULT CheckCall(HRESULT hr);
    void OnShutdownRequest(const std::string& reason);
    // The server went away: items bad, a log line, no more server calls.
    void OnLinkLost(HRESULT cause);
    // The error text in a box; the second only while display messages is on.
    void ShowError(HRESULT hr);
    void ReportError(HRESULT hr);

    // Removes every group, as closing does; the server is released with the document.
    void OnCloseDocument();

    // ---- views ----
    // Each view of the window registers itself for its place while it lives; the
    // document knows them only as listeners.
    void SetGroupView(CDocListener* view) { m_pGroupView = view; }
    void SetItemView(CDocListener* view) { m_pItemView = view; }
    void SetLoggerView(CDocListener* view) { m_pLoggerView = view; }
    CDocListener* GroupView() const { return m_pGroupView; }
    CDocListener* ItemView() const { return m_pItemView; }
    CDocListener* LoggerView() const { return m_pLoggerView; }
    // Every view redraws from the document. A call made while the views update (a
    // selection that updates again) runs once more after them instead of inside them.
    void UpdateAllViews();

    CHandleTable& Handles() { return m_handles; }
    const win::Clock& Clock() const { return m_host.clock; }
    const quillet::StringTable& Texts() const { return m_host.texts; }
    quillet::UiServices& Ui() const { return m_host.ui; }
    win::Dispatcher& Dispatcher() const { return m_host.dispatcher; }

private:
    void StartShutdownSubscription();
    void MarkDisconnected();
    HRESULT DAdviseFormat(CGroup& group, const char* format, DWORD& connection);
    HRESULT AdviseCallback(CGroup& group);
    void RemoveFromServer(CGroup& group);

    CQuilletHost m_host;
    // Declared before the groups: items, groups and transactions leave it as they go.
    CHandleTable m_handles;

    mutable std::mutex m_logMutex;  // guards the four members below
    std::deque<quillet::CLogEntry> m_logEntries;
    std::unique_ptr<std::ofstream> m_logFile;
    std::string m_strLogFile;
    DWORD m_dwLogMask = quillet::kDefaultLogMask;

    std::list<std::unique_ptr<CGroup>> m_groups;
    opc::ComPtr<IUnknown> m_serverObject;
    opc::ComPtr<IOPCServer> m_server;
    opc::ComPtr<CAdviseSink> m_adviseSink;
    opc::ComPtr<CDataCallback> m_dataCallback;
    opc::ComPtr<CShutdownSink> m_shutdownSink;
    opc::ComPtr<IConnectionPoint> m_shutdownPoint;
    DWORD m_dwShutdownCookie = 0;
    bool m_bConnected = true;
    DWORD m_dwLink = 0;

    std::string m_strProgID;
    std::string m_strNode;
    CLSID m_clsid{};
    CBrowseSetup m_browseSetup;
    std::string m_strTitle;
    std::string m_strPathName;
    DWORD m_dwSerial = 0;
    bool m_bModified = false;
    CDocListener* m_pGroupView = nullptr;
    CDocListener* m_pItemView = nullptr;
    CDocListener* m_pLoggerView = nullptr;
    bool m_bUpdating = false;
    bool m_bUpdateAgain = false;
};
