#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Forgiving readers of single JSON members for the record parsers: a missing
// member, a null or a value of another type gives the default.
namespace pv::json {

// The member as text when it is a JSON string, else an empty string.
QString text(const QJsonObject &object, QLatin1String key);

// The member as an int when it is a whole number that fits one, else 0
// (so 3.5, "7" and 1e12 all read as 0 rather than as a wrapped value).
int integer(const QJsonValue &value);
int integer(const QJsonObject &object, QLatin1String key);

// The member as an object when it is one, else an empty object.
QJsonObject object(const QJsonObject &object, QLatin1String key);

} // namespace pv::json
