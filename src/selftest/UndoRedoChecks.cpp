#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/DuplicateEntryCommand.h"
#include "collection/EditEntryCommand.h"
#include "collection/EntryKeys.h"
#include "collection/RemoveEntryCommand.h"

#include <QtGlobal>

namespace pv::selftest {

namespace {

// Values are compared shifted by one so that two zeros compare equal.
bool samePrice(double a, double b)
{
    return qFuzzyCompare(a + 1.0, b + 1.0);
}

bool sameEntries(const QList<CardEntry> &a, const QList<CardEntry> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const CardEntry &x = a.at(i);
        const CardEntry &y = b.at(i);
        if (entryKey(x) != entryKey(y) || x.count != y.count || !samePrice(x.unitValueEur, y.unitValueEur)
            || !samePrice(x.unitValueUsd, y.unitValueUsd) || x.notes != y.notes)
            return false;
    }
    return true;
}

void fill(Collection &collection, const QList<CardEntry> &entries)
{
    for (const CardEntry &entry : entries)
        collection.addEntry(entry);
}

CardEntry withCondition(CardEntry entry, int condition)
{
    entry.condition = Condition(condition);
    return entry;
}

void mergeOnAdd()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 2, 5.0), makeTestEntry(QStringLiteral("002"), 1, 1, 3.0)});
    const QList<CardEntry> snapshot = c.entries();
    AddCardsCommand add(&c, {makeTestEntry(QStringLiteral("001"), 1, 1, 9.0)}, {});
    const auto merged = [&c] {
        return c.entries().size() == 2 && c.entries().at(0).count == 3
            && qFuzzyCompare(c.entries().at(0).unitValueEur, 9.0);
    };
    add.redo();
    check(merged(), QStringLiteral("adding a duplicate line merges its count and takes its price"));
    add.undo();
    check(sameEntries(c.entries(), snapshot), QStringLiteral("undoing the add restores the old count and the old price"));
    add.redo();
    check(merged(), QStringLiteral("redoing the add merges it back the same way"));
}

void append()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 1, 5.0)});
    const QList<CardEntry> snapshot = c.entries();
    AddCardsCommand add(&c, {makeTestEntry(QStringLiteral("003"), 2, 4, 2.0)}, {});
    add.redo();
    check(c.entries().size() == 2, QStringLiteral("a new line is appended"));
    add.undo();
    check(sameEntries(c.entries(), snapshot), QStringLiteral("undoing it takes the new line away again"));
}

void foldOnEdit()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 2, 5.0), makeTestEntry(QStringLiteral("001"), 3, 3, 1.0),
             makeTestEntry(QStringLiteral("002"), 1, 1, 3.0)});
    const QList<CardEntry> snapshot = c.entries();
    EditEntryCommand edit(&c, 1, withCondition(c.entries().at(1), 1));
    const auto folded = [&c] { return c.entries().size() == 2 && c.entries().at(0).count == 5; };
    edit.redo();
    check(folded(), QStringLiteral("an edit onto an existing identity folds the two lines"));
    edit.undo();
    check(sameEntries(c.entries(), snapshot),
          QStringLiteral("undoing the fold splits the lines apart at their old counts"));
    edit.redo();
    check(folded(), QStringLiteral("redoing the fold folds them again"));
}

void plainEdit()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 2, 5.0)});
    const QList<CardEntry> snapshot = c.entries();
    CardEntry edited = c.entries().at(0);
    edited.count = 7;
    edited.notes = QStringLiteral("second copy is signed");
    EditEntryCommand edit(&c, 0, edited);
    edit.redo();
    check(!c.entries().isEmpty() && c.entries().at(0).count == 7, QStringLiteral("a plain edit is applied in place"));
    edit.undo();
    check(sameEntries(c.entries(), snapshot), QStringLiteral("undoing a plain edit restores the whole line"));
}

void remove()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 1, 5.0), makeTestEntry(QStringLiteral("002"), 1, 2, 3.0),
             makeTestEntry(QStringLiteral("003"), 1, 3, 1.0)});
    const QList<CardEntry> snapshot = c.entries();
    RemoveEntryCommand removal(&c, 1);
    removal.redo();
    check(c.entries().size() == 2, QStringLiteral("removing a line takes it out of the document"));
    removal.undo();
    check(sameEntries(c.entries(), snapshot),
          QStringLiteral("undoing the removal puts the line back at its old position"));
}

void duplicate()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 2, 5.0), makeTestEntry(QStringLiteral("002"), 1, 1, 3.0)});
    const QList<CardEntry> snapshot = c.entries();
    const CardEntry source = c.entries().at(0);
    CardEntry copy = withCondition(source, 3);
    copy.count = 1;
    QString focus = entryKey(source);
    DuplicateEntryCommand dup(&c, source, copy, &focus);
    const auto inserted = [&c] {
        return c.entries().size() == 3 && c.entries().at(1).condition == Condition(3);
    };
    dup.redo();
    check(inserted() && c.entries().at(1).count == 1,
          QStringLiteral("a duplicate is inserted right after the line it came from"));
    check(!c.entries().isEmpty() && c.entries().at(0).count == 2,
          QStringLiteral("duplicating leaves the source line alone"));
    check(focus == entryKey(copy), QStringLiteral("the new line is the one selected afterwards"));
    dup.undo();
    check(sameEntries(c.entries(), snapshot), QStringLiteral("undoing the duplicate takes the new line away again"));
    check(focus == entryKey(source), QStringLiteral("undoing it puts the cursor back on the source line"));
    dup.redo();
    check(inserted(), QStringLiteral("redoing the duplicate puts it back in the same place"));
}

void refusedDuplicate()
{
    Collection c;
    fill(c, {makeTestEntry(QStringLiteral("001"), 1, 2, 5.0), makeTestEntry(QStringLiteral("001"), 3, 3, 1.0)});
    const QList<CardEntry> snapshot = c.entries();
    const CardEntry source = c.entries().at(0);
    DuplicateEntryCommand dup(&c, source, withCondition(source, 3));
    dup.redo();
    check(sameEntries(c.entries(), snapshot),
          QStringLiteral("a duplicate that would collide is refused rather than merged"));
    dup.undo();
    check(sameEntries(c.entries(), snapshot),
          QStringLiteral("undoing a refused duplicate leaves the colliding line alone"));
}

void batchedAdd()
{
    Collection c;
    int emissions = 0;
    QObject::connect(&c, &Collection::changed, [&emissions] { countEmission(emissions); });
    AddCardsCommand add(&c,
                        {makeTestEntry(QStringLiteral("001"), 1, 1, 1.0), makeTestEntry(QStringLiteral("002"), 1, 1, 1.0),
                         makeTestEntry(QStringLiteral("003"), 1, 1, 1.0)},
                        {});
    add.redo();
    check(emissions == 1, QStringLiteral("a multi-line add rebuilds the views once, not once per line"));
    check(c.isDirty(), QStringLiteral("a batched change still dirties the document"));
}

} // namespace

void testUndoRedo()
{
    mergeOnAdd();
    append();
    foldOnEdit();
    plainEdit();
    remove();
    duplicate();
    refusedDuplicate();
    batchedAdd();
}

} // namespace pv::selftest
