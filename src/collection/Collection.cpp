#include "collection/Collection.h"

#include "collection/CardCounts.h"
#include "collection/EntryKeys.h"
#include "core/Pricing.h"
#include "core/SteadyClock.h"

#include <QSet>

#include <algorithm>
#include <utility>

namespace pv {

namespace {

void sortByDate(QList<HistoryPoint> &history)
{
    std::stable_sort(history.begin(), history.end(),
                     [](const HistoryPoint &a, const HistoryPoint &b) { return a.date < b.date; });
}

void addToHolding(Collection::CardHolding &holding, const CardEntry &entry)
{
    holding.count += entry.count;
    // A NaN price is never greater, so it never becomes a card's value.
    const double price = entryUnitPrice(entry);
    if (price > holding.value)
        holding.value = price;
}

// Rows from `from` on move by `by`.
void shiftRows(QList<int> &rows, int from, int by)
{
    for (int &row : rows)
        if (row >= from)
            row += by;
}

} // namespace

Collection::Collection(QObject *parent)
    : QObject(parent)
{
}

Collection::~Collection() = default;

// ---------------------------------------------------------------- holdings

int Collection::addEntry(const CardEntry &entry)
{
    const QString key = entryKey(entry);
    const int row = indexOfEntry(key);
    if (row < 0) {
        CardEntry added = entry;
        added.count = std::max(added.count, 1);
        m_entries.append(added);
        countInTotals(added, 1);
        const int addedRow = int(m_entries.size()) - 1;
        const bool indexed = indexesFollowRows();
        if (indexed) {
            insertIndexedRow(addedRow);
            addKeyRow(key, addedRow);
            m_cardRows[ownedCardKey(added.lang, added.cardId)].append(m_holdingOfRow[size_t(addedRow)]);
        }
        markRowInserted(addedRow, !indexed);
        return addedRow;
    }
    CardEntry &existing = m_entries[row];
    countInTotals(existing, -1);
    existing.count = addCounts(existing.count, std::max(entry.count, 1));
    if (entry.unitValueEur > 0.0) {
        existing.unitValueEur = entry.unitValueEur;
        existing.unitValueUsd = entry.unitValueUsd;
        existing.priceUpdated = entry.priceUpdated;
    }
    countInTotals(existing, 1);
    markChanged(false);
    return row;
}

void Collection::updateEntry(int row, const CardEntry &entry)
{
    if (row < 0 || row >= m_entries.size())
        return;
    CardEntry updated = entry;
    updated.count = std::max(entry.count, 1);
    const int other = indexOfEntry(entryKey(updated));
    if (other >= 0 && other != row) {
        // The edit makes the holding a copy of another: the two merge.
        beginBatch();
        CardEntry &merged = m_entries[other];
        countInTotals(merged, -1);
        merged.count = addCounts(merged.count, updated.count);
        countInTotals(merged, 1);
        markRowEdited(other, false);
        removeEntryAt(row);
        endBatch();
        return;
    }
    replaceEntry(row, updated);
}

void Collection::insertEntry(int row, const CardEntry &entry)
{
    row = qBound(0, row, int(m_entries.size()));
    const QString key = entryKey(entry);
    const bool indexed = indexesFollowRows();
    m_entries.insert(row, entry);
    countInTotals(entry, 1);
    if (indexed) {
        insertIndexedRow(row);
        addKeyRow(key, row);
        insertCardRow(entry, row);
    }
    markRowInserted(row, !indexed);
}

void Collection::replaceEntry(int row, const CardEntry &entry)
{
    if (row < 0 || row >= m_entries.size())
        return;
    const bool indexed = reindexRow(row, entry);
    // The entry may be the row's own holding.
    const CardEntry before = m_entries.at(row);
    m_entries[row] = entry;
    countInTotals(before, -1);
    countInTotals(entry, 1);
    if (!indexed) {
        m_cardHoldingsValid = false;
    } else {
        refreshCardHolding(entry.lang, entry.cardId);
        if (before.lang != entry.lang || before.cardId != entry.cardId)
            refreshCardHolding(before.lang, before.cardId);
    }
    markRowEdited(row, !indexed);
}

void Collection::removeEntryAt(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    const CardEntry &removed = m_entries.at(row);
    countInTotals(removed, -1);
    const bool indexed = indexesFollowRows();
    if (indexed) {
        removeKeyRow(entryKey(removed), row);
        removeCardRow(removed, row);
        removeIndexedRow(row);
    }
    m_entries.removeAt(row);
    markRowRemoved(row, !indexed);
}

int Collection::indexOfEntry(const QString &key) const
{
    ensureIndexes();
    const int holding = m_keyIndex.value(key, -1);
    return holding < 0 ? -1 : m_rowOfHolding[size_t(holding)];
}

QList<int> Collection::rowsOfCard(Language language, const QString &cardId) const
{
    ensureIndexes();
    const auto found = m_cardRows.constFind(ownedCardKey(language, cardId));
    if (found == m_cardRows.constEnd())
        return {};
    QList<int> rows;
    rows.reserve(found->size());
    for (const int holding : *found)
        rows.append(m_rowOfHolding[size_t(holding)]);
    return rows;
}

void Collection::ensureIndexes() const
{
    // One pass builds both, so adding many lines to a large collection, or
    // pricing it card by card, stays linear instead of scanning every row
    // per line or per card. Edits of single rows keep them up to date.
    if (m_keyIndexValid)
        return;
    m_keyIndex.clear();
    m_keyIndex.reserve(m_entries.size());
    m_sharedKeyRows.clear();
    m_cardRows.clear();
    // Each holding is named after the row it is in now.
    m_rowOfHolding.resize(size_t(m_entries.size()));
    for (size_t row = 0; row < m_rowOfHolding.size(); ++row)
        m_rowOfHolding[row] = int(row);
    m_holdingOfRow = m_rowOfHolding;
    for (int row = 0; row < m_entries.size(); ++row) {
        const CardEntry &entry = m_entries.at(row);
        // A key shared by several rows maps to the first.
        const QString key = entryKey(entry);
        const auto first = m_keyIndex.constFind(key);
        if (first == m_keyIndex.constEnd()) {
            m_keyIndex.insert(key, row);
        } else {
            QList<int> &rows = m_sharedKeyRows[key];
            if (rows.isEmpty())
                rows.append(first.value());
            rows.append(row);
        }
        m_cardRows[ownedCardKey(entry.lang, entry.cardId)].append(row);
    }
    m_keyIndexValid = true;
}

bool Collection::reindexRow(int row, const CardEntry &after)
{
    if (!m_keyIndexValid)
        return false;
    const CardEntry &before = m_entries.at(row);
    const QString oldKey = entryKey(before);
    const QString newKey = entryKey(after);
    if (newKey != oldKey) {
        removeKeyRow(oldKey, row);
        addKeyRow(newKey, row);
    }
    if (before.lang != after.lang || before.cardId != after.cardId) {
        removeCardRow(before, row);
        insertCardRow(after, row);
    }
    return true;
}

void Collection::addKeyRow(const QString &key, int row) const
{
    const int holding = m_holdingOfRow[size_t(row)];
    const auto first = m_keyIndex.find(key);
    if (first == m_keyIndex.end()) {
        m_keyIndex.insert(key, holding);
        return;
    }
    QList<int> &holdings = m_sharedKeyRows[key];
    if (holdings.isEmpty())
        holdings.append(first.value());
    holdings.insert(holdingsLowerBound(holdings, row), holding);
    first.value() = holdings.constFirst();
}

void Collection::removeKeyRow(const QString &key, int row) const
{
    const auto first = m_keyIndex.find(key);
    if (first == m_keyIndex.end())
        return;
    const int holding = m_holdingOfRow[size_t(row)];
    const auto shared = m_sharedKeyRows.find(key);
    if (shared == m_sharedKeyRows.end()) {
        if (first.value() == holding)
            m_keyIndex.erase(first);
        return;
    }
    QList<int> &holdings = shared.value();
    const auto at = holdingsLowerBound(holdings, row);
    if (at != holdings.end() && *at == holding)
        holdings.erase(at);
    first.value() = holdings.constFirst();
    if (holdings.size() < 2)
        m_sharedKeyRows.erase(shared);
}

void Collection::insertCardRow(const CardEntry &entry, int row) const
{
    QList<int> &holdings = m_cardRows[ownedCardKey(entry.lang, entry.cardId)];
    holdings.insert(holdingsLowerBound(holdings, row), m_holdingOfRow[size_t(row)]);
}

void Collection::removeCardRow(const CardEntry &entry, int row) const
{
    const auto found = m_cardRows.find(ownedCardKey(entry.lang, entry.cardId));
    if (found == m_cardRows.end())
        return;
    found->removeOne(m_holdingOfRow[size_t(row)]);
    if (found->isEmpty())
        m_cardRows.erase(found);
}

bool Collection::indexesFollowRows() const
{
    // Every holding inserted is named anew: past twice as many names as
    // rows, the indexes are built again instead.
    return m_keyIndexValid && m_rowOfHolding.size() < 2 * size_t(m_entries.size()) + 1024;
}

void Collection::insertIndexedRow(int row) const
{
    const int holding = int(m_rowOfHolding.size());
    m_rowOfHolding.push_back(row);
    m_holdingOfRow.insert(m_holdingOfRow.begin() + row, holding);
    for (size_t later = size_t(row) + 1; later < m_holdingOfRow.size(); ++later)
        m_rowOfHolding[size_t(m_holdingOfRow[later])] = int(later);
}

void Collection::removeIndexedRow(int row) const
{
    m_rowOfHolding[size_t(m_holdingOfRow[size_t(row)])] = -1;
    m_holdingOfRow.erase(m_holdingOfRow.begin() + row);
    for (size_t later = size_t(row); later < m_holdingOfRow.size(); ++later)
        m_rowOfHolding[size_t(m_holdingOfRow[later])] = int(later);
}

QList<int>::iterator Collection::holdingsLowerBound(QList<int> &holdings, int row) const
{
    return std::lower_bound(holdings.begin(), holdings.end(), row,
                            [this](int holding, int at) { return m_rowOfHolding[size_t(holding)] < at; });
}

int Collection::applyPrices(Language language, const QString &cardId, const QHash<QString, double> &eurByPrinting,
                            const QHash<QString, double> &usdByPrinting, const QSet<QString> &keptPrintings)
{
    QList<int> rows = rowsOfCard(language, cardId);
    if (!keptPrintings.isEmpty()) {
        rows.removeIf([this, &keptPrintings](int row) {
            const CardEntry &entry = m_entries.at(row);
            return keptPrintings.contains(printingKey(entry.variant, entry.edition));
        });
    }
    if (rows.isEmpty())
        return 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const int row : std::as_const(rows)) {
        CardEntry &entry = m_entries[row];
        countInTotals(entry, -1);
        const double multiplier = Pricing::gradeMultiplier(entry.gradeCompany, entry.gradeNote);
        const QString key = printingKey(entry.variant, entry.edition);
        entry.unitValueEur = eurByPrinting.value(key, 0.0) * multiplier;
        entry.unitValueUsd = usdByPrinting.value(key, 0.0) * multiplier;
        entry.priceUpdated = now;
        countInTotals(entry, 1);
    }
    refreshCardHolding(language, cardId);
    markRowsUpdated(rows);
    return int(rows.size());
}

