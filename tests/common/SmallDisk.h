#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QString>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace pv::test {

// A small memory-backed file system mounted on a folder for as long as the
// object lives, to see what writers do when the disk fills up. Mounting
// needs root; isMounted() says whether it worked and whyNot() why not.
class SmallDisk
{
public:
    SmallDisk(const QString &folder, qint64 bytes)
        : m_folder(folder)
    {
#ifdef Q_OS_LINUX
        if (::geteuid() != 0) {
            m_whyNot = QStringLiteral("mounting a small disk needs root");
            return;
        }
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(bytes);
        m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
        if (!m_mounted)
            m_whyNot = QStringLiteral("mounting a small disk failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
#else
        Q_UNUSED(bytes)
        m_whyNot = QStringLiteral("small disks are mounted on Linux only");
#endif
    }

    ~SmallDisk()
    {
#ifdef Q_OS_LINUX
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
#endif
    }

    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }

    // Fills the disk with a file of zeros until at most `left` bytes are free
    // (tmpfs counts whole pages). Returns the free space that is left.
    qint64 fillLeaving(qint64 left)
    {
        QFile filler(QDir(m_folder).filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return -1;
        const QByteArray page(4096, '\0');
        while (freeBytes() > left) {
            const qint64 chunk = qMin<qint64>(page.size(), freeBytes() - left);
            if (filler.write(page.constData(), chunk) <= 0)
                break;
        }
        return freeBytes();
    }

    void removeFiller() { QFile::remove(QDir(m_folder).filePath(QStringLiteral("filler"))); }

    qint64 freeBytes() const
    {
        QStorageInfo info(m_folder);
        info.refresh();
        return info.bytesAvailable();
    }

private:
    QString m_folder;
    QString m_whyNot;
    bool m_mounted = false;
};

} // namespace pv::test

