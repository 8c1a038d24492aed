#include "platform/opc/wire/DataStream.h"

#include "platform/com/VariantCodec.h"

#include <cstring>

namespace opc {
namespace {

constexpr std::size_t kDataHeader = 20;
constexpr std::size_t kWriteHeader = 16;
constexpr std::size_t kArrayDescriptor = 24;

void put16(std::vector<BYTE>& b, std::size_t at, WORD v) { b[at] = BYTE(v); b[at + 1] = BYTE(v >> 8); }
void put32(std::vector<BYTE>& b, std::size_t at, DWORD v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = BYTE(v >> (8 * i));
}
void append32(std::vector<BYTE>& b, DWORD v)
{
    b.resize(b.size() + 4);
    put32(b, b.size() - 4, v);
}
WORD get16(std::span<const BYTE> b, std::size_t at) { return WORD(b[at] | (b[at + 1] << 8)); }
DWORD get32(std::span<const BYTE> b, std::size_t at)
{
    return DWORD(b[at]) | DWORD(b[at + 1]) << 8 | DWORD(b[at + 2]) << 16 | DWORD(b[at + 3]) << 24;
}

// Bytes one element of a fixed-size type takes; 0 for strings and unknown types.
std::size_t elementSize(VARTYPE t)
{
    switch (t) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_VARIANT: return com::kVariantCellSize;
    default: return 0;
    }
}

// The length before the text counts bytes in the data format, characters in the time format.
void appendString(std::vector<BYTE>& b, const BSTR& s, bool withTime)
{
    append32(b, DWORD(withTime ? s.size() : s.size() * 2));
    for (char16_t c : s) {
        b.push_back(BYTE(c));
        b.push_back(BYTE(c >> 8));
    }
    b.push_back(0);
    b.push_back(0);
}

void appendValue(std::vector<BYTE>& b, const VARIANT& v, bool withTime)
{
    std::size_t at = b.size();
    b.resize(at + com::kVariantCellSize);
    com::encodeVariantCell(v, std::span<BYTE, com::kVariantCellSize>(b.data() + at, com::kVariantCellSize));
    if (v.vt() == VT_BSTR) {
        appendString(b, v.bstrVal(), withTime);
        return;
    }
    const SAFEARRAY* a = v.parray();
    if (!v.isArray() || !a) return;
    VARTYPE et = a->elementType();
    std::size_t d = b.size();
    b.resize(d + kArrayDescriptor, 0);
    put16(b, d, 1);
    put32(b, d + 4, DWORD(et == VT_BSTR ? 4 : elementSize(et)));
    put32(b, d + 16, a->count());
    put32(b, d + 20, DWORD(a->lowerBound()));
    for (ULONG i = 0; i < a->count(); ++i) {
        const VARIANT& e = a->at(i);
        if (et == VT_BSTR) {
            appendString(b, e.bstrVal(), withTime);
        } else if (et == VT_VARIANT) {
            std::size_t c = b.size();
            b.resize(c + com::kVariantCellSize);
            com::encodeVariantCell(e, std::span<BYTE, com::kVariantCellSize>(b.data() + c, com::kVariantCellSize));
        } else {
            ULONGLONG cell = e.ullVal();
            for (std::size_t k = 0; k < elementSize(et); ++k) b.push_back(BYTE(cell >> (8 * k)));
        }
    }
}

// Reads a string at pos (length, text, terminator); false when it does not fit.
bool readString(std::span<const BYTE> b, std::size_t& pos, BSTR& out, bool withTime)
{
    if (b.size() < 4 || pos > b.size() - 4) return false;
    const DWORD length = get32(b, pos);
    pos += 4;
    if (withTime && length > (b.size() - pos) / 2) return false;
    const DWORD bytes = withTime ? length * 2 : length;
    if (bytes % 2 != 0 || bytes > b.size() - pos || b.size() - pos - bytes < 2) return false;
    out.resize(bytes / 2);
    for (DWORD i = 0; i < bytes / 2; ++i) out[i] = char16_t(get16(b, pos + 2 * i));
    pos += bytes + 2;
    return true;
}

// Reads the value at pos; end gets the position after it.
bool readValue(std::span<const BYTE> b, std::size_t pos, VARIANT& out, std::size_t& end, bool withTime)
{
    if (pos > b.size() || b.size() - pos < com::kVariantCellSize) return false;
    VARTYPE vt = get16(b, pos);
    std::size_t p = pos + com::kVariantCellSize;
    if (vt == VT_BSTR) {
        BSTR s;
        if (!readString(b, p, s, withTime)) return false;
        out.setBstr(std::move(s));
        end = p;
        return true;
    }
    if (vt & VT_ARRAY) {
        VARTYPE et = VARTYPE(vt & VT_TYPEMASK);
        if (!SAFEARRAY::canHold(et) || (et != VT_BSTR && elementSize(et) == 0)) return false;
        if (b.size() - p < kArrayDescriptor) return false;
        DWORD count = get32(b, p + 16);
        LONG lower = LONG(get32(b, p + 20));
        p += kArrayDescriptor;
        if (!SAFEARRAY::boundsFit(count, lower)) return false;
        std::size_t each = et == VT_BSTR ? 6 : elementSize(et);  // a string takes at least 6
        if (count > (b.size() - p) / each) return false;
        SAFEARRAY a(et, count, lower);
        for (DWORD i = 0; i < count; ++i) {
            VARIANT e;
            if (et == VT_BSTR) {
                BSTR s;
                if (!readString(b, p, s, withTime)) return false;
                e.setBstr(std::move(s));
            } else if (et == VT_VARIANT) {
                if (FAILED(com::decodeVariantCell(
                        std::span<const BYTE, com::kVariantCellSize>(b.data() + p, com::kVariantCellSize), e)))
                    return false;
                p += com::kVariantCellSize;
            } else {
                BYTE cell[com::kVariantCellSize] = {};
                cell[0] = BYTE(et);
                cell[1] = BYTE(et >> 8);
                std::memcpy(cell + 8, b.data() + p, elementSize(et));
                p += elementSize(et);
                if (FAILED(com::decodeVariantCell(std::span<const BYTE, com::kVariantCellSize>(cell), e)))
                    return false;
            }
            if (FAILED(a.putElement(lower + LONG(i), std::move(e)))) return false;
        }
        out.setArray(std::move(a));
        end = p;
        return true;
    }
    end = p;
    return SUCCEEDED(com::decodeVariantCell(std::span<const BYTE, com::kVariantCellSize>(b.data() + pos, com::kVariantCellSize), out));
}

} // namespace

