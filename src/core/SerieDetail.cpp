#include "core/SerieDetail.h"

#include "core/JsonFields.h"

#include <QJsonArray>

namespace pv {

SerieDetail SerieDetail::fromJson(const QJsonObject &object)
{
    SerieDetail serie;
    serie.id = json::text(object, QLatin1String("id"));
    serie.name = json::text(object, QLatin1String("name"));
    serie.logo = json::text(object, QLatin1String("logo"));
    const QJsonArray sets = object.value(QLatin1String("sets")).toArray();
    serie.sets.reserve(sets.size());
    for (const QJsonValue &value : sets)
        serie.sets.append(SetBrief::fromJson(value.toObject(), 0));
    return serie;
}

} // namespace pv
