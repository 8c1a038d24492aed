// The OPC bridge under load, server and clients in two processes over the toolkit's
// transport: 1 and 10 clients with every item changing every 100 ms (the time a client
// takes to add every item, updates delivered per second, server CPU over the measured
// window and per update, values lost: a value that never reached the client though its
// item held it for a period; values merged: changes that fell within one period, which a
// group may send as their latest value), the time from a point's change to the client's
// callback, and the time from a change inside the simulated PLC to the client's callback
// through the MELSEC server.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/opc/Callback.h"
#include "platform/com/Guid.h"
#include "platform/opc/client/Activation.h"
#include "platform/opc/RecordingSinks.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/registry/Registry.h"
#include "support/ScratchFolder.h"
#include "support/model/DeviceFakes.h"
#include "support/plcsim/Server.h"
#include "fenwold/BridgeServer.h"
#include <random>

namespace {

using opc::ComPtr;
using Clock = std::chrono::steady_clock;

const CLSID kClsid = *com::parseGuid("{6E6F7453-0005-4E61-8000-0000000B3E5C}");
constexpr const char* kProgId = "Tessaro.BridgeBench";
constexpr int kPeriodMs = 100;

double NowUs() { return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count(); }

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Store(CdsMemoryObject* point, int type, double value)
{
    _BRISANTDATAVALUE cell{};
    if (type == BRISANT_DOUBLE)
        cell.dblVal = value;
    else
        cell.dwVal = static_cast<DWORD>(value);
    point->SetNewValue(cell, nullptr, FALSE);
}

// When each of the server's cycles began and when it had written each part of the items
// (steady clock, ns; 0: not yet), in memory the two processes share: the client needs it
// to tell a value it missed from two changes that fell within one update period, which a
// group may merge.
struct Timeline {
    static constexpr std::size_t kCycles = 1u << 15;  // 54 minutes at the period
    static constexpr std::size_t kParts = 20;
    // [c][0]: cycle c began; [c][p + 1]: it had written part p of the items.
    std::atomic<std::int64_t> markNs[kCycles][kParts + 1];

    // The part an item is written in, of `items`.
    static std::size_t PartOf(std::size_t item, std::size_t items) { return item * kParts / items; }

