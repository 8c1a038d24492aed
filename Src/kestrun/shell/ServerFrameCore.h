#pragma once
// The main window's table of communication handlers (one per port, at most 99)
// and the two ways the data timer drives their lines: a tick posted to every
// idle line thread or, in timer mode, a step of the next handler on the
// application thread.
#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "kestrun/comm/CommHdlr.h"
#include "kestrun/model/DeviceHandler.h"
#include "platform/win/Dispatcher.h"

class CdsMessageThread;

class CdsServerFrameCore : public kestrun::HandlerTable {
public:
    static constexpr int kMaxCommHdlrs = 99;

    CdsServerFrameCore();
    ~CdsServerFrameCore() override;
    CdsServerFrameCore(const CdsServerFrameCore&) = delete;
    CdsServerFrameCore& operator=(const CdsServerFrameCore&) = delete;

    // Dispatcher, log and data windows and clock handed to every new handler.
    void SetHost(const CommHost& host) { m_host = host; }
    const CommHost& GetHost() const { return m_host; }

    // The protocol handler of a port; the base makes none.
    virtual std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD dwPortHandle);

    void InitPorts();
    // Null when the port already has a handler or every slot is taken.
    CdsCommHdlr* CreateCommHdlr(DWORD dwPortHandle) override;
    void DestroyCommHdlr(DWORD dwPortHandle);
    CdsCommHdlr* GetCommHdlrByHandle(DWORD dwPortHandle) override;
    CdsCommHdlr* GetCommHdlrByIndex(int nIndex) const;
    static int GetMaxCommHdlrIndex() { return kMaxCommHdlrs; }
    // Silences every handler's reports first, then stops and frees them all.
    void ExitPorts();

    // The line threads of every handler now. Application thread.
    std::vector<std::shared_ptr<CdsMessageThread>> GetLineThreads() const;

    void SendTimerMsgToThreads(ULONG nLoopCount);
    void SendResetMsgToThreads();
    void UpdateNextDevice();
    void UpdateAllDevices();

private:
    // Lines in the order ticks reach them.
    static constexpr std::array<int, LINE_COUNT> kTickOrder = {LINE_PRIMARY_MASTER, LINE_PRIMARY_BACKUP,
                                                               LINE_SECONDARY_MASTER, LINE_SECONDARY_BACKUP};
    // Runs fn(handler, line) for each line there is, in tick order: of one handler, or of all.
    template <typename Fn>
    static void ForEachLine(CdsCommHdlr* pHdlr, Fn&& fn);
    template <typename Fn>
    void ForEachLine(Fn&& fn);

    mutable std::mutex m_mutex; // guards the slots against look-ups from other threads
    std::array<std::shared_ptr<CdsCommHdlr>, kMaxCommHdlrs> m_slots;
    int m_nNextHdlr = 0;
    CommHost m_host;
};
