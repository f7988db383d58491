#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace pv {

// One entry of a set's card list as the card database returns it.
struct CardBrief
{
    QString id;
    QString localId;   // the card's number within its set, as written by the database
    QString name;
    QString image;     // image base address (see cardImageUrl)
    QString setId;     // derived from id and localId; empty when they do not fit

    static CardBrief fromJson(const QJsonObject &object);
};

} // namespace pv

Q_DECLARE_METATYPE(pv::CardBrief)
