#include "kestrun/model/DataType.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/dde/BrisantToolkit.h"

namespace {

constexpr const char* kTypeNames[] = {
    "Bool", "Char", "Byte", "Short", "Word", "Long", "DWord", "Float", "Double", "String(Handle)",
    "String", "String(Fixed Length)", "Bool(Array)", "Char(Array)", "Byte(Array)", "Short(Array)",
    "Word(Array)", "Long(Array)", "DWord(Array)", "Float(Array)", "Double(Array)", "String(Array)",
    "String(Array of FixedLength)",
};

dde::Heap& TextHeap() { return *dde::Toolkit::Process().FindHeap(GetBrisantHeap()); }

// The local time in the C library's asctime form: 24 characters and a line feed.
std::string TimeText(std::time_t now)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    localtime_r(&now, &tm);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[tm.tm_wday % 7],
                  kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 1900 + tm.tm_year);
    return buffer;
}

// Characters of a counted text that really lie inside its block.
std::string_view CountedView(const BYTE* block)
{
    if (!block || dde::CountedLength(block) < 1)
        return {};
    std::size_t length = static_cast<std::size_t>(dde::CountedLength(block));
    std::size_t known = TextHeap().BlockSize(block);
    if (known != 0)
        length = std::min(length, known > 2 ? known - 2 : 0);
    const char* chars = dde::CountedChars(block);
    return std::string_view(chars, strnlen(chars, length));
}

std::string_view TextView(const char* text) { return text ? std::string_view(text) : std::string_view(); }

template <typename T>
T Element(const BYTE* block, DWORD i)
{
    T value{};
    std::memcpy(&value, dde::ArrayElements(block) + i * sizeof(T), sizeof(T));
    return value;
}

bool IsNewArray(int nType, const BYTE* newBlock, const BYTE* stored)
{
    if (!newBlock || !stored)
        return false;
    bool compared = nType == BRISANT_BOOLARRAY || nType == BRISANT_SHORTARRAY || nType == BRISANT_STRINGARRAY
        || nType == BRISANT_FIXEDSTRINGARRAY;
    if (!compared)
        return false;
    if (!IsArrayBlockSound(nType, newBlock) || !IsArrayBlockSound(nType, stored))
        return true;
    DWORD count = dde::ArrayCount(newBlock);
    if (count != dde::ArrayCount(stored))
        return true;
    for (DWORD i = 0; i < count; ++i) {
        switch (nType) {
        case BRISANT_BOOLARRAY:
            if (Element<DWORD>(newBlock, i) != Element<DWORD>(stored, i))
                return true;
            break;
        case BRISANT_SHORTARRAY:
            if (Element<WORD>(newBlock, i) != Element<WORD>(stored, i))
                return true;
            break;
        case BRISANT_STRINGARRAY:
            if (TextView(Element<const char*>(newBlock, i)) != TextView(Element<const char*>(stored, i)))
                return true;
            break;
        default: {
            const BYTE* a = Element<const BYTE*>(newBlock, i);
            const BYTE* b = Element<const BYTE*>(stored, i);
            SHORT la = a ? dde::CountedLength(a) : 0;
            SHORT lb = b ? dde::CountedLength(b) : 0;
            if (la != lb || CountedView(a) != CountedView(b))
                return true;
            break;
        }
        }
    }
    return false;
}

// Copies a text onto the heap: a zero-terminated one, or a counted one.
void* CopyText(int nType, const void* text)
{
    if (!text)
        return nullptr;
    if (nType == BRISANT_STRING) {
        std::size_t length = std::strlen(static_cast<const char*>(text));
        void* block = AllocBrisantBlock(length + 1);
        if (block)
            std::memcpy(block, text, length);
        return block;
    }
    std::string_view chars = CountedView(static_cast<const BYTE*>(text));
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(chars.size() + 4));
    if (block) {
        dde::SetCountedLength(block, static_cast<SHORT>(chars.size()));
        std::memcpy(dde::CountedChars(block), chars.data(), chars.size());
    }
    return block;
}

} // namespace

