#pragma once

#include "collection/Binder.h"
#include "collection/CardEntry.h"
#include "collection/HistoryPoint.h"
#include "collection/LabelStyle.h"
#include "core/SetRecord.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace pv {

// Everything a collection file holds, as plain values: what a file read
// gives and a save writes. The lists share their data with the document's
// until either side changes them, so a copy taken for a save costs nothing
// until the document is edited again.
struct CollectionContents
{
    QList<CardEntry> entries;
    QHash<QString, SetRecord> sets;
    QList<HistoryPoint> history;
    QList<Binder> binders;
    std::optional<LabelStyle> labelStyle;
};

} // namespace pv
