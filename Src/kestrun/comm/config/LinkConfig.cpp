#include "kestrun/comm/config/LinkConfig.h"

#include "platform/afx/Archive.h"

IMPLEMENT_DYNAMIC(CdsLinkConfig, CdsCommConfig)

void CdsLinkConfig::SerializeTail(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << m_strLocalAddress << m_strRemoteAddress << static_cast<LONG>(m_nRemotePort)
           << static_cast<LONG>(m_nTimeOut);
    } else {
        std::string local, remote;
        LONG remotePort = 0, timeOut = 0;
        ar >> local >> remote >> remotePort >> timeOut;
        m_strLocalAddress = std::move(local);
        m_strRemoteAddress = std::move(remote);
        m_nRemotePort = remotePort;
        m_nTimeOut = timeOut;
    }
}

bool CdsLinkConfig::HasTailOf(tagCommPortType portType) const
{
    return portType >= COMM_PORT_ETHERNET && portType <= COMM_PORT_ZIGBEE;
}

void CdsLinkConfig::AssignTail(const CdsCommConfig& src)
{
    if (const auto* p = dynamic_cast<const CdsLinkConfig*>(&src)) {
        m_strLocalAddress = p->m_strLocalAddress;
        m_strRemoteAddress = p->m_strRemoteAddress;
        m_nRemotePort = p->m_nRemotePort;
        m_nTimeOut = p->m_nTimeOut;
    }
}

#define DS_IMPLEMENT_LINK_CONFIG(class_name, port_type)                                    \
    IMPLEMENT_SERIAL(class_name, CdsLinkConfig, 1)                                         \
    class_name::class_name() : CdsLinkConfig(port_type) {}                                 \
    class_name& class_name::operator=(const CdsCommConfig& src)                            \
    {                                                                                      \
        CdsCommConfig::operator=(src);                                                     \
        return *this;                                                                      \
    }                                                                                      \
    class_name& class_name::operator=(const class_name& src)                               \
    {                                                                                      \
        CdsCommConfig::operator=(src);                                                     \
        return *this;                                                                      \
    }

DS_IMPLEMENT_LINK_CONFIG(CdsEthernetConfig, COMM_PORT_ETHERNET)
DS_IMPLEMENT_LINK_CONFIG(CdsARCnetConfig, COMM_PORT_ARCNET)
DS_IMPLEMENT_LINK_CONFIG(CdsMSTPConfig, COMM_PORT_MSTP)
DS_IMPLEMENT_LINK_CONFIG(CdsPTPConfig, COMM_PORT_PTP)
DS_IMPLEMENT_LINK_CONFIG(CdsLonTalkConfig, COMM_PORT_LONTALK)
DS_IMPLEMENT_LINK_CONFIG(CdsZigBeeConfig, COMM_PORT_ZIGBEE)
