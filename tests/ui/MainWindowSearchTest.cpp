#include "BinderFixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "catalog/CardCatalog.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"

#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

#include <memory>

using namespace pv;

namespace {

// An English catalog of 2,500 cards named "Pidgey <n>" in set "big1", plus
// the twelve-card set "tst1", written to the cache the window loads.
bool writeSearchCatalog()
{
    CatalogCache::Contents contents;
    contents.series = {SerieBrief{QStringLiteral("tst"), QStringLiteral("Test Series"), QString()}};
    contents.sets = {test::catalogSet(QStringLiteral("tst1"), QStringLiteral("TST1"), QStringLiteral("tst"), 1, 12),
                     test::catalogSet(QStringLiteral("big1"), QStringLiteral("BIG1"), QStringLiteral("tst"), 2, 2500)};
    for (int i = 1; i <= 12; ++i)
        contents.cards.append(test::fixtureCard(QStringLiteral("tst1"), i, QStringLiteral("Common")));
    for (int i = 1; i <= 2500; ++i) {
        CatalogCard card = test::fixtureCard(QStringLiteral("big1"), i, QStringLiteral("Common"));
        card.name = QStringLiteral("Pidgey %1").arg(i);
        contents.cards.append(card);
    }
    contents.savedAt = QDateTime::currentDateTimeUtc();
    return test::saveCatalogCache(contents);
}

struct Dock
{
    MainWindow &window;
    QComboBox *scope() { return window.findChild<QComboBox *>(QStringLiteral("searchScopeCombo")); }
    QComboBox *language() { return window.findChild<QComboBox *>(QStringLiteral("searchLanguageCombo")); }
    QLineEdit *name() { return window.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit")); }
    QLineEdit *number() { return window.findChild<QLineEdit *>(QStringLiteral("numberSearchEdit")); }
    QLineEdit *count() { return window.findChild<QLineEdit *>(QStringLiteral("countSearchEdit")); }
    QTableView *collectionResults() { return window.findChild<QTableView *>(QStringLiteral("collectionResults")); }
    QTableView *catalogResults() { return window.findChild<QTableView *>(QStringLiteral("catalogResults")); }
    QString status() { return window.findChild<QLabel *>(QStringLiteral("searchStatus"))->text(); }
    bool allLanguagesEnabled()
    {
        auto *items = qobject_cast<QStandardItemModel *>(language()->model());
        return items->item(language()->findData(-1))->isEnabled();
    }
    void search(const QString &name, const QString &number = QString(), const QString &count = QString())
    {
        this->name()->setText(name);
        this->number()->setText(number);
        this->count()->setText(count);
        window.runSearch();
    }
};

} // namespace

// The search dock over the collection and over the catalog.
class MainWindowSearchTest : public QObject
{
    Q_OBJECT

