#include "DialogTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "catalog/ImageCache.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/Currency.h"
#include "core/FxRates.h"
#include "core/NameTranslator.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/LabelPreviewDialog.h"
#include "ui/dialogs/LogDialog.h"
#include "ui/dialogs/PreferencesDialog.h"
#include "standin/WebStandIn.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

#include <algorithm>
#include <functional>
#include <memory>

using namespace pv;

namespace {

// The messages of the preference reactions, in the order they were logged
// (the image cache's own note of its move left out).
QStringList preferenceMessages()
{
    QStringList found;
    for (const LogEntry &entry : Log::instance().entries()) {
        if (entry.message.startsWith(QLatin1String("Image cache folder changed to")))
            continue;
        if (entry.category == QLatin1String("app") || entry.category == QLatin1String("prices")
            || entry.category == QLatin1String("names") || entry.category == QLatin1String("cache"))
            found.append(entry.message);
    }
    return found;
}

void choose(QDialog &dialog, const char *combo, const QString &data)
{
    auto *box = dialog.findChild<QComboBox *>(QLatin1String(combo));
    box->setCurrentIndex(box->findData(data));
}

// Runs Preferences, changing the dialog with edit and pressing OK.
void runPreferences(MainWindow &window, const std::function<void(QDialog &)> &edit, bool accept = true)
{
    DialogPrompts::setExec([&](QDialog &dialog) {
        if (!qobject_cast<PreferencesDialog *>(&dialog))
            return int(QDialog::Rejected);
        edit(dialog);
        return int(accept ? QDialog::Accepted : QDialog::Rejected);
    });
    window.showPreferences();
    DialogPrompts::setExec(nullptr);
}

} // namespace

class MainWindowPreferencesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        DialogPrompts::reset();
        Currency::setCurrent(0);
        PriceSource::setCurrent(0);
        PriceBasis::setCurrent(PriceBasis::defaultId());
        NameTranslator::setEnabled(true);
        ThemeManager::setCurrentThemeName(ThemeManager::defaultThemeName());
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
    }

    // OK applies theme, currency, source, basis, names and folder in that
    // order, each reporting itself; what did not change reports nothing.
    void preferencesApplyInOrderAndOnlyWhatChanged()
    {
        test::PromptScope prompts;
        MainWindow window;
        QStatusBar *status = window.statusBar();
        Log::instance().clear();
        status->clearMessage();
        runPreferences(window, [](QDialog &) {});
        QCOMPARE(preferenceMessages(), QStringList());
        QCOMPARE(status->currentMessage(), QString());

        const double rate = FxRates::rateFor(QStringLiteral("USD"));
        runPreferences(window, [](QDialog &dialog) {
            choose(dialog, "currencyCombo", QStringLiteral("USD"));
            choose(dialog, "themeCombo", QStringLiteral("fire"));
        });
        const QString fireName = [] {
            for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
                if (theme.id == QLatin1String("fire"))
                    return theme.name;
            }
            return QString();
        }();
        QCOMPARE(preferenceMessages(),
                 QStringList({QStringLiteral("Theme changed to %1 (fire).").arg(fireName),
                              QStringLiteral("Display currency changed to USD (1 USD = %1).").arg(rate, 0, 'f', 5)}));
        QCOMPARE(status->currentMessage(), QStringLiteral("Prices shown in %1.").arg(Currency::byCode("USD").name));
        QCOMPARE(ThemeManager::currentThemeName(), QStringLiteral("fire"));
        QCOMPARE(Currency::currentCode(), QStringLiteral("USD"));

        Log::instance().clear();
        QTemporaryDir folder;
        runPreferences(window, [&folder](QDialog &dialog) {
            choose(dialog, "priceSourceCombo", QStringLiteral("highestOfBoth"));
            choose(dialog, "priceBasisCombo", QStringLiteral("lowest"));
            dialog.findChild<QCheckBox *>(QStringLiteral("translateJapaneseCheck"))->setChecked(false);
            dialog.findChild<QLineEdit *>(QStringLiteral("folderEdit"))->setText(folder.path());
        });
        QCOMPARE(preferenceMessages(),
                 QStringList({QStringLiteral("Cards are now valued at whichever of Cardmarket and TCGplayer is higher."),
                              QStringLiteral("Cards are now valued at the lowest of the quoted market prices."),
                              QStringLiteral("Japanese cards, sets and series are shown as the API spells them."),
                              QStringLiteral("Image cache folder: %1").arg(folder.path())}));
        QCOMPARE(PriceSource::current(), 1);
        QCOMPARE(PriceBasis::current(), 1);
        QVERIFY(!NameTranslator::isEnabled());
        QCOMPARE(window.tcgdexClient()->imageCache().folder().absolutePath(), folder.path());

        // Cancel changes nothing, whatever the dialog showed; an emptied
        // folder field goes back to the default folder.
        Log::instance().clear();
        runPreferences(
            window, [](QDialog &dialog) { choose(dialog, "currencyCombo", QStringLiteral("JPY")); }, false);
        QCOMPARE(Currency::currentCode(), QStringLiteral("USD"));
        runPreferences(window, [](QDialog &dialog) {
            choose(dialog, "priceBasisCombo", QStringLiteral("mean"));
            dialog.findChild<QLineEdit *>(QStringLiteral("folderEdit"))->clear();
        });
        QCOMPARE(preferenceMessages(),
                 QStringList({QStringLiteral("Cards are now valued at the mean of the quoted market prices."),
                              QStringLiteral("Image cache folder: %1").arg(ImageCache::defaultFolder())}));
        QCOMPARE(status->currentMessage(), QStringLiteral("Image cache folder: %1").arg(ImageCache::defaultFolder()));
        QVERIFY(prompts.warnings.isEmpty());
    }

    // Names, values and the image cache folder: what shows them follows at once.
    void changedPreferencesRedrawWhatShowsThem()
    {
        test::WebStandIn::shared();
        QTemporaryDir dir;
        NameTranslator::loadFile(
            test::writeFixture(dir.filePath(QStringLiteral("ja-en.json")),
                               R"({"format": "tallowk-translations", "sets": {"SV3": "Ruler of the Black Flame"}})"));
        NameTranslator::setEnabled(true);
        MainWindow window;
        Collection *collection = window.collection();
        collection->mergeSetInfo(test::setRecord(QStringLiteral("SV3"), QStringLiteral("黒炎の支配者"),
                                                 QStringLiteral("SV"), 1, 108, 108, Language::Japanese));
        collection->addEntry(test::holding(QStringLiteral("SV3"), QStringLiteral("066"), QStringLiteral("リザードンex"),
                                           25.0, Language::Japanese));
        CollectionTreeModel *tree = window.treeModel();
        window.findChild<QTreeView *>(QStringLiteral("collectionTree"))
            ->setCurrentIndex(tree->indexForEntryKey(entryKey(collection->entries().at(0))));
        auto *setValue = window.findChild<QLabel *>(QStringLiteral("setValue"));
        auto *rarity = window.findChild<QLabel *>(QStringLiteral("rarityValue"));
        QCOMPARE(setValue->text(), QStringLiteral("Ruler of the Black Flame"));
        QCOMPARE(tree->indexForSetKey(QStringLiteral("ja:SV3")).data().toString(),
                 QStringLiteral("Ruler of the Black Flame"));

        runPreferences(window, [](QDialog &dialog) {
            dialog.findChild<QCheckBox *>(QStringLiteral("translateJapaneseCheck"))->setChecked(false);
        });
        QCOMPARE(tree->indexForSetKey(QStringLiteral("ja:SV3")).data().toString(), QStringLiteral("黒炎の支配者"));
        QCOMPARE(setValue->text(), QStringLiteral("黒炎の支配者"));

        // The collection search results redraw their values with the tree's.
        window.findChild<QLineEdit *>(QStringLiteral("numberSearchEdit"))->setText(QStringLiteral("66"));
        window.runSearch();
        QAbstractItemModel *results = window.findChild<QTableView *>(QStringLiteral("collectionResults"))->model();
        QCOMPARE(results->rowCount(), 1);
        QSignalSpy resultCells(results, &QAbstractItemModel::dataChanged);
        runPreferences(window, [](QDialog &dialog) { choose(dialog, "currencyCombo", QStringLiteral("USD")); });
        QVERIFY(!resultCells.isEmpty());

        // Another image cache folder: set logos are looked up again and the
        // card panel asks for its card anew.
        QTRY_VERIFY_WITH_TIMEOUT(rarity->text() != QStringLiteral("loading..."), 20000);
        QSignalSpy treeCells(tree, &QAbstractItemModel::dataChanged);
        QTemporaryDir folder;
        runPreferences(window, [&folder](QDialog &dialog) {
            dialog.findChild<QLineEdit *>(QStringLiteral("folderEdit"))->setText(folder.path());
        });
        QVERIFY(std::any_of(treeCells.cbegin(), treeCells.cend(), [](const QList<QVariant> &change) {
            return change.at(2).value<QList<int>>().contains(Qt::DecorationRole);
        }));
        QCOMPARE(rarity->text(), QStringLiteral("loading..."));
        QCOMPARE(setValue->text(), QStringLiteral("黒炎の支配者"));
        NameTranslator::load();
    }

    // Up to 10 sheets print without asking; more ask first, No by default;
    // "Set As Default" becomes an undoable change of the collection.
    void printLabelsAsksAboveTenSheets()
    {
        test::PromptScope prompts;
        MainWindow window;
        window.printLabels();
        QCOMPARE(prompts.informations.size(), 1);
        QVERIFY(prompts.informations.first().startsWith(QLatin1String("Print Labels|No cards are on the label sheet")));

        QStringList opened;
        bool pressDefault = false;
        DialogPrompts::setExec([&](QDialog &dialog) {
            if (auto *labels = qobject_cast<LabelPreviewDialog *>(&dialog)) {
                opened.append(labels->findChild<QLabel *>(QStringLiteral("summaryLabel"))->text());
                if (pressDefault)
                    labels->findChild<QPushButton *>(QStringLiteral("defaultButton"))->click();
            }
            return int(QDialog::Rejected);
        });
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QMessageBox::StandardButton answer = QMessageBox::No;
        QStringList questions;
        DialogPrompts::setQuestion([&](QWidget *, const QString &title, const QString &text,
                                       QMessageBox::StandardButtons, QMessageBox::StandardButton preset) {
            questions.append(title + QLatin1Char('|') + text);
            defaultButton = preset;
            return answer;
        });

        window.collection()->addEntry(test::labelledHolding(QStringLiteral("base1"), QStringLiteral("1"), 100));
        window.collection()->addEntry(test::labelledHolding(QStringLiteral("base1"), QStringLiteral("2"), 50));
        window.printLabels();
        QCOMPARE(questions, QStringList());
        QCOMPARE(opened, QStringList(QStringLiteral("150 label(s) on 3 sheet(s) - Avery 8195")));

        window.collection()->addEntry(test::labelledHolding(QStringLiteral("base1"), QStringLiteral("3"), 511));
        window.printLabels();
        QCOMPARE(questions, QStringList(QStringLiteral("Print Labels|661 label(s) will fill 12 sheets. Continue?")));
        QCOMPARE(defaultButton, QMessageBox::No);
        QCOMPARE(opened.size(), 1);

        answer = QMessageBox::Yes;
        pressDefault = true;
        window.printLabels();
        QCOMPARE(opened.size(), 2);
        QVERIFY(window.collection()->labelStyle().has_value());
        window.undoStack()->undo();
        QVERIFY(!window.collection()->labelStyle().has_value());
    }

    void logWindowIsOpenedOnce()
    {
        MainWindow window;
        window.showLog();
        window.showLog();
        const QList<LogDialog *> logs = window.findChildren<LogDialog *>();
        QCOMPARE(logs.size(), 1);
        QVERIFY(logs.first()->isVisible());
        logs.first()->close();
        window.showLog();
        QCOMPARE(window.findChildren<LogDialog *>(), logs);
        QVERIFY(logs.first()->isVisible());
    }
};

PV_REGISTER_TEST(MainWindowPreferencesTest)
#include "MainWindowPreferencesTest.moc"
