#include "fenwold/McFrame.h"

#include <optional>

#include "fenwold/McCodec.h"
#include "fenwold/MelsecDevice.h"
#include "platform/win/HexDigit.h"

namespace {

constexpr WORD kMonitoringTimer1E = 0x000A;
constexpr WORD kBatchRead = 0x0401;
constexpr WORD kBatchWrite = 0x1401;
constexpr WORD kRandomWrite = 0x1402;
constexpr WORD kWordUnits = 0x0000;
constexpr WORD kBitUnits = 0x0001;

// The 1E frame addresses at most 256 points; 0 in the point field stands for 256.
constexpr unsigned kMax1EPoints = 256;
// What a PLC answers to one batch read in word units: a 1E bit device 128 words
// (2048 points), a 3E/4E read 960 words.
constexpr unsigned kMax1EBitDeviceWords = 128;
constexpr unsigned kMaxQnAReadWords = 960;

std::span<const BYTE> Bytes(std::string_view text)
{
    return {reinterpret_cast<const BYTE*>(text.data()), text.size()};
}

// Frame under construction: writes numbers in the target's code and fills the
// request data length of 3E/4E frames at the end.
class Writer {
public:
    Writer(McBuffer& out, const McTarget& target) : out_(out), t_(target) { out_.clear(); }

    bool ascii() const { return t_.ascii; }
    bool is1E() const { return t_.kind == McFrameKind::E1; }

    void number(DWORD value, int bytes)
    {
        if (t_.ascii)
            McPutHex(out_, value, bytes * 2);
        else
            McPutLE(out_, value, bytes);
    }

    void text(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }

    // Subheader up to the monitoring timer; 3E/4E leave the data length to finish().
    void header(BYTE subheader1E)
    {
        if (is1E()) {
            number(subheader1E, 1);
            number(t_.pcNumber, 1);
            number(kMonitoringTimer1E, 2);
            return;
        }
        const bool e4 = t_.kind == McFrameKind::E4;
        if (t_.ascii) {
            text(e4 ? "5400" : "5000");
            if (e4) {
                McPutHex(out_, t_.serial, 4);
                text("0000");
            }
        } else {
            out_.push_back(e4 ? 0x54 : 0x50);
            out_.push_back(0x00);
            if (e4) {
                McPutLE(out_, t_.serial, 2);
                McPutLE(out_, 0, 2);
            }
        }
        number(t_.route.network, 1);
        number(t_.route.pc, 1);
        number(t_.route.io, 2);
        number(t_.route.station, 1);
        lengthAt_ = out_.size();
        number(0, 2);   // request data length, filled in by finish()
        number(0, 2);   // monitoring timer
    }

    void command(WORD command, WORD subcommand)
    {
        number(command, 2);
        number(subcommand, 2);
    }

    // Device and element number. 1E: binary number then code, ASCII code then number,
    // both with the number in hexadecimal. 3E/4E ASCII: the name and six digits in
    // the device's own numbering.
    bool device(WORD code, DWORD elementNumber)
    {
        const MelsecDevice* d = MelsecDeviceByCode(code);
        if (!d || elementNumber > MelsecMaxDeviceNumber(code))
            return false;
        if (is1E()) {
            WORD code1E = 0;
            if (!Melsec1ECode(code, code1E))
                return false;
            if (t_.ascii) {
                McPutHex(out_, code1E, 4);
                McPutHex(out_, elementNumber, 8);
            } else {
                McPutLE(out_, elementNumber, 4);
                McPutLE(out_, code1E, 2);
            }
            return true;
        }
        if (t_.ascii) {
            std::string_view name = d->name;
            text(name);
            if (name.size() == 1)
                text(" ");
            if (d->hexNumbered) {
                McPutHex(out_, elementNumber, 6);
            } else {
                DWORD v = elementNumber;
                char digits[6];
                for (int i = 5; i >= 0; --i) {
                    digits[i] = static_cast<char>('0' + v % 10);
                    v /= 10;
                }
                text(std::string_view(digits, 6));
            }
        } else {
            McPutLE(out_, elementNumber, 3);
            out_.push_back(static_cast<BYTE>(code));
        }
        return true;
    }

