#pragma once

#include "Fixtures.h"

#include <QAbstractItemModel>
#include <QModelIndex>
#include <QString>
#include <QStringList>

// Model walks the window suites share, with the fixtures of common/Fixtures.h.
namespace pv::test {

// The display texts of a column over the rows under parent.
inline QStringList columnTexts(const QAbstractItemModel &model, const QModelIndex &parent, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts.append(model.index(row, column, parent).data().toString());
    return texts;
}

} // namespace pv::test
