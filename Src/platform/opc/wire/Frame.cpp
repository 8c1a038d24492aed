#include "platform/opc/wire/Frame.h"

#include "platform/win/Clock.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace opc {
namespace {

void put32(BYTE* b, DWORD v)
{
    for (int i = 0; i < 4; ++i) b[i] = BYTE(v >> (8 * i));
}
DWORD get32(std::span<const BYTE> b, std::size_t at)
{
    return DWORD(b[at]) | DWORD(b[at + 1]) << 8 | DWORD(b[at + 2]) << 16 | DWORD(b[at + 3]) << 24;
}

void putHeader(BYTE* b, FrameKind kind, WORD method, DWORD callId, DWORD objectId, DWORD length)
{
    put32(b, kFrameMagic);
    put32(b + 4, length);
    b[8] = BYTE(kind);
    b[9] = 0;
    b[10] = BYTE(method);
    b[11] = BYTE(method >> 8);
    put32(b + 12, callId);
    put32(b + 16, objectId);
}

} // namespace

std::vector<BYTE> encodeFrame(const Frame& f)
{
    std::vector<BYTE> b(kFrameHeaderSize + f.payload.size());
    putHeader(b.data(), f.kind, f.method, f.callId, f.objectId, DWORD(f.payload.size()));
    std::copy(f.payload.begin(), f.payload.end(), b.begin() + kFrameHeaderSize);
    return b;
}

void beginFrame(std::vector<BYTE>& out, FrameKind kind, WORD method, DWORD callId, DWORD objectId)
{
    out.resize(kFrameHeaderSize);
    putHeader(out.data(), kind, method, callId, objectId, 0);
}

void setFrameLength(std::vector<BYTE>& frame) { put32(frame.data() + 4, DWORD(frame.size() - kFrameHeaderSize)); }

bool decodeFrameHeader(std::span<const BYTE, kFrameHeaderSize> h, Frame& f, DWORD& length)
{
    if (get32(h, 0) != kFrameMagic) return false;
    length = get32(h, 4);
    if (length > kMaxFramePayload) return false;
    if (h[8] < BYTE(FrameKind::Call) || h[8] > BYTE(FrameKind::Release) || h[9] != 0) return false;
    f.kind = FrameKind(h[8]);
    f.method = WORD(h[10] | (h[11] << 8));
    f.callId = get32(h, 12);
    f.objectId = get32(h, 16);
    return true;
}

FrameReader::Status FrameReader::feed(std::span<const BYTE> data, std::size_t& used, Frame& out,
                                      std::uint64_t nowMs)
{
    used = 0;
    if (!data.empty() && held() == 0) startedMs_ = nowMs;
    if (!haveHeader_) {
        std::size_t take = std::min(data.size(), kFrameHeaderSize - headerHeld_);
        std::copy_n(data.begin(), take, header_.begin() + headerHeld_);
        headerHeld_ += take;
        used += take;
        if (headerHeld_ < kFrameHeaderSize) return Status::NeedMore;
        if (!decodeFrameHeader(header_, frame_, length_)) return Status::Malformed;
        haveHeader_ = true;
        frame_.payload.clear();
    }
    // Only what arrived is stored: the announced length reserves nothing.
    std::size_t take = std::min<std::size_t>(data.size() - used, length_ - frame_.payload.size());
    frame_.payload.insert(frame_.payload.end(), data.begin() + used, data.begin() + used + take);
    used += take;
    if (frame_.payload.size() < length_) return Status::NeedMore;
    out = std::move(frame_);
    frame_ = Frame{};
    haveHeader_ = false;
    headerHeld_ = 0;
    return Status::Complete;
}

bool FrameReader::overdue(std::uint64_t nowMs, std::uint64_t timeoutMs) const
{
    return held() > 0 && win::isTimeOver(startedMs_, nowMs, timeoutMs);
}

bool readFrame(int fd, Frame& f)
{
    // Never past the frame: the bytes behind it stay in the socket for the next call.
    FrameReader reader;
    std::array<BYTE, 64 * 1024> buf;
    for (;;) {
        ssize_t r = ::recv(fd, buf.data(), std::min(reader.wanted(), buf.size()), 0);
        if (r == 0 || (r < 0 && errno != EINTR)) return false;
        if (r < 0) continue;
        std::size_t used = 0;
        switch (reader.feed(std::span<const BYTE>(buf.data(), std::size_t(r)), used, f, 0)) {
        case FrameReader::Status::Complete: return true;
        case FrameReader::Status::Malformed: return false;
        case FrameReader::Status::NeedMore: break;
        }
    }
}

bool writeAll(int fd, std::span<const BYTE> data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t w = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (w > 0) done += std::size_t(w);
        else if (w < 0 && errno == EINTR) continue;
        else return false;
    }
    return true;
}

bool writeAll(int fd, std::span<const BYTE> data, std::uint64_t deadlineMs, const win::Clock& clock)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t w = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            done += std::size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const std::uint64_t now = clock.monotonicMs();
        if (now >= deadlineMs) return false;
        pollfd p{fd, POLLOUT, 0};
        // In slices, so a clock moved by a test is seen too.
        int wait = int(std::min<std::uint64_t>(deadlineMs - now, 100));
        if (::poll(&p, 1, wait) < 0 && errno != EINTR) return false;
    }
    return true;
}

} // namespace opc
