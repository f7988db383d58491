#include "prices/TcgcsvClient.h"

#include "core/CardNumbers.h"
#include "core/HttpDiskCache.h"
#include "core/Log.h"
#include "core/NetworkReplies.h"
#include "core/Pricing.h"
#include "core/ServiceUrls.h"
#include "core/SteadyClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace pv {

namespace {

// Value of the first "extendedData" entry with exactly this name, trimmed.
QString extendedValue(const QJsonArray &extendedData, const QString &name)
{
    for (const QJsonValue &entry : extendedData) {
        const QJsonObject object = entry.toObject();
        if (object.value(QLatin1String("name")).toString() == name)
            return object.value(QLatin1String("value")).toString().trimmed();
    }
    return {};
}

// Whether the product already filed under a collector number stays when
// another product with the same number comes along. A priced product beats
// one without a market price, whichever came first; between two priced (or
// two unpriced) ones a plain name beats a name with a parenthesised note
// ("Charizard" over "Charizard (Error)"), and otherwise the later one wins.
bool storedProductStays(const TcgcsvProduct &stored, const TcgcsvProduct &incoming)
{
    const bool storedPriced = stored.isPriced();
    if (storedPriced != incoming.isPriced())
        return storedPriced;
    const QChar paren(QLatin1Char('('));
    return incoming.name.contains(paren) && !stored.name.contains(paren);
}

} // namespace

QString TcgcsvClient::apiBase()
{
    return ServiceUrls::tcgcsvBase() + QStringLiteral("/tcgplayer");
}

QByteArray TcgcsvClient::userAgent()
{
    return QByteArrayLiteral("Tallowmerick/0.1 (Pokemon TCG collection manager; +https://tcgdex.dev)");
}

QString TcgcsvClient::logCategory()
{
    return QStringLiteral("tcgcsv");
}

TcgcsvClient::TcgcsvClient(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    // The group data travels in a signal, also across queued connections.
    qRegisterMetaType<pv::TcgcsvGroupData>("pv::TcgcsvGroupData");

    auto *cache = new HttpDiskCache(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
                                        + QStringLiteral("/tcgcsvcache"),
                                    DiskCacheBytes, this);
    m_network->setCache(cache);

    m_pacer.setSingleShot(true);
    // A coarse timer may fire a little early; the pacing must never be shorter.
    m_pacer.setTimerType(Qt::PreciseTimer);
    connect(&m_pacer, &QTimer::timeout, this, &TcgcsvClient::pump);
    m_lastSendMs = SteadyClock::nowMs();

    Log::info(logCategory(),
              QStringLiteral("Client ready. Endpoint %1, disk cache %2, one request every %3 ms.")
                  .arg(apiBase(), cache->cacheDirectory(), QString::number(PacingIntervalMs)));
}

TcgcsvClient::~TcgcsvClient()
{
    cancelAll();
}

int TcgcsvClient::requestGroups(int categoryId)
{
    Request request;
    request.kind = Groups;
    request.categoryId = categoryId;
    request.url = QUrl(QStringLiteral("%1/%2/groups").arg(apiBase()).arg(categoryId), QUrl::TolerantMode);
    request.context = tr("the TCGCSV set list");
    return enqueue(request);
}

int TcgcsvClient::requestGroupData(int categoryId, int groupId, const QString &setName)
{
    Request request;
    request.kind = Products;
    request.categoryId = categoryId;
    request.groupId = groupId;
    request.setName = setName;
    request.url = QUrl(QStringLiteral("%1/%2/%3/products").arg(apiBase()).arg(categoryId).arg(groupId),
                       QUrl::TolerantMode);
    // A group id means nothing to a user; the set's name does.
    request.context =
        setName.isEmpty() ? tr("TCGCSV prices for group %1").arg(groupId) : tr("TCGCSV prices for %1").arg(setName);
    return enqueue(request);
}

QString TcgcsvClient::groupLabel(const Request &request)
{
    return request.setName.isEmpty() ? QStringLiteral("Group %1").arg(request.groupId)
                                     : QStringLiteral("%1 (group %2)").arg(request.setName).arg(request.groupId);
}

void TcgcsvClient::cancelAll()
{
    m_queue.clear();
    m_pendingGroupData.clear();
    // Aborting finishes the reply at once, which takes it out of m_inFlight.
    const QList<QNetworkReply *> running = m_inFlight.keys();
    for (QNetworkReply *reply : running) {
        const auto it = m_inFlight.constFind(reply);
        if (it == m_inFlight.constEnd())
            continue;
        m_cancelledIds.append(it->id);
        reply->abort();
    }
    emitPendingCount();
}

