#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/comm/config/EmulConfig.h"
#include "kestrun/comm/config/LinkConfig.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "kestrun/comm/sockets/TcpipConfig.h"

#include "kestrun/comm/ConfigArchive.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using commtest::Load;
using commtest::LoadNew;
using commtest::Store;

// Base strings shared by the golden records of the network kinds below.
void FillNetworkBase(CdsCommConfig& c, WORD portId, std::int32_t deviceType)
{
    c.SetPortId(portId);
    c.m_nDeviceType = deviceType;
}

// TCP/IP record: port id 5001, device type 7, six strings, then local address,
// remote address, remote port 5000, socket type 2, time-out 3000.
const std::vector<BYTE> kTcpRecord = {
    0x02, 0x00, 0x00, 0x00, 0x89, 0x13, 0x07, 0x00, 0x00, 0x00, 0x04, 0x4D,
    0x43, 0x33, 0x45, 0x08, 0x31, 0x30, 0x2E, 0x31, 0x2E, 0x32, 0x2E, 0x33,
    0x14, 0x54, 0x43, 0x50, 0x35, 0x30, 0x30, 0x31, 0x20, 0x31, 0x39, 0x32,
    0x2E, 0x31, 0x36, 0x38, 0x2E, 0x30, 0x2E, 0x31, 0x30, 0x13, 0x31, 0x39,
    0x32, 0x2E, 0x31, 0x36, 0x38, 0x2E, 0x30, 0x2E, 0x32, 0x30, 0x20, 0x26,
    0x48, 0x31, 0x33, 0x38, 0x38, 0x05, 0x41, 0x53, 0x43, 0x49, 0x49, 0x06,
    0x4C, 0x69, 0x6E, 0x65, 0x20, 0x41, 0x0C, 0x31, 0x39, 0x32, 0x2E, 0x31,
    0x36, 0x38, 0x2E, 0x30, 0x2E, 0x31, 0x30, 0x0C, 0x31, 0x39, 0x32, 0x2E,
    0x31, 0x36, 0x38, 0x2E, 0x30, 0x2E, 0x32, 0x30, 0x88, 0x13, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0xB8, 0x0B, 0x00, 0x00,
};

void FillTcp(CdsTcpipConfig& c)
{
    FillNetworkBase(c, 5001, 7);
    c.m_strProtocol = "MC3E";
    c.m_strAddress = "10.1.2.3";
    c.m_strPort = "TCP5001 192.168.0.10";
    c.m_strSetting = "192.168.0.20 &H1388";
    c.m_strOptions = "ASCII";
    c.m_strDescription = "Line A";
    c.m_strLocalAddress = "192.168.0.10";
    c.m_strRemoteAddress = "192.168.0.20";
    c.m_nRemotePort = 5000;
    c.m_nSocketType = 2;
    c.m_nTimeOut = 3000;
}

void ExpectTcpFields(const CdsTcpipConfig& c)
{
    EXPECT_EQ(c.GetPortId(), 5001);
    EXPECT_EQ(c.m_nDeviceType, 7);
    EXPECT_EQ(c.m_strProtocol, "MC3E");
    EXPECT_EQ(c.m_strAddress, "10.1.2.3");
    EXPECT_EQ(c.m_strPort, "TCP5001 192.168.0.10");
    EXPECT_EQ(c.m_strSetting, "192.168.0.20 &H1388");
    EXPECT_EQ(c.m_strOptions, "ASCII");
    EXPECT_EQ(c.m_strDescription, "Line A");
    EXPECT_EQ(c.m_strLocalAddress, "192.168.0.10");
    EXPECT_EQ(c.m_strRemoteAddress, "192.168.0.20");
    EXPECT_EQ(c.m_nRemotePort, 5000);
    EXPECT_EQ(c.m_nSocketType, 2);
    EXPECT_EQ(c.m_nTimeOut, 3000);
}

