#include "platform/opc/server/ServerLimits.h"

#include "platform/win/VersionInfo.h"

namespace opc {

ServerVersion programVersion()
{
    return ServerVersion{WORD(win::version::kMajor), WORD(win::version::kMinor), WORD(win::version::kBuild)};
}

} // namespace opc
