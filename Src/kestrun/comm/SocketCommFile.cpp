#include "kestrun/comm/SocketCommFile.h"

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
    if (m_pSocket == nullptr)
        return;
    int nResult;
    {
        ArmedSocket armed(*m_pSocket, m_nDefaultTimeOut);
        try {
            nResult = m_pSocket->Send(pData, static_cast<int>(nCount));
        } catch (tagReturnError e) {
            throw CFileException(CFileException::genericException, static_cast<LONG>(e));
        }
    }
    if (nResult == -1)
        throw CFileException(CFileException::genericException, 0);
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
