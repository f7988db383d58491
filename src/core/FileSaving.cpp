#include "core/FileSaving.h"

#include "core/Log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
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
const int kTailSize = kMark.size() + kSerialDigits + kEnd.size();
// The longest file name, in bytes, that common file systems take; and the
// digest that stands for the cut end of a longer one.
constexpr int kLongestName = 255;
constexpr int kDigestDigits = 8;

std::function<void(SaveEvent, const QString &)> &saveTrace()
{
    static std::function<void(SaveEvent, const QString &)> trace;
    return trace;
}

void traceStep(SaveEvent event, const QString &path)
{
    if (saveTrace())
        saveTrace()(event, path);
}

// What a temporary name starts with before the mark: the file name, or the
// start of a name too long for that and a digest of all of it.
QString temporaryStem(const QString &fileName)
{
    if (fileName.toUtf8().size() + kTailSize <= kLongestName)
        return fileName;
    const int room = kLongestName - kTailSize - 1 - kDigestDigits;
    QString stem;
    int bytes = 0;
    for (qsizetype i = 0; i < fileName.size();) {
        // Whole characters only: a surrogate pair stays together.
        const qsizetype length = fileName.at(i).isHighSurrogate() && i + 1 < fileName.size() ? 2 : 1;
        const QStringView character = QStringView(fileName).mid(i, length);
        bytes += int(character.toUtf8().size());
        if (bytes > room)
            break;
        stem += character;
        i += length;
    }
    const QByteArray digest = QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Sha1).toHex();
    return stem + QLatin1Char('~') + QLatin1String(digest.left(kDigestDigits));
}

// Why something that is no regular file is not opened as one.
QString notAFileReason(bool folder)
{
    return folder ? tr("it is a folder, not a file") : tr("it is a pipe, device or socket, not a file");
}

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

#ifdef Q_OS_UNIX
// Flushes what the descriptor refers to onto the disk. A file system that
// cannot sync (EINVAL, EROFS) is no failure.
bool syncDescriptor(int fd, QString *reason)
{
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        *reason = systemReason(errno);
        return false;
    }
    return true;
}

// The mode bits this process gives a new file, read once: the program never
// changes its umask, and every artwork stored would read it again.
mode_t readNewFileMode()
{
    mode_t mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    bool known = false;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                mask = mode_t(line.mid(6).trimmed().toUInt(&known, 8));
                break;
            }
        }
    }
    if (!known) {
        mask = ::umask(077);
        ::umask(mask);
    }
    return 0666 & ~mask;
}

mode_t newFileMode()
{
    static const mode_t mode = readNewFileMode();
    return mode;
}
#endif

bool syncToDisk(QFile &file, QString *reason)
{
#ifdef Q_OS_UNIX
    return syncDescriptor(file.handle(), reason);
#else
    Q_UNUSED(file)
    Q_UNUSED(reason)
    return true;
#endif
}

// Makes the rename of a file in folder lasting: until the folder itself is
// on the disk, a power cut can bring the old file back.
bool syncFolder(const QString &folder, QString *reason)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder this account may write into but not read cannot be synced
    // by it at all.
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        return true;
    if (fd < 0) {
        *reason = systemReason(errno);
        return false;
    }
    const bool synced = syncDescriptor(fd, reason);
    ::close(fd);
    traceStep(SaveEvent::FolderSynced, folder);
    return synced;
#else
    Q_UNUSED(folder)
    Q_UNUSED(reason)
    return true;
#endif
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

// The mode a saved file ends with, the old file's or a new file's, and the
// narrower one its temporary file has while it is written.
class FileMode
{
public:
    static FileMode of(const QFileInfo &existing)
    {
        FileMode mode;
#ifdef Q_OS_UNIX
        struct stat status;
        if (existing.exists() && ::stat(QFile::encodeName(existing.filePath()).constData(), &status) == 0)
            mode.m_bits = status.st_mode & 07777;
        else
            mode.m_bits = newFileMode();
#else
        mode.m_permissions = existing.exists() ? existing.permissions() : QFile::Permissions();
#endif
        return mode;
    }

    // Read and write for the owner at most.
    QFile::Permissions whileWritten() const
    {
#ifdef Q_OS_UNIX
        return QFile::Permissions((m_bits & S_IRUSR ? QFile::ReadOwner : 0)
                                  | (m_bits & S_IWUSR ? QFile::WriteOwner : 0));
#else
        return QFile::ReadOwner | QFile::WriteOwner;
#endif
    }

