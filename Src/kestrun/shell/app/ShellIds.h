#pragma once
// Window messages, commands and timers of the application shell, in one place.
// The engine's own messages (log lines, hints, line threads) are in
// kestrun/comm/handler/EngineMessages.h.
#include "kestrun/comm/handler/EngineMessages.h"

enum : UINT {
    WM_CLOSE = 0x0010,                  // a window: close (the frame runs its close rules)
    WM_COMMAND = 0x0111,                // a window: wParam = command id
    WM_MAINWND = win::WM_USER + 0x68,   // main window: handed to OnMainWnd
    WM_SKIPTIMER = win::WM_USER + 0x70, // main window: handed to OnSkipTimer
    WM_OPENFILE = win::WM_USER + 0x72,  // main window: payload = file name text
};

// Commands (WM_COMMAND).
enum : UINT {
    ID_APP_RESET = 23290,        // restart the server
    ID_MODE_ONLINE = 23291,      // document online (data view)
    ID_MODE_OFFLINE = 23292,     // document offline (data view)
    ID_QUIT_CONFIRM = 23293,     // close, asking when "Confirm On Quit" is set
    ID_QUIT_IMMEDIATELY = 23294, // close without asking
    ID_TRAY_HIDE = 23296,        // hide the main window to the tray
    ID_MAIN_SHOW = 23297,        // show the main window
    ID_EDIT_OPTION = 32771,      // the option dialog ("Options..." of the Edit menu)
    // The window framework's standard commands.
    ID_FILE_NEW = 0xE100,
    ID_FILE_OPEN = 0xE101,
    ID_FILE_SAVE = 0xE103,
    ID_FILE_SAVE_AS = 0xE104,
    ID_FILE_PRINT_SETUP = 0xE106,
    ID_FILE_PRINT = 0xE107,
    ID_FILE_PRINT_PREVIEW = 0xE109,
    ID_FILE_MRU_FILE1 = 0xE110, // the recent files, one id each
    ID_FILE_MRU_FILE4 = 0xE113,
    ID_EDIT_COPY = 0xE122,
    ID_EDIT_CUT = 0xE123,
    ID_EDIT_PASTE = 0xE125,
    ID_EDIT_UNDO = 0xE12B,
    ID_APP_ABOUT = 0xE140,
    ID_APP_EXIT = 0xE141,
    ID_VIEW_TOOLBAR = 0xE800,    // also the toolbar's id
    ID_VIEW_STATUS_BAR = 0xE801, // also the status bar's id
};

// Timers, one per window.
enum : UINT_PTR {
    ID_TIMER_CLIENT_UPDATE = 1, // data view: client-update timer
    ID_TIMER_DATA_UPDATE = 2,   // main window: the data timer that drives the lines
    ID_TIMER_LOG_SAVE = 3,      // log view: flushes the log file
};
