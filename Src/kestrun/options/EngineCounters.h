#pragma once
// Counters of the main window that the engine moves: the data timer's loop
// count and the three watchdog counters of the status bar (block scans, polls,
// client updates). Lines and client threads touch them at once, so they are
// atomics.
#include <atomic>

#include "platform/win/WinTypes.h"

struct CdsEngineCounters {
    static inline std::atomic<ULONG> m_nLoopCount{0};
    static inline std::atomic<ULONG> m_nWdogPolling{0};
    static inline std::atomic<ULONG> m_nWdogScantime{0};
    static inline std::atomic<ULONG> m_nWdogUpdating{0};
};
