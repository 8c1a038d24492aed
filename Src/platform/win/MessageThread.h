#pragma once
// A message-driven worker thread. Create it through std::make_shared: the
// running thread keeps its own reference, so a thread that is abandoned after
// a stop time-out never reaches freed memory.
#include "platform/win/Event.h"
#include "platform/win/MessageQueue.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace win {

class MessageThread : public std::enable_shared_from_this<MessageThread> {
public:
    enum class State { Created, Starting, Running, StartFailed, Finished };

    // stopEvent: shared with the owner (and other threads of the owner); once
    // set, the thread ends before taking its next message. May be null.
    explicit MessageThread(std::shared_ptr<Event> stopEvent = nullptr);
    virtual ~MessageThread();
    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;

    // Starts the system thread; with suspended set it waits for resume()
    // before initInstance(). False when the thread cannot be made, or when
    // the object is not owned by a std::shared_ptr.
    bool create(bool suspended = true);

    // Suspension is counted and takes effect between messages.
    // Both return the count before the call.
    DWORD suspend();
    DWORD resume();
    DWORD suspendCount() const;

    // False when the thread has ended (the message is dropped).
    bool post(Message msg);
    bool post(UINT id, WPARAM w = 0, LPARAM l = 0, std::unique_ptr<Payload> p = nullptr)
    {
        return post(Message(id, w, l, std::move(p)));
    }

    // Resumes once, posts stopMessage (WM_QUIT by default; a handler that
    // receives another stop message should post WM_QUIT itself) and joins.
    // When the count was above one before resuming, it neither posts nor
    // waits and returns false. A thread that does not end in time is
    // abandoned (see join).
    bool stop(DWORD timeoutMs, UINT stopMessage = WM_QUIT);

    // Waits up to timeoutMs for the thread to end. True when it ended and was
    // joined. Otherwise the thread is detached for good: it keeps this object
    // alive until it ends, and the caller must drop its reference and touch
    // nothing of it again.
    bool join(DWORD timeoutMs);

    State state() const { return m_state.load(); }
    bool isAbandoned() const { return m_abandoned.load(); }
    bool isCurrentThread() const;
    std::thread::id threadId() const;
    // Result of exitInstance (or the WM_QUIT wParam) once finished.
    int exitCode() const { return m_exitCode.load(); }

    // Set (manual reset) once the thread has left its loop and exitInstance.
    Event& finishedEvent() { return *m_finished; }

protected:
    // On the new thread. False ends the thread at once (a failed start);
    // exitInstance still runs.
    virtual bool initInstance() { return true; }
    // Every message other than WM_QUIT, in posting order.
    virtual void onMessage(Message& msg) = 0;
    // On the new thread as it ends; the result becomes the exit code.
    virtual int exitInstance() { return m_exitCode.load(); }
    // With no message waiting, the thread sleeps up to idleWaitMs (INFINITE by
    // default) or until idleWakeEvent (none by default) is set, then calls
    // onIdle; a message or the stop event ends the sleep without it.
    virtual DWORD idleWaitMs() { return INFINITE; }
    virtual Event* idleWakeEvent() { return nullptr; }
    virtual void onIdle() {}

    MessageQueue& queue() { return m_queue; }
    const std::shared_ptr<Event>& stopEvent() const { return m_stopEvent; }

private:
    void run();
    bool waitWhileSuspended();

    MessageQueue m_queue;
    std::shared_ptr<Event> m_stopEvent;
    std::shared_ptr<Event> m_finished;

    mutable std::mutex m_suspendMutex; // leaf: guards the count
    std::condition_variable m_suspendCv;
    DWORD m_suspendCount = 0;

    // Guards m_thread against create/join/destroy racing. A failed start closes
    // the queue and sets m_finished under it (queue lock, then event lock).
    std::mutex m_threadMutex;
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<State> m_state{State::Created};
    std::atomic<bool> m_abandoned{false};
    std::atomic<int> m_exitCode{0};
};

} // namespace win
