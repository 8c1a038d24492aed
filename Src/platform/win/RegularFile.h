#pragma once
// Opening a document file without trusting its name: a named pipe would wait
// for a writer for ever, a device such as /dev/zero never ends, and a file of
// gigabytes is no configuration. Only a regular file of a sane size is kept.
#include <cstdint>
#include <string>

namespace win {

// Larger than any configuration or set-up file a plant has.
inline constexpr std::uint64_t kMaxDocumentBytes = 64ull * 1024 * 1024;

struct RegularFile {
    int fd = -1;             // open (close-on-exec, blocking again) or -1
    std::uint64_t size = 0;
    int error = 0;           // errno when the open itself failed
    std::string reason;      // why it was refused, empty when it was not
};

// Opens the path with the flags (O_RDONLY, O_WRONLY...) without waiting for a
// writer or a device, and keeps it only when it is a regular file of at most
// maxBytes, and not empty unless allowEmpty. The reason reads after "name: ":
// "a named pipe, not a file", "too large (N bytes, at most M)", "empty", or
// the system's text for the error.
RegularFile OpenRegularFile(const std::string& path, int flags, std::uint64_t maxBytes = kMaxDocumentBytes,
                            bool allowEmpty = true);

} // namespace win
