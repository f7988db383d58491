#pragma once

#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"
#include "core/SerieBrief.h"
#include "core/CardVocabulary.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace pv {

// Reader and writer of a language's catalog cache file: one CBOR map whose
// series, sets and cards are flat arrays of fixed-width records pointing at
// each other by position, so set, series and rarity texts are stored once.
// A file that was read but rejected is deleted so it is rebuilt, not retried.
class CatalogCache
{
public:
    struct Contents
    {
        QList<SerieBrief> series;
        QList<CatalogSet> sets;
        QList<CatalogCard> cards;
        QStringList rarities;
        bool haveVariants = false; // the cards' printing masks are known
        QDateTime savedAt;
    };

    struct LoadResult
    {
        bool ok = false;
        QString error;     // why the file was not used, when ok is false
        Contents contents; // only meaningful when ok is true
    };

    static constexpr int FormatVersion = 3;

    static LoadResult load(const QString &path);
    static bool save(const QString &path, Language language, const Contents &contents,
                     QString *error = nullptr);

private:
    static LoadResult discard(const QString &path, const QString &reason);
};

} // namespace pv
