// Marks 5,000 holdings of a 50,000-holding collection for the label sheet and
// takes the marks off again (the "Add to labels" command and its undo).
// Target: under 100 ms each (medians of several runs, the machine's load
// printed beside them). Exits with 1 when a target is missed.
#include "CatalogBenchSupport.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "collection/SetPrintLabelsCommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace pv;

namespace {

constexpr int holdingCount = 50000;
constexpr int markedCount = 5000;
constexpr double targetMs = 100.0;
// A single run is at the mercy of whatever else the machine does.
constexpr int runs = 5;

bool report(const char *what, const std::vector<double> &ms)
{
    const double median = bench::median(ms);
    const bool ok = median < targetMs;
    std::printf("%-40s %6.1f ms  (median of %zu, %.1f-%.1f; target < %.0f ms) %s\n", what, median, ms.size(),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()), targetMs,
                ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));
    QList<CardEntry> entries;
    entries.reserve(holdingCount);
    for (int i = 0; i < holdingCount; ++i) {
        CardEntry e;
        e.cardId = QStringLiteral("sv03-%1").arg(i);
        e.setId = QStringLiteral("sv03");
        e.localId = QString::number(i);
        entries.append(e);
    }
    Collection collection;
    collection.replaceContents(entries, {}, {}, {}, std::nullopt);
    QStringList keys;
    for (int i = 0; i < markedCount; ++i)
        keys.append(entryKey(entries.at(holdingCount - 1 - i * 10)));

    std::printf("load average: %s\n", bench::loadAverage().constData());
    SetPrintLabelsCommand command(&collection, keys, true, QStringLiteral("Add to labels"));
    std::vector<double> marked;
    std::vector<double> undone;
    QElapsedTimer clock;
    for (int run = 0; run < runs; ++run) {
        clock.start();
        command.redo();
        marked.push_back(double(clock.nsecsElapsed()) / 1.0e6);
        clock.start();
        command.undo();
        undone.push_back(double(clock.nsecsElapsed()) / 1.0e6);
    }
    bool ok = report("mark 5,000 of 50,000 holdings", marked);
    ok = report("undo the marks", undone) && ok;
    std::printf("load average at the end: %s\n", bench::loadAverage().constData());
    return ok ? 0 : 1;
}
