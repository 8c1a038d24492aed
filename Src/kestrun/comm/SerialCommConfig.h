#pragma once
// Settings of one serial port. The port id is the zero-based COM number (0 is COM1).
#include "kestrun/comm/CommConfig.h"

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
