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

// One refresh of a table: on the day given, the service answers the rate
// for the date given (days from the first fetch); said is part of why it is
// refused, none when it is taken; moved: it is taken and said as a move of
// more than 5 per cent. A rate of 0 is a refresh that does not ask the
// service.
struct Answer
{
    static constexpr int undated = 1000;
    int day;
    double rate;
    int dated;
    const char *said;
    bool moved = false;
};

Answer notAsked(int day)
{
    return {day, 0.0, 0, nullptr};
}

QString refusedWhole(const QString &why)
{
    return QStringLiteral("Rate reply refused: %1; keeping the stored table.").arg(why);
}

} // namespace

Q_DECLARE_METATYPE(QList<Answer>)

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
        FxRates::store({{QStringLiteral("EUR"), 0.85}, {QStringLiteral("JPY"), 140.0}, {QStringLiteral("CAD"), 1.3}},
                       QDate(2020, 1, 1));
    }
    void cleanupTestCase()
    {
        QFile::remove(AppSettings::filePath());
        FxRates::reload();
    }

    void storesTheDaysRates()
    {
        // The service dates its rates by its own clock: today, or
        // tomorrow when midnight passed during the fetch.
        const QDate before = QDate::currentDate();
        FxRateFetcher fetcher;
        QVERIFY(fetchOnce(fetcher));
        QVERIFY(FxRates::storedDate() == before || FxRates::storedDate() == before.addDays(1));
        QVERIFY(FxRates::usdToEur() != 0.85);
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
        refused("per euro, as the service answers it",
                R"({"amount": 1.0, "base": "EUR", "date": "2024-05-02", "rates": {"JPY": 161.92, "USD": 1.0856}})",
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

    // A rate is judged against the last one stored and in use, however
    // old: an answer of its own date must be its figure again, a later one
    // lie within 5 per cent and 1 more for each day between their dates (10
    // at most, and for a stored rate without a date) or, when the stored one
    // lies more than 25 per cent from the built-in rate, within 25 of that;
    // an older one never replaces it. With none stored, the built-in rate is
    // the measure, with a band of 25. A later one beyond the band is kept
    // aside and taken when the service answers it again, within the band,
    // for a later day. While the service's date stands still it is asked
    // once a day. Each row stores a euro rate (0: none, its date alone when
    // given), then refreshes on the days given.
    void aRateIsJudgedByTheDaysSinceTheStoredOne_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<int>("storedOn"); // days from the first fetch, or undated
        QTest::addColumn<QList<Answer>>("answers");
        const int undated = Answer::undated;
        const char *const anotherFigure = "another figure for the day of the stored rate";
        QTest::newRow("same date, same figure")
            << 0.92115 << -3
            << QList<Answer>{{0, 0.92115, -3, nullptr}, notAsked(0), {1, 0.92117, -3, nullptr}, notAsked(1)};
        QTest::newRow("same date, other figure")
            << 0.92115 << -3 << QList<Answer>{{0, 0.923, -3, anotherFigure}, notAsked(0), {1, 0.923, 1, nullptr}};
        // Friday's rate, served by date until Monday's comes on Tuesday.
        QTest::newRow("a weekend") << 0.92 << 0
                                   << QList<Answer>{notAsked(1),
                                                    {2, 0.92, 0, nullptr},
                                                    notAsked(2),
                                                    {3, 0.92, 0, nullptr},
                                                    {4, 0.99, 3, nullptr, true}};
        QTest::newRow("a wrong rate stored 40 days back")
            << 1.30 << -40 << QList<Answer>{{0, 0.92115, 0, nullptr, true}};
        // A move toward the built-in rate from one within its reach waits.
        QTest::newRow("0.78 three days after 0.95, confirmed the next day")
            << 0.95 << -3 << QList<Answer>{{0, 0.78, 0, "more than 8% away"}, notAsked(0), {1, 0.78, 1, nullptr, true}};
        QTest::newRow("0.63 after 1.10") << 1.10 << -3 << QList<Answer>{{0, 0.63, 0, "more than 8% away"}};
        QTest::newRow("a tenth at most after 35 days")
            << 0.92115 << -35 << QList<Answer>{{0, 1.10, 0, "more than 10% away"}, {1, 1.10, 1, nullptr, true}};
        QTest::newRow("a move of 5.6% in 5 days") << 0.90 << -5 << QList<Answer>{{0, 0.95, 0, nullptr, true}};
        const char *const farFromBuiltIn = "more than 25% away from the built-in rate";
        QTest::newRow("none stored, a date without a rate")
            << 0.0 << -3 << QList<Answer>{{0, 1.70, 0, farFromBuiltIn}, notAsked(0), {1, 1.70, 1, nullptr, true}};
        QTest::newRow("none stored: a near answer is taken")
            << 0.0 << undated << QList<Answer>{{0, 1.05, 0, nullptr, true}};
        const char *const keptAside = "kept aside until the service answers it again";
        QTest::newRow("a wrong rate after 40 days, then the right one")
            << 0.92115 << -40
            << QList<Answer>{{0, 1.30, 0, "more than 10% away from the rate of"},
                             notAsked(0),
                             {1, 0.92115, 1, nullptr},
                             {2, 1.30, 2, keptAside}};
        // Said again for the same date, it is still the one answer.
        QTest::newRow("a real move given on two dates") << 0.92115 << -3
                                                        << QList<Answer>{{0, 1.30, 0, keptAside},
                                                                         {1, 1.30, 0, "more than 8% away"},
                                                                         notAsked(1),
                                                                         {2, 1.30, 2, nullptr, true}};
        QTest::newRow("a stored rate without a date")
            << 0.92115 << undated
            << QList<Answer>{{0, 1.70, 0, "more than 10% away from the stored rate"}, {1, 1.01, 1, nullptr, true}};
        QList<Answer> walk{{0, 0.92115 * 1.049, -3, anotherFigure}, notAsked(0)};
        double walked = 0.92115 * 1.049;
        for (int day = 1; day < 13; ++day)
            walk.append({day, walked *= 1.049, -3, anotherFigure});
        walk.append({13, 0.92115, 13, nullptr});
        QTest::newRow("walked a day at a time, then the right rate") << 0.92115 << -3 << walk;
        QTest::newRow("a quarter a day, then the right rate") << 0.92 << -5
                                                              << QList<Answer>{{0, 1.13, 0, "more than 10% away"},
                                                                               {1, 1.39, 1, "more than 10% away"},
                                                                               {2, 1.70, 2, "more than 10% away"},
                                                                               {3, 0.92115, 3, nullptr}};
        QTest::newRow("1.13 three days after 0.92") << 0.92 << -3 << QList<Answer>{{0, 1.13, 0, "more than 8% away"}};
        QTest::newRow("0.95 the day after 0.92, then 1.70 the day after")
            << 0.92 << -1 << QList<Answer>{{0, 0.95, 0, nullptr}, {1, 1.70, 1, "more than 6% away"}};
        QTest::newRow("a fall within the band") << 0.92 << -10 << QList<Answer>{{0, 0.84, 0, nullptr, true}};
        QTest::newRow("wider with every day, up to a tenth")
            << 0.92 << -60 << QList<Answer>{{0, 1.60, 0, "more than 10% away"}, {1, 1.01, 1, nullptr, true}};
        // Dated two months back, an answer is older than the stored rate:
        // the next one is still judged against that rate and its date.
        QTest::newRow("dated two months back") << 0.92 << -1
                                               << QList<Answer>{{0, 0.92, -61, "older than the rate of"},
                                                                {1, 1.13, 1, "more than 7% away"},
                                                                {2, 0.93, 2, nullptr}};
        // The stored date is the answer's own: a weekend's answer names the
        // Friday before.
        QTest::newRow("dated before today") << 0.92 << -3 << QList<Answer>{{0, 0.93, -2, nullptr}};
        QTest::newRow("undated: today's") << 0.92 << -1 << QList<Answer>{{0, 0.95, undated, nullptr}};
        QTest::newRow("dated next week") << 0.92 << -1 << QList<Answer>{{0, 0.92, 7, "a day still to come"}};
        // Stored by a clock that ran ahead: its age is unknown.
        QTest::newRow("stored for next week") << 0.92 << 7
                                              << QList<Answer>{{0, 1.80, 0, "under half the built-in rate"},
                                                               {0, 1.60, 0, "more than 10% away"},
                                                               {1, 1.01, 1, nullptr, true}};
    }
    void aRateIsJudgedByTheDaysSinceTheStoredOne()
    {
        QFETCH(double, stored);
        QFETCH(int, storedOn);
        QFETCH(QList<Answer>, answers);
        const test::ManualTime clock;
        const QDate first = SteadyClock::today();
        QDate inUseOn = storedOn == Answer::undated ? QDate() : first.addDays(storedOn);
        double inUse = stored > 0.0 ? stored : 0.86;
        FxRates::store({{QStringLiteral("EUR"), inUse}}, inUseOn);
        if (!inUseOn.isValid())
            test::setSetting(QStringLiteral("pricing/usdToEurDate"), QVariant());
        if (stored == 0.0)
            test::setSetting(QStringLiteral("pricing/usdToEur"), QVariant());
        FxRates::reload();
        for (const Answer &answer : std::as_const(answers)) {
            while (SteadyClock::today() < first.addDays(answer.day))
                SteadyClock::advance(24 * 3600 * 1000);
            if (answer.rate == 0.0) {
                QVERIFY(!FxRates::isDue());
                continue;
            }
            QVERIFY(FxRates::isDue() || !FxRates::isStale());
            const QDate dated = answer.dated == Answer::undated ? QDate() : first.addDays(answer.dated);
            QString refusal;
            const int logged = test::logSize();
            const bool taken = fetchAnswer(perDollar("\"EUR\": " + QByteArray::number(answer.rate), dated), &refusal);
            const QString said = QString::fromLatin1(answer.said);
            QVERIFY2(said.isEmpty() ? refusal.isEmpty() : refusal.contains(said), qPrintable(refusal));
            QCOMPARE(taken, said.isEmpty());
            const QStringList moved = test::logMessages(QStringLiteral("fx"), Log::Info, logged);
            QCOMPARE(moved.filter(QStringLiteral("The EUR rate moved by")).size(), answer.moved ? 1 : 0);
            // The same day's rate again leaves the stored figure as it is.
            if (taken && (dated.isValid() ? dated : SteadyClock::today()) != inUseOn) {
                inUse = answer.rate;
                inUseOn = dated.isValid() ? dated : SteadyClock::today();
            }
            QCOMPARE(FxRates::usdToEur(), inUse);
            QCOMPARE(FxRates::storedDate(), inUseOn);
        }
    }

    // Every rate stored is judged as the euro's is, one unusable is left
    // out; only the euro's refuses the whole answer. A rate kept back keeps
    // its own date.
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
                                             "more than 6% away from the rate of %1 (1 USD = 150.00000 JPY), "
                                             "kept aside until the service answers it again for a later day; "
                                             "keeping the stored JPY rate.")
                                  .arg(yesterday.toString(Qt::ISODate)),
                              QStringLiteral("Rate reply refused in part: the service answered 1 USD = 79.00000 GBP, "
                                             "more than twice or under half the built-in rate (1 USD = 0.79000 GBP); "
                                             "keeping the stored GBP rate.")}));
        // The next day the yen's rate is two days old, the euro's one.
        SteadyClock::advance(24 * 3600 * 1000);
        QVERIFY(fetchAnswer(perDollar(R"("EUR": 0.93, "JPY": 160)", SteadyClock::today())));
        QCOMPARE(FxRates::rateFor(QStringLiteral("JPY")), 160.0);
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
