#pragma once
// A client write as a log line names it: "[device]item = value", the value as a
// DDE client would read it and long texts cut, so a write that never reached its
// PLC can be found in the log (which escapes control characters itself).
#include <string>

#include "platform/dde/BrisantTypes.h"

class CdsMemoryObject;

namespace kestrun {

std::string DescribeWrite(const CdsMemoryObject* pPoint, int nDataType, const _BRISANTDATAVALUE& value);

} // namespace kestrun
