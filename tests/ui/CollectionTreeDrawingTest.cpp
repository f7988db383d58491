#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "core/CardKeys.h"
#include "core/SteadyClock.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/ColumnWidths.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>
#include <QWindow>

#include <memory>
#include <optional>

using namespace pv;
using Tree = CollectionTreeModel;

namespace {

// The columns that show whole, their titles giving way first.
const QList<int> valueColumns = {Tree::NumberColumn,   Tree::DexColumn,       Tree::GradeColumn,
                                 Tree::QuantityColumn, Tree::UnitValueColumn, Tree::TotalColumn};

// Seven sets of a series each, 24 cards a set. The first and the last but
// one hold dear, graded cards in long conditions and printings; the second
// cheap ones of a long rarity; the last cheap cards with long names.
void fillCollection(Collection &collection)
{
    const QStringList names = {QStringLiteral("Base Set"),
                               QStringLiteral("Scarlet & Violet Prismatic Evolutions Elite Trainer"),
                               QStringLiteral("Obsidian Flames"),
                               QStringLiteral("151"),
                               QStringLiteral("Sword & Shield Brilliant Stars Trainer Gallery"),
                               QStringLiteral("Ruler of the Black Flame"),
                               QStringLiteral("Sun & Moon Guardians Rising")};
    QList<CardEntry> entries;
    QHash<QString, SetRecord> sets;
    for (int at = 0; at < names.size(); ++at) {
        const QString id = QStringLiteral("s%1").arg(at);
        const bool last = at == names.size() - 1;
        sets.insert(setKey(Language::English, id),
                    test::setRecord(id, names.at(at), names.at(at) + QStringLiteral(" Series"), at, 200));
        for (int number = 1; number <= 24; ++number) {
            const bool dear = at == 0 || at == names.size() - 2;
            CardEntry entry =
                test::holding(id, QString::number(number),
                              last ? QStringLiteral("Tapu Bulu GX Full Art Rainbow Secret Rare %1").arg(number)
                                   : QStringLiteral("Card %1").arg(number),
                              dear ? 12345.67 / number : 0.25 * number);
            entry.count = dear ? 120 : 1;
            entry.condition = dear ? Condition::LightPlayed : Condition::Mint;
            entry.edition = dear ? QStringLiteral("firstEdition") : QString();
            entry.variant = dear ? QStringLiteral("reverse") : QStringLiteral("normal");
            entry.rarity = dear || at == 1 ? QStringLiteral("Special Illustration Rare") : QStringLiteral("Common");
            entry.gradeCompany = dear ? GradingCompany::PSA : GradingCompany::None;
            entry.gradeNote = dear ? QStringLiteral("10") : QString();
            entries.append(entry);
        }
    }
    collection.replaceContents(entries, sets, {}, {}, std::nullopt);
}

} // namespace

