#include "platform/dde/LineCodec.h"

#include "platform/com/Bstr.h"
#include "platform/win/HexDigit.h"

namespace dde {

void AppendEscaped(std::string& out, std::string_view field)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < field.size();) {
        const char c = field[i];
        switch (c) {
        case '\\': out += "\\\\"; ++i; continue;
        case '\t': out += "\\t"; ++i; continue;
        case '\n': out += "\\n"; ++i; continue;
        case '\r': out += "\\r"; ++i; continue;
        default: break;
        }
        if (std::size_t length = com::utf8SequenceLength(field, i)) {
            out.append(field, i, length);
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
        ++i;
    }
}

std::optional<std::string> Unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': {
            const int byte = field.size() - i < 3 ? -1 : win::hexByteValue(field[i + 1], field[i + 2]);
            if (byte < 0)
                return std::nullopt;
            out += static_cast<char>(byte);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string FormatLine(std::initializer_list<std::string_view> fields)
{
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            line += '\t';
        first = false;
        AppendEscaped(line, field);
    }
    line += '\n';
    return line;
}

std::optional<std::vector<std::string>> ParseLine(std::string_view line)
{
    if (!com::isValidUtf8(line))
        return std::nullopt;
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        auto field = Unescape(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (!field)
            return std::nullopt;
        fields.push_back(std::move(*field));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

LineReader::Verdict LineReader::Next(std::string& line)
{
    const std::size_t end = m_buffer.find('\n', m_start);
    if (end == std::string::npos) {
        // Room for a carriage return before the line feed still to come.
        if (Buffered() > kMaxLineBytes + 1)
            return Verdict::TooLong;
        // Lines already handed out leave the buffer.
        m_buffer.erase(0, m_start);
        m_start = 0;
        return Verdict::NeedMore;
    }
    std::size_t stop = end;
    if (stop > m_start && m_buffer[stop - 1] == '\r')
        --stop;
    if (stop - m_start > kMaxLineBytes)
        return Verdict::TooLong;
    line.assign(m_buffer, m_start, stop - m_start);
    m_start = end + 1;
    return Verdict::Line;
}

} // namespace dde
