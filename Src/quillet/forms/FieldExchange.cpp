#include "quillet/forms/FieldExchange.h"

#include "quillet/text/StringTable.h"

#include "platform/win/NumberText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace quillet {
namespace {

// The text without blanks around it; the number must then use all of it.
std::string Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

template <typename T>
std::string Number(T value)
{
    if constexpr (std::is_floating_point_v<T>) return RealText(value);
    else return std::to_string(value);
}

template <typename T>
bool Exchange(const StringTable& texts, std::optional<T> value, T min, T max, T& out, std::string& prompt, UINT parseId,
              UINT rangeId)
{
    if (!value) {
        prompt = texts.Text(parseId);
        return false;
    }
    if (*value < min || *value > max) {
        prompt = FormatText(FormatText(texts.Text(rangeId), Number(min)), Number(max));
        return false;
    }
    out = *value;
    return true;
}

} // namespace

std::optional<long long> WholeInteger(std::string_view text)
{
    const std::string t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(t.c_str(), &end, 10);
    if (*end || errno == ERANGE) return std::nullopt;
    return value;
}

std::optional<double> WholeReal(std::string_view text)
{
    const std::string t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    const win::RealScan scan = win::ScanReal(t);
    if (scan.length != t.size() || !std::isfinite(scan.value)) return std::nullopt;
    return scan.value;
}

bool ExchangeInteger(const StringTable& texts, std::string_view text, long long min, long long max, long long& out,
                     std::string& prompt)
{
    return Exchange(texts, WholeInteger(text), min, max, out, prompt, IDS_PARSE_INT, IDS_PARSE_INT_RANGE);
}

bool ExchangeReal(const StringTable& texts, std::string_view text, double min, double max, double& out,
                  std::string& prompt)
{
    return Exchange(texts, WholeReal(text), min, max, out, prompt, IDS_PARSE_REAL, IDS_PARSE_REAL_RANGE);
}

std::string RealText(double value) { return win::GeneralText(value); }

} // namespace quillet
