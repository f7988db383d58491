#include "core/SetBrief.h"

#include "core/JsonFields.h"

namespace pv {

int readCardCount(const QJsonObject &set, const QString &field)
{
    return json::integer(json::object(set, QLatin1String("cardCount")).value(field));
}

SetBrief SetBrief::fromJson(const QJsonObject &object, int order)
{
    SetBrief set;
    set.id = json::text(object, QLatin1String("id"));
    set.name = json::text(object, QLatin1String("name"));
    set.logo = json::text(object, QLatin1String("logo"));
    set.symbol = json::text(object, QLatin1String("symbol"));
    set.order = order;
    set.official = readCardCount(object, QStringLiteral("official"));
    set.total = readCardCount(object, QStringLiteral("total"));
    return set;
}

} // namespace pv
