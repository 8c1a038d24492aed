// Replays saved fuzz inputs through a target without libFuzzer: every file named on
// the command line and every file inside every folder named, in name order. Each
// input is copied into a buffer of exactly its size, so a sanitizer sees any read
// past it. Fails when there is nothing to replay: an empty corpus proves nothing.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Inputs(int argc, char** argv)
{
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (!fs::is_directory(path)) {
            files.push_back(path);
            continue;
        }
        std::vector<fs::path> inside;
        for (const auto& entry : fs::recursive_directory_iterator(path))
            if (entry.is_regular_file())
                inside.push_back(entry.path());
        std::sort(inside.begin(), inside.end());
        files.insert(files.end(), inside.begin(), inside.end());
    }
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto files = Inputs(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const auto exact = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("replayed %zu inputs in %lld ms\n", files.size(), static_cast<long long>(ms.count()));
    return 0;
}
