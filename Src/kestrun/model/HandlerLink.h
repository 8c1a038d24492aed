#pragma once
// What data points need of a communication handler: its write queue, the
// command-diagnostics window and the road of view hints to the user interface.
#include <memory>
#include <string>

#include "platform/win/WinTypes.h"

class CdsDeviceObject;
class CdsEventQueue;
class CdsHint;
struct tagTHREADINFO;

namespace kestrun {

class HandlerLink {
public:
    virtual ~HandlerLink() = default;
    virtual std::shared_ptr<CdsEventQueue> GetEventQueue() = 0;
    // Whether a write sent at that time (seconds) is still within the device's validate time.
    virtual BOOL IsTimeWithinCommandDiag(CdsDeviceObject* pDevice, LONGLONG tLastCommand) = 0;
    // Delivers a view hint; the record may live on the caller's stack.
    virtual void SendUpdateMessageFromThread(int nCode, CdsHint* pHint) = 0;
    // Why the device refused the write it just answered on the line (its end code
    // and text); the write cycle logs it with the item and value. False when the
    // handler does not take it: the caller then logs it itself.
    virtual bool SetWriteRefusal(const tagTHREADINFO* /*pLine*/, const std::string& /*reason*/) { return false; }
};

} // namespace kestrun
