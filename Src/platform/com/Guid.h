#pragma once
// Globally unique identifiers: class ids, interface ids, OPC categories.
#include "platform/win/WinTypes.h"

#include <array>
#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
    DWORD Data1 = 0;
    WORD Data2 = 0;
    WORD Data3 = 0;
    std::array<BYTE, 8> Data4{};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};

using CLSID = GUID;
using IID = GUID;
using CATID = GUID;

inline constexpr GUID GUID_NULL{};
inline constexpr CLSID CLSID_NULL{};

namespace com {

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case, braces
// required, nothing before or after). nullopt for anything else.
std::optional<GUID> parseGuid(std::string_view text) noexcept;

// Same, with the braces optional (registry values and command lines carry both forms).
std::optional<GUID> parseGuidLoose(std::string_view text) noexcept;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hex digits.
std::string formatGuid(const GUID& guid);

// The 16 bytes as GUIDs are laid out in memory and on the wire: Data1, Data2, Data3
// little-endian, then Data4.
std::array<BYTE, 16> guidToBytes(const GUID& guid) noexcept;
GUID guidFromBytes(const std::array<BYTE, 16>& bytes) noexcept;

} // namespace com

template <>
struct std::hash<GUID> {
    std::size_t operator()(const GUID& guid) const noexcept;
};
