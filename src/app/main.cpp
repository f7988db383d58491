#include "catalog/ImageCache.h"
#include "core/AppSettings.h"
#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/Disposal.h"
#include "core/Log.h"
#include "core/SetBrief.h"
#include "core/SetDetail.h"
#include "core/Currency.h"
#include "core/Errata.h"
#include "core/FxRates.h"
#include "core/NameTranslator.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "selftest/SelfTestRunner.h"
#include "ui/ScreenFit.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/PreferencesDialog.h"
#include "ui/mainwindow/MainWindow.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QSplashScreen>
#include <QSysInfo>
#include <QTranslator>

namespace {

// True when the command line ends without a window: help, version, an
// option the parser refuses, or the self-test. Read before the application
// object exists, so Qt's own options are known here too.
bool showsNoWindow(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption selfTest(QStringLiteral("selftest"));
    parser.addOption(selfTest);
    static const char *const qtWithValue[] = {"platform",        "platformpluginpath", "platformtheme", "plugin",
                                              "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
                                              "style",           "stylesheet",         "display",       "geometry",
                                              "qmljsdebugger"};
    for (const char *name : qtWithValue)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    return !parser.parse(arguments) || parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))
        || parser.isSet(version) || parser.isSet(selfTest)
        || parser.positionalArguments().contains(QLatin1String("selftest"));
}

// Runs that show no window use the offscreen platform on a machine without
// a display, instead of aborting before the parser could answer.
void chooseHeadlessPlatform(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    if (showsNoWindow(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything allocates much.
    pv::Disposal::setUpAllocator();

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

    // English singular and plural forms for the texts counted with %n.
    QTranslator plurals;
    if (plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")))
        QCoreApplication::installTranslator(&plurals);

    pv::ThemeManager::applyTheme(&app, pv::ThemeManager::currentThemeName());
    // Every dialog opens within the screen, however small.
    pv::ScreenFit::watchApplication();

    QSplashScreen splash(QPixmap(QStringLiteral(":/images/splash.png")));
    splash.show();
    const auto splashMessage = [&splash](const char *text) {
        splash.showMessage(QCoreApplication::translate("main", text), Qt::AlignRight | Qt::AlignBottom,
                           QColor(242, 242, 242));
        QCoreApplication::processEvents();
    };

    splashMessage(QT_TRANSLATE_NOOP("main", "Loading currency rates..."));
    pv::Currency::reload();
    pv::PriceBasis::load();
    pv::PriceSource::load();
    splashMessage(QT_TRANSLATE_NOOP("main", "Loading card names..."));
    pv::NameTranslator::load();
    splashMessage(QT_TRANSLATE_NOOP("main", "Loading printing corrections..."));
    pv::Errata::ensureLoaded();

    const QString appCategory = QStringLiteral("app");
    pv::Log::info(appCategory, QCoreApplication::translate("main", "Tallowmerick %1 starting (Qt %2, %3).")
                            .arg(QCoreApplication::applicationVersion(), QString::fromLatin1(qVersion()),
                                 QSysInfo::prettyProductName()));
    pv::Log::info(appCategory, QCoreApplication::translate("main", "Settings file: %1")
                            .arg(QDir::toNativeSeparators(pv::AppSettings::filePath())));
    const QString currency = pv::Currency::currentCode();
    const QDate ratesDate = pv::FxRates::storedDate();
    pv::Log::info(appCategory, QCoreApplication::translate("main", "Theme %1, prices shown in %2 (1 USD = %3, rates dated %4).")
                            .arg(pv::ThemeManager::currentThemeName(), currency)
                            .arg(pv::FxRates::rateFor(currency), 0, 'f', 5)
                            .arg(ratesDate.isValid() ? ratesDate.toString(Qt::ISODate)
                                                     : QCoreApplication::translate("main", "never fetched")));

    // On the first start the user chooses where downloaded card art is kept;
    // the splash steps aside so it does not cover the question.
    if (!pv::ImageCache::hasCustomFolder()) {
        splash.hide();
        pv::PreferencesDialog::chooseImageCacheFolder(nullptr);
        splash.show();
    }

    splashMessage(QT_TRANSLATE_NOOP("main", "Preparing the collection window..."));
    pv::MainWindow window;
    window.show();
    splash.finish(&window);

    if (!positional.isEmpty())
        window.openFile(positional.first());

    return app.exec();
}
