#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace pv {

// One series of the series list.
struct SerieBrief
{
    QString id;
    QString name;
    QString logo;

    static SerieBrief fromJson(const QJsonObject &object);
};

} // namespace pv

Q_DECLARE_METATYPE(pv::SerieBrief)
