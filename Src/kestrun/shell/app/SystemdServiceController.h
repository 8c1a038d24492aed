#pragma once
// The service of the server's name as a unit of the user's systemd manager,
// controlled with "systemctl --user": "<name>.service" (a name with a dot is
// taken as the unit's full name). Pause and continue freeze and thaw the unit.
// The arguments of a start reach the unit through the manager's environment
// as TESSARO_DOCUMENT_<name> (letters and digits kept, others "_"), which the
// unit's command line names; a stop removes it again.
#include <functional>
#include <string>
#include <vector>

#include "kestrun/shell/app/ServiceController.h"
#include "platform/win/Clock.h"

namespace shell {

class SystemdServiceController final : public ServiceController {
public:
    // Runs systemctl with the arguments (without the program's name), its
    // standard output into out; the exit status, or -1 when it did not run.
    using CommandRunner = std::function<int(const std::vector<std::string>& args, std::string& out)>;

    // Asks the manager for the unit; open when the unit is known to it.
    explicit SystemdServiceController(const std::string& strName, CommandRunner runner = RunSystemctl);

    bool IsOpen() const override { return m_bOpen; }
    bool QueryState(DWORD& dwState) override;
    StartResult Start(const std::vector<std::string>& args) override;
    bool StopDependents() override;
    bool Stop() override;
    bool Pause() override;
    bool Continue() override;

    const std::string& GetUnitName() const { return m_strUnit; }
    // The environment variable that carries the first start argument.
    const std::string& GetDocumentVariable() const { return m_strVariable; }
    // The state of "systemctl show" properties (ActiveState, FreezerState).
    static DWORD StateOf(const std::string& strActive, const std::string& strFreezer);

    static int RunSystemctl(const std::vector<std::string>& args, std::string& out);

    // How long a dependent unit may take to stop before StopDependents gives up.
    static constexpr std::uint64_t kDependentStopMs = 30000;
    static constexpr unsigned kDependentPollMs = 1000;
    // For tests: the clock the bound is measured on and the pause between two
    // looks at a stopping unit (the system's clock and a sleep by default).
    void SetWaiting(const win::Clock& clock, std::function<void(unsigned ms)> pause)
    {
        m_pClock = &clock;
        m_pause = std::move(pause);
    }

private:
    // The properties' values in the order asked; false when systemctl failed.
    bool Show(const std::vector<std::string>& names, std::vector<std::string>& values, const std::string& unit);
    bool Control(const char* verb, const std::string& unit);
    // Stops one unit without waiting on the manager, then looks until it is
    // stopped; false past kDependentStopMs or when the manager cannot be asked.
    bool StopWithin(const std::string& unit);

    CommandRunner m_run;
    std::string m_strUnit;
    std::string m_strVariable;
    bool m_bOpen = false;
    const win::Clock* m_pClock = &win::SystemClock::instance();
    std::function<void(unsigned ms)> m_pause;
};

} // namespace shell
