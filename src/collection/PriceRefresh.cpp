#include "collection/PriceRefresh.h"

#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/FallbackPrices.h"
#include "core/CardKeys.h"
#include "core/ClockTimer.h"
#include "core/Currency.h"
#include "core/FxRateFetcher.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "core/Pricing.h"

#include <QStringList>

#include <algorithm>
#include <map>
#include <utility>

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
// The log names at most so many cards that kept their prices in a run, and
// counts the rest.
constexpr int keptCardsLogged = 200;

int priceBatchInterval(qsizetype holdings)
{
    return int(priceBatchMs * std::max<qsizetype>(holdings, holdingsPerBatchStep) / holdingsPerBatchStep);
}

const QString pricesCategory = QStringLiteral("prices");

QString rateFigure(double rate)
{
    return QString::number(rate, 'f', 5);
}

// "1 USD = 0.92115 EUR of 30 Oct 2026"; without a date when it has none;
// "the built-in 1 USD = 0.86000 EUR" for the built-in rate.
QString ratePhrase(double rate, const QDate &date, bool builtIn = false)
{
    if (builtIn)
        return PriceRefresh::tr("the built-in 1 USD = %1 EUR").arg(rateFigure(rate));
    if (!date.isValid())
        return PriceRefresh::tr("1 USD = %1 EUR").arg(rateFigure(rate));
    return PriceRefresh::tr("1 USD = %1 EUR of %2").arg(rateFigure(rate), date.toString(QStringLiteral("d MMM yyyy")));
}

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

// A card or set of one language, told apart by the holding's own strings.
using LanguageAndId = std::pair<int, QString>;

// A set of the run, however the file, its holdings, the card database's
// answers or the fallback index spell it ("sv2a", "SV2a"): its record is
// found without regard to case, and so is its place in the run.
QString runSetKey(Language language, const QString &setId)
{
    return foldedSetKey(language, setId);
}

bool isSettling(int state)
{
    return state == PriceIndex::NotIndexed || state == PriceIndex::Pending;
}

} // namespace

PriceRefresh::PriceRefresh(Collection *collection, TcgdexClient *client, FallbackPrices *fallback, FxRateFetcher *rates,
                           QObject *parent)
    : QObject(parent)
    , m_collection(collection)
    , m_client(client)
    , m_fallback(fallback)
    , m_rates(rates)
{
    connect(m_client, &TcgdexClient::cardReady, this, &PriceRefresh::onCardPriced);
    connect(m_client, &TcgdexClient::requestFailed, this, &PriceRefresh::onCardRequestFailed);
    connect(m_fallback, &FallbackPrices::settled, this, &PriceRefresh::onFallbackSetIndexed);
    connect(m_rates, &FxRateFetcher::finished, this, &PriceRefresh::onRatesFetched);
    connect(m_rates, &FxRateFetcher::ratesRefused, this, [this](const QString &reason) {
        if (m_ratesPending)
            m_ratesRefusal = reason;
    });
    connect(m_rates, &FxRateFetcher::rateKeptAside, this, [this](const QString &code, double answered) {
        if (m_ratesPending && code == QLatin1String("EUR"))
            m_rateWaiting = answered;
    });
    connect(m_rates, &FxRateFetcher::rateMoved, this, [this](const FxRateFetcher::Move &move) {
        if (m_ratesPending && move.code == QLatin1String("EUR"))
            m_rateMove = move;
    });
    // Another document: nothing of this one's run may reach it.
    // (A run's kept cards go with the run.)
    connect(m_collection, &Collection::changed, this, [this](const Collection::Change &change) {
        if (!change.contentsReplaced())
            return;
        cancel();
        // Nor may anything its run said stay in view over the new one: its
        // summary is the old document's.
        emit statusChanged(QString(), 0);
        // What a refresh left of the old document's prices says nothing of the new one's.
        m_keptPrices.clear();
        clearOutcomeNote();
    });
}

PriceRefresh::~PriceRefresh() = default;

void PriceRefresh::clearQueue()
{
    m_queue.clear();
}

void PriceRefresh::startRun(bool fromCommand)
{
    m_running = true;
    m_runFromCommand = fromCommand;
    m_counts = Counts();
    m_counts.total = int(m_queue.size());
    m_runSetKeys.clear();
    m_handedSets.clear();
    m_setsAnswered = 0;
    m_setsLookedUp = 0;
    m_ratesKnown = FxRates::hasRate(QStringLiteral("EUR"));
    m_ratesFailed = false;
    m_ratesAsked = false;
    m_ratesRefusal.clear();
    m_rateWaiting = 0.0;
    m_rateMove.reset();
    m_runKept.clear();
    emit runStarted(fromCommand);
    reportProgress();
}