// Network kinds without the socket type: port id 12, device type 3.
const std::vector<BYTE> kLinkRecord = {
    0x06, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0x42,
    0x41, 0x43, 0x6E, 0x65, 0x74, 0x00, 0x0E, 0x45, 0x54, 0x48, 0x31, 0x32,
    0x20, 0x31, 0x30, 0x2E, 0x30, 0x2E, 0x30, 0x2E, 0x31, 0x0E, 0x31, 0x30,
    0x2E, 0x30, 0x2E, 0x30, 0x2E, 0x32, 0x20, 0x34, 0x37, 0x38, 0x30, 0x38,
    0x00, 0x00, 0x08, 0x31, 0x30, 0x2E, 0x30, 0x2E, 0x30, 0x2E, 0x31, 0x08,
    0x31, 0x30, 0x2E, 0x30, 0x2E, 0x30, 0x2E, 0x32, 0xC0, 0xBA, 0x00, 0x00,
    0xC4, 0x09, 0x00, 0x00,
};

void FillLink(CdsLinkConfig& c)
{
    FillNetworkBase(c, 12, 3);
    c.m_strProtocol = "BACnet";
    c.m_strPort = "ETH12 10.0.0.1";
    c.m_strSetting = "10.0.0.2 47808";
    c.m_strLocalAddress = "10.0.0.1";
    c.m_strRemoteAddress = "10.0.0.2";
    c.m_nRemotePort = 47808;
    c.m_nTimeOut = 2500;
}

void ExpectLinkFields(const CdsLinkConfig& c)
{
    EXPECT_EQ(c.GetPortId(), 12);
    EXPECT_EQ(c.m_nDeviceType, 3);
    EXPECT_EQ(c.m_strProtocol, "BACnet");
    EXPECT_EQ(c.m_strAddress, "");
    EXPECT_EQ(c.m_strPort, "ETH12 10.0.0.1");
    EXPECT_EQ(c.m_strSetting, "10.0.0.2 47808");
    EXPECT_EQ(c.m_strOptions, "");
    EXPECT_EQ(c.m_strDescription, "");
    EXPECT_EQ(c.m_strLocalAddress, "10.0.0.1");
    EXPECT_EQ(c.m_strRemoteAddress, "10.0.0.2");
    EXPECT_EQ(c.m_nRemotePort, 47808);
    EXPECT_EQ(c.m_nTimeOut, 2500);
}

// Emulation: port id 1, port "EMUL1", description "sim", value 250.
const std::vector<BYTE> kEmulRecord = {
    0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
    0x05, 0x45, 0x4D, 0x55, 0x4C, 0x31, 0x00, 0x00, 0x03, 0x73, 0x69, 0x6D,
    0xFA, 0x00, 0x00, 0x00,
};

// Serial: COM1 (port id 0), device type 2, 9600 baud, 8 data bits, even parity,
// one stop bit, hardware flow control, queues 1024/512, time-outs 1500/4000/3000.
const std::vector<BYTE> kSerialRecord = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x52,
    0x54, 0x55, 0x01, 0x31, 0x04, 0x43, 0x4F, 0x4D, 0x31, 0x0A, 0x39, 0x36,
    0x30, 0x30, 0x20, 0x45, 0x20, 0x38, 0x20, 0x31, 0x00, 0x00, 0x80, 0x25,
    0x00, 0x00, 0x08, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00,
    0x00, 0x00, 0x02, 0x00, 0x00, 0xDC, 0x05, 0x00, 0x00, 0xA0, 0x0F, 0x00,
    0x00, 0xB8, 0x0B, 0x00, 0x00,
};

void FillSerial(COXSerialCommConfig& c)
{
    c.SetPortId(0);
    c.m_nDeviceType = 2;
    c.m_strProtocol = "RTU";
    c.m_strAddress = "1";
    c.m_strPort = "COM1";
    c.m_strSetting = "9600 E 8 1";
    c.m_nBaudRate = 9600;
    c.m_nDataBits = 8;
    c.m_nParity = 2;
    c.m_nStopBits = 0;
    c.m_eFlowControl = COXSerialCommConfig::HARDWARE;
    c.m_nRxQueueSize = 1024;
    c.m_nTxQueueSize = 512;
    c.m_nFirstTimeOut = 1500;
    c.m_nWriteTimeOut = 4000;
    c.m_nReadTimeOut = 3000;
}

