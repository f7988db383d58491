#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <functional>

class QModelIndex;
class QStyleOptionViewItem;

namespace pv {

// The shorter forms a cell of the collection's tree and search table may
// take where its column is narrow, each still telling two copies of a card
// apart: a condition's own code ("NM"), a printing with its edition and
// finish shortened ("1st Ed. Holo"). The whole text stays in the cell's
// tool tip. GUI thread only.
class CellForms
{
    Q_DECLARE_TR_FUNCTIONS(pv::CellForms)

public:
    enum class Kind { None, Printing, Condition };

    // What a column of the collection's tree (and of its search table,
    // which shares the tree's columns) holds.
    static Kind ofCollectionColumn(int column);

    // The text's shorter forms, the longest first; none for a text that is
    // not one of the kind's.
    static QStringList shorter(Kind kind, const QString &text);

    // The form a cell shows in a room that wide, with `widthOf` the width a
    // cell needs for a text: the text when it fits, else the longest shorter
    // form that fits, else the shortest form (cut short in turn).
    static QString drawn(Kind kind, const QString &text, int room, const std::function<int(const QString &)> &widthOf);

    // The room a cell is measured in: the option's rectangle when it has
    // one, else the cell's column as the view (the option's widget) has it.
    static int room(const QStyleOptionViewItem &option, const QModelIndex &index);
};

} // namespace pv
