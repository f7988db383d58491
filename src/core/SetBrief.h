#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

namespace pv {

// One set of a set list. order is not part of the JSON: the card database
// client passes the set's position (from 0) in its list, which it asks for
// sorted by release date; a series detail passes 0.
struct SetBrief
{
    QString id;
    QString name;
    QString logo;    // artwork base address
    QString symbol;  // artwork base address
    int order = 0;
    int official = 0;
    int total = 0;

    static SetBrief fromJson(const QJsonObject &object, int order);
};

// The named member of a set's "cardCount" object; 0 when it is missing or
// not a whole number.
int readCardCount(const QJsonObject &set, const QString &field);

} // namespace pv

Q_DECLARE_METATYPE(pv::SetBrief)
