// A serial port's settings file: the port record and the serial settings behind it,
// loaded into the settings as the serial handler does; and the same bytes as a port
// record of whatever kind it names, as a device without that line loads it. Whatever
// loads must store, and what it stores must load and store again to the same bytes.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "platform/afx/Archive.h"
#include "platform/afx/Exceptions.h"
#include "platform/afx/MemFile.h"

namespace {

bool Load(std::span<const BYTE> bytes, const std::function<void(CArchive&)>& load)
{
    try {
        CMemFile file(bytes);
        CArchive ar(&file, CArchive::load);
        load(ar);
        ar.Close();
        return true;
    } catch (const CException&) {
        return false;
    }
}

std::vector<BYTE> Store(CdsCommConfig& config)
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

void SettingsFile(std::span<const BYTE> bytes)
{
    COXSerialCommConfig config;
    if (!Load(bytes, [&](CArchive& ar) { config.Serialize(ar); }))
        return;
    const std::vector<BYTE> stored = Store(config);
    COXSerialCommConfig again;
    FUZZ_CHECK(Load(stored, [&](CArchive& ar) { again.Serialize(ar); }));
    FUZZ_CHECK(Store(again) == stored);
}

void PortRecord(std::span<const BYTE> bytes)
{
    std::unique_ptr<CdsCommConfig> config;
    if (!Load(bytes, [&](CArchive& ar) { config = CdsCommConfig::LoadCommConfig(ar); }))
        return;
    FUZZ_CHECK(config != nullptr);
    const std::vector<BYTE> stored = Store(*config);
    std::unique_ptr<CdsCommConfig> again;
    FUZZ_CHECK(Load(stored, [&](CArchive& ar) { again = CdsCommConfig::LoadCommConfig(ar); }));
    FUZZ_CHECK(again && again->GetRuntimeClass() == config->GetRuntimeClass());
    FUZZ_CHECK(Store(*again) == stored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const BYTE> bytes(data, size);
    SettingsFile(bytes);
    PortRecord(bytes);
    return 0;
}
