#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/CardIdTable.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "core/CardKeys.h"
#include "core/SteadyClock.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <limits>
#include <tuple>

using namespace pv;

using pv::test::holdingOf;

namespace {

// The rows a change gave new values in place, in the order it did so.
QList<int> rowsOfSteps(const Collection::Change &change)
{
    QList<int> rows;
    for (const Collection::Change::Step &step : change.steps) {
        if (step.type != Collection::Change::Step::Repriced && step.type != Collection::Change::Step::Annotated)
            return {-1};
        rows.append(step.row);
    }
    return rows;
}

} // namespace

class CollectionTest : public QObject
{
    Q_OBJECT

private slots:
    void addingMergesByKey()
    {
        Collection collection;
        CardEntry first = holdingOf(QStringLiteral("sv03-1"), 2, 1.0);
        first.notes = QStringLiteral("binder 3");
        first.customPriceEur = 7.0;
        QCOMPARE(collection.addEntry(first), 0);

        CardEntry again = holdingOf(QStringLiteral("sv03-1"), 0, 0.0);
        again.notes = QStringLiteral("ignored");
        QCOMPARE(collection.addEntry(again), 0);
        QCOMPARE(collection.entries().at(0).count, 3);
        QCOMPARE(collection.entries().at(0).unitValueEur, 1.0);
        QCOMPARE(collection.entries().at(0).notes, QStringLiteral("binder 3"));
        QCOMPARE(collection.entries().at(0).customPriceEur, 7.0);

        CardEntry priced = holdingOf(QStringLiteral("sv03-1"), 1, 2.5);
        priced.unitValueUsd = 2.8;
        priced.priceUpdated = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
        collection.addEntry(priced);
        QCOMPARE(collection.entries().at(0).unitValueEur, 2.5);
        QCOMPARE(collection.entries().at(0).unitValueUsd, 2.8);
        QCOMPARE(collection.entries().at(0).priceUpdated, priced.priceUpdated);

        QCOMPARE(collection.addEntry(holdingOf(QStringLiteral("sv03-2"), 0)), 1);
        QCOMPARE(collection.entries().at(1).count, 1);
    }

    void editingFoldsIntoAnotherRow()
    {
        Collection collection;
        collection.addEntry(holdingOf(QStringLiteral("a-1"), 2));
        collection.addEntry(holdingOf(QStringLiteral("a-2"), 1));
        collection.addEntry(holdingOf(QStringLiteral("a-3"), 1));

        CardEntry same = collection.entries().at(1);
        same.notes = QStringLiteral("edited");
        same.count = 0;
        collection.updateEntry(1, same);
        QCOMPARE(collection.entries().size(), 3);
        QCOMPARE(collection.entries().at(1).notes, QStringLiteral("edited"));
        QCOMPARE(collection.entries().at(1).count, 1);

        CardEntry becomesFirst = collection.entries().at(2);
        becomesFirst.cardId = QStringLiteral("a-1");
        becomesFirst.count = 4;
        collection.updateEntry(2, becomesFirst);
        QCOMPARE(collection.entries().size(), 2);
        QCOMPARE(collection.entries().at(0).count, 6);

        QSignalSpy changed(&collection, &Collection::changed);
        collection.updateEntry(5, becomesFirst);
        collection.replaceEntry(-1, becomesFirst);
        collection.removeEntryAt(2);
        QCOMPARE(changed.count(), 0);

        collection.insertEntry(99, holdingOf(QStringLiteral("a-1"), -3));
        QCOMPARE(collection.entries().size(), 3);
        QCOMPARE(collection.entries().at(2).count, -3);
        QCOMPARE(collection.indexOfEntry(entryKey(holdingOf(QStringLiteral("a-1")))), 0);
        QCOMPARE(collection.indexOfEntry(QStringLiteral("nope")), -1);
    }

    void changeProtocol()
    {
        Collection collection;
        QSignalSpy changed(&collection, &Collection::changed);
        QSignalSpy dirty(&collection, &Collection::dirtyChanged);

        collection.beginBatch();
        collection.addEntry(holdingOf(QStringLiteral("a-1")));
        QCOMPARE(dirty.count(), 1);
        QCOMPARE(dirty.at(0).at(0).toBool(), true);
        collection.beginBatch();
        collection.addEntry(holdingOf(QStringLiteral("a-2")));
        collection.endBatch();
        QCOMPARE(changed.count(), 0);
        collection.endBatch();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(dirty.count(), 1);

        collection.endBatch(); // unmatched: no signal, depth stays at 0
        collection.beginBatch();
        collection.endBatch();
        QCOMPARE(changed.count(), 1);

        collection.addEntry(holdingOf(QStringLiteral("a-1")));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(dirty.count(), 1);

        collection.setDirty(false);
        QCOMPARE(dirty.count(), 2);
        collection.setDirty(false);
        QCOMPARE(dirty.count(), 2);
        collection.removeEntryAt(0);
        QCOMPARE(dirty.count(), 3);
        QCOMPARE(changed.count(), 3);
    }

