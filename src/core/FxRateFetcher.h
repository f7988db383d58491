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
        // The rates kept aside to be confirmed by a later day's answer.
        QMap<QString, double> keptAside;
    };
    static bool readReply(const QByteArray &body, Reply *reply);

    // A rate replaced by one of another figure: units of the code per 1 USD
    // before and after, with their dates (invalid when not known).
    struct Move
    {
        QString code;
        double from = 0.0;
        QDate fromDate;
        bool fromBuiltIn = false; // no rate was stored: the built-in one was in use
        double to = 0.0;
        QDate toDate;
        // The move as a fraction of the rate before, and as a signed
        // percentage with one decimal ("+5.6", "-29.1").
        double change() const { return to / from - 1.0; }
        QString percentText() const;
    };

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
    // The service's rate for the code lay beyond the band of the one in use
    // (or, with none, far from the built-in rate) and was kept aside; it
    // is taken when a later day's answer confirms it.
    void rateKeptAside(const QString &code, double answered);
    // A rate taken moved further than FxRates::notableMove from the one in
    // use; logged already. finished(true) follows.
    void rateMoved(const pv::FxRateFetcher::Move &move);

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
