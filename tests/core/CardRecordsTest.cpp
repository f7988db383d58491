#include "TestRegistry.h"

#include "core/CardArtwork.h"
#include "core/CardBrief.h"
#include "core/CardDetail.h"
#include "core/SerieBrief.h"
#include "core/SerieDetail.h"
#include "core/ServiceUrls.h"
#include "core/SetBrief.h"
#include "core/SetDetail.h"
#include "core/TcgcsvGroup.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace pv;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// Every member of every record parser, filled with a value of the wrong kind.
const char *const wrongTypes = R"({)"
    R"("id": 7, "localId": null, "name": ["x"], "image": {"a": 1}, "logo": true, "symbol": 1.5,)"
    R"("set": "sv03", "serie": [1], "rarity": false, "illustrator": 3, "category": null,)"
    R"("dexId": "25", "variants": [true], "pricing": "cheap", "cardCount": 12,)"
    R"("releaseDate": 20230324, "cards": {"0": {}}, "sets": "all",)"
    R"("groupId": "3170", "abbreviation": 5, "publishedOn": 2023)"
R"(})";

} // namespace

class CardRecordsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cardParsesFullRecord()
    {
        const CardDetail card = CardDetail::fromJson(parse(R"({)"
            R"("id": "sv03-001", "localId": "001", "name": "Oddish",)"
            R"("set": {"id": "sv03", "name": "Obsidian Flames"}, "rarity": "Common",)"
            R"("illustrator": "Someone", "category": "Pokemon",)"
            R"("image": "https://assets.tcgdex.net/en/sv/sv03/001", "dexId": [43, 44],)"
            R"("variants": {"normal": true, "holo": "yes", "reverse": false},)"
            R"("pricing": {"cardmarket": {"avg": 0.1}, "tcgplayer": null}})"));
        QCOMPARE(card.id, QStringLiteral("sv03-001"));
        QCOMPARE(card.localId, QStringLiteral("001"));
        QCOMPARE(card.setId, QStringLiteral("sv03"));
        QCOMPARE(card.setName, QStringLiteral("Obsidian Flames"));
        QCOMPARE(card.rarity, QStringLiteral("Common"));
        QCOMPARE(card.category, QStringLiteral("Pokemon"));
        QCOMPARE(card.dexId, 43);
        QCOMPARE(card.variants.size(), 3);
        QCOMPARE(card.variants.value(QStringLiteral("normal")), true);
        QCOMPARE(card.variants.value(QStringLiteral("holo")), false);  // not a JSON boolean
        QVERIFY(card.pricing.contains(QStringLiteral("cardmarket")));
        QVERIFY(card.pricing.value(QStringLiteral("tcgplayer")).isNull());
    }

    void emptyObjectsGiveDefaults()
    {
        const CardDetail card = CardDetail::fromJson(QJsonObject());
        QVERIFY(card.id.isEmpty() && card.setId.isEmpty() && card.image.isEmpty());
        QCOMPARE(card.dexId, 0);
        QVERIFY(card.variants.isEmpty());
        QVERIFY(card.pricing.isEmpty());

        const SetDetail set = SetDetail::fromJson(QJsonObject());
        QVERIFY(set.id.isEmpty() && set.serieId.isEmpty());
        QVERIFY(set.releaseDate.isNull());
        QCOMPARE(set.official, 0);
        QCOMPARE(set.total, 0);
        QVERIFY(set.cards.isEmpty());

        const SetBrief brief = SetBrief::fromJson(QJsonObject(), 4);
        QCOMPARE(brief.order, 4);
        QCOMPARE(brief.official, 0);
        QVERIFY(SerieDetail::fromJson(QJsonObject()).sets.isEmpty());
        QCOMPARE(TcgcsvGroup::fromJson(QJsonObject()).groupId, 0);
        QVERIFY(TcgcsvGroup::fromJson(QJsonObject()).publishedOn.isNull());
    }

    void wrongTypesAndNullsGiveDefaults()
    {
        const QJsonObject o = parse(wrongTypes);
        QVERIFY(!o.isEmpty());

        const CardDetail card = CardDetail::fromJson(o);
        QVERIFY(card.id.isEmpty() && card.localId.isEmpty() && card.name.isEmpty());
        QVERIFY(card.image.isEmpty() && card.setId.isEmpty() && card.rarity.isEmpty());
        QVERIFY(card.illustrator.isEmpty() && card.category.isEmpty());
        QCOMPARE(card.dexId, 0);
        QVERIFY(card.variants.isEmpty());
        QVERIFY(card.pricing.isEmpty());

        const CardBrief brief = CardBrief::fromJson(o);
        QVERIFY(brief.id.isEmpty() && brief.setId.isEmpty());

        const SetBrief setBrief = SetBrief::fromJson(o, 0);
        QVERIFY(setBrief.logo.isEmpty() && setBrief.symbol.isEmpty());
        QCOMPARE(setBrief.official, 0);

        const SetDetail set = SetDetail::fromJson(o);
        QVERIFY(set.serieId.isEmpty() && set.serieName.isEmpty());
        QVERIFY(set.releaseDate.isNull());
        QVERIFY(set.cards.isEmpty());

        const SerieBrief serie = SerieBrief::fromJson(o);
        QVERIFY(serie.id.isEmpty() && serie.logo.isEmpty());
        QVERIFY(SerieDetail::fromJson(o).sets.isEmpty());

        const TcgcsvGroup group = TcgcsvGroup::fromJson(o);
        QCOMPARE(group.groupId, 0);
        QVERIFY(group.abbreviation.isEmpty());
        QVERIFY(group.publishedOn.isNull());
    }

    // A count or number that does not fit an int must not wrap into a
    // plausible value; fractions are not whole numbers.
    void outOfRangeNumbersGiveZero_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<int>("expected");
        QTest::newRow("int max") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("int min") << QByteArray("-2147483648") << -2147483647 - 1;
        QTest::newRow("just past int") << QByteArray("2147483648") << 0;
        QTest::newRow("wraps to 25") << QByteArray("4294967321") << 0;
        QTest::newRow("beyond 64 bits") << QByteArray("1e300") << 0;
        QTest::newRow("fraction") << QByteArray("12.5") << 0;
        QTest::newRow("whole double") << QByteArray("12.0") << 12;
    }
    void outOfRangeNumbersGiveZero()
    {
        QFETCH(QByteArray, number);
        QFETCH(int, expected);
        const QJsonObject o = parse("{\"dexId\": [" + number + "], \"groupId\": " + number
                                    + ", \"cardCount\": {\"official\": " + number
                                    + ", \"total\": " + number + "}}");
        QCOMPARE(CardDetail::fromJson(o).dexId, expected);
        QCOMPARE(TcgcsvGroup::fromJson(o).groupId, expected);
        QCOMPARE(readCardCount(o, QStringLiteral("official")), expected);
        QCOMPARE(SetBrief::fromJson(o, 0).total, expected);
        QCOMPARE(SetDetail::fromJson(o).official, expected);
    }

    void dexIdArrayEdges()
    {
        QCOMPARE(CardDetail::fromJson(parse(R"({"dexId": []})")).dexId, 0);
        QCOMPARE(CardDetail::fromJson(parse(R"({"dexId": [null, 26]})")).dexId, 0);
        QCOMPARE(CardDetail::fromJson(parse(R"({"dexId": [25, 26]})")).dexId, 25);
    }

    void cardBriefDerivesSetId_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("localId");
        QTest::addColumn<QString>("setId");
        QTest::newRow("plain") << "swsh3-136" << "136" << "swsh3";
        QTest::newRow("lettered") << "sm115-SV12" << "SV12" << "sm115";
        QTest::newRow("dotted set") << "sv03.5-005" << "005" << "sv03.5";
        QTest::newRow("other ending") << "swsh3-136" << "36" << "";
        QTest::newRow("case differs") << "sm115-sv12" << "SV12" << "";
        QTest::newRow("no hyphen") << "swsh3136" << "136" << "";
        QTest::newRow("no localId") << "swsh3-" << "" << "";
        QTest::newRow("id is only the ending") << "-5" << "5" << "";
    }
    void cardBriefDerivesSetId()
    {
        QFETCH(QString, id);
        QFETCH(QString, localId);
        QFETCH(QString, setId);
        QJsonObject o{{QStringLiteral("id"), id}, {QStringLiteral("localId"), localId}};
        QCOMPARE(CardBrief::fromJson(o).setId, setId);
    }

    void setDetailParsesCardsAndDates()
    {
        const SetDetail set = SetDetail::fromJson(parse(R"({)"
            R"("id": "sv03", "name": "Obsidian Flames", "serie": {"id": "sv", "name": "Scarlet & Violet"},)"
            R"("releaseDate": "2023-08-11", "cardCount": {"official": 197, "total": 230},)"
            R"("cards": [{"id": "sv03-001", "localId": "001", "name": "Oddish"}, 42, null,)"
                      R"({"id": "other-7", "localId": "7"}]})"));
        QCOMPARE(set.serieId, QStringLiteral("sv"));
        QCOMPARE(set.serieName, QStringLiteral("Scarlet & Violet"));
        QCOMPARE(set.releaseDate, QDate(2023, 8, 11));
        QCOMPARE(set.official, 197);
        QCOMPARE(set.total, 230);
        QCOMPARE(set.cards.size(), 4);
        for (const CardBrief &card : set.cards)
            QCOMPARE(card.setId, QStringLiteral("sv03"));  // the set's id wins over the id rule
        QVERIFY(set.cards.at(1).id.isEmpty());

        for (const char *bad : {"2023-13-01", "11/08/2023", "2023-8-11", "20230811", ""}) {
            QJsonObject o{{QStringLiteral("releaseDate"), QString::fromLatin1(bad)}};
            QVERIFY2(SetDetail::fromJson(o).releaseDate.isNull(), bad);
        }
        for (const char *withTime : {"2023-08-11T00:00:00", "2023-08-11T09:30:00Z"}) {
            QJsonObject o{{QStringLiteral("releaseDate"), QString::fromLatin1(withTime)}};
            QCOMPARE(SetDetail::fromJson(o).releaseDate, QDate(2023, 8, 11));
        }
    }

    void serieDetailListsSetsWithOrderZero()
    {
        const SerieDetail serie = SerieDetail::fromJson(parse(R"({)"
            R"("id": "sv", "name": "Scarlet & Violet", "logo": "l",)"
            R"("sets": [{"id": "sv01", "cardCount": {"official": 198}}, "junk", {"id": "sv02"}]})"));
        QCOMPARE(serie.sets.size(), 3);
        QCOMPARE(serie.sets.at(0).official, 198);
        QVERIFY(serie.sets.at(1).id.isEmpty());
        QCOMPARE(serie.sets.at(2).id, QStringLiteral("sv02"));
        for (const SetBrief &set : serie.sets)
            QCOMPARE(set.order, 0);
    }

    void tcgcsvGroupTrimsAndTakesTheDate()
    {
        const TcgcsvGroup group = TcgcsvGroup::fromJson(parse(R"({)"
            R"("groupId": 23228, "name": "  SV03: Obsidian Flames ", "abbreviation": " OBF ",)"
            R"("publishedOn": "2023-08-11T00:00:00"})"));
        QCOMPARE(group.groupId, 23228);
        QCOMPARE(group.name, QStringLiteral("SV03: Obsidian Flames"));
        QCOMPARE(group.abbreviation, QStringLiteral("OBF"));
        QCOMPARE(group.publishedOn, QDate(2023, 8, 11));
        QVERIFY(TcgcsvGroup::fromJson(parse(R"({"publishedOn": "soon"})")).publishedOn.isNull());
    }

    void artworkAddresses()
    {
        QVERIFY(cardImageUrl(QString(), true).isEmpty());
        QVERIFY(cardImageUrl(QString(), false).isEmpty());
        QCOMPARE(cardImageUrl(QStringLiteral("https://h/en/sv/sv03/001"), true),
                 QStringLiteral("https://h/en/sv/sv03/001/high.png"));
        QCOMPARE(cardImageUrl(QStringLiteral("https://h/en/sv/sv03/001"), false),
                 QStringLiteral("https://h/en/sv/sv03/001/low.jpg"));

        const QString host = ServiceUrls::defaultAssetsBase();
        QVERIFY(setArtworkUrl(QString()).isEmpty());
        QCOMPARE(setArtworkUrl(host + QStringLiteral("/univ/sv/sv03/symbol")),
                 host + QStringLiteral("/en/sv/sv03/symbol.png"));
        QCOMPARE(setArtworkUrl(host + QStringLiteral("/en/sv/sv03/logo")),
                 host + QStringLiteral("/en/sv/sv03/logo.png"));
        QCOMPARE(setArtworkUrl(host + QStringLiteral("/ja/univ/x")),
                 host + QStringLiteral("/ja/univ/x.png"));
        // The prefix test is case-sensitive.
        QCOMPARE(setArtworkUrl(host + QStringLiteral("/UNIV/x")), host + QStringLiteral("/UNIV/x.png"));
    }
};

PV_REGISTER_TEST(CardRecordsTest)
#include "CardRecordsTest.moc"