int Collection::applyCardFacts(Language language, const QString &cardId, const QString &rarity, int dexId)
{
    int changes = 0;
    QList<int> updated;
    for (const int row : rowsOfCard(language, cardId)) {
        CardEntry &entry = m_entries[row];
        const int before = changes;
        if (!rarity.isEmpty() && entry.rarity != rarity) {
            entry.rarity = rarity;
            ++changes;
        }
        if (dexId > 0 && entry.dexId != dexId) {
            entry.dexId = dexId;
            ++changes;
        }
        if (changes > before)
            updated.append(row);
    }
    if (changes > 0)
        markRowsUpdated(updated);
    return changes;
}

int Collection::fillMissingRarities(const RarityProvider &rarityFor)
{
    if (!rarityFor)
        return 0;
    QList<int> filled;
    for (int row = 0; row < m_entries.size(); ++row) {
        CardEntry &entry = m_entries[row];
        if (!entry.rarity.isEmpty())
            continue;
        const QString rarity = rarityFor(entry.lang, entry.cardId);
        if (rarity.isEmpty())
            continue;
        entry.rarity = rarity;
        filled.append(row);
    }
    if (!filled.isEmpty())
        markRowsUpdated(filled);
    return int(filled.size());
}

int Collection::fillMissingVariants(const FinishProvider &finishesFor)
{
    if (!finishesFor)
        return 0;
    // A settled finish must not turn a holding into a second copy of another
    // row (a file may hold both "holo" and the unstated line of one card):
    // such a row keeps its unstated finish.
    QSet<QString> keys;
    keys.reserve(m_entries.size());
    for (const CardEntry &entry : std::as_const(m_entries))
        keys.insert(entryKey(entry));

    int filled = 0;
    for (CardEntry &entry : m_entries) {
        if (!entry.variant.isEmpty())
            continue;
        const QStringList finishes = finishesFor(entry.lang, entry.cardId);
        if (finishes.size() != 1 || finishes.first().isEmpty())
            continue;
        const QString settledKey = formatEntryKey(entry.lang, entry.cardId, finishes.first(), entry.edition,
                                                  entry.condition, entry.gradeCompany, entry.gradeNote);
        if (keys.contains(settledKey))
            continue;
        entry.variant = finishes.first();
        keys.insert(settledKey);
        ++filled;
    }
    if (filled > 0)
        markChanged();
    return filled;
}

