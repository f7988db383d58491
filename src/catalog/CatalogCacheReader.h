#pragma once

#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"
#include "core/SerieBrief.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace pv {

// Reads the bytes of a catalog cache file into what the file says, before
// anything in it is checked (CatalogCache does that). Two readers that read
// alike: a quick one for the files CatalogCache::save writes, and a streaming
// one for any other file, which decides what such a file holds or why it is
// refused.
class CatalogCacheReader
{
public:
    static constexpr qsizetype SerieWidth = 3;
    static constexpr qsizetype SetWidth = 9;
    static constexpr qsizetype CardWidth = 6;

    // Everything the file says, as read in one pass. Positions are left for
    // the caller to check once the whole file has parsed, so that a damaged
    // file is always reported as such, whatever else is wrong with it.
    struct Records
    {
        bool rootIsMap = false;
        QString format;
        qint64 version = 0;
        QString savedAt;
        bool haveVariants = false;
        qsizetype serieItems = 0;
        qsizetype setItems = 0;
        qsizetype cardItems = 0;
        QList<SerieBrief> series;
        QList<CatalogSet> sets;
        std::vector<qint64> setSerie;
        QList<CatalogCard> cards; // localId, name, image and printing mask
        std::vector<qint64> cardSet;
        std::vector<qint64> cardRarity;
        QStringList rarities;
    };

    // Straight from the bytes, for one map of known text keys with definite
    // lengths and every record item of the type save() gives it; texts that
    // repeat are shared. False on anything else (records then to be thrown
    // away): what it reads, it reads as readStreaming does.
    static bool readQuickly(const QByteArray &bytes, Records &records);

    // Any file. False when it is not CBOR or is damaged, with the reason.
    static bool readStreaming(const QByteArray &bytes, Records &records, QString *error);
};

} // namespace pv
