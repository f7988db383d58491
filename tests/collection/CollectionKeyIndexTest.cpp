#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/EditEntryCommand.h"
#include "collection/EntryKeys.h"
#include "core/ExactSum.h"
#include "core/SteadyClock.h"

#include <QRandomGenerator>
#include <QTest>
#include <QUndoStack>

#include <algorithm>

using namespace pv;

namespace {

int firstRowWithKey(const Collection &collection, const QString &key)
{
    const QList<CardEntry> &entries = collection.entries();
    for (int row = 0; row < entries.size(); ++row) {
        if (entryKey(entries.at(row)) == key)
            return row;
    }
    return -1;
}

QList<int> rowsScanned(const Collection &collection, const QString &cardId)
{
    QList<int> rows;
    const QList<CardEntry> &entries = collection.entries();
    for (int row = 0; row < entries.size(); ++row) {
        if (entries.at(row).lang == Language::English && entries.at(row).cardId == cardId)
            rows.append(row);
    }
    return rows;
}

// The probe's row and its card's rows, as the indexes tell them, equal
// those a scan of the rows finds.
void compareLookups(const Collection &collection, const CardEntry &probe)
{
    const QString key = entryKey(probe);
    QCOMPARE(collection.indexOfEntry(key), firstRowWithKey(collection, key));
    QList<int> indexed = collection.rowsOfCard(Language::English, probe.cardId);
    std::sort(indexed.begin(), indexed.end());
    QCOMPARE(indexed, rowsScanned(collection, probe.cardId));
}

// The first row of each card and the sets named, as the index keeps them,
// equal a scan's; unknown while some row's language keys as another's.
void compareHeldCards(const Collection &collection)
{
    QList<int> firstRows;
    QSet<std::pair<int, QString>> cards;
    QSet<std::pair<int, QString>> sets;
    bool otherLanguage = false;
    for (int row = 0; row < collection.entries().size(); ++row) {
        const CardEntry &entry = collection.entries().at(row);
        otherLanguage = otherLanguage || (entry.lang != Language::English && entry.lang != Language::Japanese);
        sets.insert({int(entry.lang), entry.setId});
        const qsizetype known = cards.size();
        if (cards.insert({int(entry.lang), entry.cardId}); cards.size() > known)
            firstRows.append(row);
    }
    const Collection::HeldCards held = collection.heldCards();
    QCOMPARE(held.known, !otherLanguage);
    if (held.known) {
        QCOMPARE(QList<int>(held.firstRows.cbegin(), held.firstRows.cend()), firstRows);
        QCOMPARE(held.sets, sets.size());
    }
}

// Every row's key finds the first row holding it, and every card held all
// its rows.
void compareEveryLookup(const Collection &collection)
{
    compareHeldCards(collection);
    QHash<QString, int> firstRows;
    QHash<QString, QList<int>> cardRows;
    const QList<CardEntry> &entries = collection.entries();
    for (int row = 0; row < entries.size(); ++row) {
        firstRows.insert(entryKey(entries.at(row)), firstRows.value(entryKey(entries.at(row)), row));
        cardRows[ownedCardKey(entries.at(row).lang, entries.at(row).cardId)].append(row);
    }
    for (const CardEntry &entry : entries) {
        QCOMPARE(collection.indexOfEntry(entryKey(entry)), firstRows.value(entryKey(entry)));
        QCOMPARE(collection.rowsOfCard(entry.lang, entry.cardId),
                 cardRows.value(ownedCardKey(entry.lang, entry.cardId)));
    }
}

CardEntry holding(int card, int condition)
{
    CardEntry entry = test::numberedHolding(QStringLiteral("sv03"), QString::number(card));
    entry.condition = Condition(condition);
    return entry;
}

// A holding with what the totals count varied: prices that no double holds
// exactly or none, older and newer price dates, labels, a few sets of both
// languages.
CardEntry variedHolding(QRandomGenerator &random)
{
    CardEntry entry = holding(int(random.bounded(40)), int(random.bounded(3)));
    if (random.bounded(3) == 0) {
        entry.setId = random.bounded(2) == 0 ? QStringLiteral("sv04") : QStringLiteral("me01");
        entry.cardId = entry.setId + QLatin1Char('-') + entry.localId;
    }
    if (random.bounded(4) == 0)
        entry.lang = Language::Japanese;
    entry.count = 1 + int(random.bounded(5));
    entry.unitValueEur = random.bounded(6) == 0 ? 0.0 : double(random.bounded(100000)) / 100.0;
    if (random.bounded(4) == 0)
        entry.customPriceEur = 0.1 * double(random.bounded(30));
    if (random.bounded(3) > 0)
        entry.priceUpdated = QDateTime(QDate(2026, 1, 1 + int(random.bounded(3))), QTime(), Qt::UTC);
    entry.printLabel = random.bounded(2) == 0;
    return entry;
}

// Each set's value and cards, summed afresh from the rows: the sets worth
// more than 0.
QHash<QString, HistorySetValue> setsRecounted(const QList<CardEntry> &entries)
{
    QHash<QString, std::pair<ExactSum, qint64>> sums;
    for (const CardEntry &entry : entries) {
        auto &sum = sums[entrySetKey(entry)];
        sum.first.add(entryLineValue(entry));
        sum.second += entry.count;
    }
    QHash<QString, HistorySetValue> sets;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        if (it->first.value() > 0.0)
            sets.insert(it.key(), HistorySetValue{it->first.value(), it->second});
    return sets;
}

void compareSets(const QHash<QString, HistorySetValue> &kept, const QHash<QString, HistorySetValue> &fresh)
{
    QCOMPARE(kept.size(), fresh.size());
    for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
        QVERIFY2(kept.contains(it.key()), qPrintable(it.key()));
        const HistorySetValue value = kept.value(it.key());
        QVERIFY2(value.eur == it->eur,
                 qPrintable(
                     QStringLiteral("%1: %2 != %3").arg(it.key()).arg(value.eur, 0, 'g', 17).arg(it->eur, 0, 'g', 17)));
        QCOMPARE(value.cards, it->cards);
    }
}

