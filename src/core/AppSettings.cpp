#include "core/AppSettings.h"

#include "core/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>

namespace pv {

namespace {
std::atomic_bool failureReported{false};
const char *const settingsFileName = "tallowk_prefs.ini";
}

AppSettings::AppSettings()
    : QSettings(filePath(), QSettings::IniFormat)
{
}

AppSettings::~AppSettings()
{
    sync();
    const Status st = status();
    if (st == NoError)
        return;
    if (failureReported.exchange(true))
        return;
    const QString path = QDir::toNativeSeparators(fileName());
    if (st == AccessError) {
        Log::error(QStringLiteral("app"),
                   QCoreApplication::translate("AppSettings",
                       "Settings file %1 could not be read or written; preferences changed now will be forgotten when Tallowmerick closes.")
                       .arg(path));
    } else {
        Log::warn(QStringLiteral("app"),
                  QCoreApplication::translate("AppSettings",
                      "Settings file %1 is malformed; the preferences it could not be read for fell back to their defaults.")
                      .arg(path));
    }
}

QString AppSettings::filePath()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir(dir).filePath(QString::fromLatin1(settingsFileName));
}

void AppSettings::seedIfMissing()
{
    seedIfMissingFrom(QCoreApplication::applicationDirPath());
}

void AppSettings::seedIfMissingFrom(const QString &presetFolder)
{
    const QString target = filePath();
    if (QFileInfo::exists(target))
        return;
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder)) {
        Log::error(QStringLiteral("app"),
                   QCoreApplication::translate("AppSettings",
                       "Settings folder %1 could not be created; preferences will not be remembered.")
                       .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    const QString preset = QDir(presetFolder).filePath(QString::fromLatin1(settingsFileName));
    if (!QFileInfo::exists(preset))
        return;
    if (QFile::copy(preset, target)) {
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ReadUser | QFileDevice::WriteUser);
        Log::info(QStringLiteral("app"),
                  QCoreApplication::translate("AppSettings", "Settings seeded from %1.")
                      .arg(QDir::toNativeSeparators(preset)));
    } else {
        Log::warn(QStringLiteral("app"),
                  QCoreApplication::translate("AppSettings",
                      "Could not seed the settings file from %1; starting from the built-in defaults.")
                      .arg(QDir::toNativeSeparators(preset)));
    }
}

} // namespace pv
