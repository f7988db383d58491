#include "CatalogTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "catalog/CatalogSearch.h"
#include "core/Errata.h"
#include "core/Log.h"
#include "core/NameTranslator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;
using pv::test::cacheFile;
using pv::test::catalogCard;
using pv::test::catalogSet;
using pv::test::writeCache;
using pv::test::writeFile;

namespace {

// A small English catalog, deliberately written out of order.
CatalogCache::Contents englishContents()
{
    CatalogCache::Contents contents;
    contents.series = {SerieBrief{QStringLiteral("base"), QStringLiteral("Base"), QString()},
                       SerieBrief{QStringLiteral("empty"), QStringLiteral("Abandoned"), QString()},
                       SerieBrief{QStringLiteral("sv"), QStringLiteral("Scarlet & Violet"), QString()},
                       SerieBrief{QStringLiteral("zzz"), QStringLiteral("Also Empty"), QString()}};
    contents.sets = {catalogSet(QStringLiteral("base1"), QStringLiteral("Base Set"), QStringLiteral("base"), 0, 102,
                                112),
                     catalogSet(QStringLiteral("sv03.5"), QStringLiteral("151"), QStringLiteral("sv"), 160, 165, 175),
                     catalogSet(QStringLiteral("svp"), QStringLiteral("Promos"), QStringLiteral("sv"), 150, 0, 10),
                     catalogSet(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"), QStringLiteral("sv"), 150,
                                197, 207),
                     catalogSet(QStringLiteral("ecard1"), QStringLiteral("Expedition"), QString(), 40, 165, 175)};
    contents.rarities = {QStringLiteral("Common"), QStringLiteral("Rare Holo")};
    contents.cards = {catalogCard(QStringLiteral("sv03.5"), QStringLiteral("166"), QStringLiteral("Charmeleon"),
                                  QStringLiteral("Common"), 1),
                      catalogCard(QStringLiteral("sv03.5"), QStringLiteral("005"), QStringLiteral("Charmeleon"),
                                  QStringLiteral("Common"), 5),
                      catalogCard(QStringLiteral("sv03.5"), QStringLiteral("004"), QStringLiteral("Charmander"),
                                  QStringLiteral("Common"), 0),
                      catalogCard(QStringLiteral("ecard1"), QStringLiteral("5"), QStringLiteral("Butterfree"),
                                  QStringLiteral("Rare Holo"), 2),
                      catalogCard(QStringLiteral("ecard1"), QStringLiteral("4a"), QStringLiteral("Blastoise")),
                      catalogCard(QStringLiteral("svp"), QStringLiteral("TG04"), QStringLiteral("Flab\u00e9b\u00e9")),
                      catalogCard(QStringLiteral("svp"), QStringLiteral("?"), QStringLiteral("Mystery")),
                      catalogCard(QStringLiteral("sv03"), QStringLiteral("4"), QStringLiteral("Charmander")),
                      catalogCard(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"),
                                  QStringLiteral("Rare Holo"), 10)};
    contents.haveVariants = true;
    contents.savedAt = QDateTime::currentDateTimeUtc();
    return contents;
}

QStringList ids(const QList<CatalogCard> &cards)
{
    QStringList list;
    for (const CatalogCard &card : cards)
        list.append(card.id);
    return list;
}

QStringList searchIds(const CardCatalog &catalog, Language language, const CatalogQuery &query, int limit = 100)
{
    return ids(catalog.search(language, query, limit).cards);
}

CatalogQuery nameQuery(const QString &text)
{
    CatalogQuery query;
    query.text = text;
    return query;
}

CatalogQuery numberQuery(const QString &number, int printedTotal = 0)
{
    CatalogQuery query;
    query.number = number;
    query.printedTotal = printedTotal;
    return query;
}

// Every search list runs parallel to the cards and describes the card at
// its own position.
void verifySearchListsAligned(const LanguageCatalog &catalog, bool translated)
{
    QCOMPARE(catalog.foldedNames.size(), catalog.cards.size());
    QCOMPARE(catalog.alternateNames.size(), catalog.cards.size());
    QCOMPARE(catalog.numbers.size(), catalog.cards.size());
    for (qsizetype i = 0; i < catalog.cards.size(); ++i) {
        const CatalogCard &card = catalog.cards.at(i);
        QCOMPARE(catalog.foldedNames.at(i), searchKey(card.name));
        QCOMPARE(catalog.numbers.at(i).number, parseCardNumber(card.localId).number);
        if (!translated)
            QVERIFY(catalog.alternateNames.at(i).isEmpty());
        QCOMPARE(catalog.cardIndex.value(card.id, -1), int(i));
    }
}

} // namespace

class CardCatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_errataDir.isValid());
        loadErrata(QJsonObject());
    }

    void cleanup()
    {
        QFile::remove(cacheFile(Language::English));
        QFile::remove(cacheFile(Language::Japanese));
        loadErrata(QJsonObject());
        NameTranslator::setEnabled(true);
    }

    void loadingFromTheCacheIndexesTheCatalog()
    {
        writeCache(Language::English, englishContents());
        CardCatalog catalog(nullptr);
        QSignalSpy loaded(&catalog, &CardCatalog::languageLoaded);
        QCOMPARE(catalog.state(Language::English), CatalogState::None);
        catalog.ensureLoaded(Language::English);
        QCOMPARE(catalog.state(Language::English), CatalogState::Ready);
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.at(0).at(1).toBool(), true);

        // Newest set first; equal orders by name.
        QStringList setIds;
        for (const CatalogSet &set : catalog.setsOfSeries(Language::English, QString()))
            setIds.append(set.id);
        QCOMPARE(setIds, (QStringList{QStringLiteral("sv03.5"), QStringLiteral("sv03"), QStringLiteral("svp"),
                                      QStringLiteral("ecard1"), QStringLiteral("base1")}));
        // Series by their newest set; series without sets last, by name.
        QStringList serieIds;
        for (const SerieBrief &serie : catalog.series(Language::English))
            serieIds.append(serie.id);
        QCOMPARE(serieIds, (QStringList{QStringLiteral("sv"), QStringLiteral("base"), QStringLiteral("empty"),
                                        QStringLiteral("zzz")}));
        // Cards by set position, then by parsed number.
        QCOMPARE(ids(catalog.catalog(Language::English)->cards),
                 (QStringList{QStringLiteral("sv03.5-004"), QStringLiteral("sv03.5-005"), QStringLiteral("sv03.5-166"),
                              QStringLiteral("sv03-4"), QStringLiteral("svp-?"), QStringLiteral("svp-TG04"),
                              QStringLiteral("ecard1-4a"), QStringLiteral("ecard1-5"), QStringLiteral("base1-4")}));
        verifySearchListsAligned(*catalog.catalog(Language::English), false);

        const CatalogCard *card = catalog.cardById(Language::English, QStringLiteral("sv03.5-005"));
        QVERIFY(card);
        QCOMPARE(card->setName, QStringLiteral("151"));
        QCOMPARE(card->serieName, QStringLiteral("Scarlet & Violet"));
        QCOMPARE(card->official, 165);
        QCOMPARE(card->language, Language::English);
        QVERIFY(!catalog.cardById(Language::English, QString()));
        QVERIFY(!catalog.cardById(Language::Japanese, QStringLiteral("sv03.5-005")));

        QCOMPARE(catalog.setsOfSeries(Language::English, QStringLiteral("sv")).size(), 3);
        QCOMPARE(catalog.cardsInSet(Language::English, QStringLiteral("ecard1")).size(), 2);
        QVERIFY(catalog.cardsInSet(Language::English, QString()).isEmpty());
        QVERIFY(catalog.hasRarities(Language::English));
        QVERIFY(!catalog.hasRarities(Language::Japanese));
    }

    void aSecondEnsureLoadedReadsTheDiskOnce()
    {
        writeCache(Language::English, englishContents());
        CardCatalog catalog(nullptr);
        QSignalSpy loaded(&catalog, &CardCatalog::languageLoaded);
        catalog.ensureLoaded(Language::English);
        const int logStart = Log::instance().count();

        CatalogCache::Contents changed = englishContents();
        changed.cards.removeLast();
        writeCache(Language::English, changed);
        catalog.ensureLoaded(Language::English);
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(catalog.catalog(Language::English)->cards.size(), englishContents().cards.size());
        const QList<LogEntry> entries = Log::instance().entries();
        for (int i = logStart; i < entries.size(); ++i)
            QVERIFY(!entries.at(i).message.startsWith(QStringLiteral("Loaded the")));

        // A language whose file was missing is not looked for again either.
        catalog.ensureLoaded(Language::Japanese);
        writeCache(Language::Japanese, englishContents());
        catalog.ensureLoaded(Language::Japanese);
        QVERIFY(!catalog.catalog(Language::Japanese));
        QCOMPARE(catalog.state(Language::Japanese), CatalogState::None);
    }

    void aRejectedCacheLeavesNoCatalog()
    {
        QVERIFY(QDir().mkpath(cacheDirectory()));
        QVERIFY(writeFile(cacheFile(Language::English), "not cbor at all \xff\xff"));
        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::English);
        QVERIFY(!catalog.catalog(Language::English));
        QVERIFY(!QFile::exists(cacheFile(Language::English)));
        QCOMPARE(catalog.statusText(Language::English), QStringLiteral("No English catalog yet."));
        QVERIFY(catalog.search(Language::English, nameQuery(QStringLiteral("a")), 10).cards.isEmpty());
        QCOMPARE(catalog.setSummary(Language::English, QStringLiteral("base1")).order, 2147483647);
    }

    void searchRules()
    {
        writeCache(Language::English, englishContents());
        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::English);
        const Language en = Language::English;

        // An empty query finds nothing; a query of blanks lists everything.
        CatalogSearchResult result = catalog.search(en, CatalogQuery(), 100);
        QCOMPARE(result.total, 0);
        result = catalog.search(en, nameQuery(QStringLiteral("   ")), 100);
        QCOMPARE(result.total, 9);
        QCOMPARE(result.cards.size(), 9);
        QVERIFY(!result.truncated);

        // The limit bounds the copies, never the count.
        result = catalog.search(en, nameQuery(QStringLiteral("char")), 0);
        QCOMPARE(result.total, 5);
        QVERIFY(result.cards.isEmpty());
        QVERIFY(result.truncated);
        QCOMPARE(searchIds(catalog, en, nameQuery(QStringLiteral("char")), 2),
                 (QStringList{QStringLiteral("sv03.5-004"), QStringLiteral("sv03.5-005")}));

        QCOMPARE(searchIds(catalog, en, nameQuery(QStringLiteral(" FLABEBE "))), QStringList{QStringLiteral("svp-TG04")});
        QCOMPARE(searchIds(catalog, en, numberQuery(QStringLiteral("4"))),
                 (QStringList{QStringLiteral("sv03.5-004"), QStringLiteral("sv03-4"), QStringLiteral("base1-4")}));
        QCOMPARE(searchIds(catalog, en, numberQuery(QStringLiteral("tg04"))), QStringList{QStringLiteral("svp-TG04")});
        QCOMPARE(searchIds(catalog, en, numberQuery(QStringLiteral("4A"))), QStringList{QStringLiteral("ecard1-4a")});
        QCOMPARE(searchIds(catalog, en, numberQuery(QStringLiteral("?"))), QStringList{QStringLiteral("svp-?")});

        // "005/165" finds the padded and the unpadded printing; "166/165" the secret rare.
        QCOMPARE(searchIds(catalog, en, numberQuery(QStringLiteral("005"), 165)),
                 (QStringList{QStringLiteral("sv03.5-005"), QStringLiteral("ecard1-5")}));
        QCOMPARE(searchIds(catalog, en, numberQuery(QStringLiteral("166"), 165)), QStringList{QStringLiteral("sv03.5-166")});
        QCOMPARE(catalog.search(en, numberQuery(QString(), 197), 10).total, 1);

        CatalogQuery query;
        query.seriesId = QStringLiteral("empty");
        QCOMPARE(catalog.search(en, query, 10).total, 0);
        query.seriesId = QStringLiteral("sv");
        QCOMPARE(catalog.search(en, query, 10).total, 6);
        query = CatalogQuery();
        query.rarities = {QStringLiteral("rare holo")};
        QCOMPARE(catalog.search(en, query, 10).total, 0);
        query.rarities = {QStringLiteral("Rare Holo")};
        QCOMPARE(searchIds(catalog, en, query), (QStringList{QStringLiteral("ecard1-5"), QStringLiteral("base1-4")}));
        query.setId = QStringLiteral("BASE1");
        QCOMPARE(catalog.search(en, query, 10).total, 0);
    }

    void setSummaryAndReleaseDates()
    {
        writeCache(Language::English, englishContents());
        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::English);
        catalog.setSetReleaseDate(Language::English, QStringLiteral("sv03.5"), QDate(2023, 9, 22));
        catalog.setSetReleaseDate(Language::English, QStringLiteral("sv03"), QDate());
        catalog.setSetReleaseDate(Language::English, QStringLiteral("nope"), QDate(2020, 1, 1));
        const SetRecord summary = catalog.setSummary(Language::English, QStringLiteral("sv03.5"));
        QCOMPARE(summary.name, QStringLiteral("151"));
        QCOMPARE(summary.serie, QStringLiteral("Scarlet & Violet"));
        QCOMPARE(summary.releaseDate, QDate(2023, 9, 22));
        QCOMPARE(summary.order, 160);
        QCOMPARE(summary.officialCardCount, 165);
        QCOMPARE(summary.totalCardCount, 175);
        QVERIFY(catalog.setById(Language::English, QStringLiteral("sv03"))->releaseDate.isNull());
        const SetRecord missing = catalog.setSummary(Language::Japanese, QStringLiteral("sv03.5"));
        QCOMPARE(missing.order, 2147483647);
        QCOMPARE(missing.language, Language::English);
        QVERIFY(missing.id.isEmpty());
    }

    void printingsOfACard()
    {
        CatalogCard card;
        QVERIFY(CardCatalog::printingsOf(card).isEmpty());
        card.printingMask = 0;
        const QHash<QString, bool> none = CardCatalog::printingsOf(card);
        QCOMPARE(none.size(), 4);
        for (const bool flag : none)
            QVERIFY(!flag);
        card.printingMask = 10;
        const QHash<QString, bool> some = CardCatalog::printingsOf(card);
        QVERIFY(some.value(QStringLiteral("holo")));
        QVERIFY(some.value(QStringLiteral("firstEdition")));
        QVERIFY(!some.value(QStringLiteral("normal")));

        writeCache(Language::English, englishContents());
        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::English);
        // Unresolved and "listed in none" both offer nothing.
        QVERIFY(catalog.availablePrintings(Language::English, QStringLiteral("ecard1-4a")).isEmpty());
        QVERIFY(catalog.availablePrintings(Language::English, QStringLiteral("sv03.5-004")).isEmpty());
        QCOMPARE(catalog.availablePrintings(Language::English, QStringLiteral("sv03.5-005")),
                 (QStringList{QStringLiteral("normal"), QStringLiteral("reverse")}));
    }

    void errataCardsJoinEveryIndexingOnce()
    {
        QJsonObject errata;
        errata.insert(QStringLiteral("addCards"),
                      QJsonObject{{QStringLiteral("en:sv03.5"),
                                   QJsonArray{QJsonObject{{QStringLiteral("localId"), QStringLiteral("005a")},
                                                          {QStringLiteral("name"), QStringLiteral("Charmeleon Alt")}},
                                              QJsonObject{{QStringLiteral("localId"), QStringLiteral("004")},
                                                          {QStringLiteral("name"), QStringLiteral("Served Already")}}}},
                                  {QStringLiteral("en:gone"),
                                   QJsonArray{QJsonObject{{QStringLiteral("localId"), QStringLiteral("1")}}}}});
        loadErrata(errata);
        writeCache(Language::English, englishContents());
        CardCatalog catalog(nullptr);
        const int logStart = Log::instance().count();
        catalog.ensureLoaded(Language::English);

        const QStringList setCards = ids(catalog.cardsInSet(Language::English, QStringLiteral("sv03.5")));
        QCOMPARE(setCards, (QStringList{QStringLiteral("sv03.5-004"), QStringLiteral("sv03.5-005"),
                                        QStringLiteral("sv03.5-005a"), QStringLiteral("sv03.5-166")}));
        QVERIFY(catalog.cardById(Language::English, QStringLiteral("sv03.5-005a"))->fromErrata);
        QCOMPARE(countMessages(logStart, QStringLiteral("errata"), QStringLiteral("now serves")), 1);
        QCOMPARE(countMessages(logStart, QStringLiteral("catalog"), QStringLiteral("gone")), 1);

        const int reindexStart = Log::instance().count();
        catalog.reindex();
        QCOMPARE(catalog.cardsInSet(Language::English, QStringLiteral("sv03.5")).size(), 4);
        QCOMPARE(countMessages(reindexStart, QStringLiteral("errata"), QStringLiteral("now serves")), 0);
        verifySearchListsAligned(*catalog.catalog(Language::English), false);
    }

    void reindexRebuildsTheSearchListsFromScratch()
    {
        // Japanese cards, two of which take English names from the errata's
        // name overrides, plus one card the errata adds in front of them.
        const QString untranslated = QStringLiteral("\u30ca\u30be\u30ce\u30ab\u30fc\u30c9");
        CatalogCache::Contents contents;
        contents.sets = {
            catalogSet(QStringLiteral("SV2a"), QStringLiteral("\u30dd\u30b1\u30e2\u30f3151"), QString(), 10, 165, 175)};
        contents.cards = {catalogCard(QStringLiteral("SV2a"), QStringLiteral("001"),
                                      QStringLiteral("\u30d5\u30b7\u30ae\u30c0\u30cd")),
                          catalogCard(QStringLiteral("SV2a"), QStringLiteral("025"), untranslated),
                          catalogCard(QStringLiteral("SV2a"), QStringLiteral("151"),
                                      QStringLiteral("\u30df\u30e5\u30a6"))};
        contents.savedAt = QDateTime::currentDateTimeUtc();
        writeCache(Language::Japanese, contents);

        const QJsonObject names{{QStringLiteral("ja:SV2a-001"), QStringLiteral("Bulbasaur")},
                                {QStringLiteral("ja:SV2a-151"), QStringLiteral("Mew")}};
        QJsonObject errata{{QStringLiteral("names"), names}};
        errata.insert(QStringLiteral("addCards"),
                      QJsonObject{{QStringLiteral("ja:SV2a"),
                                   QJsonArray{QJsonObject{{QStringLiteral("localId"), QStringLiteral("000")},
                                                          {QStringLiteral("name"), untranslated}}}}});
        loadErrata(errata);
        NameTranslator::setEnabled(true);

        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::Japanese);
        const Language ja = Language::Japanese;
        QCOMPARE(catalog.catalog(ja)->cards.size(), 4);
        QCOMPARE(searchIds(catalog, ja, nameQuery(QStringLiteral("bulba"))), QStringList{QStringLiteral("SV2a-001")});
        QCOMPARE(searchIds(catalog, ja, nameQuery(QStringLiteral("\u30df\u30e5\u30a6"))), QStringList{QStringLiteral("SV2a-151")});
        verifySearchListsAligned(*catalog.catalog(ja), true);

        // The errata's card goes away and every card moves up one place: the
        // English name of the card that held a slot must not stay behind on
        // the untranslated card that now holds it.
        loadErrata(QJsonObject{{QStringLiteral("names"), names}});
        catalog.reindex();
        QCOMPARE(catalog.catalog(ja)->cards.size(), 3);
        QCOMPARE(searchIds(catalog, ja, nameQuery(QStringLiteral("bulba"))), QStringList{QStringLiteral("SV2a-001")});
        QCOMPARE(searchIds(catalog, ja, nameQuery(QStringLiteral("mew"))), QStringList{QStringLiteral("SV2a-151")});
        QVERIFY(catalog.catalog(ja)->alternateNames.at(1).isEmpty());
        verifySearchListsAligned(*catalog.catalog(ja), true);

        // Translation switched off: the English names no longer find anything.
        NameTranslator::setEnabled(false);
        catalog.reindex();
        QVERIFY(searchIds(catalog, ja, nameQuery(QStringLiteral("bulba"))).isEmpty());
        QVERIFY(searchIds(catalog, ja, nameQuery(QStringLiteral("mew"))).isEmpty());
        verifySearchListsAligned(*catalog.catalog(ja), false);
    }

    void statusTextTellsTheAge_data()
    {
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<QString>("age");
        QTest::newRow("future") << -600 << QStringLiteral("updated just now");
        QTest::newRow("1:50") << 110 << QStringLiteral("updated just now");
        QTest::newRow("2 min") << 125 << QStringLiteral("updated 2 minute(s) ago");
        QTest::newRow("59 min") << 59 * 60 + 30 << QStringLiteral("updated 59 minute(s) ago");
        QTest::newRow("60 min") << 3605 << QStringLiteral("updated 1 hour(s) ago");
        QTest::newRow("1439 min") << 1439 * 60 + 5 << QStringLiteral("updated 23 hour(s) ago");
        QTest::newRow("1440 min") << 1440 * 60 + 5 << QStringLiteral("updated 1 day(s) ago");
    }

    void statusTextTellsTheAge()
    {
        QFETCH(int, ageSeconds);
        QFETCH(QString, age);
        CatalogCache::Contents contents = englishContents();
        // The file keeps whole seconds; the ages stay clear of the minute edges.
        contents.savedAt = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
        writeCache(Language::English, contents);
        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::English);
        QCOMPARE(catalog.statusText(Language::English), QStringLiteral("5 sets, 9 cards - %1").arg(age));
    }

private:
    void loadErrata(const QJsonObject &content)
    {
        QJsonObject document = content;
        document.insert(QStringLiteral("format"), QStringLiteral("tallowk-errata"));
        const QString path = m_errataDir.filePath(QStringLiteral("errata.json"));
        QVERIFY(writeFile(path, QJsonDocument(document).toJson()));
        Errata::load(path);
    }

    static int countMessages(int start, const QString &category, const QString &fragment)
    {
        const QList<LogEntry> entries = Log::instance().entries();
        int count = 0;
        for (int i = start; i < entries.size(); ++i)
            count += entries.at(i).category == category && entries.at(i).message.contains(fragment) ? 1 : 0;
        return count;
    }

    QTemporaryDir m_errataDir;
};

PV_REGISTER_TEST(CardCatalogTest)
#include "CardCatalogTest.moc"
