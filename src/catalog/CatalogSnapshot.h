#pragma once

#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"

#include <QDateTime>
#include <QList>

namespace pv {

// One earlier build of a language's catalog, as the diff compares it with a
// new one. A snapshot that is not present stands for "no earlier build".
struct CatalogSnapshot
{
    bool present = false;
    bool raritiesResolved = false;
    bool printingsResolved = false;
    QDateTime savedAt;
    QList<CatalogSet> sets;
    QList<CatalogCard> cards;
};

} // namespace pv
