#include "core/JsonFields.h"

#include <limits>

namespace pv::json {

QString text(const QJsonObject &object, QLatin1String key)
{
    return object.value(key).toString();
}

int integer(const QJsonValue &value)
{
    // toInteger refuses fractions and values beyond 64 bits; the int range
    // check keeps a huge count from wrapping into a plausible-looking one.
    const qint64 wide = value.toInteger(0);
    if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
        return 0;
    return int(wide);
}

int integer(const QJsonObject &object, QLatin1String key)
{
    return integer(object.value(key));
}

QJsonObject object(const QJsonObject &object, QLatin1String key)
{
    return object.value(key).toObject();
}

} // namespace pv::json