void TcgcsvClient::cancel(int requestId)
{
    // A group's prices are queued under its products' id.
    m_queue.removeIf([requestId](const Request &request) { return request.id == requestId; });
    m_pendingGroupData.remove(requestId);
    for (auto it = m_inFlight.cbegin(); it != m_inFlight.cend(); ++it) {
        if (it->id != requestId)
            continue;
        m_cancelledIds.append(requestId);
        // Aborting finishes the reply at once, which takes it out of m_inFlight.
        it.key()->abort();
        break;
    }
    emitPendingCount();
}

int TcgcsvClient::pendingCount() const
{
    return int(m_queue.size() + m_inFlight.size());
}

void TcgcsvClient::setTransferTimeout(int milliseconds)
{
    m_transferTimeoutMs = milliseconds;
}

void TcgcsvClient::setDeadline(int milliseconds)
{
    m_deadlineMs = milliseconds;
}

qint64 TcgcsvClient::maxReplyBytes(int kind)
{
    constexpr qint64 MiB = 1024 * 1024;
    switch (kind) {
    case Products:
        return 32 * MiB; // the largest group's products are about 600 kB
    case Prices:
        return 16 * MiB; // and its prices about 90 kB
    default:
        return 4 * MiB; // a category's group list is about 40 kB
    }
}

int TcgcsvClient::enqueue(Request request)
{
    request.id = m_nextId++;
    m_queue.append(request);
    emitPendingCount();
    pump();
    return request.id;
}

void TcgcsvClient::pump()
{
    if (m_queue.isEmpty() || !m_inFlight.isEmpty() || m_pacer.isActive())
        return;
    const qint64 elapsed = SteadyClock::nowMs() - m_lastSendMs;
    if (elapsed >= PacingIntervalMs)
        send(m_queue.takeFirst());
    else
        m_pacer.start(int(PacingIntervalMs - elapsed));
}

void TcgcsvClient::send(const Request &request)
{
    m_lastSendMs = SteadyClock::nowMs();

    QNetworkRequest networkRequest(request.url);
    networkRequest.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::NoLessSafeRedirectPolicy);
    networkRequest.setTransferTimeout(m_transferTimeoutMs);

    Log::debug(logCategory(), QStringLiteral("#%1 GET %2").arg(QString::number(request.id), request.url.toString()));

    QNetworkReply *reply = m_network->get(networkRequest);
    guardReply(reply, m_deadlineMs, maxReplyBytes(request.kind));
    m_inFlight.insert(reply, request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void TcgcsvClient::onFinished(QNetworkReply *reply)
{
    const auto it = m_inFlight.find(reply);
    if (it == m_inFlight.end())
        return;
    const Request request = it.value();
    m_inFlight.erase(it);
    // The receiver of an answer may let this client go (its owner is done);
    // the reply went with the client's network manager then.
    const QPointer<TcgcsvClient> alive(this);
    handleReply(reply, request);
    if (!alive)
        return;
    reply->deleteLater();
    emitPendingCount();
    pump();
}

void TcgcsvClient::handleReply(QNetworkReply *reply, const Request &request)
{
    if (m_cancelledIds.removeOne(request.id)) {
        Log::debug(logCategory(), QStringLiteral("#%1 cancelled (%2)").arg(QString::number(request.id), request.context));
        return;
    }

    const int status = replyHttpStatus(reply);
    if (replyFailed(reply)) {
        if (status == 401) {
            fail(request,
                 tr("TCGCSV refused the request (401). The User-Agent header was rejected; "
                    "no account is involved."),
                 ReplyFailure::HttpError);
        } else if (replyTooLarge(reply) || replyTimedOut(reply)) {
            // Only cancelAll aborts a reply on purpose, and those were handled
            // above: an abort that reaches here is a time-out or a reply over
            // its size limit.
            fail(request, replyErrorText(reply, m_transferTimeoutMs), replyFailure(reply));
        } else if (status >= 400) {
            fail(request, httpFailureText(QStringLiteral("TCGCSV"), reply, status), ReplyFailure::HttpError);
        } else {
            fail(request, replyErrorText(reply), replyFailure(reply));
        }
        return;
    }

    const QByteArray body = replyBody(reply);
    const bool fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    Log::debug(logCategory(), QStringLiteral("#%1 HTTP %2, %3 bytes%4 (%5)")
                                  .arg(QString::number(request.id), QString::number(status),
                                       QString::number(body.size()),
                                       fromCache ? QStringLiteral(" from cache") : QString(), request.context));

    QJsonArray payload;
    QString problem;
    if (!readEnvelope(body, &payload, &problem)) {
        fail(request, problem, ReplyFailure::Unusable);
        return;
    }

    switch (request.kind) {
    case Groups: {
        // The service lists every set it has ever had: an empty list is a
        // broken answer, and taken as one it would leave every set unmatched.
        if (payload.isEmpty()) {
            fail(request, tr("the list came back empty"), ReplyFailure::Empty);
            return;
        }
        QList<TcgcsvGroup> groups;
        groups.reserve(payload.size());
        for (const QJsonValue &value : payload)
            groups.append(TcgcsvGroup::fromJson(value.toObject()));
        Log::info(logCategory(), QStringLiteral("Category %1: %2 groups listed.")
                                     .arg(request.categoryId)
                                     .arg(groups.size()));
        Q_EMIT groupsReady(request.id, request.categoryId, groups);
        break;
    }
    case Products:
        handleProducts(request, payload);
        break;
    case Prices:
        handlePrices(request, payload);
        break;
    default:
        break;
    }
}

bool TcgcsvClient::readEnvelope(const QByteArray &body, QJsonArray *results, QString *problem)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *problem = tr("Malformed response: %1").arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        *problem = tr("Malformed response: %1").arg(tr("the reply is not an object"));
        return false;
    }
    const QJsonObject envelope = document.object();
    if (!envelope.value(QLatin1String("success")).toBool(false)) {
        QString text = envelope.value(QLatin1String("errors")).toArray().at(0).toString();
        if (text.isEmpty())
            text = tr("the service reported a failure");
        *problem = text;
        return false;
    }
    const QJsonValue list = envelope.value(QLatin1String("results"));
    if (!list.isUndefined() && !list.isArray()) {
        // A list that is not a list is a broken reply, not an empty catalogue:
        // reporting it as empty would leave the sets unmatched for good.
        *problem = tr("Malformed response: %1").arg(tr("\"results\" is not an array"));
        return false;
    }
    *results = list.toArray();
    return true;
}

