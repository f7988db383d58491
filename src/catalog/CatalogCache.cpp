#include "catalog/CatalogCache.h"

#include "core/Log.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <limits>

namespace pv {

namespace {

constexpr qsizetype SerieWidth = 3;
constexpr qsizetype SetWidth = 9;
constexpr qsizetype CardWidth = 6;

const QString FormatTag = QStringLiteral("tallowk-catalog");

// Integers of a hostile file may be anything; out-of-range values are clamped
// rather than wrapped.
int clampedInt(qint64 value)
{
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

qint64 integerOr(const QCborValue &value, qint64 fallback)
{
    return value.isInteger() ? value.toInteger() : fallback;
}

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

    QCborParserError parseError;
    const QCborValue root = QCborValue::fromCbor(bytes, &parseError);
    if (parseError.error != QCborError::NoError)
        return discard(path, parseError.errorString());
    if (!root.isMap())
        return discard(path, QStringLiteral("the file is not a catalog"));
    const QCborMap map = root.toMap();
    if (map.value(QLatin1String("format")).toString() != FormatTag)
        return discard(path, QStringLiteral("unexpected format tag"));
    const qint64 version = integerOr(map.value(QLatin1String("version")), 0);
    if (version > FormatVersion) {
        return discard(path, QStringLiteral("written by a newer version of Tallowmerick (format %1)")
                                 .arg(version));
    }

    Contents &contents = result.contents;
    contents.savedAt =
        QDateTime::fromString(map.value(QLatin1String("savedAt")).toString(), Qt::ISODate).toUTC();
    const QCborArray series = map.value(QLatin1String("series")).toArray();
    const QCborArray sets = map.value(QLatin1String("sets")).toArray();
    const QCborArray cards = map.value(QLatin1String("cards")).toArray();
    contents.haveVariants = map.value(QLatin1String("haveVariants")).toBool(false);
    const QCborArray rarities = map.value(QLatin1String("rarities")).toArray();
    contents.rarities.reserve(rarities.size());
    for (const QCborValue &rarity : rarities)
        contents.rarities.append(rarity.toString());

    if (series.size() % SerieWidth != 0 || sets.size() % SetWidth != 0 || cards.size() % CardWidth != 0)
        return discard(path, QStringLiteral("truncated record arrays"));

    const qsizetype serieCount = series.size() / SerieWidth;
    contents.series.reserve(serieCount);
    for (qsizetype i = 0; i < series.size(); i += SerieWidth) {
        SerieBrief serie;
        serie.id = series.at(i).toString();
        serie.name = series.at(i + 1).toString();
        serie.logo = series.at(i + 2).toString();
        contents.series.append(serie);
    }

    const qsizetype setCount = sets.size() / SetWidth;
    contents.sets.reserve(setCount);
    for (qsizetype i = 0; i < sets.size(); i += SetWidth) {
        const qint64 seriePosition = integerOr(sets.at(i + 2), -1);
        if (seriePosition < -1 || seriePosition >= serieCount)
            return discard(path, QStringLiteral("a set points at a series that is not in the file"));
        CatalogSet set;
        set.id = sets.at(i).toString();
        set.name = sets.at(i + 1).toString();
        if (seriePosition >= 0) {
            const SerieBrief &serie = contents.series.at(seriePosition);
            set.serieId = serie.id;
            set.serieName = serie.name;
        }
        set.logo = sets.at(i + 3).toString();
        set.symbol = sets.at(i + 4).toString();
        const QString released = sets.at(i + 5).toString();
        if (!released.isEmpty())
            set.releaseDate = QDate::fromString(released, Qt::ISODate);
        set.order = clampedInt(integerOr(sets.at(i + 6), 0));
        set.official = clampedInt(integerOr(sets.at(i + 7), 0));
        set.total = clampedInt(integerOr(sets.at(i + 8), 0));
        contents.sets.append(set);
    }

    const qsizetype rarityCount = contents.rarities.size();
    contents.cards.reserve(cards.size() / CardWidth);
    const QString hyphen = QStringLiteral("-");
    for (qsizetype i = 0; i < cards.size(); i += CardWidth) {
        const qint64 setPosition = integerOr(cards.at(i), -1);
        if (setPosition < 0 || setPosition >= setCount)
            return discard(path, QStringLiteral("a card points at a set that is not in the file"));
        const CatalogSet &set = contents.sets.at(setPosition);
        CatalogCard card;
        card.localId = cards.at(i + 1).toString();
        card.name = cards.at(i + 2).toString();
        card.image = cards.at(i + 3).toString();
        const qint64 rarity = integerOr(cards.at(i + 4), -1);
        if (rarity >= 0 && rarity < rarityCount)
            card.rarity = contents.rarities.at(rarity);
        card.printingMask = contents.haveVariants ? clampedInt(integerOr(cards.at(i + 5), -1)) : -1;
        card.setId = set.id;
        card.setName = set.name;
        card.serieName = set.serieName;
        card.official = set.official;
        card.id = set.id + hyphen + card.localId;
        card.language = Language::English;
        card.fromErrata = false;
        contents.cards.append(card);
    }

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

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(bytes);
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace pv
