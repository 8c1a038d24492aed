#include "fenwold/BitObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fenwold/MelsecFakes.h"
#include "fenwold/MemoryVariant.h"

using namespace fenwoldtest;

namespace {

_BRISANTDATAVALUE On(bool on)
{
    _BRISANTDATAVALUE v{};
    v.boolVal = on ? 1 : 0;
    return v;
}

struct BitCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    const char* address;
    WORD code;
    int type;
    int index;  // point of the block
    int bit;
    bool on;
    std::vector<BYTE> frame;  // empty: refused
    bool logged;
};

class BitWrite : public testing::TestWithParam<BitCase> {};

TEST_P(BitWrite, AddressesTheBitsElement)
{
    const BitCase& c = GetParam();
    McHandler handler;
    StationDevice device(&handler, c.deviceType, c.protocol);
    BlockPtr block = MakeBlock(device, c.address, c.code, c.type, 2);
    CdsMemoryObject* bit = block->GetMemoryObject(c.index)->GetBitObject(c.bit);
    ASSERT_NE(bit, nullptr);
    auto* source = dynamic_cast<CBitObject*>(bit);
    ASSERT_NE(source, nullptr);
    const char* query = source->GetCommandQueryString(On(c.on), 3, TRUE);
    if (c.frame.empty()) {
        EXPECT_EQ(query, nullptr);
        EXPECT_EQ(source->GetCommandQueryStringLen(3, nullptr), -1);
    } else {
        ASSERT_NE(query, nullptr);
        EXPECT_EQ(Bytes(query, source->GetCommandQueryStringLen(3, query)), c.frame);
        EXPECT_EQ(source->FillCommandQueryString(3), query);
    }
    EXPECT_EQ(handler.logs.size(), c.logged ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, BitWrite,
    testing::Values(
        // M0 as words: point 1 is M16, its bit 5 is M21.
        BitCase{"BitDeviceWord", kTypeQnA, "MC3", "M0", kM, BRISANT_WORD, 1, 5, true,
                Hex("50 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 15 00 00 90 01"), false},
        // B10 bit 11 is B1B.
        BitCase{"HexBitDevice", kTypeQnA, "MC", "B10", kB, BRISANT_WORD, 0, 11, false,
                Hex("54 00 00 00 00 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 1B 00 00 A0 00"), false},
        BitCase{"Ascii", kTypeQnA, "ASCII3", "M0", kM, BRISANT_WORD, 1, 5, true,
                Ascii("500000FF03FF00" "0018" "0000" "1402" "0001" "01" "M 000021" "01"), false},
        // A double word of a bit device covers 32 elements: point 1 is M32, bit 20 M52.
        BitCase{"BitDeviceDword", kTypeQnA, "MC3", "M0", kM, BRISANT_DWORD, 1, 20, true,
                Hex("50 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 34 00 00 90 01"), false},
        // A bit of D102 has no element: never D105, and no hidden read-modify-write.
        BitCase{"WordDevice", kTypeQnA, "MC3", "D100", kD, BRISANT_WORD, 0, 5, true, {}, true},
        BitCase{"E1", kTypeA, "MC", "M0", kM, BRISANT_WORD, 0, 5, true, {}, false}),
    [](const testing::TestParamInfo<BitCase>& info) { return info.param.name; });

// A bit write has its own verdict: the PLC's end code fails it with its text.
TEST(BitWrite, AnswerWithAnEndCodeFailsTheWriteWithItsText)
{
    struct Row {
        const char* protocol;
        std::vector<BYTE> response;
        BOOL result;
        const char* log;
    };
    const Row rows[] = {
        {"MC3", Hex("D0 00 00 FF FF 03 00 02 00 00 00"), TRUE, nullptr},
        {"MC3", Hex("D0 00 00 FF FF 03 00 02 00 56 C0"), FALSE, "Over max address for reading/writing\r\n"},
        {"ASCII3", Ascii("D00000FF03FF00" "0004" "C059"), FALSE, "Invalid command/subcommand\r\n"},
        {"MC", Hex("D4 00 00 00 00 00 00 FF FF 03 00 02 00 51 C0"), FALSE, "Invalid length for reading/writing\r\n"},
    };
    for (const Row& r : rows) {
        McHandler handler;
        StationDevice device(&handler, kTypeQnA, r.protocol);
        BlockPtr block = MakeBlock(device, "M0", kM, BRISANT_WORD, 1);
        auto* bit = dynamic_cast<CBitObject*>(block->GetMemoryObject(0)->GetBitObject(2));
        ASSERT_NE(bit, nullptr);
        ASSERT_NE(bit->GetCommandQueryString(On(true), 0, TRUE), nullptr);
        EXPECT_EQ(bit->UpdateCommand(On(true), 0, r.response.data(), static_cast<int>(r.response.size()), &handler,
                                     nullptr),
                  r.result)
            << r.protocol;
        EXPECT_EQ(handler.logs, r.log ? std::vector<std::string>{r.log} : std::vector<std::string>{}) << r.protocol;
    }
}

TEST(VariantWrite, IsRefusedWithALogLine)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 4);
    auto* variant = dynamic_cast<CMemoryVariant*>(block->CreateMemoryVariant("D100", "F"));
    ASSERT_NE(variant, nullptr);
    _BRISANTDATAVALUE v{};
    v.fltVal = 1.5f;
    EXPECT_EQ(variant->GetCommandQueryString(v, 0, TRUE), nullptr);
    EXPECT_EQ(variant->GetCommandQueryStringLen(0, nullptr), -1);
    EXPECT_FALSE(variant->GetCopyCommandQueryString(v, 0, TRUE));
    EXPECT_FALSE(variant->GetDownsizeCommandQueryString(v, 0, TRUE));
    EXPECT_FALSE(variant->GetUpsizeCommandQueryString(v, 0, TRUE));
    ASSERT_EQ(handler.logs.size(), 1u);
    // Nothing went into the block's command buffer.
    EXPECT_EQ(block->GetCommandQueryString(0)[0], '\0');
}

}  // namespace
