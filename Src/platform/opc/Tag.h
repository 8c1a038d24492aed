#pragma once
// Base of the application's tags. The toolkit reads a tag to answer client reads and
// subscriptions; the application writes it as its values arrive.
#include "platform/com/Time.h"
#include "platform/com/Variant.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <mutex>

// A snapshot of what a client reads from a tag.
struct CTagState {
    VARIANT value;
    WORD quality = 0;
    FILETIME timestamp{};
};

class CTag {
public:
    CTag();
    virtual ~CTag();
    CTag(const CTag&) = delete;
    CTag& operator=(const CTag&) = delete;

    // Use count + 1 / - 1 (never below 0). The tag does not delete itself at 0: its
    // owner decides when it goes.
    virtual LONG AddRef();
    virtual LONG Release();

    // Writes value, quality and time stamp together under the tag's lock.
    void UpdateValue(const VARIANT& value, WORD quality, FILETIME timestamp);
    void UpdateQuality(WORD quality, FILETIME timestamp);
    // What a reader sees, taken under the tag's lock.
    CTagState Snapshot() const;
    // True when the tag holds this value and quality (compared under the lock, no copy).
    bool SameAs(const VARIANT& value, WORD quality) const;
    // For code that sets the members below directly while other threads read.
    std::unique_lock<std::mutex> Lock() const { return std::unique_lock<std::mutex>(m_lock); }

    // Set by the application before the tag is handed to the toolkit; read-only after.
    VARTYPE m_vtCanonical = VT_EMPTY;
    WORD m_wAccessRights = 1 | 2;  // OPC_READABLE | OPC_WRITEABLE
    // Guarded by Lock().
    VARIANT m_value;
    FILETIME m_timestamp{};
    WORD m_wQuality = 0;
    std::atomic<LONG> m_nUseCount{0};

private:
    mutable std::mutex m_lock;
};
