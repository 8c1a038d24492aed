#include "kestrun/comm/serial/SerialCommConfig.h"

#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(COXSerialCommConfig, CdsCommConfig, 1)

COXSerialCommConfig::COXSerialCommConfig() : CdsCommConfig(COMM_PORT_SERIAL) {}

COXSerialCommConfig& COXSerialCommConfig::operator=(const CdsCommConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

COXSerialCommConfig& COXSerialCommConfig::operator=(const COXSerialCommConfig& src)
{
    CdsCommConfig::operator=(src);
    return *this;
}

std::string COXSerialCommConfig::GetCommName() const
{
    return "COM" + std::to_string(static_cast<unsigned>(m_nPortId) + 1);
}

std::string COXSerialCommConfig::GetExtCommName() const
{
    return "\\\\.\\" + GetCommName();
}

void COXSerialCommConfig::SerializeTail(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << m_nBaudRate << m_nDataBits << m_nParity << m_nStopBits
           << static_cast<LONG>(m_eFlowControl) << m_nRxQueueSize << m_nTxQueueSize
           << m_nFirstTimeOut << m_nWriteTimeOut << m_nReadTimeOut;
    } else {
        DWORD baud = 0, rx = 0, tx = 0, first = 0, write = 0, read = 0;
        BYTE dataBits = 0, parity = 0, stopBits = 0;
        LONG flow = 0;
        ar >> baud >> dataBits >> parity >> stopBits >> flow >> rx >> tx >> first >> write >> read;
        m_nBaudRate = baud;
        m_nDataBits = dataBits;
        m_nParity = parity;
        m_nStopBits = stopBits;
        m_eFlowControl = static_cast<EFlowControl>(flow);
        m_nRxQueueSize = rx;
        m_nTxQueueSize = tx;
        m_nFirstTimeOut = first;
        m_nWriteTimeOut = write;
        m_nReadTimeOut = read;
    }
}

bool COXSerialCommConfig::HasTailOf(tagCommPortType portType) const
{
    return portType == COMM_PORT_SERIAL;
}

void COXSerialCommConfig::AssignTail(const CdsCommConfig& src)
{
    if (const auto* p = dynamic_cast<const COXSerialCommConfig*>(&src)) {
        m_nBaudRate = p->m_nBaudRate;
        m_nDataBits = p->m_nDataBits;
        m_nParity = p->m_nParity;
        m_nStopBits = p->m_nStopBits;
        m_eFlowControl = p->m_eFlowControl;
        m_nRxQueueSize = p->m_nRxQueueSize;
        m_nTxQueueSize = p->m_nTxQueueSize;
        m_nFirstTimeOut = p->m_nFirstTimeOut;
        m_nWriteTimeOut = p->m_nWriteTimeOut;
        m_nReadTimeOut = p->m_nReadTimeOut;
    }
}
