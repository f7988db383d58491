#include "catalog/CatalogCache.h"

#include "core/FileSaving.h"
#include "core/Log.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringBuilder>

#include <limits>
#include <vector>

namespace pv {

namespace {

constexpr qsizetype SerieWidth = 3;
constexpr qsizetype SetWidth = 9;
constexpr qsizetype CardWidth = 6;

// Hostile files may nest containers without end; the reader stops there.
constexpr int MaxNesting = 1024;

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

// Everything the file says, as read in one pass. Positions are checked only
// once the whole file has parsed, so a damaged file is always reported as
// such, whatever else is wrong with it.
struct RawCatalog
{
    bool rootIsMap = false;
    QString format;
    qint64 version = 0;
    QString savedAt;
    bool haveVariants = false;
    qsizetype serieItems = 0;
    qsizetype setItems = 0;
    qsizetype cardItems = 0;
    QList<SerieBrief> series;
    QList<CatalogSet> sets;
    std::vector<qint64> setSerie;
    QList<CatalogCard> cards;
    std::vector<qint64> cardSet;
    std::vector<qint64> cardRarity;
    QStringList rarities;
};

// A streaming reader over the file: the records are filled straight from the
// bytes, without an intermediate tree of CBOR values.
class CacheReader
{
public:
    explicit CacheReader(const QByteArray &bytes)
        : m_reader(bytes)
        , m_size(bytes.size())
    {
    }

    QCborError error() { return m_reader.lastError(); }
    // True when an array declared more items than the file has bytes left.
    bool declaredTooMuch() const { return m_lie; }

    bool read(RawCatalog &raw)
    {
        if (!m_reader.isMap())
            return skip();
        raw.rootIsMap = true;
        if (!m_reader.enterContainer())
            return false;
        QSet<QString> seen;
        while (m_reader.hasNext()) {
            QString key;
            const bool textKey = m_reader.isString();
            if (!(textKey ? readText(key) : skip()))
                return false;
            if (!m_reader.hasNext())
                return false;
            // The first occurrence of a key counts; repeats are skipped.
            if (!textKey || seen.contains(key)) {
                if (!skip())
                    return false;
                continue;
            }
            seen.insert(key);
            if (!readMember(key, raw) || m_reader.lastError() != QCborError::NoError)
                return false;
        }
        return m_reader.leaveContainer();
    }

private:
    bool readMember(const QString &key, RawCatalog &raw)
    {
        if (key == QLatin1String("format"))
            return readText(raw.format);
        if (key == QLatin1String("version"))
            return readInteger(raw.version, 0);
        if (key == QLatin1String("savedAt"))
            return readText(raw.savedAt);
        if (key == QLatin1String("haveVariants")) {
            if (!m_reader.isBool())
                return skip();
            raw.haveVariants = m_reader.toBool();
            return m_reader.next();
        }
        if (key == QLatin1String("series"))
            return readArray(SerieWidth, raw.serieItems, [&](qsizetype item) { return readSerieItem(raw, item); },
                             [&](qsizetype records) { raw.series.reserve(records); });
        if (key == QLatin1String("sets"))
            return readArray(SetWidth, raw.setItems, [&](qsizetype item) { return readSetItem(raw, item); },
                             [&](qsizetype records) {
                                 raw.sets.reserve(records);
                                 raw.setSerie.reserve(size_t(records));
                             });
        if (key == QLatin1String("cards"))
            return readArray(CardWidth, raw.cardItems, [&](qsizetype item) { return readCardItem(raw, item); },
                             [&](qsizetype records) {
                                 raw.cards.reserve(records);
                                 raw.cardSet.reserve(size_t(records));
                                 raw.cardRarity.reserve(size_t(records));
                             });
        if (key == QLatin1String("rarities")) {
            qsizetype count = 0;
            return readArray(1, count,
                             [&](qsizetype) {
                                 raw.rarities.append(QString());
                                 return readText(raw.rarities.last());
                             },
                             [&](qsizetype records) { raw.rarities.reserve(records); });
        }
        return skip();
    }

    // Reads an array item by item; anything but an array counts as empty.
    template <typename ReadItem, typename Reserve>
    bool readArray(qsizetype width, qsizetype &items, ReadItem readItem, Reserve reserve)
    {
        if (!m_reader.isArray())
            return skip();
        if (m_reader.isLengthKnown()) {
            // Every item takes at least one byte: a length beyond the bytes
            // left is a lie, and the file is damaged.
            const quint64 declared = m_reader.length();
            if (declared > quint64(m_size - m_reader.currentOffset())) {
                m_lie = true;
                return false;
            }
            reserve(qsizetype(declared) / width);
        }
        if (!m_reader.enterContainer())
            return false;
        while (m_reader.hasNext()) {
            // The first error ends the reading: a stray break inside a
            // counted array would otherwise be read as item after item.
            if (!readItem(items++) || m_reader.lastError() != QCborError::NoError)
                return false;
        }
        return m_reader.leaveContainer();
    }

