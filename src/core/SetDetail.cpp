#include "core/SetDetail.h"

#include "core/JsonFields.h"
#include "core/SetBrief.h"

#include <QJsonArray>

namespace pv {

namespace {

// The whole text must be a calendar date "yyyy-MM-dd"; a date with a time
// after it is not taken for one.
QDate isoDate(const QString &text)
{
    if (text.size() != 10 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-'))
        return QDate();
    return QDate::fromString(text, Qt::ISODate);
}

} // namespace

SetDetail SetDetail::fromJson(const QJsonObject &object)
{
    SetDetail set;
    set.id = json::text(object, QLatin1String("id"));
    set.name = json::text(object, QLatin1String("name"));
    const QJsonObject serie = json::object(object, QLatin1String("serie"));
    set.serieId = json::text(serie, QLatin1String("id"));
    set.serieName = json::text(serie, QLatin1String("name"));
    set.releaseDate = isoDate(json::text(object, QLatin1String("releaseDate")));
    set.logo = json::text(object, QLatin1String("logo"));
    set.symbol = json::text(object, QLatin1String("symbol"));
    set.official = readCardCount(object, QStringLiteral("official"));
    set.total = readCardCount(object, QStringLiteral("total"));

    const QJsonArray cards = object.value(QLatin1String("cards")).toArray();
    set.cards.reserve(cards.size());
    for (const QJsonValue &value : cards) {
        CardBrief card = CardBrief::fromJson(value.toObject());
        card.setId = set.id;
        set.cards.append(card);
    }
    return set;
}

} // namespace pv
