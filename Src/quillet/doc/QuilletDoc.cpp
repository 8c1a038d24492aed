#include "quillet/doc/QuilletDoc.h"

#include "quillet/text/ErrorText.h"
#include "quillet/text/UiServices.h"
#include "quillet/doc/Sinks.h"
#include "quillet/text/StringTable.h"

#include "platform/com/Bstr.h"

CQuilletDoc::CQuilletDoc(const CQuilletHost& host)
    : m_host(host)
    , m_adviseSink(new CAdviseSink(this))
    , m_dataCallback(new CDataCallback(this))
    , m_shutdownSink(new CShutdownSink(this))
{
}

CQuilletDoc::~CQuilletDoc()
{
    // Groups first: tearing their items down still logs through this document.
    m_groups.clear();
    m_adviseSink->Detach();
    m_dataCallback->Detach();
    m_shutdownSink->Detach();
    m_serverObject.reset();
    if (m_bConnected && m_shutdownPoint && m_dwShutdownCookie) m_shutdownPoint->Unadvise(m_dwShutdownCookie);
    m_shutdownPoint.reset();
    m_server.reset();
}

void CQuilletDoc::SetConnection(std::string progId, std::string node, const CLSID& clsid)
{
    m_strProgID = std::move(progId);
    m_strNode = std::move(node);
    m_clsid = clsid;
}

HRESULT CQuilletDoc::AttachServer(opc::ComPtr<IUnknown> serverObject)
{
    // An earlier link is gone or was given up: its objects go without calls.
    m_shutdownPoint.reset();
    m_dwShutdownCookie = 0;
    m_server.reset();
    m_serverObject = std::move(serverObject);
    if (!m_serverObject) return E_POINTER;
    m_bConnected = true;
    ++m_dwLink;
    HRESULT hr = CheckCall(m_serverObject->QueryInterface(IID_IOPCServer, m_server.putVoid()));
    if (m_server) StartShutdownSubscription();
    return hr;
}

void CQuilletDoc::ReleaseServer()
{
    for (auto& group : m_groups) group->ReleaseInterfaces();
    m_shutdownPoint.reset();
    m_dwShutdownCookie = 0;
    m_server.reset();
    m_serverObject.reset();
    m_bConnected = false;
}

void CQuilletDoc::DropGroups()
{
    while (!m_groups.empty()) {
        m_groups.front()->ReleaseInterfaces();
        m_groups.front()->TearDownItems();
        m_groups.pop_front();
    }
    UpdateAllViews();
}

void CQuilletDoc::StartShutdownSubscription()
{
    // A server without the container or the connection point has no shutdown notice.
    auto container = m_serverObject.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (!container) return;
    if (FAILED(CheckCall(container->FindConnectionPoint(IID_IOPCShutdown, m_shutdownPoint.put())))) {
        m_shutdownPoint.reset();
        return;
    }
    IUnknown* sink = static_cast<IOPCShutdown*>(m_shutdownSink.get());
    if (FAILED(CheckCall(m_shutdownPoint->Advise(sink, &m_dwShutdownCookie)))) {
        m_shutdownPoint.reset();
        m_dwShutdownCookie = 0;
    }
}

void CQuilletDoc::OnCloseDocument()
{
    while (!m_groups.empty()) {
        CGroup* group = m_groups.front().get();
        if (m_server) RemoveGroup(group);
        else m_groups.pop_front();
    }
}

// ---- failures and the link ----

HRESULT CQuilletDoc::CheckCall(HRESULT hr)
{
    switch (hr) {
    case RPC_S_CALL_FAILED:
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case RPC_S_SERVER_UNAVAILABLE:
    case CO_E_SERVER_STOPPING:
        OnLinkLost(hr);
        break;
    default:
        break;
    }
    return hr;
}

void CQuilletDoc::MarkDisconnected()
{
    m_bConnected = false;
    for (auto& group : m_groups) {
        for (auto& item : group->Items()) item->SetQualityOfAllRoads(OPC_QUALITY_NOT_CONNECTED);
        // Nothing pending can complete now; the watchdog must not call a server that is gone.
        for (auto& t : group->Pending()) group->GroupLog(quillet::LOG_TRANSACTION_TIMEOUT, "ID " + quillet::HexCode(t->m_dwID));
        group->Pending().clear();
    }
}

void CQuilletDoc::OnShutdownRequest(const std::string& reason)
{
    MarkDisconnected();
    WriteLog(quillet::LOG_SERVER, reason);
    UpdateAllViews();
}

void CQuilletDoc::OnLinkLost(HRESULT cause)
{
    if (!m_bConnected || !m_server) return;
    MarkDisconnected();
    WriteLog(quillet::LOG_SERVER, std::string(Texts().Text(quillet::IDS_LINK_LOST)) + " - " +
                                      quillet::ErrorText(Texts(), cause));
    UpdateAllViews();
}

void CQuilletDoc::ShowError(HRESULT hr) { Ui().MessageBox(quillet::ErrorText(Texts(), hr)); }

void CQuilletDoc::ReportError(HRESULT hr)
{
    if (m_bDisplayMessages) ShowError(hr);
}

void CQuilletDoc::UpdateAllViews()
{
    if (m_bUpdating) {
        m_bUpdateAgain = true;
        return;
    }
    m_bUpdating = true;
    do {
        m_bUpdateAgain = false;
        if (m_pGroupView) m_pGroupView->OnUpdate();
        if (m_pItemView) m_pItemView->OnUpdate();
        if (m_pLoggerView) m_pLoggerView->OnUpdate();
    } while (m_bUpdateAgain);
    m_bUpdating = false;
}