// The totals, what is held of each card and each set's sums, kept through
// edits, equal those of the same rows counted afresh, to the last bit.
void compareWithRecount(const Collection &collection)
{
    Collection recount;
    recount.replaceContents(collection.entries(), {}, {}, {}, std::nullopt);
    for (const Language language : allLanguages()) {
        const QHash<QString, Collection::CardHolding> &kept = collection.cardHoldings(language);
        const QHash<QString, Collection::CardHolding> &fresh = recount.cardHoldings(language);
        QCOMPARE(kept.size(), fresh.size());
        for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
            QVERIFY2(kept.contains(it.key()), qPrintable(it.key()));
            QCOMPARE(kept.value(it.key()).count, it->count);
            QCOMPARE(kept.value(it.key()).value, it->value);
        }
    }
    const Collection::Summary &kept = collection.summary();
    const Collection::Summary &fresh = recount.summary();
    QCOMPARE(kept.cards, fresh.cards);
    QVERIFY2(kept.valueEur == fresh.valueEur,
             qPrintable(QStringLiteral("%1 != %2").arg(kept.valueEur, 0, 'g', 17).arg(fresh.valueEur, 0, 'g', 17)));
    QCOMPARE(kept.labelled, fresh.labelled);
    QCOMPARE(kept.lastPriceUpdate, fresh.lastPriceUpdate);
    compareSets(collection.valueBySet(), setsRecounted(collection.entries()));
}

} // namespace

// The collection looks holdings up by key, and a card's rows up by card,
// through indexes it keeps beside the rows; whatever edits came before, a
// lookup must find the first row holding the key, and every row of the card,
// exactly as a scan of the rows would; so must the totals it keeps. Edits of
// single rows keep the indexes up to date, also while some key is held by
// several rows: both are run.
class CollectionKeyIndexTest : public QObject
{
    Q_OBJECT

private slots:
    void lookupsMatchARowScanAfterEveryKindOfEdit()
    {
        for (const bool sharedKeys : {true, false}) {
            editAndLookUp(sharedKeys);
            if (QTest::currentTestFailed())
                return; // one failure is enough: the steps after it repeat it
        }
    }

