#include "support/SourceTree.h"

namespace support {

std::filesystem::path SourceTree()
{
    return std::filesystem::path(TESSARO_SOURCE_DIR);
}

} // namespace support
