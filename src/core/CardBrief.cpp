#include "core/CardBrief.h"

#include "core/JsonFields.h"

namespace pv {

CardBrief CardBrief::fromJson(const QJsonObject &object)
{
    CardBrief card;
    card.id = json::text(object, QLatin1String("id"));
    card.localId = json::text(object, QLatin1String("localId"));
    card.name = json::text(object, QLatin1String("name"));
    card.image = json::text(object, QLatin1String("image"));
    // "swsh3-136" with localId "136" belongs to set "swsh3".
    if (!card.localId.isEmpty()) {
        const QString ending = QLatin1Char('-') + card.localId;
        if (card.id.endsWith(ending))
            card.setId = card.id.chopped(ending.size());
    }
    return card;
}

} // namespace pv
