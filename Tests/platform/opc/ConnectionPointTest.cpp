// A guarded connection point: the container's work under its own lock never sees a new
// sink without what the advise hook did for it (a scheduler pass in between would send
// a subscriber's first values twice).
#include "platform/opc/ConnectionPoint.h"

#include "platform/opc/RecordingSinks.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using opc::ComPtr;

class Container final : public IUnknown {
public:
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
};

TEST(ConnectionPointTest, AdviseHookRunsUnderTheGuardWithTheSinkInPlace)
{
    Container container;
    std::mutex guard;
    bool guardHeld = false;
    bool sinkVisible = false;
    opc::ConnectionPoint* self = nullptr;
    opc::ConnectionPoint point(
        container, IID_IOPCDataCallback, 1,
        [&] {
            // Another thread cannot take the guard while the hook runs.
            guardHeld = !std::async(std::launch::async, [&] {
                            if (!guard.try_lock()) return false;
                            guard.unlock();
                            return true;
                        }).get();
            sinkVisible = !self->empty();
        },
        &guard);
    self = &point;
    ComPtr<opctest::RecordingDataCallback> sink(new opctest::RecordingDataCallback);
    DWORD cookie = 0;
    ASSERT_EQ(point.Advise(sink.get(), &cookie), S_OK);
    EXPECT_TRUE(guardHeld);
    EXPECT_TRUE(sinkVisible);
    // The guard is free again once Advise returns.
    EXPECT_TRUE(guard.try_lock());
    guard.unlock();
    EXPECT_EQ(point.Advise(sink.get(), &cookie), CONNECT_E_ADVISELIMIT);
}

} // namespace
