#include "platform/opc/Frame.h"
#include "platform/opc/Protocol.h"
#include "platform/opc/Wire.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<BYTE>;

TEST(FrameTest, HeaderGoldenBytes)
{
    opc::Frame f;
    f.kind = opc::FrameKind::Reply;
    f.method = 0x0102;
    f.callId = 0x0A0B0C0D;
    f.objectId = 7;
    f.payload = {0xEE};
    Bytes want = {'T', 'O', 'P', 'C', 1, 0, 0, 0, 2, 0, 0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A, 7, 0, 0, 0, 0xEE};
    EXPECT_EQ(opc::encodeFrame(f), want);
}

struct BadHeader {
    const char* name;
    std::size_t at;
    BYTE value;
};

class FrameHeaderTest : public ::testing::TestWithParam<BadHeader> {};

TEST_P(FrameHeaderTest, RefusesMalformedHeaders)
{
    opc::Frame f;
    Bytes b = opc::encodeFrame(f);
    b[GetParam().at] = GetParam().value;
    DWORD length = 0;
    EXPECT_FALSE(opc::decodeFrameHeader(std::span<const BYTE, opc::kFrameHeaderSize>(b.data(), opc::kFrameHeaderSize), f, length));
}

INSTANTIATE_TEST_SUITE_P(Headers, FrameHeaderTest,
                         ::testing::Values(BadHeader{"Magic", 0, 'X'}, BadHeader{"KindZero", 8, 0},
                                           BadHeader{"KindUnknown", 8, 9}, BadHeader{"Reserved", 9, 1},
                                           BadHeader{"TooLong", 7, 0x7F}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WireTest, ItemDefinitionGoldenBytes)
{
    OPCITEMDEF d;
    d.szAccessPath = u"";
    d.szItemID = u"A.B";
    d.bActive = TRUE;
    d.hClient = 0x1234;
    d.vtRequestedDataType = VT_R4;
    opc::WireWriter w;
    opc::writeItemDef(w, d);
    Bytes want = {0, 0, 0, 0,  3, 0, 0, 0, 'A', 0, '.', 0, 'B', 0,  1, 0, 0, 0,  0x34, 0x12, 0, 0,  0, 0, 0, 0,  4, 0};
    EXPECT_EQ(w.data(), want);
}

TEST(WireTest, EveryCutOfARecordIsRefused)
{
    OPCITEMSTATE s;
    s.hClient = 5;
    s.ftTimeStamp = FILETIME{1, 2};
    s.wQuality = 0xC0;
    s.vDataValue = VARIANT::String("value");
    opc::WireWriter w;
    opc::writeItemState(w, s);
    Bytes b = w.data();
    {
        opc::WireReader r(b);
        OPCITEMSTATE back = opc::readItemState(r);
        EXPECT_TRUE(r.done());
        EXPECT_EQ(back.vDataValue, s.vDataValue);
        EXPECT_EQ(back.ftTimeStamp, s.ftTimeStamp);
    }
    for (std::size_t n = 0; n < b.size(); ++n) {
        opc::WireReader r(std::span(b.data(), n));
        opc::readItemState(r);
        EXPECT_FALSE(r.ok()) << n;
    }
}

TEST(WireTest, HugeCountsAreRefusedWithoutAllocating)
{
    Bytes b = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2};
    opc::WireReader r(b);
    EXPECT_TRUE(r.texts().empty());
    EXPECT_FALSE(r.ok());
    opc::WireReader r2(b);
    EXPECT_TRUE(r2.variants().empty());
    EXPECT_FALSE(r2.ok());
}

} // namespace
