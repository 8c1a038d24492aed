#pragma once

#include <filesystem>

namespace support {

// The project's source folder, for tests that read shipped files (Tools/...).
// Fixed at configure time: __FILE__ can be a path relative to the build folder
// (compiler caches rewrite it), which the test's working folder does not share.
std::filesystem::path SourceTree();

} // namespace support
