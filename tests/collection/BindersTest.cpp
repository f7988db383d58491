#include "Fixtures.h"
#include "TestRegistry.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "collection/Binders.h"
#include "collection/Collection.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <limits>
#include <utility>

using namespace pv;

namespace {

QStringList ids(const QList<BinderCard> &cards)
{
    QStringList result;
    for (const BinderCard &card : cards)
        result.append(card.id);
    return result;
}

// Each card with what is owned of it and its value, and the owned count.
QStringList contents(const BinderResolution &resolved)
{
    QStringList result{QString::number(resolved.ownedCount)};
    for (const BinderCard &card : resolved.cards)
        result.append(QStringLiteral("%1 x%2 %3").arg(card.id).arg(card.owned).arg(card.value));
    return result;
}

} // namespace

class BindersTest : public QObject
{
    Q_OBJECT

    CardCatalog *m_catalog = nullptr;
    TcgdexClient *m_client = nullptr;
    DexIndex *m_dex = nullptr;

private slots:
    // One small English catalog on disk, loaded the way the application
    // loads its cache, and a dex index that knows two numbers from its file.
    void initTestCase()
    {
        CatalogCache::Contents contents;
        contents.series = {SerieBrief{QStringLiteral("sv"), QStringLiteral("Scarlet & Violet"), QString()},
                           SerieBrief{QStringLiteral("base"), QStringLiteral("Base"), QString()},
                           SerieBrief{QStringLiteral("gym"), QStringLiteral("Gym"), QString()}};
        contents.sets = {test::catalogSet("sv04", "SV04", "sv", 120), test::catalogSet("sv03", "SV03", "sv", 110),
                         test::catalogSet("base1", "BASE1", "base", 1), test::catalogSet("gym1", "GYM1", "gym", 5)};
        contents.cards = {
            test::catalogCard("base1", "4", "Charizard", "Rare Holo", 1),
            test::catalogCard("base1", "58", "Pikachu", "Common", 1),
            test::catalogCard("sv03", "010", "Eevee", "Common", 1),
            test::catalogCard("sv03", "002", "Pidgey", "Common", 1),
            test::catalogCard("sv03", "125", "Charizard ex", "Double Rare", 1),
            test::catalogCard("sv03", "201", "Pikachu \u2605", "Special Rare", 1),
            test::catalogCard("sv04", "001", "Flareon \u2606", "Rare Holo", 1),
            test::catalogCard("sv04", "002", "Vaporeon", "Rare Holo", 1),
            test::catalogCard("gym1", "6", "Misty's Tentacruel", "Holo Rare", 1),
        };
        contents.rarities = {QStringLiteral("Common"), QStringLiteral("Rare Holo"), QStringLiteral("Double Rare"),
                             QStringLiteral("Holo Rare")};
        contents.haveVariants = true;
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents));
        m_catalog = new CardCatalog(nullptr, this);
        m_catalog->ensureLoaded(Language::English);
        QVERIFY(m_catalog->cardById(Language::English, QStringLiteral("sv03-010")));

        QCborMap dexFile;
        dexFile.insert(QStringLiteral("format"), QStringLiteral("tallowk-dex"));
        dexFile.insert(QStringLiteral("version"), 1);
        dexFile.insert(QStringLiteral("entries"),
                       QCborArray{133, QCborArray{QStringLiteral("sv03-010"), QStringLiteral("base1-99")}, 136,
                                  QCborArray{QStringLiteral("sv04-001")}, 134, QCborArray{QStringLiteral("sv04-002")}});
        QFile file(DexIndex::cachePath(Language::English));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QCborValue(dexFile).toCbor());
        file.close();
        m_client = new TcgdexClient(this);
        m_dex = new DexIndex(m_client, this);
        QSignalSpy ready(m_dex, &DexIndex::dexReady);
        m_dex->request(Language::English, 133);
        QVERIFY(ready.wait(5000));
        QVERIFY(m_dex->contains(Language::English, 136));
    }

    void templatesAreTheSixBuiltInBinders()
    {
        const QList<Binder> templates = builtinBinderTemplates();
        QStringList names;
        for (const Binder &b : templates) {
            names.append(b.name);
            QCOMPARE(b.lang, Language::English);
            QCOMPARE(b.columns * b.rows, 9);
            QVERIFY(!b.id.contains(QLatin1Char('{')));
        }
        QCOMPARE(names, QStringList({"Eeveelutions", "WotC Holos", "Gold Stars", "Level X", "Amazing Rares",
                                     "360 Most Valuable Cards"}));
        QCOMPARE(templates.last().topValue, 360);
        QCOMPARE(templates.at(1).rules.size(), 5);
        QVERIFY(templates.first().id != builtinBinderTemplates().first().id);

        // The early series spell their holo rarity both ways; the other
        // series' holos stay out.
        const Collection none;
        const BinderResolution wotc = resolveBinder(templates.at(1), m_catalog, m_dex, &none);
        QCOMPARE(ids(wotc.cards), QStringList({"base1-4", "gym1-6"}));
    }

    void aRuleBinderForASetRunsInNumberOrder()
    {
        Collection c;
        c.addEntry(test::holdingOf(QStringLiteral("sv03-125"), 2, 30.0));
        Binder binder = newBinder(QStringLiteral("Set"), Language::English);
        binder.rules = {test::setRule("sv03")};
        const BinderResolution r = resolveBinder(binder, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-002", "sv03-010", "sv03-125", "sv03-201"}));
        QCOMPARE(r.ownedCount, 1);
        QCOMPARE(r.cards.at(2).owned, 2);
        QCOMPARE(r.cards.at(2).value, 0.0);  // rule binders carry no ranking value
        // Catalog order of rarities; one the catalog does not list is left out.
        QCOMPARE(r.rarities, QStringList({"Common", "Double Rare"}));
    }

    void rulesUniteAndOrderBySetThenNumber()
    {
        Collection c;
        Binder binder = newBinder(QStringLiteral("Mixed"), Language::English);
        BinderRule holo;
        holo.rarities = {QStringLiteral("Rare Holo")};
        binder.rules = {holo, test::setRule("sv04"), BinderRule()};
        const BinderResolution r = resolveBinder(binder, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"base1-4", "sv04-001", "sv04-002"}));
    }

    void goldStarsTakeEitherStar()
    {
        Collection c;
        const Binder stars = builtinBinderTemplates().at(2);
        const BinderResolution r = resolveBinder(stars, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-201", "sv04-001"}));
    }

    void dexRulesUseTheIndexAndTheRuleFilters()
    {
        Collection c;
        Binder binder = newBinder(QStringLiteral("Eevee"), Language::English);
        binder.rules = {test::dexRule({133, 136, 134})};
        BinderResolution r = resolveBinder(binder, m_catalog, m_dex, &c);
        // base1-99 is not in the catalog and is skipped.
        QCOMPARE(ids(r.cards), QStringList({"sv03-010", "sv04-001", "sv04-002"}));
        QVERIFY(r.pendingDexIds.isEmpty());

        BinderRule filtered = test::dexRule({133, 136, 134});
        filtered.serieId = QStringLiteral("sv");
        filtered.rarities = {QStringLiteral("Rare Holo")};
        filtered.name = QStringLiteral("FLAREON");
        binder.rules = {filtered};
        r = resolveBinder(binder, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv04-001"}));

        filtered = test::dexRule({133});
        filtered.setId = QStringLiteral("base1");
        binder.rules = {filtered};
        QVERIFY(resolveBinder(binder, m_catalog, m_dex, &c).cards.isEmpty());
    }

    void unknownDexNumbersArePendingOnce()
    {
        Collection c;
        Binder binder = newBinder(QStringLiteral("Pending"), Language::English);
        binder.rules = {test::dexRule({700, 133, 700}), test::dexRule({471, 700})};
        const BinderResolution r = resolveBinder(binder, m_catalog, m_dex, &c);
        QCOMPARE(r.pendingDexIds, QList<int>({700, 471}));
        QCOMPARE(ids(r.cards), QStringList({"sv03-010"}));
    }

    void nullServicesGiveEmptyOrPendingResults()
    {
        Collection c;
        c.addEntry(test::holdingOf(QStringLiteral("sv03-125"), 1, 3.0));
        Binder binder = newBinder(QStringLiteral("Any"), Language::English);
        binder.rules = {test::setRule("sv03"), test::dexRule({133})};
        binder.added = {QStringLiteral("base1-4")};
        QVERIFY(resolveBinder(binder, nullptr, m_dex, &c).cards.isEmpty());
        QVERIFY(resolveBinder(binder, m_catalog, m_dex, nullptr).cards.isEmpty());
        const BinderResolution noDex = resolveBinder(binder, m_catalog, nullptr, &c);
        QCOMPARE(noDex.pendingDexIds, QList<int>({133}));
        QCOMPARE(noDex.cards.size(), 5);
    }

    void addedAndRemovedByHand()
    {
        Collection c;
        Binder binder = newBinder(QStringLiteral("Hand"), Language::English);
        binder.rules = {test::setRule("sv04")};
        binder.added = {QStringLiteral("sv04-001"), QStringLiteral("base1-58"), QStringLiteral("base1-4"),
                        QStringLiteral("nowhere-1")};
        binder.removed = {QStringLiteral("base1-4"), QStringLiteral("sv04-002")};
        const BinderResolution r = resolveBinder(binder, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"base1-58", "sv04-001"}));
    }

    void aManualOrderPutsItsCardsFirst()
    {
        Collection c;
        Binder binder = newBinder(QStringLiteral("Ordered"), Language::English);
        binder.rules = {test::setRule("sv03")};
        binder.order = {QStringLiteral("sv03-125"), QStringLiteral("missing"), QStringLiteral("sv03-010"),
                        QStringLiteral("sv03-125")};  // a repeated id keeps its later place
        const BinderResolution r = resolveBinder(binder, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-010", "sv03-125", "sv03-002", "sv03-201"}));
    }

    void aValueRankedBinderHoldsWhatIsOwnedCheapestFirst()
    {
        Collection c;
        c.addEntry(test::holdingOf(QStringLiteral("sv03-002"), 6, 1.0));
        c.addEntry(test::holdingOf(QStringLiteral("sv03-125"), 1, 2.0));
        CardEntry customPriced = test::holdingOf(QStringLiteral("base1-4"), 1, 0.5);
        customPriced.customPriceEur = 50.0; // the custom price counts
        c.addEntry(customPriced);
        c.addEntry(test::holdingOf(QStringLiteral("sv04-002"), 1, 9.0, Language::Japanese));
        c.addEntry(test::holdingOf(QStringLiteral("unknown-1"), 1, 99.0));
        Binder top = newBinder(QStringLiteral("Top"), Language::English);
        top.topValue = 9;
        top.rules = {test::setRule("sv04")}; // ignored by a value-ranked binder
        BinderResolution r = resolveBinder(top, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-002", "sv03-125", "base1-4"}));
        QCOMPARE(r.cards.at(0).owned, 6);
        QCOMPARE(r.cards.at(2).value, 50.0);
        QCOMPARE(r.ownedCount, 3);

        top.topValue = 1;  // one copy at 2.0 beats six at 1.0, but not the custom 50
        r = resolveBinder(top, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"base1-4"}));
    }

    void equalValuesCutTheSameWayEveryTime()
    {
        Collection c;
        // Six cards of one value: the cut takes them in set-and-number order.
        for (const char *id : {"sv04-002", "sv03-201", "base1-58", "sv03-002", "sv03-010", "base1-4"})
            c.addEntry(test::holdingOf(QString::fromLatin1(id), 1, 1.0));
        Binder top = newBinder(QStringLiteral("Top"), Language::English);
        top.topValue = 3;
        BinderResolution r = resolveBinder(top, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-002", "base1-58", "base1-4"}));

        // Dearer cards the catalog does not know, or removed by hand, make
        // no room: the cut still falls among the cards of value 1.
        for (int i = 0; i < 200; ++i)
            c.addEntry(test::holdingOf(QStringLiteral("unknown-%1").arg(i), 1, 99.0 + i));
        c.addEntry(test::holdingOf(QStringLiteral("sv03-125"), 1, 50.0));
        top.removed = {QStringLiteral("sv03-125"), QStringLiteral("sv03-002")};
        r = resolveBinder(top, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-010", "base1-58", "base1-4"}));
    }

    // What binders count of the holdings follows edits in place, new prices,
    // merges and removals: the same as worked out afresh from the holdings.
    void resolutionsFollowTheHoldings()
    {
        Collection c;
        for (const char *id : {"sv03-002", "sv03-010", "base1-4", "sv03-002", "sv04-001", "sv03-125"})
            c.addEntry(test::holdingOf(QString::fromLatin1(id), 2, 1.0 + c.entries().size()));
        Binder top = newBinder(QStringLiteral("Top"), Language::English);
        top.topValue = 3;
        top.added = {QStringLiteral("sv04-002")};
        Binder rule = test::setBinder(QStringLiteral("sv03"));
        const auto same = [&] {
            Collection fresh;
            fresh.replaceContents(c.entries(), {}, {}, {}, std::nullopt);
            for (const Binder &binder : {top, rule})
                QCOMPARE(contents(resolveBinder(binder, m_catalog, m_dex, &c)),
                         contents(resolveBinder(binder, m_catalog, m_dex, &fresh)));
        };
        same();
        CardEntry edited = c.entries().at(1);
        edited.cardId = QStringLiteral("base1-58");
        edited.customPriceEur = 40.0;
        c.replaceEntry(1, edited); // another card, now the dearest
        same();
        edited.count = 9;
        c.replaceEntry(1, edited);
        same();
        const QHash<QString, double> eur{{QStringLiteral("normal|unlimited"), 30.0}};
        c.applyPrices(Language::English, QStringLiteral("sv03-002"), eur, {});
        same();
        c.updateEntry(4, c.entries().at(0)); // merges into the first row
        same();
        c.removeEntryAt(0);
        same();
        top.topValue = 1;
        same();
    }

    // A change of the holdings alters the binders it names as touched, and
    // no other: a binder it leaves out resolves as before.
    void aChangeTouchesOnlyTheBindersItMayAlter()
    {
        const QHash<QString, double> tenEur{{QStringLiteral("normal|unlimited"), 10.0}};
        struct Case
        {
            std::function<void(Collection &)> edit;
            bool top;  // the two dearest English cards
            bool rule; // the cards of sv03
        };
        const QList<Case> cases{
            {[](Collection &c) { c.addEntry(test::holdingOf(QStringLiteral("base1-58"), 1, 0.5)); }, false, false},
            {[](Collection &c) { c.addEntry(test::holdingOf(QStringLiteral("base1-58"), 1, 4.0)); }, true, false},
            {[](Collection &c) { c.addEntry(test::holdingOf(QStringLiteral("sv03-002"))); }, false, true},
            {[](Collection &c) {
                 c.addEntry(test::holdingOf(QStringLiteral("sv04-002"), 1, 99.0, Language::Japanese));
             },
             false, false},
            {[](Collection &c) { c.removeEntryAt(2); }, true, false},
            {[&](Collection &c) { c.applyPrices(Language::English, QStringLiteral("sv03-010"), tenEur, {}); }, true,
             true},
        };
        const Binder rule = test::setBinder(QStringLiteral("sv03"));
        Binder top = newBinder(QStringLiteral("Top"), Language::English);
        top.topValue = 2;
        for (const Case &test : cases) {
            Collection c;
            for (const auto &[id, eur] :
                 {std::pair{"sv03-002", 1.0}, {"sv03-010", 2.0}, {"base1-4", 5.0}, {"sv04-001", 3.0}})
                c.addEntry(test::holdingOf(QString::fromLatin1(id), 1, eur));
            Collection::Change change;
            connect(&c, &Collection::changed, this, [&change](const Collection::Change &made) { change = made; });
            const BinderResolution topBefore = resolveBinder(top, m_catalog, m_dex, &c);
            const BinderResolution ruleBefore = resolveBinder(rule, m_catalog, m_dex, &c);
            test.edit(c);
            QVERIFY(change.cardsKnown);
            QCOMPARE(binderTouchedBy(top, topBefore.cards, change.cards, true, c), test.top);
            QCOMPARE(binderTouchedBy(rule, ruleBefore.cards, change.cards, true, c), test.rule);
            if (!test.top)
                QCOMPARE(contents(resolveBinder(top, m_catalog, m_dex, &c)), contents(topBefore));
            if (!test.rule)
                QCOMPARE(contents(resolveBinder(rule, m_catalog, m_dex, &c)), contents(ruleBefore));
            // Nor does a change that names no cards leave any out.
            QVERIFY(binderTouchedBy(rule, ruleBefore.cards, {}, false, c));
        }
    }

    void aPriceThatIsNotANumberNeverRanks()
    {
        Collection c;
        c.addEntry(test::holdingOf(QStringLiteral("sv03-002"), 1, std::numeric_limits<double>::quiet_NaN()));
        c.addEntry(test::holdingOf(QStringLiteral("sv03-010"), 1, 1.0));
        Binder top = newBinder(QStringLiteral("Top"), Language::English);
        top.topValue = 1;
        const BinderResolution r = resolveBinder(top, m_catalog, m_dex, &c);
        QCOMPARE(ids(r.cards), QStringList({"sv03-010"}));
    }

    void showMissingAndHiddenRaritiesCombine()
    {
        const auto pocket = [](const char *id, const char *rarity, int count) {
            BinderCard card;
            card.id = QString::fromLatin1(id);
            card.rarity = QString::fromLatin1(rarity);
            card.owned = count;
            return card;
        };
        const QList<BinderCard> cards = {pocket("a", "Rare Holo", 1), pocket("b", "Rare Holo", 0),
                                         pocket("c", "Common", 1), pocket("d", "", 0)};
        Binder binder = newBinder(QStringLiteral("View"), Language::English);
        QCOMPARE(ids(entriesForBinder(binder, cards)), QStringList({"a", "b", "c", "d"}));
        binder.hiddenRarities = {QStringLiteral("Common")};
        QCOMPARE(ids(entriesForBinder(binder, cards)), QStringList({"a", "b", "d"}));
        binder.showMissing = false;
        QCOMPARE(ids(entriesForBinder(binder, cards)), QStringList({"a"}));
    }
};

PV_REGISTER_TEST(BindersTest)
#include "BindersTest.moc"
