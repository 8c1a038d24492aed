#include "fenwold/McDecode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "fenwold/McCodec.h"
#include "fenwold/McResponse.h"

namespace {

// Number of the given byte size at a position: little-endian bytes in binary code;
// in ASCII code words of four digits (high byte first), the low word first.
bool Take(std::span<const BYTE> data, std::size_t at, int bytes, bool ascii, ULONGLONG& value)
{
    value = 0;
    if (!ascii) {
        if (at + static_cast<std::size_t>(bytes) > data.size())
            return false;
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | data[at + static_cast<std::size_t>(i)];
        return true;
    }
    const int words = bytes / 2;
    for (int w = 0; w < words; ++w) {
        const auto word = McGetHex(data, at + static_cast<std::size_t>(4 * w), 4);
        if (!word)
            return false;
        value |= static_cast<ULONGLONG>(*word) << (16 * w);
    }
    return true;
}

void DecodeBits(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink)
{
    const std::size_t step = shape.ascii ? 4 : 2;
    for (std::size_t at = 0, w = 0; at + step <= data.size(); at += step, ++w) {
        ULONGLONG word;
        if (!Take(data, at, 2, shape.ascii, word))
            return;
        for (int i = 0; i < 16; ++i) {
            const long point = static_cast<long>(w * 16) + i - shape.bitOffset;
            if (point < 0)
                continue;
            if (point >= shape.points)
                return;
            _BRISANTDATAVALUE v{};
            v.boolVal = static_cast<SHORT>((word >> i) & 1);
            sink.Deliver(static_cast<int>(point), v);
        }
    }
}

void DecodeBytes(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink)
{
    int index = 0;
    auto deliver = [&](BYTE b) {
        if (index >= shape.points)
            return false;
        _BRISANTDATAVALUE v{};
        if (shape.dataType == BRISANT_CHAR)
            v.cVal = static_cast<signed char>(b);
        else
            v.bVal = b;
        sink.Deliver(index++, v);
        return true;
    };
    if (!shape.ascii) {
        for (BYTE b : data)
            if (!deliver(b))
                return;
        return;
    }
    for (std::size_t at = 0; at + 4 <= data.size(); at += 4) {
        const auto word = McGetHex(data, at, 4);
        if (!word || !deliver(static_cast<BYTE>(*word)) || !deliver(static_cast<BYTE>(*word >> 8)))
            return;
    }
}

// Gathers values of consecutive points and hands them on a run at a time.
class RunBuffer {
public:
    explicit RunBuffer(McValueSink& sink) : m_sink(sink) {}
    ~RunBuffer() { Flush(); }
    RunBuffer(const RunBuffer&) = delete;
    RunBuffer& operator=(const RunBuffer&) = delete;
    void Add(int index, const _BRISANTDATAVALUE& value)
    {
        if (m_count && (m_first + m_count != index || m_count == static_cast<int>(m_values.size())))
            Flush();
        if (!m_count)
            m_first = index;
        m_values[static_cast<std::size_t>(m_count++)] = value;
    }
    void Flush()
    {
        if (m_count)
            m_sink.DeliverRun(m_first, m_values.data(), m_count);
        m_count = 0;
    }

private:
    McValueSink& m_sink;
    std::array<_BRISANTDATAVALUE, 256> m_values;
    int m_first = 0;
    int m_count = 0;
};

// Words, the usual block: decoded a run at a time straight into the values handed
// on, with no conversion to dispatch on. ASCII words end at the first character that
// is no hexadecimal digit.
void DecodeWords(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink)
{
    const std::size_t step = shape.ascii ? 4 : 2;
    const std::size_t words = std::min(data.size() / step, static_cast<std::size_t>(std::max(shape.points, 0)));
    std::array<_BRISANTDATAVALUE, 256> values;
    const BYTE* p = data.data();
    for (std::size_t first = 0; first < words; first += values.size()) {
        const std::size_t count = std::min(values.size(), words - first);
        std::size_t got = 0;
        if (!shape.ascii) {
            for (; got < count; ++got, p += 2) {
                _BRISANTDATAVALUE v{};
                v.wVal = static_cast<WORD>(p[0] | p[1] << 8);
                values[got] = v;
            }
        } else {
            for (; got < count; ++got, p += 4) {
                const int word = McHexWord(p);
                if (word < 0)
                    break;
                _BRISANTDATAVALUE v{};
                v.wVal = static_cast<WORD>(word);
                values[got] = v;
            }
        }
        if (got > 0)
            sink.DeliverRun(static_cast<int>(first), values.data(), static_cast<int>(got));
        if (got < count)
            return;
    }
}

void DecodeNumbers(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink)
{
    int bytes = 2;
    if (shape.dataType == BRISANT_LONG || shape.dataType == BRISANT_DWORD || shape.dataType == BRISANT_FLOAT)
        bytes = 4;
    else if (shape.dataType == BRISANT_DOUBLE)
        bytes = 8;
    const std::size_t step = static_cast<std::size_t>(shape.ascii ? bytes * 2 : bytes);
    if (bytes == 2) {
        DecodeWords(shape, data, sink);
        return;
    }
    int index = 0;
    RunBuffer run(sink);
    for (std::size_t at = 0; at + step <= data.size() && index < shape.points; at += step, ++index) {
        ULONGLONG raw;
        if (!Take(data, at, bytes, shape.ascii, raw))
            return;
        _BRISANTDATAVALUE v{};
        switch (shape.dataType) {
        case BRISANT_SHORT: v.iVal = static_cast<SHORT>(raw); break;
        case BRISANT_WORD: v.wVal = static_cast<WORD>(raw); break;
        case BRISANT_LONG: v.lVal = static_cast<LONG>(static_cast<DWORD>(raw)); break;
        case BRISANT_DWORD: v.dwVal = static_cast<DWORD>(raw); break;
        case BRISANT_FLOAT:
            v.fltVal = std::bit_cast<FLOAT>(static_cast<DWORD>(raw));
            if (!std::isfinite(v.fltVal))
                continue;  // the point keeps its value
            break;
        case BRISANT_DOUBLE:
            v.dblVal = std::bit_cast<DOUBLE>(static_cast<std::uint64_t>(raw));
            if (!std::isfinite(v.dblVal))
                continue;
            break;
        default: return;
        }
        run.Add(index, v);
    }
}

void DecodeText(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink)
{
    const std::size_t size = shape.stringSize > 0 ? static_cast<std::size_t>(shape.stringSize) : 0;
    std::string text = McDecodeString(data, shape.ascii, size);
    _BRISANTDATAVALUE v{};
    if (shape.dataType == BRISANT_STRING) {
        v.pszVal = text.empty() ? nullptr : text.data();
        sink.Deliver(0, v);
        return;
    }
    // Counted text: a 16-bit character count, then the characters.
    std::string block(2, '\0');
    const auto count = static_cast<SHORT>(std::min<std::size_t>(text.size(), 0x7FFF));
    std::memcpy(block.data(), &count, sizeof count);
    block.append(text, 0, static_cast<std::size_t>(count));
    block.push_back('\0');
    v.pcsVal = reinterpret_cast<BYTE*>(block.data());
    sink.Deliver(0, v);
}

// The words of `data` as they stand `offset` bits further on (a bit device read from
// the multiple of 16 below its head): one word fewer, in the same code. Nothing when
// the data holds less than two words or does not fit `out`.
std::span<const BYTE> ShiftWords(std::span<const BYTE> data, bool ascii, int offset, std::span<BYTE> out)
{
    const std::size_t step = ascii ? 4 : 2;
    const std::size_t words = data.size() / step;
    if (words < 2 || (words - 1) * step > out.size())
        return {};
    ULONGLONG low = 0;
    if (!Take(data, 0, 2, ascii, low))
        return {};
    for (std::size_t w = 1; w < words; ++w) {
        ULONGLONG high = 0;
        if (!Take(data, w * step, 2, ascii, high))
            return {};
        const auto word = static_cast<WORD>((low >> offset) | (high << (16 - offset)));
        BYTE* at = out.data() + (w - 1) * step;
        if (ascii) {
            for (int i = 0; i < 4; ++i)
                at[i] = static_cast<BYTE>("0123456789ABCDEF"[(word >> (12 - 4 * i)) & 0xF]);
        } else {
            at[0] = static_cast<BYTE>(word);
            at[1] = static_cast<BYTE>(word >> 8);
        }
        low = high;
    }
    return out.first((words - 1) * step);
}

}  // namespace

bool McDecodeValues(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink)
{
    if (data.empty())
        return false;
    if (shape.dataType != BRISANT_BOOL && shape.bitOffset > 0) {
        std::array<BYTE, 4096> shifted;
        McBlockShape aligned = shape;
        aligned.bitOffset = 0;
        const auto words = ShiftWords(data, shape.ascii, shape.bitOffset % 16, shifted);
        return McDecodeValues(aligned, words.empty() ? data.first(0) : words, sink);
    }
    switch (shape.dataType) {
    case BRISANT_BOOL: DecodeBits(shape, data, sink); break;
    case BRISANT_CHAR:
    case BRISANT_BYTE: DecodeBytes(shape, data, sink); break;
    case BRISANT_SHORT:
    case BRISANT_WORD:
    case BRISANT_LONG:
    case BRISANT_DWORD:
    case BRISANT_FLOAT:
    case BRISANT_DOUBLE: DecodeNumbers(shape, data, sink); break;
    case BRISANT_STRING:
    case BRISANT_FIXEDSTRING: DecodeText(shape, data, sink); break;
    default: break;
    }
    return true;
}