    static Timeline* Share()
    {
        void* at = ::mmap(nullptr, sizeof(Timeline), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        return at == MAP_FAILED ? nullptr : new (at) Timeline{};  // zero pages: every cycle unknown
    }
    static void Unshare(Timeline* t) { ::munmap(t, sizeof(Timeline)); }

    // The items of a part may have held the value of cycle c for less than the period:
    // the server wrote it late (the machine held its writer up within the cycle) and the
    // next one on time, from the last moment the part can have got the value to the
    // first it can have lost it. A value held for less than the period may fall between
    // two updates of a group that is on time, which then sends its successor alone; the
    // group times its periods to the millisecond, so two are left for that.
    bool ReplacedEarly(ULONG c, std::size_t part) const
    {
        if (c + 1 >= kCycles) return false;
        const std::int64_t written = markNs[c][part + 1].load(std::memory_order_acquire);
        const std::int64_t replaced = markNs[c + 1][part].load(std::memory_order_acquire);
        const std::int64_t period = std::chrono::nanoseconds(std::chrono::milliseconds(kPeriodMs)).count();
        const std::int64_t timing = std::chrono::nanoseconds(std::chrono::milliseconds(2)).count();
        return written != 0 && replaced != 0 && replaced - written < period + timing;
    }
};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

struct ServerResult {
    double cpuSeconds = 0;   // between the client's start and end marks
    double wallSeconds = 0;
};

// The server: `items` DWORD points and one time-stamp point (the last), all changed
// every period until the control pipe closes. The client writes 's' and 'e' on the pipe
// around its measurement; the server's CPU is taken between the two.
int RunServer(const std::filesystem::path& root, int items, Timeline& timeline, int readyFd, int controlFd,
              int resultFd)
{
    ::prctl(PR_SET_NAME, "opc_server");  // its threads too, for a profiler
    CdsDeviceMap::m_TopicListByName.RemoveAll();
    testsupport::TestDeviceMap map;
    auto* device = new testsupport::TestDevice;
    device->m_strName = std::string("PLC1");
    device->m_strPort = std::string("TCP1");
    device->m_strAddress = std::string("A");
    device->m_nDeviceType = 1;
    if (!map.AddDeviceObject(device))
        return 2;
    auto* block = new testsupport::PointBlock(-1);
    block->SetAddr("D0");
    block->SetDefaultDataType(BRISANT_DWORD);
    block->SetMaxMemories(items + 1);
    if (!device->AddMemoryArray(block, true))
        return 3;
    for (int i = 0; i <= items; ++i)
        block->GetMemoryObject(i)->SetDataType(i == items ? BRISANT_DOUBLE : BRISANT_DWORD);

    CfsCallback callback;
    callback.SetDeviceMap(&map);
    registry::Registry reg(root / "reg");
    opc::ToolkitOptions options;
    options.socketDir = root / "run";
    options.registry = &reg;
    {
        opc::Toolkit toolkit(options);
        if (!toolkit.start(kClsid, false))
            return 4;
        toolkit.setCallback(&callback);
        // The clients learn when the cycles begin (the steady clock is the same in both
        // processes), so they can subscribe half a period away from the changes.
        auto next = Clock::now();
        const std::int64_t firstCycle = next.time_since_epoch().count();
        (void)!::write(readyFd, &firstCycle, sizeof firstCycle);

        ServerResult result;
        double cpuStart = 0;
        auto wallStart = Clock::now();
        bool open = true;
        for (DWORD cycle = 1; open; ++cycle) {
            auto mark = [&](std::size_t at) {
                if (cycle < Timeline::kCycles)
                    timeline.markNs[cycle][at].store(Clock::now().time_since_epoch().count(),
                                                     std::memory_order_release);
            };
            mark(0);
            Store(block->GetMemoryObject(items), BRISANT_DOUBLE, NowUs());
            for (int i = 0; i < items; ++i) {
                Store(block->GetMemoryObject(i), BRISANT_DWORD, cycle);
                const std::size_t part = Timeline::PartOf(std::size_t(i), std::size_t(items));
                if (i + 1 == items || Timeline::PartOf(std::size_t(i) + 1, std::size_t(items)) != part)
                    mark(part + 1);
            }
            next += std::chrono::milliseconds(kPeriodMs);
            // A mark is answered within the period: the next cycle still begins on time,
            // not early (two changes in one period would merge in every group).
            for (;;) {
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
                pollfd control{controlFd, POLLIN, 0};
                if (::poll(&control, 1, static_cast<int>(std::max<long long>(wait, 0))) == 0)
                    break;
                char mark = 0;
                if (::read(controlFd, &mark, 1) != 1) {
                    open = false;  // closed: the client is done
                    break;
                }
                if (mark == 's') {
                    cpuStart = CpuSeconds();
                    wallStart = Clock::now();
                } else if (mark == 'e') {
                    result = ServerResult{CpuSeconds() - cpuStart,
                                          std::chrono::duration<double>(Clock::now() - wallStart).count()};
                }
            }
        }
        (void)!::write(resultFd, &result, sizeof result);
        toolkit.stop();
    }
    callback.SetDeviceMap(nullptr);
    return 0;
}

// Counts what arrives; keeps the delay of every time stamp it sees, and counts the
// values an item skipped (each item carries the server's cycle number). A skipped cycle
// is a value lost, unless its item held it for less than the period (the server wrote it
// late and the next on time): those two changes were merged, as a group may.
class CountingSink final : public opctest::DataChangeSink {
public:
    CountingSink(OPCHANDLE stampHandle, const Timeline& timeline)
        : m_stamp(stampHandle), m_timeline(timeline), m_last(stampHandle, 0) {}
    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, std::span<const OPCHANDLE> items,
                         std::span<const VARIANT> values, std::span<const WORD>, std::span<const FILETIME>,
                         std::span<const HRESULT>) override
    {
        const double now = NowUs();
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i] == m_stamp) {
                if (counting)
                    delaysMs.push_back((now - values[i].dblVal()) / 1000.0);
                continue;
            }
            if (items[i] >= m_last.size())
                continue;
            const ULONG cycle = values[i].ulVal();
            ULONG& last = m_last[items[i]];
            if (counting && last != 0)
                for (ULONG skipped = last + 1; skipped < cycle; ++skipped)
                    ++(m_timeline.ReplacedEarly(skipped, Timeline::PartOf(items[i], m_last.size())) ? merged
                                                                                                      : lost);
            last = cycle;
        }
        if (counting)
            updates += items.size();
        ++callbacks;
        cv.notify_all();
        return S_OK;
    }
    std::size_t events() const override { return callbacks; }

    std::size_t updates = 0;
    std::size_t lost = 0;
    std::size_t merged = 0;
    std::size_t callbacks = 0;
    bool counting = false;
    std::vector<double> delaysMs;

