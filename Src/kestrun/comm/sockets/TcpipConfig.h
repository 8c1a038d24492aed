#pragma once
// Socket line configurations: TCP/IP, and UDP/IP and IPv6, which carry the same tail.
#include "kestrun/comm/config/CommConfig.h"

class CdsTcpipConfig : public CdsCommConfig {
    DECLARE_SERIAL(CdsTcpipConfig)
public:
    CdsTcpipConfig();
    CdsTcpipConfig(const CdsTcpipConfig& src) = default;

    CdsTcpipConfig& operator=(const CdsCommConfig& src) override;
    CdsTcpipConfig& operator=(const CdsTcpipConfig& src);
    // Edits a copy in the "Set TCP/IP" dialog and takes it back on OK.
    int DoConfigDialog(const std::string& title) override;

    bool IsTcpSocket() const { return m_nPortType == COMM_PORT_TCPIP; }
    // Ports up to 1024 are reserved: such a port id binds local port 0.
    static bool IsPortReserved(WORD port) { return port <= 1024; }
    // The local port to bind: the port id, or 0 when it is reserved.
    WORD GetLocalBindPort() const { return IsPortReserved(m_nPortId) ? 0 : m_nPortId; }

    // A socket can only reach ports 1..65535. The stored value is kept whatever it is;
    // opening a line with an invalid one fails with RemotePortError() in the log.
    static bool IsValidRemotePort(std::int32_t port) { return port >= 1 && port <= 65535; }
    bool HasValidRemotePort() const { return IsValidRemotePort(m_nRemotePort); }
    std::string RemotePortError() const;

    std::string m_strLocalAddress;
    std::string m_strRemoteAddress;
    std::int32_t m_nRemotePort = -1;
    std::int32_t m_nTimeOut = 10000; // ms
    std::int32_t m_nSocketType = 1;  // 1 stream, 2 datagram

protected:
    CdsTcpipConfig(tagCommPortType portType, std::int32_t socketType);

    // local address, remote address, remote port, socket type, time-out
    void SerializeTail(CArchive& ar) override;
    bool HasTailOf(tagCommPortType portType) const override;
    void AssignTail(const CdsCommConfig& src) override;

private:
    // Takes the lock UDP lines take to write their sender.
    void StoreRemoteAddress(std::string strAddress);
};

// Stored data only: no dialog.
class CdsUdpipConfig : public CdsTcpipConfig {
    DECLARE_SERIAL(CdsUdpipConfig)
public:
    CdsUdpipConfig();
    CdsUdpipConfig(const CdsUdpipConfig& src) = default;
    CdsUdpipConfig& operator=(const CdsCommConfig& src) override;
    CdsUdpipConfig& operator=(const CdsUdpipConfig& src);
    int DoConfigDialog(const std::string& title) override;
};

// Stored data only: no dialog.
class CdsIP6Config : public CdsTcpipConfig {
    DECLARE_SERIAL(CdsIP6Config)
public:
    CdsIP6Config();
    CdsIP6Config(const CdsIP6Config& src) = default;
    CdsIP6Config& operator=(const CdsCommConfig& src) override;
    CdsIP6Config& operator=(const CdsIP6Config& src);
    int DoConfigDialog(const std::string& title) override;
};
