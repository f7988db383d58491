#include "core/ExactSum.h"

#include <cmath>
#include <limits>
#include <utility>

namespace pv {

void ExactSum::add(double term)
{
    if (std::isfinite(term))
        addFinite(term);
    else
        countNonFinite(term, 1);
}

void ExactSum::subtract(double term)
{
    if (std::isfinite(term))
        addFinite(-term);
    else
        countNonFinite(term, -1);
}

void ExactSum::countNonFinite(double term, int by)
{
    if (std::isnan(term))
        m_nanTerms += by;
    else if (term > 0)
        m_positiveInfinities += by;
    else
        m_negativeInfinities += by;
}

void ExactSum::addFinite(double term)
{
    // Each partial takes what the term and it share exactly; the rounding
    // error of that sum stays behind as a smaller partial.
    size_t kept = 0;
    for (double partial : m_partials) {
        if (std::fabs(term) < std::fabs(partial))
            std::swap(term, partial);
        const double high = term + partial;
        const double low = partial - (high - term);
        if (low != 0.0)
            m_partials[kept++] = low;
        term = high;
    }
    m_partials.resize(kept);
    m_partials.push_back(term);
}

double ExactSum::value() const
{
    if (m_nanTerms > 0 || (m_positiveInfinities > 0 && m_negativeInfinities > 0))
        return std::numeric_limits<double>::quiet_NaN();
    if (m_positiveInfinities > 0)
        return std::numeric_limits<double>::infinity();
    if (m_negativeInfinities > 0)
        return -std::numeric_limits<double>::infinity();
    if (m_partials.empty())
        return 0.0;
    // From the largest partial down, until a sum is no longer exact.
    size_t next = m_partials.size() - 1;
    double high = m_partials[next];
    double low = 0.0;
    while (next > 0) {
        const double x = high;
        const double y = m_partials[--next];
        high = x + y;
        low = y - (high - x);
        if (low != 0.0)
            break;
    }
    // A sum that fell half-way between two doubles is rounded by what lies
    // below it, not to even, when the partials further down lean the same way.
    if (next > 0 && ((low < 0.0 && m_partials[next - 1] < 0.0) || (low > 0.0 && m_partials[next - 1] > 0.0))) {
        const double y = low * 2.0;
        const double x = high + y;
        if (y == x - high)
            high = x;
    }
    return high;
}

} // namespace pv
