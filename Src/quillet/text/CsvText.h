#pragma once
// The comma-separated text of the set-up document and of the item import: lines,
// fields and how a field is written. One splitter serves both readers.
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// At most this many fields are taken from a line; the rest is ignored.
inline constexpr std::size_t kMaxCsvFields = 20;

// The lines of a text that hold more than white space, each without its line end,
// whatever their length.
std::vector<std::string_view> NonBlankLines(std::string_view text);

// Splits one line into at most kMaxCsvFields fields. A field that begins with a double
// quote runs to its closing quote, commas included, and a doubled quote inside it
// stands for one quote; any other field runs to the next comma as it stands.
std::vector<std::string> SplitCsvLine(std::string_view line);

// The field as the files write it: in double quotes, inner quotes doubled, when it
// holds a comma or a double quote (or begins with one); else bare. Ordinary texts
// are therefore written exactly as before.
std::string CsvField(std::string_view text);

} // namespace quillet
