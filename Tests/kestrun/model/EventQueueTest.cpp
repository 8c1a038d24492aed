#include "kestrun/model/EventQueue.h"
#include "kestrun/model/MemoryObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Points of no block: the queue only names them when it logs a dropped write.
CdsMemoryObject* Point(int i)
{
    static CdsMemoryObject* const points = new CdsMemoryObject[8]; // kept to the end of the run
    return &points[i];
}

_BRISANTDATAVALUE Long(LONG n)
{
    _BRISANTDATAVALUE v;
    v.ullVal = 0;
    v.lVal = n;
    return v;
}

// Collects the log lines a queue reports.
struct LogRecorder {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
    CdsEventQueue::LogSink Sink()
    {
        return [this](int kind, const char* text) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.emplace_back(kind, text);
        };
    }
};

std::vector<LONG> Drain(CdsEventQueue& queue)
{
    std::vector<LONG> values;
    while (CdsEventData::Ptr event = queue.TakeOldestEvent())
        values.push_back(event->GetValue().lVal);
    return values;
}

TEST(EventQueueOrder, EventsComeOutInTheOrderTheyWereAdded)
{
    CdsEventQueue queue;
    for (LONG n : {5, 1, 4, 2, 3})
        ASSERT_EQ(queue.AddNewEvent(Point(n % 2), Long(n), BRISANT_LONG, 100 + n), 1);
    EXPECT_EQ(queue.GetCount(), 5u);

    CdsEventData::Ptr first = queue.TakeOldestEvent();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetPoint(), Point(1));
    EXPECT_EQ(first->GetDataType(), BRISANT_LONG);
    EXPECT_EQ(first->GetFlag(), 105);
    EXPECT_EQ(Drain(queue), (std::vector<LONG>{1, 4, 2, 3}));
    EXPECT_EQ(queue.RemoveOldestEvent(), nullptr);
}

struct OverflowCase {
    const char* name;
    int limit;
    int adds;
    std::vector<LONG> left;  // values still queued afterwards, oldest first
    int overflows;
};

class EventQueueOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(EventQueueOverflow, DropsAllWaitingWhenMoreThanTheLimitWait)
{
    const OverflowCase& c = GetParam();
    std::atomic<int> limit{c.limit};
    LogRecorder log;
    CdsEventQueue queue(&limit, log.Sink());
    for (int i = 1; i <= c.adds; ++i)
        ASSERT_EQ(queue.AddNewEvent(Point(0), Long(i), BRISANT_LONG, 0), 1);
    EXPECT_EQ(Drain(queue), c.left);
    // The overflow line, then every dropped write by its item and value.
    int overflows = 0;
    std::vector<std::string> dropped;
    for (const auto& [kind, text] : log.lines) {
        EXPECT_EQ(kind, 3);
        if (text == "dsEventQueue overflow!\r\n")
            ++overflows;
        else
            dropped.push_back(text);
    }
    EXPECT_EQ(overflows, c.overflows);
    ASSERT_EQ(dropped.size(), c.adds - c.left.size());
    if (!dropped.empty()) {
        EXPECT_NE(dropped.front().find(" = 1 dropped with the full queue!\r\n"), std::string::npos) << dropped.front();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, EventQueueOverflow,
    ::testing::Values(OverflowCase{"ZeroIsUnlimited", 0, 5, {1, 2, 3, 4, 5}, 0},
                      OverflowCase{"NegativeIsUnlimited", -1, 5, {1, 2, 3, 4, 5}, 0},
                      OverflowCase{"TwoHoldsThree", 2, 3, {1, 2, 3}, 0},
                      OverflowCase{"TwoFourthAddKeepsOnlyItself", 2, 4, {4}, 1},
                      OverflowCase{"TwoTwice", 2, 8, {7, 8}, 2},
                      OverflowCase{"OneHoldsTwo", 1, 2, {1, 2}, 0},
                      OverflowCase{"OneThirdAdd", 1, 3, {3}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventQueueOverflowLimit, IsReadOnEveryAdd)
{
    std::atomic<int> limit{0};
    LogRecorder log;
    CdsEventQueue queue(&limit, log.Sink());
    for (int i = 1; i <= 4; ++i)
        queue.AddNewEvent(Point(0), Long(i), BRISANT_LONG, 0);
    limit = 3;
    queue.AddNewEvent(Point(0), Long(5), BRISANT_LONG, 0);
    EXPECT_EQ(Drain(queue), (std::vector<LONG>{5}));
    EXPECT_EQ(log.lines.size(), 5u); // the overflow and the four writes dropped
}

TEST(EventQueueOverflowLimit, WithoutALogSinkStillBounds)
{
    std::atomic<int> limit{1};
    CdsEventQueue queue(&limit);
    for (int i = 1; i <= 3; ++i)
        queue.AddNewEvent(Point(0), Long(i), BRISANT_LONG, 0);
    EXPECT_EQ(Drain(queue), (std::vector<LONG>{3}));
}

TEST(EventQueueRefusal, RefusedValueIsNotQueuedAndDoesNotOverflow)
{
    std::atomic<int> limit{1};
    LogRecorder log;
    CdsEventQueue queue(&limit, log.Sink());
    queue.AddNewEvent(Point(0), Long(1), BRISANT_LONG, 0);
    queue.AddNewEvent(Point(0), Long(2), BRISANT_LONG, 0);
    _BRISANTDATAVALUE none;
    none.ullVal = 0;
    EXPECT_EQ(queue.AddNewEvent(Point(0), none, BRISANT_BOOLARRAY, 0), 0);
    EXPECT_EQ(queue.AddNewEvent(Point(0), none, BRISANT_WORDARRAY, 0), 0);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(Drain(queue), (std::vector<LONG>{1, 2}));
}

TEST(EventQueueCopies, QueuedTextIsTheQueuesOwn)
{
    CdsEventQueue queue;
    char text[] = "open";
    _BRISANTDATAVALUE v;
    v.pszVal = text;
    ASSERT_EQ(queue.AddNewEvent(Point(0), v, BRISANT_STRING, 0), 1);
    std::strcpy(text, "shut");
    CdsEventData::Ptr event = queue.TakeOldestEvent();
    ASSERT_TRUE(event);
    EXPECT_STREQ(event->GetValue().pszVal, "open");
}

TEST(EventQueuePurge, DropsOnlyTheGoneEventsAndKeepsTheOrder)
{
    CdsEventQueue queue;
    char text[] = "x";
    _BRISANTDATAVALUE v;
    v.pszVal = text;
    for (LONG n = 1; n <= 6; ++n)
        queue.AddNewEvent(Point(n % 2 ? 1 : 2), Long(n), BRISANT_LONG, 0);
    queue.AddNewEvent(Point(1), v, BRISANT_STRING, 0);  // its copy must be freed by the purge
    EXPECT_EQ(queue.PurgeEvents(Point(1)), 4u);
    EXPECT_EQ(queue.PurgeEvents(Point(3)), 0u);
    EXPECT_EQ(Drain(queue), (std::vector<LONG>{2, 4, 6}));
}

TEST(EventQueueLifetime, DestroyEmptiesAndFreesTheQueue)
{
    char text[] = "pending";
    _BRISANTDATAVALUE v;
    v.pszVal = text;
    auto* owned = new CdsEventQueue;
    owned->AddNewEvent(Point(0), v, BRISANT_STRING, 0);
    owned->Destroy();  // the sanitizer reports anything left behind

    CdsEventQueue kept;
    kept.SetDeleteOnDestroy(FALSE);
    kept.AddNewEvent(Point(0), v, BRISANT_STRING, 0);
    kept.Destroy();
    EXPECT_TRUE(kept.IsEmpty());

    auto shared = std::make_shared<CdsEventQueue>();
    shared->AddNewEvent(Point(0), v, BRISANT_STRING, 0);
    shared.reset();
}

// Several writers and one reader at once. Each writer queues texts numbered in
// its own order; the reader must see every writer's numbers rising, and every
// write is either read, still queued, or dropped whole by an overflow.
struct ConcurrentCase {
    const char* name;
    int limit;
};

class EventQueueConcurrent : public ::testing::TestWithParam<ConcurrentCase> {};

TEST_P(EventQueueConcurrent, KeepsEachWritersOrderAndTheBoundExact)
{
    constexpr int kWriters = 4;
    constexpr int kPerWriter = 4000;
    std::atomic<int> limit{GetParam().limit};
    std::atomic<int> overflows{0};
    std::atomic<int> droppedLines{0};
    CdsEventQueue queue(&limit, [&](int, const char* text) {
        if (std::strcmp(text, "dsEventQueue overflow!\r\n") == 0)
            ++overflows;
        else
            ++droppedLines;
    });

    std::atomic<int> writersDone{0};
    std::vector<int> lastSeen(kWriters, -1);
    int read = 0;
    bool inOrder = true;
    bool wellFormed = true;
    auto take = [&]() -> bool {
        CdsEventData::Ptr event = queue.TakeOldestEvent();
        if (!event)
            return false;
        int writer = -1;
        int seq = -1;
        if (!event->GetValue().pszVal || std::sscanf(event->GetValue().pszVal, "w%d:%d", &writer, &seq) != 2 ||
            writer < 0 || writer >= kWriters || event->GetPoint() != Point(writer)) {
            wellFormed = false;
            return true;
        }
        if (seq <= lastSeen[writer])
            inOrder = false;
        lastSeen[writer] = seq;
        ++read;
        return true;
    };
    std::thread reader([&] {
        while (writersDone.load() < kWriters)
            if (!take())
                std::this_thread::yield();
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            char text[32];
            _BRISANTDATAVALUE v;
            v.pszVal = text;
            for (int i = 0; i < kPerWriter; ++i) {
                std::snprintf(text, sizeof text, "w%d:%d", w, i);
                queue.AddNewEvent(Point(w), v, BRISANT_STRING, 0);
                std::memset(text, 0, sizeof text);  // the queued copy must not notice
            }
            ++writersDone;
        });
    }
    for (auto& t : writers)
        t.join();
    reader.join();
    std::size_t left = queue.GetCount();
    if (GetParam().limit > 0) {
        EXPECT_LE(left, static_cast<std::size_t>(GetParam().limit) + 1);
    }
    while (take()) {
    }

    EXPECT_TRUE(wellFormed);
    EXPECT_TRUE(inOrder);
    int dropped = GetParam().limit > 0 ? overflows.load() * (GetParam().limit + 1) : 0;
    EXPECT_EQ(read + dropped, kWriters * kPerWriter);
    EXPECT_EQ(droppedLines.load(), dropped); // every dropped write named
    if (GetParam().limit <= 0) {
        EXPECT_EQ(overflows.load(), 0);
    }
    RecordProperty("overflows", overflows.load());
}

INSTANTIATE_TEST_SUITE_P(Limits, EventQueueConcurrent,
                         ::testing::Values(ConcurrentCase{"Unlimited", 0}, ConcurrentCase{"Limit3", 3},
                                           ConcurrentCase{"Limit50", 50}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