    // Point count of a 1E request: one byte (256 as 0) and a zero byte.
    void points1E(unsigned points)
    {
        number(points & 0xFF, 1);
        number(0, 1);
    }

    bool finish()
    {
        if (!is1E()) {
            const std::size_t start = lengthAt_ + (t_.ascii ? 4 : 2);
            const DWORD length = static_cast<DWORD>(out_.size() - start);
            if (length > 0xFFFF)
                return fail();
            if (t_.ascii) {
                for (int i = 0; i < 4; ++i)
                    out_[lengthAt_ + static_cast<std::size_t>(i)] =
                        static_cast<BYTE>("0123456789ABCDEF"[(length >> (4 * (3 - i))) & 0xF]);
            } else {
                out_[lengthAt_] = static_cast<BYTE>(length);
                out_[lengthAt_ + 1] = static_cast<BYTE>(length >> 8);
            }
        }
        return true;
    }

    bool fail()
    {
        out_.clear();
        return false;
    }

    McBuffer& out() { return out_; }

private:
    McBuffer& out_;
    const McTarget& t_;
    std::size_t lengthAt_ = 0;
};

bool Writable(WORD code)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    return d && d->writable;
}

bool PointsInRange(const McTarget& target, std::size_t points)
{
    if (points == 0)
        return false;
    return target.kind == McFrameKind::E1 ? points <= kMax1EPoints : points <= 0xFFFF;
}

}  // namespace

unsigned McMaxBatchReadWords(McFrameKind kind, bool bitDevice)
{
    if (kind == McFrameKind::E1)
        return bitDevice ? kMax1EBitDeviceWords : kMax1EPoints;
    return kMaxQnAReadWords;
}

McRoute ParseMcRoute(std::string_view address)
{
    McRoute route;
    if (address.size() != 10)
        return route;
    const auto hex = McGetHex(Bytes(address), 0, 2);
    const auto pc = McGetHex(Bytes(address), 2, 2);
    const auto io = McGetHex(Bytes(address), 4, 4);
    const auto station = McGetHex(Bytes(address), 8, 2);
    if (!hex || !pc || !io || !station)
        return route;
    route.network = static_cast<BYTE>(*hex);
    route.pc = static_cast<BYTE>(*pc);
    route.io = static_cast<WORD>(*io);
    route.station = static_cast<BYTE>(*station);
    return route;
}

BYTE ParseMcPcNumber(std::string_view address)
{
    unsigned value = 0;
    if (!address.empty() && (address[0] == '&' || address[0] == 'H' || address[0] == 'h')) {
        // Up to two hexadecimal digits; reading stops at the first other character.
        for (std::size_t i = 1; i < address.size() && i <= 2; ++i) {
            const int v = win::hexDigitValue(address[i]);
            if (v < 0)
                break;
            value = value * 16 + static_cast<unsigned>(v);
        }
        return static_cast<BYTE>(value);
    }
    std::size_t i = 0;
    while (i < address.size() && (address[i] == ' ' || address[i] == '\t'))
        ++i;
    // No address names the station itself, as a request without one would.
    if (i == address.size())
        return 0xFF;
    bool negative = false;
    if (i < address.size() && (address[i] == '+' || address[i] == '-'))
        negative = address[i++] == '-';
    for (; i < address.size() && address[i] >= '0' && address[i] <= '9'; ++i)
        value = value * 10 + static_cast<unsigned>(address[i] - '0');
    return static_cast<BYTE>(negative ? 0u - value : value);
}

