// The DDE transport's text lines as a peer sends them: bytes arriving in pieces of
// any size (the first byte sets the size), whole lines handed out, each split into
// its fields. Escaping any field and reading it back gives the field again, and a
// line made of the fields read gives the same fields.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/dde/LineCodec.h"

namespace {

void CheckLine(const std::string& line)
{
    FUZZ_CHECK(line.size() <= dde::kMaxLineBytes);
    std::string escaped;
    dde::AppendEscaped(escaped, line);
    FUZZ_CHECK(dde::Unescape(escaped) == line);

    const auto fields = dde::ParseLine(line);
    if (!fields)
        return;
    std::string again;
    for (std::size_t i = 0; i < fields->size(); ++i) {
        if (i > 0)
            again += '\t';
        dde::AppendEscaped(again, (*fields)[i]);
    }
    FUZZ_CHECK(dde::ParseLine(again) == fields);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    dde::LineReader reader;
    std::string line;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const std::string_view part = stream.substr(at, piece);
        reader.Append(part.data(), part.size());
        for (;;) {
            const auto verdict = reader.Next(line);
            if (verdict == dde::LineReader::Verdict::TooLong)
                return 0;
            if (verdict == dde::LineReader::Verdict::NeedMore)
                break;
            CheckLine(line);
        }
    }
    FUZZ_CHECK(reader.Buffered() <= dde::kMaxLineBytes + 1);
    return 0;
}
