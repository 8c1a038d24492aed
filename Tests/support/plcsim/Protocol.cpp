#include "support/plcsim/Protocol.h"

#include "support/plcsim/Codec.h"
#include "support/plcsim/Devices.h"
#include "support/plcsim/EndCodes.h"
#include "support/plcsim/Memory.h"

#include <algorithm>
#include <cstring>

namespace plcsim {
namespace {

using namespace endcode;

// No valid request body comes near this; a larger length field is answered, not awaited.
constexpr std::size_t kMaxBody = 8192;
constexpr std::uint32_t kMaxWords = 960;
constexpr std::uint32_t kMaxBits = 7168;       // bit units, binary
constexpr std::uint32_t kMaxBitsAscii = 3584;  // bit units, ASCII
constexpr std::uint32_t kMaxRandomBits = 188;
constexpr std::uint32_t kRandomWordBudget = 1920;  // words x 12 + double words x 14

bool isHexChar(std::uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

struct DeviceRef {
    const DeviceInfo* info = nullptr;
    std::uint32_t number = 0;
    // Points a run of `count` covers: a word of a bit device is 16 bits.
    bool fits(std::uint64_t count, bool wordUnits) const
    {
        std::uint64_t span = (wordUnits && info->bit) ? count * 16 : count;
        return std::uint64_t(number) + span <= info->size;
    }
};

using WriteOp = Memory::Write;

void applyWrites(Memory& memory, const std::vector<WriteOp>& writes)
{
    if (!writes.empty()) memory.write(writes);
}

void readInto(const Memory& memory, const DeviceRef& d, std::uint32_t count, bool bitUnits, FieldWriter& w)
{
    if (bitUnits) {
        std::vector<std::uint8_t> bits;
        memory.readBits(d.info->code, d.number, count, bits);
        w.bits(bits);
        return;
    }
    std::vector<std::uint16_t> words;
    memory.readWords(d.info->code, d.number, count, words);
    for (auto v : words) w.number(2, v);
}

// ---- 3E / 4E ------------------------------------------------------------------------

DeviceRef readDevice3E(FieldReader& r)
{
    DeviceRef d;
    if (!r.ascii()) {
        d.number = r.number(3);
        d.info = findDevice(std::uint8_t(r.number(1)));
        if (!d.info) throw Failure{kDevice, {}};
        return d;
    }
    d.info = findDeviceByName(r.text(2));
    if (!d.info) throw Failure{kDevice, {}};
    d.number = r.digits(6, d.info->hexNumber);
    return d;
}

void batch3E(FieldReader& r, RequestInfo& info, const Memory& memory, bool execute,
             FieldWriter& w, std::vector<WriteOp>& writes)
{
    if (info.subcommand > 1) throw Failure{kCommand, {}};
    const bool bitUnits = info.subcommand == 1;
    DeviceRef d = readDevice3E(r);
    info.deviceCode = d.info->code;
    info.head = d.number;
    std::uint32_t count = r.number(2);
    if (bitUnits && !d.info->bit) throw Failure{kRequest, {}};
    const std::uint32_t limit = !bitUnits ? kMaxWords : (r.ascii() ? kMaxBitsAscii : kMaxBits);
    if (count == 0 || count > limit) throw Failure{kPointCount, {}};
    if (!d.fits(count, !bitUnits)) throw Failure{kAddressRange, {}};

    if (info.command == 0x0401) {
        if (execute && r.remaining() == 0) readInto(memory, d, count, bitUnits, w);
        return;
    }
    WriteOp op{d.info->code, d.number, bitUnits, {}, {}};
    if (bitUnits) {
        op.bits = r.bits(count);
        if (std::any_of(op.bits.begin(), op.bits.end(), [](std::uint8_t b) { return b > 1; }))
            throw Failure{kBitData, {}};
    } else {
        op.words.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) op.words.push_back(std::uint16_t(r.number(2)));
    }
    writes.push_back(std::move(op));
}

void randomWrite3E(FieldReader& r, const RequestInfo& info, std::vector<WriteOp>& writes)
{
    if (info.subcommand == 1) {
        std::uint32_t n = r.number(1);
        if (n == 0 || n > kMaxRandomBits) throw Failure{kPointCount, {}};
        for (std::uint32_t i = 0; i < n; ++i) {
            DeviceRef d = readDevice3E(r);
            std::uint32_t v = r.number(1);
            if (!d.info->bit) throw Failure{kRequest, {}};
            if (v > 1) throw Failure{kBitData, {}};
            if (!d.fits(1, false)) throw Failure{kAddressRange, {}};
            writes.push_back(WriteOp{d.info->code, d.number, true, {std::uint8_t(v)}, {}});
        }
        return;
    }
    if (info.subcommand != 0) throw Failure{kCommand, {}};
    std::uint32_t words = r.number(1);
    std::uint32_t dwords = r.number(1);
    if (words + dwords == 0 || words * 12 + dwords * 14 > kRandomWordBudget) throw Failure{kPointCount, {}};
    for (std::uint32_t i = 0; i < words + dwords; ++i) {
        const bool dword = i >= words;
        DeviceRef d = readDevice3E(r);
        std::uint32_t v = r.number(dword ? 4 : 2);
        if (!d.fits(dword ? 2 : 1, true)) throw Failure{kAddressRange, {}};
        WriteOp op{d.info->code, d.number, false, {}, {std::uint16_t(v)}};
        if (dword) op.words.push_back(std::uint16_t(v >> 16));
        writes.push_back(std::move(op));
    }
}

// ---- 1E -----------------------------------------------------------------------------

class Request1E {
public:
    Request1E(FieldReader& r, const Memory& memory, bool execute, FieldWriter& w, std::vector<WriteOp>& writes)
        : r_(r), memory_(memory), execute_(execute), w_(w), writes_(writes) {}

