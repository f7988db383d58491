#include "ui/widgets/ColumnFitter.h"

#include "ui/widgets/ElidingHeaderView.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace pv {

namespace {

// Rows looked at for the widths: those in view, and never more than these.
constexpr int maxRowsMeasured = 200;
// How long the view rests from scrolling before its columns are fitted to
// the rows in view alone.
constexpr int restMs = 800;

int depthOf(QModelIndex index)
{
    int depth = 0;
    while ((index = index.parent()).isValid())
        ++depth;
    return depth;
}

// Gives the view a header that elides its titles, and returns it.
QHeaderView *elidingHeader(QAbstractItemView *view)
{
    auto *header = new ElidingHeaderView(Qt::Horizontal, view);
    // As the view's own header was made.
    const auto copy = [header](const QHeaderView *own) {
        header->setDefaultAlignment(own->defaultAlignment());
        header->setSectionsClickable(own->sectionsClickable());
        header->setHighlightSections(own->highlightSections());
        header->setSortIndicatorShown(own->isSortIndicatorShown());
    };
    if (auto *tree = qobject_cast<QTreeView *>(view)) {
        copy(tree->header());
        tree->setHeader(header);
    } else if (auto *table = qobject_cast<QTableView *>(view)) {
        // A table that sorts by its header sorts its model when it gets a
        // header: the rows stay in the order they had until the user asks
        // for another (sorting half a million rows anew on every search took
        // a second), the arrow where it was.
        const QHeaderView *own = table->horizontalHeader();
        copy(own);
        const int section = own->sortIndicatorSection();
        const Qt::SortOrder order = own->sortIndicatorOrder();
        header->setSortIndicator(-1, order);
        table->setHorizontalHeader(header);
        const QSignalBlocker quiet(header);
        header->setSortIndicator(section, order);
    } else {
        delete header;
        return nullptr;
    }
    return header;
}

} // namespace

ColumnFitter::ColumnFitter(QAbstractItemView *view, const QList<Rule> &rules, int rest)
    : QObject(view)
    , m_view(view)
    , m_header(elidingHeader(view))
    , m_rules(rules)
    , m_rest(rest)
    , m_resting(new ClockTimer(restMs, this))
{
    Q_ASSERT(m_header);
    connect(m_resting, &ClockTimer::timeout, this, &ColumnFitter::settle);

    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Fixed);
    m_header->viewport()->installEventFilter(this);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    const auto later = [this] { fitLater(); };
    // A column shown or hidden, or resized by someone else.
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        if (!m_applying)
            fitLater();
    });
    // Each step of a scroll puts off the fitting to the rows in view alone.
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_resting->isActive())
            m_resting->start();
        fitLater();
    });
    if (auto *tree = qobject_cast<QTreeView *>(view)) {
        connect(tree, &QTreeView::expanded, this, later);
        connect(tree, &QTreeView::collapsed, this, later);
    }
    watchModel();
    fitLater();
}

ColumnFitter::~ColumnFitter() = default;

ColumnFitter *ColumnFitter::of(const QAbstractItemView *view)
{
    return view ? view->findChild<ColumnFitter *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void ColumnFitter::watchModel()
{
    QAbstractItemModel *model = m_view->model();
    if (!model)
        return;
    const auto later = [this] { fitLater(); };
    const auto anew = [this] {
        forget();
        fitLater();
    };
    connect(model, &QAbstractItemModel::modelReset, this, anew);
    // Rows sorted anew are all new to the view.
    connect(model, &QAbstractItemModel::layoutChanged, this,
            [this](const QList<QPersistentModelIndex> &, QAbstractItemModel::LayoutChangeHint hint) {
                if (hint == QAbstractItemModel::VerticalSortHint)
                    forget();
                fitLater();
            });
    connect(model, &QAbstractItemModel::rowsInserted, this, later);
    connect(model, &QAbstractItemModel::rowsRemoved, this, later);
    connect(model, &QAbstractItemModel::dataChanged, this, later);
    connect(model, &QAbstractItemModel::headerDataChanged, this, anew);
}

int ColumnFitter::titleWidth(const QString &text) const
{
    QStyleOptionHeader option;
    option.initFrom(m_header);
    option.text = text;
    return m_header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), m_header).width();
}

