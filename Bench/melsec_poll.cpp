// Polling MELSEC blocks against the simulated PLC on loopback. First one connection
// reading D blocks back to back in each of the six frame kinds (960 words a read in
// 3E and 4E, 256 in 1E, which carries no more): requests per second, the driver's CPU per read (the line thread's
// own time) and the simulator's CPU per request in the same run (the rest of the
// process), with their ratio, so that figures from a loaded machine still compare.
// Once with every unchanged value counted as an update ("Update Same Value" on, the
// default) and once with unchanged values left alone; then 50 devices of 20 blocks on
// 10 connections for 10 seconds. The system calls of the driver's thread are
// counted per read (SyscallCount.h).
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fenwold/CommHdlr.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "support/plcsim/Server.h"
#include "SyscallCount.h"

namespace {

constexpr WORD kD = 0xA8;

double ClockSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU time of the whole process, simulator included.
double CpuSeconds() { return ClockSeconds(CLOCK_PROCESS_CPUTIME_ID); }

// CPU time of the calling thread: the server's side of the exchanges only.
double ThreadCpuSeconds() { return ClockSeconds(CLOCK_THREAD_CPUTIME_ID); }

long MaxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A frame kind as a device's configuration selects it.
struct Form {
    const char* label;
    LONG deviceType;
    const char* protocol;
    const char* address;
    int words;
};

constexpr Form kMc3{"3E binary", 4, "MC3", "", 960};

struct DeviceDeleter {
    void operator()(CdsDeviceObject* p) const { p->Destroy(); }
};

// One connection: a handler with its line and the devices it polls.
struct Port {
    std::shared_ptr<CCommHdlr> hdlr = std::make_shared<CCommHdlr>();
    std::vector<std::unique_ptr<CDeviceObject, DeviceDeleter>> devices;
    std::vector<CMemoryArray*> blocks;
    tagTHREADINFO* line = nullptr;

    bool Open(std::uint16_t port, int deviceCount, int blocksPerDevice, int words, int dataType, const Form& form)
    {
        hdlr->SetInService(TRUE);
        for (int d = 0; d < deviceCount; ++d) {
            std::unique_ptr<CDeviceObject, DeviceDeleter> device(new CDeviceObject);
            device->m_strName = "PLC";
            device->m_strName += std::to_string(d);
            device->m_nDeviceType = form.deviceType;
            device->m_strProtocol = form.protocol;
            device->m_strAddress = form.address;
            auto config = std::make_unique<CdsTcpipConfig>();
            config->SetPortId(1);
            config->m_strRemoteAddress = "127.0.0.1";
            config->m_nRemotePort = port;
            device->SetCommConfig(0, std::move(config));
            if (!device->OnInitDeviceObject())
                return false;
            for (int b = 0; b < blocksPerDevice; ++b) {
                auto* block = new CMemoryArray;
                std::string address = "D";
                address += std::to_string(b * words);
                block->SetName(address);
                block->SetAddr(address);
                block->SetTypeDataWord(static_cast<SHORT>(kD));
                block->SetDefaultDataType(dataType);
                block->SetMaxMemories(words);
                if (auto* added = dynamic_cast<CMemoryArray*>(device->AddMemoryArray(block, true)))
                    blocks.push_back(added);
            }
            hdlr->AddActiveDevice(device.get());
            devices.push_back(std::move(device));
        }
        line = hdlr->NewThreadInfo(devices.front().get(), FALSE, FALSE);
        return line && hdlr->OpenCommPort(devices.front().get(), line);
    }

