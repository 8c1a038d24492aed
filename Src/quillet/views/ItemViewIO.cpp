// Item operations that read and write: synchronous, asynchronous 1.0 and 2.0, the
// refresh, and the watchdog that cancels transactions the server never completes.
#include "quillet/views/ItemView.h"

#include "quillet/text/ErrorText.h"
#include "quillet/forms/WriteItemDlg.h"
#include "quillet/doc/QuilletDoc.h"

#include "platform/win/Clock.h"

using quillet::HexCode;

namespace {

std::vector<OPCHANDLE> ServerHandles(const std::vector<CItem*>& items)
{
    std::vector<OPCHANDLE> handles;
    for (CItem* item : items) handles.push_back(item->GetServerHandle());
    return handles;
}

} // namespace

std::vector<CItem*> CItemView::Requested(const std::vector<CItem*>& items, CGroup& group) const
{
    std::vector<CItem*> sent;
    for (CItem* item : items)
        if (group.IsServerItem(item)) sent.push_back(item);
    if (sent.empty()) m_doc.Ui().MessageBox("No Items to be read");
    return sent;
}

// ---- reads ----

void CItemView::Started(CGroup& group, std::unique_ptr<CTransaction> record, DWORD id, DWORD category,
                        std::string_view idPrefix)
{
    group.Pend(std::move(record), id);
    group.GroupLog(category, std::string(idPrefix) + HexCode(id));
    StartWatchdog(group);
}

void CItemView::StartRead(const std::vector<CItem*>& items, CGroup& group, CTransaction::Road road,
                          const ReadCall& call)
{
    const auto sent = Requested(items, group);
    if (sent.empty()) return;
    auto record = group.NewTransaction(road);
    DWORD id = 0;
    std::vector<HRESULT> errors;
    const auto handles = ServerHandles(sent);
    const HRESULT hr = m_doc.CheckCall(call(handles, record->m_hClient, &id, errors));
    if (FAILED(hr)) return m_doc.ShowError(hr);
    ReportItemErrors(handles, errors, group, 0);
    Started(group, std::move(record), id, quillet::LOG_ASYNC_READ, "ID ");
}

void CItemView::AsyncRead(const std::vector<CItem*>& items, CGroup& group, OPCDATASOURCE source)
{
    StartRead(items, group, CTransaction::Road::AsyncIO, [&](auto& handles, DWORD, DWORD* id, auto& errors) {
        HRESULT hr = S_OK;
        IOPCAsyncIO* io = group.AsyncIO(&hr);
        return io ? io->Read(group.m_dwDataConnection, source, handles, id, errors) : hr;
    });
}

void CItemView::AsyncIO2Read(const std::vector<CItem*>& items, CGroup& group)
{
    StartRead(items, group, CTransaction::Road::AsyncIO2, [&](auto& handles, DWORD clientId, DWORD* id, auto& errors) {
        HRESULT hr = S_OK;
        IOPCAsyncIO2* io = group.AsyncIO2(&hr);
        return io ? io->Read(handles, clientId, id, errors) : hr;
    });
}

void CItemView::SyncRead(const std::vector<CItem*>& items, CGroup& group, OPCDATASOURCE source)
{
    const auto sent = Requested(items, group);
    if (sent.empty()) return;
    HRESULT hr = S_OK;
    IOPCSyncIO* io = group.SyncIO(&hr);
    if (!io) return m_doc.ShowError(hr);
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    hr = m_doc.CheckCall(io->Read(source, ServerHandles(sent), states, errors));
    if (FAILED(hr)) {
        m_doc.ReportError(hr);
        group.GroupLog(quillet::LOG_SYNC_READ, HexCode(DWORD(hr)));
        return;
    }
    for (std::size_t i = 0; i < sent.size() && i < states.size(); ++i) {
        const HRESULT error = i < errors.size() ? errors[i] : S_OK;
        if (error == S_OK) {
            sent[i]->TakeValue(std::move(states[i].vDataValue), states[i].ftTimeStamp, states[i].wQuality,
                               ValueRoad::SyncRead);
        } else if (auto text = ItemErrorText(error)) {
            const std::string line = *text + " on item " + sent[i]->GetItemID();
            m_doc.Ui().MessageBox(line);
            group.GroupLog(quillet::LOG_SYNC_READ, line);
        }
    }
}

