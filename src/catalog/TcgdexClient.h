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
#include <QUrl>

#include <functional>
#include <memory>

class QJsonDocument;
class QThread;

namespace pv {

class TcgdexClientWorker;

// The one client of the card database web API and its image host. Every
// fetch returns a request id at once and is answered later by exactly one
// signal carrying that id, unless it is cancelled first. Requests wait in a
// first-in first-out queue, at most six are on the network, temporary
// failures are retried, replies pass through an HTTP disk cache and images
// through the image cache.
//
// The client is used on the GUI thread, and answers there; the network, the
// disk cache, reading the replies and making records of them run on a
// thread of the client's own, which takes the requests and hands back the
// records or failures as values. Answers that come together reach the GUI
// thread together, in one event.
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
        QString imageFile; // image requests: the image cache's file for the picture
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
    struct Outbox;
    static Request makeRequest(RequestKind kind, Language language, const QString &path,
                               const QString &context,
                               const QList<QPair<QString, QString>> &query = {});
    int submit(Request request);
    int fetchImage(const QString &imageUrl, const QString &context);
    // Runs a call on the network thread, after those asked before it.
    void toWorker(std::function<void(TcgdexClientWorker &)> call);
    // Takes what the network thread has answered since the last time.
    void takeAnswers();
    void answer(const Request &request, const QVariant &value);

    ImageCache m_imageCache;
    // The requests asked and not yet answered or cancelled, by id.
    QHash<int, Request> m_pending;
    // Ids whose cached picture is on its way through the event loop.
    QSet<int> m_postedHits;
    int m_nextId = 1;
    std::shared_ptr<Outbox> m_outbox;
    // Lives on m_thread, which makes it and deletes it.
    TcgdexClientWorker *m_worker = nullptr;
    std::unique_ptr<QThread> m_thread;
};

} // namespace pv
