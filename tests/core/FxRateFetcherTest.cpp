#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/AppSettings.h"
#include "core/FxRateFetcher.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "core/NetworkReplies.h"
#include "core/ServiceUrls.h"
#include "core/SteadyClock.h"
#include "standin/WebStandIn.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace pv;
using pv::test::WebStandIn;

namespace {

// The service addresses are read once per process, possibly by another test
// of this suite before this one runs, so the exchange-rate address is fixed
// before main: a free port is reserved here and the stand-in listens on it.
quint16 reserveFxPort()
{
    if (qEnvironmentVariableIsSet("TALLOWK_FX_URL"))
        return 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    if (port != 0)
        qputenv("TALLOWK_FX_URL", QByteArrayLiteral("http://127.0.0.1:") + QByteArray::number(port));
    return port;
}

const quint16 fxPort = reserveFxPort();

const char *const latest = "/v1/latest";

QVariantMap storedRates()
{
    AppSettings settings;
    QVariantMap values;
    for (const QString &key : settings.allKeys()) {
        if (key.startsWith(QLatin1String("pricing/")))
            values.insert(key, settings.value(key));
    }
    return values;
}

QStringList fxWarnings()
{
    return pv::test::logMessages(QStringLiteral("fx"), Log::Warn);
}

} // namespace

class FxRateFetcherTest : public QObject
{
    Q_OBJECT
    WebStandIn m_standIn;