void ExpectSerialFields(const COXSerialCommConfig& c)
{
    EXPECT_EQ(c.GetPortId(), 0);
    EXPECT_EQ(c.m_nDeviceType, 2);
    EXPECT_EQ(c.m_strProtocol, "RTU");
    EXPECT_EQ(c.m_strAddress, "1");
    EXPECT_EQ(c.m_strPort, "COM1");
    EXPECT_EQ(c.m_strSetting, "9600 E 8 1");
    EXPECT_EQ(c.m_nBaudRate, 9600u);
    EXPECT_EQ(c.m_nDataBits, 8);
    EXPECT_EQ(c.m_nParity, 2);
    EXPECT_EQ(c.m_nStopBits, 0);
    EXPECT_EQ(c.m_eFlowControl, COXSerialCommConfig::HARDWARE);
    EXPECT_EQ(c.m_nRxQueueSize, 1024u);
    EXPECT_EQ(c.m_nTxQueueSize, 512u);
    EXPECT_EQ(c.m_nFirstTimeOut, 1500u);
    EXPECT_EQ(c.m_nWriteTimeOut, 4000u);
    EXPECT_EQ(c.m_nReadTimeOut, 3000u);
}

std::vector<BYTE> WithPortType(std::vector<BYTE> record, int portType)
{
    record[0] = static_cast<BYTE>(portType);
    return record;
}

// ---- golden records per kind ----

struct SocketKind {
    int portType;
    const char* className;
};

class SocketKindRecordTest : public ::testing::TestWithParam<SocketKind> {};

TEST_P(SocketKindRecordTest, StoresGoldenBytesAndLoadsEveryField)
{
    const auto golden = WithPortType(kTcpRecord, GetParam().portType);
    auto config = CdsCommConfig::NewCommConfig(GetParam().portType);
    ASSERT_NE(config, nullptr);
    EXPECT_STREQ(config->GetRuntimeClass()->m_lpszClassName, GetParam().className);
    auto* tcp = dynamic_cast<CdsTcpipConfig*>(config.get());
    ASSERT_NE(tcp, nullptr);
    FillTcp(*tcp);
    EXPECT_EQ(Store(*config), golden);

    auto loaded = CdsCommConfig::NewCommConfig(GetParam().portType);
    Load(*loaded, golden);
    EXPECT_EQ(loaded->GetPortType(), GetParam().portType);
    ExpectTcpFields(dynamic_cast<CdsTcpipConfig&>(*loaded));
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, SocketKindRecordTest,
    ::testing::Values(SocketKind{2, "CdsTcpipConfig"}, SocketKind{3, "CdsUdpipConfig"},
                      SocketKind{12, "CdsIP6Config"}));

class LinkKindRecordTest : public ::testing::TestWithParam<SocketKind> {};

TEST_P(LinkKindRecordTest, StoresGoldenBytesAndLoadsEveryField)
{
    const auto golden = WithPortType(kLinkRecord, GetParam().portType);
    auto config = CdsCommConfig::NewCommConfig(GetParam().portType);
    ASSERT_NE(config, nullptr);
    EXPECT_STREQ(config->GetRuntimeClass()->m_lpszClassName, GetParam().className);
    auto* link = dynamic_cast<CdsLinkConfig*>(config.get());
    ASSERT_NE(link, nullptr);
    FillLink(*link);
    EXPECT_EQ(Store(*config), golden);

    auto loaded = CdsCommConfig::NewCommConfig(GetParam().portType);
    Load(*loaded, golden);
    EXPECT_EQ(loaded->GetPortType(), GetParam().portType);
    ExpectLinkFields(dynamic_cast<CdsLinkConfig&>(*loaded));
}

INSTANTIATE_TEST_SUITE_P(LinkKinds, LinkKindRecordTest,
    ::testing::Values(SocketKind{6, "CdsEthernetConfig"}, SocketKind{7, "CdsARCnetConfig"},
                      SocketKind{8, "CdsMSTPConfig"}, SocketKind{9, "CdsPTPConfig"},
                      SocketKind{10, "CdsLonTalkConfig"}, SocketKind{11, "CdsZigBeeConfig"}));

