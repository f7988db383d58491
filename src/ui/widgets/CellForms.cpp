#include "ui/widgets/CellForms.h"

#include "core/CardVocabulary.h"
#include "ui/models/CollectionTreeModel.h"

#include <QHash>
#include <QHeaderView>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTreeView>

#include <limits>

namespace pv {

namespace {

QString editionShort(const QString &edition)
{
    if (edition == allEditions().value(1))
        return CellForms::tr("1st Ed.");
    if (edition == allEditions().value(2))
        return CellForms::tr("Shadowl.");
    if (edition.isEmpty() || edition == allEditions().value(0))
        return CellForms::tr("Unl.");
    return editionDisplayName(edition);
}

QString finishShort(const QString &finish)
{
    return finish == QLatin1String("reverse") ? CellForms::tr("Rev. Holo") : finishDisplayName(finish);
}

// Each printing's and each condition's text with its shorter forms.
QHash<QString, QStringList> formsOf(CellForms::Kind kind)
{
    QHash<QString, QStringList> forms;
    const auto add = [&forms](const QString &text, const QStringList &candidates) {
        QStringList &list = forms[text];
        for (const QString &form : candidates) {
            if (form.size() < (list.isEmpty() ? text : list.constLast()).size())
                list.append(form);
        }
    };
    if (kind == CellForms::Kind::Condition) {
        for (const Condition condition : allConditions())
            add(conditionDisplayName(condition), {conditionShortCode(condition)});
        return forms;
    }
    QStringList finishes = allFinishes();
    finishes.append(QString());
    for (const QString &edition : allEditions()) {
        for (const QString &finish : std::as_const(finishes)) {
            const QString text = printingLabel(finish, edition);
            if (edition == allEditions().value(0)) {
                add(text, {finishShort(finish)});
                continue;
            }
            if (finish.isEmpty()) {
                add(text, {editionShort(edition)});
                continue;
            }
            add(text,
                {editionShort(edition) + QLatin1Char(' ') + finishDisplayName(finish),
                 editionShort(edition) + QLatin1Char(' ') + finishShort(finish)});
        }
    }
    return forms;
}

} // namespace

CellForms::Kind CellForms::ofCollectionColumn(int column)
{
    switch (column) {
    case CollectionTreeModel::PrintingColumn:
        return Kind::Printing;
    case CollectionTreeModel::ConditionColumn:
        return Kind::Condition;
    default:
        return Kind::None;
    }
}

QStringList CellForms::shorter(Kind kind, const QString &text)
{
    if (kind == Kind::None || text.isEmpty())
        return {};
    // The texts are translated once, at start-up: their forms are made once.
    static const QHash<QString, QStringList> printings = formsOf(Kind::Printing);
    static const QHash<QString, QStringList> conditions = formsOf(Kind::Condition);
    return (kind == Kind::Printing ? printings : conditions).value(text);
}

QString CellForms::drawn(Kind kind, const QString &text, int room, const std::function<int(const QString &)> &widthOf)
{
    if (kind == Kind::None || widthOf(text) <= room)
        return text;
    const QStringList forms = shorter(kind, text);
    for (const QString &form : forms) {
        if (widthOf(form) <= room)
            return form;
    }
    return forms.isEmpty() ? text : forms.constLast();
}

int CellForms::room(const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (option.rect.isValid())
        return option.rect.width();
    if (const auto *tree = qobject_cast<const QTreeView *>(option.widget))
        return tree->header()->sectionSize(index.column());
    // A table's grid takes a line of its cells.
    if (const auto *table = qobject_cast<const QTableView *>(option.widget))
        return table->horizontalHeader()->sectionSize(index.column()) - (table->showGrid() ? 1 : 0);
    return std::numeric_limits<int>::max();
}

} // namespace pv
