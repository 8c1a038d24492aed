#pragma once
// A point that builds its own write request for a value: the MELSEC handler asks it
// before the framework's write cycle sends the line's command buffer.
#include "platform/dde/BrisantTypes.h"
#include "platform/win/WinTypes.h"

class McCommandSource {
public:
    virtual ~McCommandSource() = default;
    // Builds the request for the value in the command buffer of the line slot
    // (0..3); null when the point cannot be written.
    virtual char* GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bRebuild) = 0;
};
