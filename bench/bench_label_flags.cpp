// Marks 5,000 holdings of a 50,000-holding collection for the label sheet and
// takes the marks off again (the "Add to labels" command and its undo).
// Target: under 100 ms each. Exits with 1 when a target is missed.
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "collection/SetPrintLabelsCommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <optional>

using namespace pv;

namespace {

constexpr int holdingCount = 50000;
constexpr int markedCount = 5000;
constexpr qint64 targetMs = 100;

bool report(const char *what, qint64 ms)
{
    const bool ok = ms < targetMs;
    std::printf("%-40s %6lld ms  (target < %lld ms) %s\n", what, static_cast<long long>(ms),
                static_cast<long long>(targetMs), ok ? "ok" : "MISSED");
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

    SetPrintLabelsCommand command(&collection, keys, true, QStringLiteral("Add to labels"));
    QElapsedTimer clock;
    clock.start();
    command.redo();
    bool ok = report("mark 5,000 of 50,000 holdings", clock.elapsed());
    clock.restart();
    command.undo();
    ok = report("undo the marks", clock.elapsed()) && ok;
    return ok ? 0 : 1;
}
