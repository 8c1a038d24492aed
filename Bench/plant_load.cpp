// Loading a large plant's CSV configuration: how long it takes and how much memory
// each configured point costs, and how the load time grows with the number of
// stations against the number of blocks.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fenwold/FenwoldDoc.h"

namespace {

// Stations on their own addresses, 99 ports shared round robin; every block a
// run of 8-word (or `words`) Short items in D.
std::filesystem::path WritePlant(int stations, int blocks, int words)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("tessaro_plant_" + std::to_string(stations) + "x" + std::to_string(blocks) + ".csv");
    std::ofstream out(path);
    out << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n";
    for (int s = 0; s < stations; ++s)
        out << "ST" << s << ",MC3,3," << s << ",TCP" << (s % 99 + 1) << ",127.0.0." << (s / 250 + 1) << ' ' << (5010 + s % 250)
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
    return 0;
}
