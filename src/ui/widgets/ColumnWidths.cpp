#include "ui/widgets/ColumnWidths.h"

#include <QAbstractItemView>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <numeric>

namespace pv {

QList<int> ColumnWidths::share(const QList<Column> &columns, int room, int rest)
{
    const auto widths = [&columns](int shared) {
        QList<int> result;
        for (const Column &column : columns)
            result.append(std::clamp(column.offset + column.weight * shared, column.least,
                                     std::max(column.least, column.wanted)));
        return result;
    };
    const auto total = [](const QList<int> &list) { return std::accumulate(list.cbegin(), list.cend(), 0); };
    int most = 0;
    for (const Column &column : columns)
        most = std::max(most, column.wanted);
    // The largest share that fits.
    int low = 0;
    int high = most;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (total(widths(middle)) <= room)
            low = middle;
        else
            high = middle - 1;
    }
    QList<int> result = widths(low);
    if (rest >= 0 && rest < result.size())
        result[rest] += std::max(0, room - total(result));
    return result;
}

int ColumnWidths::cellWidth(const QAbstractItemView *view, const QString &text, int pictureWidth)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    if (pictureWidth > 0) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = QSize(pictureWidth, pictureWidth / 2);
    }
    return view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).width();
}

} // namespace pv
