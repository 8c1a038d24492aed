#include "platform/win/MessageThread.h"

#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using win::Event;
using win::Message;
using win::MessageThread;

constexpr UINT kWork = win::WM_USER + 1;
constexpr UINT kBlock = win::WM_USER + 2;
constexpr UINT kStop = win::WM_USER + 3;
constexpr DWORD kGenerous = 5000; // only reached when something is broken

// Records what it handled; its last sign of life goes to shared events so the
// test can watch it even after letting go of the object.
struct Probe {
    std::mutex mutex;
    std::vector<std::pair<UINT, std::string>> handled;
    std::vector<std::thread::id> threads;
    Event gate{Event::Reset::Manual};     // kBlock waits on this
    Event inBlock{Event::Reset::Manual};  // set when kBlock has begun
    Event destroyed{Event::Reset::Manual};
    bool initResult = true;
    int exitInstanceCalls = 0;
};

class Recorder : public MessageThread {
public:
    Recorder(std::shared_ptr<Probe> probe, std::shared_ptr<Event> stop = nullptr)
        : MessageThread(std::move(stop)), m_probe(std::move(probe)) {}
    ~Recorder() override { m_probe->destroyed.set(); }

protected:
    bool initInstance() override { return m_probe->initResult; }
    void onMessage(Message& msg) override
    {
        {
            std::lock_guard guard(m_probe->mutex);
            m_probe->handled.emplace_back(msg.id, msg.text());
            m_probe->threads.push_back(std::this_thread::get_id());
        }
        if (msg.id == kBlock) {
            m_probe->inBlock.set();
            m_probe->gate.wait(win::INFINITE);
        } else if (msg.id == kStop) {
            post(win::WM_QUIT, 7);
        }
    }
    int exitInstance() override
    {
        ++m_probe->exitInstanceCalls;
        return MessageThread::exitInstance();
    }

private:
    std::shared_ptr<Probe> m_probe;
};

TEST(MessageThread, PostedWorkRunsInOrderOnItsOwnThread)
{
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_shared<Recorder>(probe);
    ASSERT_TRUE(thread->create(false));
    for (int i = 0; i < 5; ++i)
        thread->post(kWork, 0, 0, win::makePayload<std::string>("step " + std::to_string(i)));
    ASSERT_TRUE(thread->stop(kGenerous));
    EXPECT_EQ(thread->state(), MessageThread::State::Finished);

    ASSERT_EQ(probe->handled.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(probe->handled[i].second, "step " + std::to_string(i));
    for (auto id : probe->threads) {
        EXPECT_NE(id, std::this_thread::get_id());
        EXPECT_EQ(id, probe->threads.front());
    }
    EXPECT_EQ(probe->exitInstanceCalls, 1);
}

TEST(MessageThread, CreatedSuspendedRunsNothingUntilResumed)
{
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_shared<Recorder>(probe);
    ASSERT_TRUE(thread->create(true));
    thread->post(kWork);
    thread->post(kBlock);
    EXPECT_FALSE(probe->inBlock.wait(20));
    EXPECT_EQ(thread->state(), MessageThread::State::Starting);
    EXPECT_EQ(thread->resume(), 1u);
    EXPECT_TRUE(probe->inBlock.wait(kGenerous));
    probe->gate.set();
    EXPECT_TRUE(thread->stop(kGenerous));
    EXPECT_EQ(probe->handled.size(), 2u);
}

TEST(MessageThread, SuspendCountIsKept)
{
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_shared<Recorder>(probe);
    ASSERT_TRUE(thread->create(true));
    EXPECT_EQ(thread->suspend(), 1u);
    // Suspended twice: stopping resumes once and gives up without waiting.
    EXPECT_FALSE(thread->stop(kGenerous));
    EXPECT_EQ(thread->suspendCount(), 1u);
    EXPECT_EQ(thread->resume(), 1u);
    EXPECT_EQ(thread->resume(), 0u);
    EXPECT_TRUE(thread->stop(kGenerous));
}

TEST(MessageThread, FailedStartIsReportedAndEndsTheThread)
{
    auto probe = std::make_shared<Probe>();
    probe->initResult = false;
    auto thread = std::make_shared<Recorder>(probe);
    ASSERT_TRUE(thread->create(false));
    EXPECT_TRUE(thread->join(kGenerous));
    EXPECT_EQ(thread->state(), MessageThread::State::StartFailed);
    EXPECT_EQ(probe->exitInstanceCalls, 1);
    EXPECT_FALSE(thread->post(kWork)) << "an ended thread takes no messages";
    EXPECT_TRUE(probe->handled.empty());
}

TEST(MessageThread, CreateNeedsSharedOwnership)
{
    auto probe = std::make_shared<Probe>();
    Recorder unshared(probe);
    EXPECT_FALSE(unshared.create(false));
}

TEST(MessageThread, StoppingThreadNeverCreatedReturnsAtOnce)
{
    auto thread = std::make_shared<Recorder>(std::make_shared<Probe>());
    EXPECT_TRUE(thread->stop(win::INFINITE));
}

TEST(MessageThread, CannotBeCreatedTwice)
{
    auto thread = std::make_shared<Recorder>(std::make_shared<Probe>());
    ASSERT_TRUE(thread->create(false));
    EXPECT_FALSE(thread->create(false));
    EXPECT_TRUE(thread->stop(kGenerous));
}

TEST(MessageThread, StopMessageHandledByThreadEndsIt)
{
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_shared<Recorder>(probe);
    ASSERT_TRUE(thread->create(true));
    EXPECT_TRUE(thread->stop(kGenerous, kStop));
    EXPECT_EQ(thread->exitCode(), 7);
}

TEST(MessageThread, StopEventEndsThreadBeforeFurtherMessages)
{
    auto probe = std::make_shared<Probe>();
    auto stop = std::make_shared<Event>(Event::Reset::Manual);
    auto thread = std::make_shared<Recorder>(probe, stop);
    ASSERT_TRUE(thread->create(false));
    thread->post(kBlock);
    ASSERT_TRUE(probe->inBlock.wait(kGenerous));
    thread->post(kWork);
    thread->post(kWork);
    stop->set();
    probe->gate.set();
    EXPECT_TRUE(thread->join(kGenerous));
    EXPECT_EQ(probe->handled.size(), 1u) << "waiting work is not run after the stop event";
}

TEST(MessageThread, OneStopEventEndsEveryThreadSharingIt)
{
    auto stop = std::make_shared<Event>(Event::Reset::Manual);
    std::vector<std::shared_ptr<Recorder>> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(std::make_shared<Recorder>(std::make_shared<Probe>(), stop));
        ASSERT_TRUE(threads.back()->create(false));
    }
    stop->set();
    for (auto& thread : threads)
        EXPECT_TRUE(thread->join(kGenerous));
}

