#include "core/NetworkReplies.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace pv {

namespace {
const char *const abortedProperty = "pvAbortedOnPurpose";
}

void setTransferTimeout(QNetworkRequest &request, int milliseconds)
{
    request.setTransferTimeout(milliseconds);
}

void abortReply(QNetworkReply *reply)
{
    if (!reply)
        return;
    reply->setProperty(abortedProperty, true);
    reply->abort();
}

bool replyTimedOut(const QNetworkReply *reply)
{
    if (!reply)
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

QString replyErrorText(const QNetworkReply *reply)
{
    if (!reply)
        return QString();
    if (replyTimedOut(reply))
        return QCoreApplication::translate("pv::NetworkReplies", "The server did not answer in time.");
    return reply->errorString();
}

int replyHttpStatus(const QNetworkReply *reply)
{
    if (!reply)
        return 0;
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace pv
