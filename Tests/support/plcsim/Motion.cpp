#include "support/plcsim/Motion.h"

namespace plcsim {

void StepMotion(Memory& memory, std::uint64_t step)
{
    memory.setWord(kMotionCounterDevice, kMotionCounterNumber, static_cast<std::uint16_t>(step));
    memory.setBit(kMotionBitDevice, kMotionBitNumber, (step & 1) != 0);
}

Motion::Motion(Memory& memory, std::chrono::milliseconds period)
    : memory_(memory), period_(period), thread_([this] { run(); })
{
}

Motion::~Motion()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Motion::run()
{
    std::unique_lock lock(mutex_);
    for (std::uint64_t step = 1; !wake_.wait_for(lock, period_, [this] { return stop_; }); ++step)
        StepMotion(memory_, step);
}

} // namespace plcsim
