#include "support/plcsim/Protocol.h"

#include "support/plcsim/EndCodes.h"
#include "support/plcsim/Memory.h"
#include "support/plcsim/TestClient.h"
#include "fenwold/sim/SimFrames.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace plcsim {
namespace {

using test::Fields;
using test::kKinds;

constexpr std::uint8_t D = 0xA8, M = 0x90, W = 0xB4, Y = 0x9D;

void preset(Memory& m)
{
    m.setWord(D, 100, 0x1234);
    m.setWord(D, 101, 0x0002);
    m.setWord(D, 102, 0x1A2B);
    for (int n : {100, 102, 105, 106}) m.setBit(M, std::uint32_t(n), true);
}

std::vector<std::uint8_t> bytesOf(const std::string& s, bool text)
{
    return text ? textBytes(s) : hexBytes(s);
}

// Feeds one request and returns the encoded answer.
std::vector<std::uint8_t> answer(Protocol& p, const std::vector<std::uint8_t>& request, std::size_t* consumed = nullptr)
{
    auto step = p.next(request);
    if (consumed) *consumed = step.consumed;
    if (step.status != Protocol::Status::Reply) return {};
    return encodeReply(step.reply);
}

struct Golden {
    const char* name;
    bool text;
    const char* request;
    const char* reply;
    std::function<void(const Memory&)> check;
};

const Golden kGoldens[] = {
    {"3E binary read D100 x3", false,
     "50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00",
     "D0 00 00 FF FF 03 00 08 00 00 00 34 12 02 00 2B 1A", nullptr},
    {"3E ASCII read D100 x3", true,
     "500000FF03FF000018001004010000D*0001000003",
     "D00000FF03FF0000100000123400021A2B", nullptr},
    {"4E binary read D100 x3", false,
     "54 00 34 12 00 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00",
     "D4 00 34 12 00 00 00 FF FF 03 00 08 00 00 00 34 12 02 00 2B 1A", nullptr},
    {"4E ASCII read D100 x3", true,
     "54001234000000FF03FF000018001004010000D*0001000003",
     "D4001234000000FF03FF0000100000123400021A2B", nullptr},
    {"1E binary bit read M100 x8", false,
     "00 FF 0A 00 64 00 00 00 20 4D 08 00", "80 00 10 10 01 10", nullptr},
    {"1E ASCII bit read M100 x8", true,
     "00FF000A4D20000000640800", "800010100110", nullptr},
    {"1E ASCII odd bit count pads the data", true,
     "00FF000A4D20000000640500", "8000101000", nullptr},
    {"1E binary word read D100 x3", false,
     "01 FF 0A 00 64 00 00 00 20 44 03 00", "81 00 34 12 02 00 2B 1A", nullptr},
    {"1E ASCII word read D100 x3", true,
     "01FF000A442000000064" "0300", "8100123400021A2B", nullptr},
    {"3E binary bit read M100 x8", false,
     "50 00 00 FF FF 03 00 0C 00 10 00 01 04 01 00 64 00 00 90 08 00",
     "D0 00 00 FF FF 03 00 06 00 00 00 10 10 01 10", nullptr},
    {"3E ASCII bit read M100 x8", true,
     "500000FF03FF000018001004010001M*0001000008",
     "D00000FF03FF00000C000010100110", nullptr},
    {"3E ASCII hex-numbered device W1F0", true,
     "500000FF03FF000018001004010000W*0001F00001",
     "D00000FF03FF0000080000ABCD", nullptr},
    {"3E binary batch write D100 x3", false,
     "50 00 00 FF FF 03 00 12 00 10 00 01 14 00 00 64 00 00 A8 03 00 95 19 02 12 30 11",
     "D0 00 00 FF FF 03 00 02 00 00 00",
     [](const Memory& m) {
         EXPECT_EQ(m.word(D, 100), 0x1995);
         EXPECT_EQ(m.word(D, 101), 0x1202);
         EXPECT_EQ(m.word(D, 102), 0x1130);
     }},
    {"3E binary batch write bits M200 x5", false,
     "50 00 00 FF FF 03 00 0F 00 10 00 01 14 01 00 C8 00 00 90 05 00 11 00 10",
     "D0 00 00 FF FF 03 00 02 00 00 00",
     [](const Memory& m) {
         EXPECT_TRUE(m.bit(M, 200));
         EXPECT_TRUE(m.bit(M, 201));
         EXPECT_FALSE(m.bit(M, 202));
         EXPECT_FALSE(m.bit(M, 203));
         EXPECT_TRUE(m.bit(M, 204));
     }},
    {"3E ASCII batch write bits M200 x5", true,
     "500000FF03FF00001D001014010001M*000200000511001",
     "D00000FF03FF0000040000",
     [](const Memory& m) { EXPECT_EQ(m.word(M, 200) & 0x1F, 0x13); }},
    {"3E binary random write words", false,
     "50 00 00 FF FF 03 00 1C 00 10 00 02 14 00 00 02 01 00 00 00 A8 50 05 14 00 00 A8 75 05 "
     "DC 05 00 A8 23 FF BC 4D",
     "D0 00 00 FF FF 03 00 02 00 00 00",
     [](const Memory& m) {
         EXPECT_EQ(m.word(D, 0), 0x0550);
         EXPECT_EQ(m.word(D, 20), 0x0575);
         EXPECT_EQ(m.word(D, 1500), 0xFF23);
         EXPECT_EQ(m.word(D, 1501), 0x4DBC);
     }},
    {"3E ASCII random write words", true,
     "500000FF03FF00002C0010140200000101D*0000000550D*0015004DBC23FF",
     "D00000FF03FF0000040000",
     [](const Memory& m) {
         EXPECT_EQ(m.word(D, 0), 0x0550);
         EXPECT_EQ(m.word(D, 1500), 0x23FF);
         EXPECT_EQ(m.word(D, 1501), 0x4DBC);
     }},
    {"3E binary random write bits", false,
     "50 00 00 FF FF 03 00 11 00 10 00 02 14 01 00 02 32 00 00 90 01 2F 00 00 9D 01",
     "D0 00 00 FF FF 03 00 02 00 00 00",
     [](const Memory& m) {
         EXPECT_TRUE(m.bit(M, 50));
         EXPECT_TRUE(m.bit(Y, 0x2F));
     }},
    {"1E binary test write words", false,
     "05 FF 0A 00 02 00 64 00 00 00 20 44 34 12 00 00 00 00 20 57 CD AB", "85 00",
     [](const Memory& m) {
         EXPECT_EQ(m.word(D, 100), 0x1234);
         EXPECT_EQ(m.word(W, 0), 0xABCD);
     }},
    {"1E binary test write bits", false,
     "04 FF 0A 00 02 00 32 00 00 00 20 4D 01 2F 00 00 00 20 59 01", "84 00",
     [](const Memory& m) {
         EXPECT_TRUE(m.bit(M, 50));
         EXPECT_TRUE(m.bit(Y, 0x2F));
     }},
    {"1E ASCII batch write bits M200 x5", true,
     "02FF000A4D200000" "00C8" "0500" "11001" "0", "8200",
     [](const Memory& m) { EXPECT_EQ(m.word(M, 200) & 0x1F, 0x13); }},
    {"1E binary batch write words D300 x2", false,
     "03 FF 0A 00 2C 01 00 00 20 44 02 00 11 11 22 22", "83 00",
     [](const Memory& m) {
         EXPECT_EQ(m.word(D, 300), 0x1111);
         EXPECT_EQ(m.word(D, 301), 0x2222);
     }},
    {"3E binary unknown command", false,
     "50 00 00 FF FF 03 00 0C 00 10 00 01 01 00 00 64 00 00 A8 03 00",
     "D0 00 00 FF FF 03 00 0B 00 59 C0 00 FF FF 03 00 01 01 00 00", nullptr},
    {"3E ASCII unknown device", true,
     "500000FF03FF000018001004010000QQ0001000003",
     "D00000FF03FF000016C05B00FF03FF0004010000", nullptr},
    {"4E binary error keeps serial and route", false,
     "54 00 CD AB 00 00 01 02 FF 03 05 0C 00 10 00 01 04 00 00 64 00 00 01 03 00",
     "D4 00 CD AB 00 00 01 02 FF 03 05 0B 00 5B C0 01 02 FF 03 05 01 04 00 00", nullptr},
    {"1E binary PC number not local", false,
     "01 00 0A 00 64 00 00 00 20 44 03 00", "81 5B 10 00", nullptr},
    {"1E ASCII unknown device", true,
     "01FF000A202000000064" "0300", "8156", nullptr},
};

void PrintTo(const Golden& g, std::ostream* os) { *os << g.name; }

class GoldenTest : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenTest, AnswersWithTheReferenceBytes)
{
    const Golden& g = GetParam();
    Memory memory;
    preset(memory);
    memory.setWord(W, 0x1F0, 0xABCD);
    Protocol p(memory);
    auto request = bytesOf(g.request, g.text);
    std::size_t consumed = 0;
    auto reply = answer(p, request, &consumed);
    EXPECT_EQ(consumed, request.size());
    if (g.text) EXPECT_EQ(std::string(reply.begin(), reply.end()), g.reply);
    else EXPECT_EQ(toHex(reply), toHex(hexBytes(g.reply)));
    if (g.check) g.check(memory);
}

