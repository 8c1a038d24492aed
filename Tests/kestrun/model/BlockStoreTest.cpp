#include "kestrun/model/BlockStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/shell/ServerFrame.h"
#include "support/model/ModelFakes.h"

namespace {

using testsupport::BitBlock;
using testsupport::Cell;
using testsupport::FakeDevice;
using testsupport::FakeHandler;
using testsupport::OptionScope;

std::uint64_t Ticks(CdsMemoryObject* point) { return com::toTicks(point->GetMemoryTag()->Read().ftTimestamp); }

// An online block D100 of WORD points whose reads carry the times 1000, 2000, ...
class BlockStoreTest : public testing::Test {
protected:
    BlockStoreTest() : device(&handler)
    {
        block.SetAddr("D100");
        block.SetDefaultDataType(BRISANT_WORD);
        for (int i = 0; i < 2; ++i)
            block.CreateMemoryObject(i, nullptr, TRUE);
        block.SetOnline(TRUE, &device);
    }
    // One read of the block, delivered with the next time.
    void Read(std::vector<ULONGLONG> cells)
    {
        time += 1000;
        block.SetDeliveryTime(time);
        {
            CdsBlockStore store(block, &handler, nullptr);
            for (std::size_t i = 0; i < cells.size(); ++i)
                store.Store(static_cast<int>(i), Cell(cells[i]));
        }
        block.SetDeliveryTime(0);
    }
    CdsMemoryObject* Point(int i) { return block.GetMemoryObject(i); }

    OptionScope same{CdsServerFrame::g_bUpdateSameValue, 1};
    OptionScope events{CdsServerFrame::g_bViewEvents, 1};
    OptionScope init{CdsServerFrame::g_bViewInitValues, 1};
    FakeHandler handler;
    FakeDevice device;
    BitBlock block;
    std::uint64_t time = 0;
};

TEST_F(BlockStoreTest, AnUnchangedValueMovesOnlyItsTagsTimeAndOnlyWithUpdateSameValue)
{
    for (int sameValue : {1, 0}) {
        OptionScope option(CdsServerFrame::g_bUpdateSameValue, sameValue);
        Read({5, 6});
        Read({5, 7});
        handler.hints.clear();
        CfsMemoryTag* tag = Point(0)->GetMemoryTag();
        const std::uint64_t changes = tag->ChangeCount();
        const std::uint64_t before = Ticks(Point(0));
        Read({5, 8});
        EXPECT_EQ(Ticks(Point(0)), sameValue ? time : before) << sameValue;
        EXPECT_EQ(Ticks(Point(1)), time);
        // No change for a subscription to look at; the value, quality and hints are untouched.
        EXPECT_EQ(tag->ChangeCount(), changes);
        EXPECT_EQ(tag->Read().value, VARIANT::UI2(5));
        EXPECT_EQ(Point(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
        EXPECT_EQ(handler.Codes(), std::vector<int>{HINT_VALUE_CHANGED});
    }
}

// Whatever else wrote the point, or took its good quality, since the block's own
// store, the same value read again is stored the whole way.
TEST_F(BlockStoreTest, APointChangedBetweenReadsTakesTheReadValueAgain)
{
    Read({5, 6});
    Point(0)->SetNewValue(Cell(9), nullptr, FALSE);
    Point(1)->SetTouched(FALSE);
    Point(1)->SetStatus(CdsMemoryObject::QUALITY_NONE);
    handler.hints.clear();
    Read({5, 6});
    EXPECT_EQ(Point(0)->GetValue().wVal, 5);
    EXPECT_EQ(Point(0)->GetMemoryTag()->Read().value, VARIANT::UI2(5));
    EXPECT_EQ(Ticks(Point(0)), time);
    EXPECT_EQ(Point(1)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(handler.Codes(), (std::vector<int>{HINT_VALUE_CHANGED, HINT_INITIAL_VALUE}));
}

TEST_F(BlockStoreTest, BitsOfAnUnchangedPointTakeTheReadsTime)
{
    Read({0x0004});
    CdsMemoryObject* bit = Point(0)->GetBitObject(2);
    ASSERT_NE(bit, nullptr);
    Read({0x0004});
    EXPECT_EQ(bit->GetValue().boolVal, 1);
    EXPECT_EQ(Ticks(bit), time);
}

TEST_F(BlockStoreTest, ANaNIsANewValueOnEveryRead)
{
    Point(0)->SetDataType(BRISANT_FLOAT);
    _BRISANTDATAVALUE nan{};
    nan.fltVal = std::numeric_limits<float>::quiet_NaN();
    Read({nan.ullVal});
    handler.hints.clear();
    Read({nan.ullVal});
    EXPECT_EQ(handler.Codes(), std::vector<int>{HINT_VALUE_CHANGED});
}

TEST_F(BlockStoreTest, ATypeChangedWhileOfflineReachesTheTag)
{
    // Held, the points stay touched while the block is offline.
    block.SetHold(TRUE);
    Read({0xFFFF});
    block.SetOnline(FALSE, &device);
    Point(0)->SetDataType(BRISANT_SHORT);
    block.SetOnline(TRUE, &device);
    Read({0xFFFF});
    EXPECT_EQ(Point(0)->GetMemoryTag()->Read().value, VARIANT::I2(-1));
}

TEST_F(BlockStoreTest, AStoreWithoutADeliveryTimeGivesEveryPointOneTime)
{
    Read({5, 6});
    {
        CdsBlockStore store(block, &handler, nullptr);
        store.Store(0, Cell(5));
        store.Store(1, Cell(7));
        store.Store(2, Cell(1));  // no such point
        store.Store(-1, Cell(1));
    }
    EXPECT_GT(Ticks(Point(0)), time);
    EXPECT_EQ(Ticks(Point(0)), Ticks(Point(1)));
    EXPECT_EQ(block.GetDeliveryTime(), 0u);
}

TEST_F(BlockStoreTest, ReadsBesideWritersAndClientsDoNotTrip)
{
    std::thread line([&] {
        for (ULONGLONG i = 0; i < 3000; ++i)
            Read({i / 3, 1});
    });
    for (int i = 0; i < 3000; ++i) {
        Point(0)->SetNewValue(Cell(7), nullptr, FALSE);
        (void)Point(0)->GetMemoryTag()->Read();
        (void)Point(1)->GetMemoryTag()->ChangeCount();
    }
    line.join();
    EXPECT_EQ(Point(1)->GetValue().wVal, 1);
}

} // namespace
