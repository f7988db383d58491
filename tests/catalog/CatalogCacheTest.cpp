#include "TestRegistry.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include "catalog/CatalogCache.h"
#include "core/Log.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

using namespace pv;
using pv::test::writeFile;

namespace {

CatalogCache::Contents sampleContents()
{
    CatalogCache::Contents contents;
    contents.series = {SerieBrief{QStringLiteral("sv"), QStringLiteral("Scarlet & Violet"), QStringLiteral("logo-sv")},
                       SerieBrief{QStringLiteral("swsh"), QStringLiteral("Sword & Shield"), QString()}};
    CatalogSet mew;
    mew.id = QStringLiteral("sv03.5");
    mew.name = QStringLiteral("151");
    mew.serieId = QStringLiteral("sv");
    mew.serieName = QStringLiteral("Scarlet & Violet");
    mew.logo = QStringLiteral("logo-151");
    mew.symbol = QStringLiteral("symbol-151");
    mew.releaseDate = QDate(2023, 9, 22);
    mew.order = 160;
    mew.official = 165;
    mew.total = 207;
    CatalogSet orphan;
    orphan.id = QStringLiteral("xx1");
    orphan.name = QStringLiteral("Orphan Set");
    orphan.serieId = QStringLiteral("gone"); // its series is not in the file
    orphan.order = 3;
    contents.sets = {mew, orphan};
    contents.rarities = {QStringLiteral("Common"), QStringLiteral("Rare")};

    CatalogCard charmeleon;
    charmeleon.localId = QStringLiteral("005");
    charmeleon.name = QStringLiteral("Charmeleon");
    charmeleon.image = QStringLiteral("img/005");
    charmeleon.setId = mew.id;
    charmeleon.rarity = QStringLiteral("Common");
    charmeleon.printingMask = 5;
    CatalogCard unlisted = charmeleon;
    unlisted.localId = QStringLiteral("006");
    unlisted.name = QStringLiteral("Charizard ex");
    unlisted.rarity = QStringLiteral("Double Rare"); // not in the rarities list
    unlisted.printingMask = 0;
    CatalogCard lost = charmeleon;
    lost.setId = QStringLiteral("nowhere"); // its set is not written
    CatalogCard plain;
    plain.localId = QStringLiteral("1");
    plain.name = QStringLiteral("Pl\u00e4in");
    plain.setId = orphan.id;
    contents.cards = {charmeleon, unlisted, lost, plain};
    contents.haveVariants = true;
    contents.savedAt = QDateTime(QDate(2024, 5, 1), QTime(12, 30, 15), Qt::UTC);
    return contents;
}

QCborMap validMap()
{
    QCborMap map;
    map.insert(QStringLiteral("format"), QStringLiteral("tallowk-catalog"));
    map.insert(QStringLiteral("version"), 3);
    map.insert(QStringLiteral("lang"), QStringLiteral("en"));
    map.insert(QStringLiteral("savedAt"), QStringLiteral("2024-05-01T12:00:00Z"));
    map.insert(QStringLiteral("series"), QCborArray{QStringLiteral("sv"), QStringLiteral("SV"), QString()});
    map.insert(QStringLiteral("sets"), QCborArray{QStringLiteral("s1"), QStringLiteral("Set One"), 0, QString(),
                                                  QString(), QString(), 1, 10, 12});
    map.insert(QStringLiteral("cards"), QCborArray{0, QStringLiteral("1"), QStringLiteral("Bulbasaur"), QString(), -1, 1});
    map.insert(QStringLiteral("rarities"), QCborArray{});
    map.insert(QStringLiteral("haveVariants"), true);
    return map;
}

// A catalog file written by hand, item by item, in the layout save() uses or
// in a way of writing the same catalog that save() never uses.
enum class Layout { Plain, Indefinite, WideIntegers, RepeatedKey, UnknownKey, Reordered, TrailingByte };

class HandWritten
{
public:
    explicit HandWritten(Layout layout)
        : m_layout(layout)
    {
    }

