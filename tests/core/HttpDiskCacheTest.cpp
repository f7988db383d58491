#include "TestRegistry.h"

#include "core/HttpDiskCache.h"

#include <QTemporaryDir>
#include <QTest>

using pv::HttpDiskCache;

// The web clients' disk cache trims its folder on a worker thread, oldest
// entries first, and still empties at once when cleared.
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
};

PV_REGISTER_TEST(HttpDiskCacheTest)
#include "HttpDiskCacheTest.moc"