const Collection::Summary &Collection::summary() const
{
    if (!m_totalsValid) {
        m_totals = Totals();
        m_totalsValid = true;
        for (const CardEntry &entry : m_entries)
            countInTotals(entry, 1);
    }
    if (m_totals.pricedRows == 0) {
        m_totals.newestPrice = QDateTime();
        m_totals.rowsAtNewestPrice = 0;
    } else if (m_totals.rowsAtNewestPrice == 0) {
        // The last row at the newest date changed: only the dates are read.
        m_totals.newestPrice = QDateTime();
        for (const CardEntry &entry : m_entries) {
            if (!entry.priceUpdated.isValid())
                continue;
            if (!m_totals.newestPrice.isValid() || entry.priceUpdated > m_totals.newestPrice) {
                m_totals.newestPrice = entry.priceUpdated;
                m_totals.rowsAtNewestPrice = 1;
            } else if (entry.priceUpdated == m_totals.newestPrice) {
                ++m_totals.rowsAtNewestPrice;
            }
        }
    }
    m_summary.cards = m_totals.cards;
    m_summary.valueEur = m_totals.value.value();
    m_summary.lastPriceUpdate = m_totals.newestPrice;
    m_summary.labelled = m_totals.labelled;
    return m_summary;
}

void Collection::countInTotals(const CardEntry &entry, int by) const
{
    if (!m_totalsValid)
        return;
    m_totals.cards += by * qint64(entry.count);
    if (by > 0)
        m_totals.value.add(entryLineValue(entry));
    else
        m_totals.value.subtract(entryLineValue(entry));
    if (entry.printLabel)
        m_totals.labelled += by;
    const QDateTime &priced = entry.priceUpdated;
    if (!priced.isValid())
        return;
    m_totals.pricedRows += by;
    if (by > 0 && (!m_totals.newestPrice.isValid() || priced > m_totals.newestPrice)) {
        m_totals.newestPrice = priced;
        m_totals.rowsAtNewestPrice = 1;
    } else if (priced == m_totals.newestPrice) {
        m_totals.rowsAtNewestPrice += by;
    }
}

