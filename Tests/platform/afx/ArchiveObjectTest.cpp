// Object records: class tags, back references, big indexes, kinds and failures.
#include "TestObjects.h"

#include <gtest/gtest.h>

#include <map>

using afxtest::Bytes;
using afxtest::Concat;
using afxtest::Hex;
using afxtest::LiveCount;
using afxtest::Load;
using afxtest::Store;
using afxtest::Text;

namespace {

const Bytes kNewPointClass = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}, Text("CTestPoint")});

// A, B of one class, A again, null.
const Bytes kGraph = Concat({
    kNewPointClass, {0x01, 'A', 0x01, 0x00, 0x00, 0x00}, // class 1, object A = 2
    {0x01, 0x80, 0x01, 'B', 0x02, 0x00, 0x00, 0x00},      // class 1 again, object B = 3
    {0x02, 0x00},                                         // A again
    {0x00, 0x00},                                         // null
});

template <class Fn>
void ExpectArchiveError(int cause, Fn&& fn)
{
    try {
        fn();
        ADD_FAILURE() << "no exception";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, cause) << e.GetErrorMessage();
    }
}

class ArchiveObjects : public ::testing::Test {
protected:
    void SetUp() override { LiveCount::s_live = 0; }
    void TearDown() override { EXPECT_EQ(LiveCount::s_live, 0) << "test objects left alive"; }
};

TEST_F(ArchiveObjects, GraphStoresNewClassThenClassIndexBackReferenceAndNull)
{
    CTestPoint a("A", 1), b("B", 2);
    Bytes bytes = Store([&](CArchive& ar) { ar << &a << &b << &a << static_cast<CObject*>(nullptr); });
    EXPECT_EQ(Hex(bytes), Hex(kGraph));
}

TEST_F(ArchiveObjects, GraphLoadsIntoTheSameShape)
{
    Load(kGraph, [](CArchive& ar) {
        CTestPoint *p1 = nullptr, *p2 = nullptr, *p3 = nullptr, *p4 = nullptr;
        ar >> p1 >> p2 >> p3 >> p4;
        std::unique_ptr<CTestPoint> own1(p1), own2(p2);
        ASSERT_NE(p1, nullptr);
        ASSERT_NE(p2, nullptr);
        EXPECT_NE(p1, p2);
        EXPECT_EQ(p3, p1);
        EXPECT_EQ(p4, nullptr);
        EXPECT_EQ(p1->m_name, "A");
        EXPECT_EQ(p1->m_value, 1);
        EXPECT_EQ(p2->m_name, "B");
        EXPECT_EQ(p2->m_value, 2);
        EXPECT_EQ(p1->GetRuntimeClass(), RUNTIME_CLASS(CTestPoint));
    });
}

TEST_F(ArchiveObjects, EveryCutOfTheGraphFailsCleanly)
{
    for (std::size_t cut = 0; cut < kGraph.size(); ++cut) {
        SCOPED_TRACE(cut);
        Bytes part(kGraph.begin(), kGraph.begin() + cut);
        std::vector<std::unique_ptr<CObject>> owned;
        ExpectArchiveError(CArchiveException::endOfFile, [&] {
            Load(part, [&](CArchive& ar) {
                for (int i = 0; i < 4; ++i) {
                    CObject* p = ar.ReadObject(RUNTIME_CLASS(CTestPoint));
                    if (i < 2)
                        owned.emplace_back(p);
                }
            });
        });
    }
}

