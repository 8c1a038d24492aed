#include "kestrun/comm/config/CommConfig.h"

#include "platform/afx/Archive.h"

#include <typeinfo>

IMPLEMENT_SERIAL(CdsCommConfig, CObject, 1)

CdsCommConfig::CdsCommConfig() = default;

void CdsCommConfig::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<LONG>(m_nPortType) << m_nPortId << static_cast<LONG>(m_nDeviceType);
        ar << m_strProtocol << m_strAddress << m_strPort << m_strSetting << m_strOptions
           << m_strDescription;
        SerializeTail(ar);
    } else {
        LONG portType = 0;
        ar >> portType;
        LoadAfterPortType(ar, static_cast<tagCommPortType>(portType));
    }
}

void CdsCommConfig::LoadAfterPortType(CArchive& ar, tagCommPortType portType)
{
    if (!HasTailOf(portType))
        throw CArchiveException(CArchiveException::badClass, ar.GetFileName());
    WORD portId = 0;
    LONG deviceType = 0;
    std::string protocol, address, port, setting, options, description;
    ar >> portId >> deviceType >> protocol >> address >> port >> setting >> options >> description;
    m_nPortType = portType;
    m_nPortId = portId;
    m_nDeviceType = deviceType;
    m_strProtocol = std::move(protocol);
    m_strAddress = std::move(address);
    m_strPort = std::move(port);
    m_strSetting = std::move(setting);
    m_strOptions = std::move(options);
    m_strDescription = std::move(description);
    SerializeTail(ar);
}

void CdsCommConfig::SerializeTail(CArchive&) {}

bool CdsCommConfig::HasTailOf(tagCommPortType portType) const
{
    // A plain configuration has no tail: it can only hold a record of no known kind.
    switch (portType) {
    case COMM_PORT_SERIAL:
    case COMM_PORT_TCPIP:
    case COMM_PORT_UDPIP:
    case COMM_PORT_EMUL:
    case COMM_PORT_ETHERNET:
    case COMM_PORT_ARCNET:
    case COMM_PORT_MSTP:
    case COMM_PORT_PTP:
    case COMM_PORT_LONTALK:
    case COMM_PORT_ZIGBEE:
    case COMM_PORT_IP6:
        return false;
    default:
        return true;
    }
}

void CdsCommConfig::AssignTail(const CdsCommConfig&) {}

void CdsCommConfig::AssignBase(const CdsCommConfig& src)
{
    if (typeid(*this) == typeid(src))
        m_nPortType = src.m_nPortType;
    m_nPortId = src.m_nPortId;
    m_nDeviceType = src.m_nDeviceType;
    m_strProtocol = src.m_strProtocol;
    m_strAddress = src.m_strAddress;
    m_strPort = src.m_strPort;
    m_strSetting = src.m_strSetting;
    m_strOptions = src.m_strOptions;
    m_strDescription = src.m_strDescription;
}

CdsCommConfig& CdsCommConfig::operator=(const CdsCommConfig& src)
{
    if (this != &src) {
        AssignBase(src);
        AssignTail(src);
    }
    return *this;
}

int CdsCommConfig::DoConfigDialog(const std::string&)
{
    return COMM_DLG_CANCEL;
}

bool CdsCommConfig::SetPortType(tagCommPortType portType)
{
    m_nPortType = portType;
    return true;
}

bool CdsCommConfig::SetPortId(WORD portId)
{
    m_nPortId = portId;
    return true;
}

DWORD CdsCommConfig::GetPortHandle() const
{
    if (m_nPortId == COMM_NO_PORT_ID)
        return COMM_NO_PORT_HANDLE;
    return (static_cast<DWORD>(m_nPortId) << 16) | (static_cast<DWORD>(m_nPortType) & 0xFFFF);
}

std::unique_ptr<CdsCommConfig> CdsCommConfig::LoadCommConfig(CArchive& ar)
{
    LONG portType = 0;
    ar >> portType;
    std::unique_ptr<CdsCommConfig> config = NewCommConfig(portType);
    if (!config)
        throw CArchiveException(CArchiveException::badClass, ar.GetFileName());
    config->LoadAfterPortType(ar, static_cast<tagCommPortType>(portType));
    return config;
}
