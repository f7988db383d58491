#include "collection/Collection.h"

#include "collection/CardCounts.h"
#include "collection/EntryKeys.h"
#include "core/Disposal.h"
#include "core/Log.h"
#include "core/Pricing.h"
#include "core/SteadyClock.h"

#include <QMutex>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <memory>
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

// What the rows of one card hold, rows of a language the vocabulary does
// not name counting nowhere; false when no row counted.
bool sumHolding(Collection::CardHolding &holding, const QList<CardEntry> &entries, const QList<int> &rows)
{
    static const size_t languages = size_t(allLanguages().size());
    bool counted = false;
    for (const int row : rows) {
        const CardEntry &entry = entries.at(row);
        if (size_t(entry.lang) >= languages)
            continue;
        addToHolding(holding, entry);
        counted = true;
    }
    return counted;
}

bool sameSetRecord(const SetRecord &a, const SetRecord &b)
{
    return a.id == b.id && a.language == b.language && a.name == b.name && a.serie == b.serie
        && a.releaseDate == b.releaseDate && a.order == b.order && a.logo == b.logo && a.symbol == b.symbol
        && a.officialCardCount == b.officialCardCount && a.totalCardCount == b.totalCardCount;
}

// Cards asked about in one go by one thread, and how many at least make
// helpers worth their start.
constexpr size_t CardsAskedAtOnce = 2048;
constexpr size_t CardsForHelpers = 4 * CardsAskedAtOnce;
constexpr int MostHelpers = 3;

// Runs ask(card) for every card below count: on this thread alone when they
// are few, else on this one and a few of the pool's, each taking the next
// cards not taken yet. Returns once every card was asked about; a helper
// the pool starts later finds none left and touches nothing else.
void askAboutCards(size_t count, const std::function<void(size_t)> &ask)
{
    const int helpers = std::min(MostHelpers, QThread::idealThreadCount() - 1);
    if (count < CardsForHelpers || helpers < 1) {
        for (size_t card = 0; card < count; ++card)
            ask(card);
        return;
    }
    struct Progress
    {
        std::atomic<size_t> next{0};
        std::atomic<size_t> done{0};
        QMutex mutex;
        QWaitCondition finished;
    };
    const auto progress = std::make_shared<Progress>();
    const size_t parts = (count + CardsAskedAtOnce - 1) / CardsAskedAtOnce;
    const auto work = [progress, parts, count, &ask] {
        for (size_t part = progress->next++; part < parts; part = progress->next++) {
            const size_t end = std::min(count, (part + 1) * CardsAskedAtOnce);
            for (size_t card = part * CardsAskedAtOnce; card < end; ++card)
                ask(card);
            if (++progress->done == parts) {
                const QMutexLocker lock(&progress->mutex);
                progress->finished.wakeAll();
            }
        }
    };
    for (int helper = 0; helper < helpers; ++helper)
        QThreadPool::globalInstance()->start(work);
    work();
    const QMutexLocker lock(&progress->mutex);
    while (progress->done < parts)
        progress->finished.wait(&progress->mutex);
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
    const int row = indexOfEntry(entryKey(entry));
    if (row < 0) {
        CardEntry added = entry;
        added.count = std::max(added.count, 1);
        m_entries.append(added);
        const int addedRow = int(m_entries.size()) - 1;
        record(Change::Step::Inserted, addedRow, {}, std::move(added));
        return addedRow;
    }
    CardEntry merged = m_entries.at(row);
    merged.count = addCounts(merged.count, std::max(entry.count, 1));
    if (entry.unitValueEur > 0.0)
        merged.takeFigures(entry);
    replaceEntry(row, merged);
    return row;
}

void Collection::reserveForAdds()
{
    const qsizetype room = roomForAdds(m_entries.size());
    if (m_entries.capacity() >= room)
        return;
    if (!m_entries.isDetached()) {
        m_entries.reserve(room);
        return;
    }
    // QList's own reserve copies every holding into the new block and then
    // frees the old ones; moved, they cost neither.
    QList<CardEntry> roomy;
    roomy.reserve(room);
    for (CardEntry &entry : m_entries)
        roomy.append(std::move(entry));
    m_entries.swap(roomy);
}

