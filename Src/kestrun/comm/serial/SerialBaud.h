#pragma once
// Baud rates on a termios descriptor, including rates without a B constant.
#include <termios.h>

namespace kestrun {

// The B constant of a standard rate; 0 when the rate has none.
speed_t StandardBaudConstant(unsigned baud);
// Sets any rate through the kernel's free-rate interface; false when the device
// refuses it. The descriptor's other settings are kept.
bool SetFreeBaudRate(int fd, unsigned baud);

} // namespace kestrun
