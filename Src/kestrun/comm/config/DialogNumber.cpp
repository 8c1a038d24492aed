#include "kestrun/comm/config/DialogNumber.h"

#include <charconv>

namespace {

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

template <typename T>
std::optional<T> Parse(std::string_view text)
{
    text = Trimmed(text);
    // One sign at most: "+-5" is no number.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return std::nullopt;
    }
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::int32_t> ParseDialogInt(std::string_view text) { return Parse<std::int32_t>(text); }

std::optional<std::uint32_t> ParseDialogUnsigned(std::string_view text) { return Parse<std::uint32_t>(text); }