qsizetype Collection::roomForAdds(qsizetype holdings)
{
    constexpr qsizetype leastRoom = 64;
    return holdings + std::max(leastRoom, holdings / 16);
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
        CardEntry merged = m_entries.at(other);
        merged.count = addCounts(merged.count, updated.count);
        replaceEntry(other, merged);
        removeEntryAt(row);
        endBatch();
        return;
    }
    replaceEntry(row, updated);
}

void Collection::insertEntry(int row, const CardEntry &entry)
{
    row = qBound(0, row, int(m_entries.size()));
    m_entries.insert(row, entry);
    record(Change::Step::Inserted, row, {}, entry);
}

void Collection::replaceEntry(int row, const CardEntry &entry)
{
    if (row < 0 || row >= m_entries.size())
        return;
    // The entry may be the row's own holding.
    CardEntry after = entry;
    CardEntry before = std::exchange(m_entries[row], after);
    record(Change::Step::Edited, row, std::move(before), std::move(after));
}

void Collection::removeEntryAt(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    record(Change::Step::Removed, row, m_entries.takeAt(row));
}

int Collection::indexOfEntry(const QString &key) const
{
    ensureIndexes();
    return m_index.rowOfKey(key);
}

QList<int> Collection::rowsOfCard(Language language, const QString &cardId) const
{
    ensureIndexes();
    return m_index.rowsOfCard(language, cardId);
}

Collection::HeldCards Collection::heldCards() const
{
    ensureIndexes();
    if (m_index.rowsOfOtherLanguages() > 0)
        return {{}, 0, false};
    return {m_index.firstRowsOfCards(), m_index.setsHeld(), true};
}

void Collection::ensureIndexes() const
{
    // Built with the contents; the records of the rows keep them up to date.
    followRecords();
    if (m_keyIndexValid)
        return;
    m_index = HoldingIndex(m_entries);
    m_keyIndexValid = true;
}

void Collection::buildDerivedTables() const
{
    ensureIndexes();
    cardHoldings(Language::English);
    ensureTotals();
}

bool Collection::applyFigures(CardEntry &entry, const AppliedPrices &prices, bool warn)
{
    const QString key = printingKey(entry.variant, entry.edition);
    // Each figure is replaced only when what it reads answered.
    const bool newEur = !prices.keptEur.contains(key);
    const bool newUsd = !prices.keptUsd.contains(key);
    if (!newEur && !newUsd)
        return false;
    const double multiplier = Pricing::gradeMultiplier(entry.gradeCompany, entry.gradeNote);
    // A figure beyond any price (a dear card converted or graded past the
    // bound) is not stored: the file could not read it back.
    const double eur = prices.eurByPrinting.value(key, 0.0) * multiplier;
    const double usd = prices.usdByPrinting.value(key, 0.0) * multiplier;
    if (newEur && Pricing::isStorablePrice(eur)) {
        entry.unitValueEur = eur;
        // The date is the euro value's, which values the holding.
        entry.priceUpdated = prices.at;
    }
    if (newUsd && Pricing::isStorablePrice(usd))
        entry.unitValueUsd = usd;
    if (warn && ((newEur && !Pricing::isStorablePrice(eur)) || (newUsd && !Pricing::isStorablePrice(usd))))
        Log::warn(QStringLiteral("prices"),
                  QStringLiteral("Card %1 kept a stored price: %2 EUR or %3 USD is beyond any price.")
                      .arg(entry.cardId)
                      .arg(eur)
                      .arg(usd));
    return true;
}

int Collection::applyPrices(Language language, const QString &cardId, const QHash<QString, double> &eurByPrinting,
                            const QHash<QString, double> &usdByPrinting, const QSet<QString> &keptEur,
                            const QSet<QString> &keptUsd)
{
    const AppliedPrices prices{eurByPrinting, usdByPrinting, keptEur, keptUsd, QDateTime::currentDateTimeUtc()};
    m_appliedPrices.insert(ownedCardKey(language, cardId), prices);
    int priced = 0;
    // Every row of the card reaches the views as one change.
    beginBatch();
    for (const int row : rowsOfCard(language, cardId)) {
        CardEntry &entry = m_entries[row];
        CardEntry before = entry;
        if (!applyFigures(entry, prices, true))
            continue;
        record(Change::Step::Repriced, row, std::move(before), entry);
        ++priced;
    }
    endBatch();
    return priced;
}

