// The price refresh and what the card database and the exchange-rate
// service deliver to the window.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "core/CardDetail.h"
#include "core/CardKeys.h"
#include "core/ClockTimer.h"
#include "core/Currency.h"
#include "core/FxRateFetcher.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "core/Pricing.h"
#include "prices/PriceIndex.h"
#include "ui_MainWindow.h"

#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>

namespace pv {

namespace {

constexpr int maxPriceRequests = 6;
// While a refresh runs, the views follow its answers at most this often
// instead of once per card. Each time they follow, the tree passes over all
// of its expanded rows: a larger collection is followed less often, one more
// step for every so many holdings, so that this costs the same per card
// priced at any size.
constexpr int priceBatchMs = 250;
constexpr qsizetype holdingsPerBatchStep = 12500;

int priceBatchInterval(qsizetype holdings)
{
    return int(priceBatchMs * std::max<qsizetype>(holdings, holdingsPerBatchStep) / holdingsPerBatchStep);
}

const QString pricesCategory = QStringLiteral("prices");

// The price counts as TCGCSV's when the card database had no price of its own
// for any printing, the merged card carries a "tcgcsv" block and that block
// prices at least one printing.
bool priceCameFromTcgcsv(const CardDetail &delivered, const CardDetail &merged)
{
    if (!merged.pricing.contains(QStringLiteral("tcgcsv")))
        return false;
    const QStringList finishes = allFinishes();
    const QStringList editions = allEditions();
    for (const QString &finish : finishes) {
        for (const QString &edition : editions) {
            if (Pricing::cardmarketPrice(delivered, finish, edition) > 0.0
                || Pricing::tcgplayerPrice(delivered, finish, edition) > 0.0)
                return false;
        }
    }
    for (const QString &finish : finishes) {
        for (const QString &edition : editions) {
            if (Pricing::priceValue(merged, finish, edition) > 0.0)
                return true;
        }
    }
    return false;
}

} // namespace

bool MainWindow::isPriceRefreshRunning() const
{
    return priceRefreshRunning;
}

void MainWindow::clearPriceRefreshQueue()
{
    priceQueue.clear();
}

void MainWindow::startPriceRun(bool fromCommand)
{
    priceRefreshRunning = true;
    priceRefreshTotal = priceQueue.size();
    pricedCount = 0;
    failedCount = 0;
    malformedCount = 0;
    fallbackPricedCount = 0;
    m_runSetKeys.clear();
    m_refreshProgress->setRange(0, priceRefreshTotal);
    m_refreshProgress->setValue(0);
    m_refreshProgress->show();
    m_cancelRefreshButton->show();
    if (fromCommand)
        ui->actionRefreshPrices->setEnabled(false);
}

void MainWindow::updateStaleRates()
{
    // Dollar prices are converted as they are applied: every card of the run
    // waits for today's rates, so that all of them use the same.
    if (m_ratesPending || !FxRates::isStale())
        return;
    m_ratesPending = true;
    m_fxFetcher->fetch();
}

void MainWindow::refreshPrices()
{
    if (priceRefreshRunning)
        return;
    if (m_collection->entries().isEmpty()) {
        showStatus(tr("Nothing to refresh - the collection is empty."), 4000);
        return;
    }
    clearPriceRefreshQueue();
    QSet<QString> seen;
    for (const CardEntry &entry : m_collection->entries()) {
        const QString key = ownedCardKey(entry.lang, entry.cardId);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        priceQueue.append({entry.lang, entry.cardId});
    }
    startPriceRun(true);
    Log::info(pricesCategory, tr("Price refresh started: %n distinct card(s).", nullptr, priceRefreshTotal));
    updateStaleRates();
    resolveFallbackSets();
}

void MainWindow::resolveFallbackSets()
{
    pendingFallbackSets.clear();
    settleFallbackSets(nullptr);
}

void MainWindow::settleFallbackSets(const QSet<QString> *cardKeys)
{
    QList<SetRecord> records;
    for (const CardEntry &entry : m_collection->entries()) {
        if (cardKeys && !cardKeys->contains(ownedCardKey(entry.lang, entry.cardId)))
            continue;
        // Only sets the collection has a record of: a bare set id gives the
        // matcher nothing to go on.
        if (!m_collection->hasSet(entry.lang, entry.setId))
            continue;
        const SetRecord record = m_collection->setInfo(entry.lang, entry.setId);
        if (record.id.isEmpty())
            continue;
        const QString key = setKey(entry.lang, record.id);
        if (m_runSetKeys.contains(key) && (!cardKeys || pendingFallbackSets.contains(key)))
            continue;
        m_runSetKeys.insert(key);
        // Cards added to the collection wait only for the sets that have not
        // settled yet; a refresh hands every set over.
        if (cardKeys && !isSettling(m_priceIndex->setState(entry.lang, record.id)))
            continue;
        pendingFallbackSets.insert(key);
        records.append(record);
    }
    if (records.isEmpty()) {
        pumpPriceRequests();
        return;
    }
    const int sets = int(records.size());
    Log::info(pricesCategory, tr("Resolving TCGCSV fallback data for %n set(s).", nullptr, sets));
    statusBar()->showMessage(tr("Looking up fallback prices for %n set(s)...", nullptr, sets));
    // Every key is pending before the first set is handed over, so a set
    // that settles at once cannot end the phase early.
    for (const SetRecord &record : std::as_const(records))
        m_priceIndex->indexSet(record);
}

void MainWindow::onFallbackSetIndexed(Language language, const QString &setId, bool ok)
{
    const QString code = languageCode(language);
    Log::debug(pricesCategory, QStringLiteral("Set %1/%2 fallback data: %3")
                                   .arg(code, setId, m_priceIndex->statusText(language, setId)));
    if (!ok)
        Log::warn(pricesCategory, tr("No usable TCGCSV fallback for set %1/%2.").arg(code, setId));
    repriceWithFallback(language, setId);
    if (!priceRefreshRunning)
        return;
    pendingFallbackSets.remove(setKey(language, setId));
    if (!pendingFallbackSets.isEmpty())
        return;
    Log::info(pricesCategory, tr("Fallback data settled; fetching card prices."));
    statusBar()->clearMessage();
    pumpPriceRequests();
}

bool MainWindow::isSettling(int state)
{
    return state == PriceIndex::NotIndexed || state == PriceIndex::Pending;
}

void MainWindow::repriceWithFallback(Language language, const QString &setId)
{
    // Holdings priced before their set's fallback data settled are priced
    // again from the records they were priced from, as a refresh would now.
    const QList<CardDetail> cards = m_pricedWithoutFallback.take(setKey(language, setId));
    if (cards.isEmpty())
        return;
    int changed = 0;
    m_collection->beginBatch();
    for (const CardDetail &card : cards) {
        const CardDetail merged = m_priceIndex->withFallbackPrices(language, card);
        if (merged.pricing.contains(QStringLiteral("tcgcsv")))
            changed += applyCardPrices(language, merged);
    }
    m_collection->endBatch();
    if (changed > 0)
        Log::debug(pricesCategory,
                   QStringLiteral("Set %1/%2: %3 holding(s) priced again with its fallback data.")
                       .arg(languageCode(language), setId)
                       .arg(changed));
}

int MainWindow::applyCardPrices(Language language, const CardDetail &merged)
{
    const int changed =
        m_collection->applyPrices(language, merged.id, Pricing::priceMap(merged), Pricing::tcgplayerPriceMap(merged));
    if (changed > 0)
        changedOutsideUndo = true;
    return changed;
}

void MainWindow::pumpPriceRequests()
{
    // Nothing is asked for while the run's rates or fallback sets are due.
    if (m_ratesPending || !pendingFallbackSets.isEmpty())
        return;
    while (!priceQueue.isEmpty() && priceRequestsInFlight.size() < maxPriceRequests) {
        const QPair<Language, QString> card = priceQueue.takeFirst();
        priceRequestsInFlight.insert(
            m_client->fetchCard(card.first, card.second, TcgdexClient::CacheUse::BypassDiskCache));
    }
    if (priceQueue.isEmpty() && priceRequestsInFlight.isEmpty())
        finishPriceRefresh();
}

void MainWindow::queueCardPrices(const QList<QPair<Language, QString>> &cards)
{
    if (cards.isEmpty())
        return;
    priceQueue.append(cards);
    if (priceRefreshRunning) {
        priceRefreshTotal += int(cards.size());
        m_refreshProgress->setMaximum(priceRefreshTotal);
    } else {
        startPriceRun(false);
        updateStaleRates();
    }
    // Priced as a refresh would price them: with their sets' fallback data.
    QSet<QString> cardKeys;
    for (const QPair<Language, QString> &card : cards)
        cardKeys.insert(ownedCardKey(card.first, card.second));
    settleFallbackSets(&cardKeys);
}

void MainWindow::holdCollectionChanges()
{
    // A refresh answers card after card; the views follow in batches so that
    // a large collection is not redrawn for every answer.
    if (!priceRefreshRunning)
        return;
    if (!m_priceBatchTimer) {
        m_priceBatchTimer = new ClockTimer(priceBatchMs, this);
        connect(m_priceBatchTimer, &ClockTimer::timeout, m_collection, &Collection::endBatch);
    }
    if (!m_priceBatchTimer->isActive()) {
        m_priceBatchTimer->setInterval(priceBatchInterval(m_collection->entries().size()));
        m_collection->beginBatch();
        m_priceBatchTimer->start();
    }
}

void MainWindow::releaseHeldChanges()
{
    if (m_priceBatchTimer && m_priceBatchTimer->isActive()) {
        m_priceBatchTimer->stop();
        m_collection->endBatch();
    }
}

void MainWindow::endPriceRun()
{
    priceRefreshRunning = false;
    releaseHeldChanges();
    m_refreshProgress->hide();
    m_cancelRefreshButton->hide();
    ui->actionRefreshPrices->setEnabled(!m_collection->entries().isEmpty());
}

void MainWindow::onCardPriced(int requestId, Language language, const CardDetail &card)
{
    holdCollectionChanges();
    if (m_collection->applyCardFacts(language, card.id, card.rarity, card.dexId) > 0)
        changedOutsideUndo = true;
    if (!priceRequestsInFlight.remove(requestId))
        return;
    const CardDetail merged = m_priceIndex->withFallbackPrices(language, card);
    if (priceCameFromTcgcsv(card, merged))
        ++fallbackPricedCount;
    applyCardPrices(language, merged);
    if (isSettling(m_priceIndex->setState(language, card.setId))) {
        // Kept to be priced again when the set's fallback data settles:
        // only what pricing reads.
        CardDetail kept;
        kept.id = card.id;
        kept.setId = card.setId;
        kept.localId = card.localId;
        kept.pricing = card.pricing;
        // One record a card, however many runs price it before its set
        // settles (a set without a record may never do).
        QList<CardDetail> &waiting = m_pricedWithoutFallback[setKey(language, card.setId)];
        const auto same = std::find_if(waiting.begin(), waiting.end(),
                                       [&card](const CardDetail &other) { return other.id == card.id; });
        if (same != waiting.end())
            *same = kept;
        else
            waiting.append(kept);
    }
    ++pricedCount;
    m_refreshProgress->setValue(pricedCount + failedCount);
    pumpPriceRequests();
}

void MainWindow::onCardRequestFailed(int requestId, const QString &context, const QString &message, ReplyFailure kind)
{
    Log::warn(QStringLiteral("network"), QStringLiteral("#%1 %2 failed: %3").arg(requestId).arg(context, message));
    if (!priceRequestsInFlight.remove(requestId))
        return;
    ++failedCount;
    if (kind == ReplyFailure::Unusable)
        ++malformedCount;
    m_refreshProgress->setValue(pricedCount + failedCount);
    // Before the pump: when this was the run's last card, its summary must
    // be what the status bar keeps.
    showStatus(tr("Could not load %1: %2").arg(context, message), 6000);
    pumpPriceRequests();
}

void MainWindow::finishPriceRefresh()
{
    if (!priceRefreshRunning)
        return;
    endPriceRun();
    if (pricedCount > 0) {
        m_collection->recordValueSnapshot();
        changedOutsideUndo = true;
    }
    // A card that came back malformed was reached; it is named for what it was.
    const int unreachable = failedCount - malformedCount;
    QString summary;
    if (failedCount == 0)
        summary = tr("Priced %n card(s). Recorded this week's total.", nullptr, pricedCount);
    else if (malformedCount == 0)
        summary = tr("Priced %1 of %2 cards; %3 could not be reached.")
                      .arg(pricedCount)
                      .arg(priceRefreshTotal)
                      .arg(unreachable);
    else if (unreachable == 0)
        summary = tr("Priced %1 of %2 cards; %3 answered with data of the wrong shape.")
                      .arg(pricedCount)
                      .arg(priceRefreshTotal)
                      .arg(malformedCount);
    else
        summary = tr("Priced %1 of %2 cards; %3 could not be reached, %4 answered with data of the wrong shape.")
                      .arg(pricedCount)
                      .arg(priceRefreshTotal)
                      .arg(unreachable)
                      .arg(malformedCount);
    if (fallbackPricedCount > 0)
        summary += QLatin1Char(' ')
                   + tr("%n of them came from TCGCSV's USD market prices.", nullptr, fallbackPricedCount);
    // Only the sets of this run: others the index settled for another file or
    // for browsing are no concern of this summary.
    int unresolved = 0;
    for (const QString &key : std::as_const(m_runSetKeys)) {
        const KeyParts set = parseSetKey(key);
        const int state = m_priceIndex->setState(set.language, set.id);
        if (state == PriceIndex::NoGroup || state == PriceIndex::NoProducts)
            ++unresolved;
    }
    if (unresolved > 0)
        summary += QLatin1Char(' ') + tr("%n set(s) have no fallback prices available.", nullptr, unresolved);
    Log::info(pricesCategory, summary);
    Log::info(pricesCategory,
              tr("Collection total after refresh: %1.").arg(Currency::formatFromEur(m_collection->totalValueEur())));
    showStatus(summary, 8000);
}

void MainWindow::cancelPriceRefresh()
{
    if (!priceRefreshRunning)
        return;
    clearPriceRefreshQueue();
    for (const int requestId : std::as_const(priceRequestsInFlight))
        m_client->cancel(requestId);
    priceRequestsInFlight.clear();
    pendingFallbackSets.clear();
    m_ratesPending = false;
    endPriceRun();
    Log::info(pricesCategory,
              tr("Price refresh cancelled after %1 of %2 cards.").arg(pricedCount).arg(priceRefreshTotal));
    showStatus(tr("Price refresh cancelled."), 4000);
}

void MainWindow::onRatesFetched(bool ok)
{
    if (!ok) {
        Log::warn(QStringLiteral("fx"),
                  tr("Conversion rates could not be updated; the stored ones stay in use (1 USD = %1 EUR).")
                      .arg(FxRates::usdToEur(), 0, 'f', 5));
    } else {
        Log::info(QStringLiteral("fx"),
                  tr("Conversion rates updated (%1): 1 USD = %2 EUR.")
                      .arg(FxRates::storedDate().toString(Qt::ISODate))
                      .arg(FxRates::usdToEur(), 0, 'f', 5));
        Currency::reload();
        refreshValueDisplays();
    }
    if (m_ratesPending) {
        m_ratesPending = false;
        if (priceRefreshRunning)
            pumpPriceRequests();
    }
}

} // namespace pv