    // Views refresh in place only what the change description names: a
    // change reported as keeping the holdings must really keep them, and the
    // rows it names must be every row it updated.
    void changeDescriptionNamesWhatWasUpdated()
    {
        Collection collection;
        for (const QString &id : {QStringLiteral("a-1"), QStringLiteral("b-1"), QStringLiteral("a-1"),
                                  QStringLiteral("c-1")}) {
            CardEntry entry = holdingOf(id);
            entry.condition = Condition(collection.entries().size() % 3);
            collection.addEntry(entry);
        }
        QList<Collection::Change> seen;
        connect(&collection, &Collection::changed, this,
                [&](const Collection::Change &change) { seen.append(change); });
        const QHash<QString, double> eur{{QStringLiteral("normal|unlimited"), 2.0}};

        // Prices, facts and the history point of one run, released together.
        collection.beginBatch();
        collection.applyPrices(Language::English, QStringLiteral("c-1"), eur, {});
        collection.applyCardFacts(Language::English, QStringLiteral("a-1"), QStringLiteral("Rare"), 25);
        collection.applyPrices(Language::English, QStringLiteral("a-1"), eur, {});
        collection.applyCardFacts(Language::English, QStringLiteral("b-1"), QString(), 0); // no change
        collection.recordValueSnapshot();
        collection.endBatch();
        QCOMPARE(seen.size(), 1);
        QVERIFY(seen.at(0).holdingsKept());
        QCOMPARE(rowsOfSteps(seen.at(0)), (QList<int>{3, 0, 2, 0, 2}));
        QVERIFY(!seen.at(0).bindersChanged());

        // Anything that adds, edits or removes a holding names no rows.
        seen.clear();
        collection.beginBatch();
        collection.applyPrices(Language::English, QStringLiteral("b-1"), eur, {});
        collection.addEntry(holdingOf(QStringLiteral("d-1")));
        collection.endBatch();
        collection.updateEntry(0, collection.entries().at(0));
        collection.mergeSetInfo(SetRecord{});
        collection.fillMissingRarities([](Language, const QString &id) {
            return id == QStringLiteral("d-1") ? QStringLiteral("Common") : QString();
        });
        Binder binder;
        binder.id = QStringLiteral("x");
        collection.upsertBinder(binder);
        collection.upsertBinder(binder); // stored as it was
        QCOMPARE(seen.size(), 6);
        for (int i = 0; i < 3; ++i)
            QVERIFY(!seen.at(i).holdingsKept());
        QCOMPARE(seen.at(1).steps.size(), size_t(1));
        QCOMPARE(seen.at(1).steps.front().type, Collection::Change::Step::Edited);
        QVERIFY(seen.at(2).steps.empty());
        QVERIFY(seen.at(3).holdingsKept());
        QCOMPARE(rowsOfSteps(seen.at(3)), (QList<int>{4}));
        QVERIFY(seen.at(4).holdingsKept() && seen.at(4).bindersChanged());
        QVERIFY(seen.at(4).steps.empty());
        QVERIFY(seen.at(5).holdingsKept() && !seen.at(5).bindersChanged());

        // A listener that changes the collection again: listeners after it
        // no longer read the first change as keeping the holdings.
        seen.clear();
        Collection other;
        other.addEntry(holdingOf(QStringLiteral("a-1")));
        connect(&other, &Collection::changed, this, [&](const Collection::Change &change) {
            if (change.holdingsKept())
                other.addEntry(holdingOf(QStringLiteral("e-1")));
        });
        connect(&other, &Collection::changed, this, [&](const Collection::Change &change) { seen.append(change); });
        other.applyPrices(Language::English, QStringLiteral("a-1"), eur, {});
        QCOMPARE(seen.size(), 2);
        QVERIFY(!seen.at(0).holdingsKept());
        QVERIFY(!seen.at(1).holdingsKept() && seen.at(1).bindersChanged());
        QCOMPARE(rowsOfSteps(seen.at(1)), QList<int>{-1});
    }