// The collection tree as the user scrolls, resizes and sorts it: group rows
// drawn whole whatever part of the viewport is painted, and columns that
// give way in their order for the rows in view.
class CollectionTreeDrawingTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::DefaultTheme> m_theme;
    std::unique_ptr<MainWindow> m_window;
    std::optional<test::TreeViewWay> m_way;
    QStringList m_unlike; // the steps after which the viewport differed

    QTreeView *tree() { return m_window->findChild<QTreeView *>(QStringLiteral("collectionTree")); }

    void open(const QSize &size)
    {
        m_window = std::make_unique<MainWindow>();
        fillCollection(*m_window->collection());
        m_window->resize(size);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        tree()->expandAll();
        settle();
    }

    // Runs what the last step set off: layouts, fits and the paints they ask.
    static void settle()
    {
        for (int pass = 0; pass < 4; ++pass) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    // The tree's viewport as the window's back buffer holds it: only what
    // was painted since shows there.
    QImage onScreen()
    {
        QWidget *viewport = tree()->viewport();
        const QPoint at = viewport->mapTo(m_window.get(), QPoint(0, 0));
        return m_window->windowHandle()
            ->screen()
            ->grabWindow(m_window->winId(), at.x(), at.y(), viewport->width(), viewport->height())
            .toImage();
    }

    // Notes the step when the viewport, as the steps so far left it
    // painted, differs from it painted whole (both pictures kept in the
    // temporary folder).
    void checkWhole(const char *step)
    {
        settle();
        const QImage painted = onScreen();
        tree()->viewport()->repaint();
        const QImage whole = onScreen();
        if (!painted.isNull() && painted == whole)
            return;
        painted.save(QDir::temp().filePath(QStringLiteral("tallowk-tree-painted.png")));
        whole.save(QDir::temp().filePath(QStringLiteral("tallowk-tree-whole.png")));
        m_unlike.append(QLatin1String(step) + QLatin1String(": differs"));
    }

    // The widths of the columns besides the name, which takes what is left.
    QList<int> sideWidths()
    {
        QList<int> widths;
        for (int column = 1; column < Tree::ColumnCount; ++column)
            widths.append(tree()->columnWidth(column));
        return widths;
    }

    // A header section's width for a title elided as far as it goes.
    int leastTitle()
    {
        QHeaderView *header = tree()->header();
        QStyleOptionHeader option;
        option.initFrom(header);
        option.text = QStringLiteral("Mm\u2026");
        return header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header).width();
    }

    // Where the card rows in view break the order in which the columns give
    // way: with a card name cut short, no printing or condition keeps more
    // than its shortest form, the rarity no more than its least, a value
    // column no more than its widest value in view (or its elided title) and
    // the dex number and grade no more than their elided titles.
    QStringList outOfOrder()
    {
        QTreeView *view = tree();
        QAbstractItemDelegate *delegate = view->itemDelegate();
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.widget = view;
        bool nameCut = false;
        QStringList longForms;
        QHash<int, int> widest;
        const int bottom = view->viewport()->height();
        for (QModelIndex row = view->indexAt(QPoint(0, 0)).siblingAtColumn(0);
             row.isValid() && view->visualRect(row).top() < bottom; row = view->indexBelow(row)) {
            if (view->model()->hasChildren(row))
                continue;
            const QModelIndex name = row.siblingAtColumn(Tree::NameColumn);
            nameCut = nameCut || view->sizeHintForIndex(name).width() > view->visualRect(name).width();
            for (const int column : {int(Tree::PrintingColumn), int(Tree::ConditionColumn)}) {
                const QModelIndex cell = row.siblingAtColumn(column);
                option.rect = view->visualRect(cell);
                const int drawn = delegate->sizeHint(option, cell).width();
                option.rect.setWidth(1);
                if (drawn != delegate->sizeHint(option, cell).width())
                    longForms.append(
                        QStringLiteral("%1 beside %2").arg(cell.data().toString(), name.data().toString()));
            }
            for (const int column : valueColumns)
                widest[column] =
                    std::max(widest.value(column), view->sizeHintForIndex(row.siblingAtColumn(column)).width());
        }
        if (!nameCut)
            return {};
        QStringList wrong = longForms;
        const int title = leastTitle();
        for (const int column : valueColumns) {
            const bool narrows = column == Tree::DexColumn || column == Tree::GradeColumn;
            if (!view->isColumnHidden(column)
                && view->columnWidth(column) > std::max(narrows ? 0 : widest.value(column), title))
                wrong.append(QStringLiteral("column %1 at %2 for %3")
                                 .arg(column)
                                 .arg(view->columnWidth(column))
                                 .arg(widest.value(column)));
        }
        const int rarity = view->columnWidth(Tree::RarityColumn);
        if (rarity > ColumnWidths::cellWidth(view, QStringLiteral("Mm\u2026")))
            wrong.append(QStringLiteral("rarity at %1").arg(rarity));
        return wrong;
    }

