#include "ui/models/CollectionTreeModel.h"

#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardArtwork.h"
#include "core/CardKeys.h"
#include "core/CardNumbers.h"
#include "core/Currency.h"
#include "core/Disposal.h"
#include "core/NameTranslator.h"

#include <QCoreApplication>
#include <QFont>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

namespace pv {

namespace {

constexpr int TitleCount = CollectionTreeModel::ColumnCount;

QString treeText(const char *text, const char *disambiguation = nullptr, int n = -1)
{
    return QCoreApplication::translate("pv::CollectionTreeModel", text, disambiguation, n);
}

// The price a holding is ordered by: the custom price, else the market
// value, else -1 so that unpriced holdings sink below every priced one.
double orderingPrice(const CardEntry &entry)
{
    if (entry.customPriceEur > 0)
        return entry.customPriceEur;
    if (entry.unitValueEur > 0)
        return entry.unitValueEur;
    return -1.0;
}

bool hasAnyPrice(const CardEntry &entry)
{
    return entry.customPriceEur > 0 || entry.unitValueEur > 0;
}

// Asks for a holding's memory ahead of its turn: a large collection's
// rebuild reads each holding once, from memory rather than the caches.
constexpr int EntriesAhead = 8;
void prefetchEntry(const CardEntry &entry)
{
#if defined(__GNUC__)
    const char *bytes = reinterpret_cast<const char *>(&entry);
    for (size_t line = 0; line < sizeof(CardEntry); line += 64)
        __builtin_prefetch(bytes + line);
    __builtin_prefetch(bytes + sizeof(CardEntry) - 1);
#else
    Q_UNUSED(entry);
#endif
}

// And for the texts the rebuild reads of it, once the holding itself is in.
constexpr int TextsAhead = 3;
void prefetchTexts(const CardEntry &entry)
{
#if defined(__GNUC__)
    for (const QString *text : {&entry.setId, &entry.localId, &entry.cardId})
        __builtin_prefetch(text->constData());
#else
    Q_UNUSED(entry);
#endif
}

// One holding ready to be ordered inside its set and made a row: read from
// the collection once, in the collection's order. Kept small: a large
// collection's rebuild writes and reads one for every holding.
struct SortItem
{
    // The price one copy is valued at (custom, else market); the holding is
    // ordered by it when above 0, below every priced one when not.
    double unitPrice = 0.0;
    // Orders the holding among those of its number, when coded (see
    // SetTies).
    quint64 tie = 0;
    int row = -1;
    // The slot of its card number in its set until the set is ordered, then
    // the rank of that number.
    int rank = 0;
    int count = 0;
    bool coded = false;

    // As orderingPrice() and entryLineValue() have them.
    double price() const { return unitPrice > 0 ? unitPrice : -1.0; }
    double value() const { return count * unitPrice; }
};

SortItem sortItem(const CardEntry &entry, int row)
{
    SortItem item;
    item.unitPrice = entryUnitPrice(entry);
    item.row = row;
    item.count = entry.count;
    return item;
}

// A card number's parts, as CardNumber holds them.
struct NumberParts
{
    QStringView prefix;
    qint64 number = -1;
    QStringView suffix;
    NumberParts() = default;
    NumberParts(QStringView capitals, qint64 value)
        : prefix(capitals)
        , number(value)
    {
    }
    NumberParts(const CardNumber &parsed)
        : prefix(parsed.prefix)
        , number(parsed.number)
        , suffix(parsed.suffix)
    {
    }
};

// The natural card-number order: prefix, number, suffix, then the text.
bool numberLess(QStringView x, const NumberParts &a, QStringView y, const NumberParts &b)
{
    // Most numbers are digits alone: their empty prefixes and suffixes are
    // not compared as text.
    const bool prefixes = !a.prefix.isEmpty() || !b.prefix.isEmpty();
    if (prefixes && a.prefix != b.prefix)
        return a.prefix < b.prefix;
    if (a.number != b.number)
        return a.number < b.number;
    const bool suffixes = !a.suffix.isEmpty() || !b.suffix.isEmpty();
    if (suffixes && a.suffix != b.suffix)
        return a.suffix < b.suffix;
    return x < y;
}

// The working room of ordering a set's holdings, kept from one set to the
// next: a rebuild of many sets then allocates it once, not once a set.
struct SetScratch
{
    std::vector<int> others;
    std::vector<int> listed;
    std::vector<int> numberOrder;
    std::vector<int> numberRanks;
    std::vector<char> mixed;
    std::vector<quint64> variantRanks;
    std::vector<quint64> editionRanks;
    std::vector<SortItem *> uncoded;
    std::vector<int> starts;
    std::vector<int> next;
    std::vector<int> cardOrder;
};

// A set's distinct card numbers, each parsed and ranked once rather than
// once per comparison. Each is parsed when first met, while its text is at
// hand: ranking them then reads neither the holdings nor their texts again,
// but for numbers that differ only in their zeros. The texts are the
// holdings' own.
class SetNumbers
{
public:
    int slotOf(const QString &text)
    {
        // Most numbers are a few digits, alone or after a few capitals
        // ("TG05", "SV094"): those index a table of their prefix, hashing
        // nothing and parsing nothing.
        qsizetype capitals = 0;
        const int value = digitsValue(text, &capitals);
        if (value >= 0) {
            std::vector<int> &places = tableOf(QStringView(text).first(capitals));
            if (size_t(value) >= places.size())
                places.resize(std::max<size_t>({size_t(value) + 1, 2 * places.size(), 256}), -1);
            // The texts of one value differ in their zeros alone, so in
            // their length; most values have one.
            int *slot = &places[size_t(value)];
            while (*slot >= 0 && m_numbers[size_t(*slot)].text.size() != text.size())
                slot = &m_numbers[size_t(*slot)].sameValue;
            if (*slot >= 0)
                return *slot;
            // Linked before the numbers grow, and move.
            *slot = int(m_numbers.size());
            m_numbers.push_back({text, value, -1, int(capitals), -1});
            return int(m_numbers.size()) - 1;
        }
        const auto found = m_slots.constFind(text);
        if (found != m_slots.constEnd())
            return found.value();
        const int slot = int(m_numbers.size());
        m_slots.insert(text, slot);
        m_numbers.push_back({text, -1, int(m_parsed.size()), 0, -1});
        m_parsed.push_back(parseCardNumber(text));
        return slot;
    }

    int count() const { return int(m_numbers.size()); }

    // Ready for another set, keeping the room taken.
    void clear()
    {
        m_slots.clear();
        m_tableCount = 0;
        m_lastTable = 0;
        m_numbers.clear();
        m_parsed.clear();
    }

    // The rank of each slot's number in the natural order. The numbers of
    // each table are in that order in it already: by value, and of one value
    // above 0 the longer text (with more leading zeros) first, as the texts
    // order them; the tables follow each other in the order of their
    // prefixes, the digits alone first. Only the other numbers are sorted,
    // and merged in.
    const std::vector<int> &ranks(SetScratch &scratch) const
    {
        const auto less = [this](int a, int b) {
            const Number &x = m_numbers[size_t(a)];
            const Number &y = m_numbers[size_t(b)];
            return numberLess(x.text, partsOf(x), y.text, partsOf(y));
        };
        std::vector<int> &others = scratch.others;
        others.clear();
        for (size_t slot = 0; slot < m_numbers.size(); ++slot)
            if (m_numbers[slot].parsed >= 0)
                others.push_back(int(slot));
        std::sort(others.begin(), others.end(), less);
        std::vector<int> &listed = scratch.listed;
        listed.clear();
        for (size_t table = 0; table < m_tableCount; ++table) {
            for (const int first : m_tables[table].places) {
                if (first < 0)
                    continue;
                const size_t from = listed.size();
                for (int slot = first; slot >= 0; slot = m_numbers[size_t(slot)].sameValue)
                    listed.push_back(slot);
                // Of one value, zeros alone order as texts do, the shorter
                // first; others the longer first.
                if (listed.size() - from > 1) {
                    const bool zero = m_numbers[size_t(first)].value == 0;
                    std::sort(listed.begin() + qsizetype(from), listed.end(), [this, zero](int a, int b) {
                        const qsizetype x = m_numbers[size_t(a)].text.size();
                        const qsizetype y = m_numbers[size_t(b)].text.size();
                        return zero ? x < y : x > y;
                    });
                }
            }
        }
        std::vector<int> &order = scratch.numberOrder;
        order.resize(m_numbers.size());
        std::merge(listed.cbegin(), listed.cend(), others.cbegin(), others.cend(), order.begin(), less);
        std::vector<int> &rank = scratch.numberRanks;
        rank.resize(order.size());
        for (size_t at = 0; at < order.size(); ++at)
            rank[size_t(order[at])] = int(at);
        return rank;
    }

private:
    // A number of one to four digits, after capitals or not, is its value
    // and the count of those capitals, and links to the next number of its
    // table of the same value; any other is parsed.
    struct Number
    {
        QStringView text;
        int value;
        int parsed;
        int capitals;
        int sameValue;
    };

    // The numbers of one prefix of capitals (or none), by their value: the
    // first met of each value.
    struct Table
    {
        QStringView prefix;
        std::vector<int> places;
    };

    NumberParts partsOf(const Number &number) const
    {
        return number.parsed >= 0 ? NumberParts(m_parsed[size_t(number.parsed)])
                                  : NumberParts(number.text.first(number.capitals), number.value);
    }

    // The value of a text of one to four digits after capitals A to Z, as
    // many as it sets capitals to (none or more); -1 for any other text.
    // Such a number parses to those capitals as its prefix, that value and
    // no suffix.
    static int digitsValue(const QString &text, qsizetype *capitals)
    {
        const QChar *chars = text.constData();
        const qsizetype size = text.size();
        qsizetype at = 0;
        while (at < size && chars[at] >= u'A' && chars[at] <= u'Z')
            ++at;
        if (size - at < 1 || size - at > 4)
            return -1;
        int value = 0;
        for (qsizetype i = at; i < size; ++i) {
            if (chars[i] < u'0' || chars[i] > u'9')
                return -1;
            value = value * 10 + (chars[i].unicode() - u'0');
        }
        *capitals = at;
        return value;
    }

