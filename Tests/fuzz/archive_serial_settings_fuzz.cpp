// A serial port's settings file: the port record and the serial settings behind it,
// loaded into the settings as the serial handler does. Whatever loads must store,
// and what it stores must load and store again to the same bytes.
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "kestrun/comm/SerialCommConfig.h"
#include "platform/afx/Archive.h"
#include "platform/afx/Exceptions.h"
#include "platform/afx/MemFile.h"

namespace {

bool Load(COXSerialCommConfig& config, std::span<const BYTE> bytes)
{
    try {
        CMemFile file(bytes);
        CArchive ar(&file, CArchive::load);
        config.Serialize(ar);
        ar.Close();
        return true;
    } catch (const CException&) {
        return false;
    }
}

std::vector<BYTE> Store(COXSerialCommConfig& config)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        config.Serialize(ar);
        ar.Close();
    }
    const auto data = file.GetData();
    return {data.begin(), data.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    COXSerialCommConfig config;
    if (!Load(config, std::span<const BYTE>(data, size)))
        return 0;
    const std::vector<BYTE> stored = Store(config);
    COXSerialCommConfig again;
    FUZZ_CHECK(Load(again, stored));
    FUZZ_CHECK(Store(again) == stored);
    return 0;
}
