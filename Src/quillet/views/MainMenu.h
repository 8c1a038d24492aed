#pragma once
// The main window's menu bar and tool bar as data: the popups in the bar's order, each
// popup's entries, the tool bar's buttons and which popups show while no connection
// window is open. The window draws them with one action per command id; the states
// come from the command tables.
#include "quillet/text/StringTable.h"

#include <span>
#include <vector>

namespace quillet {

// A command, a separator, or another popup nested in its place.
struct MenuItem {
    enum class Kind { Command, Separator, Popup };
    Kind kind = Kind::Separator;
    UINT id = 0;                  // the command
    MenuPopup popup = MENU_FILE;  // the nested popup
    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

class MainMenu {
public:
    // Every popup, nested ones too, in their order.
    static std::span<const MenuPopup> Popups();
    // The popups of the menu bar, left to right.
    static std::span<const MenuPopup> Bar();
    // The entries of a popup, top to bottom.
    static const std::vector<MenuItem>& Items(MenuPopup popup);
    // The tool bar's commands, left to right; 0 leaves a gap.
    static std::span<const UINT> ToolBar();
    // Without a connection window only the main window's own popups show; nested
    // popups go with their parent.
    static bool Shows(MenuPopup popup, bool windowOpen);
};

} // namespace quillet
