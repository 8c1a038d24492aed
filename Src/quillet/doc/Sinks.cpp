#include "quillet/doc/Sinks.h"

#include "quillet/text/ErrorText.h"
#include "quillet/doc/Group.h"
#include "quillet/doc/LogCategory.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"

#include "platform/com/Bstr.h"
#include "platform/opc/wire/DataStream.h"

#include <algorithm>

using quillet::HexCode;

namespace {

// The write result of one item: "Error" and the code, or an empty message.
void LogWriteResult(CQuilletDoc& doc, OPCHANDLE hClient, HRESULT result)
{
    CItem* item = doc.Handles().Find<CItem>(hClient);
    if (!item) return;
    std::string text;
    if (FAILED(result)) text = std::string(doc.Texts().Text(quillet::IDS_ERROR)) + " " + HexCode(DWORD(result));
    item->ItemLog(quillet::LOG_WRITE_COMPLETE, text);
}

} // namespace

// ---- 1.0 data streams ----

void CAdviseSink::OnDataChange(const FORMATETC& format, const STGMEDIUM& medium)
{
    if (!m_pDoc || !m_pDoc->IsConnected() || medium.tymed != TYMED_HGLOBAL || medium.hGlobal.empty()) return;
    if (format.cfFormat == RegisterClipboardFormat("OPCSTMFORMATDATA")) OnDataStream(medium.hGlobal, false);
    else if (format.cfFormat == RegisterClipboardFormat("OPCSTMFORMATDATATIME")) OnDataStream(medium.hGlobal, true);
    else if (format.cfFormat == RegisterClipboardFormat("OPCSTMFORMATWRITECOMPLETE")) OnWriteCompleteStream(medium.hGlobal);
}

void CAdviseSink::OnDataStream(std::span<const BYTE> block, bool withTime)
{
    // Every offset and count is checked first: a damaged stream is dropped whole.
    opc::DataStreamContent content;
    if (FAILED(opc::parseDataStream(block, withTime, content))) return;
    CGroup* group = m_pDoc->Handles().Find<CGroup>(content.hClientGroup);
    if (!group) return;
    const ValueRoad road = group->CompleteTransaction(content.transactionId);
    if (!withTime)
        group->GroupLog(quillet::LOG_SUBSCRIPTION,
                        "Number of Items in OnDataChange = " + std::to_string(content.items.size()) + " ");
    group->CountUpdate();
    for (opc::StreamItem& one : content.items)
        if (CItem* item = m_pDoc->Handles().Find<CItem>(one.hClient))
            item->TakeValue(std::move(one.value), withTime ? std::optional(one.timestamp) : std::nullopt, one.quality,
                            road);
}

void CAdviseSink::OnWriteCompleteStream(std::span<const BYTE> block)
{
    opc::WriteCompleteContent content;
    if (FAILED(opc::parseWriteCompleteStream(block, content))) return;
    CGroup* group = m_pDoc->Handles().Find<CGroup>(content.hClientGroup);
    if (!group) return;
    group->CompleteTransaction(content.transactionId);
    for (const opc::StreamWriteResult& one : content.items) LogWriteResult(*m_pDoc, one.hClient, one.error);
}

// ---- 2.0 data callback ----

void CDataCallback::OnData(bool read, DWORD transactionId, OPCHANDLE hGroup, std::span<const OPCHANDLE> clientItems,
                           std::span<const VARIANT> values, std::span<const WORD> qualities,
                           std::span<const FILETIME> timeStamps)
{
    // Values that come after the server said it goes (or the link went) are not shown
    // over the "not connected" the items took then.
    if (!m_pDoc || !m_pDoc->IsConnected()) return;
    CGroup* group = m_pDoc->Handles().Find<CGroup>(hGroup);
    if (!group) return;
    ValueRoad road = group->CompleteCallbackTransaction(transactionId);
    // A data change carries subscription values even after a refresh.
    if (!read) road = ValueRoad::Subscription;
    group->CountUpdate();
    const std::size_t n = std::min({clientItems.size(), values.size(), qualities.size(), timeStamps.size()});
    for (std::size_t i = 0; i < n; ++i)
        if (CItem* item = m_pDoc->Handles().Find<CItem>(clientItems[i]))
            item->TakeValue(values[i], timeStamps[i], qualities[i], road);
}

HRESULT CDataCallback::OnDataChange(DWORD transactionId, OPCHANDLE hGroup, HRESULT, HRESULT,
                                    std::span<const OPCHANDLE> clientItems, std::span<const VARIANT> values,
                                    std::span<const WORD> qualities, std::span<const FILETIME> timeStamps,
                                    std::span<const HRESULT>)
{
    OnData(false, transactionId, hGroup, clientItems, values, qualities, timeStamps);
    return S_OK;
}

HRESULT CDataCallback::OnReadComplete(DWORD transactionId, OPCHANDLE hGroup, HRESULT, HRESULT,
                                      std::span<const OPCHANDLE> clientItems, std::span<const VARIANT> values,
                                      std::span<const WORD> qualities, std::span<const FILETIME> timeStamps,
                                      std::span<const HRESULT>)
{
    OnData(true, transactionId, hGroup, clientItems, values, qualities, timeStamps);
    return S_OK;
}

HRESULT CDataCallback::OnWriteComplete(DWORD transactionId, OPCHANDLE hGroup, HRESULT,
                                       std::span<const OPCHANDLE> clientItems, std::span<const HRESULT> errors)
{
    if (!m_pDoc) return S_OK;
    CGroup* group = m_pDoc->Handles().Find<CGroup>(hGroup);
    if (!group) return S_OK;
    group->CompleteCallbackTransaction(transactionId);
    const std::size_t n = std::min(clientItems.size(), errors.size());
    for (std::size_t i = 0; i < n; ++i) LogWriteResult(*m_pDoc, clientItems[i], errors[i]);
    return S_OK;
}

HRESULT CDataCallback::OnCancelComplete(DWORD transactionId, OPCHANDLE hGroup)
{
    if (!m_pDoc) return S_OK;
    CGroup* group = m_pDoc->Handles().Find<CGroup>(hGroup);
    if (!group) return S_OK;
    group->GroupLog(quillet::LOG_ASYNC_READ_COMPLETE, "Cancel Completed for Transaction ID " + HexCode(transactionId));
    // A cancelled transaction will not complete: it is no longer pending.
    group->ForgetCallbackTransaction(transactionId);
    return S_OK;
}

// ---- shutdown ----

HRESULT CShutdownSink::ShutdownRequest(std::u16string_view reason)
{
    if (m_pDoc) m_pDoc->OnShutdownRequest(com::fromBstr(reason));
    return S_OK;
}
