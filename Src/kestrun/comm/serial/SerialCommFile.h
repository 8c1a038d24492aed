#pragma once
// A serial port as a file, on a termios device. COMn is the device named by the
// environment variable TESSARO_COMn, or /dev/ttyS(n-1) when that is unset. The
// port is opened exclusively: a second open of the same device, from this or
// another process, fails as "not available".
#include "kestrun/comm/serial/SerialCommException.h"
#include "platform/afx/File.h"

#include <atomic>
#include <chrono>
#include <string>

class COXSerialCommConfig;

namespace kestrun {

// The device path of the zero-based COM port id.
std::string SerialDevicePath(WORD portId);

} // namespace kestrun

class COXSerialCommFile : public CFile {
    DECLARE_DYNCREATE(COXSerialCommFile)
public:
    // Port event bits (GetCommMask, SetCommMask).
    static constexpr DWORD EV_RXCHAR = 0x0001;
    // Port error bits reported by GetCommException.
    static constexpr DWORD CE_RXOVER = 0x0001;
    static constexpr DWORD CE_OVERRUN = 0x0002;
    static constexpr DWORD CE_RXPARITY = 0x0004;
    static constexpr DWORD CE_FRAME = 0x0008;
    static constexpr DWORD CE_BREAK = 0x0010;
    static constexpr DWORD CE_TXFULL = 0x0100;
    static constexpr DWORD CE_IOE = 0x0400;
    static constexpr DWORD CE_MODE = 0x8000;

    COXSerialCommFile();
    ~COXSerialCommFile() override;

    // Opens and sets up the port. FALSE on failure; the exception (when given) then
    // holds the cause: notAvailable when the device cannot be had, modeError when it
    // refuses the settings (such as a baud rate it cannot take).
    virtual BOOL Open(const COXSerialCommConfig& config, COXSerialCommException* pError = nullptr);
    // Purges both queues and closes; nothing when closed. Never throws.
    void Close() override;
    void Abort() override { Close(); }

    // Waits for up to count bytes within the read time-outs; 0 when closed. Throws
    // COXSerialCommException: rxTimeout when the device hung up, else the port's
    // pending error (ioError when none is known).
    UINT Read(void* lpBuf, UINT nCount) override;
    // Writes all bytes within the write time-out or throws COXSerialCommException
    // with the port's pending error (ioError when none is known or when closed).
    void Write(const void* lpBuf, UINT nCount) override;
    void Flush() override {}
    bool CanSeek() const override { return false; }
    bool IsOpen() const override { return m_bOpen.load(); }
    int GetSafeHandle() const { return m_hFile; }

    // Bytes in the receive queue; 0 when a port error was pending (it is cleared).
    // Throws ioError when closed.
    virtual DWORD GetBytesToRead();
    // Bytes in the transmit queue; 0 when closed or a port error was pending.
    virtual DWORD GetBytesToWrite();
    virtual BOOL IsRxQueueEmpty();
    virtual BOOL IsTxQueueEmpty();
    // Drop what waits in the receive or transmit queue; throw ioError when closed.
    virtual void PurgeRx();
    virtual void PurgeTx();

    virtual BOOL GetCommMask(DWORD& dwMask) const;
    virtual BOOL SetCommMask(DWORD dwMask);

    BOOL GetCTS() const;
    BOOL GetDSR() const;
    BOOL GetRI() const;
    BOOL GetCD() const;
    // 1 raises, anything else drops; nothing when closed.
    virtual void SetRTS(int nState);
    virtual void SetDTR(int nState);

    // Read interval and read total = read ms (plus 1 ms per byte), write total =
    // write ms (plus 1 ms per byte). FALSE when closed.
    virtual BOOL SetDefaultTimeOut(DWORD dwReadMs, DWORD dwWriteMs);

    // Clears the port's error state and gives its cause (first match: parity,
    // overrun, frame, break, I/O, mode, receive overflow, transmit full; else
    // noError). ioError when closed. The error bits go to pErrors when given.
    int GetCommException(DWORD* pErrors = nullptr);

private:
    using CFile::Open; // a port opens from its settings only

    struct Counters {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    void CloseHandle();
    bool ReadCounters(Counters& c) const;
    bool SetModemBit(int bit, bool on);
    int ModemBits() const;
    [[noreturn]] void ThrowPending(int fallback);

    std::atomic<bool> m_bOpen{false};
    bool m_bExclusive = false; // this handle put the tty in exclusive mode
    DWORD m_dwCommMask = 0;
    DWORD m_dwReadMs = 0;
    DWORD m_dwWriteMs = 0;
    DWORD m_dwPendingErrors = 0; // failures the system reported, until the next query
    Counters m_counters;         // line error counts already reported
};
