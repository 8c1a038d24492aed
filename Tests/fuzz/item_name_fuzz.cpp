// Item names as OPC and DDE clients and operators type them, resolved against a
// small MELSEC device: the name splitting and type words on their own, then the
// lookups in the order the OPC bridge and the DDE bridge use them. The first byte
// holds the name options (bit 0 case-sensitive, bit 1 dot subsets, bit 2 linear
// search, bit 3 view actions); the rest is the item id, and after a line feed the
// access path. Whatever a lookup answers must be a point of the device.
#include <cstdint>
#include <string>
#include <string_view>

#include "fenwold/DeviceMap.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "fuzz/FuzzCheck.h"
#include "kestrun/model/ItemLookup.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/VariantType.h"
#include "kestrun/shell/server/ServerFrame.h"

namespace {

using namespace kestrun;

struct BlockSpec {
    const char* name;
    const char* address;
    WORD code;
    int type;
    int points;
};

constexpr BlockSpec kBlocks[] = {
    {"Words", "D100", 0xA8, BRISANT_WORD, 10},
    {"", "M0", 0x90, BRISANT_BOOL, 16},
    {"Floats", "D200", 0xA8, BRISANT_FLOAT, 4},
    {"Text", "D300", 0xA8, BRISANT_STRING, 2},
};

CDeviceObject* AddDevice(CDeviceMap& map)
{
    auto* device = new CDeviceObject;
    device->m_strName = "Plc1";
    device->m_strProtocol = "MC3";
    device->m_strPort = "TCP1";
    device->m_strAddress = "10.0.0.5";
    device->m_nDeviceType = 4;
    FUZZ_CHECK(map.AddDeviceObject(device, TRUE) == device);
    for (const BlockSpec& spec : kBlocks) {
        auto* block = new CMemoryArray;
        block->SetName(spec.name);
        block->SetAddr(spec.address);
        block->SetTypeDataWord(static_cast<SHORT>(spec.code));
        block->SetDefaultDataType(spec.type);
        block->SetLength(spec.points);
        block->SetMaxMemories(spec.points);
        FUZZ_CHECK(device->AddMemoryArray(block, true) == block);
        for (int i = 0; i < spec.points; ++i)
            block->CreateMemoryObject(i, nullptr, TRUE);
    }
    map.OnLoading();
    map.BuildTopicListMap();
    return device;
}

class OpcHost : public OpcItemHost {
public:
    explicit OpcHost(const ItemNameOptions& options) : m_options(options) {}
    CfsMemoryTag* FindBrowseTag(const std::string&) override { return nullptr; }
    CdsDeviceObject* FindDevice(const std::string& topic) override { return CdsDeviceMap::GetDeviceObjectByTopic(topic); }
    CdsMemoryObject* LookupInDevice(CdsDeviceObject* device, const std::string& item) override
    {
        return LookupItemInDevice(*device, item, m_options).point;
    }
    CdsMemoryObject* CreateDynamicPoint(CdsDeviceObject* device, const std::string& item) override
    {
        CdsMemoryArray* block = device->GetMemoryArrayByName("$Array");
        return block ? device->CreateDynamicMemoryObject(block, item.c_str()) : nullptr;
    }
    void ReportItemNotFound(const std::string&, const std::string&) override {}

private:
    ItemNameOptions m_options;
};

class DdeHost : public DdeItemHost {
public:
    explicit DdeHost(const ItemNameOptions& options) : m_options(options) {}
    DeviceItemResult LookupInDevice(CdsDeviceObject* device, const std::string& item) override
    {
        return LookupItemInDevice(*device, item, m_options);
    }

private:
    ItemNameOptions m_options;
};

void CheckFound(const DeviceItemResult& found)
{
    if (found.point)
        FUZZ_CHECK(found.point->GetParent() != nullptr);
    if (found.namesBlock)
        FUZZ_CHECK(found.block != nullptr);
}

void SplitOnly(std::string_view item, const ItemNameOptions& options)
{
    const PointNameParts parts = ParsePointName(item, options.dotSubset);
    if (parts.index)
        FUZZ_CHECK(*parts.index >= 0 && *parts.index <= kMaxPointIndex);
    if (parts.bit)
        FUZZ_CHECK(*parts.bit >= 0 && *parts.bit < kMaxBitCount);
    if (parts.separatorBit)
        FUZZ_CHECK(*parts.separatorBit >= 0 && *parts.separatorBit < kMaxBitCount);
    SplitTypedItem(item);
    SplitBracketedItem(item);
    RewriteBracketedItem(item);
    MakeTagNames(item);
    SplitDdeItem(item);
    if (const auto n = ParseBoundedDecimal(item, kMaxPointIndex))
        FUZZ_CHECK(*n >= 0 && *n <= kMaxPointIndex);
    const VariantTypeCode code = ParseVariantTypeCode(item);
    FUZZ_CHECK(code.size <= kMaxVariantTextSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const BYTE flags = data[0];
    CdsServerFrame::g_bCaseSensitive = flags & 1;
    CdsServerFrame::g_bEnableDotSubset = (flags >> 1) & 1;
    CdsServerFrame::g_bWildSearchOnTagCreate = (flags >> 2) & 1;
    CdsServerFrame::g_bViewActions = (flags >> 3) & 1;
    const ItemNameOptions options = ItemNameOptions::Current();

    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t newline = text.find('\n');
    const std::string_view item = text.substr(0, newline);
    const std::string_view accessPath = newline == text.npos ? std::string_view() : text.substr(newline + 1);
    SplitOnly(item, options);

    CDeviceMap map;
    CDeviceObject* device = AddDevice(map);
    CheckFound(LookupItemInDevice(*device, item, options));
    OpcHost opc(options);
    const OpcItemResult resolved = ResolveOpcItem(opc, item, accessPath, options);
    if (resolved.point)
        FUZZ_CHECK(resolved.point->GetParent() != nullptr);
    DdeHost dde(options);
    CheckFound(ResolveDdeItem(dde, device, item).found);
    device->GetMemoryObject(std::string(item));
    map.DeleteContents();
    CdsDeviceMap::m_TopicListByName.RemoveAll();
    return 0;
}
