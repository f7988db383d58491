#include "core/SteadyClock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>

namespace pv {

namespace {

struct ClockState
{
    QMutex mutex;
    QElapsedTimer real;
    bool manual = false;
    qint64 manualMs = 0;
    // The wall clock when manual time started, and the manual reading then.
    QDateTime manualStartedAt;
    qint64 manualStartMs = 0;
    // Added to real readings so that leaving manual time never goes back.
    qint64 realOffsetMs = 0;

    ClockState() { real.start(); }
    qint64 realNow() const { return real.elapsed() + realOffsetMs; }
};

ClockState &state()
{
    static ClockState clock;
    return clock;
}

} // namespace

qint64 SteadyClock::nowMs()
{
    ClockState &clock = state();
    QMutexLocker lock(&clock.mutex);
    return clock.manual ? clock.manualMs : clock.realNow();
}

QDate SteadyClock::today()
{
    ClockState &clock = state();
    QMutexLocker lock(&clock.mutex);
    if (!clock.manual)
        return QDate::currentDate();
    return clock.manualStartedAt.addMSecs(clock.manualMs - clock.manualStartMs).date();
}

void SteadyClock::useManualTime()
{
    ClockState &clock = state();
    QMutexLocker lock(&clock.mutex);
    if (clock.manual)
        return;
    clock.manualMs = clock.realNow();
    clock.manualStartMs = clock.manualMs;
    clock.manualStartedAt = QDateTime::currentDateTime();
    clock.manual = true;
}

void SteadyClock::advance(qint64 milliseconds)
{
    ClockState &clock = state();
    QMutexLocker lock(&clock.mutex);
    if (clock.manual && milliseconds > 0)
        clock.manualMs += milliseconds;
}

void SteadyClock::useRealTime()
{
    ClockState &clock = state();
    QMutexLocker lock(&clock.mutex);
    if (!clock.manual)
        return;
    clock.manual = false;
    clock.realOffsetMs += std::max<qint64>(0, clock.manualMs - clock.realNow());
}

bool SteadyClock::isManual()
{
    ClockState &clock = state();
    QMutexLocker lock(&clock.mutex);
    return clock.manual;
}

} // namespace pv
