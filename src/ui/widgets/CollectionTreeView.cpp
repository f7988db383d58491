#include "ui/widgets/CollectionTreeView.h"

#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/ActivationRepaint.h"

#include <QtWidgets/private/qtreeview_p.h>

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <utility>

namespace pv {

namespace {

bool s_layoutRecordUsed = true;

} // namespace

// Stands in for the delegate while the base view draws a group row: it
// keeps the name cell's option, made as the view makes it for any cell
// (selection, focus, hover, alternate colour), and paints nothing.
class CollectionTreeView::CellCatcher : public QAbstractItemDelegate
{
public:
    using QAbstractItemDelegate::QAbstractItemDelegate;

    void paint(QPainter *, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() == CollectionTreeModel::NameColumn)
            nameCell = option;
    }
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override { return QSize(); }

    mutable std::optional<QStyleOptionViewItem> nameCell;
};

CollectionTreeView::CollectionTreeView(QWidget *parent)
    : QTreeView(parent)
    , m_cellCatcher(new CellCatcher(this))
{
    ActivationRepaint::install(this);
    // Room for a level's arrow, no more: a card row sits four levels in,
    // and its name needs the room more.
    setIndentation(std::max(12, style()->pixelMetric(QStyle::PM_TreeViewIndentation, nullptr, this) * 7 / 10));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CollectionTreeView::forgetRowsInView);
    connect(this, &QTreeView::expanded, this, &CollectionTreeView::forgetRowsInView);
    connect(this, &QTreeView::collapsed, this, &CollectionTreeView::forgetRowsInView);
}

CollectionTreeView::~CollectionTreeView() = default;

bool CollectionTreeView::isGroupRow(const QModelIndex &index)
{
    const QVariant type = index.data(CollectionTreeModel::NodeTypeRole);
    return type.isValid() && type.toInt() != CollectionTreeModel::CardNode;
}

bool CollectionTreeView::isRowInView(const QModelIndex &index) const
{
    return isVisible() && index.isValid() && visualRect(index).intersects(viewport()->rect());
}

void CollectionTreeView::setModel(QAbstractItemModel *model)
{
    if (model == this->model()) {
        QTreeView::setModel(model);
        return;
    }
    for (const QMetaObject::Connection &connection : std::as_const(m_modelConnections))
        disconnect(connection);
    m_modelConnections.clear();
    // Connected before the base view's own connections, so that the rows
    // are looked at as the user saw them, before the view lets go of them.
    if (model) {
        const auto note = [this] { noteChange(); };
        m_modelConnections = {
            connect(model, &QAbstractItemModel::modelAboutToBeReset, this, note),
            connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, note),
            connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, note),
            connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, note),
            connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, note),
            connect(model, &QAbstractItemModel::rowsMoved, this, &CollectionTreeView::openMovedRows),
        };
        // Changes after which the base view lays the whole tree out again
        // (rows removed: see rowsRemoved).
        const auto due = [this] {
            m_layoutDue = true;
            forgetRowsInView();
        };
        m_modelConnections << connect(model, &QAbstractItemModel::modelReset, this, due)
                           << connect(model, &QAbstractItemModel::layoutChanged, this, due)
                           << connect(model, &QAbstractItemModel::rowsMoved, this, due)
                           << connect(model, &QAbstractItemModel::columnsInserted, this, due)
                           << connect(model, &QAbstractItemModel::columnsRemoved, this, due);
    }
    QTreeView::setModel(model);
}

void CollectionTreeView::openMovedRows(const QModelIndex &parent, int first, int last, const QModelIndex &destination,
                                       int row)
{
    // Moved down among the same rows, the destination counted them.
    const int count = last - first + 1;
    const int at = parent == destination && row > last ? row - count : row;
    bool shown = false;
    for (int moved = at; moved < at + count && !shown; ++moved) {
        const QModelIndex index = model()->index(moved, 0, destination);
        const QModelIndex current = currentIndex();
        shown = isExpanded(index) || (current.isValid() && current.parent() == index);
    }
    for (QModelIndex parent = destination; shown && parent.isValid(); parent = parent.parent())
        expand(parent);
}