    // Holdings removed, added and edited in one batch, in any order: the
    // steps, each numbered as the rows stood when it was done, replayed on
    // the rows before the change, leave every holding in its row and name
    // every row added or edited.
    void stepsReplayedLeaveEachHoldingInItsRow()
    {
        QRandomGenerator random(3);
        Collection collection;
        for (int i = 0; i < 30; ++i)
            collection.addEntry(holdingOf(QStringLiteral("a-%1").arg(i)));
        QList<Collection::Change> seen;
        connect(&collection, &Collection::changed, this,
                [&](const Collection::Change &change) { seen.append(change); });
        const auto keys = [&] {
            QStringList keys;
            for (const CardEntry &entry : collection.entries())
                keys.append(entryKey(entry));
            return keys;
        };
        for (int round = 0; round < 60; ++round) {
            QStringList replayed = keys();
            collection.beginBatch();
            for (int step = 0; step < 12; ++step) {
                const int row = int(random.bounded(collection.entries().size()));
                CardEntry entry = collection.entries().at(row);
                entry.notes = QString::number(round);
                if (step % 3 == 0)
                    collection.removeEntryAt(row);
                else if (step % 3 == 1)
                    collection.insertEntry(row, holdingOf(QStringLiteral("n%1-%2").arg(round).arg(step)));
                else
                    collection.replaceEntry(row, entry);
            }
            collection.endBatch();
            for (const Collection::Change::Step &step : seen.last().steps) {
                if (step.type == Collection::Change::Step::Inserted)
                    replayed.insert(step.row, QString());
                else if (step.type == Collection::Change::Step::Removed)
                    replayed.removeAt(step.row);
                else if (step.type == Collection::Change::Step::Edited)
                    replayed[step.row] = QString();
            }
            for (int row = 0; row < collection.entries().size(); ++row) {
                const CardEntry &entry = collection.entries().at(row);
                if (entry.notes == QString::number(round))
                    QVERIFY(replayed.at(row).isEmpty());
                if (replayed.at(row).isEmpty())
                    replayed[row] = entryKey(entry);
            }
            QCOMPARE(replayed, keys());
        }
    }

    void clearAndReplaceLeaveTheDocumentClean()
    {
        Collection collection;
        collection.setFilePath(QStringLiteral("/tmp/x.tmk"));
        collection.addEntry(holdingOf(QStringLiteral("a-1")));
        collection.setLabelStyle(LabelStyle());

        QStringList order;
        connect(&collection, &Collection::filePathChanged, this,
                [&](const QString &path) { order << QStringLiteral("path:") + path; });
        connect(&collection, &Collection::dirtyChanged, this,
                [&](bool dirty) { order << QStringLiteral("dirty:%1").arg(dirty); });
        connect(&collection, &Collection::changed, this, [&](const Collection::Change &change) {
            order << (change.contentsReplaced() ? QStringLiteral("changed") : QStringLiteral("edited"));
        });
        collection.clear();
        QCOMPARE(order, (QStringList{QStringLiteral("path:"), QStringLiteral("dirty:0"), QStringLiteral("changed")}));
        QVERIFY(collection.entries().isEmpty());
        QVERIFY(!collection.labelStyle());

        order.clear();
        HistoryPoint later;
        later.date = QDate(2026, 2, 2);
        HistoryPoint earlier;
        earlier.date = QDate(2026, 1, 5);
        collection.beginBatch();
        collection.addEntry(holdingOf(QStringLiteral("a-1")));
        collection.replaceContents({holdingOf(QStringLiteral("b-1"))}, {}, {later, earlier}, {}, LabelStyle());
        QCOMPARE(order, (QStringList{QStringLiteral("dirty:1"), QStringLiteral("dirty:0"), QStringLiteral("changed")}));
        // What the batch held back went out with the new document.
        collection.endBatch();
        QCOMPARE(order.size(), 3);
        QCOMPARE(collection.history().at(0).date, earlier.date);
        QVERIFY(!collection.isDirty());
        QVERIFY(collection.labelStyle());
    }