const QHash<QString, Collection::CardHolding> &Collection::cardHoldings(Language language) const
{
    if (!m_cardHoldingsValid) {
        m_cardHoldings.assign(allLanguages().size(), {});
        QHash<QString, CardHolding> *held = nullptr;
        Language heldLanguage = Language::English;
        for (const CardEntry &entry : m_entries) {
            if (!held || entry.lang != heldLanguage) {
                const size_t at = size_t(entry.lang);
                if (at >= m_cardHoldings.size())
                    continue;
                held = &m_cardHoldings[at];
                heldLanguage = entry.lang;
            }
            addToHolding((*held)[entry.cardId], entry);
        }
        m_cardHoldingsValid = true;
    }
    static const QHash<QString, CardHolding> none;
    const size_t at = size_t(language);
    return at < m_cardHoldings.size() ? m_cardHoldings[at] : none;
}

void Collection::refreshCardHolding(Language language, const QString &cardId)
{
    const size_t at = size_t(language);
    if (!m_cardHoldingsValid || at >= m_cardHoldings.size())
        return;
    const QList<int> rows = rowsOfCard(language, cardId);
    if (rows.isEmpty()) {
        m_cardHoldings[at].remove(cardId);
        return;
    }
    CardHolding holding;
    for (const int row : rows)
        addToHolding(holding, m_entries.at(row));
    m_cardHoldings[at].insert(cardId, holding);
}

