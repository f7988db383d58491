#pragma once

#include <QList>

class QAbstractItemView;
class QString;

namespace pv {

// Shares a view's width among its columns: those that must show whole get
// their width, the others take shares of what is left, each between the
// least it keeps and the width that shows it whole.
class ColumnWidths
{
public:
    // A column as the sharing sees it: the width that shows it whole, and
    // for a column that may be cut short, the least it keeps (its width
    // when it may not), how many shares of the room it takes and how far
    // into the column its shares start (a tree's indentation, say).
    struct Column
    {
        int wanted = 0;
        int least = 0;
        int weight = 1;
        int offset = 0;
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