QList<TcgcsvProduct> TcgcsvClient::numberedProducts(const QJsonArray &rows)
{
    QList<TcgcsvProduct> numbered;
    for (const QJsonValue &value : rows) {
        const QJsonObject object = value.toObject();
        TcgcsvProduct product;
        product.productId = object.value(QLatin1String("productId")).toInt(0);
        product.name = object.value(QLatin1String("name")).toString().trimmed();
        const QJsonArray extendedData = object.value(QLatin1String("extendedData")).toArray();
        product.number = extendedValue(extendedData, QStringLiteral("Number"));
        product.rarity = extendedValue(extendedData, QStringLiteral("Rarity"));
        if (normalizeCardNumber(product.number).isEmpty())
            continue;
        numbered.append(product);
    }
    return numbered;
}

void TcgcsvClient::handleProducts(const Request &request, const QJsonArray &payload)
{
    // A group is asked for because a set was matched to it: without products
    // the answer tells nothing of that set's cards.
    if (payload.isEmpty()) {
        fail(request, tr("the set came back without products"), ReplyFailure::Empty);
        return;
    }
    PendingGroup pending;
    pending.data.categoryId = request.categoryId;
    pending.data.groupId = request.groupId;
    pending.data.productCount = int(payload.size());

    pending.numbered = numberedProducts(payload);
    QSet<QString> keys;
    for (const TcgcsvProduct &product : std::as_const(pending.numbered))
        keys.insert(normalizeCardNumber(product.number));
    Log::debug(logCategory(),
               QStringLiteral("%1: %2 products, %3 with a collector number.")
                   .arg(groupLabel(request))
                   .arg(pending.data.productCount)
                   .arg(keys.size()));

    m_pendingGroupData.insert(request.id, pending);

    Request prices = request;
    prices.kind = Prices;
    prices.url = QUrl(QStringLiteral("%1/%2/%3/prices").arg(apiBase()).arg(request.categoryId).arg(request.groupId),
                      QUrl::TolerantMode);
    m_queue.prepend(prices);
    emitPendingCount();
}

