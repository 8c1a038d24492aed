#pragma once
// The worker thread of one handler line: every tick makes one single step,
// ticks that arrive while a step runs are dropped, and a stop message or the
// handler's stop event ends it. It keeps its handler, line record and port
// alive until it ends, so an abandoned thread never reaches freed memory.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/win/MessageThread.h"

class CdsCommHdlr;
struct tagTHREADINFO;

class CdsMessageThread : public win::MessageThread {
public:
    // Keeps the handler alive when it is held by a std::shared_ptr.
    CdsMessageThread(CdsCommHdlr& hdlr, std::shared_ptr<tagTHREADINFO> pLine, std::shared_ptr<win::Event> stopEvent);

    tagTHREADINFO* GetLine() const { return m_pLine.get(); }
    // The loop count after the last completed step.
    ULONG GetLastLoopCount() const { return m_nLastLoopCount.load(); }

protected:
    bool initInstance() override;
    void onMessage(win::Message& msg) override;
    int exitInstance() override;
    // The line steps by itself once per data update time, and takes a queued
    // write as soon as it is woken for it.
    DWORD idleWaitMs() override;
    win::Event* idleWakeEvent() override;
    void onIdle() override;

private:
    void OnSingleStep();
    static std::uint64_t StepPeriodMs();

    std::shared_ptr<CdsCommHdlr> m_pKeepHdlr; // keeps a shared handler alive
    CdsCommHdlr* m_pHdlr;
    std::shared_ptr<tagTHREADINFO> m_pLine;
    std::atomic<ULONG> m_nLastLoopCount{0};
    std::uint64_t m_nNextStepMs = 0; // the line's own thread only: when its next step is due
};
