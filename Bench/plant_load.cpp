// Loading a large plant's CSV configuration: how long it takes and how much memory
// each configured point costs, and how the load time grows with the number of
// stations against the number of blocks. Then the server program itself with that
// plant polling the PLC simulator: its resident memory per configured point once
// loaded and while it polls.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "fenwold/FenwoldDoc.h"
#include "BenchScratch.h"

namespace {

// Stations on their own addresses, 99 ports shared round robin; every block a
// run of 8-word (or `words`) Short items in D.
// With simPort, every station talks to the one simulator on that port.
std::filesystem::path WritePlant(int stations, int blocks, int words, int simPort = 0)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("tessaro_plant_" + std::to_string(stations) + "x" + std::to_string(blocks) + ".csv");
    std::ofstream out(path);
    out << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n";
    for (int s = 0; s < stations; ++s)
        out << "ST" << s << ",MC3,3," << s << ",TCP" << (s % 99 + 1) << ",127.0.0." << (s / 250 + 1) << ' ' << (simPort ? simPort : 5010 + s % 250)
            << ",,Station " << s << '\n';
    out << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n";
    for (int s = 0; s < stations; ++s)
        for (int b = 0; b < blocks; ++b)
            out << "ST" << s << ",B" << b << ",Short,D" << b * words << ',' << words << ",3,rw,1000,\n";
    return path;
}

struct Figures {
    double seconds = 0;
    double heapBytes = 0;
    bool loaded = false;
};

Figures Load(const std::filesystem::path& path)
{
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    Figures f;
    const auto start = std::chrono::steady_clock::now();
    {
        CFenwoldDoc doc;
        f.loaded = doc.OnOpenDocument(path.string());
        f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        f.heapBytes = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(before);
        doc.DeleteContents();
    }
    return f;
}

// Resident memory of a process in bytes (VmRSS), 0 when it cannot be read.
double ResidentBytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) * 1024;
    return 0;
}

// fenwold headless on the plant against plcsim: resident bytes per point once the
// file is loaded and once polling has settled (no growth for 5 s, at most 60 s).
int PollingPlant(int stations, int blocks, int words)
{
    const bench::ScratchRun scratch("plant");
    // The line that marks the end of the load is a debug line.
    auto env = scratch.Env();
    env["TESSARO_DEBUG"] = "1";
    int rc = 1;
    {
        testsupport::ServerProcess sim(testsupport::TestProgram("plcsim"), true);
        const int port = bench::StartPlcsim(sim, env);
        if (port == 0)
            return 1;
        const std::filesystem::path config = WritePlant(stations, blocks, words, port);
        testsupport::ServerProcess server(testsupport::TestProgram("fenwold"), true);
        const double points = double(stations) * blocks * words;
        if (server.Start({config.string()}, env) && server.WaitFor("Online request flag set.", 120000)) {
            const double loaded = ResidentBytes(server.Pid());
            // Reading the output as it comes keeps the server's log queue empty.
            auto drain = [&](int ms) { server.WaitFor("\x01", ms); };
            drain(1000);
            double polling = ResidentBytes(server.Pid());
            int still = 0;
            for (int second = 0; second < 60 && still < 5; ++second) {
                drain(1000);
                const double now = ResidentBytes(server.Pid());
                still = now > polling ? 0 : still + 1;
                polling = std::max(polling, now);
            }
            const bool ran = ::kill(server.Pid(), 0) == 0;
            std::printf("fenwold polling plcsim with %d stations x %d blocks x %d words (%d lines connected): "
                        "resident %.0f B per point once loaded (%.1f MB), %.0f B per point while polling (%.1f MB)%s\n",
                        stations, blocks, words, server.Count("Connected to server("),
                        loaded / points, loaded / 1e6, polling / points, polling / 1e6, ran ? "" : " (ENDED)");
            rc = ran ? 0 : 1;
            server.Stop(SIGTERM, 30000);
        } else {
            std::fprintf(stderr, "fenwold did not load the plant\n");
        }
        sim.Stop(SIGTERM);
        std::filesystem::remove(config);
    }
    return rc;
}

} // namespace

int main()
{
    {
        const int stations = 100, blocks = 200, words = 8;
        const auto path = WritePlant(stations, blocks, words);
        const Figures f = Load(path);
        const double points = double(stations) * blocks * words;
        std::printf("plant of %d stations x %d blocks x %d words (%.0f points): loaded %s in %.2f s, "
                    "%.0f bytes of heap per point (%.1f MB)\n",
                    stations, blocks, words, points, f.loaded ? "yes" : "NO", f.seconds, f.heapBytes / points,
                    f.heapBytes / 1e6);
        std::filesystem::remove(path);
    }
    // The same 20,000 blocks on few or many stations, and stations alone: the time
    // per line should not grow with the number of stations.
    for (const auto& [stations, blocks] : {std::pair{100, 200}, std::pair{4000, 5}, std::pair{10000, 1},
                                          std::pair{20000, 1}}) {
        const auto path = WritePlant(stations, blocks, 8);
        const Figures f = Load(path);
        std::printf("%6d stations x %3d blocks: loaded %s in %.2f s (%.1f us per station line, %.1f us per block)\n",
                    stations, blocks, f.loaded ? "yes" : "NO", f.seconds, f.seconds * 1e6 / stations,
                    f.seconds * 1e6 / (double(stations) * blocks));
        std::filesystem::remove(path);
    }
    return PollingPlant(100, 200, 8);
}
