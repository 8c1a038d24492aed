#include "kestrun/Kestrun.h"

namespace kestrun {
bool InitKestrunDLL()
{
    return true;
}
} // namespace kestrun