QModelIndex CollectionTreeView::indexAt(const QPoint &point) const
{
    const QModelIndex index = QTreeView::indexAt(point);
    if (index.isValid()) {
        if (index.column() != CollectionTreeModel::NameColumn && isGroupRow(index))
            return index.siblingAtColumn(CollectionTreeModel::NameColumn);
        return index;
    }
    // Past the last column, a group row still answers, as a spanned row does.
    const QModelIndex name =
        QTreeView::indexAt(QPoint(columnViewportPosition(CollectionTreeModel::NameColumn), point.y()));
    return isGroupRow(name) ? name : QModelIndex();
}

QRect CollectionTreeView::visualRect(const QModelIndex &index) const
{
    const QRect cell = baseVisualRect(index);
    // A name column narrower than the row's branches gives a cell of
    // negative width, which the label still starts from.
    if (cell.isNull() || !isGroupRow(index))
        return cell;
    if (index.column() == CollectionTreeModel::NameColumn)
        return labelRect(cell);
    const QRect name = baseVisualRect(index.siblingAtColumn(CollectionTreeModel::NameColumn));
    return name.isNull() ? cell : labelRect(name);
}

void CollectionTreeView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    // A row shown on purpose: the view stays where that put it.
    m_currentInView = QPersistentModelIndex();
    QTreeView::scrollTo(index, hint);
}

QAbstractItemDelegate *CollectionTreeView::itemDelegateForIndex(const QModelIndex &index) const
{
    if (m_groupRowDrawn.isValid() && index.row() == m_groupRowDrawn.row() && index.parent() == m_groupRowDrawn.parent())
        return m_cellCatcher;
    return QTreeView::itemDelegateForIndex(index);
}

void CollectionTreeView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                     const QList<int> &roles)
{
    // Rows of one height keep their places and heights whatever their cells
    // show, and no cell gives a row its children: what changes on screen is
    // the changed rows in view. The base view looks each changed row up
    // among all the rows laid out, which with many rows expanded costs as
    // much as laying them out again; the rows in view are few.
    if (!uniformRowHeights()) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    // Shown again, or laid out again, the view paints every row in view;
    // a layout due is not carried out here before its time.
    if (!isVisible())
        return;
    if (m_layoutDue || (layoutRecord() && layoutRecord()->delayedPendingLayout)) {
        viewport()->update();
        return;
    }
    const QModelIndex parent = topLeft.parent();
    QRect changed;
    for (const ShownRow &row : rowsInView())
        if (row.index.row() >= topLeft.row() && row.index.row() <= bottomRight.row() && row.parent == parent)
            changed |= row.rect;
    if (!changed.isEmpty())
        viewport()->update(changed);
}

const QList<CollectionTreeView::ShownRow> &CollectionTreeView::rowsInView()
{
    // Found once for all the changes announced together (a change of
    // currency announces every set's cards), until the rows move or the
    // event loop turns.
    if (m_rowsInViewKnown)
        return m_rowsInView;
    m_rowsInViewKnown = true;
    QMetaObject::invokeMethod(this, &CollectionTreeView::forgetRowsInView, Qt::QueuedConnection);
    m_rowsInView.clear();
    const int width = viewport()->width();
    const int height = viewport()->height();
    for (QModelIndex row = QTreeView::indexAt(QPoint(isRightToLeft() ? width - 1 : 0, 0)); row.isValid();
         row = indexBelow(row)) {
        const QRect rect = baseVisualRect(row);
        if (rect.top() >= height)
            break;
        m_rowsInView.append({row, row.parent(), QRect(0, rect.top(), width, rect.height())});
    }
    return m_rowsInView;
}

void CollectionTreeView::forgetRowsInView()
{
    m_rowsInViewKnown = false;
    m_rowsInView.clear();
}

void CollectionTreeView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    // Under a row folded, or at the top level, the base view lays out what
    // it has to. Card rows under an expanded set are put into the layout in
    // their places (placeLeaves). Under any other expanded row, that row is
    // folded and unfolded again, unannounced: the view drops that row's rows
    // and lays out its children (and theirs) as they are now, leaving the
    // rest of the tree as it was laid out. The rows only grow, so the scroll position the fold
    // may have pulled back is given back, the viewport never moved.
    if (!parent.isValid() || parent.column() != 0 || !isExpanded(parent) || isAnimated()) {
        m_layoutDue = m_layoutDue || !parent.isValid();
        forgetRowsInView();
        QTreeView::rowsInserted(parent, start, end);
        return;
    }
    QAbstractItemView::rowsInserted(parent, start, end);
    if (!placeLeaves(parent, start, end)) {
        foldUnannounced(parent, true);
        foldUnannounced(parent, false);
    }
    repaintFrom(parent, start);
}

