#include "kestrun/comm/sockets/SocketCommFile.h"

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/sockets/SocketError.h"
#include "platform/afx/Exceptions.h"

namespace {

// Disarms the socket on every way out of a read or write.
class ArmedSocket {
public:
    ArmedSocket(CdsTimeoutSocket& socket, UINT nMs) : m_socket(socket) { m_socket.StartTimeOut(nMs); }
    ~ArmedSocket() { m_socket.StopTimeOut(); }
    ArmedSocket(const ArmedSocket&) = delete;
    ArmedSocket& operator=(const ArmedSocket&) = delete;

private:
    CdsTimeoutSocket& m_socket;
};

} // namespace

COXSocketCommFile::COXSocketCommFile(CdsTimeoutSocket* pSocket, BOOL bArchiveCompatible)
    : m_pSocket(pSocket), m_bArchiveCompatible(bArchiveCompatible)
{
}

BOOL COXSocketCommFile::SetDefaultTimeOut(UINT nReadMs, UINT)
{
    m_nDefaultTimeOut = nReadMs;
    return TRUE;
}

int COXSocketCommFile::Read(void* pBuffer, UINT nCount)
{
    if (m_pSocket == nullptr)
        return 0;
    ArmedSocket armed(*m_pSocket, m_nDefaultTimeOut);
    try {
        return m_pSocket->Receive(pBuffer, static_cast<int>(nCount));
    } catch (tagReturnError e) {
        return CommErrorResult(e);
    }
}

void COXSocketCommFile::Write(const void* pData, UINT nCount)
{
    const int nResult = Send(pData, nCount);
    if (nResult < 0)
        throw CFileException(CFileException::genericException,
                             nResult == CommErrorResult(RE_SOCKET_TIMEOUT) ? static_cast<LONG>(RE_SOCKET_TIMEOUT) : 0);
}

int COXSocketCommFile::Send(const void* pData, UINT nCount)
{
    if (m_pSocket == nullptr)
        return static_cast<int>(nCount);
    ArmedSocket armed(*m_pSocket, m_nDefaultTimeOut);
    try {
        if (m_pSocket->Send(pData, static_cast<int>(nCount)) == -1) {
            const int wsa = m_pSocket->GetLastError();
            return wsa != 0 ? static_cast<int>(SocketErrorCode(wsa)) : CommErrorResult(RE_SOCKET_ERROR);
        }
    } catch (tagReturnError e) {
        return CommErrorResult(e);
    }
    return static_cast<int>(nCount);
}

std::string COXSocketCommFile::DescribeFailure(int nStatus) const
{
    if (nStatus == CommErrorResult(RE_SOCKET_TIMEOUT))
        return "timed out";
    if (nStatus >= 0)
        return {};
    // Only a socket error code comes from the socket's last call; other statuses say it all.
    const bool fromSocket = (static_cast<DWORD>(nStatus) & ~static_cast<DWORD>(RE_ERROR_FLAG)) >= 10000u;
    if (const int err = fromSocket && m_pSocket ? m_pSocket->GetLastErrno() : 0; err != 0) {
        if (const char* text = SocketErrnoText(err))
            return text;
        return "error " + std::to_string(err);
    }
    const char* text = GetCommErrorText(static_cast<DWORD>(nStatus));
    return text ? text : "";
}

void COXSocketCommFile::Close()
{
    if (m_pSocket)
        m_pSocket->Close();
}

BOOL COXSocketCommFile::IsOpen() const
{
    return m_pSocket != nullptr && m_pSocket->GetHandle() != CdsTimeoutSocket::kInvalidSocket;
}

void COXSocketCommFile::CreateTimer()
{
    if (m_bTimer && m_nDefaultTimeOut != 0)
        m_nTimerId = static_cast<UINT>(StartTimer(this, m_nDefaultTimeOut));
}

void COXSocketCommFile::DestroyTimer()
{
    if (m_bTimer) {
        StopTimer(this);
        m_nTimerId = 0;
    }
}

int COXSocketCommFile::StartTimer(COXSocketCommFile* pFile, UINT nMs)
{
    if (pFile && pFile->m_pSocket)
        pFile->m_pSocket->StartTimeOut(nMs);
    return 0;
}

void COXSocketCommFile::StopTimer(COXSocketCommFile* pFile)
{
    if (pFile && pFile->m_pSocket)
        pFile->m_pSocket->StopTimeOut();
}
