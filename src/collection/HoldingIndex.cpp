#include "collection/HoldingIndex.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace pv {

namespace {

// Rows in a block while many rows move; a block twice as long is split.
constexpr size_t BlockRows = 1024;

quint32 smallFields(const EntryKeyFields &fields)
{
    return quint32(fields.condition) | quint32(fields.company) << 8;
}

// A set as one build meets it: the holding's language and where its set
// id's text is.
struct PlaceRef
{
    int language;
    const QChar *text;
    qsizetype size;
    friend bool operator==(const PlaceRef &a, const PlaceRef &b)
    {
        return a.language == b.language && a.text == b.text && a.size == b.size;
    }
    friend size_t qHash(const PlaceRef &place, size_t seed = 0)
    {
        return qHashMulti(seed, place.language, place.text, place.size);
    }
};

} // namespace

// The numbers of the texts a build meets, looked up by where a text is
// before its characters are read: a file's holdings share their finish,
// edition and set texts, which are then hashed once, not once a row. Only
// for one build, while its holdings keep those texts.
class HoldingIndex::BuildTexts
{
public:
    explicit BuildTexts(HoldingIndex &index)
        : m_index(index)
    {
    }

    // The text's number, and whether it holds the key's separator.
    std::pair<quint32, bool> number(QStringView text)
    {
        if (text.isEmpty())
            return {0, false};
        Recent &recent = m_recent[(quintptr(text.data()) >> 4 ^ quintptr(text.size())) % RecentTexts];
        if (recent.text != text.data() || recent.size != text.size())
            recent = {text.data(), text.size(), m_index.textNumber(text), text.contains(u'|')};
        return {recent.number, recent.separator};
    }

private:
    struct Recent
    {
        const QChar *text = nullptr;
        qsizetype size = -1;
        quint32 number = 0;
        bool separator = false;
    };
    static constexpr size_t RecentTexts = 64;
    HoldingIndex &m_index;
    std::array<Recent, RecentTexts> m_recent{};
};

HoldingIndex::HoldingIndex(const QList<CardEntry> &entries)
    : m_built(true)
{
    const size_t rows = size_t(entries.size());
    // Room for the holdings a session adds, so that the first add after a
    // build does not copy these whole.
    const auto room = size_t(Collection::roomForAdds(qsizetype(rows)));
    m_rowOfHolding.reserve(room);
    m_rowOfHolding.resize(rows);
    std::iota(m_rowOfHolding.begin(), m_rowOfHolding.end(), 0);
    m_holdingOfRow.reserve(room);
    m_holdingOfRow.assign(m_rowOfHolding.begin(), m_rowOfHolding.end());
    m_keyOfHolding.reserve(room);
    m_keyOfHolding.resize(rows);
    std::vector<int> cardOfRow(rows);
    // Room for as many cards as rows, up to a large collection's.
    const int cards = int(std::min<size_t>(rows, 1 << 16));
    m_cards.reserve(cards);
    m_cardIds.reserve(size_t(cards));
    m_cardHoldings.reserve(size_t(cards));
    m_cardUnnamed.reserve(size_t(cards));
    m_unnamedAt.reserve(size_t(cards));
    // Each card's slot is asked for some rows ahead of its look-up.
    constexpr size_t Ahead = 16;
    std::array<size_t, Ahead> hashes{};
    const auto hashAt = [&entries](size_t row) {
        const CardEntry &entry = entries.at(qsizetype(row));
        return CardIdTable::hashOf(entryKeyLanguage(entry.lang), entry.cardId);
    };
    for (size_t row = 0; row < std::min(rows, Ahead); ++row)
        hashes[row] = hashAt(row);
    BuildTexts texts(*this);
    // Rows of each set, counted by where its id's text is and folded by
    // text at the end.
    QHash<PlaceRef, std::pair<qint64, int>> places;
    for (size_t row = 0; row < rows; ++row) {
        const CardEntry &entry = entries.at(qsizetype(row));
        const size_t hash = hashes[row % Ahead];
        if (row + Ahead < rows) {
            hashes[row % Ahead] = hashAt(row + Ahead);
            m_cards.prefetch(hashes[row % Ahead]);
        }
        const Language language = entryKeyLanguage(entry.lang);
        int card = m_cards.find(language, entry.cardId, hash);
        if (card < 0) {
            m_cardIds.emplace_back(language, entry.cardId);
            m_cardHoldings.emplace_back();
            m_cardUnnamed.push_back(0);
            m_unnamedAt.push_back(-1);
            card = m_cards.number(language, m_cardIds.back().second, hash).first;
        }
        cardOfRow[row] = card;
        const EntryKeyFields fields = entryKeyFields(entry);
        const auto [variant, variantSeparator] = texts.number(fields.variant);
        const auto [edition, editionSeparator] = texts.number(fields.edition);
        const auto [note, noteSeparator] = texts.number(fields.gradeNote);
        const bool idSeparator = std::find(fields.cardId.cbegin(), fields.cardId.cend(), u'|') != fields.cardId.cend();
        Key &key = m_keyOfHolding[row];
        if (variantSeparator || editionSeparator || noteSeparator || idSeparator) {
            key = Key{textNumber(formatEntryKey(fields)), 0, 0, WholeText};
            m_wholeTextKeys[key.variant].append(int(row));
        } else {
            key = Key{variant, edition, note, smallFields(fields)};
        }
        countUnnamed(card, entry, 1);
        if (entry.lang != language)
            ++m_otherLanguageRows;
        auto &place = places[PlaceRef{int(entry.lang), entry.setId.constData(), entry.setId.size()}];
        if (place.first++ == 0)
            place.second = int(row);
    }
    for (auto place = places.cbegin(); place != places.cend(); ++place) {
        const CardEntry &first = entries.at(place->second);
        m_setRows[{int(first.lang), first.setId}] += place->first;
    }
    // Each card's rows in a list of its size.
    std::vector<int> counts(m_cardIds.size());
    for (const int card : cardOfRow)
        ++counts[size_t(card)];
    for (size_t card = 0; card < counts.size(); ++card)
        m_cardHoldings[card].reserve(counts[card]);
    for (size_t row = 0; row < rows; ++row)
        m_cardHoldings[size_t(cardOfRow[row])].append(int(row));
}

