// Notifications of a line's socket: accept, receive and peer close.
#include "kestrun/comm/ListenSocket.h"

BOOL CdsListenSocket::IsListenMode() const { return FALSE; }
BOOL CdsListenSocket::IsPortUDP() const { return FALSE; }

void CdsListenSocket::OnAccept(int) {}

void CdsListenSocket::OnClose(int nErrorCode)
{
    m_strPeerAddress.clear();
    m_nPeerPort = 0;
    m_nAccepted = 0;
    CdsTimeoutSocket::OnClose(nErrorCode);
}

void CdsListenSocket::OnReceive(int) {}