    // One row inserted and removed over and over, as a merge undone and
    // redone: every lookup stays exact throughout, and the numbers naming
    // holdings never outgrow the most rows held.
    void lookupsStayExactWhileOneRowComesAndGoes()
    {
        Collection collection;
        for (int card = 0; card < 8; ++card)
            collection.addEntry(holding(card, 0));
        const CardEntry twin = holding(3, 1);
        const QString last = entryKey(holding(7, 0));
        qsizetype mostNames = 0;
        for (int cycle = 0; cycle < 3000; ++cycle) {
            const int row = cycle % 9;
            collection.insertEntry(row, twin);
            mostNames = std::max(mostNames, collection.keyIndexNames());
            QCOMPARE(collection.indexOfEntry(entryKey(twin)), row);
            QCOMPARE(collection.indexOfEntry(last), firstRowWithKey(collection, last));
            QCOMPARE(collection.rowsOfCard(Language::English, twin.cardId), rowsScanned(collection, twin.cardId));
            collection.removeEntryAt(row);
            QCOMPARE(collection.indexOfEntry(entryKey(twin)), -1);
            QCOMPARE(collection.indexOfEntry(last), 7);
        }
        QCOMPARE(mostNames, 9);
    }

    // One card priced in a large collection records the week from the sums
    // kept beside the totals: the point equals one recorded from the same
    // rows counted afresh, whatever the edits before it, and a set whose last
    // priced row went leaves the breakdown.
    void weekAfterOnePricedCardEqualsARecount()
    {
        const test::ManualTime clock;
        QRandomGenerator random(11);
        Collection collection;
        QUndoStack undoStack;
        QString focus;
        for (int i = 0; i < 400; ++i)
            collection.addEntry(variedHolding(random));
        // A language the vocabulary does not name counts under English.
        CardEntry stray = holding(7, 2);
        stray.lang = Language(9);
        stray.unitValueEur = 0.3;
        collection.insertEntry(5, stray);
        collection.recordValueSnapshot();
        for (int round = 0; round < 60; ++round) {
            const CardEntry entry = variedHolding(random);
            const int rows = int(collection.entries().size());
            switch (round % 4) {
            case 0:
                undoStack.push(new EditEntryCommand(&collection, int(random.bounded(rows)), entry, &focus));
                break;
            case 1:
                undoStack.push(new AddCardsCommand(&collection, {entry}, {}, &focus));
                break;
            case 2:
                undoStack.undo();
                break;
            case 3:
                collection.removeEntryAt(int(random.bounded(rows)));
                break;
            }
            collection.applyPrices(entry.lang, entry.cardId, {{QStringLiteral("normal|unlimited"), 0.07 * round}}, {});
            collection.recordValueSnapshot();
            Collection recount;
            recount.replaceContents(collection.entries(), {}, {}, {}, std::nullopt);
            recount.recordValueSnapshot();
            const HistoryPoint &kept = collection.history().constLast();
            const HistoryPoint &fresh = recount.history().constLast();
            QCOMPARE(kept.date, fresh.date);
            QCOMPARE(kept.cards, fresh.cards);
            QCOMPARE(kept.totalEur, fresh.totalEur);
            compareSets(kept.sets, setsRecounted(collection.entries()));
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(collection.history().size(), 1);

        // A set priced at nothing leaves the breakdown while its cards still
        // count; then its rows go.
        const QString me01 = setKey(Language::English, QStringLiteral("me01"));
        QVERIFY(collection.valueBySet().contains(me01));
        for (int row = 0; row < collection.entries().size(); ++row) {
            CardEntry unpriced = collection.entries().at(row);
            if (entrySetKey(unpriced) != me01)
                continue;
            unpriced.unitValueEur = 0.0;
            unpriced.customPriceEur = 0.0;
            collection.replaceEntry(row, unpriced);
        }
        QVERIFY(!collection.valueBySet().contains(me01));
        compareWithRecount(collection);
        for (int row = int(collection.entries().size()) - 1; row >= 0; --row)
            if (entrySetKey(collection.entries().at(row)) == me01)
                collection.removeEntryAt(row);
        compareWithRecount(collection);
    }

    // Batches of a few rows and of thousands removed and inserted anywhere:
    // afterwards every lookup is exact, and so are the totals. The index
    // follows the thousands too, instead of being built again: it still
    // names a holding for the most rows held on the way.
    void lookupsStayExactAfterBatchesOfManyRows()
    {
        QRandomGenerator random(13);
        QList<CardEntry> entries;
        for (int row = 0; row < 3000; ++row)
            entries.append(variedHolding(random));
        Collection collection;
        collection.replaceContents(entries, {}, {}, {}, std::nullopt);
        collection.cardHoldings(Language::English);
        for (const int steps : {100, 10000, 30}) {
            collection.indexOfEntry(entryKey(entries.constFirst()));
            collection.beginBatch();
            for (int step = 0; step < steps; ++step) {
                const int rows = int(collection.entries().size());
                if (step % 2)
                    collection.removeEntryAt(int(random.bounded(rows)));
                else
                    collection.insertEntry(int(random.bounded(rows + 1)), variedHolding(random));
            }
            collection.endBatch();
            compareEveryLookup(collection);
            if (!QTest::currentTestFailed())
                compareWithRecount(collection);
            if (QTest::currentTestFailed())
                return; // one failure is enough: the steps after it repeat it
        }
        // Thousands added, then as many others removed.
        const qsizetype rows = collection.entries().size();
        collection.beginBatch();
        for (int step = 0; step < 5000; ++step)
            collection.insertEntry(int(random.bounded(int(collection.entries().size()) + 1)), variedHolding(random));
        for (int step = 0; step < 5000; ++step)
            collection.removeEntryAt(int(random.bounded(int(collection.entries().size()))));
        collection.endBatch();
        compareEveryLookup(collection);
        QCOMPARE(collection.keyIndexNames(), rows + 5000);
    }

    // Holdings are one holding exactly when their key texts are equal:
    // fields joined across the separator, a language the vocabulary does not
    // name, an unstated edition, a padded grade note. So it is in an index
    // built with the contents and in one that followed the rows added.
    void holdingsWithEqualKeyTextsAreOne()
    {
        const auto with = [](const char *cardId, const char *variant, int language = 0) {
            CardEntry entry = holding(1, 0);
            entry.cardId = QString::fromLatin1(cardId);
            entry.variant = QString::fromLatin1(variant);
            entry.lang = Language(language);
            return entry;
        };
        QList<CardEntry> entries{with("x|y", "z"),       with("x", "y|z"),       with("x", "normal"),
                                 with("x", "normal", 9), with("x", "normal", 1), with("x|y|z", "")};
        entries[2].edition.clear();
        entries[3].edition = QStringLiteral("unlimited");
        entries[4].gradeCompany = GradingCompany::PSA;
        entries[4].gradeNote = QStringLiteral(" 9 ");
        entries.append(entries.at(4));
        entries.last().gradeNote = QStringLiteral("9");
        Collection built;
        built.replaceContents(entries, {}, {}, {}, std::nullopt);
        Collection followed;
        followed.indexOfEntry(QString());
        for (const CardEntry &entry : entries)
            followed.insertEntry(int(followed.entries().size()), entry);
        for (const Collection *collection : {&built, &followed}) {
            compareEveryLookup(*collection);
            QCOMPARE(collection->indexOfEntry(entryKey(entries.at(1))), 0);
            QCOMPARE(collection->indexOfEntry(entryKey(entries.at(3))), 2);
            QCOMPARE(collection->indexOfEntry(entryKey(entries.at(6))), 4);
            QCOMPARE(collection->indexOfEntry(entryKey(entries.at(5))), 5);
            // Texts no holding's key is, however near one's fields.
            for (const char *text : {"en|x|normal|unlimited|Poor|None|", "en|x|normal||Mint|None|",
                                     "ja|x|normal|unlimited|Mint|PSA| 9", "en|x|normal|unlimited|mint|None|"})
                QCOMPARE(collection->indexOfEntry(QString::fromLatin1(text)), -1);
        }
    }

    // Many holdings of one card that differ only in what keys them after the
    // card: each is found apart from the others, the first of equal keys
    // wins, and so it stays once rows above them come and go.
    void holdingsOfOneCardAreFoundApart()
    {
        struct Printing
        {
            const char *variant;
            const char *edition;
            GradingCompany company;
            const char *note;
            int language;
        };
        const Printing printings[] = {
            {"normal", "unlimited", GradingCompany::None, "", 0},
            {"holo", "unlimited", GradingCompany::None, "", 0},
            {"normal", "firstEdition", GradingCompany::None, "", 0},
            {"normal", "", GradingCompany::None, "", 0}, // the first one's key
            {"normal", "unlimited", GradingCompany::PSA, "10", 0},
            {"normal", "unlimited", GradingCompany::PSA, " 10 ", 0}, // the one above's
            {"normal", "unlimited", GradingCompany::CGC, "10", 0},
            {"normal", "unlimited", GradingCompany::PSA, "9.5", 0},
            {"normal", "unlimited", GradingCompany::None, "", 1},
            {"Normal", "unlimited", GradingCompany::None, "", 0},
            {"normal", "unlimited", GradingCompany::None, "", 9}, // English as keyed
            {"holo", "unlimited", GradingCompany::None, "", 0},
        };
        QList<CardEntry> entries;
        for (const Printing &printing : printings) {
            CardEntry entry = holding(1, 0);
            entry.variant = QString::fromLatin1(printing.variant);
            entry.edition = QString::fromLatin1(printing.edition);
            entry.gradeCompany = printing.company;
            entry.gradeNote = QString::fromLatin1(printing.note);
            entry.lang = Language(printing.language);
            entries.append(entry);
        }
        Collection collection;
        collection.replaceContents(entries, {}, {}, {}, std::nullopt);
        compareEveryLookup(collection);
        collection.removeEntryAt(0);
        compareEveryLookup(collection);
        collection.insertEntry(0, entries.at(3));
        collection.insertEntry(0, holding(2, 0));
        compareEveryLookup(collection);
        collection.removeEntryAt(5);
        compareEveryLookup(collection);
    }

private:
    void editAndLookUp(bool sharedKeys)
    {
        Collection collection;
        // Asked for before any edit, they are followed from then on.
        collection.cardHoldings(Language::English);
        QUndoStack undoStack;
        QString focus;
        QRandomGenerator random(7);
        for (int step = 0; step < 3000; ++step) {
            const CardEntry entry = variedHolding(random);
            const int rows = int(collection.entries().size());
            switch (random.bounded(11)) {
            case 0:
            case 1:
                collection.addEntry(entry);
                break;
            case 2:
                if (rows > 0)
                    collection.updateEntry(int(random.bounded(rows)), entry);
                break;
            case 3:
                // Rows that share a key are allowed (a file may hold them).
                if (sharedKeys || firstRowWithKey(collection, entryKey(entry)) < 0)
                    collection.insertEntry(rows > 0 ? int(random.bounded(rows + 1)) : 0, entry);
                break;
            case 4:
                if (rows > 0 && (sharedKeys || firstRowWithKey(collection, entryKey(entry)) < 0))
                    collection.replaceEntry(int(random.bounded(rows)), entry);
                break;
            case 5:
                if (rows > 0)
                    collection.removeEntryAt(int(random.bounded(rows)));
                break;
            case 6:
                // Prices every row of the card, and only those.
                QCOMPARE(collection.applyPrices(Language::English, entry.cardId,
                                                {{QStringLiteral("normal|unlimited"), double(step)}}, {}),
                         int(rowsScanned(collection, entry.cardId).size()));
                break;
            case 7:
                // Edits as the window makes them, merges among them, undone
                // and redone.
                if (rows > 0)
                    undoStack.push(new EditEntryCommand(&collection, int(random.bounded(rows)), entry, &focus));
                break;
            case 8:
                undoStack.undo();
                break;
            case 9:
                undoStack.redo();
                break;
            case 10:
                // Lines added and merged in one batch, the indexes read
                // between them.
                undoStack.push(new AddCardsCommand(&collection, {entry, variedHolding(random), entry}, {}, &focus));
                break;
            }
            compareLookups(collection, holding(int(random.bounded(40)), int(random.bounded(3))));
            if (!collection.entries().isEmpty() && !QTest::currentTestFailed())
                compareLookups(collection,
                               collection.entries().at(int(random.bounded(int(collection.entries().size())))));
            // The totals and the cards held it keeps follow every edit too;
            // a check that failed stops the run at this step.
            if (!QTest::currentTestFailed())
                compareHeldCards(collection);
            if (!QTest::currentTestFailed())
                compareWithRecount(collection);
            if (QTest::currentTestFailed())
                return;
        }
        collection.replaceContents({holding(1, 0), holding(1, 0)}, {}, {}, {}, std::nullopt);
        QCOMPARE(collection.indexOfEntry(entryKey(holding(1, 0))), 0);
        collection.clear();
        QCOMPARE(collection.indexOfEntry(entryKey(holding(1, 0))), -1);
        QVERIFY(collection.rowsOfCard(Language::English, holding(1, 0).cardId).isEmpty());
    }
};

PV_REGISTER_TEST(CollectionKeyIndexTest)
#include "CollectionKeyIndexTest.moc"
