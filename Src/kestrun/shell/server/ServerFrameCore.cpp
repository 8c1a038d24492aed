#include "kestrun/shell/server/ServerFrameCore.h"

#include "kestrun/comm/handler/MessageThread.h"

CdsServerFrameCore::CdsServerFrameCore() = default;

CdsServerFrameCore::~CdsServerFrameCore() { ExitPorts(); }

std::shared_ptr<CdsCommHdlr> CdsServerFrameCore::NewCommHdlr(DWORD) { return nullptr; }

void CdsServerFrameCore::InitPorts()
{
    std::lock_guard lock(m_mutex);
    for (auto& slot : m_slots)
        slot.reset();
    m_nNextHdlr = 0;
}

CdsCommHdlr* CdsServerFrameCore::CreateCommHdlr(DWORD dwPortHandle)
{
    if (GetCommHdlrByHandle(dwPortHandle))
        return nullptr;
    std::vector<std::shared_ptr<CdsCommHdlr>> ended;
    CdsCommHdlr* pCreated = nullptr;
    {
        std::lock_guard lock(m_mutex);
        ended = TakeEndedSpentLocked();
        for (auto& slot : m_slots) {
            if (slot && slot->IsSpent())
                m_spent.push_back(std::move(slot));
        }
        for (auto& slot : m_slots) {
            if (slot)
                continue;
            slot = NewCommHdlr(dwPortHandle);
            if (slot) {
                slot->SetHost(m_host);
                slot->SetPortHandle(dwPortHandle);
                slot->SetEventQueue(slot->CreateEventQueue());
            }
            pCreated = slot.get();
            break;
        }
    }
    for (auto& pHdlr : ended)
        pHdlr->Destroy();
    return pCreated;
}

std::vector<std::shared_ptr<CdsCommHdlr>> CdsServerFrameCore::TakeEndedSpentLocked()
{
    std::vector<std::shared_ptr<CdsCommHdlr>> ended;
    std::erase_if(m_spent, [&ended](std::shared_ptr<CdsCommHdlr>& pHdlr) {
        if (pHdlr.use_count() > 1)
            return false;
        ended.push_back(std::move(pHdlr));
        return true;
    });
    return ended;
}

void CdsServerFrameCore::DestroyCommHdlr(DWORD dwPortHandle)
{
    std::shared_ptr<CdsCommHdlr> pHdlr;
    {
        std::lock_guard lock(m_mutex);
        for (auto& slot : m_slots) {
            if (slot && slot->GetPortHandle() == dwPortHandle) {
                pHdlr = std::move(slot);
                break;
            }
        }
    }
    if (pHdlr)
        pHdlr->Destroy();
}

CdsCommHdlr* CdsServerFrameCore::GetCommHdlrByHandle(DWORD dwPortHandle)
{
    std::lock_guard lock(m_mutex);
    for (const auto& slot : m_slots) {
        if (slot && slot->GetPortHandle() == dwPortHandle && !slot->IsSpent())
            return slot.get();
    }
    return nullptr;
}

CdsCommHdlr* CdsServerFrameCore::GetCommHdlrByIndex(int nIndex) const
{
    if (nIndex < 0 || nIndex >= kMaxCommHdlrs)
        return nullptr;
    std::lock_guard lock(m_mutex);
    return m_slots[static_cast<std::size_t>(nIndex)].get();
}

void CdsServerFrameCore::ExitPorts()
{
    std::vector<std::shared_ptr<CdsCommHdlr>> handlers;
    {
        std::lock_guard lock(m_mutex);
        for (auto& slot : m_slots) {
            if (slot)
                handlers.push_back(std::move(slot));
        }
        for (auto& pHdlr : m_spent)
            handlers.push_back(std::move(pHdlr));
        m_spent.clear();
    }
    for (auto& pHdlr : handlers)
        pHdlr->SetSendTimeout(0);
    for (auto& pHdlr : handlers) {
        pHdlr->Destroy();
        pHdlr.reset();
    }
}

template <typename Fn>
void CdsServerFrameCore::ForEachLine(CdsCommHdlr* pHdlr, Fn&& fn)
{
    for (int line : kTickOrder) {
        if (tagTHREADINFO* pLine = pHdlr->GetLine(line))
            fn(pHdlr, pLine);
    }
}

template <typename Fn>
void CdsServerFrameCore::ForEachLine(Fn&& fn)
{
    for (int i = 0; i < kMaxCommHdlrs; ++i) {
        if (CdsCommHdlr* pHdlr = GetCommHdlrByIndex(i))
            ForEachLine(pHdlr, fn);
    }
}

std::vector<std::shared_ptr<CdsMessageThread>> CdsServerFrameCore::GetLineThreads() const
{
    std::vector<std::shared_ptr<CdsMessageThread>> threads;
    for (int i = 0; i < kMaxCommHdlrs; ++i) {
        const CdsCommHdlr* pHdlr = GetCommHdlrByIndex(i);
        for (int line = 0; pHdlr && line < LINE_COUNT; ++line)
            if (std::shared_ptr<CdsMessageThread> thread = pHdlr->GetLineThread(line))
                threads.push_back(std::move(thread));
    }
    return threads;
}

void CdsServerFrameCore::SendTimerMsgToThreads(ULONG nLoopCount)
{
    ForEachLine([nLoopCount](CdsCommHdlr* pHdlr, tagTHREADINFO* pLine) {
        // A busy line skips the tick instead of queueing it.
        if (!pLine->m_bBusy.load())
            pHdlr->PostMessageToThread(pLine, WM_SINGLESTEP, nLoopCount, 0);
    });
}

void CdsServerFrameCore::SendResetMsgToThreads()
{
    ForEachLine([](CdsCommHdlr* pHdlr, tagTHREADINFO* pLine) {
        pHdlr->PostMessageToThread(pLine, WM_RESETLOOPCOUNT, 0, 0);
    });
}

void CdsServerFrameCore::UpdateNextDevice()
{
    // From the cursor on, wrapping once, so that no tick passes without a step.
    CdsCommHdlr* pHdlr = nullptr;
    int index = m_nNextHdlr;
    for (int n = 0; n < kMaxCommHdlrs && !pHdlr; ++n) {
        index = (m_nNextHdlr + n) % kMaxCommHdlrs;
        pHdlr = GetCommHdlrByIndex(index);
    }
    if (!pHdlr) {
        m_nNextHdlr = 0;
        return;
    }
    ForEachLine(pHdlr, [](CdsCommHdlr* p, tagTHREADINFO* pLine) { p->SingleStep(pLine); });
    m_nNextHdlr = (index + 1) % kMaxCommHdlrs;
}

void CdsServerFrameCore::UpdateAllDevices()
{
    ForEachLine([](CdsCommHdlr* pHdlr, tagTHREADINFO* pLine) { pHdlr->SingleStep(pLine); });
}