    bool readSerieItem(RawCatalog &raw, qsizetype item)
    {
        if (item % SerieWidth == 0)
            raw.series.append(SerieBrief());
        SerieBrief &serie = raw.series.last();
        switch (item % SerieWidth) {
        case 0: return readText(serie.id);
        case 1: return readText(serie.name);
        default: return readText(serie.logo);
        }
    }

    bool readSetItem(RawCatalog &raw, qsizetype item)
    {
        if (item % SetWidth == 0) {
            raw.sets.append(CatalogSet());
            raw.setSerie.push_back(-1);
        }
        CatalogSet &set = raw.sets.last();
        qint64 value = 0;
        switch (item % SetWidth) {
        case 0: return readText(set.id);
        case 1: return readText(set.name);
        case 2: return readInteger(raw.setSerie.back(), -1);
        case 3: return readText(set.logo);
        case 4: return readText(set.symbol);
        case 5: {
            QString released;
            if (!readText(released))
                return false;
            if (!released.isEmpty())
                set.releaseDate = QDate::fromString(released, Qt::ISODate);
            return true;
        }
        case 6:
            if (!readInteger(value, 0))
                return false;
            set.order = clampedInt(value);
            return true;
        case 7:
            if (!readInteger(value, 0))
                return false;
            set.official = clampedInt(value);
            return true;
        default:
            if (!readInteger(value, 0))
                return false;
            set.total = clampedInt(value);
            return true;
        }
    }

    bool readCardItem(RawCatalog &raw, qsizetype item)
    {
        if (item % CardWidth == 0) {
            raw.cards.append(CatalogCard());
            raw.cardSet.push_back(-1);
            raw.cardRarity.push_back(-1);
        }
        CatalogCard &card = raw.cards.last();
        qint64 value = -1;
        switch (item % CardWidth) {
        case 0: return readInteger(raw.cardSet.back(), -1);
        case 1: return readText(card.localId);
        case 2: return readText(card.name);
        case 3: return readText(card.image);
        case 4: return readInteger(raw.cardRarity.back(), -1);
        default:
            if (!readInteger(value, -1))
                return false;
            card.printingMask = clampedInt(value);
            return true;
        }
    }

    // Skips one item, a tagged one with its tag; false on a parse error.
    bool skip()
    {
        while (m_reader.isTag()) {
            if (!m_reader.next(MaxNesting))
                return false;
        }
        return m_reader.next(MaxNesting);
    }

    // A text item into out; any other item leaves out empty. The bytes go
    // through one reused buffer, so each text costs one exact allocation.
    bool readText(QString &out)
    {
        out.clear();
        if (!m_reader.isString())
            return skip();
        qsizetype length = 0;
        for (;;) {
            // A chunk can never be longer than the file that holds it.
            const qsizetype chunk = qBound<qsizetype>(0, m_reader.currentStringChunkSize(), m_size);
            if (m_buffer.size() < length + chunk)
                m_buffer.resize(length + chunk);
            const auto read = m_reader.readStringChunk(m_buffer.data() + length, chunk);
            if (read.status == QCborStreamReader::EndOfString)
                break;
            if (read.status != QCborStreamReader::Ok)
                return false;
            length += read.data;
        }
        out = QString::fromUtf8(m_buffer.constData(), length);
        return true;
    }

    // An integer item into out, clamped to 64 bits so that a huge version
    // still reads as newer and a huge position as out of range; any other
    // item gives the fallback.
    bool readInteger(qint64 &out, qint64 fallback)
    {
        out = fallback;
        if (m_reader.isUnsignedInteger()) {
            const quint64 value = m_reader.toUnsignedInteger();
            out = value <= quint64(std::numeric_limits<qint64>::max()) ? qint64(value)
                                                                       : std::numeric_limits<qint64>::max();
        } else if (m_reader.isNegativeInteger()) {
            // The stored magnitude is the value's absolute value.
            const quint64 magnitude = quint64(m_reader.toNegativeInteger());
            out = magnitude != 0 && magnitude - 1 <= quint64(std::numeric_limits<qint64>::max())
                ? -qint64(magnitude - 1) - 1
                : std::numeric_limits<qint64>::min();
        } else {
            return skip();
        }
        return m_reader.next();
    }

    QCborStreamReader m_reader;
    qsizetype m_size = 0;
    QByteArray m_buffer;
    bool m_lie = false;
};

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

    RawCatalog raw;
    CacheReader reader(bytes);
    if (!reader.read(raw)) {
        if (reader.declaredTooMuch())
            return discard(path, QStringLiteral("an array claims more items than the file holds"));
        QCborError error = reader.error();
        // An item cut short reports no error of its own: the data ended.
        if (error.c == QCborError::NoError)
            error.c = QCborError::EndOfFile;
        return discard(path, error.toString());
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
        card.id = set.id % QLatin1Char('-') % card.localId;
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
    if (replaceFileContents(path, bytes, &reason) != SaveStep::Done) {
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

} // namespace pv
