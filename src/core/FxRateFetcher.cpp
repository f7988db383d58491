#include "core/FxRateFetcher.h"

#include "core/FxRates.h"
#include "core/Log.h"
#include "core/NetworkReplies.h"
#include "core/ServiceUrls.h"
#include "core/SteadyClock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <cmath>

namespace pv {

namespace {

const QString category = QStringLiteral("fx");

// "1 USD = 0.92115 EUR of 2026-10-30"; the built-in rate, or one of no
// known date, without one.
QString ratePhrase(const QString &code, double rate, const QDate &date, bool builtIn)
{
    const QString figure = QString::number(rate, 'f', 5);
    if (builtIn)
        return FxRateFetcher::tr("the built-in 1 USD = %1 %2").arg(figure, code);
    if (!date.isValid())
        return FxRateFetcher::tr("1 USD = %1 %2 of no known date").arg(figure, code);
    return FxRateFetcher::tr("1 USD = %1 %2 of %3").arg(figure, code, date.toString(Qt::ISODate));
}

// Nothing of an answer that cannot be right is stored; false.
bool refuse(FxRateFetcher::Reply *reply, const QString &why)
{
    reply->refusal = why;
    reply->problem = FxRateFetcher::tr("Rate reply refused: %1; keeping the stored table.").arg(why);
    return false;
}

} // namespace

QString FxRateFetcher::Move::percentText() const
{
    const QString number = QString::number(change() * 100.0, 'f', 1);
    return change() > 0.0 ? QLatin1Char('+') + number : number;
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
    const bool read = readReply(replyBody(reply), &answer);
    const bool believed = read && believe(&answer);
    // Judged against the rates stored before this answer and the euro rate
    // it may have had kept aside: either dates the service's answer, which
    // is then not asked for again the same day.
    if (read)
        FxRates::noteAnswerDated(answer.date);
    for (auto kept = answer.keptAside.cbegin(); kept != answer.keptAside.cend(); ++kept)
        Q_EMIT rateKeptAside(kept.key(), kept.value());
    if (!believed) {
        Log::warn(category, answer.problem);
        if (!answer.refusal.isEmpty())
            Q_EMIT ratesRefused(answer.refusal);
        Q_EMIT finished(false);
        return;
    }
    // What was in use before, to say the moves that are worth a word.
    QList<Move> moves;
    for (const auto &row : FxRates::builtInRates()) {
        if (answer.rates.contains(row.first))
            moves.append({row.first, FxRates::rateFor(row.first), FxRates::lastRateDate(row.first),
                          !FxRates::hasRate(row.first), 0.0, QDate()});
    }
    FxRates::store(answer.rates, answer.date);
    for (Move &move : moves) {
        move.to = FxRates::rateFor(move.code);
        move.toDate = FxRates::lastRateDate(move.code);
        if (!(std::abs(move.change()) > FxRates::notableMove))
            continue;
        Log::info(category,
                  tr("The %1 rate moved by %2% to %3, from %4.")
                      .arg(move.code, move.percentText(),
                           ratePhrase(move.code, move.to, move.toDate, false),
                           ratePhrase(move.code, move.from, move.fromDate, move.fromBuiltIn)));
        Q_EMIT rateMoved(move);
    }
    Q_EMIT finished(true);
}

namespace {

// Why a rate the service answered for the code and date may not be taken;
// empty when it may.
QString doubtAbout(const QString &code, double rate, const QDate &date)
{
    if (FxRates::isBelievable(code, rate, date))
        return {};
    const QString answered = QString::number(rate, 'f', 5);
    if (!FxRates::isNearBuiltIn(code, rate))
        return FxRateFetcher::tr("the service answered 1 USD = %1 %2, more than twice or under half the built-in "
                                 "rate (1 USD = %3 %2)")
            .arg(answered, code, QString::number(FxRates::builtInRate(code), 'f', 5));
    const QString keptAside = FxRateFetcher::tr("kept aside until the service answers it again for a later day");
    if (FxRates::lastRate(code) <= 0.0)
        return FxRateFetcher::tr("the service answered 1 USD = %1 %2, more than %3% away from the built-in rate (1 USD "
                                 "= %4 %2), %5")
            .arg(answered, code, QString::number(qRound(FxRates::builtInReach * 100.0)),
                 QString::number(FxRates::builtInRate(code), 'f', 5), keptAside);
    const QString last = QString::number(FxRates::lastRate(code), 'f', 5);
    const QDate since = FxRates::lastRateDate(code);
    if (since.isValid() && date < since)
        return FxRateFetcher::tr("the service answered 1 USD = %1 %2 for %3, older than the rate of %4 (1 USD = %5 "
                                 "%2)")
            .arg(answered, code, date.toString(Qt::ISODate), since.toString(Qt::ISODate), last);
    if (date == since)
        return FxRateFetcher::tr("the service answered 1 USD = %1 %2 for %3, another figure for the day of the "
                                 "stored rate (1 USD = %4 %2)")
            .arg(answered, code, date.toString(Qt::ISODate), last);
    // Beyond the band of the stored rate: kept aside (FxRates::awaitsConfirmation).
    const QString allowed = QString::number(qRound(FxRates::allowedMove(code, date) * 100.0));
    if (!since.isValid())
        return FxRateFetcher::tr("the service answered 1 USD = %1 %2, more than %3% away from the stored rate (1 USD "
                                 "= %4 %2), %5")
            .arg(answered, code, allowed, last, keptAside);
    return FxRateFetcher::tr("the service answered 1 USD = %1 %2, more than %3% away from the rate of %4 (1 USD = "
                             "%5 %2), %6")
        .arg(answered, code, allowed, since.toString(Qt::ISODate), last, keptAside);
}

} // namespace

bool FxRateFetcher::believe(Reply *reply)
{
    // Judged by the date it is stored under: without one, today's.
    const QDate today = SteadyClock::today();
    const QDate date = reply->date.isValid() ? reply->date : today;
    // A date past tomorrow is no time zone's today; stored, it would keep
    // every later answer out as older.
    if (date > today.addDays(1))
        return refuse(reply,
                      tr("the service answered rates for %1, a day still to come").arg(date.toString(Qt::ISODate)));
    const QString eur = QStringLiteral("EUR");
    for (const auto &row : FxRates::builtInRates()) {
        const double rate = reply->rates.value(row.first, 0.0);
        if (!FxRates::isUsable(rate))
            continue;
        const QString doubt = doubtAbout(row.first, rate, date);
        if (!doubt.isEmpty() && FxRates::awaitsConfirmation(row.first, rate, date)) {
            FxRates::keepAside(row.first, rate, date);
            reply->keptAside.insert(row.first, rate);
        }
        if (doubt.isEmpty()) {
            // The day's rate again: the stored figure stays as it is, so
            // that rounding cannot move it either.
            if (FxRates::confirmsStored(row.first, rate, date))
                reply->rates.insert(row.first, FxRates::lastRate(row.first));
            continue;
        }
        if (row.first == eur) {
            // Dollar prices become euros at this rate: without it the
            // answer is worth nothing, the other rates included.
            return refuse(reply, doubt);
        }
        Log::warn(category, tr("Rate reply refused in part: %1; keeping the stored %2 rate.").arg(doubt, row.first));
        reply->rates.remove(row.first);
    }
    return true;
}

bool FxRateFetcher::readReply(const QByteArray &body, Reply *reply)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    reply->rates.clear();
    reply->problem.clear();
    reply->refusal.clear();

