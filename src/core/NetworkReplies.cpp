#include "core/NetworkReplies.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <utility>

namespace pv {

namespace {
const char *const abortedProperty = "pvAbortedOnPurpose";
const char *const deadlineProperty = "pvDeadlinePassed";
const char *const tooLargeProperty = "pvTooLarge";
const char *const deadlineMsProperty = "pvDeadlineMs";
const char *const maxBytesProperty = "pvMaxBytes";
const char *const bodyStoreName = "pvBody";
// How far Qt's network thread may read ahead of a guarded reply's store.
constexpr qint64 readAheadBytes = 1024 * 1024;

QString tr(const char *text)
{
    return QCoreApplication::translate("pv::NetworkReplies", text);
}

// Qt's text for a reply it could not decompress, a bomb included, up to its
// colon; what follows is the detail, often nothing.
QString decompressionLead()
{
    return QCoreApplication::translate("QHttp", "Decompression failed: %1").arg(QString());
}

bool decompressionFailed(const QNetworkReply *reply)
{
    return reply->error() != QNetworkReply::NoError && reply->errorString().startsWith(decompressionLead());
}

// The abort waits for the event loop: whoever handles the finished reply may
// delete its network manager, which must not happen inside the reply's own
// signal or its timer's.
void abortLater(QNetworkReply *reply, const char *why)
{
    if (reply->property(why).toBool())
        return;
    reply->setProperty(why, true);
    QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
}
} // namespace

void setTransferTimeout(QNetworkRequest &request, int milliseconds)
{
    request.setTransferTimeout(milliseconds);
}

void guardReply(QNetworkReply *reply, int deadlineMs, qint64 maxBytes)
{
    if (!reply)
        return;
    reply->setProperty(deadlineMsProperty, deadlineMs);
    reply->setProperty(maxBytesProperty, maxBytes);
    if (deadlineMs > 0) {
        auto *deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, reply, [reply] {
            if (reply->isRunning())
                abortLater(reply, deadlineProperty);
        });
        QObject::connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
        deadline->start(deadlineMs);
    }
    if (maxBytes > 0) {
        // What arrived moves to a store held to the limit, and Qt's network
        // thread stops reading once the reply holds a little, whatever the
        // event loop is busy with. (Qt 6.4 may stall short of a full read
        // buffer, so the buffer alone cannot tell a reply over its limit.)
        reply->setReadBufferSize(qMin(maxBytes, readAheadBytes));
        auto *store = new QBuffer(reply);
        store->setObjectName(QLatin1String(bodyStoreName));
        QObject::connect(reply, &QNetworkReply::readyRead, store, [reply, store, maxBytes] {
            // A copy from the disk cache kept to the limit when it came; Qt
            // stumbles when one that stands in for a server error is read
            // before it ends.
            if (reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
                return;
            QByteArray &held = store->buffer();
            const qint64 held0 = held.size();
            const qint64 arrived = reply->bytesAvailable();
            if (!replyTooLarge(reply) && held0 + arrived <= maxBytes) {
                // Read in place: a copy of what arrived would be a third
                // buffer of up to the limit.
                held.resize(held0 + arrived);
                held.resize(held0 + qMax<qint64>(0, reply->read(held.data() + held0, arrived)));
                return;
            }
            held = QByteArray();
            abortLater(reply, tooLargeProperty);
        });
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maxBytes] {
            bool known = false;
            const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
            if (known && declared > maxBytes)
                abortLater(reply, tooLargeProperty);
        });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply, maxBytes](qint64 received, qint64 total) {
                             if (received > maxBytes || total > maxBytes)
                                 abortLater(reply, tooLargeProperty);
                         });
    }
}