void CollectionTreeView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    // As for rows inserted: card rows under an expanded set are dropped
    // from the layout in place (dropLeaves); the rows under any other
    // expanded row are dropped from the layout before they go and laid out
    // again once they have; under a folded row none laid out changes. A row left without rows is laid out
    // again from its own parent, so that it shows no arrow. Removed rows
    // expanded are folded, as the base view forgets them.
    const bool leftEmpty = model()->rowCount(parent) == end - start + 1;
    const QModelIndex refold = leftEmpty ? parent.parent() : parent;
    if (!parent.isValid() || parent.column() != 0 || isAnimated() || (leftEmpty && !refold.isValid())) {
        m_removing = Removing::Whole;
        QTreeView::rowsAboutToBeRemoved(parent, start, end);
        return;
    }
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    m_removing = Removing::InPart;
    if (!leftEmpty && dropLeaves(parent, start, end)) {
        m_renumbered = parent;
        return;
    }
    m_refolded = isExpanded(refold) ? QPersistentModelIndex(refold) : QPersistentModelIndex();
    const QSignalBlocker quiet(this);
    if (m_refolded.isValid())
        foldUnannounced(refold, true);
    for (int row = start; row <= end; ++row) {
        const QModelIndex removed = model()->index(row, 0, parent);
        if (isExpanded(removed))
            collapse(removed);
    }
}

void CollectionTreeView::rowsRemoved(const QModelIndex &parent, int first, int last)
{
    if (std::exchange(m_removing, Removing::Whole) == Removing::Whole) {
        m_layoutDue = true;
        forgetRowsInView();
        QTreeView::rowsRemoved(parent, first, last);
        return;
    }
    // What the base view does on a removal besides laying out again.
    if (isVisible())
        updateEditorGeometries();
    setState(NoState);
    if (const QModelIndex renumbered = std::exchange(m_renumbered, QPersistentModelIndex()); renumbered.isValid()) {
        renumberLeaves(renumbered, first);
        repaintFrom(parent, first);
        return;
    }
    if (const QModelIndex refold = std::exchange(m_refolded, QPersistentModelIndex()); refold.isValid()) {
        foldUnannounced(refold, false);
        repaintFrom(parent, first);
    }
}

void CollectionTreeView::columnResized(int column, int, int)
{
    // What the base view does for it once the event loop turns.
    updateGeometries();
    const int x = columnViewportPosition(column);
    const int width = viewport()->width();
    const int height = viewport()->height();
    viewport()->update(isRightToLeft() ? QRect(0, 0, x + columnWidth(column), height) : QRect(x, 0, width - x, height));
}

void CollectionTreeView::setLayoutRecordUsed(bool used)
{
    s_layoutRecordUsed = used;
}

QTreeViewPrivate *CollectionTreeView::layoutRecord() const
{
    // The record is laid out as in the version built against; with any
    // other version at run time the view keeps to the base view's own ways.
    static const bool sameVersion = std::strcmp(qVersion(), QT_VERSION_STR) == 0;
    return sameVersion && s_layoutRecordUsed ? static_cast<QTreeViewPrivate *>(d_ptr.data()) : nullptr;
}

QRect CollectionTreeView::baseVisualRect(const QModelIndex &index) const
{
    // The base view looks a row up among those laid out outwards from the
    // last one it looked up, a walk that reaches the very first row only
    // after all the others: with the tree at its top, every look-up of the
    // rows in view would start with a walk through the whole tree.
    QTreeViewPrivate *record = layoutRecord();
    if (record && index.isValid() && index.row() == 0 && !record->viewItems.isEmpty()
        && record->viewItems.constFirst().index == index.siblingAtColumn(0))
        record->lastViewedItem = 0;
    return QTreeView::visualRect(index);
}

int CollectionTreeView::leafParentItem(const QModelIndex &parent, int rows, int first, int last) const
{
    // Only an expanded row whose rows are all laid out, none with rows of
    // its own laid out under it, and only once laid out; the rows first to
    // last of it have no rows, shown and not spanned.
    QTreeViewPrivate *record = layoutRecord();
    if (!record || record->delayedPendingLayout || m_layoutDue || !uniformRowHeights())
        return -1;
    const int item = record->viewIndex(parent);
    if (item < 0 || !record->viewItems.at(item).expanded || int(record->viewItems.at(item).total) != rows)
        return -1;
    for (int row = first; row <= last; ++row)
        if (!(model()->flags(model()->index(row, 0, parent)) & Qt::ItemNeverHasChildren)
            || isRowHidden(row, parent) || isFirstColumnSpanned(row, parent))
            return -1;
    return item;
}

