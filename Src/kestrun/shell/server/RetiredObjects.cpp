#include "kestrun/shell/server/RetiredObjects.h"

#include <algorithm>
#include <iterator>

#include "kestrun/comm/handler/MessageThread.h"
#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerFrameCore.h"

namespace {

bool HasEnded(const CdsMessageThread& thread)
{
    const auto state = thread.state();
    return state == win::MessageThread::State::Finished || state == win::MessageThread::State::StartFailed;
}

} // namespace

CdsRetiredObjects::CdsRetiredObjects(shell::Application& app)
    : m_app(app), m_self(std::make_shared<CdsRetiredObjects*>(this))
{
}

CdsRetiredObjects::~CdsRetiredObjects()
{
    if (IsLeftToProcessEnd()) {
        // Never destroyed: what the frees name stays reachable from here.
        static auto* const left = new std::vector<Free>;
        for (auto& [batch, frees] : m_queued)
            std::move(frees.begin(), frees.end(), std::back_inserter(*left));
        std::move(m_retired.begin(), m_retired.end(), std::back_inserter(*left));
        return;
    }
    if (HasRunningLines()) {
        // Dropping the frees uncalled leaves the objects as they are.
        TraceDebug("%zu configuration objects stay allocated: a line thread still runs.\n", GetRetiredCount());
        return;
    }
    FreeAll();
}

void CdsRetiredObjects::StopLines(CdsServerFrameCore* pTable, const std::function<void()>& stop)
{
    const std::vector<std::shared_ptr<CdsMessageThread>> before =
        pTable ? pTable->GetLineThreads() : std::vector<std::shared_ptr<CdsMessageThread>>{};
    stop();
    for (const auto& thread : before)
        if (!HasEnded(*thread))
            m_lines.push_back(thread);
}

void CdsRetiredObjects::Retire(Free free)
{
    if (free)
        m_retired.push_back(std::move(free));
    Collect();
}

void CdsRetiredObjects::Collect()
{
    // Ended lines are let go of even while nothing waits for them.
    const bool running = HasRunningLines();
    if (m_retired.empty() || running)
        return;
    win::Dispatcher* pDispatcher = m_app.GetDispatcher();
    const unsigned batch = m_nNextBatch++;
    m_queued[batch] = std::move(m_retired);
    m_retired.clear();
    // Hints queued so far may name these objects: they are delivered first.
    std::weak_ptr<CdsRetiredObjects*> self = m_self;
    if (!pDispatcher || !pDispatcher->post([self, batch] {
            if (auto keeper = self.lock())
                (*keeper)->FreeBatch(batch);
        }))
        FreeBatch(batch);
}

bool CdsRetiredObjects::HasRunningLines()
{
    std::erase_if(m_lines, [](const std::shared_ptr<CdsMessageThread>& thread) { return HasEnded(*thread); });
    return !m_lines.empty();
}

std::size_t CdsRetiredObjects::GetRetiredCount() const
{
    std::size_t count = m_retired.size();
    for (const auto& [batch, frees] : m_queued)
        count += frees.size();
    return count;
}

bool CdsRetiredObjects::IsLeftToProcessEnd() const { return m_bLeaveToProcessEnd || m_app.IsStopRequested(); }

void CdsRetiredObjects::FreeBatch(unsigned nBatch)
{
    auto it = m_queued.find(nBatch);
    if (it == m_queued.end() || IsLeftToProcessEnd())
        return;
    std::vector<Free> frees = std::move(it->second);
    m_queued.erase(it);
    for (Free& free : frees)
        if (free)
            free();
}

void CdsRetiredObjects::FreeAll()
{
    while (!m_queued.empty())
        FreeBatch(m_queued.begin()->first);
    std::vector<Free> frees = std::move(m_retired);
    m_retired.clear();
    for (Free& free : frees)
        if (free)
            free();
}