void PriceRefresh::dropRun()
{
    clearQueue();
    m_inFlight.clear();
    m_askedCards.clear();
    m_pendingSets.clear();
    m_ratesPending = false;
    m_waitingForFallback.clear();
    m_running = false;
}

void PriceRefresh::endRun()
{
    dropRun();
    releaseHeldChanges();
    emit runEnded();
}

void PriceRefresh::reportProgress()
{
    // The sets settle at TCGCSV's pace, a few a second, while the cards go
    // many times faster: counted as steps among the cards they would hardly
    // move the bar for the first part of the run.
    if (!m_pendingSets.isEmpty()) {
        emit progressChanged(Stage::FallbackSets, m_setsAnswered, m_setsLookedUp);
        return;
    }
    const int answered = m_counts.priced + m_counts.unpriced + m_counts.kept + m_counts.failed();
    emit progressChanged(Stage::Cards, answered, m_counts.total);
}

void PriceRefresh::updateStaleRates()
{
    // Dollar prices are converted as they are applied: every card of the run
    // waits for today's rates, so that all of them use the same. Rates the
    // service still dates as the stored ones were asked for once today.
    if (m_ratesPending || !FxRates::isDue())
        return;
    m_ratesPending = true;
    m_ratesAsked = true;
    m_rates->fetch();
}

void PriceRefresh::onRatesFetched(bool ok)
{
    if (!m_ratesPending)
        return;
    m_ratesPending = false;
    m_ratesFailed = !ok;
    // Without a rate ever fetched, the built-in one converts nothing stored.
    m_ratesKnown = FxRates::hasRate(QStringLiteral("EUR"));
    if (m_running)
        pump();
}

void PriceRefresh::refresh()
{
    if (m_running)
        return;
    if (m_collection->entries().isEmpty()) {
        emit statusChanged(tr("Nothing to refresh - the collection is empty."), 4000);
        return;
    }
    clearQueue();
    // Each card in the order of its first holding, read off the collection's
    // index; the holdings themselves when the index cannot tell.
    const QList<CardEntry> &entries = m_collection->entries();
    const Collection::HeldCards held = m_collection->heldCards();
    if (held.known) {
        m_queue.reserve(qsizetype(held.firstRows.size()));
        for (const int row : held.firstRows)
            m_queue.append({entries.at(row).lang, entries.at(row).cardId});
    } else {
        // The holdings' own strings are hashed: no key is built for each.
        QSet<LanguageAndId> seen;
        for (const CardEntry &entry : entries) {
            const LanguageAndId card{int(entry.lang), entry.cardId};
            if (seen.contains(card))
                continue;
            seen.insert(card);
            m_queue.append({entry.lang, entry.cardId});
        }
    }
    startRun(true);
    Log::info(pricesCategory, tr("Price refresh started: %n distinct card(s).", nullptr, m_counts.total));
    updateStaleRates();
    m_pendingSets.clear();
    settleFallbackSets(nullptr, &held);
}

void PriceRefresh::resolveFallbackSets()
{
    m_pendingSets.clear();
    settleFallbackSets(nullptr);
}

void PriceRefresh::queueCards(const QList<CardKey> &cards)
{
    if (cards.isEmpty())
        return;
    m_queue.append(cards);
    if (m_running) {
        m_counts.total += int(cards.size());
        reportProgress();
    } else {
        startRun(false);
        updateStaleRates();
    }
    // Priced as a refresh would price them: with their sets' fallback data.
    settleFallbackSets(&cards);
}

