#include "catalog/CatalogDiff.h"

#include "core/CardVocabulary.h"

#include <QCoreApplication>
#include <QHash>

namespace pv {

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("pv::CatalogDiff", text, nullptr, n);
}

QHash<QString, const CatalogSet *> indexSets(const QList<CatalogSet> &sets)
{
    QHash<QString, const CatalogSet *> index;
    index.reserve(sets.size());
    for (const CatalogSet &set : sets)
        index.insert(set.id, &set);
    return index;
}

// Cards by id, leaving out the ones the errata file supplies.
QHash<QString, const CatalogCard *> indexServedCards(const QList<CatalogCard> &cards)
{
    QHash<QString, const CatalogCard *> index;
    index.reserve(cards.size());
    for (const CatalogCard &card : cards) {
        if (!card.fromErrata)
            index.insert(card.id, &card);
    }
    return index;
}

int servedCardsOfSet(const QList<CatalogCard> &cards, const QString &setId)
{
    int count = 0;
    for (const CatalogCard &card : cards) {
        if (!card.fromErrata && card.setId == setId)
            ++count;
    }
    return count;
}

CatalogDiff::CardChange cardChange(int kind, const CatalogCard &card)
{
    CatalogDiff::CardChange change;
    change.kind = kind;
    change.id = card.id;
    change.setId = card.setId;
    change.setName = card.setName;
    change.localId = card.localId;
    change.name = card.name;
    return change;
}

QString printingList(int mask)
{
    const QStringList names = printingNames(mask);
    return names.isEmpty() ? tr("none") : names.join(QStringLiteral(", "));
}

} // namespace

CatalogDiff CatalogDiff::compute(const CatalogSnapshot &previous, const QList<CatalogSet> &newSets,
                                 const QList<CatalogCard> &newCards, Language language)
{
    CatalogDiff diff;
    diff.language = language;
    if (!previous.present)
        return diff;

    const auto previousSets = indexSets(previous.sets);
    const auto currentSets = indexSets(newSets);

    for (const CatalogSet &set : newSets) {
        const CatalogSet *before = previousSets.value(set.id);
        SetChange change;
        change.id = set.id;
        change.name = set.name;
        change.serieName = set.serieName;
        change.official = set.official;
        if (!before) {
            change.kind = SetChange::Added;
            change.cardCount = servedCardsOfSet(newCards, set.id);
            diff.setChanges.append(change);
            diff.newSetIds.insert(set.id);
            continue;
        }
        if (before->name != set.name) {
            SetChange renamed = change;
            renamed.kind = SetChange::Renamed;
            renamed.previousName = before->name;
            diff.setChanges.append(renamed);
        }
        if (before->official != set.official) {
            SetChange resized = change;
            resized.kind = SetChange::Resized;
            resized.previousOfficial = before->official;
            diff.setChanges.append(resized);
        }
    }
    for (const CatalogSet &set : previous.sets) {
        if (currentSets.contains(set.id))
            continue;
        SetChange change;
        change.kind = SetChange::Withdrawn;
        change.id = set.id;
        change.name = set.name;
        change.serieName = set.serieName;
        change.official = set.official;
        change.cardCount = servedCardsOfSet(previous.cards, set.id);
        diff.setChanges.append(change);
    }

    const auto previousCards = indexServedCards(previous.cards);
    const auto currentCards = indexServedCards(newCards);

    for (const CatalogCard &card : newCards) {
        if (card.fromErrata)
            continue;
        const CatalogCard *before = previousCards.value(card.id);
        if (!before) {
            CardChange change = cardChange(CardChange::Added, card);
            change.rarity = card.rarity;
            change.printings = card.printingMask;
            diff.cardChanges.append(change);
        } else if (before->name != card.name) {
            CardChange change = cardChange(CardChange::Renamed, card);
            change.previousName = before->name;
            diff.cardChanges.append(change);
        }
    }
    for (const CatalogCard &card : previous.cards) {
        if (card.fromErrata || currentCards.contains(card.id))
            continue;
        CardChange change = cardChange(CardChange::Withdrawn, card);
        change.rarity = card.rarity;
        if (change.setName.isEmpty()) {
            if (const CatalogSet *set = currentSets.value(card.setId))
                change.setName = set->name;
        }
        diff.cardChanges.append(change);
    }
    return diff;
}

namespace {

// Calls record(before, card) for every served card of the new build that
// the previous build also had.
template <typename Record>
void forEachKeptCard(const CatalogSnapshot &previous, const QList<CatalogCard> &newCards, Record record)
{
    const auto previousCards = indexServedCards(previous.cards);
    for (const CatalogCard &card : newCards) {
        if (card.fromErrata)
            continue;
        if (const CatalogCard *before = previousCards.value(card.id))
            record(*before, card);
    }
}

} // namespace