private:
    OPCHANDLE m_stamp;
    const Timeline& m_timeline;
    std::vector<ULONG> m_last;  // the last cycle of each item
};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// One client's connection: a group at the period with every item, subscribed.
struct BenchClient {
    ComPtr<IOPCServer> server;
    ComPtr<IOPCItemMgt> group;
    ComPtr<IConnectionPoint> point;
    ComPtr<CountingSink> sink;
    DWORD cookie = 0;
    double addItemsMs = 0;   // the one AddItems call with every item

    bool Connect(const opc::ActivationOptions& options, registry::Registry& reg, int items, const Timeline& timeline)
    {
        CLSID clsid{};
        ComPtr<IUnknown> unk;
        if (FAILED(opc::CLSIDFromProgID(u"Tessaro.BridgeBench", &clsid, &reg)) ||
            FAILED(opc::CoCreateInstanceEx(clsid, u"", IID_IOPCServer, unk.put(), options)))
            return false;
        server = ComPtr<IOPCServer>::attach(static_cast<IOPCServer*>(static_cast<void*>(unk.detach())));
        OPCHANDLE hGroup = 0;
        DWORD revised = 0;
        if (FAILED(server->AddGroup(u"Bench", TRUE, kPeriodMs, 1, nullptr, nullptr, 0, &hGroup, &revised,
                                    IID_IOPCItemMgt, unk.put())))
            return false;
        group = ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
        std::vector<OPCITEMDEF> defs(static_cast<std::size_t>(items) + 1);
        for (int i = 0; i <= items; ++i) {
            std::string id = "PLC1.D0:";
            id.append(std::to_string(i));
            defs[i].szItemID = com::toBstr(id);
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        const auto adding = Clock::now();
        if (group->AddItems(defs, results, errors) != S_OK)
            return false;
        addItemsMs = std::chrono::duration<double, std::milli>(Clock::now() - adding).count();
        group.as<IConnectionPointContainer>(IID_IConnectionPointContainer)
            ->FindConnectionPoint(IID_IOPCDataCallback, point.put());
        sink = ComPtr<CountingSink>(new CountingSink(static_cast<OPCHANDLE>(items), timeline));
        return bool(point);
    }

    // Subscribes half a period after a change of the values: the group then samples
    // between two changes, so a value missed is one the server dropped or sent too late
    // (or a thread that did not get the CPU), not a sample that fell next to a change.
    // A loaded machine may wake this thread late or take long over the call: a
    // subscription not made within a tenth of the period of its time is made again.
    bool Subscribe(Clock::time_point firstCycle)
    {
        const auto period = std::chrono::milliseconds(kPeriodMs);
        for (int attempt = 1;; ++attempt) {
            const auto since = (Clock::now() - firstCycle) % period;
            const auto at = Clock::now() - since + period + period / 2;
            std::this_thread::sleep_until(at);
            if (FAILED(point->Advise(sink.get(), &cookie)))
                return false;
            if (Clock::now() - at < period / 10 || attempt == 50)
                return true;
            point->Unadvise(cookie);
        }
    }
};

void RunClients(benchmark::State& state, int items, int clients, std::chrono::milliseconds measure)
{
    support::ScratchFolder scratch;
    registry::Registry reg(scratch.path() / "reg");
    reg.SetString(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\CLSID", "", com::formatGuid(kClsid));

    Timeline* timeline = Timeline::Share();
    if (!timeline) {
        state.SkipWithError("mmap");
        return;
    }
    struct Unshare {
        Timeline* t;
        ~Unshare() { Timeline::Unshare(t); }
    } unshare{timeline};
    int ready[2], control[2], result[2];
    if (::pipe(ready) || ::pipe(control) || ::pipe(result)) {
        state.SkipWithError("pipe");
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(control[1]);
        _exit(RunServer(scratch.path(), items, *timeline, ready[1], control[0], result[1]));
    }
    ::close(ready[1]);
    ::close(control[0]);
    ::close(result[1]);
    std::int64_t firstCycle = 0;
    if (::read(ready[0], &firstCycle, sizeof firstCycle) != static_cast<ssize_t>(sizeof firstCycle)) {
        state.SkipWithError("server did not start");
        ::waitpid(child, nullptr, 0);
        return;
    }

    double updatesPerSecond = 0;
    double measuredSeconds = 0;
    std::size_t updates = 0;
    std::size_t lost = 0;
    std::size_t merged = 0;
    std::vector<double> delays;
    double addItemsMs = 0;
    {
        opc::ActivationOptions options;
        options.socketDir = scratch.path() / "run";
        options.registry = &reg;
        std::vector<BenchClient> all(static_cast<std::size_t>(clients));
        bool connected = true;
        for (auto& c : all) {
            connected = connected && c.Connect(options, reg, items, *timeline);
            addItemsMs += c.addItemsMs / static_cast<double>(clients);
        }
        const Clock::time_point cycles{Clock::duration(firstCycle)};
        for (auto& c : all)
            connected = connected && c.Subscribe(cycles);
        if (!connected) {
            state.SkipWithError("no server");
        } else {
            for (auto& c : all)
                c.sink->waitFor(3, 10000);  // past the first full update
            for (auto _ : state) {
                for (auto& c : all) {
                    std::lock_guard lock(c.sink->mutex);
                    c.sink->updates = 0;
                    c.sink->lost = 0;
                    c.sink->merged = 0;
                    c.sink->delaysMs.clear();
                    c.sink->counting = true;
                }
                (void)!::write(control[1], "s", 1);
                const auto start = Clock::now();
                std::this_thread::sleep_for(measure);
                for (auto& c : all) {
                    std::lock_guard lock(c.sink->mutex);
                    c.sink->counting = false;
                    updates += c.sink->updates;
                    lost += c.sink->lost;
                    merged += c.sink->merged;
                    delays.insert(delays.end(), c.sink->delaysMs.begin(), c.sink->delaysMs.end());
                }
                measuredSeconds = std::chrono::duration<double>(Clock::now() - start).count();
                (void)!::write(control[1], "e", 1);
                updatesPerSecond = static_cast<double>(updates) / measuredSeconds;
            }
            for (auto& c : all)
                c.point->Unadvise(c.cookie);
        }
    }
    ::close(control[1]);
    ServerResult server;
    if (::read(result[0], &server, sizeof server) != static_cast<ssize_t>(sizeof server))
        state.SkipWithError("no server figures");
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(result[0]);

    state.counters["clients"] = clients;
    state.counters["items"] = items + 1;
    state.counters["add_items_ms_per_client"] = addItemsMs;
    state.counters["updates_per_s"] = updatesPerSecond;
    state.counters["values_lost"] = static_cast<double>(lost);
    state.counters["values_merged"] = static_cast<double>(merged);
    state.counters["server_cpu_pct"] = server.wallSeconds > 0 ? 100.0 * server.cpuSeconds / server.wallSeconds : 0;
    state.counters["server_cpu_us_per_update"] =
        updates > 0 ? 1e6 * server.cpuSeconds * (measuredSeconds / std::max(server.wallSeconds, 1e-9)) / static_cast<double>(updates) : 0;
    state.counters["latency_p50_ms"] = Percentile(delays, 0.5);
    state.counters["latency_p99_ms"] = Percentile(delays, 0.99);
    state.counters["latency_samples"] = static_cast<double>(delays.size());
}

void BM_OneClientTenThousandItemsEvery100ms(benchmark::State& state)
{
    RunClients(state, 10000, 1, std::chrono::seconds(5));
}
void BM_TenClientsTenThousandItemsEvery100ms(benchmark::State& state)
{
    RunClients(state, 10000, 10, std::chrono::seconds(5));
}
void BM_ChangeToCallbackLatency(benchmark::State& state) { RunClients(state, 0, 1, std::chrono::seconds(5)); }

#ifdef TESSARO_BRIDGE_SERVER
// Keeps the arrival time of the latest value of one item.
class ArrivalSink final : public opctest::DataChangeSink {
public:
    ArrivalSink() = default;
    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, std::span<const OPCHANDLE> items,
                         std::span<const VARIANT> values, std::span<const WORD>, std::span<const FILETIME>,
                         std::span<const HRESULT>) override
    {
        const auto now = Clock::now();
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i] == 0 && values[i].vt() == VT_I2) {
                value = values[i].iVal();
                when = now;
            }
        ++count;
        cv.notify_all();
        return S_OK;
    }
    std::size_t events() const override { return count; }

    // The arrival of that value, or nothing within the limit.
    std::optional<Clock::time_point> WaitFor(SHORT expected, std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex);
        if (!cv.wait_for(lock, limit, [&] { return value == expected; }))
            return std::nullopt;
        return when;
    }

    SHORT value = -1;
    Clock::time_point when;
    std::size_t count = 0;
};

