#pragma once

#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"
#include "core/CardNumbers.h"
#include "core/SerieBrief.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>

namespace pv {

// How far a language's catalog is. Ready stays while a background rebuild runs.
enum class CatalogState : int { None = 0, Building = 1, Partial = 2, Ready = 3, Failed = 4 };

// One language's whole catalog. The search lists run parallel to cards and are
// filled by indexing: the names folded once, the numbers parsed once, so a
// search does no normalisation per card.
struct LanguageCatalog
{
    QList<SerieBrief> series;
    QList<CatalogSet> sets;
    QHash<QString, int> setIndex;
    QHash<QString, int> cardIndex;
    QList<CatalogCard> cards;
    QStringList foldedNames;
    QStringList alternateNames;
    QList<CardNumber> numbers;
    QStringList rarities;
    bool printingsResolved = false;
    QDateTime savedAt;
};

} // namespace pv
