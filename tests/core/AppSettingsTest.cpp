#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/AppSettings.h"
#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;
using pv::test::writeFile;

namespace {

QList<LogEntry> entriesOf(const QString &category)
{
    QList<LogEntry> found;
    for (const LogEntry &e : Log::instance().entries()) {
        if (e.category == category)
            found.append(e);
    }
    return found;
}

} // namespace

class AppSettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        Log::instance().clear();
        QFile::remove(AppSettings::filePath());
    }
    void cleanup()
    {
        const QString path = AppSettings::filePath();
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        QFile::remove(path);
    }

    void livesInTheConfigurationFolder()
    {
        QVERIFY(AppSettings::filePath().endsWith(QStringLiteral("/FernwickGuild/Tallowmerick/tallowk_prefs.ini")));
        QVERIFY(AppSettings::filePath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    }

    void firstStartWithoutPreset()
    {
        QTemporaryDir noPreset;
        QDir(QFileInfo(AppSettings::filePath()).absolutePath()).removeRecursively();
        AppSettings::seedIfMissingFrom(noPreset.path());
        QVERIFY(QFileInfo(QFileInfo(AppSettings::filePath()).absolutePath()).isDir());
        QVERIFY(!QFileInfo::exists(AppSettings::filePath()));
        QVERIFY(entriesOf(QStringLiteral("app")).isEmpty());
        QVERIFY(!AppSettings().contains(QStringLiteral("pricing/displayCurrency")));
    }

    void seedsOnceFromThePreset()
    {
        QTemporaryDir beside;
        const QString preset = beside.filePath(QStringLiteral("tallowk_prefs.ini"));
        QVERIFY(writeFile(preset, "[pricing]\ndisplayCurrency=JPY\n"));
        QFile::setPermissions(preset, QFile::permissions(preset) | QFileDevice::ReadOther | QFileDevice::WriteOther);

        AppSettings::seedIfMissingFrom(beside.path());
        QCOMPARE(AppSettings().value(QStringLiteral("pricing/displayCurrency")).toString(), QStringLiteral("JPY"));
        const QFileDevice::Permissions perms = QFile::permissions(AppSettings::filePath());
        QVERIFY(perms & QFileDevice::WriteOwner);
        QVERIFY(!(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                           | QFileDevice::WriteOther)));
        const QList<LogEntry> logged = entriesOf(QStringLiteral("app"));
        QCOMPARE(logged.size(), 1);
        QCOMPARE(logged.first().message,
                 QStringLiteral("Settings seeded from %1.").arg(QDir::toNativeSeparators(preset)));

        // A second start leaves the user's file alone, even if the preset changed.
        QVERIFY(writeFile(preset, "[pricing]\ndisplayCurrency=GBP\n"));
        AppSettings::seedIfMissingFrom(beside.path());
        QCOMPARE(AppSettings().value(QStringLiteral("pricing/displayCurrency")).toString(), QStringLiteral("JPY"));
        QCOMPARE(entriesOf(QStringLiteral("app")).size(), 1);
    }

    void valuesReachTheDiskBetweenObjects()
    {
        {
            AppSettings settings;
            settings.setValue(QStringLiteral("pricing/priceBasis"), QStringLiteral("lowest"));
        }
        QSettings raw(AppSettings::filePath(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("pricing/priceBasis")).toString(), QStringLiteral("lowest"));
    }

    // The report is once per process, so one test covers both kinds: the
    // first failure (a malformed file) is reported, a later access error is not.
    void reportsTheFirstFailureOnly()
    {
        QVERIFY(writeFile(AppSettings::filePath(), "[pricing\ndisplayCurrency=JPY\n"));
        { AppSettings settings; settings.value(QStringLiteral("x")); }
        { AppSettings settings; settings.value(QStringLiteral("x")); }
        QList<LogEntry> logged = entriesOf(QStringLiteral("app"));
        QCOMPARE(logged.size(), 1);
        QCOMPARE(logged.first().level, int(Log::Warn));
        QVERIFY(logged.first().message.startsWith(
            QStringLiteral("Settings file %1 is malformed;").arg(QDir::toNativeSeparators(AppSettings::filePath()))));

        // A folder in the file's place cannot be read or written.
        QFile::remove(AppSettings::filePath());
        QVERIFY(QDir().mkpath(AppSettings::filePath()));
        for (int i = 0; i < 3; ++i) {
            AppSettings settings;
            settings.setValue(QStringLiteral("k"), i);
            QCOMPARE(settings.status(), QSettings::AccessError);
        }
        QCOMPARE(entriesOf(QStringLiteral("app")).size(), 1);
    }
};

PV_REGISTER_TEST(AppSettingsTest)
#include "AppSettingsTest.moc"
