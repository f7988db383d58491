#include "TestRegistry.h"

#include "core/SteadyClock.h"

#include <QTest>

using pv::SteadyClock;

class SteadyClockTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { SteadyClock::useRealTime(); }

    void manualTimeMovesOnlyWhenAdvancedAndNeverGoesBack()
    {
        const qint64 before = SteadyClock::nowMs();
        SteadyClock::useManualTime();
        QVERIFY(SteadyClock::isManual());
        const qint64 start = SteadyClock::nowMs();
        QVERIFY(start >= before);
        QTest::qWait(20);
        QCOMPARE(SteadyClock::nowMs(), start);
        SteadyClock::advance(250);
        SteadyClock::advance(-100);  // time does not run backwards
        QCOMPARE(SteadyClock::nowMs(), start + 250);

        // Far ahead of real time, then back to real time: the reading holds.
        SteadyClock::advance(3600 * 1000);
        const qint64 ahead = SteadyClock::nowMs();
        SteadyClock::useRealTime();
        QVERIFY(!SteadyClock::isManual());
        QVERIFY(SteadyClock::nowMs() >= ahead);
        SteadyClock::advance(1000);  // ignored with real time
        QVERIFY(SteadyClock::nowMs() < ahead + 1000);
    }
};

PV_REGISTER_TEST(SteadyClockTest)
#include "SteadyClockTest.moc"
