#include "kestrun/model/ItemLookup.h"

#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/VariantType.h"
#include "kestrun/shell/ServerFrame.h"

namespace kestrun {

ItemNameOptions ItemNameOptions::Current()
{
    ItemNameOptions options;
    options.caseSensitive = CdsServerFrame::g_bCaseSensitive.load() != 0;
    options.dotSubset = CdsServerFrame::g_bEnableDotSubset.load() != 0;
    options.wildSearch = CdsServerFrame::g_bWildSearchOnTagCreate.load() != 0;
    options.viewActions = CdsServerFrame::g_bViewActions.load() != 0;
    return options;
}

CdsMemoryObject* LookupPointByName(const PointNameHost& block, std::string_view name, const ItemNameOptions& options)
{
    if (name.empty()) return nullptr;
    const std::string ruled = ApplyNameCase(name, options.caseSensitive);
    if (CdsMemoryObject* point = block.FindKeyName(ruled)) return point;

    const PointNameParts parts = ParsePointName(ruled, options.dotSubset);
    if (parts.hasSeparator) {
        if (CdsMemoryObject* point = block.FindKeyName(std::string(parts.beforeSeparator)))
            return parts.separatorBit ? block.BitOfPoint(point, *parts.separatorBit) : nullptr;
    }
    if (!parts.hasAddressForm || !parts.index) return nullptr;
    if (parts.address != ApplyNameCase(block.BlockAddress(), options.caseSensitive)) return nullptr;
    CdsMemoryObject* point = block.PointAtIndex(*parts.index);
    if (!point || !parts.hasBit) return point;
    return parts.bit ? block.BitOfPoint(point, *parts.bit) : nullptr;
}

namespace {

// A block keyed by the text answers with its own lookup; otherwise every block
// in list order is asked.
DeviceItemResult FindInDevice(const DeviceItemHost& device, const std::string& text, const ItemNameOptions& options)
{
    DeviceItemResult result;
    if (CdsMemoryArray* block = device.FindBlockByKey(ApplyNameCase(text, options.caseSensitive))) {
        result.block = block;
        result.namesBlock = true;
        result.point = device.FindPointInBlock(block, text);
        return result;
    }
    const int count = device.GetBlockCount();
    for (int i = 0; i < count; ++i) {
        CdsMemoryArray* block = device.GetBlockAt(i);
        if (!block) continue;
        if (CdsMemoryObject* point = device.FindPointInBlock(block, text)) {
            result.block = block;
            result.point = point;
            return result;
        }
    }
    return result;
}

} // namespace

DeviceItemResult LookupItemInDevice(DeviceItemHost& device, std::string_view item, const ItemNameOptions& options)
{
    const std::string text(item);
    if (CdsMemoryArray* block = device.FindBlockByKey(ApplyNameCase(text, options.caseSensitive))) {
        DeviceItemResult result;
        result.block = block;
        result.namesBlock = true;
        result.point = device.FindPointInBlock(block, text);
        return result;
    }
    if (auto typed = SplitTypedItem(item)) {
        const DeviceItemResult base = FindInDevice(device, typed->base, options);
        if (base.point) {
            const VariantTypeCode type = ParseVariantTypeCode(typed->code);
            // An unknown type word names nothing.
            if (!type.IsValid()) return {};
            DeviceItemResult result;
            result.block = base.block;
            if (type.parsed == device.GetBlockDefaultType(base.block)) {
                result.point = base.point;
            } else {
                result.point = device.GetVariant(base.block, base.point, typed->base, type.code);
            }
            return result;
        }
    }
    DeviceItemResult result = FindInDevice(device, text, options);
    result.namesBlock = false;
    if (!result.point) result.block = nullptr;
    return result;
}

OpcItemResult ResolveOpcItem(OpcItemHost& host, std::string_view itemId, std::string_view accessPath,
                             const ItemNameOptions& options)
{
    OpcItemResult result;
    const std::string id(itemId);
    const std::string path(accessPath);

    if ((result.tag = host.FindBrowseTag(RewriteBracketedItem(itemId)))) return result;

    CdsDeviceObject* pathDevice = path.empty() ? nullptr : host.FindDevice(path);
    const auto bracketed = SplitBracketedItem(itemId);
    CdsMemoryObject* point = nullptr;
    if (pathDevice) point = host.LookupInDevice(pathDevice, id);

    if (!point && !pathDevice && bracketed) {
        if (CdsDeviceObject* topic = host.FindDevice(bracketed->topic)) point = host.LookupInDevice(topic, bracketed->item);
    } else if (!point) {
        if (CdsDeviceObject* root = host.FindDevice("$Root")) point = host.LookupInDevice(root, id);
        const std::size_t dot = itemId.find('.');
        if (!point && dot != std::string_view::npos) {
            if (CdsDeviceObject* topic = host.FindDevice(std::string(itemId.substr(0, dot))))
                point = host.LookupInDevice(topic, std::string(itemId.substr(dot + 1)));
        }
    }

    if (!point) {
        CdsDeviceObject* owner = pathDevice ? pathDevice : host.FindDevice("$Root");
        if (owner && (point = host.CreateDynamicPoint(owner, id))) result.dynamic = true;
    }
    if (!point) {
        if (options.viewActions) host.ReportItemNotFound(id, path);
        return result;
    }
    result.point = point;
    result.names = MakeTagNames(itemId);
    return result;
}

} // namespace kestrun

// --- the block's lookups by name ---

namespace {

class BlockNames : public kestrun::PointNameHost {
public:
    explicit BlockNames(const CdsMemoryArray& block) : m_block(block) {}
    CdsMemoryObject* FindKeyName(const std::string& key) const override { return m_block.FindMemoryObjectByKey(key); }
    CdsMemoryObject* PointAtIndex(int index) const override { return m_block.GetMemoryObject(index); }
    CdsMemoryObject* BitOfPoint(CdsMemoryObject* point, int bit) const override { return point->GetBitObject(bit); }
    std::string BlockAddress() const override { return m_block.GetAddr(); }

private:
    const CdsMemoryArray& m_block;
};

} // namespace

CdsMemoryObject* CdsMemoryArray::GetMemoryObject(const std::string& strName) const
{
    return kestrun::LookupPointByName(BlockNames(*this), strName, kestrun::ItemNameOptions::Current());
}

CdsMemoryObject* CdsMemoryArray::FindMemoryObject(const std::string& strName) const
{
    const kestrun::ItemNameOptions options = kestrun::ItemNameOptions::Current();
    if (!options.wildSearch) return nullptr;
    const std::string text = kestrun::ApplyNameCase(strName, options.caseSensitive);
    bool first = true;
    for (CdsMemoryObject* point : m_points) {
        if (!point) continue;
        if (kestrun::WildNameMatches(point->GetName(), text, first)) return point;
        first = false;
    }
    return nullptr;
}
