#include "collection/Binders.h"

#include "catalog/CardCatalog.h"
#include "catalog/CatalogSearch.h"
#include "catalog/DexIndex.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardNumbers.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace pv {

namespace {

// Each rule's catalog search is capped so a rule that matches everything
// cannot flood a binder.
constexpr int ruleSearchLimit = 20000;

QString templateName(const char *name)
{
    return QCoreApplication::translate("BinderTemplates", name);
}

Binder templateBinder(const char *name)
{
    return newBinder(templateName(name), Language::English);
}

BinderRule dexRule(const QList<int> &dexIds)
{
    BinderRule rule;
    rule.dexIds = dexIds;
    return rule;
}

BinderRule rarityRule(const QString &serieId, const QStringList &rarities)
{
    BinderRule rule;
    rule.serieId = serieId;
    rule.rarities = rarities;
    return rule;
}

BinderRule nameRule(const QString &name)
{
    BinderRule rule;
    rule.name = name;
    return rule;
}

// What the collection holds of each card in the binder's language.
using Held = QHash<QString, Collection::CardHolding>;

// The candidates gathered so far, each card id once.
class Candidates
{
public:
    void take(const CatalogCard &card)
    {
        if (card.id.isEmpty() || m_taken.contains(card.id))
            return;
        m_taken.insert(card.id);
        m_cards.append(card);
    }
    bool isTaken(const QString &id) const { return m_taken.contains(id); }
    QList<CatalogCard> &cards() { return m_cards; }

private:
    QSet<QString> m_taken;
    QList<CatalogCard> m_cards;
};

// pending collects the dex numbers still to be looked up, each once; seen
// keeps the membership test cheap however many numbers a binder names.
void takeRuleCards(const BinderRule &rule, Language language, const CardCatalog &catalog,
                   const DexIndex *dexIndex, Candidates &candidates, QList<int> &pending, QSet<int> &seen)
{
    if (rule.dexIds.isEmpty()) {
        CatalogQuery query;
        query.text = rule.name;
        query.setId = rule.setId;
        query.seriesId = rule.serieId;
        query.rarities = rule.rarities;
        const CatalogSearchResult found = catalog.search(language, query, ruleSearchLimit);
        for (const CatalogCard &card : found.cards)
            candidates.take(card);
        return;
    }

    QSet<QString> seriesSets;
    if (!rule.serieId.isEmpty()) {
        for (const CatalogSet &set : catalog.setsOfSeries(language, rule.serieId))
            seriesSets.insert(set.id);
    }
    const QSet<QString> rarities(rule.rarities.cbegin(), rule.rarities.cend());
    const QString foldedName = searchKey(rule.name);

    for (const int dexId : rule.dexIds) {
        if (!dexIndex || !dexIndex->contains(language, dexId)) {
            if (!seen.contains(dexId)) {
                seen.insert(dexId);
                pending.append(dexId);
            }
            continue;
        }
        // The index keeps ids unordered; sorting them keeps a binder with a
        // manual order stable from one resolution to the next.
        const QSet<QString> idSet = dexIndex->cardsFor(language, dexId);
        QStringList ids(idSet.cbegin(), idSet.cend());
        ids.sort();
        for (const QString &id : std::as_const(ids)) {
            const CatalogCard *card = catalog.cardById(language, id);
            if (!card)
                continue;
            if (!rule.setId.isEmpty() && card->setId != rule.setId)
                continue;
            if (!rule.serieId.isEmpty() && !seriesSets.contains(card->setId))
                continue;
            if (!rarities.isEmpty() && !rarities.contains(card->rarity))
                continue;
            if (!foldedName.isEmpty() && !searchKey(card->name).contains(foldedName))
                continue;
            candidates.take(*card);
        }
    }
}

// Sort keys of one candidate, computed once per resolution.
struct Ranked
{
    int index = 0;       // position in the candidate list
    double value = 0.0;  // what a value-ranked binder ranks on; 0 otherwise
    int setOrder = 0;    // the set's catalog order, 0 when the catalog lacks it
};

class SetAndNumberLess
{
public:
    explicit SetAndNumberLess(const QList<CatalogCard> &cards) : m_cards(cards) {}

