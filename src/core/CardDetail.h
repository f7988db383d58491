#pragma once

#include <QHash>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace pv {

// One card in full as the card database returns it.
struct CardDetail
{
    QString id;
    QString localId;
    QString name;
    QString setId;
    QString setName;
    QString rarity;
    QString illustrator;
    QString category;
    QString image;
    int dexId = 0;                  // first national Pokedex number; 0 when none
    QHash<QString, bool> variants;  // the card's printing flags
    QJsonObject pricing;            // the raw "pricing" object; fallback prices add "tcgcsv"

    static CardDetail fromJson(const QJsonObject &object);
};

} // namespace pv

Q_DECLARE_METATYPE(pv::CardDetail)
