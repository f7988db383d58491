#include "core/SetDetail.h"

#include "core/JsonFields.h"
#include "core/SetBrief.h"

#include <QJsonArray>

namespace pv {

SetDetail SetDetail::fromJson(const QJsonObject &object)
{
    SetDetail set;
    set.id = json::text(object, QLatin1String("id"));
    set.name = json::text(object, QLatin1String("name"));
    const QJsonObject serie = json::object(object, QLatin1String("serie"));
    set.serieId = json::text(serie, QLatin1String("id"));
    set.serieName = json::text(serie, QLatin1String("name"));
    // Qt's ISO form: a date, optionally followed by a time of day.
    set.releaseDate = QDate::fromString(json::text(object, QLatin1String("releaseDate")), Qt::ISODate);
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
