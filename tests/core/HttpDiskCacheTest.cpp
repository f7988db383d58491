#include "SmallDisk.h"
#include "TestRegistry.h"

#include "core/HttpDiskCache.h"

#include <QBuffer>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using pv::HttpDiskCache;

// The web clients' disk cache writes its files and trims its folder on
// worker threads, oldest entries first, serves what it stored before and
// after the file is written, and still empties at once when cleared.
class HttpDiskCacheTest : public QObject
{
    Q_OBJECT

    static QUrl urlOf(int entry) { return QUrl(QStringLiteral("http://example.invalid/%1").arg(entry)); }

    static void store(QNetworkDiskCache &cache, int entry)
    {
        QNetworkCacheMetaData metaData;
        metaData.setUrl(urlOf(entry));
        metaData.setSaveToDisk(true);
        QIODevice *device = cache.prepare(metaData);
        QVERIFY(device);
        device->write(QByteArray(10 * 1024, 'x'));
        cache.insert(device);
    }

    static qint64 folderBytes(const QString &folder)
    {
        return HttpDiskCache::trimFolder(folder, std::numeric_limits<qint64>::max() / 2, false);
    }

    // An answer as a server sends it: fresh for a day, of the given type.
    static void storeAnswer(QNetworkDiskCache &cache, const QByteArray &type, const QByteArray &body)
    {
        QNetworkCacheMetaData metaData;
        metaData.setUrl(urlOf(1));
        metaData.setSaveToDisk(true);
        metaData.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(1));
        metaData.setRawHeaders({{"Content-Type", type}, {"Content-Length", QByteArray::number(body.size())}});
        QIODevice *device = cache.prepare(metaData);
        QVERIFY(device);
        device->write(body);
        cache.insert(device);
    }

    static QByteArray served(QNetworkDiskCache &cache)
    {
        const std::unique_ptr<QIODevice> body(cache.data(urlOf(1)));
        return body ? body->readAll() : QByteArray();
    }

    // The files written, and the answers held until then forgotten.
    static void written(HttpDiskCache &cache)
    {
        cache.waitForTrim();
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void trimsOldestFirstAndClearsAtOnce()
    {
        QTemporaryDir folder;
        constexpr qint64 limit = 200 * 1024;
        {
            QNetworkDiskCache filler;
            filler.setCacheDirectory(folder.path());
            for (int entry = 0; entry < 30; ++entry)
                store(filler, entry);
        }
        QVERIFY(folderBytes(folder.path()) > limit);
        QTest::qWait(20); // the next entry is the newest by the clock too
        HttpDiskCache cache(folder.path(), limit);
        store(cache, 30);
        cache.waitForTrim();
        QVERIFY(folderBytes(folder.path()) < limit * 9 / 10);
        QVERIFY(cache.metaData(urlOf(30)).isValid());
        QVERIFY(!cache.metaData(urlOf(0)).isValid());
        cache.clear();
        QCOMPARE(folderBytes(folder.path()), 0);
    }

    // Before: the writes held back; after: written, and the answers held
    // until then forgotten. An entry removed is gone at once, though its
    // file is still there.
    void servesAnAnswerBeforeAndAfterItsFileIsWritten()
    {
        QTemporaryDir folder;
        HttpDiskCache cache(folder.path(), 1 << 20);
        const QDateTime expiry = QDateTime::currentDateTimeUtc().addDays(1);
        for (const bool filesWritten : {false, true}) {
            store(cache, 2);
            written(cache);
            cache.holdWritesForTesting(!filesWritten);
            store(cache, 1);
            QNetworkCacheMetaData updated = cache.metaData(urlOf(1));
            updated.setExpirationDate(expiry);
            cache.updateMetaData(updated);
            cache.remove(urlOf(2));
            if (filesWritten)
                written(cache);
            const std::unique_ptr<QIODevice> body(cache.data(urlOf(1)));
            QVERIFY(body && body->readAll() == QByteArray(10 * 1024, 'x'));
            QCOMPARE(cache.metaData(urlOf(1)).expirationDate(), expiry);
            QVERIFY(!cache.metaData(urlOf(2)).isValid());
            QVERIFY(!std::unique_ptr<QIODevice>(cache.data(urlOf(2))));
            written(cache);
        }
        QNetworkDiskCache reader;
        reader.setCacheDirectory(folder.path());
        QCOMPARE(reader.metaData(urlOf(1)).expirationDate(), expiry);
        QVERIFY(!reader.metaData(urlOf(2)).isValid());
    }

    // An answer past the largest kept, with no declared length (as a
    // chunked reply comes), is let go as it arrives; nor is the older
    // answer it replaces served any more. One at the limit is kept.
    void anAnswerTooLargeToKeepIsDropped()
    {
        QTemporaryDir folder;
        HttpDiskCache cache(folder.path(), qint64(1) << 30);
        for (const qint64 size : {HttpDiskCache::maxEntryBytes, HttpDiskCache::maxEntryBytes + 1}) {
            store(cache, 1);
            written(cache);
            QNetworkCacheMetaData metaData;
            metaData.setUrl(urlOf(1));
            metaData.setSaveToDisk(true);
            QIODevice *device = cache.prepare(metaData);
            QVERIFY(device);
            const QByteArray block(1 << 20, 'y');
            for (qint64 sent = 0; sent < size; sent += block.size())
                QCOMPARE(device->write(block.constData(), qMin<qint64>(block.size(), size - sent)),
                         qMin<qint64>(block.size(), size - sent));
            if (size > HttpDiskCache::maxEntryBytes)
                QCOMPARE(static_cast<QBuffer *>(device)->size(), 0);
            cache.insert(device);
            written(cache);
            QCOMPARE(served(cache).size(), size > HttpDiskCache::maxEntryBytes ? 0 : size);
        }
    }

    // The entry Qt's cache last read, replaced or removed: its file stays
    // until the writing thread gets to it, and the entry is not served
    // meanwhile, nor after, from what Qt's cache kept of it.
    void anEntryJustReadIsReplacedOrRemovedOffThisThread()
    {
        QTemporaryDir folder;
        HttpDiskCache cache(folder.path(), 1 << 20);
        for (const bool replaced : {true, false}) {
            storeAnswer(cache, "application/json", "older");
            written(cache);
            QCOMPARE(served(cache), QByteArray("older"));
            QVERIFY(cache.metaData(urlOf(1)).isValid());
            cache.holdWritesForTesting(true);
            if (replaced)
                storeAnswer(cache, "application/json", "newer");
            else
                cache.remove(urlOf(1));
            QVERIFY(folderBytes(folder.path()) > 0);
            const QByteArray expected = replaced ? QByteArray("newer") : QByteArray();
            for (const bool filesWritten : {false, true}) {
                if (filesWritten)
                    written(cache);
                QCOMPARE(served(cache), expected);
                QCOMPARE(cache.metaData(urlOf(1)).isValid(), replaced);
            }
            cache.remove(urlOf(1));
            written(cache);
        }
    }

    // What an entry's file holds is read once, and not at all when this
    // cache wrote it; an entry changed or removed since is read as it is now.
    void readsAnEntrysFileOnce()
    {
        for (const bool writtenHere : {true, false}) {
            QTemporaryDir folder;
            if (!writtenHere) {
                QNetworkDiskCache before;
                before.setCacheDirectory(folder.path());
                storeAnswer(before, "application/json", "older");
            }
            HttpDiskCache cache(folder.path(), 1 << 20);
            if (writtenHere) {
                storeAnswer(cache, "application/json", "older");
                written(cache);
            } else {
                QVERIFY(cache.metaData(urlOf(1)).isValid());
            }
            // Files that read as no entry at all.
            QDirIterator files(folder.path(), {QStringLiteral("*.d")}, QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile file(files.next());
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            }
            QNetworkCacheMetaData known = cache.metaData(urlOf(1));
            QVERIFY(known.expirationDate() > QDateTime::currentDateTimeUtc());
            known.setExpirationDate(known.expirationDate().addDays(2));
            cache.updateMetaData(known);
            written(cache);
            QCOMPARE(cache.metaData(urlOf(1)).expirationDate(), known.expirationDate());
            cache.remove(urlOf(1));
            QVERIFY(!cache.metaData(urlOf(1)).isValid());
        }
    }

    void aWriteCutShortByAFullDiskLeavesNoEntry_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("written as it came") << QByteArray("application/json");
        QTest::newRow("compressed by Qt") << QByteArray("text/plain");
    }

    // A full disk takes part of a file and reports no error. What was cut
    // short is never served, not even from its fresh expiry, and the
    // older answer of the address goes with it.
    void aWriteCutShortByAFullDiskLeavesNoEntry()
    {
        QFETCH(QByteArray, type);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("small-disk"));
        pv::test::SmallDisk disk(folder, 2 * 1024 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        // Random bytes, which compressing does not shrink; the newer answer
        // does not fit even where the older one was.
        const auto randomBytes = [](int size, quint32 seed) {
            QByteArray bytes(size, Qt::Uninitialized);
            QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
            return bytes;
        };
        const QByteArray body = randomBytes(100 * 1024, 53);
        const QByteArray newer = randomBytes(600 * 1024, 6);
        HttpDiskCache cache(folder, 64 * 1024 * 1024);
        for (const qint64 left : {qint64(0), qint64(128 * 1024)}) {
            storeAnswer(cache, type, body);
            written(cache);
            QCOMPARE(served(cache), body);
            disk.fillLeaving(left);
            storeAnswer(cache, type, newer);
            QCOMPARE(served(cache), newer); // from memory while it is written
            written(cache);
            QVERIFY(!cache.metaData(urlOf(1)).isValid());
            QVERIFY(served(cache).isEmpty());
            QCOMPARE(folderBytes(folder), 0);
            disk.removeFiller();
        }

        // A copy the server confirmed is written again with its new expiry:
        // whole, or not at all.
        storeAnswer(cache, type, body);
        written(cache);
        disk.fillLeaving(32 * 1024);
        QNetworkCacheMetaData confirmed = cache.metaData(urlOf(1));
        confirmed.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(2));
        cache.updateMetaData(confirmed);
        written(cache);
        const QByteArray after = served(cache);
        QVERIFY(after.isEmpty() || after == body);
        QCOMPARE(folderBytes(folder) > 0, !after.isEmpty());
    }
};

PV_REGISTER_TEST(HttpDiskCacheTest)
#include "HttpDiskCacheTest.moc"
