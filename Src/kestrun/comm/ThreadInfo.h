#pragma once
// The record of one device line of a communication handler. Devices pick their
// per-line settings and state by its is-backup and is-secondary flags.
#include "platform/win/WinTypes.h"

class CdsCommHdlr;
class CdsMessageThread;

// Line kinds.
enum : LONG { LINE_KIND_UPDATE = 1, LINE_KIND_MONITOR = 2 };

struct tagTHREADINFO {
    CdsCommHdlr* m_pHdlr = nullptr;
    CdsMessageThread* m_pThread = nullptr;
    void* m_hStopEvent = nullptr;
    void* m_hLogWnd = nullptr;
    void* m_hDataWnd = nullptr;
    BOOL m_bIsBackup = FALSE;
    BOOL m_bIsSecondary = FALSE;
    LONG m_nKind = LINE_KIND_UPDATE;
    BOOL m_bBusy = TRUE;
    BOOL m_bCommError = FALSE;
    BOOL m_bCpuError = FALSE;
    BOOL m_bMaster = TRUE;
    BOOL m_bRunning = TRUE;
    LONG m_nReserved1 = -1;
    LONG m_nReserved2 = 0;
    LONG m_nReserved3 = -1;
};
