#include "support/plcsim/TestPlc.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace plcsim {
namespace {

constexpr struct {
    const char* name;
    FrameKind frame;
    bool ascii;
} kKindNames[] = {
    {"1e-binary", FrameKind::E1, false}, {"1e-ascii", FrameKind::E1, true},
    {"3e-binary", FrameKind::E3, false}, {"3e-ascii", FrameKind::E3, true},
    {"4e-binary", FrameKind::E4, false}, {"4e-ascii", FrameKind::E4, true},
};

// Counts the tests that made a TestPlc, and says at the end of the run how many of
// them ran and how many were skipped.
class PlcTally : public testing::EmptyTestEventListener {
public:
    static PlcTally& instance()
    {
        // Owned by gtest's listener list once appended.
        static PlcTally* tally = [] {
            auto* t = new PlcTally;
            testing::UnitTest::GetInstance()->listeners().Append(t);
            return t;
        }();
        return *tally;
    }

    void markCurrentTest() { current_ = true; }

    void OnTestStart(const testing::TestInfo&) override { current_ = false; }
    void OnTestEnd(const testing::TestInfo& info) override
    {
        if (!current_)
            return;
        ++(info.result()->Skipped() ? skipped_ : ran_);
        current_ = false;
    }
    void OnTestProgramEnd(const testing::UnitTest&) override
    {
        if (ran_ + skipped_ == 0)
            return;
        const char* outside = std::getenv("TESSARO_TEST_PLC");
        const char* kinds = std::getenv("TESSARO_TEST_PLC_KINDS");
        std::printf("PLC tests against %s%s%s: %d ran, %d skipped\n",
                    outside && *outside ? outside : "the simulator", kinds && *kinds ? " speaking " : "",
                    kinds && *kinds ? kinds : "", ran_, skipped_);
        std::fflush(stdout);
    }

private:
    bool current_ = false;
    int ran_ = 0;
    int skipped_ = 0;
};

// The tally listens from the start of the run in every program that has PLC tests.
[[maybe_unused]] const bool kTallyListens = (PlcTally::instance(), true);

} // namespace

unsigned TestPlc::kindBit(FrameKind frame, bool ascii)
{
    const unsigned index = frame == FrameKind::E1 ? 0 : frame == FrameKind::E3 ? 2 : frame == FrameKind::E4 ? 4 : 6;
    return 1u << (index + (ascii ? 1 : 0));
}

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

bool TestPlc::parseKinds(const std::string& text, unsigned& kinds)
{
    kinds = 0;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::string name = text.substr(at, comma - at);
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        while (!name.empty() && name.front() == ' ') name.erase(name.begin());
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (!name.empty()) {
            bool known = false;
            for (const auto& k : kKindNames) {
                if (name == k.name) {
                    kinds |= kindBit(k.frame, k.ascii);
                    known = true;
                }
            }
            if (!known) return false;
        }
        at = comma + 1;
    }
    return kinds != 0;
}

TestPlc::TestPlc(ServerOptions options)
{
    PlcTally::instance().markCurrentTest();
    kinds_ = 0;
    for (const auto& k : kKindNames) kinds_ |= kindBit(k.frame, k.ascii);
    if (const char* listed = std::getenv("TESSARO_TEST_PLC_KINDS"); listed && *listed) {
        if (!parseKinds(listed, kinds_)) {
            error_ = std::string("TESSARO_TEST_PLC_KINDS names no frame kinds it knows (1e-binary ... 4e-ascii): ") +
                     listed;
            return;
        }
    }
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