void PriceRefresh::settleFallbackSets(const QList<CardKey> *cards, const Collection::HeldCards *heldNow)
{
    // The sets of the holdings of the cards given, found through the
    // collection's index rather than by reading every holding; else of all.
    QList<CardKey> holdingSets;
    QSet<LanguageAndId> seen;
    const auto noteSet = [&holdingSets, &seen](const CardEntry &entry) {
        const LanguageAndId set{int(entry.lang), entry.setId};
        if (seen.contains(set))
            return;
        seen.insert(set);
        holdingSets.append({entry.lang, entry.setId});
    };
    const QList<CardEntry> &entries = m_collection->entries();
    if (cards) {
        for (const CardKey &card : *cards)
            for (const int row : m_collection->rowsOfCard(card.first, card.second))
                noteSet(entries.at(row));
    } else {
        // The sets of the cards' first holdings, in the order of those rows:
        // each set at its first row where a card's holdings name one set.
        // Where some set is named by none of those rows, the holdings tell.
        const Collection::HeldCards held = heldNow ? *heldNow : m_collection->heldCards();
        if (held.known)
            for (const int row : held.firstRows)
                noteSet(entries.at(row));
        if (!held.known || holdingSets.size() != held.sets) {
            holdingSets.clear();
            seen.clear();
            for (const CardEntry &entry : entries)
                noteSet(entry);
        }
    }
    QList<CardKey> sets;
    for (const auto &[language, setId] : std::as_const(holdingSets)) {
        const QString key = runSetKey(language, setId);
        if (m_runSetKeys.contains(key) && (!cards || m_pendingSets.contains(key)))
            continue;
        if (m_fallback->setRecord(language, setId).id.isEmpty())
            continue;
        m_runSetKeys.insert(key);
        // Cards added to the collection wait only for the sets that have not
        // settled yet; a refresh hands every set over.
        if (cards && !isSettling(m_fallback->state(language, setId)))
            continue;
        m_pendingSets.insert(key);
        m_handedSets.insert(key, {language, setId});
        sets.append({language, setId});
    }
    if (sets.isEmpty()) {
        pump();
        return;
    }
    const int count = int(sets.size());
    if (m_pendingSets.size() == count) { // a wait of its own, counted anew
        m_setsLookedUp = 0;
        m_setsAnswered = 0;
    }
    m_setsLookedUp += count;
    reportProgress();
    Log::info(pricesCategory, tr("Resolving TCGCSV fallback data for %n set(s).", nullptr, count));
    emit statusChanged(tr("Looking up fallback prices for %n set(s)...", nullptr, count), 0);
    // Every key is pending before the first set is handed over, so a set
    // that settles at once cannot end the phase early. A refresh asks again
    // for the sets whose look-up failed before.
    for (const CardKey &set : std::as_const(sets)) {
        if (cards)
            m_fallback->lookUpForRun(set.first, set.second);
        else
            m_fallback->lookUpAgain(set.first, set.second);
    }
}

void PriceRefresh::onFallbackSetIndexed(Language language, const QString &setId, bool ok)
{
    const QString code = languageCode(language);
    Log::debug(pricesCategory,
               QStringLiteral("Set %1/%2 fallback data: %3").arg(code, setId, m_fallback->statusText(language, setId)));
    if (!ok)
        Log::warn(pricesCategory, tr("No usable TCGCSV fallback for set %1/%2.").arg(code, setId));
    if (!m_running)
        return;
    repriceWithFallback(language, setId);
    if (m_pendingSets.remove(runSetKey(language, setId))) {
        ++m_setsAnswered;
        reportProgress();
    }
    if (!m_pendingSets.isEmpty())
        return;
    Log::info(pricesCategory, tr("Fallback data settled; fetching card prices."));
    emit statusChanged(QString(), 0);
    pump();
}

void PriceRefresh::repriceWithFallback(Language language, const QString &setId)
{
    // Cards that kept their values while their set's fallback data was being
    // looked up are priced as the run would price them now.
    const QList<WaitingCard> cards = m_waitingForFallback.take(runSetKey(language, setId));
    if (cards.isEmpty())
        return;
    int changed = 0;
    m_collection->beginBatch();
    for (const WaitingCard &waiting : cards) {
        const Outcome outcome = priceCard(language, waiting.card);
        if (outcome != waiting.outcome) {
            count(waiting.outcome, -1);
            count(outcome);
        }
        if (outcome != Outcome::Kept)
            ++changed;
    }
    m_collection->endBatch();
    if (changed > 0)
        Log::debug(pricesCategory,
                   QStringLiteral("Set %1/%2: %3 card(s) priced again with its fallback data.")
                       .arg(languageCode(language), setId)
                       .arg(changed));
}

