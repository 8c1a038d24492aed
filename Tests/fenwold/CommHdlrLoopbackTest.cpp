// The MELSEC handler, device, blocks and points end to end on loopback against the
// simulated PLC, or the PLC that TESSARO_TEST_PLC names, in all six frame kinds.
// Everything is written through the driver and read back through the driver, so
// every test here runs against an outside PLC as well.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fenwold/LoopbackFixture.h"
#include "fenwold/MelsecDevice.h"
#include "fenwold/MelsecFakes.h"
#include "kestrun/model/DeviceUpdate.h"
#include "platform/dde/BrisantBlocks.h"

using namespace fenwoldtest;

namespace {

constexpr WORD kY = 0x9D;

using Words = std::vector<WORD>;

class Loopback : public KindTest<PlcKind> {};

TEST_P(Loopback, ReadBackAfterAWrite)
{
    CMemoryArray* d = link.AddBlock(kD, Base() + 32, BRISANT_WORD, 2);
    ASSERT_NE(d, nullptr);
    _BRISANTDATAVALUE v{};
    v.wVal = 4711;
    ASSERT_TRUE(link.Write(d, 1, v));
    EXPECT_TRUE(d->IsModified());
    ASSERT_TRUE(link.Read(d));
    EXPECT_EQ(d->GetMemoryObject(1)->GetValue().wVal, 4711);
}

TEST_P(Loopback, MonitorQueryIsAnswered)
{
    EXPECT_EQ(link.hdlr->DoDeviceMonitor(link.device.get(), link.line, 0), 1);
}

// The bits of a word: bit 0 is the first element of a bit device and the least
// significant bit of a word device's word, both ways.
TEST_P(Loopback, BitsKeepTheirOrderInsideWords)
{
    const DWORD head = Base() + 256;
    std::vector<bool> bits(16, false);
    bits[0] = bits[1] = bits[15] = true;
    ASSERT_TRUE(link.WriteBits(kM, head, bits));
    EXPECT_EQ(link.ReadWords(kM, head, 1), Words{0x8003});
    EXPECT_EQ(link.ReadBits(kM, head + 1, 15), std::vector<bool>(bits.begin() + 1, bits.end()));

    ASSERT_TRUE(link.WriteWords(kD, head, {0x8003}));
    CMemoryArray* d = link.AddBlock(kD, head, BRISANT_WORD, 1);
    ASSERT_TRUE(link.Read(d));
    for (int bit = 0; bit < 16; ++bit) {
        CdsMemoryObject* b = d->GetMemoryObject(0)->GetBitObject(bit);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->GetValue().boolVal != 0, bits[static_cast<std::size_t>(bit)]) << "bit " << bit;
    }
}

// A single bit of a bit device's word is written alone; the 1E frame writes none.
TEST_P(Loopback, SingleBitsOfAWordAreWrittenAlone)
{
    const DWORD head = Base() + 288;
    ASSERT_TRUE(link.WriteWords(kB, head, {0x0000, 0x0000}));
    CMemoryArray* b = link.AddBlock(kB, head, BRISANT_WORD, 2);
    ASSERT_NE(b, nullptr);
    CdsMemoryObject* bit = b->GetMemoryObject(1)->GetBitObject(3);
    ASSERT_NE(bit, nullptr);
    _BRISANTDATAVALUE on{};
    on.boolVal = 1;
    EXPECT_EQ(link.hdlr->DoDataWrite(bit, on, link.line), Is1E() ? 0 : 1);
    // The word of the bit is read back.
    EXPECT_EQ(b->IsModified(), !Is1E());
    EXPECT_EQ(link.ReadWords(kB, head, 2), (Words{0x0000, static_cast<WORD>(Is1E() ? 0x0000 : 0x0008)}));
}