QByteArray replyBody(QNetworkReply *reply)
{
    if (!reply)
        return QByteArray();
    QByteArray body;
    if (auto *store = reply->findChild<QBuffer *>(QLatin1String(bodyStoreName), Qt::FindDirectChildrenOnly)) {
        body = std::exchange(store->buffer(), QByteArray());
        // When Qt answers a server error with the copy in its disk cache,
        // what was stored came with the error, not with the copy.
        if (reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
            body.clear();
    }
    if (reply->isOpen())
        body += reply->readAll();
    return body;
}

bool replyFailed(const QNetworkReply *reply)
{
    return !reply || reply->error() != QNetworkReply::NoError || replyTooLarge(reply) || replyHidesServerError(reply);
}

bool replyHidesServerError(const QNetworkReply *reply)
{
    if (!reply || reply->error() != QNetworkReply::NoError
        || !reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
        return false;
    // The copy's own length is known (Qt drops it for a body it inflated);
    // what sits before the copy came with the server's answer.
    bool known = false;
    const qint64 copyBytes = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (!known)
        return false;
    qint64 held = reply->bytesAvailable();
    if (auto *store = reply->findChild<QBuffer *>(QLatin1String(bodyStoreName), Qt::FindDirectChildrenOnly))
        held += store->buffer().size();
    return held > copyBytes;
}

void abortReply(QNetworkReply *reply)
{
    if (!reply)
        return;
    reply->setProperty(abortedProperty, true);
    reply->abort();
}

bool replyTooLarge(const QNetworkReply *reply)
{
    return reply && reply->property(tooLargeProperty).toBool();
}

bool replyTimedOut(const QNetworkReply *reply)
{
    if (!reply || replyTooLarge(reply))
        return false;
    switch (reply->error()) {
    case QNetworkReply::TimeoutError:
        return true;
    case QNetworkReply::OperationCanceledError:
        return !reply->property(abortedProperty).toBool();
    default:
        return false;
    }
}

bool replyDeadlinePassed(const QNetworkReply *reply)
{
    return replyTimedOut(reply) && reply->property(deadlineProperty).toBool();
}

QString timeoutMessage(int milliseconds)
{
    return tr("The server did not answer within %1 seconds.")
        .arg(QLocale::c().toString(milliseconds / 1000.0, 'g', 6));
}

QString tooLargeMessage(qint64 maxBytes)
{
    return tr("Reply too large: more than %1.").arg(QLocale::c().formattedDataSize(maxBytes, 0));
}

QString replyErrorText(const QNetworkReply *reply, int transferTimeoutMs)
{
    if (!reply)
        return QString();
    if (replyTooLarge(reply))
        return tooLargeMessage(reply->property(maxBytesProperty).toLongLong());
    if (replyHidesServerError(reply))
        return tr("The server answered with an error; only a stored copy of an earlier answer came back.");
    if (decompressionFailed(reply)) {
        const QString detail = reply->errorString().mid(decompressionLead().size()).trimmed();
        return detail.isEmpty() ? tr("The reply could not be decompressed.")
                                : tr("The reply could not be decompressed (%1).").arg(detail);
    }
    if (!replyTimedOut(reply))
        return reply->errorString();
    const int limit = replyDeadlinePassed(reply) ? reply->property(deadlineMsProperty).toInt() : transferTimeoutMs;
    return limit > 0 ? timeoutMessage(limit) : tr("The server did not answer in time.");
}

ReplyFailure replyFailure(const QNetworkReply *reply)
{
    if (!reply || replyTimedOut(reply))
        return ReplyFailure::NotReached;
    if (replyTooLarge(reply) || decompressionFailed(reply))
        return ReplyFailure::Unusable;
    if (replyHidesServerError(reply) || replyHttpStatus(reply) >= 400)
        return ReplyFailure::HttpError;
    return ReplyFailure::NotReached;
}

QString httpFailureText(const QString &serviceName, const QNetworkReply *reply, int status)
{
    if (status == 429 || (status >= 500 && status <= 599)) {
        return tr("The %1 service is temporarily unavailable (HTTP %2). Please try again in a moment.")
            .arg(serviceName)
            .arg(status);
    }
    const QString reason =
        reply ? QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray())
              : QString();
    return reason.isEmpty() ? tr("The %1 service answered HTTP %2.").arg(serviceName).arg(status)
                            : tr("The %1 service answered HTTP %2 (%3).").arg(serviceName).arg(status).arg(reason);
}

int replyHttpStatus(const QNetworkReply *reply)
{
    if (!reply)
        return 0;
    // When the server answers with an error status, Qt hands out the disk
    // cache's copy instead, carrying the status of that old answer: the error
    // code then tells which server error it really was.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (replyHidesServerError(reply))
        return 0; // the copy's status; the server's own is not told
    if (reply->error() == QNetworkReply::NoError
        || !reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
        return status;
    switch (reply->error()) {
    case QNetworkReply::InternalServerError:
        return 500;
    case QNetworkReply::OperationNotImplementedError:
        return 501;
    case QNetworkReply::ServiceUnavailableError:
        return 503;
    case QNetworkReply::UnknownServerError:
        return 502; // 502, 504 and the rarer server errors look alike here
    case QNetworkReply::ContentNotFoundError:
        return 404;
    case QNetworkReply::ContentGoneError:
        return 410;
    case QNetworkReply::AuthenticationRequiredError:
        return 401;
    case QNetworkReply::ContentAccessDenied:
        return 403;
    default:
        return status;
    }
}

} // namespace pv
