// Values of the simulator that move by themselves (plcsim --move).
#include "support/plcsim/Motion.h"

#include <gtest/gtest.h>

namespace plcsim {
namespace {

TEST(PlcsimMotion, TheCounterWordCountsTheStepsAndTheInputBitToggles)
{
    Memory memory;
    struct Case {
        std::uint64_t step;
        std::uint16_t counter;
        bool bit;
    } cases[] = {{1, 1, true}, {2, 2, false}, {3, 3, true}, {65536, 0, false}, {65537, 1, true}};
    for (const Case& c : cases) {
        StepMotion(memory, c.step);
        EXPECT_EQ(memory.word(kMotionCounterDevice, kMotionCounterNumber), c.counter) << c.step;
        EXPECT_EQ(memory.bit(kMotionBitDevice, kMotionBitNumber), c.bit) << c.step;
    }
    EXPECT_EQ(memory.word(kMotionCounterDevice, kMotionCounterNumber + 1), 0); // nothing else moves
}

TEST(PlcsimMotion, ValuesMoveByThemselvesWhileItRuns)
{
    Memory memory;
    const std::uint64_t seen = memory.changeCount();
    Motion motion(memory, std::chrono::milliseconds(1));
    ASSERT_TRUE(memory.waitForChange(seen + 3, std::chrono::seconds(5)));
    EXPECT_GE(memory.word(kMotionCounterDevice, kMotionCounterNumber), 1);
}

} // namespace
} // namespace plcsim
