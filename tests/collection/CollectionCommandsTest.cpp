#include "Fixtures.h"
#include "TestSupport.h"
#include "TestRegistry.h"

#include "collection/AddBinderCommand.h"
#include "collection/AddCardsCommand.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/DuplicateEntryCommand.h"
#include "collection/EditBinderCommand.h"
#include "collection/EditEntryCommand.h"
#include "collection/EntryKeys.h"
#include "collection/RemoveBinderCommand.h"
#include "collection/RemoveEntryCommand.h"
#include "collection/SetLabelStyleCommand.h"
#include "collection/SetPrintLabelsCommand.h"
#include "core/SteadyClock.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

using namespace pv;

namespace {

CardEntry card(const QString &id, Condition condition = Condition::NearMint, int count = 1, double price = 1.0)
{
    CardEntry e = test::numberedHolding(QStringLiteral("sv03"), id, count, price);
    e.condition = condition;
    e.unitValueUsd = price * 1.1;
    return e;
}

// The collection as the file writer puts it on disk, less the time of
// writing.
QByteArray written(const Collection &collection, const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("state.tmk"));
    QString error;
    if (!CollectionSerializer::write(path, collection, &error))
        qFatal("write failed: %s", qPrintable(error));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read back %s", qPrintable(path));
    static const QRegularExpression savedAt(QStringLiteral("\"savedAt\"\\s*:\\s*\"[^\"]*\""));
    return QString::fromUtf8(file.readAll()).remove(savedAt).toUtf8();
}

// One holding and the stack its edits go on.
struct OneHolding
{
    Collection c;
    QUndoStack stack;

    OneHolding() { c.addEntry(card(QStringLiteral("a"))); }
    int count() const { return c.entries().at(0).count; }
    void setCount(int count)
    {
        CardEntry e = c.entries().at(0);
        e.count = count;
        stack.push(new EditEntryCommand(&c, 0, e));
    }
};

// Builds random commands against the collection's current state.
class CommandMaker
{
public:
    CommandMaker(Collection *collection, quint32 seed) : m_c(collection), m_random(seed) {}

    QUndoCommand *next()
    {
        const int rows = int(m_c->entries().size());
        switch (m_random.bounded(10)) {
        case 0:
        case 1:
            return addCards();
        case 2:
        case 3:
            if (rows > 0)
                return edit(m_random.bounded(rows));
            return addCards();
        case 4:
            if (rows > 0)
                return duplicate(m_random.bounded(rows));
            return addCards();
        case 5:
            return new RemoveEntryCommand(m_c, m_random.bounded(rows + 1) - (rows > 0 ? 0 : 1), &m_focus);
        case 6:
            return binderCommand();
        case 7:
            return labelStyle();
        default:
            return printLabels();
        }
    }

private:
    Condition anyCondition() { return Condition(m_random.bounded(3)); }
    QString anyId() { return QStringLiteral("c%1").arg(m_random.bounded(6)); }

    QUndoCommand *addCards()
    {
        QList<CardEntry> lines;
        const int n = 1 + m_random.bounded(3);
        for (int i = 0; i < n; ++i) {
            const double price = m_random.bounded(3) == 0 ? 0.0 : m_random.bounded(100) / 4.0;
            lines.append(card(anyId(), anyCondition(), m_random.bounded(4), price));
        }
        QList<SetRecord> sets;
        if (m_random.bounded(2) == 0) {
            SetRecord set;
            set.id = QStringLiteral("sv0%1").arg(m_random.bounded(4));
            set.name = QStringLiteral("Set %1").arg(m_random.bounded(1000));
            set.officialCardCount = m_random.bounded(3) * 100;
            sets.append(set);
        }
        return new AddCardsCommand(m_c, lines, sets, &m_focus);
    }

    QUndoCommand *edit(int row)
    {
        CardEntry after = m_c->entries().at(row);
        switch (m_random.bounded(4)) {
        case 0: after.count = m_random.bounded(5); break;
        case 1: after.notes = QStringLiteral("note %1").arg(m_random.bounded(3)); break;
        case 2: after.condition = anyCondition(); break;  // may fold into another holding
        default: after.customPriceEur = m_random.bounded(3); break;
        }
        return new EditEntryCommand(m_c, row, after, &m_focus);
    }

