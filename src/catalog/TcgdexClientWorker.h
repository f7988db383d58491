#pragma once

#include "catalog/TcgdexClient.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QVariant>

#include <functional>

class QJsonDocument;
struct QJsonParseError;
class QNetworkAccessManager;
class QNetworkReply;

namespace pv {

// The card database client's network side, living on the client's own
// thread: the request queue, the network managers with their disk cache,
// reading and guarding the replies, retries, time-outs, parsing the JSON
// into records and decoding pictures. It takes requests as values and hands
// back answers as values; the client turns them into its signals on the GUI
// thread.
class TcgdexClientWorker : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        enum Outcome {
            Ready,    // value holds the record, list or picture (a QImage)
            Failed,   // message and failure say why
            Retrying, // the request waits for another attempt
        };
        int id = 0;
        Outcome outcome = Ready;
        QVariant value;
        QString message;
        ReplyFailure failure = ReplyFailure::NotReached;
    };
    using Deliver = std::function<void(Answer)>;

    // The answers go to deliver, called on this thread.
    explicit TcgdexClientWorker(Deliver deliver);
    ~TcgdexClientWorker() override;

    void submit(const TcgdexClient::Request &request);
    void cancel(int requestId);
    void cancelAll();
    void overrideTiming(int transferTimeoutMs, int retryBaseDelay, int deadline);

private:
    using Request = TcgdexClient::Request;

    void pump();
    void send(const Request &request);
    void onReplyFinished(QNetworkReply *reply);
    void handleReply(QNetworkReply *reply, const Request &request);
    void handleFailure(QNetworkReply *reply, const Request &request, int status);
    void handlePicture(const Request &request, const QByteArray &body);
    // Reports a reply that is not the JSON asked for; true when it was not.
    bool refuseUnusable(const Request &request, const QJsonParseError &parseError, const QString &shape);
    QVariant recordsOf(const Request &request, const QJsonDocument &document) const;
    void fail(const Request &request, const QString &message, ReplyFailure failure);
    void retryLater(const Request &request, int delayMs);
    void onRetryDue(int requestId);
    int transferTimeoutFor(int kind) const;
    int deadlineFor(int kind) const;

    Deliver m_deliver;
    QNetworkAccessManager *m_network = nullptr;
    // Without a disk cache, for the requests that bypass it.
    QNetworkAccessManager *m_uncachedNetwork = nullptr;
    QList<Request> m_queue;
    QHash<QNetworkReply *, Request> m_inFlight;
    QList<Request> m_delayed;
    QList<int> m_cancelled;
    bool m_closing = false;
    int m_timeoutOverrideMs = 0;
    int m_deadlineOverrideMs = 0;
    int m_retryBaseDelayMs = TcgdexClient::retryBaseDelayMs;
};

} // namespace pv
