#pragma once

#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"
#include "catalog/CatalogSnapshot.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace pv {

// What changed between two builds of one language's catalog. Cards the errata
// file supplies never take part, so a correction file cannot look like the card
// database adding or withdrawing cards.
class CatalogDiff
{
public:
    struct SetChange
    {
        enum Kind { Added = 0, Withdrawn = 1, Renamed = 2, Resized = 3 };
        int kind = Added;
        QString id;
        QString name;
        QString previousName;
        QString serieName;
        int cardCount = 0;
        int official = 0;
        int previousOfficial = 0;
    };

    struct CardChange
    {
        enum Kind { Added = 0, Withdrawn = 1, Renamed = 2, RarityChanged = 3, PrintingsChanged = 4 };
        int kind = Added;
        QString id;
        QString setId;
        QString setName;
        QString localId;
        QString name;
        QString previousName;
        QString rarity;
        QString previousRarity;
        int printings = -1;
        int previousPrintings = -1;
    };

    QList<SetChange> setChanges;
    QList<CardChange> cardChanges;
    QSet<QString> newSetIds;
    bool raritiesCompared = false;
    bool printingsCompared = false;
    // The language both builds belong to; only recorded for the caller.
    Language language = Language::English;

    // Sets and cards added, withdrawn, renamed and resized since the previous
    // build. A previous build that is not present gives an empty diff.
    static CatalogDiff compute(const CatalogSnapshot &previous, const QList<CatalogSet> &newSets,
                               const QList<CatalogCard> &newCards,
                               Language language = Language::English);
    // Appends rarity changes when the previous build had its rarities.
    static void compareRarities(CatalogDiff &diff, const CatalogSnapshot &previous,
                                const QList<CatalogCard> &newCards);
    // Appends printing changes when the previous build had its printings.
    static void comparePrintings(CatalogDiff &diff, const CatalogSnapshot &previous,
                                 const QList<CatalogCard> &newCards);

    bool isEmpty() const;
    QString summary() const;
    QString report() const;
};

// Display names of the printings whose bits are set in a printing mask, in
// bit order; a negative (unresolved) mask names none.
QStringList printingNames(int mask);

} // namespace pv
