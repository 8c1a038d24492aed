#pragma once
// What a connection knows about finding servers: the document keeps it, the address
// browser's server bar uses it.
#include "platform/opc/client/Activation.h"

#include <string>
#include <utility>
#include <vector>

struct CBrowseSetup {
    std::vector<std::pair<std::string, CLSID>> servers;  // ProgID and class of the known servers
    bool dcom = false;                                    // other nodes can be reached
    opc::ActivationOptions activation;
};
