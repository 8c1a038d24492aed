#include "kestrun/comm/serial/SerialCommFile.h"

#include "kestrun/comm/serial/SerialBaud.h"
#include "kestrun/comm/serial/SerialCommConfig.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

IMPLEMENT_DYNCREATE(COXSerialCommFile, CFile)

namespace kestrun {

std::string SerialDevicePath(WORD portId)
{
    const unsigned n = static_cast<unsigned>(portId) + 1;
    const std::string key = "TESSARO_COM" + std::to_string(n);
    if (const char* path = std::getenv(key.c_str()); path && *path)
        return path;
    return "/dev/ttyS" + std::to_string(portId);
}

} // namespace kestrun

namespace {

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits for the descriptor; the poll events seen, 0 on time-out.
short WaitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, ms);
        if (r > 0)
            return p.revents;
        if (r == 0 || errno != EINTR)
            return 0;
    }
}

bool ApplyCharacterFormat(termios& tio, const COXSerialCommConfig& config)
{
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (config.m_nDataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return false;
    }
    switch (config.m_nParity) {
    case 0: break;
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
    }
    switch (config.m_nStopBits) {
    case 0: break;
    case 1: // one and a half: the nearest a termios device offers
    case 2: tio.c_cflag |= CSTOPB; break;
    default: return false;
    }
    return true;
}

// The system takes a state when it can apply any part of it, so what matters is
// read back: a device that drops the parity or the character size has not
// taken the settings.
bool TookCharacterFormat(int fd, const termios& wanted)
{
    termios now{};
    if (::tcgetattr(fd, &now) != 0)
        return false;
    const tcflag_t format = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    return (now.c_cflag & format) == (wanted.c_cflag & format) &&
           ::cfgetospeed(&now) == ::cfgetospeed(&wanted);
}

} // namespace

COXSerialCommFile::COXSerialCommFile() = default;

COXSerialCommFile::~COXSerialCommFile()
{
    CloseHandle();
}

BOOL COXSerialCommFile::Open(const COXSerialCommConfig& config, COXSerialCommException* pError)
{
    const std::string portName = config.GetCommName();
    auto fail = [&](int cause) {
        if (pError)
            pError->m_nCause = cause;
        CloseHandle();
        return FALSE;
    };
    if (pError) {
        pError->m_nCause = COXSerialCommException::noError;
        pError->m_strFileName = portName;
    }
    Close();

    const std::string path = kestrun::SerialDevicePath(config.GetPortId());
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(COXSerialCommException::notAvailable);
    m_hFile = fd;
    // The advisory lock holds against every opener, root included; the tty's own
    // exclusive mode only keeps out other users.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !::isatty(fd))
        return fail(COXSerialCommException::notAvailable);
    m_bExclusive = ::ioctl(fd, TIOCEXCL) == 0;

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return fail(COXSerialCommException::notAvailable);
    // Binary: no line editing, no character translation, no signals.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                          IXOFF | IXANY | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (!ApplyCharacterFormat(tio, config))
        return fail(COXSerialCommException::modeError);
    if (config.m_nParity != 0)
        tio.c_iflag |= INPCK;
    else
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    if (config.m_eFlowControl == COXSerialCommConfig::HARDWARE)
        tio.c_cflag |= CRTSCTS;
    if (config.m_eFlowControl == COXSerialCommConfig::XON_XOFF)
        tio.c_iflag |= IXON | IXOFF;

    // A rate without a constant goes on a standard one first and is set freely after.
    const speed_t speed = kestrun::StandardBaudConstant(config.m_nBaudRate);
    const speed_t base = speed != 0 ? speed : B38400;
    if (::cfsetispeed(&tio, base) != 0 || ::cfsetospeed(&tio, base) != 0)
        return fail(COXSerialCommException::modeError);
    // A state the device does not take is a failed open, not a port that runs on
    // settings nobody asked for.
    if (::tcsetattr(fd, TCSANOW, &tio) != 0 || !TookCharacterFormat(fd, tio))
        return fail(COXSerialCommException::modeError);
    if (speed == 0 && (config.m_nBaudRate == 0 || !kestrun::SetFreeBaudRate(fd, config.m_nBaudRate)))
        return fail(COXSerialCommException::modeError);

    // With hardware flow control the driver moves RTS itself; DTR stays up either way.
    SetModemBit(TIOCM_DTR, true);
    if (config.m_eFlowControl != COXSerialCommConfig::HARDWARE)
        SetModemBit(TIOCM_RTS, true);
    m_bOpen = true;
    m_strFilePath = portName;
    GetCommException();
    SetDefaultTimeOut(config.m_nReadTimeOut, config.m_nWriteTimeOut);
    ::tcflush(fd, TCIOFLUSH);
    return TRUE;
}

