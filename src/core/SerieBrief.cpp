#include "core/SerieBrief.h"

#include "core/JsonFields.h"

namespace pv {

SerieBrief SerieBrief::fromJson(const QJsonObject &object)
{
    SerieBrief serie;
    serie.id = json::text(object, QLatin1String("id"));
    serie.name = json::text(object, QLatin1String("name"));
    serie.logo = json::text(object, QLatin1String("logo"));
    return serie;
}

} // namespace pv
