#include "DialogTestSupport.h"
#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/DexIndex.h"
#include "catalog/ImageCache.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "core/SteadyClock.h"
#include "ui/ThemeManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/widgets/CardDetailsWidget.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyleOptionToolButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>
#include <QUndoStack>

#include <limits>
#include <memory>

using namespace pv;

namespace {

CardEntry holding(const QString &id, int count, double eur, bool label = false)
{
    CardEntry entry = test::numberedHolding(QStringLiteral("sv03"), id, count, eur);
    entry.printLabel = label;
    return entry;
}

QStringList actionTexts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (const QAction *action : actions)
        texts.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

QStringList visibleRecentTexts(MainWindow &window)
{
    QStringList texts;
    const QList<QAction *> actions = window.findChild<QMenu *>(QStringLiteral("menuOpenRecent"))->actions();
    for (const QAction *action : actions) {
        if (action->isVisible() && !action->isSeparator() && !action->data().toString().isEmpty())
            texts.append(action->text());
    }
    return texts;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A small collection file written through the serializer; returns its path.
    QString writeCollection(const QString &name, int holdings)
    {
        Collection source;
        for (int i = 1; i <= holdings; ++i)
            source.addEntry(holding(QString::number(i), i, 1.5));
        const QString path = m_dir.filePath(name);
        QString error;
        if (!CollectionSerializer::write(path, source, &error))
            qFatal("cannot write %s: %s", qPrintable(path), qPrintable(error));
        return path;
    }

    static void closeWindow(MainWindow &window, bool *accepted)
    {
        QCloseEvent event;
        QCoreApplication::sendEvent(&window, &event);
        *accepted = event.isAccepted();
    }

    QTranslator m_plurals;

private slots:
    void initTestCase()
    {
        QVERIFY(m_plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")));
        QCoreApplication::installTranslator(&m_plurals);
    }

    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_plurals); }

    void init()
    {
        MainWindow::setRecentFiles({});
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
        test::setSetting(QStringLiteral("chart"), QVariant());
    }

    void frameHasEveryNamedPartAndNoCentralWidget()
    {
        MainWindow window;
        QVERIFY(!window.centralWidget());
        QCOMPARE(window.windowTitle(), QStringLiteral("Untitled - Tallowmerick"));
        for (const char *name : {"treeDock", "bindersDock", "previewDock", "chartDock", "searchDock"})
            QVERIFY2(window.findChild<QDockWidget *>(QLatin1String(name)), name);
        for (const char *name : {"menubar", "statusbar", "mainToolBar", "collectionTree", "cardSortCombo",
                                 "treeSortLabel", "bindersList", "newBinderButton", "deleteBinderButton",
                                 "cardDetails", "valueChart", "searchScopeCaption", "searchScopeCombo", "searchBar",
                                 "searchLanguageCombo", "searchStack", "collectionResults", "catalogResults",
                                 "searchStatus"})
            QVERIFY2(window.findChild<QWidget *>(QLatin1String(name)), name);
        const QStringList actions = {
            "actionNew", "actionOpen", "actionSave", "actionSaveAs", "actionPreferences", "actionQuit",
            "actionFindCard", "actionUndo", "actionRedo", "actionAddCards", "actionRemoveEntry",
            "actionRefreshPrices", "actionExpandAll", "actionCollapseAll", "actionClearLabels", "actionPrintLabels",
            "actionResetLayout", "actionClearImageCache", "actionShowLog", "actionLicense",
            "actionThirdPartyNotices", "actionAbout"};
        for (const QString &name : actions)
            QVERIFY2(window.findChild<QAction *>(name), qPrintable(name));

        QStringList menus;
        for (const QAction *action : window.menuBar()->actions())
            menus.append(action->menu()->objectName());
        QCOMPARE(menus, QStringList({"menuFile", "menuEdit", "menuCollection", "menuLabels", "menuView", "menuHelp"}));
        QCOMPARE(actionTexts(window.findChild<QMenu *>(QStringLiteral("menuView"))->actions()),
                 QStringList({"Collection", "Binders", "Card", "Collection value history", "Search", "|",
                              "Reset &Layout"}));
        QCOMPARE(actionTexts(window.findChild<QMenu *>(QStringLiteral("menuEdit"))->actions()),
                 QStringList({"&Find Card...", "&Undo", "&Redo"}));
        QStringList toolbar;
        for (const QAction *action : window.findChild<QToolBar *>(QStringLiteral("mainToolBar"))->actions())
            toolbar.append(action->isSeparator() ? QStringLiteral("|") : action->objectName());
        QCOMPARE(toolbar, QStringList({"actionNew", "actionOpen", "actionSave", "actionSaveAs", "|", "actionUndo",
                                       "actionRedo", "|", "actionAddCards", "actionRefreshPrices", "|",
                                       "actionExpandAll", "actionCollapseAll"}));

        // Status bar: summary, greyed prices label, hidden progress bar and Cancel.
        QStatusBar *bar = window.statusBar();
        const QList<QLabel *> labels = bar->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(labels.size() >= 2);
        QVERIFY(bar->findChild<QProgressBar *>());
        QVERIFY(bar->findChild<QProgressBar *>()->isHidden());
        QVERIFY(bar->findChild<QPushButton *>()->isHidden());

        // After the layout reset the search dock waits hidden at the bottom.
        QCOMPARE(window.dockWidgetArea(window.findChild<QDockWidget *>(QStringLiteral("searchDock"))),
                 Qt::BottomDockWidgetArea);
        QVERIFY(window.findChild<QDockWidget *>(QStringLiteral("searchDock"))->isHidden());
    }

