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
            // A copy from the disk cache was held to the limit when it came:
            // it is read whole at the end.
            if (reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
                return;
            QByteArray &held = store->buffer();
            const qint64 held0 = held.size();
            const qint64 arrived = reply->bytesAvailable();
            if (!replyTooLarge(reply) && held0 + arrived <= maxBytes) {
                // A large body gets room for the whole limit at once: pages
                // are only taken as they are written, where growing step by
                // step would copy it, old and new copies both resident.
                if (held0 + arrived > held.capacity() && held0 + arrived > readAheadBytes)
                    held.reserve(maxBytes);
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
    if (auto *store = reply->findChild<QBuffer *>(QLatin1String(bodyStoreName), Qt::FindDirectChildrenOnly))
        body = std::exchange(store->buffer(), QByteArray());
    if (reply->isOpen())
        body += reply->readAll();
    return body;
}

bool replyFailed(const QNetworkReply *reply)
{
    return !reply || reply->error() != QNetworkReply::NoError || replyTooLarge(reply);
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
    if (replyHttpStatus(reply) >= 400)
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
    return reply ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
}

} // namespace pv
