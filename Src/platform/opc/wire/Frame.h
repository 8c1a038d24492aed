#pragma once
// Frames of the OPC transport. A frame is a 20-byte header, little-endian:
//   DWORD magic 0x43504F54 ("TOPC"), DWORD payload length, BYTE kind, BYTE 0,
//   WORD method, DWORD call id, DWORD object id
// followed by the payload. Calls carry their arguments and get a reply with the same
// call id whose payload begins with the HRESULT; notifications (server to client) and
// releases (client to server) are one-way and have call id 0.
#include "platform/opc/OpcTypes.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace win { class Clock; }

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
// The header of a frame whose payload follows; the caller appends the payload and then
// sets its length with setFrameLength (so a payload is written once, in place).
void beginFrame(std::vector<BYTE>& out, FrameKind kind, WORD method, DWORD callId, DWORD objectId);
void setFrameLength(std::vector<BYTE>& frame);
// Checks a header: magic, kind, reserved byte, length bound. False for anything else.
bool decodeFrameHeader(std::span<const BYTE, kFrameHeaderSize> header, Frame& f, DWORD& payloadLength);

// Puts frames together from the bytes of a stream as they arrive. The payload grows with
// what has arrived (its storage stays under twice that), so a peer that announces a
// large frame and sends little costs little; overdue() tells when a frame that has begun
// took too long.
class FrameReader {
public:
    enum class Status { NeedMore, Complete, Malformed };
    // Takes bytes of data for the frame under way (used: how many). Complete: out holds
    // the frame, and the bytes after `used` belong to the next one. Malformed: the header
    // is not one of ours; the stream is not to be trusted any more.
    Status feed(std::span<const BYTE> data, std::size_t& used, Frame& out, std::uint64_t nowMs);
    // True when part of a frame is held and its first byte came more than timeoutMs ago.
    bool overdue(std::uint64_t nowMs, std::uint64_t timeoutMs) const;
    // Bytes the frame under way still lacks (at least 1).
    std::size_t wanted() const
    {
        return haveHeader_ ? length_ - frame_.payload.size() : kFrameHeaderSize - headerHeld_;
    }
    // Bytes held for the frame under way, and the storage they take.
    std::size_t held() const { return headerHeld_ + frame_.payload.size(); }
    std::size_t storage() const { return header_.size() + frame_.payload.capacity(); }

private:
    std::array<BYTE, kFrameHeaderSize> header_{};
    std::size_t headerHeld_ = 0;
    bool haveHeader_ = false;
    DWORD length_ = 0;
    Frame frame_;
    std::uint64_t startedMs_ = 0;
};

// Blocking socket I/O on a connected descriptor. readFrame: false at end of stream, on
// an error, or for a malformed header (the connection is then not to be trusted).
bool readFrame(int fd, Frame& f);
// Writes everything; with a deadline (monotonic ms of the clock's) it gives up when the
// peer takes no more bytes by then. False on an error or at the deadline, which may
// leave a frame cut: the link is then not to be used any more.
bool writeAll(int fd, std::span<const BYTE> data);
bool writeAll(int fd, std::span<const BYTE> data, std::uint64_t deadlineMs, const win::Clock& clock);

} // namespace opc