int HoldingIndex::cardNumber(Language language, const QString &cardId)
{
    language = entryKeyLanguage(language);
    const int known = m_cards.find(language, cardId);
    if (known >= 0)
        return known;
    // The table points at the text kept here.
    m_cardIds.emplace_back(language, cardId);
    m_cardHoldings.emplace_back();
    m_cardUnnamed.push_back(0);
    m_unnamedAt.push_back(-1);
    return m_cards.number(language, m_cardIds.back().second).first;
}

quint32 HoldingIndex::textNumber(QStringView text)
{
    if (text.isEmpty())
        return 0;
    // Looked up without a copy; kept as one.
    const auto found = m_texts.constFind(QString::fromRawData(text.data(), text.size()));
    if (found != m_texts.constEnd())
        return found.value();
    const quint32 number = quint32(m_texts.size()) + 1;
    m_texts.insert(text.toString(), number);
    return number;
}

qint64 HoldingIndex::knownTextNumber(QStringView text) const
{
    if (text.isEmpty())
        return 0;
    const auto found = m_texts.constFind(QString::fromRawData(text.data(), text.size()));
    return found == m_texts.constEnd() ? -1 : qint64(found.value());
}

HoldingIndex::Key HoldingIndex::keyOf(const CardEntry &entry)
{
    const EntryKeyFields fields = entryKeyFields(entry);
    if (fields.holdsSeparator()) {
        // Fields holding the separator could join into another holding's
        // key text: such a holding is keyed by that text.
        return Key{textNumber(formatEntryKey(fields)), 0, 0, WholeText};
    }
    return Key{textNumber(fields.variant), textNumber(fields.edition), textNumber(fields.gradeNote),
               smallFields(fields)};
}

