#pragma once

#include "core/NetworkReplies.h"
#include "core/TcgcsvGroup.h"
#include "prices/TcgcsvGroupData.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QJsonArray;
class QNetworkAccessManager;
class QNetworkReply;

namespace pv {

// Web client of the TCGCSV mirror of TCGplayer's catalogue: the group list of
// a category, and the products and market prices of one group. It is gentle
// with the service: one request in flight, at least 100 ms between the starts
// of two sends, replies kept in a disk cache, a fixed User-Agent.
//
// Every request ends in exactly one of groupsReady, groupDataReady or
// requestFailed, or in silence when cancelAll dropped it. A group's data
// takes two replies (products, then prices), reported once under one id.
class TcgcsvClient : public QObject
{
    Q_OBJECT
public:
    enum RequestKind { Groups = 0, Products = 1, Prices = 2 };

    struct Request
    {
        int id = 0;
        int kind = Groups;
        int categoryId = 0;
        int groupId = 0;
        QString setName; // what the user knows the group's set as; may be empty
        QUrl url;
        QString context;
    };

    static constexpr int EnglishCategory = 3;
    static constexpr int JapaneseCategory = 85;
    static constexpr int PacingIntervalMs = 100;
    static constexpr int TransferTimeoutMs = 45000;
    // However slowly it comes, a reply has this long to arrive whole.
    static constexpr int DeadlineMs = 180000;
    static constexpr qint64 DiskCacheBytes = 64 * 1024 * 1024;

    // The service address followed by "/tcgplayer", without a trailing slash.
    static QString apiBase();
    static QByteArray userAgent();
    static QString logCategory();

    explicit TcgcsvClient(QObject *parent = nullptr);
    ~TcgcsvClient() override;

    int requestGroups(int categoryId);
    // The answer, groupDataReady or requestFailed, comes under the returned id.
    // Failures and the log name the group by the set's name when given.
    int requestGroupData(int categoryId, int groupId, const QString &setName = QString());
    // Drops every queued request and partly assembled group and aborts the
    // running reply; nothing is reported for them but the pending count.
    void cancelAll();
    // Drops one request: queued, running (aborted) or half assembled; nothing
    // is reported for it but the pending count.
    void cancel(int requestId);

    // Queued plus running requests.
    int pendingCount() const;

    // Tests shorten the per-request transfer time-out and deadline with these.
    void setTransferTimeout(int milliseconds);
    void setDeadline(int milliseconds);

    // The largest reply body accepted for a kind of request, well above the
    // largest the service sends.
    static qint64 maxReplyBytes(int kind);

    // The "results" list of a reply body; false with the reason when the body
    // is not a successful envelope holding a list.
    static bool readEnvelope(const QByteArray &body, QJsonArray *results, QString *problem);

    // The products of a product list that carry a collector number, in order.
    static QList<TcgcsvProduct> numberedProducts(const QJsonArray &rows);

    // Price rows left out of a group, counted for the log.
    struct SkippedPrices
    {
        int notNumbers = 0; // a market price written as text or another non-number
        int outOfRange = 0; // below 0 or beyond Pricing::MaxPrice
        int disputed = 0;   // sub-types of a product listed twice, differently
    };
    // The market prices of the price rows applied to the numbered products.
    // Rows of one product and sub-type that agree are one row; rows that
    // disagree leave that sub-type without a price (disputedSubTypes).
    static void applyPrices(QList<TcgcsvProduct> &numbered, const QJsonArray &rows, SkippedPrices *skipped);

Q_SIGNALS:
    void groupsReady(int requestId, int categoryId, const QList<pv::TcgcsvGroup> &groups);
    void groupDataReady(int requestId, const pv::TcgcsvGroupData &data);
    void requestFailed(int requestId, const QString &context, const QString &message, pv::ReplyFailure kind);
    void pendingCountChanged(int pending);

private:
    // Products of a group waiting for its prices. Every numbered product is
    // kept in service order; which one is filed under a shared number is
    // decided once the prices are known.
    struct PendingGroup
    {
        TcgcsvGroupData data;
        QList<TcgcsvProduct> numbered;
    };

    int enqueue(Request request);
    void pump();
    void send(const Request &request);
    void onFinished(QNetworkReply *reply);
    void handleReply(QNetworkReply *reply, const Request &request);
    void handleProducts(const Request &request, const QJsonArray &payload);
    void handlePrices(const Request &request, const QJsonArray &payload);
    void fail(const Request &request, const QString &message, ReplyFailure kind);
    // The group of a request as the log names it: by its set's name, with its id.
    static QString groupLabel(const Request &request);
    void emitPendingCount();

    QNetworkAccessManager *m_network = nullptr;
    QTimer m_pacer;
    qint64 m_lastSendMs = 0;  // SteadyClock time of the last send (of construction before any)
    QList<Request> m_queue;
    QHash<QNetworkReply *, Request> m_inFlight;
    QList<int> m_cancelledIds;
    QHash<int, PendingGroup> m_pendingGroupData;
    int m_nextId = 1;
    int m_transferTimeoutMs = TransferTimeoutMs;
    int m_deadlineMs = DeadlineMs;
};

} // namespace pv
