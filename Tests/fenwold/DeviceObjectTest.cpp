#include "fenwold/DeviceObject.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fenwold/DeviceMap.h"
#include "fenwold/MelsecFakes.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "support/DestroyPtr.h"

using namespace fenwoldtest;

namespace {

using DevicePtr = testsupport::DestroyPtr<CDeviceObject>;

DevicePtr MakeDevice(LONG type, const std::string& protocol, const std::string& address)
{
    DevicePtr device(new CDeviceObject);
    device->m_nDeviceType = type;
    device->m_strProtocol = protocol;
    device->m_strAddress = address;
    return device;
}

TEST(MelsecDevice, FourTcpipLines)
{
    DevicePtr device(new CDeviceObject);
    for (int line = 0; line < 4; ++line)
        EXPECT_NE(dynamic_cast<CdsTcpipConfig*>(device->GetCommConfigAt(line)), nullptr) << line;
    EXPECT_TRUE(device->IsErrorStatusAvailable());
    EXPECT_TRUE(device->IsRunStatusAvailable());
    EXPECT_TRUE(device->IsMasterStatusAvailable());
}

TEST(MelsecDevice, InitialisationSetsFrameAndCode)
{
    DevicePtr device = MakeDevice(3, "melsec ascii", "");
    ASSERT_TRUE(device->OnInitDeviceObject());
    EXPECT_EQ(device->GetFrameKind(), McFrameKind::E4);
    EXPECT_TRUE(device->m_bAsciiMode);
    EXPECT_EQ(device->m_strProtocol, "MELSEC ASCII");
    // Reconfigured as a 3E binary PLC.
    device->m_nDeviceType = 4;
    device->m_strProtocol = "MC3";
    ASSERT_TRUE(device->OnInitDeviceObject());
    EXPECT_EQ(device->GetFrameKind(), McFrameKind::E3);
    EXPECT_FALSE(device->m_bAsciiMode);
    device->m_nDeviceType = 6;
    EXPECT_FALSE(device->OnInitDeviceObject());
}

struct MonitorCase {
    const char* name;
    LONG type;
    const char* protocol;
    const char* address;
    std::vector<BYTE> frame;
    int responseLength;
};

class MonitorQuery : public testing::TestWithParam<MonitorCase> {};

TEST_P(MonitorQuery, ReadsOneWordAtF0)
{
    const MonitorCase& c = GetParam();
    DevicePtr device = MakeDevice(c.type, c.protocol, c.address);
    ASSERT_TRUE(device->OnInitDeviceObject());
    const char* query = device->GetMonitorQueryString(nullptr, true);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, device->GetMonitorQueryStringLen(nullptr, query)), c.frame);
    EXPECT_EQ(device->GetMonitorQueryString(nullptr, false), query);
    EXPECT_EQ(device->GetMonitorResponseStringLen(nullptr), c.responseLength);
    EXPECT_EQ(device->UpdateStatus(nullptr, 0, nullptr), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MonitorQuery,
    testing::Values(
        MonitorCase{"E1Binary", 1, "MC", "255", Hex("01 FF 0A 00 00 00 00 00 20 46 01 00"), 4},
        MonitorCase{"E1Ascii", 2, "ASCII", "&1F", Ascii("011F000A4620000000000100"), 8},
        MonitorCase{"E3Binary", 4, "MC3", "", Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 00 00 00 93 01 00"),
                    4096},
        MonitorCase{"E3Ascii", 4, "ASCII 3", "0102030405",
                    Ascii("5000" "0102030405" "0018" "0000" "0401" "0000" "F 000000" "0001"), 4096},
        MonitorCase{"E4Binary", 3, "MC",
                    "", Hex("54 00 00 00 00 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 00 00 00 93 01 00"), 4096},
        MonitorCase{"E4Ascii", 3, "ASCII", "",
                    Ascii("5400" "0000" "0000" "00FF03FF00" "0018" "0000" "0401" "0000" "F 000000" "0001"), 4096}),
    [](const testing::TestParamInfo<MonitorCase>& info) { return info.param.name; });

