#pragma once
// Frames of the OPC transport. A frame is a 20-byte header, little-endian:
//   DWORD magic 0x43504F54 ("TOPC"), DWORD payload length, BYTE kind, BYTE 0,
//   WORD method, DWORD call id, DWORD object id
// followed by the payload. Calls carry their arguments and get a reply with the same
// call id whose payload begins with the HRESULT; notifications (server to client) and
// releases (client to server) are one-way and have call id 0.
#include "platform/opc/OpcTypes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace opc {

inline constexpr DWORD kFrameMagic = 0x43504F54;
inline constexpr std::size_t kFrameHeaderSize = 20;
inline constexpr DWORD kMaxFramePayload = 16u << 20;

enum class FrameKind : BYTE { Call = 1, Reply = 2, Notify = 3, Release = 4 };

struct Frame {
    FrameKind kind = FrameKind::Call;
    WORD method = 0;
    DWORD callId = 0;
    DWORD objectId = 0;
    std::vector<BYTE> payload;
};

std::vector<BYTE> encodeFrame(const Frame& f);
// Checks a header: magic, kind, reserved byte, length bound. False for anything else.
bool decodeFrameHeader(std::span<const BYTE, kFrameHeaderSize> header, Frame& f, DWORD& payloadLength);

// Blocking socket I/O on a connected descriptor. readFrame: false at end of stream, on
// an error, or for a malformed header (the connection is then not to be trusted).
bool readFrame(int fd, Frame& f);
bool writeAll(int fd, std::span<const BYTE> data);

} // namespace opc