    // A set's numbers mostly share a prefix or two, in runs. The first
    // m_tableCount tables are the set's, in the order of their prefixes.
    std::vector<int> &tableOf(QStringView prefix)
    {
        const auto same = [prefix](const Table &table) {
            return table.prefix.size() == prefix.size()
                && std::equal(prefix.cbegin(), prefix.cend(), table.prefix.cbegin());
        };
        if (m_lastTable < m_tableCount && same(m_tables[m_lastTable]))
            return m_tables[m_lastTable].places;
        const auto used = m_tables.begin() + qsizetype(m_tableCount);
        const auto found = std::find_if(m_tables.begin(), used, same);
        if (found != used) {
            m_lastTable = size_t(found - m_tables.begin());
            return found->places;
        }
        // A table an earlier set left, emptied, or a new one.
        if (m_tableCount == m_tables.size())
            m_tables.emplace_back();
        Table &table = m_tables[m_tableCount];
        table.prefix = prefix;
        table.places.clear();
        const auto begin = m_tables.begin();
        const auto at = std::upper_bound(begin, begin + qsizetype(m_tableCount), prefix,
                                         [](QStringView text, const Table &other) { return text < other.prefix; });
        std::rotate(at, begin + qsizetype(m_tableCount), begin + qsizetype(m_tableCount) + 1);
        ++m_tableCount;
        m_lastTable = size_t(at - begin);
        return at->places;
    }

    QHash<QStringView, int> m_slots;
    std::vector<Table> m_tables;
    size_t m_tableCount = 0;
    size_t m_lastTable = 0;
    std::vector<Number> m_numbers;
    std::vector<CardNumber> m_parsed;
};

// Whether x + "|" comes before y + "|": how two fields of merge keys that
// hold no "|" order their keys.
bool fieldLess(QStringView x, QStringView y)
{
    const qsizetype common = std::min(x.size(), y.size());
    for (qsizetype i = 0; i < common; ++i)
        if (x[i] != y[i])
            return x[i] < y[i];
    const char16_t xNext = x.size() > common ? x[common].unicode() : u'|';
    const char16_t yNext = y.size() > common ? y[common].unicode() : u'|';
    return xNext < yNext;
}

// The rank of each of the Count vocabulary keys among the others.
template <int Count, typename KeyOf>
std::array<quint32, Count> keyRanks(KeyOf keyOf)
{
    std::array<quint32, Count> ranks{};
    for (int a = 0; a < Count; ++a)
        for (int b = 0; b < Count; ++b)
            ranks[size_t(a)] += fieldLess(keyOf(b), keyOf(a)) ? 1 : 0;
    return ranks;
}

// Holdings that share a card number are ordered by their merge keys. Where
// a number's holdings are of the set's own card of that number and their
// keys differ only in finish, edition, condition or grading company, as is
// usual, each gets a code, made from what was read of it in the collection's
// order, that orders them as their keys would: a large collection's many
// copies are then not read again and compared field by field.
class SetTies
{
public:
    void clear()
    {
        m_variants.clear();
        m_editions.clear();
    }

    // Marks the holding coded when a code can order it, with its fields'
    // places among the set's values in its code until the set is coded.
    void note(SortItem &item, const CardEntry &entry)
    {
        static const auto conditionRanks = keyRanks<7>([](int c) { return conditionKey(Condition(c)); });
        static const auto companyRanks = keyRanks<7>([](int c) { return gradingCompanyKey(GradingCompany(c)); });
        const QStringView edition = entry.edition.isEmpty() ? QStringView(u"unlimited") : QStringView(entry.edition);
        item.coded = (entry.gradeNote.isEmpty() || QStringView(entry.gradeNote).trimmed().isEmpty())
            && quint32(entry.condition) < 7 && quint32(entry.gradeCompany) < 7 && ownCard(entry);
        if (!item.coded)
            return;
        const Value &variant = intern(m_variants, entry.variant);
        const Value &printing = intern(m_editions, edition);
        item.coded = !variant.holdsSeparator && !printing.holdsSeparator;
        item.tie = quint64(variant.number) << 40 | quint64(printing.number) << 16
            | conditionRanks[size_t(entry.condition)] << 4 | companyRanks[size_t(entry.gradeCompany)];
    }

    // The items' ranks hold their numbers' slots. A number with a holding
    // that cannot be coded has none of its holdings coded.
    void code(std::vector<SortItem> &items, int slotCount, SetScratch &scratch) const
    {
        std::vector<char> &mixed = scratch.mixed;
        mixed.assign(size_t(slotCount), 0);
        for (const SortItem &item : items)
            if (!item.coded)
                mixed[size_t(item.rank)] = 1;
        const std::vector<quint64> &variantRanks = ranks(m_variants, scratch.variantRanks);
        const std::vector<quint64> &editionRanks = ranks(m_editions, scratch.editionRanks);
        for (SortItem &item : items) {
            if (mixed[size_t(item.rank)]) {
                item.coded = false;
                continue;
            }
            item.tie = variantRanks[size_t(item.tie >> 40)] << 40
                | editionRanks[size_t((item.tie >> 16) & 0xffffff)] << 16 | (item.tie & 0xffff);
        }
    }

private:
    // The card id "<set>-<number>": the holdings of one number then hold
    // one card.
    static bool ownCard(const CardEntry &entry)
    {
        const QStringView id(entry.cardId);
        const qsizetype set = entry.setId.size();
        // Compared character by character: the texts are short.
        const auto same = [](const QChar *a, const QString &b) { return std::equal(b.cbegin(), b.cend(), a); };
        return id.size() == set + 1 + entry.localId.size() && id.at(set) == u'-' && same(id.data(), entry.setId)
            && same(id.data() + set + 1, entry.localId);
    }

    // A finish or edition met in the set, numbered in the order met.
    struct Value
    {
        QStringView text;
        quint64 number;
        bool holdsSeparator;
    };

    // Holdings mostly share these texts: where a text is is compared first,
    // its characters only when that differs.
    static const Value &intern(std::vector<Value> &values, QStringView value)
    {
        for (const Value &known : values)
            if (known.text.data() == value.data() && known.text.size() == value.size())
                return known;
        for (const Value &known : values)
            if (known.text == value)
                return known;
        values.push_back({value, values.size(), value.contains(u'|')});
        return values.back();
    }

    static const std::vector<quint64> &ranks(const std::vector<Value> &values, std::vector<quint64> &ranks)
    {
        ranks.assign(values.size(), 0);
        for (size_t a = 0; a < values.size(); ++a)
            for (size_t b = 0; b < values.size(); ++b)
                ranks[a] += fieldLess(values[b].text, values[a].text) ? 1 : 0;
        return ranks;
    }

