#include "platform/registry/HiveText.h"

#include "platform/win/HexDigit.h"

#include <cstdio>

namespace registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::size_t kMaxKeyName = 255;

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void AppendHexByte(std::string& out, unsigned char b, bool upper)
{
    static constexpr char kLo[] = "0123456789abcdef";
    static constexpr char kUp[] = "0123456789ABCDEF";
    const char* digits = upper ? kUp : kLo;
    out += digits[b >> 4];
    out += digits[b & 0x0F];
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Key names: backslash separates them, so a name cannot hold one; '%' and control
// characters are written as %HH so that every name stays on one line.
std::string EncodeKeyName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '%' || IsControl(c)) {
            out += '%';
            AppendHexByte(out, c, true);
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<std::string> DecodeKeyName(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int byte = win::hexByteValue(text[i + 1], text[i + 2]);
        if (byte < 0)
            return std::nullopt;
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

// Quoted strings: backslash escapes for the quote, the backslash and control characters.
void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (IsControl(c)) {
                out += "\\x";
                AppendHexByte(out, c, false);
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

// Reads a quoted string at text[pos] (the opening quote); pos ends after the closing quote.
bool ReadQuoted(std::string_view text, std::size_t& pos, std::string& out)
{
    if (pos >= text.size() || text[pos] != '"')
        return false;
    ++pos;
    out.clear();
    while (pos < text.size()) {
        char ch = text[pos++];
        if (ch == '"')
            return true;
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (pos >= text.size())
            return false;
        char esc = text[pos++];
        switch (esc) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (pos + 2 > text.size())
                return false;
            const int byte = win::hexByteValue(text[pos], text[pos + 1]);
            if (byte < 0)
                return false;
            out += static_cast<char>(byte);
            pos += 2;
            break;
        }
        default: return false;
        }
    }
    return false;  // no closing quote
}

bool ParseData(std::string_view text, Value& out)
{
    if (!text.empty() && text.front() == '"') {
        std::size_t pos = 0;
        std::string s;
        if (!ReadQuoted(text, pos, s) || pos != text.size())
            return false;
        out = Value::String(std::move(s));
        return true;
    }
    if (text.starts_with("dword:")) {
        std::string_view digits = text.substr(6);
        if (digits.size() != 8)
            return false;
        DWORD d = 0;
        for (char c : digits) {
            int v = win::hexDigitValue(c);
            if (v < 0)
                return false;
            d = (d << 4) | static_cast<DWORD>(v);
        }
        out = Value::Dword(d);
        return true;
    }
    if (text.starts_with("hex:")) {
        std::string_view list = text.substr(4);
        std::vector<std::uint8_t> bytes;
        std::size_t pos = 0;
        while (pos < list.size()) {
            if (pos + 2 > list.size())
                return false;
            const int byte = win::hexByteValue(list[pos], list[pos + 1]);
            if (byte < 0)
                return false;
            bytes.push_back(static_cast<std::uint8_t>(byte));
            pos += 2;
            if (pos == list.size())
                break;
            if (list[pos] != ',' || pos + 1 == list.size())
                return false;
            ++pos;
        }
        out = Value::Binary(std::move(bytes));
        return true;
    }
    return false;
}

void FormatKey(const KeyNode& node, const std::string& path, bool isRoot, std::string& out)
{
    if (!isRoot || !node.values.empty()) {
        out += "\n[";
        out += path;
        out += "]\n";
        for (const NamedValue& nv : node.values) {
            if (nv.name.empty())
                out += '@';
            else
                AppendQuoted(out, nv.name);
            out += '=';
            switch (nv.value.type) {
            case ValueType::String: AppendQuoted(out, nv.value.text); break;
            case ValueType::Dword: {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(nv.value.dword));
                out += buf;
                break;
            }
            case ValueType::Binary:
                out += "hex:";
                for (std::size_t i = 0; i < nv.value.bytes.size(); ++i) {
                    if (i)
                        out += ',';
                    AppendHexByte(out, nv.value.bytes[i], false);
                }
                break;
            }
            out += '\n';
        }
    }
    for (const auto& [folded, child] : node.children)
        FormatKey(*child, path + '\\' + EncodeKeyName(child->name), false, out);
}

} // namespace

KeyNode* KeyNode::Child(std::string_view childName) const
{
    auto it = children.find(FoldName(childName));
    return it == children.end() ? nullptr : it->second.get();
}

KeyNode& KeyNode::AddChild(std::string_view childName)
{
    auto& slot = children[FoldName(childName)];
    if (!slot) {
        slot = std::make_unique<KeyNode>();
        slot->name = std::string(childName);
    }
    return *slot;
}

NamedValue* KeyNode::FindValue(std::string_view valueName)
{
    const std::string folded = FoldName(valueName);
    for (NamedValue& nv : values)
        if (FoldName(nv.name) == folded)
            return &nv;
    return nullptr;
}

const NamedValue* KeyNode::FindValue(std::string_view valueName) const
{
    return const_cast<KeyNode*>(this)->FindValue(valueName);
}

std::string FoldName(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        c = Lower(c);
    return out;
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path)
{
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    std::vector<std::string> names;
    if (path.empty())
        return names;
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find('\\', start);
        std::string_view name = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (name.empty() || name.size() > kMaxKeyName)
            return std::nullopt;
        names.emplace_back(name);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return names;
}

bool ParseHiveText(Hive hive, std::string_view text, KeyNode& root)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    KeyNode parsed;
    KeyNode* current = nullptr;
    bool headerSeen = false;
    const std::string hiveFolded = FoldName(HiveName(hive));

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;
        if (!headerSeen) {
            if (line != kHeader)
                return false;
            headerSeen = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']')
                return false;
            std::string_view body = line.substr(1, line.size() - 2);
            std::vector<std::string> names;
            std::size_t start = 0;
            while (true) {
                std::size_t sep = body.find('\\', start);
                auto decoded = DecodeKeyName(body.substr(start, sep == body.npos ? body.npos : sep - start));
                if (!decoded || decoded->empty() || decoded->size() > kMaxKeyName
                    || decoded->find('\\') != std::string::npos)
                    return false;
                names.push_back(std::move(*decoded));
                if (sep == body.npos)
                    break;
                start = sep + 1;
            }
            if (FoldName(names.front()) != hiveFolded)
                return false;
            current = &parsed;
            for (std::size_t i = 1; i < names.size(); ++i)
                current = &current->AddChild(names[i]);
            continue;
        }
        if (!current)
            return false;
        std::string name;
        std::size_t at = 0;
        if (line.front() == '@') {
            at = 1;
        } else if (!ReadQuoted(line, at, name)) {
            return false;
        }
        if (at >= line.size() || line[at] != '=')
            return false;
        Value value;
        if (!ParseData(line.substr(at + 1), value))
            return false;
        if (NamedValue* existing = current->FindValue(name))
            existing->value = std::move(value);
        else
            current->values.push_back(NamedValue{std::move(name), std::move(value)});
    }
    if (!headerSeen && !text.empty())
        return false;
    root = std::move(parsed);
    return true;
}

std::string FormatHiveText(Hive hive, const KeyNode& root)
{
    std::string out(kHeader);
    out += '\n';
    FormatKey(root, HiveName(hive), true, out);
    return out;
}

} // namespace registry
