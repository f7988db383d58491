#include "catalog/CatalogCache.h"

#include "catalog/CatalogCacheReader.h"
#include "catalog/TextBlocks.h"
#include "core/FileSaving.h"
#include "core/Log.h"

#include <QCborStreamWriter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace pv {

namespace {

constexpr qsizetype SerieWidth = CatalogCacheReader::SerieWidth;
constexpr qsizetype SetWidth = CatalogCacheReader::SetWidth;
constexpr qsizetype CardWidth = CatalogCacheReader::CardWidth;

const QString FormatTag = QStringLiteral("tallowk-catalog");

} // namespace

CatalogCache::LoadResult CatalogCache::discard(const QString &path, const QString &reason)
{
    LoadResult result;
    result.error = reason;
    QFile::remove(path);
    Log::warn(QStringLiteral("catalog"), QStringLiteral("Discarding the cached catalog %1: %2.").arg(path, reason));
    return result;
}

CatalogCache::LoadResult CatalogCache::load(const QString &path)
{
    LoadResult result;
    QFile file(path);
    if (!file.exists()) {
        result.error = QStringLiteral("No cached catalog at %1.").arg(path);
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    CatalogCacheReader::Records raw;
    if (!CatalogCacheReader::readQuickly(bytes, raw)) {
        raw = CatalogCacheReader::Records();
        QString error;
        if (!CatalogCacheReader::readStreaming(bytes, raw, &error))
            return discard(path, error);
    }
    if (!raw.rootIsMap)
        return discard(path, QStringLiteral("the file is not a catalog"));
    if (raw.format != FormatTag)
        return discard(path, QStringLiteral("unexpected format tag"));
    if (raw.version > FormatVersion)
        return discard(path, QStringLiteral("written by a newer version of Tallowmerick (format %1)").arg(raw.version));
    if (raw.serieItems % SerieWidth != 0 || raw.setItems % SetWidth != 0 || raw.cardItems % CardWidth != 0)
        return discard(path, QStringLiteral("truncated record arrays"));

    const qsizetype serieCount = raw.series.size();
    for (qsizetype i = 0; i < raw.sets.size(); ++i) {
        const qint64 position = raw.setSerie[size_t(i)];
        if (position < -1 || position >= serieCount)
            return discard(path, QStringLiteral("a set points at a series that is not in the file"));
        if (position >= 0) {
            CatalogSet &set = raw.sets[i];
            const SerieBrief &serie = raw.series.at(position);
            set.serieId = serie.id;
            set.serieName = serie.name;
        }
    }

    const qsizetype setCount = raw.sets.size();
    const qsizetype rarityCount = raw.rarities.size();
    TextBlocks ids;
    for (qsizetype i = 0; i < raw.cards.size(); ++i) {
        const qint64 position = raw.cardSet[size_t(i)];
        if (position < 0 || position >= setCount)
            return discard(path, QStringLiteral("a card points at a set that is not in the file"));
        const CatalogSet &set = raw.sets.at(position);
        CatalogCard &card = raw.cards[i];
        const qint64 rarity = raw.cardRarity[size_t(i)];
        if (rarity >= 0 && rarity < rarityCount)
            card.rarity = raw.rarities.at(rarity);
        if (!raw.haveVariants)
            card.printingMask = -1;
        card.setId = set.id;
        card.setName = set.name;
        card.serieName = set.serieName;
        card.official = set.official;
        card.id = ids.joined(set.id, u'-', card.localId);
    }

    Contents &contents = result.contents;
    contents.series = std::move(raw.series);
    contents.sets = std::move(raw.sets);
    contents.cards = std::move(raw.cards);
    contents.rarities = std::move(raw.rarities);
    contents.haveVariants = raw.haveVariants;
    contents.savedAt = QDateTime::fromString(raw.savedAt, Qt::ISODate).toUTC();
    result.ok = true;
    return result;
}

bool CatalogCache::save(const QString &path, Language language, const Contents &contents, QString *error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Could not create %1.").arg(folder);
        return false;
    }

    QHash<QString, qint64> seriePositions;
    for (qsizetype i = 0; i < contents.series.size(); ++i)
        seriePositions.insert(contents.series.at(i).id, i);
    QHash<QString, qint64> setPositions;
    for (qsizetype i = 0; i < contents.sets.size(); ++i)
        setPositions.insert(contents.sets.at(i).id, i);
    QHash<QString, qint64> rarityPositions;
    for (qsizetype i = 0; i < contents.rarities.size(); ++i)
        rarityPositions.insert(contents.rarities.at(i), i);

    // Cards whose set is not written have nothing to point at and are left out.
    qsizetype writtenCards = 0;
    for (const CatalogCard &card : contents.cards) {
        if (setPositions.contains(card.setId))
            ++writtenCards;
    }

    const QDateTime savedAt = contents.savedAt.isValid() ? contents.savedAt : QDateTime::currentDateTimeUtc();

    QByteArray bytes;
    bytes.reserve(64 + writtenCards * 96);
    QCborStreamWriter writer(&bytes);
    writer.startMap(9);
    writer.append(QLatin1String("format"));
    writer.append(FormatTag);
    writer.append(QLatin1String("version"));
    writer.append(qint64(FormatVersion));
    writer.append(QLatin1String("lang"));
    writer.append(languageCode(language));
    writer.append(QLatin1String("savedAt"));
    writer.append(savedAt.toUTC().toString(Qt::ISODate));

    writer.append(QLatin1String("series"));
    writer.startArray(quint64(contents.series.size() * SerieWidth));
    for (const SerieBrief &serie : contents.series) {
        writer.append(serie.id);
        writer.append(serie.name);
        writer.append(serie.logo);
    }
    writer.endArray();

    writer.append(QLatin1String("sets"));
    writer.startArray(quint64(contents.sets.size() * SetWidth));
    for (const CatalogSet &set : contents.sets) {
        writer.append(set.id);
        writer.append(set.name);
        writer.append(set.serieId.isEmpty() ? qint64(-1) : seriePositions.value(set.serieId, -1));
        writer.append(set.logo);
        writer.append(set.symbol);
        writer.append(set.releaseDate.isValid() ? set.releaseDate.toString(Qt::ISODate) : QString());
        writer.append(qint64(set.order));
        writer.append(qint64(set.official));
        writer.append(qint64(set.total));
    }
    writer.endArray();

    writer.append(QLatin1String("cards"));
    writer.startArray(quint64(writtenCards * CardWidth));
    for (const CatalogCard &card : contents.cards) {
        const auto setPosition = setPositions.constFind(card.setId);
        if (setPosition == setPositions.cend())
            continue;
        writer.append(setPosition.value());
        writer.append(card.localId);
        writer.append(card.name);
        writer.append(card.image);
        writer.append(card.rarity.isEmpty() ? qint64(-1) : rarityPositions.value(card.rarity, -1));
        writer.append(qint64(card.printingMask));
    }
    writer.endArray();

    writer.append(QLatin1String("rarities"));
    writer.startArray(quint64(contents.rarities.size()));
    for (const QString &rarity : contents.rarities)
        writer.append(rarity);
    writer.endArray();

    writer.append(QLatin1String("haveVariants"));
    writer.append(contents.haveVariants);
    writer.endMap();

    removeSaveLeftovers(path);
    QString reason;
    if (replaceCacheFile(path, bytes, &reason) != SaveStep::Done) {
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

} // namespace pv
