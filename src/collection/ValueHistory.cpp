#include "collection/ValueHistory.h"

#include "collection/CardCounts.h"
#include "core/CardKeys.h"
#include "core/NameTranslator.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pv::ValueHistory {

namespace {

constexpr int kMaxSetSeries = 12;

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("ValueHistory", text, nullptr, n);
}

// The relative tolerance of a fuzzy comparison: two zeros are equal, zero and
// anything else are not.
bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

int setOrder(const QHash<QString, SetRecord> &sets, const QString &key)
{
    const auto found = sets.constFind(key);
    return found == sets.constEnd() ? std::numeric_limits<int>::max() : found->order;
}

QStringList rankedKeys(const QHash<QString, double> &peaks, const QHash<QString, SetRecord> &sets)
{
    struct Ranked
    {
        QString key;
        double peak;
        int order;
    };
    QList<Ranked> ranked;
    ranked.reserve(peaks.size());
    for (auto it = peaks.cbegin(); it != peaks.cend(); ++it)
        ranked.append(Ranked{it.key(), it.value(), setOrder(sets, it.key())});
    // Stable sort: a fuzzy tie is not transitive, and the merge sort stays
    // within bounds whatever the comparator answers.
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked &a, const Ranked &b) {
        if (!fuzzyEqual(a.peak, b.peak))
            return a.peak > b.peak;
        if (a.order != b.order)
            return a.order < b.order;
        return a.key < b.key;
    });
    QStringList keys;
    keys.reserve(ranked.size());
    for (const Ranked &r : std::as_const(ranked))
        keys.append(r.key);
    return keys;
}

double eurOf(const HistoryPoint &point, const QString &key)
{
    const auto found = point.sets.constFind(key);
    return found == point.sets.constEnd() ? 0.0 : found->eur;
}

} // namespace

pv::Language languageOfKey(const QString &setKey, pv::Language fallback)
{
    return parseSetKey(setKey, fallback).language;
}

QString setLabel(const QHash<QString, SetRecord> &sets, const QString &setKey, bool withLanguage)
{
    const KeyParts parts = parseSetKey(setKey);
    const QString &setId = parts.id;
    const pv::Language language = parts.language;
    const auto found = sets.constFind(setKey);
    const QString name = found != sets.constEnd() && !found->name.isEmpty() ? found->name : setId;
    const QString shown = NameTranslator::translateSetName(language, setId, name);
    if (!withLanguage)
        return shown;
    return QStringLiteral("%1 / %2").arg(languageCode(language).toUpper(), shown);
}

ChartData build(const QList<HistoryPoint> &history, const QHash<QString, SetRecord> &sets,
                const ChartScope &scope)
{
    ChartData data;

    if (scope.mode == ChartScope::Set) {
        for (const HistoryPoint &point : history) {
            const auto found = point.sets.constFind(scope.setKey);
            if (found == point.sets.constEnd())
                continue;
            HistoryPoint shown;
            shown.date = point.date;
            shown.totalEur = found->eur;
            shown.cards = found->cards;
            data.points.append(shown);
        }
        data.title = tr("Value history - %1").arg(setLabel(sets, scope.setKey, false));
        return data;
    }

    const bool languageScope = scope.mode == ChartScope::Language;
    const auto language = static_cast<pv::Language>(scope.language);
    QHash<QString, double> peaks;
    for (const HistoryPoint &point : history) {
        HistoryPoint shown;
        if (languageScope) {
            if (point.sets.isEmpty())
                continue;
            shown.date = point.date;
            for (auto it = point.sets.cbegin(); it != point.sets.cend(); ++it) {
                if (languageOfKey(it.key(), pv::Language::English) != language)
                    continue;
                shown.sets.insert(it.key(), it.value());
                shown.totalEur += it->eur;
                shown.cards = sumCounts(shown.cards, it->cards);
            }
        } else {
            shown = point;
        }
        if (data.firstBreakdownIndex < 0 && !shown.sets.isEmpty())
            data.firstBreakdownIndex = int(data.points.size());
        for (auto it = shown.sets.cbegin(); it != shown.sets.cend(); ++it) {
            double &peak = peaks[it.key()];
            peak = std::max(peak, it->eur);
        }
        data.points.append(std::move(shown));
    }
    data.title = languageScope ? tr("Value history - %1").arg(languageDisplayName(language))
                               : tr("Collection value history");

    if (data.firstBreakdownIndex < 0)
        return data;

    const QStringList keys = rankedKeys(peaks, sets);
    const bool withLanguage = scope.mode == ChartScope::Collection;
    const int named = std::min<int>(int(keys.size()), kMaxSetSeries);
    for (int i = 0; i < named; ++i) {
        Series series;
        series.key = keys.at(i);
        series.label = setLabel(sets, series.key, withLanguage);
        series.values.reserve(data.points.size());
        for (const HistoryPoint &point : std::as_const(data.points))
            series.values.append(eurOf(point, series.key));
        series.latestEur = series.values.isEmpty() ? 0.0 : series.values.constLast();
        data.series.append(std::move(series));
    }
    if (keys.size() > kMaxSetSeries) {
        Series other;
        other.label = tr("Other (%n set(s))", int(keys.size()) - kMaxSetSeries);
        other.values.reserve(data.points.size());
        for (const HistoryPoint &point : std::as_const(data.points)) {
            double sum = 0.0;
            for (int i = kMaxSetSeries; i < keys.size(); ++i)
                sum += eurOf(point, keys.at(i));
            other.values.append(sum);
        }
        other.latestEur = other.values.isEmpty() ? 0.0 : other.values.constLast();
        data.series.append(std::move(other));
    }
    return data;
}

} // namespace pv::ValueHistory
