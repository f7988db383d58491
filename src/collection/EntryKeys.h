#pragma once

#include "collection/CardEntry.h"
#include "core/CardKeys.h"

#include <QString>

namespace pv {

// The merge key of a holding: language code, card id, finish, edition,
// condition, grading company and trimmed grade note joined by "|". Two
// holdings with the same key are one holding.
QString formatEntryKey(Language language, const QString &cardId, const QString &variant,
                       const QString &edition, Condition condition, GradingCompany company,
                       const QString &gradeNote);
QString entryKey(const CardEntry &entry);
// entryKey(a) compared with entryKey(b) (negative, 0, positive), without
// making either key.
int compareEntryKeys(const CardEntry &a, const CardEntry &b);

// The set key of the holding's set ("ja:SV3").
QString entrySetKey(const CardEntry &entry);

// "PSA 10", "PSA", or empty for an ungraded holding.
QString gradeLabel(const CardEntry &entry);

// The finish and edition as the user reads them ("Shadowless Holo").
QString entryPrintingLabel(const CardEntry &entry);

// What one card of the holding is worth: the custom price when set, else the
// fetched unit value.
double entryUnitPrice(const CardEntry &entry);

// count times the unit price above.
double entryLineValue(const CardEntry &entry);

} // namespace pv