bool McBuildBatchRead(McBuffer& out, const McTarget& target, WORD deviceCode, DWORD head,
                      unsigned points)
{
    Writer w(out, target);
    if (!PointsInRange(target, points) || MelsecReadCommand(deviceCode) < 0)
        return w.fail();
    w.header(0x01);
    if (w.is1E()) {
        if (!w.device(deviceCode, head))
            return w.fail();
        w.points1E(points);
        return w.finish();
    }
    w.command(kBatchRead, kWordUnits);
    if (!w.device(deviceCode, head))
        return w.fail();
    w.number(points, 2);
    return w.finish();
}

namespace {

// One point of a random write: header, point counts, device and the value's field.
bool RandomWrite(McBuffer& out, const McTarget& target, WORD deviceCode, DWORD number,
                 int kind /* 0 bit, 1 word, 2 double word */, DWORD value)
{
    Writer w(out, target);
    if (!Writable(deviceCode))
        return w.fail();
    if (kind == 0 && !MelsecIsBitDevice(deviceCode))
        return w.fail();
    if (w.is1E()) {
        if (kind == 2)
            return w.fail();   // the 1E frame has no double-word random write
        w.header(kind == 0 ? 0x04 : 0x05);
        w.points1E(1);
        if (!w.device(deviceCode, number))
            return w.fail();
    } else {
        w.header(0);
        w.command(kRandomWrite, kind == 0 ? kBitUnits : kWordUnits);
        if (kind == 0) {
            w.number(1, 1);
        } else {
            w.number(kind == 1 ? 1 : 0, 1);
            w.number(kind == 2 ? 1 : 0, 1);
        }
        if (!w.device(deviceCode, number))
            return w.fail();
    }
    switch (kind) {
    case 0: w.number(value != 0 ? 1 : 0, 1); break;
    case 1: w.number(value & 0xFFFF, 2); break;
    default: w.number(value, 4); break;
    }
    return w.finish();
}

// Head of a batch write: header, command, device and point count.
bool BatchWriteHead(Writer& w, const McTarget& target, WORD deviceCode, DWORD head,
                    std::size_t points, bool bits)
{
    if (!Writable(deviceCode) || !PointsInRange(target, points))
        return false;
    if (bits && !MelsecIsBitDevice(deviceCode))
        return false;
    if (w.is1E()) {
        w.header(bits ? 0x02 : 0x03);
        if (!w.device(deviceCode, head))
            return false;
        w.points1E(static_cast<unsigned>(points));
        return true;
    }
    w.header(0);
    w.command(kBatchWrite, bits ? kBitUnits : kWordUnits);
    if (!w.device(deviceCode, head))
        return false;
    w.number(static_cast<DWORD>(points), 2);
    return true;
}

}  // namespace

bool McBuildRandomWriteBit(McBuffer& out, const McTarget& target, WORD deviceCode,
                           DWORD number, bool on)
{
    return RandomWrite(out, target, deviceCode, number, 0, on ? 1 : 0);
}

bool McBuildRandomWriteWord(McBuffer& out, const McTarget& target, WORD deviceCode,
                            DWORD number, WORD value)
{
    return RandomWrite(out, target, deviceCode, number, 1, value);
}

bool McBuildRandomWriteDword(McBuffer& out, const McTarget& target, WORD deviceCode,
                             DWORD number, DWORD value)
{
    return RandomWrite(out, target, deviceCode, number, 2, value);
}

bool McBuildBatchWriteWords(McBuffer& out, const McTarget& target, WORD deviceCode,
                            DWORD head, std::span<const WORD> words)
{
    Writer w(out, target);
    if (!BatchWriteHead(w, target, deviceCode, head, words.size(), false))
        return w.fail();
    for (WORD word : words)
        w.number(word, 2);
    return w.finish();
}

