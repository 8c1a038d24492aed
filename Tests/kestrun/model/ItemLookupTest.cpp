#include "kestrun/model/ItemLookup.h"

#include <gtest/gtest.h>

#include <map>

#include "kestrun/model/BitArray.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryVariant.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/dde/BrisantTypes.h"
#include "support/OptionScope.h"
#include "support/model/DeviceFakes.h"
#include "support/model/ModelFakes.h"
#include <vector>

namespace kestrun {
namespace {

// The lookups return model objects by address only; the fakes hand out
// addresses inside these arrays so a result can be turned back into a name.
char g_points[8][100];
char g_bits[8][100][32];
char g_blocks[8];
char g_devices[8];
char g_tags[8];
char g_variants[8];

CdsMemoryObject* Point(int block, int index) { return reinterpret_cast<CdsMemoryObject*>(&g_points[block][index]); }
CdsMemoryObject* Bit(int block, int index, int bit) { return reinterpret_cast<CdsMemoryObject*>(&g_bits[block][index][bit]); }
CdsMemoryObject* Variant(int n) { return reinterpret_cast<CdsMemoryObject*>(&g_variants[n]); }
CdsMemoryArray* Block(int n) { return reinterpret_cast<CdsMemoryArray*>(&g_blocks[n]); }
CdsDeviceObject* Device(int n) { return reinterpret_cast<CdsDeviceObject*>(&g_devices[n]); }
CfsMemoryTag* Tag(int n) { return reinterpret_cast<CfsMemoryTag*>(&g_tags[n]); }

std::string Describe(const CdsMemoryObject* p)
{
    if (!p) return "none";
    const char* c = reinterpret_cast<const char*>(p);
    for (int b = 0; b < 8; ++b) {
        if (c >= &g_points[b][0] && c < &g_points[b][0] + sizeof g_points[b])
            return "b" + std::to_string(b) + " p" + std::to_string(c - &g_points[b][0]);
        const char* bits = &g_bits[b][0][0];
        if (c >= bits && c < bits + sizeof g_bits[b]) {
            const long off = c - bits;
            return "b" + std::to_string(b) + " p" + std::to_string(off / 32) + "/" + std::to_string(off % 32);
        }
    }
    for (int v = 0; v < 8; ++v)
        if (c == &g_variants[v]) return "v" + std::to_string(v);
    return "?";
}

// A block of count points with address addr; key names map to indexes. Bits
// exist below maxBits, as a word point's bit array would have them.
class FakeBlock : public PointNameHost {
public:
    FakeBlock(int id, std::string addr, int count, int maxBits = 16) : id_(id), addr_(std::move(addr)), count_(count), maxBits_(maxBits)
    {
        // Key names as the block stores them: the default names, upper-cased.
        for (int i = 0; i < count_; ++i) keys_[ApplyNameCase(FormatPointName(addr_, i), false)] = i;
    }
    void SetKeys(std::map<std::string, int> keys) { keys_ = std::move(keys); }

    CdsMemoryObject* FindKeyName(const std::string& key) const override
    {
        auto it = keys_.find(key);
        return it == keys_.end() ? nullptr : Point(id_, it->second);
    }
    CdsMemoryObject* PointAtIndex(int index) const override { return index >= 0 && index < count_ ? Point(id_, index) : nullptr; }
    CdsMemoryObject* BitOfPoint(CdsMemoryObject* point, int bit) const override
    {
        const long index = reinterpret_cast<char*>(point) - &g_points[id_][0];
        return bit >= 0 && bit < maxBits_ ? Bit(id_, static_cast<int>(index), bit) : nullptr;
    }
    std::string BlockAddress() const override { return addr_; }

