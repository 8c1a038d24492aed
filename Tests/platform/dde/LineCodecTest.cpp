#include "platform/dde/LineCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct EscapeCase {
    const char* what;
    std::string field;
    std::string wire;
};

TEST(LineCodec, FieldsTravelEscapedAndComeBackAsTheyWere)
{
    const EscapeCase cases[] = {
        {"plain", "D100", "D100"},
        {"tab", "1\t0\t1", "1\\t0\\t1"},
        {"line ends", "Mon Jan  1 00:00:00 2024\r\n", "Mon Jan  1 00:00:00 2024\\r\\n"},
        {"backslash", "C:\\data", "C:\\\\data"},
        {"UTF-8 stays", "\xED\x95\x9C\xEA\xB8\x80", "\xED\x95\x9C\xEA\xB8\x80"},
        {"a byte outside UTF-8", "A\xFF" "B", "A\\xFFB"},
        {"a cut sequence", "\xE2\x82", "\\xE2\\x82"},
        {"empty", "", ""},
    };
    for (const EscapeCase& c : cases) {
        std::string wire;
        dde::AppendEscaped(wire, c.field);
        EXPECT_EQ(wire, c.wire) << c.what;
        EXPECT_EQ(dde::Unescape(wire), c.field) << c.what;
    }
}

TEST(LineCodec, BadEscapesAreRefused)
{
    for (const char* field : {"\\", "a\\q", "\\x4", "\\xG0", "\\x"})
        EXPECT_EQ(dde::Unescape(field), std::nullopt) << field;
}

TEST(LineCodec, LinesHaveTheirGoldenBytes)
{
    EXPECT_EQ(dde::FormatLine({"DATA", "7", "D100", "192", "1\t2"}), "DATA\t7\tD100\t192\t1\\t2\n");
    EXPECT_EQ(dde::FormatLine({"ERROR", "", "line too long"}), "ERROR\t\tline too long\n");
    EXPECT_EQ(dde::FormatLine({"DENIED"}), "DENIED\n");
}

TEST(LineCodec, ParsedLinesSplitAtTabsAndRefuseBadText)
{
    EXPECT_EQ(dde::ParseLine("POKE\t1\tD100\t\\t5"), (std::vector<std::string>{"POKE", "1", "D100", "\t5"}));
    EXPECT_EQ(dde::ParseLine("A\t\tB"), (std::vector<std::string>{"A", "", "B"}));
    EXPECT_EQ(dde::ParseLine(""), (std::vector<std::string>{""}));
    EXPECT_EQ(dde::ParseLine("REQUEST\t1\t\xFF"), std::nullopt);
    EXPECT_EQ(dde::ParseLine("REQUEST\t1\t\\z"), std::nullopt);
}

TEST(LineReader, HandsOutWholeLinesHoweverTheyArrive)
{
    dde::LineReader reader;
    std::string line;
    reader.Append("TOK", 3);
    EXPECT_EQ(reader.Next(line), dde::LineReader::Verdict::NeedMore);
    const std::string rest = "EN\tabc\r\nCONNECT\t1\n\nDIS";
    reader.Append(rest.data(), rest.size());
    ASSERT_EQ(reader.Next(line), dde::LineReader::Verdict::Line);
    EXPECT_EQ(line, "TOKEN\tabc");
    ASSERT_EQ(reader.Next(line), dde::LineReader::Verdict::Line);
    EXPECT_EQ(line, "CONNECT\t1");
    ASSERT_EQ(reader.Next(line), dde::LineReader::Verdict::Line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(reader.Next(line), dde::LineReader::Verdict::NeedMore);
    EXPECT_EQ(reader.Buffered(), 3u);
}

TEST(LineReader, ALineLongerThanTheBoundIsRefused)
{
    dde::LineReader exact;
    std::string longest(dde::kMaxLineBytes, 'x');
    longest += "\r\n";
    exact.Append(longest.data(), longest.size());
    std::string line;
    ASSERT_EQ(exact.Next(line), dde::LineReader::Verdict::Line);
    EXPECT_EQ(line.size(), dde::kMaxLineBytes);

    dde::LineReader endless;
    const std::string chunk(dde::kMaxLineBytes + 2, 'y');
    endless.Append(chunk.data(), chunk.size());
    EXPECT_EQ(endless.Next(line), dde::LineReader::Verdict::TooLong);

    dde::LineReader ended;
    const std::string tooLong = std::string(dde::kMaxLineBytes + 1, 'z') + "\n";
    ended.Append(tooLong.data(), tooLong.size());
    EXPECT_EQ(ended.Next(line), dde::LineReader::Verdict::TooLong);
}

} // namespace
