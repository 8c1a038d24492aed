#include "quillet/views/QuilletApp.h"

#include "quillet/doc/CallWaiter.h"

#include "quillet/text/ErrorText.h"
#include "quillet/text/UiServices.h"
#include "quillet/text/StringTable.h"

#include "platform/com/Bstr.h"
#include "platform/opc/client/Activation.h"
#include "platform/registry/Registry.h"

#include <algorithm>

CQuilletApp::CQuilletApp(const CQuilletAppHost& host)
    : m_host(host)
    , m_bDcom(ReadDcomFlag(host.registry))
    , m_profile(host.registry, "Tessaro", "Quillet")
    , m_recentFiles(m_profile, std::string(host.documents.texts.Text(quillet::IDS_EMPTY_FILE_LIST)))
{
}

CQuilletApp::~CQuilletApp()
{
    while (!m_windows.empty()) CloseDocument(m_windows.back().doc.get());
}

BOOL CQuilletApp::InitInstance()
{
    m_servers = FindServers(m_host.registry);
    m_recentFiles.ReadList();
    return TRUE;
}

int CQuilletApp::ExitInstance()
{
    m_servers.clear();
    m_recentFiles.WriteList();
    return 0;
}

std::vector<CServerEntry> CQuilletApp::FindServers(registry::Registry& reg)
{
    std::vector<CServerEntry> servers;
    std::vector<std::string> names;
    if (reg.EnumKeys(HKEY_CLASSES_ROOT, "", names) != registry::Status::Ok) return servers;
    for (const std::string& name : names) {
        // Registration often writes only "OPC\Vendor": the key itself marks a server.
        if (reg.OpenKey(HKEY_CLASSES_ROOT, name + "\\OPC") != registry::Status::Ok) continue;
        CServerEntry entry{name};
        if (SUCCEEDED(opc::CLSIDFromProgID(com::toBstr(name), &entry.clsid, &reg)))
            servers.push_back(std::move(entry));
    }
    return servers;
}

