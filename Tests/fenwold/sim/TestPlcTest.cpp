#include "support/plcsim/TestPlc.h"

#include "support/plcsim/TestClient.h"

#include <gtest/gtest.h>

namespace plcsim {
namespace {

TEST(TestPlc, ParsesHostAndPort)
{
    struct Row { const char* text; bool ok; const char* host; std::uint16_t port; };
    const Row rows[] = {
        {"192.168.3.39:5000", true, "192.168.3.39", 5000},
        {"plc:1025", true, "plc", 1025},
        {"plc", false, "", 0},
        {":5000", false, "", 0},
        {"plc:", false, "", 0},
        {"plc:65536", false, "", 0},
        {"plc:0", false, "", 0},
        {"plc:50a", false, "", 0},
    };
    for (const auto& r : rows) {
        std::string host;
        std::uint16_t port = 0;
        EXPECT_EQ(TestPlc::parseAddress(r.text, host, port), r.ok) << r.text;
        if (r.ok) {
            EXPECT_EQ(host, r.host);
            EXPECT_EQ(port, r.port);
        }
    }
}

TEST(TestPlc, ParsesFrameKinds)
{
    struct Row { const char* text; bool ok; unsigned kinds; };
    const unsigned e3b = TestPlc::kindBit(FrameKind::E3, false);
    const unsigned e4a = TestPlc::kindBit(FrameKind::E4, true);
    const unsigned e1b = TestPlc::kindBit(FrameKind::E1, false);
    const Row rows[] = {
        {"3e-binary", true, e3b},
        {"3e-binary,4e-ascii", true, e3b | e4a},
        {" 1E-Binary , 3e-binary ", true, e1b | e3b},
        {"3e-binary,", true, e3b},
        {"", false, 0},
        {"5e-binary", false, 0},
        {"3e", false, 0},
    };
    for (const auto& r : rows) {
        unsigned kinds = 0;
        EXPECT_EQ(TestPlc::parseKinds(r.text, kinds), r.ok) << r.text;
        if (r.ok) {
            EXPECT_EQ(kinds, r.kinds) << r.text;
        }
    }
    EXPECT_EQ(e3b & e4a, 0u);
}

TEST(TestPlc, AnswersReads)
{
    TestPlc plc;
    ASSERT_TRUE(plc.ok()) << plc.error();
    if (!plc.speaks(FrameKind::E3, false))
        GTEST_SKIP() << "a 3E binary request";
    if (plc.simulator()) plc.simulator()->memory().setWord(0xA8, 100, 0x4321);
    TestClient c;
    ASSERT_TRUE(c.connect(plc.port(), plc.host()));
    auto reply = c.roundTrip(hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 01 00"), 13);
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply[9] | (reply[10] << 8), 0);  // end code
    if (plc.simulator()) {
        EXPECT_EQ(reply[11] | (reply[12] << 8), 0x4321);
    }
}

} // namespace
} // namespace plcsim