PriceRefresh::Outcome PriceRefresh::priceCard(Language language, const CardDetail &card)
{
    const int state = m_fallback->state(language, card.setId);
    // The set's fallback prices could not be had in this run: its look-up
    // failed or is still going on. (A set without a record has none.)
    const bool fallbackMissing =
        (state == PriceIndex::Failed || isSettling(state)) && !m_fallback->setRecord(language, card.setId).id.isEmpty();
    const CardDetail merged = fallbackMissing ? card : m_fallback->withFallbackPrices(language, card);
    // One question a figure of a holding: did anything it reads fail in
    // this run? The euro value and the dollar figure are asked apart.
    QSet<QString> keptEur;
    QSet<QString> keptUsd;
    bool waitsForSet = false;
    bool eurForFallback = false;
    bool eurDisputed = false;
    // TCGCSV listed a printing of the card twice, differently, or another
    // group the set is priced from did not answer: what reads that
    // printing's figure keeps its own.
    const QJsonObject tcgcsv = merged.pricing.value(QLatin1String("tcgcsv")).toObject();
    const bool disputed = tcgcsv.contains(QLatin1String("disputed"));
    const bool unanswered = tcgcsv.contains(QLatin1String("unanswered"));
    if (fallbackMissing || !m_ratesKnown || disputed || unanswered) {
        // Holdings of one printing read the same: each printing is priced once.
        QSet<QString> printings;
        const QList<CardEntry> &entries = m_collection->entries();
        for (const int row : m_collection->rowsOfCard(language, card.id)) {
            const CardEntry &entry = entries.at(row);
            QString printing = printingKey(entry.variant, entry.edition);
            if (printings.contains(printing))
                continue;
            const PriceResult price = Pricing::priceFor(merged, entry.variant, entry.edition);
            const bool eurReadsFallback = (fallbackMissing && price.readsTcgcsv()) || price.readsUnanswered();
            const unsigned dollarsRead = Pricing::tcgplayerPriceReads(merged, entry.variant, entry.edition);
            const bool usdReadsFallback = (fallbackMissing && (dollarsRead & PriceResult::TcgcsvDollars) != 0)
                || (dollarsRead & PriceResult::UnansweredDollars) != 0;
            // A euro value converted from dollars needs a rate; the dollar
            // figure itself needs none and follows its own source.
            const bool forRate = !m_ratesKnown && price.convertsDollars();
            if (eurReadsFallback || forRate || price.readsDisputed())
                keptEur.insert(printing);
            if (usdReadsFallback || (dollarsRead & PriceResult::DisputedDollars) != 0)
                keptUsd.insert(printing);
            eurForFallback = eurForFallback || eurReadsFallback;
            eurDisputed = eurDisputed || price.readsDisputed();
            waitsForSet = waitsForSet || eurReadsFallback || usdReadsFallback;
            printings.insert(std::move(printing));
        }
    }
    // Asked before the answer replaces what it can.
    const bool hadPrice = !keptEur.isEmpty() && hasStoredPrice(language, card.id, keptEur);
    const bool priced = applyCardPrices(language, merged, keptEur, keptUsd);
    Outcome outcome = priced ? Outcome::Priced : Outcome::Unpriced;
    if (!keptEur.isEmpty()) {
        // A card with no figure stored kept nothing: it is left unpriced.
        if (hadPrice)
            outcome = Outcome::Kept;
        notePricesKept(language, card.id, keptEur, hadPrice,
                       eurForFallback    ? KeptBecause::FallbackPrices
                           : eurDisputed ? KeptBecause::DisputedPrice
                                         : KeptBecause::ExchangeRate);
    } else {
        m_keptPrices.remove(ownedCardKey(language, card.id));
        if (priced && priceCameFromTcgcsv(card, merged))
            ++m_counts.fallbackPriced;
    }
    // A group that failed gives nothing more in this run; one still looked
    // up prices the card again once it settles.
    if (waitsForSet && !m_fallback->groupFailure(language, card.setId))
        keepForFallback(language, card, outcome);
    return outcome;
}

void PriceRefresh::count(Outcome outcome, int by)
{
    switch (outcome) {
    case Outcome::Priced:
        m_counts.priced += by;
        break;
    case Outcome::Unpriced:
        m_counts.unpriced += by;
        break;
    case Outcome::Kept:
        m_counts.kept += by;
        break;
    }
}

bool PriceRefresh::applyCardPrices(Language language, const CardDetail &merged, const QSet<QString> &keptEur,
                                   const QSet<QString> &keptUsd)
{
    if (m_collection->applyPrices(language, merged.id, Pricing::priceMap(merged), Pricing::tcgplayerPriceMap(merged),
                                  keptEur, keptUsd)
        == 0)
        return false;
    emit collectionChangedOutsideUndo();
    const QList<CardEntry> &entries = m_collection->entries();
    const QList<int> rows = m_collection->rowsOfCard(language, merged.id);
    return std::any_of(rows.cbegin(), rows.cend(), [&entries](int row) {
        return entries.at(row).unitValueEur > 0.0 || entries.at(row).unitValueUsd > 0.0;
    });
}

void PriceRefresh::keepForFallback(Language language, const CardDetail &card, Outcome outcome)
{
    // Kept to be priced again when the set's fallback data settles: only
    // what pricing reads, one record a card.
    CardDetail kept;
    kept.id = card.id;
    kept.setId = card.setId;
    kept.localId = card.localId;
    kept.pricing = card.pricing;
    QList<WaitingCard> &waiting = m_waitingForFallback[runSetKey(language, card.setId)];
    const auto same = std::find_if(waiting.begin(), waiting.end(),
                                   [&card](const WaitingCard &other) { return other.card.id == card.id; });
    if (same != waiting.end())
        *same = {kept, outcome};
    else
        waiting.append({kept, outcome});
}

