#pragma once
// The right-click menus of the group tree and the item list. Their entries run the same
// commands as the menu bar's but carry texts of their own, without shortcuts.
#include "platform/win/WinTypes.h"

#include <vector>

namespace quillet {

// A command with the string id of its text, or (id 0) a popup titled by the string
// holding entries.
struct ContextEntry {
    UINT id = 0;
    UINT text = 0;
    std::vector<ContextEntry> popup;
};

const std::vector<ContextEntry>& GroupContextMenu();
const std::vector<ContextEntry>& ItemContextMenu();

} // namespace quillet
