#include "catalog/TcgdexClientWorker.h"

#include "catalog/ImageCache.h"
#include "core/HttpDiskCache.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/NetworkReplies.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace pv {

namespace {

constexpr const char *logCategory = TcgdexClient::logCategory;
const QByteArray userAgent = QByteArrayLiteral("Tallowmerick/0.1 (Qt)");

QString tr(const char *text, int n = -1)
{
    return TcgdexClient::tr(text, nullptr, n);
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
    const QDateTime when =
        QLocale::c().toDateTime(QString::fromLatin1(value.left(29)), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
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

// Why a card record cannot be the answer for the card asked: the card
// database matches ids without case, but another card's record, or one
// naming no card, is no answer. Empty when it is the card asked.
QString cardMismatch(const QString &askedId, const QJsonObject &card)
{
    const QString id = json::text(card, QLatin1String("id"));
    if (id.isEmpty())
        return tr("the answer names no card, card %1 was asked for").arg(askedId);
    if (id.compare(askedId, Qt::CaseInsensitive) != 0)
        return tr("the answer is for card %1, not %2").arg(id, askedId);
    return QString();
}

} // namespace

TcgdexClientWorker::TcgdexClientWorker(Deliver deliver)
    : m_deliver(std::move(deliver))
    , m_network(new QNetworkAccessManager(this))
    , m_uncachedNetwork(new QNetworkAccessManager(this))
{
    m_network->setCache(new HttpDiskCache(TcgdexClient::diskCacheFolder(), TcgdexClient::diskCacheBytes, m_network));
}

TcgdexClientWorker::~TcgdexClientWorker()
{
    // The client is going: what is on the network is dropped unanswered.
    m_closing = true;
    const QList<QNetworkReply *> replies = m_inFlight.keys();
    m_inFlight.clear();
    for (QNetworkReply *reply : replies) {
        reply->disconnect(this);
        reply->abort();
        delete reply;
    }
}

void TcgdexClientWorker::overrideTiming(int transferTimeoutMs, int retryBaseDelay, int deadline)
{
    m_timeoutOverrideMs = transferTimeoutMs > 0 ? transferTimeoutMs : 0;
    m_retryBaseDelayMs = retryBaseDelay > 0 ? retryBaseDelay : TcgdexClient::retryBaseDelayMs;
    m_deadlineOverrideMs = deadline > 0 ? deadline : 0;
}

int TcgdexClientWorker::transferTimeoutFor(int kind) const
{
    if (m_timeoutOverrideMs > 0)
        return m_timeoutOverrideMs;
    return kind == TcgdexClient::CardIndex ? TcgdexClient::cardIndexTimeoutMs : TcgdexClient::defaultTimeoutMs;
}

int TcgdexClientWorker::deadlineFor(int kind) const
{
    if (m_deadlineOverrideMs > 0)
        return m_deadlineOverrideMs;
    return TcgdexClient::maxReplyBytes(kind) > TcgdexClient::maxReplyBytes(TcgdexClient::SetDetail)
        ? TcgdexClient::longListDeadlineMs
        : TcgdexClient::deadlineMs;
}

// ---- queue -----------------------------------------------------------------

void TcgdexClientWorker::submit(const Request &request)
{
    m_queue.append(request);
    pump();
}

void TcgdexClientWorker::pump()
{
    while (!m_queue.isEmpty() && m_inFlight.size() < TcgdexClient::maxInFlight)
        send(m_queue.takeFirst());
}

void TcgdexClientWorker::send(const Request &request)
{
    QNetworkRequest networkRequest(request.url);
    networkRequest.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    networkRequest.setTransferTimeout(transferTimeoutFor(request.kind));

    Log::debug(logCategory, tr("#%1 GET %2").arg(QString::number(request.id), request.url.toString()));
    const bool cached = request.cacheUse == TcgdexClient::CacheUse::UseDiskCache;
    QNetworkReply *reply = (cached ? m_network : m_uncachedNetwork)->get(networkRequest);
    guardReply(reply, deadlineFor(request.kind), TcgdexClient::maxReplyBytes(request.kind));
    m_inFlight.insert(reply, request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
}

void TcgdexClientWorker::onReplyFinished(QNetworkReply *reply)
{
    const auto found = m_inFlight.constFind(reply);
    if (m_closing || found == m_inFlight.constEnd())
        return;
    const Request request = found.value();
    m_inFlight.erase(found);
    handleReply(reply, request);
    reply->deleteLater();
    pump();
}

void TcgdexClientWorker::handleReply(QNetworkReply *reply, const Request &request)
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
    Log::debug(logCategory,
               tr("#%1 HTTP %2, %3 bytes%4 (%5)")
                   .arg(QString::number(request.id), QString::number(status), QString::number(body.size()),
                        fromCache ? tr(" from cache") : QString(), request.context));

    if (request.kind == TcgdexClient::Image) {
        handlePicture(request, body);
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    // An answer of the wrong shape would read as an empty one, and another
    // card's record would price the card asked with its figures.
    QString shape;
    if (parseError.error == QJsonParseError::NoError) {
        shape = TcgdexClient::shapeProblem(request.kind, document);
        if (shape.isEmpty() && request.kind == TcgdexClient::Card)
            shape = cardMismatch(request.cardId, document.object());
    }
    if (refuseUnusable(request, parseError, shape))
        return;
    m_deliver({request.id, Answer::Ready, recordsOf(request, document), QString(), ReplyFailure::NotReached});
}

void TcgdexClientWorker::handlePicture(const Request &request, const QByteArray &body)
{
    // A picture cut short may still decode, padded out with grey: only a
    // whole one is shown and kept.
    QString problem;
    const QImage image = ImageCache::decodeImage(body, &problem);
    if (image.isNull()) {
        Log::warn(logCategory,
                  tr("#%1 image %2 could not be decoded (%3 bytes): %4")
                      .arg(QString::number(request.id), request.imageUrl, QString::number(body.size()), problem));
        fail(request, tr("Image could not be decoded."), ReplyFailure::Unusable);
        return;
    }
    ImageCache::writeFile(request.imageFile, request.imageUrl, body);
    m_deliver({request.id, Answer::Ready, QVariant::fromValue(image), QString(), ReplyFailure::NotReached});
}

bool TcgdexClientWorker::refuseUnusable(const Request &request, const QJsonParseError &parseError, const QString &shape)
{
    if (parseError.error != QJsonParseError::NoError) {
        Log::error(logCategory,
                   tr("#%1 %2: malformed response at offset %3: %4")
                       .arg(QString::number(request.id), request.context, QString::number(parseError.offset),
                            parseError.errorString()));
        fail(request, tr("Malformed response: %1").arg(parseError.errorString()), ReplyFailure::Unusable);
        return true;
    }
    if (!shape.isEmpty()) {
        Log::error(logCategory,
                   tr("#%1 %2: malformed response: %3").arg(QString::number(request.id), request.context, shape));
        fail(request, tr("Malformed response: %1").arg(shape), ReplyFailure::Unusable);
        return true;
    }
    return false;
}

void TcgdexClientWorker::fail(const Request &request, const QString &message, ReplyFailure failure)
{
    m_deliver({request.id, Answer::Failed, QVariant(), message, failure});
}

QVariant TcgdexClientWorker::recordsOf(const Request &request, const QJsonDocument &document) const
{
    switch (request.kind) {
    case TcgdexClient::SetIndex: {
        const QJsonArray array = document.array();
        QList<SetBrief> sets;
        sets.reserve(array.size());
        for (int i = 0; i < array.size(); ++i)
            sets.append(SetBrief::fromJson(array.at(i).toObject(), i));
        return QVariant::fromValue(sets);
    }
    case TcgdexClient::SetDetail:
        return QVariant::fromValue(SetDetail::fromJson(document.object()));
    case TcgdexClient::SeriesIndex:
        return QVariant::fromValue(briefsOf<SerieBrief>(document.array()));
    case TcgdexClient::SerieDetail:
        return QVariant::fromValue(SerieDetail::fromJson(document.object()));
    case TcgdexClient::Card: {
        // Spelt as asked, so that it reaches the holdings that asked for it.
        CardDetail card = CardDetail::fromJson(document.object());
        card.id = request.cardId;
        return QVariant::fromValue(card);
    }
    case TcgdexClient::RarityList: {
        const QJsonArray array = document.array();
        QStringList rarities;
        rarities.reserve(array.size());
        for (const QJsonValue &value : array) {
            const QString rarity = value.toString();
            if (!rarity.isEmpty())
                rarities.append(rarity);
        }
        return QVariant::fromValue(rarities);
    }
    case TcgdexClient::CardIndex:
    case TcgdexClient::CardsByRarity:
    case TcgdexClient::CardsByVariant:
    case TcgdexClient::CardsByDexId:
        return QVariant::fromValue(briefsOf<CardBrief>(document.array()));
    default:
        return QVariant();
    }
}

void TcgdexClientWorker::handleFailure(QNetworkReply *reply, const Request &request, int status)
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
        && request.attempt + 1 < TcgdexClient::maxAttempts;
    if (retry && asked > TcgdexClient::maxRetryAfterMs)
        retry = false;
    else if (asked > delay)
        delay = int(asked);
    Log::warn(logCategory,
              tr("#%1 %2 failed (HTTP %3, %4): %5")
                  .arg(QString::number(request.id), request.url.toString(), QString::number(status),
                       QString::number(int(error)), errorText));
    if (retry) {
        retryLater(request, delay);
        return;
    }

    const QString message = (status == 429 || (status >= 500 && status <= 599))
        ? httpFailureText(QStringLiteral("TCGdex"), reply, status)
        : errorText;
    fail(request, message, replyFailure(reply));
}

void TcgdexClientWorker::retryLater(const Request &request, int delay)
{
    Log::info(logCategory,
              tr("#%1 retrying %2 (attempt %3 of %4).")
                  .arg(QString::number(request.id), request.context, QString::number(request.attempt + 2),
                       QString::number(TcgdexClient::maxAttempts)));
    Request again = request;
    again.attempt += 1;
    m_delayed.append(again);
    const int id = again.id;
    QTimer::singleShot(delay, this, [this, id] { onRetryDue(id); });
    m_deliver({id, Answer::Retrying, QVariant(), QString(), ReplyFailure::NotReached});
}

void TcgdexClientWorker::onRetryDue(int requestId)
{
    for (int i = 0; i < m_delayed.size(); ++i) {
        if (m_delayed.at(i).id == requestId) {
            m_queue.append(m_delayed.takeAt(i));
            pump();
            return;
        }
    }
}

// ---- cancelling ------------------------------------------------------------

void TcgdexClientWorker::cancel(int requestId)
{
    const auto matches = [requestId](const Request &request) { return request.id == requestId; };
    if (m_queue.removeIf(matches) > 0 || m_delayed.removeIf(matches) > 0)
        return;
    for (auto it = m_inFlight.cbegin(); it != m_inFlight.cend(); ++it) {
        if (it.value().id == requestId) {
            QNetworkReply *reply = it.key();
            m_cancelled.append(requestId);
            // The aborted reply finishes through onReplyFinished, which drops it.
            abortReply(reply);
            return;
        }
    }
}

void TcgdexClientWorker::cancelAll()
{
    m_queue.clear();
    m_delayed.clear();
    // Aborting may finish a reply at once, which edits the hash: work on a copy.
    const QList<QNetworkReply *> replies = m_inFlight.keys();
    for (QNetworkReply *reply : replies) {
        const auto found = m_inFlight.constFind(reply);
        if (found == m_inFlight.constEnd())
            continue;
        m_cancelled.append(found.value().id);
        abortReply(reply);
    }
}

} // namespace pv
