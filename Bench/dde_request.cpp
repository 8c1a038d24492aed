// DDE round trips against the real server: fenwold on a simulated PLC, asked by
// a client the way tessaro-dde asks. Prints p50 and p99 of a request of eight
// items in one command, of a poke and of an execute the server refuses.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/dde/Client.h"
#include "BenchScratch.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Percentiles {
    double p50 = 0;
    double p99 = 0;
};

Percentiles Of(std::vector<double> ms)
{
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * static_cast<double>(ms.size())))]; };
    return {at(0.50), at(0.99)};
}

template <typename Step>
std::vector<double> Time(int rounds, Step step)
{
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        if (!step())
            return {};
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return ms;
}

} // namespace

int main()
{
    const bench::ScratchRun scratch("dde");
    const auto& env = scratch.Env();
    int rc = 1;
    {
        testsupport::ServerProcess sim(testsupport::TestProgram("plcsim"), true);
        const int port = bench::StartPlcsim(sim, env);
        if (port == 0)
            return 1;
        const fs::path config = scratch.Dir() / "bench.csv";
        std::ofstream(config) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                              << "PLC1,MC3,3,,TCP1,127.0.0.1 " << port << ",,\n"
                              << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                              << "PLC1,Words,Short,D100,8,3,rw,100,\n";
        testsupport::ServerProcess server(testsupport::TestProgram("fenwold"), true);
        if (!server.Start({config.string()}, env) || !server.WaitFor("Connected to server(", 20000)) {
            std::fprintf(stderr, "fenwold did not go online: %s\n", server.Output().c_str());
            sim.Stop(SIGTERM);
            return 1;
        }
        dde::Client client(5000);
        std::uint32_t conversation = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (client.Open("Fenwold", scratch.Dir() / "run" / "tessaro") != dde::Client::Status::Ok && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (client.Connect("PLC1", conversation) == dde::Client::Status::Ok) {
            constexpr int kRounds = 200;
            const auto request = Time(kRounds, [&] {
                for (int i = 0; i < 8; ++i) {
                    dde::ClientValue value;
                    if (client.Request(conversation, "D" + std::to_string(100 + i), value) != dde::Client::Status::Ok)
                        return false;
                }
                return true;
            });
            int n = 0;
            const auto poke = Time(kRounds, [&] {
                return client.Poke(conversation, "D107", std::to_string(++n % 1000)) == dde::Client::Status::Ok;
            });
            const auto execute = Time(kRounds, [&] {
                return client.Execute(conversation, "NOTHING") == dde::Client::Status::Nack;
            });
            const Percentiles r = Of(request), p = Of(poke), e = Of(execute);
            std::printf("dde round trips against fenwold (%d rounds each), ms:\n", kRounds);
            std::printf("  request of 8 items   p50 %8.3f  p99 %8.3f\n", r.p50, r.p99);
            std::printf("  poke                 p50 %8.3f  p99 %8.3f\n", p.p50, p.p99);
            std::printf("  execute (refused)    p50 %8.3f  p99 %8.3f\n", e.p50, e.p99);
            rc = request.empty() || poke.empty() || execute.empty() ? 1 : 0;
            if (rc)
                std::fprintf(stderr, "a round trip failed: %s\n", client.LastError().c_str());
        } else {
            std::fprintf(stderr, "no DDE conversation: %s\n", client.LastError().c_str());
        }
        client.Close();
        server.Stop(SIGTERM);
        sim.Stop(SIGTERM);
    }
    return rc;
}
