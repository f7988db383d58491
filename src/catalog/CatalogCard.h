#pragma once

#include "core/CardVocabulary.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

namespace pv {

// The printing keys whose order gives the bits of CatalogCard::printingMask:
// "normal", "holo", "reverse", "firstEdition".
QStringList standardPrintingKeys();

// One card of a language's catalog. The fields after setId are filled by the
// catalog's indexing, not by the card database.
struct CatalogCard
{
    QString id;       // set id, "-" and localId
    QString localId;  // number within its set as the service writes it
    QString name;
    QString image;    // artwork base address
    QString setId;
    QString setName;
    QString serieName;
    Language language = Language::English;
    int official = 0;     // official card count of its set; 0 while the set is unknown
    QString sortKey;      // left empty by the catalog; views fall back to cardNumberSortKey
    QString rarity;
    bool fromErrata = false;  // supplied by the errata file; never cached
    int printingMask = -1;    // bits over standardPrintingKeys; -1 while unresolved
};

} // namespace pv

// Only strings and plain values: a list of cards grows by moving its memory.
Q_DECLARE_TYPEINFO(pv::CatalogCard, Q_RELOCATABLE_TYPE);
Q_DECLARE_METATYPE(pv::CatalogCard)
