#pragma once
// The PLC simulator as a program of its own (so it can be stopped and continued
// apart from the test): started on a free port of 127.0.0.1.
#include <map>
#include <string>
#include <vector>

#include "support/ServerProcess.h"

namespace testsupport {

// Starts it with `args` after the port; the port it took, or 0 when it did not
// come up within 10 s (its output says why).
inline int StartPlcsim(ServerProcess& sim, const std::map<std::string, std::string>& env,
                       std::vector<std::string> args = {})
{
    const std::string listening = "plcsim listening on 127.0.0.1:";
    args.insert(args.begin(), {"--port", "0"});
    if (!sim.Start(args, env) || !sim.WaitFor(listening, 10000))
        return 0;
    return std::stoi(sim.Output().substr(sim.Output().find(listening) + listening.size()));
}

} // namespace testsupport