void CItemView::AsyncRefresh(CGroup& group, OPCDATASOURCE source)
{
    HRESULT hr = S_OK;
    IOPCAsyncIO* io = group.AsyncIO(&hr);
    if (!io) return m_doc.ShowError(hr);
    DWORD tid = 0;
    hr = m_doc.CheckCall(io->Refresh(group.m_dwDataConnection, source, &tid));
    if (FAILED(hr)) {
        m_doc.ReportError(hr);
        group.GroupLog(quillet::LOG_ASYNC_REFRESH, "HR=" + HexCode(DWORD(hr)));
        return;
    }
    Started(group, group.NewTransaction(CTransaction::Road::AsyncIO), tid, quillet::LOG_ASYNC_REFRESH, "ID=");
}

// ---- writes ----

bool CItemView::HasWriteItems(const std::vector<OPCHANDLE>& handles, bool always) const
{
    if (!handles.empty()) return true;
    if (always || m_doc.m_bDisplayMessages) m_doc.Ui().MessageBox("No Items to be written");
    return false;
}

void CItemView::AsyncWrite(const std::vector<OPCHANDLE>& handles, CGroup& group, const std::vector<VARIANT>& values)
{
    if (!HasWriteItems(handles, false)) return;
    HRESULT hr = S_OK;
    IOPCAsyncIO* io = group.AsyncIO(&hr);
    if (!io) return m_doc.ShowError(hr);
    DWORD tid = 0;
    std::vector<HRESULT> errors;
    hr = m_doc.CheckCall(io->Write(group.m_dwWriteConnection, handles, values, &tid, errors));
    ReportCall(hr, group, quillet::LOG_ASYNC_WRITE, {});
    if (FAILED(hr)) return;
    ReportItemErrors(handles, errors, group, quillet::LOG_ASYNC_WRITE);
    Started(group, group.NewTransaction(CTransaction::Road::AsyncIO), tid, quillet::LOG_ASYNC_WRITE, "ID ");
}

void CItemView::AsyncIO2Write(const std::vector<OPCHANDLE>& handles, CGroup& group, const std::vector<VARIANT>& values)
{
    if (!HasWriteItems(handles, false)) return;
    HRESULT hr = S_OK;
    IOPCAsyncIO2* io = group.AsyncIO2(&hr);
    if (!io) return m_doc.ShowError(hr);
    auto record = group.NewTransaction(CTransaction::Road::AsyncIO2);
    DWORD cancelId = 0;
    std::vector<HRESULT> errors;
    hr = m_doc.CheckCall(io->Write(handles, values, record->m_hClient, &cancelId, errors));
    ReportCall(hr, group, quillet::LOG_ASYNC_WRITE, {});
    if (FAILED(hr)) return;
    ReportItemErrors(handles, errors, group, quillet::LOG_ASYNC_WRITE);
    Started(group, std::move(record), cancelId, quillet::LOG_ASYNC_WRITE, "ID ");
}

void CItemView::SyncWrite(const std::vector<OPCHANDLE>& handles, CGroup& group, const std::vector<VARIANT>& values)
{
    if (!HasWriteItems(handles, true)) return;
    HRESULT hr = S_OK;
    IOPCSyncIO* io = group.SyncIO(&hr);
    if (!io) return m_doc.ShowError(hr);
    std::vector<HRESULT> errors;
    hr = m_doc.CheckCall(io->Write(handles, values, errors));
    ReportCall(hr, group, quillet::LOG_SYNC_WRITE, "HR=");
    if (SUCCEEDED(hr)) ReportItemErrors(handles, errors, group, quillet::LOG_SYNC_WRITE);
}

void CItemView::ReportCall(HRESULT hr, CGroup& group, DWORD category, std::string_view prefix)
{
    if (FAILED(hr)) m_doc.ReportError(hr);
    // The synchronous write logs its result whatever it is; the others their failures.
    if (FAILED(hr) || !prefix.empty()) group.GroupLog(category, std::string(prefix) + HexCode(DWORD(hr)));
}

void CItemView::ReportItemErrors(const std::vector<OPCHANDLE>& handles, const std::vector<HRESULT>& errors,
                                 CGroup& group, DWORD category)
{
    for (std::size_t i = 0; i < errors.size() && i < handles.size(); ++i) {
        if (SUCCEEDED(errors[i])) continue;
        auto text = ItemErrorText(errors[i]);
        if (!text) continue;
        const std::string line = *text + " on item " + HexCode(handles[i]);
        // A read's failures are always shown; a write's are logged, and shown on request.
        if (category == 0 || m_doc.m_bDisplayMessages) m_doc.Ui().MessageBox(line);
        if (category != 0) group.GroupLog(category, line);
    }
}

// ---- the watchdog ----

