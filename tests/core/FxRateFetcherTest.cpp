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

// A body as the service answers the fetcher: rates per 1 USD.
QByteArray perDollar(const QByteArray &rates, const QDate &date = QDate(2024, 5, 2))
{
    const QByteArray day = date.isValid() ? R"("date": ")" + date.toString(Qt::ISODate).toLatin1() + "\", " : "";
    return R"({"amount": 1.0, "base": "USD", )" + day + R"("rates": {)" + rates + "}}";
}

QString refusedWhole(const QString &why)
{
    return QStringLiteral("Rate reply refused: %1; keeping the stored table.").arg(why);
}

} // namespace

class FxRateFetcherTest : public QObject
{
    Q_OBJECT
    WebStandIn m_standIn;

    // Runs one fetch to its end and checks that it reported exactly once;
    // refusal gets why the answer was refused, empty when it was not.
    bool fetchOnce(FxRateFetcher &fetcher, QString *refusal = nullptr)
    {
        QSignalSpy spy(&fetcher, &FxRateFetcher::finished);
        QSignalSpy refused(&fetcher, &FxRateFetcher::ratesRefused);
        fetcher.fetch();
        if (!spy.wait(10000))
            return false;
        QTest::qWait(100);
        if (spy.count() != 1 || refused.count() > 1)
            qFatal("finished was emitted %d times, ratesRefused %d", int(spy.count()), int(refused.count()));
        if (refusal)
            *refusal = refused.isEmpty() ? QString() : refused.first().first().toString();
        return spy.first().first().toBool();
    }