CardEntry Collection::withLatestFigures(CardEntry entry) const
{
    const auto prices = m_appliedPrices.constFind(ownedCardKey(entry.lang, entry.cardId));
    if (prices != m_appliedPrices.constEnd() && (!entry.priceUpdated.isValid() || entry.priceUpdated < prices->at))
        applyFigures(entry, *prices, false);
    return entry;
}

int Collection::applyCardFacts(Language language, const QString &cardId, const QString &rarity, int dexId)
{
    int changes = 0;
    beginBatch();
    for (const int row : rowsOfCard(language, cardId)) {
        CardEntry &entry = m_entries[row];
        const int before = changes;
        if (!rarity.isEmpty() && entry.rarity != rarity) {
            nameRarity(row, rarity);
            ++changes;
        }
        if (dexId > 0 && entry.dexId != dexId) {
            entry.dexId = dexId;
            ++changes;
        }
        if (changes > before)
            record(Change::Step::Annotated, row);
    }
    endBatch();
    return changes;
}

int Collection::fillMissingRarities(const RarityProvider &rarityFor)
{
    if (!rarityFor)
        return 0;
    // Only the cards with rows still unnamed are asked about, once each, and
    // only the rows of those the provider names are touched.
    ensureIndexes();
    std::vector<int> unnamedRows;
    const std::vector<HoldingIndex::Unnamed> cards = m_index.cardsWithoutRarity(m_entries, unnamedRows);
    // The few rarity names there are are shared: the rows given one refer
    // to the same text, which stays at hand while they are written.
    std::vector<QString> answers(cards.size());
    askAboutCards(cards.size(),
                  [&](size_t card) { answers[card] = rarityFor(cards[card].language, *cards[card].cardId); });
    QSet<QString> names;
    qsizetype named = 0;
    for (size_t card = 0; card < cards.size(); ++card) {
        if (answers[card].isEmpty())
            continue;
        answers[card] = *names.insert(answers[card]);
        named += cards[card].end - cards[card].begin;
    }
    if (named == 0)
        return 0;
    // The rows in ascending order, each with its card's answer: sorted when
    // few, read off a table of every row when many.
    std::vector<std::pair<int, int>> rows;
    rows.reserve(size_t(named));
    const auto eachNamed = [&](const auto &visit) {
        for (size_t card = 0; card < cards.size(); ++card)
            if (!answers[card].isEmpty())
                for (qsizetype at = cards[card].begin; at < cards[card].end; ++at)
                    visit(unnamedRows[size_t(at)], int(card));
    };
    if (named * 8 < m_entries.size()) {
        eachNamed([&rows](int row, int card) { rows.emplace_back(row, card); });
        std::sort(rows.begin(), rows.end());
    } else {
        std::vector<int> answerOfRow(size_t(m_entries.size()), -1);
        eachNamed([&answerOfRow](int row, int card) { answerOfRow[size_t(row)] = card; });
        for (size_t row = 0; row < answerOfRow.size(); ++row)
            if (answerOfRow[row] >= 0)
                rows.emplace_back(int(row), answerOfRow[row]);
    }
    // However many rows are named, the views hear of it once, as one raise
    // of the revision: the rows are written in ascending order through one
    // detach of the list, each recorded as annotated, with no holding copied.
    m_steps.reserve(m_steps.size() + rows.size());
    CardEntry *const entries = m_entries.data();
    for (const auto &[row, card] : rows) {
        entries[row].rarity = answers[size_t(card)];
        m_steps.push_back({Change::Step::Annotated, row});
    }
    for (size_t card = 0; card < cards.size(); ++card)
        if (!answers[card].isEmpty())
            m_index.nameRarities(cards[card].card, cards[card].end - cards[card].begin);
    markDocumentChanged(Change::UpdatedRows);
    return int(named);
}

