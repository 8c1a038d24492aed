#pragma once
// The six frame kinds as a MELSEC device's configuration selects them, for tests that
// run in every kind against the simulated PLC or an outside one.
#include "platform/win/WinTypes.h"
#include "support/plcsim/Protocol.h"

namespace fenwoldtest {

struct PlcKind {
    const char* name;
    LONG deviceType;
    const char* protocol;
    const char* address;
    plcsim::FrameKind frame;
    bool ascii;
    int region;  // the PLC memory the tests of this kind keep to, see PlcLink::Region
};

inline constexpr PlcKind kPlcKinds[] = {
    {"E1Binary", 1, "MC", "255", plcsim::FrameKind::E1, false, 0},
    {"E1Ascii", 2, "ASCII", "255", plcsim::FrameKind::E1, true, 1},
    {"E3Binary", 4, "MC3", "", plcsim::FrameKind::E3, false, 2},
    {"E3Ascii", 4, "ASCII 3", "", plcsim::FrameKind::E3, true, 3},
    {"E4Binary", 3, "MC4", "", plcsim::FrameKind::E4, false, 4},
    {"E4Ascii", 3, "ASCII", "", plcsim::FrameKind::E4, true, 5},
};

// The region of PLC memory the end-to-end bridge test keeps to.
inline constexpr int kBridgeRegion = 6;
// The region the tests of the fenwold program keep to.
inline constexpr int kProgramRegion = 7;

}  // namespace fenwoldtest
