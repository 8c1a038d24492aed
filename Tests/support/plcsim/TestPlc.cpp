#include "support/plcsim/TestPlc.h"

#include <cstdlib>

namespace plcsim {

bool TestPlc::parseAddress(const std::string& text, std::string& host, std::uint16_t& port)
{
    auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    unsigned long p = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        p = p * 10 + unsigned(text[i] - '0');
        if (p > 65535) return false;
    }
    if (p == 0) return false;
    host = text.substr(0, colon);
    port = std::uint16_t(p);
    return true;
}

TestPlc::TestPlc(ServerOptions options)
{
    if (const char* outside = std::getenv("TESSARO_TEST_PLC"); outside && *outside) {
        ok_ = parseAddress(outside, host_, port_);
        if (!ok_) error_ = std::string("TESSARO_TEST_PLC is not host:port: ") + outside;
        return;
    }
    server_ = std::make_unique<Server>(std::move(options));
    ok_ = server_->start(&error_);
    host_ = "127.0.0.1";
    port_ = server_->port();
}

} // namespace plcsim
