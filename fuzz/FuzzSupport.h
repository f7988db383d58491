#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every harness shares: an application object (for translations and
// standard paths), a scratch folder of its own, and a way to stop with a
// message when a check fails.
namespace pv::fuzz {

inline void start()
{
    static int argc = 1;
    static char name[] = "tallowk-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = nullptr;
    if (app)
        return;
    // Settings, caches and logs of the run stay in the scratch folder.
    const QByteArray scratch = QDir::tempPath().toUtf8() + "/tallowk-fuzz-" + QByteArray::number(QCoreApplication::applicationPid());
    QDir().mkpath(QString::fromUtf8(scratch));
    qputenv("HOME", scratch);
    qputenv("XDG_CONFIG_HOME", scratch + "/config");
    qputenv("XDG_DATA_HOME", scratch + "/data");
    qputenv("XDG_CACHE_HOME", scratch + "/cache");
    app = new QCoreApplication(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QCoreApplication::setApplicationName(QStringLiteral("TallowmerickFuzz"));
}

// A file in the scratch folder.
inline QString scratchFile(const QString &name)
{
    return QDir::tempPath() + QStringLiteral("/tallowk-fuzz-%1/").arg(QCoreApplication::applicationPid()) + name;
}

inline QString writeScratch(const QString &name, const uint8_t *data, size_t size)
{
    const QString path = scratchFile(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Stops the run as a finding.
[[noreturn]] inline void fail(const QString &what)
{
    std::fprintf(stderr, "check failed: %s\n", qPrintable(what));
    std::abort();
}

} // namespace pv::fuzz