void PriceRefresh::notePricesKept(Language language, const QString &cardId, QSet<QString> printings, bool hadPrice,
                                  KeptBecause because, const QString &cardFailure)
{
    if (printings.isEmpty()) {
        const QList<CardEntry> &entries = m_collection->entries();
        for (const int row : m_collection->rowsOfCard(language, cardId))
            printings.insert(printingKey(entries.at(row).variant, entries.at(row).edition));
    }
    const QString key = ownedCardKey(language, cardId);
    m_runKept.insert(key);
    m_keptPrices.insert(key, {std::move(printings), because, cardFailure, hadPrice});
}

bool PriceRefresh::hasStoredPrice(Language language, const QString &cardId, const QSet<QString> &printings) const
{
    const QList<CardEntry> &entries = m_collection->entries();
    const QList<int> rows = m_collection->rowsOfCard(language, cardId);
    return std::any_of(rows.cbegin(), rows.cend(), [&](int row) {
        const CardEntry &entry = entries.at(row);
        return (printings.isEmpty() || printings.contains(printingKey(entry.variant, entry.edition)))
            && (entry.unitValueEur > 0.0 || entry.unitValueUsd > 0.0);
    });
}

int PriceRefresh::cardsKeptWithPrices(bool cancelling) const
{
    int cards = 0;
    for (const QString &key : std::as_const(m_runKept)) {
        const auto kept = m_keptPrices.constFind(key);
        if (kept != m_keptPrices.cend() && kept->hadPrice)
            ++cards;
    }
    if (!cancelling)
        return cards;
    QList<CardKey> notReached = m_queue;
    notReached.append(m_askedCards.values());
    QSet<QString> seen;
    for (const CardKey &card : std::as_const(notReached)) {
        const QString key = ownedCardKey(card.first, card.second);
        if (!m_runKept.contains(key) && !seen.contains(key) && hasStoredPrice(card.first, card.second, {})) {
            seen.insert(key);
            ++cards;
        }
    }
    return cards;
}

QString PriceRefresh::keptReasonOf(const CardEntry &entry) const
{
    const auto kept = m_keptPrices.constFind(ownedCardKey(entry.lang, entry.cardId));
    if (kept == m_keptPrices.cend() || !kept->printings.contains(printingKey(entry.variant, entry.edition)))
        return {};
    return keptBecauseText(kept->because, kept->cardFailure);
}

QString PriceRefresh::cardFailureText(ReplyFailure kind, const QString &message)
{
    switch (kind) {
    case ReplyFailure::NotReached:
        return tr("the card database could not be reached (%1)").arg(message);
    case ReplyFailure::HttpError:
        return tr("the card database answered with an error (%1)").arg(message);
    case ReplyFailure::Unusable:
    case ReplyFailure::Empty:
        return tr("the card database's answer was refused as data of the wrong shape (%1)").arg(message);
    }
    return {};
}

QString PriceRefresh::keptBecauseText(KeptBecause because, const QString &cardFailure)
{
    switch (because) {
    case KeptBecause::CardAnswer:
        if (!cardFailure.isEmpty())
            return cardFailure;
        return tr("its card could not be fetched from the card database");
    case KeptBecause::FallbackPrices:
        return tr("TCGCSV's prices for its set could not be fetched");
    case KeptBecause::ExchangeRate:
        return tr("no believable exchange rate for its dollar price could be fetched");
    case KeptBecause::DisputedPrice:
        return tr("TCGCSV listed no usable price for it");
    }
    return {};
}

void PriceRefresh::logKeptCards() const
{
    if (m_runKept.isEmpty())
        return;
    // In collection order, each card once, as the collection names it: the
    // name and set name of its first holding and the printings held. A card
    // priced again once its set settled is no longer kept.
    const QList<CardEntry> &entries = m_collection->entries();
    QHash<QString, QStringList> printingsOf;
    QList<const CardEntry *> cards;
    for (const CardEntry &entry : entries) {
        const QString key = ownedCardKey(entry.lang, entry.cardId);
        const auto kept = m_keptPrices.constFind(key);
        if (kept == m_keptPrices.cend() || !m_runKept.contains(key) || !kept->hadPrice
            || !kept->printings.contains(printingKey(entry.variant, entry.edition)))
            continue;
        QStringList &printings = printingsOf[key];
        if (printings.isEmpty())
            cards.append(&entry);
        const QString label = printingLabel(entry.variant, entry.edition);
        if (!printings.contains(label))
            printings.append(label);
    }
    for (const CardEntry *card : cards.mid(0, keptCardsLogged)) {
        const QString key = ownedCardKey(card->lang, card->cardId);
        const QString setName = m_collection->setInfo(card->lang, card->setId).name;
        Log::info(pricesCategory,
                  tr("%1 (%2, %3) kept its stored price: %4.")
                      .arg(card->name.isEmpty() ? card->cardId : card->name, setName.isEmpty() ? card->setId : setName,
                           printingsOf.value(key).join(QStringLiteral(" / ")),
                           keptBecauseText(m_keptPrices.value(key).because, m_keptPrices.value(key).cardFailure)));
    }
    if (cards.size() > keptCardsLogged)
        Log::info(pricesCategory,
                  tr("%n more card(s) kept their stored prices.", nullptr, int(cards.size() - keptCardsLogged)));
}

