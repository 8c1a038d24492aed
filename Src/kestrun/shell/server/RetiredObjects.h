#pragma once
// Model objects the document lets go of (a device map, a device, a block) are
// not freed at once: a line thread that outlived its stop wait may still poll
// them, and hints already queued for the views may name them. Cut off from
// every client first, they are kept here until no such line runs any more and
// the application thread has delivered what was queued before; then they are
// freed.
//
// Application thread only. Ownership: the keeper owns what it was handed and
// keeps each line thread that outlived its stop until the thread has ended.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CdsMessageThread;
class CdsServerFrameCore;

namespace shell {
class Application;
}

class CdsRetiredObjects {
public:
    using Free = std::function<void()>;

    // Queued work goes through the application's dispatcher (none: nothing is queued).
    explicit CdsRetiredObjects(shell::Application& app);
    // Frees what no line can reach any more. What a line that still runs may
    // reach stays allocated: the process is ending, and freeing it would pull
    // memory from under that line. After LeaveToProcessEnd nothing is freed.
    ~CdsRetiredObjects();
    CdsRetiredObjects(const CdsRetiredObjects&) = delete;
    CdsRetiredObjects& operator=(const CdsRetiredObjects&) = delete;

    // Runs stop, which stops lines of the handler table (none: no table). Line
    // threads that were running before and still run afterwards were left
    // behind by their stop wait; they are kept until they end.
    void StopLines(CdsServerFrameCore* pTable, const std::function<void()>& stop);
    // Takes something to free later, then collects.
    void Retire(Free free);
    // Once no kept line runs: without a dispatcher the retired objects are freed
    // at once, else by a task queued behind everything posted so far.
    void Collect();

    // Drops the kept lines that have ended; whether one still runs.
    bool HasRunningLines();
    // Objects retired and not yet freed.
    std::size_t GetRetiredCount() const;
    // The process ends once the keeper goes (an exit or an exec): what it still
    // holds then is left for the system to take back whole. Freeing a large
    // configuration object by object would hold the exit up for most of a second;
    // nothing in it is the user's to keep. It stays reachable, so a leak check
    // does not count it. Once a signal asked the program to end
    // (Application::IsStopRequested) the same holds without being told.
    void LeaveToProcessEnd() { m_bLeaveToProcessEnd = true; }

private:
    bool IsLeftToProcessEnd() const;
    void FreeBatch(unsigned nBatch);
    void FreeAll();

    shell::Application& m_app;
    std::vector<std::shared_ptr<CdsMessageThread>> m_lines;
    std::vector<Free> m_retired;
    std::map<unsigned, std::vector<Free>> m_queued;   // batches waiting for their task
    unsigned m_nNextBatch = 1;
    bool m_bLeaveToProcessEnd = false;
    // Queued tasks find the keeper through this; it goes with the keeper.
    std::shared_ptr<CdsRetiredObjects*> m_self;
};
