#include "TestRegistry.h"
#include "TestSupport.h"
#include "ui/DialogTestSupport.h"

#include "catalog/ImageCache.h"
#include "core/AppSettings.h"
#include "core/Currency.h"
#include "core/NameTranslator.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "core/SteadyClock.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/PreferencesDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;

using test::child;

namespace {

// The theme whose window colour the application shows now.
QString shownTheme()
{
    const QColor window = QApplication::palette().color(QPalette::Window);
    for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
        if (ThemeManager::loadTheme(theme.id).value(QStringLiteral("void")) == window)
            return theme.id;
    }
    return QString();
}

// Every key and value of the settings file.
QMap<QString, QVariant> allSettings()
{
    AppSettings settings;
    QMap<QString, QVariant> values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

void selectTheme(QWidget &dialog, const QString &id)
{
    auto *combo = child<QComboBox>(dialog, "themeCombo");
    combo->setCurrentIndex(combo->findData(id));
}

} // namespace

class PreferencesDialogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(ThemeManager::availableThemes().size() >= 4);
        ThemeManager::applyTheme(qApp, QStringLiteral("grass"));
        QCOMPARE(shownTheme(), QStringLiteral("grass"));
    }

    void cleanup()
    {
        SteadyClock::useRealTime();
        NameTranslator::load();
        ThemeManager::applyTheme(qApp, QStringLiteral("grass"));
    }

    // The setters select only what their combo lists; the getters turn keys
    // back into ids; Restore Defaults sets the defaults without storing them.
    void fillsReadsBackAndRestoresDefaults()
    {
        NameTranslator::load();
        QVERIFY(NameTranslator::isLoaded());
        PreferencesDialog dialog;
        QCOMPARE(child<QComboBox>(dialog, "currencyCombo")->count(), Currency::all().size());
        QCOMPARE(child<QComboBox>(dialog, "currencyCombo")->itemText(0), QStringLiteral("Euro (EUR)"));

        dialog.setTheme(QStringLiteral("fire"));
        dialog.setCurrency(QStringLiteral("JPY"));
        dialog.setPriceSource(1);
        dialog.setPriceBasis(1);
        dialog.setTranslateJapanese(false);
        dialog.setImageCacheFolder(QStringLiteral("/tmp/art"));
        // Values no combo lists change nothing.
        dialog.setTheme(QStringLiteral("no-such-theme"));
        dialog.setCurrency(QStringLiteral("XYZ"));
        QCOMPARE(dialog.themeId(), QStringLiteral("fire"));
        QCOMPARE(dialog.currency(), QStringLiteral("JPY"));
        QCOMPARE(dialog.priceSource(), 1);
        QCOMPARE(dialog.priceBasis(), 1);
        QVERIFY(!dialog.translateJapanese());
        child<QLineEdit>(dialog, "folderEdit")->setText(QStringLiteral("  /tmp/other art  "));
        QCOMPARE(dialog.imageCacheFolder(), QStringLiteral("/tmp/other art"));

        const auto before = allSettings();
        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::RestoreDefaults)->click();
        QCOMPARE(dialog.currency(), QStringLiteral("EUR"));
        QCOMPARE(dialog.priceSource(), 0);
        QCOMPARE(dialog.priceBasis(), 2);
        QCOMPARE(dialog.themeId(), QStringLiteral("grass"));
        QCOMPARE(dialog.imageCacheFolder(), QString());
        QVERIFY(dialog.translateJapanese());
        QCOMPARE(allSettings(), before);

        // The browse button starts in the typed folder when it exists and
        // writes the chosen one back; cancelling leaves the field alone.
        QTemporaryDir folder;
        test::PromptScope prompts;
        child<QLineEdit>(dialog, "folderEdit")->setText(folder.path());
        prompts.directory = folder.filePath(QStringLiteral("chosen"));
        child<QPushButton>(dialog, "browseButton")->click();
        QCOMPARE(prompts.captions, QStringList(QStringLiteral("Choose image cache folder|") + folder.path()));
        QCOMPARE(dialog.imageCacheFolder(), prompts.directory);
        prompts.directory.clear();
        child<QPushButton>(dialog, "browseButton")->click();
        QCOMPARE(dialog.imageCacheFolder(), folder.filePath(QStringLiteral("chosen")));
        QVERIFY(prompts.captions.last().endsWith(ImageCache::currentFolder()));
    }

    void disablesNamesWithoutTable()
    {
        NameTranslator::loadFile(QStringLiteral("/nonexistent/ja-en.json"));
        QVERIFY(!NameTranslator::isLoaded());
        PreferencesDialog dialog;
        auto *check = child<QCheckBox>(dialog, "translateJapaneseCheck");
        QVERIFY(!check->isEnabled());
        QCOMPARE(child<QLabel>(dialog, "namesHint")->text(),
                 QStringLiteral("No name table was found at %1, so Japanese names are shown as the API spells them.")
                     .arg(NameTranslator::tablePath()));
        check->setChecked(false);
        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::RestoreDefaults)->click();
        QVERIFY(!dialog.translateJapanese());
    }

    // Quick theme changes preview only the last; Cancel puts back the theme
    // the dialog opened with, also when the combo went back to it before its
    // preview ran, and stores nothing.
    void previewsThemesAndCancelRevertsThem()
    {
        const auto before = allSettings();
        {
            // The pause runs on a clock the test moves, so a slow machine
            // cannot let it pass early.
            SteadyClock::useManualTime();
            PreferencesDialog dialog;
            dialog.setTheme(QStringLiteral("grass"));
            selectTheme(dialog, QStringLiteral("fire"));
            selectTheme(dialog, QStringLiteral("water"));
            SteadyClock::advance(PreferencesDialog::PreviewPauseMs - 1);
            selectTheme(dialog, QStringLiteral("shadow"));
            SteadyClock::advance(PreferencesDialog::PreviewPauseMs - 1);
            QTest::qWait(2 * PreferencesDialog::PreviewPauseMs);
            QCOMPARE(shownTheme(), QStringLiteral("grass"));
            SteadyClock::advance(1);
            QTRY_COMPARE(shownTheme(), QStringLiteral("shadow"));
            SteadyClock::useRealTime();
            dialog.reject();
            QCOMPARE(shownTheme(), QStringLiteral("grass"));
        }
        {
            PreferencesDialog dialog;
            dialog.setTheme(QStringLiteral("grass"));
            selectTheme(dialog, QStringLiteral("fire"));
            QTRY_COMPARE(shownTheme(), QStringLiteral("fire"));
            selectTheme(dialog, QStringLiteral("grass"));
            dialog.reject();
            QCOMPARE(shownTheme(), QStringLiteral("grass"));
            QTest::qWait(200);
            QCOMPARE(shownTheme(), QStringLiteral("grass"));
        }
        {
            // Accepted with the opening theme while another was shown.
            PreferencesDialog dialog;
            dialog.setTheme(QStringLiteral("grass"));
            selectTheme(dialog, QStringLiteral("water"));
            QTRY_COMPARE(shownTheme(), QStringLiteral("water"));
            selectTheme(dialog, QStringLiteral("grass"));
            dialog.accept();
            QCOMPARE(shownTheme(), QStringLiteral("grass"));
        }
        {
            // Restore Defaults previews grass like any change; Cancel undoes it.
            ThemeManager::applyTheme(qApp, QStringLiteral("earth"));
            PreferencesDialog dialog;
            dialog.setTheme(QStringLiteral("earth"));
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::RestoreDefaults)->click();
            QTRY_COMPARE(shownTheme(), QStringLiteral("grass"));
            dialog.reject();
            QCOMPARE(shownTheme(), QStringLiteral("earth"));
        }
        QCOMPARE(allSettings(), before);
    }

    // The chooser shows only the folder box; a folder that cannot be made
    // warns and asks again; Cancel then stores the default folder.
    void firstRunChooserAsksAgainAfterFailure()
    {
        QTemporaryDir dir;
        const QString blocker = test::writeFixture(dir.filePath(QStringLiteral("file")), "x");
        const QString impossible = blocker + QStringLiteral("/art");
        test::setSetting(QStringLiteral("imageCache/directory"), QVariant());

        test::PromptScope prompts;
        QStringList seen;
        int runs = 0;
        DialogPrompts::setExec([&](QDialog &dialog) {
            ++runs;
            seen.append(dialog.windowTitle());
            if (child<QGroupBox>(dialog, "appearanceBox")->isVisibleTo(&dialog)
                || child<QGroupBox>(dialog, "namesBox")->isVisibleTo(&dialog)
                || child<QGroupBox>(dialog, "pricingBox")->isVisibleTo(&dialog)
                || !child<QGroupBox>(dialog, "imageCacheBox")->isVisibleTo(&dialog))
                seen.append(QStringLiteral("wrong boxes"));
            if (runs == 1) {
                seen.append(child<QLabel>(dialog, "folderHint")->text());
                child<QLineEdit>(dialog, "folderEdit")->setText(QLatin1Char(' ') + impossible);
                return int(QDialog::Accepted);
            }
            return int(QDialog::Rejected);
        });
        PreferencesDialog::chooseImageCacheFolder(nullptr);
        QCOMPARE(runs, 2);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen.at(0), QStringLiteral("Tallowmerick - choose an image cache folder"));
        QVERIFY(seen.at(1).endsWith(QLatin1String("location:\n") + ImageCache::defaultFolder()));
        QCOMPARE(prompts.warnings,
                 QStringList(QStringLiteral("Could not use that folder|%1 could not be created. Choose another folder.")
                                 .arg(impossible)));
        QVERIFY(ImageCache::hasCustomFolder());
        QCOMPARE(ImageCache::currentFolder(), ImageCache::defaultFolder());

        // A folder that can be made is stored at the first OK.
        runs = 0;
        const QString wanted = dir.filePath(QStringLiteral("new/art"));
        DialogPrompts::setExec([&](QDialog &dialog) {
            ++runs;
            child<QLineEdit>(dialog, "folderEdit")->setText(wanted);
            return int(QDialog::Accepted);
        });
        PreferencesDialog::chooseImageCacheFolder(nullptr);
        QCOMPARE(runs, 1);
        QCOMPARE(ImageCache::currentFolder(), wanted);
        QVERIFY(QFileInfo(wanted).isDir());

        // Restore Defaults in the chooser previews the default theme, which
        // the chooser does not store; the theme in force comes back.
        test::setSetting(QStringLiteral("appearance/theme"), QStringLiteral("earth"));
        ThemeManager::applyTheme(qApp, QStringLiteral("earth"));
        DialogPrompts::setExec([&](QDialog &dialog) {
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::RestoreDefaults)->click();
            if (!QTest::qWaitFor([] { return shownTheme() == QLatin1String("grass"); }))
                seen.append(QStringLiteral("no preview"));
            return int(QDialog::Accepted);
        });
        PreferencesDialog::chooseImageCacheFolder(nullptr);
        QCOMPARE(shownTheme(), QStringLiteral("earth"));
        QVERIFY(!seen.contains(QStringLiteral("no preview")));
        QCOMPARE(ImageCache::currentFolder(), ImageCache::defaultFolder());
        test::setSetting(QStringLiteral("appearance/theme"), QVariant());
        test::setSetting(QStringLiteral("imageCache/directory"), QVariant());
    }
};

PV_REGISTER_TEST(PreferencesDialogTest)
#include "PreferencesDialogTest.moc"
