#pragma once
// The record of one device line of a communication handler. Devices pick their
// per-line settings and state by its is-backup and is-secondary flags. The
// states are read by other lines and the application thread, so they are atomics.
#include <atomic>

#include "platform/win/WinTypes.h"

class CdsCommHdlr;
class CdsMessageThread;

// Line kinds.
enum : LONG { LINE_KIND_UPDATE = 1, LINE_KIND_MONITOR = 2 };

// Line order of a handler: primary master, secondary master, primary backup, secondary backup.
enum tagLINEINDEX : int {
    LINE_PRIMARY_MASTER = 0,
    LINE_SECONDARY_MASTER = 1,
    LINE_PRIMARY_BACKUP = 2,
    LINE_SECONDARY_BACKUP = 3,
    LINE_COUNT = 4,
};

// Active line values of "$ActvLine" and "$ActvLine2".
enum tagACTIVELINE : SHORT {
    ACTIVELINE_NONE = 0,
    ACTIVELINE_PRIMARY_MASTER = 1,
    ACTIVELINE_SECONDARY_MASTER = 2,
    ACTIVELINE_PRIMARY_BACKUP = 3,
    ACTIVELINE_SECONDARY_BACKUP = 4,
};

struct tagTHREADINFO {
    CdsCommHdlr* m_pHdlr = nullptr;
    CdsMessageThread* m_pThread = nullptr; // the thread serving the line (application thread only)
    void* m_hStopEvent = nullptr;          // the handler's stop event (win::Event)
    void* m_hLogWnd = nullptr;             // log window key, as a pointer-sized value
    void* m_hDataWnd = nullptr;            // data window key
    BOOL m_bIsBackup = FALSE;
    BOOL m_bIsSecondary = FALSE;
    std::atomic<LONG> m_nKind{LINE_KIND_UPDATE};
    std::atomic<BOOL> m_bBusy{TRUE};
    std::atomic<BOOL> m_bCommError{FALSE};
    std::atomic<BOOL> m_bCpuError{FALSE};
    std::atomic<BOOL> m_bMaster{TRUE};
    std::atomic<BOOL> m_bRunning{TRUE};
    LONG m_nReserved1 = -1;
    LONG m_nReserved2 = 0;
    LONG m_nReserved3 = -1;
    // Set by an update step whose device still has blocks never read since going
    // online: the next step is due at once. The line's own thread only.
    bool m_bStepAtOnce = false;

    tagTHREADINFO() = default;
    // A copy is a snapshot of the states.
    tagTHREADINFO(const tagTHREADINFO& src) { *this = src; }
    tagTHREADINFO& operator=(const tagTHREADINFO& src)
    {
        m_pHdlr = src.m_pHdlr;
        m_pThread = src.m_pThread;
        m_hStopEvent = src.m_hStopEvent;
        m_hLogWnd = src.m_hLogWnd;
        m_hDataWnd = src.m_hDataWnd;
        m_bIsBackup = src.m_bIsBackup;
        m_bIsSecondary = src.m_bIsSecondary;
        m_nKind = src.m_nKind.load();
        m_bBusy = src.m_bBusy.load();
        m_bCommError = src.m_bCommError.load();
        m_bCpuError = src.m_bCpuError.load();
        m_bMaster = src.m_bMaster.load();
        m_bRunning = src.m_bRunning.load();
        m_nReserved1 = src.m_nReserved1;
        m_nReserved2 = src.m_nReserved2;
        m_nReserved3 = src.m_nReserved3;
        m_bStepAtOnce = src.m_bStepAtOnce;
        return *this;
    }

    // Position in the handler's line order (tagLINEINDEX).
    int LineIndex() const { return (m_bIsBackup ? 2 : 0) + (m_bIsSecondary ? 1 : 0); }
    // Slot of the line in a block's query buffers: primary master 0, primary
    // backup 1, secondary master 2, secondary backup 3.
    int BlockSlot() const { return (m_bIsSecondary ? 2 : 0) + (m_bIsBackup ? 1 : 0); }
    // The marker that begins every log line of the line: "-", "+", "=", "*".
    char Marker() const { return MarkerOf(LineIndex()); }
    static char MarkerOf(int nLine)
    {
        static constexpr char kMarkers[LINE_COUNT] = {'-', '+', '=', '*'};
        return nLine >= 0 && nLine < LINE_COUNT ? kMarkers[nLine] : '-';
    }
};

// Block slot of a line record; no record is the primary master.
inline int BlockSlotOf(const tagTHREADINFO* pLine) { return pLine ? pLine->BlockSlot() : 0; }
inline char MarkerOf(const tagTHREADINFO* pLine) { return pLine ? pLine->Marker() : '-'; }
