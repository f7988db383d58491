#pragma once

#include <QList>
#include <QPersistentModelIndex>
#include <QTreeView>

class QTreeViewPrivate;

namespace pv {

class CollectionTreeModel;

// The collection tree's view.
//
// Language, series and set rows show their name and suffix across every
// column. The view draws them so itself: a row spanned by the base view
// costs a persistent index for every row laid out, to look the row up among
// the spanned ones, which with many rows expanded doubles the layout. A
// repaint of part of such a row (a column resized repaints from its edge
// on) draws the whole row, clipped to what was asked, so that its label
// stays whole.
//
// A change of the model leaves the view where the user left it: the current
// row made current again after a change is not scrolled to. Only when the
// current row was in view before the change and the change took it out of
// the viewport does the view follow it, once laid out again. A row the
// program shows on purpose (a search result chosen, a binder's card) is
// scrolled to with scrollTo, as before.
//
// Rows added under an expanded row are laid out in that row's part of the
// tree alone, card rows in their own places: the base view lays out every
// expanded row of the whole tree again for them, which with many holdings
// costs more than all the rest of an add. Rows removed (an add undone)
// leave the same part alone. For that the view works on the base view's
// own record of its rows laid out, as this version of it keeps it; where
// it cannot (another version at run time), it folds the row and unfolds it
// again through the base view's public interface instead.
//
// The whole tree (a file opened, the tree reset) is laid out in that record
// in one pass over the model's rows: the base view asks the model about
// each row several times, which with half a million rows expanded takes
// longer than the rest of taking the file in.
class CollectionTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit CollectionTreeView(QWidget *parent = nullptr);
    ~CollectionTreeView() override;

    void setModel(QAbstractItemModel *model) override;
    // Anywhere on a group row: its name column, as on a spanned row.
    QModelIndex indexAt(const QPoint &point) const override;
    // A group row's name reaches to the end of its row.
    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QAbstractItemDelegate *itemDelegateForIndex(const QModelIndex &index) const override;
    void doItemsLayout() override;
    // Rows of one height: the changed rows in view are repainted, no row
    // out of view is looked up.
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;

    // A language, series or set row: one that is drawn across its columns.
    static bool isGroupRow(const QModelIndex &index);
    // Whether any part of the row lies in the viewport.
    bool isRowInView(const QModelIndex &index) const;

    // Whether views work on the base view's record of their rows where the
    // version at run time is the one built against (the default), or keep
    // to the public interface as with any other version. For tests, which
    // run the tree both ways.
    static void setLayoutRecordUsed(bool used);

protected Q_SLOTS:
    // Stands in for the base view's slot of the same name, which the base
    // view connects to the model by name.
    void rowsRemoved(const QModelIndex &parent, int first, int last);
    // Stands in for the base view's slot of the same name, which the base
    // view connects to its header by name: a column resized is repainted in
    // the paint already due (the change that had the columns fitted), not
    // in one of its own after it.
    void columnResized(int column, int oldSize, int newSize);

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    class CellCatcher;
    struct ShownRow
    {
        QModelIndex index;
        QModelIndex parent;
        // Across the viewport.
        QRect rect;
    };

    // The part of a group row's branches that the base view cut off at the
    // edge of a narrow name column.
    void drawCutBranches(QPainter *painter, const QStyleOptionViewItem &nameCell, const QModelIndex &index) const;
    // Whether a group row lies between the viewport's lines top and bottom.
    bool holdsGroupRow(int top, int bottom) const;
    // The viewport's horizontal extent of the whole row at y.
    QRect rowExtent(int y, int height) const;
    // The cell of the name column stretched to the end of its row.
    QRect labelRect(const QRect &nameCell) const;
    void noteChange();
    // The rows in view, top to bottom.
    const QList<ShownRow> &rowsInView();
    void forgetRowsInView();
    // A row moved under a new parent (a set given another series) stays in
    // view as the user left it: when it was expanded or held the current
    // row, the rows it now lies under are expanded too.
    void openMovedRows(const QModelIndex &parent, int first, int last, const QModelIndex &destination, int row);
    void followCurrentRow();
    // Drops the rows under parent from the layout, or lays them out again as
    // they are now, leaving the rest of the tree and, once laid out again,
    // the scroll position as they were before the fold.
    void foldUnannounced(const QModelIndex &parent, bool fold);
    // The base view's layout of every row shown, made in the record at once;
    // false where it is left to the base view.
    bool layOutWhole();
    void layOutRows(const CollectionTreeModel &tree, const QModelIndex &parent, int parentItem, uint level);
    // The base view's record of the rows it laid out.
    QTreeViewPrivate *layoutRecord() const;
    // The base view's visualRect, without its walk through every row laid
    // out to find the first one.
    QRect baseVisualRect(const QModelIndex &index) const;
    // parent's place among the rows laid out, where it is expanded with
    // its `rows` rows laid out under it and nothing under those, and its
    // rows first to last are shown rows that never have rows; else -1.
    int leafParentItem(const QModelIndex &parent, int rows, int first, int last) const;
    // Adds count to the rows counted under the laid-out row item and under
    // each row above it.
    void countUnder(int item, int count);
    // Rows without rows added under such a parent, laid out in place; false
    // where that cannot be done.
    bool placeLeaves(const QModelIndex &parent, int start, int end);
    // Such rows about to be removed, dropped from the layout; their later
    // siblings numbered again once they are gone (renumberLeaves).
    bool dropLeaves(const QModelIndex &parent, int first, int last);
    void renumberLeaves(const QModelIndex &parent, int from);
    // Repaints the rows in view from parent's row `row` (or, past its rows,
    // from below them) down.
    void repaintFrom(const QModelIndex &parent, int row);

    CellCatcher *m_cellCatcher = nullptr;
    // The group row being drawn, its cells caught instead of painted.
    mutable QModelIndex m_groupRowDrawn;
    QList<QMetaObject::Connection> m_modelConnections;
    // Set from the first change of the model until the event loop turns:
    // the current row, when it was in view before that change.
    bool m_changing = false;
    // Set from a change after which the base view lays out the whole tree
    // until it has.
    bool m_layoutDue = false;
    // How rows announced as removed leave the layout, until they are gone.
    enum class Removing { Whole, InPart };
    Removing m_removing = Removing::Whole;
    // The expanded row whose rows are laid out again once they are gone.
    QPersistentModelIndex m_refolded;
    // The row whose rows after those removed are numbered again once gone.
    QPersistentModelIndex m_renumbered;
    int m_heldPosition = 0;
    QList<ShownRow> m_rowsInView;
    bool m_rowsInViewKnown = false;
    QPersistentModelIndex m_currentInView;
};

} // namespace pv
