#include "core/FileSaving.h"

#include "core/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <unistd.h>
#endif

namespace pv {

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("FileSaving", text, nullptr, n);
}

// A save writes "<name>.tallowk-save-<eight hexadecimal digits>.tmp" and
// renames it over <name>. Only names of exactly that form are ever taken for
// the leftovers of a save that did not finish.
const QLatin1String kMark(".tallowk-save-");
const QLatin1String kEnd(".tmp");
constexpr int kSerialDigits = 8;

QString systemReason(int code)
{
#ifdef ENOSPC
    if (code == ENOSPC)
        return tr("not enough disk space");
#endif
#ifdef EDQUOT
    if (code == EDQUOT)
        return tr("not enough disk space");
#endif
    return QString::fromLocal8Bit(std::strerror(code));
}

// The file a save of path ends up in: a link is followed to the file it
// points to, so that the link stays a link.
QString finalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 64 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

bool syncToDisk(QFile &file, QString *reason)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        *reason = systemReason(errno);
        return false;
    }
#else
    Q_UNUSED(file)
    Q_UNUSED(reason)
#endif
    return true;
}

// Puts from in to's place in one step: to is either the old file or the new
// one, never missing and never partly written.
bool renameOver(const QString &from, const QString &to, QString *reason)
{
#ifdef Q_OS_WIN
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring destination = QDir::toNativeSeparators(to).toStdWString();
    if (::MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *reason = qt_error_string(int(::GetLastError()));
    return false;
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *reason = systemReason(errno);
    return false;
#endif
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
    const QString target = finalTarget(path);
    const QFileInfo existing(target);
    if (existing.isDir()) {
        if (reason)
            *reason = tr("a folder has that name");
        return SaveStep::Open;
    }
    if (existing.exists() && !existing.isWritable()) {
        if (reason)
            *reason = tr("the file is read-only");
        return SaveStep::Open;
    }

    // A new name each time, created only when no file has it yet, so that
    // nothing already on the disk is ever opened for writing. Unbuffered, so
    // that every write reaches the disk while its count can still be
    // checked; a buffered file would only fail at the close.
    QFile file;
    bool opened = false;
    for (int attempt = 0; attempt < 8 && !opened; ++attempt) {
        file.setFileName(saveTemporaryPath(target));
        opened = file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
        if (!opened && !QFileInfo::exists(file.fileName()))
            break;
    }
    if (!opened) {
        if (reason)
            *reason = file.errorString();
        return SaveStep::Open;
    }
    const QString temporary = file.fileName();
    if (existing.exists())
        file.setPermissions(existing.permissions());

    if (!writeFully(file, bytes, reason)) {
        file.close();
        QFile::remove(temporary);
        return SaveStep::Write;
    }
    QString problem;
    bool complete = syncToDisk(file, &problem);
    file.close();
    if (complete && file.error() != QFileDevice::NoError) {
        complete = false;
        problem = file.error() == QFileDevice::ResourceError ? tr("not enough disk space") : file.errorString();
    }
    if (complete)
        complete = renameOver(temporary, target, &problem);
    if (!complete) {
        QFile::remove(temporary);
        if (reason)
            *reason = problem;
        return SaveStep::Commit;
    }
    return SaveStep::Done;
}

QString saveTemporaryPath(const QString &path)
{
    const quint32 serial = QRandomGenerator::global()->generate();
    return path + kMark + QStringLiteral("%1").arg(serial, kSerialDigits, 16, QLatin1Char('0')) + kEnd;
}

QString saveLeftoverBase(const QString &fileName)
{
    const qsizetype tail = kMark.size() + kSerialDigits + kEnd.size();
    const qsizetype start = fileName.size() - tail;
    if (start < 1)
        return QString();
    const QStringView name(fileName);
    if (!name.mid(start).startsWith(kMark) || !name.endsWith(kEnd))
        return QString();
    for (const QChar c : name.mid(start + kMark.size(), kSerialDigits)) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f')))
            return QString();
    }
    return fileName.left(start);
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
