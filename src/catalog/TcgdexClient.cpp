#include "catalog/TcgdexClient.h"

#include "catalog/TcgdexClientWorker.h"
#include "core/CardArtwork.h"
#include "core/Log.h"
#include "core/ServiceUrls.h"

#include <QEventLoop>
#include <QImage>
#include <QJsonDocument>
#include <QMutex>
#include <QSemaphore>
#include <QStandardPaths>
#include <QThread>
#include <QUrlQuery>

namespace pv {

namespace {

QString encoded(const QString &identifier)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(identifier));
}

} // namespace

// What passes between the threads and has not been taken yet: the calls
// for the network thread and its answers. Each side is woken by one event
// for all that comes before it takes them.
struct TcgdexClient::Outbox
{
    QMutex mutex;
    QList<std::function<void(TcgdexClientWorker &)>> calls;
    QList<TcgdexClientWorker::Answer> answers;
};

TcgdexClient::TcgdexClient(QObject *parent)
    : QObject(parent)
    , m_outbox(std::make_shared<Outbox>())
{
    // The worker is made on its thread, which it then serves until the
    // client ends it.
    QSemaphore made;
    m_thread.reset(QThread::create([this, &made] {
        const std::shared_ptr<Outbox> outbox = m_outbox;
        TcgdexClientWorker worker([this, outbox](TcgdexClientWorker::Answer answer) {
            bool first = false;
            {
                const QMutexLocker lock(&outbox->mutex);
                first = outbox->answers.isEmpty();
                outbox->answers.append(std::move(answer));
            }
            // One event for whatever comes before the GUI thread takes it.
            if (first)
                QMetaObject::invokeMethod(this, &TcgdexClient::takeAnswers, Qt::QueuedConnection);
        });
        m_worker = &worker;
        made.release();
        QEventLoop loop;
        loop.exec();
    }));
    m_thread->setObjectName(QStringLiteral("card database client"));
    m_thread->start();
    made.acquire();
    Log::info(logCategory, tr("Client ready. Endpoint %1, disk cache %2.")
                               .arg(apiBase(), diskCacheFolder()));
}

TcgdexClient::~TcgdexClient()
{
    // The owner is usually being torn down: nothing may reach it any more.
    blockSignals(true);
    cancelAll();
    // The worker drops what is on the network and waits for its disk
    // cache's files; answers it posted here go with the client's events.
    m_thread->quit();
    m_thread->wait();
    m_worker = nullptr;
}

void TcgdexClient::toWorker(std::function<void(TcgdexClientWorker &)> call)
{
    bool first = false;
    {
        const QMutexLocker lock(&m_outbox->mutex);
        first = m_outbox->calls.isEmpty();
        m_outbox->calls.append(std::move(call));
    }
    if (!first)
        return;
    TcgdexClientWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, outbox = m_outbox] {
            QList<std::function<void(TcgdexClientWorker &)>> calls;
            {
                const QMutexLocker lock(&outbox->mutex);
                calls.swap(outbox->calls);
            }
            for (const auto &call : std::as_const(calls))
                call(*worker);
        },
        Qt::QueuedConnection);
}

QString TcgdexClient::apiBase()
{
    return ServiceUrls::tcgdexBase() + QStringLiteral("/v2");
}

QString TcgdexClient::diskCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/netcache");
}

void TcgdexClient::overrideTimingForTests(int transferTimeoutMs, int retryBaseDelay, int deadline)
{
    toWorker([=](TcgdexClientWorker &worker) { worker.overrideTiming(transferTimeoutMs, retryBaseDelay, deadline); });
}

qint64 TcgdexClient::maxReplyBytes(int kind)
{
    constexpr qint64 MiB = 1024 * 1024;
    switch (kind) {
    case CardIndex:
    case CardsByRarity:
    case CardsByVariant:
        return 64 * MiB; // the whole card list is about 2.5 MB
    case Image:
        return 32 * MiB;
    default:
        return 8 * MiB; // set, series and card answers are at most about 100 kB
    }
}

QString TcgdexClient::shapeProblem(int kind, const QJsonDocument &document)
{
    switch (kind) {
    case SetDetail:
    case SerieDetail:
    case Card:
        return document.isObject() ? QString() : tr("expected an object, not a list");
    case Image:
        return QString();
    default:
        return document.isArray() ? QString() : tr("expected a list, not an object");
    }
}

int TcgdexClient::pendingCount() const
{
    return int(m_pending.size());
}

