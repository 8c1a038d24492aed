#include "platform/opc/wire/DataStream.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<BYTE>;

TEST(DataStreamTest, DataFormatGoldenLayout)
{
    opc::StreamItem item{0x0A0B0C0D, 0xC0, FILETIME{0x11111111, 0x22222222}, VARIANT::I2(0x1234)};
    Bytes b = opc::buildDataStream(0x01020304, 7, S_OK, std::span(&item, 1), false);
    Bytes want = {
        0x30, 0, 0, 0,  1, 0, 0, 0,  0x04, 0x03, 0x02, 0x01,  7, 0, 0, 0,  0, 0, 0, 0,  // header
        0x0D, 0x0C, 0x0B, 0x0A,  0x20, 0, 0, 0,  0xC0, 0,  0, 0,                          // item header
        0x02, 0, 0, 0, 0, 0, 0, 0,  0x34, 0x12, 0, 0, 0, 0, 0, 0,                          // VARIANT
    };
    EXPECT_EQ(b, want);
}

TEST(DataStreamTest, TimeFormatCarriesTheTimeStampAfterTheItemHeader)
{
    opc::StreamItem item{5, 0xC0, FILETIME{0x11223344, 0x55667788}, VARIANT::Bstr(u"AB")};
    Bytes b = opc::buildDataStream(9, 0, S_OK, std::span(&item, 1), true);
    Bytes want = {
        0x42, 0, 0, 0,  1, 0, 0, 0,  9, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,
        5, 0, 0, 0,  0x28, 0, 0, 0,  0xC0, 0,  0, 0,  0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55,
        0x08, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,
        2, 0, 0, 0,  'A', 0, 'B', 0,  0, 0,  // character count, text, terminator
    };
    EXPECT_EQ(b, want);
}

TEST(DataStreamTest, StringLengthCountsBytesInTheDataFormatAndCharactersInTheTimeFormat)
{
    // "Ä€" and a character outside the basic plane: four UTF-16 units, eight bytes.
    const std::u16string text = u"\u00C4\u20AC\U0001F600";
    SAFEARRAY strings(VT_BSTR, 1);
    strings.putElement(0, VARIANT::Bstr(text));
    opc::StreamItem items[] = {{1, 0xC0, {}, VARIANT::Bstr(text)}, {2, 0xC0, {}, VARIANT::Array(std::move(strings))}};
    const Bytes chars = {0xC4, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0, 0};
    for (bool withTime : {false, true}) {
        Bytes b = opc::buildDataStream(1, 0, S_OK, items, withTime);
        const std::size_t first = withTime ? 20 + 2 * 20 + 16 : 20 + 2 * 12 + 16;
        Bytes want = {BYTE(withTime ? 4 : 8), 0, 0, 0};
        want.insert(want.end(), chars.begin(), chars.end());
        EXPECT_EQ(Bytes(b.begin() + first, b.begin() + first + 14), want) << withTime;
        // The array's one element, after its cell and descriptor, has the same form.
        EXPECT_EQ(Bytes(b.end() - 14, b.end()), want) << withTime;
        opc::DataStreamContent c;
        ASSERT_EQ(opc::parseDataStream(b, withTime, c), S_OK) << withTime;
        EXPECT_EQ(c.items[0].value, items[0].value);
        EXPECT_EQ(c.items[1].value, items[1].value);
    }
    // A length read the other format's way does not fit the block.
    Bytes timeBytes = opc::buildDataStream(1, 0, S_OK, std::span(items, 1), true);
    opc::DataStreamContent c;
    EXPECT_EQ(opc::parseDataStream(timeBytes, false, c), S_OK);  // 4 bytes: half the text
    EXPECT_EQ(c.items[0].value, VARIANT::Bstr(u"\u00C4\u20AC"));
    Bytes dataBytes = opc::buildDataStream(1, 0, S_OK, std::span(items, 1), false);
    EXPECT_EQ(opc::parseDataStream(dataBytes, true, c), E_INVALIDARG);  // 8 characters: past the end
}

