#pragma once

#include <QtGlobal>

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

} // namespace pv
