// Values through the bridge: pushes at the toolkit's timer, pokes, and the
// browse information.
#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/options/EngineCounters.h"
#include "platform/com/Bstr.h"
#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantToolkit.h"

namespace kestrun {

namespace {

constexpr const char* kWriteError = "There was an error in writing the data";

std::string WriteRefusal(const CdsMemoryObject& point, const _BRISANTDATAVALUE& value)
{
    if (std::string reason = point.GetWriteRefusal(); !reason.empty())
        return reason;
    if (std::string reason = point.GetValueRefusal(value); !reason.empty())
        return reason;
    return "the write could not be queued";
}

// A text or array copy made by a read goes back when the toolkit did not take it.
void FreeReadCopy(int nType, _BRISANTDATAVALUE& value, DWORD dwServerId)
{
    if ((dde::IsTextType(nType) || dde::IsArrayType(nType)) && value.parrVal)
        dde::BrisantHeapFree(dwServerId, value.parrVal);
    value.ullVal = 0;
}

} // namespace

void DdeBridge::DoTimerFired(_BRISANT_DATAACTION& a)
{
    if (m_bInActionTimer)
        return;
    m_bInActionTimer = true;
    const DdeBridgeOptions options = DdeBridgeOptions::Current();
    const std::string nullString = m_host.GetNullStringValue();
    const char* pszNull = nullString.empty() ? nullptr : nullString.c_str();
    for (DdeTopicRecord* topic = m_pTopics; topic; topic = topic->pNext) {
        ++CdsEngineCounters::m_nWdogUpdating;   // the status bar's client updates, as OPC's
        for (DdeItemRecord* item = topic->pFirstItem; item; item = item->pNext) {
            CdsMemoryObject* point = item->pPoint;
            if (!point) {
                // Its point went with an old map: clients learn that the value is no longer good.
                if (!item->bGoneReported)
                    item->bGoneReported = dde::BrisantUpdateItemValue(a.dwServerId, item->hHandle, 0, 0, 0, 0, 1) != 0;
                continue;
            }
            if ((!options.updateSameValue && !item->nActive) || !point->IsAsyncUpdate())
                continue;
            PushValue(a, *item, *point, options, pszNull);
        }
    }
    m_bInActionTimer = false;
}

bool DdeBridge::PushValue(_BRISANT_DATAACTION& a, DdeItemRecord& item, CdsMemoryObject& point,
                          const DdeBridgeOptions& options, const char* pszNull)
{
    // A point whose type was changed since would be read wrongly by the toolkit.
    if (PointType(point) != item.nType)
        return false;
    const WORD status = point.GetStatus();
    // The point tells a new status once, to whichever of its items reads first;
    // the item's own clients may not have it yet.
    const bool news = status != 0 && status != item.nSentQuality;
    _BRISANTDATAVALUE value{};
    const bool read = point.ReadValue(&value, &a, pszNull) ||
                      (news && !dde::IsArrayType(item.nType) && point.CopyReadValue(&value, &a, pszNull));
    if (!read) {
        // An empty text is a value too: clients get it as OPC clients do.
        if (!dde::IsTextType(item.nType) || !((point.IsTouched() && point.IsReadValueReady()) || news))
            return false;
        value.ullVal = 0;
    }
    const int taken = dde::BrisantUpdateItemValue(a.dwServerId, item.hHandle, value.dw[0], value.dw[1], 0, status,
                                                  options.updateSameValue ? 1 : 0);
    // Not taken mostly means that the toolkit holds this value and quality already.
    item.nSentQuality = status;
    if (taken)
        return true;
    FreeReadCopy(item.nType, value, a.dwServerId);
    return false;
}

// A request or advise of an item the toolkit holds no value of: its point's
// value now, once the point has one.
long DdeBridge::OnReadNow(_BRISANT_DATAACTION& a)
{
    DdeItemRecord* item = AsItem(a.pItem);
    CdsMemoryObject* point = item && !item->bDead ? item->pPoint : nullptr;
    if (!point || (!point->IsTouched() && point->GetStatus() == 0))
        return 0;
    DdeBridgeOptions options = DdeBridgeOptions::Current();
    options.updateSameValue = true;
    const std::string nullString = m_host.GetNullStringValue();
    if (PushValue(a, *item, *point, options, nullString.empty() ? nullptr : nullString.c_str()))
        return 1;
    // Nothing readable, but a known quality (offline, no answer): the client learns that.
    if (point->GetStatus() == 0 || dde::IsArrayType(item->nType) || PointType(*point) != item->nType)
        return 0;
    if (!dde::BrisantUpdateItemValue(a.dwServerId, item->hHandle, 0, 0, 0, point->GetStatus(), 1))
        return 0;
    item->nSentQuality = point->GetStatus();
    return 1;
}

long DdeBridge::OnPoke(_BRISANT_DATAACTION& a)
{
    return DoItemData(a) ? 1 : 0;
}

bool DdeBridge::DoItemData(_BRISANT_DATAACTION& a)
{
    DdeItemRecord* item = AsItem(a.pItem);
    CdsMemoryObject* point = item && !item->bDead ? item->pPoint : nullptr;
    if (!point) {
        dde::BrisantPokeAck(a.dwServerId, a.hItem, 1, kWriteError);
        SendActionHint(HINT_COMMAND_FAILED, a, 12);
        return false;
    }
    CdsMemoryArray* block = point->GetParent();
    CdsDeviceObject* device = block ? block->GetParent() : nullptr;
    if (point->IsSystemObject() && device) {
        // A server command may replace the document: once it ran, the point is not used.
        int nResult = 0;
        const bool serverCommand = dynamic_cast<CdsSystemDevice*>(device) && block->IsSystemArray();
        const int handled = device->HandleCommand(point, a.value, nResult);
        if (serverCommand || handled) {
            // Acknowledged with the command's own result; a close it asked for runs
            // after this pass, so the acknowledgement still reaches the client first.
            dde::BrisantPokeAck(a.dwServerId, a.hItem, handled ? 0 : 1, handled ? nullptr : kWriteError);
            SendActionHint(handled ? HINT_COMMAND_DONE : HINT_COMMAND_FAILED, a, 12);
            return handled != 0;
        }
    }
    const int type = point->GetDataType();
    // A write the device can never send is refused now, not queued to fail later.
    if (point->GetWriteRefusal().empty() && point->WriteValue(a.value, a.dwServerId)) {
        dde::BrisantPokeAck(a.dwServerId, a.hItem, 0, nullptr);
        SendHint(HINT_WRITE_QUEUED, CdsHint::ForValue(point, type, a.value));
        return true;
    }
    // The client and the log learn why, after the usual text.
    const std::string reason = WriteRefusal(*point, a.value);
    const std::string answer = std::string(kWriteError) + ": " + reason;
    dde::BrisantPokeAck(a.dwServerId, a.hItem, 1, answer.c_str());
    CdsHint hint = CdsHint::ForValue(point, type, a.value);
    hint.m_strReason = reason;
    SendHint(HINT_WRITE_REFUSED, hint);
    return false;
}

// A poke the toolkit refused before it reached the bridge (no number, out of
// range): only the log is told here, the client has its answer already.
long DdeBridge::OnToolkitError(_BRISANT_DATAACTION& a)
{
    DdeTopicRecord* topic = AsTopic(a.pTopic);
    DdeItemRecord* item = AsItem(a.pItem);
    if (!item)
        return 1;
    CdsHint hint = CdsHint::ForText(topic ? topic->strName : std::string(), item->strItem);
    hint.m_strReason = a.pszText ? a.pszText : "";
    SendHint(HINT_WRITE_REFUSED, hint);
    return 1;
}

void DdeBridge::DoUpdateBrowseInfo(DWORD dwServerId)
{
    if (m_bBrowseBuilt || !m_pMap)
        return;
    m_bBrowseBuilt = true;
    for (const auto& [key, device] : m_pMap->GetDevices()) {
        if (!device)
            continue;
        const std::string& topic = device->m_strName;
        const BSTR name = com::toBstr(topic);
        const BSTR path = com::toBstr("[" + topic + "]");
        device->m_dwDdeBranch = dde::BrisantAddBrowseBranch(dwServerId, 0, name.c_str(), path.c_str());
        for (CdsMemoryArray* block : device->GetMemoryArrayList().GetBlocks())
            if (block)
                block->BuildBrowseLeaves(dwServerId, device->m_dwDdeBranch, TRUE, topic);
    }
}

} // namespace kestrun