TEST(CdsEmulConfigRecord, StoresGoldenBytesAndLoadsEveryField)
{
    CdsEmulConfig config;
    config.SetPortId(1);
    config.m_strPort = "EMUL1";
    config.m_strDescription = "sim";
    config.m_nValue = 250;
    EXPECT_EQ(Store(config), kEmulRecord);

    CdsEmulConfig loaded;
    Load(loaded, kEmulRecord);
    EXPECT_EQ(loaded.GetPortType(), COMM_PORT_EMUL);
    EXPECT_EQ(loaded.GetPortId(), 1);
    EXPECT_EQ(loaded.m_nDeviceType, -1);
    EXPECT_EQ(loaded.m_strPort, "EMUL1");
    EXPECT_EQ(loaded.m_strDescription, "sim");
    EXPECT_EQ(loaded.m_nValue, 250);
}

TEST(COXSerialCommConfigRecord, StoresGoldenBytesAndLoadsEveryField)
{
    COXSerialCommConfig config;
    FillSerial(config);
    EXPECT_EQ(Store(config), kSerialRecord);

    COXSerialCommConfig loaded;
    Load(loaded, kSerialRecord);
    EXPECT_EQ(loaded.GetPortType(), COMM_PORT_SERIAL);
    ExpectSerialFields(loaded);
}

TEST(COXSerialCommConfigRecord, DefaultsWriteThirtyOneBytesAfterTheBase)
{
    COXSerialCommConfig config;
    const auto bytes = Store(config);
    // Base: type, port id 0xFFFF, device type -1, six empty strings = 16 bytes.
    ASSERT_EQ(bytes.size(), 16u + 31u);
    const std::vector<BYTE> tail(bytes.begin() + 16, bytes.end());
    EXPECT_EQ(tail, (std::vector<BYTE>{
                        0x00, 0x4B, 0x00, 0x00, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0xD0, 0x07, 0x00,
                        0x00, 0x88, 0x13, 0x00, 0x00, 0x88, 0x13, 0x00, 0x00}));
}

TEST(CdsTcpipConfigRecord, DefaultsGiveGoldenBytes)
{
    CdsTcpipConfig config;
    EXPECT_EQ(Store(config), (std::vector<BYTE>{
                                 0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // six empty strings
                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, // addresses, port -1
                                 0x01, 0x00, 0x00, 0x00,             // socket type 1
                                 0x10, 0x27, 0x00, 0x00}));          // time-out 10000
}

TEST(CdsCommConfigRecord, PlainConfigurationHasNoTail)
{
    CdsCommConfig config;
    config.m_strOptions = "x";
    EXPECT_EQ(Store(config), (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x01, 'x',
                                                0x00}));
}

// ---- loading whatever kind the record holds ----

struct RecordCase {
    const char* name;
    std::vector<BYTE> record;
    const char* className;
};

TEST(LoadCommConfig, CreatesTheStoredKind)
{
    const std::vector<RecordCase> cases = {
        {"serial", kSerialRecord, "COXSerialCommConfig"},
        {"tcp", kTcpRecord, "CdsTcpipConfig"},
        {"udp", WithPortType(kTcpRecord, 3), "CdsUdpipConfig"},
        {"emul", kEmulRecord, "CdsEmulConfig"},
        {"arcnet", WithPortType(kLinkRecord, 7), "CdsARCnetConfig"},
        {"ip6", WithPortType(kTcpRecord, 12), "CdsIP6Config"},
    };
    for (const auto& c : cases) {
        auto config = LoadNew(c.record);
        ASSERT_NE(config, nullptr) << c.name;
        EXPECT_STREQ(config->GetRuntimeClass()->m_lpszClassName, c.className) << c.name;
        EXPECT_EQ(Store(*config), c.record) << c.name;
    }
}

TEST(LoadCommConfig, PortTypeOfNoKindFailsTheLoad)
{
    for (int portType : {4, 0, 13, 0xFF}) {
        try {
            LoadNew(WithPortType(kEmulRecord, portType));
            ADD_FAILURE() << portType;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::badClass) << portType;
        }
    }
}

