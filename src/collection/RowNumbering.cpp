#include "collection/RowNumbering.h"

#include <algorithm>
#include <utility>

namespace pv {

namespace {

// More rows than any collection holds: the rows before the first step, of
// which the steps name the first few.
constexpr qint64 RowsBefore = qint64(1) << 40;

} // namespace

RowNumbering::RowNumbering(size_t steps)
    : m_steps(steps)
{
    m_root = addRun(0, RowsBefore);
}

int RowNumbering::addRun(qint64 first, qint64 length)
{
    // xorshift: priorities need only look random to keep the tree shallow.
    m_seed ^= m_seed << 13;
    m_seed ^= m_seed >> 17;
    m_seed ^= m_seed << 5;
    Run run;
    run.priority = m_seed;
    run.first = first;
    run.length = length;
    run.rows = length;
    m_runs.push_back(run);
    return int(m_runs.size() - 1);
}

void RowNumbering::count(int run)
{
    Run &at = m_runs[size_t(run)];
    at.rows = rowsUnder(at.left) + at.length + rowsUnder(at.right);
}

std::pair<int, int> RowNumbering::split(int run, qint64 place)
{
    if (run < 0)
        return {-1, -1};
    const qint64 before = rowsUnder(m_runs[size_t(run)].left);
    const qint64 length = m_runs[size_t(run)].length;
    if (place <= before) {
        const auto [left, right] = split(m_runs[size_t(run)].left, place);
        m_runs[size_t(run)].left = right;
        count(run);
        return {left, run};
    }
    if (place >= before + length) {
        const auto [left, right] = split(m_runs[size_t(run)].right, place - before - length);
        m_runs[size_t(run)].right = left;
        count(run);
        return {run, right};
    }
    // The place falls inside the run (only a run of rows there before can
    // be longer than one): its rows from the place on make a run of their own.
    const qint64 kept = place - before;
    const int rest = addRun(m_runs[size_t(run)].first + kept, length - kept);
    Run &cut = m_runs[size_t(run)];
    cut.length = kept;
    const int after = cut.right;
    cut.right = -1;
    count(run);
    return {run, merge(rest, after)};
}

int RowNumbering::merge(int left, int right)
{
    if (left < 0)
        return right;
    if (right < 0)
        return left;
    if (m_runs[size_t(left)].priority >= m_runs[size_t(right)].priority) {
        const int merged = merge(m_runs[size_t(left)].right, right);
        m_runs[size_t(left)].right = merged;
        count(left);
        return left;
    }
    const int merged = merge(left, m_runs[size_t(right)].left);
    m_runs[size_t(right)].left = merged;
    count(right);
    return right;
}

RowNumbering::Taken RowNumbering::take(int row)
{
    Taken taken;
    const auto [before, from] = split(m_root, row);
    const auto [one, after] = split(from, 1);
    taken.before = before;
    taken.row = one;
    taken.after = after;
    return taken;
}

void RowNumbering::insert(int row)
{
    if (row < 0)
        return;
    startMoving();
    const auto [before, after] = split(m_root, row);
    const int added = addRun(-1, 1);
    m_root = merge(merge(before, added), after);
}

void RowNumbering::remove(int row)
{
    if (row < 0)
        return;
    startMoving();
    const Taken taken = take(row);
    const qint64 first = m_runs[size_t(taken.row)].first;
    if (first >= 0)
        m_removed.append(int(first));
    m_root = merge(taken.before, taken.after);
}

void RowNumbering::mark(int row, Mark mark)
{
    if (row < 0 || !m_moving) {
        (mark == Updated ? m_updated : m_edited).append(row);
        return;
    }
    const Taken taken = take(row);
    m_runs[size_t(taken.row)].marks |= mark;
    m_root = merge(merge(taken.before, taken.row), taken.after);
}

void RowNumbering::startMoving()
{
    if (m_moving)
        return;
    m_moving = true;
    // A step adds two runs at most.
    m_runs.reserve(2 * m_steps + 1);
    // The rows marked so far are followed from here on.
    for (const Mark mark : {Updated, Edited}) {
        QList<int> &rows = mark == Updated ? m_updated : m_edited;
        const QList<int> marked = std::exchange(rows, {});
        for (const int row : marked)
            this->mark(row, mark);
    }
}

QList<int> RowNumbering::removed() const
{
    QList<int> rows = m_removed;
    std::sort(rows.begin(), rows.end());
    return rows;
}

RowNumbering::After RowNumbering::after() const
{
    const auto ascending = [](QList<int> rows) {
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    };
    After rows;
    rows.updated = ascending(m_updated);
    rows.edited = ascending(m_edited);
    if (!m_moving)
        return rows;
    // The runs in the rows' order, each one's place the rows before it.
    std::vector<int> path;
    qint64 place = 0;
    int run = m_root;
    while (run >= 0 || !path.empty()) {
        for (; run >= 0; run = m_runs[size_t(run)].left)
            path.push_back(run);
        run = path.back();
        path.pop_back();
        const Run &at = m_runs[size_t(run)];
        if (at.first < 0)
            rows.inserted.append(int(place));
        if (at.marks & Updated)
            rows.updated.append(int(place));
        if (at.marks & Edited)
            rows.edited.append(int(place));
        place += at.length;
        run = at.right;
    }
    return rows;
}

} // namespace pv
