#pragma once

#include "ui/widgets/ColumnWidths.h"

#include <QList>
#include <QObject>

class QTimer;
class QTreeView;

namespace pv {

// Sizes the columns of the collection tree to the view's width. The counts,
// grades and values are shown whole; the card name, rarity, printing and
// condition share what they leave, each cut short (with its whole text in a
// tool tip) only as far as room runs out, the name keeping twice the room
// of the others. What is left over widens the name.
//
// A column's width comes from its title and the rows seen in view since the
// rows were last made, never from all rows: the tree may hold half a
// million. The columns are fitted again, once the events in hand are done,
// whenever the view's width, its rows in view or their texts change. GUI
// thread only.
class CollectionTreeColumns : public QObject
{
    Q_OBJECT

public:
    // Watches the view (which owns the fitting) and fits it once its events
    // are done.
    explicit CollectionTreeColumns(QTreeView *view);
    ~CollectionTreeColumns() override;

    // Fits the columns now.
    void fit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<ColumnWidths::Column> measure();
    void fitLater();

    QTreeView *m_view = nullptr;
    QTimer *m_pending = nullptr;
    QList<int> m_widest; // by column: the widest title or cell seen
};

} // namespace pv
