#pragma once

#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace pv {

// One search over a language's catalog: every non-empty field narrows it.
struct CatalogQuery
{
    QString text;        // name fragment, trimmed and folded before use
    QString number;      // card number, trimmed before use
    int printedTotal = 0; // when above 0, the set's official card count must equal it
    QString setId;
    QString seriesId;
    QStringList rarities;

    bool isEmpty() const
    {
        return text.isEmpty() && number.isEmpty() && printedTotal <= 0 && setId.isEmpty()
            && seriesId.isEmpty() && rarities.isEmpty();
    }
};

// The search bar, the collection search and the add-cards dialog speak of
// the same record as a card query.
using CardQuery = CatalogQuery;

struct CatalogSearchResult
{
    QList<CatalogCard> cards; // copies, in catalog order, at most the limit
    int total = 0;            // every card that matched
    bool truncated = false;   // total is above the number of cards returned
};

} // namespace pv