    void setRecords()
    {
        Collection collection;
        SetRecord record;
        record.id = QStringLiteral("sv03");
        record.name = QStringLiteral("Obsidian Flames");
        record.order = 3;
        collection.mergeSetInfo(record);
        collection.setDirty(false);

        QSignalSpy changed(&collection, &Collection::changed);
        SetRecord repeat;
        repeat.id = QStringLiteral("sv03");
        repeat.name = QStringLiteral("Obsidian Flames");
        collection.mergeSetInfo(repeat);
        QCOMPARE(changed.count(), 0);
        QVERIFY(!collection.isDirty());

        repeat.logo = QStringLiteral("https://example.test/logo");
        repeat.officialCardCount = 197;
        collection.mergeSetInfo(repeat);
        QCOMPARE(changed.count(), 1);
        // The change names the record, and leaves the holdings' rows listed.
        Collection::Change change = changed.last().at(0).value<Collection::Change>();
        QCOMPARE(change.sets, QStringList{QStringLiteral("en:sv03")});
        QVERIFY(!change.holdingsKept());
        const SetRecord stored = collection.setInfo(Language::English, QStringLiteral("sv03"));
        QCOMPARE(stored.logo, repeat.logo);
        QCOMPARE(stored.order, 3);
        QCOMPARE(stored.officialCardCount, 197);

        QVERIFY(collection.hasSet(Language::English, QStringLiteral("sv03")));
        QVERIFY(!collection.hasSet(Language::Japanese, QStringLiteral("sv03")));
        const SetRecord unknown = collection.setInfo(Language::Japanese, QStringLiteral("SV3"));
        QCOMPARE(unknown.id, QStringLiteral("SV3"));
        QCOMPARE(unknown.name, QStringLiteral("SV3"));
        QCOMPARE(unknown.language, Language::Japanese);
        QCOMPARE(unknown.order, std::numeric_limits<int>::max());

        // A whole table put back names only the records that differ, and
        // holdings added beside it stay listed row by row.
        QHash<QString, SetRecord> table = collection.sets();
        table.insert(QStringLiteral("en:sv04"),
                     test::setRecord(QStringLiteral("sv04"), QStringLiteral("Paradox Rift")));
        collection.beginBatch();
        collection.addEntry(holdingOf(QStringLiteral("sv04-1")));
        collection.setSets(table);
        collection.endBatch();
        const auto last = [&changed] { return changed.last().at(0).value<Collection::Change>(); };
        QCOMPARE(last().sets, QStringList{QStringLiteral("en:sv04")});
        QCOMPARE(last().steps.size(), size_t(1));
        QCOMPARE(last().steps.front().type, Collection::Change::Step::Inserted);
        table.remove(QStringLiteral("en:sv03"));
        collection.setSets(table);
        QCOMPARE(last().sets, QStringList{QStringLiteral("en:sv03")});
        collection.setSets(table);
        QVERIFY(last().sets.isEmpty());

        // Records are found whatever the case, also in contents taken over
        // from a collection read elsewhere.
        QVERIFY(collection.hasSet(Language::English, QStringLiteral("SV04")));
        CollectionContents contents;
        contents.sets.insert(QStringLiteral("en:Base1"),
                             test::setRecord(QStringLiteral("Base1"), QStringLiteral("Base Set")));
        Collection::PreparedContents read = Collection::prepareContents(std::move(contents));
        collection.takeContents(read);
        QVERIFY(collection.hasSet(Language::English, QStringLiteral("base1")));
        QVERIFY(!collection.hasSet(Language::English, QStringLiteral("sv04")));
        QVERIFY(read.contents.sets.contains(QStringLiteral("en:sv04")));
    }

    void pricesAndFacts()
    {
        Collection collection;
        CardEntry holo = holdingOf(QStringLiteral("sv03-1"));
        holo.variant = QStringLiteral("holo");
        holo.unitValueEur = 9.0;
        collection.addEntry(holo);
        CardEntry japanese = holo;
        japanese.lang = Language::Japanese;
        collection.addEntry(japanese);

        const QHash<QString, double> eur{{QStringLiteral("normal|unlimited"), 1.0}};
        const QHash<QString, double> usd{{QStringLiteral("normal|unlimited"), 1.2}};
        QCOMPARE(collection.applyPrices(Language::English, QStringLiteral("sv03-1"), eur, usd), 1);
        QCOMPARE(collection.entries().at(0).unitValueEur, 0.0);
        QVERIFY(collection.entries().at(0).priceUpdated.isValid());
        QCOMPARE(collection.entries().at(1).unitValueEur, 9.0);
        QCOMPARE(collection.lastPriceUpdate(), collection.entries().at(0).priceUpdated);

        const QHash<QString, double> holoEur{{QStringLiteral("holo|unlimited"), 3.0}};
        collection.applyPrices(Language::English, QStringLiteral("sv03-1"), holoEur, {});
        QCOMPARE(collection.entries().at(0).unitValueEur, 3.0);

        QCOMPARE(collection.applyCardFacts(Language::English, QStringLiteral("sv03-1"), QStringLiteral("Rare"), 6), 2);
        QCOMPARE(collection.applyCardFacts(Language::English, QStringLiteral("sv03-1"), QString(), 0), 0);
        QCOMPARE(collection.entries().at(1).dexId, 0);
        QCOMPARE(collection.fillMissingRarities({}), 0);
        QCOMPARE(collection.fillMissingVariants({}), 0);
    }

