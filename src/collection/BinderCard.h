#pragma once

#include "catalog/CatalogCard.h"

#include <QMetaType>

namespace pv {

// One pocket of a resolved binder: the catalog's card and what the
// collection holds of it.
struct BinderCard : CatalogCard
{
    int owned = 0;       // copies owned in the binder's language; below 1 means missing
    double market = 0.0; // filled by the binder view with the card's market price
    double value = 0.0;  // the value a value-ranked binder ranked the card on; 0 otherwise
};

} // namespace pv

Q_DECLARE_METATYPE(pv::BinderCard)
