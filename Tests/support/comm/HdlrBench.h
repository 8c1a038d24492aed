#pragma once
// A handler under test with its surroundings: waits on a fake clock, messages
// through a manual dispatcher, reports into a recording log.
#include <cstdint>

#include <gtest/gtest.h>

#include "kestrun/comm/handler/CommHdlr.h"
#include "platform/win/Clock.h"
#include "platform/win/ManualDispatcher.h"
#include "support/comm/ScriptedTransport.h"

namespace kestrun::test {

// The host a test hands a handler; without a log the handler shows no reports.
inline CommHost TestHost(win::FakeClock& clock, win::Dispatcher& dispatcher, const RecordingLog* log = nullptr)
{
    CommHost host;
    host.pClock = &clock;
    host.pDispatcher = &dispatcher;
    if (log)
        host.logWindow = log->Key();
    return host;
}

// A fixture around a handler built on the clock (Hdlr(win::FakeClock&)) and hooked
// up to the host. The members go in the order they depend on each other: the
// handler is built last and goes first.
template <class Hdlr>
class HdlrBench : public ::testing::Test {
protected:
    explicit HdlrBench(std::uint64_t startMs = 0) : clock(startMs), dispatcher(clock), log(dispatcher), hdlr(clock)
    {
        hdlr.SetHost(TestHost(clock, dispatcher, &log));
    }

    win::FakeClock clock;
    win::ManualDispatcher dispatcher;
    RecordingLog log;
    Hdlr hdlr;
};

} // namespace kestrun::test
