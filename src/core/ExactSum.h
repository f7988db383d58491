#pragma once

#include <vector>

namespace pv {

// A sum of doubles kept without rounding: the value is the exact sum of every
// term added, rounded once, so adding and taking away terms in any order
// gives the same value as adding the remaining terms afresh. A total kept up
// to date through many edits never drifts from a recount.
//
// The exact sum is held as a few non-overlapping doubles (Shewchuk's
// partials); infinite and NaN terms are counted aside and give the value a
// plain sum would.
class ExactSum
{
public:
    void add(double term);
    // Takes away a term added before.
    void subtract(double term);
    // The exact sum rounded to the nearest double (ties to even).
    double value() const;

private:
    // Counts an infinite or NaN term in (by 1) or out (by -1).
    void countNonFinite(double term, int by);
    void addFinite(double term);

    // Ascending magnitude, non-overlapping, their sum exact.
    std::vector<double> m_partials;
    int m_nanTerms = 0;
    int m_positiveInfinities = 0;
    int m_negativeInfinities = 0;
};

} // namespace pv
