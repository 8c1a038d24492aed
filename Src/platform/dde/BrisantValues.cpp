#include "platform/dde/BrisantToolkit.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantState.h"
#include "platform/dde/BrisantText.h"
#include "platform/win/NumberText.h"

namespace dde {

using brisant::Number;
using brisant::ParseInteger;
using brisant::SameText;
using brisant::Trim;

void Toolkit::ReleaseValue(Item& item)
{
    if (!item.hasValue)
        return;
    if (IsTextType(item.type) || IsArrayType(item.type)) {
        if (item.value.parrVal && (item.type == BRISANT_STRINGARRAY || item.type == BRISANT_FIXEDSTRINGARRAY)) {
            BYTE* elements = ArrayElements(item.value.parrVal);
            for (DWORD i = 0, n = ArrayCount(item.value.parrVal); i < n; ++i) {
                void* text = nullptr;
                std::memcpy(&text, elements + i * sizeof(void*), sizeof text);
                m_heap.Free(text);
            }
        }
        m_heap.Free(item.value.parrVal);
    }
    item.value.ullVal = 0;
    item.hasValue = false;
}

int Toolkit::UpdateItemValue(DWORD id, DWORD handle, _BRISANTDATAVALUE value, LONG quality, int updateSame)
{
    Server* server = nullptr;
    {
        std::lock_guard lock(m_mutex);
        server = FindServer(id);
    }
    if (!server)
        return 0;
    auto it = server->itemsByHandle.find(handle);
    if (it == server->itemsByHandle.end())
        return 0;
    Item& item = *it->second;
    bool owned = IsTextType(item.type) || IsArrayType(item.type);
    if (owned && value.parrVal && !IsWholeHeapValue(item.type, value.parrVal))
        return 0;
    if (!updateSame && item.hasValue && item.quality == quality
        && ValueToText(item.type, item.value) == ValueToText(item.type, value))
        return 0;
    ReleaseValue(item);
    item.value = value;
    item.hasValue = true;
    item.quality = quality;
    item.dirty = true;
    return 1;
}

bool Toolkit::IsWholeHeapValue(BRISANT_DATATYPE type, const BYTE* block) const
{
    // The cache reads the value again for every client, so it must lie wholly
    // inside heap blocks: a terminator, a length or a count that claims more
    // than its block holds is refused.
    std::size_t size = m_heap.BlockSize(block);
    if (size == 0)
        return false;
    if (type == BRISANT_STRING)
        return std::memchr(block, 0, size) != nullptr;
    if (type == BRISANT_FIXEDSTRING)
        return size >= 2 && static_cast<std::size_t>(std::max<SHORT>(CountedLength(block), 0)) <= size - 2;
    DWORD count = ArrayCount(block);
    if (size < kArrayHeaderSize || count > kMaxArrayElements || size < ArrayBlockSize(type, count))
        return false;
    if (type != BRISANT_STRINGARRAY && type != BRISANT_FIXEDSTRINGARRAY)
        return true;
    BRISANT_DATATYPE textType = type == BRISANT_STRINGARRAY ? BRISANT_STRING : BRISANT_FIXEDSTRING;
    for (DWORD i = 0; i < count; ++i) {
        const BYTE* text = nullptr;
        std::memcpy(&text, ArrayElements(block) + i * sizeof(void*), sizeof text);
        if (text && !IsWholeHeapValue(textType, text))
            return false;
    }
    return true;
}

BYTE* Toolkit::CopyArray(DWORD, BRISANT_DATATYPE type, const BYTE* source)
{
    std::size_t elementSize = ArrayElementSize(type);
    if (!source || elementSize == 0)
        return nullptr;
    DWORD count = ArrayCount(source);
    if (count > kMaxArrayElements)
        return nullptr;
    std::size_t known = m_heap.BlockSize(source);
    if (known != 0 && known < ArrayBlockSize(type, count))
        return nullptr;
    auto* copy = static_cast<BYTE*>(m_heap.Allocate(ArrayBlockSize(type, count)));
    if (!copy)
        return nullptr;
    std::memcpy(copy, source, ArrayBlockSize(type, count));
    if (type == BRISANT_STRINGARRAY || type == BRISANT_FIXEDSTRINGARRAY) {
        BYTE* elements = ArrayElements(copy);
        for (DWORD i = 0; i < count; ++i) {
            const BYTE* text = nullptr;
            std::memcpy(&text, elements + i * sizeof(void*), sizeof text);
            void* textCopy = nullptr;
            if (text) {
                std::size_t size = type == BRISANT_STRINGARRAY
                    ? std::strlen(reinterpret_cast<const char*>(text)) + 1
                    : static_cast<std::size_t>(std::max<SHORT>(CountedLength(text), 0)) + 3;
                textCopy = m_heap.Allocate(size);
                if (textCopy)
                    std::memcpy(textCopy, text, size);
            }
            std::memcpy(elements + i * sizeof(void*), &textCopy, sizeof textCopy);
        }
    }
    return copy;
}

int Toolkit::TextToValue(DWORD, const char* text, BRISANT_DATATYPE type, _BRISANTDATAVALUE* value)
{
    if (!text || !value)
        return 0;
    _BRISANTDATAVALUE result{};
    std::string trimmed = Trim(text);
    long long n = 0;
    switch (type) {
    case BRISANT_BOOL:
        if (ParseInteger(trimmed, LLONG_MIN, LLONG_MAX, n))
            result.boolVal = n != 0;
        else if (SameText(trimmed, "TRUE") || SameText(trimmed, "FALSE"))
            result.boolVal = SameText(trimmed, "TRUE");
        else
            return 0;
        break;
    case BRISANT_CHAR:
        if (!ParseInteger(trimmed, -128, 127, n)) return 0;
        result.cVal = static_cast<signed char>(n);
        break;
    case BRISANT_BYTE:
        if (!ParseInteger(trimmed, 0, 255, n)) return 0;
        result.bVal = static_cast<BYTE>(n);
        break;
    case BRISANT_SHORT:
        if (!ParseInteger(trimmed, SHRT_MIN, SHRT_MAX, n)) return 0;
        result.iVal = static_cast<SHORT>(n);
        break;
    case BRISANT_WORD:
        if (!ParseInteger(trimmed, 0, 65535, n)) return 0;
        result.wVal = static_cast<WORD>(n);
        break;
    case BRISANT_LONG:
        if (!ParseInteger(trimmed, INT32_MIN, INT32_MAX, n)) return 0;
        result.lVal = static_cast<LONG>(n);
        break;
    case BRISANT_DWORD:
        if (!ParseInteger(trimmed, 0, UINT32_MAX, n)) return 0;
        result.dwVal = static_cast<DWORD>(n);
        break;
    case BRISANT_FLOAT:
    case BRISANT_DOUBLE: {
        if (trimmed.empty())
            return 0;
        // A dot in any locale: the client's text is the same wherever the server runs.
        const win::RealScan scan = win::ScanReal(trimmed);
        const double d = scan.value;
        if (scan.length != trimmed.size() || scan.outOfRange || !std::isfinite(d))
            return 0;
        if (type == BRISANT_FLOAT) {
            if (std::fabs(d) > 3.4028234663852886e38)
                return 0;
            result.fltVal = static_cast<float>(d);
        } else {
            result.dblVal = d;
        }
        break;
    }
    case BRISANT_STRING: {
        std::size_t length = std::strlen(text);
        auto* block = static_cast<char*>(m_heap.Allocate(length + 1));
        if (!block) return 0;
        std::memcpy(block, text, length);
        result.pszVal = block;
        break;
    }
    case BRISANT_FIXEDSTRING: {
        std::size_t length = std::strlen(text);
        if (length > SHRT_MAX) return 0;
        auto* block = static_cast<BYTE*>(m_heap.Allocate(length + 4));
        if (!block) return 0;
        SetCountedLength(block, static_cast<SHORT>(length));
        std::memcpy(CountedChars(block), text, length);
        result.pcsVal = block;
        break;
    }
    default:
        return 0;
    }
    *value = result;
    return 1;
}

std::string Toolkit::ValueTextProblem(const std::string& text, BRISANT_DATATYPE type)
{
    struct Range {
        BRISANT_DATATYPE type;
        const char* name;
        long long low;
        long long high;
    };
    static constexpr Range kRanges[] = {
        {BRISANT_CHAR, "Char", -128, 127},          {BRISANT_BYTE, "Byte", 0, 255},
        {BRISANT_SHORT, "Short", SHRT_MIN, SHRT_MAX}, {BRISANT_WORD, "Word", 0, 65535},
        {BRISANT_LONG, "Long", INT32_MIN, INT32_MAX}, {BRISANT_DWORD, "DWord", 0, UINT32_MAX},
    };
    const std::string trimmed = Trim(text);
    const std::string quoted = "\"" + text + "\"";
    if (trimmed.empty())
        return "an empty text is no number";
    long long n = 0;
    for (const Range& range : kRanges) {
        if (range.type != type)
            continue;
        if (!ParseInteger(trimmed, LLONG_MIN, LLONG_MAX, n))
            return quoted + " is no whole number";
        return trimmed + " is out of range for " + range.name + " (" + Number(range.low) + " to " + Number(range.high) + ")";
    }
    switch (type) {
    case BRISANT_BOOL:
        return quoted + " is no number, TRUE or FALSE";
    case BRISANT_FLOAT:
    case BRISANT_DOUBLE: {
        double d = 0;
        const char* begin = trimmed.data() + (trimmed[0] == '+' ? 1 : 0);
        const char* end = trimmed.data() + trimmed.size();
        const auto result = std::from_chars(begin, end, d);
        if (result.ec == std::errc::invalid_argument || result.ptr != end)
            return quoted + " is no number";
        return trimmed + " is out of range for " + (type == BRISANT_FLOAT ? "Float" : "Double");
    }
    case BRISANT_STRING:
    case BRISANT_FIXEDSTRING:
        return "the text is too long";
    default:
        return "the item's type takes no text";
    }
}

std::string Toolkit::ValueToText(BRISANT_DATATYPE type, const _BRISANTDATAVALUE& value)
{
    switch (type) {
    case BRISANT_BOOL: return value.boolVal ? "1" : "0";
    case BRISANT_CHAR: return Number(static_cast<int>(value.cVal));
    case BRISANT_BYTE: return Number(static_cast<unsigned>(value.bVal));
    case BRISANT_SHORT: return Number(value.iVal);
    case BRISANT_WORD: return Number(value.wVal);
    case BRISANT_LONG: return Number(value.lVal);
    case BRISANT_DWORD: return Number(value.dwVal);
    case BRISANT_FLOAT: return Number(value.fltVal);
    case BRISANT_DOUBLE: return Number(value.dblVal);
    case BRISANT_STRING: return value.pszVal ? value.pszVal : "";
    case BRISANT_FIXEDSTRING:
        if (!value.pcsVal || CountedLength(value.pcsVal) < 1)
            return {};
        return std::string(CountedChars(value.pcsVal),
                           strnlen(CountedChars(value.pcsVal), static_cast<std::size_t>(CountedLength(value.pcsVal))));
    default:
        break;
    }
    if (!IsArrayType(type) || !value.parrVal)
        return {};
    std::string text;
    const BYTE* elements = ArrayElements(value.parrVal);
    DWORD count = std::min(ArrayCount(value.parrVal), kMaxArrayElements);
    for (DWORD i = 0; i < count; ++i) {
        if (i)
            text += '\t';
        const BYTE* element = elements + i * ArrayElementSize(type);
        _BRISANTDATAVALUE cell{};
        std::memcpy(&cell, element, ArrayElementSize(type));
        switch (type) {
        case BRISANT_BOOLARRAY: text += cell.lVal ? "1" : "0"; break;
        case BRISANT_CHARARRAY: text += ValueToText(BRISANT_CHAR, cell); break;
        case BRISANT_BYTEARRAY: text += ValueToText(BRISANT_BYTE, cell); break;
        case BRISANT_SHORTARRAY: text += ValueToText(BRISANT_SHORT, cell); break;
        case BRISANT_WORDARRAY: text += ValueToText(BRISANT_WORD, cell); break;
        case BRISANT_LONGARRAY: text += ValueToText(BRISANT_LONG, cell); break;
        case BRISANT_DWORDARRAY: text += ValueToText(BRISANT_DWORD, cell); break;
        case BRISANT_FLOATARRAY: text += ValueToText(BRISANT_FLOAT, cell); break;
        case BRISANT_DOUBLEARRAY: text += ValueToText(BRISANT_DOUBLE, cell); break;
        case BRISANT_STRINGARRAY: text += ValueToText(BRISANT_STRING, cell); break;
        case BRISANT_FIXEDSTRINGARRAY: text += ValueToText(BRISANT_FIXEDSTRING, cell); break;
        default: break;
        }
    }
    return text;
}

} // namespace dde