    bool operator()(const Ranked &a, const Ranked &b) const
    {
        if (a.setOrder != b.setOrder)
            return a.setOrder < b.setOrder;
        const CatalogCard &x = m_cards.at(a.index);
        const CatalogCard &y = m_cards.at(b.index);
        if (x.setId != y.setId)
            return x.setId < y.setId;
        return cardNumberLess(x.localId, y.localId);
    }

private:
    const QList<CatalogCard> &m_cards;
};

bool isValueRanked(const Binder &binder)
{
    return binder.topValue >= 1;
}

// The cards the binder's rules select, then those added by hand; each card
// once.
QList<CatalogCard> candidateCards(const Binder &binder, const CardCatalog &catalog, const DexIndex *dexIndex,
                                  QList<int> &pendingDexIds)
{
    Candidates candidates;
    QSet<int> pendingSeen;
    for (const BinderRule &rule : binder.rules) {
        if (!rule.isEmpty())
            takeRuleCards(rule, binder.lang, catalog, dexIndex, candidates, pendingDexIds, pendingSeen);
    }
    // Cards added by hand join at the end.
    for (const QString &id : binder.added) {
        if (candidates.isTaken(id))
            continue;
        if (const CatalogCard *card = catalog.cardById(binder.lang, id))
            candidates.take(*card);
    }
    return candidates.cards();
}

// One card a value-ranked binder may hold: every owned card the catalog
// knows, in the order the collection first holds them, then those added by
// hand. Its set order and first row are looked up only when ties ask.
struct ValueCandidate
{
    const CatalogCard *card = nullptr;
    double value = 0.0;
    int addedAt = -1; // position among the cards added by hand, or -1
    mutable std::optional<int> setOrder;
    mutable std::optional<int> firstRow;
};

// Dearest first, equal values in set-and-number order, then in the order
// the candidates were gathered.
class DearestFirst
{
public:
    DearestFirst(const CardCatalog &catalog, const Collection &collection, Language language)
        : m_catalog(catalog)
        , m_collection(collection)
        , m_language(language)
    {
    }

    bool operator()(const ValueCandidate &a, const ValueCandidate &b) const
    {
        if (a.value != b.value)
            return a.value > b.value;
        if (setOrder(a) != setOrder(b))
            return setOrder(a) < setOrder(b);
        const CatalogCard &x = *a.card;
        const CatalogCard &y = *b.card;
        if (x.setId != y.setId)
            return x.setId < y.setId;
        if (cardNumberLess(x.localId, y.localId))
            return true;
        if (cardNumberLess(y.localId, x.localId))
            return false;
        if ((a.addedAt < 0) != (b.addedAt < 0))
            return a.addedAt < 0;
        if (a.addedAt >= 0)
            return a.addedAt < b.addedAt;
        return firstRow(a) < firstRow(b);
    }

    int setOrder(const ValueCandidate &candidate) const
    {
        if (!candidate.setOrder) {
            const CatalogSet *set = m_catalog.setById(m_language, candidate.card->setId);
            candidate.setOrder = set ? set->order : 0;
        }
        return *candidate.setOrder;
    }

private:
    int firstRow(const ValueCandidate &candidate) const
    {
        if (!candidate.firstRow) {
            const QList<int> rows = m_collection.rowsOfCard(m_language, candidate.card->id);
            candidate.firstRow = rows.isEmpty() ? 0 : rows.constFirst();
        }
        return *candidate.firstRow;
    }