void CollectionTreeView::countUnder(int item, int count)
{
    QTreeViewItem *items = layoutRecord()->viewItems.data();
    for (int above = item; above >= 0; above = items[above].parentItem)
        items[above].total += count;
}

bool CollectionTreeView::placeLeaves(const QModelIndex &parent, int start, int end)
{
    // Card rows added under a set: they go into the base view's rows laid
    // out in their places, and the set's rows after them are numbered
    // again; the rest of the tree is left as it was laid out, where the
    // base view would lay out every expanded row of it again.
    const int count = end - start + 1;
    const int rows = model()->rowCount(parent);
    const int item = leafParentItem(parent, rows - count, start, end);
    if (item < 0)
        return false;
    forgetRowsInView();
    QTreeViewPrivate *record = layoutRecord();
    QTreeViewItem leaf;
    leaf.parentItem = item;
    leaf.level = record->viewItems.at(item).level + 1;
    const int first = item + 1 + start;
    record->insertViewItems(first, count, leaf);
    QTreeViewItem *items = record->viewItems.data();
    for (int row = start; row < rows; ++row) {
        QTreeViewItem &shown = items[item + 1 + row];
        shown.index = model()->index(row, 0, parent);
        shown.hasMoreSiblings = row + 1 < rows;
    }
    if (start > 0)
        items[first - 1].hasMoreSiblings = true;
    items[item].hasChildren = true;
    countUnder(item, count);
    record->hoverBranch = -1;
    m_heldPosition = verticalScrollBar()->value();
    updateGeometries();
    return true;
}

bool CollectionTreeView::dropLeaves(const QModelIndex &parent, int first, int last)
{
    // Card rows about to go from under a set: out of the base view's rows
    // laid out now, while the rows after them are still what they were
    // laid out as; numbered again once gone (renumberLeaves).
    const int rows = model()->rowCount(parent);
    const int item = leafParentItem(parent, rows, first, last);
    if (item < 0)
        return false;
    forgetRowsInView();
    QTreeViewPrivate *record = layoutRecord();
    const int count = last - first + 1;
    record->removeViewItems(item + 1 + first, count);
    if (last + 1 == rows)
        record->viewItems[item + first].hasMoreSiblings = false;
    countUnder(item, -count);
    record->hoverBranch = -1;
    m_heldPosition = verticalScrollBar()->value();
    return true;
}

void CollectionTreeView::renumberLeaves(const QModelIndex &parent, int from)
{
    QTreeViewPrivate *record = layoutRecord();
    const int item = record->viewIndex(parent);
    const int rows = model()->rowCount(parent);
    if (item < 0 || int(record->viewItems.at(item).total) != rows) {
        m_layoutDue = true;
        scheduleDelayedItemsLayout();
        return;
    }
    QTreeViewItem *items = record->viewItems.data();
    for (int row = from; row < rows; ++row)
        items[item + 1 + row].index = model()->index(row, 0, parent);
    updateGeometries();
}

void CollectionTreeView::foldUnannounced(const QModelIndex &parent, bool fold)
{
    forgetRowsInView();
    QScrollBar *bar = verticalScrollBar();
    const QSignalBlocker quiet(this);
    const QSignalBlocker still(bar);
    // The base view repaints the whole viewport for either; what changed is
    // repainted once the rows are in place (repaintFrom).
    QWidget *rows = viewport();
    const bool updating = !rows->testAttribute(Qt::WA_UpdatesDisabled);
    rows->setAttribute(Qt::WA_UpdatesDisabled, true);
    if (fold) {
        m_heldPosition = bar->value();
        collapse(parent);
    } else {
        expand(parent);
        bar->setValue(m_heldPosition);
    }
    rows->setAttribute(Qt::WA_UpdatesDisabled, !updating);
}