    QByteArray bytes()
    {
        const bool indefinite = m_layout == Layout::Indefinite;
        if (indefinite)
            m_bytes.append('\xbf');
        else
            head(5, m_layout == Layout::RepeatedKey || m_layout == Layout::UnknownKey ? 10 : 9);
        if (m_layout == Layout::UnknownKey) {
            text("note");
            head(4, 2);
            integer(1);
            text("anything");
        }
        text("format");
        text("tallowk-catalog");
        text("version");
        integer(3);
        text("lang");
        text("en");
        text("savedAt");
        text("2024-05-01T12:00:00Z");
        if (m_layout == Layout::Reordered) {
            cards();
            rarities();
            sets();
            series();
        } else {
            series();
            sets();
            cards();
            rarities();
        }
        text("haveVariants");
        m_bytes.append('\xf5');
        if (m_layout == Layout::RepeatedKey) {
            // Only the first of two equal keys counts.
            text("cards");
            head(4, 6);
            for (int i = 0; i < 6; ++i)
                integer(0);
        }
        if (indefinite)
            m_bytes.append('\xff');
        if (m_layout == Layout::TrailingByte)
            m_bytes.append('\0');
        return m_bytes;
    }

private:
    void head(int major, quint64 value)
    {
        const char type = char(major << 5);
        if (m_layout == Layout::WideIntegers && major < 2) {
            m_bytes.append(char(type | 27));
            for (int shift = 56; shift >= 0; shift -= 8)
                m_bytes.append(char(value >> shift));
        } else if (value < 24) {
            m_bytes.append(char(type | char(value)));
        } else if (value < 256) {
            m_bytes.append(char(type | 24)).append(char(value));
        } else {
            m_bytes.append(char(type | 25)).append(char(value >> 8)).append(char(value));
        }
    }

    void integer(qint64 value)
    {
        if (value < 0)
            head(1, quint64(-1 - value));
        else
            head(0, quint64(value));
    }

    void text(const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        if (m_layout == Layout::Indefinite && utf8.size() > 1) {
            // In two chunks, cut between whole characters.
            const qsizetype cut = value.left(1).toUtf8().size();
            m_bytes.append('\x7f');
            head(3, quint64(cut));
            m_bytes.append(utf8.left(cut));
            head(3, quint64(utf8.size() - cut));
            m_bytes.append(utf8.mid(cut));
            m_bytes.append('\xff');
            return;
        }
        head(3, quint64(utf8.size()));
        m_bytes.append(utf8);
    }

    void array(const char *key, const QList<QVariant> &items)
    {
        text(QLatin1String(key));
        if (m_layout == Layout::Indefinite)
            m_bytes.append('\x9f');
        else
            head(4, quint64(items.size()));
        for (const QVariant &item : items) {
            if (item.typeId() == QMetaType::QString)
                text(item.toString());
            else
                integer(item.toLongLong());
        }
        if (m_layout == Layout::Indefinite)
            m_bytes.append('\xff');
    }

    void series() { array("series", {"sv", "Scarlet & Violet", "logo-sv", "swsh", "Sword & Shield", ""}); }
    void sets()
    {
        array("sets", {"sv1", "Scarlet", 0, "logo", "symbol", "2023-03-31", 150, 198, 258,
                       "swsh1", "Sword", 1, "", "", "", 120, 202, 216});
    }
    void cards()
    {
        array("cards", {0, "001", "Pikachu", "img/sv1/001", 0, 1,
                        1, "001", "Pikachu", "img/swsh1/001", 1, 3,
                        1, "002", "Rai\u00e7hu", "img/swsh1/\u00e9", -1, 0});
    }
    void rarities() { array("rarities", {"Common", "Rare"}); }

    Layout m_layout;
    QByteArray m_bytes;
};

int warningsSince(int start)
{
    const QList<LogEntry> entries = Log::instance().entries();
    int count = 0;
    for (int i = start; i < entries.size(); ++i)
        count += entries.at(i).level == Log::Warn ? 1 : 0;
    return count;
}

} // namespace

class CatalogCacheTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void roundTripKeepsEveryStoredField()
    {
        const QString path = m_dir.filePath(QStringLiteral("sub/dir/en.cbor"));
        const CatalogCache::Contents written = sampleContents();
        QString error;
        QVERIFY2(CatalogCache::save(path, Language::English, written, &error), qPrintable(error));

        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY2(read.ok, qPrintable(read.error));
        const CatalogCache::Contents &c = read.contents;
        QCOMPARE(c.savedAt, written.savedAt);
        QCOMPARE(c.savedAt.timeSpec(), Qt::UTC);
        QCOMPARE(c.haveVariants, true);
        QCOMPARE(c.rarities, written.rarities);
        QCOMPARE(c.series.size(), 2);
        QCOMPARE(c.series.at(0).logo, QStringLiteral("logo-sv"));
        QCOMPARE(c.series.at(1).name, QStringLiteral("Sword & Shield"));

        QCOMPARE(c.sets.size(), 2);
        const CatalogSet &mew = c.sets.at(0);
        QCOMPARE(mew.serieId, QStringLiteral("sv"));
        QCOMPARE(mew.serieName, QStringLiteral("Scarlet & Violet"));
        QCOMPARE(mew.releaseDate, QDate(2023, 9, 22));
        QCOMPARE(mew.order, 160);
        QCOMPARE(mew.official, 165);
        QCOMPARE(mew.total, 207);
        QCOMPARE(mew.symbol, QStringLiteral("symbol-151"));
        const CatalogSet &orphan = c.sets.at(1);
        QVERIFY(orphan.serieId.isEmpty());
        QVERIFY(orphan.serieName.isEmpty());
        QVERIFY(orphan.releaseDate.isNull());

        // The card whose set is not written is gone; ids and set fields are rebuilt.
        QCOMPARE(c.cards.size(), 3);
        const CatalogCard &charmeleon = c.cards.at(0);
        QCOMPARE(charmeleon.id, QStringLiteral("sv03.5-005"));
        QCOMPARE(charmeleon.setName, QStringLiteral("151"));
        QCOMPARE(charmeleon.serieName, QStringLiteral("Scarlet & Violet"));
        QCOMPARE(charmeleon.official, 165);
        QCOMPARE(charmeleon.rarity, QStringLiteral("Common"));
        QCOMPARE(charmeleon.printingMask, 5);
        QCOMPARE(charmeleon.image, QStringLiteral("img/005"));
        QVERIFY(!charmeleon.fromErrata);
        QVERIFY(c.cards.at(1).rarity.isEmpty());
        QCOMPARE(c.cards.at(1).printingMask, 0);
        QCOMPARE(c.cards.at(2).name, QStringLiteral("Pl\u00e4in"));
        QCOMPARE(c.cards.at(2).id, QStringLiteral("xx1-1"));
    }

    void writingSpecialCases()
    {
        const QString path = m_dir.filePath(QStringLiteral("ja.cbor"));
        CatalogCache::Contents contents = sampleContents();
        contents.savedAt = QDateTime();
        contents.haveVariants = false;
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QVERIFY(CatalogCache::save(path, Language::Japanese, contents));
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY(read.ok);
        // An unknown fetch time is written as the time of writing.
        QVERIFY(read.contents.savedAt >= before);
        QVERIFY(read.contents.savedAt <= QDateTime::currentDateTimeUtc().addSecs(1));
        // Without the printing pass the stored masks mean nothing.
        for (const CatalogCard &card : read.contents.cards)
            QCOMPARE(card.printingMask, -1);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QCborMap map = QCborValue::fromCbor(file.readAll()).toMap();
        QCOMPARE(map.value(QStringLiteral("lang")).toString(), QStringLiteral("ja"));
        QCOMPARE(map.keys().first().toString(), QStringLiteral("format"));
        QCOMPARE(map.value(QStringLiteral("cards")).toArray().size(), 3 * 6);
    }

    void olderVersionsAreReadNewerOnesDiscarded_data()
    {
        QTest::addColumn<QCborValue>("version");
        QTest::addColumn<bool>("ok");
        QTest::newRow("3") << QCborValue(3) << true;
        QTest::newRow("2") << QCborValue(2) << true;
        QTest::newRow("1") << QCborValue(1) << true;
        QTest::newRow("missing") << QCborValue() << true;
        QTest::newRow("text") << QCborValue(QStringLiteral("9")) << true;
        QTest::newRow("4") << QCborValue(4) << false;
    }

    void olderVersionsAreReadNewerOnesDiscarded()
    {
        QFETCH(QCborValue, version);
        QFETCH(bool, ok);
        QCborMap map = validMap();
        if (version.isUndefined())
            map.remove(QStringLiteral("version"));
        else
            map.insert(QStringLiteral("version"), version);
        const QString path = m_dir.filePath(QStringLiteral("en.cbor"));
        QVERIFY(writeFile(path, map.toCborValue().toCbor()));
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QCOMPARE(read.ok, ok);
        QCOMPARE(QFile::exists(path), ok);
        if (!ok)
            QCOMPARE(read.error, QStringLiteral("written by a newer version of Tallowmerick (format 4)"));
        else
            QCOMPARE(read.contents.cards.size(), 1);
    }

    void hostileFilesAreRejectedAndDeleted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");

        const QByteArray valid = validMap().toCborValue().toCbor();
        QTest::newRow("truncated") << valid.left(valid.size() - 7) << QString();
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("lying array length")
            << QByteArray::fromHex("9b7fffffffffffffff01") << QString();
        // Arrays declaring 2^31 items, one item, then a stray break: read
        // on, the break would stand for item after item without end.
        QTest::newRow("series of 2^31 items, then a break")
            << QByteArray::fromHex("a1667365726965739a800000006060ff") << QString();
        QTest::newRow("rarities of 2^31 items, then a break")
            << QByteArray::fromHex("a16872617269746965739a8000000060ff") << QString();
        // A count beyond the bytes left is refused before anything is read.
        QTest::newRow("card count beyond the file")
            << QByteArray::fromHex("a16563617264739a0000001000010203")
            << QStringLiteral("an array claims more items than the file holds");
        QTest::newRow("not a map") << QCborValue(QCborArray{1, 2}).toCbor()
                                   << QStringLiteral("the file is not a catalog");

        QCborMap foreign = validMap();
        foreign.insert(QStringLiteral("format"), QStringLiteral("tallowk"));
        QTest::newRow("foreign tag") << foreign.toCborValue().toCbor() << QStringLiteral("unexpected format tag");

        QCborMap untagged = validMap();
        untagged.remove(QStringLiteral("format"));
        QTest::newRow("no tag") << untagged.toCborValue().toCbor() << QStringLiteral("unexpected format tag");

        // Keys that are not text do not name anything the reader knows.
        QCborMap numericKeys;
        numericKeys.insert(1, QStringLiteral("tallowk-catalog"));
        numericKeys.insert(2, 3);
        QTest::newRow("non-text keys") << numericKeys.toCborValue().toCbor() << QStringLiteral("unexpected format tag");

        QCborMap newer = validMap();
        newer.insert(QStringLiteral("version"), 17);
        QTest::newRow("newer version") << newer.toCborValue().toCbor()
                                       << QStringLiteral("written by a newer version of Tallowmerick (format 17)");
        // A version past 64 bits is still newer, not "no version".
        QByteArray huge = newer.toCborValue().toCbor();
        huge.replace(QByteArray("\x67version\x11", 9), QByteArray::fromHex("6776657273696f6e1bffffffffffffffff"));
        QTest::newRow("version beyond 64 bits")
            << huge << QStringLiteral("written by a newer version of Tallowmerick (format 9223372036854775807)");

        QCborMap wide = validMap();
        QCborArray sets = wide.value(QStringLiteral("sets")).toArray();
        sets.append(QStringLiteral("extra"));
        wide.insert(QStringLiteral("sets"), sets);
        QTest::newRow("sets of 10 items") << wide.toCborValue().toCbor() << QStringLiteral("truncated record arrays");

        QCborMap shortSeries = validMap();
        shortSeries.insert(QStringLiteral("series"), QCborArray{QStringLiteral("sv"), QStringLiteral("SV")});
        QTest::newRow("series of 2 items") << shortSeries.toCborValue().toCbor()
                                           << QStringLiteral("truncated record arrays");

        QCborMap shortCards = validMap();
        shortCards.insert(QStringLiteral("cards"), QCborArray{0, QStringLiteral("1"), QStringLiteral("x")});
        QTest::newRow("cards of 3 items") << shortCards.toCborValue().toCbor()
                                          << QStringLiteral("truncated record arrays");

        QCborMap badSerie = validMap();
        QCborArray serieSets = badSerie.value(QStringLiteral("sets")).toArray();
        serieSets[2] = -2;
        badSerie.insert(QStringLiteral("sets"), serieSets);
        QTest::newRow("set at series -2") << badSerie.toCborValue().toCbor()
                                          << QStringLiteral("a set points at a series that is not in the file");
        serieSets[2] = 1;
        badSerie.insert(QStringLiteral("sets"), serieSets);
        QTest::newRow("set past the series") << badSerie.toCborValue().toCbor()
                                             << QStringLiteral("a set points at a series that is not in the file");

        QCborMap badSet = validMap();
        QCborArray seven;
        for (int i = 0; i < 7; ++i) {
            for (const QCborValue &item : QCborArray{QStringLiteral("s%1").arg(i), QStringLiteral("Set"), -1,
                                                     QString(), QString(), QString(), i, 10, 10})
                seven.append(item);
        }
        badSet.insert(QStringLiteral("sets"), seven);
        badSet.insert(QStringLiteral("cards"), QCborArray{7, QStringLiteral("1"), QStringLiteral("x"), QString(), -1, 0});
        QTest::newRow("card at set 7 of 7") << badSet.toCborValue().toCbor()
                                            << QStringLiteral("a card points at a set that is not in the file");
        badSet.insert(QStringLiteral("cards"),
                      QCborArray{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("x"), QString(), -1, 0});
        QTest::newRow("card set position as text") << badSet.toCborValue().toCbor()
                                                   << QStringLiteral("a card points at a set that is not in the file");
        badSet.insert(QStringLiteral("cards"),
                      QCborArray{qint64(1) << 40, QStringLiteral("1"), QStringLiteral("x"), QString(), -1, 0});
        QTest::newRow("card set position beyond int") << badSet.toCborValue().toCbor()
                                                      << QStringLiteral("a card points at a set that is not in the file");
    }

    void hostileFilesAreRejectedAndDeleted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(QStringLiteral("en.cbor"));
        QVERIFY(writeFile(path, bytes));
        const int logStart = Log::instance().count();
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY(!read.ok);
        QVERIFY(!read.error.isEmpty());
        if (!reason.isEmpty())
            QCOMPARE(read.error, reason);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(warningsSince(logStart), 1);
        QVERIFY(Log::instance().entries().last().message.contains(read.error));
    }

    void nonTextRecordItemsReadAsEmpty()
    {
        // Names, logos and rarities of another CBOR type are read as empty
        // texts; the file is still a catalog.
        QCborMap map = validMap();
        map.insert(QStringLiteral("series"), QCborArray{QStringLiteral("sv"), 42, true});
        map.insert(QStringLiteral("cards"), QCborArray{0, 5, QCborArray{QStringLiteral("x")}, QCborValue(), 0, 1});
        map.insert(QStringLiteral("rarities"), QCborArray{QCborMap{}});
        const QString path = m_dir.filePath(QStringLiteral("en.cbor"));
        QVERIFY(writeFile(path, map.toCborValue().toCbor()));
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.contents.series.at(0).name, QString());
        QCOMPARE(read.contents.cards.size(), 1);
        QCOMPARE(read.contents.cards.at(0).localId, QString());
        QCOMPARE(read.contents.cards.at(0).name, QString());
        QCOMPARE(read.contents.cards.at(0).id, QStringLiteral("s1-"));
        QCOMPARE(read.contents.rarities, QStringList{QString()});
    }

    void randomAndMangledBytesNeverCrashTheReader()
    {
        const QString path = m_dir.filePath(QStringLiteral("en.cbor"));
        QString error;
        QVERIFY(CatalogCache::save(path, Language::English, sampleContents(), &error));
        QFile original(path);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray valid = original.readAll();
        original.close();

        QRandomGenerator random(20240501);
        for (int round = 0; round < 600; ++round) {
            QByteArray bytes;
            if (round < 200) {
                bytes.resize(random.bounded(1, 256));
                for (char &b : bytes)
                    b = char(random.bounded(256));
            } else if (round < 400) {
                bytes = valid.left(random.bounded(int(valid.size())));
            } else {
                bytes = valid;
                for (int flips = random.bounded(1, 4); flips > 0; --flips)
                    bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            }
            QVERIFY(writeFile(path, bytes));
            const CatalogCache::LoadResult read = CatalogCache::load(path);
            // Whatever was accepted is self-consistent; whatever was refused is gone.
            if (read.ok) {
                for (const CatalogCard &card : read.contents.cards)
                    QVERIFY(card.id.startsWith(card.setId + QLatin1Char('-')));
            } else {
                QVERIFY(!read.error.isEmpty());
                QVERIFY(!QFile::exists(path));
            }
        }
    }

    void aFullDiskKeepsTheOldCache()
    {
        const QString folder = m_dir.filePath(QStringLiteral("small-disk"));
        pv::test::SmallDisk disk(folder, 128 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString path = QDir(folder).filePath(QStringLiteral("en.cbor"));
        QString error;
        QVERIFY2(CatalogCache::save(path, Language::English, sampleContents(), &error), qPrintable(error));
        const QByteArray old = pv::test::readFile(path);

        CatalogCache::Contents large = sampleContents();
        CatalogCard card = large.cards.first();
        for (int i = 0; i < 3000; ++i) {
            card.localId = QString::number(1000 + i);
            card.name = QStringLiteral("Card with a long enough name %1").arg(i);
            large.cards.append(card);
        }
        for (const qint64 left : {qint64(0), qint64(8192), qint64(60 * 1024)}) {
            disk.fillLeaving(left);
            error.clear();
            QVERIFY(!CatalogCache::save(path, Language::English, large, &error));
            QCOMPARE(error, QStringLiteral("not enough disk space"));
            QCOMPARE(pv::test::readFile(path), old);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{QStringLiteral("en.cbor"), QStringLiteral("filler")}));
            disk.removeFiller();
        }
        QVERIFY(CatalogCache::load(path).ok);
    }

    void otherWaysOfWritingACatalogReadTheSame_data()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("indefinite lengths and chunked texts") << int(Layout::Indefinite);
        QTest::newRow("integers in eight bytes") << int(Layout::WideIntegers);
        QTest::newRow("a key repeated") << int(Layout::RepeatedKey);
        QTest::newRow("an unknown key") << int(Layout::UnknownKey);
        QTest::newRow("keys in another order") << int(Layout::Reordered);
        QTest::newRow("a byte after the map") << int(Layout::TrailingByte);
    }

    void otherWaysOfWritingACatalogReadTheSame()
    {
        QFETCH(int, layout);
        const QString path = m_dir.filePath(QStringLiteral("en.cbor"));
        QVERIFY(writeFile(path, HandWritten(Layout::Plain).bytes()));
        const CatalogCache::LoadResult plain = CatalogCache::load(path);
        QVERIFY2(plain.ok, qPrintable(plain.error));
        QCOMPARE(plain.contents.cards.size(), 3);
        QCOMPARE(plain.contents.cards.at(2).image, QStringLiteral("img/swsh1/\u00e9"));

        QVERIFY(writeFile(path, HandWritten(Layout(layout)).bytes()));
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY2(read.ok, qPrintable(read.error));
        const CatalogCache::Contents &a = plain.contents;
        const CatalogCache::Contents &b = read.contents;
        QCOMPARE(b.savedAt, a.savedAt);
        QCOMPARE(b.haveVariants, a.haveVariants);
        QCOMPARE(b.rarities, a.rarities);
        QCOMPARE(b.series.size(), a.series.size());
        for (qsizetype i = 0; i < a.series.size(); ++i) {
            QCOMPARE(b.series.at(i).id, a.series.at(i).id);
            QCOMPARE(b.series.at(i).name, a.series.at(i).name);
            QCOMPARE(b.series.at(i).logo, a.series.at(i).logo);
        }
        QCOMPARE(b.sets.size(), a.sets.size());
        for (qsizetype i = 0; i < a.sets.size(); ++i) {
            const CatalogSet &x = a.sets.at(i);
            const CatalogSet &y = b.sets.at(i);
            QCOMPARE(QStringList({y.id, y.name, y.serieId, y.serieName, y.logo, y.symbol}),
                     QStringList({x.id, x.name, x.serieId, x.serieName, x.logo, x.symbol}));
            QCOMPARE(y.releaseDate, x.releaseDate);
            QCOMPARE(QList<int>({y.order, y.official, y.total}), QList<int>({x.order, x.official, x.total}));
        }
        QCOMPARE(b.cards.size(), a.cards.size());
        for (qsizetype i = 0; i < a.cards.size(); ++i) {
            const CatalogCard &x = a.cards.at(i);
            const CatalogCard &y = b.cards.at(i);
            QCOMPARE(QStringList({y.id, y.localId, y.name, y.image, y.setId, y.setName, y.serieName, y.rarity}),
                     QStringList({x.id, x.localId, x.name, x.image, x.setId, x.setName, x.serieName, x.rarity}));
            QCOMPARE(y.official, x.official);
            QCOMPARE(y.printingMask, x.printingMask);
        }
    }

    void readTextsBehaveAsStringsOfTheirOwn()
    {
        // Enough cards for the texts read to fill several shared blocks.
        CatalogCache::Contents contents = sampleContents();
        contents.cards.clear();
        for (int i = 0; i < 600; ++i) {
            CatalogCard card;
            card.setId = contents.sets.at(i % 2).id;
            card.localId = QString::number(i / 2);
            card.name = QStringLiteral("Card %1").arg(i % 7);
            card.image = QStringLiteral("https://images.example/cards/%1/%2").arg(card.setId).arg(i);
            contents.cards.append(card);
        }
        const QString path = m_dir.filePath(QStringLiteral("en.cbor"));
        QVERIFY(CatalogCache::save(path, Language::English, contents));
        CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.contents.cards.size(), 600);

        // Changing one text leaves its neighbours alone.
        QString changed = read.contents.cards.at(11).id;
        changed.append(QStringLiteral("-changed"));
        changed[0] = QLatin1Char('Z');
        QCOMPARE(read.contents.cards.at(11).id, QStringLiteral("xx1-5"));
        QCOMPARE(read.contents.cards.at(12).id, QStringLiteral("sv03.5-6"));
        QCOMPARE(read.contents.cards.at(12).image, QStringLiteral("https://images.example/cards/sv03.5/12"));

        // Texts kept after everything else read is gone stay whole and
        // null-terminated, and can still grow.
        QString id = read.contents.cards.at(450).id;
        QString image = read.contents.cards.at(10).image;
        read = CatalogCache::LoadResult();
        QCOMPARE(id, QStringLiteral("sv03.5-225"));
        QCOMPARE(id.utf16()[id.size()], u'\0');
        QCOMPARE(image, QStringLiteral("https://images.example/cards/sv03.5/10"));
        id.append(QStringLiteral("/more"));
        image.prepend(QStringLiteral("cached:"));
        QCOMPARE(id, QStringLiteral("sv03.5-225/more"));
        QCOMPARE(image, QStringLiteral("cached:https://images.example/cards/sv03.5/10"));
        QCOMPARE(changed, QStringLiteral("Zx1-5-changed"));
    }

    void missingFileIsLeftQuietly()
    {
        const QString path = m_dir.filePath(QStringLiteral("absent/en.cbor"));
        const int logStart = Log::instance().count();
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        QVERIFY(!read.ok);
        QCOMPARE(read.error, QStringLiteral("No cached catalog at %1.").arg(path));
        QCOMPARE(warningsSince(logStart), 0);
    }

    void saveReportsAFolderItCannotCreate()
    {
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(blocker, "x"));
        QString error;
        QVERIFY(!CatalogCache::save(blocker + QStringLiteral("/en.cbor"), Language::English, sampleContents(), &error));
        QCOMPARE(error, QStringLiteral("Could not create %1.").arg(blocker));
    }

    void saveReportsAFileItCannotWrite()
    {
        // The target is a folder: the safe-save file cannot replace it.
        const QString path = m_dir.filePath(QStringLiteral("occupied"));
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        QString error;
        QVERIFY(!CatalogCache::save(path, Language::English, sampleContents(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(path + QStringLiteral("/inside")).isDir());
    }

private:
    QTemporaryDir m_dir;
};

PV_REGISTER_TEST(CatalogCacheTest)
#include "CatalogCacheTest.moc"