    void Close()
    {
        if (line)
            hdlr->CloseCommPort(devices.front().get(), line);
        for (auto& device : devices)
            hdlr->RemoveActiveDevice(device.get());
    }
};

void OneConnection(std::uint16_t port, const Form& form)
{
    const char* label = form.label;
    Port p;
    if (!p.Open(port, 1, 1, form.words, BRISANT_WORD, form)) {
        std::printf("%-10s could not connect\n", label);
        return;
    }
    CMemoryArray* block = p.blocks.front();
    p.hdlr->DoDataRead(block, p.line);  // the first read stores every value
    const auto start = std::chrono::steady_clock::now();
    const double process0 = CpuSeconds();
    const double driver0 = ThreadCpuSeconds();
    const syscount::Counts calls0 = syscount::Mine();
    long reads = 0;
    long failed = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        if (p.hdlr->DoDataRead(block, p.line) != 1)
            ++failed;
        ++reads;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double driver = ThreadCpuSeconds() - driver0;
    const syscount::Counts calls = syscount::Mine() - calls0;
    // Nothing else runs in the process meanwhile: the rest is the simulator's.
    const double simulator = CpuSeconds() - process0 - driver;
    const double perRead = driver * 1e6 / static_cast<double>(reads);
    const double perRequest = simulator * 1e6 / static_cast<double>(reads);
    std::printf("one connection, %3d-word reads, %-10s %8.0f requests/s  driver %6.1f us CPU/read  "
                "plcsim %6.1f us CPU/request  driver/plcsim %5.2f  %ld failed\n"
                "    system calls/read %s\n",
                form.words, label, static_cast<double>(reads) / seconds, perRead, perRequest,
                perRequest > 0 ? perRead / perRequest : 0.0, failed,
                calls.PerText(static_cast<double>(reads)).c_str());
    p.Close();
}

void Load(std::uint16_t port)
{
    constexpr int kPorts = 10;
    constexpr int kDevicesPerPort = 5;
    constexpr int kBlocksPerDevice = 20;
    const long rss0 = MaxRssKb();
    std::vector<std::unique_ptr<Port>> ports;
    for (int i = 0; i < kPorts; ++i) {
        auto p = std::make_unique<Port>();
        if (!p->Open(port, kDevicesPerPort, kBlocksPerDevice, 64, BRISANT_WORD, kMc3)) {
            std::printf("load: port %d could not connect\n", i);
            return;
        }
        ports.push_back(std::move(p));
    }
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::atomic<long> failed{0};
    std::atomic<long> serverMicros{0};
    std::mutex callsMutex;
    syscount::Counts calls;
    const double cpu0 = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> lines;
    for (auto& p : ports) {
        lines.emplace_back([&, port = p.get()] {
            const double own0 = ThreadCpuSeconds();
            const syscount::Counts calls0 = syscount::Mine();
            while (!stop) {
                for (CMemoryArray* block : port->blocks) {
                    if (port->hdlr->DoDataRead(block, port->line) != 1)
                        ++failed;
                    ++reads;
                }
                // The data update time: 1 ms between rounds.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            serverMicros += static_cast<long>((ThreadCpuSeconds() - own0) * 1e6);
            const syscount::Counts own = syscount::Mine() - calls0;
            std::lock_guard lock(callsMutex);
            for (int k = 0; k < syscount::Kinds; ++k)
                calls.n[k] += own.n[k];
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(10));
    stop = true;
    for (auto& t : lines)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("50 devices x 20 blocks (64 words) on 10 connections for %.0f s: %.0f blocks/s, server CPU %.1f%% "
                "of one core (%.1f us/block), with the simulator %.1f%%, %ld failed, max RSS %ld kB (%+ld kB for the "
                "load)\n",
                seconds, static_cast<double>(reads) / seconds, serverMicros.load() / 1e4 / seconds,
                static_cast<double>(serverMicros.load()) / static_cast<double>(reads), cpu * 100 / seconds,
                failed.load(), MaxRssKb(), MaxRssKb() - rss0);
    // The 1 ms pause between rounds is one nanosleep a round of 100 blocks.
    std::printf("    system calls/block %s\n", calls.PerText(static_cast<double>(reads)).c_str());
    for (auto& p : ports)
        p->Close();
}

}  // namespace

// With arguments, only the one-connection runs whose label they name ("3E binary"),
// with "Update Same Value" off when "off" is among them: for a profiler.
int main(int argc, char** argv)
{
    plcsim::ServerOptions options;
    options.log = [](const std::string&) {};
    plcsim::Server sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::printf("simulator: %s\n", error.c_str());
        return 1;
    }
    const std::vector<std::string> only(argv + 1, argv + argc);
    auto wanted = [&](const char* what) {
        return only.empty() || std::find(only.begin(), only.end(), what) != only.end();
    };
    // The simulator's words keep their values: with "Update Same Value" on (the
    // default) every point's OPC tag takes each read's time; with it off only the
    // driver's own work is left.
    for (int same : {1, 0}) {
        if (!only.empty() && wanted("off") == (same != 0))
            continue;
        CdsServerFrame::g_bUpdateSameValue = same;
        std::printf("\"Update Same Value\" %s:\n", same ? "on (unchanged values stamped)" : "off (unchanged values left)");
        for (const Form& form : {Form{"1E binary", 1, "MC", "255", 256}, Form{"1E ASCII", 2, "ASCII", "255", 256},
                                 kMc3, Form{"3E ASCII", 4, "ASCII 3", "", 960}, Form{"4E binary", 3, "MC4", "", 960},
                                 Form{"4E ASCII", 3, "ASCII", "", 960}}) {
            if (wanted(form.label) || (only.size() == 1 && only[0] == "off"))
                OneConnection(sim.port(), form);
        }
    }
    CdsServerFrame::g_bUpdateSameValue = 1;
    if (only.empty())
        Load(sim.port());
    sim.stop();
    return 0;
}
