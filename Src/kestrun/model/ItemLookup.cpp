#include "kestrun/model/ItemLookup.h"

#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/MemoryVariant.h"
#include "kestrun/model/VariantType.h"
#include "kestrun/options/ServerOptions.h"

namespace kestrun {

ItemNameOptions ItemNameOptions::Current()
{
    ItemNameOptions options;
    options.caseSensitive = CdsServerOptions::CaseSensitive();
    options.dotSubset = CdsServerOptions::g_bEnableDotSubset.load() != 0;
    options.wildSearch = CdsServerOptions::g_bWildSearchOnTagCreate.load() != 0;
    options.viewActions = CdsServerOptions::g_bViewActions.load() != 0;
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

// Every block in list order; the first that knows the name answers.
DeviceItemResult FindInBlocks(const DeviceItemHost& device, const std::string& text)
{
    DeviceItemResult result;
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

// A block keyed by the whole text answers with its own lookup.
bool FindInKeyedBlock(const DeviceItemHost& device, const std::string& text, const ItemNameOptions& options,
                      DeviceItemResult& result)
{
    CdsMemoryArray* block = device.FindBlockByKey(ApplyNameCase(text, options.caseSensitive));
    if (!block) return false;
    result.block = block;
    result.namesBlock = true;
    result.point = device.FindPointInBlock(block, text);
    return true;
}

} // namespace

DeviceItemResult LookupItemInDevice(DeviceItemHost& device, std::string_view item, const ItemNameOptions& options)
{
    const std::string text(item);
    DeviceItemResult keyed;
    if (FindInKeyedBlock(device, text, options, keyed)) return keyed;
    // Trailing blanks alone are no type word.
    auto typed = SplitTypedItem(item);
    if (typed && !typed->code.empty()) {
        DeviceItemResult base;
        if (!FindInKeyedBlock(device, typed->base, options, base)) base = FindInBlocks(device, typed->base);
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
    DeviceItemResult result = FindInBlocks(device, text);
    if (!result.point) result.block = nullptr;
    return result;
}

namespace {

class BlockListHost : public DeviceItemHost {
public:
    BlockListHost(const CdsMemoryArrayList& blocks, const std::function<CdsMemoryArray*(const std::string&)>& findBlock,
                  bool caseSensitive)
        : m_blocks(blocks.GetBlocks()), m_findBlock(findBlock), m_caseSensitive(caseSensitive)
    {
    }
    CdsMemoryArray* FindBlockByKey(const std::string& key) const override { return m_findBlock ? m_findBlock(key) : nullptr; }
    int GetBlockCount() const override { return static_cast<int>(m_blocks.size()); }
    CdsMemoryArray* GetBlockAt(int position) const override { return m_blocks[static_cast<std::size_t>(position)]; }
    CdsMemoryObject* FindPointInBlock(CdsMemoryArray* block, const std::string& name) const override
    {
        return block->GetMemoryObject(name);
    }
    int GetBlockDefaultType(CdsMemoryArray* block) const override { return block->GetDefaultDataType(); }
    CdsMemoryObject* GetVariant(CdsMemoryArray* block, CdsMemoryObject* base, const std::string& baseText,
                                const std::string& code) override
    {
        return GetBlockVariant(*block, *base, baseText, code, m_caseSensitive);
    }

private:
    const std::vector<CdsMemoryArray*>& m_blocks;
    const std::function<CdsMemoryArray*(const std::string&)>& m_findBlock;
    bool m_caseSensitive;
};

} // namespace

DeviceItemResult LookupItemInBlocks(const CdsMemoryArrayList& blocks,
                                    const std::function<CdsMemoryArray*(const std::string&)>& findBlock,
                                    std::string_view item, const ItemNameOptions& options)
{
    BlockListHost host(blocks, findBlock, options.caseSensitive);
    return LookupItemInDevice(host, item, options);
}

DeviceItemResult LookupItemInDevice(const CdsDeviceObject& device, std::string_view item, const ItemNameOptions& options)
{
    const std::function<CdsMemoryArray*(const std::string&)> findBlock = [&device, &options](const std::string& key) {
        if (CdsMemoryArray* block = device.GetMemoryArrayByName(key)) return block;
        // The address map also answers for a point's item: only the whole key names the block.
        CdsMemoryArray* block = device.GetMemoryArrayByAddr(key);
        return block && ApplyNameCase(block->GetAddr(), options.caseSensitive) == key ? block : nullptr;
    };
    return LookupItemInBlocks(device.GetMemoryArrayList(), findBlock, item, options);
}

DdeItemResult ResolveDdeItem(DdeItemHost& host, CdsDeviceObject* topicDevice, std::string_view text)
{
    DdeItemText split = SplitDdeItem(text);
    DdeItemResult result;
    result.device = topicDevice;
    result.item = std::move(split.item);
    if (result.device && !result.item.empty()) result.found = host.LookupInDevice(result.device, result.item);
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
