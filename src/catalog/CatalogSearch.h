#pragma once

#include "catalog/CatalogQuery.h"

#include <QString>

namespace pv {

struct LanguageCatalog;

// The folded form every name search compares: case folded, and Latin accents
// dropped; text with kana or CJK ideographs is only case folded so voiced and
// unvoiced kana stay apart.
QString searchKey(const QString &text);

// Splits a printed number such as "005/165" into the number and the set size.
// The size is written only when the part after "/" is a positive integer.
void splitPrintedNumber(const QString &text, QString *number, int *total);

// One pass over an indexed catalog; the limit bounds the copies, not the count.
CatalogSearchResult searchCatalog(const LanguageCatalog &catalog, const CatalogQuery &query, int limit);

} // namespace pv