    void unsavedChangesAreAskedAboutBeforeTheyAreDropped()
    {
        test::PromptScope prompts;
        MainWindow window;
        Collection *collection = window.collection();
        collection->addEntry(holding(QStringLiteral("1"), 2, 3.0));
        collection->setDirty(true);
        QCOMPARE(window.windowTitle(), QStringLiteral("Untitled* - Tallowmerick"));

        // Cancel keeps everything; Discard lets New go on.
        window.newCollection();
        QCOMPARE(prompts.questions.size(), 1);
        QCOMPARE(prompts.questions.first(),
                 QStringLiteral("Unsaved changes|This collection has unsaved changes.\n\nSave them before continuing?"));
        QCOMPARE(collection->entries().size(), 1);
        bool accepted = true;
        closeWindow(window, &accepted);
        QVERIFY(!accepted);

        // Save on an untitled collection opens Save As; cancelling it keeps the window open.
        prompts.questionAnswers = {QMessageBox::Save};
        closeWindow(window, &accepted);
        QVERIFY(!accepted);
        QVERIFY(prompts.captions.last().startsWith(QLatin1String("Save collection|")));

        // Open is guarded the same way; Discard opens the chosen file.
        const QString path = writeCollection(QStringLiteral("guarded.tmk"), 3);
        prompts.openPath = path;
        window.openCollection();
        QCOMPARE(collection->entries().size(), 1);
        prompts.questionAnswers = {QMessageBox::Discard};
        window.openCollection();
        QCOMPARE(collection->entries().size(), 3);
        QCOMPARE(window.windowTitle(), QStringLiteral("guarded.tmk - Tallowmerick"));

        // A recent file asks too; Save writes the named file first.
        collection->addEntry(holding(QStringLiteral("9"), 1, 1.0));
        QCOMPARE(window.windowTitle(), QStringLiteral("guarded.tmk* - Tallowmerick"));
        const QString other = writeCollection(QStringLiteral("other.tmk"), 1);
        MainWindow::addRecentFile(other);
        window.rebuildRecentMenu();
        QAction *first = window.findChild<QMenu *>(QStringLiteral("menuOpenRecent"))->actions().first();
        const int asked = prompts.questions.size();
        first->trigger();
        QCOMPARE(prompts.questions.size(), asked + 1);
        QCOMPARE(collection->filePath(), path);
        prompts.questionAnswers = {QMessageBox::Save};
        first->trigger();
        QCOMPARE(collection->filePath(), other);
        QCOMPARE(CollectionSerializer::read(path).entries.size(), 4);

        // A clean collection closes without a question.
        const int before = prompts.questions.size();
        closeWindow(window, &accepted);
        QVERIFY(accepted);
        QCOMPARE(prompts.questions.size(), before);
    }

    // A refresh that ends while the Open dialog is up changes a collection
    // that was clean when Open asked: the chosen file replaces it only after
    // a second question, and Save keeps the run's prices and week point.
    void changesMadeBehindTheOpenDialogAreAskedAbout()
    {
        test::PromptScope prompts;
        FxRates::store({{QStringLiteral("EUR"), 0.92}}, SteadyClock::today());
        MainWindow window;
        Collection *collection = window.collection();
        CardEntry charizard =
            test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 1.0);
        charizard.variant = QStringLiteral("holo");
        collection->addEntry(charizard);
        const QString first = m_dir.filePath(QStringLiteral("refreshed.tmk"));
        prompts.savePath = first;
        QVERIFY(window.saveAs());
        const int points = int(collection->history().size());
        const QString other = writeCollection(QStringLiteral("chosen.tmk"), 2);