TEST(DataStreamTest, ArrayValueHasDescriptorAndElements)
{
    SAFEARRAY a(VT_I2, 2, 1);
    a.putElement(1, VARIANT::I2(1));
    a.putElement(2, VARIANT::I2(-1));
    opc::StreamItem item{1, 0xC0, {}, VARIANT::Array(std::move(a))};
    Bytes b = opc::buildDataStream(0, 0, S_OK, std::span(&item, 1), false);
    Bytes tail(b.begin() + 32, b.end());
    Bytes want = {
        0x02, 0x20, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,
        1, 0,  0, 0,  2, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  2, 0, 0, 0,  1, 0, 0, 0,
        1, 0,  0xFF, 0xFF,
    };
    EXPECT_EQ(tail, want);
    opc::DataStreamContent c;
    ASSERT_EQ(opc::parseDataStream(b, false, c), S_OK);
    ASSERT_EQ(c.items.size(), 1u);
    ASSERT_NE(c.items[0].value.parray(), nullptr);
    EXPECT_EQ(c.items[0].value.parray()->lowerBound(), 1);
    EXPECT_EQ(c.items[0].value, item.value);
}

TEST(DataStreamTest, WriteCompleteGoldenLayout)
{
    opc::StreamWriteResult r[] = {{1, S_OK}, {2, OPC_E_BADRIGHTS}};
    Bytes b = opc::buildWriteCompleteStream(0x10, 0x20, S_FALSE, r);
    Bytes want = {2, 0, 0, 0,  0x10, 0, 0, 0,  0x20, 0, 0, 0,  1, 0, 0, 0,
                  1, 0, 0, 0,  0, 0, 0, 0,  2, 0, 0, 0,  0x06, 0, 0x04, 0xC0};
    EXPECT_EQ(b, want);
    opc::WriteCompleteContent c;
    ASSERT_EQ(opc::parseWriteCompleteStream(b, c), S_OK);
    EXPECT_EQ(c.items[1].error, OPC_E_BADRIGHTS);
}

TEST(DataStreamTest, ReadersRefuseEveryCutOfAStream)
{
    opc::StreamItem items[] = {{1, 0xC0, {}, VARIANT::Bstr(u"text")}, {2, 0xC0, {}, VARIANT::R8(1.5)}};
    for (bool withTime : {false, true}) {
        Bytes b = opc::buildDataStream(1, 2, S_OK, items, withTime);
        opc::DataStreamContent c;
        ASSERT_EQ(opc::parseDataStream(b, withTime, c), S_OK);
        EXPECT_EQ(c.items[0].value, items[0].value);
        EXPECT_EQ(c.items[1].value, items[1].value);
        for (std::size_t n = 0; n < b.size(); ++n)
            EXPECT_EQ(opc::parseDataStream(std::span(b.data(), n), withTime, c), E_INVALIDARG) << n;
    }
}

TEST(DataStreamTest, ReaderRefusesOffsetsOutsideTheBlockAndHugeCounts)
{
    opc::StreamItem item{1, 0xC0, {}, VARIANT::I4(1)};
    Bytes b = opc::buildDataStream(1, 0, S_OK, std::span(&item, 1), false);
    opc::DataStreamContent c;
    Bytes bad = b;
    bad[24] = 0xF0;  // value offset far outside
    EXPECT_EQ(opc::parseDataStream(bad, false, c), E_INVALIDARG);
    bad = b;
    bad[4] = 0xFF, bad[5] = 0xFF, bad[6] = 0xFF, bad[7] = 0xFF;  // item count
    EXPECT_EQ(opc::parseDataStream(bad, false, c), E_INVALIDARG);
    Bytes w = opc::buildWriteCompleteStream(1, 1, S_OK, {});
    w[0] = 200;
    opc::WriteCompleteContent wc;
    EXPECT_EQ(opc::parseWriteCompleteStream(w, wc), E_INVALIDARG);
}

TEST(DataStreamTest, ItemsPointingAtOneValueAreRefused)
{
    // Offsets that lead several items to one long value would cost far more than the block.
    opc::StreamItem items[] = {{1, 0xC0, {}, VARIANT::Array(SAFEARRAY(VT_UI1, 100))}, {2, 0xC0, {}, VARIANT::I2(1)}};
    Bytes b = opc::buildDataStream(0, 0, S_OK, items, false);
    opc::DataStreamContent c;
    ASSERT_EQ(opc::parseDataStream(b, false, c), S_OK);
    std::copy_n(b.begin() + 24, 4, b.begin() + 36);  // the second item's offset: the first one's value
    EXPECT_EQ(opc::parseDataStream(b, false, c), E_INVALIDARG);
}

} // namespace