INSTANTIATE_TEST_SUITE_P(Frames, GoldenTest, ::testing::ValuesIn(kGoldens),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& c : n) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

// The test's own request builder must produce the reference layout.
TEST(RequestBuilder, MatchesTheReferenceLayout)
{
    Fields b(false), a(true);
    test::device3E(b, "D*", D, false, 100).n(2, 3);
    test::device3E(a, "D*", D, false, 100).n(2, 3);
    EXPECT_EQ(toHex(test::request3E(kKinds[2], 0x0401, 0, b)),
              "50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00");
    auto ascii = test::request3E(kKinds[5], 0x0401, 0, a);
    EXPECT_EQ(std::string(ascii.begin(), ascii.end()), "54001234000000FF03FF000018001004010000D*0001000003");
    Fields e(true);
    test::device1E(e, 0x4D20, 100).n(1, 8).n(1, 0);
    auto one = test::request1E(kKinds[1], 0x00, e);
    EXPECT_EQ(std::string(one.begin(), one.end()), "00FF000A4D20000000640800");
}

// ---- end codes ----------------------------------------------------------------------

struct ErrorCase {
    const char* name;
    int kind;  // index into kKinds
    std::function<std::vector<std::uint8_t>(const test::Kind&)> request;
    std::uint16_t endCode;
    std::optional<std::uint8_t> abnormal;
};

