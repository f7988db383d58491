#pragma once

#include "ui/widgets/ColumnFitter.h"

class QAbstractItemView;

namespace pv {

// Fits the columns of a table of catalog cards (Add cards, the search dock's
// catalog results): the thumbnail keeps its width, the number and the price
// show whole (their titles elided first), then the series gives way, then
// the set, which keeps its logo and a name's first word, then the name,
// which keeps a common card name and takes what is left over.
class SetCardsColumns : public ColumnFitter
{
    Q_OBJECT

public:
    explicit SetCardsColumns(QAbstractItemView *view);
    ~SetCardsColumns() override;

    // Room for the picture of a set beside its name: its symbol, about
    // square and a line high, or, for a set without one, its logo scaled
    // down.
    static constexpr int SetPictureWidth = 44;
};

} // namespace pv