    std::vector<Value> m_variants;
    std::vector<Value> m_editions;
};

// Gives a set's holdings, whose ranks hold their numbers' slots, the rank
// of their number and their place among its holdings: a number with a
// holding that cannot be coded has its holdings ordered by their merge keys
// here, once, and each then coded by its place. Returns how many distinct
// card numbers they hold.
int keySetItems(std::vector<SortItem> &items, const SetNumbers &numbers, const SetTies &ties,
                const QList<CardEntry> &entries, SetScratch &scratch)
{
    ties.code(items, numbers.count(), scratch);
    const std::vector<int> &ranks = numbers.ranks(scratch);
    std::vector<SortItem *> &uncoded = scratch.uncoded;
    uncoded.clear();
    for (SortItem &item : items) {
        item.rank = ranks[size_t(item.rank)];
        if (!item.coded)
            uncoded.push_back(&item);
    }
    std::sort(uncoded.begin(), uncoded.end(), [&entries](const SortItem *a, const SortItem *b) {
        if (a->rank != b->rank)
            return a->rank < b->rank;
        const int keys = compareEntryKeys(entries.at(a->row), entries.at(b->row));
        return keys != 0 ? keys < 0 : a->row < b->row;
    });
    for (size_t at = 0; at < uncoded.size(); ++at)
        uncoded[at]->tie = at;
    return numbers.count();
}

// The order of a set's holdings, given in ascending rows and keyed
// (keySetItems), as indexes into them: by the rank of their number, then
// their place among its holdings, then their rows; by price, the dearest
// first, holdings of one price in that order. Sorted by rank through a
// count of each, so that a large set costs about in proportion to its
// holdings, not their logarithm too.
const std::vector<int> &itemOrder(const std::vector<SortItem> &items, int rankCount,
                                  CollectionTreeModel::CardSortMode mode, SetScratch &scratch)
{
    std::vector<int> &starts = scratch.starts;
    starts.assign(size_t(rankCount) + 1, 0);
    for (const SortItem &item : items)
        ++starts[size_t(item.rank) + 1];
    for (size_t rank = 1; rank < starts.size(); ++rank)
        starts[rank] += starts[rank - 1];
    std::vector<int> &next = scratch.next;
    next.assign(starts.begin(), starts.end() - 1);
    std::vector<int> &order = scratch.cardOrder;
    order.resize(items.size());
    for (size_t at = 0; at < items.size(); ++at)
        order[size_t(next[size_t(items[at].rank)]++)] = int(at);
    const auto tieLess = [&items](int a, int b) {
        const SortItem &x = items[size_t(a)];
        const SortItem &y = items[size_t(b)];
        return x.tie != y.tie ? x.tie < y.tie : x.row < y.row;
    };
    for (size_t rank = 0; rank + 1 < starts.size(); ++rank) {
        const int holdings = starts[rank + 1] - starts[rank];
        if (holdings == 2 && tieLess(order[size_t(starts[rank]) + 1], order[size_t(starts[rank])]))
            std::swap(order[size_t(starts[rank])], order[size_t(starts[rank]) + 1]);
        else if (holdings > 2)
            std::sort(order.begin() + starts[rank], order.begin() + starts[rank + 1], tieLess);
    }
    if (mode == CollectionTreeModel::CardSortMode::Price)
        std::stable_sort(order.begin(), order.end(),
                         [&items](int a, int b) { return items[size_t(a)].price() > items[size_t(b)].price(); });
    return order;
}

void setKeys(CollectionTreeModel::CardRow *card, const SortItem &item)
{
    card->rank = item.rank;
    card->tie = item.tie;
    card->price = item.price();
}

// What orders a card among its set's cards.
struct CardKeys
{
    double price;
    quint64 tie;
    int rank;
    int holding;
    CollectionTreeModel::Node *card;
};

CardKeys keysOf(const CollectionTreeModel::Node *node)
{
    const auto *card = static_cast<const CollectionTreeModel::CardRow *>(node);
    return {card->price, card->tie, card->rank, card->holding, const_cast<CollectionTreeModel::Node *>(node)};
}

// Whether the card with keys a comes before the one with keys b in the
// mode's order; holdings of one key (a file may hold such copies) in
// collection order, their rows looked up only then.
bool keysLess(const CardKeys &a, const CardKeys &b, CollectionTreeModel::CardSortMode mode,
              const std::vector<int> &rowOfHolding)
{
    if (mode == CollectionTreeModel::CardSortMode::Price && a.price != b.price)
        return a.price > b.price;
    if (a.rank != b.rank)
        return a.rank < b.rank;
    if (a.tie != b.tie)
        return a.tie < b.tie;
    return rowOfHolding[size_t(a.holding)] < rowOfHolding[size_t(b.holding)];
}

// How many distinct numbers the set's cards hold.
int distinctRanks(const CollectionTreeModel::Node *set)
{
    std::vector<char> held;
    int count = 0;
    for (const CollectionTreeModel::Node *node : set->children) {
        const size_t rank = size_t(static_cast<const CollectionTreeModel::CardRow *>(node)->rank);
        if (rank >= held.size())
            held.resize(rank + 1, 0);
        count += held[rank] ? 0 : 1;
        held[rank] = 1;
    }
    return count;
}

void numberRows(QList<CollectionTreeModel::Node *> &children, qsizetype from = 0)
{
    for (qsizetype row = from; row < children.size(); ++row)
        children[row]->row = int(row);
}

// The group facts of a language, series or set row; null for a card row.
const CollectionTreeModel::GroupNode *asGroup(const CollectionTreeModel::Node *node)
{
    return node->type == CollectionTreeModel::CardNode ? nullptr
                                                        : static_cast<const CollectionTreeModel::GroupNode *>(node);
}

// Nearest integer, halves away from zero.
int progressPercent(const CollectionTreeModel::Node *node)
{
    const auto *set = asGroup(node);
    if (node->type != CollectionTreeModel::SetNode || set->totalCards < 1)
        return -1;
    return int(std::lround(double(set->ownedNumbers) * 100.0 / double(set->totalCards)));
}

QString progressText(const CollectionTreeModel::Node *node)
{
    const auto *set = asGroup(node);
    if (node->type != CollectionTreeModel::SetNode || set->totalCards <= 0)
        return QString();
    return treeText("%1/%2 (%3%)").arg(set->ownedNumbers).arg(set->totalCards).arg(progressPercent(node));
}

QString nodeKey(const CollectionTreeModel::Node *node)
{
    const auto *group = asGroup(node);
    switch (node->type) {
    case CollectionTreeModel::LanguageNode:
        return QStringLiteral("lang:%1").arg(group->language);
    case CollectionTreeModel::SeriesNode:
        return QStringLiteral("series:%1:%2").arg(asGroup(node->parent)->language).arg(group->seriesName);
    case CollectionTreeModel::SetNode:
        return QStringLiteral("set:%1").arg(group->setKey);
    case CollectionTreeModel::CardNode:
        break;
    }
    return QString();
}

const CollectionTreeModel::Node *ancestorOfType(const CollectionTreeModel::Node *node,
                                                CollectionTreeModel::NodeType type)
{
    while (node && node->parent) {
        if (node->type == type)
            return node;
        node = node->parent;
    }
    return nullptr;
}

// What a set row shows of its set's record.
struct SetFacts
{
    QString name;
    QString seriesName;
    QString logo;
    QDate releaseDate;
    int order = SetRecord::UnsetOrder;
    int total = 0;
};

// Of the collection's record of the set, read in place, or of one named
// after its id where there is none (as Collection::setInfo() gives them).
// The series names translated before are looked up in seriesNames, when
// given: the sets of a series share its name.
SetFacts setFacts(Language language, const Collection &collection, const QString &setId,
                  QHash<QString, QString> *seriesNames = nullptr)
{
    SetFacts facts;
    const SetRecord *record = collection.storedSet(language, setId);
    if (!record) {
        facts.name = NameTranslator::translateSetName(language, setId, setId);
        facts.seriesName = treeText("Unknown series");
        return facts;
    }
    facts.name =
        NameTranslator::translateSetName(language, record->id, record->name.isEmpty() ? record->id : record->name);
    facts.logo = record->logo;
    facts.releaseDate = record->releaseDate;
    facts.order = record->order;
    facts.total = record->totalCardCount > 0 ? record->totalCardCount : record->officialCardCount;
    if (record->serie.isEmpty()) {
        facts.seriesName = treeText("Unknown series");
    } else if (seriesNames && seriesNames->contains(record->serie)) {
        facts.seriesName = seriesNames->value(record->serie);
    } else {
        facts.seriesName = NameTranslator::translateSerieName(language, QString(), record->serie);
        if (seriesNames)
            seriesNames->insert(record->serie, facts.seriesName);
    }
    return facts;
}

void showFacts(CollectionTreeModel::GroupNode *set, const SetFacts &facts)
{
    set->seriesName = facts.seriesName;
    set->setName = facts.name;
    set->logo = facts.logo;
    set->releaseDate = facts.releaseDate;
    set->order = facts.order;
    set->totalCards = facts.total;
}

// Whether set a is listed before set b of its series, or series a before
// series b of its language, by their (smallest) order, then their names.
bool groupLess(int orderA, const QString &nameA, int orderB, const QString &nameB)
{
    if (orderA != orderB)
        return orderA < orderB;
    return QString::localeAwareCompare(nameA, nameB) < 0;
}

// A series row's rank among its language's: the smallest order of its sets.
int seriesRank(const CollectionTreeModel::Node *series)
{
    int rank = SetRecord::UnsetOrder;
    for (const CollectionTreeModel::Node *set : series->children)
        rank = std::min(rank, static_cast<const CollectionTreeModel::GroupNode *>(set)->order);
    return rank;
}

// Whether the language's series rows are in the order a rebuild gives them.
// A set's order changed, or a set added or taken out, can move a series'
// rank past a neighbour's.
bool seriesInOrder(const CollectionTreeModel::Node *language)
{
    const QList<CollectionTreeModel::Node *> &series = language->children;
    const auto name = [](const CollectionTreeModel::Node *node) {
        return static_cast<const CollectionTreeModel::GroupNode *>(node)->seriesName;
    };
    for (qsizetype i = 1; i < series.size(); ++i)
        if (groupLess(seriesRank(series.at(i)), name(series.at(i)), seriesRank(series.at(i - 1)),
                      name(series.at(i - 1))))
            return false;
    return true;
}

// A set's holdings before they become nodes.
struct SetGroup
{
    Language language = Language::English;
    QString id;
    std::vector<SortItem> items;
    SetNumbers numbers;
    SetTies ties;

    // Ready for the holdings of another set, keeping the room taken.
    void reset(Language setLanguage, const QString &setId)
    {
        language = setLanguage;
        id = setId;
        items.clear();
        numbers.clear();
        ties.clear();
    }

    void add(const CardEntry &entry, int row)
    {
        SortItem item = sortItem(entry, row);
        item.rank = numbers.slotOf(entry.localId);
        ties.note(item, entry);
        items.push_back(item);
    }
};

struct SeriesGroup
{
    QString name;
    int rank = SetRecord::UnsetOrder;
    QList<CollectionTreeModel::GroupNode *> sets;
};

CollectionTreeModel::GroupNode *addGroup(CollectionTreeModel::Node *parent, CollectionTreeModel::NodeType type)
{
    auto *node = new CollectionTreeModel::GroupNode;
    node->type = type;
    node->parent = parent;
    node->row = int(parent->children.size());
    parent->children.append(node);
    return node;
}

void addTotals(CollectionTreeModel::Node *node, qint64 count, double value)
{
    for (; node; node = node->parent) {
        node->cardCount += count;
        node->value += value;
    }
}

} // namespace

// What a rebuild orders each set's holdings in, kept for the next one: the
// set groups, in the order it first met the sets, and the working room of
// ordering one. A large collection's rebuild then neither allocates nor grows
// them again, nor has fresh memory cleared for them.
struct CollectionTreeModel::RebuildBuffers
{
    std::vector<std::unique_ptr<SetGroup>> groups;
    SetScratch scratch;
};

// The set rows of a collection's holdings with their cards, not yet placed
// under series and language rows.
struct CollectionTreeModel::PreparedTree
{
    // The holdings they were made from, and the order their cards are in.
    const CardEntry *entries = nullptr;
    qsizetype entryCount = 0;
    CardSortMode mode = CardSortMode::Number;
    std::unique_ptr<CardRow[]> pool;
    size_t poolSize = 0;
    size_t poolUsed = 0;
    std::vector<Node *> cardNodes;
    // Each language's sets in the order their holdings were first met.
    struct Set
    {
        QString id;
        GroupNode *node = nullptr;
    };
    std::vector<std::vector<Set>> sets;
    // Made with the rows (on the reading thread for a file read): the table
    // of rows, each holding named after its row, with room for adds.
    std::vector<int> holdingOfRow;
    std::vector<int> rowOfHolding;
    // Once taken, the rows the tree showed before, freed with this.
    GroupNode *root = nullptr;
    std::vector<std::unique_ptr<CardRow>> added;

