#include "Fixtures.h"
#include "TestRegistry.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <QRandomGenerator>
#include <QTest>

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

CardEntry holding(int card, int condition)
{
    CardEntry entry = test::numberedHolding(QStringLiteral("sv03"), QString::number(card));
    entry.condition = Condition(condition);
    return entry;
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
        for (const bool sharedKeys : {true, false})
            editAndLookUp(sharedKeys);
    }

private:
    void editAndLookUp(bool sharedKeys)
    {
        Collection collection;
        QRandomGenerator random(7);
        for (int step = 0; step < 3000; ++step) {
            const CardEntry entry = holding(int(random.bounded(40)), int(random.bounded(3)));
            const int rows = int(collection.entries().size());
            switch (random.bounded(7)) {
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
            }
            const CardEntry probe = holding(int(random.bounded(40)), int(random.bounded(3)));
            const QString key = entryKey(probe);
            QCOMPARE(collection.indexOfEntry(key), firstRowWithKey(collection, key));
            if (!collection.entries().isEmpty()) {
                const QString held =
                    entryKey(collection.entries().at(int(random.bounded(int(collection.entries().size())))));
                QCOMPARE(collection.indexOfEntry(held), firstRowWithKey(collection, held));
            }
            QList<int> indexed = collection.rowsOfCard(Language::English, probe.cardId);
            std::sort(indexed.begin(), indexed.end());
            QCOMPARE(indexed, rowsScanned(collection, probe.cardId));
            // The totals it keeps follow every edit too.
            double value = 0.0;
            for (const CardEntry &entry : collection.entries())
                value += entryLineValue(entry);
            QCOMPARE(collection.totalValueEur(), value);
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