bool CQuilletApp::ReadDcomFlag(const registry::Registry& reg)
{
    std::string value;
    if (reg.QueryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Ole", "EnableDCOM", value) != registry::Status::Ok)
        return false;
    return !value.empty() && (value[0] == 'y' || value[0] == 'Y');
}

opc::ActivationOptions CQuilletApp::Activation() const
{
    opc::ActivationOptions options;
    options.registry = &m_host.registry;
    options.socketDir = m_host.socketDir;
    options.post = opc::postTo(m_host.documents.dispatcher);
    options.client.callTimeout = m_host.callTimeout;
    return options;
}

HRESULT CQuilletApp::LookUpClass(const std::string& progId, const std::string& node, CLSID& clsid)
{
    HRESULT hr = opc::CLSIDFromProgID(com::toBstr(progId), &clsid, &m_host.registry);
    if (SUCCEEDED(hr) || node.empty()) return hr;
    // Not known here: the node's own server list may know it.
    opc::ComPtr<IUnknown> unknown;
    hr = opc::CoCreateInstanceEx(CLSID_OPCServerList, com::toBstr(node), IID_IOPCServerList, unknown.put(),
                                 Activation());
    if (FAILED(hr)) return hr;
    auto list = unknown.as<IOPCServerList>(IID_IOPCServerList);
    return list ? list->CLSIDFromProgID(com::toBstr(progId), &clsid) : E_NOINTERFACE;
}

CQuilletDoc* CQuilletApp::ConnectToServer(const std::string& progId, const std::string& node, const CLSID& clsid)
{
    const quillet::StringTable& texts = m_host.documents.texts;
    quillet::UiServices& prompter = m_host.documents.ui;
    CLSID resolved = clsid;
    if (clsid == CLSID_NULL) {
        if (HRESULT hr = LookUpClass(progId, node, resolved); FAILED(hr)) {
            prompter.MessageBox(quillet::ErrorText(texts, hr));
            return nullptr;
        }
    }
    // The document is made here and kept by the caller: it has a title, no file.
    auto owned = std::make_unique<CQuilletDoc>(m_host.documents);
    CQuilletDoc* doc = owned.get();
    doc->SetSerial(m_nextSerial++);
    doc->SetTitle(node + "~" + progId);
    doc->SetConnection(progId, node, clsid);
    CBrowseSetup browse{{}, m_bDcom, Activation()};
    for (const CServerEntry& s : m_servers) browse.servers.emplace_back(s.progId, s.clsid);
    doc->SetBrowseSetup(std::move(browse));
    auto frame = std::make_unique<CSplitterFrame>(*doc);
    m_windows.push_back({std::move(owned), std::move(frame)});
    m_connections.push_back(doc);

    opc::ComPtr<IUnknown> server;
    HRESULT hr = Activate(*doc, resolved, server);
    if (FAILED(hr) || !server) {
        if (m_bDcom)
            prompter.MessageBox(std::string(texts.Text(quillet::IDS_CONNECT_FAILED)) + "~" + progId);
        else
            prompter.MessageBox(quillet::ErrorText(texts, hr));
        CloseDocument(doc);
        return nullptr;
    }
    if (m_bDcom) doc->WriteLog(quillet::LOG_SERVER, doc->GetTitle() + "      Started");
    hr = doc->AttachServer(std::move(server));
    if (FAILED(hr)) {
        doc->WriteLog(quillet::LOG_SERVER, doc->GetTitle() + "CoCreateInstanceEx" + "Failed" + std::to_string(hr));
        prompter.MessageBox("Unable to connect to the specified server");
    }
    return doc;
}

HRESULT CQuilletApp::Activate(CQuilletDoc& doc, const CLSID& resolved, opc::ComPtr<IUnknown>& server)
{
    const std::u16string target = m_bDcom ? com::toBstr(doc.GetNode()) : std::u16string();
    // A link that goes is noticed without a call: the notice names the document by
    // its serial number and link, so one that closed or connected again meanwhile is
    // not taken for it.
    opc::ActivationOptions activation = Activation();
    activation.client.linkLost = [this, serial = doc.GetSerial(), link = doc.LinkNumber() + 1](HRESULT why) {
        OnLinkLost(serial, why, link);
    };
    const CQuilletHost& host = m_host.documents;
    activation.client.waiter =
        std::make_shared<CCallWaiter>(host.dispatcher, host.ui, host.texts, doc.GetProgID(), m_host.callTimeout);
    return opc::CoCreateInstanceEx(resolved, target, IID_IUnknown, server.put(), activation);
}

bool CQuilletApp::Reconnect(CQuilletDoc& doc)
{
    if (!FrameOf(&doc)) return false;
    if (doc.IsConnected() && doc.GetServer()) return true;
    quillet::UiServices& prompter = m_host.documents.ui;
    quillet::WaitCursor wait(prompter);
    // The lost link goes first: nothing of it is left running while a server starts.
    doc.ReleaseServer();
    CLSID resolved = doc.GetCLSID();
    HRESULT hr = resolved == CLSID_NULL ? LookUpClass(doc.GetProgID(), doc.GetNode(), resolved) : S_OK;
    opc::ComPtr<IUnknown> server;
    if (SUCCEEDED(hr)) hr = Activate(doc, resolved, server);
    if (FAILED(hr) || !server) {
        prompter.MessageBox(quillet::ErrorText(m_host.documents.texts, FAILED(hr) ? hr : E_NOINTERFACE));
        return false;
    }
    // The groups are made again as they were; the old ones go without server calls.
    struct Kept {
        CGroupSettings settings;
        std::vector<std::unique_ptr<CItem>> items;
    };
    std::vector<Kept> kept;
    for (const auto& group : doc.Groups()) {
        const CGroup& old = *group;
        Kept k;
        k.settings = {old.GetName(),     old.IsActive(),        old.m_dwRequestedRate, old.GetTimeBias(),
                      old.GetDeadband(), old.GetAdviseMode(),   old.m_bAllowTimeOut,   old.m_bTimeStamps,
                      old.GetUpdatesItem() != nullptr};
        for (const auto& item : old.Items()) {
            if (item.get() == old.GetUpdatesItem()) continue;
            auto copy = std::make_unique<CItem>(doc);
            copy->SetAccessPath(item->GetAccessPath());
            copy->SetItemID(item->GetItemID());
            copy->SetActive(item->IsActive());
            copy->SetRequestedType(item->GetRequestedType());
            k.items.push_back(std::move(copy));
        }
        kept.push_back(std::move(k));
    }
    doc.DropGroups();
    hr = doc.AttachServer(std::move(server));
    if (FAILED(hr)) {
        prompter.MessageBox(quillet::ErrorText(m_host.documents.texts, hr));
        return false;
    }
    if (m_bDcom) doc.WriteLog(quillet::LOG_SERVER, doc.GetTitle() + "      Started");
    for (Kept& k : kept) {
        CGroup* group = doc.AddServerGroup(std::make_unique<CGroup>(doc, k.settings), k.settings.timeStamps);
        if (group) FrameOf(&doc)->Items().AddItemsToServer(*group, std::move(k.items));
    }
    doc.UpdateAllViews();
    return true;
}

void CQuilletApp::CloseDocument(CQuilletDoc* doc)
{
    auto it = std::find_if(m_windows.begin(), m_windows.end(), [&](const Window& w) { return w.doc.get() == doc; });
    if (it == m_windows.end()) return;
    doc->OnCloseDocument();
    std::erase(m_connections, doc);
    if (m_closing) m_closing(*doc);
    // The window goes before its document; the entries after it then move up empty-
    // handed, so no move frees a document under a window still standing.
    it->frame.reset();
    it->doc.reset();
    m_windows.erase(it);
}

CSplitterFrame* CQuilletApp::FrameOf(const CQuilletDoc* doc) const
{
    for (const Window& w : m_windows)
        if (w.doc.get() == doc) return w.frame.get();
    return nullptr;
}

void CQuilletApp::OnLinkLost(DWORD docSerial, HRESULT cause, DWORD link)
{
    for (const Window& w : m_windows)
        if (w.doc->GetSerial() == docSerial && (link == 0 || link == w.doc->LinkNumber())) w.doc->OnLinkLost(cause);
}

CQuilletDoc* CQuilletApp::FindConnection(const std::string& progId, const std::string& node) const
{
    for (CQuilletDoc* doc : m_connections)
        if (doc->GetProgID() == progId && doc->GetNode() == node) return doc;
    return nullptr;
}
