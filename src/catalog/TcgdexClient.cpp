#include "catalog/TcgdexClient.h"

#include "core/CardArtwork.h"
#include "core/HttpDiskCache.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/NetworkReplies.h"
#include "core/ServiceUrls.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>
#include <QUrlQuery>

namespace pv {

namespace {

const QByteArray userAgent = QByteArrayLiteral("Tallowmerick/0.1 (Qt)");

QString encoded(const QString &identifier)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(identifier));
}

bool isRetryable(int status, QNetworkReply::NetworkError error)
{
    if (status == 429 || status == 500 || status == 502 || status == 503 || status == 504)
        return true;
    // A connection that broke after the status line arrived is as temporary
    // as one that broke before it.
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

// The delay a Retry-After header asks for, in milliseconds: a number of
// seconds or an HTTP date; -1 when there is none or it cannot be read.
qint64 retryAfterMs(const QNetworkReply *reply)
{
    const QByteArray value = reply->rawHeader("Retry-After").trimmed();
    if (value.isEmpty())
        return -1;
    bool isNumber = false;
    const qint64 seconds = value.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? -1 : (seconds > 86400 ? qint64(86400) * 1000 : seconds * 1000);
    const QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(value.left(29)),
                                                   QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!when.isValid())
        return -1;
    const QDateTime utc(when.date(), when.time(), Qt::UTC);
    return qMax<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(utc));
}

template <typename Record>
QList<Record> briefsOf(const QJsonArray &array)
{
    QList<Record> records;
    records.reserve(array.size());
    for (const QJsonValue &value : array)
        records.append(Record::fromJson(value.toObject()));
    return records;
}

// What the worker thread makes of a card list's answer: the records, or why
// there are none.
struct CardListRead
{
    QJsonParseError parseError{0, QJsonParseError::NoError};
    QString shape;
    QList<CardBrief> cards;
};

// Touches nothing but its arguments: runs on the worker thread.
CardListRead readCardList(int kind, const QByteArray &body)
{
    CardListRead read;
    const QJsonDocument document = QJsonDocument::fromJson(body, &read.parseError);
    if (read.parseError.error != QJsonParseError::NoError)
        return read;
    read.shape = TcgdexClient::shapeProblem(kind, document);
    if (read.shape.isEmpty())
        read.cards = briefsOf<CardBrief>(document.array());
    return read;
}

} // namespace

