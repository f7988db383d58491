#include "Fixtures.h"
#include "TestRegistry.h"

#include "catalog/CatalogDiff.h"

#include <QTest>

using namespace pv;

namespace {

CatalogSet set(const QString &id, const QString &name, int official, const QString &serie = QStringLiteral("Base"))
{
    CatalogSet s = test::catalogSet(id, name, QString(), 0, official);
    s.serieName = serie;
    return s;
}

CatalogCard card(const QString &setId, const QString &localId, const QString &name,
                 const QString &setName = QStringLiteral("Base Set"))
{
    CatalogCard c = test::catalogCard(setId, localId, name);
    c.setName = setName;
    return c;
}

} // namespace

class CatalogDiffTest : public QObject
{
    Q_OBJECT

private slots:
    void newSetIsOneLineAndOneSummaryPart()
    {
        const CatalogSnapshot before =
            test::resolvedSnapshot({set(QStringLiteral("base1"), QStringLiteral("Base Set"), 102)},
                                   {card(QStringLiteral("base1"), QStringLiteral("1"), QStringLiteral("Alakazam"))});
        QList<CatalogSet> sets = before.sets;
        sets.append(set(QStringLiteral("jungle"), QStringLiteral("Jungle"), 64, QStringLiteral("Base")));
        QList<CatalogCard> cards = before.cards;
        cards.append(card(QStringLiteral("jungle"), QStringLiteral("1"), QStringLiteral("Clefable"), QStringLiteral("Jungle")));
        cards.append(card(QStringLiteral("jungle"), QStringLiteral("2"), QStringLiteral("Electrode"), QStringLiteral("Jungle")));
        CatalogCard supplied = card(QStringLiteral("jungle"), QStringLiteral("3a"), QStringLiteral("Extra"), QStringLiteral("Jungle"));
        supplied.fromErrata = true;
        cards.append(supplied);

        const CatalogDiff diff = CatalogDiff::compute(before, sets, cards, Language::Japanese);
        QCOMPARE(diff.language, Language::Japanese);
        QCOMPARE(diff.setChanges.size(), 1);
        QCOMPARE(diff.setChanges.at(0).cardCount, 2); // the errata card is not counted
        QCOMPARE(diff.setChanges.at(0).official, 64);
        QCOMPARE(diff.cardChanges.size(), 2);
        QCOMPARE(diff.summary(), QStringLiteral("1 new set(s)"));
        QCOMPARE(diff.report(), QStringLiteral("+ Jungle (Base) - 2 card(s)"));
    }

    void everyKindInTheReportAndSummary()
    {
        CatalogCard alakazam = card(QStringLiteral("base1"), QStringLiteral("1"), QStringLiteral("Alakazam"));
        alakazam.rarity = QStringLiteral("Common");
        alakazam.printingMask = 1;
        CatalogCard gone = card(QStringLiteral("base1"), QStringLiteral("2"), QStringLiteral("Blastoise"), QString());
        gone.rarity = QStringLiteral("Rare Holo");
        CatalogCard chansey = card(QStringLiteral("base1"), QStringLiteral("3"), QStringLiteral("Chansey"));
        chansey.printingMask = 3;
        const CatalogSnapshot before =
            test::resolvedSnapshot({set(QStringLiteral("base1"), QStringLiteral("Base Set"), 102),
                                    set(QStringLiteral("fossil"), QStringLiteral("Fossil"), 62)},
                                   {alakazam, gone, chansey,
                                    card(QStringLiteral("fossil"), QStringLiteral("1"), QStringLiteral("Aerodactyl"),
                                         QStringLiteral("Fossil"))});

        QList<CatalogSet> sets{set(QStringLiteral("base1"), QStringLiteral("Base Set 1999"), 103)};
        CatalogCard renamed = alakazam;
        renamed.name = QStringLiteral("Alakazam EX");
        renamed.rarity = QStringLiteral("Rare");
        CatalogCard reprinted = chansey;
        reprinted.printingMask = 0;
        const QList<CatalogCard> cards{renamed, reprinted, card(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"))};

        CatalogDiff diff = CatalogDiff::compute(before, sets, cards);
        CatalogDiff::compareRarities(diff, before, cards);
        CatalogDiff::comparePrintings(diff, before, cards);
        QVERIFY(diff.raritiesCompared);
        QVERIFY(diff.printingsCompared);

        // The withdrawn card had no set name: the new set list supplies it.
        const CatalogDiff::CardChange &withdrawn = diff.cardChanges.at(2);
        QCOMPARE(withdrawn.kind, int(CatalogDiff::CardChange::Withdrawn));
        QCOMPARE(withdrawn.setName, QStringLiteral("Base Set 1999"));
        QCOMPARE(withdrawn.rarity, QStringLiteral("Rare Holo"));

        QCOMPARE(diff.summary(),
                 QStringLiteral("1 new card(s), 1 set(s) withdrawn, 2 card(s) withdrawn, 2 renamed, "
                                "1 set size(s) corrected, 1 rarity change(s), 1 printing change(s)"));
        const QStringList expected{
            QStringLiteral("~ Base Set -> Base Set 1999"),
            QStringLiteral("~ Base Set 1999: 102 -> 103 cards"),
            QStringLiteral("- Fossil (Base)"),
            QStringLiteral("~ Base Set 1 - Alakazam -> Alakazam EX"),
            QStringLiteral("+ Base Set 4 - Charizard"),
            QStringLiteral("- Base Set 1999 2 - Blastoise"),
            QStringLiteral("- Fossil 1 - Aerodactyl"),
            QStringLiteral("~ Base Set 1 - Alakazam EX: Common -> Rare"),
            QStringLiteral("~ Base Set 3 - Chansey: Normal, Holo -> none"),
        };
        QCOMPARE(diff.report(), expected.join(QLatin1Char('\n')));
    }

    void printingNamesFollowTheBitOrder()
    {
        QCOMPARE(printingNames(-1), QStringList());
        QCOMPARE(printingNames(0), QStringList());
        QCOMPARE(printingNames(3), (QStringList{QStringLiteral("Normal"), QStringLiteral("Holo")}));
        QCOMPARE(printingNames(10), (QStringList{QStringLiteral("Holo"), QStringLiteral("firstEdition")}));
        QCOMPARE(printingNames(16 | 4), QStringList{QStringLiteral("Reverse Holo")});
    }

    void unresolvedMasksAreNeverChanges()
    {
        CatalogCard before = card(QStringLiteral("s"), QStringLiteral("1"), QStringLiteral("A"));
        before.printingMask = -1;
        CatalogCard after = before;
        after.printingMask = 4;
        CatalogDiff diff;
        CatalogDiff::comparePrintings(diff, test::resolvedSnapshot({}, {before}), {after});
        QVERIFY(diff.printingsCompared);
        QVERIFY(diff.isEmpty());
        CatalogDiff::comparePrintings(diff, test::resolvedSnapshot({}, {after}), {before});
        QVERIFY(diff.isEmpty());
    }
};

PV_REGISTER_TEST(CatalogDiffTest)
#include "CatalogDiffTest.moc"
