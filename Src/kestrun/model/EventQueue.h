#pragma once
// The write queue of a communication handler. Client threads add writes, the
// handler's update line takes them out oldest first. Points hold the queue
// weakly: when its handler goes away, their binding lapses with it.
//
// Ownership: either a std::shared_ptr (the destructor empties the queue) or a
// raw owner that calls Destroy; never both.
#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "kestrun/model/EventData.h"
#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"

class CdsMemoryObject;

class CdsEventQueue : public CObject {
    DECLARE_DYNAMIC(CdsEventQueue)
public:
    // Log kind of the overflow line (Error) and its text.
    static constexpr int kOverflowLogKind = 3;
    static constexpr const char* kOverflowText = "dsEventQueue overflow!\r\n";

    // Receives a log line (kind, text); it is called without the queue's lock held.
    using LogSink = std::function<void(int nKind, const char* pszText)>;

    // pSizeLimit: the "Event Queue Size" option, read on every add; null or a
    // value of 0 or below means no limit. It must outlive the queue.
    // onAdded runs after each write is queued, without the queue's lock, on the
    // adding thread: it wakes the lines that take the writes.
    explicit CdsEventQueue(const std::atomic<int>* pSizeLimit = nullptr, LogSink log = {},
                           std::function<void()> onAdded = {});
    ~CdsEventQueue() override;
    CdsEventQueue(const CdsEventQueue&) = delete;
    CdsEventQueue& operator=(const CdsEventQueue&) = delete;

    // Queues a write of the value (texts, counted texts and Bool arrays copied);
    // 1 when queued, 0 when the value was refused or memory ran out. When a limit
    // N is set and more than N writes already wait, they are all dropped with an
    // Error log line before the new one is queued.
    virtual int AddNewEvent(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int nDataType, int nFlag);

    // The oldest write, or null when none waits; the caller frees it with Destroy.
    CdsEventData* RemoveOldestEvent();
    // The same, owned.
    CdsEventData::Ptr TakeOldestEvent() { return CdsEventData::Ptr(RemoveOldestEvent()); }
    // The oldest write that `eligible` accepts, or null; the others keep their
    // places. `eligible` runs under the queue's lock (the points it is shown are
    // alive) and must not call back into the queue.
    CdsEventData::Ptr TakeOldestEventWhere(const std::function<bool(const CdsEventData&)>& eligible);

    // Drops every waiting write of that point (the point is going away); returns how many.
    std::size_t PurgeEvents(const CdsMemoryObject* pPoint);
    std::size_t GetCount() const;
    bool IsEmpty() const { return GetCount() == 0; }

    // Drops every waiting write.
    virtual void DeleteContents();
    // Empties the queue, then frees it when its delete-on-Destroy flag is set.
    virtual void Destroy();
    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL bDelete) { m_bDeleteOnDestroy = bDelete; }

private:
    const std::atomic<int>* m_pSizeLimit;
    LogSink m_log;
    std::function<void()> m_onAdded;
    mutable std::mutex m_mutex;                // leaf: guards m_events; the log sink runs without it
    std::deque<CdsEventData::Ptr> m_events;    // oldest first
    BOOL m_bDeleteOnDestroy = TRUE;
};
