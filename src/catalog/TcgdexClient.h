#pragma once

#include "catalog/ImageCache.h"
#include "core/CardBrief.h"
#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/NetworkReplies.h"
#include "core/SerieBrief.h"
#include "core/SerieDetail.h"
#include "core/SetBrief.h"
#include "core/SetDetail.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>

class QJsonDocument;
class QJsonObject;
struct QJsonParseError;
class QNetworkAccessManager;
class QNetworkReply;

namespace pv {

class HttpDiskCache;

// The one client of the card database web API and its image host. Every
// fetch returns a request id at once and is answered later by exactly one
// signal carrying that id, unless it is cancelled first. Requests wait in a
// first-in first-out queue, at most six are on the network, temporary
// failures are retried, replies pass through an HTTP disk cache and images
// through the image cache. The answers that list cards (a few megabytes of
// JSON at most) are read into records on a worker thread of the client's
// own and answered once back on the GUI thread. GUI thread only.
class TcgdexClient : public QObject
{
    Q_OBJECT
public:
    // Numbered like the result signals.
    enum RequestKind {
        SetIndex = 0,
        SetDetail = 1,
        SeriesIndex = 2,
        SerieDetail = 3,
        CardIndex = 4,
        Card = 5,
        RarityList = 6,
        CardsByRarity = 7,
        CardsByVariant = 8,
        CardsByDexId = 9,
        Image = 10
    };

    // Whether a request goes through the HTTP disk cache. Prices are wanted
    // fresh: a price refresh's card requests go through a network manager
    // without one, so they neither read nor write it, no stored copy ever
    // stands in for a server error, and thousands of small file writes stay
    // off the GUI thread.
    enum class CacheUse { UseDiskCache, BypassDiskCache };

    struct Request
    {
        int id = 0;
        int kind = SetIndex;
        Language language = Language::English;
        QUrl url;
        QString context;   // names the request in log lines and failures
        QString imageUrl;  // image requests: the cache key and reported address
        int attempt = 0;
        QString rarity;
        QString variant;
        int dexId = 0;
        QString cardId; // Card requests: the id asked for
        CacheUse cacheUse = CacheUse::UseDiskCache;
    };

    static constexpr char logCategory[] = "tcgdex";
    static constexpr int maxInFlight = 6;
    static constexpr int maxAttempts = 3;
    static constexpr int cardIndexTimeoutMs = 60000;
    static constexpr int defaultTimeoutMs = 20000;
    static constexpr int retryBaseDelayMs = 400;
    // A Retry-After longer than this is not waited for: the request fails.
    static constexpr int maxRetryAfterMs = 60000;
    // However slowly it comes, a reply has this long to arrive whole; the
    // big card lists get longer.
    static constexpr int deadlineMs = 120000;
    static constexpr int longListDeadlineMs = 300000;
    static constexpr qint64 diskCacheBytes = 134217728;

    explicit TcgdexClient(QObject *parent = nullptr);
    ~TcgdexClient() override;

    // The API origin followed by "/v2".
    static QString apiBase();
    static QString diskCacheFolder();

    int fetchSetIndex(pv::Language language);
    int fetchSet(pv::Language language, const QString &setId);
    int fetchSerieIndex(pv::Language language);
    int fetchSerie(pv::Language language, const QString &serieId);
    int fetchCardIndex(pv::Language language);
    // Virtual, like cancel, so a test can stand in a client that only
    // records the card requests and answers them itself.
    virtual int fetchCard(pv::Language language, const QString &cardId, CacheUse cacheUse = CacheUse::UseDiskCache);
    int fetchRarityList(pv::Language language);
    int fetchCardsByRarity(pv::Language language, const QString &rarity);
    int fetchCardsByVariant(pv::Language language, const QString &variant);
    int fetchCardsByDexId(pv::Language language, int dexId);

    // quality 0 is the low-quality thumbnail, anything else the full picture.
    // Both return 0 for an empty base: no id is used and nothing is emitted.
    int fetchCardImage(const QString &imageBase, int quality);
    int fetchSetArtwork(const QString &artworkBase);
    QPixmap cachedImage(const QString &imageBase, int quality) const;

    virtual void cancel(int requestId);
    void cancelAll();

    int pendingCount() const;

    ImageCache &imageCache() { return m_imageCache; }
    const ImageCache &imageCache() const { return m_imageCache; }

