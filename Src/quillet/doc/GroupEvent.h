#pragma once
// Timed test actions on a group: at its interval an event reads, writes generated
// values to, or toggles the active state of a set of the group's items, through the
// item operations of the connection's item view. Application thread only.
//
// Events name their items by client handle: an item removed or re-handled meanwhile
// is left out (the item view purges or replaces its handle at once). An event stops
// its timer when it goes.
#include "platform/opc/OpcTypes.h"
#include "platform/win/Dispatcher.h"

#include <string>
#include <vector>

class CGroup;
namespace quillet {
class StringTable;
class TimerWindow;
} // namespace quillet

// A Fibonacci-like sequence from (1, 1): 2, 3, 5, 8, ... wrapping at 32 bits.
class CValueSequence {
public:
    explicit CValueSequence(bool keepPositive = false) : m_bKeepPositive(keepPositive) {}
    virtual ~CValueSequence() = default;
    LONG Next();
    void Reset();
    LONG Current() const { return m_lCurrent; }

private:
    bool m_bKeepPositive;
    LONG m_lPrevious = 1;
    LONG m_lCurrent = 1;
};

// The decimal texts an event writes: the sequence's next value, starting over after
// 500 calls.
class CEventValueGenerator {
public:
    static constexpr DWORD kCallsPerRound = 500;
    std::string NextWriteText();

private:
    DWORD m_nCalls = 0;
    CValueSequence m_sequence{false};
};

enum EventType : DWORD {
    EVENT_ASYNC_READ_CACHE = 0,
    EVENT_SYNC_READ_CACHE = 1,
    EVENT_ASYNC_READ_DEVICE = 2,
    EVENT_SYNC_READ_DEVICE = 3,
    EVENT_ASYNC_WRITE = 4,
    EVENT_SYNC_WRITE = 5,
    EVENT_TOGGLE_ACTIVE = 6,
};

class CGroupEvent {
public:
    static constexpr UINT_PTR kFirstTimerId = 862;

    // Starts its timer on the window under the next id of the program.
    CGroupEvent(DWORD type, std::string name, std::vector<OPCHANDLE> items, DWORD intervalMs, CGroup& group,
                quillet::TimerWindow& timerWindow, BOOL onlyIfActive);
    ~CGroupEvent();
    CGroupEvent(const CGroupEvent&) = delete;
    CGroupEvent& operator=(const CGroupEvent&) = delete;

    // False when the tick is another timer's; else acts (or skips) and is true.
    BOOL OnTimer(UINT_PTR timerId);
    UINT_PTR GetTimerId() const { return m_timerId; }
    void RestartTimer(UINT_PTR newId);
    void SetInterval(DWORD intervalMs);

    DWORD GetType() const { return m_dwType; }
    void SetType(DWORD type) { m_dwType = type; }
    const std::string& GetName() const { return m_strName; }
    void SetName(std::string name) { m_strName = std::move(name); }
    DWORD GetInterval() const { return m_dwInterval; }
    BOOL OnlyIfActive() const { return m_bOnlyIfActive; }
    void SetOnlyIfActive(BOOL only) { m_bOnlyIfActive = only; }
    const std::vector<OPCHANDLE>& Items() const { return m_items; }
    void SetItems(std::vector<OPCHANDLE> items) { m_items = std::move(items); }
    // The item left the group (0) or carries on under a new handle.
    void ReplaceItem(OPCHANDLE hItem, OPCHANDLE replacement);

    // The name of the event's type; empty for an unknown type.
    static std::string TypeName(const quillet::StringTable& texts, DWORD type);

private:
    void Act();
    bool BuildWriteValues(const std::vector<class CItem*>& items, std::vector<OPCHANDLE>& handles,
                          std::vector<VARIANT>& values);

    BOOL m_bToggleState = FALSE;  // the first toggle makes the items inactive
    CEventValueGenerator m_generator;
    BOOL m_bOnlyIfActive;
    DWORD m_dwType;
    std::string m_strName;
    std::vector<OPCHANDLE> m_items;
    DWORD m_dwInterval;
    UINT_PTR m_timerId;
    CGroup& m_group;
    // The timer window by key: a window that went first only ignores the stop.
    win::Dispatcher& m_dispatcher;
    win::WindowKey m_window;
    bool m_bActing = false;
};
