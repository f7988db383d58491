#include "core/AppSettings.h"
#include "core/Log.h"
#include "selftest/SelfTestRunner.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The log takes Qt's messages before the application object exists.
    pv::Log::installMessageHandler();

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QApplication::setApplicationName(QStringLiteral("Tallowmerick"));
    QApplication::setApplicationVersion(QStringLiteral("0.5.0"));

    pv::AppSettings::seedIfMissing();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Tallowmerick - Pokemon TCG collection manager."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption selfTestOption(
        QStringLiteral("selftest"),
        QCoreApplication::translate("main", "Check the card database endpoints and price parsing, then exit."));
    parser.addOption(selfTestOption);
    parser.addPositionalArgument(QStringLiteral("collection"),
                                 QCoreApplication::translate("main", "A .tmk collection file to open."),
                                 QString());
    parser.process(app);

    // Both "tallowmerick selftest" and "tallowmerick --selftest" run the suite;
    // a collection file named beside it is ignored.
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(selfTestOption)
        || (!positional.isEmpty() && positional.first() == QLatin1String("selftest")))
        return pv::runSelfTests();

    std::fputs(qPrintable(QCoreApplication::translate(
                   "main", "Tallowmerick: the collection window is not available in this build; "
                           "only \"tallowmerick selftest\" can run.\n")),
               stderr);
    return 2;
}
