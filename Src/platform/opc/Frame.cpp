#include "platform/opc/Frame.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace opc {
namespace {

void put32(std::vector<BYTE>& b, std::size_t at, DWORD v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = BYTE(v >> (8 * i));
}
DWORD get32(std::span<const BYTE> b, std::size_t at)
{
    return DWORD(b[at]) | DWORD(b[at + 1]) << 8 | DWORD(b[at + 2]) << 16 | DWORD(b[at + 3]) << 24;
}

bool readAll(int fd, BYTE* p, std::size_t n)
{
    while (n > 0) {
        ssize_t r = ::recv(fd, p, n, 0);
        if (r > 0) {
            p += r;
            n -= std::size_t(r);
        } else if (r == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<BYTE> encodeFrame(const Frame& f)
{
    std::vector<BYTE> b(kFrameHeaderSize + f.payload.size());
    put32(b, 0, kFrameMagic);
    put32(b, 4, DWORD(f.payload.size()));
    b[8] = BYTE(f.kind);
    b[9] = 0;
    b[10] = BYTE(f.method);
    b[11] = BYTE(f.method >> 8);
    put32(b, 12, f.callId);
    put32(b, 16, f.objectId);
    std::copy(f.payload.begin(), f.payload.end(), b.begin() + kFrameHeaderSize);
    return b;
}

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

bool readFrame(int fd, Frame& f)
{
    std::array<BYTE, kFrameHeaderSize> h;
    if (!readAll(fd, h.data(), h.size())) return false;
    DWORD length = 0;
    if (!decodeFrameHeader(h, f, length)) return false;
    f.payload.resize(length);
    return length == 0 || readAll(fd, f.payload.data(), length);
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

} // namespace opc
