#pragma once
// Settings of one serial port. The port id is the zero-based COM number (0 is COM1).
#include "kestrun/comm/config/CommConfig.h"

#include <functional>

class COXSerialCommConfig : public CdsCommConfig {
    DECLARE_SERIAL(COXSerialCommConfig)
public:
    enum EFlowControl : std::int32_t { NONE = 0, HARDWARE = 1, XON_XOFF = 2 };

    COXSerialCommConfig();
    COXSerialCommConfig(const COXSerialCommConfig& src) = default;
    COXSerialCommConfig& operator=(const CdsCommConfig& src) override;
    COXSerialCommConfig& operator=(const COXSerialCommConfig& src);

    // "COM%d" with port id + 1.
    std::string GetCommName() const;
    // "\\.\COM%d" with port id + 1: the device path of the port.
    std::string GetExtCommName() const;

    // Whether the port's device can be opened for reading and writing by us alone
    // right now; the trial open is closed at once.
    BOOL IsPortAvailable() const;
    // Edits a copy in the setup dialog and takes it back on OK; returns the result.
    int DoConfigDialog(const std::string& caption) override;

    // Shows a text to the user; without one, texts go to the standard error stream.
    using Notice = std::function<void(const std::string& text)>;
    // Loads the settings from a file of their own ("unknown.cfg" for an empty name).
    // A file that is missing or cannot be read leaves these settings as they were,
    // tells the user, and is replaced by them. FALSE only when the file exists and
    // cannot be loaded.
    BOOL Load(const std::string& fileName, const Notice& notice = {});
    // Saves the settings to a file of their own; FALSE (after telling) on failure.
    BOOL Save(const std::string& fileName, const Notice& notice = {});

    DWORD m_nBaudRate = 19200;
    BYTE m_nDataBits = 7;
    BYTE m_nParity = 2;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    BYTE m_nStopBits = 0; // 0 one, 1 one and a half, 2 two
    EFlowControl m_eFlowControl = NONE;
    DWORD m_nRxQueueSize = 4096;
    DWORD m_nTxQueueSize = 4096;
    DWORD m_nFirstTimeOut = 2000; // ms
    DWORD m_nWriteTimeOut = 5000; // ms
    DWORD m_nReadTimeOut = 5000;  // ms

protected:
    // 31 bytes: baud rate 4, data bits 1, parity 1, stop bits 1, flow control 4,
    // receive and transmit queue sizes 4 each, then the three time-outs 4 each.
    void SerializeTail(CArchive& ar) override;
    bool HasTailOf(tagCommPortType portType) const override;
    void AssignTail(const CdsCommConfig& src) override;
};
