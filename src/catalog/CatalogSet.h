#pragma once

#include <QDate>
#include <QMetaType>
#include <QString>

namespace pv {

// One set of a language's catalog.
struct CatalogSet
{
    QString id;
    QString name;
    QString serieId;    // the series whose detail lists this set; empty when none does
    QString serieName;  // filled by indexing
    QString logo;       // artwork base address
    QString symbol;     // artwork base address
    QDate releaseDate;  // null until a caller stores one; kept across rebuilds
    int order = 0;      // position in the release-ordered set list; higher is newer
    int official = 0;
    int total = 0;
};

} // namespace pv

Q_DECLARE_METATYPE(pv::CatalogSet)
