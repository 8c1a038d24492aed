#pragma once
// Numbers as a dialog's edit fields accept them: blanks around an optional sign
// and digits. A text that is no number, or one outside the type, gives nothing.
#include <cstdint>
#include <optional>
#include <string_view>

std::optional<std::int32_t> ParseDialogInt(std::string_view text);
// No sign but an optional "+".
std::optional<std::uint32_t> ParseDialogUnsigned(std::string_view text);
