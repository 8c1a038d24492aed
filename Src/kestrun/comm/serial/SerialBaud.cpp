// Kept apart from other termios code: the kernel's free-rate structures clash
// with the C library's termios header.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace kestrun {

bool SetFreeBaudRate(int fd, unsigned baud); // declared in SerialBaud.h, which this file cannot include

bool SetFreeBaudRate(int fd, unsigned baud)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return false;
    // Drivers round a free rate to what their clock divides to; more than 3 %
    // off is a rate the device cannot take.
    struct termios2 check {};
    if (ioctl(fd, TCGETS2, &check) != 0)
        return false;
    const unsigned got = check.c_ospeed;
    const unsigned diff = got > baud ? got - baud : baud - got;
    return diff * 100u <= baud * 3u;
}

} // namespace kestrun