    // The English plural forms, as the program loads them.
    QTranslator m_plurals;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")));
        QCoreApplication::installTranslator(&m_plurals);
    }

    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_plurals); }

    void init()
    {
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
    }

    void collectionScopeFindsHoldingsAndKeepsTheSelection()
    {
        MainWindow window;
        Dock dock{window};
        QCOMPARE(dock.scope()->currentText(), QStringLiteral("My collection"));
        QCOMPARE(dock.language()->currentText(), QStringLiteral("All languages"));
        QVERIFY(dock.allLanguagesEnabled());
        QCOMPARE(dock.status(),
                 QStringLiteral("Search your collection by name, by the number printed on the card (\"005\" or "
                                "\"005/165\"), or by how many cards the set has."));

        dock.search(QStringLiteral("pika"));
        QCOMPARE(dock.status(), QStringLiteral("This collection is empty."));

        Collection *collection = window.collection();
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("Pikachu")));
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("2"), QStringLiteral("Raichu")));
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("3"), QStringLiteral("Pikachu"), 0.0,
                                           Language::Japanese));
        dock.search(QStringLiteral("chu"));
        QCOMPARE(dock.collectionResults()->model()->rowCount(), 3);
        // Tab moves on from every table of the window instead of walking its cells.
        for (const QAbstractItemView *view : window.findChildren<QAbstractItemView *>())
            QVERIFY2(!view->tabKeyNavigation(), qPrintable(view->objectName()));
        QCOMPARE(dock.status(), QStringLiteral("3 cards in your collection. Double-click one to show it in the tree."));
        dock.search(QStringLiteral("Mew"));
        QCOMPARE(dock.status(), QStringLiteral("No card you own matches. Try the catalog to find one you do not."));

        // A set size that no holding's set has on record is ignored, and said so.
        dock.search(QStringLiteral("Pika"), QString(), QStringLiteral("102"));
        QCOMPARE(dock.collectionResults()->model()->rowCount(), 2);
        QCOMPARE(dock.status(),
                 QStringLiteral("2 cards in your collection. Double-click one to show it in the tree. The set sizes "
                                "are not known for this document, so the card count was ignored; a price refresh "
                                "fills them in."));

        // The selected holding stays selected when a change re-runs the search.
        dock.search(QStringLiteral("chu"));
        QTableView *results = dock.collectionResults();
        results->sortByColumn(0, Qt::DescendingOrder);
        int raichuRow = -1;
        for (int row = 0; row < results->model()->rowCount(); ++row) {
            if (results->model()->index(row, 0).data().toString() == QLatin1String("Raichu"))
                raichuRow = row;
        }
        QVERIFY(raichuRow >= 0);
        results->setCurrentIndex(results->model()->index(raichuRow, 0));
        collection->insertEntry(0, test::holding(QStringLiteral("zz1"), QStringLiteral("4"), QStringLiteral("Alolan Raichu")));
        window.runSearch();
        QCOMPARE(results->model()->rowCount(), 4);
        QCOMPARE(results->currentIndex().data().toString(), QStringLiteral("Raichu"));
        QCOMPARE(results->currentIndex().data(257).toInt(), 2);

        // The language filter narrows the holdings.
        dock.language()->setCurrentIndex(dock.language()->findData(int(Language::Japanese)));
        QCOMPARE(results->model()->rowCount(), 1);

        // Changes re-run the search only while the dock is shown, 150 ms later.
        dock.language()->setCurrentIndex(dock.language()->findData(-1));
        window.show();
        auto *searchDock = window.findChild<QDockWidget *>(QStringLiteral("searchDock"));
        searchDock->hide();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(300); // a search queued by showing the window has run
        QCOMPARE(results->model()->rowCount(), 4);
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("5"), QStringLiteral("Pichu")));
        QTest::qWait(300);
        QCOMPARE(results->model()->rowCount(), 4);
        searchDock->show();
        QTRY_COMPARE_WITH_TIMEOUT(results->model()->rowCount(), 5, 2000);

        // A double-click selects the holding in the tree and brings its dock forward.
        auto *tree = window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
        if (!tree->model())
            QSKIP("the collection tree has no model in this build");
        const QModelIndex raichu = results->currentIndex();
        emit results->doubleClicked(raichu);
        QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("Raichu"));

        // The user goes on to another holding: changes re-run the search and
        // keep the result selected in the table only.
        const QModelIndex pikachu = window.treeModel()->indexForEntryKey(
            entryKey(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("Pikachu"))));
        tree->setCurrentIndex(pikachu);
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("6"), QStringLiteral("Pichu")));
        QTRY_COMPARE_WITH_TIMEOUT(results->model()->rowCount(), 6, 2000);
        QCOMPARE(results->currentIndex().data().toString(), QStringLiteral("Raichu"));
        QTest::qWait(300);
        QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("Pikachu"));
        QCOMPARE(tree->currentIndex().data(257).toInt(), 1);

        // The context menu selects the holding in the tree and offers the
        // tree's own card commands for it, then "Show In Tree".
        tree->setCurrentIndex(QModelIndex());
        results->sortByColumn(0, Qt::AscendingOrder);
        const QModelIndex first = results->model()->index(0, 0);
        std::unique_ptr<QMenu> menu(window.createSearchResultsContextMenu(results->visualRect(first).center()));
        QVERIFY(menu);
        QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("Alolan Raichu"));
        tree->scrollTo(tree->currentIndex());
        std::unique_ptr<QMenu> treeMenu(window.createTreeContextMenu(tree->visualRect(tree->currentIndex()).center()));
        QVERIFY(treeMenu);
        QStringList expected;
        for (const QAction *action : treeMenu->actions())
            expected << action->text();
        expected = expected.mid(0, expected.size() - 2); // the tree's Expand all and Collapse all
        expected << QStringLiteral("Show In Tree");
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, expected);
        QVERIFY(!window.createSearchResultsContextMenu(QPoint(-5, -5)));
    }

    void catalogScopeSearchesOneLanguage()
    {
        QVERIFY(writeSearchCatalog());
        MainWindow window;
        Dock dock{window};
        QSignalSpy loaded(window.catalog(), &CardCatalog::languageLoaded);
        QVERIFY(loaded.wait(20000));

        // The catalog holds one language: "All languages" gives way to English.
        dock.scope()->setCurrentIndex(1);
        QCOMPARE(dock.language()->currentData().toInt(), int(Language::English));
        QVERIFY(!dock.allLanguagesEnabled());
        QCOMPARE(dock.status(),
                 QStringLiteral("Search every card there is by name, by the number printed on the card (\"005\" or "
                                "\"005/165\"), or by how many cards the set has."));
        dock.scope()->setCurrentIndex(0);
        QVERIFY(dock.allLanguagesEnabled());
        QCOMPARE(dock.language()->currentData().toInt(), int(Language::English));
        dock.scope()->setCurrentIndex(1);

        // One letter is not enough unless a number or a set size comes with it.
        QTableView *results = dock.catalogResults();
        dock.search(QStringLiteral("P"));
        QCOMPARE(results->model()->rowCount(), 0);
        QCOMPARE(dock.status(), QStringLiteral("Type at least 2 characters of the name, or a card number."));
        dock.search(QStringLiteral("P"), QStringLiteral("5"));
        QCOMPARE(results->model()->rowCount(), 1);
        QCOMPARE(dock.status(), QStringLiteral("1 match. Double-click a card to add it."));

        // At most 2,000 rows, with the number of matches.
        window.collection()->addEntry(test::holdingOf(QStringLiteral("big1-7"), 1));
        dock.search(QStringLiteral("Pidgey"));
        QCOMPARE(results->model()->rowCount(), 2000);
        QCOMPARE(dock.status(), QStringLiteral("2500 matches; showing the first 2000. Double-click a card to add it."));
        dock.search(QStringLiteral("Pidgeot"));
        QCOMPARE(dock.status(), QStringLiteral("No card matches. Check the number, or widen the search."));

        // A language whose catalog is not there says so and lists nothing.
        dock.search(QStringLiteral("Pidgey"));
        dock.language()->setCurrentIndex(dock.language()->findData(int(Language::Japanese)));
        QCOMPARE(results->model()->rowCount(), 0);
        QVERIFY(dock.status() == QStringLiteral("Building the card index...")
                || dock.status()
                       == QStringLiteral("The card catalog is not available yet. Open Add Cards and press Refresh."));
    }
};

PV_REGISTER_TEST(MainWindowSearchTest)
#include "MainWindowSearchTest.moc"
