#include "catalog/ImageCache.h"
#include "core/AppSettings.h"
#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
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

    // English singular and plural forms for the texts counted with %n.
    QTranslator plurals;
    if (plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")))
        QCoreApplication::installTranslator(&plurals);

    pv::ThemeManager::applyTheme(&app, pv::ThemeManager::currentThemeName());

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
