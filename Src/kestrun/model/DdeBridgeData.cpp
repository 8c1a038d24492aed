// Values through the bridge: pushes at the toolkit's timer, pokes, and the
// browse information.
#include "kestrun/model/DdeBridge.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/SystemDevice.h"
#include "platform/com/Bstr.h"
#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantToolkit.h"

namespace kestrun {

namespace {

constexpr const char* kWriteError = "There was an error in writing the data";

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
        ++m_nWdogUpdating;
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
            // A point whose type was changed since would be read wrongly by the toolkit.
            if (PointType(*point) != item->nType)
                continue;
            _BRISANTDATAVALUE value{};
            if (!point->ReadValue(&value, &a, pszNull))
                continue;
            if (!dde::BrisantUpdateItemValue(a.dwServerId, item->hHandle, value.dw[0], value.dw[1], 0,
                                             point->GetStatus(), options.updateSameValue ? 1 : 0))
                FreeReadCopy(item->nType, value, a.dwServerId);
        }
    }
    m_bInActionTimer = false;
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
    if (point->WriteValue(a.value, a.dwServerId)) {
        dde::BrisantPokeAck(a.dwServerId, a.hItem, 0, nullptr);
        SendHint(HINT_WRITE_QUEUED, CdsHint::ForValue(point, type, a.value));
        return true;
    }
    dde::BrisantPokeAck(a.dwServerId, a.hItem, 1, kWriteError);
    SendHint(HINT_WRITE_REFUSED, CdsHint::ForValue(point, type, a.value));
    return false;
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
