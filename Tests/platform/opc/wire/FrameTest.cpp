#include "platform/opc/wire/Frame.h"
#include "platform/opc/wire/Protocol.h"
#include "platform/opc/wire/Wire.h"

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

TEST(FrameReaderTest, AnnouncedLengthCostsOnlyWhatArrived)
{
    opc::Frame f;
    Bytes b = opc::encodeFrame(f);
    b[7] = 0x01;  // 16 MiB announced
    b.insert(b.end(), 10, 0x55);
    opc::FrameReader reader;
    std::size_t used = 0;
    opc::Frame out;
    EXPECT_EQ(reader.feed(b, used, out, 0), opc::FrameReader::Status::NeedMore);
    EXPECT_EQ(used, b.size());
    EXPECT_EQ(reader.held(), 30u);
    EXPECT_LE(reader.storage(), 30u);
    EXPECT_EQ(reader.wanted(), (16u << 20) - 10u);
}

TEST(FrameReaderTest, FramesCutAnywhereComeOutWholeAndInOrder)
{
    std::vector<opc::Frame> sent(3);
    sent[0].method = 1;
    sent[1].kind = opc::FrameKind::Release;
    sent[1].objectId = 9;
    sent[2].callId = 7;
    sent[2].payload = {1, 2, 3, 4, 5};
    Bytes stream;
    for (auto& f : sent) {
        Bytes b = opc::encodeFrame(f);
        stream.insert(stream.end(), b.begin(), b.end());
    }
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        opc::FrameReader reader;
        std::vector<opc::Frame> got;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            std::span<const BYTE> data(stream.data() + at, std::min(chunk, stream.size() - at));
            while (!data.empty()) {
                std::size_t used = 0;
                opc::Frame f;
                if (reader.feed(data, used, f, 0) == opc::FrameReader::Status::Complete) got.push_back(f);
                data = data.subspan(used);
            }
        }
        ASSERT_EQ(got.size(), 3u) << chunk;
        for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(opc::encodeFrame(got[i]), opc::encodeFrame(sent[i])) << chunk;
        EXPECT_EQ(reader.held(), 0u);
    }
}

TEST(FrameReaderTest, OnlyAFrameUnderWayIsOverdueAndOnlyPastTheTimeOut)
{
    opc::FrameReader reader;
    EXPECT_FALSE(reader.overdue(1000000, 10));  // idle between frames
    Bytes b = opc::encodeFrame(opc::Frame{});
    std::size_t used = 0;
    opc::Frame f;
    reader.feed(std::span(b.data(), 5), used, f, 100);
    EXPECT_FALSE(reader.overdue(110, 10));
    EXPECT_TRUE(reader.overdue(111, 10));
    reader.feed(std::span(b.data() + 5, b.size() - 5), used, f, 500);
    EXPECT_FALSE(reader.overdue(1000000, 10));
}

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

TEST(WireTest, NumbersGoLittleEndianAndReadBack)
{
    opc::WireWriter w;
    w.u16(0x0102);
    w.u32(0x03040506);
    w.u64(0x0708090A0B0C0D0Eull);
    w.i32(-2);
    Bytes want = {2, 1,  6, 5, 4, 3,  0x0E, 0x0D, 0x0C, 0x0B, 0x0A, 9, 8, 7,  0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(w.data(), want);
    opc::WireReader r(w.data());
    EXPECT_EQ(r.u16(), 0x0102);
    EXPECT_EQ(r.u32(), 0x03040506u);
    EXPECT_EQ(r.u64(), 0x0708090A0B0C0D0Eull);
    EXPECT_EQ(r.i32(), -2);
    EXPECT_TRUE(r.done());
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