    void nameHoldingsAfterRows(qsizetype holdings)
    {
        const auto room = size_t(Collection::roomForAdds(holdings));
        cardNodes.reserve(room);
        for (std::vector<int> *rows : {&holdingOfRow, &rowOfHolding}) {
            rows->reserve(room);
            rows->resize(size_t(holdings));
            std::iota(rows->begin(), rows->end(), 0);
        }
    }

    PreparedTree() = default;
    PreparedTree(const PreparedTree &) = delete;
    PreparedTree &operator=(const PreparedTree &) = delete;
    ~PreparedTree()
    {
        for (const auto &language : sets)
            for (const Set &set : language)
                delete set.node;
        delete root;
    }
};

CollectionTreeModel::Node::~Node()
{
    // A set's cards live in the model's card pool; every other child is a
    // group row of its own.
    if (type == SetNode)
        return;
    for (Node *child : std::as_const(children))
        delete static_cast<GroupNode *>(child);
}

CollectionTreeModel::CollectionTreeModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(new GroupNode)
    , m_rebuildBuffers(std::make_unique<RebuildBuffers>())
{
}

CollectionTreeModel::~CollectionTreeModel()
{
    delete m_root;
}

// ---- structure ----

QModelIndex CollectionTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    const Node *parentNode = parent.isValid() ? static_cast<const Node *>(parent.internalPointer()) : m_root;
    if (row >= parentNode->children.size())
        return QModelIndex();
    return createIndex(row, column, parentNode->children.at(row));
}

QModelIndex CollectionTreeModel::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return QModelIndex();
    const Node *node = static_cast<const Node *>(index.internalPointer());
    const Node *parentNode = node->parent;
    if (!parentNode || parentNode == m_root)
        return QModelIndex();
    return createIndex(parentNode->row, 0, const_cast<Node *>(parentNode));
}

int CollectionTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node *node = parent.isValid() ? static_cast<const Node *>(parent.internalPointer()) : m_root;
    return int(node->children.size());
}

Qt::ItemFlags CollectionTreeModel::flags(const QModelIndex &index) const
{
    // Said of card rows, a view laying out the expanded tree skips asking
    // each of them for children and whether it is expanded.
    const Qt::ItemFlags flags = QAbstractItemModel::flags(index);
    if (!index.isValid())
        return flags;
    return isCardRow(static_cast<const Node *>(index.internalPointer())) ? flags | Qt::ItemNeverHasChildren : flags;
}

int CollectionTreeModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QModelIndex CollectionTreeModel::indexOfNode(const Node *node, int column) const
{
    if (!node || node == m_root)
        return QModelIndex();
    return createIndex(node->row, column, const_cast<Node *>(node));
}

// ---- collection, client, order ----

void CollectionTreeModel::setCollection(Collection *collection)
{
    if (collection == m_collection)
        return;
    if (m_collection)
        disconnect(m_collection, nullptr, this, nullptr);
    m_collection = collection;
    if (m_collection)
        connect(m_collection, &Collection::changed, this, &CollectionTreeModel::onCollectionChanged);
    rebuild();
}

void CollectionTreeModel::setTcgdexClient(TcgdexClient *client)
{
    if (client == m_client)
        return;
    if (m_client)
        disconnect(m_client, &TcgdexClient::imageReady, this, nullptr);
    m_client = client;
    if (m_client)
        connect(m_client, &TcgdexClient::imageReady, this, &CollectionTreeModel::onImageReady);
}

void CollectionTreeModel::setCardSortMode(CardSortMode mode)
{
    if (mode == m_cardSortMode)
        return;
    m_cardSortMode = mode;
    // The cards take their places in the new order from the keys kept since
    // their sets were last sorted: no holding is read again, and the view
    // keeps its expanded rows, selection and scroll position. A set whose
    // cards were last in this order, and have not changed since, takes that
    // order back.
    const QList<Node *> sets = setNodes();
    QList<Node *> unsorted;
    CardOrders orders;
    for (Node *set : sets) {
        QList<Node *> &kept = static_cast<GroupNode *>(set)->otherOrder;
        if (kept.size() == set->children.size())
            orders.append({set, std::exchange(kept, {})});
        else
            unsorted.append(set);
    }
    orders += sortedCards(unsorted, false);
    if (orders.isEmpty())
        return;
    for (const auto &[set, order] : std::as_const(orders))
        static_cast<GroupNode *>(set)->otherOrder = set->children;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    applyCardOrders(orders);
    // The sums as a rebuild adds them, in the cards' order.
    sumAgain(sets);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CollectionTreeModel::onCollectionChanged(const Collection::Change &change)
{
    // New card facts in many rows (a rarity fill) move no row: the table
    // of rows stands as it is, and every card row's fact cells are
    // announced without the steps followed one by one.
    if (change.cardFactsOnly() && manyCardFacts(change.steps.size())
        && m_holdingOfRow.size() == size_t(m_collection->entries().size())) {
        announceAllCardFacts();
        return;
    }
    // The steps replayed on the table of rows tell what the change did; the
    // tree then follows that in place, keeping the view's expanded rows,
    // selection and scroll position.
    Replay replay;
    if (!replaySteps(change.steps, replay)) {
        rebuild();
        return;
    }
    QList<Node *> touched;
    for (Node *card : replay.removed)
        removeCard(card, touched);
    for (const int holding : replay.added)
        insertCard(holding, touched);
    // A set gone or added may leave its series ranked past a neighbour.
    if (!replay.removed.empty() || !replay.added.empty())
        for (Node *language : std::as_const(m_root->children))
            putSeriesInOrder(language);
    followSets(change.sets, touched);
    updateRows(replay.valued, replay.replaced, touched);
    announceCardFacts(replay.annotated);
}

bool CollectionTreeModel::replaySteps(const std::vector<Collection::Change::Step> &steps, Replay &replay)
{
    using Step = Collection::Change::Step;
    // Each row inserted or removed moves the table's rows after it: past so
    // many moved, or so many rows for the view to follow one by one, one
    // reset costs less.
    constexpr qint64 MostRowsMoved = qint64(1) << 28;
    constexpr size_t MostRowsFollowed = 256;
    const QList<CardEntry> &entries = m_collection->entries();
    qint64 size = qint64(m_holdingOfRow.size());
    qint64 moved = 0;
    for (const Step &step : steps) {
        const bool inserted = step.type == Step::Inserted;
        if (step.type == Step::Rewritten || step.row < 0 || step.row >= size + (inserted ? 1 : 0))
            return false;
        if (inserted || step.type == Step::Removed) {
            moved += size - step.row;
            size += inserted ? 1 : -1;
        }
    }
    if (moved > MostRowsMoved || size != entries.size())
        return false;
    if (m_rowOfHolding.size() > 2 * m_holdingOfRow.size() + 1024)
        renameHoldings();

    // The holdings named before the change; those named after it came with it.
    const size_t named = m_rowOfHolding.size();
    size_t firstMoved = m_holdingOfRow.size();
    // The holdings replaced (true) or given new values, and those given new
    // card facts, as the steps name them.
    std::vector<std::pair<int, bool>> valued;
    for (const Step &step : steps) {
        const auto at = m_holdingOfRow.begin() + step.row;
        switch (step.type) {
        case Step::Inserted:
            m_holdingOfRow.insert(at, int(m_rowOfHolding.size()));
            m_rowOfHolding.push_back(-1);
            m_cardNodes.push_back(nullptr);
            firstMoved = std::min(firstMoved, size_t(step.row));
            break;
        case Step::Removed:
            m_rowOfHolding[size_t(*at)] = -1;
            if (Node *card = std::exchange(m_cardNodes[size_t(*at)], nullptr))
                replay.removed.push_back(card);
            m_holdingOfRow.erase(at);
            firstMoved = std::min(firstMoved, size_t(step.row));
            break;
        case Step::Annotated:
            replay.annotated.push_back(*at);
            break;
        default:
            valued.emplace_back(*at, step.type == Step::Edited);
            break;
        }
    }
    for (size_t row = firstMoved; row < m_holdingOfRow.size(); ++row)
        m_rowOfHolding[size_t(m_holdingOfRow[row])] = int(row);
    for (size_t holding = named; holding < m_rowOfHolding.size(); ++holding)
        if (m_rowOfHolding[holding] >= 0)
            replay.added.push_back(int(holding));
    std::sort(replay.added.begin(), replay.added.end(),
              [this](int a, int b) { return m_rowOfHolding[size_t(a)] < m_rowOfHolding[size_t(b)]; });
    if (replay.removed.size() + replay.added.size() > MostRowsFollowed)
        return false;

    // Each holding there before the change and still there once, replaced
    // when any step replaced it; those added take their rows as they are
    // now.
    std::sort(valued.begin(), valued.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : a.second > b.second;
    });
    const int languageCount = int(allLanguages().size());
    for (auto at = valued.cbegin(); at != valued.cend(); ++at) {
        const auto [holding, edited] = *at;
        const int row = size_t(holding) < named ? m_rowOfHolding[size_t(holding)] : -1;
        if (row < 0 || (at != valued.cbegin() && std::prev(at)->first == holding))
            continue;
        // A holding replaced stays where a rebuild would list it, or nowhere.
        const Node *card = m_cardNodes[size_t(holding)];
        const CardEntry &entry = entries.at(row);
        const bool listed = int(entry.lang) >= 0 && int(entry.lang) < languageCount;
        if (edited && (card ? asGroup(card->parent)->setKey != entrySetKey(entry) : listed))
            return false;
        if (!card)
            continue;
        replay.valued.push_back(holding);
        replay.replaced = replay.replaced || edited;
    }
    // New facts in a row given new values are announced with its values.
    const auto announced = [&](int holding) {
        return size_t(holding) >= named || !m_cardNodes[size_t(holding)]
            || std::binary_search(replay.valued.cbegin(), replay.valued.cend(), holding);
    };
    replay.annotated.erase(std::remove_if(replay.annotated.begin(), replay.annotated.end(), announced),
                           replay.annotated.end());
    return true;
}

