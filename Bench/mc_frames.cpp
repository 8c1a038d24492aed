// Cost of building MC requests and of checking and decoding responses, per frame kind.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fenwold/McDecode.h"
#include "fenwold/McFrame.h"
#include "fenwold/McResponse.h"

namespace {

struct Kind {
    McFrameKind kind;
    bool ascii;
};

constexpr Kind kKinds[] = {{McFrameKind::E1, false}, {McFrameKind::E1, true}, {McFrameKind::E3, false},
                           {McFrameKind::E3, true},  {McFrameKind::E4, false}, {McFrameKind::E4, true}};
constexpr const char* kNames[] = {"1E binary", "1E ASCII", "3E binary", "3E ASCII", "4E binary", "4E ASCII"};
constexpr WORD kD = 0xA8;

McTarget Target(const Kind& k)
{
    McTarget t;
    t.kind = k.kind;
    t.ascii = k.ascii;
    t.serial = 7;
    return t;
}

// A good response to a read of `words` words of the request.
std::vector<BYTE> Response(const Kind& k, const McBuffer& query, unsigned words)
{
    std::vector<BYTE> r;
    r.reserve(16 + 4 * words + 32);
    auto copy = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            r.push_back(query[from + i]);
    };
    auto hex = [&](unsigned v, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            r.push_back(static_cast<BYTE>("0123456789ABCDEF"[(v >> (4 * i)) & 0xF]));
    };
    if (k.kind == McFrameKind::E1) {
        if (k.ascii) {
            hex(0x81, 2);
            hex(0, 2);
        } else {
            r = {0x81, 0x00};
        }
    } else if (!k.ascii) {
        const std::size_t routeAt = k.kind == McFrameKind::E4 ? 6 : 2;
        r = {static_cast<BYTE>(k.kind == McFrameKind::E4 ? 0xD4 : 0xD0), 0x00};
        if (k.kind == McFrameKind::E4)
            r.insert(r.end(), {query[2], query[3], 0, 0});
        copy(routeAt, 5);
        const unsigned length = 2 + 2 * words;
        r.insert(r.end(), {static_cast<BYTE>(length), static_cast<BYTE>(length >> 8), 0, 0});
    } else {
        const std::size_t routeAt = k.kind == McFrameKind::E4 ? 12 : 4;
        r.insert(r.end(), {'D', static_cast<BYTE>(k.kind == McFrameKind::E4 ? '4' : '0'), '0', '0'});
        if (k.kind == McFrameKind::E4) {
            copy(4, 4);
            r.insert(r.end(), {'0', '0', '0', '0'});
        }
        copy(routeAt, 10);
        hex(4 + 4 * words, 4);
        hex(0, 4);
    }
    for (unsigned i = 0; i < words; ++i) {
        if (k.ascii) {
            hex(i, 4);
        } else {
            r.push_back(static_cast<BYTE>(i));
            r.push_back(static_cast<BYTE>(i >> 8));
        }
    }
    return r;
}

class CountingSink : public McValueSink {
public:
    void Deliver(int, const _BRISANTDATAVALUE& v) override { sum += v.wVal; }
    unsigned long sum = 0;
};

void BuildRead(benchmark::State& state)
{
    const Kind& k = kKinds[state.range(0)];
    const McTarget t = Target(k);
    McBuffer out;
    out.reserve(64);
    for (auto _ : state) {
        McBuildBatchRead(out, t, kD, 100, k.kind == McFrameKind::E1 ? 256 : 960);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(kNames[state.range(0)]);
}

void BuildWrite(benchmark::State& state)
{
    const Kind& k = kKinds[state.range(0)];
    const McTarget t = Target(k);
    McBuffer out;
    out.reserve(64);
    for (auto _ : state) {
        McBuildPointWrite(out, t, 4, kD, 100, 0x1234);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(kNames[state.range(0)]);
}

void ParseRead(benchmark::State& state)
{
    const Kind& k = kKinds[state.range(0)];
    const unsigned words = k.kind == McFrameKind::E1 ? 256 : 960;
    McBuffer query;
    McBuildBatchRead(query, Target(k), kD, 100, words);
    const std::vector<BYTE> response = Response(k, query, words);
    McBlockShape shape;
    shape.dataType = 4;
    shape.ascii = k.ascii;
    shape.points = static_cast<int>(words);
    CountingSink sink;
    for (auto _ : state) {
        const McReply reply = McCheckResponse(k.kind, k.ascii, query, response);
        if (reply.verdict != McVerdict::Ok) {
            state.SkipWithError("response rejected");
            break;
        }
        McDecodeValues(shape, std::span<const BYTE>(response).subspan(reply.dataOffset, reply.dataLength), sink);
    }
    benchmark::DoNotOptimize(sink.sum);
    std::string label = kNames[state.range(0)];
    label += ", ";
    label += std::to_string(words);
    label += " words";
    state.SetLabel(label);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * words);
}

BENCHMARK(BuildRead)->DenseRange(0, 5);
BENCHMARK(BuildWrite)->DenseRange(0, 5);
BENCHMARK(ParseRead)->DenseRange(0, 5);

}  // namespace

BENCHMARK_MAIN();
