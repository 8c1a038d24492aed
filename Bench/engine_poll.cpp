// The engine's cost per block read: a headless Fenwold polling 1,000 stations of
// 20 blocks (8 words each) on 99 ports against the simulated PLC, its CPU read
// from /proc, against the bare driver reading the same blocks in this process,
// measured in the same run: back to back, and paced as the engine is (one read a
// data update time on each of 99 threads). The ratio is what the engine adds
// (line threads, stepping, the update cycle); the simulator runs in this
// process, so it is in neither figure. Then the first values of a large plant: 100 stations x
// 200 blocks with mixed priorities and scan times, seconds from going online until
// the simulator has answered a read of every block. Takes the fenwold program as
// its argument, else the one beside this program; a second argument "cpu" or
// "first" runs only that part, "changing" the CPU part with every value changing
// ("changing-quiet": the same with the option "View Events" off).
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <thread>
#include <vector>

#include "fenwold/CommHdlr.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "BenchScratch.h"
#include "support/plcsim/Server.h"

namespace {

constexpr int kStations = 1000;
constexpr int kBlocks = 20;
constexpr int kWords = 8;
constexpr WORD kD = 0xA8;

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// User and system time of a process, from /proc/<pid>/stat; negative when gone.
double ProcessCpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    // Fields after the name: state is the 3rd field, utime the 14th, stime the 15th.
    std::size_t pos = close + 2;
    for (int field = 3; field < 14; ++field) {
        pos = text.find(' ', pos);
        if (pos == std::string::npos)
            return -1;
        ++pos;
    }
    char* end = nullptr;
    const double utime = std::strtod(text.c_str() + pos, &end);
    const double stime = std::strtod(end, nullptr);
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct DeviceDeleter {
    void operator()(CdsDeviceObject* p) const { p->Destroy(); }
};

// One station of the bare driver: its 20 blocks on a connection of its own.
class BareStation {
public:
    explicit BareStation(std::uint16_t port) : m_hdlr(std::make_shared<CCommHdlr>()), m_device(new CDeviceObject)
    {
        m_hdlr->SetInService(TRUE);
        m_device->m_strName = "BARE";
        m_device->m_nDeviceType = 3;
        m_device->m_strProtocol = "MC3";
        auto config = std::make_unique<CdsTcpipConfig>();
        config->SetPortId(1);
        config->m_strRemoteAddress = "127.0.0.1";
        config->m_nRemotePort = port;
        m_device->SetCommConfig(0, std::move(config));
        if (!m_device->OnInitDeviceObject())
            return;
        for (int b = 0; b < kBlocks; ++b) {
            auto* block = new CMemoryArray;
            const std::string address = "D" + std::to_string(b * kWords);
            block->SetName(address);
            block->SetAddr(address);
            block->SetTypeDataWord(static_cast<SHORT>(kD));
            block->SetDefaultDataType(BRISANT_SHORT);
            block->SetMaxMemories(kWords);
            if (auto* added = dynamic_cast<CMemoryArray*>(m_device->AddMemoryArray(block, true)))
                m_blocks.push_back(added);
        }
        m_hdlr->AddActiveDevice(m_device.get());
        m_line = m_hdlr->NewThreadInfo(m_device.get(), FALSE, FALSE);
        if (!m_line || !m_hdlr->OpenCommPort(m_device.get(), m_line))
            m_line = nullptr;
    }
    ~BareStation()
    {
        if (m_line)
            m_hdlr->CloseCommPort(m_device.get(), m_line);
        m_hdlr->RemoveActiveDevice(m_device.get());
    }
    BareStation(const BareStation&) = delete;
    BareStation& operator=(const BareStation&) = delete;

    bool Open() const { return m_line != nullptr; }
    // Reads the next block; false when it failed.
    bool ReadNext()
    {
        CMemoryArray* block = m_blocks[m_next++ % m_blocks.size()];
        return m_hdlr->DoDataRead(block, m_line) == 1;
    }

private:
    std::shared_ptr<CCommHdlr> m_hdlr;
    std::unique_ptr<CDeviceObject, DeviceDeleter> m_device;
    std::vector<CMemoryArray*> m_blocks;
    tagTHREADINFO* m_line = nullptr;
    std::size_t m_next = 0;
};

// The bare driver: one station's 20 blocks read back to back on one connection.
double BareDriverMicrosPerBlock(std::uint16_t port, long& failed)
{
    BareStation station(port);
    if (!station.Open())
        return -1;
    for (int b = 0; b < kBlocks; ++b)
        station.ReadNext(); // the first reads store every value
    long reads = 0;
    const double cpu0 = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
        if (!station.ReadNext())
            ++failed;
        ++reads;
    }
    const double cpu = ThreadCpuSeconds() - cpu0;
    return cpu * 1e6 / static_cast<double>(reads);
}

