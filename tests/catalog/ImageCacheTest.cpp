#include "LogProbe.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/ImageCache.h"
#include "core/AppSettings.h"
#include "core/FileSaving.h"
#include "core/Log.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPixmapCache>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray pngBytes(const QColor &colour, int size = 8)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QPixmap pixmapOf(const QByteArray &bytes)
{
    QPixmap pixmap;
    pixmap.loadFromData(bytes);
    return pixmap;
}

bool logHas(int level, const QString &fragment)
{
    return pv::test::logHas(level, QStringLiteral("cache"), fragment);
}

} // namespace

class ImageCacheTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;

    QString freshFolder(const QString &name)
    {
        const QString path = m_root.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    static void forgetFolderChoice()
    {
        pv::AppSettings settings;
        settings.remove(QStringLiteral("imageCache/directory"));
    }

private Q_SLOTS:
    void init()
    {
        QPixmapCache::clear();
        pv::Log::instance().clear();
        forgetFolderChoice();
    }

    // The folders chosen here go away with this test's temporary folder.
    void cleanupTestCase() { forgetFolderChoice(); }

    void folderDefaultsToLocalData()
    {
        QVERIFY(!pv::ImageCache::hasCustomFolder());
        QVERIFY(pv::ImageCache::defaultFolder().endsWith(QLatin1String("/imagecache")));
        QVERIFY(QDir::isAbsolutePath(pv::ImageCache::defaultFolder()));
        QCOMPARE(pv::ImageCache::currentFolder(), pv::ImageCache::defaultFolder());

        pv::ImageCache cache;
        QCOMPARE(cache.folder().absolutePath(), pv::ImageCache::defaultFolder());
        QVERIFY(cache.folder().exists());
        QVERIFY(logHas(pv::Log::Info, QStringLiteral("Image cache folder: ")));
        QVERIFY(QPixmapCache::cacheLimit() >= 65536);
    }

    void fileNames()
    {
        pv::ImageCache cache;
        const QString base = QStringLiteral("https://img.example/en/sv/sv03/001");
        const QString png = QFileInfo(cache.filePathFor(base + QStringLiteral("/high.PNG"))).fileName();
        QVERIFY(png.endsWith(QLatin1String(".png")));
        QCOMPARE(png.size(), 44);
        QVERIFY(pv::ImageCache::isCacheFileName(png));
        QVERIFY(QFileInfo(cache.filePathFor(base + QStringLiteral("/x.WEBP"))).fileName().endsWith(QLatin1String(".webp")));
        QVERIFY(cache.filePathFor(base).endsWith(QLatin1String(".img")));

        // Same URL, same name; letter case in the URL makes another name.
        QCOMPARE(cache.filePathFor(base + QStringLiteral("/low.jpg")), cache.filePathFor(base + QStringLiteral("/low.jpg")));
        QVERIFY(cache.filePathFor(base + QStringLiteral("/low.jpg")) != cache.filePathFor(base + QStringLiteral("/LOW.jpg")));
        QCOMPARE(QFileInfo(cache.filePathFor(base)).absolutePath(), cache.folder().absolutePath());

        QVERIFY(!pv::ImageCache::isCacheFileName(QStringLiteral("holiday.jpg")));
        QVERIFY(!pv::ImageCache::isCacheFileName(QString(40, QLatin1Char('A')) + QStringLiteral(".png")));
        QVERIFY(!pv::ImageCache::isCacheFileName(QString(40, QLatin1Char('a'))));
        QVERIFY(!pv::ImageCache::isCacheFileName(QString(39, QLatin1Char('a')) + QStringLiteral(".png")));
    }

    void storeAndLoad()
    {
        QVERIFY(pv::ImageCache::setFolder(freshFolder(QStringLiteral("store"))));
        pv::ImageCache cache;
        const QString url = QStringLiteral("https://img.example/en/base1/4/low.jpg");
        const QByteArray bytes = pngBytes(Qt::red);

        // Empty URL and null pixmap are refused outright.
        cache.store(QString(), bytes, pixmapOf(bytes));
        cache.store(url, bytes, QPixmap());
        QVERIFY(cache.load(url).isNull());
        QVERIFY(cache.load(QString()).isNull());
        QVERIFY(!QFileInfo::exists(cache.filePathFor(url)));

        // The bytes land on disk unchanged, put in place in one step without
        // waiting for the disk (a cache can be fetched again), and survive a
        // memory flush.
        QList<pv::SaveEvent> steps;
        pv::setSaveTraceForTests([&steps](pv::SaveEvent event, const QString &) { steps.append(event); });
        const auto untrace = qScopeGuard([] { pv::setSaveTraceForTests({}); });
        cache.store(url, bytes, pixmapOf(bytes));
        QCOMPARE(pv::test::readFile(cache.filePathFor(url)), bytes);
        QCOMPARE(steps, (QList<pv::SaveEvent>{pv::SaveEvent::Created, pv::SaveEvent::ModeSet, pv::SaveEvent::Renamed}));
        QPixmapCache::clear();
        const QPixmap fromDisk = cache.load(url);
        QCOMPARE(fromDisk.size(), QSize(8, 8));

        // Once in memory, a deleted file does not matter.
        QVERIFY(QFile::remove(cache.filePathFor(url)));
        QVERIFY(!cache.load(url).isNull());

        // Without bytes only memory is filled.
        const QString memoryOnly = QStringLiteral("https://img.example/memory-only.png");
        cache.store(memoryOnly, QByteArray(), pixmapOf(bytes));
        QVERIFY(!cache.load(memoryOnly).isNull());
        QVERIFY(!QFileInfo::exists(cache.filePathFor(memoryOnly)));
    }

    void damagedFileIsDropped()
    {
        QVERIFY(pv::ImageCache::setFolder(freshFolder(QStringLiteral("damaged"))));
        pv::ImageCache cache;
        const QString url = QStringLiteral("https://img.example/broken/high.png");
        QVERIFY(pv::test::writeFile(cache.filePathFor(url), "not an image at all"));

        QVERIFY(cache.load(url).isNull());
        QVERIFY(!QFileInfo::exists(cache.filePathFor(url)));
    }

    // Qt decodes a JPEG cut short, padding it with grey, and at most warns:
    // such a picture, or a PNG without its end, is refused.
    void onlyWholePicturesDecode()
    {
        QImage image(120, 90, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(x * 2, y * 2, (x * y) & 255));
        }
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG", 80));
        QVERIFY(!pv::ImageCache::decodePicture(jpeg).isNull());
        QVERIFY(!pv::ImageCache::decodePicture(jpeg + QByteArray(16, '\0')).isNull());

        QString problem;
        QVERIFY(pv::ImageCache::decodePicture(jpeg.left(jpeg.size() / 2), &problem).isNull());
        QCOMPARE(problem, QStringLiteral("the picture is cut short"));
        // Half the data, then an end marker: it decodes only with a warning.
        const QByteArray damaged = jpeg.left(jpeg.size() / 2) + QByteArray("\xff\xd9", 2);
        QVERIFY(pv::ImageCache::decodePicture(damaged, &problem).isNull());
        QVERIFY2(problem.contains(QLatin1String("JPEG")), qPrintable(problem));

        const QByteArray png = pngBytes(Qt::red);
        QVERIFY(!pv::ImageCache::decodePicture(png).isNull());
        QVERIFY(pv::ImageCache::decodePicture(png.left(png.size() - 20), &problem).isNull());
        QCOMPARE(problem, QStringLiteral("the picture is cut short"));
    }

    void failedWriteIsLoggedAndLeavesNothing()
    {
        QVERIFY(pv::ImageCache::setFolder(freshFolder(QStringLiteral("blocked"))));
        pv::ImageCache cache;
        const QString url = QStringLiteral("https://img.example/blocked/low.jpg");
        // A folder standing where the file should go makes every write fail,
        // even for a user who may write anywhere.
        QVERIFY(QDir().mkpath(cache.filePathFor(url)));
        const QByteArray bytes = pngBytes(Qt::blue);
        cache.store(url, bytes, pixmapOf(bytes));

        QVERIFY(logHas(pv::Log::Warn, QStringLiteral("Could not cache %1 to ").arg(url)));
        QVERIFY(QFileInfo(cache.filePathFor(url)).isDir());
        // Nothing half-written is left beside it, and memory still has it.
        const QStringList files = cache.folder().entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(files.isEmpty(), qPrintable(files.join(QLatin1Char(' '))));
        QVERIFY(!cache.load(url).isNull());
    }

    void clearRemovesOnlyCacheFiles()
    {
        const QString folder = freshFolder(QStringLiteral("shared"));
        QVERIFY(pv::ImageCache::setFolder(folder));
        pv::ImageCache cache;
        const QString url = QStringLiteral("https://img.example/clear/low.jpg");
        const QByteArray bytes = pngBytes(Qt::green);
        cache.store(url, bytes, pixmapOf(bytes));

        // The user's own files and subfolders share the folder.
        QFile own(QDir(folder).filePath(QStringLiteral("my-scan.jpg")));
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.close();
        QVERIFY(QDir(folder).mkpath(QStringLiteral("albums")));
        QFile nested(QDir(folder).filePath(QStringLiteral("albums/") + QFileInfo(cache.filePathFor(url)).fileName()));
        QVERIFY(nested.open(QIODevice::WriteOnly));
        nested.close();

        // Temporary files of stores that never finished go too, however new;
        // those of the user's own files stay.
        const QString leftover = pv::saveTemporaryPath(cache.filePathFor(url));
        const QString ownLeftover = pv::saveTemporaryPath(own.fileName());
        QVERIFY(pv::test::writeFile(leftover, "half a picture"));
        QVERIFY(pv::test::writeFile(ownLeftover, "the user's"));

        cache.clear();
        QVERIFY(!QFileInfo::exists(cache.filePathFor(url)));
        QVERIFY(cache.load(url).isNull());
        QVERIFY(own.exists());
        QVERIFY(nested.exists());
        QVERIFY(!QFileInfo::exists(leftover));
        QVERIFY(QFileInfo::exists(ownLeftover));
    }

    // A store killed midway leaves its temporary file behind; old ones go
    // when the cache opens.
    void staleLeftoversGoWhenTheCacheOpens()
    {
        const QString folder = freshFolder(QStringLiteral("leftovers"));
        QVERIFY(pv::ImageCache::setFolder(folder));
        const QString name = QStringLiteral("0123456789abcdef0123456789abcdef01234567.jpg");
        const QString stale = pv::saveTemporaryPath(QDir(folder).filePath(name));
        const QString young = pv::saveTemporaryPath(QDir(folder).filePath(name));
        QVERIFY(pv::test::writeFile(stale, "old"));
        QVERIFY(pv::test::writeFile(young, "new"));
        QFile file(stale);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addDays(-1), QFileDevice::FileModificationTime));
        file.close();

        pv::ImageCache cache;
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(young)); // may belong to a store running now
    }

    void folderChoice()
    {
        // A blank choice stores the default folder, which then counts as chosen.
        QVERIFY(pv::ImageCache::setFolder(QStringLiteral("   ")));
        QVERIFY(pv::ImageCache::hasCustomFolder());
        QCOMPARE(pv::ImageCache::currentFolder(), pv::ImageCache::defaultFolder());

        // A folder below a plain file cannot be made: nothing changes.
        QFile blocker(m_root.filePath(QStringLiteral("plain-file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!pv::ImageCache::setFolder(blocker.fileName() + QStringLiteral("/sub")));
        QCOMPARE(pv::ImageCache::currentFolder(), pv::ImageCache::defaultFolder());

        pv::ImageCache cache;
        QVERIFY(!cache.changeFolder(blocker.fileName() + QStringLiteral("/sub")));
        QCOMPARE(cache.folder().absolutePath(), pv::ImageCache::defaultFolder());
    }

    void changeFolder()
    {
        const QString first = freshFolder(QStringLiteral("first"));
        QVERIFY(pv::ImageCache::setFolder(first));
        pv::ImageCache cache;
        const QString url = QStringLiteral("https://img.example/move/low.jpg");
        const QByteArray bytes = pngBytes(Qt::yellow);
        cache.store(url, bytes, pixmapOf(bytes));
        const QString oldFile = cache.filePathFor(url);

        // Same folder: true, memory kept, nothing logged.
        pv::Log::instance().clear();
        QVERIFY(cache.changeFolder(first));
        QCOMPARE(pv::Log::instance().count(), 0);
        QVERIFY(QFile::remove(oldFile));
        QVERIFY(!cache.load(url).isNull());

        // Another folder, created on the way: memory emptied, old files stay.
        cache.store(url, bytes, pixmapOf(bytes));
        const QString second = m_root.filePath(QStringLiteral("second/deeper"));
        QVERIFY(cache.changeFolder(second));
        QCOMPARE(cache.folder().absolutePath(), QDir(second).absolutePath());
        QCOMPARE(pv::ImageCache::currentFolder(), QDir(second).absolutePath());
        QVERIFY(logHas(pv::Log::Info, QStringLiteral("Image cache folder changed to ")));
        QVERIFY(cache.load(url).isNull());
        QVERIFY(QFileInfo::exists(oldFile));
    }
};

PV_REGISTER_TEST(ImageCacheTest)

#include "ImageCacheTest.moc"