std::vector<std::uint8_t> read3E(const test::Kind& k, const char* name, std::uint8_t code, bool hex,
                                 std::uint32_t number, std::uint32_t count, std::uint16_t sub = 0)
{
    Fields f(k.ascii);
    test::device3E(f, name, code, hex, number).n(2, count);
    return test::request3E(k, 0x0401, sub, f);
}

std::vector<std::uint8_t> read1E(const test::Kind& k, std::uint8_t cmd, std::uint16_t code, std::uint32_t number,
                                 std::uint32_t count)
{
    Fields f(k.ascii);
    test::device1E(f, code, number).n(1, count).n(1, 0);
    return test::request1E(k, cmd, f);
}

using namespace endcode;

const ErrorCase kErrors[] = {
    // Lengths.
    {"binary body shorter than its command", 2, [](const test::Kind& k) {
         auto r = read3E(k, "D*", D, false, 100, 3);
         r.pop_back();
         r[7] = std::uint8_t(r.size() - 9);
         return r; }, kLength, {}},
    {"binary body with extra bytes", 2, [](const test::Kind& k) {
         auto r = read3E(k, "D*", D, false, 100, 3);
         r.push_back(0);
         r[7] = std::uint8_t(r.size() - 9);
         return r; }, kLength, {}},
    {"ascii body with extra characters", 3, [](const test::Kind& k) {
         auto r = read3E(k, "D*", D, false, 100, 3);
         r.push_back('0');
         r.push_back('0');
         r[17] = 'A';  // length 0x001A
         return r; }, kAsciiLength, {}},
    {"ascii non-hex character", 3, [](const test::Kind& k) {
         auto r = read3E(k, "D*", D, false, 100, 3);
         r.back() = 'G';
         return r; }, kAsciiConversion, {}},
    {"ascii hex digit in a decimal device number", 3, [](const test::Kind& k) {
         return read3E(k, "D*", D, true, 0x1A, 1); }, kAsciiConversion, {}},
    // Devices.
    {"binary unknown device code", 2, [](const test::Kind& k) { return read3E(k, "D*", 0x01, false, 0, 1); }, kDevice, {}},
    {"ascii unknown device name", 5, [](const test::Kind& k) { return read3E(k, "Q*", 0, false, 0, 1); }, kDevice, {}},
    {"bit units on a word device", 2, [](const test::Kind& k) { return read3E(k, "D*", D, false, 0, 1, 1); }, kRequest, {}},
    // Counts.
    {"zero words", 2, [](const test::Kind& k) { return read3E(k, "D*", D, false, 0, 0); }, kPointCount, {}},
    {"961 words", 4, [](const test::Kind& k) { return read3E(k, "D*", D, false, 0, 961); }, kPointCount, {}},
    {"7169 bits binary", 2, [](const test::Kind& k) { return read3E(k, "M*", M, false, 0, 7169, 1); }, kPointCount, {}},
    {"7168 bits binary", 4, [](const test::Kind& k) { return read3E(k, "M*", M, false, 0, 7168, 1); }, kOk, {}},
    {"3585 bits ascii", 3, [](const test::Kind& k) { return read3E(k, "M*", M, false, 0, 3585, 1); }, kPointCount, {}},
    {"3584 bits ascii", 5, [](const test::Kind& k) { return read3E(k, "M*", M, false, 0, 3584, 1); }, kOk, {}},
    {"960 words", 2, [](const test::Kind& k) { return read3E(k, "D*", D, false, 0, 960); }, kOk, {}},
    {"189 random bits", 2, [](const test::Kind& k) {
         Fields f(k.ascii);
         f.n(1, 189);
         return test::request3E(k, 0x1402, 1, f); }, kPointCount, {}},
    {"random words over budget", 2, [](const test::Kind& k) {
         Fields f(k.ascii);
         f.n(1, 100).n(1, 52);  // 1200 + 728 > 1920
         return test::request3E(k, 0x1402, 0, f); }, kPointCount, {}},
    // Ranges.
    {"words past the end of D", 2, [](const test::Kind& k) { return read3E(k, "D*", D, false, 65535, 2); }, kAddressRange, {}},
    {"word units past the end of M", 3, [](const test::Kind& k) { return read3E(k, "M*", M, false, 65520, 2); }, kAddressRange, {}},
    {"last word of D is in range", 2, [](const test::Kind& k) { return read3E(k, "D*", D, false, 65535, 1); }, kOk, {}},
    // Commands and data.
    {"unknown subcommand", 4, [](const test::Kind& k) { return read3E(k, "D*", D, false, 0, 1, 2); }, kCommand, {}},
    {"random bit value 2", 2, [](const test::Kind& k) {
         Fields f(k.ascii);
         test::device3E(f.n(1, 1), "M*", M, false, 0).n(1, 2);
         return test::request3E(k, 0x1402, 1, f); }, kBitData, {}},
    {"batch bit value 3", 3, [](const test::Kind& k) {
         Fields f(k.ascii);
         test::device3E(f, "M*", M, false, 0).n(2, 2).text("13");
         return test::request3E(k, 0x1401, 1, f); }, kBitData, {}},
    // 1E.
    {"1E unknown device", 0, [](const test::Kind& k) { return read1E(k, 0x01, 0x2020, 0, 1); }, k1EDevice, {}},
    {"1E bit read of a word device", 1, [](const test::Kind& k) { return read1E(k, 0x00, 0x4420, 0, 1); }, k1ERange, {}},
    {"1E past the end of D", 0, [](const test::Kind& k) { return read1E(k, 0x01, 0x4420, 65500, 100); }, k1ERange, {}},
    {"1E bit device word read not on 16", 0, [](const test::Kind& k) { return read1E(k, 0x01, 0x4D20, 8, 1); }, k1EPoints, {}},
    {"1E 129 words of a bit device", 1, [](const test::Kind& k) { return read1E(k, 0x01, 0x4D20, 0, 129); }, k1EPoints, {}},
    {"1E 81 test bits", 0, [](const test::Kind& k) {
         Fields f(k.ascii);
         f.n(1, 81).n(1, 0);
         for (int i = 0; i < 81; ++i) test::device1E(f, 0x4D20, std::uint32_t(i)).n(1, 1);
         return test::request1E(k, 0x04, f); }, k1EPoints, {}},
    {"1E unknown command", 0, [](const test::Kind& k) { return test::request1E(k, 0x09, Fields(k.ascii)); }, k1ECommand, {}},
    {"1E ascii non-hex", 1, [](const test::Kind& k) {
         auto r = read1E(k, 0x01, 0x4420, 0, 1);
         r[9] = 'X';
         return r; }, k1EAscii, {}},
    {"1E PC number", 0, [](const test::Kind& k) {
         auto r = read1E(k, 0x01, 0x4420, 0, 1);
         r[1] = 0x01;
         return r; }, k1EAbnormal, k1EPcNumber},
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class EndCodeTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(EndCodeTest, AnswersTheEndCodeAndChangesNothing)
{
    const ErrorCase& c = GetParam();
    Memory memory;
    const auto before = memory.changeCount();
    Protocol p(memory);
    auto request = c.request(kKinds[c.kind]);
    auto step = p.next(request);
    ASSERT_EQ(step.status, Protocol::Status::Reply);
    EXPECT_EQ(step.consumed, request.size());
    EXPECT_EQ(step.reply.endCode, c.endCode);
    EXPECT_EQ(step.reply.abnormal, c.abnormal);
    EXPECT_EQ(memory.changeCount(), before);
}

INSTANTIATE_TEST_SUITE_P(Requests, EndCodeTest, ::testing::ValuesIn(kErrors),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& ch : n) if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

TEST(EndCode, FailedWriteLeavesMemoryUntouched)
{
    Memory memory;
    Protocol p(memory);
    // Two random words, the second one past the end of D: neither is written.
    auto req = hexBytes("50 00 00 FF FF 03 00 14 00 10 00 02 14 00 00 02 00 "
                        "00 00 00 A8 11 11 FF FF 01 A8 22 22");
    auto step = p.next(req);
    EXPECT_EQ(step.reply.endCode, kAddressRange);
    EXPECT_EQ(memory.word(D, 0), 0);
}

// ---- framing ------------------------------------------------------------------------

TEST(Framing, WaitsForTheWholeRequest)
{
    Memory memory;
    Protocol p(memory);
    auto req = hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00");
    for (std::size_t n = 0; n < req.size(); ++n)
        EXPECT_EQ(p.next(std::span(req.data(), n)).status, Protocol::Status::NeedMore) << n;
    auto one = hexBytes("00 FF 0A 00 64 00 00 00 20 4D 08 00");
    for (std::size_t n = 0; n < one.size(); ++n)
        EXPECT_EQ(p.next(std::span(one.data(), n)).status, Protocol::Status::NeedMore) << n;
}

TEST(Framing, TakesOneRequestAtATime)
{
    Memory memory;
    Protocol p(memory);
    auto req = hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00");
    auto two = req;
    two.insert(two.end(), req.begin(), req.end());
    EXPECT_EQ(p.next(two).consumed, req.size());
    EXPECT_EQ(p.completeLength(two), req.size());
}

TEST(Framing, HugeLengthFieldIsAnsweredNotAwaited)
{
    Memory memory;
    Protocol p(memory);
    auto req = hexBytes("50 00 00 FF FF 03 00 FF FF 10 00");
    auto step = p.next(req);
    ASSERT_EQ(step.status, Protocol::Status::Reply);
    EXPECT_EQ(step.reply.endCode, kLength);
    EXPECT_EQ(step.consumed, req.size());
}

TEST(Framing, FixedFrameKindDiscardsOtherFrames)
{
    Memory memory;
    Protocol p(memory, FrameKind::E3, Encoding::Binary);
    auto ascii = textBytes("500000FF03FF000018001004010000D*0001000003");
    auto step = p.next(ascii);
    EXPECT_EQ(step.status, Protocol::Status::Discard);
    EXPECT_EQ(step.consumed, ascii.size());
    auto e4 = hexBytes("54 00 34 12 00 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00");
    EXPECT_EQ(p.next(e4).status, Protocol::Status::Discard);
}

TEST(Framing, AutoDetectsEveryKind)
{
    Memory memory;
    Protocol p(memory);
    struct Row { const char* text; bool ascii; FrameKind frame; };
    const Row rows[] = {
        {"50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00", false, FrameKind::E3},
        {"54 00 01 00 00 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 03 00", false, FrameKind::E4},
        {"00 FF 0A 00 64 00 00 00 20 4D 08 00", false, FrameKind::E1},
    };
    for (const auto& r : rows) {
        auto step = p.next(hexBytes(r.text));
        EXPECT_EQ(step.reply.request.frame, r.frame) << r.text;
        EXPECT_EQ(step.reply.request.ascii, r.ascii) << r.text;
    }
    const Row text[] = {
        {"500000FF03FF000018001004010000D*0001000003", true, FrameKind::E3},
        {"54000001000000FF03FF000018001004010000D*0001000003", true, FrameKind::E4},
        {"00FF000A4D20000000640800", true, FrameKind::E1},
    };
    for (const auto& r : text) {
        auto step = p.next(textBytes(r.text));
        EXPECT_EQ(step.reply.request.frame, r.frame) << r.text;
        EXPECT_TRUE(step.reply.request.ascii) << r.text;
        EXPECT_EQ(step.reply.endCode, 0) << r.text;
    }
}

TEST(Framing, RecordsTheMonitoringTimerAndRoute)
{
    Memory memory;
    Protocol p(memory);
    auto step = p.next(hexBytes("54 00 CD AB 00 00 01 02 E0 03 05 0C 00 28 00 01 04 00 00 64 00 00 A8 01 00"));
    EXPECT_EQ(step.reply.request.serial, 0xABCD);
    EXPECT_EQ(step.reply.request.network, 1);
    EXPECT_EQ(step.reply.request.pc, 2);
    EXPECT_EQ(step.reply.request.moduleIo, 0x03E0);
    EXPECT_EQ(step.reply.request.station, 5);
    EXPECT_EQ(step.reply.request.timer, 0x28);
}

// ---- reply tweaks -------------------------------------------------------------------

TEST(ReplyTweaks, ChangeOnlyTheirField)
{
    Reply r;
    r.request.frame = FrameKind::E4;
    r.request.serial = 0x1234;
    r.data = {0x34, 0x12};
    EXPECT_EQ(toHex(encodeReply(r)), "D4 00 34 12 00 00 00 FF FF 03 00 04 00 00 00 34 12");
    ReplyTweaks t;
    t.wrongSerial = true;
    EXPECT_EQ(toHex(encodeReply(r, t)), "D4 00 35 12 00 00 00 FF FF 03 00 04 00 00 00 34 12");
    t = {};
    t.wrongRoute = true;
    EXPECT_EQ(toHex(encodeReply(r, t)), "D4 00 34 12 00 00 01 FF FF 03 00 04 00 00 00 34 12");
    t = {};
    t.wrongSubheader = true;
    EXPECT_EQ(toHex(encodeReply(r, t)), "D0 00 34 12 00 00 00 FF FF 03 00 04 00 00 00 34 12");
    t = {};
    t.lengthFFFF = true;
    EXPECT_EQ(toHex(encodeReply(r, t)), "D4 00 34 12 00 00 00 FF FF 03 00 FF FF 00 00 34 12");
    r.request.frame = FrameKind::E1;
    r.request.command = 0x01;
    t = {};
    t.wrongSubheader = true;
    EXPECT_EQ(toHex(encodeReply(r, t)), "80 00 34 12");
}

} // namespace
} // namespace plcsim