struct TemplateCase {
    const char* address;
    int code;  // -1: no block
    BOOL writable;
};

class BlockTemplate : public testing::TestWithParam<TemplateCase> {};

TEST_P(BlockTemplate, DeviceFromTheWholeName)
{
    const TemplateCase& c = GetParam();
    DevicePtr device = MakeDevice(4, "MC3", "");
    ASSERT_TRUE(device->OnInitDeviceObject());
    CMemoryArray templ;
    templ.SetAddr(c.address);
    templ.SetName("BLOCK");
    templ.SetDefaultDataType(BRISANT_WORD);
    CdsMemoryArray* block = device->NewMemoryArray(templ);
    if (c.code < 0) {
        EXPECT_EQ(block, nullptr);
        return;
    }
    ASSERT_NE(block, nullptr);
    auto* melsec = dynamic_cast<CMemoryArray*>(block);
    ASSERT_NE(melsec, nullptr);
    EXPECT_EQ(melsec->GetDeviceCode(), c.code);
    EXPECT_EQ(melsec->IsWriteAllowed(), c.writable);
    EXPECT_EQ(melsec->GetAddr(), c.address);
    EXPECT_EQ(melsec->GetName(), "BLOCK");
    block->Destroy();
}

INSTANTIATE_TEST_SUITE_P(Addresses, BlockTemplate,
                         testing::Values(TemplateCase{"D100", 0xA8, TRUE}, TemplateCase{"X10", 0x9C, FALSE},
                                         TemplateCase{"M0", 0x90, TRUE}, TemplateCase{"W1F", 0xB4, TRUE},
                                         // The whole name decides: SD is not S, ZR not Z, DX not D.
                                         TemplateCase{"SD100", 0xA9, TRUE}, TemplateCase{"ZR0", 0xB0, TRUE},
                                         TemplateCase{"DX10", 0xA2, FALSE}, TemplateCase{"TN5", 0xC2, TRUE},
                                         TemplateCase{"Q5", -1, FALSE}, TemplateCase{"", -1, FALSE}));

TEST(BlockTemplate, NoSecondBlockOfAnAddress)
{
    DevicePtr device = MakeDevice(4, "MC3", "");
    ASSERT_TRUE(device->OnInitDeviceObject());
    CMemoryArray templ;
    templ.SetAddr("D100");
    templ.SetName("ONE");
    templ.SetMaxMemories(2);
    CdsMemoryArray* added = device->AddMemoryArray(templ, true);
    ASSERT_NE(added, nullptr);
    templ.SetName("TWO");
    EXPECT_EQ(device->NewMemoryArray(templ), nullptr);
}

TEST(MelsecDevice, CopyKeepsTheFrameSettings)
{
    DevicePtr a = MakeDevice(3, "ASCII", "");
    ASSERT_TRUE(a->OnInitDeviceObject());
    DevicePtr b(new CDeviceObject);
    *b = *a;
    EXPECT_EQ(b->GetFrameKind(), McFrameKind::E4);
    EXPECT_TRUE(b->IsAscii());
}

TEST(MelsecDeviceMap, MakesMelsecDevices)
{
    CDeviceMap map;
    testsupport::DestroyPtr<CdsDeviceObject> made(map.NewDeviceObject("1", "&FF", 1));
    EXPECT_NE(dynamic_cast<CDeviceObject*>(made.get()), nullptr);
    DevicePtr src = MakeDevice(3, "ASCII", "");
    ASSERT_TRUE(src->OnInitDeviceObject());
    testsupport::DestroyPtr<CdsDeviceObject> copy(map.NewDeviceObject(*src));
    auto* melsec = dynamic_cast<CDeviceObject*>(copy.get());
    ASSERT_NE(melsec, nullptr);
    EXPECT_TRUE(melsec->IsAscii());
}

}  // namespace
