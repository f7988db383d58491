#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "catalog/TcgdexClient.h"
#include "collection/AddBinderCommand.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "ui/ThemeManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/CardSearchBar.h"
#include "ui/widgets/ElidingHeaderView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTreeView>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <QHelpEvent>
#include <QUndoStack>

using namespace pv;
using Tree = CollectionTreeModel;

namespace {

// A collector's cards: English and Japanese, 1st Edition and Unlimited copies
// of one card in different conditions, graded copies and long prices.
QList<CardEntry> collectorsCards()
{
    const QList<std::tuple<const char *, const char *, const char *, const char *, Condition>> cards =
        {{"4", "Charizard", "firstEdition", "holo", Condition::Excellent},
         {"4", "Charizard", "unlimited", "holo", Condition::LightPlayed},
         {"4", "Charizard", "firstEdition", "holo", Condition::NearMint},
         {"2", "Blastoise", "shadowless", "holo", Condition::NearMint},
         {"2", "Blastoise", "unlimited", "reverse", Condition::Excellent},
         {"15", "Venusaur", "firstEdition", "reverse", Condition::Played},
         {"58", "Pikachu", "firstEdition", "normal", Condition::Mint},
         {"44", "Bulbasaur", "unlimited", "normal", Condition::Good},
         {"46", "Charmander", "unlimited", "normal", Condition::Poor},
         {"16", "Zapdos", "unlimited", "holo", Condition::NearMint}};
    QList<CardEntry> entries;
    for (int copy = 0; copy < 40; ++copy) {
        const auto &[number, name, edition, finish, condition] = cards.at(copy % cards.size());
        const bool japanese = copy >= 30;
        CardEntry entry = test::holding(japanese ? QStringLiteral("PMCG1") : QStringLiteral("base1"),
                                        QLatin1String(number), QLatin1String(name), 12345.67 / (copy + 1),
                                        japanese ? Language::Japanese : Language::English);
        if (japanese)
            entry.name = QStringLiteral("リザードン");
        entry.edition = QLatin1String(edition);
        entry.variant = QLatin1String(finish);
        entry.condition = condition;
        entry.rarity = copy % 3 == 0 ? QStringLiteral("Rare Holo") : QStringLiteral("Common");
        entry.dexId = 6;
        entry.gradeCompany = copy % 7 == 0 ? GradingCompany::PSA : GradingCompany::None;
        entry.gradeNote = copy % 7 == 0 ? QStringLiteral("9") : QString();
        entry.count = copy % 3 + 1;
        entries.append(entry);
    }
    return entries;
}

// The cells of the rows in view that the view's own measures find cut short
// (in the given columns), as "row, column: text needs/has"; a title that
// shows less than its figures' room, and sideways scrolling.
QStringList cutShort(QAbstractItemView *view, const QList<int> &columns)
{
    QStringList cut;
    if (view->horizontalScrollBar()->maximum() > 0)
        cut.append(QStringLiteral("scrolls sideways"));
    int row = 0;
    for (QModelIndex index = view->indexAt(QPoint(0, 0)).siblingAtColumn(0);
         index.isValid() && view->visualRect(index).top() < view->viewport()->height(); ++row) {
        for (const int column : columns) {
            const QModelIndex cell = index.siblingAtColumn(column);
            const int needs = view->sizeHintForIndex(cell).width();
            if (!view->model()->hasChildren(index) && needs > view->visualRect(cell).width())
                cut.append(QStringLiteral("%1, %2: %3 %4/%5")
                               .arg(row)
                               .arg(column)
                               .arg(cell.data().toString())
                               .arg(needs)
                               .arg(view->visualRect(cell).width()));
        }
        auto *tree = qobject_cast<QTreeView *>(view);
        index = tree ? tree->indexBelow(index) : index.sibling(index.row() + 1, 0);
    }
    return cut;
}

// Checks the tree's titles: one shown whole fits its section; any other
// shows its start, then an ellipsis, within the section, and its tool tip
// gives it whole. Counts those elided.
void checkTitles(QTreeView *tree, const QString &where, int &elided)
{
    auto *header = qobject_cast<ElidingHeaderView *>(tree->header());
    QVERIFY2(header, "the tree's header does not elide");
    const QFontMetrics metrics(header->font());
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column))
            continue;
        const int width = header->sectionSize(column);
        const QString title = tree->model()->headerData(column, Qt::Horizontal).toString();
        const QString shown = header->shownTitle(column, width);
        const QString what = QStringLiteral("%1, column %2 at %3: %4").arg(where).arg(column).arg(width).arg(shown);
        if (shown == title) {
            QVERIFY2(metrics.horizontalAdvance(title) < width, qPrintable(what));
            continue;
        }
        ++elided;
        const QString start = shown.chopped(1);
        QVERIFY2(shown.endsWith(QChar(0x2026)) && title.startsWith(start) && start.size() < title.size()
                     && metrics.horizontalAdvance(shown) < width,
                 qPrintable(what));
        const QPoint centre(header->sectionViewportPosition(column) + width / 2, header->height() / 2);
        QHelpEvent help(QEvent::ToolTip, centre, header->viewport()->mapToGlobal(centre));
        QCoreApplication::sendEvent(header->viewport(), &help);
        QCOMPARE(QToolTip::text(), title);
        QToolTip::hideText();
    }
}

} // namespace

class ShownWholeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { test::setSetting(QStringLiteral("mainWindow"), QVariant()); } // the first start's layout
    void cleanup() { ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName()); }

    // First-start sizes on 1366 x 768 and 1600 x 1000 screens: long facts
    // take their lines; a long undo text leaves every tool button in view.
    void factsAndToolBarShowWhole()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        for (const QSize &size : {QSize(1280, 734), QSize(1280, 800)}) {
            MainWindow window;
            CardEntry entry = test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"));
            entry.customPriceEur = 1450.0;
            const SetRecord set = test::setRecord(QStringLiteral("base1"), QStringLiteral("Prismatic Evolutions"),
                                                  QStringLiteral("Scarlet & Violet"));
            window.collection()->replaceContents({entry}, {{QStringLiteral("en:base1"), set}}, {}, {}, std::nullopt);
            window.resize(size);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCoreApplication::processEvents(); // the first start lays the docks out
            auto *panel = window.findChild<CardDetailsWidget *>();
            QSignalSpy answered(window.tcgdexClient(), &TcgdexClient::cardReady);
            panel->showEntry(entry);
            QTRY_VERIFY(!answered.isEmpty());
            CardDetail card;
            card.id = entry.cardId;
            card.illustrator = QStringLiteral("Kagemaru Himeno");
            card.rarity = QStringLiteral("Special illustration rare");
            Q_EMIT window.tcgdexClient()->cardReady(answered.first().first().toInt(), Language::English, card);
            for (int level = 0; level < 12; ++level) // a layout request climbs one parent at a time
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

            for (const char *name : {"setValue", "serieValue", "rarityValue", "illustratorValue", "eurValue"}) {
                auto *value = panel->findChild<QLabel *>(QLatin1String(name));
                // Answers still on their way may lay the panel out again.
                QTRY_VERIFY2(value->height() >= value->heightForWidth(value->width())
                             && value->visibleRegion() == QRegion(value->rect()),
                         name);
            }
            Binder binder;
            for (const QString &name : {QStringLiteral("360 Most Valuable Cards"), QStringLiteral("Fire")}) {
                binder.id = binder.name = name;
                window.undoStack()->push(new AddBinderCommand(window.collection(), binder));
            }
            window.undoStack()->undo();
            auto *bar = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
            bar->layout()->activate();
            for (QAction *action : bar->actions()) {
                QWidget *button = bar->widgetForAction(action);
                QVERIFY2(action->isSeparator() || (button->isVisible() && bar->rect().contains(button->geometry())),
                         qPrintable(action->objectName()));
            }
            auto *undo = bar->widgetForAction(window.findChild<QAction *>(QStringLiteral("actionUndo")));
            QCOMPARE(undo->toolTip(), QStringLiteral("Undo Add binder \"360 Most Valuable Cards\""));
        }
    }

    // At the first-start sizes on 1366 x 768 and 1600 x 1000 screens, and
    // after a layout saved at the other size, every card row in view shows
    // its name, printing and condition whole (in a short form where room is
    // short) and every value whole, in the tree and in the search dock,
    // without scrolling sideways; a title too long for its figures ends in
    // an ellipsis.
    void cardRowsTellCopiesApart()
    {
        const test::DefaultTheme themed;
        const QList<int> told = {Tree::NameColumn, Tree::PrintingColumn, Tree::ConditionColumn};
        const QList<int> values = {Tree::NumberColumn, Tree::GradeColumn, Tree::QuantityColumn, Tree::UnitValueColumn,
                                   Tree::TotalColumn};
        // First starts on the two screens, and maximised on the larger one.
        const QList<QSize> sizes = {QSize(1280, 734), QSize(1280, 800), QSize(1600, 975)};
        int elided = 0;
        for (const bool saved : {false, true}) {
            for (int at = 0; at < sizes.size(); ++at) {
                // Fresh; or a layout saved on the other screen.
                test::setSetting(QStringLiteral("mainWindow"), QVariant());
                if (saved) {
                    MainWindow other;
                    other.resize(sizes.at(at == 2 ? 0 : 2));
                    other.show();
                    QVERIFY(QTest::qWaitForWindowExposed(&other));
                    QCoreApplication::processEvents();
                    other.saveWindowState();
                }
                MainWindow window;
                window.collection()->replaceContents(collectorsCards(), {}, {}, {}, std::nullopt);
                window.resize(sizes.at(at));
                window.show();
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                auto *tree = window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
                tree->expandAll();
                QCoreApplication::processEvents();
                QTRY_COMPARE(cutShort(tree, told + values), QStringList());
                // Short forms where needed, telling the two Charizards apart.
                const QString where =
                    QStringLiteral("%1 x %2, saved %3").arg(window.width()).arg(window.height()).arg(saved);
                const QModelIndex first = window.treeModel()->indexForEntryKey(entryKey(collectorsCards().at(0)));
                QVERIFY2(tree->sizeHintForIndex(first.siblingAtColumn(Tree::ConditionColumn)).width()
                             <= tree->columnWidth(Tree::ConditionColumn),
                         qPrintable(where));
                checkTitles(tree, where, elided);
                if (QTest::currentTestFailed())
                    return;
                window.findCard();
                window.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"))->setText(QStringLiteral("a"));
                window.runSearch();
                auto *results = window.findChild<QTableView *>(QStringLiteral("collectionResults"));
                QTRY_VERIFY(results->model()->rowCount() > 0);
                QTRY_COMPARE(cutShort(results, told + values), QStringList());
            }
        }
        // Room runs short for some titles on the smaller screen.
        QVERIFY(elided > 0);
    }

    // In every theme a ticked check box or radio button shows a mark that
    // stands out from its fill.
    void ticksShowInEveryTheme()
    {
        QWidget page;
        auto *check = new QCheckBox(QStringLiteral("Show Japanese cards in English"), &page);
        auto *radio = new QRadioButton(QStringLiteral("Custom"), &page);
        radio->move(0, 30);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
            ThemeManager::applyTheme(qApp, theme.id);
            for (const auto &[button, indicator] :
                 {std::pair<QAbstractButton *, QStyle::SubElement>(check, QStyle::SE_CheckBoxIndicator),
                  {radio, QStyle::SE_RadioButtonIndicator}}) {
                QStyleOptionButton option;
                option.initFrom(button);
                const QRect box = button->style()->subElementRect(indicator, &option, button);
                button->setChecked(true);
                const QImage on = button->grab().toImage();
                const int fill = qGray(on.pixel(box.left() + 2, box.center().y()));
                bool marked = false;
                for (int y = box.top() + 3; y <= box.bottom() - 3; ++y)
                    for (int x = box.left() + 3; x <= box.right() - 3; ++x)
                        marked = marked || std::abs(qGray(on.pixel(x, y)) - fill) > 64;
                QVERIFY2(marked, qPrintable(theme.id));
            }
        }
    }
};

PV_REGISTER_TEST(ShownWholeTest)
#include "ShownWholeTest.moc"