    const CardCatalog &m_catalog;
    const Collection &m_collection;
    Language m_language;
};

// The binder's most valuable cards, dearest first: ranked on pointers into
// the catalog, only the cards kept are copied. The held cards are ordered by
// value first, and only the dearest, down to the value of the last card kept
// and every card of that value, are looked up in the catalog.
std::vector<Ranked> dearestCards(const Binder &binder, const CardCatalog &catalog, const Collection &collection,
                                 const Held &owned, QList<CatalogCard> &cards)
{
    const QSet<QString> removed(binder.removed.cbegin(), binder.removed.cend());
    const size_t top = size_t(binder.topValue);
    std::vector<ValueCandidate> candidates;
    const auto consider = [&](const QString &id, double value, int addedAt) {
        const CatalogCard *card = catalog.cardById(binder.lang, id);
        if (card && !card->id.isEmpty() && !removed.contains(card->id))
            candidates.push_back({card, value, addedAt, {}, {}});
    };
    struct Valued
    {
        double value;
        const QString *id;
    };
    std::vector<Valued> held;
    held.reserve(size_t(owned.size()));
    for (auto it = owned.cbegin(); it != owned.cend(); ++it) {
        // A NaN value has no place by value: it is ranked with the others.
        if (std::isnan(it->value))
            consider(it.key(), it->value, -1);
        else
            held.push_back({it->value, &it.key()});
    }
    const auto dearer = [](const Valued &a, const Valued &b) { return a.value > b.value; };
    auto sortedEnd = held.begin() + qsizetype(std::min(held.size(), 2 * top + 64));
    std::partial_sort(held.begin(), sortedEnd, held.end(), dearer);
    size_t kept = 0;
    double lastKept = 0.0;
    for (auto it = held.begin(); it != held.end(); ++it) {
        if (it == sortedEnd) {
            std::sort(sortedEnd, held.end(), dearer);
            sortedEnd = held.end();
        }
        // Past the cards kept, only those as dear as the last of them can
        // still take its place.
        if (kept >= top && it->value < lastKept)
            break;
        const size_t before = candidates.size();
        consider(*it->id, it->value, -1);
        if (candidates.size() > before && ++kept == top)
            lastKept = it->value;
    }
    QSet<QString> added;
    for (int i = 0; i < binder.added.size(); ++i) {
        const QString &id = binder.added.at(i);
        if (owned.contains(id) || added.contains(id))
            continue;
        added.insert(id);
        consider(id, 0.0, i);
    }
    const DearestFirst dearestFirst(catalog, collection, binder.lang);
    const auto last = candidates.begin() + qsizetype(std::min(candidates.size(), top));
    std::partial_sort(candidates.begin(), last, candidates.end(), dearestFirst);
    std::vector<Ranked> ranked;
    ranked.reserve(size_t(last - candidates.begin()));
    for (auto it = candidates.begin(); it != last; ++it) {
        ranked.push_back({int(cards.size()), it->value, dearestFirst.setOrder(*it)});
        cards.append(*it->card);
    }
    return ranked;
}

void removeByHand(const Binder &binder, QList<CatalogCard> &cards)
{
    if (binder.removed.isEmpty())
        return;
    const QSet<QString> removed(binder.removed.cbegin(), binder.removed.cend());
    cards.removeIf([&removed](const CatalogCard &card) { return removed.contains(card.id); });
}

std::vector<Ranked> rankingKeys(const QList<CatalogCard> &cards, const CardCatalog &catalog, Language language)
{
    std::vector<Ranked> ranked(size_t(cards.size()));
    for (qsizetype i = 0; i < cards.size(); ++i) {
        Ranked &r = ranked[size_t(i)];
        r.index = int(i);
        const CatalogSet *set = catalog.setById(language, cards.at(i).setId);
        r.setOrder = set ? set->order : 0;
    }
    return ranked;
}

// The binder's own order when it has one (cards it does not name follow in
// their previous order); else cheapest first for a value-ranked binder, set
// and number order for a rule binder.
void putInFinalOrder(std::vector<Ranked> &ranked, const Binder &binder, const QList<CatalogCard> &cards,
                     const SetAndNumberLess &setAndNumberLess)
{
    if (!binder.order.isEmpty()) {
        QHash<QString, int> position;
        for (int i = 0; i < binder.order.size(); ++i)
            position.insert(binder.order.at(i), i);  // a repeated id keeps its later index
        const int unlisted = int(binder.order.size());
        std::stable_sort(ranked.begin(), ranked.end(), [&](const Ranked &a, const Ranked &b) {
            return position.value(cards.at(a.index).id, unlisted)
                < position.value(cards.at(b.index).id, unlisted);
        });
    } else if (isValueRanked(binder)) {
        std::reverse(ranked.begin(), ranked.end());
    } else {
        std::stable_sort(ranked.begin(), ranked.end(), setAndNumberLess);
    }
}

void fillResolution(BinderResolution &result, const std::vector<Ranked> &ranked, const QList<CatalogCard> &cards,
                    const Held &owned, const Binder &binder, const CardCatalog &catalog)
{
    QSet<QString> present;
    result.cards.reserve(qsizetype(ranked.size()));
    for (const Ranked &r : ranked) {
        BinderCard card;
        static_cast<CatalogCard &>(card) = cards.at(r.index);
        card.owned = int(std::clamp<qint64>(owned.value(card.id).count, std::numeric_limits<int>::min(),
                                            std::numeric_limits<int>::max()));
        card.value = r.value;
        if (card.owned > 0)
            ++result.ownedCount;
        if (!card.rarity.isEmpty())
            present.insert(card.rarity);
        result.cards.append(card);
    }
    // The rarities present, in the catalog's order.
    for (const QString &rarity : catalog.rarities(binder.lang)) {
        if (present.remove(rarity))
            result.rarities.append(rarity);
    }
}

} // namespace

Binder newBinder(const QString &name, Language language)
{
    Binder binder;
    binder.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    binder.name = name;
    binder.lang = language;
    return binder;
}