void CollectionTreeView::repaintFrom(const QModelIndex &parent, int row)
{
    // The rows above kept their places and looks (a group row whose totals
    // changed is repainted for that on its own); the rows from there down
    // moved, are new, or are gone. Held back from where it was (the rows
    // grew shorter than the view), the whole viewport moved.
    const int rows = model()->rowCount(parent);
    QRect from;
    if (rows == 0)
        from = baseVisualRect(parent);
    else if (row < rows)
        from = baseVisualRect(model()->index(row, 0, parent));
    else
        from = baseVisualRect(model()->index(rows - 1, 0, parent));
    const int height = viewport()->height();
    int top = 0;
    if (verticalScrollBar()->value() == m_heldPosition && from.isValid())
        top = std::max(0, row < rows || rows == 0 ? from.top() : from.bottom() + 1);
    if (top < height)
        viewport()->update(QRect(0, top, viewport()->width(), height - top));
}

void CollectionTreeView::doItemsLayout()
{
    m_layoutDue = false;
    forgetRowsInView();
    if (!layOutWhole())
        QTreeView::doItemsLayout();
}

bool CollectionTreeView::layOutWhole()
{
    // Rows of one height, none hidden or spanned by the base view, from the
    // top of the tree: the record is what the base view's layout makes.
    QTreeViewPrivate *record = layoutRecord();
    const auto *tree = qobject_cast<const CollectionTreeModel *>(model());
    if (!record || !tree || !uniformRowHeights() || rootIndex().isValid() || !record->hiddenIndexes.isEmpty()
        || !record->spanningIndexes.isEmpty())
        return false;
    if (std::exchange(record->hasRemovedItems, false)) {
        // What the base view forgets of rows gone before it lays out.
        for (auto it = record->expandedIndexes.begin(); it != record->expandedIndexes.end();)
            it = it->isValid() ? std::next(it) : record->expandedIndexes.erase(it);
    }
    if (tree->rowCount() == 0) {
        // No rows (a new collection): the room the rows laid out before
        // took goes too, which the list would keep for rows to come.
        record->viewItems = QList<QTreeViewItem>();
    } else {
        record->viewItems.clear();
        record->defaultItemHeight = indexRowSizeHint(tree->index(0, 0));
        layOutRows(*tree, QModelIndex(), -1, 0);
    }
    QAbstractItemView::doItemsLayout();
    header()->doItemsLayout();
    return true;
}

void CollectionTreeView::layOutRows(const CollectionTreeModel &tree, const QModelIndex &parent, int parentItem,
                                    uint level)
{
    QTreeViewPrivate *record = layoutRecord();
    QList<QTreeViewItem> &items = record->viewItems;
    int previous = -1;
    tree.visitRows(parent, [&](const QModelIndex &index, bool card) {
        if (previous >= 0)
            items[previous].hasMoreSiblings = true;
        previous = int(items.size());
        QTreeViewItem item;
        item.index = index;
        item.parentItem = parentItem;
        item.level = level;
        if (card) {
            items.append(item);
        } else if (record->isIndexExpanded(index)) {
            item.expanded = true;
            items.append(item);
            layOutRows(tree, index, previous, level + 1);
            QTreeViewItem &laidOut = items[previous];
            laidOut.total = uint(items.size() - previous - 1);
            laidOut.hasChildren = laidOut.total > 0;
        } else {
            item.hasChildren = record->hasVisibleChildren(index);
            items.append(item);
        }
    });
}

void CollectionTreeView::resizeEvent(QResizeEvent *event)
{
    forgetRowsInView();
    QTreeView::resizeEvent(event);
}

void CollectionTreeView::paintEvent(QPaintEvent *event)
{
    // The base view draws only the columns the region reaches, so a group
    // row's label, drawn from its name cell, would be lost where the region
    // leaves that cell out (a column resized paints from its edge
    // rightwards). A part of the region that reaches a group row is drawn
    // across the viewport: what falls outside the region is clipped away.
    const QRegion region = event->region();
    const int width = viewport()->width();
    QRegion across;
    bool widened = false;
    for (const QRect &part : region) {
        const bool whole = part.left() <= 0 && part.right() >= width - 1;
        if (!whole && holdsGroupRow(part.top(), part.bottom())) {
            across += QRect(0, part.top(), width, part.height());
            widened = true;
        } else {
            across += part;
        }
    }
    if (!widened) {
        QTreeView::paintEvent(event);
        return;
    }
    QPaintEvent wider(across);
    QTreeView::paintEvent(&wider);
}