int HoldingIndex::rowOfKey(const QString &key) const
{
    if (const std::optional<EntryKeyFields> fields = readEntryKey(key)) {
        const int card = m_cards.find(fields->language, fields->cardId);
        const qint64 variant = knownTextNumber(fields->variant);
        const qint64 edition = knownTextNumber(fields->edition);
        const qint64 note = knownTextNumber(fields->gradeNote);
        if (card < 0 || variant < 0 || edition < 0 || note < 0)
            return -1;
        const Key wanted{quint32(variant), quint32(edition), quint32(note), smallFields(*fields)};
        // The card's holdings are in ascending rows: the first one keyed so.
        for (const int holding : m_cardHoldings[size_t(card)])
            if (m_keyOfHolding[size_t(holding)] == wanted)
                return rowOf(holding);
        return -1;
    }
    // Not a key read back field by field: the whole text of a holding keyed
    // by it, if any.
    const qint64 whole = knownTextNumber(key);
    if (whole < 0)
        return -1;
    const auto found = m_wholeTextKeys.constFind(quint32(whole));
    return found == m_wholeTextKeys.constEnd() ? -1 : rowOf(found->constFirst());
}

QList<int> HoldingIndex::rowsOfCard(Language language, const QString &cardId) const
{
    const int card = m_cards.find(entryKeyLanguage(language), cardId);
    QList<int> rows;
    if (card < 0)
        return rows;
    const QList<int> &holdings = m_cardHoldings[size_t(card)];
    rows.reserve(holdings.size());
    for (const int holding : holdings)
        rows.append(rowOf(holding));
    return rows;
}

qsizetype HoldingIndex::cardsNumbered(Language language) const
{
    return std::count_if(m_cardIds.cbegin(), m_cardIds.cend(),
                         [language](const auto &card) { return card.first == language; });
}

std::vector<int> HoldingIndex::cardOfEachRow() const
{
    std::vector<int> cards(m_holdingOfRow.size(), -1);
    for (size_t card = 0; card < m_cardHoldings.size(); ++card)
        for (const int holding : m_cardHoldings[card])
            cards[size_t(rowOf(holding))] = int(card);
    return cards;
}

std::vector<HoldingIndex::Unnamed> HoldingIndex::cardsWithoutRarity(const QList<CardEntry> &entries,
                                                                    std::vector<int> &rows) const
{
    // Few such cards are taken from their set; many, read off every card.
    std::vector<int> cards;
    if (size_t(m_unnamedCards.size()) * 8 < m_cardIds.size()) {
        cards = m_unnamedCards;
        std::sort(cards.begin(), cards.end());
    } else {
        for (size_t card = 0; card < m_cardUnnamed.size(); ++card)
            if (m_cardUnnamed[card] > 0)
                cards.push_back(int(card));
    }
    std::vector<Unnamed> unnamed;
    unnamed.reserve(cards.size());
    rows.clear();
    for (const int card : cards) {
        const auto &[language, cardId] = m_cardIds[size_t(card)];
        const qsizetype begin = qsizetype(rows.size());
        // A card none of whose rows is named yet (an older file's) takes
        // them all without reading a holding.
        const QList<int> &holdings = m_cardHoldings[size_t(card)];
        const bool noneNamed = m_cardUnnamed[size_t(card)] >= holdings.size();
        for (const int holding : holdings) {
            const int row = rowOf(holding);
            if (noneNamed || entries.at(row).rarity.isEmpty())
                rows.push_back(row);
        }
        unnamed.push_back(Unnamed{card, language, &cardId, begin, qsizetype(rows.size())});
    }
    return unnamed;
}