TEST_F(ArchiveObjects, NestedObjectsShareOneNumbering)
{
    CTestPoint peer("P", 9);
    CTestBlock block;
    block.m_points.push_back(std::make_unique<CTestPoint>("X", 1));
    block.m_points.push_back(std::make_unique<CTestBitPoint>());
    block.m_points.back()->m_name = "Y";
    static_cast<CTestBitPoint&>(*block.m_points.back()).m_bit = 5;
    block.m_pPeer = &peer;
    block.m_pSelf = &block;

    Bytes bytes = Store([&](CArchive& ar) { ar << &peer << &block; });
    const Bytes golden = Concat({
        kNewPointClass, {0x01, 'P', 0x09, 0x00, 0x00, 0x00},                 // class 1, peer 2
        {0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}, Text("CTestBlock"),           // class 3, block 4
        {0x02, 0x00},                                                         // two points
        {0x01, 0x80, 0x01, 'X', 0x01, 0x00, 0x00, 0x00},                      // point 5
        {0xFF, 0xFF, 0x01, 0x00, 0x0D, 0x00}, Text("CTestBitPoint"),        // class 6, point 7
        {0x01, 'Y', 0x00, 0x00, 0x00, 0x00, 0x05},
        {0x02, 0x00},                                                         // peer
        {0x04, 0x00},                                                         // itself
    });
    EXPECT_EQ(Hex(bytes), Hex(golden));

    Load(golden, [](CArchive& ar) {
        CTestPoint* peer = nullptr;
        CTestBlock* block = nullptr;
        ar >> peer >> block;
        std::unique_ptr<CTestPoint> ownPeer(peer);
        std::unique_ptr<CTestBlock> ownBlock(block);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(block->m_points.size(), 2u);
        EXPECT_EQ(block->m_points[0]->m_name, "X");
        ASSERT_TRUE(block->m_points[1]->IsKindOf(RUNTIME_CLASS(CTestBitPoint)));
        EXPECT_EQ(static_cast<CTestBitPoint&>(*block->m_points[1]).m_bit, 5);
        EXPECT_EQ(block->m_pPeer, peer);
        EXPECT_EQ(block->m_pSelf, block);
    });
}

TEST_F(ArchiveObjects, MapRecordIsCountThenKeyAndObject)
{
    std::vector<std::pair<std::string, std::unique_ptr<CTestDevice>>> devices;
    devices.emplace_back("K1", std::make_unique<CTestDevice>());
    devices.emplace_back("K2", std::make_unique<CTestDevice>());
    devices[0].second->m_name = "D1";
    devices[1].second->m_name = "D2";
    Bytes bytes = Store([&](CArchive& ar) { afx::WriteObjectMap(ar, devices); });
    const Bytes golden = Concat({
        {0x02, 0x00},
        {0x02, 'K', '1'}, {0xFF, 0xFF, 0x01, 0x00, 0x0B, 0x00}, Text("CTestDevice"), {0x02, 'D', '1'},
        {0x02, 'K', '2'}, {0x01, 0x80}, {0x02, 'D', '2'},
    });
    EXPECT_EQ(Hex(bytes), Hex(golden));

    std::map<std::string, std::unique_ptr<CTestDevice>> loaded;
    Load(golden, [&](CArchive& ar) {
        afx::ReadObjectMap<CTestDevice>(ar, [&](std::string key, std::unique_ptr<CTestDevice> p) {
            loaded[std::move(key)] = std::move(p);
        });
    });
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded["K1"]->m_name, "D1");
    EXPECT_EQ(loaded["K2"]->m_name, "D2");
}