void CollectionTreeModel::renameHoldings()
{
    std::vector<Node *> cards(m_holdingOfRow.size(), nullptr);
    for (size_t row = 0; row < cards.size(); ++row) {
        cards[row] = m_cardNodes[size_t(m_holdingOfRow[row])];
        if (cards[row])
            cards[row]->holding = int(row);
    }
    m_cardNodes.swap(cards);
    std::iota(m_holdingOfRow.begin(), m_holdingOfRow.end(), 0);
    m_rowOfHolding = m_holdingOfRow;
    leaveRoomForAdds();
}

void CollectionTreeModel::leaveRoomForAdds()
{
    const auto room = size_t(Collection::roomForAdds(qsizetype(m_holdingOfRow.size())));
    m_holdingOfRow.reserve(room);
    m_rowOfHolding.reserve(room);
    m_cardNodes.reserve(room);
}

bool CollectionTreeModel::cardLessThan(const CardEntry &a, const CardEntry &b, CardSortMode mode)
{
    const double x = orderingPrice(a);
    const double y = orderingPrice(b);
    if (mode == CardSortMode::Price && x != y)
        return x > y;
    if (a.localId != b.localId)
        return numberLess(a.localId, parseCardNumber(a.localId), b.localId, parseCardNumber(b.localId));
    return compareEntryKeys(a, b) < 0;
}

std::shared_ptr<CollectionTreeModel::PreparedTree> CollectionTreeModel::prepare(const Collection &collection,
                                                                                CardSortMode mode)
{
    // The table of rows is made here too, with room for adds, so that the
    // rebuild that takes the rows only swaps it in.
    auto tree = std::make_shared<PreparedTree>();
    tree->nameHoldingsAfterRows(collection.entries().size());
    RebuildBuffers buffers;
    prepareSets(*tree, collection.entries(), mode, buffers);
    return tree;
}

void CollectionTreeModel::usePrepared(std::shared_ptr<PreparedTree> tree)
{
    m_prepared = std::move(tree);
}

void CollectionTreeModel::prepareSets(PreparedTree &tree, const QList<CardEntry> &entries, CardSortMode mode,
                                      RebuildBuffers &buffers)
{
    std::vector<std::unique_ptr<SetGroup>> &groups = buffers.groups;
    tree.entries = entries.constData();
    tree.entryCount = entries.size();
    tree.mode = mode;
    tree.cardNodes.assign(size_t(entries.size()), nullptr);
    // One block for every card row, not one allocation each, kept from one
    // rebuild to the next unless it is far too large: every field of a card
    // row is set again below.
    const size_t cards = size_t(entries.size());
    if (!tree.pool || tree.poolSize < cards || tree.poolSize / 4 > cards) {
        tree.pool = std::make_unique<CardRow[]>(cards);
        tree.poolSize = cards;
    }
    const int languageCount = int(allLanguages().size());
    // Set groups of each language, in the order their keys were first met.
    std::vector<std::vector<SetGroup *>> byLanguage(static_cast<size_t>(languageCount));
    std::vector<QHash<QString, SetGroup *>> byId(static_cast<size_t>(languageCount));
    size_t used = 0;
    SetGroup *previous = nullptr;
    for (int row = 0; row < entries.size(); ++row) {
        if (row + EntriesAhead < entries.size())
            prefetchEntry(entries.at(row + EntriesAhead));
        if (row + TextsAhead < entries.size())
            prefetchTexts(entries.at(row + TextsAhead));
        const CardEntry &entry = entries.at(row);
        const int language = int(entry.lang);
        if (language < 0 || language >= languageCount)
            continue;
        // Holdings of one set tend to follow each other.
        if (previous && previous->language == entry.lang
            && ((previous->id.constData() == entry.setId.constData() && previous->id.size() == entry.setId.size())
                || previous->id == entry.setId)) {
            previous->add(entry, row);
            continue;
        }
        SetGroup *&group = byId[language][entry.setId];
        if (!group) {
            if (used == groups.size())
                groups.push_back(std::make_unique<SetGroup>());
            group = groups[used++].get();
            group->reset(entry.lang, entry.setId);
            byLanguage[size_t(language)].push_back(group);
        }
        group->add(entry, row);
        previous = group;
    }

    size_t pooled = 0;
    tree.sets.assign(size_t(languageCount), {});
    for (int language = 0; language < languageCount; ++language) {
        for (SetGroup *set : byLanguage[size_t(language)]) {
            auto *setNode = new GroupNode;
            setNode->type = SetNode;
            tree.sets[size_t(language)].push_back({set->id, setNode});
            setNode->setKey = setKey(set->language, set->id);
            setNode->ownedNumbers = keySetItems(set->items, set->numbers, set->ties, entries, buffers.scratch);
            QList<Node *> &children = setNode->children;
            children.reserve(qsizetype(set->items.size()));
            for (const int at : itemOrder(set->items, setNode->ownedNumbers, mode, buffers.scratch)) {
                const SortItem &item = set->items[size_t(at)];
                CardRow *card = &tree.pool[pooled++];
                card->type = CardNode;
                Q_ASSERT(card->children.isEmpty());
                card->parent = setNode;
                children.append(card);
                card->row = int(children.size()) - 1;
                card->holding = item.row;
                tree.cardNodes[size_t(item.row)] = card;
                card->cardCount = item.count;
                card->value = item.value();
                setKeys(card, item);
                // Summed in the cards' order, while each is at hand.
                setNode->cardCount += card->cardCount;
                setNode->value += card->value;
            }
        }
    }
    tree.poolUsed = pooled;
    // Kept unless far larger than the holdings.
    groups.resize(used);
    size_t kept = 0;
    for (const auto &group : groups)
        kept += group->items.capacity();
    if (kept > 4 * cards + 4096)
        groups.clear();
}

void CollectionTreeModel::rebuild()
{
    // Rows prepared for these very holdings, in this order, are taken as
    // they are; else they are made here, in the card pool of the last
    // rebuild.
    std::shared_ptr<PreparedTree> prepared = std::exchange(m_prepared, {});
    beginResetModel();
    std::unique_ptr<GroupNode> oldRoot(std::exchange(m_root, new GroupNode));
    std::vector<std::unique_ptr<CardRow>> oldAdded = std::move(m_addedCards);
    m_addedCards.clear();
    m_cardNodes.clear();
    m_setsByKey.clear();
    m_cardPoolUsed = 0;
    m_requestedArtwork.clear();
    if (!m_collection) {
        endResetModel();
        return;
    }

    const QList<CardEntry> &entries = m_collection->entries();
    const bool taken = prepared && prepared->entries == entries.constData() && prepared->entryCount == entries.size()
        && prepared->mode == m_cardSortMode;
    if (!taken) {
        prepared = std::make_shared<PreparedTree>();
        prepared->pool = std::move(m_cardPool);
        prepared->poolSize = std::exchange(m_cardPoolSize, 0);
        prepared->cardNodes = std::move(m_cardNodes);
        prepared->holdingOfRow = std::move(m_holdingOfRow);
        prepared->rowOfHolding = std::move(m_rowOfHolding);
        prepared->nameHoldingsAfterRows(entries.size());
        prepareSets(*prepared, entries, m_cardSortMode, *m_rebuildBuffers);
    }
    std::swap(m_cardPool, prepared->pool);
    m_cardPoolSize = prepared->poolSize;
    m_cardPoolUsed = prepared->poolUsed;
    m_cardNodes.swap(prepared->cardNodes);
    m_holdingOfRow.swap(prepared->holdingOfRow);
    m_rowOfHolding.swap(prepared->rowOfHolding);

    // The sets take their names, series and places, which only this thread
    // may look up.
    size_t setCount = 0;
    for (const auto &sets : prepared->sets)
        setCount += sets.size();
    m_setsByKey.reserve(qsizetype(setCount));
    for (Language language : allLanguages()) {
        auto &sets = prepared->sets[size_t(language)];
        if (sets.empty())
            continue;
        QHash<QString, QString> seriesNames;
        for (const PreparedTree::Set &set : sets)
            showFacts(set.node, setFacts(language, *m_collection, set.id, &seriesNames));
        std::stable_sort(sets.begin(), sets.end(), [](const PreparedTree::Set &a, const PreparedTree::Set &b) {
            return groupLess(a.node->order, a.node->setName, b.node->order, b.node->setName);
        });
        QList<SeriesGroup> series;
        QHash<QString, int> seriesByName;
        for (const PreparedTree::Set &set : sets) {
            auto found = seriesByName.constFind(set.node->seriesName);
            int at = 0;
            if (found == seriesByName.constEnd()) {
                at = int(series.size());
                seriesByName.insert(set.node->seriesName, at);
                series.append(SeriesGroup{set.node->seriesName, set.node->order, {}});
            } else {
                at = found.value();
            }
            SeriesGroup &group = series[at];
            group.rank = std::min(group.rank, set.node->order);
            group.sets.append(set.node);
        }
        std::stable_sort(series.begin(), series.end(), [](const SeriesGroup &a, const SeriesGroup &b) {
            return groupLess(a.rank, a.name, b.rank, b.name);
        });

        GroupNode *languageNode = addGroup(m_root, LanguageNode);
        languageNode->language = int(language);
        for (const SeriesGroup &group : series) {
            GroupNode *seriesNode = addGroup(languageNode, SeriesNode);
            seriesNode->seriesName = group.name;
            for (GroupNode *setNode : group.sets) {
                setNode->parent = seriesNode;
                setNode->row = int(seriesNode->children.size());
                seriesNode->children.append(setNode);
                m_setsByKey.insert(setNode->setKey, setNode);
                addTotals(seriesNode, setNode->cardCount, setNode->value);
            }
        }
        // The tree owns them now.
        sets.clear();
    }
    endResetModel();
    // Rows of another document (a file opened over one) are let go of on a
    // thread of their own, with the table and card rows the prepared ones
    // replaced: many rows take a while to free.
    if (taken) {
        prepared->root = oldRoot.release();
        prepared->added = std::move(oldAdded);
        Disposal::freeElsewhere(std::move(prepared));
    }
}

