#include "TestRegistry.h"

#include "core/HttpDiskCache.h"

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

    void servesAnAnswerBeforeAndAfterItsFileIsWritten()
    {
        QTemporaryDir folder;
        HttpDiskCache cache(folder.path(), 1 << 20);
        const QDateTime expiry = QDateTime::currentDateTimeUtc().addDays(1);
        for (const bool written : {false, true}) {
            store(cache, 1);
            store(cache, 2);
            QNetworkCacheMetaData updated = cache.metaData(urlOf(1));
            updated.setExpirationDate(expiry);
            cache.updateMetaData(updated);
            cache.remove(urlOf(2));
            if (written)
                cache.waitForTrim();
            const std::unique_ptr<QIODevice> body(cache.data(urlOf(1)));
            QVERIFY(body && body->readAll() == QByteArray(10 * 1024, 'x'));
            QCOMPARE(cache.metaData(urlOf(1)).expirationDate(), expiry);
            QVERIFY(!cache.metaData(urlOf(2)).isValid());
        }
        QNetworkDiskCache reader;
        reader.setCacheDirectory(folder.path());
        QCOMPARE(reader.metaData(urlOf(1)).expirationDate(), expiry);
        QVERIFY(!reader.metaData(urlOf(2)).isValid());
    }
};

PV_REGISTER_TEST(HttpDiskCacheTest)
#include "HttpDiskCacheTest.moc"
