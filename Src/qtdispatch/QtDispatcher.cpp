#include "qtdispatch/QtDispatcher.h"

#include <QCoreApplication>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace qtdispatch {

QtDispatcher::QtDispatcher(const win::Clock& clock)
    : DispatchCore(clock), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_wakeFd >= 0) {
        m_pNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
        QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, &m_context, [this] {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof count);
            serve();
        });
    }
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] { serve(); });
    wake(); // the first pass arms the timers started before the loop runs
}

QtDispatcher::~QtDispatcher()
{
    m_timer.stop();
    m_pNotifier.reset();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool QtDispatcher::startTimer(win::WindowKey key, UINT_PTR id, DWORD intervalMs)
{
    const bool started = DispatchCore::startTimer(key, id, intervalMs);
    wake();
    return started;
}

void QtDispatcher::quit(int exitCode)
{
    m_exitCode = exitCode;
    m_quit = true;
    wake();
}

void QtDispatcher::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void QtDispatcher::serve()
{
    fireDueTimers();
    runPending();
    rearm();
    if (m_quit.exchange(false))
        QCoreApplication::exit(m_exitCode.load());
    // The program waits in place of the loop (a call to a server) and is asked to end:
    // every loop ends, a box that asks included, so the wait gives up at once.
    else if (isHeld() && endRequested())
        QCoreApplication::exit(0);
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