QList<Binder> builtinBinderTemplates()
{
    QList<Binder> templates;

    Binder eevee = templateBinder(QT_TRANSLATE_NOOP("BinderTemplates", "Eeveelutions"));
    eevee.rules = {dexRule({133, 134, 135, 136, 196, 197, 470, 471, 700})};
    templates.append(eevee);

    Binder wotc = templateBinder(QT_TRANSLATE_NOOP("BinderTemplates", "WotC Holos"));
    // The card database spells the holo rarity of these series both ways.
    for (const char *serie : {"base", "gym", "neo", "lc", "ecard"})
        wotc.rules.append(rarityRule(QString::fromLatin1(serie), {QStringLiteral("Rare Holo"), QStringLiteral("Holo Rare")}));
    templates.append(wotc);

    Binder stars = templateBinder(QT_TRANSLATE_NOOP("BinderTemplates", "Gold Stars"));
    stars.rules = {nameRule(QString(QChar(0x2606))), nameRule(QString(QChar(0x2605)))};
    templates.append(stars);

    Binder levelX = templateBinder(QT_TRANSLATE_NOOP("BinderTemplates", "Level X"));
    levelX.rules = {rarityRule(QString(), {QStringLiteral("Rare Holo LV.X")})};
    templates.append(levelX);

    Binder amazing = templateBinder(QT_TRANSLATE_NOOP("BinderTemplates", "Amazing Rares"));
    amazing.rules = {rarityRule(QString(), {QStringLiteral("Amazing Rare")})};
    templates.append(amazing);

    // Forty pages of 3 x 3 pockets.
    Binder top = templateBinder(QT_TRANSLATE_NOOP("BinderTemplates", "360 Most Valuable Cards"));
    top.topValue = 360;
    templates.append(top);

    return templates;
}

BinderResolution resolveBinder(const Binder &binder, const CardCatalog *catalog, const DexIndex *dexIndex,
                               const Collection *collection)
{
    BinderResolution result;
    if (!catalog || !collection)
        return result;
    const Held &owned = collection->cardHoldings(binder.lang);
    QList<CatalogCard> cards;
    std::vector<Ranked> ranked;
    if (isValueRanked(binder)) {
        ranked = dearestCards(binder, *catalog, *collection, owned, cards);
    } else {
        cards = candidateCards(binder, *catalog, dexIndex, result.pendingDexIds);
        removeByHand(binder, cards);
        ranked = rankingKeys(cards, *catalog, binder.lang);
    }
    const SetAndNumberLess setAndNumberLess(cards);
    putInFinalOrder(ranked, binder, cards, setAndNumberLess);
    fillResolution(result, ranked, cards, owned, binder, *catalog);
    return result;
}

bool binderTouchedBy(const Binder &binder, const QList<BinderCard> &resolved,
                     const QList<QPair<Language, QString>> &cards, bool cardsKnown, const Collection &collection)
{
    if (!cardsKnown)
        return true;
    const bool valueRanked = isValueRanked(binder);
    // The value a card must now be held at to rank among the binder's: any
    // while the binder has room.
    double lowest = -std::numeric_limits<double>::infinity();
    if (valueRanked && resolved.size() >= binder.topValue) {
        lowest = std::numeric_limits<double>::infinity();
        for (const BinderCard &card : resolved) {
            if (std::isnan(card.value))
                return true;
            lowest = std::min(lowest, card.value);
        }
    }
    QSet<QString> inBinder;
    for (const auto &[language, cardId] : cards) {
        if (language != binder.lang)
            continue;
        if (valueRanked) {
            const auto held = collection.cardHoldings(language).constFind(cardId);
            if (held != collection.cardHoldings(language).cend() && !(held->value < lowest))
                return true;
        }
        if (inBinder.isEmpty())
            for (const BinderCard &card : resolved)
                inBinder.insert(card.id);
        if (inBinder.contains(cardId))
            return true;
    }
    return false;
}

QList<BinderCard> entriesForBinder(const Binder &binder, const QList<BinderCard> &cards)
{
    if (binder.showMissing && binder.hiddenRarities.isEmpty())
        return cards;
    const QSet<QString> hidden(binder.hiddenRarities.cbegin(), binder.hiddenRarities.cend());
    QList<BinderCard> shown;
    for (const BinderCard &card : cards) {
        if (!binder.showMissing && card.owned < 1)
            continue;
        if (!card.rarity.isEmpty() && hidden.contains(card.rarity))
            continue;
        shown.append(card);
    }
    return shown;
}

} // namespace pv