// A record of another layout is never read into this object's fields.
TEST(CommConfigLoad, RecordOfAnotherLayoutIsRefused)
{
    struct Case {
        const char* name;
        int targetType;
        std::vector<BYTE> record;
    };
    const std::vector<Case> cases = {
        {"serial into tcp", 2, kSerialRecord},
        {"tcp into serial", 1, kTcpRecord},
        {"ethernet into tcp", 2, kLinkRecord},
        {"tcp into zigbee", 11, kTcpRecord},
        {"emul into udp", 3, kEmulRecord},
    };
    for (const auto& c : cases) {
        auto config = CdsCommConfig::NewCommConfig(c.targetType);
        const auto before = Store(*config);
        try {
            Load(*config, c.record);
            ADD_FAILURE() << c.name;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::badClass) << c.name;
        }
        EXPECT_EQ(Store(*config), before) << c.name;
    }
}

TEST(CommConfigLoad, RecordsOfTheSameLayoutLoadAcrossKinds)
{
    CdsTcpipConfig tcp;
    Load(tcp, WithPortType(kTcpRecord, 3));
    EXPECT_EQ(tcp.GetPortType(), COMM_PORT_UDPIP);
    EXPECT_FALSE(tcp.IsTcpSocket());
    ExpectTcpFields(tcp);
}

TEST(CommConfigLoad, TruncatedRecordThrowsEndOfFile)
{
    for (const auto* record : {&kTcpRecord, &kSerialRecord, &kLinkRecord, &kEmulRecord}) {
        for (std::size_t cut = 0; cut < record->size(); ++cut) {
            const std::vector<BYTE> part(record->begin(), record->begin() + static_cast<long>(cut));
            auto config = CdsCommConfig::NewCommConfig((*record)[0]);
            EXPECT_THROW(Load(*config, part), CArchiveException) << cut;
        }
    }
}

TEST(CommConfigArchive, ObjectStoredByClassNameComesBackAsItsKind)
{
    CdsTcpipConfig tcp;
    FillTcp(tcp);
    COXSerialCommConfig serial;
    FillSerial(serial);
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(&tcp);
        ar.WriteObject(&serial);
        ar.Close();
    }
    const auto data = file.GetData();
    // New-class tag, schema 1, name length, name, then the record.
    const std::string name = "CdsTcpipConfig";
    ASSERT_GE(data.size(), 6 + name.size() + kTcpRecord.size());
    EXPECT_EQ(std::vector<BYTE>(data.begin(), data.begin() + 6),
              (std::vector<BYTE>{0xFF, 0xFF, 0x01, 0x00, static_cast<BYTE>(name.size()), 0x00}));
    EXPECT_EQ(std::string(data.begin() + 6, data.begin() + 6 + static_cast<long>(name.size())), name);
    EXPECT_EQ(std::vector<BYTE>(data.begin() + 6 + static_cast<long>(name.size()),
                                data.begin() + 6 + static_cast<long>(name.size() + kTcpRecord.size())),
              kTcpRecord);

    CMemFile in(data);
    CArchive ar(&in, CArchive::load);
    auto first = ar.ReadNew<CdsCommConfig>();
    auto second = ar.ReadNew<CdsCommConfig>();
    ASSERT_NE(dynamic_cast<CdsTcpipConfig*>(first.get()), nullptr);
    ExpectTcpFields(dynamic_cast<CdsTcpipConfig&>(*first));
    ASSERT_NE(dynamic_cast<COXSerialCommConfig*>(second.get()), nullptr);
    ExpectSerialFields(dynamic_cast<COXSerialCommConfig&>(*second));
}

// ---- factory, port handle ----

