// Storing reads of 960-word blocks whose values do not change, without sockets:
// nanoseconds per point, with "Update Same Value" on (every tag stamped) and off.
// Once with one block (its points stay in the caches) and once cycling through 200
// blocks (192,000 points, as a plant's lines do: the points come from memory).
#include <time.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "fenwold/MemoryArray.h"
#include "kestrun/model/BlockStore.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/shell/server/ServerFrame.h"

namespace {

constexpr int kWords = 960;

struct BlockDeleter {
    void operator()(CMemoryArray* p) const
    {
        p->DeleteContents();
        delete p;
    }
};
using Block = std::unique_ptr<CMemoryArray, BlockDeleter>;

Block MakeBlock()
{
    Block block(new CMemoryArray);
    block->SetName("D0");
    block->SetAddr("D0");
    block->SetDefaultDataType(BRISANT_WORD);
    block->SetMaxMemories(kWords);
    for (int i = 0; i < kWords; ++i)
        block->CreateMemoryObject(i, nullptr, TRUE);
    return block;
}

// Every value, in one run where the store takes runs.
template <class Store>
void StoreValues(Store& store, const std::vector<_BRISANTDATAVALUE>& values)
{
    if constexpr (requires { store.StoreRun(0, values.data(), 0); }) {
        store.StoreRun(0, values.data(), static_cast<int>(values.size()));
    } else {
        for (int i = 0; i < static_cast<int>(values.size()); ++i)
            store.Store(i, values[static_cast<std::size_t>(i)]);
    }
}

void StoreRead(CMemoryArray& block, const std::vector<_BRISANTDATAVALUE>& values)
{
    CdsBlockStore store(block, nullptr, nullptr);
    StoreValues(store, values);
}

double NsPerPoint(std::vector<Block>& blocks, const std::vector<_BRISANTDATAVALUE>& values)
{
    for (auto& block : blocks)  // first values, then the same again: the steady state
        for (int i = 0; i < 2; ++i)
            StoreRead(*block, values);
    long reads = 0;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double> elapsed{};
    do {
        for (auto& block : blocks)
            StoreRead(*block, values);
        reads += static_cast<long>(blocks.size());
        elapsed = std::chrono::steady_clock::now() - start;
    } while (elapsed < std::chrono::seconds(1));
    return elapsed.count() * 1e9 / (static_cast<double>(reads) * kWords);
}

}  // namespace

int main()
{
    std::vector<_BRISANTDATAVALUE> values(kWords);
    for (int i = 0; i < kWords; ++i)
        values[static_cast<std::size_t>(i)].wVal = static_cast<WORD>(i * 7);
    for (int count : {1, 200}) {
        std::vector<Block> blocks;
        for (int b = 0; b < count; ++b)
            blocks.push_back(MakeBlock());
        for (int same : {1, 0}) {
            CdsServerFrame::g_bUpdateSameValue = same;
            std::printf("%3d block(s) of %d words, unchanged values, \"Update Same Value\" %-3s: %6.2f ns/point\n",
                        count, kWords, same ? "on" : "off", NsPerPoint(blocks, values));
        }
        CdsServerFrame::g_bUpdateSameValue = 1;
    }
    return 0;
}
