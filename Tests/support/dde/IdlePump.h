#pragma once
// The application thread of a DDE test: while clients on other threads wait
// for answers, it gives the toolkit its idle passes, one whenever a client
// operation was queued and one per step of the test's fake time otherwise.
// The calling thread is the application thread; nothing here sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>

#include "platform/dde/BrisantToolkit.h"

namespace support {

class IdlePump : public dde::Signal {
public:
    // pass: one idle pass, moving the test's clock as it likes.
    IdlePump(dde::Toolkit& toolkit, std::function<void()> pass) : m_toolkit(toolkit), m_pass(std::move(pass))
    {
        m_toolkit.SetWorkSignal(this);
    }
    ~IdlePump() override { m_toolkit.SetWorkSignal(nullptr); }
    IdlePump(const IdlePump&) = delete;
    IdlePump& operator=(const IdlePump&) = delete;

    void Raise() override
    {
        std::lock_guard lock(m_mutex);
        m_work = true;
        m_wake.notify_one();
    }

    // Passes until done() holds; false (and a test failure) when that takes
    // more than 20 s of real time, which only a hang does.
    bool RunUntil(const std::function<bool()>& done)
    {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) {
                ADD_FAILURE() << "the clients did not finish";
                return false;
            }
            {
                // A short wait for queued work keeps the loop from spinning.
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::milliseconds(2), [this] { return m_work; });
                m_work = false;
            }
            m_pass();
        }
        return true;
    }

    // Runs the client call on its own thread and passes until it has returned.
    template <typename Call>
    auto Run(Call call)
    {
        auto result = std::async(std::launch::async, std::move(call));
        RunUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        return result.get();
    }

private:
    dde::Toolkit& m_toolkit;
    std::function<void()> m_pass;
    std::mutex m_mutex;   // guards m_work; taken inside the toolkit's lock (Raise)
    std::condition_variable m_wake;
    bool m_work = false;
};

} // namespace support
