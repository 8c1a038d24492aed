#pragma once
// The communication handler of serial (COM) ports. Every line has its own port
// file, so a redundant device may use four ports. For half-duplex converters it
// can drive RTS around the request frames.
#include "kestrun/comm/handler/CommHdlr.h"

#include <array>
#include <memory>

class COXSerialCommConfig;
class COXSerialCommFile;

class CdsSerialHdlr : public CdsCommHdlr {
public:
    CdsSerialHdlr();
    ~CdsSerialHdlr() override;

    BOOL OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    BOOL CloseCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    BOOL IsPortOpen(tagTHREADINFO* pLine) override;
    // Bytes in the line's receive queue, or 0x80000201 + the serial cause.
    int GetNoOfBytesToRead(tagTHREADINFO* pLine) override;
    int SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                         tagTHREADINFO* pLine) override;
    int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                               const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine) override;
    // Closes the port, waits the device's reset delay (unless it switches fast)
    // and opens it again.
    void ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;

    // The line's port file (the primary master's for a null line). It lives as
    // long as the handler; closed while the line's port is closed.
    std::shared_ptr<COXSerialCommFile> GetCommFile(const tagTHREADINFO* pLine) const;
    // Opens the line's port with the settings; 1 when open (or open already).
    // A port that opened but could not be set up is closed again.
    BOOL OpenSerialPort(CdsDeviceObject* pDevice, const COXSerialCommConfig& config, tagTHREADINFO* pLine);

    // The RTS steps around a request; FALSE when the line's port is not open or
    // fails meanwhile (the request then fails as well).
    BOOL DoPreTxDelay(tagTHREADINFO* pLine);
    BOOL DoPostTxDelay(tagTHREADINFO* pLine);
    BOOL DoPreRxDelay(tagTHREADINFO* pLine);
    BOOL DoPostRxDelay(tagTHREADINFO* pLine);

protected:
    // Puts another file on a line, before the line starts (for derived handlers
    // with their own kind of port file).
    void SetSerialFile(int nLine, std::shared_ptr<COXSerialCommFile> pFile);

    // Half-duplex RTS control, off by default; a derived handler may turn it on.
    BOOL m_bRtsControl = FALSE;
    int m_nPreTxPolls = 5;  // before sending: waits while the receive queue is not empty
    int m_nPostTxPolls = 5; // after sending: waits while the transmit queue is not empty
    int m_nPreRxPolls = 0;  // before reading: waits while the transmit queue is not empty
    int m_nPostRxPolls = 0; // after reading: waits while the receive queue is not empty

private:
    enum class Queue { Rx, Tx };
    // Waits up to polls + 1 times 1 ms while the queue holds bytes, then purges it.
    BOOL DrainQueue(tagTHREADINFO* pLine, Queue queue, int nPolls, int nRts);

    std::array<std::shared_ptr<COXSerialCommFile>, LINE_COUNT> m_serialFiles;
};
