#pragma once
// Control of the service of the server's name: its state, start, stop, pause
// and continue. In service-helper mode the document hands its configuration to
// that service through a controller instead of polling itself. The controller
// is an interface; the user's systemd manager stands behind it
// (SystemdServiceController), and tests install a fake.
//
// Application thread only.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace shell {

// The states of a service, numbered as the service manager numbers them.
enum ServiceState : DWORD {
    SERVICE_STOPPED = 1,
    SERVICE_START_PENDING = 2,
    SERVICE_STOP_PENDING = 3,
    SERVICE_RUNNING = 4,
    SERVICE_CONTINUE_PENDING = 5,
    SERVICE_PAUSE_PENDING = 6,
    SERVICE_PAUSED = 7,
};

// Controls a service may accept.
enum ServiceAccept : DWORD {
    SERVICE_ACCEPT_STOP = 0x1,
    SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2,
};

class ServiceController {
public:
    enum class StartResult { Started, AlreadyRunning, Failed };

    virtual ~ServiceController() = default;

    const std::string& GetServiceName() const { return m_strName; }
    // Whether the service exists and was opened.
    virtual bool IsOpen() const = 0;
    // The service's state now (a ServiceState); false when it cannot be asked.
    virtual bool QueryState(DWORD& dwState) = 0;
    // Starts the service, handing it the arguments.
    virtual StartResult Start(const std::vector<std::string>& args) = 0;
    // Stops every running service that needs this one; false when one of them
    // could not be stopped (this one is then left alone).
    virtual bool StopDependents() = 0;
    virtual bool Stop() = 0;
    virtual bool Pause() = 0;
    virtual bool Continue() = 0;

    // Whether the service accepted the control (1, 2, 4 ... 2048) when it was opened.
    bool IsControlAccepted(DWORD dwControl) const;

    // The words of the service manager's values; "Unknown" for a state, empty
    // for the others, when the value is none of theirs.
    static const char* StateText(DWORD dwState);
    static const char* StartTypeText(DWORD dwType);
    static const char* ErrorControlText(DWORD dwControl);
    static const char* ServiceTypeText(DWORD dwType);

protected:
    explicit ServiceController(std::string strName);
    void SetControlAccepted(DWORD dwControl, bool bAccepted);

private:
    std::string m_strName;
    std::map<DWORD, bool> m_accepted; // each of the twelve accept bits
};

// Opens a controller for the service name; never null (a service that does
// not exist gives a controller that is not open).
using ServiceControllerFactory = std::function<std::unique_ptr<ServiceController>(const std::string& strName)>;

// The factory in use; an empty one goes back to systemd. Returns the previous one.
ServiceControllerFactory InstallServiceControllerFactory(ServiceControllerFactory factory);
std::unique_ptr<ServiceController> OpenServiceController(const std::string& strName);

} // namespace shell
