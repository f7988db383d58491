#include "ui/widgets/CollectionTreeColumns.h"

#include "ui/models/CollectionSearchModel.h"
#include "ui/models/CollectionTreeModel.h"

namespace pv {

namespace {

QList<ColumnFitter::Rule> collectionRules()
{
    using Give = ColumnFitter::Give;
    QList<ColumnFitter::Rule> rules(CollectionSearchModel::ColumnCount);
    // The other columns show whole: only their titles give way, first.
    for (const int column : {int(CollectionTreeModel::RarityColumn), int(CollectionSearchModel::SetColumn),
                             int(CollectionSearchModel::SeriesColumn), int(CollectionSearchModel::LanguageColumn)})
        rules[column] = {Give::Cut, 1};
    rules[CollectionTreeModel::PrintingColumn] = {Give::Forms, 2};
    rules[CollectionTreeModel::ConditionColumn] = {Give::Forms, 2};
    // Few cards have a dex number or a grade: their columns narrow next, as
    // far as their titles go.
    rules[CollectionTreeModel::DexColumn] = {Give::Narrow, 3};
    rules[CollectionTreeModel::GradeColumn] = {Give::Narrow, 3};
    // The name tells the cards apart: it gives way last, two shares at a time.
    rules[CollectionTreeModel::NameColumn] = {Give::Cut, 4, 2};
    return rules;
}

} // namespace

CollectionTreeColumns::CollectionTreeColumns(QAbstractItemView *view)
    : ColumnFitter(view, collectionRules(), CollectionTreeModel::NameColumn)
{
}

CollectionTreeColumns::~CollectionTreeColumns() = default;

} // namespace pv
