#include "catalog/CatalogCacheReader.h"

#include "catalog/TextBlocks.h"

#include <QCborStreamReader>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

namespace pv {

namespace {

using Records = CatalogCacheReader::Records;
constexpr qsizetype SerieWidth = CatalogCacheReader::SerieWidth;
constexpr qsizetype SetWidth = CatalogCacheReader::SetWidth;
constexpr qsizetype CardWidth = CatalogCacheReader::CardWidth;

// Hostile files may nest containers without end; the reader stops there.
constexpr int MaxNesting = 1024;

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

// The streaming reader: any CBOR at all, item by item, the records filled
// without an intermediate tree of CBOR values. The first error ends it.
class StreamingReader
{
public:
    explicit StreamingReader(const QByteArray &bytes)
        : m_reader(bytes)
        , m_size(bytes.size())
    {
    }

    QCborError error() { return m_reader.lastError(); }
    // True when an array declared more items than the file has bytes left.
    bool declaredTooMuch() const { return m_lie; }

    bool read(Records &raw)
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
    bool readMember(const QString &key, Records &raw)
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

    bool readSerieItem(Records &raw, qsizetype item)
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

    bool readSetItem(Records &raw, qsizetype item)
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

    bool readCardItem(Records &raw, qsizetype item)
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

// The texts that repeat from card to card (numbers within a set, names of
// reprinted cards): each distinct text is converted once, and every card
// holding it shares the one string. Keyed by the bytes of the file, which
// outlive the table.
class SharedTexts
{
public:
    const QString &text(const char *data, qsizetype size)
    {
        if ((m_used + 1) * 2 > m_slots.size())
            grow();
        const size_t hash = hashOf(data, size);
        const size_t mask = m_slots.size() - 1;
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            Slot &slot = m_slots[at];
            if (!slot.data) {
                slot.data = data;
                slot.size = size;
                slot.hash = hash;
                slot.text = QString::fromUtf8(data, size);
                ++m_used;
                return slot.text;
            }
            if (slot.hash == hash && slot.size == size && std::memcmp(slot.data, data, size_t(size)) == 0)
                return slot.text;
        }
    }

private:
    struct Slot
    {
        const char *data = nullptr;
        qsizetype size = 0;
        size_t hash = 0;
        QString text;
    };

    static size_t hashOf(const char *data, qsizetype size)
    {
        quint64 hash = 14695981039346656037ULL;
        for (qsizetype i = 0; i < size; ++i)
            hash = (hash ^ quint8(data[i])) * 1099511628211ULL;
        return size_t(hash ^ (hash >> 29));
    }

    void grow()
    {
        std::vector<Slot> old(std::max<size_t>(1024, m_slots.size() * 2));
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (Slot &slot : old) {
            if (!slot.data)
                continue;
            size_t at = slot.hash & mask;
            while (m_slots[at].data)
                at = (at + 1) & mask;
            m_slots[at] = std::move(slot);
        }
    }

