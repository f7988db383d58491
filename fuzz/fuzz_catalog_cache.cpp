// The catalog cache reader; what it accepts is saved and read again.
#include "FuzzSupport.h"

#include "catalog/CatalogCache.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    const QString in = fuzz::writeScratch(QStringLiteral("in.cbor"), data, size);
    const CatalogCache::LoadResult first = CatalogCache::load(in);
    if (!first.ok)
        return 0;
    const QString out = fuzz::scratchFile(QStringLiteral("out.cbor"));
    QString error;
    if (!CatalogCache::save(out, Language::English, first.contents, &error))
        fuzz::fail(QStringLiteral("saving back failed: ") + error);
    const CatalogCache::LoadResult second = CatalogCache::load(out);
    if (!second.ok)
        fuzz::fail(QStringLiteral("what was saved back does not load: ") + second.error);
    if (second.contents.cards.size() != first.contents.cards.size()
        || second.contents.sets.size() != first.contents.sets.size()
        || second.contents.series.size() != first.contents.series.size())
        fuzz::fail(QStringLiteral("records lost on the way back"));
    return 0;
}