    // Tests only: a shorter transfer time-out for every request, a shorter
    // first retry delay and a shorter deadline. 0 keeps the normal value.
    void overrideTimingForTests(int transferTimeoutMs, int retryBaseDelay, int deadline = 0);

    // The largest reply body accepted for a kind of request, well above the
    // largest the service sends.
    static qint64 maxReplyBytes(int kind);
    // Why a parsed reply cannot be the answer to a kind of request (a list
    // where an object belongs, or the other way round); empty when it can.
    static QString shapeProblem(int kind, const QJsonDocument &document);

Q_SIGNALS:
    void setIndexReady(int requestId, pv::Language language, const QList<pv::SetBrief> &sets);
    void setDetailReady(int requestId, pv::Language language, const pv::SetDetail &detail);
    void seriesIndexReady(int requestId, pv::Language language, const QList<pv::SerieBrief> &series);
    void serieDetailReady(int requestId, pv::Language language, const pv::SerieDetail &detail);
    void cardIndexReady(int requestId, pv::Language language, const QList<pv::CardBrief> &cards);
    void cardReady(int requestId, pv::Language language, const pv::CardDetail &card);
    void rarityListReady(int requestId, pv::Language language, const QStringList &rarities);
    void cardsByRarityReady(int requestId, pv::Language language, const QString &rarity,
                            const QList<pv::CardBrief> &cards);
    void cardsByVariantReady(int requestId, pv::Language language, const QString &variant,
                             const QList<pv::CardBrief> &cards);
    void cardsByDexIdReady(int requestId, pv::Language language, int dexId,
                           const QList<pv::CardBrief> &cards);
    void imageReady(int requestId, const QString &imageUrl, const QPixmap &pixmap);
    // kind tells a reply that never came from an HTTP error and from an
    // answer that came but cannot be used (not the JSON asked for, too large,
    // not to be decompressed).
    void requestFailed(int requestId, const QString &context, const QString &message, pv::ReplyFailure kind);
    void imageFailed(int requestId, const QString &imageUrl, const QString &message);
    void pendingCountChanged(int pending);

private:
    static Request makeRequest(RequestKind kind, Language language, const QString &path,
                               const QString &context,
                               const QList<QPair<QString, QString>> &query = {});
    int submit(Request request);
    int fetchImage(const QString &imageUrl, const QString &context);
    // Why a card record cannot be the answer for the card asked: the card
    // database matches ids without case, but another card's record, or one
    // naming no card, is no answer. Empty when it is the card asked.
    static QString cardMismatch(const QString &askedId, const QJsonObject &card);
    void pump();
    void send(const Request &request);
    void onReplyFinished(QNetworkReply *reply);
    void handleReply(QNetworkReply *reply, const Request &request);
    void handleFailure(QNetworkReply *reply, const Request &request, int status);
    // Reports a reply that is not the JSON asked for; true when it was not.
    bool refuseUnusable(const Request &request, const QJsonParseError &parseError, const QString &shape);
    void dispatch(const Request &request, const QJsonDocument &document);
    // A list of cards: read on the worker thread, answered by
    // onCardListRead unless cancelled meanwhile.
    static bool listsCards(int kind);
    void readCardListApart(const Request &request, const QByteArray &body);
    void onCardListRead(int requestId, const QJsonParseError &parseError, const QString &shape,
                        const QList<pv::CardBrief> &cards);
    void retryLater(const Request &request, int delayMs);
    void onRetryDue(int requestId);
    int transferTimeoutFor(int kind) const;
    int deadlineFor(int kind) const;

    QNetworkAccessManager *m_network = nullptr;
    // Without a disk cache, for the requests that bypass it.
    QNetworkAccessManager *m_uncachedNetwork = nullptr;
    HttpDiskCache *m_diskCache = nullptr;
    ImageCache m_imageCache;
    QList<Request> m_queue;
    QHash<QNetworkReply *, Request> m_inFlight;
    QList<Request> m_delayed;
    QList<int> m_cancelled;
    // Card lists being read on the worker thread.
    QHash<int, Request> m_reading;
    // Ids whose cached picture is on its way through the event loop.
    QSet<int> m_postedHits;
    int m_nextId = 1;
    int m_timeoutOverrideMs = 0;
    int m_deadlineOverrideMs = 0;
    int m_retryBaseDelayMs = retryBaseDelayMs;
    // One thread, so that the lists are answered in the order they came.
    QThreadPool m_listReader;
};

} // namespace pv
