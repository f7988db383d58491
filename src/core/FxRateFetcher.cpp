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

void FxRateFetcher::setTimeoutForTesting(int milliseconds, int deadlineMs)
{
    m_timeoutMs = milliseconds;
    if (deadlineMs > 0)
        m_deadlineMs = deadlineMs;
}

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
    guardReply(reply, m_deadlineMs, MaxReplyBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
}

void FxRateFetcher::onReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();

    if (replyFailed(reply)) {
        Log::warn(category, tr("Rate lookup failed (HTTP %1): %2")
                                .arg(QString::number(replyHttpStatus(reply)), replyErrorText(reply, m_timeoutMs)));
        Q_EMIT finished(false);
        return;
    }

    Reply answer;
    if (!readReply(replyBody(reply), &answer)) {
        Log::warn(category, answer.problem);
        Q_EMIT finished(false);
        return;
    }
    if (!believe(&answer)) {
        Q_EMIT eurRateRefused(answer.rates.value(QStringLiteral("EUR")));
        Q_EMIT finished(false);
        return;
    }
    FxRates::store(answer.rates, answer.date);
    Q_EMIT finished(true);
}

bool FxRateFetcher::believe(Reply *reply)
{
    for (const auto &row : FxRates::builtInRates()) {
        const double rate = reply->rates.value(row.first, 0.0);
        if (!FxRates::isUsable(rate) || FxRates::isBelievable(row.first, rate))
            continue;
        const double inUse = FxRates::rateFor(row.first);
        if (row.first == QLatin1String("EUR")) {
            Log::warn(category,
                      tr("Rate reply gave 1 USD = %1 EUR, more than twice or under half the rate in use "
                         "(1 USD = %2 EUR); keeping the stored table.")
                          .arg(rate, 0, 'f', 5)
                          .arg(inUse, 0, 'f', 5));
            return false;
        }
        Log::warn(category,
                  tr("Rate reply gave 1 USD = %1 %2, more than twice or under half the rate in use "
                     "(1 USD = %3 %2); keeping the stored rate.")
                      .arg(QString::number(rate, 'f', 5), row.first, QString::number(inUse, 'f', 5)));
        reply->rates.remove(row.first);
    }
    return true;
}

bool FxRateFetcher::readReply(const QByteArray &body, Reply *reply)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonObject rates = object.value(QLatin1String("rates")).toObject();
    reply->rates.clear();
    for (auto it = rates.constBegin(); it != rates.constEnd(); ++it)
        reply->rates.insert(it.key(), it.value().toDouble(0.0));

    if (!FxRates::isUsable(reply->rates.value(QStringLiteral("EUR"), 0.0))) {
        reply->problem = tr("Rate reply carried no usable EUR rate; keeping the stored table.");
        return false;
    }
    // A reply without a usable date is stored as today's (FxRates::store).
    reply->date = QDate::fromString(object.value(QLatin1String("date")).toString(), Qt::ISODate);
    return true;
}

} // namespace pv
