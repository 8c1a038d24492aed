#pragma once
// The device as blocks and points see it. The device work fills this class in.
#include "platform/afx/Object.h"

namespace kestrun {
class HandlerLink;
}

class CdsDeviceObject : public CObject {
public:
    // The handler serving the device's port, or null.
    virtual kestrun::HandlerLink* GetDeviceHdlr() const { return nullptr; }
    // Command diagnostics: compare read-backs with the last write.
    virtual BOOL IsCommandDiagEnabled() const { return FALSE; }
};