bool McBuildBatchWriteBits(McBuffer& out, const McTarget& target, WORD deviceCode,
                           DWORD head, std::span<const BYTE> bits)
{
    Writer w(out, target);
    if (!BatchWriteHead(w, target, deviceCode, head, bits.size(), true))
        return w.fail();
    // Binary: two points a byte, the first in the high nibble, an odd count padded
    // with a 0 nibble. ASCII: a character a point; the 1E pads an odd count with "0".
    if (w.ascii()) {
        for (BYTE bit : bits)
            w.text(bit != 0 ? "1" : "0");
        if (w.is1E() && bits.size() % 2 != 0)
            w.text("0");
        return w.finish();
    }
    for (std::size_t i = 0; i < bits.size(); i += 2) {
        const bool first = bits[i] != 0;
        const bool second = i + 1 < bits.size() && bits[i + 1] != 0;
        w.out().push_back(static_cast<BYTE>((first ? 0x10 : 0) | (second ? 0x01 : 0)));
    }
    return w.finish();
}

bool McBuildPointWrite(McBuffer& out, const McTarget& target, int dataType, WORD deviceCode,
                       DWORD number, DWORD value)
{
    if (MelsecWriteCommand(dataType, deviceCode) != 0x1402) {
        out.clear();
        return false;
    }
    switch (dataType) {
    case 0: return McBuildRandomWriteBit(out, target, deviceCode, number, value != 0);
    case 3: case 4: return McBuildRandomWriteWord(out, target, deviceCode, number,
                                                  static_cast<WORD>(value));
    default: return McBuildRandomWriteDword(out, target, deviceCode, number, value);
    }
}

bool McBuildStringWrite(McBuffer& out, const McTarget& target, WORD deviceCode, DWORD head,
                        std::string_view text, int stringSize)
{
    if (stringSize <= 0 || MelsecWriteCommand(10, deviceCode) != 0x1401) {
        out.clear();
        return false;
    }
    // Whole words: an odd size gets one zero byte so that count and data agree.
    const std::size_t size = static_cast<std::size_t>(stringSize);
    std::vector<WORD> words((size + 1) / 2, 0);
    for (std::size_t i = 0; i < size && i < text.size(); ++i) {
        const WORD byte = static_cast<BYTE>(text[i]);
        words[i / 2] |= static_cast<WORD>(i % 2 ? byte << 8 : byte);
    }
    return McBuildBatchWriteWords(out, target, deviceCode, head, words);
}

void McStampSerial(std::span<BYTE> frame, bool ascii, WORD serial)
{
    if (ascii) {
        if (frame.size() < 8)
            return;
        for (int i = 0; i < 4; ++i)
            frame[4 + static_cast<std::size_t>(i)] =
                static_cast<BYTE>("0123456789ABCDEF"[(serial >> (4 * (3 - i))) & 0xF]);
    } else {
        if (frame.size() < 4)
            return;
        frame[2] = static_cast<BYTE>(serial);
        frame[3] = static_cast<BYTE>(serial >> 8);
    }
}

bool McIsValidQuery(McFrameKind kind, bool ascii, std::span<const BYTE> frame)
{
    if (frame.empty())
        return false;
    if (kind == McFrameKind::E1)
        return true;
    const bool e4 = kind == McFrameKind::E4;
    const std::size_t lengthAt = ascii ? (e4 ? 22 : 14) : (e4 ? 11 : 7);
    const std::size_t header = ascii ? (e4 ? 26 : 18) : (e4 ? 13 : 9);
    if (frame.size() < header)
        return false;
    std::optional<DWORD> length;
    if (ascii) {
        const auto sub = McGetHex(frame, 0, 4);
        if (!sub || *sub != (e4 ? 0x5400u : 0x5000u))
            return false;
        length = McGetHex(frame, lengthAt, 4);
    } else {
        if (frame[0] != (e4 ? 0x54 : 0x50) || frame[1] != 0x00)
            return false;
        length = McGetLE(frame, lengthAt, 2);
    }
    return length && frame.size() >= header + *length;
}
