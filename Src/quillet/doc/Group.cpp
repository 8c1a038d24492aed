#include "quillet/doc/Group.h"

#include "quillet/text/ErrorText.h"
#include "quillet/doc/GroupEvent.h"
#include "quillet/doc/LogCategory.h"
#include "quillet/doc/QuilletDoc.h"

#include "platform/win/Clock.h"
#include "platform/win/NumberText.h"


using quillet::HexCode;

CTransaction::CTransaction(CHandleTable& table, std::uint64_t startMs, Road road)
    : m_table(table), m_hClient(table.Add(this)), m_startMs(startMs), m_road(road)
{
}

CTransaction::~CTransaction()
{
    if (m_hClient) m_table.Remove(m_hClient);
}

CGroup::CGroup(CQuilletDoc& doc) : m_doc(doc), m_hClient(doc.Handles().Add(this)) {}

CGroup::CGroup(CQuilletDoc& doc, const CGroupSettings& s) : CGroup(doc)
{
    m_strName = s.name;
    m_bActive = s.active;
    m_dwAdviseMode = s.adviseMode;
    m_bTimeStamps = s.timeStamps;
    m_dwRequestedRate = s.updateRate;
    m_lTimeBias = s.timeBias;
    m_fDeadband = s.deadband;
    m_bAllowTimeOut = s.allowTimeOut;
    if (s.measureRate) AddUpdatesItem();
}

CGroup::~CGroup()
{
    m_events.clear();
    TearDownItems();
    ReleaseInterfaces();
    m_pending.clear();
    if (m_hClient) m_doc.Handles().Remove(m_hClient);
}

void CGroup::SetName(std::string name)
{
    m_strName = std::move(name);
    m_bChanged = TRUE;
}

void CGroup::SetTimeBias(LONG bias)
{
    m_lTimeBias = bias;
    m_bChanged = TRUE;
}

void CGroup::SetDeadband(FLOAT deadband)
{
    m_fDeadband = deadband;
    m_bChanged = TRUE;
}

void CGroup::SetLocaleID(LCID lcid)
{
    m_lcid = lcid;
    m_bChanged = TRUE;
}

void CGroup::SetActive(BOOL active)
{
    if (active == m_bActive) return;
    m_bActive = active;
    m_bChanged = TRUE;
}

void CGroup::SetAdviseMode(DWORD mode)
{
    if (mode == m_dwAdviseMode) return;
    m_dwAdviseMode = mode;
    m_bChanged = TRUE;
}

template <typename I>
I* CGroup::Kept(opc::ComPtr<I>& slot, const IID& iid, HRESULT* hr)
{
    HRESULT result = S_OK;
    if (!slot) result = m_itemMgt ? m_itemMgt->QueryInterface(iid, slot.putVoid()) : E_NOINTERFACE;
    if (hr) *hr = result;
    return slot.get();
}

IOPCSyncIO* CGroup::SyncIO(HRESULT* hr) { return Kept(m_syncIO, IID_IOPCSyncIO, hr); }
IOPCAsyncIO* CGroup::AsyncIO(HRESULT* hr) { return Kept(m_asyncIO, IID_IOPCAsyncIO, hr); }
IOPCAsyncIO2* CGroup::AsyncIO2(HRESULT* hr) { return Kept(m_asyncIO2, IID_IOPCAsyncIO2, hr); }

void CGroup::ReleaseInterfaces()
{
    m_syncIO.reset();
    m_asyncIO.reset();
    m_asyncIO2.reset();
    m_connectionPoint.reset();
    m_dataObject.reset();
    m_itemMgt.reset();
}

void CGroup::AddUpdatesItem()
{
    if (m_pUpdatesItem) return;
    auto item = std::make_unique<CItem>(nullptr, m_doc.Clock());
    item->SetItemID(kUpdatesItemID);
    item->TakeValue(VARIANT::R4(0), std::nullopt, OPC_QUALITY_GOOD, ValueRoad::Subscription);
    m_pUpdatesItem = item.get();
    m_items.push_front(std::move(item));
}

