#pragma once
// The PLC an integration test talks to: the simulator on an ephemeral port, or the PLC
// that TESSARO_TEST_PLC=host:port names. With an outside PLC simulator() is null and
// tests skip only what needs to look inside the simulator. TESSARO_TEST_PLC_KINDS
// ("3e-binary,4e-ascii"; every kind when unset) names the frame kinds the PLC speaks.
//
// Every test that makes a TestPlc counts as a PLC test: at the end of the run the
// program prints how many of them ran and how many were skipped.
#include "support/plcsim/Protocol.h"
#include "support/plcsim/Server.h"

#include <cstdint>
#include <memory>
#include <string>

namespace plcsim {

class TestPlc {
public:
    explicit TestPlc(ServerOptions options = {});
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }
    Server* simulator() { return server_.get(); }

    // Whether the PLC speaks the frame kind in that code.
    bool speaks(FrameKind frame, bool ascii) const { return (kinds_ & kindBit(frame, ascii)) != 0; }

    // "host:port" -> parts; false when malformed.
    static bool parseAddress(const std::string& text, std::string& host, std::uint16_t& port);
    // "1e-binary,3e-ascii" -> a set of kindBit()s; false for an unknown or empty list.
    static bool parseKinds(const std::string& text, unsigned& kinds);
    static unsigned kindBit(FrameKind frame, bool ascii);

private:
    std::unique_ptr<Server> server_;
    std::string host_;
    std::uint16_t port_ = 0;
    unsigned kinds_ = 0;
    bool ok_ = false;
    std::string error_;
};

} // namespace plcsim
