#pragma once
// What the shell creates for itself (folders, log files) is owner-only and
// never handed to started programs: a log or a configuration is nobody else's.
#include <sys/types.h>

struct SecurityAttributes {
    mode_t folderMode = 0700;
    mode_t fileMode = 0600;
    bool inheritHandles = false;
};

inline const SecurityAttributes& GetDefaultSecurity()
{
    static const SecurityAttributes attributes;
    return attributes;
}
