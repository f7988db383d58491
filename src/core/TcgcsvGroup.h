#pragma once

#include <QDate>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace pv {

// One product group (a set) of the TCGCSV price service.
struct TcgcsvGroup
{
    int groupId = 0;
    QString name;          // trimmed
    QString abbreviation;  // trimmed
    QDate publishedOn;     // the date part of the service's date and time

    static TcgcsvGroup fromJson(const QJsonObject &object);
};

} // namespace pv

Q_DECLARE_METATYPE(pv::TcgcsvGroup)
