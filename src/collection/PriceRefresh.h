#pragma once

#include "collection/Collection.h"
#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/FxRateFetcher.h"
#include "core/NetworkReplies.h"
#include "core/SetRecord.h"

#include <optional>

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

namespace pv {

class ClockTimer;
struct CardEntry;
class FallbackPrices;
class TcgdexClient;

// A price refresh of one collection, from its queue of distinct cards to
// its summary: it waits for stale exchange rates and for the fallback
// prices of the collection's sets, asks the card database for at most six
// cards at a time, applies each answer to the holdings and records the
// week's value point. What a run keeps (its queue, its requests, its sets,
// the cards answered before their set settled) is dropped when the run ends
// and when the collection's contents are replaced.
//
// A holding's stored figures are replaced only with ones worked out from
// sources that answered, each on its own: when its euro value reads
// (Pricing::priceFor) fallback prices that could not be had in this run
// (the look-up of its set failed or is still going on) or an exchange rate
// that was never fetched (none was stored, and the service failed or
// answered a rate beyond belief), it keeps that value, and the run counts
// its card as kept; when its dollar figure reads those fallback prices, it
// keeps that figure. A dollar figure needs no rate: without one, the euro
// value converted from it is kept and the figure itself follows its
// source, so the two no longer tell a rate. The log names the cards kept,
// and the document's holdings that kept their euro value can be told until
// a run prices them.
//
// It shows nothing itself: progress, status texts and the summary are
// reported through its signals.
class PriceRefresh : public QObject
{
    Q_OBJECT

public:
    using CardKey = QPair<Language, QString>;

    // What a run's progress counts: the fallback data of its sets, which the
    // cards wait for, then the cards.
    enum class Stage { FallbackSets, Cards };
    Q_ENUM(Stage)

    // What the run's answers came to. A card kept had a figure stored to
    // keep; one without is unpriced.
    struct Counts
    {
        int total = 0;          // cards queued
        int priced = 0;         // answers that priced a holding
        int unpriced = 0;       // answers that priced none
        int unreachable = 0;    // failed requests that reached no answer
        int answeredError = 0;  // answered with an HTTP error status
        int unusable = 0;       // answered with data of the wrong shape
        int kept = 0;           // answers whose holdings kept their stored values
        int fallbackPriced = 0; // priced from TCGCSV
        int failed() const { return unreachable + answeredError + unusable; }
    };

    // What stays to be said of the document's prices once a run's summary
    // has left the status bar: how many cards kept older prices (kept by
    // the run, not reached, or not asked before it was cancelled) and
    // whether a source failed. A refresh of the whole collection replaces
    // it; a run of added cards adds what it kept. Empty after a refresh
    // that kept nothing and met no failure, and once the collection holds
    // another document.
    struct OutcomeNote
    {
        int keptCards = 0;
        bool sourceFailed = false;
        QString summary;      // of the refresh
        QString addedSummary; // of the last run of added cards that kept values
        bool isEmpty() const { return keptCards == 0 && !sourceFailed; }
        // A short line for beside the prices' date; empty when the note is.
        QString line() const;
    };

    // Why a card kept its stored prices.
    enum class KeptBecause { CardAnswer, FallbackPrices, ExchangeRate, DisputedPrice };

    // One sentence of a run's summary, and whether it is shown first where
    // the whole does not fit: one naming a source that failed, or the
    // exchange rate in use when the service's answer waits or moved it far.
    struct Sentence
    {
        QString text;
        bool first = false;
    };

    // The services are borrowed and outlive the refresh.
    PriceRefresh(Collection *collection, TcgdexClient *client, FallbackPrices *fallback, FxRateFetcher *rates,
                 QObject *parent = nullptr);
    ~PriceRefresh() override;

    bool isRunning() const { return m_running; }
    const QList<CardKey> &queue() const { return m_queue; }
    const QSet<int> &requestsInFlight() const { return m_inFlight; }
    const QSet<QString> &pendingFallbackSets() const { return m_pendingSets; }
    const Counts &counts() const { return m_counts; }
    const OutcomeNote &outcomeNote() const { return m_note; }
    // Says why the last run that reached the holding's card kept the euro
    // value of its printing, to follow "because" or a colon; empty when it
    // did not, or the collection has held another document since.
    QString keptReasonOf(const CardEntry &entry) const;
    // Says why, to follow "because" or a colon; a failed card answer is
    // told by its own failure text (cardFailureText) when given.
    static QString keptBecauseText(KeptBecause because, const QString &cardFailure = QString());
    // What became of a card asked of the card database that gave no card:
    // not reached, an error, or an answer refused, with the client's
    // message; to follow a colon.
    static QString cardFailureText(ReplyFailure kind, const QString &message);

    // Refreshes every card of the collection; nothing while a run goes on.
    void refresh();
    // The start's fallback phase: every set of the collection with a record
    // is handed to the index, and the cards wait until all have settled.
    void resolveFallbackSets();
    // Cards just added join a running refresh, or start a run of their own.
    void queueCards(const QList<CardKey> &cards);
    void cancel();
    void clearQueue();
    // Sends what the queue and the free slots allow; finishes the run when
    // nothing is left.
    void pump();
    // Ends the run with its summary and the week's value point.
    void finish();
    // Lets the answers held back for the views go out now.
    void releaseHeldChanges();

