// Adding groups to the server with their subscriptions, and removing them.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/text/ErrorText.h"
#include "quillet/doc/Sinks.h"

#include "platform/com/Bstr.h"

#include <algorithm>

using quillet::HexCode;

CGroup* CQuilletDoc::AddServerGroup(std::unique_ptr<CGroup> owned, BOOL timeStamps)
{
    // Every way out without the group in the list deletes it.
    if (!m_server || !owned) return nullptr;
    CGroup& group = *owned;
    LONG timeBias = group.GetTimeBias();
    FLOAT deadband = group.GetDeadband();
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    opc::ComPtr<IUnknown> unknown;
    HRESULT hr = CheckCall(m_server->AddGroup(com::toBstr(group.GetName()), group.IsActive(), group.m_dwRequestedRate,
                                              group.GetClientHandle(), &timeBias, &deadband, 0, &hServer, &revised,
                                              IID_IOPCItemMgt, unknown.put()));
    if (FAILED(hr) || !unknown) {
        ReportError(hr);
        group.GroupLog(quillet::LOG_GROUP_ADD, "HR=" + HexCode(DWORD(hr)));
        return nullptr;
    }
    group.m_hServer = hServer;
    group.m_dwRevisedRate = revised;
    group.m_itemMgt = opc::ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unknown.detach())));

    if (group.GetName().empty()) {
        // The server named it; the group takes that name.
        auto state = group.m_itemMgt.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
        std::u16string name;
        hr = state ? CheckCall(state->GetState(nullptr, nullptr, &name, nullptr, nullptr, nullptr, nullptr, nullptr))
                   : E_NOINTERFACE;
        if (SUCCEEDED(hr)) group.SetName(com::fromBstr(name));
        else ShowError(hr);
    }
    group.GroupLog(quillet::LOG_GROUP_ADD, {});

    group.m_dataObject = group.m_itemMgt.as<IDataObject>(IID_IDataObject);
    if (auto container = group.m_itemMgt.as<IConnectionPointContainer>(IID_IConnectionPointContainer))
        if (FAILED(CheckCall(container->FindConnectionPoint(IID_IOPCDataCallback, group.m_connectionPoint.put()))))
            group.m_connectionPoint.reset();
    const DWORD mode = group.GetAdviseMode();
    if (!group.m_dataObject && !group.m_connectionPoint) {
        group.GroupLog(quillet::LOG_GROUP_ADD, "Could not connect to any subcription services.");
        group.SetAdviseMode(ADVISE_NONE);
    } else if (mode == ADVISE_DATAOBJECT && !group.m_dataObject) {
        group.GroupLog(quillet::LOG_GROUP_ADD, "Could not start IDataObject Advise, defaulting to IConnectionPoint Advise.");
        group.SetAdviseMode(ADVISE_CONNECTIONPOINT);
    } else if (mode == ADVISE_CONNECTIONPOINT && !group.m_connectionPoint) {
        group.GroupLog(quillet::LOG_GROUP_ADD, "Could not start IConnectionPoint Advise, defaulting to IDataObject Advise.");
        group.SetAdviseMode(ADVISE_DATAOBJECT);
    }
    group.m_format = FORMATETC{};

    if (group.GetAdviseMode() == ADVISE_DATAOBJECT) {
        // Without the write-complete stream the group is of no use: it leaves the server again.
        if (FAILED(DAdviseFormat(group, "OPCSTMFORMATWRITECOMPLETE", group.m_dwWriteConnection))) {
            RemoveFromServer(group);
            return nullptr;
        }
        DAdviseFormat(group, timeStamps ? "OPCSTMFORMATDATATIME" : "OPCSTMFORMATDATA", group.m_dwDataConnection);
    } else if (group.GetAdviseMode() == ADVISE_CONNECTIONPOINT) {
        AdviseCallback(group);
    }
    m_groups.push_back(std::move(owned));
    UpdateAllViews();
    return &group;
}

HRESULT CQuilletDoc::DAdviseFormat(CGroup& group, const char* format, DWORD& connection)
{
    FORMATETC f = group.m_format;
    f.cfFormat = RegisterClipboardFormat(format);
    HRESULT hr = CheckCall(group.m_dataObject->DAdvise(f, 0, m_adviseSink.get(), &connection));
    if (FAILED(hr)) {
        connection = 0;
        ShowError(hr);
    }
    return hr;
}

HRESULT CQuilletDoc::AdviseCallback(CGroup& group)
{
    if (!group.m_connectionPoint) return E_NOINTERFACE;
    IUnknown* sink = static_cast<IOPCDataCallback*>(m_dataCallback.get());
    HRESULT hr = CheckCall(group.m_connectionPoint->Advise(sink, &group.m_dwCookie));
    // No box: the group stays without callbacks, which its advise menu shows.
    if (FAILED(hr)) {
        group.m_connectionPoint.reset();
        group.m_dwCookie = 0;
    }
    return hr;
}

void CQuilletDoc::RemoveFromServer(CGroup& group)
{
    group.ReleaseInterfaces();
    if (!m_bConnected) return;
    HRESULT hr = CheckCall(m_server->RemoveGroup(group.m_hServer, TRUE));
    if (FAILED(hr)) ReportError(hr);
    group.GroupLog(quillet::LOG_GROUP_REMOVE, FAILED(hr) ? "HR=" + HexCode(DWORD(hr)) : std::string());
}

void CQuilletDoc::RemoveGroup(CGroup* group)
{
    auto it = std::find_if(m_groups.begin(), m_groups.end(), [&](const auto& g) { return g.get() == group; });
    if (it == m_groups.end() || !m_server) return;
    if (m_bConnected) group->EndSubscription();
    RemoveFromServer(*group);
    group->TearDownItems();
    m_groups.erase(it);
}
