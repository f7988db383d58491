#include "core/AppSettings.h"
#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/Log.h"
#include "core/SetBrief.h"
#include "core/SetDetail.h"
#include "selftest/SelfTestRunner.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>
#include <cstring>

namespace {

// The self-test, help and version runs show no window, so on a machine
// without a display they use the offscreen platform instead of aborting.
void chooseHeadlessPlatform(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    static const char *const windowless[] = {"selftest", "--selftest", "-h", "--help",
                                             "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i) {
        for (const char *word : windowless) {
            if (std::strcmp(argv[i], word) == 0) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
                return;
            }
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // The log takes Qt's messages before the application object exists.
    pv::Log::installMessageHandler();

    chooseHeadlessPlatform(argc, argv);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QApplication::setApplicationName(QStringLiteral("Tallowmerick"));
    QApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));

    pv::AppSettings::seedIfMissing();

    qRegisterMetaType<pv::Language>("pv::Language");
    qRegisterMetaType<pv::SetBrief>("pv::SetBrief");
    qRegisterMetaType<pv::SetDetail>("pv::SetDetail");
    qRegisterMetaType<pv::CardDetail>("pv::CardDetail");
    qRegisterMetaType<QList<pv::SetBrief>>("QVector<pv::SetBrief>");

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

    // Both "tallowmerick selftest" and "tallowmerick --selftest" run the suite,
    // wherever the word stands; a collection file named beside it is ignored.
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(selfTestOption) || positional.contains(QLatin1String("selftest")))
        return pv::runSelfTests();

    std::fputs(qPrintable(QCoreApplication::translate(
                   "main", "Tallowmerick: the collection window is not available in this build; "
                           "only \"tallowmerick selftest\" can run.\n")),
               stderr);
    return 2;
}
