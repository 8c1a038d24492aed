// plcsim: the MELSEC PLC simulator as a program of its own.
#include "support/plcsim/Devices.h"
#include "support/plcsim/Motion.h"
#include "support/plcsim/Server.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void usage()
{
    std::fprintf(stderr,
        "usage: plcsim [options]\n"
        "  -p, --port N         TCP port (default 5000; 0 picks a free one)\n"
        "  -b, --bind ADDR      bind address (default 127.0.0.1)\n"
        "  -f, --frame K        auto, 1e, 3e or 4e (default auto)\n"
        "  -c, --code C         auto, binary or ascii (default auto)\n"
        "  -s, --set DEV=V,...  initial values: D100=1234 (word), M5=1 (bit), W1F=0x10\n"
        "  -m, --move           D200 counts up and X0 toggles, every 500 ms\n"
        "  -v, --verbose        log every request and answer\n");
}

// "D100=1234": device name, number in the device's own numbering, value.
bool setInitial(plcsim::Memory& memory, const std::string& item)
{
    auto eq = item.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    std::string dev = item.substr(0, eq);
    const plcsim::DeviceInfo* info = nullptr;
    std::size_t nameLen = 0;
    for (auto d = plcsim::deviceTableBegin(); d != plcsim::deviceTableEnd(); ++d) {
        std::string name(d->name, d->name[1] == '*' ? 1 : 2);
        if (dev.size() > name.size() && dev.compare(0, name.size(), name) == 0 &&
            name.size() > nameLen && std::isxdigit(static_cast<unsigned char>(dev[name.size()]))) {
            info = d;
            nameLen = name.size();
        }
    }
    if (!info) return false;
    char* end = nullptr;
    unsigned long number = std::strtoul(dev.c_str() + nameLen, &end, info->hexNumber ? 16 : 10);
    if (*end != '\0' || number >= info->size) return false;
    unsigned long value = std::strtoul(item.c_str() + eq + 1, &end, 0);
    if (*end != '\0') return false;
    if (info->bit) memory.setBit(info->code, std::uint32_t(number), value != 0);
    else memory.setWord(info->code, std::uint32_t(number), std::uint16_t(value));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // A client that goes, or output nobody reads any more, fails a write rather
    // than ending the simulator.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
    plcsim::ServerOptions options;
    options.port = 5000;
    std::vector<std::string> initial;
    bool move = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) { usage(); std::exit(2); }
            return argv[++i];
        };
        if (a == "-p" || a == "--port") options.port = std::uint16_t(std::atoi(value().c_str()));
        else if (a == "-b" || a == "--bind") options.bindAddress = value();
        else if (a == "-f" || a == "--frame") {
            std::string v = value();
            if (v == "auto") options.frame = plcsim::FrameKind::Auto;
            else if (v == "1e" || v == "1E") options.frame = plcsim::FrameKind::E1;
            else if (v == "3e" || v == "3E") options.frame = plcsim::FrameKind::E3;
            else if (v == "4e" || v == "4E") options.frame = plcsim::FrameKind::E4;
            else { usage(); return 2; }
        } else if (a == "-c" || a == "--code") {
            std::string v = value();
            if (v == "auto") options.encoding = plcsim::Encoding::Auto;
            else if (v == "binary") options.encoding = plcsim::Encoding::Binary;
            else if (v == "ascii") options.encoding = plcsim::Encoding::Ascii;
            else { usage(); return 2; }
        } else if (a == "-s" || a == "--set") {
            std::string v = value();
            for (std::size_t at = 0; at <= v.size();) {
                std::size_t comma = v.find(',', at);
                if (comma == std::string::npos) comma = v.size();
                if (comma > at) initial.push_back(v.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (a == "-m" || a == "--move") move = true;
        else if (a == "-v" || a == "--verbose") options.verbose = true;
        else { usage(); return a == "-h" || a == "--help" ? 0 : 2; }
    }

    plcsim::Server server(options);
    for (const auto& item : initial) {
        if (!setInitial(server.memory(), item)) {
            std::fprintf(stderr, "plcsim: bad initial value '%s'\n", item.c_str());
            return 2;
        }
    }
    // Block the stop signals first so none can slip in before we wait for it.
    sigset_t stopSignals, previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &previous);
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "plcsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("plcsim listening on %s:%u\n", options.bindAddress.c_str(), unsigned(server.port()));
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        std::fprintf(stderr, "plcsim: the start-up line could not be written to standard output\n");
    std::unique_ptr<plcsim::Motion> motion;
    if (move) motion = std::make_unique<plcsim::Motion>(server.memory(), std::chrono::milliseconds(500));

    while (!g_stop) sigsuspend(&previous);
    motion.reset();
    server.stop();
    return 0;
}