void PriceRefresh::pump()
{
    // Nothing is asked for while the run's rates or fallback sets are due.
    if (m_ratesPending || !m_pendingSets.isEmpty())
        return;
    while (!m_queue.isEmpty() && m_inFlight.size() < maxPriceRequests) {
        const CardKey card = m_queue.takeFirst();
        const int requestId = m_client->fetchCard(card.first, card.second, TcgdexClient::CacheUse::BypassDiskCache);
        m_inFlight.insert(requestId);
        m_askedCards.insert(requestId, card);
    }
    if (m_queue.isEmpty() && m_inFlight.isEmpty())
        finish();
}

void PriceRefresh::holdCollectionChanges()
{
    // A refresh answers card after card; the views follow in batches so that
    // a large collection is not redrawn for every answer.
    if (!m_running)
        return;
    if (!m_batchTimer) {
        m_batchTimer = new ClockTimer(priceBatchMs, this);
        connect(m_batchTimer, &ClockTimer::timeout, m_collection, &Collection::endBatch);
    }
    if (!m_batchTimer->isActive()) {
        m_batchTimer->setInterval(priceBatchInterval(m_collection->entries().size()));
        m_collection->beginBatch();
        m_batchTimer->start();
    }
}

void PriceRefresh::releaseHeldChanges()
{
    if (m_batchTimer && m_batchTimer->isActive()) {
        m_batchTimer->stop();
        m_collection->endBatch();
    }
}

void PriceRefresh::onCardPriced(int requestId, Language language, const CardDetail &card)
{
    // A figure no card sells for, or prices in another currency, make the
    // whole answer suspect: it is refused as one of the wrong shape is, and
    // the card keeps what it had.
    const QString problem = Pricing::pricingProblem(card.pricing);
    if (!problem.isEmpty()) {
        onCardRequestFailed(requestId, tr("card %1").arg(card.id), tr("Malformed response: %1").arg(problem),
                            ReplyFailure::Unusable);
        return;
    }
    holdCollectionChanges();
    if (m_collection->applyCardFacts(language, card.id, card.rarity, card.dexId) > 0)
        emit collectionChangedOutsideUndo();
    if (!m_inFlight.remove(requestId))
        return;
    m_askedCards.remove(requestId);
    count(priceCard(language, card));
    reportProgress();
    pump();
}

void PriceRefresh::onCardRequestFailed(int requestId, const QString &context, const QString &message, ReplyFailure kind)
{
    Log::warn(QStringLiteral("network"), QStringLiteral("#%1 %2 failed: %3").arg(requestId).arg(context, message));
    if (!m_inFlight.remove(requestId))
        return;
    const CardKey card = m_askedCards.take(requestId);
    notePricesKept(card.first, card.second, {}, hasStoredPrice(card.first, card.second, {}), KeptBecause::CardAnswer,
                   cardFailureText(kind, message));
    // A card the server answered was reached: it is named for what came.
    switch (kind) {
    case ReplyFailure::NotReached:
        ++m_counts.unreachable;
        break;
    case ReplyFailure::HttpError:
        ++m_counts.answeredError;
        break;
    case ReplyFailure::Unusable:
    case ReplyFailure::Empty: // the card database answers a card whole or not at all
        ++m_counts.unusable;
        break;
    }
    reportProgress();
    // Before the pump: when this was the run's last card, its summary must
    // be what the status bar keeps.
    emit statusChanged(tr("Could not load %1: %2").arg(context, message), 6000);
    pump();
}