    // Each figure of a row is kept on its own: a kept euro value keeps its
    // date, and a row that keeps both is not counted as priced.
    void keptFiguresStayApart()
    {
        Collection collection;
        const QDateTime dated(QDate(2026, 8, 21), QTime(12, 0), Qt::UTC);
        for (const char *finish : {"normal", "holo", "reverse"}) {
            CardEntry entry = holdingOf(QStringLiteral("sv03-1"), 1, 9.0);
            entry.variant = QLatin1String(finish);
            entry.unitValueUsd = 10.0;
            entry.priceUpdated = dated;
            collection.addEntry(entry);
        }
        const QString normal = QStringLiteral("normal|unlimited");
        const QString holo = QStringLiteral("holo|unlimited");
        const QString reverse = QStringLiteral("reverse|unlimited");
        const QHash<QString, double> eur{{normal, 1.0}, {holo, 2.0}, {reverse, 3.0}};
        const QHash<QString, double> usd{{normal, 1.5}, {holo, 2.5}, {reverse, 3.5}};
        QSignalSpy changed(&collection, &Collection::changed);
        QCOMPARE(collection.applyPrices(Language::English, QStringLiteral("sv03-1"), eur, usd, {normal, reverse},
                                        {holo, reverse}),
                 2);
        const auto figures = [&collection, &dated](int row) {
            const CardEntry &entry = collection.entries().at(row);
            return std::make_tuple(entry.unitValueEur, entry.unitValueUsd, entry.priceUpdated == dated);
        };
        QCOMPARE(figures(0), std::make_tuple(9.0, 1.5, true));
        QCOMPARE(figures(1), std::make_tuple(2.0, 10.0, false));
        QCOMPARE(figures(2), std::make_tuple(9.0, 10.0, true));
        QCOMPARE(changed.size(), 1); // both rows in one change
        QCOMPARE(collection.applyPrices(Language::English, QStringLiteral("sv03-1"), eur, usd, {normal, holo, reverse},
                                        {normal, holo, reverse}),
                 0);
    }

    // Every row a fill, a card's prices or its facts touch reaches the
    // listeners as one change, however many rows that is.
    void manyRowsAreOneChange()
    {
        Collection collection;
        QList<CardEntry> entries;
        for (int i = 0; i < 3000; ++i) {
            entries.append(holdingOf(QStringLiteral("s%1-%2").arg(i % 1000 % 3).arg(i % 1000)));
            entries.last().condition = Condition(i / 1000);
        }
        collection.replaceContents(entries, {}, {}, {}, std::nullopt);
        QList<Collection::Change> seen;
        connect(&collection, &Collection::changed, this,
                [&](const Collection::Change &change) { seen.append(change); });

        // Set s2 has no rarity the provider knows.
        const quint64 revision = collection.revision();
        QCOMPARE(collection.fillMissingRarities([](Language, const QString &id) {
            return id.startsWith(QStringLiteral("s2-")) ? QString() : QStringLiteral("Common");
        }),
                 2001);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(rowsOfSteps(seen.at(0)).size(), 2001);
        QCOMPARE(collection.revision(), revision + 1);

        // The three rows of one card: one change for its prices, one for its facts.
        seen.clear();
        const QHash<QString, double> eur{{QStringLiteral("normal|unlimited"), 2.0}};
        QCOMPARE(collection.applyPrices(Language::English, QStringLiteral("s1-1"), eur, {}), 3);
        QCOMPARE(collection.applyCardFacts(Language::English, QStringLiteral("s1-1"), QStringLiteral("Rare"), 7), 6);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(rowsOfSteps(seen.at(0)), (QList<int>{1, 1001, 2001}));
        QCOMPARE(rowsOfSteps(seen.at(1)), (QList<int>{1, 1001, 2001}));
    }