const char* GetDataTypeName(int nType)
{
    if (nType < 0 || nType >= static_cast<int>(std::size(kTypeNames)))
        return nullptr;
    return kTypeNames[nType];
}

int GetDataTypeSize(int nType)
{
    switch (nType) {
    case BRISANT_BOOL:
    case BRISANT_CHAR:
    case BRISANT_BYTE:
    case BRISANT_LOBYTE:
    case BRISANT_HIBYTE:
        return 1;
    case BRISANT_SHORT:
    case BRISANT_WORD:
    case BRISANT_BCD:
    case BRISANT_LOWORD:
    case BRISANT_HIWORD:
        return 2;
    case BRISANT_LONG:
    case BRISANT_DWORD:
    case BRISANT_FLOAT:
    case BRISANT_FLOAT_B:
    case BRISANT_FLOAT_L:
    case BRISANT_FLOAT_M:
    case BRISANT_FLOAT_X:
        return 4;
    case BRISANT_DOUBLE:
    case BRISANT_DOUBLE_B:
    case BRISANT_DOUBLE_L:
    case BRISANT_DOUBLE_M:
    case BRISANT_DOUBLE_X:
        return 8;
    default:
        return 0;
    }
}

void GetNextNewValue(int nType, _BRISANTDATAVALUE* pValue) { GetNextNewValueAt(nType, pValue, std::time(nullptr)); }

void GetNextNewValueAt(int nType, _BRISANTDATAVALUE* pValue, std::time_t now)
{
    if (!pValue)
        return;
    _BRISANTDATAVALUE& v = *pValue;
    switch (nType) {
    case BRISANT_BOOL: v.boolVal = v.boolVal == 0 ? 1 : 0; break;
    case BRISANT_CHAR: v.cVal = static_cast<signed char>(static_cast<BYTE>(v.cVal) + 1); break;
    case BRISANT_BYTE: v.bVal = static_cast<BYTE>(v.bVal + 1); break;
    case BRISANT_SHORT: v.iVal = static_cast<SHORT>(static_cast<WORD>(v.iVal) + 1); break;
    case BRISANT_WORD: v.wVal = static_cast<WORD>(v.wVal + 1); break;
    case BRISANT_LONG: v.lVal = v.lVal >= 0 && v.lVal < INT32_MAX ? v.lVal + 1 : INT32_MIN; break;
    case BRISANT_DWORD: v.dwVal = v.dwVal + 1; break;
    case BRISANT_FLOAT: v.fltVal = v.fltVal < 100.0f ? v.fltVal + 0.1f : -100.0f; break;
    case BRISANT_DOUBLE: v.dblVal = v.dblVal < 1000.0 ? v.dblVal + 0.1 : -1000.0; break;
    case BRISANT_STRING: {
        std::string text = TimeText(now);
        if (!v.pszVal) {
            // The zero-filled block keeps the copy terminated.
            auto* block = static_cast<char*>(AllocBrisantBlock(text.size() + 1));
            if (!block)
                return;
            std::memcpy(block, text.data(), text.size());
            v.pszVal = block;
        } else {
            std::size_t n = std::min(std::strlen(v.pszVal), text.size());
            std::memcpy(v.pszVal, text.data(), n);
        }
        break;
    }
    case BRISANT_FIXEDSTRING: {
        std::string text = TimeText(now);
        if (!v.pcsVal) {
            auto* block = static_cast<BYTE*>(AllocBrisantBlock(text.size() + 3));
            if (!block)
                return;
            dde::SetCountedLength(block, static_cast<SHORT>(text.size()));
            std::memcpy(dde::CountedChars(block), text.data(), text.size());
            v.pcsVal = block;
        } else {
            SHORT length = dde::CountedLength(v.pcsVal);
            std::size_t n = length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(length), text.size()) : 0;
            std::size_t known = TextHeap().BlockSize(v.pcsVal);
            if (known != 0)
                n = std::min(n, known > 3 ? known - 3 : 0);  // room for the terminator
            std::memcpy(dde::CountedChars(v.pcsVal), text.data(), n);
        }
        break;
    }
    default:
        // Arrays hold a block pointer; anything else simulated only in its low word.
        if (!dde::IsArrayType(nType))
            v.wVal = 0;
        break;
    }
}