bool CollectionTreeView::holdsGroupRow(int top, int bottom) const
{
    for (QModelIndex row = indexAt(QPoint(columnViewportPosition(CollectionTreeModel::NameColumn), top)); row.isValid();
         row = indexBelow(row)) {
        const QRect rect = baseVisualRect(row);
        if (rect.top() > bottom)
            break;
        if (isGroupRow(row))
            return true;
    }
    return false;
}

void CollectionTreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isGroupRow(index)) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    // The base view draws the branches and the background of every cell;
    // the name cell, as it made it ready, is then drawn across the row.
    m_groupRowDrawn = index;
    m_cellCatcher->nameCell.reset();
    QTreeView::drawRow(painter, option, index);
    m_groupRowDrawn = QModelIndex();
    if (!m_cellCatcher->nameCell)
        return;
    QStyleOptionViewItem label = *std::exchange(m_cellCatcher->nameCell, std::nullopt);
    drawCutBranches(painter, label, index);
    label.rect = labelRect(label.rect);
    label.viewItemPosition = QStyleOptionViewItem::OnlyOne;
    const QModelIndex name = index.siblingAtColumn(CollectionTreeModel::NameColumn);
    QTreeView::itemDelegateForIndex(name)->paint(painter, label, name);
}

void CollectionTreeView::drawCutBranches(QPainter *painter, const QStyleOptionViewItem &nameCell,
                                         const QModelIndex &index) const
{
    // The name cell starts past the row's branches: narrower than them, the
    // name column had the base view cut them at its edge.
    const int position = columnViewportPosition(CollectionTreeModel::NameColumn);
    const int width = columnWidth(CollectionTreeModel::NameColumn);
    const int indent = width - nameCell.rect.width();
    if (indent <= width)
        return;
    const bool reverse = isRightToLeft();
    const QRect branches(reverse ? position + width - indent : position, nameCell.rect.y(), indent,
                         nameCell.rect.height());
    const QRect cut(reverse ? branches.left() : position + width, branches.y(), indent - width, branches.height());
    painter->save();
    painter->setClipRect(cut, Qt::IntersectClip);
    QStyleOptionViewItem option = nameCell;
    option.rect = branches;
    option.showDecorationSelected = style()->styleHint(QStyle::SH_ItemView_ShowDecorationSelected, &option, this);
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, painter, this);
    drawBranches(painter, branches, index);
    painter->restore();
}

void CollectionTreeView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // A row made current by a change of the model (a removed row's
    // neighbour, the holding in focus found again) is not scrolled to.
    if (!m_changing) {
        QTreeView::currentChanged(current, previous);
        return;
    }
    const bool autoScroll = hasAutoScroll();
    setAutoScroll(false);
    QTreeView::currentChanged(current, previous);
    setAutoScroll(autoScroll);
}

QRect CollectionTreeView::rowExtent(int y, int height) const
{
    const QHeaderView *head = header();
    int left = INT_MAX;
    int right = INT_MIN;
    for (int visual = 0; visual < head->count(); ++visual) {
        const int logical = head->logicalIndex(visual);
        if (head->isSectionHidden(logical))
            continue;
        const int x = columnViewportPosition(logical);
        left = std::min(left, x);
        right = std::max(right, x + head->sectionSize(logical));
    }
    return left < right ? QRect(left, y, right - left, height) : QRect();
}

QRect CollectionTreeView::labelRect(const QRect &nameCell) const
{
    const QRect row = rowExtent(nameCell.y(), nameCell.height());
    if (!row.isValid())
        return nameCell;
    QRect label = nameCell;
    if (isRightToLeft())
        label.setLeft(std::min(label.left(), row.left()));
    else
        label.setRight(std::max(label.right(), row.right()));
    return label;
}

void CollectionTreeView::noteChange()
{
    if (m_changing)
        return;
    m_changing = true;
    const QModelIndex current = currentIndex();
    m_currentInView = isRowInView(current) ? QPersistentModelIndex(current) : QPersistentModelIndex();
    QMetaObject::invokeMethod(this, &CollectionTreeView::followCurrentRow, Qt::QueuedConnection);
}

void CollectionTreeView::followCurrentRow()
{
    m_changing = false;
    const QPersistentModelIndex shown = std::exchange(m_currentInView, QPersistentModelIndex());
    const QModelIndex current = currentIndex();
    if (shown.isValid() && current.isValid() && current.row() == shown.row() && current.parent() == shown.parent()
        && !isRowInView(current))
        QTreeView::scrollTo(current);
}

} // namespace pv
