#pragma once

#include <QObject>

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
    // For tests: a shorter transfer time-out for the requests sent from now on.
    void setTimeoutForTesting(int milliseconds);

Q_SIGNALS:
    void finished(bool ok);

private:
    void onReplyFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_network = nullptr;
    int m_timeoutMs = DefaultTimeoutMs;
};

} // namespace pv
