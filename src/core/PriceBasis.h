#pragma once

#include <QList>
#include <QString>

namespace pv {

// Which statistic a price is taken from when a source offers several figures.
struct PriceBasis
{
    enum Id { Highest = 0, Lowest = 1, Mean = 2 };

    int id = Mean;
    QString key;    // stored in the settings
    QString label;  // shown

    static QList<PriceBasis> all();  // Mean, Highest, Lowest
    static PriceBasis byKey(const QString &key);
    static PriceBasis byId(int id);
    static int defaultId();

    // The basis in force, read from "pricing/priceBasis" on first use.
    static int current();
    static void setCurrent(int id);
    static void load();
};

} // namespace pv
