#include "TestRegistry.h"

#include "collection/RowNumbering.h"

#include <QHash>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

using namespace pv;

namespace {

// The same steps taken on a numbering and on a plain list of the rows, each
// row named by what it held before the first step (or, once inserted, by a
// name of its own), to tell what the numbering should answer.
struct Replay
{
    explicit Replay(int rows)
        : before(rows)
    {
        for (int row = 0; row < rows; ++row)
            held.append(row);
    }

    void insert(int row)
    {
        numbering.insert(row);
        held.insert(row, NewRow + added++);
    }
    void remove(int row)
    {
        numbering.remove(row);
        marks.remove(held.at(row));
        held.removeAt(row);
    }
    void mark(int row, RowNumbering::Mark mark)
    {
        numbering.mark(row, mark);
        marks[held.at(row)] |= mark;
    }

    QList<int> removedBefore() const
    {
        QList<int> removed;
        for (int row = 0; row < before; ++row)
            if (!held.contains(row))
                removed.append(row);
        return removed;
    }
    QList<int> after(const std::function<bool(int)> &named) const
    {
        QList<int> rows;
        for (int row = 0; row < held.size(); ++row)
            if (named(held.at(row)))
                rows.append(row);
        return rows;
    }
    // Whether the numbering tells what the list shows, with what differs.
    bool agrees(QString *differs) const
    {
        const RowNumbering::After told = numbering.after();
        const auto marked = [this](RowNumbering::Mark mark) {
            return [this, mark](int name) { return (marks.value(name) & mark) != 0; };
        };
        const QList<std::pair<QList<int>, QList<int>>> lists{
            {numbering.removed(), removedBefore()},
            {told.inserted, after([](int name) { return name >= NewRow; })},
            {told.updated, after(marked(RowNumbering::Updated))},
            {told.edited, after(marked(RowNumbering::Edited))},
        };
        const char *names[] = {"removed", "inserted", "updated", "edited"};
        for (qsizetype at = 0; at < lists.size(); ++at) {
            if (lists.at(at).first != lists.at(at).second) {
                QStringList told;
                for (const int row : lists.at(at).first.mid(0, 20))
                    told.append(QString::number(row));
                *differs = QStringLiteral("%1: %2").arg(QLatin1String(names[at]), told.join(QLatin1Char(' ')));
                return false;
            }
        }
        return true;
    }

    static constexpr int NewRow = 1 << 24;
    int before = 0;
    int added = 0;
    RowNumbering numbering;
    QList<int> held;
    QHash<int, quint8> marks;
};

} // namespace

class RowNumberingTest : public QObject
{
    Q_OBJECT

private slots:
    // Steps anywhere among the rows, in any mix: rows inserted and then
    // removed, rows marked and then removed, rows removed after rows were
    // inserted before them.
    void followsAnyStepsAsAListOfTheRowsDoes()
    {
        QRandomGenerator random(11);
        for (int round = 0; round < 300; ++round) {
            const int rows = int(random.bounded(60));
            Replay replay(rows);
            // Some rounds mostly remove, some mostly insert.
            const int removing = int(random.bounded(1, 4));
            const int steps = int(random.bounded(1, 120));
            for (int step = 0; step < steps; ++step) {
                const int size = int(replay.held.size());
                const int kind = int(random.bounded(6));
                if (size == 0 || kind == 0 || (kind > removing && kind < 4)) {
                    replay.insert(int(random.bounded(size + 1)));
                    continue;
                }
                const int row = int(random.bounded(size));
                if (kind <= removing)
                    replay.remove(row);
                else
                    replay.mark(row, kind == 4 ? RowNumbering::Updated : RowNumbering::Edited);
            }
            QString differs;
            QVERIFY2(replay.agrees(&differs), qPrintable(QStringLiteral("round %1, %2").arg(round).arg(differs)));
        }
    }

    // Long runs at either end and in one place, as a command removing or
    // adding many holdings takes them.
    void followsLongRunsOfSteps()
    {
        QString differs;
        Replay fromTheEnd(3000);
        for (int row = 2999; row >= 1000; row -= 2)
            fromTheEnd.remove(row);
        QVERIFY2(fromTheEnd.agrees(&differs), qPrintable(differs));

        Replay atTheFront(3000);
        for (int step = 0; step < 2000; ++step)
            atTheFront.remove(step % 3 ? 0 : 17);
        QVERIFY2(atTheFront.agrees(&differs), qPrintable(differs));

        Replay added(100);
        for (int step = 0; step < 2000; ++step)
            added.insert(step % 5 ? int(added.held.size()) : 50);
        for (int row = 40; row < 60; ++row)
            added.mark(row, RowNumbering::Edited);
        for (int step = 0; step < 500; ++step)
            added.remove(45);
        QVERIFY2(added.agrees(&differs), qPrintable(differs));

        // A refresh or a fill marks rows and moves none.
        Replay marked(5000);
        for (int step = 0; step < 3000; ++step)
            marked.mark((step * 7919) % 5000, step % 3 ? RowNumbering::Updated : RowNumbering::Edited);
        QVERIFY2(marked.agrees(&differs), qPrintable(differs));
    }

    void tellsRowsNamedNowhereAsTheyStand()
    {
        RowNumbering numbering;
        numbering.mark(-1, RowNumbering::Updated);
        numbering.mark(-1, RowNumbering::Updated);
        numbering.mark(3, RowNumbering::Updated);
        numbering.insert(-2);
        numbering.remove(-2);
        numbering.insert(0);
        QCOMPARE(numbering.after().updated, (QList<int>{-1, 4}));
        QCOMPARE(numbering.after().inserted, QList<int>{0});
        QVERIFY(numbering.removed().isEmpty());
    }
};

PV_REGISTER_TEST(RowNumberingTest)
#include "RowNumberingTest.moc"
