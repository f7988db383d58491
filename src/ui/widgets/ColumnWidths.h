#pragma once

#include <QList>

class QAbstractItemView;
class QString;

namespace pv {

// Shares a view's width among its columns: those that must show whole get
// their width, the others take shares of what is left, each between the
// least it keeps and the width that shows it whole. Where room runs short
// the columns give way in the order of their ranks, the lowest first: a
// rank gives way as far as it must, down to its least widths, before the
// next gives way at all.
class ColumnWidths
{
public:
    // A column as the sharing sees it: the width that shows it whole, and
    // for a column that may be cut short, the least it keeps (its width
    // when it may not), how many shares of the room it takes, how far into
    // the column its shares start (a tree's indentation, say) and when it
    // gives way. A column whose cells have short forms names the width that
    // shows them all whole as `shortened`: it takes that width as soon as
    // it is not whole, since a width between the two shows no more.
    struct Column
    {
        int wanted = 0;
        int least = 0;
        int weight = 1;
        int offset = 0;
        int rank = 0;
        int shortened = 0;
    };

    // The widths that fit the columns into the room, each column that may
    // be cut short taking the same number of pixels a share; what is left
    // once all are whole goes to the column `rest` (none when out of
    // range). Never below the least widths, so the sum may pass the room.
    static QList<int> share(const QList<Column> &columns, int room, int rest);

    // The width of a cell of the view showing the text, beside a picture
    // that wide (and half as high) when one is given: frame and margins
    // included, as the view's style draws them.
    static int cellWidth(const QAbstractItemView *view, const QString &text, int pictureWidth = 0);
};

} // namespace pv
