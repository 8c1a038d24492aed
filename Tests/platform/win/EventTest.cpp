#include "platform/win/Event.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using win::Event;

struct ResetCase {
    const char* what;
    Event::Reset kind;
    bool secondWaitSucceeds;  // after one set, does a second wait pass too?
    bool setAfterWait;        // is it still set after a successful wait?
};

void PrintTo(const ResetCase& c, std::ostream* os) { *os << c.what; }

class EventReset : public testing::TestWithParam<ResetCase> {};

TEST_P(EventReset, OneSetReleasesAccordingToKind)
{
    const auto& c = GetParam();
    Event event(c.kind);
    EXPECT_FALSE(event.wait(0)) << c.what;
    event.set();
    EXPECT_TRUE(event.isSet()) << c.what;
    EXPECT_TRUE(event.isSet()) << c.what << ": looking must not consume";
    EXPECT_TRUE(event.wait(0)) << c.what;
    EXPECT_EQ(event.isSet(), c.setAfterWait) << c.what;
    EXPECT_EQ(event.wait(0), c.secondWaitSucceeds) << c.what;
}

TEST_P(EventReset, ResetClears)
{
    const auto& c = GetParam();
    Event event(c.kind, true);
    event.reset();
    EXPECT_FALSE(event.isSet()) << c.what;
    EXPECT_FALSE(event.wait(1)) << c.what;
}

TEST_P(EventReset, PulseWithoutWaitersLeavesItClear)
{
    const auto& c = GetParam();
    Event event(c.kind, true);
    event.pulse();
    EXPECT_FALSE(event.isSet()) << c.what;
    EXPECT_FALSE(event.wait(0)) << c.what;
}

TEST_P(EventReset, PulseReleasesAWaitingThread)
{
    const auto& c = GetParam();
    Event event(c.kind);
    std::atomic<bool> released{false};
    std::thread waiter([&] { released = event.wait(win::INFINITE); });
    // Pulse until the waiter has gone in and been let out.
    while (!released) {
        event.pulse();
        std::this_thread::yield();
    }
    waiter.join();
    EXPECT_FALSE(event.isSet()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Event, EventReset,
                         testing::Values(ResetCase{"manual", Event::Reset::Manual, true, true},
                                         ResetCase{"auto", Event::Reset::Auto, false, false}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(Event, WaitTimesOutWhenNeverSet)
{
    Event event(Event::Reset::Manual);
    EXPECT_FALSE(event.wait(5));
}

TEST(Event, SetFromAnotherThreadWakesWaiter)
{
    Event event(Event::Reset::Auto);
    std::thread setter([&] { event.set(); });
    EXPECT_TRUE(event.wait(win::INFINITE));
    setter.join();
    EXPECT_FALSE(event.isSet());
}

TEST(Event, AutoResetReleasesOneOfTwoWaitersPerSet)
{
    Event event(Event::Reset::Auto);
    std::atomic<int> released{0};
    std::thread a([&] { released += event.wait(win::INFINITE); });
    std::thread b([&] { released += event.wait(win::INFINITE); });
    // Sets do not add up: the second one comes after the first was taken.
    event.set();
    while (released.load() < 1)
        std::this_thread::yield();
    EXPECT_FALSE(event.isSet());
    event.set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(event.isSet());
}

TEST(Event, WaitAnyGivesFirstSetIndexAndConsumesOnlyIt)
{
    Event a(Event::Reset::Auto), b(Event::Reset::Auto), c(Event::Reset::Auto);
    b.set();
    c.set();
    EXPECT_EQ(Event::waitAny({&a, &b, &c}, 0), 1);
    EXPECT_FALSE(b.isSet());
    EXPECT_TRUE(c.isSet());
    EXPECT_EQ(Event::waitAny({&a, &b, &c}, 0), 2);
    EXPECT_EQ(Event::waitAny({&a, &b, &c}, 5), -1);
}

TEST(Event, WaitAnyLeavesManualEventSet)
{
    Event queueReady(Event::Reset::Manual), stop(Event::Reset::Manual);
    stop.set();
    EXPECT_EQ(Event::waitAny({&queueReady, &stop}, 0), 1);
    EXPECT_TRUE(stop.isSet());
}

TEST(Event, WaitAnyWakesOnLaterSet)
{
    Event a(Event::Reset::Auto), b(Event::Reset::Manual);
    std::thread setter([&] { b.set(); });
    EXPECT_EQ(Event::waitAny({&a, &b}, win::INFINITE), 1);
    setter.join();
}

TEST(Event, WaitAnyOfNothingOrTooManyFails)
{
    EXPECT_EQ(Event::waitAny(std::vector<Event*>{}, 0), -1);
    Event set(Event::Reset::Manual, true);
    std::vector<Event*> many(win::MAXIMUM_WAIT_OBJECTS + 1, &set);
    EXPECT_EQ(Event::waitAny(many, win::INFINITE), -1);
    many.pop_back();
    EXPECT_EQ(Event::waitAny(many, 0), 0);
}

TEST(Event, ManualPulseReleasesWaitAny)
{
    Event idle(Event::Reset::Auto), stop(Event::Reset::Manual);
    std::atomic<int> index{-2};
    std::thread waiter([&] { index = Event::waitAny({&idle, &stop}, win::INFINITE); });
    while (index.load() == -2) {
        stop.pulse();
        std::this_thread::yield();
    }
    waiter.join();
    EXPECT_EQ(index.load(), 1);
    EXPECT_FALSE(stop.isSet());
}

} // namespace
