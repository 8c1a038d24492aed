#pragma once
// Where a DDE server listens and the token a client must present: an endpoint
// file "<service>.dde" in the user's private runtime folder, readable by the
// owner alone. Any local user can reach a loopback port; only the owner can
// read the token.
//
// The file's text, one "key=value" line each:
//   service=Fenwold
//   port=40123
//   token=<64 lower-case hexadecimal digits>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace dde {

struct Endpoint {
    std::string service;
    std::uint16_t port = 0;
    std::string token;
    bool operator==(const Endpoint&) const = default;
};

// Letters, digits, '.', '_' and '-', 1 to 64 of them, not starting with '.'.
bool IsValidServiceName(std::string_view service);

// The runtime folder of the endpoint files ($XDG_RUNTIME_DIR/tessaro).
std::filesystem::path EndpointFolder();
std::filesystem::path EndpointPath(const std::filesystem::path& folder, std::string_view service);

std::string FormatEndpoint(const Endpoint& endpoint);
// None when a key is missing, the port is not 1..65535, the token is not 64
// hexadecimal digits or the service name is not valid.
std::optional<Endpoint> ParseEndpoint(std::string_view text);

// Writes the file (folder 0700, file 0600), replacing an older one at once.
bool WriteEndpointFile(const std::filesystem::path& folder, const Endpoint& endpoint, std::error_code& error);
// Reads a file that this user owns in a folder that this user owns; none for
// anything else.
std::optional<Endpoint> ReadEndpointFile(const std::filesystem::path& file);
// Removes the file, unless another server has written its own since.
void RemoveEndpointFile(const std::filesystem::path& file, std::string_view token);
// The services with an endpoint file in the folder, in name order.
std::vector<std::string> ListEndpointServices(const std::filesystem::path& folder);

// 32 random bytes as 64 lower-case hexadecimal digits; empty when the system
// has no randomness to give.
std::string NewToken();
// Compares in a time that does not depend on where the texts differ.
bool SameToken(std::string_view a, std::string_view b);

} // namespace dde
