#pragma once
// The MELSEC server's log view: the framework's, with the View menu's log
// commands bound to it.
#include "kestrun/shell/server/LogView.h"

class CLogView : public CdsLogView {
public:
    // The command of the View menu item, when it is one of the log view's.
    static bool CommandOf(UINT nId, Command& command);
    // Carries out one of the log view's View menu commands; false for others.
    bool OnCommand(UINT nId);
};