bool CGroup::EndSubscription()
{
    bool ended = true;
    // Ends one connection; a connection that was never made has nothing to end. A
    // stream that stays is shown; a callback that stays keeps its mode, which says it.
    auto end = [&](DWORD& connection, bool show, auto&& call) {
        if (!connection) return;
        HRESULT hr = m_doc.CheckCall(call(connection));
        if (SUCCEEDED(hr)) {
            connection = 0;
            return;
        }
        if (show) m_doc.ShowError(hr);
        ended = false;
    };
    if (m_dwAdviseMode == ADVISE_DATAOBJECT && m_dataObject) {
        auto unadvise = [&](DWORD c) { return m_dataObject->DUnadvise(c); };
        end(m_dwDataConnection, true, unadvise);
        if (!m_dwDataConnection) SetAdviseMode(ADVISE_NONE);
        end(m_dwWriteConnection, true, unadvise);
    } else if (m_dwAdviseMode == ADVISE_CONNECTIONPOINT) {
        if (m_connectionPoint) end(m_dwCookie, false, [&](DWORD c) { return m_connectionPoint->Unadvise(c); });
        if (!m_dwCookie) SetAdviseMode(ADVISE_NONE);
    }
    return ended;
}

std::unique_ptr<CTransaction> CGroup::NewTransaction(CTransaction::Road road)
{
    return std::make_unique<CTransaction>(m_doc.Handles(), m_doc.Clock().monotonicMs(), road);
}

void CGroup::Pend(std::unique_ptr<CTransaction> record, DWORD id)
{
    record->m_dwID = id;
    record->m_startMs = m_doc.Clock().monotonicMs();
    m_pending.push_back(std::move(record));
}

ValueRoad CGroup::Complete(DWORD id, bool byClientHandle)
{
    if (id == 0) return ValueRoad::Subscription;
    GroupLog(quillet::LOG_TRANSACTION_COMPLETE, "ID " + HexCode(id));
    m_pending.remove_if([&](const auto& t) { return (byClientHandle ? t->m_hClient : t->m_dwID) == id; });
    return ValueRoad::AsyncRead;
}

ValueRoad CGroup::CompleteTransaction(DWORD id) { return Complete(id, false); }
ValueRoad CGroup::CompleteCallbackTransaction(DWORD transactionId) { return Complete(transactionId, true); }

void CGroup::ForgetCallbackTransaction(DWORD transactionId)
{
    if (transactionId == 0) return;
    m_pending.remove_if([&](const auto& t) { return t->m_hClient == transactionId; });
}

void CGroup::CountUpdate()
{
    if (!m_pUpdatesItem) return;
    const std::uint64_t now = m_doc.Clock().monotonicMs();
    if (!m_firstUpdateMs) {
        // The first arrival only starts the clock; the first rate follows a second later.
        m_firstUpdateMs = now;
        m_nUpdateCount = 0;
        m_lastDisplayMs = now;
        return;
    }
    ++m_nUpdateCount;
    if (now - m_lastDisplayMs < 1000) return;
    const double rate = quillet::UpdatesPerSecond(m_nUpdateCount, now - *m_firstUpdateMs);
    m_pUpdatesItem->TakeValue(VARIANT::R8(rate), std::nullopt, OPC_QUALITY_GOOD, ValueRoad::Subscription);
    m_lastDisplayMs = now;
}

void CGroup::ResetUpdateCount()
{
    m_nUpdateCount = 0;
    m_firstUpdateMs.reset();
}

void CGroup::RefreshPeriod()
{
    for (auto& item : m_items) item->RefreshPeriod();
}

void CGroup::ResetRunAverages()
{
    for (auto& item : m_items) item->ResetRunAverage();
}

void CGroup::TearDownItems()
{
    for (auto& item : m_items) {
        item->ItemLog(quillet::LOG_RUN_AVERAGE, m_strName + ":" + std::to_string(m_dwRevisedRate) + "\t     " +
                                                    win::FixedText(item->RunAverage()));
    }
    m_items.clear();
    m_pUpdatesItem = nullptr;
}

void CGroup::GroupLog(DWORD category, std::string_view text) const
{
    std::string line(text);
    line += " - (Group) " + m_strName + " #(Item) " + std::to_string(m_items.size());
    m_doc.WriteLog(category, line);
}
