#include "StdoutCapture.h"
#include "TestRegistry.h"

#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTestRunner.h"
#include "selftest/SelfTests.h"

#include "catalog/TcgdexClient.h"

#include "prices/PriceIndex.h"

#include <QEventLoop>

#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace pv::selftest;
using pv::test::StdoutCapture;

namespace {
// What the stand-in tests below saw of the run.
QStringList calls;
pv::TcgdexClient *clientSeen = nullptr;

void offlinePasses()
{
    calls << QStringLiteral("offline");
    check(true, QStringLiteral("offline check"));
}
void offlineFails()
{
    calls << QStringLiteral("failing");
    check(false, QStringLiteral("offline failure"));
}
void givenClient(pv::TcgdexClient &client)
{
    calls << QStringLiteral("client");
    clientSeen = &client;
}
} // namespace

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

    void runnerStartsFromZeroAndFollowsTheList()
    {
        StdoutCapture capture;
        check(false, QStringLiteral("left over from an earlier run"));
        QCOMPARE(pv::runSelfTests(), 0);
        const QString text = capture.text();
        QVERIFY(text.endsWith(QStringLiteral("\nAll checks passed.\n")));
        // Every title of the list appears once, on a line of its own, in list
        // order; the first straight after the line left over.
        const QStringList lines = text.split(QLatin1Char('\n'));
        QCOMPARE(lines.at(1), selfTests().first().title);
        int previous = -1;
        for (const SelfTest &test : selfTests()) {
            QCOMPARE(lines.count(test.title), 1);
            const int at = int(lines.indexOf(test.title));
            QVERIFY2(at > previous, qPrintable(test.title));
            previous = at;
        }
    }

    void runnerWritesTitlesAndHandsTheClientOn()
    {
        calls.clear();
        clientSeen = nullptr;
        const QList<SelfTest> tests = {
            {"One", offlinePasses},
            {"Two", offlinePasses, SelfTest::JoinsPrevious},
            {"Three", givenClient, SelfTest::NoNetwork},
            {"Four", offlineFails},
        };
        QVERIFY(!tests[2].needsNetwork && tests[2].givenClient);
        pv::TcgdexClient client;
        StdoutCapture capture;
        check(false, QStringLiteral("left over from an earlier run"));
        QCOMPARE(runSelfTestList(tests, client), 1);
        QCOMPARE(calls, QStringList({"offline", "offline", "client", "failing"}));
        QCOMPARE(clientSeen, &client);
        QCOMPARE(capture.text(), QStringLiteral("  FAIL  left over from an earlier run\n"
                                                "One\n  ok    offline check\n"
                                                "Two\n  ok    offline check\n"
                                                "\nThree\n"
                                                "\nFour\n  FAIL  offline failure\n"
                                                "\n1 check(s) failed.\n"));
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