// ---- fetch operations ------------------------------------------------------

TcgdexClient::Request TcgdexClient::makeRequest(RequestKind kind, Language language,
                                                const QString &path, const QString &context,
                                                const QList<QPair<QString, QString>> &query)
{
    Request request;
    request.kind = kind;
    request.language = language;
    request.url = QUrl(apiBase() + QLatin1Char('/') + languageCode(language) + path, QUrl::TolerantMode);
    if (!query.isEmpty()) {
        QUrlQuery items;
        for (const auto &item : query)
            items.addQueryItem(item.first, item.second);
        request.url.setQuery(items);
    }
    request.context = context;
    return request;
}

int TcgdexClient::submit(Request request)
{
    request.id = m_nextId++;
    m_pending.insert(request.id, request);
    emit pendingCountChanged(pendingCount());
    toWorker([request](TcgdexClientWorker &worker) { worker.submit(request); });
    return request.id;
}

int TcgdexClient::fetchSetIndex(Language language)
{
    return submit(makeRequest(SetIndex, language, QStringLiteral("/sets"),
                              tr("set list (%1)").arg(languageDisplayName(language)),
                              {{QStringLiteral("sort:field"), QStringLiteral("releaseDate")},
                               {QStringLiteral("sort:order"), QStringLiteral("ASC")}}));
}

int TcgdexClient::fetchSet(Language language, const QString &setId)
{
    return submit(makeRequest(SetDetail, language, QStringLiteral("/sets/") + encoded(setId),
                              tr("set %1").arg(setId)));
}

int TcgdexClient::fetchSerieIndex(Language language)
{
    return submit(makeRequest(SeriesIndex, language, QStringLiteral("/series"),
                              tr("series list (%1)").arg(languageDisplayName(language))));
}

int TcgdexClient::fetchSerie(Language language, const QString &serieId)
{
    return submit(makeRequest(SerieDetail, language, QStringLiteral("/series/") + encoded(serieId),
                              tr("series %1").arg(serieId)));
}

int TcgdexClient::fetchCardIndex(Language language)
{
    return submit(makeRequest(CardIndex, language, QStringLiteral("/cards"),
                              tr("card list (%1)").arg(languageDisplayName(language))));
}

int TcgdexClient::fetchCard(Language language, const QString &cardId, CacheUse cacheUse)
{
    Request request =
        makeRequest(Card, language, QStringLiteral("/cards/") + encoded(cardId), tr("card %1").arg(cardId));
    request.cardId = cardId;
    request.cacheUse = cacheUse;
    return submit(request);
}

int TcgdexClient::fetchRarityList(Language language)
{
    return submit(makeRequest(RarityList, language, QStringLiteral("/rarities"),
                              tr("rarity list (%1)").arg(languageDisplayName(language))));
}

int TcgdexClient::fetchCardsByRarity(Language language, const QString &rarity)
{
    Request request = makeRequest(CardsByRarity, language, QStringLiteral("/cards"),
                                  tr("cards of rarity %1").arg(rarity),
                                  {{QStringLiteral("rarity"), QStringLiteral("eq:") + rarity}});
    request.rarity = rarity;
    return submit(request);
}

int TcgdexClient::fetchCardsByVariant(Language language, const QString &variant)
{
    Request request = makeRequest(CardsByVariant, language, QStringLiteral("/cards"),
                                  tr("cards printed in %1").arg(variant),
                                  {{QStringLiteral("variants.") + variant, QStringLiteral("true")}});
    request.variant = variant;
    return submit(request);
}

int TcgdexClient::fetchCardsByDexId(Language language, int dexId)
{
    Request request = makeRequest(CardsByDexId, language, QStringLiteral("/cards"),
                                  tr("cards of national dex %1").arg(dexId),
                                  {{QStringLiteral("dexId"), QStringLiteral("eq:") + QString::number(dexId)}});
    request.dexId = dexId;
    return submit(request);
}

int TcgdexClient::fetchCardImage(const QString &imageBase, int quality)
{
    return fetchImage(cardImageUrl(imageBase, quality != 0), tr("card image"));
}

int TcgdexClient::fetchSetArtwork(const QString &artworkBase)
{
    return fetchImage(setArtworkUrl(artworkBase), tr("set artwork"));
}

QPixmap TcgdexClient::cachedImage(const QString &imageBase, int quality) const
{
    return m_imageCache.load(cardImageUrl(imageBase, quality != 0));
}

