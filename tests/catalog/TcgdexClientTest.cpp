#include "LogProbe.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/TcgdexClient.h"
#include "core/NetworkReplies.h"
#include "core/ServiceUrls.h"
#include "standin/WebStandIn.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkDiskCache>
#include <QPixmapCache>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

using pv::Language;
using pv::TcgdexClient;
using pv::test::WebStandIn;
using Fault = WebStandIn::Fault;

namespace {

const QString tcgdex = QStringLiteral("tcgdex");
const QString unavailable503 =
    QStringLiteral("The TCGdex service is temporarily unavailable (HTTP 503). Please try again in a moment.");

QList<int> intsAt(const QSignalSpy &spy, int argument)
{
    QList<int> values;
    for (const auto &call : spy)
        values.append(call.at(argument).toInt());
    return values;
}

} // namespace

// The card database client over real HTTP against the local stand-in, with
// scripted faults and the stand-in's request log as the witness.
class TcgdexClientTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;

    QStringList targets(const QString &pattern = QString()) const
    {
        QStringList list;
        for (const auto &record : m_standIn->requests(pattern))
            list.append(record.target);
        return list;
    }

    // Runs the event loop until nothing is pending (or the time-out passes).
    bool settle(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([this] { return m_client->pendingCount() == 0; }, timeoutMs);
    }

    QString asset(const QString &path) const { return pv::ServiceUrls::defaultAssetsBase() + path; }

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
        // The client must never reach past the stand-in.
        QCOMPARE(pv::ServiceUrls::tcgdexBase(), m_standIn->tcgdexUrl());
        QCOMPARE(pv::ServiceUrls::assetsBase(), m_standIn->assetsUrl());
    }

    void init()
    {
        m_standIn->reset();
        pv::Log::instance().clear();
        QPixmapCache::clear();
        m_client = std::make_unique<TcgdexClient>();
    }

    void cleanup()
    {
        m_client.reset();
        // What the client logged explains most failures.
        if (QTest::currentTestFailed()) {
            for (const auto &entry : pv::Log::instance().entries())
                qInfo("%s", qPrintable(entry.format()));
        }
    }

    void requestAddressesAndAnswers()
    {
        TcgdexClient &client = *m_client;
        QSignalSpy sets(&client, &TcgdexClient::setIndexReady);
        QSignalSpy set(&client, &TcgdexClient::setDetailReady);
        QSignalSpy series(&client, &TcgdexClient::seriesIndexReady);
        QSignalSpy serie(&client, &TcgdexClient::serieDetailReady);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy rarities(&client, &TcgdexClient::rarityListReady);
        QSignalSpy byRarity(&client, &TcgdexClient::cardsByRarityReady);
        QSignalSpy byVariant(&client, &TcgdexClient::cardsByVariantReady);
        QSignalSpy byDex(&client, &TcgdexClient::cardsByDexIdReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        const QList<int> ids = {
            client.fetchSetIndex(Language::English),
            client.fetchSet(Language::English, QStringLiteral("sv03")),
            client.fetchSerieIndex(Language::Japanese),
            client.fetchSerie(Language::English, QStringLiteral("sv")),
            client.fetchCard(Language::Japanese, QStringLiteral("SV3-001")),
            client.fetchRarityList(Language::English),
            client.fetchCardsByRarity(Language::English, QStringLiteral("Rare Holo LV.X")),
            client.fetchCardsByVariant(Language::English, QStringLiteral("firstEdition")),
            client.fetchCardsByDexId(Language::English, 133),
            client.fetchSet(Language::English, QStringLiteral("no such/set")),
        };
        QCOMPARE(ids, QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        QVERIFY(settle());

        QStringList sent = targets();
        std::sort(sent.begin(), sent.end());
        QStringList expected = {
            QStringLiteral("/v2/en/sets?sort:field=releaseDate&sort:order=ASC"),
            QStringLiteral("/v2/en/sets/sv03"),
            QStringLiteral("/v2/ja/series"),
            QStringLiteral("/v2/en/series/sv"),
            QStringLiteral("/v2/ja/cards/SV3-001"),
            QStringLiteral("/v2/en/rarities"),
            QStringLiteral("/v2/en/cards?rarity=eq:Rare%20Holo%20LV.X"),
            QStringLiteral("/v2/en/cards?variants.firstEdition=true"),
            QStringLiteral("/v2/en/cards?dexId=eq:133"),
            QStringLiteral("/v2/en/sets/no%20such%2Fset"),
        };
        std::sort(expected.begin(), expected.end());
        QCOMPARE(sent, expected);

        QCOMPARE(sets.size(), 1);
        QCOMPARE(sets.at(0).at(0).toInt(), ids.at(0));
        const auto setList = sets.at(0).at(2).value<QList<pv::SetBrief>>();
        QVERIFY(setList.size() > 100);
        for (int i = 0; i < setList.size(); ++i)
            QCOMPARE(setList.at(i).order, i);

        QCOMPARE(set.size(), 1);
        QCOMPARE(set.at(0).at(2).value<pv::SetDetail>().name, QStringLiteral("Obsidian Flames"));
        QCOMPARE(series.size(), 1);
        QCOMPARE(series.at(0).at(1).value<Language>(), Language::Japanese);
        QVERIFY(!series.at(0).at(2).value<QList<pv::SerieBrief>>().isEmpty());
        QCOMPARE(serie.size(), 1);
        QCOMPARE(serie.at(0).at(2).value<pv::SerieDetail>().id, QStringLiteral("sv"));
        QCOMPARE(card.size(), 1);
        QCOMPARE(card.at(0).at(1).value<Language>(), Language::Japanese);
        QCOMPARE(card.at(0).at(2).value<pv::CardDetail>().id, QStringLiteral("SV3-001"));
        QCOMPARE(rarities.size(), 1);
        QVERIFY(rarities.at(0).at(2).toStringList().contains(QStringLiteral("Rare Holo LV.X")));

        QCOMPARE(byRarity.size(), 1);
        QCOMPARE(byRarity.at(0).at(2).toString(), QStringLiteral("Rare Holo LV.X"));
        QVERIFY(!byRarity.at(0).at(3).value<QList<pv::CardBrief>>().isEmpty());
        QCOMPARE(byVariant.size(), 1);
        QCOMPARE(byVariant.at(0).at(2).toString(), QStringLiteral("firstEdition"));
        QCOMPARE(byDex.size(), 1);
        QCOMPARE(byDex.at(0).at(2).toInt(), 133);

        // The unknown set fails at once with Qt's own text for the 404.
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), ids.at(9));
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("set no such/set"));
        QVERIFY(!failed.at(0).at(2).toString().isEmpty());
        QVERIFY(!failed.at(0).at(2).toString().contains(QLatin1String("temporarily unavailable")));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("no%20such")), 1);
    }

    void replyShapes()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/rarities$"),
                            Fault::custom(200, "application/json", R"(["Common", "", 3, null, "Rare"])"));
        m_standIn->addFault(QStringLiteral("^/v2/ja/sets\\?"),
                            Fault::custom(200, "application/json", R"([{"id":"a"},{"id":"b"},{"id":"c"}])"));
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-001$"), Fault::wrongShape());
        m_standIn->addFault(QStringLiteral("dexId=eq:25$"), Fault::wrongShape());
        QSignalSpy rarities(&client, &TcgdexClient::rarityListReady);
        QSignalSpy sets(&client, &TcgdexClient::setIndexReady);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy byDex(&client, &TcgdexClient::cardsByDexIdReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        client.fetchRarityList(Language::English);
        client.fetchSetIndex(Language::Japanese);
        client.fetchCard(Language::English, QStringLiteral("sv03-001"));
        client.fetchCardsByDexId(Language::English, 25);
        QVERIFY(settle());

        QCOMPARE(rarities.size(), 1);
        QCOMPARE(rarities.at(0).at(2).toStringList(), QStringList({QStringLiteral("Common"), QStringLiteral("Rare")}));
        QCOMPARE(sets.size(), 1);
        const auto three = sets.at(0).at(2).value<QList<pv::SetBrief>>();
        QCOMPARE(three.size(), 3);
        QCOMPARE(three.at(0).order, 0);
        QCOMPARE(three.at(2).order, 2);
        QCOMPARE(three.at(2).id, QStringLiteral("c"));
        // A document of the other shape is a broken reply, not an empty answer.
        QCOMPARE(card.size(), 0);
        QCOMPARE(byDex.size(), 0);
        QCOMPARE(failed.size(), 2);
        QStringList messages;
        for (const QList<QVariant> &failure : std::as_const(failed))
            messages.append(failure.at(2).toString());
        messages.sort();
        QCOMPARE(messages, (QStringList{QStringLiteral("Malformed response: expected a list, not an object"),
                                        QStringLiteral("Malformed response: expected an object, not a list")}));
    }

    // The card database matches ids without case: its answer is the card
    // asked, under the id asked. Another card's record, or one naming no
    // card, is no answer for it.
    void cardAnswersAreMatchedToTheCardAsked()
    {
        TcgdexClient &client = *m_client;
        const QByteArray blastoise =
            R"({"id":"base1-2","localId":"2","name":"Blastoise","set":{"id":"base1","name":"Base Set"},)"
            R"("pricing":{"cardmarket":{"avg":20.81,"trend":19.06,"avg30":21.36}}})";
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/base1-4$"),
                            Fault::custom(200, "application/json", blastoise));
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/base1-5$"),
                            Fault::custom(200, "application/json", R"({"localId":"5","name":"Clefairy"})"));
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        const int charizard = client.fetchCard(Language::English, QStringLiteral("Base1-4"));
        const int japanese = client.fetchCard(Language::Japanese, QStringLiteral("sv2a-185"));
        const int foreign = client.fetchCard(Language::English, QStringLiteral("base1-4"));
        const int nameless = client.fetchCard(Language::English, QStringLiteral("base1-5"));
        QVERIFY(settle());
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/v2/en/cards/Base1-4$")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/v2/ja/cards/sv2a-185$")), 1);

        QHash<int, pv::CardDetail> answered;
        for (const QList<QVariant> &answer : std::as_const(card))
            answered.insert(answer.at(0).toInt(), answer.at(2).value<pv::CardDetail>());
        QCOMPARE(answered.size(), 2);
        QCOMPARE(answered.value(charizard).id, QStringLiteral("Base1-4"));
        QCOMPARE(answered.value(charizard).name, QStringLiteral("Charizard"));
        QCOMPARE(answered.value(japanese).id, QStringLiteral("sv2a-185"));

        QHash<int, QList<QVariant>> refused;
        for (const QList<QVariant> &failure : std::as_const(failed))
            refused.insert(failure.at(0).toInt(), failure);
        QCOMPARE(refused.size(), 2);
        QCOMPARE(refused.value(foreign).at(1).toString(), QStringLiteral("card base1-4"));
        QCOMPARE(refused.value(foreign).at(2).toString(),
                 QStringLiteral("Malformed response: the answer is for card base1-2, not base1-4"));
        QCOMPARE(refused.value(foreign).at(3).value<pv::ReplyFailure>(), pv::ReplyFailure::Unusable);
        QCOMPARE(refused.value(nameless).at(2).toString(),
                 QStringLiteral("Malformed response: the answer names no card, card base1-5 was asked for"));
        QCOMPARE(refused.value(nameless).at(3).value<pv::ReplyFailure>(), pv::ReplyFailure::Unusable);
        QVERIFY(pv::test::logHas(pv::Log::Error, tcgdex,
                                 QStringLiteral("card base1-4: malformed response: the answer is for card base1-2")));
        // Refused, not retried: asking again brings the same record.
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/v2/en/cards/base1-[45]$")), 2);
    }

    void atMostSixInFlight()
    {
        TcgdexClient &client = *m_client;
        // Images are asked of another host name on the same stand-in, so Qt's
        // own limit of six connections per host cannot hide a seventh request.
        const QString otherHost = QStringLiteral("http://localhost:%1").arg(m_standIn->port());
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/"), Fault::delay(400), -1);
        m_standIn->addFault(QStringLiteral("/low\\.jpg$"), Fault::delay(400), -1);
        QSignalSpy pending(&client, &TcgdexClient::pendingCountChanged);
        QSignalSpy cards(&client, &TcgdexClient::cardReady);
        QSignalSpy images(&client, &TcgdexClient::imageReady);

        for (int i = 1; i <= 4; ++i)
            client.fetchCard(Language::English, QStringLiteral("sv03-%1").arg(i, 3, 10, QLatin1Char('0')));
        for (int i = 1; i <= 3; ++i)
            client.fetchCardImage(otherHost + QStringLiteral("/en/sv/sv03/%1").arg(i, 3, 10, QLatin1Char('0')), 0);
        QCOMPARE(client.pendingCount(), 7);
        QCOMPARE(intsAt(pending, 0), QList<int>({1, 2, 3, 4, 5, 6, 7}));

        QVERIFY(settle());
        QCOMPARE(cards.size(), 4);
        QCOMPARE(images.size(), 3);
        QCOMPARE(pending.last().at(0).toInt(), 0);

        auto log = m_standIn->requests();
        QCOMPARE(log.size(), 7);
        QCOMPARE(m_standIn->peakInFlight(), 6);
        std::sort(log.begin(), log.end(), [](const auto &a, const auto &b) { return a.arrivedMs < b.arrivedMs; });
        qint64 firstFinished = std::numeric_limits<qint64>::max();
        for (int i = 0; i < 6; ++i)
            firstFinished = std::min(firstFinished, log.at(i).finishedMs);
        QVERIFY2(log.at(6).arrivedMs >= firstFinished,
                 qPrintable(QStringLiteral("seventh at %1 ms, first answer at %2 ms").arg(log.at(6).arrivedMs).arg(firstFinished)));
    }

    void retriesAfterGrowingDelays()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-002$"), Fault::httpStatus(503), 2);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        QSignalSpy pending(&client, &TcgdexClient::pendingCountChanged);

        const int id = client.fetchCard(Language::English, QStringLiteral("sv03-002"));
        QTRY_COMPARE_WITH_TIMEOUT(card.size(), 1, 10000);
        QCOMPARE(card.at(0).at(0).toInt(), id);
        QCOMPARE(failed.size(), 0);
        // A retry moves the request to the waiting list: the count is reported
        // each time although it stays at one.
        QCOMPARE(intsAt(pending, 0), QList<int>({1, 1, 1, 0}));

        const auto log = m_standIn->requests(QStringLiteral("sv03-002"));
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(0).status, 503);
        QCOMPARE(log.at(2).status, 200);
        const qint64 firstPause = log.at(1).arrivedMs - log.at(0).finishedMs;
        const qint64 secondPause = log.at(2).arrivedMs - log.at(1).finishedMs;
        QVERIFY2(firstPause >= 395 && firstPause < 795, qPrintable(QString::number(firstPause)));
        QVERIFY2(secondPause >= 795, qPrintable(QString::number(secondPause)));

        const QString retrying = QStringLiteral("#%1 retrying card sv03-002 (attempt %2 of 3).");
        QVERIFY(pv::test::logHas(pv::Log::Info, tcgdex, retrying.arg(id).arg(2)));
        QVERIFY(pv::test::logHas(pv::Log::Info, tcgdex, retrying.arg(id).arg(3)));
        QCOMPARE(pv::test::logCount(pv::Log::Warn, tcgdex, QStringLiteral("failed (HTTP 503")), 2);
    }

    void serverErrorOverCachedCopyIsRetried()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(0, 20);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        client.fetchCard(Language::English, QStringLiteral("sv03-009"));
        QTRY_COMPARE(card.size(), 1);
        QVERIFY(!QDir(TcgdexClient::diskCacheFolder()).isEmpty());

        // Qt answers a server error with the cached copy and that copy's
        // status: it is still a server error, and it is still retried.
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-009$"), Fault::httpStatus(503), 2);
        client.fetchCard(Language::English, QStringLiteral("sv03-009"));
        QTRY_COMPARE_WITH_TIMEOUT(card.size(), 2, 10000);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-009")), 4);
        QCOMPARE(pv::test::logCount(pv::Log::Warn, tcgdex, QStringLiteral("failed (HTTP 503")), 2);

        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-009$"), Fault::httpStatus(503), 3);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        client.fetchCard(Language::English, QStringLiteral("sv03-009"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(failed.at(0).at(2).toString(), unavailable503);
        QCOMPARE(card.size(), 2);
    }

    void givesUpAfterThreeAttempts()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/sets/sv04$"), Fault::httpStatus(503), 3);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        QSignalSpy set(&client, &TcgdexClient::setDetailReady);

        const int id = client.fetchSet(Language::English, QStringLiteral("sv04"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(failed.at(0).at(0).toInt(), id);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("set sv04"));
        QCOMPARE(failed.at(0).at(2).toString(), unavailable503);
        QCOMPARE(set.size(), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv04")), 3);
        QCOMPARE(client.pendingCount(), 0);
    }

    void retriedFailures_data()
    {
        QTest::addColumn<int>("status");    // 0: the connection is closed
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("requests");  // requests the stand-in sees in all
        QTest::newRow("429") << 429 << 1 << 2;
        QTest::newRow("500") << 500 << 1 << 2;
        QTest::newRow("502") << 502 << 1 << 2;
        QTest::newRow("504") << 504 << 1 << 2;
        // Qt itself sends a GET once more when the connection closes first.
        QTest::newRow("closed connection") << 0 << 2 << 3;
    }

    void retriedFailures()
    {
        QFETCH(int, status);
        QFETCH(int, faults);
        QFETCH(int, requests);
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(0, 20);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-005$"),
                            status ? Fault::httpStatus(status) : Fault::closeConnection(), faults);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        client.fetchCard(Language::English, QStringLiteral("sv03-005"));
        QTRY_COMPARE_WITH_TIMEOUT(card.size(), 1, 10000);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-005")), requests);
        QVERIFY(pv::test::logHas(pv::Log::Info, tcgdex, QStringLiteral("(attempt 2 of 3).")));
    }

    void failuresNotRetried_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("notJson");
        QTest::addColumn<QString>("message");
        QTest::addColumn<pv::ReplyFailure>("kind");
        QTest::newRow("404") << 404 << false << QString() << pv::ReplyFailure::HttpError;
        QTest::newRow("501")
            << 501 << false
            << QStringLiteral("The TCGdex service is temporarily unavailable (HTTP 501). Please try again in a moment.")
            << pv::ReplyFailure::HttpError;
        QTest::newRow("not JSON") << 200 << true << QStringLiteral("Malformed response: ")
                                  << pv::ReplyFailure::Unusable;
    }

    void failuresNotRetried()
    {
        QFETCH(int, status);
        QFETCH(bool, notJson);
        QFETCH(QString, message);
        QFETCH(pv::ReplyFailure, kind);
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-006$"),
                            notJson ? Fault::notJson() : Fault::httpStatus(status), 3);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        const int id = client.fetchCard(Language::English, QStringLiteral("sv03-006"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QTest::qWait(450);  // longer than the first retry delay
        QCOMPARE(failed.size(), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-006")), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), id);
        QCOMPARE(failed.at(0).at(3).value<pv::ReplyFailure>(), kind);
        const QString text = failed.at(0).at(2).toString();
        if (message.isEmpty()) {
            QVERIFY(!text.isEmpty());
            QVERIFY(!text.contains(QLatin1String("temporarily unavailable")));
        } else {
            QVERIFY2(text.startsWith(message), qPrintable(text));
        }
        if (notJson) {
            QVERIFY(text.size() > message.size());
            QVERIFY(pv::test::logHas(pv::Log::Error, tcgdex,
                                     QStringLiteral("#%1 card sv03-006: malformed response at offset ").arg(id)));
        }
        QCOMPARE(pv::test::logCount(pv::Log::Info, tcgdex, QStringLiteral("retrying")), 0);
    }

    void timeOutIsRetried()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(250, 0);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-007$"), Fault::delay(1500), 1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        const int id = client.fetchCard(Language::English, QStringLiteral("sv03-007"));
        QTRY_COMPARE_WITH_TIMEOUT(card.size(), 1, 10000);
        QCOMPARE(card.at(0).at(0).toInt(), id);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-007")), 2);
        // Logged as the time-out it is (network error 4), not as a cancel.
        QVERIFY(pv::test::logHas(pv::Log::Warn, tcgdex, QStringLiteral("failed (HTTP 0, 4)")));
        QVERIFY(!pv::test::logHas(pv::Log::Debug, tcgdex, QStringLiteral("cancelled")));
    }

    void timeOutEveryTimeFails()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(200, 20);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-008$"), Fault::delay(1000), 3);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        client.fetchCard(Language::English, QStringLiteral("sv03-008"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-008")), 3);
        QCOMPARE(failed.at(0).at(2).toString(), pv::timeoutMessage(200));
        QCOMPARE(failed.at(0).at(3).value<pv::ReplyFailure>(), pv::ReplyFailure::NotReached);
    }

    // Qt's own time-out restarts with every byte and, after a redirect, never
    // fires: the deadline ends a request however its bytes come.
    void aSlowOrRedirectedReplyMeetsItsDeadline()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(300, 20, 800);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-010$"), Fault::trickle(50), -1);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-011$"), Fault::redirect("/v2/en/cards/sv03-012"), -1);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-012$"), Fault::delay(3000), -1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        client.fetchCard(Language::English, QStringLiteral("sv03-010"));
        client.fetchCard(Language::English, QStringLiteral("sv03-011"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 20000);
        QCOMPARE(card.size(), 0);
        for (const auto &call : std::as_const(failed))
            QCOMPARE(call.at(2).toString(), pv::timeoutMessage(800));
        // The server answers, too slowly for asking again to help: the user
        // hears of it after one deadline, not three.
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-010")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-011")), 1);
        QCOMPARE(pv::test::logCount(pv::Log::Info, tcgdex, QStringLiteral("retrying")), 0);
    }

    void anOversizedReplyIsCutOff()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(0, 20);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-013$"), Fault::endless(), -1);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-014$"), Fault::oversized(qint64(3) << 30), -1);
        // A bomb: Qt's own text for it ends in a bare colon.
        const QByteArray bomb = qCompress(QByteArray(24 << 20, '\0'), 9).mid(4); // a bare zlib stream
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-016$"),
                            Fault::custom(200, "application/json", bomb).withHeader("Content-Encoding", "deflate"), -1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        client.fetchCard(Language::English, QStringLiteral("sv03-016"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 20000);
        QCOMPARE(failed.first().at(2).toString(), QStringLiteral("The reply could not be decompressed."));
        QCOMPARE(failed.takeFirst().at(3).value<pv::ReplyFailure>(), pv::ReplyFailure::Unusable);
        client.fetchCard(Language::English, QStringLiteral("sv03-013"));
        client.fetchCard(Language::English, QStringLiteral("sv03-014"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 20000);
        QCOMPARE(card.size(), 0);
        const QString tooLarge = pv::tooLargeMessage(TcgdexClient::maxReplyBytes(TcgdexClient::Card));
        QCOMPARE(tooLarge, QStringLiteral("Reply too large: more than 8 MiB."));
        for (const auto &call : std::as_const(failed)) {
            QCOMPARE(call.at(2).toString(), tooLarge);
            QCOMPARE(call.at(3).value<pv::ReplyFailure>(), pv::ReplyFailure::Unusable);
        }
        // Asking again would only bring the same flood.
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-013")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-014")), 1);
    }

    void aConnectionResetAfterTheStatusLineIsRetried()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(0, 20);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-015$"), Fault::resetAfterStatus(), 1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        client.fetchCard(Language::English, QStringLiteral("sv03-015"));
        QTRY_COMPARE_WITH_TIMEOUT(card.size() + failed.size(), 1, 10000);
        QCOMPARE(card.size(), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-015")), 2);
    }

    void retryAfterIsHonoured()
    {
        TcgdexClient &client = *m_client;
        client.overrideTimingForTests(0, 20);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-016$"),
                            Fault::httpStatus(503).withHeader("Retry-After", "1"), 1);
        // Longer than a minute is not waited for.
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-017$"),
                            Fault::httpStatus(503).withHeader("Retry-After", "3600"), 3);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        client.fetchCard(Language::English, QStringLiteral("sv03-016"));
        client.fetchCard(Language::English, QStringLiteral("sv03-017"));
        QTRY_COMPARE_WITH_TIMEOUT(card.size() + failed.size(), 2, 10000);
        QCOMPARE(card.size(), 1);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(2).toString(), unavailable503);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-017")), 1);
        const auto log = m_standIn->requests(QStringLiteral("sv03-016"));
        QCOMPARE(log.size(), 2);
        const qint64 pause = log.at(1).arrivedMs - log.at(0).finishedMs;
        QVERIFY2(pause >= 950, qPrintable(QString::number(pause)));
    }

    void cancelQueuedRequest()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/"), Fault::delay(300), -1);
        QSignalSpy cards(&client, &TcgdexClient::cardReady);
        QSignalSpy pending(&client, &TcgdexClient::pendingCountChanged);

        QList<int> ids;
        for (int i = 10; i < 17; ++i)
            ids.append(client.fetchCard(Language::English, QStringLiteral("sv03-0%1").arg(i)));
        client.cancel(ids.last());
        QCOMPARE(client.pendingCount(), 6);
        const int reports = int(pending.size());
        client.cancel(0);
        client.cancel(ids.last());  // already gone
        QCOMPARE(pending.size(), reports);
        QCOMPARE(pending.last().at(0).toInt(), 6);

        QVERIFY(settle());
        QTest::qWait(50);
        QCOMPARE(cards.size(), 6);
        QVERIFY(!intsAt(cards, 0).contains(ids.last()));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/v2/en/cards/")), 6);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-016")), 0);
    }

    void cancelInFlightRequest()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-020$"), Fault::delay(500), 1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        QSignalSpy pending(&client, &TcgdexClient::pendingCountChanged);

        const int id = client.fetchCard(Language::English, QStringLiteral("sv03-020"));
        QTRY_COMPARE(m_standIn->requestCount(QStringLiteral("sv03-020")), 1);
        client.cancel(id);
        QVERIFY(settle());
        QTest::qWait(700);  // past the stand-in's late answer
        QCOMPARE(card.size(), 0);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(pending.last().at(0).toInt(), 0);
        QCOMPARE(pv::test::logCount(pv::Log::Debug, tcgdex,
                                    QStringLiteral("#%1 cancelled (card sv03-020)").arg(id)), 1);

        // The same card can be asked for again and is answered.
        const int again = client.fetchCard(Language::English, QStringLiteral("sv03-020"));
        QTRY_COMPARE(card.size(), 1);
        QCOMPARE(card.at(0).at(0).toInt(), again);
    }

    void cancelDelayedRequest()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-021$"), Fault::httpStatus(503), 1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);

        const int id = client.fetchCard(Language::English, QStringLiteral("sv03-021"));
        QTRY_VERIFY(pv::test::logHas(pv::Log::Info, tcgdex, QStringLiteral("retrying card sv03-021")));
        QCOMPARE(client.pendingCount(), 1);
        client.cancel(id);
        QCOMPARE(client.pendingCount(), 0);
        QTest::qWait(600);  // the retry timer fires and finds nothing
        QCOMPARE(m_standIn->requestCount(QStringLiteral("sv03-021")), 1);
        QCOMPARE(card.size(), 0);
        QCOMPARE(failed.size(), 0);
    }

    void cancelAllDropsEverything()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/"), Fault::delay(300), -1);
        QSignalSpy cards(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        for (int i = 30; i < 38; ++i)
            client.fetchCard(Language::English, QStringLiteral("sv03-0%1").arg(i));
        QTRY_COMPARE(m_standIn->requestCount(), 6);

        client.cancelAll();
        QVERIFY(pv::test::logHas(pv::Log::Info, tcgdex, QStringLiteral("Cancelling 8 outstanding request(s).")));
        QVERIFY(settle());
        QTest::qWait(450);
        QCOMPARE(cards.size(), 0);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_standIn->requestCount(), 6);
        QCOMPARE(pv::test::logCount(pv::Log::Debug, tcgdex, QStringLiteral("cancelled (card")), 6);
    }

    void destructionEmitsNothing()
    {
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/"), Fault::delay(300), -1);
        QSignalSpy cards(m_client.get(), &TcgdexClient::cardReady);
        QSignalSpy failed(m_client.get(), &TcgdexClient::requestFailed);
        QSignalSpy pending(m_client.get(), &TcgdexClient::pendingCountChanged);
        for (int i = 40; i < 48; ++i)
            m_client->fetchCard(Language::English, QStringLiteral("sv03-0%1").arg(i));
        QTRY_COMPARE(m_standIn->requestCount(), 6);
        const int reported = int(pending.size());

        m_client.reset();
        QTest::qWait(400);
        QCOMPARE(pending.size(), reported);
        QCOMPARE(cards.size(), 0);
        QCOMPARE(failed.size(), 0);
    }

    // Answers are made on the client's own thread and reach the GUI thread
    // together: one cancelled while others of its batch are answered never
    // comes, nor does anything once the client is gone, with replies on the
    // network, a card list being read and cache files being written.
    void answersReachTheGuiThreadAndHonourCancels()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-07"),
                            Fault::delay(0).withHeader("Cache-Control", "max-age=3600"), -1);
        QList<int> ids;
        for (int i = 0; i < 6; ++i)
            ids.append(client.fetchCard(Language::English, QStringLiteral("sv03-07%1").arg(i)));
        QVERIFY(settle());

        // Kept fresh, the answers come from the disk cache alone while the
        // GUI thread is busy: they arrive as one batch.
        QList<int> answered;
        bool onGuiThread = true;
        connect(&client, &TcgdexClient::cardReady, &client, [&](int id) {
            onGuiThread = onGuiThread && QThread::currentThread() == client.thread();
            answered.append(id);
            for (int other : std::as_const(ids))
                client.cancel(other);
        });
        ids.clear();
        for (int i = 0; i < 6; ++i)
            ids.append(client.fetchCard(Language::English, QStringLiteral("sv03-07%1").arg(i)));
        QThread::msleep(300);
        QVERIFY(settle());
        QTest::qWait(50);
        QCOMPARE(answered.size(), 1);
        QVERIFY(onGuiThread);
        QCOMPARE(m_standIn->requestCount(), 6);

        QSignalSpy cards(&client, &TcgdexClient::cardIndexReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        m_standIn->addFault(QStringLiteral("^/v2/en/sets/"), Fault::delay(300), -1);
        client.fetchCardIndex(Language::English);
        for (const QString &set : {QStringLiteral("sv01"), QStringLiteral("sv02"), QStringLiteral("sv03")})
            client.fetchSet(Language::English, set);
        QTRY_COMPARE(m_standIn->requestCount(QStringLiteral("^/v2/en/cards$")), 1);
        QTRY_VERIFY(m_standIn->requests(QStringLiteral("^/v2/en/cards$")).first().finishedMs >= 0);
        m_client.reset();
        QTest::qWait(400);
        QCOMPARE(cards.size() + failed.size(), 0);
    }

    // Prices are wanted fresh: an uncached card request neither takes a kept
    // answer nor keeps or drops one, while other requests use the cache.
    void uncachedCardRequestsLeaveTheDiskCacheAlone()
    {
        TcgdexClient &client = *m_client;
        const Fault keepAnHour = Fault::delay(0).withHeader("Cache-Control", "max-age=3600");
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-060$"), keepAnHour, 1);
        m_standIn->addFault(QStringLiteral("^/v2/en/(cards/sv03-061|sets/sv03)$"), keepAnHour, -1);
        client.fetchCard(Language::English, QStringLiteral("sv03-060"));
        client.fetchSet(Language::English, QStringLiteral("sv03"));
        QVERIFY(settle());
        client.fetchCard(Language::English, QStringLiteral("sv03-060"));
        client.fetchSet(Language::English, QStringLiteral("sv03"));
        client.fetchCard(Language::English, QStringLiteral("sv03-060"), TcgdexClient::CacheUse::BypassDiskCache);
        client.fetchCard(Language::English, QStringLiteral("sv03-061"), TcgdexClient::CacheUse::BypassDiskCache);
        QVERIFY(settle());
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/v2/en/sets/sv03$")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/v2/en/cards/sv03-06")), 3);

        // The kept answer is still the first one, with its hour to live.
        QNetworkDiskCache cache;
        cache.setCacheDirectory(TcgdexClient::diskCacheFolder());
        const QString cardBase = TcgdexClient::apiBase() + QStringLiteral("/en/cards/");
        QVERIFY(cache.metaData(QUrl(cardBase + QStringLiteral("sv03-060"))).expirationDate().isValid());
        QVERIFY(!cache.metaData(QUrl(cardBase + QStringLiteral("sv03-061"))).isValid());

        // Nor does a kept answer stand in for a server error.
        client.overrideTimingForTests(0, 20);
        m_standIn->addFault(QStringLiteral("^/v2/en/cards/sv03-060$"), Fault::httpStatus(500), -1);
        QSignalSpy card(&client, &TcgdexClient::cardReady);
        QSignalSpy failed(&client, &TcgdexClient::requestFailed);
        client.fetchCard(Language::English, QStringLiteral("sv03-060"), TcgdexClient::CacheUse::BypassDiskCache);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(failed.first().at(3).value<pv::ReplyFailure>(), pv::ReplyFailure::HttpError);
        QCOMPARE(card.size(), 0);
    }

    void imagesAndTheirCache()
    {
        TcgdexClient &client = *m_client;
        QSignalSpy ready(&client, &TcgdexClient::imageReady);
        QSignalSpy failed(&client, &TcgdexClient::imageFailed);
        QSignalSpy pending(&client, &TcgdexClient::pendingCountChanged);
        const QString base = asset(QStringLiteral("/en/sv/sv03/050"));
        const QString url = base + QStringLiteral("/low.jpg");

        // The public image address is fetched from the configured host and
        // keeps its public form as the key it is cached and reported under.
        const int first = client.fetchCardImage(base, 0);
        QVERIFY(first > 0);
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(ready.at(0).at(0).toInt(), first);
        QCOMPARE(ready.at(0).at(1).toString(), url);
        QVERIFY(!ready.at(0).at(2).value<QPixmap>().isNull());
        QCOMPARE(targets(), QStringList({QStringLiteral("/en/sv/sv03/050/low.jpg")}));

        // On disk under this run's own data folder.
        const QString file = client.imageCache().filePathFor(url);
        QVERIFY(QFileInfo::exists(file));
        const QString dataHome = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
        QVERIFY(!dataHome.isEmpty());
        QVERIFY2(file.startsWith(dataHome), qPrintable(file));
        QVERIFY(TcgdexClient::diskCacheFolder().startsWith(dataHome));

        QVERIFY(!client.cachedImage(base, 0).isNull());
        QVERIFY(client.cachedImage(base, 1).isNull());

        // Asked again: answered from the cache, after the call has returned.
        const int pendingBefore = int(pending.size());
        const int second = client.fetchCardImage(base, 0);
        QVERIFY(second > first);
        QCOMPARE(ready.size(), 1);
        QTRY_COMPARE(ready.size(), 2);
        QCOMPARE(ready.at(1).at(0).toInt(), second);
        QCOMPARE(ready.at(1).at(1).toString(), url);
        QCOMPARE(pending.size(), pendingBefore);
        QCOMPARE(m_standIn->requestCount(), 1);
        QCOMPARE(failed.size(), 0);

        // A cached answer that is cancelled before it is delivered never comes.
        const int third = client.fetchCardImage(base, 0);
        client.cancel(third);
        QTest::qWait(50);
        QCOMPARE(ready.size(), 2);
    }

    void setArtworkAddress()
    {
        TcgdexClient &client = *m_client;
        QSignalSpy ready(&client, &TcgdexClient::imageReady);
        client.fetchSetArtwork(asset(QStringLiteral("/univ/sv/sv03/symbol")));
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(ready.at(0).at(1).toString(), asset(QStringLiteral("/en/sv/sv03/symbol.png")));
        QCOMPARE(targets(), QStringList({QStringLiteral("/en/sv/sv03/symbol.png")}));
    }

    void emptyImageAddress()
    {
        TcgdexClient &client = *m_client;
        QSignalSpy ready(&client, &TcgdexClient::imageReady);
        QSignalSpy pending(&client, &TcgdexClient::pendingCountChanged);
        QCOMPARE(client.fetchCardImage(QString(), 1), 0);
        QCOMPARE(client.fetchSetArtwork(QString()), 0);
        QTest::qWait(20);
        QCOMPARE(ready.size(), 0);
        QCOMPARE(pending.size(), 0);
        // No id was used up.
        QCOMPARE(client.fetchRarityList(Language::English), 1);
    }

    void imageFailures()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("/sv03/051/low\\.jpg$"),
                            Fault::custom(200, "image/jpeg", "these bytes are no picture"));
        m_standIn->addFault(QStringLiteral("/sv03/052/low\\.jpg$"), Fault::httpStatus(404));
        QSignalSpy ready(&client, &TcgdexClient::imageReady);
        QSignalSpy failed(&client, &TcgdexClient::imageFailed);
        QSignalSpy requestFailed(&client, &TcgdexClient::requestFailed);
        const QString broken = asset(QStringLiteral("/en/sv/sv03/051"));

        const int undecodable = client.fetchCardImage(broken, 0);
        const int missing = client.fetchCardImage(asset(QStringLiteral("/en/sv/sv03/052")), 0);
        QVERIFY(settle());
        QCOMPARE(failed.size(), 2);
        QCOMPARE(ready.size(), 0);
        QCOMPARE(requestFailed.size(), 0);
        for (const auto &call : std::as_const(failed)) {
            if (call.at(0).toInt() == undecodable)
                QCOMPARE(call.at(2).toString(), QStringLiteral("Image could not be decoded."));
            else
                QCOMPARE(call.at(0).toInt(), missing);
        }
        QVERIFY(client.cachedImage(broken, 0).isNull());
        QVERIFY(!QFileInfo::exists(client.imageCache().filePathFor(broken + QStringLiteral("/low.jpg"))));
        QVERIFY(pv::test::logHas(pv::Log::Warn, tcgdex, QStringLiteral("could not be decoded (26 bytes): ")));
    }

    // A picture cut short still decodes, padded with grey: it is refused on
    // download and, when a damaged copy is in the cache, on reading.
    void aPictureCutShortIsNeverShownOrKept()
    {
        TcgdexClient &client = *m_client;
        m_standIn->addFault(QStringLiteral("/sv03/054/low\\.jpg$"), Fault::truncatedBody());
        QSignalSpy ready(&client, &TcgdexClient::imageReady);
        QSignalSpy failed(&client, &TcgdexClient::imageFailed);
        const QString cutJpeg = asset(QStringLiteral("/en/sv/sv03/054"));
        client.fetchCardImage(cutJpeg, 0);
        QVERIFY(settle());
        QCOMPARE(ready.size(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(2).toString(), QStringLiteral("Image could not be decoded."));
        QVERIFY(!QFileInfo::exists(client.imageCache().filePathFor(cutJpeg + QStringLiteral("/low.jpg"))));

        // A whole picture is kept; cut short on disk, it is dropped when read.
        const QString whole = asset(QStringLiteral("/en/sv/sv03/056"));
        client.fetchCardImage(whole, 0);
        QVERIFY(settle());
        QCOMPARE(ready.size(), 1);
        const QString file = client.imageCache().filePathFor(whole + QStringLiteral("/low.jpg"));
        QByteArray bytes = pv::test::readFile(file);
        QVERIFY(bytes.endsWith("\xff\xd9"));
        QVERIFY(pv::test::writeFile(file, bytes.left(bytes.size() * 2 / 3)));
        QPixmapCache::clear();
        QVERIFY(client.cachedImage(whole, 0).isNull());
        QVERIFY(!QFileInfo::exists(file));
    }
};

PV_REGISTER_TEST(TcgdexClientTest)

#include "TcgdexClientTest.moc"
