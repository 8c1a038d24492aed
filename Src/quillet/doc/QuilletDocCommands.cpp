// The document's commands that call the server.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/text/ErrorText.h"

#include "platform/win/Clock.h"

using quillet::HexCode;

CGroup* CQuilletDoc::OnAddGroup(const CGroupSettings& settings)
{
    if (!CanAddGroup()) return nullptr;
    SetModifiedFlag();
    return AddServerGroup(std::make_unique<CGroup>(*this, settings), settings.timeStamps);
}

bool CQuilletDoc::GetServerStatus(OPCSERVERSTATUS& status)
{
    if (!m_server) return false;
    HRESULT hr = CheckCall(m_server->GetStatus(status));
    if (FAILED(hr)) ShowError(hr);
    return SUCCEEDED(hr);
}

void CQuilletDoc::AdviseNone(CGroup& group)
{
    // A subscription that could not be ended stays as it is.
    if (!CanAddGroup() || !group.EndSubscription()) return;
    group.SetAdviseMode(ADVISE_NONE);
    group.m_bTimeStamps = FALSE;
}

bool CQuilletDoc::AdviseDataObject(CGroup& group, BOOL timeStamps)
{
    if (!CanAdviseDataObject(&group) || !group.EndSubscription()) return false;
    group.SetAdviseMode(ADVISE_DATAOBJECT);
    group.m_bTimeStamps = timeStamps;
    bool data = SUCCEEDED(
        DAdviseFormat(group, timeStamps ? "OPCSTMFORMATDATATIME" : "OPCSTMFORMATDATA", group.m_dwDataConnection));
    bool write = SUCCEEDED(DAdviseFormat(group, "OPCSTMFORMATWRITECOMPLETE", group.m_dwWriteConnection));
    return data && write;
}

bool CQuilletDoc::AdviseConnectionPoint(CGroup& group)
{
    if (!CanAdviseConnectionPoint(&group) || !group.EndSubscription()) return false;
    group.SetAdviseMode(ADVISE_CONNECTIONPOINT);
    group.m_bTimeStamps = FALSE;
    return SUCCEEDED(AdviseCallback(group));
}

void CQuilletDoc::ToggleAsyncIO2Enable(CGroup& group)
{
    if (!m_server) return;
    HRESULT hr = S_OK;
    IOPCAsyncIO2* io = group.AsyncIO2(&hr);
    if (!io) {
        ShowError(hr);
        return;
    }
    if (group.GetAdviseMode() != ADVISE_CONNECTIONPOINT) return;
    // The flag shows what the server runs with: it changes only when the server took it.
    const BOOL enable = group.m_bSubscriptionEnabled ? FALSE : TRUE;
    hr = CheckCall(io->SetEnable(enable));
    if (SUCCEEDED(hr)) group.m_bSubscriptionEnabled = enable;
    else ShowError(hr);
}

bool CQuilletDoc::AsyncIO2Refresh(CGroup& group, OPCDATASOURCE source)
{
    if (!m_server) return false;
    HRESULT hr = S_OK;
    IOPCAsyncIO2* io = group.AsyncIO2(&hr);
    if (!io) {
        ShowError(hr);
        return false;
    }
    auto record = group.NewTransaction();
    DWORD cancelId = 0;
    hr = CheckCall(io->Refresh2(source, record->m_hClient, &cancelId));
    if (FAILED(hr)) {
        ReportError(hr);
        group.GroupLog(quillet::LOG_ASYNC_REFRESH, "HR=" + HexCode(DWORD(hr)));
        return false;
    }
    group.Pend(std::move(record), cancelId);
    group.GroupLog(quillet::LOG_ASYNC_REFRESH, "ID=" + HexCode(cancelId));
    if (m_pItemView) m_pItemView->StartWatchdog(group);
    return true;
}
