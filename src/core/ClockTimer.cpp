#include "core/ClockTimer.h"

#include "core/SteadyClock.h"

namespace pv {

ClockTimer::ClockTimer(int intervalMs, QObject *parent)
    : QObject(parent)
    , m_intervalMs(intervalMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ClockTimer::onWake);
}

void ClockTimer::start()
{
    m_dueMs = SteadyClock::nowMs() + m_intervalMs;
    m_timer.start(m_intervalMs);
}

void ClockTimer::stop()
{
    m_timer.stop();
}

void ClockTimer::onWake()
{
    // A coarse timer may wake a little early: it sleeps again for the rest.
    // Manual time moves only when a test advances it, so it is looked at
    // again shortly.
    const qint64 rest = m_dueMs - SteadyClock::nowMs();
    if (rest > 0) {
        m_timer.start(
            int(SteadyClock::isManual() ? qMin(m_intervalMs, ManualPollMs) : qMin<qint64>(rest, m_intervalMs)));
        return;
    }
    emit timeout();
}

} // namespace pv