    // Gives the open file its final mode; a file system that keeps no modes
    // and already shows that one is no failure.
    bool applyTo(QFile &file, QString *reason) const
    {
#ifdef Q_OS_UNIX
        if (::fchmod(file.handle(), m_bits) == 0)
            return true;
        const int code = errno;
        struct stat status;
        if (::fstat(file.handle(), &status) == 0 && (status.st_mode & 07777) == m_bits)
            return true;
        *reason = tr("could not set the file's permissions: %1").arg(systemReason(code));
        return false;
#else
        if (!m_permissions || file.setPermissions(m_permissions))
            return true;
        *reason = tr("could not set the file's permissions: %1").arg(file.errorString());
        return false;
#endif
    }

private:
#ifdef Q_OS_UNIX
    mode_t m_bits = 0600;
#else
    QFile::Permissions m_permissions;
#endif
};

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

namespace {

enum class Durability { Synced, Unsynced };

SaveStep replaceFile(const QString &path, const QByteArray &bytes, QString *reason, Durability durability)
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
    const FileMode mode = FileMode::of(existing);

    // A new name each time, created only when no file has it yet, so that
    // nothing already on the disk is ever opened for writing; and created
    // private, so that no other account can open it and read along while it
    // is written. Unbuffered, so that every write reaches the disk while its
    // count can still be checked; a buffered file would only fail at the
    // close.
    QFile file;
    bool opened = false;
    for (int attempt = 0; attempt < 8 && !opened; ++attempt) {
        file.setFileName(saveTemporaryPath(target));
        opened = file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered, mode.whileWritten());
        if (!opened && !QFileInfo::exists(file.fileName()))
            break;
    }
    if (!opened) {
        if (reason)
            *reason = file.errorString();
        return SaveStep::Open;
    }
    const QString temporary = file.fileName();
    traceStep(SaveEvent::Created, temporary);

    if (!writeFully(file, bytes, reason)) {
        file.close();
        QFile::remove(temporary);
        return SaveStep::Write;
    }
    QString problem;
    bool complete = mode.applyTo(file, &problem);
    if (complete) {
        traceStep(SaveEvent::ModeSet, temporary);
        if (durability == Durability::Synced) {
            complete = syncToDisk(file, &problem);
            traceStep(SaveEvent::FileSynced, temporary);
        }
    }
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
    traceStep(SaveEvent::Renamed, target);
    if (durability == Durability::Synced && !syncFolder(existing.absolutePath(), &problem)) {
        if (reason)
            *reason = problem;
        return SaveStep::Commit;
    }
    return SaveStep::Done;
}

} // namespace

SaveStep replaceFileContents(const QString &path, const QByteArray &bytes, QString *reason)
{
    return replaceFile(path, bytes, reason, Durability::Synced);
}

SaveStep replaceCacheFile(const QString &path, const QByteArray &bytes, QString *reason)
{
    return replaceFile(path, bytes, reason, Durability::Unsynced);
}

QString saveTemporaryPath(const QString &path)
{
    const quint32 serial = QRandomGenerator::global()->generate();
    const QString name = QFileInfo(path).fileName();
    return path.chopped(name.size()) + temporaryStem(name) + kMark
        + QStringLiteral("%1").arg(serial, kSerialDigits, 16, QLatin1Char('0')) + kEnd;
}

QString saveLeftoverBase(const QString &fileName)
{
    const qsizetype start = fileName.size() - kTailSize;
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
    // A save through a link writes beside the file the link points to.
    const QFileInfo target(finalTarget(path));
    if (target.fileName().isEmpty())
        return 0;
    const QString baseName = temporaryStem(target.fileName());
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

bool openRegularFile(QFile &file, QString *reason)
{
#ifdef Q_OS_UNIX
    // Opened without waiting, as a named pipe would wait for a writer; the
    // file is then read as any other.
    const QByteArray name = QFile::encodeName(file.fileName());
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (fd < 0) {
        const int error = errno;
        // A socket cannot be opened at all, nor some devices: they are
        // named for what they are all the same.
        const bool special = ::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode);
        *reason = special ? notAFileReason(S_ISDIR(status.st_mode)) : systemReason(error);
        return false;
    }
    const bool known = ::fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        *reason = known ? notAFileReason(S_ISDIR(status.st_mode)) : systemReason(errno);
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        *reason = systemReason(errno);
        ::close(fd);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#else
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile()) {
        *reason = notAFileReason(info.isDir());
        return false;
    }
    if (file.open(QIODevice::ReadOnly))
        return true;
    *reason = file.errorString();
    return false;
#endif
}

void setSaveTraceForTests(std::function<void(SaveEvent, const QString &)> trace)
{
    saveTrace() = std::move(trace);
}

} // namespace pv
