#include "ui/widgets/SetCardsColumns.h"

#include "ui/models/SetCardsModel.h"

namespace pv {

namespace {

QList<ColumnFitter::Rule> setCardsRules()
{
    using Give = ColumnFitter::Give;
    // Thumbnail, number, name, set, series, price.
    QList<ColumnFitter::Rule> rules(SetCardsModel::ColumnCount);
    rules[0].give = Give::Fixed;
    rules[0].least = SetCardsModel::thumbnailSize().width() + 8;
    rules[4] = {Give::Cut, 1};
    rules[3] = {Give::Cut, 2, 2, QStringLiteral("Prismatic"), SetCardsColumns::SetPictureWidth};
    rules[2] = {Give::Cut, 3, 2, QStringLiteral("Charizard")};
    return rules;
}

} // namespace

SetCardsColumns::SetCardsColumns(QAbstractItemView *view)
    : ColumnFitter(view, setCardsRules(), 2)
{
}

SetCardsColumns::~SetCardsColumns() = default;

} // namespace pv
