#include "StandInFetch.h"
#include "TestRegistry.h"
#include "standin/WebStandIn.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <QUrlQuery>

using namespace pv::test;

// The card database routes against the recorded data, asked the way the
// program's client asks: ids through QUrl::toPercentEncoding, filters
// through QUrlQuery.
class CardDatabaseRoutesTest : public QObject
{
    Q_OBJECT

    WebStandIn m_standIn;
    QNetworkAccessManager m_network;

    QString api(const QString &language, const QString &path) const
    {
        return m_standIn.tcgdexUrl() + QStringLiteral("/v2/") + language + path;
    }
    QString item(const QString &language, const QString &kind, const QString &id) const
    {
        return api(language, QLatin1Char('/') + kind + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(id)));
    }
    QJsonArray filtered(const QString &language, const QString &name, const QString &value)
    {
        QUrl url(api(language, QStringLiteral("/cards")), QUrl::TolerantMode);
        QUrlQuery query;
        query.addQueryItem(name, value);
        url.setQuery(query);
        const Fetched reply = fetch(m_network, url);
        if (reply.status != 200)
            qWarning("filter %s=%s answered %d", qPrintable(name), qPrintable(value), reply.status);
        return reply.json().array();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_standIn.start(), qPrintable(m_standIn.errorString()));
    }

    void setListInReleaseOrder()
    {
        const QString sorted = api(QStringLiteral("en"), QStringLiteral("/sets?sort:field=releaseDate&sort:order=ASC"));
        const Fetched reply = fetch(m_network, sorted);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.contentType, QByteArray("application/json; charset=utf-8"));
        const QJsonArray sets = reply.json().array();
        QCOMPARE(sets.size(), 218);
        QCOMPARE(sets.at(1)[QStringLiteral("id")].toString(), QStringLiteral("base1"));
        QCOMPARE(sets.at(1)[QStringLiteral("cardCount")][QStringLiteral("official")].toInt(), 102);
        QVERIFY(sets.at(1)[QStringLiteral("logo")].toString().startsWith(m_standIn.assetsUrl() + QStringLiteral("/en/base/base1/logo")));

        // Items in the other order, or none, still find the list.
        const Fetched swapped = fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/sets?sort:order=ASC&sort:field=releaseDate")));
        QCOMPARE(swapped.body, reply.body);
        QCOMPARE(fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/sets"))).body, reply.body);
        QCOMPARE(fetch(m_network, api(QStringLiteral("ja"), QStringLiteral("/sets?sort:field=releaseDate&sort:order=ASC"))).json().array().size(), 185);
    }

    void setDetails()
    {
        const QJsonObject sv03 = fetch(m_network, item(QStringLiteral("en"), QStringLiteral("sets"), QStringLiteral("sv03"))).json().object();
        QCOMPARE(sv03[QStringLiteral("name")].toString(), QStringLiteral("Obsidian Flames"));
        QCOMPARE(sv03[QStringLiteral("serie")][QStringLiteral("name")].toString(), QStringLiteral("Scarlet & Violet"));
        QCOMPARE(sv03[QStringLiteral("releaseDate")].toString(), QStringLiteral("2023-08-11"));
        QCOMPARE(sv03[QStringLiteral("cards")].toArray().size(), 230);

        const Fetched sv3 = fetch(m_network, item(QStringLiteral("ja"), QStringLiteral("sets"), QStringLiteral("SV3")));
        QCOMPARE(sv3.json()[QStringLiteral("cards")].toArray().size(), 141);
        // Ids match whatever their case.
        QCOMPARE(fetch(m_network, item(QStringLiteral("ja"), QStringLiteral("sets"), QStringLiteral("sv3"))).body, sv3.body);
        QCOMPARE(fetch(m_network, item(QStringLiteral("en"), QStringLiteral("sets"), QStringLiteral("SV03"))).json()[QStringLiteral("id")].toString(),
                 QStringLiteral("sv03"));
    }

    void idsWithReservedCharacters()
    {
        // "SM1+" percent-encoded is the set; a bare "+" is a space, as on the real service.
        const Fetched plus = fetch(m_network, item(QStringLiteral("ja"), QStringLiteral("sets"), QStringLiteral("SM1+")));
        QCOMPARE(plus.status, 200);
        QCOMPARE(plus.json()[QStringLiteral("id")].toString(), QStringLiteral("SM1+"));
        QCOMPARE(fetch(m_network, api(QStringLiteral("ja"), QStringLiteral("/sets/SM1+"))).status, 404);

        QCOMPARE(fetch(m_network, item(QStringLiteral("en"), QStringLiteral("cards"), QStringLiteral("exu-!"))).json()[QStringLiteral("localId")].toString(),
                 QStringLiteral("!"));
        QCOMPARE(fetch(m_network, item(QStringLiteral("en"), QStringLiteral("cards"), QStringLiteral("exu-%3F"))).json()[QStringLiteral("localId")].toString(),
                 QStringLiteral("%3F"));
    }

    void seriesListAndDetail()
    {
        QCOMPARE(fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/series"))).json().array().size(), 21);
        QCOMPARE(fetch(m_network, api(QStringLiteral("ja"), QStringLiteral("/series"))).json().array().size(), 14);
        const QJsonObject sv = fetch(m_network, item(QStringLiteral("en"), QStringLiteral("series"), QStringLiteral("sv"))).json().object();
        QCOMPARE(sv[QStringLiteral("name")].toString(), QStringLiteral("Scarlet & Violet"));
        bool hasSv03 = false;
        for (const QJsonValue &set : sv[QStringLiteral("sets")].toArray())
            hasSv03 = hasSv03 || set[QStringLiteral("id")].toString() == QLatin1String("sv03");
        QVERIFY(hasSv03);
    }

    void fullCardListsPointAtTheStandInsImages()
    {
        const Fetched en = fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/cards")));
        QCOMPARE(en.status, 200);
        const QJsonArray cards = en.json().array();
        QCOMPARE(cards.size(), 23546);
        QVERIFY(!en.body.contains("assets.tcgdex.net"));
        for (const QJsonValue &card : cards)
            QVERIFY(card[QStringLiteral("image")].toString().startsWith(m_standIn.assetsUrl() + QLatin1Char('/')));
        QCOMPARE(fetch(m_network, api(QStringLiteral("ja"), QStringLiteral("/cards"))).json().array().size(), 12781);
    }

    void cardDetails()
    {
        const Fetched oddish = fetch(m_network, item(QStringLiteral("en"), QStringLiteral("cards"), QStringLiteral("sv03-001")));
        const QJsonObject card = oddish.json().object();
        QCOMPARE(card[QStringLiteral("name")].toString(), QStringLiteral("Oddish"));
        QCOMPARE(card[QStringLiteral("image")].toString(), m_standIn.assetsUrl() + QStringLiteral("/en/sv/sv03/001"));
        QCOMPARE(card[QStringLiteral("set")][QStringLiteral("symbol")].toString(), m_standIn.assetsUrl() + QStringLiteral("/univ/sv/sv03/symbol"));
        const QJsonObject pricing = card[QStringLiteral("pricing")].toObject();
        QVERIFY(pricing[QStringLiteral("cardmarket")][QStringLiteral("trend")].toDouble() > 0);
        QVERIFY(pricing[QStringLiteral("tcgplayer")][QStringLiteral("normal")][QStringLiteral("marketPrice")].toDouble() > 0);
        QCOMPARE(fetch(m_network, item(QStringLiteral("en"), QStringLiteral("cards"), QStringLiteral("SV03-001"))).body, oddish.body);

        const QJsonObject japanese = fetch(m_network, item(QStringLiteral("ja"), QStringLiteral("cards"), QStringLiteral("SV3-001"))).json().object();
        QVERIFY(!japanese[QStringLiteral("name")].toString().isEmpty());
        QVERIFY(japanese[QStringLiteral("pricing")][QStringLiteral("tcgplayer")].isNull());

        // A card asked for by its name is the first card of that name.
        QCOMPARE(fetch(m_network, item(QStringLiteral("en"), QStringLiteral("cards"), QStringLiteral("charizard"))).json()[QStringLiteral("name")].toString(),
                 QStringLiteral("Charizard"));
    }

    void rarityFilters()
    {
        const QJsonArray rarities = fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/rarities"))).json().array();
        QCOMPARE(rarities.size(), 40);
        QVERIFY(rarities.contains(QStringLiteral("Rare Holo LV.X")));

        const QJsonArray amazing = filtered(QStringLiteral("en"), QStringLiteral("rarity"), QStringLiteral("eq:Amazing Rare"));
        QCOMPARE(amazing.size(), 9);
        for (const QJsonValue &card : amazing)
            QVERIFY(!card[QStringLiteral("id")].toString().isEmpty() && !card[QStringLiteral("name")].toString().isEmpty());
        QVERIFY(filtered(QStringLiteral("en"), QStringLiteral("rarity"), QStringLiteral("eq:Rare Holo LV.X")).size() > 0);
        QCOMPARE(filtered(QStringLiteral("en"), QStringLiteral("rarity"), QStringLiteral("eq:Rare")).size(), 3871);
        // A "+" in the query is a space, as a browser would send it.
        QCOMPARE(fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/cards?rarity=eq:Amazing+Rare"))).json().array().size(), 9);
        // A value no card has is an empty list, not an error.
        const Fetched none = fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/cards?rarity=eq:Nonesuch")));
        QCOMPARE(none.status, 200);
        QCOMPARE(none.body, QByteArray("[]"));
    }

    void dexAndVariantFilters()
    {
        const QJsonArray eevee = filtered(QStringLiteral("en"), QStringLiteral("dexId"), QStringLiteral("eq:133"));
        QCOMPARE(eevee.size(), 105);
        for (const QJsonValue &card : eevee)
            QVERIFY(card[QStringLiteral("name")].toString().contains(QStringLiteral("Eevee"), Qt::CaseInsensitive));
        const QJsonArray bulbasaur = filtered(QStringLiteral("en"), QStringLiteral("dexId"), QStringLiteral("eq:1"));
        QCOMPARE(bulbasaur.size(), 35);
        QVERIFY(filtered(QStringLiteral("ja"), QStringLiteral("dexId"), QStringLiteral("eq:25")).size() > 0);
        QCOMPARE(filtered(QStringLiteral("en"), QStringLiteral("dexId"), QStringLiteral("eq:99999")).size(), 0);

        const QJsonArray firstEdition = filtered(QStringLiteral("en"), QStringLiteral("variants.firstEdition"), QStringLiteral("true"));
        QVERIFY(!firstEdition.isEmpty());
        QVERIFY(filtered(QStringLiteral("en"), QStringLiteral("variants.reverse"), QStringLiteral("true")).size() > firstEdition.size());
    }

    void missingItemsAnswerTheServicesErrorBodies()
    {
        const Fetched card = fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/cards/xyz")));
        QCOMPARE(card.status, 404);
        QCOMPARE(card.error, QNetworkReply::ContentNotFoundError);
        QCOMPARE(card.body, QByteArray("{\"type\":\"https://tcgdex.dev/errors/not-found\",\"title\":\"The resource you are "
                                       "trying to reach does not exists\",\"status\":404,\"endpoint\":\"/en/cards/xyz\",\"method\":\"GET\"}"));
        QCOMPARE(fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/sets/nope"))).json()[QStringLiteral("endpoint")].toString(),
                 QStringLiteral("/en/sets/nope"));
        QCOMPARE(fetch(m_network, api(QStringLiteral("ja"), QStringLiteral("/series/nope"))).status, 404);
        QCOMPARE(fetch(m_network, api(QStringLiteral("en"), QStringLiteral("/nothing"))).status, 404);
        // Known languages that are not recorded have nothing to serve.
        QCOMPARE(fetch(m_network, api(QStringLiteral("fr"), QStringLiteral("/cards/base1-4"))).json()[QStringLiteral("type")].toString(),
                 QStringLiteral("https://tcgdex.dev/errors/not-found"));

        const Fetched language = fetch(m_network, api(QStringLiteral("xx"), QStringLiteral("/cards/base1-4")));
        QCOMPARE(language.status, 404);
        const QJsonObject error = language.json().object();
        QCOMPARE(error[QStringLiteral("type")].toString(), QStringLiteral("https://tcgdex.dev/errors/language-invalid"));
        QCOMPARE(error[QStringLiteral("lang")].toString(), QStringLiteral("xx"));
        QCOMPARE(error[QStringLiteral("endpoint")].toString(), QStringLiteral("/xx/cards/base1-4"));
        QVERIFY(error[QStringLiteral("details")].toString().contains(QStringLiteral("ja")));
    }

    void onlyGetIsServed()
    {
        QNetworkRequest request(QUrl(api(QStringLiteral("en"), QStringLiteral("/rarities"))));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        QNetworkReply *reply = m_network.post(request, QByteArray("{}"));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 405);
        delete reply;
    }
};

PV_REGISTER_TEST(CardDatabaseRoutesTest)
#include "CardDatabaseRoutesTest.moc"