    std::vector<Slot> m_slots;
    size_t m_used = 0;
};

// The quick reader: straight from the bytes, it gives up at the first thing
// save() would not have written (another encoding, another layout, a damaged
// file) and leaves the file to the streaming reader.
class QuickReader
{
public:
    explicit QuickReader(const QByteArray &bytes)
        : m_at(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
    {
    }

    bool read(Records &raw)
    {
        quint64 pairs = 0;
        if (!head(Map, pairs))
            return false;
        raw.rootIsMap = true;
        quint32 seen = 0;
        for (quint64 pair = 0; pair < pairs; ++pair) {
            const char *key = nullptr;
            qsizetype size = 0;
            if (!bytesOfText(key, size))
                return false;
            const int member = memberOf(QLatin1String(key, size));
            // Repeated and unknown keys are left to the streaming reader.
            if (member < 0 || (seen & (1u << member)))
                return false;
            seen |= 1u << member;
            if (!readMember(member, raw))
                return false;
        }
        // Bytes after the map are the streaming reader's to judge as well.
        return m_at == m_end;
    }

private:
    enum Major : quint8 { Unsigned = 0, Negative = 1, Text = 3, Array = 4, Map = 5 };
    enum Member { Format, Version, Lang, SavedAt, Series, Sets, Cards, Rarities, HaveVariants };

    static int memberOf(QLatin1String key)
    {
        static const QLatin1String names[] = {
            QLatin1String("format"), QLatin1String("version"), QLatin1String("lang"),
            QLatin1String("savedAt"), QLatin1String("series"), QLatin1String("sets"),
            QLatin1String("cards"), QLatin1String("rarities"), QLatin1String("haveVariants")};
        for (int i = 0; i < int(std::size(names)); ++i) {
            if (key == names[i])
                return i;
        }
        return -1;
    }

    bool readMember(int member, Records &raw)
    {
        switch (member) {
        case Format: return readText(raw.format);
        case Version: return readInteger(raw.version);
        case Lang: {
            QString ignored;
            return readText(ignored);
        }
        case SavedAt: return readText(raw.savedAt);
        case Series: return readSeries(raw);
        case Sets: return readSets(raw);
        case Cards: return readCards(raw);
        case Rarities: return readRarities(raw);
        default:
            if (m_at == m_end || (quint8(*m_at) != 0xf4 && quint8(*m_at) != 0xf5))
                return false;
            raw.haveVariants = quint8(*m_at++) == 0xf5;
            return true;
        }
    }

    // An array of whole records; its item count goes to items.
    bool records(qsizetype width, qsizetype &items, qsizetype &count)
    {
        quint64 declared = 0;
        if (!head(Array, declared) || declared > quint64(m_end - m_at) || declared % quint64(width) != 0)
            return false;
        items = qsizetype(declared);
        count = items / width;
        return true;
    }

    bool readSeries(Records &raw)
    {
        qsizetype count = 0;
        if (!records(SerieWidth, raw.serieItems, count))
            return false;
        raw.series.resize(count);
        for (SerieBrief &serie : raw.series) {
            if (!readText(serie.id) || !readText(serie.name) || !readText(serie.logo))
                return false;
        }
        return true;
    }

    bool readSets(Records &raw)
    {
        qsizetype count = 0;
        if (!records(SetWidth, raw.setItems, count))
            return false;
        raw.sets.resize(count);
        raw.setSerie.resize(size_t(count));
        QString released;
        qint64 order = 0;
        qint64 official = 0;
        qint64 total = 0;
        for (qsizetype i = 0; i < count; ++i) {
            CatalogSet &set = raw.sets[i];
            if (!readText(set.id) || !readText(set.name) || !readInteger(raw.setSerie[size_t(i)])
                || !readText(set.logo) || !readText(set.symbol) || !readText(released) || !readInteger(order)
                || !readInteger(official) || !readInteger(total))
                return false;
            if (!released.isEmpty())
                set.releaseDate = QDate::fromString(released, Qt::ISODate);
            set.order = clampedInt(order);
            set.official = clampedInt(official);
            set.total = clampedInt(total);
        }
        return true;
    }

    bool readCards(Records &raw)
    {
        qsizetype count = 0;
        if (!records(CardWidth, raw.cardItems, count))
            return false;
        raw.cards.resize(count);
        raw.cardSet.resize(size_t(count));
        raw.cardRarity.resize(size_t(count));
        const char *text = nullptr;
        qsizetype size = 0;
        qint64 mask = -1;
        for (qsizetype i = 0; i < count; ++i) {
            CatalogCard &card = raw.cards[i];
            if (!readInteger(raw.cardSet[size_t(i)]) || !bytesOfText(text, size))
                return false;
            card.localId = m_texts.text(text, size);
            if (!bytesOfText(text, size))
                return false;
            card.name = m_texts.text(text, size);
            if (!bytesOfText(text, size))
                return false;
            card.image = m_blocks.fromUtf8(text, size);
            if (!readInteger(raw.cardRarity[size_t(i)]) || !readInteger(mask))
                return false;
            card.printingMask = clampedInt(mask);
        }
        return true;
    }

    bool readRarities(Records &raw)
    {
        quint64 declared = 0;
        if (!head(Array, declared) || declared > quint64(m_end - m_at))
            return false;
        raw.rarities.resize(qsizetype(declared));
        for (QString &rarity : raw.rarities) {
            if (!readText(rarity))
                return false;
        }
        return true;
    }

    // The head of an item of the given major type with a definite argument.
    bool head(Major major, quint64 &argument)
    {
        if (m_at == m_end || quint8(*m_at) >> 5 != major)
            return false;
        const quint8 info = quint8(*m_at++) & 0x1f;
        if (info < 24) {
            argument = info;
            return true;
        }
        if (info > 27)
            return false;
        const qsizetype width = qsizetype(1) << (info - 24);
        if (m_end - m_at < width)
            return false;
        argument = 0;
        for (qsizetype i = 0; i < width; ++i)
            argument = (argument << 8) | quint8(m_at[i]);
        m_at += width;
        return true;
    }

    bool bytesOfText(const char *&data, qsizetype &size)
    {
        quint64 length = 0;
        if (!head(Text, length) || length > quint64(m_end - m_at))
            return false;
        data = m_at;
        size = qsizetype(length);
        m_at += size;
        return true;
    }

    // Converted as the streaming reader converts its texts.
    bool readText(QString &out)
    {
        const char *data = nullptr;
        qsizetype size = 0;
        if (!bytesOfText(data, size))
            return false;
        out = QString::fromUtf8(data, size);
        return true;
    }

    // Clamped to 64 bits as the streaming reader clamps.
    bool readInteger(qint64 &out)
    {
        if (m_at == m_end)
            return false;
        const bool negative = quint8(*m_at) >> 5 == Negative;
        quint64 value = 0;
        if (!head(negative ? Negative : Unsigned, value))
            return false;
        constexpr quint64 Largest = quint64(std::numeric_limits<qint64>::max());
        if (negative)
            out = value <= Largest ? -qint64(value) - 1 : std::numeric_limits<qint64>::min();
        else
            out = value <= Largest ? qint64(value) : std::numeric_limits<qint64>::max();
        return true;
    }

    const char *m_at;
    const char *m_end;
    SharedTexts m_texts;
    TextBlocks m_blocks;
};

} // namespace

bool CatalogCacheReader::readQuickly(const QByteArray &bytes, Records &records)
{
    return QuickReader(bytes).read(records);
}

bool CatalogCacheReader::readStreaming(const QByteArray &bytes, Records &records, QString *error)
{
    StreamingReader reader(bytes);
    if (reader.read(records))
        return true;
    if (reader.declaredTooMuch()) {
        *error = QStringLiteral("an array claims more items than the file holds");
        return false;
    }
    QCborError failure = reader.error();
    // An item cut short reports no error of its own: the data ended.
    if (failure.c == QCborError::NoError)
        failure.c = QCborError::EndOfFile;
    *error = failure.toString();
    return false;
}

} // namespace pv
