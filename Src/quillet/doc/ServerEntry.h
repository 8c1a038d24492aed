#pragma once
// An OPC server registered on this machine: the application lists them, the
// server-select form offers them.
#include "platform/com/Guid.h"

#include <string>

struct CServerEntry {
    std::string progId;
    CLSID clsid{};
    DWORD hidden = 0;
};
