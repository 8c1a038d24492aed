#include "kestrun/model/BlockStore.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/options/ServerOptions.h"
#include "support/OptionScope.h"
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
        for (int i = 0; i < 3; ++i)
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

    OptionScope<int> same{CdsServerOptions::g_bUpdateSameValue, 1};
    OptionScope<int> events{CdsServerOptions::g_bViewEvents, 1};
    OptionScope<int> init{CdsServerOptions::g_bViewInitValues, 1};
    FakeHandler handler;
    FakeDevice device;
    BitBlock block;
    std::uint64_t time = 0;
};

TEST_F(BlockStoreTest, AnUnchangedValueMovesOnlyItsTagsTimeAndOnlyWithUpdateSameValue)
{
    for (int sameValue : {1, 0}) {
        OptionScope option(CdsServerOptions::g_bUpdateSameValue, sameValue);
        Read({5, 6});
        handler.hints.clear();
        CfsMemoryTag* tag = Point(0)->GetMemoryTag();
        const std::uint64_t changes = tag->ChangeCount();
        const std::uint64_t before = Ticks(Point(0));
        Read({5, 8});
        EXPECT_EQ(Ticks(Point(0)), sameValue ? time : before);
        EXPECT_EQ(Ticks(Point(1)), time);
        // Nothing for a subscription to look at; value, quality and hints untouched.
        EXPECT_EQ(tag->ChangeCount(), changes);
        EXPECT_EQ(tag->Read().value, VARIANT::UI2(5));
        EXPECT_EQ(Point(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
        EXPECT_EQ(handler.Codes(), std::vector<int>{HINT_VALUE_CHANGED});
    }
}

// A point written, or marked unread, since the block's own store takes the same
// value the whole way again.
TEST_F(BlockStoreTest, APointChangedBetweenReadsTakesTheReadValueAgain)
{
    Read({5, 6});
    Point(0)->SetNewValue(Cell(9), nullptr, FALSE);
    Point(1)->SetTouched(FALSE);
    Point(1)->SetStatus(CdsMemoryObject::QUALITY_NONE);
    handler.hints.clear();
    Read({5, 6});
    EXPECT_EQ(Point(0)->GetMemoryTag()->Read().value, VARIANT::UI2(5));
    EXPECT_EQ(Ticks(Point(0)), time);
    EXPECT_EQ(Point(1)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(handler.Codes(), (std::vector<int>{HINT_VALUE_CHANGED, HINT_INITIAL_VALUE}));
}

// Once reads found every point unchanged the store compares values alone: a point
// written, marked unread, untouched or given bits since still takes the whole store,
// and with "Update Same Value" every tag still takes the read's time.
TEST_F(BlockStoreTest, AfterUnchangedReadsAPointChangedTakesTheReadValueAgain)
{
    auto settle = [&] {
        for (int i = 0; i < 3; ++i)
            Read({5, 6, 7});
        handler.hints.clear();
    };
    settle();
    Read({5, 6, 7});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Ticks(Point(i)), time);
    EXPECT_TRUE(handler.Codes().empty());

    Point(0)->SetNewValue(Cell(9), nullptr, FALSE);
    Read({5, 6, 7});
    EXPECT_EQ(Point(0)->GetMemoryTag()->Read().value, VARIANT::UI2(5));
    EXPECT_EQ(handler.Codes(), std::vector<int>{HINT_VALUE_CHANGED});

    settle();
    Point(1)->SetStatus(CdsMemoryObject::QUALITY_OFFLINE);
    Read({5, 6, 7});
    EXPECT_EQ(Point(1)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    settle();
    Point(2)->SetTouched(FALSE);
    Read({5, 6, 7});
    EXPECT_EQ(handler.Codes(), std::vector<int>{HINT_INITIAL_VALUE});

    settle();
    CdsMemoryObject* bit = Point(1)->GetBitObject(1);
    ASSERT_NE(bit, nullptr);
    Read({5, 6, 7});
    EXPECT_EQ(Ticks(bit), time);

    // A run of values is the same as storing each in turn.
    settle();
    Point(0)->SetNewValue(Cell(9), nullptr, FALSE);
    time += 1000;
    block.SetDeliveryTime(time);
    {
        CdsBlockStore store(block, &handler, nullptr);
        const std::vector<_BRISANTDATAVALUE> cells{Cell(5), Cell(6), Cell(8)};
        store.StoreRun(0, cells.data(), static_cast<int>(cells.size()));
    }
    block.SetDeliveryTime(0);
    EXPECT_EQ(Point(0)->GetMemoryTag()->Read().value, VARIANT::UI2(5));
    EXPECT_EQ(Point(2)->GetMemoryTag()->Read().value, VARIANT::UI2(8));
    EXPECT_EQ(Ticks(Point(1)), time);
}

// Bits, NaNs and a type changed while the block was offline (held, its points stay
// touched) take the whole store even when the bits read equal those held.
TEST_F(BlockStoreTest, BitsNaNsAndTypesChangedOfflineTakeTheWholeStore)
{
    _BRISANTDATAVALUE nan{};
    nan.fltVal = std::numeric_limits<float>::quiet_NaN();
    Point(1)->SetDataType(BRISANT_FLOAT);
    block.SetHold(TRUE);
    Read({0xFFFF, nan.ullVal, 0xFFFF});
    CdsMemoryObject* bit = Point(0)->GetBitObject(2);
    handler.hints.clear();
    Read({0xFFFF, nan.ullVal, 0xFFFF});
    EXPECT_EQ(Ticks(bit), time);
    EXPECT_EQ(handler.Codes(), std::vector<int>{HINT_VALUE_CHANGED});
    block.SetOnline(FALSE, &device);
    Point(2)->SetDataType(BRISANT_SHORT);
    block.SetOnline(TRUE, &device);
    Read({0xFFFF, nan.ullVal, 0xFFFF});
    EXPECT_EQ(Point(2)->GetMemoryTag()->Read().value, VARIANT::I2(-1));
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
    }
    line.join();
    EXPECT_EQ(Point(1)->GetValue().wVal, 1);
}

} // namespace
