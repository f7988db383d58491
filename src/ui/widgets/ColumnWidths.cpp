#include "ui/widgets/ColumnWidths.h"

#include <QAbstractItemView>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <numeric>

namespace pv {

QList<int> ColumnWidths::share(const QList<Column> &columns, int room, int rest)
{
    const auto total = [](const QList<int> &list) { return std::accumulate(list.cbegin(), list.cend(), 0); };
    QList<int> result;
    QList<int> ranks;
    int most = 0;
    for (const Column &column : columns) {
        result.append(std::max(column.least, column.wanted));
        if (column.least < column.wanted && !ranks.contains(column.rank))
            ranks.append(column.rank);
        most = std::max(most, column.wanted);
    }
    std::sort(ranks.begin(), ranks.end());
    // The columns of a rank at a share, none below `floor`: between their
    // least and their whole width, a short form's width where that shows as
    // much.
    const auto widths = [&columns](const QList<int> &floor, int rank, int shared) {
        QList<int> list = floor;
        for (qsizetype at = 0; at < columns.size(); ++at) {
            const Column &column = columns.at(at);
            if (column.rank != rank || column.least >= column.wanted)
                continue;
            int width = std::clamp(column.offset + column.weight * shared, column.least, column.wanted);
            if (width < column.wanted && column.shortened > 0 && width >= column.shortened)
                width = column.shortened;
            list[at] = std::max(width, floor.at(at));
        }
        return list;
    };
    // The largest share of a rank that fits, over the floor.
    const auto fitted = [&](const QList<int> &floor, int rank) {
        int low = 0;
        int high = most;
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (total(widths(floor, rank, middle)) <= room)
                low = middle;
            else
                high = middle - 1;
        }
        return widths(floor, rank, low);
    };
    QList<int> given;
    for (const int rank : std::as_const(ranks)) {
        if (total(result) <= room)
            break;
        QList<int> floor = result;
        for (qsizetype at = 0; at < columns.size(); ++at) {
            if (columns.at(at).rank == rank)
                floor[at] = std::min(columns.at(at).least, columns.at(at).wanted);
        }
        result = fitted(floor, rank);
        given.prepend(rank);
    }
    // A short form may leave room over: the ranks that gave way take it
    // back, the last to give way first. What the `rest` column, still cut,
    // could not take in whole shares is its own all the same.
    const bool hasRest = rest >= 0 && rest < result.size();
    for (const int rank : std::as_const(given)) {
        result = fitted(result, rank);
        if (hasRest && columns.at(rest).rank == rank && result.at(rest) < columns.at(rest).wanted)
            break;
    }
    if (hasRest)
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