        bool waitForRun = true;
        DialogPrompts::setOpenFileName([&](QWidget *, const QString &, const QString &, const QString &) {
            const bool ended =
                !waitForRun || QTest::qWaitFor([&window] { return !window.isPriceRefreshRunning(); }, 30000);
            return ended ? other : QString();
        });
        window.refreshPrices();
        QVERIFY(window.isPriceRefreshRunning());
        window.openCollection();
        QVERIFY(!window.isPriceRefreshRunning());
        QCOMPARE(prompts.questions,
                 QStringList{QStringLiteral("Unsaved changes|refreshed.tmk has unsaved changes.\n\nSave them before "
                                            "continuing?")});
        // Cancelled: the run's work stays in the open collection.
        QCOMPARE(collection->filePath(), first);
        QVERIFY(collection->isDirty());
        const double priced = collection->entries().at(0).unitValueEur;
        QVERIFY(priced > 1.0);
        QCOMPARE(collection->history().size(), points + 1);

        // Asked before the dialog this time, with nothing changing behind it:
        // one question, and Save writes the run's work before the file opens.
        waitForRun = false;
        prompts.questionAnswers = {QMessageBox::Save};
        window.openCollection();
        QCOMPARE(prompts.questions.size(), 2);
        QCOMPARE(collection->filePath(), other);
        const CollectionSerializer::ReadResult saved = CollectionSerializer::read(first);
        QCOMPARE(saved.entries.value(0).unitValueEur, priced);
        QCOMPARE(saved.history.size(), points + 1);

