#include "platform/opc/server/ClientWorker.h"

#include "platform/win/Clock.h"

#include <chrono>
#include <utility>

namespace opc {

ClientWorker::ClientWorker(std::function<std::uint64_t(std::uint64_t)> run, const win::Clock& clock)
    : state_(std::make_shared<State>(clock))
{
    state_->run = std::move(run);
    // A clock moved by hand wakes the worker to look at the time again.
    if (!clock.movesByItself())
        watch_ = clock.watch([s = state_] {
            {
                std::lock_guard lock(s->mutex);
                s->moved = true;
            }
            s->cv.notify_one();
        });
    thread_ = std::thread([s = state_] { loop(s); });
}

ClientWorker::~ClientWorker() { stop(); }

void ClientWorker::wake()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->due = true;
    }
    state_->cv.notify_one();
}

void ClientWorker::stop()
{
    std::uint64_t watch = 0;
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
        watch = std::exchange(watch_, 0);
    }
    state_->cv.notify_one();
    if (watch) state_->clock.unwatch(watch);
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
}

void ClientWorker::loop(std::shared_ptr<State> s)
{
    const bool realTime = s->clock.movesByItself();
    std::unique_lock lock(s->mutex);
    for (;;) {
        if (s->stop) return;
        s->moved = false;
        const std::uint64_t now = s->clock.monotonicMs();
        if (s->due || now >= s->nextMs) {
            s->due = false;
            lock.unlock();
            const std::uint64_t next = s->run(now);
            lock.lock();
            s->nextMs = next;
            continue;
        }
        auto woken = [&] { return s->stop || s->due || s->moved; };
        if (!realTime || s->nextMs == kNever) s->cv.wait(lock, woken);
        else s->cv.wait_for(lock, std::chrono::milliseconds(s->nextMs - now), woken);
    }
}

} // namespace opc
