#include "quillet/text/VariantText.h"

#include "platform/win/NumberText.h"

#include <array>
#include <cstdlib>
#include <string>

namespace quillet {

long long LeadingInteger(std::string_view text)
{
    const std::string copy(text);
    return std::strtoll(copy.c_str(), nullptr, 10);
}

double LeadingReal(std::string_view text) { return win::ScanReal(text).value; }

VARIANT TextToVariant(std::string_view text, VARTYPE vt)
{
    static constexpr std::array<std::string_view, 7> kTrue = {"True", "TRUE", "1", "T", "on", "On", "ON"};
    const auto n = LeadingInteger(text);
    switch (vt) {
    case VT_I2: return VARIANT::I2(static_cast<SHORT>(n));
    case VT_I4: return VARIANT::I4(static_cast<LONG>(n));
    case VT_R4: return VARIANT::R4(static_cast<FLOAT>(LeadingReal(text)));
    case VT_R8: return VARIANT::R8(LeadingReal(text));
    case VT_BSTR: return VARIANT::String(text);
    case VT_BOOL:
        for (std::string_view word : kTrue)
            if (text == word) return VARIANT::Bool(true);
        return VARIANT::Bool(false);
    case VT_I1: return VARIANT::I1(static_cast<CHAR>(n));
    case VT_UI1: return VARIANT::UI1(static_cast<BYTE>(n));
    case VT_UI2: return VARIANT::UI2(static_cast<USHORT>(n));
    case VT_UI4: return VARIANT::UI4(static_cast<ULONG>(n));
    case VT_I8: return VARIANT::I8(n);
    default: return VARIANT();
    }
}

} // namespace quillet