    const QJsonObject rates = object.value(QLatin1String("rates")).toObject();
    for (auto it = rates.constBegin(); it != rates.constEnd(); ++it)
        reply->rates.insert(it.key(), it.value().toDouble(0.0));

    // The rates asked for are units per 1 USD. An answer per euro reads
    // 1 EUR = 1 EUR, or has no euro rate at all, and would value every
    // dollar figure as that many euros: it is refused, not missed.
    const QJsonValue base = object.value(QLatin1String("base"));
    const QJsonValue amount = object.value(QLatin1String("amount"));
    const bool unitSaid = base.isString() && amount.isDouble();
    if (unitSaid && (base.toString() != QLatin1String("USD") || amount.toDouble() != 1.0))
        return refuse(reply,
                      tr("the service answered rates per %1 %2 rather than per 1 USD")
                          .arg(QString::number(amount.toDouble(), 'g', 6), base.toString()));
    if (!FxRates::isUsable(reply->rates.value(QStringLiteral("EUR"), 0.0))) {
        reply->problem = tr("Rate reply carried no usable EUR rate; keeping the stored table.");
        return false;
    }
    if (!unitSaid)
        return refuse(reply, tr("the service did not say its rates are per 1 USD"));
    // A reply without a usable date is stored as today's (FxRates::store).
    reply->date = QDate::fromString(object.value(QLatin1String("date")).toString(), Qt::ISODate);
    return true;
}

} // namespace pv
