#pragma once
// The main window's table of communication handlers (one per port, at most 99)
// and the two ways the data timer drives their lines: a tick posted to every
// idle line thread or, in timer mode, a step of the next handler on the
// application thread.
#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "kestrun/comm/handler/CommHdlr.h"
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
    // Null when the port already has a handler or every slot is taken. A spent
    // handler (a line left behind, no device) gives up its slot: it is kept,
    // unserved, until its stuck lines have ended.
    CdsCommHdlr* CreateCommHdlr(DWORD dwPortHandle) override;
    void DestroyCommHdlr(DWORD dwPortHandle);
    // A spent handler is not found: its port gets a new one.
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

    // Takes out the spent handlers whose left-behind lines have ended, for the
    // caller to free after letting go of m_mutex. Caller holds m_mutex.
    std::vector<std::shared_ptr<CdsCommHdlr>> TakeEndedSpentLocked();

    // Guards the slots and the spent list against look-ups from other threads;
    // a handler's m_devicesMutex may be taken under it.
    mutable std::mutex m_mutex;
    std::array<std::shared_ptr<CdsCommHdlr>, kMaxCommHdlrs> m_slots;
    // Handlers replaced while a line of theirs still runs; that line keeps its
    // own reference, so a handler here with no other owner has ended.
    std::vector<std::shared_ptr<CdsCommHdlr>> m_spent;
    int m_nNextHdlr = 0;
    CommHost m_host;
};
