#pragma once
// Configurations of the other network kinds. They exist as stored data only: no
// handler serves them and none has a dialog.
#include "kestrun/comm/config/CommConfig.h"

// The tail the network kinds share: local address, remote address, remote port and
// time-out.
class CdsLinkConfig : public CdsCommConfig {
    DECLARE_DYNAMIC(CdsLinkConfig)
public:
    CdsLinkConfig(const CdsLinkConfig& src) = default;

    std::string m_strLocalAddress;
    std::string m_strRemoteAddress;
    std::int32_t m_nRemotePort = -1;
    std::int32_t m_nTimeOut = 10000; // ms

protected:
    explicit CdsLinkConfig(tagCommPortType portType) : CdsCommConfig(portType) {}

    // local address, remote address, remote port, time-out
    void SerializeTail(CArchive& ar) override;
    bool HasTailOf(tagCommPortType portType) const override;
    void AssignTail(const CdsCommConfig& src) override;
};

#define DS_DECLARE_LINK_CONFIG(class_name)                                                 \
    class class_name : public CdsLinkConfig {                                              \
        DECLARE_SERIAL(class_name)                                                         \
    public:                                                                                \
        class_name();                                                                      \
        class_name(const class_name& src) = default;                                       \
        class_name& operator=(const CdsCommConfig& src) override;                          \
        class_name& operator=(const class_name& src);                                      \
    };

DS_DECLARE_LINK_CONFIG(CdsEthernetConfig)
DS_DECLARE_LINK_CONFIG(CdsARCnetConfig)
DS_DECLARE_LINK_CONFIG(CdsMSTPConfig)
DS_DECLARE_LINK_CONFIG(CdsPTPConfig)
DS_DECLARE_LINK_CONFIG(CdsLonTalkConfig)
DS_DECLARE_LINK_CONFIG(CdsZigBeeConfig)

#undef DS_DECLARE_LINK_CONFIG