TEST(NewCommConfig, MakesEveryStorableKindWithItsDefaults)
{
    struct Case {
        int portType;
        const char* className;
    };
    const Case cases[] = {{1, "COXSerialCommConfig"}, {2, "CdsTcpipConfig"}, {3, "CdsUdpipConfig"},
                          {5, "CdsEmulConfig"},       {6, "CdsEthernetConfig"}, {7, "CdsARCnetConfig"},
                          {8, "CdsMSTPConfig"},       {9, "CdsPTPConfig"},   {10, "CdsLonTalkConfig"},
                          {11, "CdsZigBeeConfig"},    {12, "CdsIP6Config"}};
    for (const Case& c : cases) {
        auto config = CdsCommConfig::NewCommConfig(c.portType);
        ASSERT_NE(config, nullptr) << c.portType;
        EXPECT_STREQ(config->GetRuntimeClass()->m_lpszClassName, c.className);
        EXPECT_EQ(config->GetPortType(), c.portType);
        EXPECT_EQ(config->GetPortId(), 0xFFFF);
        EXPECT_EQ(config->m_nDeviceType, -1);
        EXPECT_EQ(config->GetPortHandle(), 0xFFFFFFFFu);
        // The archive creates the same kind by its stored class name.
        std::unique_ptr<CObject> byName(CRuntimeClass::CreateObject(c.className));
        ASSERT_NE(byName, nullptr) << c.className;
        EXPECT_EQ(dynamic_cast<CdsCommConfig&>(*byName).GetPortType(), c.portType);
    }
    for (int portType : {-1, 0, 4, 13, 0x10002})
        EXPECT_EQ(CdsCommConfig::NewCommConfig(portType), nullptr) << portType;
}

TEST(PortHandle, CombinesPortIdAndType)
{
    struct Case {
        int portType;
        WORD portId;
        DWORD handle;
    };
    const Case cases[] = {{2, 3, 0x00030002u},       {2, 0xFFFF, 0xFFFFFFFFu}, {1, 0, 0x00000001u},
                          {12, 0xFFFE, 0xFFFE000Cu}, {5, 0xFFFF, 0xFFFFFFFFu}, {3, 502, 0x01F60003u}};
    for (const Case& c : cases) {
        auto config = CdsCommConfig::NewCommConfig(c.portType);
        config->SetPortId(c.portId);
        EXPECT_EQ(config->GetPortHandle(), c.handle);
        if (c.handle != 0xFFFFFFFFu) {
            EXPECT_EQ(CdsCommConfig::GetPortId(c.handle), c.portId);
            EXPECT_EQ(CdsCommConfig::GetPortType(c.handle), c.portType);
        }
    }
    CdsTcpipConfig tcp;
    tcp.SetPortId(9);
    tcp.ResetPortId();
    EXPECT_EQ(tcp.GetPortHandle(), 0xFFFFFFFFu);
    // The handle carries only the low 16 bits of the type.
    CdsCommConfig plain;
    plain.SetPortType(static_cast<tagCommPortType>(0x12345));
    plain.SetPortId(1);
    EXPECT_EQ(plain.GetPortHandle(), 0x00012345u);
}

// ---- copying ----

// What a device's copy does for each of its four lines: make the missing
// configuration by the source's port type, then assign.
std::array<std::unique_ptr<CdsCommConfig>, 4> CopyLines(
    const std::array<std::unique_ptr<CdsCommConfig>, 4>& source)
{
    std::array<std::unique_ptr<CdsCommConfig>, 4> target;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (!source[i])
            continue;
        target[i] = CdsCommConfig::NewCommConfig(source[i]->GetPortType());
        if (target[i])
            *target[i] = *source[i];
    }
    return target;
}

TEST(CommConfigCopy, DeviceWithFourMixedLinesKeepsEveryLine)
{
    std::array<std::unique_ptr<CdsCommConfig>, 4> source;
    auto serial = std::make_unique<COXSerialCommConfig>();
    FillSerial(*serial);
    auto tcp = std::make_unique<CdsTcpipConfig>();
    FillTcp(*tcp);
    auto udp = std::make_unique<CdsUdpipConfig>();
    FillTcp(*udp);
    udp->SetPortId(6001);
    auto zigbee = std::make_unique<CdsZigBeeConfig>();
    FillLink(*zigbee);
    source = {std::move(tcp), std::move(udp), std::move(serial), std::move(zigbee)};

    const auto target = CopyLines(source);
    for (std::size_t i = 0; i < source.size(); ++i) {
        ASSERT_NE(target[i], nullptr) << "line " << i;
        EXPECT_EQ(target[i]->GetRuntimeClass(), source[i]->GetRuntimeClass()) << "line " << i;
        EXPECT_EQ(Store(*target[i]), Store(*source[i])) << "line " << i;
    }

    std::array<std::unique_ptr<CdsCommConfig>, 4> others;
    others[0] = std::make_unique<CdsEmulConfig>();
    dynamic_cast<CdsEmulConfig&>(*others[0]).m_nValue = 42;
    others[1] = std::make_unique<CdsIP6Config>();
    others[3] = std::make_unique<CdsPTPConfig>();
    const auto copied = CopyLines(others);
    EXPECT_EQ(dynamic_cast<CdsEmulConfig&>(*copied[0]).m_nValue, 42);
    EXPECT_NE(dynamic_cast<CdsIP6Config*>(copied[1].get()), nullptr);
    EXPECT_EQ(copied[2], nullptr);
    EXPECT_NE(dynamic_cast<CdsPTPConfig*>(copied[3].get()), nullptr);
}