// The same driver at the engine's pace, without the engine: 99 threads, each
// reading one block of its own station every 10 ms (the data update time) and
// sleeping in between. What one read costs once it waits for its tick.
double PacedDriverMicrosPerBlock(std::uint16_t port, long& failed)
{
    constexpr int kThreads = 99;
    std::mutex setup;
    std::atomic<long> reads{0}, failures{0};
    std::atomic<double> cpu{0};
    std::vector<std::thread> threads;
    const auto begin = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            std::unique_ptr<BareStation> station;
            {
                std::lock_guard lock(setup);
                station = std::make_unique<BareStation>(port);
            }
            if (!station->Open()) {
                ++failures;
                return;
            }
            for (int b = 0; b < kBlocks; ++b)
                station->ReadNext();
            std::this_thread::sleep_until(begin);
            const double cpu0 = ThreadCpuSeconds();
            auto next = begin;
            long n = 0;
            while (next < begin + std::chrono::seconds(5)) {
                if (!station->ReadNext())
                    ++failures;
                ++n;
                next += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(next);
            }
            const double used = ThreadCpuSeconds() - cpu0;
            reads += n;
            double seen = cpu.load();
            while (!cpu.compare_exchange_weak(seen, seen + used)) {
            }
            std::lock_guard lock(setup);
            station.reset();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    failed = failures.load();
    return reads.load() ? cpu.load() * 1e6 / static_cast<double>(reads.load()) : -1;
}

// Stations on their own addresses, 99 ports shared round robin, all on the simulator.
std::filesystem::path WritePlant(const std::filesystem::path& dir, std::uint16_t port)
{
    const auto path = dir / "plant.csv";
    std::ofstream out(path);
    out << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n";
    for (int s = 0; s < kStations; ++s)
        out << "ST" << s << ",MC3,3," << s << ",TCP" << (s % 99 + 1) << ",127.0.0.1 " << port << ",,Station " << s
            << '\n';
    out << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n";
    for (int s = 0; s < kStations; ++s)
        for (int b = 0; b < kBlocks; ++b)
            out << "ST" << s << ",B" << b << ",Short,D" << b * kWords << ',' << kWords << ",3,rw,1000,\n";
    return path;
}

