#include "TestRegistry.h"

#include "collection/RowNumbering.h"

#include <QHash>
#include <QRandomGenerator>
#include <QTest>

using namespace pv;

class RowNumberingTest : public QObject
{
    Q_OBJECT

private slots:
    // Steps anywhere among the rows, in any mix, taken on a numbering and on
    // a plain list of the rows (each named by its number before the first
    // step, or once inserted by a name of its own): rows inserted and then
    // removed, rows marked and then removed, rows removed after rows were
    // inserted before them, and rounds that only mark rows, as a refresh.
    void followsAnyStepsAsAListOfTheRowsDoes()
    {
        constexpr int NewRow = 1 << 24;
        QRandomGenerator random(11);
        for (int round = 0; round < 400; ++round) {
            const int before = int(random.bounded(60));
            QList<int> held;
            for (int row = 0; row < before; ++row)
                held.append(row);
            QHash<int, quint8> marks;
            RowNumbering numbering;
            // Some rounds mostly remove, some mostly insert, some only mark.
            const int removing = int(random.bounded(4));
            const bool moving = round % 5 != 0;
            const int steps = int(random.bounded(1, 120));
            for (int step = 0, added = 0; step < steps; ++step) {
                const int size = int(held.size());
                const int kind = int(random.bounded(6));
                if (moving && (size == 0 || kind == 0 || (kind > removing && kind < 4))) {
                    const int row = int(random.bounded(size + 1));
                    numbering.insert(row);
                    held.insert(row, NewRow + added++);
                } else if (size == 0) {
                    continue;
                } else if (moving && kind <= removing) {
                    const int row = int(random.bounded(size));
                    numbering.remove(row);
                    marks.remove(held.takeAt(row));
                } else {
                    const int row = int(random.bounded(size));
                    const RowNumbering::Mark mark = kind % 2 ? RowNumbering::Updated : RowNumbering::Edited;
                    numbering.mark(row, mark);
                    marks[held.at(row)] |= mark;
                }
            }
            QList<int> removed;
            for (int row = 0; row < before; ++row)
                if (!held.contains(row))
                    removed.append(row);
            RowNumbering::After after;
            for (int row = 0; row < held.size(); ++row) {
                if (held.at(row) >= NewRow)
                    after.inserted.append(row);
                if (marks.value(held.at(row)) & RowNumbering::Updated)
                    after.updated.append(row);
                if (marks.value(held.at(row)) & RowNumbering::Edited)
                    after.edited.append(row);
            }
            const RowNumbering::After told = numbering.after();
            QVERIFY2(numbering.removed() == removed && told.inserted == after.inserted
                         && told.updated == after.updated && told.edited == after.edited,
                     qPrintable(QStringLiteral("round %1").arg(round)));
        }
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