ColumnFitter::Needs ColumnFitter::measureInView() const
{
    const int count = m_header->count();
    Needs needs;
    needs.widest.resize(count, 0);
    needs.shortest.resize(count, 0);

    auto *tree = qobject_cast<QTreeView *>(m_view);
    const int firstColumn = tree ? tree->treePosition() : -1;
    const int indentation = tree ? tree->indentation() : 0;
    const int rootLevel = tree && tree->rootIsDecorated() ? 1 : 0;
    // The delegate draws a short form where its cell is narrow: asked for
    // the room of a line, it tells the whole text's width, asked for none,
    // its shortest form's.
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    option.widget = m_view;
    const auto formWidth = [this, &option](const QModelIndex &cell, int room) {
        option.rect = QRect(0, 0, room, option.fontMetrics.height());
        return m_view->itemDelegateForIndex(cell)->sizeHint(option, cell).width();
    };

    // A table's grid takes a line of its cells.
    const auto *table = qobject_cast<QTableView *>(m_view);
    const int grid = table && table->showGrid() ? 1 : 0;
    const int bottom = m_view->viewport()->height();
    QModelIndex row = m_view->indexAt(QPoint(0, 0)).siblingAtColumn(0);
    for (int seen = 0; row.isValid() && seen < maxRowsMeasured; ++seen) {
        if (m_view->visualRect(row).top() >= bottom)
            break;
        if (!m_view->model()->hasChildren(row)) {
            const int depth = tree ? depthOf(row) + rootLevel : 0;
            needs.deepest = std::max(needs.deepest, depth);
            for (int column = 0; column < count; ++column) {
                // A fixed column is not measured: that might fetch its pictures.
                if (m_header->isSectionHidden(column) || m_rules.value(column).give == Give::Fixed)
                    continue;
                const QModelIndex cell = row.siblingAtColumn(column);
                int whole = 0;
                int shortest = 0;
                if (m_rules.value(column).give == Give::Forms) {
                    whole = formWidth(cell, QWIDGETSIZE_MAX);
                    shortest = formWidth(cell, 1);
                } else {
                    whole = shortest = m_view->sizeHintForIndex(cell).width();
                }
                const int around = grid + (column == firstColumn ? depth * indentation : 0);
                needs.widest[column] = std::max(needs.widest.at(column), whole + around);
                needs.shortest[column] = std::max(needs.shortest.at(column), shortest + around);
            }
        }
        row = tree ? tree->indexBelow(row) : row.sibling(row.row() + 1, 0);
    }
    return needs;
}

QList<ColumnWidths::Column> ColumnFitter::columns(const Needs &needs) const
{
    const auto *tree = qobject_cast<const QTreeView *>(m_view);
    const int firstColumn = tree ? tree->treePosition() : -1;
    const int indentation = tree ? tree->indentation() : 0;
    const auto *table = qobject_cast<const QTableView *>(m_view);
    const int grid = table && table->showGrid() ? 1 : 0;
    // A title may be elided down to two letters and an ellipsis.
    const int titleLeast = titleWidth(QStringLiteral("Mm\u2026"));
    QList<ColumnWidths::Column> columns;
    for (int column = 0; column < m_header->count(); ++column) {
        if (m_header->isSectionHidden(column)) {
            columns.append(ColumnWidths::Column());
            continue;
        }
        const Rule rule = m_rules.value(column);
        const int widest = needs.widest.value(column);
        const int title = m_header->sectionSizeHint(column);
        const int least = std::min(title, titleLeast);
        ColumnWidths::Column fitted;
        fitted.wanted = std::max(widest, title);
        fitted.rank = rule.rank;
        fitted.weight = rule.weight;
        switch (rule.give) {
        case Give::Title:
            fitted.least = std::max(widest, least);
            break;
        case Give::Forms:
            fitted.least = fitted.shortened = std::max(needs.shortest.value(column), least);
            break;
        case Give::Cut: {
            // A tree's first column keeps its text beside the deepest rows'
            // indentation.
            if (column == firstColumn)
                fitted.offset = std::max(needs.deepest, 1) * indentation;
            const int text = ColumnWidths::cellWidth(m_view, rule.leastText, rule.leastPicture) + grid;
            fitted.least = std::min(fitted.wanted, text + fitted.offset);
            break;
        }
        case Give::Narrow:
            fitted.least = std::min(fitted.wanted, titleLeast);
            break;
        case Give::Fixed:
            fitted.wanted = fitted.least = rule.least;
            break;
        }
        columns.append(fitted);
    }
    return columns;
}

