#pragma once
// The DDE side of a server program as its application drives it: the
// toolkit's server set up with the bridge's callback and options, the
// transport that lets other processes in, the idle time, and the exit.
//
// Threads: every call on the application thread, and never from inside a
// toolkit callback (the exit frees what a running pass may still use).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/dde/BrisantTypes.h"
#include "platform/dde/Transport.h"

namespace win {
class Dispatcher;
}

namespace kestrun {

class DdeService {
public:
    DdeService();
    ~DdeService();
    DdeService(const DdeService&) = delete;
    DdeService& operator=(const DdeService&) = delete;

    // The setup entry with the callback, then the nine option entries in their
    // order, then the transport for the service name. False when the toolkit
    // refuses (a debugger line says so); a transport that cannot start is only
    // reported there, and the server runs without clients from other processes.
    // With a dispatcher, a client's request, poke or execute is carried out as
    // soon as it arrives, by a task posted to the application thread; without
    // one it waits for the next idle call.
    bool Setup(BRISANTACTIONPROC callback, std::uintptr_t window, std::uintptr_t instance, const char* commandLine,
               const std::string& service, dde::TransportOptions options = {}, win::Dispatcher* dispatcher = nullptr);
    // The toolkit's server id; 0 while no DDE server runs.
    DWORD GetServerId() const { return m_dwServerId; }
    dde::Transport* GetTransport() const { return m_pTransport.get(); }

    // The toolkit's idle work, from the data view's client-update timer; 0 when
    // no DDE server runs, else 1.
    int DoIdleProcessing();

    // The shutdown entry (clients get their close notices), then the transport
    // stops and the installed bridge frees its records.
    void Exit();

private:
    class WorkPoster;

    DWORD m_dwServerId = 0;
    std::unique_ptr<dde::Transport> m_pTransport;
    std::unique_ptr<WorkPoster> m_pWorkPoster;
};

} // namespace kestrun