pid_t StartServer(const std::string& program, const std::filesystem::path& dir, const std::filesystem::path& csv,
                  bool quiet = false)
{
    for (const char* sub : {"registry", "data", "runtime"})
        std::filesystem::create_directories(dir / sub);
    if (quiet) // "View Events" off: a changed value makes no event line
        std::ofstream(dir / "registry" / "HKEY_CURRENT_USER.reg")
            << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold\\Options]\n"
               "\"View Events\"=dword:00000000\n";
    std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setenv("TESSARO_REGISTRY", (dir / "registry").c_str(), 1);
    setenv("TESSARO_DATA", (dir / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
        _exit(126);
    execl(program.c_str(), program.c_str(), csv.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

void StopServer(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// The first values of 100 stations x 200 blocks on 99 ports, priorities and scan
// times as in the sample configuration's mix. Seconds from the first line going
// online until every block was answered once, and until half of them were.
int FirstValues(const std::string& program)
{
    constexpr int stations = 100, blocks = 200;
    constexpr int priorities[] = {3, 3, 1, 5}, scans[] = {1000, 5000, 1000, 2000};
    using Key = std::tuple<int, int, int, int, int, std::uint32_t>;
    std::mutex mutex;
    std::set<Key> answered;
    std::atomic<std::int64_t> halfAt{0}, allAt{0};
    auto nowNs = [] { return std::chrono::steady_clock::now().time_since_epoch().count(); };
    plcsim::ServerOptions options;
    options.log = [](const std::string&) {};
    options.onRequest = [&](const plcsim::RequestInfo& r, std::uint16_t endCode) {
        if (endCode != 0 || r.command != 0x0401)
            return;
        std::lock_guard lock(mutex);
        answered.emplace(r.network, r.pc, r.moduleIo, r.station, r.deviceCode, r.head);
        if (answered.size() == std::size_t(stations * blocks / 2))
            halfAt = nowNs();
        if (answered.size() == std::size_t(stations * blocks))
            allAt = nowNs();
    };
    plcsim::Server sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::printf("simulator: %s\n", error.c_str());
        return 1;
    }
    const bench::ScratchRun scratch("first_values");
    const auto csv = scratch.Dir() / "plant.csv";
    {
        std::ofstream out(csv);
        out << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n";
        for (int s = 0; s < stations; ++s) {
            // Each station its own network number, so the simulator tells their reads apart.
            char route[11];
            std::snprintf(route, sizeof route, "%02XFF03FF00", s + 1);
            out << "ST" << s << ",MC3,3," << route << ",TCP" << (s % 99 + 1) << ",127.0.0.1 " << sim.port() << ",,\n";
        }
        out << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n";
        for (int s = 0; s < stations; ++s)
            for (int b = 0; b < blocks; ++b)
                out << "ST" << s << ",B" << b << ",Short,D" << b * kWords << ',' << kWords << ','
                    << priorities[b % 4] << ",rw," << scans[b % 4] << ",\n";
    }
    testsupport::ServerProcess server(program, true);
    int rc = 1;
    if (server.Start({csv.string()}, scratch.Env()) && server.WaitFor("Background thread starting...", 120000)) {
        const std::int64_t online = nowNs();
        for (int i = 0; i < 600 && allAt.load() == 0; ++i)
            server.WaitFor("\x01", 100); // keeps its output read
        std::size_t count = 0;
        {
            std::lock_guard lock(mutex);
            count = answered.size();
        }
        auto since = [&](std::int64_t at) { return at ? double(at - online) / 1e9 : -1.0; };
        std::printf("first values of %d stations x %d blocks on 99 ports: half of the blocks answered %.2f s, "
                    "every block %.2f s after going online (%zu of %d blocks)\n",
                    stations, blocks, since(halfAt.load()), since(allAt.load()), count, stations * blocks);
        rc = allAt.load() ? 0 : 1;
        server.Stop(SIGTERM, 30000);
    } else {
        std::printf("first values: %s did not go online\n", program.c_str());
    }
    sim.stop();
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string program = argc > 1 ? argv[1]
                                         : (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "fenwold")
                                               .string();
    const std::string part = argc > 2 ? argv[2] : "";
    if (part == "first")
        return FirstValues(program);
    plcsim::ServerOptions options;
    options.log = [](const std::string&) {};
    plcsim::Server sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::printf("simulator: %s\n", error.c_str());
        return 1;
    }
    long bareFailed = 0;
    const double bare = BareDriverMicrosPerBlock(sim.port(), bareFailed);
    long pacedFailed = 0;
    const double paced = PacedDriverMicrosPerBlock(sim.port(), pacedFailed);

    // "changing": every word of the plant takes a new value every 10 ms, so each
    // read stores 8 changed points (none of them has a client).
    const bool quiet = part == "changing-quiet";
    std::atomic<bool> changing{part == "changing" || quiet};
    std::thread changer([&] {
        for (std::uint16_t round = 1; changing.load(); ++round) {
            for (int word = 0; word < kBlocks * kWords; ++word)
                sim.memory().setWord(kD, static_cast<std::uint32_t>(word), static_cast<std::uint16_t>(round + word));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    const auto dir = std::filesystem::temp_directory_path() / ("tessaro_engine_poll_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const pid_t server = StartServer(program, dir, WritePlant(dir, sim.port()), quiet);
    // Loading, going online, connecting and the first round of reads: then the steady state.
    const std::size_t firstRequests = sim.requestCount();
    sim.waitForRequests(firstRequests + 1, std::chrono::seconds(60));
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const std::size_t requests0 = sim.requestCount();
    const double cpu0 = ProcessCpuSeconds(server);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const std::size_t requests = sim.requestCount() - requests0;
    const double cpu = ProcessCpuSeconds(server) - cpu0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    StopServer(server);
    const bool changed = changing.exchange(false);
    changer.join();
    sim.stop();
    std::filesystem::remove_all(dir);

    if (cpu0 < 0 || requests == 0) {
        std::printf("engine: %s did not poll\n", program.c_str());
        return 1;
    }
    const double engine = cpu * 1e6 / static_cast<double>(requests);
    std::printf("bare driver, 20 blocks of %d words back to back: %6.1f us CPU/block (%ld failed)\n", kWords, bare,
                bareFailed);
    std::printf("bare driver, one block every 10 ms on each of 99 threads:  %6.1f us CPU/block (%ld failed)\n", paced,
                pacedFailed);
    std::printf("headless fenwold, %d stations x %d blocks on 99 ports for %.0f s%s: %.0f blocks/s, %.1f%% of one core, "
                "%6.1f us CPU/block, %.2fx the bare driver\n",
                kStations, kBlocks, seconds, changed ? (quiet ? ", every value changing, events off" : ", every value changing") : "", static_cast<double>(requests) / seconds, cpu * 100 / seconds, engine,
                bare > 0 ? engine / bare : 0.0);
    if (paced > 0)
        std::printf("  against the paced driver: %.2fx\n", engine / paced);
    return part.empty() ? FirstValues(program) : 0;
}
