#pragma once

#include "catalog/CatalogCache.h"
#include "core/CardVocabulary.h"

#include "Fixtures.h"

#include <QTest>

// Helpers shared by the catalog tests that work on the cache files.
namespace pv::test {

// Saves the contents as the language's cache file; a failure fails the test.
inline void writeCache(Language language, const CatalogCache::Contents &contents)
{
    QString error;
    QVERIFY2(saveCatalogCache(contents, language, &error), qPrintable(error));
}

} // namespace pv::test