    QUndoCommand *duplicate(int row)
    {
        const CardEntry source = m_c->entries().at(row);
        CardEntry copy = source;
        copy.condition = anyCondition();
        copy.count = m_random.bounded(3);
        return new DuplicateEntryCommand(m_c, source, copy, &m_focus);
    }

    QUndoCommand *binderCommand()
    {
        const QList<Binder> &binders = m_c->binders();
        const int choice = m_random.bounded(3);
        if (choice == 0 || binders.isEmpty()) {
            Binder binder = newBinder(QStringLiteral("Binder %1").arg(m_random.bounded(100)), Language::English);
            binder.topValue = m_random.bounded(2) * 9;
            return new AddBinderCommand(m_c, binder);
        }
        const Binder &existing = binders.at(m_random.bounded(int(binders.size())));
        if (choice == 1) {
            Binder after = existing;
            after.name += QStringLiteral("+");
            after.columns = 1 + m_random.bounded(5);
            after.hiddenRarities = {QStringLiteral("Common")};
            return new EditBinderCommand(m_c, existing, after);
        }
        return new RemoveBinderCommand(m_c, m_random.bounded(4) == 0 ? QStringLiteral("no-such-id") : existing.id);
    }

    QUndoCommand *labelStyle()
    {
        std::optional<LabelStyle> after;
        if (m_random.bounded(4) != 0) {
            LabelStyle style;
            style.textPointSize = 3 + m_random.bounded(10);
            style.showYear = m_random.bounded(2) == 0;
            after = style;
        }
        return new SetLabelStyleCommand(m_c, m_c->labelStyle(), after);
    }

    QUndoCommand *printLabels()
    {
        QStringList keys;
        for (const CardEntry &entry : m_c->entries()) {
            if (m_random.bounded(2) == 0)
                keys.append(entryKey(entry));
        }
        if (m_random.bounded(3) == 0)
            keys.append(QStringLiteral("en|gone|normal|unlimited|NearMint|None|"));
        return new SetPrintLabelsCommand(m_c, keys, m_random.bounded(2) == 0, QStringLiteral("labels"), &m_focus);
    }

    Collection *m_c;
    QRandomGenerator m_random;
    QString m_focus;
};

} // namespace

class CollectionCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    // Merge windows are measured on a clock the tests move by hand.
    void init() { SteadyClock::useManualTime(); }
    void cleanup() { SteadyClock::useRealTime(); }

    // Every state a long random run passes through comes back, byte for byte
    // in the written file, when the stack is undone to the start and redone
    // to the end, with undos and new pushes mixed in along the way.
    void randomRunUndoesAndRedoesExactly()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const quint32 seed : {1u, 7u, 20261207u}) {
            Collection collection;
            QUndoStack stack;
            CommandMaker maker(&collection, seed);
            QRandomGenerator random(seed ^ 0x5a5a5a5au);
            QList<QByteArray> states = {written(collection, dir)};

            for (int step = 0; step < 400; ++step) {
                if (stack.index() > 0 && random.bounded(8) == 0) {
                    stack.undo();
                    QCOMPARE(written(collection, dir), states.at(stack.index()));
                    continue;
                }
                stack.push(maker.next());
                // A merged or obsolete edit leaves the index where it was or
                // takes it back; the state at that index is what is now shown.
                states.resize(stack.index() + 1);
                states[stack.index()] = written(collection, dir);
            }
            QVERIFY(stack.count() > 150);

            while (stack.canUndo()) {
                stack.undo();
                QCOMPARE(written(collection, dir), states.at(stack.index()));
            }
            QCOMPARE(written(collection, dir), states.first());
            while (stack.canRedo()) {
                stack.redo();
                QCOMPARE(written(collection, dir), states.at(stack.index()));
            }
            QCOMPARE(stack.index(), int(states.size()) - 1);
        }
    }

    void quickEditsOfOneHoldingMerge()
    {
        OneHolding h;
        h.setCount(2);
        h.setCount(3);
        QCOMPARE(h.stack.count(), 1);
        QCOMPARE(h.count(), 3);
        h.stack.undo();
        QCOMPARE(h.count(), 1);
    }

    void editsFurtherApartThanTheWindowStaySeparate()
    {
        OneHolding h;
        h.setCount(2);
        SteadyClock::advance(EditEntryCommand::MergeWindowMs);
        h.setCount(3); // still inside the window
        SteadyClock::advance(EditEntryCommand::MergeWindowMs + 1);
        h.setCount(4);
        QCOMPARE(h.stack.count(), 2);
        h.stack.undo();
        QCOMPARE(h.count(), 3);
    }

    // A merge restarts the window: each edit only needs to follow the
    // previous one closely, not the first.
    void theWindowRunsFromTheLastAbsorbedEdit()
    {
        OneHolding h;
        for (int count = 2; count <= 5; ++count) {
            h.setCount(count);
            SteadyClock::advance(EditEntryCommand::MergeWindowMs - 1);
        }
        QCOMPARE(h.stack.count(), 1);
    }

    void anEditBackToTheStartLeavesNoStep()
    {
        Collection c;
        c.addEntry(card(QStringLiteral("a")));
        QUndoStack stack;
        const CardEntry original = c.entries().at(0);
        CardEntry e = original;
        e.notes = QStringLiteral("signed");
        stack.push(new EditEntryCommand(&c, 0, e));
        stack.push(new EditEntryCommand(&c, 0, original));
        QCOMPARE(stack.count(), 0);
        QCOMPARE(c.entries().at(0), original);
    }

    void foldingEditsNeverMerge()
    {
        Collection c;
        c.addEntry(card(QStringLiteral("a"), Condition::NearMint, 2));
        c.addEntry(card(QStringLiteral("a"), Condition::Excellent, 3));
        QUndoStack stack;
        CardEntry e = c.entries().at(1);
        e.condition = Condition::NearMint;
        stack.push(new EditEntryCommand(&c, 1, e));
        QCOMPARE(c.entries().size(), 1);
        QCOMPARE(c.entries().at(0).count, 5);
        CardEntry next = c.entries().at(0);
        next.notes = QStringLiteral("after the fold");
        stack.push(new EditEntryCommand(&c, 0, next));
        QCOMPARE(stack.count(), 2);
        stack.undo();
        stack.undo();
        QCOMPARE(c.entries().size(), 2);
        QCOMPARE(c.entries().at(1).condition, Condition::Excellent);
        QCOMPARE(c.entries().at(1).count, 3);
    }

    void editsOfAnotherCollectionDoNotMerge()
    {
        Collection a;
        Collection b;
        a.addEntry(card(QStringLiteral("x")));
        b.addEntry(card(QStringLiteral("x")));
        CardEntry e = a.entries().at(0);
        e.count = 4;
        EditEntryCommand first(&a, 0, e);
        EditEntryCommand second(&b, 0, e);
        QVERIFY(!first.mergeWith(&second));
    }

    // Two rows can share a key (a file may hold such lines). Commands act on
    // the row they were made for while it still holds the key.
    void commandsTakeTheRememberedRowAmongEqualKeys()
    {
        Collection c;
        CardEntry first = card(QStringLiteral("a"));
        first.notes = QStringLiteral("first");
        CardEntry second = first;
        second.notes = QStringLiteral("second");
        c.insertEntry(0, first);
        c.insertEntry(1, second);
        RemoveEntryCommand remove(&c, 1);
        remove.redo();
        QCOMPARE(c.entries().size(), 1);
        QCOMPARE(c.entries().at(0).notes, QStringLiteral("first"));
        remove.undo();
        QCOMPARE(c.entries().at(1).notes, QStringLiteral("second"));

        CardEntry edited = second;
        edited.condition = Condition::Mint; // a key no row has: no fold
        EditEntryCommand edit(&c, 1, edited);
        edit.redo();
        QCOMPARE(c.entries().at(0), first);
        QCOMPARE(c.entries().at(1), edited);
        edit.undo();
        QCOMPARE(c.entries().at(0), first);
        QCOMPARE(c.entries().at(1), second);
    }

    void removeFindsAMovedHoldingByKey()
    {
        Collection c;
        c.addEntry(card(QStringLiteral("a")));
        c.addEntry(card(QStringLiteral("b")));
        RemoveEntryCommand remove(&c, 1);
        c.removeEntryAt(0);  // "b" moves up to row 0
        remove.redo();
        QVERIFY(c.entries().isEmpty());
    }

    void commandsOnAnInvalidRowDoNothing()
    {
        Collection c;
        c.addEntry(card(QStringLiteral("a")));
        const QList<CardEntry> before = c.entries();
        RemoveEntryCommand remove(&c, 5);
        EditEntryCommand edit(&c, -1, card(QStringLiteral("b")));
        remove.redo();
        edit.redo();
        edit.undo();
        remove.undo();
        QCOMPARE(c.entries(), before);
        RemoveEntryCommand noCollection(nullptr, 0);
        noCollection.redo();
        noCollection.undo();
    }

    void addingOneCardTwiceInOneAdd()
    {
        Collection c;
        AddCardsCommand add(&c, {card(QStringLiteral("a"), Condition::NearMint, 2), card(QStringLiteral("a"))}, {});
        add.redo();
        QCOMPARE(c.entries().size(), 1);
        QCOMPARE(c.entries().at(0).count, 3);
        add.undo();
        QVERIFY(c.entries().isEmpty());
        add.redo();
        QCOMPARE(c.entries().at(0).count, 3);
    }

    void undoingAMergingAddRestoresPricesAndSets()
    {
        Collection c;
        CardEntry held = card(QStringLiteral("a"), Condition::NearMint, 2, 5.0);
        held.notes = QStringLiteral("mine");
        c.addEntry(held);
        SetRecord set;
        set.id = QStringLiteral("sv03");
        set.name = QStringLiteral("Old name");
        c.mergeSetInfo(set);
        const QList<CardEntry> entriesBefore = c.entries();
        const QHash<QString, SetRecord> setsBefore = c.sets();
        SetRecord renamed = set;
        renamed.name = QStringLiteral("New name");
        QString focus;
        AddCardsCommand add(&c, {card(QStringLiteral("a"), Condition::NearMint, 1, 9.0)}, {renamed}, &focus);
        QCOMPARE(add.text(), QStringLiteral("Add 1 card line(s)"));
        add.redo();
        QCOMPARE(c.entries().at(0).unitValueEur, 9.0);
        QCOMPARE(c.sets().value(setKey(Language::English, QStringLiteral("sv03"))).name, QStringLiteral("New name"));
        add.undo();
        QCOMPARE(c.entries(), entriesBefore);
        QCOMPARE(c.sets().size(), setsBefore.size());
        QCOMPARE(c.sets().value(setKey(Language::English, QStringLiteral("sv03"))).name, QStringLiteral("Old name"));
    }

    // What arrives after a command (prices, set sizes, binder settings)
    // survives undoing it and doing it again.
    void undoAndRedoBringBackTheLatestState()
    {
        Collection c;
        const auto reprice = [&c](const CardEntry &held, double value) {
            CardEntry updated = c.entries().at(c.indexOfEntry(entryKey(held)));
            updated.unitValueEur = value;
            c.replaceEntry(c.indexOfEntry(entryKey(held)), updated);
        };
        const auto priceOf = [&c](const CardEntry &held) {
            const int row = c.indexOfEntry(entryKey(held));
            return row < 0 ? -1.0 : c.entries().at(row).unitValueEur;
        };
        const CardEntry a = card(QStringLiteral("a"));
        const CardEntry b = card(QStringLiteral("b"));
        const CardEntry copy = card(QStringLiteral("a"), Condition::Excellent);
        AddCardsCommand add(&c, {a, card(QStringLiteral("a"), Condition::NearMint, 2), b}, {});
        add.redo();
        reprice(a, 7.0);
        SetRecord sized;
        sized.id = QStringLiteral("sv03");
        sized.officialCardCount = 197;
        c.mergeSetInfo(sized);
        add.undo();
        add.redo();
        QCOMPARE(c.entries().at(0).count, 3);
        QCOMPARE(priceOf(a), 7.0);
        QCOMPARE(c.sets().value(setKey(Language::English, QStringLiteral("sv03"))).officialCardCount, 197);

        RemoveEntryCommand remove(&c, c.indexOfEntry(entryKey(b)));
        DuplicateEntryCommand duplicate(&c, a, copy);
        remove.redo();
        remove.undo();
        duplicate.redo();
        reprice(b, 9.0);
        reprice(copy, 4.0);
        remove.redo();
        remove.undo();
        duplicate.undo();
        duplicate.redo();
        QCOMPARE(priceOf(b), 9.0);
        QCOMPARE(priceOf(copy), 4.0);

        Binder binder = newBinder(QStringLiteral("Stars"), Language::English);
        AddBinderCommand addBinder(&c, binder);
        addBinder.redo();
        RemoveBinderCommand removeBinder(&c, binder.id);
        binder.columns = 4;
        c.upsertBinder(binder);
        addBinder.undo();
        addBinder.redo();
        QCOMPARE(c.binders().value(0).columns, 4);
        removeBinder.redo();
        removeBinder.undo();
        binder.rows = 5;
        c.upsertBinder(binder);
        removeBinder.redo();
        removeBinder.undo();
        QCOMPARE(c.binders().value(0).rows, 5);
    }

    void holdingsBroughtBackTakeTheLatestFigures_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("remove undone") << 0;
        QTest::newRow("duplicate redone") << 1;
        QTest::newRow("add redone") << 2;
        QTest::newRow("grade edit undone") << 3;
    }

    // A holding a command brings back after prices were applied to its card
    // takes what they gave its printing, at its grade, and their date.
    void holdingsBroughtBackTakeTheLatestFigures()
    {
        QFETCH(int, command);
        test::setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_10"), 2.5);
        Collection c;
        const CardEntry plain = card(QStringLiteral("a"), Condition::NearMint, 1, 3.0);
        CardEntry graded = plain;
        graded.gradeCompany = GradingCompany::PSA;
        graded.gradeNote = QStringLiteral("10");
        CardEntry regraded = graded;
        regraded.gradeNote = QStringLiteral("9");
        c.addEntry(plain);
        QUndoStack stack;
        if (command == 0) {
            c.addEntry(graded);
            stack.push(new RemoveEntryCommand(&c, 1));
        } else if (command == 3) {
            c.addEntry(graded);
            stack.push(new EditEntryCommand(&c, 1, regraded));
        } else {
            stack.push(command == 1 ? static_cast<QUndoCommand *>(new DuplicateEntryCommand(&c, plain, graded))
                                    : new AddCardsCommand(&c, {graded}, {}));
            stack.undo();
        }
        const QString printing = printingKey(plain.variant, plain.edition);
        c.applyPrices(Language::English, plain.cardId, {{printing, 10.0}}, {{printing, 20.0}});
        command == 0 || command == 3 ? stack.undo() : stack.redo();
        const CardEntry back = c.entries().at(c.indexOfEntry(entryKey(graded)));
        test::setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_10"), QVariant());
        QCOMPARE(std::make_tuple(back.unitValueEur, back.unitValueUsd, back.priceUpdated),
                 std::make_tuple(25.0, 50.0, c.entries().at(c.indexOfEntry(entryKey(plain))).priceUpdated));
    }

    void undoingAnAddClearsTheFocusOnTheRemovedLine()
    {
        Collection c;
        QString focus = entryKey(card(QStringLiteral("a")));
        AddCardsCommand add(&c, {card(QStringLiteral("a"))}, {}, &focus);
        add.redo();
        add.undo();
        QVERIFY(focus.isEmpty());
    }

    void removeAndEditMoveTheFocus()
    {
        Collection c;
        c.addEntry(card(QStringLiteral("a")));
        c.addEntry(card(QStringLiteral("b")));
        QString focus = QStringLiteral("something");
        RemoveEntryCommand remove(&c, 1, &focus);
        QCOMPARE(remove.text(), QStringLiteral("Remove Card b (Near Mint (NM))"));
        remove.redo();
        QVERIFY(focus.isEmpty());
        remove.undo();
        QCOMPARE(focus, entryKey(card(QStringLiteral("b"))));

        CardEntry edited = c.entries().at(0);
        edited.condition = Condition::Mint;
        EditEntryCommand edit(&c, 0, edited, &focus);
        QCOMPARE(edit.text(), QStringLiteral("Edit Card a"));
        edit.redo();
        QCOMPARE(focus, entryKey(edited));
        edit.undo();
        QCOMPARE(focus, entryKey(card(QStringLiteral("a"))));
    }

    void printLabelsTouchesOnlyPresentHoldings()
    {
        Collection c;
        c.addEntry(card(QStringLiteral("a")));
        CardEntry b = card(QStringLiteral("b"));
        b.printLabel = true;
        c.addEntry(b);
        c.addEntry(card(QStringLiteral("c")));
        const QString gone = entryKey(card(QStringLiteral("gone")));
        SetPrintLabelsCommand cmd(&c, {entryKey(card(QStringLiteral("a"))), gone, entryKey(b)}, true,
                                  QStringLiteral("Add to labels"));
        QCOMPARE(cmd.text(), QStringLiteral("Add to labels"));
        cmd.redo();
        QVERIFY(c.entries().at(0).printLabel);
        QVERIFY(c.entries().at(1).printLabel);
        QVERIFY(!c.entries().at(2).printLabel);
        cmd.undo();
        QVERIFY(!c.entries().at(0).printLabel);
        QVERIFY(c.entries().at(1).printLabel);
        // A key that appears only after the first redo keeps the opposite of
        // the new flag as its old flag.
        c.addEntry(card(QStringLiteral("gone")));
        cmd.redo();
        QVERIFY(c.entries().at(3).printLabel);
        cmd.undo();
        QVERIFY(!c.entries().at(3).printLabel);
    }

    // The rows are looked up in one pass; among rows sharing a key the first
    // one is flagged, as a search by key would find it.
    void printLabelsFlagsTheFirstOfRowsSharingAKey()
    {
        Collection c;
        c.insertEntry(0, card(QStringLiteral("x")));
        c.insertEntry(1, card(QStringLiteral("a")));
        c.insertEntry(2, card(QStringLiteral("a")));
        SetPrintLabelsCommand cmd(&c, {entryKey(card(QStringLiteral("a")))}, true, QString());
        cmd.redo();
        QVERIFY(!c.entries().at(0).printLabel);
        QVERIFY(c.entries().at(1).printLabel);
        QVERIFY(!c.entries().at(2).printLabel);
    }

    void printLabelsEmitsOnceForManyRows()
    {
        Collection c;
        QStringList keys;
        for (const char *id : {"a", "b", "c"}) {
            c.addEntry(card(QString::fromLatin1(id)));
            keys.append(entryKey(c.entries().last()));
        }
        QSignalSpy changed(&c, &Collection::changed);
        SetPrintLabelsCommand cmd(&c, keys, true, QString());
        cmd.redo();
        QCOMPARE(changed.count(), 1);
    }

    void binderCommandsWithoutABinderDoNothing()
    {
        Collection c;
        c.upsertBinder(newBinder(QStringLiteral("Kept"), Language::English));
        RemoveBinderCommand remove(&c, QStringLiteral("missing"));
        QCOMPARE(remove.text(), QStringLiteral("Remove binder \"\""));
        QSignalSpy changed(&c, &Collection::changed);
        remove.redo();
        remove.undo();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(c.binders().size(), 1);

        AddBinderCommand noId(&c, Binder());
        noId.redo();
        QCOMPARE(c.binders().size(), 1);
        EditBinderCommand edit(&c, Binder(), Binder());
        edit.redo();
        edit.undo();
        QCOMPARE(changed.count(), 0);
    }

    void binderCommandTexts()
    {
        Collection c;
        Binder binder = newBinder(QStringLiteral("Stars"), Language::English);
        Binder renamed = binder;
        renamed.name = QStringLiteral("Shiny");
        QCOMPARE(AddBinderCommand(&c, binder).text(), QStringLiteral("Add binder \"Stars\""));
        QCOMPARE(EditBinderCommand(&c, binder, renamed).text(), QStringLiteral("Edit binder \"Shiny\""));
        QCOMPARE(SetLabelStyleCommand(&c, std::nullopt, LabelStyle()).text(), QStringLiteral("Set label defaults"));
    }
};

PV_REGISTER_TEST(CollectionCommandsTest)
#include "CollectionCommandsTest.moc"
