#pragma once
// Whether the lines run on threads of their own or are stepped by the data
// timer. The shell latches the option when the document goes online, so the
// lines, the data timer and going offline keep to one mode until the next
// online even when the option changes meanwhile. Unlatched, the option decides.
#include <atomic>

struct CdsLineMode {
    static void Latch(bool bThreads) { s_nLatched.store(bThreads ? 1 : 0); }
    static void Unlatch() { s_nLatched.store(-1); }
    static bool IsLatched() { return s_nLatched.load() >= 0; }
    // The latched mode, or the option's value when nothing is latched.
    static bool IsBackgroundThread(int nOption)
    {
        const int latched = s_nLatched.load();
        return latched < 0 ? nOption != 0 : latched != 0;
    }

private:
    static inline std::atomic<int> s_nLatched{-1};
};
