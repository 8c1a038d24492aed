// Polling MELSEC blocks against the simulated PLC on loopback. First one connection
// reading D blocks back to back in each of the six frame kinds (960 words a read in
// 3E and 4E, 256 in 1E, which carries no more): requests per second, the driver's CPU per read (the line thread's
// own time) and the simulator's CPU per request in the same run (the rest of the
// process), with their ratio, so that figures from a loaded machine still compare.
// Once with every unchanged value counted as an update ("Update Same Value" on, the
// default) and once with unchanged values left alone; then 50 devices of 20 blocks on
// 10 connections for 10 seconds. The system calls of the driver's thread are
// counted per read (SyscallCount.h). Beside each driver run, a minimal client reads
// the same block from the same simulator: what a user would write instead of the
// driver (a blocking socket; build the request, send it, receive the header and
// then the rest, decode the words into an array). Its CPU per read against the
// simulator's shows how near the driver can come on this machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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

// Kernel time of the calling thread (a part of ThreadCpuSeconds): system calls,
// and the loopback's delivery of what the thread sends.
double ThreadKernelSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
}

long MaxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A frame kind as a device's configuration selects it, and as the minimal client
// speaks it (frame 1, 3 or 4; binary or ASCII code).
struct Form {
    const char* label;
    LONG deviceType;
    const char* protocol;
    const char* address;
    int words;
    int frame;
    bool ascii;
};

constexpr Form kMc3{"3E binary", 4, "MC3", "", 960, 3, false};

// The minimal client: one blocking TCP socket, D words read from D0 in batch reads.
class MinimalClient {
public:
    ~MinimalClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool Connect(std::uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    }

    // One batch read of `form.words` words into `words`; false on any fault.
    bool Read(const Form& form, std::uint16_t* words)
    {
        const int n = form.words;
        const int length = BuildRequest(form, n);
        if (::send(m_fd, m_request.data(), static_cast<size_t>(length), MSG_NOSIGNAL) != length)
            return false;
        // Header: up to and including the length field (3E/4E) or the end code (1E).
        const int header = form.frame == 1 ? (form.ascii ? 4 : 2)
                                           : (form.frame == 3 ? 9 : 13) * (form.ascii ? 2 : 1);
        if (!ReceiveAll(m_response.data(), header))
            return false;
        const BYTE* r = m_response.data();
        int rest;
        if (form.frame == 1) {
            if (Byte(form, r, 0) != 0x81 || Byte(form, r, 1) != 0)
                return false;
            rest = n * (form.ascii ? 4 : 2);
        } else {
            const int sub = form.frame == 3 ? 0xD0 : 0xD4;
            if (Byte(form, r, 0) != sub || Byte(form, r, 1) != 0)
                return false;
            if (form.frame == 4 && Word(form, r, 2) != m_serial)
                return false;
            const int at = header / (form.ascii ? 2 : 1) - 2;
            rest = Word(form, r, at);
        }
        if (header + rest > static_cast<int>(m_response.size()) || !ReceiveAll(m_response.data() + header, rest))
            return false;
        const BYTE* data = r + header;
        if (form.frame != 1) {
            if (Word(form, data, 0) != 0)
                return false;
            data += form.ascii ? 4 : 2;
            rest -= form.ascii ? 4 : 2;
        }
        if (rest != n * (form.ascii ? 4 : 2))
            return false;
        for (int i = 0; i < n; ++i)
            words[i] = static_cast<std::uint16_t>(Word(form, data, 2 * i));
        return true;
    }

private:
    static int Hex(BYTE c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }
    // Byte i of a field: itself in binary code, two hexadecimal digits in ASCII code.
    static int Byte(const Form& form, const BYTE* p, int i)
    {
        return form.ascii ? Hex(p[2 * i]) << 4 | Hex(p[2 * i + 1]) : p[i];
    }
    // A 16-bit field at byte i: little-endian in binary code, high byte first in ASCII.
    static int Word(const Form& form, const BYTE* p, int i)
    {
        return form.ascii ? Byte(form, p, i) << 8 | Byte(form, p, i + 1) : p[i] | p[i + 1] << 8;
    }

    bool ReceiveAll(BYTE* p, int n)
    {
        while (n > 0) {
            const ssize_t got = ::recv(m_fd, p, static_cast<size_t>(n), 0);
            if (got <= 0)
                return false;
            p += got;
            n -= static_cast<int>(got);
        }
        return true;
    }

