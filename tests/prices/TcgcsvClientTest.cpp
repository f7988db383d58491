#include "PricesTestSupport.h"
#include "TestRegistry.h"

#include "core/NetworkReplies.h"
#include "core/SteadyClock.h"
#include "prices/TcgcsvClient.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace pv;
using namespace pv::test;

namespace {

const QString kUnauthorised = QStringLiteral(
    "TCGCSV refused the request (401). The User-Agent header was rejected; no account is involved.");

// How many "#id GET url" lines the client has logged: its sends.
int sendCount()
{
    int sends = 0;
    for (const LogEntry &entry : Log::instance().entries()) {
        if (entry.category == TcgcsvClient::logCategory() && entry.message.startsWith(QLatin1Char('#'))
            && entry.message.contains(QLatin1String(" GET ")))
            ++sends;
    }
    return sends;
}

// Gives the client's pacer a few chances to send (it waits for the clock).
void letThePacerRun()
{
    QTest::qWait(3 * TcgcsvClient::PacingIntervalMs);
}

} // namespace

// The TCGCSV client over real HTTP: pacing, the products-then-prices chain,
// the service's envelope, cancellation and time-outs.
class TcgcsvClientTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;

private Q_SLOTS:
    void init()
    {
        m_standIn = freshStandIn();
    }
    void cleanup() { SteadyClock::useRealTime(); }

    // The pacing runs on a clock the test moves: a send goes out only once
    // 100 ms have passed on it since construction or the send before.
    void pacesSendsOneAtATime()
    {
        Log::instance().clear();
        SteadyClock::useManualTime();
        TcgcsvClient client;
        QSignalSpy groups(&client, &TcgcsvClient::groupsReady);
        QSignalSpy data(&client, &TcgcsvClient::groupDataReady);
        QSignalSpy pending(&client, &TcgcsvClient::pendingCountChanged);
        QCOMPARE(client.requestGroups(3), 1);
        QCOMPARE(client.requestGroupData(3, 604), 2);

        SteadyClock::advance(TcgcsvClient::PacingIntervalMs - 1);
        letThePacerRun();
        QCOMPARE(sendCount(), 0);
        SteadyClock::advance(1);
        QTRY_COMPARE_WITH_TIMEOUT(sendCount(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(groups.size(), 1, 20000);

        // The answer is in, but the clock has not moved: the products wait.
        letThePacerRun();
        QCOMPARE(sendCount(), 1);
        SteadyClock::advance(TcgcsvClient::PacingIntervalMs);
        QTRY_COMPARE_WITH_TIMEOUT(sendCount(), 2, 20000);
        // The prices request goes out once the products are in (one request
        // in flight), however early the clock allows it.
        SteadyClock::advance(TcgcsvClient::PacingIntervalMs);
        QTRY_COMPARE_WITH_TIMEOUT(sendCount(), 3, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(data.size(), 1, 20000);
        SteadyClock::useRealTime();

        const QList<WebStandIn::RequestRecord> sent = m_standIn->requests(QStringLiteral("^/tcgplayer/"));
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent.at(0).target, QStringLiteral("/tcgplayer/3/groups"));
        QCOMPARE(sent.at(1).target, QStringLiteral("/tcgplayer/3/604/products"));
        QCOMPARE(sent.at(2).target, QStringLiteral("/tcgplayer/3/604/prices"));
        QCOMPARE(m_standIn->peakInFlight(QStringLiteral("^/tcgplayer/")), 1);

        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups.at(0).at(0).toInt(), 1);
        QCOMPARE(groups.at(0).at(1).toInt(), 3);
        const auto groupList = groups.at(0).at(2).value<QList<TcgcsvGroup>>();
        QCOMPARE(groupList.size(), 218);
        QVERIFY(logHas(TcgcsvClient::logCategory(), QStringLiteral("Category 3: 218 groups listed."), Log::Info));

        // Products and prices come back once, under the id of the request.
        QCOMPARE(data.size(), 1);
        QCOMPARE(data.at(0).at(0).toInt(), 2);
        const auto group = data.at(0).at(1).value<TcgcsvGroupData>();
        QCOMPARE(group.categoryId, 3);
        QCOMPARE(group.groupId, 604);
        QCOMPARE(group.productCount, 106);
        const TcgcsvProduct charizard = group.products.value(QStringLiteral("4"));
        QCOMPARE(charizard.productId, 42382);  // not the unpriced error print sharing its number
        QCOMPARE(charizard.number, QStringLiteral("004/102"));
        QCOMPARE(charizard.rarity, QStringLiteral("Holo Rare"));
        QCOMPARE(charizard.marketPrices.value(QStringLiteral("Holofoil")), 351.82);
        QCOMPARE(group.products.value(QStringLiteral("1")).marketPrices.value(QStringLiteral("Holofoil")), 11.24);

        QCOMPARE(pending.last().at(0).toInt(), 0);
        QCOMPARE(client.pendingCount(), 0);
    }

    void groupWithoutNumbersStillAsksForPrices()
    {
        TcgcsvClient client;
        QSignalSpy data(&client, &TcgcsvClient::groupDataReady);
        client.requestGroupData(85, 23721);
        QVERIFY(data.wait(20000));
        const auto group = data.at(0).at(1).value<TcgcsvGroupData>();
        QVERIFY(group.products.isEmpty());
        QCOMPARE(group.productCount, 103);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/85/23721/prices$")), 1);
    }

    void productsAreFiledByCollectorNumber()
    {
        const QJsonArray products{
            product(1, QStringLiteral("Pikachu"), QStringLiteral("004/102")),
            product(2, QStringLiteral("Pikachu (Staff)"), QStringLiteral("4")),
            product(3, QStringLiteral("Raichu (Promo)"), QStringLiteral("5")),
            product(4, QStringLiteral("Raichu"), QStringLiteral("005")),
            product(5, QStringLiteral("Eevee (A)"), QStringLiteral("6")),
            product(6, QStringLiteral("Eevee (B)"), QStringLiteral("6")),
            product(7, QStringLiteral("Onix"), QStringLiteral("7")),
            product(8, QStringLiteral("Onix Reprint"), QStringLiteral("7")),  // unpriced
            product(9, QStringLiteral("Geodude"), QStringLiteral("8")),       // unpriced
            product(10, QStringLiteral("Geodude Reprint"), QStringLiteral("8")),
            product(11, QStringLiteral("Booster Box"), QString()),
            QJsonObject{{QStringLiteral("productId"), 12},
                        {QStringLiteral("name"), QStringLiteral("Lower-case key")},
                        {QStringLiteral("extendedData"),
                         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("number")},
                                                {QStringLiteral("value"), QStringLiteral("9")}}}}},
            product(13, QStringLiteral("  Mew  "), QStringLiteral(" SV012 ")),
            product(14, QStringLiteral("Jolteon"), QStringLiteral("10")),  // unpriced
            product(15, QStringLiteral("Jolteon (Staff)"), QStringLiteral("10")),
            product(16, QStringLiteral("Flareon (Staff)"), QStringLiteral("11")),
            product(17, QStringLiteral("Flareon"), QStringLiteral("11")),  // unpriced
        };
        const QJsonArray prices{
            priceRow(1, QStringLiteral("Holofoil"), 1.0),
            priceRow(1, QStringLiteral("Holofoil"), 2.0), // two figures: which one is not known
            priceRow(1, QStringLiteral("Holofoil"), 1.0),
            priceRow(1, QStringLiteral("Normal"), QJsonValue::Null),
            priceRow(1, QStringLiteral("Reverse Holofoil"), 0),
            priceRow(1, QStringLiteral("1st Edition"), QStringLiteral("3.5")),
            priceRow(2, QStringLiteral("Holofoil"), 5.0),
            priceRow(4, QStringLiteral("Normal"), 0.5),
            priceRow(6, QStringLiteral("Normal"), 0.6),
            priceRow(7, QStringLiteral("Normal"), 0.7),
            priceRow(10, QStringLiteral("Normal"), 1.0),
            priceRow(11, QStringLiteral("Normal"), 99.0),
            priceRow(13, QStringLiteral("Holofoil"), 3.0),
            priceRow(13, QStringLiteral("Holofoil"), 3.0),  // the same row again
            priceRow(13, QStringLiteral("Normal"), 1.2e29), // beyond any real price
            priceRow(13, QStringLiteral("Reverse Holofoil"), 2.0),
            priceRow(13, QStringLiteral("Reverse Holofoil"), -2.0),
            priceRow(15, QStringLiteral("Holofoil"), 4.0),
            priceRow(16, QStringLiteral("Holofoil"), 4.5),
        };
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/990001/products"), envelopeBody(products));
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/990001/prices"), envelopeBody(prices));

        TcgcsvClient client;
        QSignalSpy data(&client, &TcgcsvClient::groupDataReady);
        client.requestGroupData(3, 990001);
        QVERIFY(data.wait(20000));
        const auto group = data.at(0).at(1).value<TcgcsvGroupData>();
        QCOMPARE(group.productCount, 17);
        QCOMPARE(group.products.size(), 8);
        // A plain name keeps its number against a parenthesised one, in either order.
        QCOMPARE(group.products.value(QStringLiteral("4")).productId, 1);
        QCOMPARE(group.products.value(QStringLiteral("5")).productId, 4);
        // Two parenthesised names: the later one.
        QCOMPARE(group.products.value(QStringLiteral("6")).productId, 6);
        // An unpriced product never displaces a priced one; a priced one does displace.
        QCOMPARE(group.products.value(QStringLiteral("7")).productId, 7);
        QCOMPARE(group.products.value(QStringLiteral("8")).productId, 10);
        // Being priced counts before the plain name, in either order.
        QCOMPARE(group.products.value(QStringLiteral("10")).productId, 15);
        QCOMPARE(group.products.value(QStringLiteral("11")).productId, 16);
        const TcgcsvProduct mew = group.products.value(QStringLiteral("SV012"));
        QCOMPARE(mew.name, QStringLiteral("Mew"));
        QCOMPARE(mew.number, QStringLiteral("SV012"));

        // A sub-type listed at two figures has neither, and its product
        // still counts as priced; one listed twice alike is one row.
        // So has one at a figure that is no price (text, below 0, beyond any
        // price), even beside a good one; such rows are counted.
        const TcgcsvProduct pikachu = group.products.value(QStringLiteral("4"));
        QVERIFY(pikachu.marketPrices.isEmpty());
        QCOMPARE(pikachu.disputedSubTypes, (QSet<QString>{QStringLiteral("Holofoil"), QStringLiteral("1st Edition")}));
        QCOMPARE(mew.marketPrices, (QHash<QString, double>{{QStringLiteral("Holofoil"), 3.0}}));
        QCOMPARE(mew.disputedSubTypes, (QSet<QString>{QStringLiteral("Normal"), QStringLiteral("Reverse Holofoil")}));
        QVERIFY(logHas(TcgcsvClient::logCategory(),
                       QStringLiteral("Group 990001: skipped 1 price row(s) whose market price is not a number and 2 "
                                      "below 0 or beyond 10000000; those printings get no fallback price."),
                       Log::Warn));
    }

    void envelopeFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("401") << 401 << QByteArray("{}") << kUnauthorised;
        QTest::newRow("success false, with errors")
            << 200 << QByteArray(R"({"success":false,"errors":["Category 3 is resting"],"results":[]})")
            << QStringLiteral("Category 3 is resting");
        QTest::newRow("success false, no errors")
            << 200 << QByteArray(R"({"success":false,"errors":[],"results":[]})")
            << QStringLiteral("the service reported a failure");
        QTest::newRow("success false, error not a text")
            << 200 << QByteArray(R"({"success":false,"errors":[{"code":7}]})")
            << QStringLiteral("the service reported a failure");
        QTest::newRow("no success") << 200 << QByteArray(R"({"errors":[],"results":[]})")
                                    << QStringLiteral("the service reported a failure");
        QTest::newRow("success as text") << 200 << QByteArray(R"({"success":"true","results":[]})")
                                         << QStringLiteral("the service reported a failure");
        QTest::newRow("not JSON") << 200 << QByteArray("<html><body>Busy</body></html>")
                                  << QStringLiteral("Malformed response: illegal value");
        QTest::newRow("a list, not an envelope") << 200 << QByteArray(R"([{"groupId":604}])")
                                                 << QStringLiteral("Malformed response: the reply is not an object");
        QTest::newRow("results not a list")
            << 200 << QByteArray(R"({"success":true,"errors":[],"results":{"groupId":604}})")
            << QStringLiteral("Malformed response: \"results\" is not an array");
    }

    void envelopeFailures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/groups"), body, status);

        TcgcsvClient client;
        QSignalSpy groups(&client, &TcgcsvClient::groupsReady);
        QSignalSpy failed(&client, &TcgcsvClient::requestFailed);
        const int id = client.requestGroups(3);
        // The next request is untouched by the failure before it.
        client.requestGroups(85);
        QVERIFY(groups.wait(20000));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), id);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("the TCGCSV set list"));
        QCOMPARE(failed.at(0).at(2).toString(), message);
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups.at(0).at(1).toInt(), 85);
    }

    // Qt's own text for an error status names the address and little else.
    void httpErrorsAreNamedPlainly()
    {
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/990002/products"), WebStandIn::Fault::httpStatus(503));
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/990003/products"), WebStandIn::Fault::httpStatus(404));
        TcgcsvClient client;
        QSignalSpy failed(&client, &TcgcsvClient::requestFailed);
        client.requestGroupData(3, 990002);
        client.requestGroupData(3, 990003);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 20000);
        QCOMPARE(failed.at(0).at(2).toString(),
                 QStringLiteral("The TCGCSV service is temporarily unavailable (HTTP 503). Please try again in a moment."));
        QCOMPARE(failed.at(1).at(2).toString(), QStringLiteral("The TCGCSV service answered HTTP 404 (Not Found)."));
    }

    // The service lists every set it ever had: no list at all is a failed
    // answer, told apart from one of the wrong shape, not an empty catalogue.
    void emptyResultsFailAsEmpty()
    {
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/groups"), QByteArray(R"({"success":true})"));
        TcgcsvClient client;
        QSignalSpy groups(&client, &TcgcsvClient::groupsReady);
        QSignalSpy failed(&client, &TcgcsvClient::requestFailed);
        client.requestGroups(3);
        QVERIFY(failed.wait(20000));
        QVERIFY(groups.isEmpty());
        QCOMPARE(failed.at(0).at(2).toString(), QStringLiteral("the list came back empty"));
        QCOMPARE(failed.at(0).at(3).value<ReplyFailure>(), ReplyFailure::Empty);
    }

    void failedPricesFailTheGroupUnderItsId()
    {
        m_standIn->addFault(QStringLiteral("/604/prices"), WebStandIn::Fault::httpStatus(500));
        TcgcsvClient client;
        QSignalSpy data(&client, &TcgcsvClient::groupDataReady);
        QSignalSpy failed(&client, &TcgcsvClient::requestFailed);
        client.requestGroups(3);
        const int id = client.requestGroupData(3, 604);
        QVERIFY(failed.wait(20000));
        QCOMPARE(failed.at(0).at(0).toInt(), id);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("TCGCSV prices for group 604"));
        QVERIFY(!failed.at(0).at(2).toString().isEmpty());
        QVERIFY(data.isEmpty());
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/604/")), 2);
        QVERIFY(logHas(TcgcsvClient::logCategory(),
                       QStringLiteral("#%1 %2/3/604/prices failed: %3")
                           .arg(QString::number(id), TcgcsvClient::apiBase(), failed.at(0).at(2).toString()),
                       Log::Warn));
    }

    void cancelAllIsSilentButForThePendingCount()
    {
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/groups"), WebStandIn::Fault::delay(3000));
        TcgcsvClient client;
        QSignalSpy groups(&client, &TcgcsvClient::groupsReady);
        QSignalSpy data(&client, &TcgcsvClient::groupDataReady);
        QSignalSpy failed(&client, &TcgcsvClient::requestFailed);
        QSignalSpy pending(&client, &TcgcsvClient::pendingCountChanged);
        const int running = client.requestGroups(3);
        client.requestGroupData(3, 604);
        QTRY_COMPARE_WITH_TIMEOUT(m_standIn->inFlight(), 1, 20000);

        pending.clear();
        client.cancelAll();
        QCOMPARE(client.pendingCount(), 0);
        QVERIFY(!pending.isEmpty());
        QCOMPARE(pending.last().at(0).toInt(), 0);
        QVERIFY(logHas(TcgcsvClient::logCategory(),
                       QStringLiteral("#%1 cancelled (the TCGCSV set list)").arg(running), Log::Debug));

        // A request made afterwards is answered, and nothing else ever is.
        const int after = client.requestGroups(85);
        QVERIFY(groups.wait(20000));
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups.at(0).at(0).toInt(), after);
        QVERIFY(data.isEmpty());
        QVERIFY(failed.isEmpty());
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/604/")), 0);
    }

    void destroyingTheClientCancelsItsRequest()
    {
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/groups"), WebStandIn::Fault::delay(3000));
        int answers = 0;
        auto client = std::make_unique<TcgcsvClient>();
        connect(client.get(), &TcgcsvClient::groupsReady, this, [&answers] { ++answers; });
        connect(client.get(), &TcgcsvClient::requestFailed, this, [&answers] { ++answers; });
        const int id = client->requestGroups(3);
        QTRY_COMPARE_WITH_TIMEOUT(m_standIn->inFlight(), 1, 20000);
        client.reset();
        QVERIFY(logHas(TcgcsvClient::logCategory(),
                       QStringLiteral("#%1 cancelled (the TCGCSV set list)").arg(id), Log::Debug));
        QCOMPARE(answers, 0);
    }

    void timeOutIsReportedAsATimeOut()
    {
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/groups"), WebStandIn::Fault::delay(3000));
        TcgcsvClient client;
        client.setTransferTimeout(300);
        QSignalSpy failed(&client, &TcgcsvClient::requestFailed);
        client.requestGroups(3);
        QVERIFY(failed.wait(20000));
        QCOMPARE(failed.at(0).at(2).toString(), timeoutMessage(300));
        QCOMPARE(client.pendingCount(), 0);
    }

    // One request at a time: a reply that never finishes, or never stops,
    // would hold up every fallback price behind it.
    void aTrickleOrAFloodIsCutOff()
    {
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/groups"), WebStandIn::Fault::trickle(50));
        m_standIn->addFault(QStringLiteral("/tcgplayer/85/groups"), WebStandIn::Fault::oversized(qint64(2) << 30));
        m_standIn->addFault(QStringLiteral("/tcgplayer/3/604/products"), WebStandIn::Fault::endless());
        // The trickle meets a short deadline; the floods get a long one, so
        // that only their size can end them, however busy the machine is.
        TcgcsvClient slow;
        slow.setTransferTimeout(300);
        slow.setDeadline(700);
        TcgcsvClient flooded;
        flooded.setDeadline(60000);
        QSignalSpy slowFailed(&slow, &TcgcsvClient::requestFailed);
        QSignalSpy failed(&flooded, &TcgcsvClient::requestFailed);
        slow.requestGroups(3);
        flooded.requestGroups(85);
        flooded.requestGroupData(3, 604);
        QTRY_COMPARE_WITH_TIMEOUT(slowFailed.size(), 1, 20000);
        QCOMPARE(slowFailed.at(0).at(2).toString(), timeoutMessage(700));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 60000);
        QCOMPARE(failed.at(0).at(2).toString(), tooLargeMessage(TcgcsvClient::maxReplyBytes(TcgcsvClient::Groups)));
        QCOMPARE(failed.at(1).at(2).toString(), tooLargeMessage(TcgcsvClient::maxReplyBytes(TcgcsvClient::Products)));
        QCOMPARE(slow.pendingCount() + flooded.pendingCount(), 0);
    }
};

PV_REGISTER_TEST(TcgcsvClientTest)
#include "TcgcsvClientTest.moc"