    // The stand-in answers the body to one fetch.
    bool fetchAnswer(const QByteArray &body, QString *refusal = nullptr)
    {
        m_standIn.addFault(QString::fromLatin1(latest), WebStandIn::Fault::custom(200, "application/json", body));
        FxRateFetcher fetcher;
        return fetchOnce(fetcher, refusal);
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

    void undatedRatesAreStoredAsTodays_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no date") << perDollar(R"("EUR": 0.9)", QDate());
        QTest::newRow("date not a date") << QByteArray(R"({"amount": 1, "base": "USD", "date": "yesterday",
                                                           "rates": {"EUR": 0.9}})");
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
        QTest::addColumn<QString>("refusal"); // the answer cannot be right: why
        const auto unusable = [](const char *name, const QByteArray &body) {
            QTest::newRow(name) << body
                                << QStringLiteral("Rate reply carried no usable EUR rate; keeping the stored table.")
                                << QString();
        };
        unusable("malformed", QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 0.9)"));
        unusable("not an object", QByteArray(R"([0.9])"));
        unusable("no EUR", QByteArray(R"({"date": "2024-05-02", "rates": {"JPY": 150}})"));
        unusable("rates not an object", QByteArray(R"({"date": "2024-05-02", "rates": [0.9]})"));
        unusable("EUR as text", QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": "0.9"}})"));
        unusable("EUR zero", QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 0}})"));
        unusable("EUR negative", QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": -0.9}})"));
        unusable("EUR absurd", QByteArray(R"({"date": "2024-05-02", "rates": {"EUR": 1e9, "JPY": 1e9}})"));
        // Answers that cannot be right: nothing of them is stored, the
        // other rates included.
        const auto refused = [](const char *name, const QByteArray &body, const QString &why) {
            QTest::newRow(name) << body << refusedWhole(why) << why;
        };
        refused("EUR a hundred times the built-in", perDollar(R"("EUR": 92.12, "JPY": 150)"),
                QStringLiteral("the service answered 1 USD = 92.12000 EUR, more than twice or under half the "
                               "built-in rate (1 USD = 0.86000 EUR)"));
        refused("EUR under half the built-in", perDollar(R"("EUR": 0.42, "JPY": 150)"),
                QStringLiteral("the service answered 1 USD = 0.42000 EUR, more than twice or under half the "
                               "built-in rate (1 USD = 0.86000 EUR)"));
        // Per euro, the euro reads 1 EUR: within twice the built-in rate.
        refused("per euro",
                R"({"amount": 1.0, "base": "EUR", "date": "2024-05-02",
                    "rates": {"EUR": 1.0, "JPY": 161.92, "USD": 1.0856}})",
                QStringLiteral("the service answered rates per 1 EUR rather than per 1 USD"));
        refused("per 100 dollars",
                R"({"amount": 100, "base": "USD", "date": "2024-05-02", "rates": {"EUR": 92.12, "JPY": 14700}})",
                QStringLiteral("the service answered rates per 100 USD rather than per 1 USD"));
        refused("no base", R"({"amount": 1, "date": "2024-05-02", "rates": {"EUR": 0.92}})",
                QStringLiteral("the service did not say its rates are per 1 USD"));
        refused("no amount", R"({"base": "USD", "date": "2024-05-02", "rates": {"EUR": 0.92}})",
                QStringLiteral("the service did not say its rates are per 1 USD"));
        refused("amount as text", R"({"amount": "1", "base": "USD", "date": "2024-05-02", "rates": {"EUR": 0.92}})",
                QStringLiteral("the service did not say its rates are per 1 USD"));
    }
    void badRepliesLeaveTheStoredRates()
    {
        QFETCH(QByteArray, body);
        const QVariantMap before = storedRates();
        QString refusal;
        QVERIFY(!fetchAnswer(body, &refusal));
        QCOMPARE(storedRates(), before);
        QFETCH(QString, warning);
        QCOMPARE(fxWarnings(), QStringList{warning});
        QTEST(refusal, "refusal");
    }

    // A day's move is a few per cent: while the stored rate is recent and
    // in use, a new one is taken only within a quarter of it either way.
    void aRateIsJudgedAgainstARecentStoredOne_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<int>("storedDaysAgo");
        QTest::addColumn<double>("answered");
        QTest::addColumn<bool>("taken");
        QTest::newRow("near a quarter up") << 0.92 << 0 << 1.14 << true;
        QTest::newRow("more than a quarter up") << 0.92 << 0 << 1.16 << false;
        QTest::newRow("near a quarter down") << 0.92 << 1 << 0.70 << true;
        QTest::newRow("more than a quarter down") << 0.92 << 1 << 0.68 << false;
        QTest::newRow("1.70 thirty days after 0.92") << 0.92 << 30 << 1.70 << false;
        // Older, the stored rate says nothing of a day's move: only the
        // built-in rate counts.
        QTest::newRow("1.70 a month after 0.92") << 0.92 << 31 << 1.70 << true;
        QTest::newRow("0.95 a month after 0.45") << 0.45 << 31 << 0.95 << true;
        QTest::newRow("0.95 the day after 0.45") << 0.45 << 1 << 0.95 << false;
        QTest::newRow("beyond twice the built-in a month after") << 0.92 << 31 << 1.73 << false;
        // Stored by a clock that ran ahead: its age is unknown.
        QTest::newRow("1.70 after 0.92 dated next week") << 0.92 << -7 << 1.70 << true;
    }
    void aRateIsJudgedAgainstARecentStoredOne()
    {
        QFETCH(double, stored);
        QFETCH(int, storedDaysAgo);
        QFETCH(double, answered);
        QFETCH(bool, taken);
        const test::ManualTime clock;
        const QDate storedOn = SteadyClock::today().addDays(-storedDaysAgo);
        FxRates::store({{QStringLiteral("EUR"), stored}, {QStringLiteral("JPY"), 150.0}}, storedOn);
        const QVariantMap before = storedRates();
        QString refusal;
        QCOMPARE(fetchAnswer(perDollar(R"("EUR": )" + QByteArray::number(answered) + R"(, "JPY": 151)",
                                       SteadyClock::today()),
                             &refusal),
                 taken);
        if (taken) {
            QCOMPARE(FxRates::usdToEur(), answered);
            QCOMPARE(FxRates::rateFor(QStringLiteral("JPY")), 151.0);
            QVERIFY(fxWarnings().isEmpty());
            QVERIFY(refusal.isEmpty());
            return;
        }
        QCOMPARE(storedRates(), before);
        const QString number = QString::number(answered, 'f', 5);
        QCOMPARE(refusal,
                 answered > 1.72 ? QStringLiteral("the service answered 1 USD = %1 EUR, more than twice or under "
                                                  "half the built-in rate (1 USD = 0.86000 EUR)")
                                       .arg(number)
                                 : QStringLiteral("the service answered 1 USD = %1 EUR, more than a quarter "
                                                  "away from the rate of %2 (1 USD = %3 EUR)")
                                       .arg(number, storedOn.toString(Qt::ISODate), QString::number(stored, 'f', 5)));
        QCOMPARE(fxWarnings(), QStringList{refusedWhole(refusal)});
    }

    // Every rate stored is judged as the euro's is, one unusable is left
    // out; only the euro's refuses the whole answer.
    void otherRatesAreJudgedOneByOne()
    {
        const test::ManualTime clock;
        const QDate yesterday = SteadyClock::today().addDays(-1);
        FxRates::store({{QStringLiteral("EUR"), 0.92}, {QStringLiteral("JPY"), 150.0}, {QStringLiteral("CAD"), 1.3}},
                       yesterday);
        QString refusal;
        QVERIFY(fetchAnswer(perDollar(R"("EUR": 0.93, "JPY": 200, "CAD": -1, "AUD": 1.37, "GBP": 79)",
                                      SteadyClock::today()),
                            &refusal));
        QVERIFY(refusal.isEmpty());
        QCOMPARE(FxRates::usdToEur(), 0.93);
        QCOMPARE(FxRates::storedDate(), SteadyClock::today());
        QCOMPARE(FxRates::rateFor(QStringLiteral("AUD")), 1.37);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.3);
        QCOMPARE(FxRates::rateFor(QStringLiteral("JPY")), 150.0);
        QVERIFY(!FxRates::hasRate(QStringLiteral("GBP")));
        QCOMPARE(fxWarnings(),
                 (QStringList{QStringLiteral("Rate reply refused in part: the service answered 1 USD = 200.00000 JPY, "
                                             "more than a quarter away from the rate of %1 (1 USD = 150.00000 JPY); "
                                             "keeping the stored JPY rate.")
                                  .arg(yesterday.toString(Qt::ISODate)),
                              QStringLiteral("Rate reply refused in part: the service answered 1 USD = 79.00000 GBP, "
                                             "more than twice or under half the built-in rate (1 USD = 0.79000 GBP); "
                                             "keeping the stored GBP rate.")}));
    }

    // An earlier version stored any rate. One far from the built-in table
    // prices nothing and is no measure for the next answer, which replaces
    // it.
    void aWrongStoredRateIsReplaced()
    {
        const test::ManualTime clock;
        FxRates::store({{QStringLiteral("EUR"), 92.12}, {QStringLiteral("JPY"), 14700.0}},
                       SteadyClock::today().addDays(-1));
        FxRateFetcher fetcher;
        QVERIFY(fetchOnce(fetcher));
        QCOMPARE(FxRates::usdToEur(), 0.92115); // the stand-in's 1 / 1.0856
        QCOMPARE(FxRates::rateFor(QStringLiteral("JPY")), 149.15);
        QVERIFY(fxWarnings().isEmpty());
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