        // Unsaved already and discarded when Open asked: the run ends there,
        // so nothing changes behind the dialog and Open asks once. The file
        // then opened shows nothing that run said.
        collection->addEntry(charizard);
        waitForRun = true;
        prompts.questionAnswers = {QMessageBox::Discard};
        window.refreshPrices();
        window.openCollection();
        QCOMPARE(prompts.questions.size(), 3);
        QCOMPARE(collection->entries().size(), 2);
        QVERIFY2(window.statusBar()->currentMessage().isEmpty(), qPrintable(window.statusBar()->currentMessage()));
    }

    void recentListKeepsTenAbsoluteDistinctPaths()
    {
        test::PromptScope prompts;
        MainWindow window;
        QMenu *menu = window.findChild<QMenu *>(QStringLiteral("menuOpenRecent"));
        QVERIFY(!menu->isEnabled());

        const QString before = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        MainWindow::addRecentFile(QStringLiteral("relative.tmk"));
        QDir::setCurrent(before);
        QCOMPARE(MainWindow::recentFiles(), QStringList({m_dir.filePath(QStringLiteral("relative.tmk"))}));

        for (int i = 1; i <= 11; ++i)
            MainWindow::addRecentFile(m_dir.filePath(QStringLiteral("file%1.tmk").arg(i)));
        MainWindow::addRecentFile(m_dir.filePath(QStringLiteral("file5.tmk")));
        const QStringList files = MainWindow::recentFiles();
        QCOMPARE(files.size(), 10);
        QCOMPARE(files.first(), m_dir.filePath(QStringLiteral("file5.tmk")));
        QCOMPARE(files.count(m_dir.filePath(QStringLiteral("file5.tmk"))), 1);
        QVERIFY(!files.contains(m_dir.filePath(QStringLiteral("file1.tmk"))));
        QVERIFY(!files.contains(m_dir.filePath(QStringLiteral("relative.tmk"))));

        window.rebuildRecentMenu();
        QVERIFY(menu->isEnabled());
        QStringList shown = visibleRecentTexts(window);
        QCOMPARE(shown.size(), 10);
        QCOMPARE(shown.first(), QStringLiteral("&1  file5.tmk"));
        QCOMPARE(shown.last(), QStringLiteral("&10  file2.tmk"));

        // A file that no longer opens leaves the list, and says why.
        QAction *missing = menu->actions().at(1);
        const QString missingPath = missing->data().toString();
        missing->trigger();
        QVERIFY(!MainWindow::recentFiles().contains(missingPath));
        QCOMPARE(prompts.warnings.size(), 1);
        QVERIFY(prompts.warnings.first().startsWith(QLatin1String("Could not open collection|")));
        QVERIFY(prompts.warnings.first().contains(missingPath));
        const QStringList errors = test::logMessages(QStringLiteral("file"), Log::Error);
        QVERIFY(!errors.isEmpty());
        QCOMPARE(errors.last().count(QStringLiteral("Could not open")), 1);
        QVERIFY2(errors.last().startsWith(
                     QStringLiteral("Could not open %1: ").arg(QDir::toNativeSeparators(missingPath))),
                 qPrintable(errors.last()));
        QVERIFY(window.collection()->filePath().isEmpty());
        QCOMPARE(window.windowTitle(), QStringLiteral("Untitled - Tallowmerick"));

        // An ampersand in a file name shows as typed.
        const QString ampersand = writeCollection(QStringLiteral("Tom & Jerry.tmk"), 1);
        window.openFile(ampersand);
        QCOMPARE(visibleRecentTexts(window).first(), QStringLiteral("&1  Tom && Jerry.tmk"));

        // Clearing the list disables the menu.
        menu->actions().last()->trigger();
        QVERIFY(MainWindow::recentFiles().isEmpty());
        QVERIFY(!menu->isEnabled());
    }

    void savingNeverLosesTheOldFile()
    {
        test::PromptScope prompts;
        MainWindow window;
        Collection *collection = window.collection();
        QAction *saveAction = window.findChild<QAction *>(QStringLiteral("actionSave"));
        QVERIFY(saveAction->isEnabled());

        collection->addEntry(holding(QStringLiteral("1"), 1, 2.0));
        prompts.savePath = m_dir.filePath(QStringLiteral("plain"));
        QVERIFY(window.saveAs());
        QCOMPARE(collection->filePath(), m_dir.filePath(QStringLiteral("plain.tmk")));
        QVERIFY(!saveAction->isEnabled());
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Saved plain.tmk"));
        QCOMPARE(test::logMessages(QStringLiteral("file")).last(),
                 QStringLiteral("Saved %1 (1 line)").arg(QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("plain.tmk")))));
        QCOMPARE(test::setting(QStringLiteral("lastDirectory")).toString(), m_dir.path());
        QCOMPARE(MainWindow::recentFiles().first(), m_dir.filePath(QStringLiteral("plain.tmk")));

        prompts.savePath = m_dir.filePath(QStringLiteral("other.json"));
        QVERIFY(window.saveAs());
        QVERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("other.json"))));

        // A save that fails keeps the old file and the old path, and says so.
        collection->addEntry(holding(QStringLiteral("2"), 1, 2.0));
        QVERIFY(saveAction->isEnabled());
        const QByteArray old = test::readFile(m_dir.filePath(QStringLiteral("other.json")));
        const QString blocked = m_dir.filePath(QStringLiteral("blocked"));
        QDir().mkpath(blocked + QStringLiteral("/inside.tmk"));
        prompts.savePath = blocked + QStringLiteral("/inside.tmk");
        QVERIFY(!window.saveAs());
        QCOMPARE(collection->filePath(), m_dir.filePath(QStringLiteral("other.json")));
        QVERIFY(collection->isDirty());
        QCOMPARE(prompts.warnings.size(), 1);
        QVERIFY(prompts.warnings.first().startsWith(QLatin1String("Could not save collection|")));
        QCOMPARE(test::readFile(m_dir.filePath(QStringLiteral("other.json"))), old);

        // A damaged file is reported by name and leaves the open collection alone.
        const QString damaged = test::writeFixture(m_dir.filePath(QStringLiteral("damaged.tmk")), "{ not json");
        window.openFile(damaged);
        QCOMPARE(prompts.warnings.size(), 2);
        QVERIFY(prompts.warnings.last().contains(damaged));
        QCOMPARE(collection->entries().size(), 2);

        // After undoing back to the saved state, outside changes still count.
        QVERIFY(window.save());
        QVERIFY(!collection->isDirty());
        window.newCollection();
        QVERIFY(collection->entries().isEmpty());
        QCOMPARE(window.windowTitle(), QStringLiteral("Untitled - Tallowmerick"));
        QVERIFY(saveAction->isEnabled());
    }

    // A damaged file with a flood of warnings opens with a short message; the
    // log names every warning the reader kept, beyond those the message shows,
    // and counts each kind. A name far too long for the card panel does not
    // stretch the window.
    void hostileFilesNeitherFloodNorStretchTheWindow()
    {
        test::PromptScope prompts;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        const int minimumWidth = window.minimumSizeHint().width();
        const int minimumSetWidth = window.minimumWidth();

        const QString name(300, QLatin1Char('W'));
        QByteArray text = "{\"format\":\"tallowk\",\"version\":5,\"entries\":[";
        for (int i = 0; i < 10; ++i)
            text += QStringLiteral("{\"cardId\":\"c-%1\",\"condition\":\"Bent%1\"},").arg(i).toLatin1();
        for (int i = 0; i < 100000; ++i)
            text += "1,";
        text += "{\"cardId\":\"sv03-1\",\"condition\":\"Damaged\"},{\"cardId\":\"sv03-2\",\"name\":\"" + name.toLatin1()
            + "\"}]}";
        Log::instance().clear();
        window.openFile(test::writeFixture(m_dir.filePath(QStringLiteral("flood.tmk")), text));
        QCOMPARE(window.collection()->entries().size(), 12);
        QCOMPARE(prompts.informations.size(), 1);
        const QStringList lines = prompts.informations.first().split(QLatin1Char('\n'));
        QVERIFY2(lines.size() <= 12 && prompts.informations.first().size() < 1000, qPrintable(lines.join('\n')));
        QCOMPARE(lines.last(), QStringLiteral("... and 100003 more (see Help > Log)"));
        const QStringList logged = test::logMessages(QStringLiteral("file"), Log::Warn);
        QCOMPARE(logged.size(), CollectionSerializer::MaxListedWarnings + 2);
        QCOMPARE(logged.at(8), QStringLiteral("Unknown condition \"Bent8\" on c-8, read as Near Mint (NM)."));
        QCOMPARE(logged.mid(logged.size() - 2),
                 (QStringList{QStringLiteral("Unknown condition \"Bent0\" on c-0, read as Near Mint (NM). (11 "
                                             "warnings of this kind)"),
                              QStringLiteral("Skipped an entry with no card id. (100000 warnings of this kind)")}));

        auto *panel = window.findChild<CardDetailsWidget *>();
        panel->showEntry(window.collection()->entries().at(11));
        for (int level = 0; level < 10; ++level) // a layout request climbs one parent at a time
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        auto *title = panel->findChild<QLabel *>(QStringLiteral("titleLabel"));
        QCOMPARE(window.minimumSizeHint().width(), minimumWidth);
        QCOMPARE(window.minimumWidth(), minimumSetWidth);
        QCOMPARE(title->toolTip(), name);
        QVERIFY(title->text().size() < name.size());

        // A window saved larger than the screen comes back on it.
        window.resize(5000, 4000);
        window.saveWindowState();
        MainWindow again;
        QVERIFY(again.screen()->availableGeometry().contains(again.geometry()));
    }

    void windowStateAndChartScopeComeBack()
    {
        QByteArray stateWithoutSearch;
        {
            MainWindow window;
            window.resize(900, 700);
            window.findChild<QDockWidget *>(QStringLiteral("bindersDock"))->hide();
            window.saveWindowState();
            QVERIFY(!test::setting(QStringLiteral("mainWindow/state")).toByteArray().isEmpty());
            window.removeDockWidget(window.findChild<QDockWidget *>(QStringLiteral("searchDock")));
            stateWithoutSearch = window.saveState(2);
        }
        test::setSetting(QStringLiteral("mainWindow/mainSplitter"), QByteArray("old"));
        {
            MainWindow window;
            QVERIFY(window.findChild<QDockWidget *>(QStringLiteral("bindersDock"))->isHidden());
            window.saveWindowState();
            QVERIFY(!test::setting(QStringLiteral("mainWindow/mainSplitter")).isValid());
        }
        test::setSetting(QStringLiteral("mainWindow/state"), stateWithoutSearch);
        test::setSetting(QStringLiteral("chart/scopeMode"), 3);
        test::setSetting(QStringLiteral("chart/scopeLanguage"), QStringLiteral("ja"));
        {
            MainWindow window;
            auto *search = window.findChild<QDockWidget *>(QStringLiteral("searchDock"));
            QCOMPARE(window.dockWidgetArea(search), Qt::BottomDockWidgetArea);
            QVERIFY(search->isHidden());
            QCOMPARE(window.chartScope().mode, int(ChartScope::Collection));
            QCOMPARE(window.chartScope().language, int(Language::Japanese));

            // A new scope is stored; the same scope again writes nothing.
            ChartScope scope;
            scope.mode = ChartScope::Language;
            scope.language = int(Language::Japanese);
            window.onChartScopeChanged(scope);
            QCOMPARE(test::setting(QStringLiteral("chart/scopeMode")).toInt(), 1);
            QCOMPARE(test::setting(QStringLiteral("chart/scopeLanguage")).toString(), QStringLiteral("ja"));
            test::setSetting(QStringLiteral("chart/scopeMode"), QVariant());
            window.onChartScopeChanged(scope);
            QVERIFY(!test::setting(QStringLiteral("chart/scopeMode")).isValid());

            // A set scope whose set the collection lacks falls back to the whole collection.
            scope.mode = ChartScope::Set;
            scope.setKey = QStringLiteral("en:nowhere");
            window.onChartScopeChanged(scope);
            QCOMPARE(window.chartScope().mode, int(ChartScope::Collection));
        }
    }

    void statusSummaryAndLabelCommandsFollowTheCollection()
    {
        MainWindow window;
        QLabel *summary = window.statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).at(0);
        QLabel *prices = window.statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).at(1);
        QVERIFY2(summary->text().startsWith(QLatin1String("0 cards in 0 lines  -  total ")), qPrintable(summary->text()));
        QCOMPARE(prices->text(), QStringLiteral("Prices never refreshed"));
        QVERIFY(!prices->isEnabled());

        Collection *collection = window.collection();
        collection->addEntry(holding(QStringLiteral("1"), 1, 2.0));
        QVERIFY2(summary->text().startsWith(QLatin1String("1 card in 1 line  -  total ")), qPrintable(summary->text()));
        collection->addEntry(holding(QStringLiteral("2"), 4, 1.0, true));
        collection->addEntry(holding(QStringLiteral("3"), 2, 1.0, true));
        QVERIFY2(summary->text().startsWith(QLatin1String("7 cards in 3 lines  -  total ")), qPrintable(summary->text()));

        QAction *clear = window.findChild<QAction *>(QStringLiteral("actionClearLabels"));
        QAction *print = window.findChild<QAction *>(QStringLiteral("actionPrintLabels"));
        QVERIFY(clear->isEnabled());
        QCOMPARE(print->text(), QStringLiteral("Print Labels (2)..."));
        window.clearLabels();
        QCOMPARE(window.undoStack()->undoText(), QStringLiteral("Clear labels"));
        QVERIFY(!clear->isEnabled());
        QCOMPARE(print->text(), QStringLiteral("Print Labels..."));
        const int commands = window.undoStack()->count();
        window.clearLabels();
        QCOMPARE(window.undoStack()->count(), commands);
        window.undoStack()->undo();
        QCOMPARE(print->text(), QStringLiteral("Print Labels (2)..."));

        // The count goes on past the int range, as the tree's does.
        collection->addEntry(holding(QStringLiteral("4"), std::numeric_limits<int>::max(), 0.0));
        collection->addEntry(holding(QStringLiteral("5"), std::numeric_limits<int>::max(), 0.0));
        QVERIFY2(summary->text().startsWith(QLatin1String("4294967301 cards in 5 lines")), qPrintable(summary->text()));
    }

    void helpCommandsNameWhatTheyOpen()
    {
        test::PromptScope prompts;
        MainWindow window;
        window.showAbout();
        QCOMPARE(prompts.informations.size(), 1);
        QVERIFY(prompts.informations.first().startsWith(
            QLatin1String("About Tallowmerick|<h3>Tallowmerick " TALLOWK_VERSION "</h3>")));
        QVERIFY(prompts.informations.first().contains(QStringLiteral("Qt %1,").arg(QLatin1String(QT_VERSION_STR))));

        // Both stand beside the executable in the build tree and open with the desktop.
        const QString dir = QCoreApplication::applicationDirPath();
        window.showLicense();
        window.showThirdPartyNotices();
        QCOMPARE(prompts.openedUrls, QStringList({QUrl::fromLocalFile(dir + QStringLiteral("/LICENSE.txt")).toString(),
                                                  QUrl::fromLocalFile(dir + QStringLiteral("/legal")).toString()}));
        QVERIFY(prompts.warnings.isEmpty());
        prompts.urlOpens = false;
        window.showThirdPartyNotices();
        QCOMPARE(prompts.warnings.last(),
                 QStringLiteral("Third-Party Notices|The third-party notices could not be opened.\n\nYou can read them in:\n%1")
                     .arg(QDir::toNativeSeparators(dir + QStringLiteral("/legal"))));

        // Two clears in a row log two lines.
        const int logged = test::logMessages(QStringLiteral("cache")).size();
        window.clearImageCache();
        window.clearImageCache();
        QCOMPARE(test::logMessages(QStringLiteral("cache")).size(), logged + 2);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Image cache cleared."));

        // A folder that cannot be made is named in full, also for an empty field.
        const QString blocker = test::writeFixture(m_dir.filePath(QStringLiteral("plainfile")), "x");
        prompts.warnings.clear();
        QVERIFY(!window.changeImageCacheFolder(blocker + QStringLiteral("/cache")));
        QCOMPARE(prompts.warnings.size(), 1);
        QVERIFY(prompts.warnings.first().contains(QDir::toNativeSeparators(blocker + QStringLiteral("/cache"))));
        const QString defaultFolder = ImageCache::defaultFolder();
        const QString inUse = ImageCache::currentFolder();
        if (inUse != defaultFolder) {
            QDir(defaultFolder).removeRecursively();
            QDir().mkpath(QFileInfo(defaultFolder).absolutePath());
            test::writeFixture(defaultFolder, "not a folder");
            QVERIFY(!window.changeImageCacheFolder(QString()));
            QVERIFY(prompts.warnings.last().startsWith(
                QStringLiteral("Could not change the image cache folder|%1 could not be created.")
                    .arg(QDir::toNativeSeparators(defaultFolder))));
            QFile::remove(defaultFolder);
        }
    }

    void bindersListIsBuiltOnceAndTeardownIsQuiet()
    {
        auto window = std::make_unique<MainWindow>();
        Collection *collection = window->collection();
        // The Pokedex index answers at once, from inside the list's rebuild.
        int answers = 0;
        connect(window->tcgdexClient(), &TcgdexClient::pendingCountChanged, window.get(), [&window, &answers] {
            ++answers;
            emit window->dexIndex()->dexReady(Language::English, 4);
        });
        Binder binder;
        binder.id = QStringLiteral("b1");
        binder.name = QStringLiteral("Fire starters");
        BinderRule rule;
        rule.dexIds = {4, 5, 6};
        binder.rules = {rule};
        collection->upsertBinder(binder);
        binder.id = QStringLiteral("b2");
        binder.name = QStringLiteral("Second");
        collection->upsertBinder(binder);
        auto *list = window->findChild<QListWidget *>(QStringLiteral("bindersList"));
        QCOMPARE(list->count(), 2);
        QVERIFY(answers > 0);
        QCoreApplication::processEvents();
        QCOMPARE(list->count(), 2);
        QVERIFY(list->item(0)->text().startsWith(QLatin1String("Fire starters  -  ")));
        list->setCurrentRow(1);

        // A rebuild asked for while one runs is done once, afterwards.
        window->refreshBindersList();
        QCoreApplication::processEvents();
        QCOMPARE(list->count(), 2);

        window->showLog();
        window->collection()->addEntry(holding(QStringLiteral("1"), 1, 1.0));
        window.reset();
    }

    // At 1280 x 800 with a collection and every dock open the window can be
    // made shorter than a 768-pixel screen, Find Card opens the search at a
    // third of the height with five results in view, the binders dock is as
    // tall as its list, dock titles stand out from their contents and Qt's
    // file dialog has room for its icons.
    void windowFitsALaptopScreenWithEveryDockOpen()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        MainWindow window;
        QList<CardEntry> entries;
        for (int i = 1; i <= 40; ++i)
            entries.append(holding(QString::number(i), 1, 0.0));
        Binder binder;
        binder.topValue = 10;
        QList<Binder> binders = {binder, binder};
        binders[0].id = binders[0].name = QStringLiteral("Fire");
        binders[1].id = binders[1].name = QStringLiteral("Top");
        window.collection()->replaceContents(entries, {}, {}, binders, std::nullopt);
        window.resize(1280, 800); // the opening size, which the test screen is too small for
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto *list = window.findChild<QListWidget *>(QStringLiteral("bindersList"));
        QTRY_COMPARE(list->count(), 2);
        window.resetLayout();
        window.layout()->activate();
        QVERIFY(list->viewport()->height() >= 2 * list->sizeHintForRow(0));
        QVERIFY(list->viewport()->height() < 5 * list->sizeHintForRow(0));

        window.findCard();
        window.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"))->setText(QStringLiteral("card"));
        window.runSearch();
        for (QDockWidget *dock : window.findChildren<QDockWidget *>())
            QVERIFY2(dock->isVisible() && !dock->isFloating(), qPrintable(dock->objectName()));
        QVERIFY2(window.minimumSizeHint().height() < 700,
                 qPrintable(QString::number(window.minimumSizeHint().height())));
        // Five results or more wholly in view, under a collection that keeps
        // the larger part of the window.
        auto *results = window.findChild<QTableView *>(QStringLiteral("collectionResults"));
        QCOMPARE(results->model()->rowCount(), 40);
        int resultRows = 0;
        while (resultRows < 40
               && results->viewport()->rect().contains(results->visualRect(results->model()->index(resultRows, 0))))
            ++resultRows;
        const int treeHeight = window.findChild<QTreeView *>(QStringLiteral("collectionTree"))->viewport()->height();
        QVERIFY2(resultRows >= 5 && results->viewport()->height() < treeHeight,
                 qPrintable(QStringLiteral("%1 results in %2 px, tree %3 px")
                                .arg(resultRows)
                                .arg(results->viewport()->height())
                                .arg(treeHeight)));

        auto *dock = window.findChild<QDockWidget *>(QStringLiteral("treeDock"));
        const QHash<QString, QColor> colours = ThemeManager::loadTheme(ThemeManager::defaultThemeName());
        QCOMPARE(dock->palette().color(QPalette::WindowText), colours.value(QStringLiteral("accent")));
        QVERIFY(dock->font().bold() && !dock->widget()->font().bold());
        QCOMPARE(dock->widget()->palette().color(QPalette::WindowText), colours.value(QStringLiteral("text")));

        QFileDialog files(nullptr, QStringLiteral("Save"));
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.show();
        auto *back = files.findChild<QToolButton *>(QStringLiteral("backButton"));
        QStyleOptionToolButton option;
        option.initFrom(back);
        option.iconSize = back->iconSize();
        const QSize needed = back->style()->sizeFromContents(QStyle::CT_ToolButton, &option, option.iconSize, back);
        QVERIFY(needed.width() <= back->width() && needed.height() <= back->height());
    }
    // At 1024 pixels every tool bar command can be reached: what the bar
    // has no room for is behind its extension button.
    void everyToolBarCommandIsReachableOnASmallScreen()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        MainWindow window;
        window.resize(1024, 740);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resetLayout();
        auto *bar = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
        auto *more = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
        QAction *last = bar->actions().constLast();
        QVERIFY(more && more->isVisible() && !bar->widgetForAction(last)->isVisible());
        // The button draws its arrow: it is not blank.
        const QImage drawn = more->grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                colours.insert(drawn.pixel(x, y));
        QVERIFY(colours.size() > 2);
        more->click();
        QTRY_VERIFY(bar->widgetForAction(last)->isVisible());
    }

    // On a laptop's 1280 x 734 first-start layout, with the search dock shut
    // and open, every editor of the copy shows whole, in the same place for a
    // card without a note and one with a long note and a two-line name.
    void copyEditorsShowWholeInTheFirstStartLayout()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        MainWindow window;
        window.resize(1280, 734);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resetLayout();
        auto *panel = window.findChild<CardDetailsWidget *>();
        QPoint place;
        const auto editorsShowInPlace = [&] {
            for (int level = 0; level < 12; ++level) // a layout request climbs one parent at a time
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            for (const char *name : {"finishCombo", "editionCombo", "conditionCombo", "gradeCompanyCombo",
                                     "gradeNoteEdit", "countSpin", "notesEdit"}) {
                auto *editor = panel->findChild<QWidget *>(QLatin1String(name));
                QVERIFY2(editor->visibleRegion() == QRegion(editor->rect()), name);
            }
            const QPoint at = panel->findChild<QWidget *>(QStringLiteral("conditionCombo"))->mapTo(&window, QPoint());
            place = place.isNull() ? at : place;
            QCOMPARE(at, place);
            QCOMPARE(window.size(), QSize(1280, 734));
        };

        QSignalSpy answered(window.tcgdexClient(), &TcgdexClient::cardReady);
        CardEntry entry = test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"));
        entry.gradeCompany = GradingCompany::PSA;
        entry.gradeNote = QStringLiteral("3");
        panel->showEntry(entry);
        editorsShowInPlace();
        QTRY_VERIFY(!answered.isEmpty());
        entry.name = QStringLiteral("Charizard with a name long enough to take two lines");
        panel->setEntry(entry);
        CardDetail card;
        card.id = entry.cardId;
        card.pricing = QJsonDocument::fromJson(R"({"tcgcsv":{"unit":"USD","holofoil":{"marketPrice":20}}})").object();
        Q_EMIT window.tcgdexClient()->cardReady(answered.first().first().toInt(), Language::English, card);
        auto *note = panel->findChild<QLabel *>(QStringLiteral("priceNoteLabel"));
        QVERIFY(note->text().count(QLatin1Char('\n')) >= 2);
        editorsShowInPlace();
        // The note is whole, wrapped: the dock scrolls to its last lines.
        QVERIFY(note->height() >= note->heightForWidth(note->width()));

        window.findCard();
        editorsShowInPlace();
        auto *name = window.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"));
        QVERIFY(name->width() > 20 * name->fontMetrics().averageCharWidth());
    }
};

PV_REGISTER_TEST(MainWindowTest)
#include "MainWindowTest.moc"
