#include "platform/opc/server/ClientWorker.h"

namespace opc {

ClientWorker::ClientWorker(std::function<void(std::uint64_t)> run) : state_(std::make_shared<State>())
{
    state_->run = std::move(run);
    thread_ = std::thread([s = state_] { loop(s); });
}

ClientWorker::~ClientWorker() { stop(); }

void ClientWorker::tick(std::uint64_t nowMs)
{
    {
        std::lock_guard lock(state_->mutex);
        state_->nowMs = nowMs;
        state_->due = true;
    }
    state_->cv.notify_one();
}

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
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
    }
    state_->cv.notify_one();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
}

void ClientWorker::loop(std::shared_ptr<State> s)
{
    std::unique_lock lock(s->mutex);
    for (;;) {
        s->cv.wait(lock, [&] { return s->stop || s->due; });
        if (s->stop) return;
        s->due = false;
        const std::uint64_t now = s->nowMs;
        lock.unlock();
        s->run(now);
        lock.lock();
    }
}

} // namespace opc
