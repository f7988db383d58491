#include "TestRegistry.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <QRandomGenerator>
#include <QTest>

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

CardEntry holding(int card, int condition)
{
    CardEntry entry;
    entry.cardId = QStringLiteral("sv03-%1").arg(card);
    entry.setId = QStringLiteral("sv03");
    entry.condition = Condition(condition);
    return entry;
}

} // namespace

// The collection looks holdings up by key through an index it keeps beside the
// rows; whatever edits came before, a lookup must find the first row holding
// the key, exactly as a scan of the rows would.
class CollectionKeyIndexTest : public QObject
{
    Q_OBJECT

private slots:
    void lookupsMatchARowScanAfterEveryKindOfEdit()
    {
        Collection collection;
        QRandomGenerator random(7);
        for (int step = 0; step < 3000; ++step) {
            const CardEntry entry = holding(int(random.bounded(40)), int(random.bounded(3)));
            const int rows = int(collection.entries().size());
            switch (random.bounded(6)) {
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
                collection.insertEntry(rows > 0 ? int(random.bounded(rows + 1)) : 0, entry);
                break;
            case 4:
                if (rows > 0)
                    collection.replaceEntry(int(random.bounded(rows)), entry);
                break;
            case 5:
                if (rows > 0)
                    collection.removeEntryAt(int(random.bounded(rows)));
                break;
            }
            const QString key = entryKey(holding(int(random.bounded(40)), int(random.bounded(3))));
            QCOMPARE(collection.indexOfEntry(key), firstRowWithKey(collection, key));
        }
        collection.replaceContents({holding(1, 0), holding(1, 0)}, {}, {}, {}, std::nullopt);
        QCOMPARE(collection.indexOfEntry(entryKey(holding(1, 0))), 0);
        collection.clear();
        QCOMPARE(collection.indexOfEntry(entryKey(holding(1, 0))), -1);
    }
};

PV_REGISTER_TEST(CollectionKeyIndexTest)
#include "CollectionKeyIndexTest.moc"
