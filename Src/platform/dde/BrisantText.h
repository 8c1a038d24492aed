#pragma once
// Small text helpers of the DDE toolkit's sources.
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>

namespace dde::brisant {

inline std::uint64_t SteadyMs()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

inline std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

inline bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

inline std::string Trim(const std::string& text)
{
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

template <typename T>
std::string Number(T value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

inline bool ParseInteger(const std::string& text, long long low, long long high, long long& out)
{
    if (text.empty())
        return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (*begin == '+')
        ++begin;
    auto result = std::from_chars(begin, end, out);
    return result.ec == std::errc() && result.ptr == end && out >= low && out <= high;
}

} // namespace dde::brisant