// ---------------------------------------------------------------- sets

void Collection::setSets(QHash<QString, SetRecord> sets)
{
    m_sets = std::move(sets);
    markChanged(false);
}

void Collection::mergeSetInfo(const SetRecord &record)
{
    const QString key = setKey(record.language, record.id);
    const auto found = m_sets.constFind(key);
    if (found == m_sets.constEnd()) {
        m_sets.insert(key, record);
        markChanged(false);
        return;
    }
    const SetRecord &stored = found.value();
    SetRecord merged = stored;
    if (!record.name.isEmpty())
        merged.name = record.name;
    if (!record.serie.isEmpty())
        merged.serie = record.serie;
    if (!record.logo.isEmpty())
        merged.logo = record.logo;
    if (!record.symbol.isEmpty())
        merged.symbol = record.symbol;
    if (record.releaseDate.isValid())
        merged.releaseDate = record.releaseDate;
    if (record.order != SetRecord::UnsetOrder)
        merged.order = record.order;
    if (record.officialCardCount > 0)
        merged.officialCardCount = record.officialCardCount;
    if (record.totalCardCount > 0)
        merged.totalCardCount = record.totalCardCount;

    const bool same = merged.name == stored.name && merged.serie == stored.serie
        && merged.releaseDate == stored.releaseDate && merged.order == stored.order
        && merged.logo == stored.logo && merged.symbol == stored.symbol
        && merged.officialCardCount == stored.officialCardCount
        && merged.totalCardCount == stored.totalCardCount;
    if (same)
        return;
    m_sets.insert(key, merged);
    markChanged(false);
}

bool Collection::hasSet(Language language, const QString &setId) const
{
    return m_sets.contains(setKey(language, setId));
}

SetRecord Collection::setInfo(Language language, const QString &setId) const
{
    const auto found = m_sets.constFind(setKey(language, setId));
    if (found != m_sets.constEnd()) {
        // A record read without a name is shown by its id, as is a set the
        // collection holds no record of; sets() keeps it as it was read.
        SetRecord record = found.value();
        if (record.name.isEmpty())
            record.name = record.id;
        return record;
    }
    SetRecord record;
    record.id = setId;
    record.name = setId;
    record.language = language;
    return record;
}

// ---------------------------------------------------------------- binders

const Binder *Collection::binder(const QString &id) const
{
    const int index = indexOfBinder(id);
    return index < 0 ? nullptr : &m_binders.at(index);
}

int Collection::indexOfBinder(const QString &id) const
{
    if (id.isEmpty())
        return -1;
    for (int i = 0; i < m_binders.size(); ++i) {
        if (m_binders.at(i).id == id)
            return i;
    }
    return -1;
}

void Collection::insertBinder(int index, const Binder &binder)
{
    if (binder.id.isEmpty())
        return;
    m_binders.insert(qBound(0, index, int(m_binders.size())), binder);
    markDocumentChanged(Change::Binders);
}

void Collection::upsertBinder(const Binder &binder)
{
    if (binder.id.isEmpty())
        return;
    const int index = indexOfBinder(binder.id);
    // Storing a binder as it is changes the document, not its binders.
    const bool same = index >= 0 && m_binders.at(index) == binder;
    if (index < 0)
        m_binders.append(binder);
    else
        m_binders[index] = binder;
    markDocumentChanged(same ? Change::Document : Change::Binders);
}

