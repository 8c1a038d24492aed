#pragma once
// The thread that runs one client's transactions and subscription updates, so a client
// whose sink is slow or never returns holds up nobody but itself. It sleeps until the
// time its last run named (its client's first due update), new work or a stop: no other
// thread has to look at the time for it. Wakes that come while it is busy merge into
// one run, which sees the latest time and the latest values.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace win { class Clock; }

namespace opc {

class ClientWorker {
public:
    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

    // run(nowMs) is called on the worker's thread, never twice at once, and gives the
    // clock's time of the next run (kNever: only when woken). The first run is on wake().
    // clock (the monotonic time; it outlives the worker's stop) is not owned.
    ClientWorker(std::function<std::uint64_t(std::uint64_t)> run, const win::Clock& clock);
    ~ClientWorker();  // stop()
    ClientWorker(const ClientWorker&) = delete;
    ClientWorker& operator=(const ClientWorker&) = delete;

    // Asks for a run now (new work, or a schedule that changed).
    void wake();
    // No run starts after it. Joins the thread, or, called on the thread itself (from
    // inside run), lets it go: it then ends without touching its owner or the clock again.
    void stop();

private:
    // Shared with the thread, so a thread let go keeps what it still reads.
    struct State {
        explicit State(const win::Clock& c) : clock(c) {}
        const win::Clock& clock;
        std::mutex mutex;  // leaf: run is called without it
        std::condition_variable cv;
        bool due = false;
        bool moved = false;  // a clock that moves only when told to was moved
        bool stop = false;
        std::uint64_t nextMs = kNever;
        std::function<std::uint64_t(std::uint64_t)> run;
    };
    static void loop(std::shared_ptr<State> state);

    std::shared_ptr<State> state_;
    std::uint64_t watch_ = 0;  // the clock's watch; 0 once stopped (guarded by state_->mutex)
    std::thread thread_;
};

} // namespace opc