    std::optional<Failure> failure;

    void fail(std::uint8_t code, std::optional<std::uint8_t> abnormal = {})
    {
        if (!failure) failure = Failure{code, abnormal};
    }

    // Reads the whole request even after a fault, so the next one starts in the right place.
    void run(std::uint16_t command)
    {
        switch (command) {
        case 0x00: case 0x01: case 0x02: case 0x03: batch(command); break;
        case 0x04: case 0x05: test(command == 0x05); break;
        default: break;
        }
    }

private:
    DeviceRef device()
    {
        DeviceRef d;
        std::uint32_t code;
        if (r_.ascii()) { code = r_.number(2); d.number = r_.number(4); }
        else { d.number = r_.number(4); code = r_.number(2); }
        d.info = findDevice1E(std::uint16_t(code));
        if (!d.info) fail(k1EDevice);
        return d;
    }

    std::uint32_t points()
    {
        std::uint32_t n = r_.number(1);
        r_.number(1);  // fixed 00
        return n == 0 ? 256 : n;
    }

    // Word units on a bit device start at a multiple of 16 and count 16-point words.
    bool checkWordUnits(const DeviceRef& d, std::uint32_t count, std::uint32_t bitDeviceLimit)
    {
        if (!d.info) return false;
        if (d.info->bit && (d.number % 16 != 0 || count > bitDeviceLimit)) { fail(k1EPoints); return false; }
        if (!d.fits(count, true)) { fail(k1ERange); return false; }
        return true;
    }

    bool checkBitUnits(const DeviceRef& d, std::uint32_t count)
    {
        if (!d.info) return false;
        if (!d.info->bit) { fail(k1ERange); return false; }
        if (!d.fits(count, false)) { fail(k1ERange); return false; }
        return true;
    }

    void batch(std::uint16_t command)
    {
        DeviceRef d = device();
        std::uint32_t n = points();
        switch (command) {
        case 0x00:
            if (checkBitUnits(d, n) && execute_ && !failure) {
                readInto(memory_, d, n, true, w_);
                if (r_.ascii() && n % 2) w_.text("0");  // ASCII bit data comes in pairs
            }
            break;
        case 0x01:
            if (checkWordUnits(d, n, 128) && execute_ && !failure) readInto(memory_, d, n, false, w_);
            break;
        case 0x02: {
            auto bits = r_.bits(n);
            if (r_.ascii() && n % 2) r_.bits(1);  // dummy character after an odd count
            bool ok = checkBitUnits(d, n);
            if (std::any_of(bits.begin(), bits.end(), [](std::uint8_t b) { return b > 1; })) { fail(k1EPoints); ok = false; }
            if (ok) writes_.push_back(WriteOp{d.info->code, d.number, true, std::move(bits), {}});
            break;
        }
        case 0x03: {
            std::vector<std::uint16_t> words;
            for (std::uint32_t i = 0; i < n; ++i) words.push_back(std::uint16_t(r_.number(2)));
            if (checkWordUnits(d, n, 40)) writes_.push_back(WriteOp{d.info->code, d.number, false, {}, std::move(words)});
            break;
        }
        default: break;
        }
    }

    void test(bool wordUnits)
    {
        std::uint32_t n = points();
        if (n > (wordUnits ? 40u : 80u)) fail(k1EPoints);
        for (std::uint32_t i = 0; i < n; ++i) {
            DeviceRef d = device();
            std::uint32_t v = r_.number(wordUnits ? 2 : 1);
            if (wordUnits) {
                if (checkWordUnits(d, 1, 40)) writes_.push_back(WriteOp{d.info->code, d.number, false, {}, {std::uint16_t(v)}});
            } else {
                if (v > 1) fail(k1EPoints);
                if (checkBitUnits(d, 1) && v <= 1) writes_.push_back(WriteOp{d.info->code, d.number, true, {std::uint8_t(v)}, {}});
            }
        }
    }