void Collection::removeBinder(const QString &id)
{
    const int index = indexOfBinder(id);
    if (index < 0)
        return;
    m_binders.removeAt(index);
    markDocumentChanged(Change::Binders);
}

// ---------------------------------------------------------------- label style

void Collection::setLabelStyle(const std::optional<LabelStyle> &style)
{
    const bool same = style.has_value() == m_labelStyle.has_value()
        && (!style || labelStyleEquals(*style, *m_labelStyle));
    if (same)
        return;
    m_labelStyle = style;
    markDocumentChanged();
}

// ---------------------------------------------------------------- history

void Collection::recordHistoryPoint(const QDate &date, double totalEur, qint64 cards,
                                    QHash<QString, HistorySetValue> sets)
{
    if (!date.isValid())
        return;
    const QDate monday = date.addDays(1 - date.dayOfWeek());
    auto same = std::find_if(m_history.begin(), m_history.end(),
                             [&](const HistoryPoint &point) { return point.date == monday; });
    if (same != m_history.end()) {
        same->totalEur = totalEur;
        same->cards = cards;
        same->sets = std::move(sets);
    } else {
        HistoryPoint point;
        point.date = monday;
        point.totalEur = totalEur;
        point.cards = cards;
        point.sets = std::move(sets);
        m_history.append(std::move(point));
        sortByDate(m_history);
    }
    markDocumentChanged();
}

void Collection::recordValueSnapshot()
{
    recordHistoryPoint(SteadyClock::today(), totalValueEur(), totalCardCount(), valueBySet());
}

QHash<QString, HistorySetValue> Collection::valueBySet() const
{
    struct Sum
    {
        double eur = 0.0;
        qint64 cards = 0;
    };
    QHash<QString, Sum> sums;
    for (const CardEntry &entry : m_entries) {
        Sum &sum = sums[entrySetKey(entry)];
        sum.eur += entryLineValue(entry);
        sum.cards += entry.count;
    }
    QHash<QString, HistorySetValue> result;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        if (it->eur > 0.0)
            result.insert(it.key(), HistorySetValue{it->eur, it->cards});
    }
    return result;
}

// ---------------------------------------------------------------- document

void Collection::beginBatch()
{
    ++m_batchDepth;
}

void Collection::endBatch()
{
    if (m_batchDepth < 1)
        return;
    --m_batchDepth;
    if (m_batchDepth > 0 || !m_changePending)
        return;
    m_changePending = false;
    announceChange();
}

void Collection::clear()
{
    m_entries.clear();
    m_cardHoldingsValid = false;
    m_totalsValid = false;
    m_keyIndexValid = false;
    m_sets.clear();
    m_history.clear();
    const bool hadBinders = !m_binders.isEmpty();
    m_binders.clear();
    m_labelStyle.reset();
    if (!m_filePath.isEmpty()) {
        m_filePath.clear();
        emit filePathChanged(m_filePath);
    }
    makeClean();
    m_rowsUnlisted = true;
    m_pendingKinds |= Change::Holdings | Change::Document;
    if (hadBinders)
        m_pendingKinds |= Change::Binders;
    emit contentsReplaced();
    announceChange();
}

void Collection::replaceContents(QList<CardEntry> entries, QHash<QString, SetRecord> sets,
                                 QList<HistoryPoint> history, QList<Binder> binders,
                                 std::optional<LabelStyle> labelStyle)
{
    m_entries = std::move(entries);
    m_cardHoldingsValid = false;
    m_totalsValid = false;
    m_keyIndexValid = false;
    m_sets = std::move(sets);
    m_history = std::move(history);
    sortByDate(m_history);
    const bool sameBinders = binders == m_binders;
    m_binders = std::move(binders);
    m_labelStyle = std::move(labelStyle);
    makeClean();
    m_rowsUnlisted = true;
    m_pendingKinds |= Change::Holdings | Change::Document;
    if (!sameBinders)
        m_pendingKinds |= Change::Binders;
    emit contentsReplaced();
    announceChange();
}