TEST_F(ArchiveObjects, BigIndexesUseTheEscapedTag)
{
    // Class 1, then objects 2 .. 0x8000; the next class takes 0x8001.
    std::vector<std::unique_ptr<CTestPoint>> points;
    for (int i = 0; i < 0x7FFF; ++i)
        points.push_back(std::make_unique<CTestPoint>());
    CTestDevice device;
    CTestDevice device2;
    Bytes bytes = Store([&](CArchive& ar) {
        for (auto& p : points)
            ar << p.get();
        ar << points[0x7FFD].get(); // object 0x7FFF
        ar << points[0].get();      // object 2
        ar << &device << &device2;
    });
    // Every point record is its name and value (5 bytes) after its tag (2 bytes);
    // the first one has the new-class record instead.
    std::size_t tail = kNewPointClass.size() + 0x7FFF * 5 + 0x7FFE * 2;
    ASSERT_GT(bytes.size(), tail);
    const Bytes golden = Concat({
        {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x00},                                     // object 0x7FFF
        {0x02, 0x00},                                                             // object 2
        {0xFF, 0xFF, 0x01, 0x00, 0x0B, 0x00}, Text("CTestDevice"), {0x00},       // class 0x8001, object 0x8002
        {0xFF, 0x7F, 0x01, 0x80, 0x00, 0x80}, {0x00},                             // class 0x8001 by big tag
    });
    EXPECT_EQ(Hex(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(tail), bytes.end())), Hex(golden));

    Load(bytes, [&](CArchive& ar) {
        std::vector<std::unique_ptr<CObject>> owned;
        for (int i = 0; i < 0x7FFF; ++i)
            owned.emplace_back(ar.ReadObject(RUNTIME_CLASS(CTestPoint)));
        EXPECT_EQ(ar.ReadObject(nullptr), owned[0x7FFD].get());
        EXPECT_EQ(ar.ReadObject(nullptr), owned[0].get());
        auto d1 = ar.ReadNew<CTestDevice>();
        auto d2 = ar.ReadNew<CTestDevice>();
        EXPECT_NE(d1, nullptr);
        EXPECT_NE(d2, nullptr);
    });
}

TEST_F(ArchiveObjects, SchemaOneIsWrittenAndAnyStoredSchemaIsReadable)
{
    CTestVersioned v;
    Bytes bytes = Store([&](CArchive& ar) { ar << &v; });
    EXPECT_EQ(Hex(bytes), Hex(Concat({{0xFF, 0xFF, 0x01, 0x00, 0x0E, 0x00}, Text("CTestVersioned")})));

    const Bytes schema7 = Concat({{0xFF, 0xFF, 0x07, 0x00, 0x0E, 0x00}, Text("CTestVersioned"), {0x01, 0x80}});
    Load(schema7, [](CArchive& ar) {
        auto first = ar.ReadNew<CTestVersioned>();
        auto second = ar.ReadNew<CTestVersioned>();
        EXPECT_EQ(first->m_nSchema, 7u);
        EXPECT_EQ(first->m_nSchemaAgain, static_cast<UINT>(-1));
        EXPECT_EQ(second->m_nSchema, 7u);
        EXPECT_EQ(ar.GetObjectSchema(), static_cast<UINT>(-1));
    });
}

// ---- Failures ------------------------------------------------------------------

TEST_F(ArchiveObjects, BadRecordsFailWithTheirCause)
{
    const struct {
        const char* name;
        Bytes bytes;
        int cause;
    } cases[] = {
        {"unknown class", Concat({{0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}, Text("CNoSuch")}), CArchiveException::badClass},
        {"not serialisable", Concat({{0xFF, 0xFF, 0x01, 0x00, 0x0C, 0x00}, Text("CTestDynamic")}), CArchiveException::badClass},
        {"abstract base", Concat({{0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}, Text("CObject")}), CArchiveException::badClass},
        {"class name too long", Bytes{0xFF, 0xFF, 0x01, 0x00, 0x40, 0x00}, CArchiveException::badClass},
        {"wrong kind", Concat({{0xFF, 0xFF, 0x01, 0x00, 0x0B, 0x00}, Text("CTestDevice"), {0x00}}), CArchiveException::badClass},
        {"object before any", Bytes{0x05, 0x00}, CArchiveException::badIndex},
        {"big tag out of range", Bytes{0xFF, 0x7F, 0x00, 0x00, 0x01, 0x00}, CArchiveException::badIndex},
        {"class index 0", Bytes{0x00, 0x80}, CArchiveException::badIndex},
        {"unknown class index", Bytes{0x02, 0x80}, CArchiveException::badIndex},
        {"class used as object", Concat({kNewPointClass, {0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}}), CArchiveException::badIndex},
        {"object used as class", Concat({kNewPointClass, {0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x80}}), CArchiveException::badIndex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<CObject>> owned;
        ExpectArchiveError(c.cause, [&] {
            Load(c.bytes, [&](CArchive& ar) {
                for (;;)
                    owned.emplace_back(ar.ReadObject(RUNTIME_CLASS(CTestPoint)));
            });
        });
    }
}

TEST_F(ArchiveObjects, WrongKindBackReferenceFails)
{
    const Bytes bytes = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x0B, 0x00}, Text("CTestDevice"), {0x00}, {0x02, 0x00}});
    Load(bytes, [](CArchive& ar) {
        std::unique_ptr<CObject> device(ar.ReadObject(RUNTIME_CLASS(CTestDevice)));
        ExpectArchiveError(CArchiveException::badClass, [&] { ar.ReadObject(RUNTIME_CLASS(CTestPoint)); });
    });
}