QList<PriceRefresh::Sentence> PriceRefresh::summary() const
{
    const Counts &c = m_counts;
    QList<Sentence> text;
    const auto add = [&text](const QString &sentence, bool first) { text.append({sentence, first}); };
    if (c.failed() == 0 && c.unpriced == 0 && c.kept == 0) {
        add(tr("Priced %n card(s). Recorded this week's total.", nullptr, c.priced), false);
    } else {
        // The card database's failures, named once.
        QStringList failed;
        if (c.unreachable > 0)
            failed.append(tr("could not be reached for %1").arg(c.unreachable));
        if (c.answeredError > 0)
            failed.append(tr("answered %1 with an error").arg(c.answeredError));
        if (c.unusable > 0)
            failed.append(tr("answered %1 with data of the wrong shape").arg(c.unusable));
        QStringList missed;
        if (!failed.isEmpty()) {
            const QString last = failed.takeLast();
            missed.append(failed.isEmpty()
                              ? tr("the card database %1").arg(last)
                              : tr("the card database %1 and %2").arg(failed.join(QStringLiteral(", ")), last));
        }
        if (c.unpriced > 0)
            missed.append(tr("%1 came back without a price").arg(c.unpriced));
        if (c.kept > 0)
            missed.append(tr("%1 kept their stored prices").arg(c.kept));
        add(tr("Priced %1 of %2 cards; %3.").arg(c.priced).arg(c.total).arg(missed.join(QStringLiteral(", "))),
            c.failed() > 0);
        if (recordsWeek())
            add(tr("Recorded this week's total."), false);
    }
    if (c.fallbackPriced > 0)
        add(tr("%n of them came from TCGCSV's USD market prices.", nullptr, c.fallbackPriced), false);
    // Only the sets of this run: others the index settled for another file or
    // for browsing are no concern of this summary.
    int unresolved = 0;
    std::map<ReplyFailure, int> failedSets; // in the order of the kinds
    for (const QString &key : std::as_const(m_runSetKeys)) {
        const KeyParts set = parseSetKey(key);
        const int state = m_fallback->state(set.language, set.id);
        const std::optional<ReplyFailure> failure = m_fallback->groupFailure(set.language, set.id);
        if (failure)
            ++failedSets[*failure];
        else if (state == PriceIndex::NoGroup || state == PriceIndex::NoProducts)
            ++unresolved;
    }
    const auto failedSetsText = [](ReplyFailure kind, int sets) -> QString {
        switch (kind) {
        case ReplyFailure::NotReached:
            return tr("TCGCSV could not be reached for %n set(s); cards priced from TCGCSV kept their stored prices.",
                      nullptr, sets);
        case ReplyFailure::HttpError:
            return tr("TCGCSV answered with an error for %n set(s); cards priced from TCGCSV kept their stored "
                      "prices.",
                      nullptr, sets);
        case ReplyFailure::Unusable:
            return tr("TCGCSV answered with data of the wrong shape for %n set(s); cards priced from TCGCSV kept "
                      "their stored prices.",
                      nullptr, sets);
        case ReplyFailure::Empty:
            return tr("TCGCSV answered with no prices for %n set(s); cards priced from TCGCSV kept their stored "
                      "prices.",
                      nullptr, sets);
        }
        return {};
    };
    for (const auto &[kind, sets] : failedSets)
        add(failedSetsText(kind, sets), true);
    // The euro rate in use comes first, with what became of the service's
    // answer; why it was refused follows, after the counts where the whole
    // does not fit.
    const QString eur = QStringLiteral("EUR");
    double waiting = m_rateWaiting;
    // Not asked again today: the answer kept aside then still waits.
    if (!m_ratesAsked && !m_ratesKnown)
        waiting = FxRates::keptAside(eur).first;
    const QString inUse = ratePhrase(FxRates::usdToEur(), FxRates::lastRateDate(eur), !m_ratesKnown);
    if (waiting > 0.0)
        add(tr("Exchange rate kept at %1; the service's %2 waits for a later day's answer.")
                .arg(inUse, rateFigure(waiting)),
            true);
    else if (!m_ratesRefusal.isEmpty())
        add(tr("Exchange rate kept at %1; the service's answer was refused.").arg(inUse), true);
    if (m_rateMove) {
        add(tr("Exchange rate moved by %1% to %2, from %3.")
                .arg(m_rateMove->percentText(), ratePhrase(m_rateMove->to, m_rateMove->toDate),
                     ratePhrase(m_rateMove->from, m_rateMove->fromDate, m_rateMove->fromBuiltIn)),
            true);
    }
    // An answer that cannot be right is refused as an unreachable service
    // would be, and named.
    if (!m_ratesRefusal.isEmpty() && !m_ratesKnown)
        add(tr("The exchange rates were refused: %1; cards priced in dollars kept their stored prices.")
                .arg(m_ratesRefusal),
            false);
    else if (!m_ratesRefusal.isEmpty())
        add(tr("The exchange rates were refused: %1; cards priced in dollars were converted at the stored rate "
               "(1 USD = %2 EUR).")
                .arg(m_ratesRefusal, rateFigure(FxRates::usdToEur())),
            false);
    else if (!m_ratesKnown && waiting > 0.0)
        add(tr("Cards priced in dollars kept their stored prices."), false);
    else if (!m_ratesKnown)
        add(tr("The exchange rates could not be fetched; cards priced in dollars kept their stored prices."), true);
    else if (m_ratesFailed)
        add(tr("The exchange rates could not be updated; cards priced in dollars were converted at the stored rate "
               "(1 USD = %1 EUR).")
                .arg(rateFigure(FxRates::usdToEur())),
            true);
    if (unresolved > 0)
        add(tr("%n set(s) have no fallback prices available.", nullptr, unresolved), false);
    return text;
}

