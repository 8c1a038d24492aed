#include "quillet/text/CsvText.h"

#include <algorithm>
#include <cctype>

namespace quillet {

std::vector<std::string_view> NonBlankLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::any_of(line.begin(), line.end(), [](char c) { return !std::isspace(static_cast<unsigned char>(c)); }))
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SplitCsvLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (fields.size() < kMaxCsvFields) {
        std::string field;
        if (pos < line.size() && line[pos] == '"') {
            ++pos;
            for (; pos < line.size(); ++pos) {
                if (line[pos] != '"') {
                    field += line[pos];
                } else if (pos + 1 < line.size() && line[pos + 1] == '"') {
                    field += '"';
                    ++pos;
                } else {
                    ++pos;
                    break;
                }
            }
        }
        // Whatever follows a closing quote, or a bare field, runs to the next comma.
        const std::size_t comma = std::min(line.find(',', pos), line.size());
        field.append(line.substr(pos, comma - pos));
        fields.push_back(std::move(field));
        if (comma >= line.size()) break;
        pos = comma + 1;
    }
    return fields;
}

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace quillet
