#pragma once

#include <QString>
#include <QtGlobal>

// Card numbers ("4", "004/102", "SV012", "25a") as numbers: a normal form to
// match one card across sources, a parse to order cards naturally, and a
// fixed-width key for views that can only sort text.
namespace pv {

struct CardNumber
{
    QString prefix;    // characters before the first digit, upper-cased
    qint64 number = -1;  // the first digit run; -1 when absent or not convertible
    QString suffix;    // everything after that run, upper-cased
};

// Cut at "/", trim, upper-case, strip the leading zeros of a leading digit
// run (keeping its last digit): "004/102" and "4" give "4".
QString normalizeCardNumber(const QString &number);

// Splits the text exactly as passed (no trimming, no "/" cut).
CardNumber parseCardNumber(const QString &number);

// Natural order: prefix, then number, then suffix, then the raw texts.
bool cardNumberLess(const QString &a, const QString &b);

// "prefix|number padded to 8|suffix", e.g. "SV|00000009|A".
QString cardNumberSortKey(const QString &number);

} // namespace pv

// Two strings and a number: a list of card numbers grows by moving its memory.
Q_DECLARE_TYPEINFO(pv::CardNumber, Q_RELOCATABLE_TYPE);
