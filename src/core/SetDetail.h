#pragma once

#include "core/CardBrief.h"

#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

namespace pv {

// One set in full, with its card list.
struct SetDetail
{
    QString id;
    QString name;
    QString serieId;
    QString serieName;
    QDate releaseDate;  // null when the reply has none or it is not an ISO date
    QString logo;
    QString symbol;
    int official = 0;
    int total = 0;
    QList<CardBrief> cards;  // every card's setId is this set's id

    static SetDetail fromJson(const QJsonObject &object);
};

} // namespace pv

Q_DECLARE_METATYPE(pv::SetDetail)
