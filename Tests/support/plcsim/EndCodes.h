#pragma once
// End codes the simulated PLC answers with.
#include <cstdint>

namespace plcsim::endcode {

// 3E/4E frames.
inline constexpr std::uint16_t kOk = 0x0000;
inline constexpr std::uint16_t kAsciiConversion = 0xC050;  // characters that are not hex digits
inline constexpr std::uint16_t kPointCount = 0xC051;       // read/write points outside the limits
inline constexpr std::uint16_t kAddressRange = 0xC056;     // request runs past the device's end
inline constexpr std::uint16_t kAsciiLength = 0xC058;      // ASCII data length does not match
inline constexpr std::uint16_t kCommand = 0xC059;          // unknown command or subcommand
inline constexpr std::uint16_t kDevice = 0xC05B;           // unknown device code
inline constexpr std::uint16_t kRequest = 0xC05C;          // e.g. bit units on a word device
inline constexpr std::uint16_t kBitData = 0xC060;          // bit data other than 0/1
inline constexpr std::uint16_t kLength = 0xC061;           // data length does not match

// 1E frames: one byte, 0x5B followed by an abnormal code.
inline constexpr std::uint8_t k1EOk = 0x00;
inline constexpr std::uint8_t k1ECommand = 0x50;
inline constexpr std::uint8_t k1EAscii = 0x54;
inline constexpr std::uint8_t k1EDevice = 0x56;
inline constexpr std::uint8_t k1EPoints = 0x57;
inline constexpr std::uint8_t k1ERange = 0x58;
inline constexpr std::uint8_t k1EAbnormal = 0x5B;
inline constexpr std::uint8_t k1EPcNumber = 0x10;  // abnormal code after 0x5B

} // namespace plcsim::endcode
