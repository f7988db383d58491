#include "core/FileSaving.h"

#include "core/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

namespace pv {

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("FileSaving", text, nullptr, n);
}

bool isLeftoverSuffixChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

} // namespace

bool writeFully(QIODevice &device, const QByteArray &bytes, QString *reason)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = device.write(data, left);
        if (written > 0) {
            data += written;
            left -= written;
            continue;
        }
        // Nothing taken: a full disk (reported as a short count, or as a
        // resource error) or another failure the device names.
        bool noSpace = written == 0;
        if (const auto *file = qobject_cast<const QFileDevice *>(&device)) {
            noSpace = noSpace || file->error() == QFileDevice::NoError
                || file->error() == QFileDevice::ResourceError;
        }
        if (reason)
            *reason = noSpace ? tr("not enough disk space") : device.errorString();
        return false;
    }
    return true;
}

SaveStep replaceFileContents(const QString &path, const QByteArray &bytes, QString *reason)
{
    QSaveFile file(path);
    // Unbuffered, so that every write reaches the disk while its count can
    // still be checked; a buffered file would only fail at the commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (reason)
            *reason = file.errorString();
        return SaveStep::Open;
    }
    if (!writeFully(file, bytes, reason)) {
        file.cancelWriting();
        return SaveStep::Write;
    }
    if (!file.commit()) {
        if (reason)
            *reason = file.error() == QFileDevice::ResourceError ? tr("not enough disk space") : file.errorString();
        return SaveStep::Commit;
    }
    return SaveStep::Done;
}

QString saveLeftoverBase(const QString &fileName)
{
    const qsizetype dot = fileName.size() - 7;
    if (dot < 1 || fileName.at(dot) != QLatin1Char('.'))
        return QString();
    for (qsizetype i = dot + 1; i < fileName.size(); ++i) {
        if (!isLeftoverSuffixChar(fileName.at(i)))
            return QString();
    }
    return fileName.left(dot);
}

int removeSaveLeftovers(const QString &path, qint64 minimumAgeSeconds)
{
    const QFileInfo target(path);
    const QString baseName = target.fileName();
    if (baseName.isEmpty())
        return 0;
    const QDir folder = target.absoluteDir();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int removed = 0;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString &name : names) {
        if (saveLeftoverBase(name) != baseName)
            continue;
        const QFileInfo leftover(folder.absoluteFilePath(name));
        if (leftover.lastModified().toUTC().secsTo(now) < minimumAgeSeconds)
            continue;
        if (QFile::remove(leftover.absoluteFilePath()))
            ++removed;
    }
    if (removed > 0)
        Log::info(QStringLiteral("files"), tr("Removed %n temporary file(s) left by an interrupted save of %1.", removed)
                                               .arg(QDir::toNativeSeparators(path)));
    return removed;
}

} // namespace pv
