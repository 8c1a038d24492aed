// The test client's set-up document and item import: comma-separated text split into
// lines and fields, and the records read from it. A field written by the client
// splits back to itself; the records read, written out and read again, write the
// same text.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "quillet/text/CsvText.h"
#include "quillet/doc/SetupFile.h"

namespace {

std::string Write(const std::vector<quillet::SetupRecord>& records)
{
    std::string text;
    for (const auto& record : records)
        text += quillet::SetupLine(record);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::string_view line : quillet::NonBlankLines(text)) {
        FUZZ_CHECK(line.find('\n') == line.npos);
        const auto fields = quillet::SplitCsvLine(line);
        FUZZ_CHECK(!fields.empty() && fields.size() <= quillet::kMaxCsvFields);
    }
    // Any one field, commas and quotes included, as the client writes it.
    if (text.find_first_of("\r\n") == text.npos)
        FUZZ_CHECK(quillet::SplitCsvLine(quillet::CsvField(text)) == std::vector<std::string>{std::string(text)});

    const auto records = quillet::ParseSetupFile(text);
    for (const auto& record : records)
        if (const auto* group = std::get_if<quillet::SetupGroup>(&record))
            FUZZ_CHECK(group->index >= 0 && group->index < quillet::kMaxSetupGroups);
    const std::string written = Write(records);
    FUZZ_CHECK(Write(quillet::ParseSetupFile(written)) == written);
    return 0;
}