// A word changed inside the simulator until the client's callback shows it: one line
// scan (50 ms data timer) and one group period (100 ms) at most, plus the transport.
void BM_SimulatorChangeToCallback(benchmark::State& state)
{
    support::ScratchFolder scratch;
    registry::Registry reg(scratch.path() / "reg");
    reg.SetString(HKEY_CLASSES_ROOT, std::string(bridgeserver::kProgId) + "\\CLSID", "",
                  com::formatGuid(bridgeserver::kClsid));
    bridgeserver::ServerProcess server(scratch.path());  // before the simulator's threads
    plcsim::Server plc;
    if (!plc.start() || !server.Start(plc.port())) {
        state.SkipWithError("no simulator or server");
        return;
    }
    plc.memory().setWord(bridgeserver::kCodeD, 100, 0);

    std::vector<double> delays;
    {
        opc::ActivationOptions options;
        options.socketDir = scratch.path() / "run";
        options.registry = &reg;
        CLSID clsid{};
        ComPtr<IUnknown> unk;
        if (FAILED(opc::CLSIDFromProgID(com::toBstr(bridgeserver::kProgId), &clsid, &reg)) ||
            FAILED(opc::CoCreateInstanceEx(clsid, u"", IID_IOPCServer, unk.put(), options))) {
            state.SkipWithError("no OPC server");
            return;
        }
        auto client = ComPtr<IOPCServer>::attach(static_cast<IOPCServer*>(static_cast<void*>(unk.detach())));
        OPCHANDLE hGroup = 0;
        DWORD revised = 0;
        client->AddGroup(u"Latency", TRUE, kPeriodMs, 1, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                         unk.put());
        auto group = ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
        std::vector<OPCITEMDEF> defs(1);
        defs[0].szItemID = u"[PLC3E]D100:0";
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        group->AddItems(defs, results, errors);
        ComPtr<IConnectionPoint> cp;
        group.as<IConnectionPointContainer>(IID_IConnectionPointContainer)
            ->FindConnectionPoint(IID_IOPCDataCallback, cp.put());
        ComPtr<ArrivalSink> sink(new ArrivalSink);
        DWORD cookie = 0;
        cp->Advise(sink.get(), &cookie);
        sink->WaitFor(0, std::chrono::seconds(5));

        std::minstd_rand random(12345);
        for (auto _ : state) {
            for (SHORT i = 1; i <= 60; ++i) {
                // Changes fall at any phase of the data timer and the group period.
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 97));
                const auto changed = Clock::now();
                plc.memory().setWord(bridgeserver::kCodeD, 100, static_cast<std::uint16_t>(i));
                if (auto arrived = sink->WaitFor(i, std::chrono::seconds(2)))
                    delays.push_back(std::chrono::duration<double, std::milli>(*arrived - changed).count());
            }
        }
        cp->Unadvise(cookie);
    }
    server.Stop();
    plc.stop();
    state.counters["latency_p50_ms"] = Percentile(delays, 0.5);
    state.counters["latency_p99_ms"] = Percentile(delays, 0.99);
    state.counters["samples"] = static_cast<double>(delays.size());
}
BENCHMARK(BM_SimulatorChangeToCallback)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

BENCHMARK(BM_OneClientTenThousandItemsEvery100ms)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TenClientsTenThousandItemsEvery100ms)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChangeToCallbackLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
