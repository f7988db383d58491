#pragma once

#include "ui/widgets/ColumnFitter.h"

class QAbstractItemView;

namespace pv {

// Fits the columns of the collection tree, or of the search dock's table of
// holdings, which shows the tree's columns and the set, series and language
// after them. The numbers, counts and values show whole, their titles elided
// first where room is short; then the rarity (and the set, series and
// language) gives way, cut short; then the printing and the condition take
// their short forms; then the dex number and the grade narrow as far as their
// titles go; the card name gives way last, and takes what is left over. A
// cell cut short or shown in a short form has its whole text in its
// tool tip.
class CollectionTreeColumns : public ColumnFitter
{
    Q_OBJECT

public:
    explicit CollectionTreeColumns(QAbstractItemView *view);
    ~CollectionTreeColumns() override;
};

} // namespace pv
