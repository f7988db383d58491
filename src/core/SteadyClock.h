#pragma once

#include <QDate>
#include <QtGlobal>

namespace pv {

// The monotonic milliseconds that pacing and merge windows are measured in.
// It runs with real time unless a test switches it to manual time, which only
// moves when the test advances it, so timing rules are checked without
// sleeping or measuring the machine's speed.
class SteadyClock
{
public:
    // Milliseconds since an arbitrary start; never goes back.
    static qint64 nowMs();
    // The local date. Under manual time it is the date manual time started
    // on, moved on by the time advanced since, so midnight never falls
    // between two readings of a test.
    static QDate today();

    // From now on nowMs() answers manual time, starting where it stands.
    static void useManualTime();
    // Moves manual time forward; ignored while the clock runs with real time.
    static void advance(qint64 milliseconds);
    // Back to real time, continuing from the later of the two readings.
    static void useRealTime();
    static bool isManual();
};

} // namespace pv
