#include "core/FxRateFetcher.h"

#include "core/FxRates.h"
#include "core/Log.h"
#include "core/NetworkReplies.h"
#include "core/ServiceUrls.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace pv {

namespace {
const QString category = QStringLiteral("fx");
}

FxRateFetcher::FxRateFetcher(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
}

FxRateFetcher::~FxRateFetcher() = default;

void FxRateFetcher::setTimeoutForTesting(int milliseconds) { m_timeoutMs = milliseconds; }

void FxRateFetcher::fetch()
{
    const QUrl url(ServiceUrls::fxBase()
                   + QStringLiteral("/v1/latest?base=USD&symbols=EUR,CAD,JPY,GBP,AUD,CHF"));
    Log::debug(category, QStringLiteral("GET %1").arg(url.toString()));

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tallowmerick/0.1 (Qt)"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    setTransferTimeout(request, m_timeoutMs);

    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
}

void FxRateFetcher::onReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();

    if (reply->error() != QNetworkReply::NoError) {
        Log::warn(category, tr("Rate lookup failed (HTTP %1): %2")
                                .arg(QString::number(replyHttpStatus(reply)), replyErrorText(reply)));
        Q_EMIT finished(false);
        return;
    }

    const QJsonObject body = QJsonDocument::fromJson(reply->readAll()).object();
    const QJsonObject rates = body.value(QLatin1String("rates")).toObject();
    QMap<QString, double> table;
    for (auto it = rates.constBegin(); it != rates.constEnd(); ++it)
        table.insert(it.key(), it.value().toDouble(0.0));

    if (!FxRates::isUsable(table.value(QStringLiteral("EUR"), 0.0))) {
        Log::warn(category, tr("Rate reply carried no usable EUR rate; keeping the stored table."));
        Q_EMIT finished(false);
        return;
    }

    // A reply without a usable date is stored as today's (FxRates::store).
    const QDate date = QDate::fromString(body.value(QLatin1String("date")).toString(), Qt::ISODate);
    FxRates::store(table, date);
    Q_EMIT finished(true);
}

} // namespace pv
