#include "platform/win/MessageQueue.h"

#include <algorithm>
#include <chrono>

namespace win {

const std::string& Message::text() const
{
    static const std::string empty;
    const auto* box = dynamic_cast<const TextPayload*>(payload.get());
    return box ? box->value : empty;
}

MessageQueue::MessageQueue() = default;

bool MessageQueue::post(Message msg)
{
    std::lock_guard guard(m_mutex);
    if (m_closed)
        return false;
    m_messages.push_back(std::move(msg));
    m_ready.set();
    return true;
}

bool MessageQueue::get(Message& out, DWORD timeoutMs)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::lock_guard guard(m_mutex);
            if (!m_messages.empty()) {
                out = std::move(m_messages.front());
                m_messages.pop_front();
                if (m_messages.empty())
                    m_ready.reset();
                return true;
            }
            if (m_closed)
                return false;
        }
        DWORD wait = timeoutMs;
        if (timeoutMs != INFINITE) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
            if (spent >= static_cast<long long>(timeoutMs))
                return false;
            wait = timeoutMs - static_cast<DWORD>(spent);
        }
        if (!m_ready.wait(wait))
            return false;
    }
}

bool MessageQueue::peek(Message& out, bool remove)
{
    std::lock_guard guard(m_mutex);
    if (m_messages.empty())
        return false;
    Message& front = m_messages.front();
    if (!remove) {
        out = Message(front.id, front.wParam, front.lParam);
        return true;
    }
    out = std::move(front);
    m_messages.pop_front();
    if (m_messages.empty())
        m_ready.reset();
    return true;
}

bool MessageQueue::peek(Message& out, UINT id, bool remove)
{
    std::lock_guard guard(m_mutex);
    auto it = std::find_if(m_messages.begin(), m_messages.end(), [id](const Message& m) { return m.id == id; });
    if (it == m_messages.end())
        return false;
    if (!remove) {
        out = Message(it->id, it->wParam, it->lParam);
        return true;
    }
    out = std::move(*it);
    m_messages.erase(it);
    if (m_messages.empty())
        m_ready.reset();
    return true;
}

bool MessageQueue::contains(UINT id) const
{
    std::lock_guard guard(m_mutex);
    return std::any_of(m_messages.begin(), m_messages.end(), [id](const Message& m) { return m.id == id; });
}

std::size_t MessageQueue::removeAll(UINT id)
{
    std::deque<Message> removed; // payloads are freed after the lock is let go
    std::lock_guard guard(m_mutex);
    const auto before = m_messages.size();
    auto keep = std::stable_partition(m_messages.begin(), m_messages.end(),
                                      [id](const Message& m) { return m.id != id; });
    std::move(keep, m_messages.end(), std::back_inserter(removed));
    m_messages.erase(keep, m_messages.end());
    if (m_messages.empty())
        m_ready.reset();
    return before - m_messages.size();
}

std::size_t MessageQueue::size() const
{
    std::lock_guard guard(m_mutex);
    return m_messages.size();
}

void MessageQueue::close()
{
    std::deque<Message> dropped;
    {
        std::lock_guard guard(m_mutex);
        m_closed = true;
        dropped.swap(m_messages);
        // Stays set so that waiters wake and see the queue closed.
        m_ready.set();
    }
}

bool MessageQueue::isClosed() const
{
    std::lock_guard guard(m_mutex);
    return m_closed;
}

} // namespace win