    // However many cards there are (few, or enough to be asked about on
    // several threads, in parts that end short), each row gets its own
    // card's answer, in either language, and the cards without one none.
    void fillingRaritiesNamesEveryCardHoweverMany()
    {
        for (const int cards : {3, 8191, 20481}) {
            QList<CardEntry> entries;
            for (int i = 0; i < cards; ++i) {
                entries.append(holdingOf(QStringLiteral("s%1-%2").arg(i % 9).arg(i), 1, 0.0,
                                         i % 2 ? Language::Japanese : Language::English));
                if (i % 5 == 0) // a second holding of the card
                    entries.append(entries.last()), entries.last().condition = Condition::Played;
            }
            Collection collection;
            collection.replaceContents(entries, {}, {}, {}, std::nullopt);
            const auto answer = [](Language language, const QString &id) {
                return id.endsWith(QLatin1Char('3')) ? QString()
                                                     : id.section(QLatin1Char('-'), 1) + languageCode(language);
            };
            const int named = int(std::count_if(entries.cbegin(), entries.cend(), [&](const CardEntry &entry) {
                return !answer(entry.lang, entry.cardId).isEmpty();
            }));
            QCOMPARE(collection.fillMissingRarities(answer), named);
            for (const CardEntry &entry : collection.entries())
                QCOMPARE(entry.rarity, answer(entry.lang, entry.cardId));
        }
    }

    // The fill asks only about rows without a rarity, and not at all when
    // every row has one, whatever edits came before it.
    void fillingRaritiesAsksOnlyAboutRowsWithoutOne()
    {
        Collection collection;
        int asked = 0;
        const auto askNothing = [&](Language, const QString &) {
            ++asked;
            return QString();
        };
        // A fill that names nothing asks once for each row without a rarity
        // (each its own card here), and touches no row: the rows stay shared
        // with a copy taken before.
        QSignalSpy changed(&collection, &Collection::changed);
        const auto checkAsked = [&](const char *step) {
            asked = 0;
            changed.clear();
            const QList<CardEntry> copy = collection.entries();
            QCOMPARE(collection.fillMissingRarities(askNothing), 0);
            QVERIFY2(asked
                         == std::count_if(copy.cbegin(), copy.cend(),
                                          [](const CardEntry &entry) { return entry.rarity.isEmpty(); }),
                     step);
            QVERIFY2(changed.isEmpty(), step);
            QVERIFY2(collection.entries().constData() == copy.constData(), step);
        };

        CardEntry named = holdingOf(QStringLiteral("a-1"));
        named.rarity = QStringLiteral("Rare");
        collection.addEntry(named);
        collection.summary();
        checkAsked("a named row");
        collection.addEntry(holdingOf(QStringLiteral("b-1")));
        collection.addEntry(holdingOf(QStringLiteral("c-1")));
        checkAsked("two rows added without a rarity");
        collection.applyCardFacts(Language::English, QStringLiteral("b-1"), QStringLiteral("Common"), 0);
        checkAsked("one named by its card's facts");
        CardEntry cleared = collection.entries().at(0);
        cleared.rarity.clear();
        collection.replaceEntry(0, cleared);
        checkAsked("a rarity cleared by an edit");
        collection.insertEntry(0, holdingOf(QStringLiteral("d-1")));
        collection.removeEntryAt(3);
        checkAsked("one inserted, one removed");
        collection.fillMissingRarities([](Language, const QString &id) {
            return id == QStringLiteral("d-1") ? QStringLiteral("Promo") : QString();
        });
        checkAsked("one named by a fill");
        collection.beginBatch();
        collection.addEntry(holdingOf(QStringLiteral("e-1")));
        collection.applyCardFacts(Language::English, QStringLiteral("e-1"), QStringLiteral("Common"), 0);
        collection.addEntry(holdingOf(QStringLiteral("f-1")));
        collection.endBatch();
        checkAsked("added and named in one batch");
        collection.replaceContents({named, holdingOf(QStringLiteral("g-1"))}, {}, {}, {}, std::nullopt);
        checkAsked("another file");

        // Once every row is named the fill asks nothing at all.
        collection.fillMissingRarities([](Language, const QString &) { return QStringLiteral("Common"); });
        checkAsked("every row named");
        QCOMPARE(asked, 0);
    }

