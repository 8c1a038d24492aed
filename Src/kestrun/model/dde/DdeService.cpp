#include "kestrun/model/dde/DdeService.h"

#include <atomic>
#include <memory>
#include <utility>

#include "kestrun/model/dde/DdeBridge.h"
#include "platform/dde/BrisantToolkit.h"
#include "platform/win/DebugOutput.h"
#include "platform/win/Dispatcher.h"

namespace kestrun {

// Raised by the toolkit (under its lock, from the transport's thread) when a
// client operation waits: one task at a time is posted, which serves them all.
class DdeService::WorkPoster : public dde::Signal {
public:
    WorkPoster(win::Dispatcher& dispatcher, DWORD dwServerId)
        : m_dispatcher(dispatcher), m_pState(std::make_shared<State>())
    {
        m_pState->dwServerId = dwServerId;
    }
    // Application thread: a task still queued finds no server and does nothing.
    void Retire() { m_pState->dwServerId = 0; }

    void Raise() override
    {
        if (m_pState->bPosted.exchange(true))
            return;
        m_dispatcher.post([state = m_pState] {
            state->bPosted = false;
            if (state->dwServerId)
                dde::Toolkit::Process().ServeClients(state->dwServerId);
        });
    }

private:
    struct State {
        std::atomic<bool> bPosted{false};
        DWORD dwServerId = 0;   // read and cleared on the application thread only
    };
    win::Dispatcher& m_dispatcher;
    std::shared_ptr<State> m_pState;
};

DdeService::DdeService() = default;

DdeService::~DdeService() { Exit(); }

bool DdeService::Setup(BRISANTACTIONPROC callback, std::uintptr_t window, std::uintptr_t instance,
                       const char* commandLine, const std::string& service, dde::TransportOptions options,
                       win::Dispatcher* dispatcher)
{
    Exit();
    m_dwServerId = dde::BrisantSetupDDEServerInterface(window, instance, commandLine, callback);
    if (!m_dwServerId) {
        win::OutputDebugString("BrisantSetupDDEServerInterface() failed!\n");
        return false;
    }
    dde::BrisantSetTextFormats(m_dwServerId, 1, 1);
    dde::BrisantEnableSystemTopic(m_dwServerId, 1);
    dde::BrisantSetItemCase(m_dwServerId, 0);
    dde::BrisantEnableTopicList(m_dwServerId, 1);
    dde::BrisantEnableExecute(m_dwServerId, 1);
    dde::BrisantEnablePoke(m_dwServerId, 1);
    dde::BrisantEnableRequest(m_dwServerId, 1);
    dde::BrisantEnableAdvise(m_dwServerId, 1);
    dde::BrisantEnableBrowse(m_dwServerId, 1);

    if (dispatcher) {
        m_pWorkPoster = std::make_unique<WorkPoster>(*dispatcher, m_dwServerId);
        dde::Toolkit::Process().SetWorkSignal(m_pWorkPoster.get());
    }
    auto transport = std::make_unique<dde::Transport>(dde::Toolkit::Process(), m_dwServerId, service, std::move(options));
    std::string error;
    if (transport->Start(&error))
        m_pTransport = std::move(transport);
    else
        win::OutputDebugString("DDE transport not started: " + error + "\n");
    return true;
}

int DdeService::DoIdleProcessing()
{
    if (!m_dwServerId)
        return 0;
    dde::BrisantDoIdle(m_dwServerId);
    return 1;
}

void DdeService::Exit()
{
    if (!m_dwServerId)
        return;
    if (m_pWorkPoster) {
        // Never raised again once this returns; a task already posted finds no server.
        if (dde::Toolkit::Process().SetWorkSignal(nullptr) != m_pWorkPoster.get())
            win::OutputDebugString("DDE work signal replaced by another\n");
        m_pWorkPoster->Retire();
        m_pWorkPoster.reset();
    }
    dde::BrisantShutdownDDEServer(std::exchange(m_dwServerId, 0));
    if (m_pTransport) {
        m_pTransport->Stop();
        m_pTransport.reset();
    }
    if (DdeBridge* bridge = DdeBridge::Installed())
        bridge->OnToolkitExit();
}

} // namespace kestrun