bool ColumnFitter::fit()
{
    m_fitDue = false;
    if (m_header->count() == 0)
        return false;
    const Needs seen = measureInView();
    const QScrollBar *bar = m_view->verticalScrollBar();
    const int moved = std::abs(bar->value() - m_fittedAt);
    // A jump to either end (Home, End) ends a scroll.
    const bool toEnd =
        moved >= std::max(1, bar->pageStep()) && (bar->value() == bar->minimum() || bar->value() == bar->maximum());
    m_scrolling = m_scrolling || moved > 0;
    m_fittedAt = bar->value();
    if (m_fittedAnew || toEnd || m_fitted.widest.size() != seen.widest.size()) {
        // Rows all new to the view: the columns follow them alone.
        m_resting->stop();
        m_fittedAnew = false;
        m_scrolling = false;
        m_fitted = seen;
        return apply(m_fitted);
    }
    // Rows new to the view, a step or a page at a time (a key held down
    // repeats its steps well within the rest): the columns widen for them
    // and hold still until the view rests, then fit the rows in view.
    bool narrower = m_scrolling || seen.deepest < m_fitted.deepest;
    m_fitted.deepest = std::max(m_fitted.deepest, seen.deepest);
    for (int column = 0; column < seen.widest.size(); ++column) {
        narrower = narrower || seen.widest.at(column) < m_fitted.widest.at(column)
            || seen.shortest.at(column) < m_fitted.shortest.at(column);
        m_fitted.widest[column] = std::max(m_fitted.widest.at(column), seen.widest.at(column));
        m_fitted.shortest[column] = std::max(m_fitted.shortest.at(column), seen.shortest.at(column));
    }
    if (narrower && !m_resting->isActive())
        m_resting->start();
    return apply(m_fitted);
}

void ColumnFitter::settle()
{
    m_fittedAnew = true;
    fit();
}

void ColumnFitter::forget()
{
    m_fittedAnew = true;
    m_resting->stop();
}

bool ColumnFitter::apply(const Needs &needs)
{
    QList<ColumnWidths::Column> fitted = columns(needs);
    // While the view scrolls, no column narrows but the one that takes
    // what is left.
    for (int column = 0; m_scrolling && column < fitted.size(); ++column) {
        if (column != m_rest && !m_header->isSectionHidden(column))
            fitted[column].least = std::max(fitted.at(column).least, m_header->sectionSize(column));
    }
    const QList<int> widths = ColumnWidths::share(fitted, m_view->viewport()->width(), m_rest);
    // The widths given are those fitted: no fitting again for them.
    const QScopedValueRollback applying(m_applying, true);
    // The columns that narrow first, then those that widen: the columns
    // never reach past the view on the way, which would show its scroll bar
    // for a moment and, with it, paint the view twice.
    bool changed = false;
    for (const bool narrowing : {true, false}) {
        for (int column = 0; column < widths.size(); ++column) {
            const int size = m_header->sectionSize(column);
            if (!m_header->isSectionHidden(column) && size != widths.at(column)
                && (widths.at(column) < size) == narrowing) {
                m_header->resizeSection(column, widths.at(column));
                changed = true;
            }
        }
    }
    return changed;
}

void ColumnFitter::fitLater()
{
    // Posted, not timed: posted events come before the window's repaint,
    // so that the columns are fitted by the time the change that asked for
    // it is painted, in the same paint.
    if (std::exchange(m_fitDue, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_fitDue)
                fit();
        },
        Qt::QueuedConnection);
}

bool ColumnFitter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
        // A view resized takes its width whatever the scroll holds.
        if (watched == m_view->viewport()) {
            m_scrolling = false;
            fitLater();
        }
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        if (watched == m_view) {
            forget();
            fitLater();
        }
        break;
    case QEvent::ToolTip:
        // An elided title shows whole in its tool tip.
        if (watched == m_header->viewport()) {
            const auto *help = static_cast<QHelpEvent *>(event);
            const int column = m_header->logicalIndexAt(help->pos());
            if (column >= 0 && m_header->sectionSize(column) < m_header->sectionSizeHint(column)) {
                QToolTip::showText(help->globalPos(), m_view->model()->headerData(column, Qt::Horizontal).toString(),
                                   m_header);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pv
