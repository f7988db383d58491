#pragma once

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
// A column's width comes from its title and the rows in view, never from
// all rows: the tree may hold half a million. The columns are fitted again,
// once the events in hand are done, whenever the view's width, its rows in
// view or their texts change. GUI thread only.
class CollectionTreeColumns : public QObject
{
    Q_OBJECT

public:
    // A column as the fitting sees it: the width that shows it whole, and
    // for a column that may be cut short, the least it keeps (its width
    // when it may not) and how many shares of the room it takes.
    struct Column
    {
        int wanted = 0;
        int least = 0;
        int weight = 1;
    };

    // Watches the view (which owns the fitting) and fits it once its events
    // are done.
    explicit CollectionTreeColumns(QTreeView *view);
    ~CollectionTreeColumns() override;

    // The widths that fit the columns into the room: each column that may
    // be cut short gets its shares up to its wanted width and no less than
    // its least, the first column's starting `firstOffset` further (the
    // rows' indentation); what is left goes to the first column. Never
    // below the least widths, so the sum may pass the room.
    static QList<int> share(const QList<Column> &columns, int room, int firstOffset);

    // Fits the columns now.
    void fit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<Column> measure();
    void fitLater();

    QTreeView *m_view = nullptr;
    QTimer *m_pending = nullptr;
    QList<int> m_widest; // by column: the widest title or cell seen

};

} // namespace pv
