#include "StdoutCapture.h"
#include "TestRegistry.h"

#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTestRunner.h"

#include "prices/PriceIndex.h"

#include <QEventLoop>

#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace pv::selftest;
using pv::test::StdoutCapture;

class HarnessTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { resetFailures(); }
    void cleanup() { resetFailures(); }

    void passingChecksExitZero()
    {
        StdoutCapture capture;
        beginTest(QStringLiteral("First"), false);
        check(true, QStringLiteral("it holds"));
        expectEqual(QStringLiteral("Tropius"), "Tropius", QStringLiteral("name"));
        beginTest(QStringLiteral("Second"));
        const int status = finishRun();
        QCOMPARE(capture.text(), QStringLiteral("First\n  ok    it holds\n  ok    name: Tropius\n\nSecond\n"
                                                "\nAll checks passed.\n"));
        QCOMPARE(status, 0);
    }

    void wrongExpectationFailsTheRun()
    {
        StdoutCapture capture;
        expectEqual(QStringLiteral("Pikachu"), "Raichu", QStringLiteral("translated %1"));
        QCOMPARE(failureCount(), 1);
        expectEqual(QString::fromUtf8("ポリゴンＺ"), "ポリゴンＺ", QStringLiteral("kept"));
        QCOMPARE(failureCount(), 1);
        check(false, QStringLiteral("100% wrong"));
        QCOMPARE(failureCount(), 2);
        const int status = finishRun();
        QCOMPARE(status, 1);
        // The description's "%1" is printed as written, never substituted.
        QCOMPARE(capture.text(), QString::fromUtf8("  FAIL  translated %1: Pikachu, wanted Raichu\n"
                                                   "  ok    kept: ポリゴンＺ\n"
                                                   "  FAIL  100% wrong\n"
                                                   "\n2 check(s) failed.\n"));
    }

    void runnerStartsFromZero()
    {
        StdoutCapture capture;
        check(false, QStringLiteral("left over from an earlier run"));
        QCOMPARE(pv::runSelfTests(), 0);
        QVERIFY(capture.text().endsWith(QStringLiteral("\nAll checks passed.\n")));
    }

    void priceIndexWaitEndsOnAnAnswerOrItsTimeOut()
    {
        pv::PriceIndex index;
        StdoutCapture capture;
        {
            QEventLoop loop;
            waitForPriceIndex(index, loop, 50);  // nothing was asked: only the time-out ends it
        }
        pv::SetRecord nowhere;
        nowhere.id = QStringLiteral("zz9");
        nowhere.name = QStringLiteral("Nowhere Expansion");
        QEventLoop loop;
        int announcements = 0;
        QObject::connect(&index, &pv::PriceIndex::setIndexed, &loop, [&announcements] { countEmission(announcements); });
        index.indexSet(nowhere);
        waitForPriceIndex(index, loop, 30000);
        QCOMPARE(announcements, 1);
        QCOMPARE(index.setState(pv::Language::English, nowhere.id), pv::PriceIndex::NoGroup);
        QCOMPARE(capture.text(), QStringLiteral("  timed out waiting for TCGCSV\n"));
    }
};

PV_REGISTER_TEST(HarnessTest)
#include "HarnessTest.moc"