void PriceRefresh::finish()
{
    if (!m_running)
        return;
    // Whole in the log; where it does not fit whole, what failed is shown
    // before what went well.
    const QList<Sentence> sentences = summary();
    QStringList inOrder;
    QStringList shownFirst;
    for (const Sentence &sentence : sentences) {
        inOrder.append(sentence.text);
        if (sentence.first)
            shownFirst.append(sentence.text);
    }
    for (const Sentence &sentence : sentences) {
        if (!sentence.first)
            shownFirst.append(sentence.text);
    }
    const QString text = inOrder.join(QLatin1Char(' '));
    const bool valued = recordsWeek();
    const int keptCards = cardsKeptWithPrices(false);
    // The prices held back and the week recorded from them reach the views
    // as one change.
    m_collection->beginBatch();
    endRun();
    // Every card of the collection was asked for: what this run did not keep
    // is no longer held, or priced.
    if (m_runFromCommand) {
        for (auto it = m_keptPrices.begin(); it != m_keptPrices.end();)
            it = m_runKept.contains(it.key()) ? std::next(it) : m_keptPrices.erase(it);
    }
    logKeptCards();
    if (valued) {
        m_collection->recordValueSnapshot();
        emit collectionChangedOutsideUndo();
    }
    m_collection->endBatch();
    Log::info(pricesCategory, text);
    Log::info(pricesCategory,
              tr("Collection total after refresh: %1.").arg(Currency::formatFromEur(m_collection->totalValueEur())));
    emit statusChanged(text, 8000, shownFirst);
    noteOutcome(keptCards, text);
}

bool PriceRefresh::recordsWeek() const
{
    // A week is recorded from the values as they stand once the run priced
    // or kept a holding: answers without prices say nothing of the
    // collection's worth, and a source that failed took nothing from it.
    return m_counts.priced > 0 || m_counts.kept > 0;
}

bool PriceRefresh::sourceFailed() const
{
    if (m_counts.failed() > 0 || !m_ratesKnown || m_ratesFailed)
        return true;
    return std::any_of(m_runSetKeys.cbegin(), m_runSetKeys.cend(), [this](const QString &key) {
        const KeyParts set = parseSetKey(key);
        return m_fallback->groupFailure(set.language, set.id).has_value();
    });
}

void PriceRefresh::noteOutcome(int keptCards, const QString &summary)
{
    const bool failed = sourceFailed();
    // Added cards priced well leave what the last refresh left as it was.
    if (!m_runFromCommand && keptCards == 0 && !failed)
        return;
    if (m_runFromCommand)
        m_note = OutcomeNote();
    if (keptCards > 0 || failed) {
        m_note.keptCards += keptCards;
        m_note.sourceFailed = m_note.sourceFailed || failed;
        (m_runFromCommand ? m_note.summary : m_note.addedSummary) = summary;
    }
    emit outcomeNoteChanged();
}

void PriceRefresh::clearOutcomeNote()
{
    if (m_note.isEmpty())
        return;
    m_note = OutcomeNote();
    emit outcomeNoteChanged();
}

QString PriceRefresh::OutcomeNote::line() const
{
    if (keptCards > 0)
        return PriceRefresh::tr("%n card(s) kept older prices", nullptr, keptCards);
    if (sourceFailed)
        return PriceRefresh::tr("not every price source answered");
    return {};
}

void PriceRefresh::cancel()
{
    if (!m_running)
        return;
    for (const int requestId : std::as_const(m_inFlight))
        m_client->cancel(requestId);
    // The sets still being looked up for the run alone are let go: their
    // answers would keep the network and the window busy long after.
    for (const QString &key : std::as_const(m_pendingSets)) {
        const CardKey set = m_handedSets.value(key);
        m_fallback->dropLookUpForRun(set.first, set.second);
    }
    const Counts counts = m_counts;
    const int keptCards = cardsKeptWithPrices(true);
    endRun();
    const QString text = tr("Price refresh cancelled after %1 of %2 cards.").arg(counts.priced).arg(counts.total);
    logKeptCards();
    Log::info(pricesCategory, text);
    emit statusChanged(tr("Price refresh cancelled."), 4000);
    // The cards it did not get to keep what they had.
    noteOutcome(keptCards, text);
}

} // namespace pv
