#include "catalog/CatalogDiff.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

namespace pv::selftest {

namespace {

CatalogSet makeSet(const QString &id, const QString &name, int officialCount)
{
    CatalogSet set;
    set.id = id;
    set.name = name;
    set.serieName = QStringLiteral("Test Series");
    set.official = officialCount;
    return set;
}

CatalogCard makeCard(const QString &setId, const QString &localId, const QString &name)
{
    CatalogCard card;
    card.id = setId + QLatin1Char('-') + localId;
    card.localId = localId;
    card.name = name;
    card.setId = setId;
    card.setName = QStringLiteral("Test Set");
    card.printingMask = 0;
    return card;
}

CatalogSnapshot makeCatalog(const QList<CatalogSet> &sets, const QList<CatalogCard> &cards,
                            bool raritiesResolved, bool printingsResolved)
{
    CatalogSnapshot snapshot;
    snapshot.present = true;
    snapshot.raritiesResolved = raritiesResolved;
    snapshot.printingsResolved = printingsResolved;
    snapshot.sets = sets;
    snapshot.cards = cards;
    return snapshot;
}

// How many of the set or card changes are of the kind.
template <typename Change>
int countOfKind(const QList<Change> &changes, int kind)
{
    int count = 0;
    for (const Change &change : changes)
        count += change.kind == kind ? 1 : 0;
    return count;
}

// A diff holding only what the rarity pass finds against the earlier build.
CatalogDiff rarityDiff(const CatalogSnapshot &previous, const QList<CatalogCard> &cards)
{
    CatalogDiff diff;
    CatalogDiff::compareRarities(diff, previous, cards);
    return diff;
}

// A diff holding only what the printings pass finds against the earlier build.
CatalogDiff printingDiff(const CatalogSnapshot &previous, const QList<CatalogCard> &cards)
{
    CatalogDiff diff;
    CatalogDiff::comparePrintings(diff, previous, cards);
    return diff;
}

} // namespace

void testCatalogDiff()
{
    const Language english = Language::English;
    const QList<CatalogSet> baseSets{makeSet(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"), 197)};
    const QList<CatalogCard> baseCards{makeCard(QStringLiteral("sv03"), QStringLiteral("001"), QStringLiteral("Sprigatito")),
                                       makeCard(QStringLiteral("sv03"), QStringLiteral("002"), QStringLiteral("Floragato"))};
    const CatalogSnapshot base = makeCatalog(baseSets, baseCards, true, true);

    // 1: nothing changed.
    {
        const CatalogDiff diff = CatalogDiff::compute(base, baseSets, baseCards, english);
        check(diff.isEmpty(), QStringLiteral("an unchanged catalog yields no changes"));
        check(diff.summary().isEmpty(), QStringLiteral("and no summary line"));
    }
    // 2: no earlier build.
    {
        const CatalogDiff diff = CatalogDiff::compute(CatalogSnapshot(), baseSets, baseCards, english);
        check(diff.isEmpty(), QStringLiteral("a first run reports nothing rather than 2 new cards"));
    }
    // 3: a new set with two cards.
    {
        QList<CatalogSet> sets = baseSets;
        sets.append(makeSet(QStringLiteral("sv04"), QStringLiteral("Paradox Rift"), 182));
        QList<CatalogCard> cards = baseCards;
        cards.append(makeCard(QStringLiteral("sv04"), QStringLiteral("001"), QStringLiteral("Sprigatito")));
        cards.append(makeCard(QStringLiteral("sv04"), QStringLiteral("002"), QStringLiteral("Floragato")));
        const CatalogDiff diff = CatalogDiff::compute(base, sets, cards, english);
        check(countOfKind(diff.setChanges, CatalogDiff::SetChange::Added) == 1,
              QStringLiteral("a new set is reported once"));
        check(diff.newSetIds.contains(QStringLiteral("sv04")), QStringLiteral("and is marked as a new set"));
        check(countOfKind(diff.cardChanges, CatalogDiff::CardChange::Added) == 2,
              QStringLiteral("its cards are carried in the diff"));
        check(!diff.summary().contains(QStringLiteral("card")),
              QStringLiteral("but the summary counts the set, not its 2 cards"));
        check(!diff.report().contains(QStringLiteral("sv04-001")),
              QStringLiteral("and the report folds them into the set's line"));
    }
    // 4: everything withdrawn.
    {
        const CatalogDiff diff = CatalogDiff::compute(base, {}, {}, english);
        check(countOfKind(diff.setChanges, CatalogDiff::SetChange::Withdrawn) == 1,
              QStringLiteral("a withdrawn set is reported"));
        check(countOfKind(diff.cardChanges, CatalogDiff::CardChange::Withdrawn) == 2,
              QStringLiteral("so are the cards that went with it"));
    }
    // 5 and 6: a rename and a size change are told apart.
    {
        const CatalogDiff diff = CatalogDiff::compute(
            base, {makeSet(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames!"), 197)}, baseCards, english);
        check(countOfKind(diff.setChanges, CatalogDiff::SetChange::Renamed) == 1,
              QStringLiteral("a renamed set is reported"));
        check(countOfKind(diff.setChanges, CatalogDiff::SetChange::Resized) == 0,
              QStringLiteral("and a rename alone is not a size change"));
    }
    {
        const CatalogDiff diff = CatalogDiff::compute(
            base, {makeSet(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"), 226)}, baseCards, english);
        check(countOfKind(diff.setChanges, CatalogDiff::SetChange::Resized) == 1,
              QStringLiteral("a set whose official count moved is reported"));
        check(countOfKind(diff.setChanges, CatalogDiff::SetChange::Renamed) == 0,
              QStringLiteral("and a size change alone is not a rename"));
    }
    // 7: a renamed card.
    {
        QList<CatalogCard> cards = baseCards;
        cards[1].name = QStringLiteral("Floragato V");
        const CatalogDiff diff = CatalogDiff::compute(base, baseSets, cards, english);
        check(countOfKind(diff.cardChanges, CatalogDiff::CardChange::Renamed) == 1,
              QStringLiteral("a renamed card is reported once"));
        check(!diff.cardChanges.isEmpty() && diff.cardChanges.first().previousName == QStringLiteral("Floragato"),
              QStringLiteral("and carries the name it had"));
    }
    // 8: the errata's cards are invisible both ways.
    {
        QList<CatalogCard> cards = baseCards;
        CatalogCard supplied = makeCard(QStringLiteral("sv03"), QStringLiteral("003"), QStringLiteral("Meowscarada"));
        supplied.fromErrata = true;
        cards.append(supplied);
        check(CatalogDiff::compute(base, baseSets, cards, english).isEmpty(),
              QStringLiteral("a card the errata supplies is not TCGdex adding one"));
        const CatalogSnapshot withErrata = makeCatalog(baseSets, cards, true, true);
        check(CatalogDiff::compute(withErrata, baseSets, baseCards, english).isEmpty(),
              QStringLiteral("and its retirement is not TCGdex withdrawing one"));
    }
    // 9 to 12: rarities.
    QList<CatalogCard> rated = baseCards;
    rated[0].rarity = QStringLiteral("Common");
    rated[1].rarity = QStringLiteral("Rare Holo");
    {
        const CatalogDiff diff = rarityDiff(makeCatalog(baseSets, baseCards, false, true), rated);
        check(diff.cardChanges.isEmpty(), QStringLiteral("a first rarity pass is not 2 rarity changes"));
        check(!diff.raritiesCompared, QStringLiteral("and is not claimed to be a comparison"));
    }
    const CatalogSnapshot ratedBefore = makeCatalog(baseSets, rated, true, true);
    {
        QList<CatalogCard> cards = rated;
        cards[1].rarity = QStringLiteral("Illustration Rare");
        const CatalogDiff diff = rarityDiff(ratedBefore, cards);
        check(countOfKind(diff.cardChanges, CatalogDiff::CardChange::RarityChanged) == 1,
              QStringLiteral("a rarity that moved is reported once"));
        check(diff.raritiesCompared, QStringLiteral("and the comparison is recorded as having run"));
    }
    {
        QList<CatalogCard> cards = rated;
        cards[1].rarity.clear();
        const CatalogDiff diff = rarityDiff(ratedBefore, cards);
        check(diff.cardChanges.isEmpty(), QStringLiteral("a rarity cleared by an unnamed query is not a change"));
    }
    {
        QList<CatalogCard> cards = rated;
        CatalogCard fresh = makeCard(QStringLiteral("sv03"), QStringLiteral("003"), QStringLiteral("Meowscarada"));
        fresh.rarity = QStringLiteral("Double Rare");
        cards.append(fresh);
        const CatalogDiff diff = rarityDiff(ratedBefore, cards);
        check(diff.cardChanges.isEmpty(), QStringLiteral("a card new in this refresh is not also a rarity change"));
    }
    // 13 to 15: printings.
    QList<CatalogCard> printed = baseCards;
    printed[0].printingMask = 1;
    printed[1].printingMask = 1;
    {
        const CatalogDiff diff = printingDiff(makeCatalog(baseSets, baseCards, true, false), printed);
        check(diff.cardChanges.isEmpty(), QStringLiteral("a first printings pass is not 2 changes"));
        check(!diff.printingsCompared, QStringLiteral("and is not claimed to be a comparison"));
    }
    const CatalogSnapshot printedBefore = makeCatalog(baseSets, printed, true, true);
    {
        QList<CatalogCard> cards = printed;
        cards[0].printingMask = 5;
        const CatalogDiff diff = printingDiff(printedBefore, cards);
        check(countOfKind(diff.cardChanges, CatalogDiff::CardChange::PrintingsChanged) == 1,
              QStringLiteral("a card that gained a printing is reported once"));
    }
    {
        QList<CatalogCard> cards = printed;
        cards[0].printingMask = 0;
        const CatalogDiff diff = printingDiff(printedBefore, cards);
        check(countOfKind(diff.cardChanges, CatalogDiff::CardChange::PrintingsChanged) == 1,
              QStringLiteral("a printing set emptying to none is a change, not an unknown"));
    }
    // 16: mask names.
    check(printingNames(5).size() == 2, QStringLiteral("a mask reads back as the finishes it carries"));
    check(printingNames(-1).isEmpty(), QStringLiteral("and an unknown mask names no finish at all"));
}

} // namespace pv::selftest