private Q_SLOTS:
    void initTestCase_data() { test::treeViewWays(); }

    void init()
    {
        m_way.emplace();
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
        test::setSetting(QStringLiteral("collectionTree/cardSortMode"), QVariant());
        m_theme = std::make_unique<test::DefaultTheme>();
    }

    void cleanup()
    {
        m_window.reset();
        m_way.reset();
        m_theme.reset();
        m_unlike.clear();
        SteadyClock::useRealTime();
    }

    // Whatever part of the tree a step has repainted (a column resized or
    // fitted anew, a page scrolled, rows expanded, sorted or scrolled
    // sideways), the viewport shows what it shows painted whole: a set or
    // series row keeps its label whole across the columns.
    void groupRowsStayWholeAfterPartialRepaints_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1366 x 768") << QSize(1280, 734);
        QTest::newRow("1600 x 1000") << QSize(1600, 975);
    }

    void groupRowsStayWholeAfterPartialRepaints()
    {
        QFETCH(QSize, size);
        open(size);
        QHeaderView *header = tree()->header();
        QScrollBar *bar = tree()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > bar->pageStep());
        checkWhole("opened");

        // The rarity gives way to a wider value, the names as they were:
        // the view repaints from the rarity on, and again once refitted.
        header->resizeSection(Tree::RarityColumn, header->sectionSize(Tree::RarityColumn) - 20);
        header->resizeSection(Tree::TotalColumn, header->sectionSize(Tree::TotalColumn) + 20);
        checkWhole("rarity cut");
        m_window->resize(size + QSize(160, 0));
        checkWhole("window widened");
        for (const auto &[action, step] : {std::pair(QAbstractSlider::SliderPageStepAdd, "page down"),
                                           std::pair(QAbstractSlider::SliderToMaximum, "end"),
                                           std::pair(QAbstractSlider::SliderPageStepSub, "page up")}) {
            bar->triggerAction(action);
            checkWhole(step);
        }

        const QModelIndex set = tree()->indexAt(QPoint(0, 0));
        tree()->collapse(set);
        settle();
        tree()->expand(set);
        checkWhole("expanded");
        // A count changed in a row in view: the row and its sets' totals.
        QModelIndex card = tree()->indexAt(QPoint(0, tree()->viewport()->height() / 2));
        while (m_window->treeModel()->entryIndexAt(card) < 0)
            card = tree()->indexBelow(card);
        const int entry = m_window->treeModel()->entryIndexAt(card);
        CardEntry counted = m_window->collection()->entries().at(entry);
        counted.count += 5;
        m_window->collection()->updateEntry(entry, counted);
        checkWhole("count changed");
        auto *order = m_window->findChild<QComboBox *>(QStringLiteral("cardSortCombo"));
        order->setCurrentIndex(order->findData(int(Tree::CardSortMode::Price)));
        checkWhole("sorted");

        // Narrowed until the rarity is cut short beside whole names: paging
        // down to cheaper cards gives the rarity room back, the names keep
        // theirs.
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        settle();
        const QModelIndex rare =
            m_window->treeModel()->index(0, Tree::RarityColumn,
                                         m_window->treeModel()->indexForSetKey(QStringLiteral("en:s0")));
        const int rarityNeeds = tree()->sizeHintForIndex(rare).width();
        for (int width = tree()->width(); tree()->columnWidth(Tree::RarityColumn) >= rarityNeeds && width > 300;) {
            width -= 16;
            tree()->setFixedWidth(width);
            settle();
        }
        for (const char *step : {"first page down beside a cut rarity", "second page down beside a cut rarity"}) {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            checkWhole(step);
        }

        // Too narrow for its rows, the tree scrolls sideways.
        tree()->setFixedWidth(260);
        settle();
        QScrollBar *sideways = tree()->horizontalScrollBar();
        QVERIFY(sideways->maximum() > 0);
        sideways->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        checkWhole("scrolled sideways");
        QVERIFY2(m_unlike.isEmpty(), qPrintable(m_unlike.join(QLatin1Char('\n'))));
    }

    // Scrolled to the end and back, the columns give way in their order for
    // the rows in view (at once at either end, once the view rests after a
    // page); scrolled slowly, they only widen, and narrow to the rows in view
    // once the view rests.
    void columnsGiveWayInOrderWhereverScrolled()
    {
        test::ManualTime time;
        open(QSize(1280, 734));
        QScrollBar *bar = tree()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 2 * bar->pageStep());
        QCOMPARE(outOfOrder(), QStringList());
        const QList<int> atTop = sideWidths();

        for (const auto &[action, step] : {std::pair(QAbstractSlider::SliderToMaximum, "end"),
                                           std::pair(QAbstractSlider::SliderPageStepSub, "page up"),
                                           std::pair(QAbstractSlider::SliderToMinimum, "top")}) {
            bar->triggerAction(action);
            settle();
            if (action == QAbstractSlider::SliderPageStepSub) {
                SteadyClock::advance(1000);
                settle();
            }
            const QStringList wrong = outOfOrder();
            QVERIFY2(wrong.isEmpty(), qPrintable(QLatin1String(step) + QLatin1String(": ") + wrong.join(u',')));
            if (action == QAbstractSlider::SliderToMaximum)
                QVERIFY(tree()->indexAt(QPoint(0, 0)).data().toString().startsWith(QLatin1String("Tapu")));
            QVERIFY2((sideWidths() == atTop) == (action == QAbstractSlider::SliderToMinimum), step);
        }

        // Row by row from the last dear cards to the end and back: the
        // columns take the room the rows coming into view ask for, and hold
        // it as those rows leave and come back.
        tree()->scrollTo(m_window->treeModel()->indexForSetKey(QStringLiteral("en:s5")),
                         QAbstractItemView::PositionAtTop);
        settle();
        QCOMPARE(outOfOrder(), QStringList());
        const int start = bar->value();
        const auto step = [bar](QAbstractSlider::SliderAction action) {
            bar->triggerAction(action);
            settle();
            SteadyClock::advance(100);
        };
        while (bar->value() < bar->maximum())
            step(QAbstractSlider::SliderSingleStepAdd);
        const QList<int> scrolled = sideWidths();
        for (int pass = 0; pass < 2; ++pass) {
            while (bar->value() > start) {
                step(QAbstractSlider::SliderSingleStepSub);
                QCOMPARE(sideWidths(), scrolled);
            }
            while (bar->value() < bar->maximum()) {
                step(QAbstractSlider::SliderSingleStepAdd);
                QCOMPARE(sideWidths(), scrolled);
            }
        }
        // Held for the dear rows gone by, the columns fit the rows in view
        // once the view rests.
        QVERIFY(!outOfOrder().isEmpty());
        SteadyClock::advance(1000);
        QTRY_COMPARE(outOfOrder(), QStringList());
        QVERIFY(sideWidths() != scrolled);

        // Page Down held (a page every 60 ms) is one scroll: no column but
        // the name narrows until the view rests, also where the dear rows
        // coming into view (from the cheap fourth set, at two widths) would
        // take room from the others.
        for (const auto &[set, width] :
             {std::pair("en:s0", tree()->width()), std::pair("en:s4", 760), std::pair("en:s4", 900)}) {
            tree()->setFixedWidth(width);
            tree()->scrollTo(m_window->treeModel()->indexForSetKey(QLatin1String(set)),
                             QAbstractItemView::PositionAtTop);
            settle();
            SteadyClock::advance(1000);
            settle();
            QList<int> widths = sideWidths();
            for (int press = 0; press < 6; ++press) {
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                settle();
                SteadyClock::advance(60);
                const QList<int> now = sideWidths();
                for (int column = 0; column < now.size(); ++column)
                    QVERIFY2(now.at(column) >= widths.at(column),
                             qPrintable(QStringLiteral("%1, press %2, column %3")
                                            .arg(QLatin1String(set))
                                            .arg(press)
                                            .arg(column + 1)));
                widths = now;
            }
            SteadyClock::advance(1000);
            QTRY_COMPARE(outOfOrder(), QStringList());
        }
    }

    // A change is painted once, the columns it has fitted anew with it (as
    // the window paints them, not twice), from the rows it moved down; the
    // window made active or inactive repaints the selected row alone.
    void stepsPaintTheViewportOnce_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("count"); // of the card added, after the first set's third
        QTest::addColumn<bool>("widens");
        QTest::addColumn<int>("quietRow");  // a row of the first set not repainted, or -1
        QTest::addColumn<bool>("rowAlone"); // only the selected row repainted
        QTest::newRow("card added, widening") << QStringLiteral("add") << 123456 << true << -1 << false;
        QTest::newRow("card added") << QStringLiteral("add") << 1 << false << 1 << false;
        QTest::newRow("add undone") << QStringLiteral("undo") << 1 << false << 1 << false;
        QTest::newRow("window made inactive") << QStringLiteral("deactivate") << 1 << false << 1 << true;
        QTest::newRow("window made active") << QStringLiteral("activate") << 1 << false << 1 << true;
    }

    void stepsPaintTheViewportOnce()
    {
        QFETCH(QString, step);
        QFETCH(int, count);
        QFETCH(bool, widens);
        QFETCH(int, quietRow);
        QFETCH(bool, rowAlone);
        open(QSize(1600, 975));
        const QModelIndex first = m_window->treeModel()->indexForSetKey(QStringLiteral("en:s0"));
        const QModelIndex selected = m_window->treeModel()->index(5, 0, first);
        tree()->setCurrentIndex(selected);
        CardEntry added = test::holding(QStringLiteral("s0"), QStringLiteral("3a"), QStringLiteral("Card 3a"), 98765.4);
        added.count = count;
        const auto add = [&] { m_window->undoStack()->push(new AddCardsCommand(m_window->collection(), {added}, {})); };
        if (step == QLatin1String("undo"))
            add();
        settle();
        const QList<int> widths = sideWidths();
        const QRect quiet =
            quietRow < 0 ? QRect() : tree()->visualRect(m_window->treeModel()->index(quietRow, 0, first));

        test::PaintProbe probe;
        tree()->viewport()->installEventFilter(&probe);
        if (step == QLatin1String("add")) {
            add();
        } else if (step == QLatin1String("undo")) {
            m_window->undoStack()->undo();
        } else {
            QEvent change(step == QLatin1String("activate") ? QEvent::WindowActivate : QEvent::WindowDeactivate);
            QCoreApplication::sendEvent(tree()->viewport(), &change);
        }
        settle();
        tree()->viewport()->removeEventFilter(&probe);
        QCOMPARE(sideWidths() != widths, widens);
        QCOMPARE(probe.paints, 1);
        QVERIFY(!probe.painted.intersects(quiet));
        if (rowAlone)
            QCOMPARE(probe.painted.boundingRect().height(), tree()->visualRect(selected).height());
        checkWhole(qPrintable(step));
        QVERIFY2(m_unlike.isEmpty(), qPrintable(m_unlike.join(QLatin1Char('\n'))));
    }

    // However narrow the collection, the name is the last column cut, beside
    // a card row's indentation of a level's arrow a level.
    void nameIsCutLastAtEveryWidth()
    {
        open(QSize(1280, 734));
        QVERIFY(tree()->indentation() < tree()->style()->pixelMetric(QStyle::PM_TreeViewIndentation));
        for (int width = 700; width >= 420; width -= 40) {
            tree()->setFixedWidth(width);
            settle();
            QVERIFY2(outOfOrder().isEmpty(), qPrintable(QString::number(width) + outOfOrder().join(u',')));
        }
    }

    // The whole tree laid out at once, folded rows among the expanded ones,
    // shows what the base view's layout shows: the same rows in the same
    // places, their branches drawn alike at the top, the middle and the end
    // (the columns fitted to the rows seen since may differ).
    void wholeLayoutShowsWhatTheBaseLayoutShows()
    {
        open(QSize(1280, 734));
        QTreeView *view = tree();
        // The first set and the second series, in view at the top.
        const QModelIndex series = view->model()->index(0, 0, view->model()->index(0, 0));
        view->collapse(view->model()->index(0, 0, series));
        view->collapse(series.siblingAtRow(1));
        const auto shown = [&] {
            view->verticalScrollBar()->setValue(0);
            QStringList rows{QString::number(view->verticalScrollBar()->maximum())};
            for (QModelIndex row = view->model()->index(0, 0); row.isValid(); row = view->indexBelow(row))
                rows.append(row.data().toString() + QLatin1Char('@') + QString::number(view->visualRect(row).top()));
            QList<QImage> pictures;
            for (const double at : {0.0, 0.5, 1.0}) {
                view->verticalScrollBar()->setValue(int(at * view->verticalScrollBar()->maximum()));
                settle();
                const QImage whole = view->viewport()->grab().toImage();
                pictures.append(whole.copy(0, 0, 4 * view->indentation(), whole.height()));
            }
            return std::make_pair(rows, pictures);
        };
        view->doItemsLayout();
        const auto atOnce = shown();
        view->QTreeView::doItemsLayout();
        const auto base = shown();
        QCOMPARE(atOnce.first, base.first);
        QVERIFY(atOnce.first.size() > 100);
        QVERIFY(atOnce.second == base.second);
    }
};

PV_REGISTER_TEST(CollectionTreeDrawingTest)
#include "CollectionTreeDrawingTest.moc"
