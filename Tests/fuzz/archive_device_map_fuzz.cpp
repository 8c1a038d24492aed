// A configuration document as the server program opens it: the archive of its device
// map (MELSEC devices, blocks, points and port records, by class name) and the
// online-on-load value, then what loading does next: system devices, parents, topics
// and every device's configuration read as going offline reads it. Whatever loads
// must store, and what it stores must load and store again to the same bytes.
#include <cstdint>
#include <span>
#include <vector>

#include "fenwold/DeviceMap.h"
#include "fuzz/FuzzCheck.h"
#include "platform/afx/Archive.h"
#include "platform/afx/Exceptions.h"
#include "platform/afx/MemFile.h"

namespace {

// Loads a document into map; false when the archive refuses it.
bool Load(CDeviceMap& map, std::span<const BYTE> bytes)
{
    try {
        CMemFile file(bytes);
        CArchive ar(&file, CArchive::load);
        map.Serialize(ar);
        LONG onlineOnLoad = 0;
        ar >> onlineOnLoad;
        ar.Close();
    } catch (const CException&) {
        map.DeleteContents();
        return false;
    }
    map.OnLoading();
    map.BuildTopicListMap();
    map.SetAllDevicesOnline(FALSE);
    return true;
}

std::vector<BYTE> Store(CDeviceMap& map)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        map.Serialize(ar);
        ar << static_cast<LONG>(1);
        ar.Close();
    }
    const auto data = file.GetData();
    return {data.begin(), data.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<BYTE> stored;
    {
        CDeviceMap map;
        if (!Load(map, std::span<const BYTE>(data, size)))
            return 0;
        stored = Store(map);
        map.DeleteContents();
    }
    CDeviceMap again;
    FUZZ_CHECK(Load(again, stored));
    FUZZ_CHECK(Store(again) == stored);
    again.DeleteContents();
    CdsDeviceMap::m_TopicListByName.RemoveAll();
    return 0;
}