void Collection::setFilePath(const QString &path)
{
    if (path == m_filePath)
        return;
    m_filePath = path;
    emit filePathChanged(m_filePath);
}

void Collection::setDirty(bool dirty)
{
    if (dirty == m_dirty)
        return;
    m_dirty = dirty;
    emit dirtyChanged(m_dirty);
}

void Collection::markChanged(bool keysMayHaveChanged)
{
    m_rowsUnlisted = true;
    markHoldingsChanged(keysMayHaveChanged);
}

void Collection::markRowInserted(int row, bool keysMayHaveChanged)
{
    for (QList<int> *rows : {&m_editedRows, &m_updatedRows, &m_insertedRows})
        shiftRows(*rows, row, 1);
    m_insertedRows.insert(std::lower_bound(m_insertedRows.begin(), m_insertedRows.end(), row), row);
    markHoldingsChanged(keysMayHaveChanged);
}

void Collection::markRowRemoved(int row, bool keysMayHaveChanged)
{
    m_editedRows.removeAll(row);
    m_updatedRows.removeAll(row);
    const auto added = std::lower_bound(m_insertedRows.begin(), m_insertedRows.end(), row);
    if (added != m_insertedRows.end() && *added == row) {
        m_insertedRows.erase(added);
    } else {
        // A row the change found: its number before the change.
        int before = row - int(added - m_insertedRows.begin());
        auto at = m_removedRows.begin();
        for (; at != m_removedRows.end() && *at <= before; ++at)
            ++before;
        m_removedRows.insert(at, before);
    }
    for (QList<int> *rows : {&m_editedRows, &m_updatedRows, &m_insertedRows})
        shiftRows(*rows, row + 1, -1);
    markHoldingsChanged(keysMayHaveChanged);
}

void Collection::markHoldingsChanged(bool keysMayHaveChanged)
{
    if (keysMayHaveChanged)
        m_keyIndexValid = false;
    m_cardHoldingsValid = false;
    markDocumentChanged(Change::Holdings);
}

void Collection::markRowsUpdated(const QList<int> &rows)
{
    m_updatedRows.append(rows);
    markDocumentChanged(Change::UpdatedRows);
}

void Collection::markRowEdited(int row, bool keysMayHaveChanged)
{
    if (keysMayHaveChanged)
        m_keyIndexValid = false;
    m_editedRows.append(row);
    markDocumentChanged(Change::EditedRows);
}

void Collection::markDocumentChanged(Change::Kind kind)
{
    m_pendingKinds |= kind;
    if (!m_dirty) {
        m_dirty = true;
        emit dirtyChanged(true);
    }
    if (m_batchDepth <= 0)
        announceChange();
    else
        m_changePending = true;
}

void Collection::announceChange()
{
    const auto ascending = [](QList<int> rows) {
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    };
    Change change;
    change.kinds = std::exchange(m_pendingKinds, {});
    change.rowsListed = change.kinds.testFlag(Change::Holdings) && !m_rowsUnlisted;
    if (change.holdingsKept())
        change.rows = ascending(std::move(m_updatedRows));
    else if (!change.kinds.testFlag(Change::Holdings) || change.rowsListed)
        change.editedRows = ascending(m_editedRows + m_updatedRows);
    if (change.rowsListed) {
        change.removedRows = std::move(m_removedRows);
        change.insertedRows = std::move(m_insertedRows);
    }
    m_updatedRows.clear();
    m_editedRows.clear();
    m_removedRows.clear();
    m_insertedRows.clear();
    m_rowsUnlisted = false;
    // A nested change reaches the listeners after the one that made it
    // before this one does: they read this one as touching everything.
    if (m_announcing)
        *m_announcing = everythingChanged();
    Change *const outer = std::exchange(m_announcing, &change);
    emit changed(change);
    m_announcing = outer;
}

Collection::Change Collection::everythingChanged()
{
    Change change;
    change.kinds = Change::Holdings | Change::Binders | Change::Document;
    return change;
}

void Collection::makeClean()
{
    if (m_dirty) {
        m_dirty = false;
        emit dirtyChanged(false);
    }
}

} // namespace pv
