#pragma once
// Values that move by themselves, so that a new user sees live data: a counter
// word that counts up and an input bit that toggles, one step per period.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "support/plcsim/Memory.h"

namespace plcsim {

// D200 counts the steps (wrapping at 65536); X0 is on at odd steps.
inline constexpr std::uint8_t kMotionCounterDevice = 0xA8; // D
inline constexpr std::uint32_t kMotionCounterNumber = 200;
inline constexpr std::uint8_t kMotionBitDevice = 0x9C;     // X
inline constexpr std::uint32_t kMotionBitNumber = 0;

// Writes the values of the step.
void StepMotion(Memory& memory, std::uint64_t step);

// Steps the memory on a thread of its own, one step per period, from step 1.
class Motion {
public:
    Motion(Memory& memory, std::chrono::milliseconds period);
    ~Motion();
    Motion(const Motion&) = delete;
    Motion& operator=(const Motion&) = delete;

private:
    void run();

    Memory& memory_;
    std::chrono::milliseconds period_;
    std::mutex mutex_; // a leaf: guards stop_
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace plcsim
