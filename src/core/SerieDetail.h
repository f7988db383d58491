#pragma once

#include "core/SetBrief.h"

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

namespace pv {

// One series in full, with its sets (each given order 0).
struct SerieDetail
{
    QString id;
    QString name;
    QString logo;
    QList<SetBrief> sets;

    static SerieDetail fromJson(const QJsonObject &object);
};

} // namespace pv

Q_DECLARE_METATYPE(pv::SerieDetail)
