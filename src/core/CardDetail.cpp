#include "core/CardDetail.h"

#include "core/JsonFields.h"

#include <QJsonArray>

namespace pv {

CardDetail CardDetail::fromJson(const QJsonObject &object)
{
    CardDetail card;
    card.id = json::text(object, QLatin1String("id"));
    card.localId = json::text(object, QLatin1String("localId"));
    card.name = json::text(object, QLatin1String("name"));
    const QJsonObject set = json::object(object, QLatin1String("set"));
    card.setId = json::text(set, QLatin1String("id"));
    card.setName = json::text(set, QLatin1String("name"));
    card.rarity = json::text(object, QLatin1String("rarity"));
    card.illustrator = json::text(object, QLatin1String("illustrator"));
    card.category = json::text(object, QLatin1String("category"));
    card.image = json::text(object, QLatin1String("image"));

    const QJsonArray dex = object.value(QLatin1String("dexId")).toArray();
    if (!dex.isEmpty())
        card.dexId = json::integer(dex.first());

    const QJsonObject variants = json::object(object, QLatin1String("variants"));
    for (auto it = variants.constBegin(); it != variants.constEnd(); ++it)
        card.variants.insert(it.key(), it.value().isBool() && it.value().toBool());

    card.pricing = json::object(object, QLatin1String("pricing"));
    return card;
}

} // namespace pv
