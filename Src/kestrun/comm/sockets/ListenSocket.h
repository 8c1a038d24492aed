#pragma once
// The socket of a socket line: the line's connection or UDP socket, and in
// listen mode the socket that accepts the line's client. It knows its handler
// and device so its notifications find their line, remembers the accepted
// peer, and keeps the per-line holdover of bytes received but not yet read.
#include <array>
#include <memory>
#include <mutex>
#include <string>

#include "kestrun/comm/sockets/TimeoutSocket.h"

class CdsDeviceObject;
class CdsSocketHdlr;

class CdsListenSocket : public CdsTimeoutSocket {
public:
    static constexpr int kLineCount = 4;
    static constexpr int kHoldoverSize = 4096;

    // nLine: the handler's line index (0..3) the socket serves; -1 for none.
    CdsListenSocket(CdsDeviceObject* pDevice, CdsSocketHdlr* pHdlr, int nLine = -1,
                    const win::Clock* pClock = nullptr);
    ~CdsListenSocket() override;

    // Copies the peer address, peer port and accepted flag only.
    CdsListenSocket& CopyPeerOf(const CdsListenSocket& src);

    // Creates the socket unless it has a handle already (which counts as success).
    BOOL Create(UINT nPort = 0, int nSocketType = TYPE_STREAM, const char* pszAddress = nullptr);
    BOOL Connect(const char* pszAddress, UINT nPort, UINT nTimeoutMs);

    BOOL IsListenMode() const;
    BOOL IsPortUDP() const;

    BOOL IsValidPeerInfo() const;
    BOOL GetPeerInfo(std::string& strAddress, UINT& nPort) const;
    void SetPeerInfo(const std::string& strAddress, UINT nPort);
    BOOL IsAccepted() const { return m_nAccepted; }
    void SetAccepted(BOOL b) { m_nAccepted = b; }

    // Appends to the line's holdover; the new count. When the bytes would not fit
    // behind what is held, what is held is dropped; more than the holdover holds
    // keeps its first kHoldoverSize bytes.
    int SaveToBuffer(const BYTE* pData, int nLength);
    // Takes up to nMax bytes from the front of the line's holdover; -1 for a null buffer.
    int RestoreFromBuffer(BYTE* pBuffer, int nMax);
    int GetReadBytesSize() const;

    CdsSocketHdlr* GetHandler() const { return m_pHdlr; }
    CdsDeviceObject* GetDevice() const { return m_pDevice; }
    int GetLineIndex() const { return m_nLine; }

    void OnAccept(int nErrorCode) override;
    void OnClose(int nErrorCode) override;
    void OnReceive(int nErrorCode) override;

private:
    bool HasLine() const { return m_nLine >= 0 && m_nLine < kLineCount; }

    CdsSocketHdlr* m_pHdlr;
    CdsDeviceObject* m_pDevice;
    std::string m_strPeerAddress;
    UINT m_nPeerPort = 0;
    BOOL m_nAccepted = 0;
    mutable std::mutex m_lock; // leaf: creation and the holdover; may be taken under g_sectionHdlr
    int m_nLine;
    // The holdover of the socket's own line: made by its first save.
    int m_nHeld = 0;
    std::unique_ptr<std::array<BYTE, kHoldoverSize + 1>> m_pHoldover;
};