int TcgdexClient::fetchImage(const QString &imageUrl, const QString &context)
{
    if (imageUrl.isEmpty())
        return 0;
    const QPixmap cached = m_imageCache.load(imageUrl);
    if (!cached.isNull()) {
        // Answered through the event loop so the caller has its id first.
        const int id = m_nextId++;
        m_postedHits.insert(id);
        QMetaObject::invokeMethod(this, [this, id, imageUrl, cached] {
            if (m_postedHits.remove(id))
                emit imageReady(id, imageUrl, cached);
        }, Qt::QueuedConnection);
        return id;
    }
    Request request;
    request.kind = Image;
    request.language = Language::English;
    // The picture keeps its public address as its key; it is fetched from
    // whichever image host is configured.
    request.url = QUrl(ServiceUrls::mapAssetUrl(imageUrl), QUrl::TolerantMode);
    request.imageUrl = imageUrl;
    request.imageFile = m_imageCache.filePathFor(imageUrl);
    request.context = context;
    return submit(request);
}

// ---- answers ---------------------------------------------------------------

void TcgdexClient::takeAnswers()
{
    QList<TcgdexClientWorker::Answer> answers;
    {
        const QMutexLocker lock(&m_outbox->mutex);
        answers.swap(m_outbox->answers);
    }
    for (const TcgdexClientWorker::Answer &answer : std::as_const(answers)) {
        // A request cancelled meanwhile is no longer here: nothing is emitted.
        const auto found = m_pending.constFind(answer.id);
        if (found == m_pending.constEnd())
            continue;
        if (answer.outcome == TcgdexClientWorker::Answer::Retrying) {
            emit pendingCountChanged(pendingCount());
            continue;
        }
        const Request request = found.value();
        m_pending.erase(found);
        if (answer.outcome == TcgdexClientWorker::Answer::Ready)
            this->answer(request, answer.value);
        else if (request.kind == Image)
            emit imageFailed(request.id, request.imageUrl, answer.message);
        else
            emit requestFailed(request.id, request.context, answer.message, answer.failure);
        emit pendingCountChanged(pendingCount());
    }
}

void TcgdexClient::answer(const Request &request, const QVariant &value)
{
    const int id = request.id;
    const Language language = request.language;
    switch (request.kind) {
    case SetIndex:
        emit setIndexReady(id, language, value.value<QList<pv::SetBrief>>());
        break;
    case SetDetail:
        emit setDetailReady(id, language, value.value<pv::SetDetail>());
        break;
    case SeriesIndex:
        emit seriesIndexReady(id, language, value.value<QList<pv::SerieBrief>>());
        break;
    case SerieDetail:
        emit serieDetailReady(id, language, value.value<pv::SerieDetail>());
        break;
    case CardIndex:
        emit cardIndexReady(id, language, value.value<QList<pv::CardBrief>>());
        break;
    case Card:
        emit cardReady(id, language, value.value<pv::CardDetail>());
        break;
    case RarityList:
        emit rarityListReady(id, language, value.toStringList());
        break;
    case CardsByRarity:
        emit cardsByRarityReady(id, language, request.rarity, value.value<QList<pv::CardBrief>>());
        break;
    case CardsByVariant:
        emit cardsByVariantReady(id, language, request.variant, value.value<QList<pv::CardBrief>>());
        break;
    case CardsByDexId:
        emit cardsByDexIdReady(id, language, request.dexId, value.value<QList<pv::CardBrief>>());
        break;
    case Image: {
        const QPixmap pixmap = QPixmap::fromImage(value.value<QImage>());
        m_imageCache.remember(request.imageUrl, pixmap);
        emit imageReady(id, request.imageUrl, pixmap);
        break;
    }
    default:
        break;
    }
}

// ---- cancelling ------------------------------------------------------------

void TcgdexClient::cancel(int requestId)
{
    if (requestId < 1)
        return;
    if (m_postedHits.remove(requestId))
        return;
    if (!m_pending.remove(requestId))
        return;
    emit pendingCountChanged(pendingCount());
    toWorker([requestId](TcgdexClientWorker &worker) { worker.cancel(requestId); });
}

void TcgdexClient::cancelAll()
{
    const int pending = pendingCount();
    if (pending > 0)
        Log::info(logCategory, tr("Cancelling %n outstanding request(s).", nullptr, pending));
    m_postedHits.clear();
    m_pending.clear();
    toWorker([](TcgdexClientWorker &worker) { worker.cancelAll(); });
    emit pendingCountChanged(pendingCount());
}

} // namespace pv
