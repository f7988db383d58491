#include "catalog/ImageCache.h"

#include "core/AppSettings.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace pv {

namespace {

const QString settingsKey = QStringLiteral("imageCache/directory");
const QString logCategory = QStringLiteral("cache");
constexpr int memoryLimitKb = 65536;

QString tr(const char *text)
{
    return QCoreApplication::translate("ImageCache", text);
}

QString storedFolder()
{
    AppSettings settings;
    return settings.value(settingsKey).toString().trimmed();
}

} // namespace

ImageCache::ImageCache()
    : m_folder(currentFolder())
{
    const QString shown = QDir::toNativeSeparators(m_folder.absolutePath());
    if (m_folder.exists() || m_folder.mkpath(QStringLiteral("."))) {
        Log::info(logCategory, tr("Image cache folder: %1").arg(shown));
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
    if (!QFileInfo::exists(path))
        return QPixmap();
    if (pixmap.load(path)) {
        QPixmapCache::insert(url, pixmap);
        return pixmap;
    }
    // A damaged file is dropped so that the image is fetched again.
    QFile::remove(path);
    return QPixmap();
}

void ImageCache::store(const QString &url, const QByteArray &bytes, const QPixmap &pixmap)
{
    if (url.isEmpty() || pixmap.isNull())
        return;
    QPixmapCache::insert(url, pixmap);
    if (bytes.isEmpty())
        return;

    // Written through a temporary file so a failed write never leaves a
    // truncated image behind under the final name.
    const QString path = filePathFor(url);
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (ok)
        ok = file.write(bytes) == bytes.size();
    if (ok)
        ok = file.commit();
    if (!ok) {
        const QString reason = file.errorString();
        file.cancelWriting();
        Log::warn(logCategory, tr("Could not cache %1 to %2: %3")
                                   .arg(url, QDir::toNativeSeparators(path), reason));
    }
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