    // Runs one fetch to its end and checks that it reported exactly once.
    bool fetchOnce(FxRateFetcher &fetcher)
    {
        QSignalSpy spy(&fetcher, &FxRateFetcher::finished);
        fetcher.fetch();
        if (!spy.wait(10000))
            return false;
        QTest::qWait(100);
        if (spy.count() != 1)
            qFatal("finished was emitted %d times", int(spy.count()));
        return spy.first().first().toBool();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_standIn.start(fxPort), qPrintable(m_standIn.errorString()));
        QVERIFY2(ServiceUrls::fxBase() == m_standIn.fxUrl(),
                 "the exchange-rate address was read before the stand-in's port was exported");
    }
    void init()
    {
        m_standIn.reset();
        Log::instance().clear();
        QFile::remove(AppSettings::filePath());
        FxRates::store({{QStringLiteral("EUR"), 0.8}, {QStringLiteral("JPY"), 140.0}, {QStringLiteral("CAD"), 1.3}},
                       QDate(2020, 1, 1));
    }
    void cleanupTestCase() { QFile::remove(AppSettings::filePath()); }

    void storesTheDaysRates()
    {
        // The service dates its rates by its own clock: today, or
        // tomorrow when midnight passed during the fetch.
        const QDate before = QDate::currentDate();
        FxRateFetcher fetcher;
        QVERIFY(fetchOnce(fetcher));
        QVERIFY(FxRates::storedDate() == before || FxRates::storedDate() == before.addDays(1));
        QVERIFY(FxRates::usdToEur() != 0.8);
        QVERIFY(FxRates::hasRate(QStringLiteral("CHF")));
        const auto requests = m_standIn.requests(QString::fromLatin1(latest));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().target, QStringLiteral("/v1/latest?base=USD&symbols=EUR,CAD,JPY,GBP,AUD,CHF"));
    }

    void halfUsableReplyUpdatesWhatItCan()
    {
        m_standIn.addFault(
            QString::fromLatin1(latest),
            WebStandIn::Fault::custom(200, "application/json",
                                      R"({"date": "2024-05-02", "rates": {"EUR": 0.93, "JPY": 155.1, "CAD": -1,
                                                                                       "GBP": 79}})"));
        FxRateFetcher fetcher;
        QVERIFY(fetchOnce(fetcher));
        QCOMPARE(FxRates::usdToEur(), 0.93);
        QCOMPARE(FxRates::rateFor(QStringLiteral("JPY")), 155.1);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.3);
        QCOMPARE(FxRates::storedDate(), QDate(2024, 5, 2));
        // A rate a hundred times the one in use (none stored: the built-in one) is left out.
        QVERIFY(!FxRates::hasRate(QStringLiteral("GBP")));
        QCOMPARE(fxWarnings(),
                 QStringList{QStringLiteral("Rate reply gave 1 USD = 79.00000 GBP, more than twice or "
                                            "under half the rate in use (1 USD = 0.79000 GBP); keeping "
                                            "the stored rate.")});
    }

    void undatedRatesAreStoredAsTodays_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no date") << QByteArray(R"({"rates": {"EUR": 0.9}})");
        QTest::newRow("date not a date") << QByteArray(R"({"date": "yesterday", "rates": {"EUR": 0.9}})");
    }
    void undatedRatesAreStoredAsTodays()
    {
        QFETCH(QByteArray, body);
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::custom(200, "application/json", body));
        {
            const test::ManualTime clock;
            FxRateFetcher fetcher;
            QVERIFY(fetchOnce(fetcher));
            QCOMPARE(FxRates::usdToEur(), 0.9);
            QCOMPARE(FxRates::storedDate(), SteadyClock::today());
            QVERIFY(!FxRates::isStale());
        }
        QVERIFY(fxWarnings().isEmpty());
    }

    void badRepliesLeaveTheStoredRates_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("warning");
        const QString noEur = QStringLiteral("Rate reply carried no usable EUR rate; keeping the stored table.");
        QTest::newRow("malformed") << QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 0.9)") << noEur;
        QTest::newRow("not an object") << QByteArray(R"([0.9])") << noEur;
        QTest::newRow("no EUR") << QByteArray(R"({"date": "2024-05-02", "rates": {"JPY": 150}})") << noEur;
        QTest::newRow("rates not an object") << QByteArray(R"({"date": "2024-05-02", "rates": [0.9]})") << noEur;
        QTest::newRow("EUR as text") << QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": "0.9"}})") << noEur;
        QTest::newRow("EUR zero") << QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 0}})") << noEur;
        QTest::newRow("EUR negative") << QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": -0.9}})") << noEur;
        QTest::newRow("EUR absurd") << QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 1e9, "JPY": 1e9}})") << noEur;
        QTest::newRow("EUR a hundred times the stored")
            << QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 92.12, "JPY": 150}})")
            << QStringLiteral("Rate reply gave 1 USD = 92.12000 EUR, more than twice or under half the rate in use "
                              "(1 USD = 0.80000 EUR); keeping the stored table.");
    }
    void badRepliesLeaveTheStoredRates()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, warning);
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::custom(200, "application/json", body));
        const QVariantMap before = storedRates();
        FxRateFetcher fetcher;
        QVERIFY(!fetchOnce(fetcher));
        QCOMPARE(storedRates(), before);
        QCOMPARE(fxWarnings(), QStringList{warning});
    }

    void failedRequestsLeaveTheStoredRates_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("404") << 404;
        QTest::newRow("500") << 500;
    }
    void failedRequestsLeaveTheStoredRates()
    {
        QFETCH(int, status);
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::httpStatus(status));
        const QVariantMap before = storedRates();
        FxRateFetcher fetcher;
        QVERIFY(!fetchOnce(fetcher));
        QCOMPARE(storedRates(), before);
        const QStringList warnings = fxWarnings();
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().startsWith(QStringLiteral("Rate lookup failed (HTTP %1): ").arg(status)),
                 qPrintable(warnings.first()));
    }

    // Qt 6.4 reports its transfer time-out as a cancelled operation; the
    // fetcher still tells it as a time-out.
    void timeOutLeavesTheStoredRates()
    {
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::delay(3000));
        const QVariantMap before = storedRates();
        FxRateFetcher fetcher;
        fetcher.setTimeoutForTesting(200);
        QVERIFY(!fetchOnce(fetcher));
        QCOMPARE(storedRates(), before);
        QCOMPARE(fxWarnings(), QStringList{QStringLiteral("Rate lookup failed (HTTP 0): ") + timeoutMessage(200)});
    }

    // A reply that trickles in a byte at a time keeps Qt's transfer time-out
    // from ever firing; one that never ends would fill the memory.
    void aTrickleOrAFloodIsCutOff()
    {
        const QVariantMap before = storedRates();
        FxRateFetcher fetcher;
        fetcher.setTimeoutForTesting(300, 700);
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::trickle(50));
        QVERIFY(!fetchOnce(fetcher));
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::endless());
        QVERIFY(!fetchOnce(fetcher));
        QCOMPARE(storedRates(), before);
        QCOMPARE(fxWarnings(), (QStringList{QStringLiteral("Rate lookup failed (HTTP 200): ") + timeoutMessage(700),
                                            QStringLiteral("Rate lookup failed (HTTP 200): Reply too large: more "
                                                           "than 64 KiB.")}));
    }

    void concurrentFetchesEachReportOnce()
    {
        FxRateFetcher fetcher;
        QSignalSpy spy(&fetcher, &FxRateFetcher::finished);
        fetcher.fetch();
        fetcher.fetch();
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 10000);
        QTest::qWait(100);
        QCOMPARE(spy.count(), 2);
    }
};

PV_REGISTER_TEST(FxRateFetcherTest)
#include "FxRateFetcherTest.moc"
