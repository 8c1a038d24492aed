#pragma once
// The PLC an integration test talks to: the simulator on an ephemeral port, or the PLC
// that TESSARO_TEST_PLC=host:port names. With an outside PLC simulator() is null and
// tests skip only what needs to look inside the simulator.
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

    // "host:port" -> parts; false when malformed.
    static bool parseAddress(const std::string& text, std::string& host, std::uint16_t& port);

private:
    std::unique_ptr<Server> server_;
    std::string host_;
    std::uint16_t port_ = 0;
    bool ok_ = false;
    std::string error_;
};

} // namespace plcsim
