#pragma once

#include <QtGlobal>
#include <QtNumeric>

#include <limits>

namespace pv {

// Counts come from files the user may have edited by hand: sums are taken in
// 64 bits and pinned to the int range instead of wrapping around.
inline int saturatedCount(qint64 sum)
{
    constexpr qint64 lowest = std::numeric_limits<int>::min();
    constexpr qint64 highest = std::numeric_limits<int>::max();
    return int(sum < lowest ? lowest : (sum > highest ? highest : sum));
}

inline int addCounts(int a, int b)
{
    return saturatedCount(qint64(a) + qint64(b));
}

// Totals of the value history, whose counts a file gives in 64 bits.
inline qint64 sumCounts(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (qAddOverflow(a, b, &sum))
        return a < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return sum;
}

} // namespace pv
