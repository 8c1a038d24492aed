#include "fenwold/McStation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Station : public McStation {
public:
    std::string_view GetStationAddress() const override { return address; }
    std::string address;
};

struct FrameCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    bool ok;
    McFrameKind kind;
    bool ascii;
    const char* upper;  // the protocol string afterwards
};

class ConfigureFrame : public testing::TestWithParam<FrameCase> {};

TEST_P(ConfigureFrame, SetsKindAndCode)
{
    const FrameCase& c = GetParam();
    Station s;
    std::string protocol = c.protocol;
    EXPECT_EQ(s.ConfigureFrame(c.deviceType, protocol), c.ok);
    if (!c.ok)
        return;
    EXPECT_EQ(s.GetFrameKind(), c.kind);
    EXPECT_EQ(s.IsAscii(), c.ascii);
    EXPECT_EQ(protocol, c.upper);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ConfigureFrame,
    testing::Values(FrameCase{"QnA3EBinary", 4, "MC3", true, McFrameKind::E3, false, "MC3"},
                    FrameCase{"QnA4EAsciiLower", 3, "mc ascii", true, McFrameKind::E4, true, "MC ASCII"},
                    FrameCase{"QnA4EDigit", 3, "MC4", true, McFrameKind::E4, false, "MC4"},
                    FrameCase{"A1EAscii", 2, "ASCII", true, McFrameKind::E1, true, "ASCII"},
                    FrameCase{"A1EBinary", 1, "", true, McFrameKind::E1, false, ""},
                    FrameCase{"Type5Is1E", 5, "MC3", true, McFrameKind::E1, false, "MC3"},
                    FrameCase{"Type0Fails", 0, "MC3", false, McFrameKind::E1, false, ""},
                    FrameCase{"Type6Fails", 6, "MC3", false, McFrameKind::E1, false, ""}),
    [](const testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

TEST(ConfigureFrame, EveryInitialisationStartsAfresh)
{
    Station s;
    std::string ascii = "ASCII 3";
    ASSERT_TRUE(s.ConfigureFrame(4, ascii));
    EXPECT_EQ(s.GetFrameKind(), McFrameKind::E3);
    EXPECT_TRUE(s.IsAscii());
    // The configuration changes to a 1E binary PLC: nothing of the old one stays.
    std::string binary = "MC";
    ASSERT_TRUE(s.ConfigureFrame(1, binary));
    EXPECT_EQ(s.GetFrameKind(), McFrameKind::E1);
    EXPECT_FALSE(s.IsAscii());
}

TEST(StationTarget, RouteOrPcNumberFromTheAddress)
{
    Station s;
    std::string protocol = "MC3";
    ASSERT_TRUE(s.ConfigureFrame(4, protocol));
    s.address = "01020304FF";
    McTarget t = s.GetTarget();
    EXPECT_EQ(t.kind, McFrameKind::E3);
    EXPECT_EQ(t.route, (McRoute{0x01, 0x02, 0x0304, 0xFF}));
    s.address = "0102030";  // not ten characters: the default route
    EXPECT_EQ(s.GetTarget().route, McRoute{});

    std::string a = "MC";
    ASSERT_TRUE(s.ConfigureFrame(1, a));
    s.address = "&1F";
    EXPECT_EQ(s.GetTarget().pcNumber, 0x1F);
    s.address = "255";
    EXPECT_EQ(s.GetTarget().pcNumber, 0xFF);
}

TEST(StationCopy, CopiesSettingsNotCounters)
{
    Station a;
    Station b;
    std::string protocol = "ASCII";
    ASSERT_TRUE(a.ConfigureFrame(3, protocol));
    a.GetSerialCounters().Next(0);
    b.CopyFrameSettings(a);
    EXPECT_EQ(b.GetFrameKind(), McFrameKind::E4);
    EXPECT_TRUE(b.IsAscii());
    EXPECT_EQ(b.GetSerialCounters().Current(0), 0);
}

}  // namespace
