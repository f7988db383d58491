#include "StdoutCapture.h"
#include "TestRegistry.h"

#include "catalog/TcgdexClient.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"
#include "standin/WebStandIn.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace pv::selftest;
using pv::Language;
using pv::TcgdexClient;
using pv::test::StdoutCapture;
using pv::test::WebStandIn;

// The harness waits for the card database client and the endpoint checks,
// against the stand-in with scripted faults.
class ClientWaitTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
    }

    void init()
    {
        m_standIn->reset();
        resetFailures();
        m_client = std::make_unique<TcgdexClient>();
    }

    void cleanup()
    {
        m_client.reset();
        resetFailures();
    }

    void captureEndsTheWait()
    {
        StdoutCapture capture;
        pv::CardDetail card;
        QEventLoop loop;
        const auto connection = captureCard(*m_client, card, loop);
        m_client->fetchCard(Language::English, QStringLiteral("sv03-001"));
        waitForClient(*m_client, loop, 10000);
        QObject::disconnect(connection);
        QCOMPARE(card.name, QStringLiteral("Oddish"));
        QCOMPARE(capture.text(), QString());
    }

    void anyFailureEndsTheWait()
    {
        // The awaited card would come; another request's failure comes first.
        m_standIn->addFault(QStringLiteral("/cards/sv03-001$"), WebStandIn::Fault::delay(1500));
        m_standIn->addFault(QStringLiteral("^/v2/en/sets/sv99$"), WebStandIn::Fault::httpStatus(404));
        StdoutCapture capture;
        pv::CardDetail card;
        QEventLoop loop;
        const auto connection = captureCard(*m_client, card, loop);
        m_client->fetchCard(Language::English, QStringLiteral("sv03-001"));
        m_client->fetchSet(Language::English, QStringLiteral("sv99"));
        QElapsedTimer clock;
        clock.start();
        waitForClient(*m_client, loop, 10000);
        QObject::disconnect(connection);
        QVERIFY(clock.elapsed() < 1500);
        QVERIFY(card.id.isEmpty());
        const QString text = capture.text();
        QVERIFY2(text.startsWith(QLatin1String("  network error while fetching set sv99: ")), qPrintable(text));
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        QCOMPARE(text.count(QLatin1Char('\n')), 1);
    }

    void timeOutEndsTheWait()
    {
        m_standIn->addFault(QStringLiteral("/cards/sv03-001$"), WebStandIn::Fault::delay(1000));
        StdoutCapture capture;
        pv::CardDetail card;
        QEventLoop loop;
        const auto connection = captureCard(*m_client, card, loop);
        m_client->fetchCard(Language::English, QStringLiteral("sv03-001"));
        waitForClient(*m_client, loop, 100);
        QObject::disconnect(connection);
        QCOMPARE(capture.text(), QStringLiteral("  timed out waiting for a response\n"));
        QVERIFY(card.id.isEmpty());
    }

    void emptySetListSkipsTheOrderCheck()
    {
        m_standIn->addFault(QStringLiteral("^/v2/en/sets\\?"),
                            WebStandIn::Fault::custom(200, "application/json", "[]"));
        StdoutCapture capture;
        testEnglishEndpoints(*m_client);
        const QString text = capture.text();
        QVERIFY2(text.startsWith(QLatin1String("  FAIL  /en/sets returned 0 sets\n"
                                               "  ok    /en/sets/sv03 is named \"Obsidian Flames\"\n")),
                 qPrintable(text));
        QVERIFY(!text.contains(QLatin1String("first in release order")));
        QVERIFY(!text.contains(QLatin1String("release order index")));
        QCOMPARE(failureCount(), 1);
    }

    void symbolFailureEndsTheImageWait()
    {
        m_standIn->addFault(QStringLiteral("/symbol\\.png$"), WebStandIn::Fault::httpStatus(404));
        StdoutCapture capture;
        QElapsedTimer clock;
        clock.start();
        testImages(*m_client);
        const QString text = capture.text();
        // The failed symbol ends its wait at once instead of after 30 s.
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY2(text.endsWith(QLatin1String("  FAIL  the set symbol downloaded and decoded (0x0)\n")), qPrintable(text));
        QCOMPARE(failureCount(), 1);
    }
};

PV_REGISTER_TEST(ClientWaitTest)

#include "ClientWaitTest.moc"
