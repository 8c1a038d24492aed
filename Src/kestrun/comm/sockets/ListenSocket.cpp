#include "kestrun/comm/sockets/ListenSocket.h"

#include <algorithm>
#include <cstring>

CdsListenSocket::CdsListenSocket(CdsDeviceObject* pDevice, CdsSocketHdlr* pHdlr, int nLine, const win::Clock* pClock)
    : CdsTimeoutSocket(pClock), m_pHdlr(pHdlr), m_pDevice(pDevice), m_nLine(nLine)
{
}

CdsListenSocket::~CdsListenSocket() = default;

CdsListenSocket& CdsListenSocket::CopyPeerOf(const CdsListenSocket& src)
{
    if (this != &src) {
        m_strPeerAddress = src.m_strPeerAddress;
        m_nPeerPort = src.m_nPeerPort;
        m_nAccepted = src.m_nAccepted;
    }
    return *this;
}

BOOL CdsListenSocket::Create(UINT nPort, int nSocketType, const char* pszAddress)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (GetHandle() != kInvalidSocket)
        return TRUE;
    return CdsTimeoutSocket::Create(nPort, nSocketType, FD_ALL_EVENTS, pszAddress);
}

BOOL CdsListenSocket::Connect(const char* pszAddress, UINT nPort, UINT nTimeoutMs)
{
    return ConnectWithTimeout(pszAddress, nPort, nTimeoutMs);
}

BOOL CdsListenSocket::IsValidPeerInfo() const { return m_nPeerPort != 0 && !m_strPeerAddress.empty(); }

BOOL CdsListenSocket::GetPeerInfo(std::string& strAddress, UINT& nPort) const
{
    if (!IsValidPeerInfo())
        return FALSE;
    strAddress = m_strPeerAddress;
    nPort = m_nPeerPort;
    return TRUE;
}

void CdsListenSocket::SetPeerInfo(const std::string& strAddress, UINT nPort)
{
    m_strPeerAddress = strAddress;
    m_nPeerPort = nPort;
}

int CdsListenSocket::SaveToBuffer(const BYTE* pData, int nLength)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!HasLine())
        return 0;
    int& held = m_nHeld;
    if (pData == nullptr || nLength <= 0)
        return held;
    nLength = std::min(nLength, kHoldoverSize);
    if (held + nLength > kHoldoverSize)
        held = 0;
    if (!m_pHoldover)
        m_pHoldover = std::make_unique_for_overwrite<std::array<BYTE, kHoldoverSize + 1>>();
    std::memcpy(m_pHoldover->data() + held, pData, static_cast<size_t>(nLength));
    held += nLength;
    return held;
}

int CdsListenSocket::RestoreFromBuffer(BYTE* pBuffer, int nMax)
{
    if (pBuffer == nullptr)
        return -1;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!HasLine())
        return 0;
    int& held = m_nHeld;
    const int n = std::min(nMax, held);
    if (n <= 0)
        return 0;
    BYTE* pHeld = m_pHoldover->data();
    std::memcpy(pBuffer, pHeld, static_cast<size_t>(n));
    held -= n;
    std::memmove(pHeld, pHeld + n, static_cast<size_t>(held));
    return n;
}

int CdsListenSocket::GetReadBytesSize() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return HasLine() ? m_nHeld : 0;
}