// Words of a bit device start at any element: M5 as a word is M5..M20, in 1E
// frames as well, whose word units start on a multiple of 16.
TEST_P(Loopback, WordsOfABitDeviceReadFromAnyHead)
{
    const DWORD head = Base() + 320;
    ASSERT_TRUE(link.WriteWords(kM, head, {0xFFE0, 0x001F, 0x0001}));
    CMemoryArray* i2 = link.AddBlock(kM, head + 5, BRISANT_SHORT, 2);
    ASSERT_TRUE(link.Read(i2));
    EXPECT_EQ(i2->GetMemoryObject(0)->GetValue().iVal, -1);
    EXPECT_EQ(i2->GetMemoryObject(1)->GetValue().iVal, 0x0800);
    CMemoryArray* u4 = link.AddBlock(kM, head + 1, BRISANT_DWORD, 1);
    ASSERT_TRUE(link.Read(u4));
    EXPECT_EQ(u4->GetMemoryObject(0)->GetValue().dwVal, 0x800FFFF0u);
}

// The largest blocks a request reads: 960 words and 7168 bits (1E: 256 words and
// 2048 bits, 128 words of a bit device).
TEST_P(Loopback, LargestBlocksAreReadInOneRequest)
{
    const int words = Is1E() ? 256 : 960;
    const int bits = Is1E() ? 2048 : 7168;
    ASSERT_TRUE(link.WriteWords(kD, Base(), {1}));
    ASSERT_TRUE(link.WriteWords(kD, Base() + static_cast<DWORD>(words) - 1, {2}));
    // Bits of this kind only: other kinds' tests may run at the same time.
    const auto own = static_cast<DWORD>(Kind().region);
    ASSERT_TRUE(link.WriteBits(kM, own, {true}));
    ASSERT_TRUE(link.WriteBits(kM, static_cast<DWORD>(bits) - 1 - own, {true}));

    const std::size_t requests = Sim() ? Sim()->requestCount() : 0;
    CMemoryArray* d = link.AddBlock(kD, Base(), BRISANT_WORD, words);
    CMemoryArray* m = link.AddBlock(kM, 0, BRISANT_BOOL, bits);
    ASSERT_TRUE(link.Read(d));
    ASSERT_TRUE(link.Read(m));
    if (Sim()) {
        EXPECT_EQ(Sim()->requestCount(), requests + 2);
    }
    EXPECT_EQ(d->GetMemoryObject(0)->GetValue().wVal, 1);
    EXPECT_EQ(d->GetMemoryObject(words - 1)->GetValue().wVal, 2);
    EXPECT_EQ(m->GetMemoryObject(static_cast<int>(own))->GetValue().boolVal, 1);
    EXPECT_EQ(m->GetMemoryObject(bits - 1 - static_cast<int>(own))->GetValue().boolVal, 1);
}

// One block past the PLC's limit is refused by the PLC: that is an answer, so the
// line's count stays, while the block counts it and shows bad quality. The other
// blocks read on.
TEST_P(Loopback, BlockPastThePlcsLimitIsRefusedWithoutCountingOnTheLine)
{
    CMemoryArray* good = link.AddBlock(kD, Base() + 900, BRISANT_WORD, 1);
    ASSERT_TRUE(link.WriteWords(kD, Base() + 900, {77}));
    ASSERT_TRUE(link.Read(good));
    CMemoryArray* big = Is1E() ? link.AddBlock(kM, Base(), BRISANT_BOOL, 2049)
                               : link.AddBlock(kD, Base(), BRISANT_WORD, 961);
    ASSERT_NE(big, nullptr);
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(link.hdlr.get(), big, link.line));
    EXPECT_TRUE(link.Logged("DataRead ([PLC]"));
    EXPECT_EQ(big->GetErrorCount(), 1);
    EXPECT_EQ(link.device->GetErrorCount(link.line), 0);
    EXPECT_EQ(big->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_NONE);
    EXPECT_TRUE(link.Read(good));
    EXPECT_EQ(good->GetMemoryObject(0)->GetValue().wVal, 77);
}

