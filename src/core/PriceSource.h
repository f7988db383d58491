#pragma once

#include <QList>
#include <QString>

namespace pv {

// Where a card's euro value comes from: Cardmarket first, or the higher of
// Cardmarket and the converted TCGplayer figure.
struct PriceSource
{
    enum Id { Cardmarket = 0, HighestOfBoth = 1 };

    int id = Cardmarket;
    QString key;    // stored in the settings
    QString label;  // shown

    static QList<PriceSource> all();  // Cardmarket, Highest of both
    static PriceSource byKey(const QString &key);
    static PriceSource byId(int id);
    static int defaultId();

    // The source in force, read from "pricing/priceSource" on first use.
    static int current();
    static void setCurrent(int id);
    static void load();
};

} // namespace pv