TcgdexClient::TcgdexClient(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_uncachedNetwork(new QNetworkAccessManager(this))
    , m_diskCache(new HttpDiskCache(diskCacheFolder(), diskCacheBytes, this))
{
    m_network->setCache(m_diskCache);
    m_listReader.setMaxThreadCount(1);
    Log::info(logCategory, tr("Client ready. Endpoint %1, disk cache %2.")
                               .arg(apiBase(), diskCacheFolder()));
}

TcgdexClient::~TcgdexClient()
{
    // The owner is usually being torn down: nothing may reach it any more.
    blockSignals(true);
    cancelAll();
    // A list being read still posts its records here; they are dropped with
    // the client's other posted events.
    m_listReader.clear();
    m_listReader.waitForDone();
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
    m_timeoutOverrideMs = transferTimeoutMs > 0 ? transferTimeoutMs : 0;
    m_retryBaseDelayMs = retryBaseDelay > 0 ? retryBaseDelay : retryBaseDelayMs;
    m_deadlineOverrideMs = deadline > 0 ? deadline : 0;
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

QString TcgdexClient::cardMismatch(const QString &askedId, const QJsonObject &card)
{
    const QString id = json::text(card, QLatin1String("id"));
    if (id.isEmpty())
        return tr("the answer names no card, card %1 was asked for").arg(askedId);
    if (id.compare(askedId, Qt::CaseInsensitive) != 0)
        return tr("the answer is for card %1, not %2").arg(id, askedId);
    return QString();
}

int TcgdexClient::deadlineFor(int kind) const
{
    if (m_deadlineOverrideMs > 0)
        return m_deadlineOverrideMs;
    return maxReplyBytes(kind) > maxReplyBytes(SetDetail) ? longListDeadlineMs : deadlineMs;
}

int TcgdexClient::pendingCount() const
{
    return m_queue.size() + m_delayed.size() + m_inFlight.size() + m_reading.size();
}

int TcgdexClient::transferTimeoutFor(int kind) const
{
    if (m_timeoutOverrideMs > 0)
        return m_timeoutOverrideMs;
    return kind == CardIndex ? cardIndexTimeoutMs : defaultTimeoutMs;
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
    m_queue.append(request);
    emit pendingCountChanged(pendingCount());
    pump();
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
    request.context = context;
    return submit(request);
}

// ---- queue -----------------------------------------------------------------

void TcgdexClient::pump()
{
    while (!m_queue.isEmpty() && m_inFlight.size() < maxInFlight)
        send(m_queue.takeFirst());
}

void TcgdexClient::send(const Request &request)
{
    QNetworkRequest networkRequest(request.url);
    networkRequest.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::NoLessSafeRedirectPolicy);
    networkRequest.setTransferTimeout(transferTimeoutFor(request.kind));

    Log::debug(logCategory, tr("#%1 GET %2").arg(QString::number(request.id), request.url.toString()));
    const bool cached = request.cacheUse == CacheUse::UseDiskCache;
    QNetworkReply *reply = (cached ? m_network : m_uncachedNetwork)->get(networkRequest);
    guardReply(reply, deadlineFor(request.kind), maxReplyBytes(request.kind));
    m_inFlight.insert(reply, request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
}

void TcgdexClient::onReplyFinished(QNetworkReply *reply)
{
    const auto found = m_inFlight.constFind(reply);
    if (found == m_inFlight.constEnd())
        return;
    const Request request = found.value();
    m_inFlight.erase(found);
    handleReply(reply, request);
    reply->deleteLater();
    emit pendingCountChanged(pendingCount());
    pump();
}

void TcgdexClient::handleReply(QNetworkReply *reply, const Request &request)
{
    const int cancelledAt = m_cancelled.indexOf(request.id);
    if (cancelledAt >= 0) {
        m_cancelled.removeAt(cancelledAt);
        Log::debug(logCategory, tr("#%1 cancelled (%2)").arg(QString::number(request.id), request.context));
        return;
    }

    const int status = replyHttpStatus(reply);
    if (replyFailed(reply)) {
        handleFailure(reply, request, status);
        return;
    }

    const QByteArray body = replyBody(reply);
    const bool fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    Log::debug(logCategory, tr("#%1 HTTP %2, %3 bytes%4 (%5)")
                                .arg(QString::number(request.id), QString::number(status),
                                     QString::number(body.size()),
                                     fromCache ? tr(" from cache") : QString(),
                                     request.context));

    if (request.kind == Image) {
        // A picture cut short may still decode, padded out with grey: only a
        // whole one is shown and kept.
        QString problem;
        const QPixmap pixmap = ImageCache::decodePicture(body, &problem);
        if (!pixmap.isNull()) {
            m_imageCache.store(request.imageUrl, body, pixmap);
            emit imageReady(request.id, request.imageUrl, pixmap);
        } else {
            Log::warn(logCategory, tr("#%1 image %2 could not be decoded (%3 bytes): %4")
                                       .arg(QString::number(request.id), request.imageUrl,
                                            QString::number(body.size()), problem));
            emit imageFailed(request.id, request.imageUrl, tr("Image could not be decoded."));
        }
        return;
    }

    if (listsCards(request.kind)) {
        readCardListApart(request, body);
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    // An answer of the wrong shape would read as an empty one, and another
    // card's record would price the card asked with its figures.
    QString shape;
    if (parseError.error == QJsonParseError::NoError) {
        shape = shapeProblem(request.kind, document);
        if (shape.isEmpty() && request.kind == Card)
            shape = cardMismatch(request.cardId, document.object());
    }
    if (refuseUnusable(request, parseError, shape))
        return;
    dispatch(request, document);
}

bool TcgdexClient::refuseUnusable(const Request &request, const QJsonParseError &parseError, const QString &shape)
{
    if (parseError.error != QJsonParseError::NoError) {
        Log::error(logCategory,
                   tr("#%1 %2: malformed response at offset %3: %4")
                       .arg(QString::number(request.id), request.context, QString::number(parseError.offset),
                            parseError.errorString()));
        emit requestFailed(request.id, request.context, tr("Malformed response: %1").arg(parseError.errorString()),
                           ReplyFailure::Unusable);
        return true;
    }
    if (!shape.isEmpty()) {
        Log::error(logCategory,
                   tr("#%1 %2: malformed response: %3").arg(QString::number(request.id), request.context, shape));
        emit requestFailed(request.id, request.context, tr("Malformed response: %1").arg(shape),
                           ReplyFailure::Unusable);
        return true;
    }
    return false;
}

bool TcgdexClient::listsCards(int kind)
{
    return kind == CardIndex || kind == CardsByRarity || kind == CardsByVariant || kind == CardsByDexId;
}

void TcgdexClient::readCardListApart(const Request &request, const QByteArray &body)
{
    m_reading.insert(request.id, request);
    const int id = request.id;
    const int kind = request.kind;
    // The client waits for this in its destructor, so it outlives the task;
    // the records reach it as a posted call, which its end drops.
    m_listReader.start([this, id, kind, body] {
        CardListRead read = readCardList(kind, body);
        QMetaObject::invokeMethod(
            this, [this, id, read = std::move(read)] { onCardListRead(id, read.parseError, read.shape, read.cards); },
            Qt::QueuedConnection);
    });
}

void TcgdexClient::onCardListRead(int requestId, const QJsonParseError &parseError, const QString &shape,
                                  const QList<CardBrief> &cards)
{
    const auto found = m_reading.find(requestId);
    if (found == m_reading.end())
        return; // cancelled while it was read
    const Request request = found.value();
    m_reading.erase(found);
    if (!refuseUnusable(request, parseError, shape)) {
        const Language language = request.language;
        switch (request.kind) {
        case CardIndex:
            emit cardIndexReady(requestId, language, cards);
            break;
        case CardsByRarity:
            emit cardsByRarityReady(requestId, language, request.rarity, cards);
            break;
        case CardsByVariant:
            emit cardsByVariantReady(requestId, language, request.variant, cards);
            break;
        case CardsByDexId:
            emit cardsByDexIdReady(requestId, language, request.dexId, cards);
            break;
        default:
            break;
        }
    }
    emit pendingCountChanged(pendingCount());
}

void TcgdexClient::handleFailure(QNetworkReply *reply, const Request &request, int status)
{
    QNetworkReply::NetworkError error = reply->error();
    // Requests we cancelled ourselves never get here: a cancelled operation
    // ran out of time (Qt reports its transfer time-out so) or grew too large,
    // which asking again would only repeat. So would a server that answers
    // but cannot finish within the deadline; a stalled transfer is retried.
    const QString errorText = replyErrorText(reply, transferTimeoutFor(request.kind));
    if (replyTimedOut(reply))
        error = QNetworkReply::TimeoutError;

    // A busy service may say when to come back; longer than a minute is
    // not waited for.
    int delay = m_retryBaseDelayMs << request.attempt;
    const qint64 asked = retryAfterMs(reply);
    bool retry = !replyTooLarge(reply) && !replyDeadlinePassed(reply) && isRetryable(status, error)
        && request.attempt + 1 < maxAttempts;
    if (retry && asked > maxRetryAfterMs)
        retry = false;
    else if (asked > delay)
        delay = int(asked);
    Log::warn(logCategory, tr("#%1 %2 failed (HTTP %3, %4): %5")
                               .arg(QString::number(request.id), request.url.toString(),
                                    QString::number(status), QString::number(int(error)), errorText));
    if (retry) {
        retryLater(request, delay);
        return;
    }

    const QString message = (status == 429 || (status >= 500 && status <= 599))
        ? httpFailureText(QStringLiteral("TCGdex"), reply, status)
        : errorText;
    if (request.kind == Image)
        emit imageFailed(request.id, request.imageUrl, message);
    else
        emit requestFailed(request.id, request.context, message, replyFailure(reply));
}

void TcgdexClient::retryLater(const Request &request, int delay)
{
    Log::info(logCategory, tr("#%1 retrying %2 (attempt %3 of %4).")
                               .arg(QString::number(request.id), request.context,
                                    QString::number(request.attempt + 2), QString::number(maxAttempts)));
    Request again = request;
    again.attempt += 1;
    m_delayed.append(again);
    const int id = again.id;
    QTimer::singleShot(delay, this, [this, id] { onRetryDue(id); });
}

void TcgdexClient::onRetryDue(int requestId)
{
    for (int i = 0; i < m_delayed.size(); ++i) {
        if (m_delayed.at(i).id == requestId) {
            m_queue.append(m_delayed.takeAt(i));
            pump();
            return;
        }
    }
}

void TcgdexClient::dispatch(const Request &request, const QJsonDocument &document)
{
    const int id = request.id;
    const Language language = request.language;
    switch (request.kind) {
    case SetIndex: {
        const QJsonArray array = document.array();
        QList<pv::SetBrief> sets;
        sets.reserve(array.size());
        for (int i = 0; i < array.size(); ++i)
            sets.append(pv::SetBrief::fromJson(array.at(i).toObject(), i));
        emit setIndexReady(id, language, sets);
        break;
    }
    case SetDetail:
        emit setDetailReady(id, language, pv::SetDetail::fromJson(document.object()));
        break;
    case SeriesIndex:
        emit seriesIndexReady(id, language, briefsOf<pv::SerieBrief>(document.array()));
        break;
    case SerieDetail:
        emit serieDetailReady(id, language, pv::SerieDetail::fromJson(document.object()));
        break;
    case Card: {
        // Spelt as asked, so that it reaches the holdings that asked for it.
        pv::CardDetail card = pv::CardDetail::fromJson(document.object());
        card.id = request.cardId;
        emit cardReady(id, language, card);
        break;
    }
    case RarityList: {
        const QJsonArray array = document.array();
        QStringList rarities;
        rarities.reserve(array.size());
        for (const QJsonValue &value : array) {
            const QString rarity = value.toString();
            if (!rarity.isEmpty())
                rarities.append(rarity);
        }
        emit rarityListReady(id, language, rarities);
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
    if (m_reading.remove(requestId)) {
        emit pendingCountChanged(pendingCount());
        return;
    }
    for (int i = 0; i < m_queue.size(); ++i) {
        if (m_queue.at(i).id == requestId) {
            m_queue.removeAt(i);
            emit pendingCountChanged(pendingCount());
            return;
        }
    }
    for (int i = 0; i < m_delayed.size(); ++i) {
        if (m_delayed.at(i).id == requestId) {
            m_delayed.removeAt(i);
            emit pendingCountChanged(pendingCount());
            return;
        }
    }
    for (auto it = m_inFlight.cbegin(); it != m_inFlight.cend(); ++it) {
        if (it.value().id == requestId) {
            QNetworkReply *reply = it.key();
            m_cancelled.append(requestId);
            // The aborted reply finishes through onReplyFinished, which drops it.
            reply->abort();
            return;
        }
    }
}

void TcgdexClient::cancelAll()
{
    const int pending = pendingCount();
    if (pending > 0)
        Log::info(logCategory, tr("Cancelling %n outstanding request(s).", nullptr, pending));
    m_postedHits.clear();
    m_reading.clear();
    m_queue.clear();
    m_delayed.clear();
    // Aborting may finish a reply at once, which edits the hash: work on a copy.
    const QList<QNetworkReply *> replies = m_inFlight.keys();
    for (QNetworkReply *reply : replies) {
        const auto found = m_inFlight.constFind(reply);
        if (found == m_inFlight.constEnd())
            continue;
        m_cancelled.append(found.value().id);
        reply->abort();
    }
    emit pendingCountChanged(pendingCount());
}

} // namespace pv
