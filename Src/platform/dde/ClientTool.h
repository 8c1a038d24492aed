#pragma once
// The command-line DDE client (tessaro-dde): lists topics, requests, pokes,
// advises and executes through dde::Client. Output lines are tab-separated
// fields with the transport's escapes.
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace dde {

enum ToolExit : int {
    kToolOk = 0,
    kToolNack = 1,       // the server refused: topic, item, poke or command
    kToolUsage = 2,
    kToolNoServer = 3,   // no server found, or the token was not taken
    kToolFailed = 4,     // no answer in time, connection lost, protocol error, output failed
};

// args without the program name; folder of the endpoint files (empty: the runtime folder).
int RunClientTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::filesystem::path& folder = {});

} // namespace dde
