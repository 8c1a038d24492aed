// Making a configuration of any kind by its port type: the one place that knows every
// kind, the transports' own included, so it sits above them.
#include "kestrun/comm/config/CommConfig.h"

#include "kestrun/comm/config/EmulConfig.h"
#include "kestrun/comm/config/LinkConfig.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "kestrun/comm/sockets/TcpipConfig.h"

std::unique_ptr<CdsCommConfig> CdsCommConfig::NewCommConfig(int portType)
{
    // Every kind that a document can hold, so that copying a device keeps every line.
    switch (portType) {
    case COMM_PORT_SERIAL:
        return std::make_unique<COXSerialCommConfig>();
    case COMM_PORT_TCPIP:
        return std::make_unique<CdsTcpipConfig>();
    case COMM_PORT_UDPIP:
        return std::make_unique<CdsUdpipConfig>();
    case COMM_PORT_EMUL:
        return std::make_unique<CdsEmulConfig>();
    case COMM_PORT_ETHERNET:
        return std::make_unique<CdsEthernetConfig>();
    case COMM_PORT_ARCNET:
        return std::make_unique<CdsARCnetConfig>();
    case COMM_PORT_MSTP:
        return std::make_unique<CdsMSTPConfig>();
    case COMM_PORT_PTP:
        return std::make_unique<CdsPTPConfig>();
    case COMM_PORT_LONTALK:
        return std::make_unique<CdsLonTalkConfig>();
    case COMM_PORT_ZIGBEE:
        return std::make_unique<CdsZigBeeConfig>();
    case COMM_PORT_IP6:
        return std::make_unique<CdsIP6Config>();
    default:
        return nullptr;
    }
}
