#pragma once
// Per-thread message queue: post, timed wait, peek, remove all of a kind.
#include "platform/win/Event.h"
#include "platform/win/WinTypes.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace win {

inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;

// Data a message owns. Derive for anything richer than a text.
struct Payload {
    virtual ~Payload() = default;
};

template <class T>
struct Boxed final : Payload {
    template <class... Args>
    explicit Boxed(Args&&... args) : value(std::forward<Args>(args)...) {}
    T value;
};

using TextPayload = Boxed<std::string>;

template <class T, class... Args>
std::unique_ptr<Payload> makePayload(Args&&... args)
{
    return std::make_unique<Boxed<T>>(std::forward<Args>(args)...);
}

struct Message {
    UINT id = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::unique_ptr<Payload> payload; // owned; travels with the message

    Message() = default;
    Message(UINT msg, WPARAM w = 0, LPARAM l = 0, std::unique_ptr<Payload> p = nullptr)
        : id(msg), wParam(w), lParam(l), payload(std::move(p)) {}

    // The payload as T when it is one, else null.
    template <class T>
    T* payloadAs() const { return dynamic_cast<T*>(payload.get()); }
    // The boxed value when the payload is a Boxed<T>, else null.
    template <class T>
    T* valueAs() const
    {
        auto* box = dynamic_cast<Boxed<T>*>(payload.get());
        return box ? &box->value : nullptr;
    }
    // The text of a TextPayload, or an empty text.
    const std::string& text() const;
};

class MessageQueue {
public:
    MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // False (message dropped) once the queue is closed.
    bool post(Message msg);
    bool post(UINT id, WPARAM w = 0, LPARAM l = 0, std::unique_ptr<Payload> p = nullptr)
    {
        return post(Message(id, w, l, std::move(p)));
    }

    // Takes the oldest message, waiting up to timeoutMs; false on time-out
    // or when the queue is closed and empty.
    bool get(Message& out, DWORD timeoutMs = INFINITE);
    // Looks at the oldest message without waiting; takes it when remove is set.
    // Without remove, only id and parameters are copied (the payload stays).
    bool peek(Message& out, bool remove);
    // As peek, for the oldest message of one kind.
    bool peek(Message& out, UINT id, bool remove);

    bool contains(UINT id) const;
    // Removes every waiting message of that kind; returns how many.
    std::size_t removeAll(UINT id);
    std::size_t size() const;
    bool empty() const { return size() == 0; }

    // Drops every waiting message and refuses new ones.
    void close();
    bool isClosed() const;

    // Set while messages wait (manual reset); lets a thread wait for messages
    // and other events at once with Event::waitAny.
    Event& readyEvent() { return m_ready; }

private:
    // Guards the messages and the closed flag. While held, only m_ready's lock
    // is taken; payloads are freed after it is let go. Held under a message
    // thread's m_threadMutex when a start fails.
    mutable std::mutex m_mutex;
    std::deque<Message> m_messages;
    bool m_closed = false;
    Event m_ready{Event::Reset::Manual};
};

} // namespace win
