#include "catalog/ImageCache.h"

#include "core/AppSettings.h"
#include "core/FileSaving.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QDateTime>
#include <QStandardPaths>

namespace pv {

namespace {

const QString settingsKey = QStringLiteral("imageCache/directory");
const QString logCategory = QStringLiteral("cache");
constexpr int memoryLimitKb = 65536;

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("ImageCache", text, nullptr, n);
}

QString storedFolder()
{
    AppSettings settings;
    return settings.value(settingsKey).toString().trimmed();
}

// Whether the bytes of a JPEG, PNG or WebP picture run to the format's end
// marker; other formats are left to their decoder.
bool reachesEndMarker(const QByteArray &bytes)
{
    if (bytes.startsWith("\xff\xd8")) {
        // Some writers pad a JPEG after its end-of-image marker.
        qsizetype end = bytes.size();
        while (end > 2 && (bytes.at(end - 1) == '\0' || bytes.at(end - 1) == '\n' || bytes.at(end - 1) == '\r'
                           || bytes.at(end - 1) == ' '))
            --end;
        return end >= 4 && bytes.at(end - 2) == '\xff' && bytes.at(end - 1) == '\xd9';
    }
    if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        const qsizetype iend = bytes.lastIndexOf("IEND");
        return iend >= 12 && iend + 8 <= bytes.size();
    }
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP") {
        const auto *size = reinterpret_cast<const uchar *>(bytes.constData() + 4);
        const quint64 declared = quint64(size[0]) | quint64(size[1]) << 8 | quint64(size[2]) << 16
            | quint64(size[3]) << 24;
        return declared + 8 <= quint64(bytes.size());
    }
    return true;
}

// Set while a picture is decoded on this thread: the JPEG decoder reports
// damage it papers over only as a warning. (The PNG decoder also warns about
// harmless things, such as an odd colour profile; a cut PNG lacks its end.)
thread_local bool t_decoding = false;
thread_local QString t_decoderWarning;
QtMessageHandler g_previousHandler = nullptr;

bool isJpegDamage(const QMessageLogContext &context, const QString &message)
{
    return (context.category && qstrcmp(context.category, "qt.gui.imageio.jpeg") == 0)
        || message.contains(QLatin1String("JPEG"));
}

void noteDecoderWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_decoding && type == QtWarningMsg && isJpegDamage(context, message)) {
        if (t_decoderWarning.isEmpty())
            t_decoderWarning = message;
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

QImage ImageCache::decodeImage(const QByteArray &bytes, QString *problem)
{
    if (bytes.isEmpty()) {
        if (problem)
            *problem = tr("no data");
        return QImage();
    }
    if (!reachesEndMarker(bytes)) {
        if (problem)
            *problem = tr("the picture is cut short");
        return QImage();
    }
    QImage image;
    bool decoded = false;
    {
        // The handler is the process's: two threads decoding at once would
        // restore each other's.
        static QMutex handlerMutex;
        const QMutexLocker lock(&handlerMutex);
        t_decoding = true;
        t_decoderWarning.clear();
        g_previousHandler = qInstallMessageHandler(noteDecoderWarning);
        decoded = image.loadFromData(bytes);
        qInstallMessageHandler(g_previousHandler);
        t_decoding = false;
    }
    if (!decoded || !t_decoderWarning.isEmpty()) {
        if (problem)
            *problem = decoded ? t_decoderWarning : tr("the picture could not be decoded");
        return QImage();
    }
    return image;
}

QPixmap ImageCache::decodePicture(const QByteArray &bytes, QString *problem)
{
    const QImage image = decodeImage(bytes, problem);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

ImageCache::ImageCache()
    : m_folder(currentFolder())
{
    const QString shown = QDir::toNativeSeparators(m_folder.absolutePath());
    if (m_folder.exists() || m_folder.mkpath(QStringLiteral("."))) {
        Log::info(logCategory, tr("Image cache folder: %1").arg(shown));
        // Pictures whose store was cut short leave their temporary files.
        const int removed = removeLeftovers(StaleLeftoverSeconds);
        if (removed > 0)
            Log::info(logCategory, tr("Removed %n unfinished picture file(s).", removed));
    } else {
        Log::error(logCategory,
                   tr("Image cache folder %1 could not be created; downloaded art will not be kept on disk.")
                       .arg(shown));
    }
    if (QPixmapCache::cacheLimit() < memoryLimitKb)
        QPixmapCache::setCacheLimit(memoryLimitKb);
}

QString ImageCache::defaultFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return QDir(base + QStringLiteral("/imagecache")).absolutePath();
}

QString ImageCache::currentFolder()
{
    const QString chosen = storedFolder();
    if (chosen.isEmpty())
        return defaultFolder();
    return QDir(chosen).absolutePath();
}

bool ImageCache::hasCustomFolder()
{
    return !storedFolder().isEmpty();
}

bool ImageCache::setFolder(const QString &path)
{
    const QString trimmed = path.trimmed();
    const QString absolute = trimmed.isEmpty() ? defaultFolder() : QDir(trimmed).absolutePath();
    QDir dir(absolute);
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        return false;
    AppSettings settings;
    settings.setValue(settingsKey, absolute);
    return true;
}

bool ImageCache::isCacheFileName(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{40}\\.[^./]+$"));
    return pattern.match(fileName).hasMatch();
}

QString ImageCache::filePathFor(const QString &url) const
{
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex();
    QString suffix = QFileInfo(url).suffix().toLower();
    if (suffix.isEmpty())
        suffix = QStringLiteral("img");
    return m_folder.absoluteFilePath(QString::fromLatin1(digest) + QLatin1Char('.') + suffix);
}

QPixmap ImageCache::load(const QString &url) const
{
    QPixmap pixmap;
    if (url.isEmpty())
        return pixmap;
    if (QPixmapCache::find(url, &pixmap))
        return pixmap;
    const QString path = filePathFor(url);
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return QPixmap();
    const QByteArray bytes = file.readAll();
    file.close();
    QString problem;
    pixmap = decodePicture(bytes, &problem);
    if (!pixmap.isNull()) {
        QPixmapCache::insert(url, pixmap);
        return pixmap;
    }
    // A damaged file is dropped so that the image is fetched again.
    Log::warn(logCategory, tr("Dropped the cached picture %1: %2").arg(QDir::toNativeSeparators(path), problem));
    QFile::remove(path);
    return QPixmap();
}

void ImageCache::store(const QString &url, const QByteArray &bytes, const QPixmap &pixmap)
{
    if (url.isEmpty() || pixmap.isNull())
        return;
    remember(url, pixmap);
    writeFile(filePathFor(url), url, bytes);
}

void ImageCache::remember(const QString &url, const QPixmap &pixmap)
{
    if (!url.isEmpty() && !pixmap.isNull())
        QPixmapCache::insert(url, pixmap);
}

void ImageCache::writeFile(const QString &path, const QString &url, const QByteArray &bytes)
{
    if (path.isEmpty() || bytes.isEmpty())
        return;
    // Written through a temporary file so a failed write never leaves a
    // truncated image behind under the final name.
    QString reason;
    if (replaceCacheFile(path, bytes, &reason) != SaveStep::Done) {
        Log::warn(logCategory, tr("Could not cache %1 to %2: %3")
                                   .arg(url, QDir::toNativeSeparators(path), reason));
    }
}

int ImageCache::removeLeftovers(qint64 minimumAgeSeconds)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int removed = 0;
    const QStringList names = m_folder.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString &name : names) {
        if (!isCacheFileName(saveLeftoverBase(name)))
            continue;
        const QFileInfo leftover(m_folder.absoluteFilePath(name));
        if (minimumAgeSeconds > 0 && leftover.lastModified().toUTC().secsTo(now) < minimumAgeSeconds)
            continue;
        if (QFile::remove(leftover.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

void ImageCache::clear()
{
    QPixmapCache::clear();
    // The folder may be one the user picked and shares with other files:
    // only files named the way this cache names them are removed.
    const QStringList names = m_folder.entryList(QDir::Files, QDir::Unsorted);
    for (const QString &name : names) {
        if (isCacheFileName(name))
            QFile::remove(m_folder.absoluteFilePath(name));
    }
    removeLeftovers(0);
}

bool ImageCache::changeFolder(const QString &path)
{
    if (!setFolder(path))
        return false;
    const QDir next(currentFolder());
    if (next.absolutePath() == m_folder.absolutePath())
        return true;
    m_folder = next;
    QPixmapCache::clear();
    Log::info(logCategory, tr("Image cache folder changed to %1")
                               .arg(QDir::toNativeSeparators(m_folder.absolutePath())));
    return true;
}

} // namespace pv
