#include "TestRegistry.h"

#include "core/ClockTimer.h"
#include "core/SteadyClock.h"

#include <QSignalSpy>
#include <QTest>

using pv::ClockTimer;
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

    // Under manual time the date and the timers follow the clock alone: the
    // date moves only with advances, and a timer fires only once the clock
    // has passed its interval, however long the machine takes.
    void dateAndTimersFollowManualTime()
    {
        SteadyClock::useManualTime();
        const QDate today = SteadyClock::today();
        QVERIFY(qAbs(today.daysTo(QDate::currentDate())) <= 1);
        SteadyClock::advance(2 * 24 * 3600 * 1000);
        QCOMPARE(SteadyClock::today(), today.addDays(2));

        ClockTimer timer(100);
        QSignalSpy fired(&timer, &ClockTimer::timeout);
        timer.start();
        SteadyClock::advance(99);
        QTest::qWait(250);
        QVERIFY(fired.isEmpty());
        QVERIFY(timer.isActive());
        timer.start(); // the interval starts again from now
        SteadyClock::advance(99);
        QTest::qWait(50);
        QVERIFY(fired.isEmpty());
        SteadyClock::advance(1);
        QTRY_COMPARE(fired.size(), 1);
        QVERIFY(!timer.isActive());

        SteadyClock::useRealTime();
        timer.start();
        QTRY_COMPARE(fired.size(), 2);
    }
};

PV_REGISTER_TEST(SteadyClockTest)
#include "SteadyClockTest.moc"