TEST(CommConfigCopy, TypedAssignmentCopiesEverything)
{
    COXSerialCommConfig a;
    FillSerial(a);
    COXSerialCommConfig b;
    b = a;
    ExpectSerialFields(b);
    CdsTcpipConfig t;
    FillTcp(t);
    CdsTcpipConfig u(t);
    ExpectTcpFields(u);
}

TEST(CommConfigCopy, AnotherKindNeverChangesThisKindOrItsOwnFields)
{
    COXSerialCommConfig serial;
    FillSerial(serial);
    CdsTcpipConfig tcp;
    tcp.m_nRemotePort = 502;
    tcp.m_nSocketType = 1;
    CdsCommConfig& asBase = tcp;
    asBase = serial;
    EXPECT_EQ(tcp.GetPortType(), COMM_PORT_TCPIP);
    EXPECT_EQ(tcp.m_nRemotePort, 502);
    EXPECT_EQ(tcp.m_nSocketType, 1);
    EXPECT_EQ(tcp.m_strPort, "COM1"); // the common fields are taken
    EXPECT_EQ(tcp.GetPortId(), 0);

    COXSerialCommConfig serial2;
    CdsCommConfig& serialBase = serial2;
    CdsTcpipConfig filled;
    FillTcp(filled);
    serialBase = filled;
    EXPECT_EQ(serial2.GetPortType(), COMM_PORT_SERIAL);
    EXPECT_EQ(serial2.m_nBaudRate, 19200u);
    EXPECT_EQ(serial2.m_strDescription, "Line A");
    EXPECT_EQ(Store(serial2)[0], 0x01);
}

TEST(CommConfigCopy, SocketKindsShareTheirTail)
{
    CdsTcpipConfig tcp;
    FillTcp(tcp);
    CdsUdpipConfig udp;
    static_cast<CdsCommConfig&>(udp) = tcp;
    EXPECT_EQ(udp.GetPortType(), COMM_PORT_UDPIP);
    EXPECT_EQ(udp.m_strRemoteAddress, "192.168.0.20");
    EXPECT_EQ(udp.m_nSocketType, 2);
    EXPECT_EQ(udp.m_nTimeOut, 3000);
}

TEST(CommConfigCopy, PortTypeComesFromASourceOfTheSameClass)
{
    CdsTcpipConfig source;
    source.SetPortType(COMM_PORT_UDPIP);
    CdsTcpipConfig target;
    target = source;
    EXPECT_EQ(target.GetPortType(), COMM_PORT_UDPIP);
    EXPECT_FALSE(target.IsTcpSocket());
}

// ---- dialogs ----

TEST(DoConfigDialog, KindsWithoutADialogCancelAndChangeNothing)
{
    for (int portType : {3, 5, 6, 7, 8, 9, 10, 11, 12}) {
        auto config = CdsCommConfig::NewCommConfig(portType);
        config->m_strDescription = "keep";
        const auto before = Store(*config);
        EXPECT_EQ(config->DoConfigDialog("Title"), COMM_DLG_CANCEL) << portType;
        EXPECT_EQ(Store(*config), before);
    }
    CdsCommConfig plain;
    EXPECT_EQ(plain.DoConfigDialog(""), COMM_DLG_CANCEL);
}

} // namespace