TEST_F(ArchiveObjects, DerivedKindSatisfiesItsBase)
{
    CTestBitPoint bit;
    Bytes bytes = Store([&](CArchive& ar) { ar << &bit; });
    Load(bytes, [](CArchive& ar) {
        CTestPoint* p = nullptr;
        ar >> p;
        std::unique_ptr<CTestPoint> own(p);
        EXPECT_TRUE(p->IsKindOf(RUNTIME_CLASS(CTestBitPoint)));
    });
}

TEST_F(ArchiveObjects, OwnersRefuseAnObjectAlreadyOwned)
{
    // Two list entries naming one object would give it two owners.
    const Bytes bytes = Concat({{0x02, 0x00}, kNewPointClass, {0x01, 'A', 0x01, 0x00, 0x00, 0x00}, {0x02, 0x00}});
    std::vector<std::unique_ptr<CTestPoint>> points;
    ExpectArchiveError(CArchiveException::badIndex, [&] {
        Load(bytes, [&](CArchive& ar) {
            afx::ReadObjects<CTestPoint>(ar, [&](std::unique_ptr<CTestPoint> p) { points.push_back(std::move(p)); });
        });
    });
    EXPECT_EQ(points.size(), 1u);
}

TEST_F(ArchiveObjects, UnknownClassInsideAnObjectFreesEverythingLoaded)
{
    // A block whose second point is of an unknown class.
    const Bytes bytes = Concat({
        {0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}, Text("CTestBlock"), {0x02, 0x00},
        kNewPointClass, {0x01, 'X', 0x01, 0x00, 0x00, 0x00},
        {0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}, Text("CNoSuch"),
    });
    ExpectArchiveError(CArchiveException::badClass, [&] {
        Load(bytes, [](CArchive& ar) { auto block = ar.ReadNew<CTestBlock>(); });
    });
    EXPECT_EQ(LiveCount::s_live, 0);
}

TEST_F(ArchiveObjects, ObjectsFreedByAFailedLoadAreNotHandedOutAgain)
{
    // A block that fails after taking a point; a caller that goes on reading and
    // meets a reference to that point gets an error, not a freed object.
    const Bytes bytes = Concat({
        {0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00}, Text("CTestBlock"), {0x01, 0x00},
        kNewPointClass, {0x01, 'X', 0x01, 0x00, 0x00, 0x00},
        {0x09, 0x00},                 // peer: a bad index, the block fails here
        {0x04, 0x00},                 // the point inside the failed block
    });
    Load(bytes, [](CArchive& ar) {
        ExpectArchiveError(CArchiveException::badIndex, [&] { auto block = ar.ReadNew<CTestBlock>(); });
        EXPECT_EQ(LiveCount::s_live, 0);
        ExpectArchiveError(CArchiveException::badIndex, [&] { ar.ReadObject(nullptr); });
    });
}

TEST_F(ArchiveObjects, StoringAClassThatCannotBeLoadedFails)
{
    CTestDynamic dynamic;
    ExpectArchiveError(CArchiveException::badClass, [&] { Store([&](CArchive& ar) { ar << &dynamic; }); });
    afxtest::CTestPoint twin; // its name belongs to another class
    ExpectArchiveError(CArchiveException::badClass, [&] { Store([&](CArchive& ar) { ar << &twin; }); });
}

} // namespace
