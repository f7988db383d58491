#pragma once

#include "collection/Binder.h"
#include "collection/BinderCard.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace pv {

class CardCatalog;
class Collection;
class DexIndex;

// A binder resolved against the catalog and the collection.
struct BinderResolution
{
    QList<BinderCard> cards;    // in binder order
    int ownedCount = 0;         // cards with owned > 0
    QStringList rarities;       // present among the cards, in the catalog's rarity order
    QList<int> pendingDexIds;   // dex numbers the dex index has not resolved yet
};

// A new binder with a fresh id, 3 x 3 pockets and missing cards shown.
Binder newBinder(const QString &name, Language language);

// The six built-in binders, each with a fresh id, always in the same order.
QList<Binder> builtinBinderTemplates();

// The cards of a binder: the union of its rule cards, or for a value-ranked
// binder the most valuable cards owned, with the cards added and removed by
// hand and the manual order applied. A null catalog or collection gives an
// empty result; without a dex index every dex number is pending.
BinderResolution resolveBinder(const Binder &binder, const CardCatalog *catalog, const DexIndex *dexIndex,
                               const Collection *collection);

// Whether a change of the holdings may alter the binder resolved as
// `resolved` (its cards as resolveBinder gave them): a binder of rules holds
// the catalog's cards whatever is held, so only the counts of its own cards
// can change; a value-ranked one also takes in any card now held at a value
// that would rank among its cards. A change that names no cards may alter
// any binder.
bool binderTouchedBy(const Binder &binder, const QList<BinderCard> &resolved,
                     const QList<QPair<Language, QString>> &cards, bool cardsKnown, const Collection &collection);

// The cards a binder shows: missing ones only with showMissing, and none of a
// hidden rarity (a card without rarity is never hidden). Order is kept.
QList<BinderCard> entriesForBinder(const Binder &binder, const QList<BinderCard> &cards);

} // namespace pv
