#pragma once

#include "collection/CardEntry.h"
#include "core/SetRecord.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QModelIndex>
#include <QString>
#include <QStringList>

// Holdings, set records and model walks the window suites share.
namespace pv::test {

// One holding of a set: card id "<set>-<number>", count 1.
inline CardEntry holding(const QString &setId, const QString &localId, const QString &name,
                         double unitValueEur = 0.0, Language language = Language::English)
{
    CardEntry entry;
    entry.cardId = setId + QLatin1Char('-') + localId;
    entry.setId = setId;
    entry.localId = localId;
    entry.name = name;
    entry.lang = language;
    entry.unitValueEur = unitValueEur;
    return entry;
}

inline SetRecord setRecord(const QString &id, const QString &name, const QString &serie, int order,
                           int official = 0, int total = 0, Language language = Language::English,
                           const QDate &released = QDate())
{
    SetRecord record;
    record.id = id;
    record.name = name;
    record.serie = serie;
    record.order = order;
    record.officialCardCount = official;
    record.totalCardCount = total;
    record.language = language;
    record.releaseDate = released;
    return record;
}

// The display texts of a column over the rows under parent.
inline QStringList columnTexts(const QAbstractItemModel &model, const QModelIndex &parent, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts.append(model.index(row, column, parent).data().toString());
    return texts;
}

} // namespace pv::test
