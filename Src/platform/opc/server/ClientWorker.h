#pragma once
// The thread that runs one client's transactions and subscription updates, so a client
// whose sink is slow or never returns holds up nobody but itself. Ticks that come while
// it is busy merge into one: the next run sees the latest time and the latest values,
// and what the client missed in between is never queued.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace opc {

class ClientWorker {
public:
    // run(nowMs) is called on the worker's thread, never twice at once.
    explicit ClientWorker(std::function<void(std::uint64_t)> run);
    ~ClientWorker();  // stop()
    ClientWorker(const ClientWorker&) = delete;
    ClientWorker& operator=(const ClientWorker&) = delete;

    // Asks for a run at this time.
    void tick(std::uint64_t nowMs);
    // Asks for a run at the last time given (new work, no new time).
    void wake();
    // No run starts after it. Joins the thread, or, called on the thread itself (from
    // inside run), lets it go: it then ends without touching its owner again.
    void stop();

private:
    // Shared with the thread, so a thread let go keeps what it still reads.
    struct State {
        std::mutex mutex;  // leaf: run is called without it
        std::condition_variable cv;
        bool due = false;
        bool stop = false;
        std::uint64_t nowMs = 0;
        std::function<void(std::uint64_t)> run;
    };
    static void loop(std::shared_ptr<State> state);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace opc
