#pragma once
// A popup menu as the core builds it and a window shows it.
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace shell {

struct ShellMenuItem {
    UINT nCommand = 0; // 0: a separator
    std::string strText;
    bool bDefault = false;
};
using ShellMenu = std::vector<ShellMenuItem>;

} // namespace shell