int Collection::fillMissingVariants(const FinishProvider &finishesFor)
{
    if (!finishesFor)
        return 0;
    // A settled finish must not turn a holding into a second copy of another
    // row (a file may hold both "holo" and the unstated line of one card):
    // such a row keeps its unstated finish. The key index, which follows
    // each row settled, tells.
    int filled = 0;
    beginBatch();
    for (int row = 0; row < m_entries.size(); ++row) {
        const CardEntry &entry = m_entries.at(row);
        if (!entry.variant.isEmpty())
            continue;
        const QStringList finishes = finishesFor(entry.lang, entry.cardId);
        if (finishes.size() != 1 || finishes.first().isEmpty())
            continue;
        const QString settledKey = formatEntryKey(entry.lang, entry.cardId, finishes.first(), entry.edition,
                                                  entry.condition, entry.gradeCompany, entry.gradeNote);
        if (indexOfEntry(settledKey) >= 0)
            continue;
        CardEntry settled = entry;
        settled.variant = finishes.first();
        replaceEntry(row, settled);
        ++filled;
    }
    endBatch();
    return filled;
}

void Collection::ensureTotals() const
{
    followRecords();
    if (m_totalsValid)
        return;
    m_totals = Totals();
    m_totals.sets.resize(allLanguages().size());
    m_totalsValid = true;
    for (const CardEntry &entry : m_entries)
        countInTotals(entry, 1);
}

