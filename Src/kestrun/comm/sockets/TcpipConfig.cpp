#include "kestrun/comm/sockets/TcpipConfig.h"

#include "kestrun/comm/sockets/TcpSetupDlg.h"
#include "kestrun/comm/sockets/UdpCommFile.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CdsTcpipConfig, CdsCommConfig, 1)
IMPLEMENT_SERIAL(CdsUdpipConfig, CdsTcpipConfig, 1)
IMPLEMENT_SERIAL(CdsIP6Config, CdsTcpipConfig, 1)

CdsTcpipConfig::CdsTcpipConfig() : CdsTcpipConfig(COMM_PORT_TCPIP, 1) {}

CdsTcpipConfig::CdsTcpipConfig(tagCommPortType portType, std::int32_t socketType)
    : CdsCommConfig(portType), m_nSocketType(socketType)
{
}

CdsTcpipConfig& CdsTcpipConfig::operator=(const CdsCommConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

CdsTcpipConfig& CdsTcpipConfig::operator=(const CdsTcpipConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

void CdsTcpipConfig::SerializeTail(CArchive& ar)
{
    // The socket type is stored before the time-out.
    if (ar.IsStoring()) {
        // A UDP line may be writing its last sender here meanwhile.
        ar << m_strLocalAddress << CdsUdpCommFile::GetRemoteAddress(*this) << static_cast<LONG>(m_nRemotePort)
           << static_cast<LONG>(m_nSocketType) << static_cast<LONG>(m_nTimeOut);
    } else {
        std::string local, remote;
        LONG remotePort = 0, socketType = 0, timeOut = 0;
        ar >> local >> remote >> remotePort >> socketType >> timeOut;
        m_strLocalAddress = std::move(local);
        StoreRemoteAddress(std::move(remote));
        m_nRemotePort = remotePort;
        m_nSocketType = socketType;
        m_nTimeOut = timeOut;
    }
}

void CdsTcpipConfig::StoreRemoteAddress(std::string strAddress)
{
    std::lock_guard lock(CdsUdpCommFile::RemoteAddressLock());
    m_strRemoteAddress.swap(strAddress);
}

bool CdsTcpipConfig::HasTailOf(tagCommPortType portType) const
{
    return portType == COMM_PORT_TCPIP || portType == COMM_PORT_UDPIP || portType == COMM_PORT_IP6;
}

void CdsTcpipConfig::AssignTail(const CdsCommConfig& src)
{
    if (const auto* p = dynamic_cast<const CdsTcpipConfig*>(&src)) {
        m_strLocalAddress = p->m_strLocalAddress;
        StoreRemoteAddress(CdsUdpCommFile::GetRemoteAddress(*p));
        m_nRemotePort = p->m_nRemotePort;
        m_nSocketType = p->m_nSocketType;
        m_nTimeOut = p->m_nTimeOut;
    }
}

int CdsTcpipConfig::DoConfigDialog(const std::string& title)
{
    CdsTcpSetupDlg dlg(*this, title);
    const int result = dlg.DoModal();
    if (result == COMM_DLG_OK)
        *this = dlg.GetConfig();
    return result;
}

std::string CdsTcpipConfig::RemotePortError() const
{
    return "Invalid remote port " + std::to_string(m_nRemotePort) + " (1 to 65535)";
}

CdsUdpipConfig::CdsUdpipConfig() : CdsTcpipConfig(COMM_PORT_UDPIP, 2) {}

CdsUdpipConfig& CdsUdpipConfig::operator=(const CdsCommConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

CdsUdpipConfig& CdsUdpipConfig::operator=(const CdsUdpipConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

int CdsUdpipConfig::DoConfigDialog(const std::string&)
{
    return COMM_DLG_CANCEL;
}

CdsIP6Config::CdsIP6Config() : CdsTcpipConfig(COMM_PORT_IP6, 1) {}

CdsIP6Config& CdsIP6Config::operator=(const CdsCommConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

CdsIP6Config& CdsIP6Config::operator=(const CdsIP6Config& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

int CdsIP6Config::DoConfigDialog(const std::string&)
{
    return COMM_DLG_CANCEL;
}
