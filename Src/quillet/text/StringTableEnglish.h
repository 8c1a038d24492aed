#pragma once
// The built-in English texts of the string table.
#include "platform/win/WinTypes.h"

#include <span>
#include <string_view>

namespace quillet::english {

struct Text {
    UINT id;
    std::string_view text;
};
struct ControlText {
    UINT dialog;
    UINT control;
    std::string_view text;
};

std::span<const Text> Strings();
std::span<const Text> Menus();
std::span<const ControlText> Controls();

} // namespace quillet::english
