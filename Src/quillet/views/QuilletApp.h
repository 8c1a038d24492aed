#pragma once
// The test client's application object: the OPC servers registered on this machine,
// whether servers on other nodes can be reached, the open documents, and connecting a
// new document to a server. Used on the application thread only.
//
// Ownership: the application owns every document and its connection window; the
// connection list names the documents that were connected and loses them when they
// close.
#include "quillet/doc/QuilletDoc.h"
#include "quillet/doc/ServerEntry.h"
#include "quillet/views/RecentFileList.h"
#include "quillet/views/SplitterFrame.h"

#include "platform/opc/client/Activation.h"
#include "platform/registry/Profile.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace registry { class Registry; }
namespace win { class Dispatcher; }

// What the application runs on; all of it outlives the application.
struct CQuilletAppHost {
    CQuilletHost documents;
    registry::Registry& registry;
    // Folder of the servers' sockets; empty: the system's.
    std::filesystem::path socketDir;
    // How long a server call may take before it fails with RPC_E_TIMEOUT.
    std::chrono::milliseconds callTimeout{60000};
};

class CQuilletApp {
public:
    explicit CQuilletApp(const CQuilletAppHost& host);
    ~CQuilletApp();
    CQuilletApp(const CQuilletApp&) = delete;
    CQuilletApp& operator=(const CQuilletApp&) = delete;

    // Finds the servers of this machine and reads the recent-file list.
    BOOL InitInstance();
    int ExitInstance();

    // A new connection document for the server, or null when it could not be made
    // (the reason was shown). A null CLSID is looked up from the ProgID (on the node
    // when it is not local). The document stays, unconnected, when the server object
    // lacks IOPCServer.
    CQuilletDoc* ConnectToServer(const std::string& progId, const std::string& node, const CLSID& clsid);
    // Connects a document whose server shut down or whose link was lost again, to the
    // same server, with its groups and their items as they were. True when it is
    // connected; otherwise the reason was shown, and the document keeps its groups
    // without a server until a later connection succeeds.
    bool Reconnect(CQuilletDoc& doc);
    // Removes the document's groups and frees it with its window.
    void CloseDocument(CQuilletDoc* doc);
    // Told of each document about to be freed, while its window still stands.
    void SetClosingListener(std::function<void(CQuilletDoc&)> listener) { m_closing = std::move(listener); }
    // The connection window of a document of this application; null for others.
    CSplitterFrame* FrameOf(const CQuilletDoc* doc) const;

    // Reads a set-up file: connects to its server, adds its groups and their items.
    // Null (the reason shown) when the file cannot be read or the connection fails.
    CQuilletDoc* OpenDocumentFile(const std::string& path);
    // Writes the document's set-up file and puts it first in the recent-file list.
    bool SaveDocument(CQuilletDoc& doc, const std::string& path);
    // The link to a document's server was lost. Notices are posted, so they name the
    // document by its serial number; one that has closed meanwhile is not looked for,
    // nor one connected again since (link: the document's link number; 0: any).
    void OnLinkLost(DWORD docSerial, HRESULT cause, DWORD link = 0);
    // The connection to the same ProgID on the same node, if one is open.
    CQuilletDoc* FindConnection(const std::string& progId, const std::string& node) const;
    const std::vector<CQuilletDoc*>& Connections() const { return m_connections; }

    const std::vector<CServerEntry>& GetServerList() const { return m_servers; }
    bool IsDcomEnabled() const { return m_bDcom; }
    CRecentFileList& RecentFiles() { return m_recentFiles; }

    // Every HKEY_CLASSES_ROOT key with an "OPC" subkey whose ProgID has a class id.
    static std::vector<CServerEntry> FindServers(registry::Registry& reg);
    // "EnableDCOM" under HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Ole" begins with "y" or "Y".
    static bool ReadDcomFlag(const registry::Registry& reg);

    // How servers are found and started, for the server dialogs too.
    opc::ActivationOptions Activation() const;
    const CQuilletAppHost& Host() const { return m_host; }

private:
    HRESULT LookUpClass(const std::string& progId, const std::string& node, CLSID& clsid);
    // Activates the server for the document's next link (the call waits as the
    // document's own calls do).
    HRESULT Activate(CQuilletDoc& doc, const CLSID& resolved, opc::ComPtr<IUnknown>& server);

    CQuilletAppHost m_host;
    bool m_bDcom;
    registry::Profile m_profile;
    CRecentFileList m_recentFiles;
    std::vector<CServerEntry> m_servers;
    struct Window {
        std::unique_ptr<CQuilletDoc> doc;
        std::unique_ptr<CSplitterFrame> frame;  // goes first
    };
    std::vector<Window> m_windows;
    std::vector<CQuilletDoc*> m_connections;
    DWORD m_nextSerial = 1;
    std::function<void(CQuilletDoc&)> m_closing;
};
