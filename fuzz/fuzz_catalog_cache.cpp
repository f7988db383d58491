// The catalog cache reader. The quick reader reads a file exactly as the
// streaming reader does, or leaves it to it; whatever is accepted is saved
// and read again.
#include "FuzzSupport.h"

#include "catalog/CatalogCache.h"
#include "catalog/CatalogCacheReader.h"

using namespace pv;

namespace {

bool same(const QString &a, const QString &b)
{
    return a == b && a.isNull() == b.isNull();
}

bool sameSeries(const SerieBrief &a, const SerieBrief &b)
{
    return same(a.id, b.id) && same(a.name, b.name) && same(a.logo, b.logo);
}

bool sameSet(const CatalogSet &a, const CatalogSet &b)
{
    return same(a.id, b.id) && same(a.name, b.name) && same(a.serieId, b.serieId) && same(a.serieName, b.serieName)
        && same(a.logo, b.logo) && same(a.symbol, b.symbol) && a.releaseDate == b.releaseDate && a.order == b.order
        && a.official == b.official && a.total == b.total;
}

bool sameCard(const CatalogCard &a, const CatalogCard &b)
{
    return same(a.id, b.id) && same(a.localId, b.localId) && same(a.name, b.name) && same(a.image, b.image)
        && same(a.setId, b.setId) && same(a.setName, b.setName) && same(a.serieName, b.serieName)
        && a.language == b.language && a.official == b.official && same(a.sortKey, b.sortKey)
        && same(a.rarity, b.rarity) && a.fromErrata == b.fromErrata && a.printingMask == b.printingMask;
}

template <typename T, typename Same>
bool sameList(const QList<T> &a, const QList<T> &b, Same sameItem)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameItem(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

void compareReaders(const QByteArray &bytes)
{
    CatalogCacheReader::Records quick;
    if (!CatalogCacheReader::readQuickly(bytes, quick))
        return;
    CatalogCacheReader::Records streamed;
    QString error;
    if (!CatalogCacheReader::readStreaming(bytes, streamed, &error))
        fuzz::fail(QStringLiteral("the quick reader read a file the streaming reader refuses: ") + error);
    const bool alike = quick.rootIsMap == streamed.rootIsMap && same(quick.format, streamed.format)
        && quick.version == streamed.version && same(quick.savedAt, streamed.savedAt)
        && quick.haveVariants == streamed.haveVariants && quick.serieItems == streamed.serieItems
        && quick.setItems == streamed.setItems && quick.cardItems == streamed.cardItems
        && sameList(quick.series, streamed.series, sameSeries) && sameList(quick.sets, streamed.sets, sameSet)
        && quick.setSerie == streamed.setSerie && sameList(quick.cards, streamed.cards, sameCard)
        && quick.cardSet == streamed.cardSet && quick.cardRarity == streamed.cardRarity
        && sameList(quick.rarities, streamed.rarities, same);
    if (!alike)
        fuzz::fail(QStringLiteral("the quick and the streaming reader read the file differently"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    compareReaders(fuzz::bytesOf(data, size));
    const QString in = fuzz::writeScratch(QStringLiteral("in.cbor"), data, size);
    const CatalogCache::LoadResult first = CatalogCache::load(in);
    if (!first.ok)
        return 0;
    const QString out = fuzz::scratchFile(QStringLiteral("out.cbor"));
    QString error;
    if (!CatalogCache::save(out, Language::English, first.contents, &error))
        fuzz::fail(QStringLiteral("saving back failed: ") + error);
    // What save() writes is always the quick reader's to read.
    QFile saved(out);
    CatalogCacheReader::Records quick;
    if (!saved.open(QIODevice::ReadOnly) || !CatalogCacheReader::readQuickly(saved.readAll(), quick))
        fuzz::fail(QStringLiteral("the quick reader gave up on a file save() wrote"));
    saved.close();
    const CatalogCache::LoadResult second = CatalogCache::load(out);
    if (!second.ok)
        fuzz::fail(QStringLiteral("what was saved back does not load: ") + second.error);
    if (second.contents.cards.size() != first.contents.cards.size()
        || second.contents.sets.size() != first.contents.sets.size()
        || second.contents.series.size() != first.contents.series.size())
        fuzz::fail(QStringLiteral("records lost on the way back"));
    return 0;
}
