#pragma once

#include <QDate>
#include <QMap>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace pv {

// Fetches the day's exchange rates from US dollars and stores them in the
// settings (FxRates). Any number of fetches may be in flight; each ends with
// one finished signal.
class FxRateFetcher : public QObject
{
    Q_OBJECT
public:
    explicit FxRateFetcher(QObject *parent = nullptr);
    ~FxRateFetcher() override;

    void fetch();

    static constexpr int DefaultTimeoutMs = 15000;
    // However slowly it comes, a reply has this long to arrive whole.
    static constexpr int DefaultDeadlineMs = 60000;
    // The real reply is about 200 bytes.
    static constexpr qint64 MaxReplyBytes = 64 * 1024;
    // For tests: a shorter transfer time-out (and deadline, when given) for
    // the requests sent from now on.
    void setTimeoutForTesting(int milliseconds, int deadlineMs = 0);

    // The rates and date of a reply body (the date invalid when it has
    // none); false with the reason when it is not priced per 1 USD or
    // carries no usable EUR rate.
    struct Reply
    {
        QMap<QString, double> rates;
        QDate date;
        QString problem;
        // Why the service's answer cannot be right, when that is the
        // reason: a phrase that goes into other texts.
        QString refusal;
    };
    static bool readReply(const QByteArray &body, Reply *reply);

Q_SIGNALS:
    void finished(bool ok);
    // The service answered, but in another unit, for a day still to come or
    // with a euro rate beyond belief (FxRates::isBelievable: far from the
    // built-in rate, older than the stored one, another figure for the
    // stored one's own day, or beyond the band of the stored one, which is
    // then kept aside), and nothing was stored; the reason is a phrase such
    // as "the service answered 1 USD = 1.70000 EUR, ...".
    // finished(false) follows.
    void ratesRefused(const QString &reason);

private:
    void onReplyFinished(QNetworkReply *reply);
    // Leaves out the rates beyond belief for the reply's date, keeping aside
    // those beyond the band of the stored ones; false with the reason when
    // the euro rate is one or the date is still to come.
    static bool believe(Reply *reply);

    QNetworkAccessManager *m_network = nullptr;
    int m_timeoutMs = DefaultTimeoutMs;
    int m_deadlineMs = DefaultDeadlineMs;
};

} // namespace pv
