#pragma once
// What a bench that starts the programs needs around them: registry, data and
// runtime folders of its own (never the user's), and the PLC simulator on a free port.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "support/ServerProcess.h"

namespace bench {

class ScratchRun {
public:
    explicit ScratchRun(const std::string& name)
        : m_dir(std::filesystem::temp_directory_path() / ("tessaro_bench_" + name + "_" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(m_dir / "run");
        std::filesystem::permissions(m_dir / "run", std::filesystem::perms::owner_all);
        m_env = {{"TESSARO_REGISTRY", (m_dir / "reg").string()},
                 {"TESSARO_DATA", (m_dir / "data").string()},
                 {"XDG_RUNTIME_DIR", (m_dir / "run").string()},
                 {"LANG", "C"}};
    }
    ~ScratchRun()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    ScratchRun(const ScratchRun&) = delete;
    ScratchRun& operator=(const ScratchRun&) = delete;

    const std::filesystem::path& Dir() const { return m_dir; }
    const std::map<std::string, std::string>& Env() const { return m_env; }

private:
    std::filesystem::path m_dir;
    std::map<std::string, std::string> m_env;
};

// Starts the simulator on a free port; the port, or 0 with the reason on stderr.
inline int StartPlcsim(testsupport::ServerProcess& sim, const std::map<std::string, std::string>& env)
{
    const std::string listening = "plcsim listening on 127.0.0.1:";
    if (!sim.Start({"--port", "0"}, env) || !sim.WaitFor(listening, 10000)) {
        std::fprintf(stderr, "plcsim did not start: %s\n", sim.Output().c_str());
        return 0;
    }
    return std::stoi(sim.Output().substr(sim.Output().find(listening) + listening.size()));
}

} // namespace bench