    // What the sources deliver, connected for the refresh's whole life.
    void onCardPriced(int requestId, pv::Language language, const pv::CardDetail &card);
    void onCardRequestFailed(int requestId, const QString &context, const QString &message, pv::ReplyFailure kind);
    void onFallbackSetIndexed(pv::Language language, const QString &setId, bool ok);

Q_SIGNALS:
    // fromCommand: a refresh of the whole collection rather than added cards.
    void runStarted(bool fromCommand);
    // Of the stage's steps, so many are done.
    void progressChanged(pv::PriceRefresh::Stage stage, int value, int maximum);
    void runEnded();
    // A status-bar text; 0 ms: until replaced. An empty text clears the
    // last one given, if it still shows. A summary gives its sentences in
    // the order to show them where the whole does not fit: those naming a
    // source that failed first.
    void statusChanged(const QString &text, int timeoutMs, const QStringList &shownFirst = QStringList());
    // Fetched data changed the collection, outside the undo stack.
    void collectionChangedOutsideUndo();
    void outcomeNoteChanged();

private:
    void startRun(bool fromCommand);
    void endRun();
    void updateStaleRates();
    void onRatesFetched(bool ok);
    // Hands the sets of the holdings of the given cards (all of them when
    // none are given, read off the held cards when those are) to the
    // fallback price index; the run's cards wait for those still to settle.
    // Cards added wait only for sets that have not settled yet.
    void settleFallbackSets(const QList<CardKey> *cards, const Collection::HeldCards *held = nullptr);
    void repriceWithFallback(Language language, const QString &setId);
    enum class Outcome { Priced, Unpriced, Kept };
    // Applies a card's prices to the figures of its holdings that the
    // sources that answered can tell; the others keep theirs.
    Outcome priceCard(Language language, const CardDetail &card);
    // Applies a card's prices; true when a holding of it now has a price.
    bool applyCardPrices(Language language, const CardDetail &merged, const QSet<QString> &keptEur,
                         const QSet<QString> &keptUsd);
    void keepForFallback(Language language, const CardDetail &card, Outcome outcome);
    // Notes the printings of a card whose euro values the run kept; none:
    // every printing held.
    void notePricesKept(Language language, const QString &cardId, QSet<QString> printings, bool hadPrice,
                        KeptBecause because, const QString &cardFailure = QString());
    // Names the run's cards that keep their stored prices, a line each.
    void logKeptCards() const;
    void count(Outcome outcome, int by = 1);
    void reportProgress();
    void holdCollectionChanges();
    void dropRun();
    QList<Sentence> summary() const;
    bool recordsWeek() const;
    // Whether a source of the run failed: cards, TCGCSV, exchange rates.
    bool sourceFailed() const;
    void noteOutcome(int keptCards, const QString &summary);
    // Whether a holding of the card, of the printings given (any when none
    // are), has a figure stored.
    bool hasStoredPrice(Language language, const QString &cardId, const QSet<QString> &printings) const;
    // The cards the run kept that had figures stored to keep; when
    // cancelling, with the cards it did not get to.
    int cardsKeptWithPrices(bool cancelling) const;
    void clearOutcomeNote();

    Collection *m_collection = nullptr;
    TcgdexClient *m_client = nullptr;
    FallbackPrices *m_fallback = nullptr;
    FxRateFetcher *m_rates = nullptr;

    bool m_running = false;
    bool m_runFromCommand = false;
    OutcomeNote m_note;
    QList<CardKey> m_queue;
    QSet<int> m_inFlight;
    QSet<QString> m_pendingSets;
    // By set key: each set the run handed over for its fallback data, as
    // spelt then.
    QHash<QString, CardKey> m_handedSets;
    Counts m_counts;
    bool m_ratesPending = false; // the run waits for the rates fetch it started
    bool m_ratesAsked = false;   // the run started a rates fetch
    bool m_ratesKnown = true;    // a rate fetched now or stored from a fetch
    bool m_ratesFailed = false;  // the run's rates fetch failed or was refused
    QString m_ratesRefusal;      // why the answer to the run's rates fetch was refused
    double m_rateWaiting = 0.0;  // the euro rate the run's fetch kept aside, 0 for none
    std::optional<FxRateFetcher::Move> m_rateMove; // the euro rate's notable move by the run's fetch
    // Set keys of the sets here and in m_pendingSets and m_waitingForFallback
    // are in lower case: a set is one however it is spelt.
    QSet<QString> m_runSetKeys;  // set keys of the run's cards that have a record
    int m_setsLookedUp = 0;      // sets the run waits for, since it last waited for none
    int m_setsAnswered = 0;      // of those, the ones settled
    // By set key: cards that kept stored figures while their set's fallback
    // data was being looked up, priced again when it settles during the run,
    // with what they came to.
    struct WaitingCard
    {
        CardDetail card;
        Outcome outcome;
    };
    QHash<QString, QList<WaitingCard>> m_waitingForFallback;
    QHash<int, CardKey> m_askedCards; // the card of each request in flight
    // What kept its euro value, by owned-card key: the document's, as the
    // last run that reached each card left it.
    struct KeptPrices
    {
        QSet<QString> printings; // printingKey
        KeptBecause because = KeptBecause::CardAnswer;
        QString cardFailure; // cardFailureText, for a card answer that failed
        bool hadPrice = false; // a holding kept had a figure stored
    };
    QHash<QString, KeptPrices> m_keptPrices;
    QSet<QString> m_runKept;            // owned-card keys the run kept
    ClockTimer *m_batchTimer = nullptr; // while running: changes held until it fires
};

} // namespace pv
