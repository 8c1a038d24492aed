#pragma once
// What one client may hold of a server, and the version a server reports. A request over
// a limit is refused with E_OUTOFMEMORY (for items, per item), so one client that opens
// connections or adds groups in a loop runs out before the server does.
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <cstdint>

namespace opc {

struct ServerLimits {
    // Connections with an activated server object at once, local and remote together.
    std::size_t connections = 64;
    // Connections still to activate are held apart from those: when more wait, the oldest
    // is closed, so idle peers cannot take a client's place.
    std::size_t pendingConnections = 64;
    // Per client (one server object).
    std::size_t groups = 1000;
    std::size_t items = 200000;
    std::size_t pendingTransactions = 1000;
    std::size_t shutdownSinks = 16;
    // Objects one connection holds for its client: server, groups, enumerated groups.
    std::size_t objectsPerConnection = 10000;
    // A frame that has begun must be complete within this (monotonic ms).
    std::uint64_t frameTimeoutMs = 10000;
    // A connection whose client has not activated a server object within this of being
    // accepted is closed; 0: never. Activated
    // connections are not timed, however idle.
    std::uint64_t activationTimeoutMs = 10000;
};

// The server program's version, as its status reports it.
struct ServerVersion {
    WORD major = 0;
    WORD minor = 0;
    WORD build = 0;
};

// The version of this program (its version resource).
ServerVersion programVersion();

} // namespace opc