void COXSerialCommFile::Close()
{
    if (!IsOpen()) {
        CloseHandle();
        return;
    }
    ::tcflush(m_hFile, TCIOFLUSH);
    CloseHandle();
}

void COXSerialCommFile::CloseHandle()
{
    m_bOpen = false;
    if (m_hFile >= 0) {
        // Only our own exclusive mode: a refused open must not clear another's.
        if (m_bExclusive)
            ::ioctl(m_hFile, TIOCNXCL);
        ::close(m_hFile);
    }
    m_bExclusive = false;
    m_hFile = -1;
    m_dwPendingErrors = 0;
    m_counters = {};
}

UINT COXSerialCommFile::Read(void* lpBuf, UINT nCount)
{
    if (!IsOpen() || nCount == 0)
        return 0;
    BYTE* p = static_cast<BYTE*>(lpBuf);
    const auto total = Clock::now() + std::chrono::milliseconds(std::uint64_t{m_dwReadMs} + nCount);
    auto interval = total;
    UINT got = 0;
    while (got < nCount) {
        const ssize_t n = ::read(m_hFile, p + got, nCount - got);
        if (n > 0) {
            got += static_cast<UINT>(n);
            interval = Clock::now() + std::chrono::milliseconds(m_dwReadMs);
            continue;
        }
        if (n == 0) {
            if (got > 0)
                break;
            AfxThrowSerialCommException(COXSerialCommException::rxTimeout, m_strFilePath);
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            m_dwPendingErrors |= CE_IOE;
            ThrowPending(COXSerialCommException::ioError);
        }
        const int ms = std::min(MsUntil(total), MsUntil(interval));
        if (ms == 0 || WaitFor(m_hFile, POLLIN, ms) == 0)
            break;
    }
    return got;
}

void COXSerialCommFile::Write(const void* lpBuf, UINT nCount)
{
    if (!IsOpen())
        AfxThrowSerialCommException(COXSerialCommException::ioError, m_strFilePath);
    const BYTE* p = static_cast<const BYTE*>(lpBuf);
    const auto total = Clock::now() + std::chrono::milliseconds(std::uint64_t{m_dwWriteMs} + nCount);
    UINT done = 0;
    while (done < nCount) {
        const ssize_t n = ::write(m_hFile, p + done, nCount - done);
        if (n > 0) {
            done += static_cast<UINT>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_dwPendingErrors |= CE_IOE;
            break;
        }
        const int ms = MsUntil(total);
        if (ms == 0 || WaitFor(m_hFile, POLLOUT, ms) == 0)
            break;
    }
    if (done < nCount)
        ThrowPending(COXSerialCommException::ioError);
}

void COXSerialCommFile::ThrowPending(int fallback)
{
    const int cause = GetCommException();
    AfxThrowSerialCommException(cause != COXSerialCommException::noError ? cause : fallback, m_strFilePath);
}