std::vector<int> HoldingIndex::firstRowsOfCards() const
{
    std::vector<int> rows;
    rows.reserve(m_cardHoldings.size());
    for (const QList<int> &holdings : m_cardHoldings)
        if (!holdings.isEmpty())
            rows.push_back(rowOf(holdings.constFirst()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// ---------------------------------------------------------------- following rows

int HoldingIndex::holdingAt(int row) const
{
    if (!m_manyMoves)
        return m_holdingOfRow[size_t(row)];
    for (const std::vector<int> &block : m_blocks) {
        if (size_t(row) < block.size())
            return block[size_t(row)];
        row -= int(block.size());
    }
    return -1;
}

int HoldingIndex::newHolding()
{
    if (!m_freeHoldings.empty()) {
        const int holding = m_freeHoldings.back();
        m_freeHoldings.pop_back();
        return holding;
    }
    m_rowOfHolding.push_back(-1);
    return int(m_rowOfHolding.size()) - 1;
}

void HoldingIndex::insertRow(int row, const CardEntry &entry)
{
    const int holding = newHolding();
    if (m_manyMoves) {
        if (m_blocks.empty())
            m_blocks.emplace_back();
        size_t at = 0;
        int offset = row;
        while (at + 1 < m_blocks.size() && size_t(offset) > m_blocks[at].size()) {
            offset -= int(m_blocks[at].size());
            ++at;
        }
        std::vector<int> &block = m_blocks[at];
        block.insert(block.begin() + offset, holding);
        if (block.size() > 2 * BlockRows) {
            std::vector<int> rest(block.begin() + BlockRows, block.end());
            block.resize(BlockRows);
            m_blocks.insert(m_blocks.begin() + qsizetype(at) + 1, std::move(rest));
        }
    } else {
        m_holdingOfRow.insert(m_holdingOfRow.begin() + row, holding);
        for (size_t later = size_t(row); later < m_holdingOfRow.size(); ++later)
            m_rowOfHolding[size_t(m_holdingOfRow[later])] = int(later);
    }
    const int card = cardNumber(entry.lang, entry.cardId);
    addToCard(card, holding);
    addKey(keyOf(entry), holding);
    countUnnamed(card, entry, 1);
    countPlace(entry, 1);
}

void HoldingIndex::removeRow(int row, const CardEntry &entry)
{
    const int holding = holdingAt(row);
    const int card = cardNumber(entry.lang, entry.cardId);
    removeKey(keyOf(entry), holding);
    removeFromCard(card, holding);
    countUnnamed(card, entry, -1);
    countPlace(entry, -1);
    if (m_manyMoves) {
        size_t at = 0;
        while (size_t(row) >= m_blocks[at].size()) {
            row -= int(m_blocks[at].size());
            ++at;
        }
        m_blocks[at].erase(m_blocks[at].begin() + row);
        if (m_blocks[at].empty())
            m_blocks.erase(m_blocks.begin() + qsizetype(at));
    } else {
        m_holdingOfRow.erase(m_holdingOfRow.begin() + row);
        for (size_t later = size_t(row); later < m_holdingOfRow.size(); ++later)
            m_rowOfHolding[size_t(m_holdingOfRow[later])] = int(later);
    }
    m_rowOfHolding[size_t(holding)] = -1;
    m_freeHoldings.push_back(holding);
}

void HoldingIndex::editRow(int row, const CardEntry &before, const CardEntry &after)
{
    const int holding = holdingAt(row);
    const int oldCard = cardNumber(before.lang, before.cardId);
    const int newCard = cardNumber(after.lang, after.cardId);
    const Key oldKey = keyOf(before);
    const Key newKey = keyOf(after);
    if (!(oldKey == newKey)) {
        removeKey(oldKey, holding);
        addKey(newKey, holding);
    }
    if (oldCard != newCard) {
        removeFromCard(oldCard, holding);
        addToCard(newCard, holding);
    }
    countUnnamed(oldCard, before, -1);
    countUnnamed(newCard, after, 1);
    if (before.lang != after.lang || before.setId != after.setId) {
        countPlace(before, -1);
        countPlace(after, 1);
    }
}

void HoldingIndex::nameRarities(int card, qsizetype rows)
{
    m_cardUnnamed[size_t(card)] -= int(rows);
    if (m_cardUnnamed[size_t(card)] <= 0)
        listUnnamed(card, false);
}

void HoldingIndex::nameRarity(const CardEntry &entry)
{
    const int card = m_cards.find(entryKeyLanguage(entry.lang), entry.cardId);
    if (card >= 0)
        countUnnamed(card, CardEntry(), -1);
}

void HoldingIndex::countUnnamed(int card, const CardEntry &entry, int by)
{
    if (!entry.rarity.isEmpty())
        return;
    int &unnamed = m_cardUnnamed[size_t(card)];
    unnamed += by;
    if (unnamed == by && by > 0)
        listUnnamed(card, true);
    else if (unnamed <= 0)
        listUnnamed(card, false);
}

void HoldingIndex::listUnnamed(int card, bool listed)
{
    int &at = m_unnamedAt[size_t(card)];
    if (listed == (at >= 0))
        return;
    if (listed) {
        at = int(m_unnamedCards.size());
        m_unnamedCards.push_back(card);
        return;
    }
    // The last card takes its place.
    const int last = m_unnamedCards.back();
    m_unnamedCards[size_t(at)] = last;
    m_unnamedAt[size_t(last)] = at;
    m_unnamedCards.pop_back();
    at = -1;
}

void HoldingIndex::countPlace(const CardEntry &entry, int by)
{
    if (entry.lang != entryKeyLanguage(entry.lang))
        m_otherLanguageRows += by;
    const std::pair<int, QString> set{int(entry.lang), entry.setId};
    const auto rows = m_setRows.find(set);
    if (rows == m_setRows.end())
        m_setRows.insert(set, by);
    else if ((rows.value() += by) <= 0)
        m_setRows.erase(rows);
}

QList<int>::iterator HoldingIndex::lowerBound(QList<int> &holdings, int row) const
{
    return std::lower_bound(holdings.begin(), holdings.end(), row,
                            [this](int holding, int at) { return rowOf(holding) < at; });
}

void HoldingIndex::sortByRow(QList<int> &holdings) const
{
    std::sort(holdings.begin(), holdings.end(), [this](int a, int b) { return rowOf(a) < rowOf(b); });
}

void HoldingIndex::addToCard(int card, int holding)
{
    QList<int> &holdings = m_cardHoldings[size_t(card)];
    if (m_manyMoves) {
        // Put in row order at the end of the moves.
        holdings.append(holding);
        m_touchedCards.insert(card);
        return;
    }
    holdings.insert(lowerBound(holdings, rowOf(holding)), holding);
}

void HoldingIndex::removeFromCard(int card, int holding)
{
    QList<int> &holdings = m_cardHoldings[size_t(card)];
    if (m_manyMoves) {
        holdings.removeOne(holding);
        return;
    }
    const auto at = lowerBound(holdings, rowOf(holding));
    if (at != holdings.end() && *at == holding)
        holdings.erase(at);
}

void HoldingIndex::addKey(const Key &key, int holding)
{
    if (size_t(holding) >= m_keyOfHolding.size())
        m_keyOfHolding.resize(size_t(holding) + 1);
    m_keyOfHolding[size_t(holding)] = key;
    if (!key.isWholeText())
        return;
    QList<int> &holdings = m_wholeTextKeys[key.variant];
    if (m_manyMoves) {
        holdings.append(holding);
        m_touchedWholeTexts.insert(key.variant);
        return;
    }
    holdings.insert(lowerBound(holdings, rowOf(holding)), holding);
}

void HoldingIndex::removeKey(const Key &key, int holding)
{
    if (!key.isWholeText())
        return;
    const auto found = m_wholeTextKeys.find(key.variant);
    if (found == m_wholeTextKeys.end())
        return;
    QList<int> &holdings = found.value();
    if (m_manyMoves) {
        holdings.removeOne(holding);
    } else {
        const auto at = lowerBound(holdings, rowOf(holding));
        if (at != holdings.end() && *at == holding)
            holdings.erase(at);
    }
    if (holdings.isEmpty())
        m_wholeTextKeys.erase(found);
}

void HoldingIndex::beginManyMoves()
{
    if (m_manyMoves)
        return;
    m_manyMoves = true;
    m_blocks.clear();
    for (size_t at = 0; at < m_holdingOfRow.size(); at += BlockRows) {
        const size_t end = std::min(at + BlockRows, m_holdingOfRow.size());
        m_blocks.emplace_back(m_holdingOfRow.begin() + qsizetype(at), m_holdingOfRow.begin() + qsizetype(end));
    }
    m_holdingOfRow.clear();
}

void HoldingIndex::endManyMoves()
{
    if (!m_manyMoves)
        return;
    m_manyMoves = false;
    for (const std::vector<int> &block : m_blocks)
        m_holdingOfRow.insert(m_holdingOfRow.end(), block.begin(), block.end());
    m_blocks.clear();
    std::fill(m_rowOfHolding.begin(), m_rowOfHolding.end(), -1);
    for (size_t row = 0; row < m_holdingOfRow.size(); ++row)
        m_rowOfHolding[size_t(m_holdingOfRow[row])] = int(row);
    for (const int card : std::as_const(m_touchedCards))
        sortByRow(m_cardHoldings[size_t(card)]);
    m_touchedCards.clear();
    for (const quint32 text : std::as_const(m_touchedWholeTexts)) {
        const auto found = m_wholeTextKeys.find(text);
        if (found != m_wholeTextKeys.end())
            sortByRow(found.value());
    }
    m_touchedWholeTexts.clear();
}

} // namespace pv