// ---- updates in place ----

void CollectionTreeModel::announceAllCardFacts()
{
    // New card facts (a rarity, a Pokedex number) neither place nor sum a
    // row: only the cells that show them are announced, without reading a
    // holding or ordering a set again.
    emitForAllRows(
        [](NodeType type) {
            return type == CardNode ? std::pair(int(DexColumn), int(RarityColumn)) : std::pair(-1, -1);
        },
        {});
}

void CollectionTreeModel::announceCardFacts(const std::vector<int> &holdings)
{
    // Past a quarter of the rows, each set's cards are announced whole
    // rather than their rows looked up one by one.
    if (manyCardFacts(holdings.size())) {
        announceAllCardFacts();
        return;
    }
    // Each set's cards from the first to the last with new facts: one range
    // a set, however scattered its rows.
    QHash<const Node *, std::pair<int, int>> spans;
    QList<const Node *> sets;
    for (const int holding : holdings) {
        const Node *card = m_cardNodes[size_t(holding)];
        const auto found = spans.find(card->parent);
        if (found == spans.end()) {
            spans.insert(card->parent, {card->row, card->row});
            sets.append(card->parent);
        } else {
            found->first = std::min(found->first, card->row);
            found->second = std::max(found->second, card->row);
        }
    }
    for (const Node *set : std::as_const(sets)) {
        const auto [first, last] = spans.value(set);
        emit dataChanged(indexOfNode(set->children.at(first), DexColumn),
                         indexOfNode(set->children.at(last), RarityColumn));
    }
}

void CollectionTreeModel::updateRows(const std::vector<int> &holdings, bool replaced, QList<Node *> touched)
{
    // Only a holding replaced can change its number, or its place outside an
    // order by price.
    const QList<CardEntry> &entries = m_collection->entries();
    QList<Node *> sets;
    QList<const Node *> cards;
    QSet<const Node *> seen;
    for (const int holding : holdings) {
        Node *card = m_cardNodes[size_t(holding)];
        const CardEntry &entry = entries.at(rowOf(card));
        card->cardCount = entry.count;
        card->value = entryLineValue(entry);
        static_cast<CardRow *>(card)->price = orderingPrice(entry);
        cards.append(card);
        if (!seen.contains(card->parent)) {
            seen.insert(card->parent);
            sets.append(card->parent);
        }
    }
    if (sets.isEmpty() && touched.isEmpty())
        return;

    // The tree's view looks over the rows in view for every range announced;
    // after a layout change it lays out every expanded row once, when
    // control returns to the event loop, and passes over the ranges
    // announced until then. Ordered by price, the updated sets' cards take
    // their new places inside the same layout change, and so do edited cards
    // in either order. Cards that keep their places are announced range by
    // range, unless there are so many that looking over the rows in view for
    // each costs more than one layout of the whole tree (the holdings of a
    // card just priced, even where every card is held a dozen times, are
    // not laid out again).
    const bool byPrice = m_cardSortMode == CardSortMode::Price;
    const CardOrders orders = replaced || byPrice ? sortedCards(sets, replaced) : CardOrders();
    for (Node *set : std::as_const(sets))
        if (!touched.contains(set))
            touched.append(set);
    for (Node *node : std::as_const(touched))
        if (node->type == SetNode)
            static_cast<GroupNode *>(node)->otherOrder.clear();
    constexpr qsizetype RowsInView = 64;
    const bool layout =
        !orders.isEmpty() || (cards.size() > 8 && cards.size() * RowsInView > qsizetype(m_holdingOfRow.size()));
    const auto hint =
        byPrice || !orders.isEmpty() ? QAbstractItemModel::VerticalSortHint : QAbstractItemModel::NoLayoutChangeHint;
    if (layout)
        emit layoutAboutToBeChanged({}, hint);
    applyCardOrders(orders);
    const QList<Node *> groups = sumAgain(touched);
    if (layout)
        emit layoutChanged({}, hint);

    // Only the rows that changed, one range per run of neighbours.
    std::sort(cards.begin(), cards.end(), [](const Node *a, const Node *b) {
        return a->parent != b->parent ? a->parent < b->parent : a->row < b->row;
    });
    for (qsizetype first = 0; first < cards.size();) {
        qsizetype last = first;
        while (last + 1 < cards.size() && cards.at(last + 1)->parent == cards.at(first)->parent
               && cards.at(last + 1)->row <= cards.at(last)->row + 1)
            ++last;
        emit dataChanged(indexOfNode(cards.at(first), 0), indexOfNode(cards.at(last), ColumnCount - 1));
        first = last + 1;
    }
    for (const Node *node : groups) {
        const QModelIndex first = indexOfNode(node, 0);
        emit dataChanged(first, first.siblingAtColumn(ColumnCount - 1));
    }
}

QList<CollectionTreeModel::Node *> CollectionTreeModel::sumAgain(const QList<Node *> &nodes)
{
    // Sets first, then the groups above them, each once, in the order a
    // rebuild adds their cards.
    QList<Node *> groups;
    QSet<const Node *> seen;
    for (Node *node : nodes) {
        if (node->type != SetNode)
            continue;
        node->cardCount = 0;
        node->value = 0.0;
        for (const Node *card : std::as_const(node->children)) {
            node->cardCount += card->cardCount;
            node->value += card->value;
        }
        static_cast<GroupNode *>(node)->ownedNumbers = distinctRanks(node);
        seen.insert(node);
        groups.append(node);
    }
    for (Node *node : nodes) {
        for (Node *group = node->type == SetNode ? node->parent : node; group && group != m_root;
             group = group->parent) {
            if (seen.contains(group))
                continue;
            seen.insert(group);
            groups.append(group);
            group->cardCount = 0;
            group->value = 0.0;
            const QList<Node *> seriesNodes = group->type == LanguageNode ? group->children : QList<Node *>{group};
            for (const Node *series : seriesNodes) {
                for (const Node *set : series->children) {
                    group->cardCount += set->cardCount;
                    group->value += set->value;
                }
            }
        }
    }
    return groups;
}

void CollectionTreeModel::removeCard(Node *card, QList<Node *> &touched)
{
    for (Node *node = card; node != m_root && (node == card || node->children.isEmpty());) {
        Node *parent = node->parent;
        beginRemoveRows(indexOfNode(parent, 0), node->row, node->row);
        parent->children.removeAt(node->row);
        numberRows(parent->children, node->row);
        node->parent = nullptr;
        endRemoveRows();
        if (node != card) {
            touched.removeAll(node);
            if (node->type == SetNode)
                m_setsByKey.remove(asGroup(node)->setKey);
            delete static_cast<GroupNode *>(node);
        }
        node = parent;
        if (node != m_root && !touched.contains(node))
            touched.append(node);
    }
}

void CollectionTreeModel::insertCard(int holding, QList<Node *> &touched)
{
    const CardEntry &entry = m_collection->entries().at(m_rowOfHolding[size_t(holding)]);
    if (int(entry.lang) < 0 || int(entry.lang) >= int(allLanguages().size()))
        return;
    Node *set = m_setsByKey.value(entrySetKey(entry));
    if (!set) {
        set = newSetNode(entry.lang, entry.setId);
        placeSet(static_cast<GroupNode *>(set), entry.lang);
    }
    m_addedCards.push_back(std::make_unique<CardRow>());
    CardRow *card = m_addedCards.back().get();
    card->type = CardNode;
    card->holding = holding;
    card->cardCount = entry.count;
    card->value = entryLineValue(entry);
    m_cardNodes[size_t(holding)] = card;
    // Its number may rank among the set's others: the set is keyed again,
    // with the new card, which the others' order does not change.
    set->children.append(card);
    keyCards(set);
    set->children.removeLast();
    const auto at = std::lower_bound(set->children.begin(), set->children.end(), card,
                                     [this](const Node *a, const Node *b) { return cardLess(a, b); });
    const int place = int(at - set->children.begin());
    beginInsertRows(indexOfNode(set, 0), place, place);
    set->children.insert(place, card);
    card->parent = set;
    numberRows(set->children, place);
    endInsertRows();
    if (!touched.contains(set))
        touched.append(set);
}

void CollectionTreeModel::followSets(const QStringList &keys, QList<Node *> &touched)
{
    for (const QString &key : keys) {
        auto *set = static_cast<GroupNode *>(m_setsByKey.value(key));
        if (!set)
            continue;
        const KeyParts parts = parseSetKey(key);
        const SetFacts facts = setFacts(parts.language, *m_collection, parts.id);
        // Still sorted between its neighbours, in the same series, the row
        // stays where it is.
        const QList<Node *> &siblings = set->parent->children;
        const auto before = [&](const Node *a, const Node *b) {
            return groupLess(a == set ? facts.order : asGroup(a)->order, a == set ? facts.name : asGroup(a)->setName,
                             b == set ? facts.order : asGroup(b)->order, b == set ? facts.name : asGroup(b)->setName);
        };
        const bool placed = facts.seriesName == set->seriesName
            && (set->row == 0 || !before(set, siblings.at(set->row - 1)))
            && (set->row + 1 >= siblings.size() || !before(siblings.at(set->row + 1), set));
        const bool renamed = facts.name != set->setName;
        const bool reordered = facts.order != set->order;
        showFacts(set, facts);
        if (!touched.contains(set))
            touched.append(set);
        if (placed) {
            // Its cards name their set too.
            if (renamed && !set->children.isEmpty())
                emit dataChanged(indexOfNode(set->children.constFirst(), 0), indexOfNode(set->children.constLast(), 0),
                                 {EntrySetNameRole});
            if (reordered)
                putSeriesInOrder(set->parent->parent);
            continue;
        }
        // Listed elsewhere now: the row moves there with its cards, keeping
        // what the view shows expanded and selected inside it.
        moveSet(set, parts.language, touched);
    }
}