    int id_;
    std::string addr_;
    int count_;
    int maxBits_;
    std::map<std::string, int> keys_;
};

struct BlockLookupCase {
    const char* name;
    bool caseSensitive;
    bool dotSubset;
    const char* expected;
};

class BlockLookupTest : public testing::TestWithParam<BlockLookupCase> {};

TEST_P(BlockLookupTest, FindsThePoint)
{
    const BlockLookupCase& c = GetParam();
    // A block at D100 with 20 points whose pseudo names are device names D100..D119.
    FakeBlock block(0, "D100", 20);
    std::map<std::string, int> keys;
    for (int i = 0; i < 20; ++i) keys["D" + std::to_string(100 + i)] = i;
    block.SetKeys(keys);
    ItemNameOptions options;
    options.caseSensitive = c.caseSensitive;
    options.dotSubset = c.dotSubset;
    EXPECT_EQ(Describe(LookupPointByName(block, c.name, options)), c.expected) << c.name;
}

// clang-format off
const BlockLookupCase kBlockLookups[] = {
    {"D100:5",     false, true,  "b0 p5"},
    {"d100:h5",    false, true,  "b0 p5"},
    {"D100:&5",    false, true,  "b0 p5"},
    {"D100:10",    false, true,  "b0 p10"},
    {"D100:HA",    false, true,  "b0 p10"},
    {"D100:&H5",   false, true,  "none"},
    {"D100:H5Z",   false, true,  "none"},
    {"D100:x5",    false, true,  "none"},
    {"D100:",      false, true,  "none"},
    {"D100:20",    false, true,  "none"},
    {"D100:65537", false, true,  "none"},
    {"D200:5",     false, true,  "none"},
    {"",           false, true,  "none"},
    {"D100:5/3",   false, true,  "b0 p5/3"},
    {"D100:5/3",   false, false, "b0 p5/3"},
    {"D100:5.3",   false, true,  "b0 p5/3"},
    {"D100:5.3",   false, false, "b0 p5"},
    {"D100:5/15",  false, true,  "b0 p5/15"},
    {"D100:5/16",  false, true,  "none"},
    {"D100:5/32",  false, true,  "none"},
    {"D100:5/33",  false, true,  "none"},
    {"D100:5/3x",  false, true,  "none"},
    {"D105",       false, true,  "b0 p5"},
    {"d105",       false, true,  "b0 p5"},
    {"D105/3",     false, true,  "b0 p5/3"},
    {"D105.3",     false, true,  "b0 p5/3"},
    {"D105.3",     false, false, "none"},
    {"D105/x",     false, true,  "none"},
    {"D105/",      false, true,  "none"},
    {"D999/3",     false, true,  "none"},
    {"/3",         false, true,  "none"},
    {":5",         false, true,  "none"},
    // case-sensitive names compare exactly
    {"d100:5",     true,  true,  "none"},
    {"D100:5",     true,  true,  "b0 p5"},
    {"D100:h5",    true,  true,  "b0 p5"},
    {"d105",       true,  true,  "none"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Names, BlockLookupTest, testing::ValuesIn(kBlockLookups));

TEST(BlockLookupDefaultNamesTest, DefaultKeyNameAnswersBeforeTheAddressForm)
{
    // Base-class points are keyed by their default names, so "D100:5" is a key
    // and "D100:5/3" reaches the bit through the key.
    FakeBlock block(1, "D100", 8);
    ItemNameOptions options;
    EXPECT_EQ(Describe(LookupPointByName(block, "d100:5", options)), "b1 p5");
    EXPECT_EQ(Describe(LookupPointByName(block, "D100:5/7", options)), "b1 p5/7");
    EXPECT_EQ(Describe(LookupPointByName(block, "D100:H5/7", options)), "b1 p5/7");
}

// A device of fake blocks, keyed by block path.
class FakeDevice : public DeviceItemHost {
public:
    std::vector<FakeBlock*> blocks;
    std::map<std::string, int> blockKeys;  // key -> position
    std::map<int, int> defaultTypes;       // block id -> type
    ItemNameOptions options;
    std::map<std::string, int> variants;   // "block base code" -> variant number
    std::vector<std::string> variantCalls;

    CdsMemoryArray* FindBlockByKey(const std::string& key) const override
    {
        auto it = blockKeys.find(key);
        return it == blockKeys.end() ? nullptr : Block(blocks[static_cast<std::size_t>(it->second)]->id_);
    }
    int GetBlockCount() const override { return static_cast<int>(blocks.size()); }
    CdsMemoryArray* GetBlockAt(int position) const override { return Block(blocks[static_cast<std::size_t>(position)]->id_); }
    CdsMemoryObject* FindPointInBlock(CdsMemoryArray* block, const std::string& name) const override
    {
        return LookupPointByName(*ById(block), name, options);
    }
    int GetBlockDefaultType(CdsMemoryArray* block) const override { return defaultTypes.at(ById(block)->id_); }
    CdsMemoryObject* GetVariant(CdsMemoryArray* block, CdsMemoryObject* base, const std::string& baseText,
                                const std::string& code) override
    {
        variantCalls.push_back(Describe(base) + " " + baseText + " " + code);
        const std::string key = std::to_string(ById(block)->id_) + " " + FormatVariantKey(baseText, code, options.caseSensitive);
        auto it = variants.find(key);
        if (it == variants.end()) it = variants.emplace(key, static_cast<int>(variants.size())).first;
        return Variant(it->second);
    }

    FakeBlock* ById(CdsMemoryArray* block) const
    {
        for (FakeBlock* b : blocks)
            if (Block(b->id_) == block) return b;
        return nullptr;
    }
};

class DeviceLookupTest : public testing::Test {
protected:
    FakeBlock d100{2, "D100", 10};
    FakeBlock d200{3, "D200", 10};
    FakeDevice device;

    void SetUp() override
    {
        device.blocks = {&d100, &d200};
        device.blockKeys = {{"[LINE1]D100", 0}, {"D200", 1}};
        device.defaultTypes = {{2, BRISANT_WORD}, {3, BRISANT_FLOAT}};
    }
    std::string Lookup(const char* item) { return Describe(LookupItemInDevice(device, item, device.options).point); }
};

TEST_F(DeviceLookupTest, TriesEachBlockInListOrder)
{
    EXPECT_EQ(Lookup("D100:5"), "b2 p5");
    // D200:5 is no point of the D100 block; the next block answers.
    EXPECT_EQ(Lookup("D200:5"), "b3 p5");
    EXPECT_EQ(Lookup("d200:h5/2"), "b3 p5/2");
    EXPECT_EQ(Lookup("D300:5"), "none");
}

TEST_F(DeviceLookupTest, ABlockKeyNamesTheBlock)
{
    const DeviceItemResult r = LookupItemInDevice(device, "[line1]d100", device.options);
    EXPECT_TRUE(r.namesBlock);
    EXPECT_EQ(r.block, Block(2));
    EXPECT_EQ(r.point, nullptr);
}

TEST_F(DeviceLookupTest, ATypeWordMakesOneVariantPerBaseAndWord)
{
    const DeviceItemResult r = LookupItemInDevice(device, "D100:4 R4", device.options);
    EXPECT_EQ(Describe(r.point), "v0");
    EXPECT_EQ(r.block, Block(2));
    // Other spellings of the same word reach the same variant.
    EXPECT_EQ(Lookup("d100:4  r4 "), "v0");
    EXPECT_EQ(Lookup("D100:H4 R4"), "v1");
    EXPECT_EQ(Lookup("D100:4 BC"), "v2");
    ASSERT_EQ(device.variantCalls.size(), 4u);
    // The variant is handed the base point it reads.
    EXPECT_EQ(device.variantCalls[0], "b2 p4 D100:4 R4");
    EXPECT_EQ(device.variantCalls[3], "b2 p4 D100:4 BC");
}

TEST_F(DeviceLookupTest, ATypeWordOfTheBlocksOwnTypeIsThePointItself)
{
    EXPECT_EQ(Lookup("D100:4 UI2"), "b2 p4");
    EXPECT_EQ(Lookup("D100:4 U"), "b2 p4");
    EXPECT_EQ(Lookup("D200:4 R4"), "b3 p4");
    EXPECT_EQ(Lookup("D200:4 f"), "b3 p4");
    EXPECT_TRUE(device.variantCalls.empty());
}

TEST_F(DeviceLookupTest, AnUnknownTypeWordFailsTheItem)
{
    EXPECT_EQ(Lookup("D100:4 Q"), "none");
    EXPECT_EQ(Lookup("D100:4 HX"), "none");
    EXPECT_EQ(Lookup("D100:4 M-5"), "none");
    EXPECT_TRUE(device.variantCalls.empty());
}

TEST_F(DeviceLookupTest, TrailingBlanksAreNoTypeWord)
{
    EXPECT_EQ(Lookup("D100:4 "), "b2 p4");
    EXPECT_EQ(Lookup("D100:4   "), "b2 p4");
    EXPECT_TRUE(device.variantCalls.empty());
}

TEST_F(DeviceLookupTest, ATypeWordOnAMissingBaseFindsNothing)
{
    EXPECT_EQ(Lookup("D100:40 R4"), "none");
    EXPECT_TRUE(device.variantCalls.empty());
}

// Device map and bridge for the OPC resolution order.
class FakeOpcHost : public OpcItemHost {
public:
    std::map<std::string, CfsMemoryTag*> browse;        // upper-cased path -> tag
    std::map<std::string, int> topics;                   // topic -> device number
    std::map<int, FakeDevice*> devices;
    std::vector<std::string> dynamicCalls;
    std::vector<std::string> notFound;
    bool makeDynamic = false;

    CfsMemoryTag* FindBrowseTag(const std::string& path) override
    {
        auto it = browse.find(ApplyNameCase(path, false));
        return it == browse.end() ? nullptr : it->second;
    }
    CdsDeviceObject* FindDevice(const std::string& topic) override
    {
        auto it = topics.find(ApplyNameCase(topic, false));
        return it == topics.end() ? nullptr : Device(it->second);
    }
    CdsMemoryObject* LookupInDevice(CdsDeviceObject* device, const std::string& item) override
    {
        for (auto& [n, d] : devices)
            if (Device(n) == device) return LookupItemInDevice(*d, item, d->options).point;
        return nullptr;
    }
    CdsMemoryObject* CreateDynamicPoint(CdsDeviceObject* device, const std::string& item) override
    {
        for (auto& [n, d] : devices)
            if (Device(n) == device) dynamicCalls.push_back(std::to_string(n) + " " + item);
        return makeDynamic ? Point(7, static_cast<int>(dynamicCalls.size())) : nullptr;
    }
    void ReportItemNotFound(const std::string& itemId, const std::string& accessPath) override
    {
        notFound.push_back(itemId + "|" + accessPath);
    }
};

class OpcResolveTest : public testing::Test {
protected:
    FakeBlock plc1Block{4, "D100", 10};
    FakeBlock rootBlock{5, "M0", 10};
    FakeBlock plc2Block{6, "D100", 10};
    FakeDevice plc1, root, plc2;
    FakeOpcHost host;
    ItemNameOptions options;

    void SetUp() override
    {
        plc1.blocks = {&plc1Block};
        plc1.defaultTypes = {{4, BRISANT_WORD}};
        root.blocks = {&rootBlock};
        root.defaultTypes = {{5, BRISANT_WORD}};
        plc2.blocks = {&plc2Block};
        plc2.defaultTypes = {{6, BRISANT_WORD}};
        host.topics = {{"PLC1", 1}, {"$ROOT", 0}, {"PLC2", 2}};
        host.devices = {{0, &root}, {1, &plc1}, {2, &plc2}};
        options.viewActions = true;
    }
    std::string Resolve(const char* id, const char* path = "")
    {
        return Describe(ResolveOpcItem(host, id, path, options).point);
    }
};

TEST_F(OpcResolveTest, BracketedAndDottedTopicsReachTheSamePoint)
{
    EXPECT_EQ(Resolve("[PLC1]D100:5"), "b4 p5");
    EXPECT_EQ(Resolve("PLC1.D100:5"), "b4 p5");
    EXPECT_EQ(Resolve("[plc2]d100:5"), "b6 p5");
}

TEST_F(OpcResolveTest, TheBrowseTreeAnswersFirst)
{
    host.browse["PLC1.D100:5"] = Tag(1);
    const OpcItemResult bracketed = ResolveOpcItem(host, "[PLC1]D100:5", "", options);
    EXPECT_EQ(bracketed.tag, Tag(1));
    EXPECT_EQ(bracketed.point, nullptr);
    EXPECT_EQ(ResolveOpcItem(host, "plc1.d100:5", "", options).tag, Tag(1));
}

TEST_F(OpcResolveTest, TheAccessPathNamesTheDevice)
{
    EXPECT_EQ(Resolve("D100:5", "PLC2"), "b6 p5");
    EXPECT_EQ(Resolve("D100:5/3", "PLC2"), "b6 p5/3");
    // An access path device that lacks the item falls back to $Root.
    EXPECT_EQ(Resolve("M0:2", "PLC2"), "b5 p2");
}

TEST_F(OpcResolveTest, RootAnswersPlainItems)
{
    EXPECT_EQ(Resolve("M0:3"), "b5 p3");
    EXPECT_EQ(Resolve("D100:5"), "none");
}

TEST_F(OpcResolveTest, AnUnknownBracketedTopicFindsNothing)
{
    EXPECT_EQ(Resolve("[PLC9]M0:3"), "none");
    // ']' before '[' is not a topic: the text goes to $Root as it is.
    EXPECT_EQ(Resolve("]PLC1[D100:5"), "none");
    EXPECT_EQ(host.notFound, (std::vector<std::string>{"[PLC9]M0:3|", "]PLC1[D100:5|"}));
}

TEST_F(OpcResolveTest, NotFoundIsReportedOnlyWithViewActions)
{
    options.viewActions = false;
    EXPECT_EQ(Resolve("X1", "PLC1"), "none");
    EXPECT_TRUE(host.notFound.empty());
    options.viewActions = true;
    EXPECT_EQ(Resolve("X1", "PLC1"), "none");
    EXPECT_EQ(host.notFound, std::vector<std::string>{"X1|PLC1"});
}

TEST_F(OpcResolveTest, DynamicPointsGoToTheAccessPathDeviceOrRoot)
{
    host.makeDynamic = true;
    const OpcItemResult r = ResolveOpcItem(host, "X1", "PLC1", options);
    EXPECT_TRUE(r.dynamic);
    EXPECT_NE(r.point, nullptr);
    ResolveOpcItem(host, "X2", "", options);
    ResolveOpcItem(host, "X3", "NOSUCH", options);
    EXPECT_EQ(host.dynamicCalls, (std::vector<std::string>{"1 X1", "0 X2", "0 X3"}));
    EXPECT_TRUE(host.notFound.empty());
}

TEST_F(OpcResolveTest, TagNamesOfPointsFoundThroughADevice)
{
    const OpcItemResult bracketed = ResolveOpcItem(host, "[PLC1]D100:5", "", options);
    EXPECT_EQ(bracketed.names.shortName, "D100:5");
    EXPECT_EQ(bracketed.names.itemId, "PLC1.D100:5");
    const OpcItemResult dotted = ResolveOpcItem(host, "PLC1.D100:5", "", options);
    EXPECT_EQ(dotted.names.shortName, "D100:5");
    EXPECT_EQ(dotted.names.itemId, "PLC1.D100:5");
}

class FakeDdeHost : public DdeItemHost {
public:
    std::map<int, FakeDevice*> devices;
    DeviceItemResult LookupInDevice(CdsDeviceObject* device, const std::string& item) override
    {
        for (auto& [n, d] : devices)
            if (Device(n) == device) return LookupItemInDevice(*d, item, d->options);
        return {};
    }
};

TEST_F(OpcResolveTest, DdeItemsAreAlwaysTheConversationDevicesBracketsOrNot)
{
    FakeDdeHost dde;
    dde.devices = host.devices;
    plc1.blockKeys = {{"D100", 0}};
    const DdeItemResult plain = ResolveDdeItem(dde, Device(1), "  D100:5 ");
    EXPECT_EQ(plain.device, Device(1));
    EXPECT_EQ(plain.item, "D100:5");
    EXPECT_EQ(Describe(plain.found.point), "b4 p5");
    // A bracketed device in front is dropped, known or not: PLC1's conversation reads PLC1.
    for (const char* text : {"[PLC2] D100:7", "[PLC9]D100:7"}) {
        const DdeItemResult bracketed = ResolveDdeItem(dde, Device(1), text);
        EXPECT_EQ(bracketed.device, Device(1)) << text;
        EXPECT_EQ(bracketed.item, "D100:7") << text;
        EXPECT_EQ(Describe(bracketed.found.point), "b4 p7") << text;
    }
    // A block named by the whole item is an item for the block itself.
    const DdeItemResult block = ResolveDdeItem(dde, Device(1), "d100");
    EXPECT_TRUE(block.found.namesBlock);
    EXPECT_EQ(block.found.block, Block(4));
}

// Real blocks: points named in device syntax (D100 + index) with bits.
class NamedPoint : public CdsMemoryObject {
public:
    void SetPseudoName(const std::string&, int nNumber, char) override { SetPseudoNameText("D" + std::to_string(100 + nNumber)); }
    CdsMemoryArray* NewBitArray() override { return new testsupport::TestBitArray; }
};
class NamedBlock : public CdsMemoryArray {
public:
    CdsMemoryObject* NewMemoryObject() override { return new NamedPoint; }
};

class BlockNameLookupTest : public testing::Test {
protected:
    void SetUp() override
    {
        block.SetAddr("D100");
        block.SetDefaultDataType(BRISANT_WORD);
        for (int i = 0; i < 10; ++i) ASSERT_NE(block.CreateMemoryObject(i, nullptr, TRUE), nullptr);
    }
    CdsMemoryObject* P(int i) { return block.GetMemoryObject(i); }
    CdsMemoryObject* B(int i, int bit) { return block.GetMemoryObject(i, bit); }
    NamedBlock block;
};

TEST_F(BlockNameLookupTest, EveryFormNamesItsPointOrBit)
{
    testsupport::OptionScope dots(CdsServerOptions::g_bEnableDotSubset, 1);
    testsupport::OptionScope cs(CdsServerOptions::g_bCaseSensitive, 0);
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:5")), P(5));
    EXPECT_EQ(block.GetMemoryObject(std::string("d100:h5")), P(5));
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:&5")), P(5));
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:HA")), nullptr);  // only 10 points
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:9")), P(9));
    EXPECT_EQ(block.GetMemoryObject(std::string("d105")), P(5));
    EXPECT_EQ(block.GetMemoryObject(std::string("D105/3")), B(5, 3));
    EXPECT_EQ(block.GetMemoryObject(std::string("D105.3")), B(5, 3));
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:5/3")), B(5, 3));
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:5.15")), B(5, 15));
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:5/16")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:5/32")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:5/3x")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("D200:5")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("")), nullptr);
}

TEST_F(BlockNameLookupTest, WithoutDotSubsetsADotIsNoBit)
{
    testsupport::OptionScope dots(CdsServerOptions::g_bEnableDotSubset, 0);
    EXPECT_EQ(block.GetMemoryObject(std::string("D105.3")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("D105/3")), B(5, 3));
}

TEST_F(BlockNameLookupTest, CaseSensitiveNamesCompareExactly)
{
    testsupport::OptionScope cs(CdsServerOptions::g_bCaseSensitive, 1);
    EXPECT_EQ(block.GetMemoryObject(std::string("d100:5")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("d105")), nullptr);
    EXPECT_EQ(block.GetMemoryObject(std::string("D105")), P(5));
    EXPECT_EQ(block.GetMemoryObject(std::string("D100:h5")), P(5));
}

TEST_F(BlockNameLookupTest, LinearSearchOnlyWithItsOption)
{
    {
        testsupport::OptionScope wild(CdsServerOptions::g_bWildSearchOnTagCreate, 0);
        EXPECT_EQ(block.FindMemoryObject("D103"), nullptr);
    }
    testsupport::OptionScope wild(CdsServerOptions::g_bWildSearchOnTagCreate, 1);
    EXPECT_EQ(block.FindMemoryObject("d103"), P(3));
    EXPECT_EQ(block.FindMemoryObject("D1"), nullptr);
    EXPECT_EQ(block.FindMemoryObject("X"), nullptr);
}

class BlockListLookupTest : public testing::Test {
protected:
    void SetUp() override
    {
        words = Add("D100", BRISANT_WORD);
        floats = Add("D200", BRISANT_FLOAT);
    }
    NamedBlock* Add(const char* address, int type)
    {
        auto* block = new NamedBlock;
        block->SetAddr(address);
        block->SetDefaultDataType(type);
        for (int i = 0; i < 10; ++i) block->CreateMemoryObject(i, nullptr, TRUE);
        blocks.AddTail(block);
        return block;
    }
    CdsMemoryObject* Find(const char* item)
    {
        const auto findBlock = [this](const std::string& key) -> CdsMemoryArray* { return key == "[LINE]D100" ? words : nullptr; };
        return LookupItemInBlocks(blocks, findBlock, item, ItemNameOptions{}).point;
    }
    CdsMemoryArrayList blocks;
    NamedBlock* words = nullptr;
    NamedBlock* floats = nullptr;
};

TEST_F(BlockListLookupTest, ItemsTypeWordsAndBits)
{
    testsupport::OptionScope dots(CdsServerOptions::g_bEnableDotSubset, 1);
    EXPECT_EQ(Find("D100:5"), words->GetMemoryObject(5));
    // The D100 block does not know D200:5; the next block does.
    EXPECT_EQ(Find("D200:5"), floats->GetMemoryObject(5));
    EXPECT_EQ(Find("D105.3"), words->GetMemoryObject(5, 3));
    EXPECT_EQ(Find("D205"), nullptr);
    EXPECT_EQ(Find("D100:5 UI2"), words->GetMemoryObject(5));
    CdsMemoryObject* variant = Find("D100:5 r4");
    ASSERT_NE(variant, nullptr);
    EXPECT_EQ(Find("d100:5 R4 "), variant);
    EXPECT_EQ(variant->GetParent(), words);
    EXPECT_EQ(Find("D100:5 Q"), nullptr);
    EXPECT_EQ(Find("[line]d100"), nullptr);  // names the block itself
}

TEST_F(BlockListLookupTest, AFloatVariantOverWordsReadsItsTwoItems)
{
    words->GetMemoryObject(5)->UpdateState([] { _BRISANTDATAVALUE v{}; v.wVal = 0x3F80; return v; }(), FALSE, nullptr, nullptr, FALSE);
    words->GetMemoryObject(6)->UpdateState(_BRISANTDATAVALUE{}, FALSE, nullptr, nullptr, FALSE);
    auto* variant = dynamic_cast<CdsMemoryVariant*>(Find("D105 F"));
    ASSERT_NE(variant, nullptr);
    words->UpdateVariants(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(variant->GetValue().fltVal, 1.0f);
}

TEST(DeviceItemLookupTest, BlocksByWholeKeyThenEveryBlock)
{
    testsupport::TestDevice device;
    auto* line = new testsupport::PointBlock(-1);
    line->SetName("LINE1");
    line->SetAddr("D100");
    line->SetDefaultDataType(BRISANT_WORD);
    auto* other = new testsupport::PointBlock(-1);
    other->SetAddr("D200");
    other->SetDefaultDataType(BRISANT_WORD);
    for (int i = 0; i < 10; ++i) {
        line->CreateMemoryObject(i, nullptr, TRUE);
        other->CreateMemoryObject(i, nullptr, TRUE);
    }
    ASSERT_EQ(device.AddMemoryArray(line, true), line);
    ASSERT_EQ(device.AddMemoryArray(other, true), other);
    const ItemNameOptions options;

    const DeviceItemResult point = LookupItemInDevice(device, "d200:3", options);
    EXPECT_EQ(point.point, other->GetMemoryObject(3));
    EXPECT_FALSE(point.namesBlock);
    const DeviceItemResult byName = LookupItemInDevice(device, "line1", options);
    EXPECT_TRUE(byName.namesBlock);
    EXPECT_EQ(byName.block, line);
    const DeviceItemResult byAddress = LookupItemInDevice(device, "D200", options);
    EXPECT_TRUE(byAddress.namesBlock);
    EXPECT_EQ(byAddress.block, other);
    EXPECT_EQ(LookupItemInDevice(device, "D100:5 U", options).point, line->GetMemoryObject(5));
    CdsMemoryObject* variant = LookupItemInDevice(device, "D100:5 R4", options).point;
    ASSERT_NE(variant, nullptr);
    EXPECT_EQ(variant->GetParent(), line);
    EXPECT_EQ(LookupItemInDevice(device, "D300:5", options).point, nullptr);
}

TEST(BlockNameLookupFirstPointTest, TheFirstPointAnswersForTheBlockAddress)
{
    testsupport::OptionScope wild(CdsServerOptions::g_bWildSearchOnTagCreate, 1);
    testsupport::PointBlock block;
    block.SetAddr("W10");
    CdsMemoryObject* first = block.CreateMemoryObject(0, nullptr, TRUE);
    block.CreateMemoryObject(1, nullptr, TRUE);
    EXPECT_EQ(block.FindMemoryObject("w10"), first);
    EXPECT_EQ(block.FindMemoryObject("W10:1"), block.GetMemoryObject(1));
}

} // namespace
} // namespace kestrun