void TcgcsvClient::handlePrices(const Request &request, const QJsonArray &payload)
{
    const auto found = m_pendingGroupData.find(request.id);
    if (found == m_pendingGroupData.end())
        return;
    PendingGroup pending = found.value();
    m_pendingGroupData.erase(found);

    SkippedPrices skipped;
    applyPrices(pending.numbered, payload, &skipped);
    if (skipped.notNumbers > 0 || skipped.outOfRange > 0) {
        Log::warn(logCategory(),
                  QStringLiteral("%1: skipped %2 price row(s) whose market price is not a number "
                                 "and %3 below 0 or beyond %4; those printings get no fallback price.")
                      .arg(groupLabel(request))
                      .arg(skipped.notNumbers)
                      .arg(skipped.outOfRange)
                      .arg(Pricing::MaxPrice, 0, 'f', 0));
    }
    if (skipped.disputed > 0) {
        Log::warn(logCategory(),
                  QStringLiteral("%1: %2 price(s) listed twice with different figures; those printings get no "
                                 "fallback price.")
                      .arg(groupLabel(request))
                      .arg(skipped.disputed));
    }

    // Numbered cards and not one price among them: the price list is broken,
    // not every card of the set unsold.
    const bool priced = std::any_of(pending.numbered.cbegin(), pending.numbered.cend(),
                                    [](const TcgcsvProduct &product) { return !product.marketPrices.isEmpty(); });
    if (!pending.numbered.isEmpty() && !priced) {
        fail(request, tr("the set came back without a single price"), ReplyFailure::Empty);
        return;
    }

    TcgcsvGroupData data = pending.data;
    for (const TcgcsvProduct &product : qAsConst(pending.numbered)) {
        const QString key = normalizeCardNumber(product.number);
        const auto stored = data.products.constFind(key);
        if (stored != data.products.constEnd() && storedProductStays(stored.value(), product))
            continue;
        data.products.insert(key, product);
    }

    Log::debug(logCategory(),
               QStringLiteral("%1: %2 price rows applied.").arg(groupLabel(request)).arg(payload.size()));
    Q_EMIT groupDataReady(request.id, data);
}

void TcgcsvClient::applyPrices(QList<TcgcsvProduct> &numbered, const QJsonArray &rows, SkippedPrices *skipped)
{
    QMultiHash<int, int> rowsOfProduct;  // productId -> index in numbered
    for (int i = 0; i < numbered.size(); ++i)
        rowsOfProduct.insert(numbered.at(i).productId, i);

    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const int productId = row.value(QLatin1String("productId")).toInt(0);
        if (!rowsOfProduct.contains(productId))
            continue;
        const QJsonValue market = row.value(QLatin1String("marketPrice"));
        const double price = market.toDouble(0.0);
        if (market.isNull() || market.isUndefined() || (market.isDouble() && price == 0.0))
            continue; // no figure for this sub-type
        // A figure that is no price (text, below 0, beyond any price) leaves
        // the printing's unknown, as two figures do: it has none, and what
        // was fetched before it stands.
        const bool usable = market.isDouble() && price > 0.0 && price <= Pricing::MaxPrice;
        if (!market.isDouble())
            ++skipped->notNumbers;
        else if (!usable)
            ++skipped->outOfRange;
        const QString subType = row.value(QLatin1String("subTypeName")).toString();
        bool disputes = false;
        for (auto it = rowsOfProduct.constFind(productId); it != rowsOfProduct.constEnd() && it.key() == productId;
             ++it) {
            TcgcsvProduct &product = numbered[it.value()];
            if (product.disputedSubTypes.contains(subType))
                continue;
            const auto listed = product.marketPrices.constFind(subType);
            if (!usable) {
                if (listed != product.marketPrices.constEnd())
                    product.marketPrices.erase(listed);
                product.disputedSubTypes.insert(subType);
            } else if (listed == product.marketPrices.constEnd()) {
                product.marketPrices.insert(subType, price);
            } else if (listed.value() != price) {
                // Which of two figures is the printing's cannot be told.
                product.marketPrices.erase(listed);
                product.disputedSubTypes.insert(subType);
                disputes = true;
            }
        }
        if (disputes)
            ++skipped->disputed;
    }
}

void TcgcsvClient::fail(const Request &request, const QString &message, ReplyFailure kind)
{
    Log::warn(logCategory(), QStringLiteral("#%1 %2 failed: %3").arg(QString::number(request.id), request.url.toString(), message));
    m_pendingGroupData.remove(request.id);
    Q_EMIT requestFailed(request.id, request.context, message, kind);
}

void TcgcsvClient::emitPendingCount()
{
    Q_EMIT pendingCountChanged(pendingCount());
}

} // namespace pv