_BRISANTDATAVALUE GetRandomValue(int nType) { return GetRandomValueAt(nType, std::time(nullptr)); }

_BRISANTDATAVALUE GetRandomValueAt(int nType, std::time_t now)
{
    // The classic C library generator, seeded with the second: one draw of 0..32767.
    std::uint32_t next = static_cast<std::uint32_t>(now) * 1103515245u + 12345u;
    int r = static_cast<int>((next / 65536u) % 32768u);
    _BRISANTDATAVALUE v{};
    switch (nType) {
    case BRISANT_CHAR: v.cVal = static_cast<signed char>(r % 128); break;
    case BRISANT_BYTE: v.bVal = static_cast<BYTE>(r % 256); break;
    case BRISANT_SHORT: v.iVal = static_cast<SHORT>(r - 16384); break;
    case BRISANT_WORD: v.wVal = static_cast<WORD>(r); break;
    case BRISANT_LONG: v.lVal = r - 16384; break;
    case BRISANT_DWORD: v.dwVal = static_cast<DWORD>(r); break;
    case BRISANT_FLOAT: v.fltVal = static_cast<float>(r - 16384); break;
    case BRISANT_DOUBLE: v.dblVal = static_cast<double>(r - 16384); break;
    default: GetNextNewValueAt(nType, &v, now); break;
    }
    return v;
}

bool IsValidDataValue(int nType, const _BRISANTDATAVALUE& value)
{
    switch (nType) {
    case BRISANT_BOOL: return value.boolVal == 0 || value.boolVal == 1;
    case BRISANT_FLOAT: return value.fltVal > -kestrun::kInvalidFloat && value.fltVal < kestrun::kInvalidFloat;
    case BRISANT_DOUBLE: return value.dblVal > -kestrun::kInvalidDouble && value.dblVal < kestrun::kInvalidDouble;
    case BRISANT_BOOLARRAY: return true;
    default: return !dde::IsArrayType(nType);
    }
}

void InvalidateDataValue(int nType, _BRISANTDATAVALUE& value)
{
    switch (nType) {
    case BRISANT_BOOL: value.wVal = 0xFFFF; break;
    case BRISANT_FLOAT: value.dwVal = 0x7F7FFFFFu; break;
    case BRISANT_DOUBLE: value.ullVal = 0x47EFFFFFE0000000ull; break;
    case BRISANT_STRING:
    case BRISANT_FIXEDSTRING:
        FreeBrisantBlock(value.pszVal);
        value.ullVal = 0;
        break;
    case BRISANT_BOOLARRAY:
        if (value.parrVal && IsArrayBlockSound(nType, value.parrVal))
            std::memset(dde::ArrayElements(value.parrVal), 0xFF, 4 * dde::ArrayCount(value.parrVal));
        break;
    default: break;
    }
}

bool IsNewDataValue(int nType, const _BRISANTDATAVALUE& n, const _BRISANTDATAVALUE& s, bool bTouched)
{
    if (!bTouched)
        return true;
    switch (nType) {
    case BRISANT_BOOL: return (n.boolVal == 0) != (s.boolVal == 0);
    case BRISANT_CHAR:
    case BRISANT_BYTE: return n.bVal != s.bVal;
    case BRISANT_SHORT:
    case BRISANT_WORD: return n.wVal != s.wVal;
    case BRISANT_LONG:
    case BRISANT_DWORD: return n.dwVal != s.dwVal;
    case BRISANT_FLOAT: return n.fltVal != s.fltVal || std::isnan(n.fltVal) || std::isnan(s.fltVal);
    case BRISANT_DOUBLE: return n.dblVal != s.dblVal || std::isnan(n.dblVal) || std::isnan(s.dblVal);
    case BRISANT_STRING:
    case BRISANT_FIXEDSTRING: {
        std::string_view a = nType == BRISANT_STRING ? TextView(n.pszVal) : CountedView(n.pcsVal);
        std::string_view b = nType == BRISANT_STRING ? TextView(s.pszVal) : CountedView(s.pcsVal);
        if (!a.empty())
            return b.empty() || a != b;
        return !b.empty();
    }
    default:
        if (dde::IsArrayType(nType))
            return IsNewArray(nType, n.parrVal, s.parrVal);
        return true;
    }
}