DWORD COXSerialCommFile::GetBytesToRead()
{
    if (!IsOpen())
        AfxThrowSerialCommException(COXSerialCommException::ioError, m_strFilePath);
    if (GetCommException() != COXSerialCommException::noError)
        return 0;
    int n = 0;
    if (::ioctl(m_hFile, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<DWORD>(n);
}

DWORD COXSerialCommFile::GetBytesToWrite()
{
    if (!IsOpen() || GetCommException() != COXSerialCommException::noError)
        return 0;
    int n = 0;
    if (::ioctl(m_hFile, TIOCOUTQ, &n) != 0 || n < 0)
        return 0;
    return static_cast<DWORD>(n);
}

BOOL COXSerialCommFile::IsRxQueueEmpty()
{
    if (!IsOpen())
        return FALSE;
    int n = 0;
    return ::ioctl(m_hFile, FIONREAD, &n) == 0 && n == 0;
}

BOOL COXSerialCommFile::IsTxQueueEmpty()
{
    if (!IsOpen())
        return FALSE;
    int n = 0;
    return ::ioctl(m_hFile, TIOCOUTQ, &n) == 0 && n == 0;
}

void COXSerialCommFile::PurgeRx()
{
    if (!IsOpen())
        AfxThrowSerialCommException(COXSerialCommException::ioError, m_strFilePath);
    ::tcflush(m_hFile, TCIFLUSH);
}

void COXSerialCommFile::PurgeTx()
{
    if (!IsOpen())
        AfxThrowSerialCommException(COXSerialCommException::ioError, m_strFilePath);
    ::tcflush(m_hFile, TCOFLUSH);
}

BOOL COXSerialCommFile::GetCommMask(DWORD& dwMask) const
{
    if (!IsOpen())
        return FALSE;
    dwMask = m_dwCommMask;
    return TRUE;
}

BOOL COXSerialCommFile::SetCommMask(DWORD dwMask)
{
    if (!IsOpen())
        return FALSE;
    m_dwCommMask = dwMask;
    return TRUE;
}

int COXSerialCommFile::ModemBits() const
{
    int bits = 0;
    if (!IsOpen() || ::ioctl(m_hFile, TIOCMGET, &bits) != 0)
        return 0;
    return bits;
}

BOOL COXSerialCommFile::GetCTS() const { return (ModemBits() & TIOCM_CTS) != 0; }
BOOL COXSerialCommFile::GetDSR() const { return (ModemBits() & TIOCM_DSR) != 0; }
BOOL COXSerialCommFile::GetRI() const { return (ModemBits() & TIOCM_RI) != 0; }
BOOL COXSerialCommFile::GetCD() const { return (ModemBits() & TIOCM_CD) != 0; }

bool COXSerialCommFile::SetModemBit(int bit, bool on)
{
    return m_hFile >= 0 && ::ioctl(m_hFile, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

void COXSerialCommFile::SetRTS(int nState)
{
    if (IsOpen())
        SetModemBit(TIOCM_RTS, nState == 1);
}

void COXSerialCommFile::SetDTR(int nState)
{
    if (IsOpen())
        SetModemBit(TIOCM_DTR, nState == 1);
}

BOOL COXSerialCommFile::SetDefaultTimeOut(DWORD dwReadMs, DWORD dwWriteMs)
{
    if (!IsOpen())
        return FALSE;
    m_dwReadMs = dwReadMs;
    m_dwWriteMs = dwWriteMs;
    return TRUE;
}

bool COXSerialCommFile::ReadCounters(Counters& c) const
{
    serial_icounter_struct icount{};
    if (::ioctl(m_hFile, TIOCGICOUNT, &icount) != 0)
        return false; // pseudo-terminals and some adapters keep no counts
    c.frame = icount.frame;
    c.overrun = icount.overrun;
    c.parity = icount.parity;
    c.brk = icount.brk;
    c.bufOverrun = icount.buf_overrun;
    return true;
}

int COXSerialCommFile::GetCommException(DWORD* pErrors)
{
    if (!IsOpen()) {
        if (pErrors)
            *pErrors = 0;
        return COXSerialCommException::ioError;
    }
    DWORD errors = m_dwPendingErrors;
    m_dwPendingErrors = 0;
    Counters now;
    if (ReadCounters(now)) {
        if (now.parity != m_counters.parity)
            errors |= CE_RXPARITY;
        if (now.overrun != m_counters.overrun)
            errors |= CE_OVERRUN;
        if (now.frame != m_counters.frame)
            errors |= CE_FRAME;
        if (now.brk != m_counters.brk)
            errors |= CE_BREAK;
        if (now.bufOverrun != m_counters.bufOverrun)
            errors |= CE_RXOVER;
        m_counters = now;
    }
    if (pErrors)
        *pErrors = errors;
    struct Rule {
        DWORD bit;
        int cause;
    };
    static constexpr Rule kRules[] = {
        {CE_RXPARITY, COXSerialCommException::parityError},
        {CE_OVERRUN, COXSerialCommException::overrunError},
        {CE_FRAME, COXSerialCommException::frameError},
        {CE_BREAK, COXSerialCommException::breakDetect},
        {CE_IOE, COXSerialCommException::ioError},
        {CE_MODE, COXSerialCommException::modeError},
        {CE_RXOVER, COXSerialCommException::rxQueueOverflow},
        {CE_TXFULL, COXSerialCommException::txQueueFull},
    };
    for (const Rule& r : kRules) {
        if (errors & r.bit)
            return r.cause;
    }
    return COXSerialCommException::noError;
}
