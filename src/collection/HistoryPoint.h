#pragma once

#include "collection/CardEntry.h"
#include "core/Pricing.h"

#include <QDate>
#include <QHash>
#include <QString>

namespace pv {

// The most a week's total, or a set's share of it, can be: the most copies of
// a holding at the highest price. No collection is worth more; a larger or
// non-finite figure is a broken one, and is neither recorded nor read.
inline constexpr double MaxHistoryEur = Pricing::MaxPrice * MaxEntryCount;

inline bool isStorableHistoryEur(double eur)
{
    return eur >= 0.0 && eur <= MaxHistoryEur;
}

// One set's share of a value-history point.
struct HistorySetValue
{
    double eur = 0.0;
    qint64 cards = 0;

    friend bool operator==(const HistorySetValue &a, const HistorySetValue &b)
    {
        return a.eur == b.eur && a.cards == b.cards;
    }
    friend bool operator!=(const HistorySetValue &a, const HistorySetValue &b) { return !(a == b); }
};

// One week of the collection's value history. A point the collection records
// is dated the Monday of its week; one read from a file keeps its stored date.
struct HistoryPoint
{
    QDate date;
    double totalEur = 0.0;
    qint64 cards = 0;
    // Set key -> the set's value and card count; only sets worth more than 0.
    QHash<QString, HistorySetValue> sets;

    friend bool operator==(const HistoryPoint &a, const HistoryPoint &b)
    {
        return a.date == b.date && a.totalEur == b.totalEur && a.cards == b.cards && a.sets == b.sets;
    }
    friend bool operator!=(const HistoryPoint &a, const HistoryPoint &b) { return !(a == b); }
};

} // namespace pv