    // However many holdings a card has, in either language, the fill asks
    // about it once and gives each holding the card's answer; a copy of the
    // rows taken before keeps them as they were.
    void fillingRaritiesAsksOncePerCard()
    {
        QList<CardEntry> entries;
        for (int i = 0; i < 2400; ++i) {
            const Language language = i % 3 == 0 ? Language::Japanese : Language::English;
            CardEntry entry = holdingOf(QStringLiteral("s%1-%2").arg(i % 7).arg(i % 500), 1, 0.0, language);
            entry.condition = Condition(i / 500);
            entries.append(entry);
        }
        Collection collection;
        collection.replaceContents(entries, {}, {}, {}, std::nullopt);
        const QList<CardEntry> before = collection.entries();
        QHash<QString, int> asked;
        // Cards numbered 7, 17, 27 ... have no rarity the provider knows.
        const int filled = collection.fillMissingRarities([&](Language language, const QString &id) {
            ++asked[ownedCardKey(language, id)];
            return id.endsWith(QLatin1Char('7')) ? QString() : id + languageCode(language);
        });
        QSet<QString> cards;
        int named = 0;
        for (int row = 0; row < entries.size(); ++row) {
            const CardEntry &entry = collection.entries().at(row);
            cards.insert(ownedCardKey(entry.lang, entry.cardId));
            const QString expected =
                entry.cardId.endsWith(QLatin1Char('7')) ? QString() : entry.cardId + languageCode(entry.lang);
            QCOMPARE(entry.rarity, expected);
            QVERIFY(before.at(row).rarity.isEmpty());
            named += expected.isEmpty() ? 0 : 1;
        }
        QCOMPARE(filled, named);
        QCOMPARE(asked.size(), cards.size());
        for (auto it = asked.cbegin(); it != asked.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key()));
    }

    // Thousands of cards keep the numbers they were first given, one a card
    // and language, as the table grows.
    void cardIdsAreNumberedOnce()
    {
        CardIdTable table;
        QStringList ids;
        for (int i = 0; i < 5000; ++i)
            ids.append(QStringLiteral("set%1-%2").arg(i % 40).arg(i));
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < ids.size(); ++i) {
                QCOMPARE(table.number(Language::English, ids.at(i)), std::make_pair(2 * i, round == 0));
                QCOMPARE(table.number(Language::Japanese, ids.at(i)), std::make_pair(2 * i + 1, round == 0));
            }
        }
        QCOMPARE(table.size(), 10000);
    }

    // Settling an unstated finish must never make a row a second copy of
    // another row: the old file may hold both lines of one card.
    void fillingFinishesKeepsKeysUnique()
    {
        Collection collection;
        CardEntry unstated = holdingOf(QStringLiteral("base1-4"));
        unstated.variant.clear();
        unstated.edition = QStringLiteral("firstEdition");
        CardEntry stated = unstated;
        stated.variant = QStringLiteral("holo");
        CardEntry other = unstated;
        other.cardId = QStringLiteral("base1-2");
        CardEntry twin = other;
        twin.notes = QStringLiteral("second unstated line of base1-2");
        collection.replaceContents({unstated, stated, other, twin}, {}, {}, {}, std::nullopt);

        QSignalSpy changed(&collection, &Collection::changed);
        const int settled = collection.fillMissingVariants(
            [](Language, const QString &) { return QStringList{QStringLiteral("holo")}; });
        QCOMPARE(settled, 1);
        QCOMPARE(changed.count(), 1);
        QVERIFY(collection.entries().at(0).variant.isEmpty());
        QCOMPARE(collection.entries().at(2).variant, QStringLiteral("holo"));
        QVERIFY(collection.entries().at(3).variant.isEmpty());

        QSet<QString> keys;
        for (const CardEntry &entry : collection.entries())
            keys.insert(entryKey(entry));
        QCOMPARE(keys.size(), 4); // the twins read with one key now differ; no fill made a new pair
        // The key index followed the row settled.
        QCOMPARE(collection.indexOfEntry(entryKey(collection.entries().at(2))), 2);
        QCOMPARE(collection.indexOfEntry(entryKey(collection.entries().at(3))), 3);
    }

    // A holding's count stops at the int range; totals and the value history
    // go past it, in memory and in the file.
    void countsNeverWrap()
    {
        const int most = std::numeric_limits<int>::max();
        Collection collection;
        collection.replaceContents({holdingOf(QStringLiteral("a-1"), most, 1.0),
                                    holdingOf(QStringLiteral("a-2"), most, 1.0)},
                                   {}, {}, {}, std::nullopt);
        QCOMPARE(collection.totalCardCount(), 2 * qint64(most));
        QCOMPARE(collection.valueBySet().value(QStringLiteral("en:a")).cards, 2 * qint64(most));
        QCOMPARE(collection.totalValueEur(), 2.0 * most);
        collection.recordValueSnapshot();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("big.tmk"));
        QVERIFY(CollectionSerializer::write(file, collection));
        QCOMPARE(CollectionSerializer::read(file).history, collection.history());
        QCOMPARE(collection.history().at(0).cards, 2 * qint64(most));

        collection.addEntry(holdingOf(QStringLiteral("a-1"), most));
        QCOMPARE(collection.entries().at(0).count, most);
        CardEntry folded = collection.entries().at(1);
        folded.cardId = QStringLiteral("a-1");
        collection.updateEntry(1, folded);
        QCOMPARE(collection.entries().size(), 1);
        QCOMPARE(collection.entries().at(0).count, most);
    }

    void bindersAndLabelStyle()
    {
        Collection collection;
        QSignalSpy changed(&collection, &Collection::changed);
        Binder binder;
        collection.upsertBinder(binder);
        collection.insertBinder(0, binder);
        collection.removeBinder(QStringLiteral("missing"));
        QCOMPARE(changed.count(), 0);

        binder.id = QStringLiteral("b1");
        binder.name = QStringLiteral("First");
        collection.upsertBinder(binder);
        binder.name = QStringLiteral("Renamed");
        collection.upsertBinder(binder);
        collection.upsertBinder(binder);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(collection.binders().size(), 1);
        QCOMPARE(collection.binder(QStringLiteral("b1"))->name, QStringLiteral("Renamed"));
        QVERIFY(!collection.binder(QString()));

        Binder second = binder;
        second.id = QStringLiteral("b2");
        collection.insertBinder(-4, second);
        QCOMPARE(collection.indexOfBinder(QStringLiteral("b2")), 0);
        collection.removeBinder(QStringLiteral("b2"));
        QCOMPARE(collection.indexOfBinder(QStringLiteral("b2")), -1);

        changed.clear();
        collection.setLabelStyle(std::nullopt);
        QCOMPARE(changed.count(), 0);
        collection.setLabelStyle(LabelStyle());
        QCOMPARE(changed.count(), 1);
        LabelStyle nearlySame;
        nearlySame.textPointSize += 0.001;
        collection.setLabelStyle(nearlySame);
        QCOMPARE(changed.count(), 1);
        collection.setLabelStyle(std::nullopt);
        QCOMPARE(changed.count(), 2);
    }

    void weeklyHistory()
    {
        Collection collection;
        const QDate wednesday(2024, 1, 3);
        collection.recordHistoryPoint(wednesday, 10.0, 1, {{QStringLiteral("en:a"), {10.0, 1}}});
        collection.recordHistoryPoint(QDate(2024, 1, 7), 20.0, 2, {});
        QCOMPARE(collection.history().size(), 1);
        QCOMPARE(collection.history().at(0).date, QDate(2024, 1, 1));
        QCOMPARE(collection.history().at(0).totalEur, 20.0);
        QVERIFY(collection.history().at(0).sets.isEmpty());

        collection.recordHistoryPoint(QDate(2024, 1, 8), 30.0, 3, {});
        collection.recordHistoryPoint(QDate(2023, 12, 20), 5.0, 1, {});
        QCOMPARE(collection.history().size(), 3);
        QCOMPARE(collection.history().at(0).date, QDate(2023, 12, 18));
        QCOMPARE(collection.history().at(2).date, QDate(2024, 1, 8));

        QSignalSpy changed(&collection, &Collection::changed);
        collection.recordHistoryPoint(QDate(), 1.0, 1, {});
        QCOMPARE(changed.count(), 0);
        collection.recordHistoryPoint(QDate(2024, 1, 8), 30.0, 3, {});
        QCOMPARE(changed.count(), 1);
    }

    void snapshotUsesTheEffectivePrice()
    {
        Collection collection;
        CardEntry custom = holdingOf(QStringLiteral("sv03-1"), 2, 9.0);
        custom.customPriceEur = 5.0;
        collection.addEntry(custom);
        collection.addEntry(holdingOf(QStringLiteral("sv03-2"), 1, 9.0));
        collection.addEntry(holdingOf(QStringLiteral("base1-1"), 4, 0.0));
        // Today is read from a clock that midnight cannot pass between two readings.
        const test::ManualTime clock;
        collection.recordValueSnapshot();
        const QDate today = SteadyClock::today();

        const HistoryPoint &point = collection.history().constLast();
        QCOMPARE(point.date, today.addDays(1 - today.dayOfWeek()));
        QCOMPARE(point.totalEur, 19.0);
        QCOMPARE(point.cards, 7);
        QCOMPARE(point.sets.size(), 1);
        QCOMPARE(point.sets.value(QStringLiteral("en:sv03")).eur, 19.0);
        QCOMPARE(point.sets.value(QStringLiteral("en:sv03")).cards, 3);
    }
};

PV_REGISTER_TEST(CollectionTest)
#include "CollectionTest.moc"