CollectionTreeModel::GroupNode *CollectionTreeModel::newSetNode(Language language, const QString &setId)
{
    const SetFacts facts = setFacts(language, *m_collection, setId);
    auto *set = new GroupNode;
    set->type = SetNode;
    set->setKey = setKey(language, setId);
    showFacts(set, facts);
    m_setsByKey.insert(set->setKey, set);
    return set;
}

void CollectionTreeModel::insertChild(Node *parent, int at, Node *child)
{
    beginInsertRows(indexOfNode(parent, 0), at, at);
    parent->children.insert(at, child);
    child->parent = parent;
    numberRows(parent->children, at);
    endInsertRows();
}

CollectionTreeModel::Node *CollectionTreeModel::seriesFor(const GroupNode *set, Language language)
{
    // The language row, among the others in their order.
    Node *languageNode = nullptr;
    int at = 0;
    for (Node *node : std::as_const(m_root->children)) {
        if (asGroup(node)->language == int(language))
            languageNode = node;
        else if (asGroup(node)->language < int(language))
            ++at;
    }
    if (!languageNode) {
        auto *made = new GroupNode;
        made->type = LanguageNode;
        made->language = int(language);
        insertChild(m_root, at, made);
        languageNode = made;
    }
    // The series row, made where its set's order and its name place it.
    for (Node *node : std::as_const(languageNode->children))
        if (asGroup(node)->seriesName == set->seriesName)
            return node;
    auto *made = new GroupNode;
    made->type = SeriesNode;
    made->seriesName = set->seriesName;
    const auto place =
        std::upper_bound(languageNode->children.cbegin(), languageNode->children.cend(), made,
                         [&](const Node *a, const Node *b) {
                             return groupLess(a == made ? set->order : seriesRank(a), asGroup(a)->seriesName,
                                              b == made ? set->order : seriesRank(b), asGroup(b)->seriesName);
                         });
    insertChild(languageNode, int(place - languageNode->children.cbegin()), made);
    return made;
}

int CollectionTreeModel::setPlace(const Node *series, const Node *set)
{
    // Where the set goes among the series' other sets.
    int place = 0;
    for (const Node *other : series->children)
        if (other != set
            && !groupLess(asGroup(set)->order, asGroup(set)->setName, asGroup(other)->order, asGroup(other)->setName))
            ++place;
    return place;
}

void CollectionTreeModel::placeSet(GroupNode *set, Language language)
{
    Node *series = seriesFor(set, language);
    insertChild(series, setPlace(series, set), set);
    putSeriesInOrder(series->parent);
}

void CollectionTreeModel::moveSet(GroupNode *set, Language language, QList<Node *> &touched)
{
    Node *from = set->parent;
    Node *to = seriesFor(set, language);
    const int place = setPlace(to, set);
    // Moving down in the same series, the place counts the row itself.
    const int destination = from == to && place >= set->row ? place + 1 : place;
    if (from != to || (destination != set->row && destination != set->row + 1)) {
        beginMoveRows(indexOfNode(from, 0), set->row, set->row, indexOfNode(to, 0), destination);
        from->children.removeAt(set->row);
        numberRows(from->children, set->row);
        to->children.insert(place, set);
        set->parent = to;
        numberRows(to->children, place);
        endMoveRows();
    }
    for (Node *series : {from, to})
        if (!touched.contains(series))
            touched.append(series);
    if (from->children.isEmpty()) {
        // The series it leaves empty goes (its language keeps this set).
        Node *language = from->parent;
        beginRemoveRows(indexOfNode(language, 0), from->row, from->row);
        language->children.removeAt(from->row);
        numberRows(language->children, from->row);
        endRemoveRows();
        touched.removeAll(from);
        delete static_cast<GroupNode *>(from);
    }
    putSeriesInOrder(to->parent);
}

void CollectionTreeModel::putSeriesInOrder(Node *language)
{
    // A set's order changed, or a set added or taken out, can move a series'
    // rank past a neighbour's: those rows move where a rebuild lists them.
    if (seriesInOrder(language))
        return;
    QList<Node *> order = language->children;
    std::stable_sort(order.begin(), order.end(), [](const Node *a, const Node *b) {
        return groupLess(seriesRank(a), asGroup(a)->seriesName, seriesRank(b), asGroup(b)->seriesName);
    });
    const QModelIndex parent = indexOfNode(language, 0);
    for (int at = 0; at < order.size(); ++at) {
        Node *series = order.at(at);
        if (series->row == at)
            continue;
        const int from = series->row;
        beginMoveRows(parent, from, from, parent, at);
        language->children.move(from, at);
        numberRows(language->children, at);
        endMoveRows();
    }
}

void CollectionTreeModel::keyCards(Node *set) const
{
    const QList<CardEntry> &entries = m_collection->entries();
    std::vector<SortItem> items;
    items.reserve(size_t(set->children.size()));
    SetNumbers numbers;
    SetTies ties;
    SetScratch scratch;
    for (Node *card : std::as_const(set->children)) {
        const CardEntry &entry = entries.at(rowOf(card));
        SortItem item = sortItem(entry, rowOf(card));
        item.rank = numbers.slotOf(entry.localId);
        ties.note(item, entry);
        items.push_back(item);
    }
    keySetItems(items, numbers, ties, entries, scratch);
    // The items follow the cards' order.
    for (size_t at = 0; at < items.size(); ++at)
        setKeys(static_cast<CardRow *>(set->children.at(qsizetype(at))), items[at]);
}

bool CollectionTreeModel::cardLess(const Node *a, const Node *b) const
{
    return keysLess(keysOf(a), keysOf(b), m_cardSortMode, m_rowOfHolding);
}

CollectionTreeModel::CardOrders CollectionTreeModel::sortedCards(const QList<Node *> &sets, bool rekey) const
{
    // The keys sorted side by side, not read through each card in turn.
    CardOrders orders;
    std::vector<CardKeys> keys;
    for (Node *set : sets) {
        if (rekey)
            keyCards(set);
        keys.clear();
        for (Node *node : std::as_const(set->children))
            keys.push_back(keysOf(node));
        std::sort(keys.begin(), keys.end(), [this](const CardKeys &a, const CardKeys &b) {
            return keysLess(a, b, m_cardSortMode, m_rowOfHolding);
        });
        qsizetype same = 0;
        while (same < set->children.size() && keys[size_t(same)].card == set->children.at(same))
            ++same;
        if (same == set->children.size())
            continue;
        QList<Node *> order;
        order.reserve(set->children.size());
        for (const CardKeys &card : keys)
            order.append(card.card);
        orders.append({set, std::move(order)});
    }
    return orders;
}

void CollectionTreeModel::applyCardOrders(const CardOrders &orders)
{
    if (orders.isEmpty())
        return;
    QSet<const Node *> moved;
    for (const auto &[set, order] : orders) {
        set->children = order;
        numberRows(set->children);
        moved.insert(set);
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from) {
        const Node *node = static_cast<const Node *>(index.internalPointer());
        to.append(moved.contains(node->parent) ? indexOfNode(node, index.column()) : index);
    }
    changePersistentIndexList(from, to);
}

// ---- lookups ----

int CollectionTreeModel::entryIndexAt(const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    const Node *node = static_cast<const Node *>(index.internalPointer());
    return node->type == CardNode ? rowOf(node) : -1;
}

QModelIndex CollectionTreeModel::indexForEntryKey(const QString &key) const
{
    if (key.isEmpty() || !m_collection)
        return QModelIndex();
    // Through the collection's key index, not a key made for every card.
    const int row = m_collection->indexOfEntry(key);
    if (row < 0 || size_t(row) >= m_holdingOfRow.size())
        return QModelIndex();
    return indexOfNode(m_cardNodes[size_t(m_holdingOfRow[size_t(row)])], 0);
}

QModelIndex CollectionTreeModel::indexForSetKey(const QString &setKey) const
{
    return setKey.isEmpty() ? QModelIndex() : indexOfNode(m_setsByKey.value(setKey), 0);
}

QList<CollectionTreeModel::Node *> CollectionTreeModel::setNodes() const
{
    QList<Node *> found;
    for (Node *language : qAsConst(m_root->children))
        for (Node *series : qAsConst(language->children))
            found.append(series->children);
    return found;
}

const CardEntry *CollectionTreeModel::entryOf(const Node *node) const
{
    if (!m_collection || node->type != CardNode)
        return nullptr;
    const int row = rowOf(node);
    return row >= 0 && row < m_collection->entries().size() ? &m_collection->entries().at(row) : nullptr;
}

// ---- cells ----

QString CollectionTreeModel::columnTitle(int column)
{
    static const char *const titles[TitleCount] = {
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Card"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "No."),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Dex"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Rarity"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Printing"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Condition"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Grade"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Qty"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Unit value (%1)"),
        QT_TRANSLATE_NOOP("pv::CollectionTreeModel", "Total (%1)"),
    };
    if (column < 0 || column >= TitleCount)
        return QString();
    const QString title = tr(titles[column]);
    if (column == UnitValueColumn || column == TotalColumn)
        return title.arg(Currency::currentCode());
    return title;
}

