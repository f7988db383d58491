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
