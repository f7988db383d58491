#pragma once

#include "catalog/CacheDirectory.h"
#include "catalog/CatalogCache.h"
#include "core/CardVocabulary.h"

#include <QTest>

// Helpers shared by the catalog tests that work on the cache files.
namespace pv::test {

// Where the catalog of the language is cached.
inline QString cacheFile(Language language)
{
    return cacheDirectory() + QLatin1Char('/') + languageCode(language) + QStringLiteral(".cbor");
}

// Saves the contents as the language's cache file; a failure fails the test.
inline void writeCache(Language language, const CatalogCache::Contents &contents)
{
    QString error;
    QVERIFY2(CatalogCache::save(cacheFile(language), language, contents, &error), qPrintable(error));
}

} // namespace pv::test
