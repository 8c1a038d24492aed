#include "qtdispatch/QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>

namespace qtdispatch {

QtDispatcher::QtDispatcher(const win::Clock& clock) : DispatchCore(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] { serve(); });
    wake(); // the first pass arms the timers started before the loop runs
}

QtDispatcher::~QtDispatcher() { m_timer.stop(); }

bool QtDispatcher::startTimer(win::WindowKey key, UINT_PTR id, DWORD intervalMs)
{
    const bool started = DispatchCore::startTimer(key, id, intervalMs);
    wake();
    return started;
}

void QtDispatcher::quit(int exitCode)
{
    QMetaObject::invokeMethod(&m_context, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

void QtDispatcher::wake()
{
    // One queued pass at a time is enough: it takes everything queued so far.
    if (m_wakePending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_wakePending = false;
            serve();
        },
        Qt::QueuedConnection);
}

void QtDispatcher::serve()
{
    fireDueTimers();
    runPending();
    rearm();
}

void QtDispatcher::rearm()
{
    const auto next = nextTimerDueMs();
    if (!next) {
        m_timer.stop();
        return;
    }
    const std::uint64_t now = clock().monotonicMs();
    const std::uint64_t delay = *next > now ? *next - now : 0;
    m_timer.start(static_cast<int>(std::min<std::uint64_t>(delay, 60000)));
}

} // namespace qtdispatch