const Collection::Summary &Collection::summary() const
{
    ensureTotals();
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

void Collection::nameRarity(int row, QString rarity)
{
    CardEntry &entry = m_entries[row];
    if (entry.rarity.isEmpty()) {
        // The index counts the rows without a rarity as it follows the
        // records; those before this one are followed first.
        followRecords();
        if (m_keyIndexValid)
            m_index.nameRarity(entry);
    }
    entry.rarity = std::move(rarity);
}

void Collection::countInTotals(const CardEntry &entry, int by) const
{
    if (!m_totalsValid)
        return;
    m_totals.cards += by * qint64(entry.count);
    const double lineValue = entryLineValue(entry);
    if (by > 0)
        m_totals.value.add(lineValue);
    else
        m_totals.value.subtract(lineValue);
    countInSetSums(entry, lineValue, by);
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

void Collection::countInSetSums(const CardEntry &entry, double lineValue, int by) const
{
    // A language the vocabulary does not name has the English code in its
    // set key.
    size_t at = size_t(entry.lang);
    if (at >= m_totals.sets.size())
        at = size_t(Language::English);
    QHash<QString, SetSum> &sets = m_totals.sets[at];
    auto found = sets.find(entry.setId);
    if (found == sets.end())
        found = sets.insert(entry.setId, SetSum());
    SetSum &sum = found.value();
    sum.rows += by;
    sum.cards += by * qint64(entry.count);
    if (by > 0)
        sum.value.add(lineValue);
    else
        sum.value.subtract(lineValue);
    if (sum.rows <= 0)
        sets.erase(found);
}

const QHash<QString, Collection::CardHolding> &Collection::cardHoldings(Language language) const
{
    ensureIndexes();
    if (!m_cardHoldingsValid) {
        // The rows in their order, each adding to its card's sums (which do
        // not depend on the order of the card's rows): the holdings are read
        // one after the other, not card by card across the whole list.
        m_cardHoldings.assign(allLanguages().size(), {});
        for (const Language each : allLanguages())
            m_cardHoldings[size_t(each)].reserve(m_index.cardsNumbered(each));
        const std::vector<int> cardOfRow = m_index.cardOfEachRow();
        std::vector<CardHolding> sums(size_t(m_index.cardsNumbered()));
        std::vector<char> counted(sums.size(), 0);
        static const size_t languages = size_t(allLanguages().size());
        for (size_t row = 0; row < cardOfRow.size(); ++row) {
            const CardEntry &entry = m_entries.at(qsizetype(row));
            const int card = cardOfRow[row];
            if (card < 0 || size_t(entry.lang) >= languages)
                continue;
            addToHolding(sums[size_t(card)], entry);
            counted[size_t(card)] = 1;
        }
        for (size_t card = 0; card < sums.size(); ++card) {
            if (!counted[card])
                continue;
            const auto &[keyed, cardId] = m_index.numberedCard(int(card));
            m_cardHoldings[size_t(keyed)].insert(cardId, sums[card]);
        }
        m_cardHoldingsValid = true;
    }
    static const QHash<QString, CardHolding> none;
    const size_t at = size_t(language);
    return at < m_cardHoldings.size() ? m_cardHoldings[at] : none;
}

void Collection::refreshCardHolding(Language language, const QString &cardId) const
{
    const size_t at = size_t(language);
    if (!m_cardHoldingsValid || at >= m_cardHoldings.size())
        return;
    CardHolding holding;
    if (sumHolding(holding, m_entries, rowsOfCard(language, cardId)))
        m_cardHoldings[at].insert(cardId, holding);
    else
        m_cardHoldings[at].remove(cardId);
}

// ---------------------------------------------------------------- records

void Collection::record(Change::Step::Type type, int row, CardEntry before, CardEntry after)
{
    m_steps.push_back({type, row});
    if (type == Change::Step::Annotated) {
        markDocumentChanged(Change::UpdatedRows);
        return;
    }
    noteTouchedCards(type, before, after);
    m_unfollowed.push_back({type, row, std::move(before), std::move(after)});
    switch (type) {
    case Change::Step::Repriced:
        markDocumentChanged(Change::UpdatedRows);
        break;
    case Change::Step::Edited:
        markDocumentChanged(Change::EditedRows);
        break;
    default:
        markDocumentChanged(Change::Holdings);
        break;
    }
}

void Collection::noteTouchedCards(Change::Step::Type type, const CardEntry &before, const CardEntry &after)
{
    // Past a few cards the listeners are better off reading the change as
    // touching any.
    constexpr qsizetype fewCards = 64;
    if (m_touchedMany)
        return;
    if (type != Change::Step::Inserted)
        m_touchedCards.append({before.lang, before.cardId});
    if (type != Change::Step::Removed)
        m_touchedCards.append({after.lang, after.cardId});
    if (m_touchedCards.size() > fewCards) {
        m_touchedMany = true;
        m_touchedCards.clear();
    }
}

void Collection::followRecords() const
{
    if (m_unfollowed.empty())
        return;
    const std::vector<Record> records = std::exchange(m_unfollowed, {});
    // Each row inserted or removed renumbers every row after it in the
    // index: when that adds up to more than a few passes over the rows, the
    // index follows them in blocks and numbers the rows once at the end.
    qint64 rows = m_index.rows();
    qint64 renumbered = 0;
    for (const Record &change : records) {
        if (change.type == Change::Step::Inserted)
            renumbered += ++rows - change.row;
        else if (change.type == Change::Step::Removed)
            renumbered += rows-- - change.row;
    }
    const bool manyMoves = m_keyIndexValid && renumbered > 4 * m_index.rows() + 4096;
    if (manyMoves)
        m_index.beginManyMoves();
    for (const Record &change : records)
        followRecord(change);
    if (manyMoves)
        m_index.endManyMoves();
    // A rewrite dropped the tables: they are built again at once.
    if (!m_keyIndexValid || !m_totalsValid || !m_cardHoldingsValid) {
        buildDerivedTables();
        return;
    }
    // What is held of each card touched, worked out again from its rows:
    // once each when many rows were.
    QSet<std::pair<int, QString>> seen;
    const bool one = records.size() == 1;
    const auto refresh = [&](const CardEntry &entry) {
        if (!one) {
            const qsizetype known = seen.size();
            if (seen.insert({int(entry.lang), entry.cardId}); seen.size() == known)
                return;
        }
        refreshCardHolding(entry.lang, entry.cardId);
    };
    for (const Record &change : records) {
        if (change.type != Change::Step::Inserted)
            refresh(change.before);
        if (change.type != Change::Step::Removed)
            refresh(change.after);
    }
}

void Collection::followRecord(const Record &change) const
{
    switch (change.type) {
    case Change::Step::Rewritten:
        dropDerivedTables();
        return;
    case Change::Step::Inserted:
        if (m_keyIndexValid)
            m_index.insertRow(change.row, change.after);
        countInTotals(change.after, 1);
        return;
    case Change::Step::Removed:
        if (m_keyIndexValid)
            m_index.removeRow(change.row, change.before);
        countInTotals(change.before, -1);
        return;
    case Change::Step::Edited:
    case Change::Step::Repriced:
        // New prices leave the holding's key, card and rarity as they were.
        if (m_keyIndexValid && change.type == Change::Step::Edited)
            m_index.editRow(change.row, change.before, change.after);
        countInTotals(change.before, -1);
        countInTotals(change.after, 1);
        return;
    case Change::Step::Annotated:
        return;
    }
}

void Collection::dropDerivedTables() const
{
    m_unfollowed.clear();
    m_keyIndexValid = false;
    m_index = HoldingIndex();
    m_totalsValid = false;
    m_cardHoldingsValid = false;
}

void Collection::recordSets(const QStringList &keys)
{
    if (keys.isEmpty())
        return;
    for (const QString &key : keys)
        m_changedSets.insert(key);
    markDocumentChanged(Change::Sets);
}

// ---------------------------------------------------------------- sets

void Collection::setSets(QHash<QString, SetRecord> sets)
{
    // Only the records that differ are announced: their rows change, the
    // others stay as they are.
    QStringList changed;
    for (auto it = sets.cbegin(); it != sets.cend(); ++it) {
        const auto stored = m_sets.constFind(it.key());
        if (stored == m_sets.constEnd() || !sameSetRecord(stored.value(), it.value()))
            changed.append(it.key());
    }
    for (auto it = m_sets.cbegin(); it != m_sets.cend(); ++it)
        if (!sets.contains(it.key()))
            changed.append(it.key());
    m_sets = std::move(sets);
    m_foldedSetKeysValid = false;
    if (changed.isEmpty())
        markDocumentChanged();
    else
        recordSets(changed);
}

void Collection::mergeSetInfo(const SetRecord &record)
{
    const QString key = setKey(record.language, record.id);
    const auto found = m_sets.constFind(key);
    if (found == m_sets.constEnd()) {
        m_sets.insert(key, record);
        m_foldedSetKeysValid = false;
        recordSets({key});
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

    if (sameSetRecord(merged, stored))
        return;
    m_sets.insert(key, merged);
    recordSets({key});
}

const SetRecord *Collection::storedSet(Language language, const QString &setId) const
{
    auto found = m_sets.constFind(setKey(language, setId));
    if (found == m_sets.constEnd()) {
        // A file may spell a set otherwise than its holdings, or than the
        // card database: the record is the set's all the same.
        if (!m_foldedSetKeysValid) {
            m_foldedSetKeys.clear();
            for (auto it = m_sets.cbegin(); it != m_sets.cend(); ++it)
                m_foldedSetKeys.insert(foldedSetKey(it.key()), it.key());
            m_foldedSetKeysValid = true;
        }
        const auto folded = m_foldedSetKeys.constFind(foldedSetKey(language, setId));
        if (folded == m_foldedSetKeys.constEnd())
            return nullptr;
        found = m_sets.constFind(folded.value());
    }
    return found == m_sets.constEnd() ? nullptr : &found.value();
}

bool Collection::hasSet(Language language, const QString &setId) const
{
    return storedSet(language, setId) != nullptr;
}

SetRecord Collection::setInfo(Language language, const QString &setId) const
{
    if (const SetRecord *stored = storedSet(language, setId)) {
        // A record read without a name is shown by its id, as is a set the
        // collection holds no record of; sets() keeps it as it was read.
        SetRecord record = *stored;
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
    if (!isStorableHistoryEur(totalEur)) {
        Log::warn(QStringLiteral("prices"),
                  QStringLiteral("The week's total %1 EUR is beyond any collection's worth and was not recorded.")
                      .arg(totalEur));
        return;
    }
    for (auto it = sets.begin(); it != sets.end();)
        it = isStorableHistoryEur(it->eur) ? std::next(it) : sets.erase(it);
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
    // Read from the sums kept beside the totals: one priced card records
    // its week without walking every holding.
    ensureTotals();
    QHash<QString, HistorySetValue> result;
    for (size_t at = 0; at < m_totals.sets.size(); ++at) {
        const QHash<QString, SetSum> &sets = m_totals.sets[at];
        for (auto it = sets.cbegin(); it != sets.cend(); ++it) {
            const double eur = it->value.value();
            if (eur > 0.0)
                result.insert(setKey(Language(at), it.key()), HistorySetValue{eur, it->cards});
        }
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
    letGoOfContents();
    buildDerivedTables();
    const bool hadBinders = !m_binders.isEmpty();
    m_binders.clear();
    if (!m_filePath.isEmpty()) {
        m_filePath.clear();
        emit filePathChanged(m_filePath);
    }
    makeClean();
    m_steps.push_back({Change::Step::Rewritten, -1});
    m_pendingKinds |= Change::Holdings | Change::Document | Change::Contents;
    if (hadBinders)
        m_pendingKinds |= Change::Binders;
    // Whatever a batch still open held back is announced with this change.
    m_changePending = false;
    announceChange();
}

void Collection::replaceContents(QList<CardEntry> entries, QHash<QString, SetRecord> sets, QList<HistoryPoint> history,
                                 QList<Binder> binders, std::optional<LabelStyle> labelStyle)
{
    const bool sameBinders = binders == m_binders;
    letGoOfContents();
    m_entries = std::move(entries);
    buildDerivedTables();
    m_sets = std::move(sets);
    m_history = std::move(history);
    m_binders = std::move(binders);
    m_labelStyle = std::move(labelStyle);
    announceNewContents(sameBinders);
}

void Collection::announceNewContents(bool sameBinders)
{
    m_foldedSetKeysValid = false;
    if (!m_appliedPrices.isEmpty())
        Disposal::freeElsewhere(std::exchange(m_appliedPrices, {}));
    sortByDate(m_history);
    makeClean();
    m_steps.push_back({Change::Step::Rewritten, -1});
    m_pendingKinds |= Change::Holdings | Change::Document | Change::Contents;
    if (!sameBinders)
        m_pendingKinds |= Change::Binders;
    // Whatever a batch still open held back is announced with this change.
    m_changePending = false;
    announceChange();
}

struct Collection::DerivedTables
{
    HoldingIndex index;
    bool keyIndexValid = false;
    Totals totals;
    bool totalsValid = false;
    Summary summary;
    std::vector<QHash<QString, CardHolding>> cardHoldings;
    bool cardHoldingsValid = false;
    // The holdings they were worked out from.
    const CardEntry *madeFrom = nullptr;
};

CollectionContents Collection::contents() const
{
    return {m_entries, m_sets, m_history, m_binders, m_labelStyle};
}

Collection::PreparedContents Collection::prepareContents(CollectionContents contents, const Adjust &adjust,
                                                         int *adjusted)
{
    // This document is the calling thread's own and goes with this call:
    // only plain values leave it.
    Collection made;
    made.replaceContents(std::move(contents.entries), std::move(contents.sets), std::move(contents.history),
                         std::move(contents.binders), std::move(contents.labelStyle));
    // The room for adds, made before adjust, whose work may point into the
    // holdings where they will stay: the document that takes them in then
    // neither moves nor copies them.
    made.reserveForAdds();
    const int changed = adjust ? adjust(made) : 0;
    if (adjusted)
        *adjusted = changed;
    made.buildDerivedTables();
    made.followRecords();
    PreparedContents prepared;
    prepared.tables = std::make_shared<DerivedTables>();
    made.swapDerivedTables(*prepared.tables);
    prepared.contents = {std::move(made.m_entries), std::move(made.m_sets), std::move(made.m_history),
                         std::move(made.m_binders), std::move(made.m_labelStyle)};
    prepared.tables->madeFrom = prepared.contents.entries.constData();
    return prepared;
}

void Collection::swapDerivedTables(DerivedTables &tables)
{
    std::swap(m_index, tables.index);
    std::swap(m_keyIndexValid, tables.keyIndexValid);
    std::swap(m_totals, tables.totals);
    std::swap(m_totalsValid, tables.totalsValid);
    std::swap(m_summary, tables.summary);
    std::swap(m_cardHoldings, tables.cardHoldings);
    std::swap(m_cardHoldingsValid, tables.cardHoldingsValid);
}

void Collection::letGoOfContents()
{
    m_unfollowed.clear();
    // A large collection is many small blocks, which take a while to free:
    // they go on another thread, with the tables derived from them. The
    // binders stay, for the new ones to be compared with.
    struct Held
    {
        PreparedContents contents;
        QHash<QString, AppliedPrices> appliedPrices;
        QHash<QString, QString> foldedSetKeys;
    };
    Held held;
    held.contents.tables = std::make_shared<DerivedTables>();
    swapDerivedTables(*held.contents.tables);
    const bool empty = m_entries.isEmpty() && m_sets.isEmpty() && m_history.isEmpty() && m_appliedPrices.isEmpty();
    held.contents.contents.entries = std::exchange(m_entries, {});
    held.contents.contents.sets = std::exchange(m_sets, {});
    held.contents.contents.history = std::exchange(m_history, {});
    held.contents.contents.labelStyle = std::exchange(m_labelStyle, std::nullopt);
    held.appliedPrices = std::exchange(m_appliedPrices, {});
    held.foldedSetKeys = std::exchange(m_foldedSetKeys, {});
    m_foldedSetKeysValid = false;
    if (!empty)
        Disposal::freeElsewhere(std::move(held));
}

void Collection::takeContents(PreparedContents &prepared)
{
    CollectionContents &in = prepared.contents;
    if (!prepared.tables || in.entries.constData() != prepared.tables->madeFrom) {
        // Tables made for other holdings (or none) are built again here.
        CollectionContents taken = std::move(in);
        in = contents();
        replaceContents(std::move(taken.entries), std::move(taken.sets), std::move(taken.history),
                        std::move(taken.binders), std::move(taken.labelStyle));
        return;
    }
    // The old contents and their tables go back to the caller.
    m_unfollowed.clear();
    std::swap(m_entries, in.entries);
    swapDerivedTables(*prepared.tables);
    prepared.tables->keyIndexValid = false;
    prepared.tables->totalsValid = false;
    prepared.tables->cardHoldingsValid = false;
    std::swap(m_sets, in.sets);
    std::swap(m_history, in.history);
    const bool sameBinders = in.binders == m_binders;
    std::swap(m_binders, in.binders);
    std::swap(m_labelStyle, in.labelStyle);
    announceNewContents(sameBinders);
}

void Collection::setFilePath(const QString &path)
{
    if (path == m_filePath)
        return;
    m_filePath = path;
    emit filePathChanged(m_filePath);
}

void Collection::markSaved(quint64 revision)
{
    const bool wasDirty = isDirty();
    m_savedRevision = revision;
    if (wasDirty != isDirty())
        emit dirtyChanged(isDirty());
}

void Collection::setDirty(bool dirty)
{
    if (dirty != isDirty())
        markSaved(dirty ? NoRevision : m_revision);
}

void Collection::bumpRevision()
{
    const bool wasDirty = isDirty();
    ++m_revision;
    if (!wasDirty)
        emit dirtyChanged(true);
}

void Collection::markDocumentChanged(Change::Kind kind)
{
    m_pendingKinds |= kind;
    bumpRevision();
    if (m_batchDepth <= 0)
        announceChange();
    else
        m_changePending = true;
}

void Collection::describeSteps(Change &change)
{
    change.steps = std::exchange(m_steps, {});
    const bool rewritten = std::any_of(change.steps.cbegin(), change.steps.cend(),
                                       [](const Change::Step &step) { return step.type == Change::Step::Rewritten; });
    change.cardsKnown = !std::exchange(m_touchedMany, false) && !rewritten;
    change.cards = std::exchange(m_touchedCards, {});
    if (!change.cardsKnown)
        change.cards.clear();
    change.sets = QStringList(m_changedSets.cbegin(), m_changedSets.cend());
    change.sets.sort();
    m_changedSets.clear();
}

bool Collection::Change::cardFactsOnly() const
{
    const auto annotated = [](const Step &step) { return step.type == Step::Annotated; };
    return holdingsKept() && !steps.empty() && std::all_of(steps.cbegin(), steps.cend(), annotated);
}

void Collection::announceChange()
{
    // The tables derived from the holdings follow the change before any
    // listener reads them.
    followRecords();
    Change change;
    change.kinds = std::exchange(m_pendingKinds, {});
    describeSteps(change);
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
    change.steps = {{Change::Step::Rewritten, -1}};
    return change;
}

void Collection::makeClean()
{
    // Another document: no save of the one before stands for it.
    const bool wasDirty = isDirty();
    m_savedRevision = ++m_revision;
    if (wasDirty)
        emit dirtyChanged(false);
}

} // namespace pv
