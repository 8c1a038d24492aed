#pragma once
// The menu bar and toolbar of a main window as plain data: the program
// describes them, its frame says what each command looks like now, and the
// desktop's window shows them and posts the chosen command to the frame.
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace shell {

// A command, a separator (id 0, no items) or a submenu (items).
struct MenuEntry {
    UINT nId = 0;
    // "&Open...\tCtrl+O": "&" marks the mnemonic, a tab leads to the shortcut.
    std::string strText;
    // The entry shows a check mark while its command is checked.
    bool bCheck = false;
    std::vector<MenuEntry> items;
};

struct MenuBarModel {
    std::vector<MenuEntry> menus; // the top level, each with its items
    std::vector<UINT> toolBar;    // commands of the toolbar in order; 0 leaves a gap
};

// What a command looks like now.
struct CommandState {
    bool bEnabled = true;
    bool bChecked = false;
    bool bVisible = true;
    std::string strText; // replaces the entry's text when not empty
};

// The part of a prompt ("status text\ntool tip") before the line end, and after it.
inline std::string PromptStatusText(const std::string& prompt) { return prompt.substr(0, prompt.find('\n')); }
inline std::string PromptToolTip(const std::string& prompt)
{
    const std::size_t end = prompt.find('\n');
    return end == std::string::npos ? std::string() : prompt.substr(end + 1);
}

} // namespace shell
