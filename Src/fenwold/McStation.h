#pragma once
// The MC-protocol facts of one PLC station: its frame kind, code and 4E serial
// counters. The server's device carries them; its blocks and the handler read them.
#include <string>
#include <string_view>

#include "fenwold/McFrame.h"
#include "fenwold/McSerialCounters.h"
#include "platform/win/WinTypes.h"

class McStation {
public:
    virtual ~McStation() = default;

    // Frame settings from the device's configuration: device types 1..5 (3 and 4 are
    // QnA PLCs), the protocol string (upper-cased in place; "ASCII" selects ASCII
    // code, a last digit the frame number, 3 giving 3E). Every call starts afresh,
    // so a changed configuration takes effect. False for another device type.
    bool ConfigureFrame(LONG deviceType, std::string& protocol);

    McFrameKind GetFrameKind() const;
    bool IsAscii() const { return !m_bBinary; }
    bool IsQnA() const { return m_bQnA; }
    LONG GetFrameNumber() const { return m_nFrameNumber; }

    // The station's address as a request needs it: route (3E/4E) or PC number (1E).
    McTarget MakeTarget(std::string_view address) const;
    // Address string of the station (the device's configuration).
    virtual std::string_view GetStationAddress() const = 0;
    McTarget GetTarget() const { return MakeTarget(GetStationAddress()); }

    McSerialCounters& GetSerialCounters() { return m_serials; }

    // Copies the frame settings, not the counters.
    void CopyFrameSettings(const McStation& src);

protected:
    LONG m_nFrameNumber = -1;
    bool m_bQnA = false;
    bool m_bBinary = true;
    McSerialCounters m_serials;
};
