// Importing a CSV configuration of any size: the time per line for 10,000, 30,000
// and 100,000 lines of two shapes (many blocks on one device; one block on each of
// many devices), the data view's device list filled in the map's order, and how
// soon the server program ends after SIGTERM during the load of 40,000 stations,
// as they go online and after. The time per line should stay flat as the file grows.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fenwold/FenwoldDoc.h"
#include "kestrun/shell/server/DataViewList.h"
#include "support/ServerProcess.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

fs::path Scratch()
{
    static const fs::path folder = [] {
        fs::path path = fs::temp_directory_path() / ("tessaro_csv_import_" + std::to_string(::getpid()));
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

void DeviceLine(std::ofstream& out, int s)
{
    out << "ST" << s << ",MC3,3," << s << ",TCP" << (s % 99 + 1) << ",127.0.0.1 " << (20000 + s % 250) << ",,Station " << s
        << '\n';
}

// One device and lines-1 blocks of 8 words on it.
fs::path BlocksOnOneDevice(int lines)
{
    const fs::path path = Scratch() / ("one_device_" + std::to_string(lines) + ".csv");
    std::ofstream out(path);
    out << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n";
    DeviceLine(out, 0);
    out << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n";
    for (int b = 0; b < lines - 1; ++b)
        out << "ST0,B" << b << ",Short,D" << b * 8 << ",8,3,rw,1000,\n";
    return path;
}

// lines/2 devices, one block on each.
fs::path OneBlockOnEachDevice(int lines)
{
    const int stations = lines / 2;
    const fs::path path = Scratch() / ("many_devices_" + std::to_string(lines) + ".csv");
    std::ofstream out(path);
    out << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n";
    for (int s = 0; s < stations; ++s)
        DeviceLine(out, s);
    out << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n";
    for (int s = 0; s < stations; ++s)
        out << "ST" << s << ",B0,Short,D0,8,3,rw,1000,\n";
    return path;
}

// Seconds to import the file; negative when it did not load.
double Import(const fs::path& path)
{
    const auto start = Clock::now();
    CFenwoldDoc doc;
    const bool loaded = doc.OnOpenDocument(path.string());
    const double seconds = Since(start);
    doc.DeleteContents();
    return loaded ? seconds : -1;
}

// Seconds to fill a device list of that many rows in the map's order, which is
// not the list's (the map is ordered by port and address).
double FillList(int rows)
{
    std::vector<CdsDataViewList::Row> names;
    for (int i = 0; i < rows; ++i)
        names.push_back({"ST" + std::to_string(i) + "\tStation", nullptr});
    std::shuffle(names.begin(), names.end(), std::mt19937(41));
    const auto start = Clock::now();
    CdsDataViewList list(20);
    list.Assign(std::move(names));
    return Since(start);
}

// When the signal goes: `after` seconds after the start, or that long after the
// server logs `mark` (its data view's debug lines say when going online starts
// and when it is done).
struct SignalPoint {
    double after;
    const char* mark;
};

// The server program on the file, SIGTERM at the point: seconds from the signal
// to its end, negative when it did not end within 20 s. markedAt: when the mark
// came, -1 without one.
double ExitAfterSigterm(const fs::path& config, SignalPoint point, double& markedAt)
{
    const std::string program = testsupport::TestProgram("fenwold");
    const fs::path run = Scratch() / "run";
    fs::remove_all(run);
    fs::create_directories(run / "runtime");
    fs::permissions(run / "runtime", fs::perms::owner_all);
    testsupport::ServerProcess server(program, true);
    const auto start = Clock::now();
    if (!server.Start({config.string()}, {{"TESSARO_REGISTRY", (run / "registry").string()},
                                          {"TESSARO_DATA", (run / "data").string()},
                                          {"XDG_RUNTIME_DIR", (run / "runtime").string()},
                                          {"TESSARO_DEBUG", "1"},
                                          {"LANG", "C"}}))
        return -1;
    markedAt = -1;
    if (point.mark) {
        if (!server.WaitFor(point.mark, 120000))
            return -1;
        markedAt = Since(start);
    }
    ::usleep(static_cast<useconds_t>(point.after * 1e6));
    const auto signalled = Clock::now();
    const int status = server.Stop(SIGTERM, 20000);
    const double seconds = Since(signalled);
    return status < 0 ? -seconds : seconds;
}

} // namespace

int main()
{
    std::printf("CSV import, microseconds per line (ratio to 10,000 lines):\n");
    for (const char* shape : {"blocks on one device", "one block on each device"}) {
        double base = 0;
        for (int lines : {10000, 30000, 100000}) {
            const fs::path path = shape[0] == 'b' ? BlocksOnOneDevice(lines) : OneBlockOnEachDevice(lines);
            const double seconds = Import(path);
            fs::remove(path);
            const double perLine = seconds * 1e6 / lines;
            if (base == 0)
                base = perLine;
            std::printf("  %-25s %6d lines: %s %7.2f s, %6.1f us/line (x%.2f)\n", shape, lines,
                        seconds < 0 ? "NOT LOADED" : "", seconds, perLine, perLine / base);
        }
    }
    std::printf("Data view device list, microseconds per row:\n");
    for (int rows : {10000, 30000, 100000}) {
        const double seconds = FillList(rows);
        std::printf("  %6d rows: %7.3f s, %6.2f us/row\n", rows, seconds, seconds * 1e6 / rows);
    }

    const std::string program = testsupport::TestProgram("fenwold");
    if (::access(program.c_str(), X_OK) != 0) {
        std::printf("SIGTERM: %s not built, skipped\n", program.c_str());
    } else {
        const fs::path path = OneBlockOnEachDevice(80000); // 40,000 stations
        std::printf("fenwold with 40,000 stations, seconds from SIGTERM to exit:\n");
        const SignalPoint points[] = {{0.5, nullptr},
                                      {1.0, nullptr},
                                      {2.0, nullptr},
                                      {4.0, nullptr},
                                      {0.0, "Online request processing"},
                                      {1.5, "Online request process done"}};
        for (const SignalPoint& point : points) {
            double markedAt = -1;
            const double seconds = ExitAfterSigterm(path, point, markedAt);
            if (point.mark && markedAt < 0) {
                std::printf("  \"%s\" never came\n", point.mark);
                continue;
            }
            const char* outcome = seconds < 0 ? "DID NOT END, killed after " : "";
            if (!point.mark)
                std::printf("  signal %.1f s after start: %s%.2f s\n", point.after, outcome, std::abs(seconds));
            else if (point.after == 0)
                std::printf("  signal as going online starts (at %.2f s): %s%.2f s\n", markedAt, outcome,
                            std::abs(seconds));
            else
                std::printf("  signal 1.5 s after going online ended (at %.2f s): %s%.2f s\n", markedAt, outcome,
                            std::abs(seconds));
        }
        fs::remove(path);
    }
    fs::remove_all(Scratch());
    return 0;
}
