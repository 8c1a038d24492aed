#pragma once
// Device table of the simulated PLC: codes, names and sizes as the MC protocol uses them.
#include <cstdint>
#include <string_view>

namespace plcsim {

struct DeviceInfo {
    std::uint8_t code;       // one-byte device code of 3E/4E binary frames
    char name[3];            // two characters of 3E/4E ASCII frames ("D*", "ZR", ...)
    std::uint16_t code1E;    // 16-bit device code of 1E frames, 0 when 1E cannot reach it
    bool hexNumber;          // device numbers written in hexadecimal (X, Y, B, W, ZR ...)
    bool bit;                // bit device (points are bits); otherwise word device
    std::uint32_t size;      // points (bits or words) the simulator holds
    std::uint8_t storage;    // code whose memory this device shares (DX -> X, DY -> Y)
};

// nullptr when the code is not a device of this PLC.
const DeviceInfo* findDevice(std::uint8_t code);
const DeviceInfo* findDeviceByName(std::string_view asciiName);
const DeviceInfo* findDevice1E(std::uint16_t code1E);

// Every device, for iteration (memory set-up, option parsing).
const DeviceInfo* deviceTableBegin();
const DeviceInfo* deviceTableEnd();

} // namespace plcsim
