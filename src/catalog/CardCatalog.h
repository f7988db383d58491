#pragma once

#include "catalog/CatalogQuery.h"
#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"
#include "catalog/LanguageCatalog.h"
#include "core/CardBrief.h"
#include "core/SerieBrief.h"
#include "core/SerieDetail.h"
#include "core/SetBrief.h"
#include "core/CardVocabulary.h"
#include "core/SetRecord.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>

#include <map>
#include <vector>

namespace pv {

class TcgdexClient;

// Every series, set and card the card database offers in a language, built
// from the cache file or rebuilt from the card database, then completed by
// two background passes: the cards' rarities and their printings. A cached
// catalog older than a day is rebuilt.
class CardCatalog : public QObject
{
    Q_OBJECT
public:
    explicit CardCatalog(TcgdexClient *client, QObject *parent = nullptr);
    // Withdraws the requests of the rebuild and passes still running.
    ~CardCatalog() override;

    // Reads the language's cache once, then rebuilds a stale catalog or starts
    // the passes of a fresh one.
    void ensureLoaded(Language language);
    // Starts a rebuild unless one runs or there is no client.
    void refresh(Language language);
    // Indexes every held catalog again (after the name translation switched).
    void reindex();
    void setSetReleaseDate(Language language, const QString &setId, const QDate &date);

    CatalogState state(Language language) const;
    bool isRefreshing(Language language) const;
    bool isResolvingRarities(Language language) const;
    bool hasRarities(Language language) const;
    QStringList rarities(Language language) const;
    QString statusText(Language language) const;
    const LanguageCatalog *catalog(Language language) const;

    // The card's printings as a variants map over the four standard keys;
    // empty while its printings are unresolved.
    static QHash<QString, bool> printingsOf(const CatalogCard &card);
    // The finishes to offer for a card, errata applied; empty when nothing is
    // known of its printings.
    QStringList availablePrintings(Language language, const QString &cardId) const;

    // Queries; all give empty results while the language has no catalog. The
    // pointers stay valid until the language's catalog next changes.
    CatalogSearchResult search(Language language, const CatalogQuery &query, int limit) const;
    const CatalogCard *cardById(Language language, const QString &cardId) const;
    QList<CatalogCard> cardsInSet(Language language, const QString &setId) const;
    const CatalogSet *setById(Language language, const QString &setId) const;
    QList<CatalogSet> setsOfSeries(Language language, const QString &serieId) const;
    QList<SerieBrief> series(Language language) const;
    SetRecord setSummary(Language language, const QString &setId) const;

Q_SIGNALS:
    void languageLoaded(pv::Language language, bool fromDisk);
    void refreshStarted(pv::Language language);
    void refreshProgress(pv::Language language, int done, int total);
    void refreshFinished(pv::Language language, bool ok, const QString &message);
    // changed: the pass named some card's rarity otherwise than the catalog
    // did (or listed other rarities); a pass that found everything as it was
    // has nothing new to fill in or show.
    void raritiesLoaded(pv::Language language, bool changed = true);
    void variantsLoaded(pv::Language language);

private:
    struct RebuildJob
    {
        bool setsReceived = false;
        bool seriesReceived = false;
        bool cardsReceived = false;
        int setIndexRequestId = 0;
        int seriesIndexRequestId = 0;
        int cardIndexRequestId = 0;
        QHash<int, QString> pendingSerieDetails; // kept after the reply
        int serieDetailsExpected = 0;
        int serieDetailsDone = 0;
        bool provisionalPublished = false;
        QList<SetBrief> sets;
        QList<SerieBrief> series;
        QHash<QString, QString> setSerie;
        QList<CardBrief> cards;
    };

    struct RarityJob
    {
        int listRequestId = 0;
        QHash<int, QString> pending;
        QStringList rarities;
        int total = 0;
        int done = 0;
        // The cards each rarity's answer listed, in the order the answers came.
        QList<QPair<QString, QList<CardBrief>>> answers;
        // Every answer in: the cards are being matched to them apart.
        bool matching = false;
        int serial = 0;
    };

    struct PrintingJob
    {
        QHash<int, QString> pending;
        int total = 0;
        int done = 0;
        QHash<QString, int> cardMask;
    };

    void cancelRequests(const RebuildJob &job);
    void cancelRequests(const RarityJob &job);
    void cancelRequests(const PrintingJob &job);
    LanguageCatalog *mutableCatalog(Language language);
    QString cachePath(Language language) const;
    void saveCache(Language language);
    // Writes the cache file on a worker thread, then runs done; a later
    // saveCache waits for the write first.
    void saveCacheApart(Language language, std::function<void()> done);
    void indexCatalog(LanguageCatalog &catalog, Language language);
    void applyErrata(LanguageCatalog &catalog, Language language);
    QList<CatalogSet> catalogSets(const RebuildJob &job) const;
    void emitProgress(Language language, const RebuildJob &job);
    QString shrinkProblem(Language language, const RebuildJob &job) const;
    void advanceRebuild(Language language);
    void finishRebuild(Language language);
    void abortRebuild(Language language, const QString &message);
    void startRarityPass(Language language);
    void finishRarityPass(Language language);
    // Names the cards matched (a copy of the catalog's) as the answers do:
    // answerOf gives the answer (its place among the pass's answers) naming
    // each card, by the card's place; -1 where none does.
    void applyRarities(Language language, int serial, QList<CatalogCard> &matched,
                       QList<QPair<QString, QList<CardBrief>>> &answers, const std::vector<qsizetype> &answerOf);
    void abortRarityPass(Language language, const QString &message);
    void startPrintingPass(Language language);
    void finishPrintingPass(Language language);
    void abortPrintingPass(Language language, const QString &message);
    bool rebuildLanguageForRequest(int requestId, Language *language) const;
    bool rarityLanguageForRequest(int requestId, Language *language) const;

    void onSetIndexReady(int requestId, pv::Language language, const QList<pv::SetBrief> &sets);
    void onSeriesIndexReady(int requestId, pv::Language language, const QList<pv::SerieBrief> &series);
    void onSerieDetailReady(int requestId, pv::Language language, const pv::SerieDetail &detail);
    void onCardIndexReady(int requestId, pv::Language language, const QList<pv::CardBrief> &cards);
    void onRarityListReady(int requestId, pv::Language language, const QStringList &rarities);
    void onCardsByRarityReady(int requestId, pv::Language language, const QString &rarity,
                              const QList<pv::CardBrief> &cards);
    void onCardsByVariantReady(int requestId, pv::Language language, const QString &variant,
                               const QList<pv::CardBrief> &cards);
    void onRequestFailed(int requestId, const QString &context, const QString &message);

    // Not owned; the client may go first when both end with their owner.
    QPointer<TcgdexClient> m_client;
    // A map, so that catalog() pointers stay valid when the other language arrives.
    std::map<Language, LanguageCatalog> m_catalogs;
    QHash<Language, RebuildJob> m_rebuildJobs;
    QHash<Language, RarityJob> m_rarityJobs;
    int m_rarityPasses = 0;
    // Matches the cards to a finished pass's answers off the window's
    // thread; waited for by the destructor.
    QThreadPool m_rarityMatcher;
    // Writes the cache files saveCacheApart hands it, in order; waited for
    // by the destructor.
    QThreadPool m_cacheWriter;
    QHash<Language, PrintingJob> m_printingJobs;
    QHash<Language, bool> m_loaded;
    QHash<Language, CatalogState> m_states;
    // Languages whose catalog holds what its cache file does not (a release
    // date set since, or a write that failed).
    QSet<Language> m_unsaved;
};

} // namespace pv
