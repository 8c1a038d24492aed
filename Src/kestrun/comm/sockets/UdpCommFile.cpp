#include "kestrun/comm/sockets/UdpCommFile.h"

#include <algorithm>
#include <cstring>

#include "kestrun/comm/sockets/ListenSocket.h"
#include "kestrun/comm/sockets/TcpipConfig.h"

CdsUdpCommFile::CdsUdpCommFile(CdsListenSocket* pSocket, CdsTcpipConfig* pConfig)
    : COXSocketCommFile(pSocket, TRUE), m_pConfig(pConfig), m_pListenSocket(pSocket)
{
    // The base file's own socket calls never act on a UDP line.
    m_pSocket = nullptr;
    m_bTimer = 0;
}

std::mutex& CdsUdpCommFile::RemoteAddressLock()
{
    static std::mutex lock;
    return lock;
}

std::string CdsUdpCommFile::GetRemoteAddress(const CdsTcpipConfig& config)
{
    std::lock_guard<std::mutex> lock(RemoteAddressLock());
    return config.m_strRemoteAddress;
}

BOOL CdsUdpCommFile::IsOpen() const
{
    return m_pListenSocket != nullptr && m_pListenSocket->GetHandle() != CdsTimeoutSocket::kInvalidSocket;
}

void CdsUdpCommFile::Close()
{
    if (m_pListenSocket)
        m_pListenSocket->Close();
}

int CdsUdpCommFile::Read(void* pBuffer, UINT nCount)
{
    if (m_pListenSocket == nullptr || pBuffer == nullptr)
        return 0;
    auto* pOut = static_cast<BYTE*>(pBuffer);
    const int nWanted = static_cast<int>(std::min<UINT>(nCount, 0x7FFFFFFF));
    const int nHeld = std::max(0, m_pListenSocket->RestoreFromBuffer(pOut, nWanted));
    if (nHeld >= nWanted)
        return nHeld;

    DWORD nWaiting = 0;
    if (!m_pListenSocket->IOCtlBytesWaiting(nWaiting) || nWaiting == 0)
        return nHeld;

    BYTE datagram[kDatagramBufferSize] = {};
    std::string strSender;
    UINT nSenderPort = 0;
    int nReceived;
    try {
        // One byte of the buffer stays free, as a terminator for text protocols.
        nReceived = m_pListenSocket->ReceiveFrom(datagram, kDatagramBufferSize - 1, strSender, nSenderPort);
    } catch (tagReturnError e) {
        return CommErrorResult(e);
    }
    if (nReceived < 0)
        return nHeld;
    if (m_pConfig) {
        std::lock_guard<std::mutex> lock(RemoteAddressLock());
        m_pConfig->m_strRemoteAddress = strSender;
    }
    const int nCopied = std::min(nReceived, nWanted - nHeld);
    std::memcpy(pOut + nHeld, datagram, static_cast<size_t>(nCopied));
    if (nReceived > nCopied)
        m_pListenSocket->SaveToBuffer(datagram + nCopied, nReceived - nCopied);
    return nHeld + nCopied;
}

int CdsUdpCommFile::Send(const void* pData, UINT nCount)
{
    if (m_pListenSocket == nullptr || m_pConfig == nullptr)
        return static_cast<int>(nCount);
    std::string strAddress;
    {
        std::lock_guard<std::mutex> lock(RemoteAddressLock());
        strAddress = m_pConfig->m_strRemoteAddress;
    }
    const std::int32_t nPort = m_pConfig->m_nRemotePort;
    if (!CdsTcpipConfig::IsValidRemotePort(nPort))
        return CommErrorResult(RE_SOCKET_ERROR);
    try {
        if (m_pListenSocket->SendTo(pData, static_cast<int>(nCount), strAddress.c_str(), static_cast<UINT>(nPort)) ==
            -1) {
            const int wsa = m_pListenSocket->GetLastError();
            return wsa != 0 ? static_cast<int>(SocketErrorCode(wsa)) : CommErrorResult(RE_SOCKET_ERROR);
        }
    } catch (tagReturnError e) {
        return CommErrorResult(e);
    }
    return static_cast<int>(nCount);
}