// A write past the device's end is refused by the PLC: logged, counted on the block
// and not on the line, and the block is read back.
TEST_P(Loopback, WritePastTheDevicesEndIsRefusedAndCountedOnTheBlock)
{
    CMemoryArray* d = link.AddBlock(kD, 65536 + Base(), BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    _BRISANTDATAVALUE v{};
    v.wVal = 5;
    link.log.Clear();
    EXPECT_EQ(link.hdlr->DoDataWrite(d->GetMemoryObject(0), v, link.line), 1);
    EXPECT_EQ(link.log.Lines(LOG_ERROR).size(), 1u);
    EXPECT_EQ(d->GetErrorCount(), 1);
    EXPECT_EQ(link.device->GetErrorCount(link.line), 0);
    EXPECT_TRUE(d->IsModified());
}

// Points the driver cannot write send nothing and change nothing.
TEST_P(Loopback, UnwritablePointsSendNothing)
{
    const DWORD head = Base() + 352;
    ASSERT_TRUE(link.WriteWords(kD, head, {0x1111, 0x2222}));
    CMemoryArray* inputs = link.AddBlock(0x9C, head, BRISANT_BOOL, 4);
    CMemoryArray* words = link.AddBlock(kD, head, BRISANT_WORD, 2);
    ASSERT_TRUE(inputs && words);
    const std::size_t before = Sim() ? Sim()->requestCount() : 0;
    _BRISANTDATAVALUE v{};
    v.boolVal = 1;
    EXPECT_EQ(link.hdlr->DoDataWrite(inputs->GetMemoryObject(0), v, link.line), 0);
    // A view over two words, and a bit of a word device.
    CdsMemoryObject* view = words->CreateMemoryVariant(PlcLink::Address(kD, head), "F");
    ASSERT_NE(view, nullptr);
    v = {};
    v.fltVal = 2.5f;
    EXPECT_EQ(link.hdlr->DoDataWrite(view, v, link.line), 0);
    CdsMemoryObject* bit = words->GetMemoryObject(0)->GetBitObject(5);
    ASSERT_NE(bit, nullptr);
    v = {};
    v.boolVal = 1;
    EXPECT_EQ(link.hdlr->DoDataWrite(bit, v, link.line), 0);
    if (Sim()) {
        EXPECT_EQ(Sim()->requestCount(), before);
    }
    EXPECT_EQ(link.ReadWords(kD, head, 2), (Words{0x1111, 0x2222}));
}

// Two lines of one device (a redundant device whose master lines reach the same PLC)
// send and read at the same time, each with its own requests and serial numbers.
TEST_P(Loopback, TwoLinesOfOneDeviceReadAtOnce)
{
    const DWORD head = Base() + 384;
    ASSERT_TRUE(link.WriteWords(kD, head, {1, 2, 3, 4}));
    tagTHREADINFO* second = link.OpenSecondLine();
    ASSERT_NE(second, nullptr);
    CMemoryArray* d = link.AddBlock(kD, head, BRISANT_WORD, 4);
    ASSERT_NE(d, nullptr);
    auto poll = [&](tagTHREADINFO* line, int& good) {
        for (int i = 0; i < 25; ++i) {
            good += link.hdlr->DoDataRead(d, line) == 1;
            good += link.hdlr->DoDeviceMonitor(link.device.get(), line, 0) == 1;
        }
    };
    int first = 0;
    int other = 0;
    std::thread a(poll, link.line, std::ref(first));
    std::thread b(poll, second, std::ref(other));
    a.join();
    b.join();
    EXPECT_EQ(first, 50);
    EXPECT_EQ(other, 50);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(d->GetMemoryObject(i)->GetValue().wVal, i + 1);
}

// --- every device family ---

struct FamilyCase {
    const char* name;
    WORD code;
};

const FamilyCase kFamilies[] = {
    {"D", kD}, {"W", kW}, {"R", kR}, {"TN", kTN}, {"ZR", kZR}, {"M", kM}, {"B", kB}, {"Y", kY},
};

class LoopbackFamily : public KindTest<std::tuple<PlcKind, FamilyCase>> {};

// Words written land exactly where they belong, their neighbours unchanged, in every
// numbering (decimal, hexadecimal) of word and bit devices.
TEST_P(LoopbackFamily, WordsWrittenAreReadBackAndTheirNeighboursKept)
{
    const WORD code = std::get<1>(GetParam()).code;
    const DWORD step = MelsecIsBitDevice(code) ? 16 : 1;
    const DWORD head = Base() + 64;
    WORD code1E = 0;
    if (Is1E() && !Melsec1ECode(code, code1E)) {
        // The 1E frame cannot address the device: nothing is sent.
        EXPECT_FALSE(link.WriteWords(code, head, {1}));
        EXPECT_FALSE(link.ReadWords(code, head, 1));
        return;
    }
    ASSERT_TRUE(link.WriteWords(code, head - step, {0x5A5A}));
    ASSERT_TRUE(link.WriteWords(code, head + 3 * step, {0xA5A5}));
    ASSERT_TRUE(link.WriteWords(code, head, {0x1234, 0xFFFE, 0x8001}));
    EXPECT_EQ(link.ReadWords(code, head - step, 5), (Words{0x5A5A, 0x1234, 0xFFFE, 0x8001, 0xA5A5}));
}

// --- every data type ---

struct TypeCase {
    const char* name;
    int type;
    WORD code;
    std::vector<double> values;
    const char* text;   // string points
    bool writtenIn1E;   // 1E frames write bits and words only
};

const TypeCase kWritable[] = {
    {"Bool", BRISANT_BOOL, kM, {1, 0, 1, 1}, nullptr, true},
    {"I2", BRISANT_SHORT, kD, {-2, 32767}, nullptr, true},
    {"UI2", BRISANT_WORD, kD, {65534, 1}, nullptr, true},
    {"I4", BRISANT_LONG, kD, {305419896, -5}, nullptr, false},
    {"UI4", BRISANT_DWORD, kD, {4000000000.0, 7}, nullptr, false},
    {"R4", BRISANT_FLOAT, kD, {1.5, -10.25}, nullptr, false},
    {"String", BRISANT_STRING, kD, {}, "HELLO", false},
};

_BRISANTDATAVALUE ValueOf(int type, double number)
{
    _BRISANTDATAVALUE v{};
    switch (type) {
    case BRISANT_BOOL: v.boolVal = number != 0 ? 1 : 0; break;
    case BRISANT_SHORT: v.iVal = static_cast<SHORT>(number); break;
    case BRISANT_WORD: v.wVal = static_cast<WORD>(number); break;
    case BRISANT_LONG: v.lVal = static_cast<LONG>(number); break;
    case BRISANT_DWORD: v.dwVal = static_cast<DWORD>(number); break;
    case BRISANT_FLOAT: v.fltVal = static_cast<FLOAT>(number); break;
    default: break;
    }
    return v;
}

std::string Show(int type, const _BRISANTDATAVALUE& v)
{
    char text[64];
    switch (type) {
    case BRISANT_BOOL: return v.boolVal ? "1" : "0";
    case BRISANT_CHAR: return std::to_string(v.cVal);
    case BRISANT_BYTE: return std::to_string(v.bVal);
    case BRISANT_SHORT: return std::to_string(v.iVal);
    case BRISANT_WORD: return std::to_string(v.wVal);
    case BRISANT_LONG: return std::to_string(v.lVal);
    case BRISANT_DWORD: return std::to_string(v.dwVal);
    case BRISANT_FLOAT: std::snprintf(text, sizeof text, "%g", static_cast<double>(v.fltVal)); return text;
    case BRISANT_DOUBLE: std::snprintf(text, sizeof text, "%g", v.dblVal); return text;
    case BRISANT_STRING: return v.pszVal ? v.pszVal : "";
    case BRISANT_FIXEDSTRING:
        return v.pcsVal ? std::string(dde::CountedChars(v.pcsVal), static_cast<std::size_t>(dde::CountedLength(v.pcsVal)))
                        : "";
    default: return "?";
    }
}

class LoopbackType : public KindTest<std::tuple<PlcKind, TypeCase>> {};

// Each writable type goes to the PLC and comes back as it went; the 1E frame sends
// nothing for the types it cannot write and the PLC keeps what it held.
TEST_P(LoopbackType, WrittenValuesAreReadBack)
{
    const TypeCase& c = std::get<1>(GetParam());
    const DWORD head = Base() + 128;
    const int points = c.text ? 6 : static_cast<int>(c.values.size());
    const Words before{0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
    if (c.type == BRISANT_BOOL)
        ASSERT_TRUE(link.WriteWords(c.code, head, {0x0000}));
    else
        ASSERT_TRUE(link.WriteWords(c.code, head, before));
    CMemoryArray* block = link.AddBlock(c.code, head, c.type, points);
    ASSERT_NE(block, nullptr);
    const bool written = !Is1E() || c.writtenIn1E;
    if (c.text) {
        std::string text = c.text;
        _BRISANTDATAVALUE v{};
        v.pszVal = text.data();
        EXPECT_EQ(link.Write(block, 0, v), written);
    } else {
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_EQ(link.Write(block, static_cast<int>(i), ValueOf(c.type, c.values[i])), written) << i;
    }
    if (!written) {
        EXPECT_EQ(link.ReadWords(c.code, head, 4), before);
        return;
    }
    CMemoryArray* fresh = link.AddBlock(c.code, head, c.type, points);
    ASSERT_TRUE(link.Read(fresh));
    if (c.text) {
        EXPECT_EQ(Show(c.type, fresh->GetMemoryObject(0)->GetValue()), c.text);
        return;
    }
    for (std::size_t i = 0; i < c.values.size(); ++i)
        EXPECT_EQ(Show(c.type, fresh->GetMemoryObject(static_cast<int>(i))->GetValue()),
                  Show(c.type, ValueOf(c.type, c.values[i])))
            << i;
}

struct DecodeRow {
    const char* name;
    int type;
    Words words;
    int points;
    std::vector<std::string> expected;
};

const DecodeRow kDecodes[] = {
    {"I1", BRISANT_CHAR, {0x7FFF}, 2, {"-1", "127"}},
    {"UI1", BRISANT_BYTE, {0x4241, 0x0043}, 3, {"65", "66", "67"}},
    {"I2", BRISANT_SHORT, {0xFFFE, 0x8000}, 2, {"-2", "-32768"}},
    {"UI2", BRISANT_WORD, {0xFFFE, 0x0001}, 2, {"65534", "1"}},
    {"I4", BRISANT_LONG, {0x5678, 0x1234, 0xFFFB, 0xFFFF}, 2, {"305419896", "-5"}},
    {"UI4", BRISANT_DWORD, {0x2800, 0xEE6B}, 1, {"4000000000"}},
    {"R4", BRISANT_FLOAT, {0x0000, 0x3FC0, 0x0000, 0xC124}, 2, {"1.5", "-10.25"}},
    {"R8", BRISANT_DOUBLE, {0x0000, 0x0000, 0x0000, 0x3FF8}, 1, {"1.5"}},
    {"String", BRISANT_STRING, {0x4548, 0x4C4C, 0x004F}, 6, {"HELLO"}},
    {"CountedString", BRISANT_FIXEDSTRING, {0x4241, 0x0043, 0x0000}, 3, {"ABC"}},
};

class LoopbackDecode : public KindTest<std::tuple<PlcKind, DecodeRow>> {};

// Every data type a block may have reads the words it covers, in every frame kind.
TEST_P(LoopbackDecode, BlocksOfEveryTypeReadTheWordsTheyCover)
{
    const DecodeRow& r = std::get<1>(GetParam());
    const DWORD head = Base() + 160;
    ASSERT_TRUE(link.WriteWords(kD, head, r.words));
    CMemoryArray* block = link.AddBlock(kD, head, r.type, r.points);
    ASSERT_TRUE(link.Read(block));
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < r.expected.size(); ++i)
        seen.push_back(Show(r.type, block->GetMemoryObject(static_cast<int>(i))->GetValue()));
    EXPECT_EQ(seen, r.expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Loopback, testing::ValuesIn(kPlcKinds), KindName);
INSTANTIATE_TEST_SUITE_P(Families, LoopbackFamily,
                         testing::Combine(testing::ValuesIn(kPlcKinds), testing::ValuesIn(kFamilies)),
                         KindAnd<FamilyCase>);
INSTANTIATE_TEST_SUITE_P(Types, LoopbackType,
                         testing::Combine(testing::ValuesIn(kPlcKinds), testing::ValuesIn(kWritable)),
                         KindAnd<TypeCase>);
INSTANTIATE_TEST_SUITE_P(Types, LoopbackDecode,
                         testing::Combine(testing::ValuesIn(kPlcKinds), testing::ValuesIn(kDecodes)),
                         KindAnd<DecodeRow>);

}  // namespace