void CatalogDiff::compareRarities(CatalogDiff &diff, const CatalogSnapshot &previous,
                                  const QList<CatalogCard> &newCards)
{
    // A first rarity pass is not a comparison.
    if (!previous.present || !previous.raritiesResolved)
        return;
    diff.raritiesCompared = true;
    forEachKeptCard(previous, newCards, [&diff](const CatalogCard &before, const CatalogCard &card) {
        // A rarity that a query no longer names is not a change.
        if (before.rarity.isEmpty() || card.rarity.isEmpty() || before.rarity == card.rarity)
            return;
        CardChange change = cardChange(CardChange::RarityChanged, card);
        change.rarity = card.rarity;
        change.previousRarity = before.rarity;
        diff.cardChanges.append(change);
    });
}

void CatalogDiff::comparePrintings(CatalogDiff &diff, const CatalogSnapshot &previous,
                                   const QList<CatalogCard> &newCards)
{
    if (!previous.present || !previous.printingsResolved)
        return;
    diff.printingsCompared = true;
    forEachKeptCard(previous, newCards, [&diff](const CatalogCard &before, const CatalogCard &card) {
        // A mask of 0 is a real answer ("no printings"); only -1 is unknown.
        if (before.printingMask < 0 || card.printingMask < 0 || before.printingMask == card.printingMask)
            return;
        CardChange change = cardChange(CardChange::PrintingsChanged, card);
        change.printings = card.printingMask;
        change.previousPrintings = before.printingMask;
        diff.cardChanges.append(change);
    });
}

bool CatalogDiff::isEmpty() const
{
    return setChanges.isEmpty() && cardChanges.isEmpty();
}

QString CatalogDiff::summary() const
{
    if (isEmpty())
        return QString();

    int setsOfKind[4] = {0, 0, 0, 0};
    for (const SetChange &change : setChanges) {
        if (change.kind >= 0 && change.kind < 4)
            ++setsOfKind[change.kind];
    }
    // The cards of a new set are told by the set's own count.
    int cardsOfKind[5] = {0, 0, 0, 0, 0};
    for (const CardChange &change : cardChanges) {
        if (change.kind >= 0 && change.kind < 5 && !newSetIds.contains(change.setId))
            ++cardsOfKind[change.kind];
    }

    struct Part
    {
        const char *text;
        int count;
    };
    const Part parts[] = {
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n new set(s)"), setsOfKind[SetChange::Added]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n new card(s)"), cardsOfKind[CardChange::Added]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n set(s) withdrawn"), setsOfKind[SetChange::Withdrawn]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n card(s) withdrawn"), cardsOfKind[CardChange::Withdrawn]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n renamed"),
         setsOfKind[SetChange::Renamed] + cardsOfKind[CardChange::Renamed]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n set size(s) corrected"), setsOfKind[SetChange::Resized]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n rarity change(s)"), cardsOfKind[CardChange::RarityChanged]},
        {QT_TRANSLATE_NOOP("pv::CatalogDiff", "%n printing change(s)"), cardsOfKind[CardChange::PrintingsChanged]},
    };
    QStringList texts;
    for (const Part &part : parts) {
        if (part.count > 0)
            texts.append(tr(part.text, part.count));
    }
    return texts.join(QStringLiteral(", "));
}

QString CatalogDiff::report() const
{
    QStringList lines;
    for (const SetChange &change : setChanges) {
        switch (change.kind) {
        case SetChange::Added:
            lines.append(tr("+ %1 (%2) - %3")
                             .arg(change.name, change.serieName, tr("%n card(s)", change.cardCount)));
            break;
        case SetChange::Withdrawn:
            lines.append(tr("- %1 (%2)").arg(change.name, change.serieName));
            break;
        case SetChange::Renamed:
            lines.append(tr("~ %1 -> %2").arg(change.previousName, change.name));
            break;
        case SetChange::Resized:
            lines.append(tr("~ %1: %2 -> %3 %4")
                             .arg(change.name, QString::number(change.previousOfficial),
                                  QString::number(change.official), tr("cards")));
            break;
        default:
            break;
        }
    }
    for (const CardChange &change : cardChanges) {
        const QString label = QStringLiteral("%1 %2").arg(change.setName, change.localId);
        switch (change.kind) {
        case CardChange::Added:
            // A new set's line already counts its cards.
            if (!newSetIds.contains(change.setId))
                lines.append(tr("+ %1 - %2").arg(label, change.name));
            break;
        case CardChange::Withdrawn:
            lines.append(tr("- %1 - %2").arg(label, change.name));
            break;
        case CardChange::Renamed:
            lines.append(tr("~ %1 - %2 -> %3").arg(label, change.previousName, change.name));
            break;
        case CardChange::RarityChanged:
            lines.append(tr("~ %1 - %2: %3 -> %4").arg(label, change.name, change.previousRarity, change.rarity));
            break;
        case CardChange::PrintingsChanged:
            lines.append(tr("~ %1 - %2: %3 -> %4")
                             .arg(label, change.name, printingList(change.previousPrintings),
                                  printingList(change.printings)));
            break;
        default:
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QStringList printingNames(int mask)
{
    QStringList names;
    if (mask < 0)
        return names;
    const QStringList keys = standardPrintingKeys();
    for (int bit = 0; bit < keys.size() && bit < 4; ++bit) {
        if (mask & (1 << bit))
            names.append(finishDisplayName(keys.at(bit)));
    }
    return names;
}

} // namespace pv
