#include "kestrun/model/EventQueue.h"

#include "kestrun/model/WriteText.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

IMPLEMENT_DYNAMIC(CdsEventQueue, CObject)

CdsEventQueue::CdsEventQueue(const std::atomic<int>* pSizeLimit, LogSink log, std::function<void()> onAdded)
    : m_pSizeLimit(pSizeLimit), m_log(std::move(log)), m_onAdded(std::move(onAdded))
{
}

CdsEventQueue::~CdsEventQueue() { DeleteContents(); }

int CdsEventQueue::AddNewEvent(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int nDataType, int nFlag)
{
    // The copy is made before the lock, so writers never wait on another's allocation.
    CdsEventData::Ptr event(new (std::nothrow) CdsEventData);
    if (!event)
        return 0;
    event->SetPoint(pPoint);
    event->SetFlag(nFlag);
    if (!event->SetValue(value, nDataType))
        return 0;

    std::deque<CdsEventData::Ptr> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Test and clear in one hold of the lock, so the bound is exact under
        // concurrent writers and no event is lost between the two.
        int limit = m_pSizeLimit ? m_pSizeLimit->load(std::memory_order_relaxed) : 0;
        if (limit > 0 && m_events.size() > static_cast<std::size_t>(limit))
            dropped.swap(m_events);
        m_events.push_back(std::move(event));
    }
    // Dropped records are freed and the line logged outside the lock.
    if (!dropped.empty() && m_log) {
        m_log(kOverflowLogKind, kOverflowText);
        // Each write the clients were told was taken, named where it is dropped.
        for (const CdsEventData::Ptr& lost : dropped) {
            const std::string line = "Write " +
                                     kestrun::DescribeWrite(lost->GetPoint(), lost->GetDataType(), lost->GetValue()) +
                                     " dropped with the full queue!\r\n";
            m_log(kOverflowLogKind, line.c_str());
        }
    }
    if (m_onAdded)
        m_onAdded();
    return 1;
}

CdsEventData* CdsEventQueue::RemoveOldestEvent()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_events.empty())
        return nullptr;
    CdsEventData* event = m_events.front().release();
    m_events.pop_front();
    return event;
}

CdsEventData::Ptr CdsEventQueue::TakeOldestEventWhere(const std::function<bool(const CdsEventData&)>& eligible)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_events.begin(); it != m_events.end(); ++it) {
        if (*it && eligible(**it)) {
            CdsEventData::Ptr event = std::move(*it);
            m_events.erase(it);
            return event;
        }
    }
    return nullptr;
}

std::size_t CdsEventQueue::PurgeEvents(const CdsMemoryObject* pPoint)
{
    std::deque<CdsEventData::Ptr> purged;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto first = std::stable_partition(m_events.begin(), m_events.end(),
                                           [pPoint](const CdsEventData::Ptr& e) { return e->GetPoint() != pPoint; });
        std::move(first, m_events.end(), std::back_inserter(purged));
        m_events.erase(first, m_events.end());
    }
    return purged.size();
}

std::size_t CdsEventQueue::GetCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

void CdsEventQueue::DeleteContents()
{
    std::deque<CdsEventData::Ptr> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_events);
    }
}

void CdsEventQueue::Destroy()
{
    DeleteContents();
    if (m_bDeleteOnDestroy)
        delete this;
}
