#pragma once
// Window and thread messages of the communication engine.
#include "platform/win/MessageQueue.h"

enum : UINT {
    WM_SHOWLOGMESSAGE = win::WM_USER + 0x64,   // log view: wParam kind, payload text
    WM_UPDATEHINT = win::WM_USER + 0x65,       // log and data views: wParam hint code, payload CdsHint copy
    WM_FILTERLOGMESSAGE = win::WM_USER + 0x66, // log view: wParam kind, lParam show flag
    WM_MESSAGEFROMMAIN = win::WM_USER + 0x67,  // line thread: handed to OnMessageFromMain
    WM_SINGLESTEP = win::WM_USER + 0x69,       // line thread: one step, wParam loop count
    WM_STOPTHREAD = win::WM_USER + 0x6A,       // line thread: stop
    WM_RESETLOOPCOUNT = win::WM_USER + 0x6C,   // line thread: zero the last loop count
};

// Log kinds.
enum TypeMessage : int {
    LOG_EVENT = 0,
    LOG_ACTION = 1,
    LOG_COMMAND = 2,
    LOG_ERROR = 3,
    LOG_INFO = 4,
    LOG_TRACE = 5,
    LOG_DEBUG = 6,
    LOG_RAW = 7,
    LOG_INITVALUE = 8,
};

// System modes of a handler, mirrored in "$ModeSys".
enum tagSYSMODE : SHORT {
    SYSMODE_STOPPED = -11,
    SYSMODE_STARTING = 10,
    SYSMODE_ONLINE = 11,
    SYSMODE_SUSPENDED = 12,
    SYSMODE_RUNNING = 13,
    SYSMODE_OFFLINE = 14,
    SYSMODE_PAUSED = 15,
    SYSMODE_PAUSED2 = 16,
};

// Update modes of a line for a device.
enum tagUPDATEMODE : SHORT {
    UPDATEMODE_NOT_RUNNING = -1,
    UPDATEMODE_STOPPED = 0,
    UPDATEMODE_UPDATING = 1,
    UPDATEMODE_MONITOR = 2,
};

// Trace levels.
enum tagTraceLevel : int { TRACE_OFF = 0, TRACE_SIMPLE = 1, TRACE_BYTES = 2 };
