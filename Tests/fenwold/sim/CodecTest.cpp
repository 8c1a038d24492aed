#include "support/plcsim/Codec.h"

#include "support/plcsim/TestClient.h"

#include <gtest/gtest.h>

#include <functional>

namespace plcsim {
namespace {

std::vector<std::uint8_t> write(bool ascii, const std::function<void(FieldWriter&)>& f)
{
    std::vector<std::uint8_t> out;
    FieldWriter w(out, ascii);
    f(w);
    return out;
}

TEST(FieldWriter, NumbersAreLittleEndianInBinaryAndHighFirstInAscii)
{
    auto body = [](FieldWriter& w) { w.number(1, 0x5A); w.number(2, 0x03FF); w.number(3, 0x0186A0); w.number(4, 0x12345678); };
    EXPECT_EQ(toHex(write(false, body)), "5A FF 03 A0 86 01 78 56 34 12");
    auto a = write(true, body);
    EXPECT_EQ(std::string(a.begin(), a.end()), "5A03FF0186A012345678");
}

TEST(FieldWriter, BitsPackTwoPerByteFirstHigh)
{
    auto body = [](FieldWriter& w) { w.bits({1, 0, 0, 1, 1}); };
    EXPECT_EQ(toHex(write(false, body)), "10 01 10");
    auto a = write(true, body);
    EXPECT_EQ(std::string(a.begin(), a.end()), "10011");
}

TEST(FieldWriter, DeviceNumbersInTheirOwnBase)
{
    auto dec = write(true, [](FieldWriter& w) { w.digits(6, false, 100); });
    auto hex = write(true, [](FieldWriter& w) { w.digits(6, true, 0x1F0); });
    EXPECT_EQ(std::string(dec.begin(), dec.end()), "000100");
    EXPECT_EQ(std::string(hex.begin(), hex.end()), "0001F0");
}

TEST(FieldReader, ReadsWhatTheWriterWrote)
{
    auto bin = hexBytes("5A FF 03 A0 86 01 78 56 34 12 10 01 10");
    FieldReader r(bin, false, 0xC050);
    EXPECT_EQ(r.number(1), 0x5Au);
    EXPECT_EQ(r.number(2), 0x03FFu);
    EXPECT_EQ(r.number(3), 0x0186A0u);
    EXPECT_EQ(r.number(4), 0x12345678u);
    EXPECT_EQ(r.bits(5), (std::vector<std::uint8_t>{1, 0, 0, 1, 1}));
    EXPECT_EQ(r.remaining(), 0u);
}

struct BadInput {
    const char* text;
    bool hex;
};

TEST(FieldReader, RejectsCharactersOutsideTheBase)
{
    const BadInput cases[] = {{"00010A", false}, {"0001G0", true}, {"00 100", false}, {"0001f0", true}};
    for (const auto& c : cases) {
        auto bytes = textBytes(c.text);
        FieldReader r(bytes, true, 0xC050);
        try {
            r.digits(6, c.hex);
            ADD_FAILURE() << c.text;
        } catch (const Failure& f) {
            EXPECT_EQ(f.code, 0xC050) << c.text;
        }
    }
}

TEST(FieldReader, RunningOutIsAnUnderflow)
{
    auto bytes = hexBytes("01 02");
    FieldReader r(bytes, false, 0xC050);
    EXPECT_THROW(r.number(3), Underflow);
    auto text = textBytes("123");
    FieldReader a(text, true, 0xC050);
    EXPECT_THROW(a.number(2), Underflow);
    FieldReader b(bytes, false, 0xC050);
    EXPECT_THROW(b.bits(5), Underflow);
}

TEST(FieldReader, BitValuesComeBackAsSent)
{
    auto bin = hexBytes("21");
    FieldReader r(bin, false, 0xC050);
    EXPECT_EQ(r.bits(2), (std::vector<std::uint8_t>{2, 1}));
    auto text = textBytes("1A");
    FieldReader a(text, true, 0xC050);
    EXPECT_EQ(a.bits(2), (std::vector<std::uint8_t>{1, 10}));
}

} // namespace
} // namespace plcsim