    FieldReader& r_;
    const Memory& memory_;
    bool execute_;
    FieldWriter& w_;
    std::vector<WriteOp>& writes_;
};

// ---- frame detection ----------------------------------------------------------------

enum class Detect { NeedMore, Unknown, Ok };
struct Detection { Detect state; FrameKind frame; bool ascii; };

Detection detect(std::span<const std::uint8_t> buf, FrameKind frame, Encoding enc)
{
    if (buf.empty()) return {Detect::NeedMore, frame, false};
    const bool hexStart = isHexChar(buf[0]);
    if (frame == FrameKind::E1)
        return {Detect::Ok, FrameKind::E1, enc == Encoding::Ascii || (enc == Encoding::Auto && hexStart)};
    auto accept = [&](FrameKind k, bool ascii) {
        return Detection{(frame == FrameKind::Auto || frame == k) ? Detect::Ok : Detect::Unknown, k, ascii};
    };
    if (enc != Encoding::Ascii && (buf[0] == 0x50 || buf[0] == 0x54)) {
        if (buf.size() < 2) return {Detect::NeedMore, frame, false};
        if (buf[1] == 0x00) return accept(buf[0] == 0x50 ? FrameKind::E3 : FrameKind::E4, false);
    }
    if (enc != Encoding::Binary && hexStart) {
        for (const char* sub : {"5000", "5400"}) {
            std::size_t n = std::min<std::size_t>(buf.size(), 4);
            if (std::memcmp(buf.data(), sub, n) != 0) continue;
            if (n < 4) return {Detect::NeedMore, frame, true};
            return accept(sub[1] == '0' ? FrameKind::E3 : FrameKind::E4, true);
        }
    }
    if (frame == FrameKind::Auto) {
        if (hexStart && enc != Encoding::Binary) return {Detect::Ok, FrameKind::E1, true};
        if (!hexStart && enc != Encoding::Ascii) return {Detect::Ok, FrameKind::E1, false};
    }
    return {Detect::Unknown, frame, false};
}

} // namespace

// ---- reply encoding -----------------------------------------------------------------

std::vector<std::uint8_t> encodeReply(const Reply& reply, const ReplyTweaks& tweaks)
{
    const RequestInfo& q = reply.request;
    std::vector<std::uint8_t> out;
    FieldWriter w(out, q.ascii);
    if (q.frame == FrameKind::E1) {
        std::uint32_t sub = (q.command | 0x80) ^ (tweaks.wrongSubheader ? 0x01 : 0x00);
        w.number(1, sub);
        w.number(1, reply.endCode & 0xFF);
        // The abnormal code comes with a zero byte behind it.
        if ((reply.endCode & 0xFF) == k1EAbnormal && reply.abnormal) {
            w.number(1, *reply.abnormal);
            w.number(1, 0);
        }
        if (reply.endCode == 0) out.insert(out.end(), reply.data.begin(), reply.data.end());
        return out;
    }
    const bool e4 = (q.frame == FrameKind::E4) != tweaks.wrongSubheader;
    if (q.ascii) w.text(e4 ? "D400" : "D000");
    else { out.push_back(e4 ? 0xD4 : 0xD0); out.push_back(0x00); }
    if (q.frame == FrameKind::E4) {
        w.number(2, std::uint16_t(q.serial + (tweaks.wrongSerial ? 1 : 0)));
        w.number(2, 0);
    }
    w.number(1, std::uint8_t(q.network + (tweaks.wrongRoute ? 1 : 0)));
    w.number(1, q.pc);
    w.number(2, q.moduleIo);
    w.number(1, q.station);

    std::vector<std::uint8_t> body;
    FieldWriter b(body, q.ascii);
    b.number(2, reply.endCode);
    if (reply.endCode != 0) {
        b.number(1, q.network);
        b.number(1, q.pc);
        b.number(2, q.moduleIo);
        b.number(1, q.station);
        b.number(2, q.command);
        b.number(2, q.subcommand);
    } else {
        body.insert(body.end(), reply.data.begin(), reply.data.end());
    }
    w.number(2, tweaks.lengthFFFF ? 0xFFFF : std::uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// ---- requests -----------------------------------------------------------------------

Protocol::Protocol(Memory& memory, FrameKind frame, Encoding encoding)
    : memory_(memory), frame_(frame), encoding_(encoding) {}

Protocol::Step Protocol::peek(std::span<const std::uint8_t> buffer) const
{
    return run(buffer, {}, true);
}

std::size_t Protocol::completeLength(std::span<const std::uint8_t> buffer) const
{
    Step s = run(buffer, {}, true);
    return s.status == Status::NeedMore ? 0 : s.consumed;
}

Protocol::Step Protocol::next(std::span<const std::uint8_t> buffer, const Override& override)
{
    return run(buffer, override, false);
}

Protocol::Step Protocol::run(std::span<const std::uint8_t> buf, const Override& ov, bool dryRun) const
{
    Step step;
    const Detection det = detect(buf, frame_, encoding_);
    if (det.state == Detect::NeedMore) return step;
    if (det.state == Detect::Unknown) {
        step.status = Status::Discard;
        step.consumed = buf.size();
        return step;
    }
    const bool a = det.ascii;
    const bool execute = ov.execute && !dryRun;
    RequestInfo info;
    info.frame = det.frame;
    info.ascii = a;
    std::vector<WriteOp> writes;
    std::vector<std::uint8_t> data;
    FieldWriter w(data, a);

    if (det.frame == FrameKind::E1) {
        FieldReader r(buf, a, k1EAscii);
        Request1E req(r, memory_, execute && !ov.endCode, w, writes);
        try {
            info.command = std::uint16_t(r.number(1));
            info.pc = std::uint8_t(r.number(1));
            info.timer = std::uint16_t(r.number(2));
            if (info.command > 0x05) {
                // Nothing tells where this request ends; drop what has arrived.
                step.status = Status::Reply;
                step.consumed = buf.size();
                step.reply.request = info;
                step.reply.endCode = k1ECommand;
                return step;
            }
            if (info.pc != 0xFF) req.fail(k1EAbnormal, k1EPcNumber);
            req.run(info.command);
        } catch (const Underflow&) {
            return step;
        } catch (const Failure& f) {
            step.status = Status::Reply;
            step.consumed = buf.size();
            step.reply.request = info;
            step.reply.endCode = f.code;
            return step;
        }
        step.status = Status::Reply;
        step.consumed = r.position();
        step.reply.request = info;
        if (ov.endCode) {
            step.reply.endCode = *ov.endCode & 0xFF;
            step.reply.abnormal = ov.abnormal;
        } else if (req.failure) {
            step.reply.endCode = req.failure->code;
            step.reply.abnormal = req.failure->abnormal;
        } else {
            if (execute) applyWrites(memory_, writes);
            step.reply.data = std::move(data);
        }
        return step;
    }

    const bool e4 = det.frame == FrameKind::E4;
    const std::size_t subLen = a ? 4 : 2;
    const std::size_t headerLen = subLen + (e4 ? (a ? 8 : 4) : 0) + (a ? 14 : 7);
    if (buf.size() < headerLen) return step;
    std::uint32_t length = 0;
    try {
        FieldReader h(buf.subspan(subLen, headerLen - subLen), a, kAsciiConversion);
        if (e4) {
            info.serial = std::uint16_t(h.number(2));
            h.number(2);
        }
        info.network = std::uint8_t(h.number(1));
        info.pc = std::uint8_t(h.number(1));
        info.moduleIo = std::uint16_t(h.number(2));
        info.station = std::uint8_t(h.number(1));
        length = h.number(2);
    } catch (const Failure&) {
        step.status = Status::Discard;
        step.consumed = buf.size();
        return step;
    }
    step.status = Status::Reply;
    step.reply.request = info;
    if (length > kMaxBody) {
        step.consumed = buf.size();
        step.reply.endCode = a ? kAsciiLength : kLength;
        return step;
    }
    if (buf.size() < headerLen + length) {
        step.status = Status::NeedMore;
        return step;
    }
    step.consumed = headerLen + length;
    FieldReader r(buf.subspan(headerLen, length), a, kAsciiConversion);
    try {
        info.timer = std::uint16_t(r.number(2));
        info.command = std::uint16_t(r.number(2));
        info.subcommand = std::uint16_t(r.number(2));
        step.reply.request = info;
        if (ov.endCode) throw Failure{*ov.endCode, {}};
        switch (info.command) {
        case 0x0401:
        case 0x1401: batch3E(r, step.reply.request, memory_, execute, w, writes); break;
        case 0x1402: randomWrite3E(r, info, writes); break;
        default: throw Failure{kCommand, {}};
        }
        if (r.remaining() != 0) throw Failure{a ? kAsciiLength : kLength, {}};
        if (execute) applyWrites(memory_, writes);
        step.reply.data = std::move(data);
    } catch (const Failure& f) {
        step.reply.endCode = f.code;
    } catch (const Underflow&) {
        step.reply.endCode = a ? kAsciiLength : kLength;
    }
    return step;
}

} // namespace plcsim
