#include "Fixtures.h"
#include "TestRegistry.h"

#include "collection/Collection.h"
#include "core/CardKeys.h"
#include "ui/ThemeManager.h"
#include "ui/models/CollectionTreeModel.h"
#include "core/CardVocabulary.h"
#include "ui/widgets/CellForms.h"
#include "ui/widgets/CollectionTreeDelegate.h"
#include "ui/widgets/CollectionTreeView.h"
#include "ui/widgets/ColumnWidths.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QSet>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

using namespace pv;
using Tree = CollectionTreeModel;

namespace {

const QColor orange(255, 165, 58);
const QColor green(90, 214, 125);
const QColor blue(95, 176, 255);
const QColor dimText(200, 200, 200);
const QColor selectedText(0, 0, 255);

// A row as the tree model gives it: name, suffix, progress and percent.
QStandardItem *row(const QString &name, const QString &suffix = QString(), const QString &progress = QString(),
                   int percent = -1)
{
    auto *item = new QStandardItem(name);
    if (!suffix.isEmpty())
        item->setData(suffix, Tree::NameSuffixRole);
    item->setData(progress, Tree::NameProgressRole);
    item->setData(percent, Tree::NameProgressPercentRole);
    return item;
}

QStyleOptionViewItem option(int width, bool selected = false)
{
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, width, 28);
    QFont font;
    font.setPixelSize(18);
    option.font = font;
    option.fontMetrics = QFontMetrics(font);
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    if (selected)
        option.state |= QStyle::State_Selected;
    option.palette.setColor(QPalette::Text, dimText);
    option.palette.setColor(QPalette::HighlightedText, selectedText);
    option.palette.setColor(QPalette::Highlight, Qt::black);
    option.textElideMode = Qt::ElideRight;
    // As in the collection tree, which selects whole rows: the text takes
    // the whole width of the cell.
    option.showDecorationSelected = true;
    return option;
}

QImage paint(const QStyledItemDelegate &delegate, const QModelIndex &index, const QStyleOptionViewItem &option)
{
    QImage image(option.rect.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    delegate.paint(&painter, option, index);
    painter.end();
    return image;
}

// Pixels drawn in (about) the colour at full strength, in the given columns.
int pixelsOf(const QImage &image, const QColor &colour, int fromX = 0, int toX = -1)
{
    if (toX < 0)
        toX = image.width();
    int found = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = fromX; x < toX; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) < 24 && qAbs(c.green() - colour.green()) < 24
                && qAbs(c.blue() - colour.blue()) < 24)
                ++found;
        }
    return found;
}

} // namespace

class CollectionTreeDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitsTheSuffixIntoRuns()
    {
        QStandardItemModel model;
        model.appendRow(row(QStringLiteral("Able"), QStringLiteral("3 card(s) \u00b7 2/102 (2%) \u00b7 \u20ac1.00"),
                            QStringLiteral("2/102 (2%)"), 2));
        model.appendRow(row(QStringLiteral("Series"), QStringLiteral("3 card(s) \u00b7 \u20ac1.00")));
        model.appendRow(row(QStringLiteral("Last"), QStringLiteral("1 card(s) \u00b7 5/5 (100%)"),
                            QStringLiteral("5/5 (100%)"), 100));
        const QFont font;
        const auto runs = CollectionTreeDelegate::layoutRuns(model.index(0, 0), font);
        QCOMPARE(runs.size(), 3);
        QCOMPARE(runs.at(0).text, QStringLiteral("  3 card(s) \u00b7 "));
        QCOMPARE(runs.at(1).text, QStringLiteral("2/102 (2%)"));
        QCOMPARE(runs.at(2).text, QStringLiteral(" \u00b7 \u20ac1.00"));
        QVERIFY(!runs.at(1).color.isValid());
        QVERIFY(runs.at(1).font.bold() && runs.at(1).font.italic());
        QVERIFY(!runs.at(0).font.bold() && runs.at(0).font.italic());
        QCOMPARE(CollectionTreeDelegate::layoutRuns(model.index(1, 0), font).size(), 1);
        const auto last = CollectionTreeDelegate::layoutRuns(model.index(2, 0), font);
        QCOMPARE(last.size(), 2);
        QCOMPARE(last.at(1).color, green);

        QCOMPARE(CollectionTreeDelegate::progressColor(120), green);
        QCOMPARE(CollectionTreeDelegate::progressColor(76), blue);
        QCOMPARE(CollectionTreeDelegate::progressColor(59), orange);
        QCOMPARE(CollectionTreeDelegate::progressColor(26), QColor(255, 255, 255));
        QVERIFY(!CollectionTreeDelegate::progressColor(25).isValid());
        QVERIFY(!CollectionTreeDelegate::progressColor(-1).isValid());
    }

    void paintsTheSuffixAfterTheName()
    {
        QStandardItemModel model;
        model.appendRow(row(QStringLiteral("Card row")));
        model.appendRow(row(QStringLiteral("Obsidian Flames"), QStringLiteral("3 card(s) \u00b7 60/102 (59%) \u00b7 9.00"),
                            QStringLiteral("60/102 (59%)"), 59));
        model.appendRow(row(QStringLiteral("Scarlet"), QStringLiteral("3 card(s) \u00b7 9.00")));
        model.appendRow(row(QStringLiteral("Complete"), QStringLiteral("1 card(s) \u00b7 5/5 (100%)"),
                            QStringLiteral("5/5 (100%)"), 100));
        CollectionTreeDelegate delegate;
        const QStyledItemDelegate plain;

        // A row without a suffix paints and measures as a plain delegate.
        const QModelIndex card = model.index(0, 0);
        QCOMPARE(paint(delegate, card, option(400)), paint(plain, card, option(400)));
        QCOMPARE(delegate.sizeHint(option(400), card), plain.sizeHint(option(400), card));

        // The progress run in its colour, after the name; the rest dimmed.
        const QModelIndex set = model.index(1, 0);
        const QImage wide = paint(delegate, set, option(700));
        const int nameEnd = QFontMetrics(option(700).font).horizontalAdvance(QStringLiteral("Obsidian Flames"));
        QVERIFY(pixelsOf(wide, orange, nameEnd) > 10);
        QCOMPARE(pixelsOf(wide, orange, 0, nameEnd), 0);
        QColor dimmed = dimText;
        dimmed = QColor(int(dimmed.red() * 0.65), int(dimmed.green() * 0.65), int(dimmed.blue() * 0.65));
        QVERIFY(pixelsOf(wide, dimmed, nameEnd) > 10);
        QVERIFY(pixelsOf(paint(delegate, model.index(3, 0), option(700)), green) > 10);
        QCOMPARE(pixelsOf(paint(delegate, model.index(2, 0), option(700)), orange), 0);

        // Selected: every run in the highlighted-text colour, dimmed.
        const QImage selected = paint(delegate, set, option(700, true));
        QCOMPARE(pixelsOf(selected, orange), 0);
        QVERIFY(pixelsOf(selected, QColor(0, 0, 166), nameEnd) > 10);

        // The suffix widens the size hint by its runs.
        const int runsWidth = [&] {
            int width = 0;
            for (const auto &run : CollectionTreeDelegate::layoutRuns(set, option(700).font))
                width += QFontMetrics(run.font).horizontalAdvance(run.text);
            return width;
        }();
        QCOMPARE(delegate.sizeHint(option(700), set).width(), plain.sizeHint(option(700), set).width() + runsWidth);

        // Narrow: the name gives way before the suffix does.
        const QImage narrow = paint(delegate, set, option(runsWidth + 12));
        QVERIFY(pixelsOf(narrow, orange) > 10);
    }

    // The collection tree draws its group rows across the columns itself:
    // they look as the base view's spanned rows did, selected and current,
    // also in a name column narrower than their branches, and answer for
    // the whole row.
    void groupRowsAreDrawnAcrossAsSpannedRowsWere()
    {
        // A language, series and set row over two cards.
        Collection collection;
        const QString sv03 = QStringLiteral("sv03");
        collection.replaceContents({test::holding(sv03, QStringLiteral("1"), QStringLiteral("Charizard ex"), 9.0),
                                    test::holding(sv03, QStringLiteral("2"), QStringLiteral("Pineco"), 0.5)},
                                   {{setKey(Language::English, sv03),
                                     test::setRecord(sv03, QStringLiteral("Obsidian Flames"),
                                                     QStringLiteral("Scarlet & Violet"), 3, 197, 230)}},
                                   {}, {}, std::nullopt);
        Tree model;
        model.setCollection(&collection);
        QWidget window;
        window.setStyleSheet(ThemeManager::themeStyleSheet(ThemeManager::loadTheme(ThemeManager::defaultThemeName())));
        auto *layout = new QHBoxLayout(&window);
        QTreeView spanned;
        CollectionTreeView drawn;
        for (QTreeView *view : {&spanned, static_cast<QTreeView *>(&drawn)}) {
            view->setObjectName(QStringLiteral("collectionTree"));
            view->setIndentation(drawn.indentation());
            view->setModel(&model);
            view->setItemDelegate(new CollectionTreeDelegate(view));
            view->setAlternatingRowColors(true);
            view->setSelectionBehavior(QAbstractItemView::SelectRows);
            view->setUniformRowHeights(true);
            view->setFocusPolicy(Qt::NoFocus);
            view->setFixedSize(520, 200);
            view->header()->setStretchLastSection(false);
            for (int column = 0; column < Tree::ColumnCount; ++column)
                view->header()->resizeSection(column, column == 0 ? 150 : 36);
            view->expandAll();
            layout->addWidget(view);
        }
        const QModelIndex language = model.index(0, 0);
        const QModelIndex series = model.index(0, 0, language);
        const QModelIndex set = model.index(0, 0, series);
        for (const QModelIndex &group : {language, series, set})
            spanned.setFirstColumnSpanned(group.row(), group.parent(), true);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const auto sameLook = [&] {
            const QImage expected = spanned.viewport()->grab().toImage();
            const QImage actual = drawn.viewport()->grab().toImage();
            if (expected != actual) {
                expected.save(QDir::temp().filePath(QStringLiteral("tallowk-spanned.png")));
                actual.save(QDir::temp().filePath(QStringLiteral("tallowk-drawn.png")));
            }
            return expected == actual;
        };
        QVERIFY(sameLook());
        for (QTreeView *view : {&spanned, static_cast<QTreeView *>(&drawn)})
            view->setCurrentIndex(set.siblingAtColumn(4));
        QVERIFY(sameLook());
        // With keyboard focus, the current row's focus drawn alike.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QImage focused[2];
        for (QTreeView *view : {&spanned, static_cast<QTreeView *>(&drawn)}) {
            view->setFocusPolicy(Qt::StrongFocus);
            view->setCurrentIndex(set);
            view->setFocus();
            QTRY_VERIFY(view->hasFocus());
            focused[view == &drawn] = view->viewport()->grab().toImage();
            view->setFocusPolicy(Qt::NoFocus);
        }
        QCOMPARE(focused[1], focused[0]);
        drawn.clearFocus();
        for (QTreeView *view : {&spanned, static_cast<QTreeView *>(&drawn)})
            view->header()->resizeSection(0, 30);
        QVERIFY(sameLook());
        for (QTreeView *view : {&spanned, static_cast<QTreeView *>(&drawn)})
            view->header()->resizeSection(0, 150);

        // The label reaches to the end of the row and answers anywhere on it;
        // card rows keep their cells.
        const int rowEnd = drawn.header()->length() - drawn.header()->offset();
        QCOMPARE(drawn.visualRect(set).right() + 1, rowEnd);
        QCOMPARE(drawn.visualRect(set.siblingAtColumn(9)), drawn.visualRect(set));
        QCOMPARE(drawn.visualRect(set).left(), spanned.visualRect(set).left());
        const int y = drawn.visualRect(set).center().y();
        for (const int x : {drawn.columnViewportPosition(3) + 2, drawn.columnViewportPosition(9) + 2, rowEnd + 5})
            QCOMPARE(drawn.indexAt(QPoint(x, y)), set);
        const QModelIndex card = model.index(0, 0, set);
        QCOMPARE(drawn.indexAt(QPoint(drawn.columnViewportPosition(3) + 2, drawn.visualRect(card).center().y())),
                 card.siblingAtColumn(3));
        QCOMPARE(drawn.visualRect(card.siblingAtColumn(3)), spanned.visualRect(card.siblingAtColumn(3)));
    }

    // A card row's printing and condition take a short form where their
    // cell is narrow, every copy's still its own, the whole text in the tool
    // tip; the size hint is that of what is drawn (in the cell, or without
    // one, whole).
    void shortFormsTellCopiesApartInNarrowCells()
    {
        QSet<QString> printings;
        QStringList finishes = allFinishes();
        finishes.append(QString());
        for (const QString &edition : allEditions())
            for (const QString &finish : std::as_const(finishes)) {
                const QString text = printingLabel(finish, edition);
                const QStringList forms = CellForms::shorter(CellForms::Kind::Printing, text);
                printings.insert(forms.isEmpty() ? text : forms.constLast());
            }
        QCOMPARE(printings.size(), allEditions().size() * finishes.size());
        QCOMPARE(CellForms::shorter(CellForms::Kind::Printing, QStringLiteral("1st Edition Holo")),
                 QStringList{QStringLiteral("1st Ed. Holo")});
        QCOMPARE(CellForms::shorter(CellForms::Kind::Condition, QStringLiteral("Near Mint (NM)")),
                 QStringList{QStringLiteral("NM")});
        QVERIFY(CellForms::shorter(CellForms::Kind::Condition, QStringLiteral("Rare")).isEmpty());

        QStandardItemModel model(1, Tree::ColumnCount);
        model.setData(model.index(0, Tree::PrintingColumn), QStringLiteral("1st Edition Reverse Holo"));
        model.setData(model.index(0, Tree::ConditionColumn), QStringLiteral("Excellent (EX)"));
        model.setData(model.index(0, Tree::RarityColumn), QStringLiteral("Special Illustration Rare"));
        CollectionTreeDelegate delegate;
        const QStyledItemDelegate plain;
        const QModelIndex condition = model.index(0, Tree::ConditionColumn);
        const QModelIndex rarity = model.index(0, Tree::RarityColumn);
        QStandardItemModel drawn(1, 2);
        drawn.setData(drawn.index(0, 0), QStringLiteral("EX"));
        drawn.setData(drawn.index(0, 1), QStringLiteral("1st Ed. Rev. Holo"));
        const int codeWidth = plain.sizeHint(option(700), drawn.index(0, 0)).width();
        QCOMPARE(delegate.sizeHint(option(700), condition), plain.sizeHint(option(700), condition));
        QStyleOptionViewItem nowhere = option(700);
        nowhere.rect = QRect();
        QCOMPARE(delegate.sizeHint(nowhere, condition).width(), plain.sizeHint(option(700), condition).width());
        QCOMPARE(delegate.sizeHint(option(codeWidth), condition).width(), codeWidth);
        QCOMPARE(delegate.sizeHint(option(codeWidth), rarity), plain.sizeHint(option(codeWidth), rarity));
        // A room the whole text fits exactly shows it whole; a pixel less, the
        // longest form that fits.
        const int wholeWidth = plain.sizeHint(option(700), condition).width();
        QCOMPARE(delegate.sizeHint(option(wholeWidth), condition).width(), wholeWidth);
        QCOMPARE(paint(delegate, condition, option(wholeWidth)), paint(plain, condition, option(wholeWidth)));
        QCOMPARE(delegate.sizeHint(option(wholeWidth - 1), condition).width(), codeWidth);
        const auto letters = [](const QString &text) { return int(text.size()); };
        const QString holo = QStringLiteral("1st Edition Reverse Holo");
        for (const auto &[room, shown] : {std::pair<int, const char *>{24, "1st Edition Reverse Holo"},
                                          {23, "1st Ed. Reverse Holo"},
                                          {20, "1st Ed. Reverse Holo"},
                                          {19, "1st Ed. Rev. Holo"},
                                          {17, "1st Ed. Rev. Holo"},
                                          {3, "1st Ed. Rev. Holo"}})
            QCOMPARE(CellForms::drawn(CellForms::Kind::Printing, holo, room, letters), QLatin1String(shown));
        QCOMPARE(CellForms::drawn(CellForms::Kind::None, QStringLiteral("Rare Holo"), 2, letters),
                 QStringLiteral("Rare Holo"));
        // Too narrow for any form: the shortest, cut short in turn.
        QCOMPARE(delegate.sizeHint(option(1), model.index(0, Tree::PrintingColumn)),
                 plain.sizeHint(option(1), drawn.index(0, 1)));
        QCOMPARE(delegate.toolTip(option(codeWidth), condition), QStringLiteral("Excellent (EX)"));
        QCOMPARE(delegate.toolTip(option(700), condition), QString());
        QCOMPARE(paint(delegate, condition, option(codeWidth)), paint(plain, drawn.index(0, 0), option(codeWidth)));
        // Widths once measured follow a theme's style sheet, in a view.
        QTreeView view;
        QStyleOptionViewItem inView = option(700);
        inView.widget = &view;
        const QString sheet = qApp->styleSheet();
        for (const char *padding : {"0px 40px", "0px 2px"}) {
            qApp->setStyleSheet(QStringLiteral("QTreeView::item { padding: %1; }").arg(QLatin1String(padding)));
            QCOMPARE(delegate.sizeHint(inView, condition), plain.sizeHint(inView, condition));
        }
        QVERIFY(delegate.sizeHint(inView, condition).width() < wholeWidth + 40);
        qApp->setStyleSheet(sheet);

        // Columns give way by rank: the lowest first, down to its least; a
        // column with short forms takes their width, not one between, and
        // what that leaves over goes back to the ranks that gave way.
        const QList<ColumnWidths::Column> columns = {{100, 20, 2, 0, 3}, {80, 30, 1, 0, 1}, {90, 40, 1, 0, 2, 40}};
        QCOMPARE(ColumnWidths::share(columns, 300, 0), (QList<int>{130, 80, 90}));
        QCOMPARE(ColumnWidths::share(columns, 240, 0), (QList<int>{100, 50, 90}));
        QCOMPARE(ColumnWidths::share(columns, 200, 0), (QList<int>{100, 60, 40}));
        QCOMPARE(ColumnWidths::share(columns, 120, 0), (QList<int>{50, 30, 40}));
    }
};

PV_REGISTER_TEST(CollectionTreeDelegateTest)
#include "CollectionTreeDelegateTest.moc"
