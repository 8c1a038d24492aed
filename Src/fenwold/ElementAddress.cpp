#include "fenwold/ElementAddress.h"

#include "fenwold/MelsecDevice.h"

#include <cstdint>

namespace {

// More digits than this cannot be a device number, with or without leading zeros.
constexpr std::size_t kMaxDigits = 10;

int DigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base)
{
    if (digits.empty() || digits.size() > kMaxDigits)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int v = DigitValue(c);
        if (v < 0 || static_cast<unsigned>(v) >= base)
            return std::nullopt;
        value = value * base + static_cast<unsigned>(v);
    }
    return value;
}

// Bits one value of a data type occupies in the device memory; 0 for types that have
// no element layout.
int ValueBits(int dataType)
{
    switch (dataType) {
    case 0: return 1;
    case 1: case 2: return 8;
    case 3: case 4: return 16;
    case 5: case 6: case 7: return 32;
    case 8: return 64;
    case 10: case 11: return 16;
    default: return 0;
    }
}

// Bit numbers a value of the type has (bit items exist for the integer types only).
int AddressableBits(int dataType)
{
    switch (dataType) {
    case 1: case 2: return 8;
    case 3: case 4: return 16;
    case 5: case 6: return 32;
    default: return 0;
    }
}

}  // namespace

std::optional<DWORD> ParseDeviceNumber(std::string_view address, WORD deviceCode)
{
    const MelsecDevice* device = MelsecDeviceByCode(deviceCode);
    const int prefix = MelsecPrefixLength(deviceCode);
    if (!device || address.size() <= static_cast<std::size_t>(prefix))
        return std::nullopt;
    const auto value = ParseDigits(address.substr(prefix), device->hexNumbered ? 16 : 10);
    if (!value || *value > MelsecMaxDeviceNumber(deviceCode))
        return std::nullopt;
    return static_cast<DWORD>(*value);
}

std::optional<MelsecAddress> ParseMelsecAddress(std::string_view address)
{
    const MelsecDevice* device = MelsecFindDevice(address);
    if (!device)
        return std::nullopt;
    const auto number = ParseDeviceNumber(address, device->code);
    if (!number)
        return std::nullopt;
    MelsecAddress result;
    result.deviceCode = device->code;
    result.number = *number;
    result.digits = static_cast<int>(address.size()) - MelsecPrefixLength(device->code);
    return result;
}

std::string FormatDeviceNumber(WORD deviceCode, DWORD number, int digits)
{
    const MelsecDevice* device = MelsecDeviceByCode(deviceCode);
    const unsigned base = device && device->hexNumbered ? 16 : 10;
    char buffer[16];
    int n = 0;
    do {
        buffer[n++] = "0123456789ABCDEF"[number % base];
        number /= base;
    } while (number != 0 && n < 16);
    std::string text;
    if (digits > n)
        text.assign(static_cast<std::size_t>(digits - n), '0');
    while (n > 0)
        text.push_back(buffer[--n]);
    return text;
}

std::optional<ElementAddress> GetElementAddress(std::string_view text, int dataType,
                                                WORD deviceCode, int index)
{
    const MelsecDevice* device = MelsecDeviceByCode(deviceCode);
    if (!device)
        return std::nullopt;

    std::string_view address = text;
    std::string_view indexText;
    std::string_view bitText;
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        address = text.substr(0, colon);
        indexText = text.substr(colon + 1);
        if (const auto slash = indexText.find('/'); slash != std::string_view::npos) {
            bitText = indexText.substr(slash + 1);
            indexText = indexText.substr(0, slash);
        }
    } else if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        address = text.substr(0, slash);
        bitText = text.substr(slash + 1);
    }

    const auto head = ParseDeviceNumber(address, deviceCode);
    if (!head)
        return std::nullopt;

    const int bits = ValueBits(dataType);
    if (bits == 0)
        return ElementAddress{std::string(address), *head};

    std::uint64_t elementIndex = 0;
    if (index >= 0) {
        elementIndex = static_cast<std::uint64_t>(index);
    } else if (!indexText.empty()) {
        const auto parsed = ParseDigits(indexText, 10);
        if (!parsed)
            return std::nullopt;
        elementIndex = *parsed;
    }

    std::uint64_t bit = 0;
    if (dataType != 0 && !bitText.empty()) {
        const auto parsed = ParseDigits(bitText, 10);
        if (!parsed || *parsed >= static_cast<std::uint64_t>(AddressableBits(dataType)))
            return std::nullopt;
        bit = *parsed;
    }

    // Offset in bits from the head element to the point (and its bit).
    const std::uint64_t offsetBits = elementIndex * static_cast<std::uint64_t>(bits) + bit;
    std::uint64_t offset = offsetBits;
    if (!device->bitDevice) {
        // Word devices number words: a point inside a word has no element of its own.
        if (offsetBits % 16 != 0)
            return std::nullopt;
        offset = offsetBits / 16;
    }
    const std::uint64_t number = *head + offset;
    if (number > MelsecMaxDeviceNumber(deviceCode))
        return std::nullopt;

    const int digits = static_cast<int>(address.size()) - MelsecPrefixLength(deviceCode);
    ElementAddress result;
    result.number = static_cast<DWORD>(number);
    result.text = device->name;
    result.text += FormatDeviceNumber(deviceCode, result.number, digits);
    return result;
}

std::optional<MelsecReadPlan> MelsecPlanRead(int dataType, WORD deviceCode, DWORD head,
                                             unsigned count, bool alignWordUnits)
{
    if (!MelsecDeviceByCode(deviceCode))
        return std::nullopt;
    MelsecReadPlan plan;
    plan.head = head;
    const bool bitDevice = MelsecIsBitDevice(deviceCode);
    if (bitDevice && (dataType == 0 || alignWordUnits)) {
        plan.bitOffset = static_cast<int>(head % 16);
        plan.head = head - static_cast<DWORD>(plan.bitOffset);
    }
    const std::uint64_t n = count;
    std::uint64_t words = 0;
    switch (dataType) {
    case 0: words = (static_cast<std::uint64_t>(plan.bitOffset) + n + 15) / 16; break;
    case 1: case 2: case 10: words = (n + 1) / 2; break;
    case 5: case 6: case 7: words = 2 * n; break;
    case 8: words = 4 * n; break;
    default: words = n; break;
    }
    // The values straddle one more word than they fill.
    if (dataType != 0 && plan.bitOffset > 0)
        ++words;
    if (n == 0 || words > 0xFFFF)
        return std::nullopt;
    plan.words = static_cast<unsigned>(words);
    return plan;
}
