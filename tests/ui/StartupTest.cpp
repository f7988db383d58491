#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/CollectionSerializer.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;

namespace {

struct Run
{
    bool ended = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    QString out;
    QString err;
};

// The lines the start-up probe printed under the kind ("message", "window",
// "log"), without the kind.
QStringList reported(const Run &run, const QString &kind)
{
    QStringList lines;
    const QString lead = kind + QStringLiteral(": ");
    for (const QString &line : run.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(lead))
            lines.append(line.mid(lead.size()));
    }
    return lines;
}

// The index of the first line at or after from that contains the text; -1
// when none does.
int lineWith(const QStringList &lines, const QString &text, int from = 0)
{
    for (int i = from; i < lines.size(); ++i) {
        if (lines.at(i).contains(text))
            return i;
    }
    return -1;
}

} // namespace

// Runs the built program as a process, as a user starts it: the command-line
// answers without a display, the self-test with a file beside it, and a
// window asked to open a file that is not there. A Qt plug-in loaded into the
// program reports what the window showed and then closes it.
class StartupTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    QString configFile() const
    {
        return m_home.filePath(QStringLiteral("config/FernwickGuild/Tallowmerick/tallowk_prefs.ini"));
    }

    // A fresh home of the program's own; no display unless offscreen.
    QProcessEnvironment environment(bool offscreen) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_GENERIC_PLUGINS"})
            env.remove(QString::fromLatin1(name));
        const QString home = m_home.path();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        if (offscreen) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(TALLOWK_STARTUP_PLUGINS));
            env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("startupprobe"));
        }
        return env;
    }

    // Runs the program to its end, serving the stand-in meanwhile; a run
    // that has not ended in time is killed.
    static Run run(const QStringList &arguments, const QProcessEnvironment &env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TALLOWK_PROGRAM), arguments);
        Run result;
        result.ended = QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 300000);
        if (!result.ended) {
            process.kill();
            process.waitForFinished(10000);
        }
        result.status = process.exitStatus();
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }

    // Help, version and a refused option answer on the terminal and end,
    // also where there is no display at all.
    void commandLineAnswersWithoutADisplay()
    {
        Run help = run({QStringLiteral("--help")}, environment(false));
        QVERIFY2(help.ended && help.status == QProcess::NormalExit && help.exitCode == 0, qPrintable(help.err));
        for (const char *text : {"Tallowmerick - Pokemon TCG collection manager.", "--selftest",
                                 "Check the card database endpoints and price parsing, then exit.", "collection",
                                 "A .tmk collection file to open."})
            QVERIFY2(help.out.simplified().contains(QLatin1String(text)), text);

        const Run version = run({QStringLiteral("--version")}, environment(false));
        QVERIFY(version.ended && version.status == QProcess::NormalExit);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("Tallowmerick " TALLOWK_VERSION "\n"));

        for (const QString &unknown : {QStringLiteral("--frobnicate"), QStringLiteral("-frobnicate")}) {
            const Run refused = run({unknown, m_home.filePath(QStringLiteral("any.tmk"))}, environment(false));
            QVERIFY(refused.ended);
            QCOMPARE(refused.status, QProcess::NormalExit);
            QCOMPARE(refused.exitCode, 1);
            QVERIFY2(refused.err.contains(QStringLiteral("Unknown option")), qPrintable(refused.err));
        }
    }

    // "selftest" with a collection file runs the suite alone: its summary
    // gives the exit status, and neither a window nor the file is opened.
    void selfTestIgnoresTheCollectionFile()
    {
        const QString file = test::writeFixture(m_home.filePath(QStringLiteral("mine.tmk")),
                                                "{\"format\": \"tallowk\", \"version\": 5, \"entries\": []}");
        QVERIFY(CollectionSerializer::read(file).ok);
        const Run suite = run({QStringLiteral("selftest"), file}, environment(true));
        QVERIFY(suite.ended);
        QCOMPARE(suite.status, QProcess::NormalExit);
        const bool passed = suite.out.contains(QStringLiteral("\nAll checks passed.\n"));
        QVERIFY2(passed || suite.out.contains(QRegularExpression(QStringLiteral("\n\\d+ check\\(s\\) failed\\.\n"))),
                 qPrintable(suite.out.right(2000)));
        QCOMPARE(suite.exitCode, passed ? 0 : 1);
        QVERIFY(reported(suite, QStringLiteral("window")).isEmpty());
        QVERIFY(reported(suite, QStringLiteral("message")).isEmpty());
        QVERIFY(!test::readFile(configFile()).contains("recentFiles"));
    }

    // A file named on the command line that is not there: the window comes
    // up empty and says why, the log holds the start-up lines, and the
    // program ends normally when its window is closed.
    void missingCollectionFileKeepsTheWindowUp()
    {
        test::writeFixture(configFile(),
                           "[imageCache]\ndirectory=" + m_home.filePath(QStringLiteral("art")).toUtf8() + "\n");
        QProcessEnvironment env = environment(true);
        // Nothing answers there: the window's own downloads fail at once.
        for (const char *name : {"TALLOWK_TCGDEX_URL", "TALLOWK_ASSETS_URL", "TALLOWK_TCGCSV_URL", "TALLOWK_FX_URL"})
            env.insert(QString::fromLatin1(name), QStringLiteral("http://127.0.0.1:9"));
        const QString missing = m_home.filePath(QStringLiteral("gone.tmk"));
        const Run window = run({missing}, env);
        QVERIFY2(window.ended, qPrintable(window.out));
        QCOMPARE(window.status, QProcess::NormalExit);
        QCOMPARE(window.exitCode, 0);

        const QString failure = QStringLiteral("Could not open %1: No such file or directory").arg(missing);
        QCOMPARE(reported(window, QStringLiteral("message")),
                 QStringList({QStringLiteral("Could not open collection|") + failure}));
        QCOMPARE(reported(window, QStringLiteral("window")), QStringList({QStringLiteral("Untitled - Tallowmerick")}));

        const QStringList log = reported(window, QStringLiteral("log"));
        const int starting = lineWith(log,
                                      QStringLiteral("Tallowmerick %1 starting (Qt %2, %3).")
                                          .arg(QStringLiteral(TALLOWK_VERSION), QString::fromLatin1(qVersion()),
                                               QSysInfo::prettyProductName()));
        const int settings = lineWith(log, QStringLiteral("Settings file: ") + configFile(), starting);
        const int theme = lineWith(log, QStringLiteral(", rates dated never fetched)."), settings);
        const int opening = lineWith(log, QStringLiteral("Opening ") + missing, theme);
        const int failed = lineWith(log, failure, opening);
        QVERIFY2(starting >= 0 && settings > starting && theme > settings && opening > theme && failed > opening,
                 qPrintable(log.join(QLatin1Char('\n'))));
        QVERIFY2(log.at(theme).contains(QRegularExpression(
                     QStringLiteral("Theme \\S.*, prices shown in [A-Z]{3} \\(1 USD = \\d+\\.\\d{5}, rates dated"))),
                 qPrintable(log.at(theme)));
        QCOMPARE(log.filter(QStringLiteral("Could not open")).size(), 1);
        QCOMPARE(log.at(failed).count(QStringLiteral("Could not open")), 1);
    }
};

PV_REGISTER_TEST(StartupTest)
#include "StartupTest.moc"
