#pragma once
// What data points need of a communication handler: its write queue, the
// command-diagnostics window and the road of view hints to the user interface.
#include <memory>

#include "platform/win/WinTypes.h"

class CdsDeviceObject;
class CdsEventQueue;
class CdsHint;

namespace kestrun {

class HandlerLink {
public:
    virtual ~HandlerLink() = default;
    virtual std::shared_ptr<CdsEventQueue> GetEventQueue() = 0;
    // Whether a write sent at that time (seconds) is still within the device's validate time.
    virtual BOOL IsTimeWithinCommandDiag(CdsDeviceObject* pDevice, LONGLONG tLastCommand) = 0;
    // Delivers a view hint; the record may live on the caller's stack.
    virtual void SendUpdateMessageFromThread(int nCode, CdsHint* pHint) = 0;
};

} // namespace kestrun
