#pragma once

#include "collection/HistoryPoint.h"
#include "core/CardVocabulary.h"
#include "core/SetRecord.h"

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>

namespace pv {

// What the value chart shows: the whole collection, one language or one set.
struct ChartScope
{
    enum Mode { Collection = 0, Language = 1, Set = 2 };

    int mode = Collection;
    int language = 0; // a pv::Language value, for the language scope
    QString setKey;   // for the set scope

    friend bool operator==(const ChartScope &a, const ChartScope &b)
    {
        return a.mode == b.mode && a.language == b.language && a.setKey == b.setKey;
    }
    friend bool operator!=(const ChartScope &a, const ChartScope &b) { return !(a == b); }
};

namespace ValueHistory {

// One set's curve, or (empty key) the curve of every set past the twelfth.
struct Series
{
    QString key;
    QString label;
    QList<double> values; // one per chart point
    double latestEur = 0.0;
};

struct ChartData
{
    QList<HistoryPoint> points;
    QList<Series> series;
    int firstBreakdownIndex = -1;
    QString title;
};

// The chart of one scope, built from the collection's history and set table.
ChartData build(const QList<HistoryPoint> &history, const QHash<QString, SetRecord> &sets,
                const ChartScope &scope);

// The set's display name, with "EN / " or "JA / " before it when asked.
QString setLabel(const QHash<QString, SetRecord> &sets, const QString &setKey, bool withLanguage);

// The language named before the first ":" of a set key, else the fallback.
pv::Language languageOfKey(const QString &setKey, pv::Language fallback);

} // namespace ValueHistory
} // namespace pv

Q_DECLARE_METATYPE(pv::ChartScope)