std::vector<BYTE> buildDataStream(OPCHANDLE hClientGroup, DWORD transactionId, HRESULT status,
                                  std::span<const StreamItem> items, bool withTime)
{
    const std::size_t headerSize = withTime ? 20 : 12;
    std::vector<BYTE> b(kDataHeader + headerSize * items.size(), 0);
    put32(b, 4, DWORD(items.size()));
    put32(b, 8, hClientGroup);
    put32(b, 12, transactionId);
    put32(b, 16, DWORD(status));
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::size_t h = kDataHeader + headerSize * i;
        put32(b, h, items[i].hClient);
        put32(b, h + 4, DWORD(b.size()));
        put16(b, h + 8, items[i].quality);
        if (withTime) {
            put32(b, h + 12, items[i].timestamp.dwLowDateTime);
            put32(b, h + 16, items[i].timestamp.dwHighDateTime);
        }
        appendValue(b, items[i].value, withTime);
    }
    put32(b, 0, DWORD(b.size()));
    return b;
}

std::vector<BYTE> buildWriteCompleteStream(OPCHANDLE hClientGroup, DWORD transactionId, HRESULT status,
                                           std::span<const StreamWriteResult> items)
{
    std::vector<BYTE> b(kWriteHeader + 8 * items.size(), 0);
    put32(b, 0, DWORD(items.size()));
    put32(b, 4, hClientGroup);
    put32(b, 8, transactionId);
    put32(b, 12, DWORD(status));
    for (std::size_t i = 0; i < items.size(); ++i) {
        put32(b, kWriteHeader + 8 * i, items[i].hClient);
        put32(b, kWriteHeader + 8 * i + 4, DWORD(items[i].error));
    }
    return b;
}

HRESULT parseDataStream(std::span<const BYTE> b, bool withTime, DataStreamContent& out)
{
    if (b.size() < kDataHeader) return E_INVALIDARG;
    const std::size_t headerSize = withTime ? 20 : 12;
    DWORD count = get32(b, 4);
    if (count > (b.size() - kDataHeader) / headerSize) return E_INVALIDARG;
    DataStreamContent c;
    c.hClientGroup = get32(b, 8);
    c.transactionId = get32(b, 12);
    c.status = HRESULT(get32(b, 16));
    c.items.resize(count);
    // Each value has bytes of its own behind the item headers: offsets that point several
    // items at one long value would make the block cost more than its size.
    std::size_t unread = b.size() - kDataHeader - headerSize * count;
    for (DWORD i = 0; i < count; ++i) {
        std::size_t h = kDataHeader + headerSize * i;
        StreamItem& it = c.items[i];
        it.hClient = get32(b, h);
        it.quality = get16(b, h + 8);
        if (withTime) it.timestamp = FILETIME{get32(b, h + 12), get32(b, h + 16)};
        const std::size_t at = get32(b, h + 4);
        std::size_t end = at;
        if (!readValue(b, at, it.value, end, withTime) || end - at > unread) return E_INVALIDARG;
        unread -= end - at;
    }
    out = std::move(c);
    return S_OK;
}

HRESULT parseWriteCompleteStream(std::span<const BYTE> b, WriteCompleteContent& out)
{
    if (b.size() < kWriteHeader) return E_INVALIDARG;
    DWORD count = get32(b, 0);
    if (count > (b.size() - kWriteHeader) / 8) return E_INVALIDARG;
    WriteCompleteContent c;
    c.hClientGroup = get32(b, 4);
    c.transactionId = get32(b, 8);
    c.status = HRESULT(get32(b, 12));
    for (DWORD i = 0; i < count; ++i)
        c.items.push_back({get32(b, kWriteHeader + 8 * i), HRESULT(get32(b, kWriteHeader + 8 * i + 4))});
    out = std::move(c);
    return S_OK;
}

} // namespace opc