void CItemView::StartWatchdog(const CGroup& group)
{
    if (m_watchdogId || !group.m_bAllowTimeOut) return;
    m_watchdogId = kWatchdogTimer;
    m_window.Start(m_watchdogId, kWatchdogPeriodMs);
}

void CItemView::OnWatchdog()
{
    bool younger = false;
    // Once running it walks every group: the flag only decides who may start it.
    for (auto& group : m_doc.Groups()) {
        auto& pending = group->Pending();
        for (auto it = pending.begin(); it != pending.end();) {
            CTransaction& t = **it;
            if (!m_doc.Clock().isTimeOver(t.m_startMs, kTransactionTimeoutMs)) {
                younger = true;
                ++it;
                continue;
            }
            group->GroupLog(quillet::LOG_TRANSACTION_TIMEOUT, "ID " + HexCode(t.m_dwID));
            // Cancelled on the road that started it; a road the group no longer has
            // reports why no cancel was sent.
            // A cancel that times out or loses the link clears every pending list, this
            // record included: take what is needed from it before the call.
            const DWORD id = t.m_dwID;
            const CTransaction::Road road = t.m_road;
            HRESULT hr = S_OK;
            if (road == CTransaction::Road::AsyncIO) {
                if (IOPCAsyncIO* io = group->AsyncIO(&hr)) hr = m_doc.CheckCall(io->Cancel(id));
            } else if (IOPCAsyncIO2* io = group->AsyncIO2(&hr)) {
                hr = m_doc.CheckCall(io->Cancel2(id));
            }
            const bool lost = !m_doc.IsConnected();
            if (!lost) it = pending.erase(it);
            group->GroupLog(quillet::LOG_ASYNC_CANCEL, "ID = " + HexCode(id) + ", HR = " + HexCode(DWORD(hr)));
            if (lost) break;
        }
    }
    if (!younger) {
        m_window.Stop(m_watchdogId);
        m_watchdogId = 0;
    }
}

// ---- commands ----

void CItemView::OnSyncRead()
{
    if (CGroup* group = SelectedGroup()) SyncRead(SelectedItems(), *group, m_source);
    m_doc.UpdateAllViews();
}

void CItemView::OnAsyncRead()
{
    if (CGroup* group = SelectedGroup()) AsyncRead(SelectedItems(), *group, m_source);
}

void CItemView::OnAsyncIO2Read()
{
    if (CGroup* group = SelectedGroup()) AsyncIO2Read(SelectedItems(), *group);
}

void CItemView::OnAsyncRefresh()
{
    if (CGroup* group = SelectedGroup()) AsyncRefresh(*group, m_source);
}

namespace {
template <typename Write>
void WriteFromDialog(CQuilletDoc& doc, CGroup* group, std::vector<CItem*> items, Write write)
{
    if (!group) return;
    std::erase_if(items, [&](CItem* item) { return !group->IsServerItem(item); });
    CWriteItemDlg form(doc.Texts(), doc.Ui(), std::move(items));
    if (doc.Ui().RunDialog(form)) write(form.handles, *group, form.values);
}
} // namespace

void CItemView::OnSyncWrite()
{
    WriteFromDialog(m_doc, SelectedGroup(), SelectedItems(), [this](auto& h, CGroup& g, auto& v) { SyncWrite(h, g, v); });
}

void CItemView::OnAsyncWrite()
{
    WriteFromDialog(m_doc, SelectedGroup(), SelectedItems(), [this](auto& h, CGroup& g, auto& v) { AsyncWrite(h, g, v); });
}

void CItemView::OnAsyncIO2Write()
{
    WriteFromDialog(m_doc, SelectedGroup(), SelectedItems(),
                    [this](auto& h, CGroup& g, auto& v) { AsyncIO2Write(h, g, v); });
}

// ---- update rules ----

bool CItemView::CanAddItem() const { return m_doc.IsConnected() && SelectedGroup(); }
bool CItemView::CanRemoveItems() const { return m_doc.IsConnected() && !m_selection.empty(); }
bool CItemView::CanActOnSelection() const { return CanRemoveItems() && SelectedGroup(); }
bool CItemView::CanAsyncIO() const
{
    return CanActOnSelection() && SelectedGroup()->GetAdviseMode() == ADVISE_DATAOBJECT;
}
bool CItemView::CanAsyncRefresh() const
{
    const CGroup* group = SelectedGroup();
    return m_doc.IsConnected() && group && group->GetAdviseMode() == ADVISE_DATAOBJECT &&
           group->Items().size() > (group->GetUpdatesItem() ? 1u : 0u);
}