    // The request as the MC protocol gives it: D0, n words, default route, PC 0xFF.
    int BuildRequest(const Form& form, int n)
    {
        char* out = m_request.data();
        int at = 0;
        auto put = [&](const char* text) {
            while (*text)
                out[at++] = *text++;
        };
        auto hex = [&](unsigned value, int digits) {
            for (int d = digits - 1; d >= 0; --d)
                out[at++] = "0123456789ABCDEF"[(value >> (4 * d)) & 0xF];
        };
        auto bin = [&](unsigned value, int bytes) {
            for (int b = 0; b < bytes; ++b)
                out[at++] = static_cast<char>((value >> (8 * b)) & 0xFF);
        };
        if (form.frame == 1) {
            if (form.ascii) {
                put("01FF000A4420");
                hex(0, 8);
                hex(static_cast<unsigned>(n & 0xFF), 2);
                put("00");
            } else {
                bin(0x01, 1), bin(0xFF, 1), bin(0x000A, 2), bin(0, 4), bin(0x4420, 2);
                bin(static_cast<unsigned>(n & 0xFF), 1), bin(0, 1);
            }
            return at;
        }
        if (form.frame == 4)
            ++m_serial;
        if (form.ascii) {
            put(form.frame == 3 ? "5000" : "5400");
            if (form.frame == 4)
                hex(m_serial, 4), put("0000");
            put("00FF03FF00" "0018" "0000" "0401" "0000" "D*");
            hex(0, 6);
            hex(static_cast<unsigned>(n), 4);
        } else {
            bin(form.frame == 3 ? 0x0050 : 0x0054, 2);
            if (form.frame == 4)
                bin(m_serial, 2), bin(0, 2);
            bin(0x00, 1), bin(0xFF, 1), bin(0x03FF, 2), bin(0x00, 1), bin(12, 2), bin(0, 2);
            bin(0x0401, 2), bin(0, 2), bin(0, 3), bin(0xA8, 1), bin(static_cast<unsigned>(n), 2);
        }
        return at;
    }

    int m_fd = -1;
    std::uint16_t m_serial = 0;
    std::array<char, 64> m_request{};
    std::array<BYTE, 4096> m_response{};
};

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

// The minimal client's run beside the driver's: the same block, simulator and time.
void MinimalConnection(std::uint16_t port, const Form& form)
{
    MinimalClient client;
    if (!client.Connect(port)) {
        std::printf("    minimal client could not connect\n");
        return;
    }
    std::array<std::uint16_t, 960> words{};
    client.Read(form, words.data());
    const auto start = std::chrono::steady_clock::now();
    const double process0 = CpuSeconds();
    const double own0 = ThreadCpuSeconds();
    const double kernel0 = ThreadKernelSeconds();
    const syscount::Counts calls0 = syscount::Mine();
    long reads = 0;
    long failed = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        ++reads;
        if (!client.Read(form, words.data())) {
            ++failed;  // the stream is out of step now
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double own = ThreadCpuSeconds() - own0;
    const double kernel = ThreadKernelSeconds() - kernel0;
    const syscount::Counts calls = syscount::Mine() - calls0;
    const double simulator = CpuSeconds() - process0 - own;
    const double perRead = own * 1e6 / static_cast<double>(reads);
    const double perRequest = simulator * 1e6 / static_cast<double>(reads);
    std::printf("    minimal client %8.0f requests/s  client %6.1f us CPU/read  plcsim %6.1f us CPU/request  "
                "client/plcsim %5.2f  %ld failed, system calls/read %.1f, kernel %.1f us/read\n",
                static_cast<double>(reads) / seconds, perRead, perRequest,
                perRequest > 0 ? perRead / perRequest : 0.0, failed,
                static_cast<double>(calls.Total()) / static_cast<double>(reads),
                kernel * 1e6 / static_cast<double>(reads));
}

void OneConnection(std::uint16_t port, const Form& form, bool minimal)
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
    const double kernel0 = ThreadKernelSeconds();
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
    const double kernel = ThreadKernelSeconds() - kernel0;
    const syscount::Counts calls = syscount::Mine() - calls0;
    // Nothing else runs in the process meanwhile: the rest is the simulator's.
    const double simulator = CpuSeconds() - process0 - driver;
    const double perRead = driver * 1e6 / static_cast<double>(reads);
    const double perRequest = simulator * 1e6 / static_cast<double>(reads);
    std::printf("one connection, %3d-word reads, %-10s %8.0f requests/s  driver %6.1f us CPU/read  "
                "plcsim %6.1f us CPU/request  driver/plcsim %5.2f  %ld failed\n"
                "    system calls/read %s, kernel %.1f us/read\n",
                form.words, label, static_cast<double>(reads) / seconds, perRead, perRequest,
                perRequest > 0 ? perRead / perRequest : 0.0, failed,
                calls.PerText(static_cast<double>(reads)).c_str(), kernel * 1e6 / static_cast<double>(reads));
    p.Close();
    if (minimal)
        MinimalConnection(port, form);
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
// with "Update Same Value" off when "off" is among them, and without the minimal
// client when "driver" is: for a profiler.
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
        for (const Form& form :
             {Form{"1E binary", 1, "MC", "255", 256, 1, false}, Form{"1E ASCII", 2, "ASCII", "255", 256, 1, true},
              kMc3, Form{"3E ASCII", 4, "ASCII 3", "", 960, 3, true}, Form{"4E binary", 3, "MC4", "", 960, 4, false},
              Form{"4E ASCII", 3, "ASCII", "", 960, 4, true}}) {
            if (wanted(form.label) || (only.size() == 1 && only[0] == "off"))
                OneConnection(sim.port(), form, only.empty() || !wanted("driver"));
        }
    }
    CdsServerFrame::g_bUpdateSameValue = 1;
    if (only.empty())
        Load(sim.port());
    sim.stop();
    return 0;
}
