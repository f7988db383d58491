#include "core/TcgcsvGroup.h"

#include "core/JsonFields.h"

namespace pv {

TcgcsvGroup TcgcsvGroup::fromJson(const QJsonObject &object)
{
    TcgcsvGroup group;
    group.groupId = json::integer(object, QLatin1String("groupId"));
    group.name = json::text(object, QLatin1String("name")).trimmed();
    group.abbreviation = json::text(object, QLatin1String("abbreviation")).trimmed();
    group.publishedOn = QDate::fromString(json::text(object, QLatin1String("publishedOn")).left(10),
                                          Qt::ISODate);
    return group;
}

} // namespace pv
