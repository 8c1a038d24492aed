#include "quillet/forms/DataTypes.h"

#include "quillet/doc/Item.h"

#include <algorithm>
#include <array>

namespace quillet {
namespace {

constexpr std::array<VARTYPE, 12> kAddItem = {VT_EMPTY, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I2,
                                              VT_I4,    VT_I8, VT_R4,  VT_R8,  VT_BOOL, VT_BSTR};
constexpr std::array<VARTYPE, 12> kWrite = {VT_EMPTY, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8,
                                            VT_I2,    VT_I4, VT_R4,  VT_R8,  VT_BOOL, VT_BSTR};
constexpr std::array<VARTYPE, 12> kSorted = {VT_BOOL, VT_BSTR, VT_EMPTY, VT_I1,  VT_I2,  VT_I4,
                                             VT_I8,   VT_R4,   VT_R8,    VT_UI1, VT_UI2, VT_UI4};

} // namespace

std::span<const VARTYPE> AddItemTypes() { return kAddItem; }
std::span<const VARTYPE> WriteTypes() { return kWrite; }
std::span<const VARTYPE> SortedTypes() { return kSorted; }

std::string TypeChoiceText(VARTYPE type) { return com::vtName(type); }

std::optional<int> FindType(std::span<const VARTYPE> list, VARTYPE vt)
{
    auto it = std::find(list.begin(), list.end(), VARTYPE(vt & 0xFF));
    if (it == list.end()) return std::nullopt;
    return int(it - list.begin());
}

std::string TypeName(VARTYPE vt)
{
    static constexpr const char* kNames[] = {
        "Empty",  "Null",  "2 Byte Integer",  "4 Byte Integer",     "4 Byte Real", "8 Byte Real",
        "Currency", "Date", "String",         "Dispatch Interface", "Error",       "Boolean",
        "Variant Pointer", "Interface", nullptr, nullptr, "Character", "Unsigned Character",
        "2 Byte Unsigned Integer", "4 Byte Unsigned Integer", "8 Byte Integer",
    };
    const unsigned low = vt & 0xFF;
    std::string name = low < std::size(kNames) && kNames[low] ? kNames[low] : "(Invalid Type)";
    if (vt & VT_ARRAY) name += " Array";
    if (vt & VT_BYREF) name += " By Reference";
    return name;
}

std::string AccessRightsName(DWORD rights)
{
    std::string text = AccessRightsText(rights);
    return text.empty() ? "Read / Write" : text;
}

} // namespace quillet