Qt::Alignment CollectionTreeModel::columnAlignment(int column)
{
    switch (column) {
    case NumberColumn:
    case DexColumn:
    case QuantityColumn:
    case UnitValueColumn:
    case TotalColumn:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

QVariant CollectionTreeModel::cardCell(const CardEntry &entry, int column)
{
    switch (column) {
    case NameColumn:
        return NameTranslator::displayName(entry.lang, entry.cardId, entry.name);
    case NumberColumn:
        return entry.localId;
    case DexColumn:
        return entry.dexId > 0 ? QString::number(entry.dexId) : QString();
    case RarityColumn:
        return entry.rarity;
    case PrintingColumn:
        return entryPrintingLabel(entry);
    case ConditionColumn:
        return conditionDisplayName(entry.condition);
    case GradeColumn:
        return gradeLabel(entry);
    case QuantityColumn:
        return entry.count;
    case UnitValueColumn:
        return hasAnyPrice(entry) ? Currency::formatFromEur(entry.unitValueEur) : tr("no price");
    case TotalColumn:
        return hasAnyPrice(entry) ? Currency::formatFromEur(entryLineValue(entry)) : QStringLiteral("-");
    default:
        return QVariant();
    }
}

QVariant CollectionTreeModel::nodeDisplay(const Node *node, int column) const
{
    if (node->type == CardNode) {
        const CardEntry *entry = entryOf(node);
        return entry ? cardCell(*entry, column) : QVariant();
    }
    switch (column) {
    case NameColumn:
        if (node->type == LanguageNode)
            return languageDisplayName(Language(asGroup(node)->language));
        return node->type == SeriesNode ? asGroup(node)->seriesName : asGroup(node)->setName;
    case QuantityColumn:
        return node->cardCount;
    case TotalColumn:
        return Currency::formatFromEur(node->value);
    default:
        return QVariant();
    }
}

QString CollectionTreeModel::nameSuffix(const Node *node) const
{
    QStringList parts;
    if (node->type == SetNode && asGroup(node)->releaseDate.isValid())
        parts.append(QLocale(QLocale::English).toString(asGroup(node)->releaseDate, QStringLiteral("d MMMM yyyy")));
    parts.append(node->cardCount <= std::numeric_limits<int>::max() ? tr("%n card(s)", nullptr, int(node->cardCount))
                                                                    : tr("%1 cards").arg(node->cardCount));
    const QString progress = progressText(node);
    if (!progress.isEmpty())
        parts.append(progress);
    parts.append(Currency::formatFromEur(node->value));
    return parts.join(QStringLiteral(" \u00b7 "));
}

QVariant CollectionTreeModel::cardRole(const CardEntry &entry, int role) const
{
    switch (role) {
    case EntryNameRole:
        return NameTranslator::displayName(entry.lang, entry.cardId, entry.name);
    case EntrySetNameRole:
        return m_collection->setInfo(entry.lang, entry.setId).name;
    case EntryConditionRole:
        return conditionDisplayName(entry.condition);
    case EntryGradeLabelRole:
        return gradeLabel(entry);
    case EntryCountRole:
        return entry.count;
    case EntryPrintingLabelRole:
        return entryPrintingLabel(entry);
    case EntryRarityRole:
        return entry.rarity;
    case EntryDexIdRole:
        return entry.dexId;
    case EntryUnitValueEurRole:
        return entry.unitValueEur;
    case EntryHasCustomPriceRole:
        return entry.customPriceEur > 0;
    case EntryCustomPriceEurRole:
        return entry.customPriceEur;
    case EntryNotesRole:
        return entry.notes;
    case EntryImageBaseUrlRole:
        return entry.image;
    default:
        return QVariant();
    }
}

QVariant CollectionTreeModel::decoration(const Node *node) const
{
    if (node->type != SetNode || asGroup(node)->logo.isEmpty() || !m_client)
        return QVariant();
    const QString &logo = asGroup(node)->logo;
    const QString url = setArtworkUrl(logo);
    // Each logo is read and scaled once, not each time a row is painted or
    // measured; one asked for is looked for again only when it arrives.
    const auto shown = m_logos.constFind(url);
    if (shown != m_logos.constEnd())
        return shown.value();
    if (m_requestedArtwork.contains(url))
        return QVariant();
    const QPixmap picture = m_client->imageCache().load(url);
    if (!picture.isNull())
        return *m_logos.insert(url, picture.scaledToHeight(20, Qt::SmoothTransformation));
    m_requestedArtwork.insert(url);
    m_client->fetchSetArtwork(logo);
    return QVariant();
}

QVariant CollectionTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_collection)
        return QVariant();
    const Node *node = static_cast<const Node *>(index.internalPointer());
    const int column = index.column();
    const bool group = node->type != CardNode;

    if (role >= EntryNameRole && role <= EntryImageBaseUrlRole) {
        const CardEntry *entry = entryOf(node);
        return entry ? cardRole(*entry, role) : QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return nodeDisplay(node, column);
    case EntryIndexRole:
        return group ? -1 : rowOf(node);
    case NodeTypeRole:
        return int(node->type);
    case SetKeyRole: {
        const Node *set = ancestorOfType(node, SetNode);
        return set ? asGroup(set)->setKey : QString();
    }
    case NodeKeyRole:
        return nodeKey(node);
    case NameSuffixRole:
        return group && column == NameColumn ? QVariant(nameSuffix(node)) : QVariant();
    case LanguageRole: {
        const Node *language = ancestorOfType(node, LanguageNode);
        return language ? asGroup(language)->language : 0;
    }
    case NameProgressRole:
        return column == NameColumn ? progressText(node) : QString();
    case NameProgressPercentRole:
        return column == NameColumn ? progressPercent(node) : -1;
    case Qt::ToolTipRole: {
        const CardEntry *entry = entryOf(node);
        if (!entry)
            return QVariant();
        if (!hasAnyPrice(*entry))
            return tr("No price available for this printing.\nCardmarket does not list %1 (%2).")
                .arg(NameTranslator::displayName(entry->lang, entry->cardId, entry->name),
                     entryPrintingLabel(*entry));
        const QString count = QString::number(entry->count);
        const QString total = Currency::formatFromEur(entryLineValue(*entry));
        if (entry->customPriceEur <= 0)
            return tr("%1 x %2 = %3").arg(count, Currency::formatFromEur(entry->unitValueEur), total);
        // The total rests on the user's own price: the sum shows that price,
        // and the market value beside it for comparison.
        const QString yours = Currency::formatFromEur(entry->customPriceEur);
        if (entry->unitValueEur <= 0)
            return tr("%1 x %2 (your price; no market price) = %3").arg(count, yours, total);
        return tr("%1 x %2 (your price; market %3) = %4")
            .arg(count, yours, Currency::formatFromEur(entry->unitValueEur), total);
    }
    case Qt::FontRole: {
        if (!group)
            return QVariant();
        QFont font;
        font.setWeight(QFont::Bold);
        return font;
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(column));
    case Qt::DecorationRole:
        return column == NameColumn ? decoration(node) : QVariant();
    default:
        return QVariant();
    }
}

QVariant CollectionTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    const QString title = columnTitle(section);
    return title.isEmpty() ? QVariant() : QVariant(title);
}

QHash<int, QByteArray> CollectionTreeModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractItemModel::roleNames();
    names.insert(EntryIndexRole, "entryIndex");
    names.insert(NodeTypeRole, "nodeType");
    names.insert(SetKeyRole, "setKey");
    names.insert(NodeKeyRole, "nodeKey");
    names.insert(NameSuffixRole, "nameSuffix");
    names.insert(LanguageRole, "language");
    names.insert(NameProgressRole, "nameProgress");
    names.insert(NameProgressPercentRole, "nameProgressPercent");
    names.insert(EntryNameRole, "entryName");
    names.insert(EntrySetNameRole, "entrySetName");
    names.insert(EntryConditionRole, "entryCondition");
    names.insert(EntryGradeLabelRole, "entryGradeLabel");
    names.insert(EntryCountRole, "entryCount");
    names.insert(EntryPrintingLabelRole, "entryPrintingLabel");
    names.insert(EntryRarityRole, "entryRarity");
    names.insert(EntryDexIdRole, "entryDexId");
    names.insert(EntryUnitValueEurRole, "entryUnitValueEur");
    names.insert(EntryHasCustomPriceRole, "entryHasCustomPrice");
    names.insert(EntryCustomPriceEurRole, "entryCustomPriceEur");
    names.insert(EntryNotesRole, "entryNotes");
    names.insert(EntryImageBaseUrlRole, "entryImageBaseUrl");
    return names;
}

// ---- refreshes without a rebuild ----

template <typename Columns>
void CollectionTreeModel::emitForAllRows(Columns columnsFor, const QList<int> &roles)
{
    // One range per run of siblings: rows of one parent share a type.
    QList<const Node *> parents{m_root};
    while (!parents.isEmpty()) {
        const Node *parent = parents.takeLast();
        if (parent->children.isEmpty())
            continue;
        const Node *first = parent->children.constFirst();
        const auto [from, to] = columnsFor(first->type);
        if (from >= 0)
            emit dataChanged(indexOfNode(first, from), indexOfNode(parent->children.constLast(), to), roles);
        if (first->type != CardNode)
            for (const Node *child : parent->children)
                parents.append(child);
    }
}

void CollectionTreeModel::onCurrencyChanged()
{
    emit headerDataChanged(Qt::Horizontal, UnitValueColumn, TotalColumn);
    emitForAllRows(
        [](NodeType type) {
            return type == CardNode ? std::pair(int(UnitValueColumn), int(TotalColumn))
                                    : std::pair(int(NameColumn), int(TotalColumn));
        },
        {});
}

void CollectionTreeModel::reloadArtwork()
{
    m_requestedArtwork.clear();
    m_logos.clear();
    emitForAllRows(
        [](NodeType type) {
            return type == SetNode ? std::pair(int(NameColumn), int(NameColumn)) : std::pair(-1, -1);
        },
        {Qt::DecorationRole});
}

void CollectionTreeModel::onImageReady(int, const QString &imageUrl, const QPixmap &pixmap)
{
    // Only a logo a row asked for and went without is shown anew. Others
    // (the card panel's) would make the view place that set's row, measuring
    // every row between it and the rows in view.
    if (!m_requestedArtwork.remove(imageUrl))
        return;
    for (const Node *set : setNodes()) {
        const QString &logo = asGroup(set)->logo;
        if (!logo.isEmpty() && setArtworkUrl(logo) == imageUrl) {
            if (!pixmap.isNull())
                m_logos.insert(imageUrl, pixmap.scaledToHeight(20, Qt::SmoothTransformation));
            const QModelIndex at = indexOfNode(set, NameColumn);
            emit dataChanged(at, at, {Qt::DecorationRole});
        }
    }
}

} // namespace pv
