// The bridge's topic and item records: made, linked to devices and points,
// activated, linked again after the map changed, let go and freed.
#include <new>
#include <type_traits>
#include <vector>

#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/ItemLookup.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/model/MemoryVariant.h"
#include "platform/dde/BrisantToolkit.h"

namespace kestrun {

namespace {

class DeviceLookup : public DdeItemHost {
public:
    DeviceItemResult LookupInDevice(CdsDeviceObject* device, const std::string& item) override
    {
        return LookupItemInDevice(*device, item, ItemNameOptions::Current());
    }
};

} // namespace

int DdeBridge::PointType(const CdsMemoryObject& point)
{
    const int type = point.GetDataType();
    if (type == BRISANT_NOTYPE && point.GetParent())
        return point.GetParent()->GetDefaultDataType();
    return type;
}

// --- the records' memory ---

template <typename Record>
Record* DdeBridge::NewRecord(DWORD dwServerId)
{
    void* block = m_hHeap ? dde::BrisantHeapAlloc(dwServerId, m_hHeap, static_cast<DWORD>(sizeof(Record))) : nullptr;
    if (!block)
        return nullptr;
    auto* record = new (block) Record();
    m_records[record] = std::is_same_v<Record, DdeTopicRecord> ? RecordKind::Topic : RecordKind::Item;
    return record;
}

template <typename Record>
void DdeBridge::FreeRecord(Record* pRecord)
{
    m_records.erase(pRecord);
    pRecord->~Record();
    dde::BrisantHeapFree(m_dwServerId, pRecord);
}

DdeTopicRecord* DdeBridge::AsTopic(void* p) const
{
    auto it = m_records.find(p);
    return it != m_records.end() && it->second == RecordKind::Topic ? static_cast<DdeTopicRecord*>(p) : nullptr;
}

DdeItemRecord* DdeBridge::AsItem(void* p) const
{
    auto it = m_records.find(p);
    return it != m_records.end() && it->second == RecordKind::Item ? static_cast<DdeItemRecord*>(p) : nullptr;
}

void DdeBridge::FreeAll()
{
    while (m_pTopics)
        KillTopic(*m_pTopics);
    const auto records = m_records;
    for (const auto& [record, kind] : records) {
        if (kind == RecordKind::Item)
            FreeRecord(static_cast<DdeItemRecord*>(const_cast<void*>(record)));
        else
            FreeRecord(static_cast<DdeTopicRecord*>(const_cast<void*>(record)));
    }
}

// --- linking and letting go ---

CdsMemoryObject* DdeBridge::ResolvePoint(CdsDeviceObject& device, const std::string& strItem)
{
    DeviceLookup lookup;
    const DdeItemResult found = ResolveDdeItem(lookup, &device, strItem);
    if (found.item.empty())
        return nullptr;
    // A block named by the whole item answers alone, even with no point.
    if (found.found.namesBlock || found.found.point) {
        if (dynamic_cast<CdsMemoryVariant*>(found.found.point))
            ApplyPointTagType(found.found.point);
        return found.found.point;
    }
    CdsMemoryArray* block = device.GetMemoryArrayByName("$Array");
    CdsMemoryObject* point = block ? device.CreateDynamicMemoryObject(block, found.item.c_str()) : nullptr;
    ApplyPointTagType(point);
    return point;
}

void DdeBridge::LinkItem(DdeItemRecord& item, CdsMemoryObject* pPoint)
{
    item.pPoint = pPoint;
    item.strName = pPoint->GetName();
    item.hItem = item.hHandle;
    item.bGoneReported = false;
    item.nSentQuality = 0;
    pPoint->AddDdeItem(&item);
    // Uses that were running when the old point went belong to the new one's block.
    if (CdsMemoryArray* block = pPoint->GetParent())
        for (int i = 0; i < item.nLinks; ++i)
            block->Initialize(pPoint);
    item.nActive = item.nLinks > 0;
}

void DdeBridge::KillItem(DdeItemRecord& item)
{
    if (CdsMemoryObject* point = item.pPoint) {
        if (CdsMemoryArray* block = point->GetParent())
            for (int i = 0; i < item.nLinks; ++i)
                block->Shutdown(point);
        point->RemoveDdeItem(&item);
    }
    item.pPoint = nullptr;
    item.nActive = 0;
    item.bDead = true;
}

void DdeBridge::KillTopic(DdeTopicRecord& topic)
{
    for (DdeItemRecord* item = topic.pFirstItem; item; item = item->pNext)
        KillItem(*item);
    if (topic.pDevice && topic.pDevice->GetDdeTopic() == &topic)
        topic.pDevice->SetDdeTopic(nullptr);
    topic.pDevice = nullptr;
    topic.bDead = true;
    if (topic.pPrev)
        topic.pPrev->pNext = topic.pNext;
    else if (m_pTopics == &topic)
        m_pTopics = topic.pNext;
    if (topic.pNext)
        topic.pNext->pPrev = topic.pPrev;
    topic.pNext = topic.pPrev = nullptr;
}

void DdeBridge::DestroyItem(DdeItemRecord& item)
{
    KillItem(item);
    if (DdeTopicRecord* topic = item.pTopic) {
        if (item.pPrev)
            item.pPrev->pNext = item.pNext;
        else if (topic->pFirstItem == &item)
            topic->pFirstItem = item.pNext;
        if (item.pNext)
            item.pNext->pPrev = item.pPrev;
    }
    FreeRecord(&item);
}

void DdeBridge::DestroyTopic(DdeTopicRecord& topic)
{
    while (topic.pFirstItem)
        DestroyItem(*topic.pFirstItem);
    KillTopic(topic);
    FreeRecord(&topic);
}

// --- generating ---

DdeTopicRecord* DdeBridge::DoTopicGenerate(const _BRISANT_DATAACTION& a)
{
    if (m_bClosing)
        return nullptr;
    const std::string text = a.pszText ? a.pszText : "";
    CdsDeviceObject* device = CdsDeviceMap::GetDeviceObjectByTopic(text);
    if (!device && text.empty())
        device = CdsDeviceMap::GetDeviceObjectByTopic("$Root");
    if (!device || device->GetDdeTopic())
        return nullptr;
    DdeTopicRecord* topic = NewRecord<DdeTopicRecord>(a.dwServerId);
    if (!topic)
        return nullptr;
    topic->strName = device->m_strName;
    topic->dwServerId = a.dwServerId;
    topic->hTopic = a.hTopic;
    topic->pDevice = device;
    device->SetDdeTopic(topic);
    topic->pNext = m_pTopics;
    if (m_pTopics)
        m_pTopics->pPrev = topic;
    m_pTopics = topic;
    return topic;
}

DdeItemRecord* DdeBridge::DoItemGenerate(_BRISANT_DATAACTION& a)
{
    DdeTopicRecord* topic = AsTopic(a.pTopic);
    if (m_bClosing || !topic || topic->bDead || !topic->pDevice)
        return nullptr;
    const std::string text = a.pszText ? a.pszText : "";
    // A point may have several names: each is an item of its own, bound to the same point.
    CdsMemoryObject* point = ResolvePoint(*topic->pDevice, text);
    if (!point)
        return nullptr;
    // A point that never holds a value is no item: its clients hear why at once.
    m_strItemRefusal = point->GetNoValueReason();
    if (!m_strItemRefusal.empty()) {
        a.pszReturn = m_strItemRefusal.data();
        a.nReturnLength = static_cast<LONG>(m_strItemRefusal.size());
        return nullptr;
    }
    DdeItemRecord* item = NewRecord<DdeItemRecord>(a.dwServerId);
    if (!item)
        return nullptr;
    item->pTopic = topic;
    item->strItem = text;
    item->hHandle = a.hItem;
    item->nType = PointType(*point);
    LinkItem(*item, point);
    item->pNext = topic->pFirstItem;
    if (topic->pFirstItem)
        topic->pFirstItem->pPrev = item;
    topic->pFirstItem = item;
    a.nQuality = CdsMemoryObject::QUALITY_GOOD;
    a.nDataType = static_cast<BRISANT_DATATYPE>(item->nType);
    dde::BrisantSetItemReady(a.dwServerId, a.hItem, 1);
    return item;
}

long DdeBridge::OnTopicGenerate(_BRISANT_DATAACTION& a)
{
    DdeTopicRecord* topic = DoTopicGenerate(a);
    if (!topic) {
        // The refused name is the topic the log line reads.
        CdsHint hint = CdsHint::ForAction(&a, 13);
        hint.m_strTopic = a.pszText ? a.pszText : "";
        SendHint(HINT_ACTION_FAILED, hint);
        return 0;
    }
    return reinterpret_cast<long>(topic);
}

long DdeBridge::OnItemGenerate(_BRISANT_DATAACTION& a)
{
    DdeItemRecord* item = DoItemGenerate(a);
    if (!item) {
        SendActionHint(HINT_ACTION_FAILED, a, 11, a.pszText ? a.pszText : "");
        return 0;
    }
    // Only a made item is counted: its destroy action counts it out again.
    ++m_nItemCount;
    return reinterpret_cast<long>(item);
}

// --- activation and destruction ---

long DdeBridge::OnItemActivated(_BRISANT_DATAACTION& a)
{
    DdeItemRecord* item = AsItem(a.pItem);
    if (!a.dwServerId || !m_pTopics || !item || item->bDead || !item->pPoint)
        return 0;
    CdsMemoryObject* point = item->pPoint;
    CdsMemoryArray* block = point->GetParent();
    const BOOL result = block ? block->Initialize(point) : TRUE;
    item->nActive = result;
    if (result)
        ++item->nLinks;
    if (DdeBridgeOptions::Current().viewActions)
        SendActionHint(HINT_ITEM_ACTIVE, a, 8);
    return result;
}

long DdeBridge::OnItemDeactivated(_BRISANT_DATAACTION& a)
{
    DdeItemRecord* item = AsItem(a.pItem);
    if (!a.dwServerId || !m_pTopics || !item || item->bDead)
        return 0;
    CdsMemoryArray* block = item->pPoint ? item->pPoint->GetParent() : nullptr;
    if (block)
        block->Shutdown(item->pPoint);
    if (item->nLinks > 0)
        --item->nLinks;
    if (dde::BrisantReleaseItemUse(block, a.dwServerId) <= 1)
        item->nActive = 0;
    if (DdeBridgeOptions::Current().viewActions)
        SendActionHint(HINT_ITEM_INACTIVE, a, 9);
    return 1;
}

long DdeBridge::OnItemDestroyed(_BRISANT_DATAACTION& a)
{
    if (m_nItemCount > 0)
        --m_nItemCount;
    DdeItemRecord* item = AsItem(a.pItem);
    if (!item)
        return 0;
    DestroyItem(*item);
    return 1;
}

long DdeBridge::OnTopicDestroyed(_BRISANT_DATAACTION& a)
{
    DdeTopicRecord* topic = AsTopic(a.pTopic);
    if (!topic)
        return 0;
    DestroyTopic(*topic);
    return 1;
}

long DdeBridge::OnDataTypeQuery(_BRISANT_DATAACTION& a)
{
    DdeItemRecord* item = AsItem(a.pItem);
    if (!item || item->bDead)
        return 0;
    if (item->pPoint)
        a.nDataType = static_cast<BRISANT_DATATYPE>(PointType(*item->pPoint));
    return 1;
}

// --- the map changing, the close and the exit ---

void DdeBridge::OnDeviceMapChanged()
{
    if (m_bClosing)
        return;
    for (DdeTopicRecord* topic = m_pTopics; topic; topic = topic->pNext) {
        if (!topic->pDevice) {
            CdsDeviceObject* device = CdsDeviceMap::GetDeviceObjectByTopic(topic->strName);
            if (device && !device->GetDdeTopic()) {
                topic->pDevice = device;
                topic->strName = device->m_strName;
                device->SetDdeTopic(topic);
            }
        }
        if (!topic->pDevice)
            continue;
        for (DdeItemRecord* item = topic->pFirstItem; item; item = item->pNext) {
            if (item->pPoint)
                continue;
            CdsMemoryObject* point = ResolvePoint(*topic->pDevice, item->strItem);
            // The toolkit keeps reading the item's values by the type it was told.
            if (point && PointType(*point) == item->nType && point->GetNoValueReason().empty())
                LinkItem(*item, point);
        }
    }
    m_bBrowseBuilt = false;
    if (m_dwServerId) {
        dde::Toolkit::Process().ClearBrowse(m_dwServerId);
        // Until the toolkit asks, there is nothing to rebuild: it asks on the first browse.
        if (m_bBrowseAsked)
            DoUpdateBrowseInfo(m_dwServerId);
    }
}

void DdeBridge::DoCloseServer()
{
    if (m_bClosing)
        return;
    m_bClosing = true;
    m_bInActionTimer = true;
    m_refusals.Flush(true);
    // The toolkit's pass may still hold these records: they are let go, not freed.
    while (m_pTopics)
        KillTopic(*m_pTopics);
    m_host.PostCloseServer();
}

void DdeBridge::OnToolkitExit()
{
    m_refusals.Flush(true);
    FreeAll();
    m_hHeap = 0;
    m_dwServerId = 0;
    m_nClientCount = 0;
    m_nItemCount = 0;
    m_bInActionTimer = false;
    m_bBrowseBuilt = false;
    m_bBrowseAsked = false;
    m_bClosing = false;
}

} // namespace kestrun
