#include "kestrun/comm/sockets/ListenSocket.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

std::vector<BYTE> Bytes(int n, int first)
{
    std::vector<BYTE> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), static_cast<BYTE>(first));
    return v;
}

struct HoldoverStep {
    int save;    // bytes saved first (0: none)
    int restore; // then asked for
    int expectCount;
    int expectTaken;
    int expectFirst; // first byte taken, -1 when none
};

struct HoldoverCase {
    const char* name;
    std::vector<HoldoverStep> steps;
};

class HoldoverTest : public ::testing::TestWithParam<HoldoverCase> {};

TEST_P(HoldoverTest, KeepsBytesInOrder)
{
    CdsListenSocket socket(nullptr, nullptr, 0);
    int next = 0;
    for (const HoldoverStep& step : GetParam().steps) {
        if (step.save > 0) {
            const auto bytes = Bytes(step.save, next);
            next += step.save;
            EXPECT_EQ(socket.SaveToBuffer(bytes.data(), step.save), step.expectCount);
        }
        std::vector<BYTE> out(static_cast<size_t>(step.restore) + 1, 0xEE);
        EXPECT_EQ(socket.RestoreFromBuffer(out.data(), step.restore), step.expectTaken);
        if (step.expectFirst >= 0) {
            EXPECT_EQ(out[0], static_cast<BYTE>(step.expectFirst));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HoldoverTest,
    ::testing::Values(
        HoldoverCase{"CutDatagram", {{70, 30, 70, 30, 0}, {0, 100, 40, 40, 30}, {0, 10, 0, 0, -1}}},
        HoldoverCase{"Appends", {{10, 0, 10, 0, -1}, {5, 15, 15, 15, 0}}},
        // 4000 held and 200 more: the 4000 are dropped.
        HoldoverCase{"OverflowDropsHeld", {{4000, 0, 4000, 0, -1}, {200, 4096, 200, 200, 4000 % 256}}},
        HoldoverCase{"ExactlyFull", {{4000, 0, 4000, 0, -1}, {96, 4096, 4096, 4096, 0}}},
        // More than the holdover holds keeps its first 4096 bytes.
        HoldoverCase{"OversizeIsClamped", {{5000, 5000, 4096, 4096, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListenSocketTest, RestoreIntoNullIsRefused)
{
    CdsListenSocket socket(nullptr, nullptr, 1);
    EXPECT_EQ(socket.RestoreFromBuffer(nullptr, 10), -1);
}

TEST(ListenSocketTest, ASocketOfNoLineKeepsNothing)
{
    CdsListenSocket socket(nullptr, nullptr);
    const auto bytes = Bytes(10, 0);
    EXPECT_EQ(socket.SaveToBuffer(bytes.data(), 10), 0);
    EXPECT_EQ(socket.GetReadBytesSize(), 0);
    BYTE out[10];
    EXPECT_EQ(socket.RestoreFromBuffer(out, 10), 0);
}

TEST(ListenSocketTest, PeerInfoIsValidOnlyWithAddressAndPort)
{
    CdsListenSocket socket(nullptr, nullptr, 0);
    std::string address = "x";
    UINT port = 9;
    EXPECT_FALSE(socket.GetPeerInfo(address, port));
    EXPECT_EQ(address, "x");
    socket.SetPeerInfo("10.0.0.5", 0);
    EXPECT_FALSE(socket.IsValidPeerInfo());
    socket.SetPeerInfo("", 5000);
    EXPECT_FALSE(socket.IsValidPeerInfo());
    socket.SetPeerInfo("10.0.0.5", 5000);
    ASSERT_TRUE(socket.GetPeerInfo(address, port));
    EXPECT_EQ(address, "10.0.0.5");
    EXPECT_EQ(port, 5000u);
}

TEST(ListenSocketTest, CopyTakesPeerAndAcceptedOnly)
{
    CdsListenSocket a(nullptr, nullptr, 0), b(nullptr, nullptr, 1);
    a.SetPeerInfo("10.0.0.5", 5000);
    a.SetAccepted(TRUE);
    const BYTE held[] = {1, 2, 3};
    a.SaveToBuffer(held, 3);
    b.CopyPeerOf(a);
    EXPECT_TRUE(b.IsAccepted());
    EXPECT_TRUE(b.IsValidPeerInfo());
    EXPECT_EQ(b.GetReadBytesSize(), 0);
    EXPECT_EQ(b.GetLineIndex(), 1);
}

TEST(ListenSocketTest, CreateOnASocketWithAHandleSucceeds)
{
    CdsListenSocket socket(nullptr, nullptr, 0);
    ASSERT_TRUE(socket.Create(0, CdsTimeoutSocket::TYPE_DATAGRAM, "127.0.0.1"));
    const auto h = socket.GetHandle();
    EXPECT_TRUE(socket.Create(0, CdsTimeoutSocket::TYPE_STREAM));
    EXPECT_EQ(socket.GetHandle(), h);
}

} // namespace
