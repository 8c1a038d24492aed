#include "kestrun/model/DdeService.h"

#include <utility>

#include "kestrun/model/DdeBridge.h"
#include "platform/dde/BrisantToolkit.h"
#include "platform/win/DebugOutput.h"

namespace kestrun {

DdeService::~DdeService() { Exit(); }

bool DdeService::Setup(BRISANTACTIONPROC callback, std::uintptr_t window, std::uintptr_t instance,
                       const char* commandLine, const std::string& service, dde::TransportOptions options)
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
    dde::BrisantShutdownDDEServer(std::exchange(m_dwServerId, 0));
    if (m_pTransport) {
        m_pTransport->Stop();
        m_pTransport.reset();
    }
    if (DdeBridge* bridge = DdeBridge::Installed())
        bridge->OnToolkitExit();
}

} // namespace kestrun
