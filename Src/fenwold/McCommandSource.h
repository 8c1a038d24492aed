#pragma once
// A point that builds its own write request for a value: the MELSEC handler asks it
// before the framework's write cycle sends the line's command buffer.
#include <string>

#include "platform/dde/BrisantTypes.h"
#include "platform/win/WinTypes.h"

class McCommandSource {
public:
    virtual ~McCommandSource() = default;
    // Builds the request for the value in the command buffer of the line slot
    // (0..3); null when the point cannot be written.
    virtual char* GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bRebuild) = 0;
    // Why no request can be built for the point whatever its value ("Double values
    // cannot be written to this PLC"); empty when one can, or when it cannot tell
    // (no station yet). Touches no line's buffer: any thread may ask.
    virtual std::string McWriteRefusal() const { return {}; }
};
