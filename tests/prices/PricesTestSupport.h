#pragma once

#include "core/Log.h"
#include "core/SetRecord.h"
#include "standin/WebStandIn.h"

#include "Fixtures.h"

#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QString>

// Helpers shared by the fallback-price tests, which run the real client over
// HTTP against the in-process stand-in.
namespace pv::test {

// The stand-in, started once per process; its addresses reach the program
// before the first web client reads them. Faults and request log are cleared,
// and so is the clients' disk cache: a reply an earlier test left there can
// be handed out in place of the fault a test sets up.
inline WebStandIn *freshStandIn()
{
    WebStandIn *standIn = WebStandIn::shared();
    standIn->reset();
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/tcgcsvcache"))
        .removeRecursively();
    return standIn;
}

// A body in the service's envelope.
inline QByteArray envelopeBody(const QJsonArray &results)
{
    const QJsonObject envelope{{QStringLiteral("totalItems"), results.size()},
                               {QStringLiteral("success"), true},
                               {QStringLiteral("errors"), QJsonArray()},
                               {QStringLiteral("results"), results}};
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact);
}

// Answers the next request for the path (a plain text, matched anywhere in
// the target) with the JSON body.
inline void serveJson(WebStandIn *standIn, const QString &path, const QByteArray &body, int status = 200)
{
    standIn->addFault(QRegularExpression::escape(path),
                      WebStandIn::Fault::custom(status, "application/json; charset=utf-8", body));
}

// A card-database set as the matcher sees it.
inline SetRecord makeSet(Language language, const QString &id, const QString &name, const QDate &released = QDate())
{
    return setRecord(id, name, QString(), SetRecord::UnsetOrder, 0, 0, language, released);
}

inline SetRecord makeSet(const QString &id, const QString &name, const QDate &released = QDate())
{
    return makeSet(Language::English, id, name, released);
}

inline QJsonObject product(int productId, const QString &name, const QString &number)
{
    QJsonArray extendedData;
    if (!number.isNull()) {
        extendedData.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("Number")},
                                        {QStringLiteral("displayName"), QStringLiteral("Card Number")},
                                        {QStringLiteral("value"), number}});
    }
    return QJsonObject{{QStringLiteral("productId"), productId},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("extendedData"), extendedData}};
}

inline QJsonObject priceRow(int productId, const QString &subType, const QJsonValue &marketPrice)
{
    return QJsonObject{{QStringLiteral("productId"), productId},
                       {QStringLiteral("marketPrice"), marketPrice},
                       {QStringLiteral("subTypeName"), subType}};
}

inline bool logHas(const QString &category, const QString &message, int level = -1)
{
    for (const LogEntry &entry : Log::instance().entries()) {
        if (entry.category == category && entry.message == message && (level < 0 || entry.level == level))
            return true;
    }
    return false;
}

inline int logCount(const QString &category, const QString &fragment)
{
    int count = 0;
    for (const LogEntry &entry : Log::instance().entries()) {
        if (entry.category == category && entry.message.contains(fragment))
            ++count;
    }
    return count;
}

} // namespace pv::test
