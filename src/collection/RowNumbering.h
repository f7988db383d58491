#pragma once

#include <QList>
#include <QtGlobal>

#include <utility>
#include <vector>

namespace pv {

// Follows the rows that a series of steps named through the rows inserted
// and removed among them, each step numbering its row as the rows stood
// when it was taken: at the end it tells the rows removed as numbered before
// the first step, and the rows inserted and marked as numbered after the
// last. Once a row has moved, each step costs in proportion to the
// logarithm of the steps taken, not to the rows between, so a batch of many
// thousand steps is followed in a few milliseconds.
class RowNumbering
{
public:
    enum Mark : quint8 { Updated = 0x1, Edited = 0x2 };

    // Room for so many steps is made once a row moves.
    explicit RowNumbering(size_t steps = 0);

    // A new row at the row, the later ones moving down.
    void insert(int row);
    // The row taken out, the later ones moving up.
    void remove(int row);
    // The row given new values (Updated) or replaced (Edited); it keeps the
    // mark while it stays. A negative row, named nowhere, is told as it is.
    void mark(int row, Mark mark);

    // The rows removed that were there before the first step, numbered as
    // then, ascending.
    QList<int> removed() const;
    // The rows inserted that stayed, and the rows marked Updated and Edited
    // that stayed, numbered as after the last step, each ascending.
    struct After
    {
        QList<int> inserted;
        QList<int> updated;
        QList<int> edited;
    };
    After after() const;

private:
    // A run of rows that stood next to each other before the first step
    // (first is the number of the first of them then), or one row inserted
    // since (first is -1), in a tree ordered by the rows' places and
    // balanced by random priorities.
    struct Run
    {
        int left = -1;
        int right = -1;
        quint32 priority = 0;
        quint8 marks = 0;
        qint64 first = -1;
        qint64 length = 1;
        // The rows of the run and its subtrees.
        qint64 rows = 1;
    };
    int addRun(qint64 first, qint64 length);
    qint64 rowsUnder(int run) const { return run < 0 ? 0 : m_runs[size_t(run)].rows; }
    void count(int run);
    // The rows before the place, and those from it on; a run spanning the
    // place is cut in two.
    std::pair<int, int> split(int run, qint64 place);
    int merge(int left, int right);
    // Takes the run of the one row at the place out of the tree: the runs
    // before and after it, and it.
    struct Taken
    {
        int before = -1;
        int row = -1;
        int after = -1;
    };
    Taken take(int row);
    // The first row inserted or removed: the rows marked so far are
    // followed in the tree from then on.
    void startMoving();

    std::vector<Run> m_runs;
    int m_root = -1;
    quint32 m_seed = 0x9e3779b9u;
    size_t m_steps = 0;
    bool m_moving = false;
    QList<int> m_removed;
    // Rows marked as they were named: those with a negative number, and
    // every one while no row has moved (a refresh or a fill of many
    // thousand rows moves none).
    QList<int> m_updated;
    QList<int> m_edited;
};

} // namespace pv
