#include "StandInFetch.h"
#include "TestRegistry.h"
#include "standin/WebStandIn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace pv::test;

// Scripted misbehaviour, as the program's clients meet it over real HTTP,
// and the request log that tests read pacing and concurrency from.
class FaultInjectionTest : public QObject
{
    Q_OBJECT

    WebStandIn m_standIn;
    QNetworkAccessManager m_network;

    QString url(const QString &path) const { return m_standIn.origin() + path; }
    Fetched get(const QString &path) { return fetch(m_network, url(path)); }
    static bool parses(const QByteArray &body)
    {
        QJsonParseError error;
        QJsonDocument::fromJson(body, &error);
        return error.error == QJsonParseError::NoError;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_standIn.start(), qPrintable(m_standIn.errorString()));
    }
    void init()
    {
        m_standIn.reset();
    }

    void statusForTheNextRequests_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("path");
        QTest::newRow("404 card") << 404 << "/v2/en/cards/sv03-001";
        QTest::newRow("429 rates") << 429 << "/v1/latest?base=USD&symbols=EUR";
        QTest::newRow("500 groups") << 500 << "/tcgplayer/3/groups";
        QTest::newRow("503 picture") << 503 << "/en/sv/sv03/001/low.jpg";
    }
    void statusForTheNextRequests()
    {
        QFETCH(int, code);
        QFETCH(QString, path);
        const int id = m_standIn.addFault(QRegularExpression::escape(path), WebStandIn::Fault::httpStatus(code), 2);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const Fetched reply = get(path);
            QCOMPARE(reply.status, code);
            QVERIFY(reply.error != QNetworkReply::NoError);
        }
        QCOMPARE(m_standIn.faultsLeft(id), 0);
        QCOMPARE(get(path).status, 200);

        const auto log = m_standIn.requests();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(0).fault, QStringLiteral("status"));
        QCOMPARE(log.at(0).status, code);
        QVERIFY(log.at(2).fault.isEmpty());
    }

    void statusBodies()
    {
        m_standIn.addFault(QStringLiteral("sv03-001"), WebStandIn::Fault::httpStatus(404));
        const Fetched missing = get(QStringLiteral("/v2/en/cards/sv03-001"));
        QCOMPARE(missing.json()[QStringLiteral("type")].toString(), QStringLiteral("https://tcgdex.dev/errors/not-found"));
        QCOMPARE(missing.json()[QStringLiteral("endpoint")].toString(), QStringLiteral("/en/cards/sv03-001"));

        m_standIn.addFault(QStringLiteral("rarities"), WebStandIn::Fault::httpStatus(429));
        QNetworkReply *reply = m_network.get(QNetworkRequest(QUrl(url(QStringLiteral("/v2/en/rarities")))));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->rawHeader("Retry-After"), QByteArray("1"));
        QCOMPARE(QJsonDocument::fromJson(reply->readAll())[QStringLiteral("status")].toInt(), 429);
        delete reply;
    }

    void closedConnection()
    {
        // Qt sends a GET once more when the connection closes unanswered.
        m_standIn.addFault(QStringLiteral("/v2/en/rarities"), WebStandIn::Fault::closeConnection(), 2);
        const Fetched reply = get(QStringLiteral("/v2/en/rarities"));
        QCOMPARE(reply.status, 0);
        QCOMPARE(reply.error, QNetworkReply::RemoteHostClosedError);
        const auto log = m_standIn.requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(1).fault, QStringLiteral("close"));
        QCOMPARE(log.at(1).status, 0);
        QVERIFY(log.at(1).finishedMs >= 0);
        QCOMPARE(get(QStringLiteral("/v2/en/rarities")).status, 200);
    }

    void delayedAnswers()
    {
        m_standIn.addFault(QStringLiteral("/v2/en/rarities"), WebStandIn::Fault::delay(300));
        const Fetched late = get(QStringLiteral("/v2/en/rarities"));
        QCOMPARE(late.status, 200);
        QCOMPARE(late.json().array().size(), 40);
        QVERIFY(late.ms >= 290);
        const auto record = m_standIn.requests().constFirst();
        QVERIFY(record.finishedMs - record.arrivedMs >= 290);

        m_standIn.addFault(QStringLiteral("/v2/en/rarities"), WebStandIn::Fault::httpStatus(503).after(200));
        const Fetched lateFailure = get(QStringLiteral("/v2/en/rarities"));
        QCOMPARE(lateFailure.status, 503);
        QVERIFY(lateFailure.ms >= 190);
    }

    // A refused connection, a card without its prices or without the
    // TCGplayer block of them, and holds that add up ahead of the fault
    // that shapes the answer.
    void refusedPricelessAndHeld()
    {
        m_standIn.addServiceFault(QStringLiteral("tcgcsv"), WebStandIn::Fault::refuse());
        QCOMPARE(get(QStringLiteral("/tcgplayer/3/groups")).error, QNetworkReply::ConnectionRefusedError);
        QCOMPARE(m_standIn.requests().constFirst().fault, QStringLiteral("refuse"));
        QCOMPARE(get(QStringLiteral("/tcgplayer/3/groups")).status, 200);

        m_standIn.addServiceFault(QStringLiteral("tcgdex"), WebStandIn::Fault::hold(100), -1);
        m_standIn.addFault(QStringLiteral("/cards/"), WebStandIn::Fault::hold(100), -1);
        m_standIn.addFault(QStringLiteral("sv03-001$"), WebStandIn::Fault::noPricing());
        const QJsonObject card = get(QStringLiteral("/v2/en/cards/sv03-001")).json().object();
        QCOMPARE(card.value(QStringLiteral("id")).toString(), QStringLiteral("sv03-001"));
        QVERIFY(!card.contains(QStringLiteral("pricing")));
        const auto record = m_standIn.requests().constLast();
        QCOMPARE(record.fault, QStringLiteral("hold+hold+no-pricing"));
        QVERIFY(record.finishedMs - record.arrivedMs >= 200);
        QVERIFY(get(QStringLiteral("/v2/en/cards/sv03-001")).json()[QStringLiteral("pricing")].isObject());

        m_standIn.addFault(QStringLiteral("sv03-002$"), WebStandIn::Fault::noTcgplayer());
        const QJsonObject prices =
            get(QStringLiteral("/v2/en/cards/sv03-002")).json()[QStringLiteral("pricing")].toObject();
        QVERIFY(prices.contains(QStringLiteral("cardmarket")) && !prices.contains(QStringLiteral("tcgplayer")));
        QCOMPARE(m_standIn.requests().constLast().fault, QStringLiteral("hold+hold+no-tcgplayer"));
    }

    void brokenBodies()
    {
        m_standIn.addFault(QStringLiteral("/v2/en/series$"), WebStandIn::Fault::truncatedBody());
        const Fetched full = get(QStringLiteral("/v2/en/sets/sv03"));
        const Fetched truncated = get(QStringLiteral("/v2/en/series"));
        QCOMPARE(truncated.status, 200);
        QCOMPARE(truncated.error, QNetworkReply::NoError);
        QVERIFY(!truncated.body.isEmpty());
        QVERIFY(!parses(truncated.body));
        QVERIFY(parses(get(QStringLiteral("/v2/en/series")).body));
        QVERIFY(parses(full.body));

        m_standIn.addFault(QStringLiteral("/v2/en/series$"), WebStandIn::Fault::notJson());
        const Fetched html = get(QStringLiteral("/v2/en/series"));
        QCOMPARE(html.status, 200);
        QVERIFY(html.contentType.startsWith("text/html"));
        QVERIFY(!parses(html.body));

        // The announced length is never reached. Qt reports a closed
        // connection, or, when the close comes with the last bytes, hands
        // over the half body as if complete; either way nothing parses.
        // (Qt may also send the GET again when the connection drops early, so
        // every attempt is cut off until the rule goes.)
        const int cutOff = m_standIn.addFault(QStringLiteral("/v2/en/cards$"), WebStandIn::Fault::cutOffBody(), -1);
        const Fetched cut = get(QStringLiteral("/v2/en/cards"));
        m_standIn.removeFault(cutOff);
        QVERIFY(cut.error != QNetworkReply::NoError || !parses(cut.body));
        QVERIFY(cut.body.size() < 2000000);
        // The next request finds a fresh connection and the whole answer.
        QVERIFY(parses(get(QStringLiteral("/v2/en/cards")).body));
        QVERIFY(m_standIn.requests(QStringLiteral("/v2/en/cards$")).constFirst().bodyBytes > 0);
    }

    void wrongShapes()
    {
        m_standIn.addFault(QStringLiteral("/v2/en/cards$"), WebStandIn::Fault::wrongShape());
        m_standIn.addFault(QStringLiteral("/v2/en/cards/"), WebStandIn::Fault::wrongShape());
        m_standIn.addFault(QStringLiteral("/tcgplayer/"), WebStandIn::Fault::wrongShape());
        QVERIFY(get(QStringLiteral("/v2/en/cards")).json().isObject());
        QVERIFY(get(QStringLiteral("/v2/en/cards/sv03-001")).json().isArray());
        QVERIFY(get(QStringLiteral("/tcgplayer/3/groups")).json().isArray());
        QVERIFY(get(QStringLiteral("/v2/en/cards")).json().isArray());
    }

    void customAnswers()
    {
        m_standIn.addFault(QStringLiteral("/tcgplayer/3/groups"),
                           WebStandIn::Fault::custom(200, "application/json",
                                                     R"({"totalItems":0,"success":false,"errors":["busy"],"results":[]})"));
        const Fetched envelope = get(QStringLiteral("/tcgplayer/3/groups"));
        QCOMPARE(envelope.status, 200);
        QCOMPARE(envelope.json()[QStringLiteral("success")].toBool(), false);
        QCOMPARE(envelope.json()[QStringLiteral("errors")].toArray().at(0).toString(), QStringLiteral("busy"));

        m_standIn.addFault(QStringLiteral("/tcgplayer/3/groups"), WebStandIn::Fault::custom(401, "text/plain", "no"));
        QCOMPARE(get(QStringLiteral("/tcgplayer/3/groups")).status, 401);
    }

    void patternsCountsAndOrder()
    {
        const int lasting = m_standIn.addFault(QStringLiteral("/v2/en/cards/sv03-00[12]$"), WebStandIn::Fault::httpStatus(500), -1);
        m_standIn.addFault(QStringLiteral("/v2/en/cards/"), WebStandIn::Fault::httpStatus(503), 1);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(get(QStringLiteral("/v2/en/cards/sv03-001")).status, 500);
        QCOMPARE(m_standIn.faultsLeft(lasting), -1);
        // The first rule does not match here, so the second one applies once.
        QCOMPARE(get(QStringLiteral("/v2/en/cards/sv03-003")).status, 503);
        QCOMPARE(get(QStringLiteral("/v2/en/cards/sv03-003")).status, 200);
        QCOMPARE(get(QStringLiteral("/v2/ja/cards/SV3-001")).status, 200);
        m_standIn.removeFault(lasting);
        QCOMPARE(get(QStringLiteral("/v2/en/cards/sv03-001")).status, 200);

        m_standIn.addFault(QStringLiteral("."), WebStandIn::Fault::httpStatus(500), -1);
        m_standIn.clearFaults();
        QCOMPARE(get(QStringLiteral("/v2/en/rarities")).status, 200);
    }

    void theLogRecordsEveryRequest()
    {
        QSignalSpy arrived(&m_standIn, &WebStandIn::requestArrived);
        QSignalSpy finished(&m_standIn, &WebStandIn::requestFinished);
        const qint64 before = m_standIn.elapsedMs();
        get(QStringLiteral("/v2/en/rarities"));
        get(QStringLiteral("/tcgplayer/3/groups"));
        get(QStringLiteral("/v1/latest"));
        get(QStringLiteral("/en/sv/sv03/logo.png"));
        get(QStringLiteral("/nothing"));

        const auto log = m_standIn.requests();
        QCOMPARE(log.size(), 5);
        QCOMPARE(arrived.size(), 5);
        QCOMPARE(finished.size(), 5);
        const QStringList services = {"tcgdex", "tcgcsv", "fx", "images", "other"};
        for (int i = 0; i < log.size(); ++i) {
            QCOMPARE(log.at(i).service, services.at(i));
            QCOMPARE(log.at(i).method, QByteArray("GET"));
            QVERIFY(log.at(i).arrivedMs >= before);
            QVERIFY(log.at(i).finishedMs >= log.at(i).arrivedMs);
            if (i > 0)
                QVERIFY(log.at(i).arrivedMs >= log.at(i - 1).finishedMs);
        }
        QCOMPARE(log.at(0).target, QStringLiteral("/v2/en/rarities"));
        QCOMPARE(log.at(4).status, 404);
        // One after the other, the requests share a kept-alive connection.
        QCOMPARE(log.at(1).connection, log.at(0).connection);
        QCOMPARE(m_standIn.requestCount(QStringLiteral("^/v2/")), 1);

        m_standIn.clearLog();
        QCOMPARE(m_standIn.requestCount(), 0);
    }

    void requestsInFlight()
    {
        // An answer written the moment its request arrives still had it open.
        QNetworkReply *quick = m_network.get(QNetworkRequest(QUrl(url(QStringLiteral("/v2/en/rarities")))));
        QTRY_VERIFY(quick->isFinished());
        delete quick;
        QCOMPARE(m_standIn.peakInFlight(), 1);
        m_standIn.clearLog();

        // Qt's network access manager keeps at most six connections per host.
        m_standIn.addFault(QStringLiteral("/v2/en/cards/"), WebStandIn::Fault::delay(300), -1);
        QList<QNetworkReply *> replies;
        for (int i = 1; i <= 8; ++i) {
            const QString id = QStringLiteral("sv03-%1").arg(i, 3, 10, QLatin1Char('0'));
            replies.append(m_network.get(QNetworkRequest(QUrl(url(QStringLiteral("/v2/en/cards/") + id)))));
        }
        QTRY_COMPARE(m_standIn.inFlight(), 6);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(replies.cbegin(), replies.cend(), [](QNetworkReply *r) { return r->isFinished(); }), 10000);
        for (QNetworkReply *reply : replies) {
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            delete reply;
        }
        QCOMPARE(m_standIn.inFlight(), 0);
        QCOMPARE(m_standIn.peakInFlight(), 6);
        QCOMPARE(m_standIn.peakInFlight(QStringLiteral("sv03-00[12]$")), 2);

        // The seventh request waited for a free connection.
        const auto log = m_standIn.requests();
        QCOMPARE(log.size(), 8);
        qint64 firstFinish = log.at(0).finishedMs;
        for (int i = 0; i < 6; ++i)
            firstFinish = std::min(firstFinish, log.at(i).finishedMs);
        QVERIFY(log.at(6).arrivedMs >= firstFinish);
    }

    void clientsThatGiveUpAreForgotten()
    {
        m_standIn.addFault(QStringLiteral("/v2/en/rarities"), WebStandIn::Fault::delay(300));
        QNetworkReply *reply = m_network.get(QNetworkRequest(QUrl(url(QStringLiteral("/v2/en/rarities")))));
        QTRY_COMPARE(m_standIn.inFlight(), 1);
        reply->abort();
        delete reply;
        QTRY_COMPARE(m_standIn.inFlight(), 0);
        QCOMPARE(m_standIn.requests().constFirst().status, 0);
        QCOMPARE(get(QStringLiteral("/v2/en/rarities")).status, 200);
    }

    void stoppingWithAnswersPending()
    {
        WebStandIn standIn;
        QVERIFY(standIn.start());
        standIn.addFault(QStringLiteral("."), WebStandIn::Fault::delay(5000));
        QNetworkReply *reply = m_network.get(QNetworkRequest(QUrl(standIn.origin() + QStringLiteral("/v2/en/rarities"))));
        QTRY_COMPARE(standIn.inFlight(), 1);
        standIn.stop();
        QVERIFY(!standIn.isListening());
        QCOMPARE(standIn.inFlight(), 0);
        QCOMPARE(standIn.requests().constFirst().status, 0);
        QTRY_VERIFY(reply->isFinished());
        QVERIFY(reply->error() != QNetworkReply::NoError);
        delete reply;
    }
};

PV_REGISTER_TEST(FaultInjectionTest)
#include "FaultInjectionTest.moc"
