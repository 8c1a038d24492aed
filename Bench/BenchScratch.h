#pragma once
// What a bench that starts the programs needs around them: registry, data and
// runtime folders of its own (never the user's), and the PLC simulator on a free port.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "support/PlcsimProgram.h"

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
    const int port = testsupport::StartPlcsim(sim, env);
    if (port == 0)
        std::fprintf(stderr, "plcsim did not start: %s\n", sim.Output().c_str());
    return port;
}

} // namespace bench