bool IsPlainCell(int nType, const _BRISANTDATAVALUE& value)
{
    return nType >= BRISANT_BOOL && nType <= BRISANT_DOUBLE && !IsNewDataValue(nType, value, value, true);
}

HBRISANTHEAP GetBrisantHeap() { return dde::Toolkit::Process().StartupHeap(); }

void* AllocBrisantBlock(std::size_t nSize)
{
    if (nSize > 0xFFFFFFFFu)
        return nullptr;
    return dde::BrisantHeapAlloc(0, GetBrisantHeap(), static_cast<DWORD>(nSize));
}

void FreeBrisantBlock(void* pBlock)
{
    if (pBlock)
        dde::BrisantHeapFree(0, pBlock);
}

bool IsArrayBlockSound(int nType, const BYTE* pBlock)
{
    if (!pBlock || !dde::IsArrayType(nType))
        return false;
    DWORD count = dde::ArrayCount(pBlock);
    if (count > dde::kMaxArrayElements)
        return false;
    std::size_t known = TextHeap().BlockSize(pBlock);
    return known == 0 || known >= dde::ArrayBlockSize(nType, count);
}

void ReleaseDataValue(int nType, _BRISANTDATAVALUE& value)
{
    if (dde::IsTextType(nType)) {
        FreeBrisantBlock(value.pszVal);
    } else if (dde::IsArrayType(nType) && value.parrVal) {
        if ((nType == BRISANT_STRINGARRAY || nType == BRISANT_FIXEDSTRINGARRAY) && IsArrayBlockSound(nType, value.parrVal))
            for (DWORD i = 0, n = dde::ArrayCount(value.parrVal); i < n; ++i)
                FreeBrisantBlock(Element<void*>(value.parrVal, i));
        FreeBrisantBlock(value.parrVal);
    }
    // Cleared for every type: a cell that takes another type next must not hold a
    // number that the new type would follow as a block pointer.
    value.ullVal = 0;
}

bool CopyDataValue(int nType, const _BRISANTDATAVALUE& source, _BRISANTDATAVALUE& copy)
{
    copy.ullVal = 0;
    if (dde::IsTextType(nType)) {
        if (!source.pszVal)
            return true;
        copy.pszVal = static_cast<char*>(CopyText(nType, source.pszVal));
        return copy.pszVal != nullptr;
    }
    if (!dde::IsArrayType(nType)) {
        copy = source;
        return true;
    }
    if (!source.parrVal)
        return true;
    if (!IsArrayBlockSound(nType, source.parrVal))
        return false;
    DWORD count = dde::ArrayCount(source.parrVal);
    std::size_t size = dde::ArrayBlockSize(nType, count);
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(size));
    if (!block)
        return false;
    std::memcpy(block, source.parrVal, size);
    if (nType == BRISANT_STRINGARRAY || nType == BRISANT_FIXEDSTRINGARRAY) {
        int textType = nType == BRISANT_STRINGARRAY ? BRISANT_STRING : BRISANT_FIXEDSTRING;
        bool ok = true;
        for (DWORD i = 0; i < count; ++i) {
            void* text = ok ? CopyText(textType, Element<const void*>(source.parrVal, i)) : nullptr;
            if (Element<const void*>(source.parrVal, i) && !text)
                ok = false;
            std::memcpy(dde::ArrayElements(block) + i * sizeof(void*), &text, sizeof text);
        }
        copy.parrVal = block;
        if (!ok) {
            ReleaseDataValue(nType, copy);
            return false;
        }
        return true;
    }
    copy.parrVal = block;
    return true;
}
