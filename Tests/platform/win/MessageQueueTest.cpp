#include "platform/win/MessageQueue.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using win::Message;
using win::MessageQueue;

std::vector<UINT> drain(MessageQueue& queue)
{
    std::vector<UINT> ids;
    Message msg;
    while (queue.get(msg, 0))
        ids.push_back(msg.id);
    return ids;
}

TEST(MessageQueue, DeliversInPostingOrderWithParameters)
{
    MessageQueue queue;
    queue.post(0x469, 1, -1);
    queue.post(0x467, 2, 3);
    Message msg;
    ASSERT_TRUE(queue.get(msg, 0));
    EXPECT_EQ(msg.id, 0x469u);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, -1);
    ASSERT_TRUE(queue.get(msg, 0));
    EXPECT_EQ(msg.id, 0x467u);
    EXPECT_FALSE(queue.get(msg, 0));
}

TEST(MessageQueue, PayloadTravelsWithMessageAsOwnedCopy)
{
    MessageQueue queue;
    {
        std::string text = "-  Cannot open master comm port!\r\n";
        queue.post(0x400, 3, 0, win::makePayload<std::string>(text));
        text.assign(text.size(), 'x'); // the sender's buffer changes afterwards
    }
    Message msg;
    ASSERT_TRUE(queue.get(msg, 0));
    EXPECT_EQ(msg.text(), "-  Cannot open master comm port!\r\n");
    EXPECT_EQ(msg.valueAs<int>(), nullptr);
}

TEST(MessageQueue, TextOfMessageWithoutPayloadIsEmpty)
{
    Message msg(1);
    EXPECT_EQ(msg.text(), "");
}

struct RemoveCase {
    const char* what;
    std::vector<UINT> posted;
    UINT removed;
    std::size_t count;
    std::vector<UINT> left;
};

void PrintTo(const RemoveCase& c, std::ostream* os) { *os << c.what; }

class MessageQueueRemoveAll : public testing::TestWithParam<RemoveCase> {};

TEST_P(MessageQueueRemoveAll, TakesOnlyThatKindAndKeepsOrder)
{
    const auto& c = GetParam();
    MessageQueue queue;
    for (UINT id : c.posted)
        queue.post(id);
    EXPECT_EQ(queue.removeAll(c.removed), c.count) << c.what;
    EXPECT_EQ(drain(queue), c.left) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    MessageQueue, MessageQueueRemoveAll,
    testing::Values(RemoveCase{"empty", {}, 0x469, 0, {}},
                    RemoveCase{"none of kind", {1, 2}, 0x469, 0, {1, 2}},
                    RemoveCase{"all of kind", {0x469, 0x469, 0x469}, 0x469, 3, {}},
                    RemoveCase{"mixed", {0x469, 0x46C, 0x469, 0x12, 0x469}, 0x469, 3, {0x46C, 0x12}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(MessageQueue, RemovingEverythingClearsReadiness)
{
    MessageQueue queue;
    queue.post(5);
    EXPECT_TRUE(queue.readyEvent().isSet());
    queue.removeAll(5);
    EXPECT_FALSE(queue.readyEvent().isSet());
}

TEST(MessageQueue, PeekWithoutRemoveLeavesMessageAndPayload)
{
    MessageQueue queue;
    queue.post(7, 1, 2, win::makePayload<std::string>("kept"));
    Message look;
    ASSERT_TRUE(queue.peek(look, false));
    EXPECT_EQ(look.id, 7u);
    EXPECT_EQ(look.payload, nullptr);
    Message taken;
    ASSERT_TRUE(queue.peek(taken, true));
    EXPECT_EQ(taken.text(), "kept");
    EXPECT_FALSE(queue.peek(taken, false));
}

TEST(MessageQueue, PeekByKindSkipsOthers)
{
    MessageQueue queue;
    queue.post(1);
    queue.post(2, 20);
    queue.post(2, 21);
    Message msg;
    ASSERT_TRUE(queue.peek(msg, 2, true));
    EXPECT_EQ(msg.wParam, 20u);
    EXPECT_FALSE(queue.peek(msg, 3, true));
    EXPECT_TRUE(queue.contains(2));
    EXPECT_FALSE(queue.contains(3));
    EXPECT_EQ(drain(queue), (std::vector<UINT>{1, 2}));
}

TEST(MessageQueue, GetTimesOutOnEmptyQueue)
{
    MessageQueue queue;
    Message msg;
    EXPECT_FALSE(queue.get(msg, 5));
}

TEST(MessageQueue, GetWakesForMessageFromAnotherThread)
{
    MessageQueue queue;
    std::thread poster([&] { queue.post(42); });
    Message msg;
    ASSERT_TRUE(queue.get(msg, win::INFINITE));
    EXPECT_EQ(msg.id, 42u);
    poster.join();
}

TEST(MessageQueue, ClosedQueueDropsWaitingAndRefusesNew)
{
    MessageQueue queue;
    queue.post(1, 0, 0, win::makePayload<std::string>("dropped"));
    queue.close();
    EXPECT_TRUE(queue.isClosed());
    EXPECT_FALSE(queue.post(2));
    EXPECT_EQ(queue.size(), 0u);
    Message msg;
    EXPECT_FALSE(queue.get(msg, win::INFINITE)); // returns at once
}

} // namespace
