// Notifications of a line's socket: accept, receive and peer close. They run on
// the thread that holds the socket, inside the handler's delivery.
#include "kestrun/comm/sockets/ListenSocket.h"
#include "kestrun/comm/handler/SocketHdlr.h"

BOOL CdsListenSocket::IsListenMode() const { return m_pHdlr ? m_pHdlr->IsListenMode() : FALSE; }
BOOL CdsListenSocket::IsPortUDP() const { return m_pHdlr ? m_pHdlr->IsPortUDP() : FALSE; }

void CdsListenSocket::OnAccept(int nErrorCode)
{
    if (!IsListenMode())
        return;
    m_pHdlr->HandleAccept(this);
    CdsTimeoutSocket::OnAccept(nErrorCode);
}

void CdsListenSocket::OnClose(int nErrorCode)
{
    if (m_pHdlr)
        m_pHdlr->HandleClose(this);
    m_strPeerAddress.clear();
    m_nPeerPort = 0;
    m_nAccepted = 0;
    CdsTimeoutSocket::OnClose(nErrorCode);
    if (m_pHdlr) {
        m_pHdlr->OnPostClose(this);
        // The reset closes this socket: it runs once the delivery is over.
        if (m_pHdlr->IsInService())
            m_pHdlr->RequestReset(m_pDevice, m_pHdlr->GetThreadInfo(this));
    }
}

void CdsListenSocket::OnReceive(int nErrorCode)
{
    if (!IsListenMode() || !m_pHdlr)
        return;
    m_pHdlr->HandleReceive(this);
    CdsTimeoutSocket::OnReceive(nErrorCode);
    tagTHREADINFO* pLine = m_pHdlr->GetThreadInfo(this);
    m_pHdlr->OnPostReceive(pLine ? m_pHdlr->GetThreadSocket(pLine) : nullptr);
}
