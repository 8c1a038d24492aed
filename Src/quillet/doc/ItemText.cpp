// Display texts of item values, qualities, access rights and times.
#include "quillet/doc/Item.h"

#include "quillet/text/StringTable.h"

#include "platform/win/NumberText.h"

#include <cstdio>

namespace quillet {
namespace {

template <typename... Args>
std::string format(const char* fmt, Args... args)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}

// The text of a scalar of the types the item view shows; nullopt for any other type.
std::optional<std::string> scalarText(const VARIANT& v)
{
    switch (v.vt()) {
    case VT_I2: return format("%hd", v.iVal());
    case VT_I4: return format("%d", int(v.lVal()));
    case VT_R4: return win::GeneralText(double(v.fltVal()));
    case VT_R8: return win::GeneralText(v.dblVal());
    case VT_BSTR: return com::fromBstr(v.bstrVal());
    case VT_BOOL: return std::string(v.boolVal() ? "On" : "Off");
    case VT_I1: return format("%hd", short(v.cVal()));
    case VT_UI1: return format("%hu", static_cast<unsigned short>(v.bVal()));
    case VT_UI2: return format("%u", unsigned(v.uiVal()));
    case VT_UI4: return format("%lu", static_cast<unsigned long>(v.ulVal()));
    case VT_I8: return format("%lld", static_cast<long long>(v.llVal()));
    default: return std::nullopt;
    }
}

bool isShownScalar(VARTYPE vt)
{
    switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BSTR: case VT_BOOL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string ValueText(const StringTable& texts, const VARIANT* value)
{
    const std::string_view invalid = texts.Text(IDS_INVALID_DATA);
    if (!value) return std::string(invalid);
    const SAFEARRAY* array = value->parray();
    if (!value->isArray()) return scalarText(*value).value_or("?");
    // Arrays of other element types (VT_VARIANT among them) are not shown element by element.
    if (!isShownScalar(VARTYPE(value->vt() & ~VT_ARRAY))) return "?";
    if (!array) return std::string(invalid);
    std::string text;
    for (LONG i = array->lowerBound(); i <= array->upperBound(); ++i) {
        VARIANT element;
        if (FAILED(array->getElement(i, element))) return text + std::string(invalid);
        auto one = scalarText(element);
        if (!one) return "?";
        if (i != array->lowerBound()) text += ", ";
        text += *one;
    }
    return text;
}

std::string QualityText(WORD quality)
{
    static constexpr const char* kBad[8] = {nullptr, "Configuration error", "Not connected", "Device failure",
                                            "Sensor failure", "Last known value", "Communications failure",
                                            "Out of Service"};
    static constexpr const char* kUncertain[8] = {nullptr, "Last usable value (Stale)", nullptr, nullptr,
                                                  "Sensor not accurate", "Engineering units exceeded", "Sub-Normal",
                                                  nullptr};
    static constexpr const char* kGood[8] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "Forced", nullptr};
    static constexpr const char* kLimit[4] = {nullptr, "Low Limit", "High Limit", "Constant"};
    const int major = (quality >> 6) & 3, sub = (quality >> 2) & 15, limit = quality & 3;
    if (major == 2) return "Invalid";
    static constexpr const char* const* kSubs[4] = {kBad, kUncertain, nullptr, kGood};
    static constexpr const char* kMajor[4] = {"Bad", "Uncertain", "Invalid", "Good"};
    std::string text = kMajor[major];
    if (sub < 8 && kSubs[major][sub]) text += std::string(" - ") + kSubs[major][sub];
    if (kLimit[limit]) text += std::string(" - ") + kLimit[limit];
    return text;
}

std::string AccessRightsText(DWORD rights)
{
    switch (rights) {
    case OPC_READABLE: return "Read Only";
    case OPC_WRITEABLE: return "Write Only";
    case OPC_READABLE | OPC_WRITEABLE: return "Read / Write";
    default: return {};
    }
}

std::int64_t TimeOfDayMs(FILETIME timeStamp)
{
    SYSTEMTIME st;
    if (!com::fileTimeToSystemTime(timeStamp, st)) return 0;
    return st.wMilliseconds +
           1000 * (st.wSecond + 60 * std::int64_t(st.wMinute) + 3600 * std::int64_t(st.wHour) +
                   86400 * std::int64_t(st.wDay)) -
           86400000;
}

double UpdatesPerSecond(std::uint64_t count, std::uint64_t elapsedMs)
{
    if (elapsedMs == 0) return 0;
    return double(count) * 1000.0 / double(elapsedMs);
}

} // namespace quillet