// A busy thread whose step watches the stop event finishes the step and ends.
class BusyLine : public MessageThread {
public:
    using MessageThread::MessageThread;
    Event started{Event::Reset::Manual};

protected:
    void onMessage(Message&) override
    {
        started.set();
        while (!stopEvent()->wait(1)) {
        }
    }
};

TEST(MessageThread, StoppingBusyThreadJoinsIt)
{
    auto stop = std::make_shared<Event>(Event::Reset::Manual);
    auto line = std::make_shared<BusyLine>(stop);
    ASSERT_TRUE(line->create(true));
    line->resume();
    line->post(kWork);
    ASSERT_TRUE(line->started.wait(kGenerous));
    stop->set();
    EXPECT_TRUE(line->stop(kGenerous));
    EXPECT_FALSE(line->isAbandoned());
    EXPECT_EQ(line->state(), MessageThread::State::Finished);
}

TEST(MessageThread, ThreadThatWillNotStopIsAbandonedAndFreesItselfLater)
{
    auto probe = std::make_shared<Probe>();
    std::weak_ptr<Recorder> watch;
    {
        auto thread = std::make_shared<Recorder>(probe);
        watch = thread;
        ASSERT_TRUE(thread->create(false));
        thread->post(kBlock, 0, 0, win::makePayload<std::string>("hangs"));
        ASSERT_TRUE(probe->inBlock.wait(kGenerous));

        EXPECT_FALSE(thread->stop(10));
        EXPECT_TRUE(thread->isAbandoned());
        EXPECT_FALSE(thread->join(0));
    } // the owner lets go while the thread still runs
    EXPECT_FALSE(probe->destroyed.isSet());
    EXPECT_FALSE(watch.expired()) << "the running thread keeps its object";

    // The hang ends: the thread reads its own state, sees the quit message and
    // frees itself. The sanitizer checks that nothing it touched was gone.
    probe->gate.set();
    EXPECT_TRUE(probe->destroyed.wait(kGenerous));
    EXPECT_TRUE(watch.expired());
    ASSERT_EQ(probe->handled.size(), 1u);
    EXPECT_EQ(probe->handled[0].second, "hangs");
    EXPECT_EQ(probe->exitInstanceCalls, 1);
}

TEST(MessageThread, ObjectDroppedAfterJoinIsFreedAtOnce)
{
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_shared<Recorder>(probe);
    ASSERT_TRUE(thread->create(false));
    ASSERT_TRUE(thread->stop(kGenerous));
    thread.reset();
    EXPECT_TRUE(probe->destroyed.isSet());
}

} // namespace
