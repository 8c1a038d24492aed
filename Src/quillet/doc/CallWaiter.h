#pragma once
// How the test client waits for a server's answer, as its message filter would: on the
// application thread the windows keep painting while nothing else of the program runs
// (no input, timers or callbacks reach the documents in the middle of a command); after
// a moment they show that the call waits and let the user cancel it; each time the
// pending time-out passes the user chooses to wait again or to cancel (a box that is not
// answered by a person gives its default, Cancel). A quit requested of the dispatcher (a
// signal) cancels the call at once. Calls of other threads wait as before.
//
// Threads: the transport calls it on the thread that makes the call; it acts only when
// that is the application thread. Ownership: one per connection, shared with its
// client; the dispatcher, the windows and the texts outlive it.
#include "platform/opc/client/RpcClient.h"

#include <chrono>
#include <string>

namespace win { class Dispatcher; }
namespace quillet {
class StringTable;
class UiServices;
} // namespace quillet

class CCallWaiter final : public opc::CallWaiter {
public:
    // How long a call waits before the windows show it.
    static constexpr std::uint64_t kShowAfterMs = 300;

    CCallWaiter(win::Dispatcher& dispatcher, quillet::UiServices& ui, const quillet::StringTable& texts,
                std::string server, std::chrono::milliseconds pendingTimeout);

    bool Serves() const override;
    bool Waiting(std::uint64_t waitedMs) override;
    bool WaitAgain() override;
    void Done() override;

private:
    void Begin();

    win::Dispatcher& m_dispatcher;
    quillet::UiServices& m_ui;
    const quillet::StringTable& m_texts;
    std::string m_server;
    std::chrono::milliseconds m_pendingTimeout;
    bool m_holding = false;  // the dispatcher is held for the call that waits
};
