#include "TestRegistry.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef TALLOWK_WITH_STANDIN
#include "standin/WebStandIn.h"
#endif

namespace pv::test {
std::vector<TestFactory> &registry()
{
    static std::vector<TestFactory> tests;
    return tests;
}
} // namespace pv::test

int main(int argc, char *argv[])
{
    // Every suite runs in a home of its own, so it never touches the user's
    // settings or caches and two runs never share state.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/tallowk-test-XXXXXX"));
    const QByteArray root = home.path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QApplication::setApplicationName(QStringLiteral("Tallowmerick"));
    QApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));

#ifdef TALLOWK_WITH_STANDIN
    // Network tests talk to the local stand-in, never the real services: its
    // addresses are in the environment before the first client reads them.
    pv::test::WebStandIn::shared();
#endif

    int status = 0;
    // TALLOWK_TEST_CLASS=Name[,Name...] runs only those classes of the suite.
    const QStringList only = qEnvironmentVariable("TALLOWK_TEST_CLASS").split(u',', Qt::SkipEmptyParts);
    for (const auto &factory : pv::test::registry()) {
        std::unique_ptr<QObject> test(factory());
        if (!only.isEmpty() && !only.contains(QString::fromLatin1(test->metaObject()->className()).section(u':', -1)))
            continue;
        status |= QTest::qExec(test.get(), argc, argv);
    }
    return status;
}
