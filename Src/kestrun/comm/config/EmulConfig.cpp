#include "kestrun/comm/config/EmulConfig.h"

#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CdsEmulConfig, CdsCommConfig, 1)

CdsEmulConfig::CdsEmulConfig() : CdsCommConfig(COMM_PORT_EMUL) {}

CdsEmulConfig& CdsEmulConfig::operator=(const CdsCommConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

CdsEmulConfig& CdsEmulConfig::operator=(const CdsEmulConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

void CdsEmulConfig::SerializeTail(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<LONG>(m_nValue);
    } else {
        LONG value = 0;
        ar >> value;
        m_nValue = value;
    }
}

bool CdsEmulConfig::HasTailOf(tagCommPortType portType) const
{
    return portType == COMM_PORT_EMUL;
}

void CdsEmulConfig::AssignTail(const CdsCommConfig& src)
{
    if (const auto* p = dynamic_cast<const CdsEmulConfig*>(&src))
        m_nValue = p->m_nValue;
}
