#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardNumbers.h"
#include "core/NameTranslator.h"
#include "ui/models/CollectionSearchModel.h"
#include "ui/models/CollectionTreeModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;
using namespace pv::test;

namespace {

const Language EN = Language::English;
const Language JA = Language::Japanese;

int count(CollectionSearchModel &model, const QString &text, const QString &number = QString(), int total = 0)
{
    CardQuery query;
    query.text = text;
    query.number = number;
    query.printedTotal = total;
    model.setQuery(query);
    return model.rowCount();
}

} // namespace

class CollectionSearchModelTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void cleanup()
    {
        NameTranslator::load();
        NameTranslator::setEnabled(true);
    }

    void matchesNameNumberSizeAndLanguage()
    {
        NameTranslator::setEnabled(true);
        NameTranslator::loadFile(writeFixture(m_dir.filePath(QStringLiteral("ja-en.json")),
                                              R"({"format": "tallowk-translations", "cards": {"リザードン": "Charizard"}})"));
        Collection collection;
        collection.addEntry(holding(QStringLiteral("sv03"), QStringLiteral("005"), QStringLiteral("Charizard ex"), 4.0));
        collection.addEntry(holding(QStringLiteral("sv03"), QStringLiteral("010"), QStringLiteral("Pokémon Center Lady")));
        collection.addEntry(holding(QStringLiteral("SV3"), QStringLiteral("005"), QStringLiteral("リザードン"), 0, JA));
        collection.addEntry(holding(QStringLiteral("promo"), QStringLiteral("SV"), QStringLiteral("Promo card")));
        collection.addEntry(holding(QStringLiteral("promo"), QStringLiteral("SV05"), QStringLiteral("Promo five")));

        CollectionSearchModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setCollection(&collection);
        QCOMPARE(count(model, QString()), 0);
        QVERIFY(!model.printedTotalIgnored());

        // Names fold case and accents; a Japanese card answers to its English name.
        QCOMPARE(count(model, QStringLiteral("CHARIZARD")), 2);
        QCOMPARE(count(model, QStringLiteral("pokemon")), 1);
        QCOMPARE(count(model, QStringLiteral("リザ")), 1);
        NameTranslator::setEnabled(false);
        QCOMPARE(count(model, QStringLiteral("charizard")), 1);
        NameTranslator::setEnabled(true);
        // Names are folded once and kept; a renamed holding is folded again.
        CardEntry renamed = collection.entries().at(3);
        renamed.name = QStringLiteral("Charizard promo");
        collection.updateEntry(3, renamed);
        QCOMPARE(count(model, QStringLiteral("charizard")), 3);
        renamed.name = QStringLiteral("Promo card");
        collection.updateEntry(3, renamed);
        QCOMPARE(count(model, QStringLiteral("charizard")), 2);

        // Numbers by their parsed value, or by the whole text when it has no digits.
        QCOMPARE(count(model, QString(), QStringLiteral("5")), 2);
        QCOMPARE(count(model, QString(), QStringLiteral("sv")), 1);
        QCOMPARE(model.data(model.index(0, CollectionTreeModel::NumberColumn)).toString(), QStringLiteral("SV"));

        // A set size no set knows filters nothing and says so; sets without a
        // size keep their holdings once other sets know theirs.
        QCOMPARE(count(model, QString(), QStringLiteral("005"), 165), 2);
        QVERIFY(model.printedTotalIgnored());
        QVERIFY(model.setCountIgnored());
        collection.mergeSetInfo(setRecord(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"),
                                          QStringLiteral("Scarlet & Violet"), 1, 165));
        QCOMPARE(count(model, QString(), QStringLiteral("005"), 165), 2);
        QVERIFY(!model.printedTotalIgnored());
        QCOMPARE(count(model, QString(), QStringLiteral("005"), 99), 1);
        QCOMPARE(model.sourceIndex(0), 2);

        model.setLanguageFilter(JA);
        QCOMPARE(count(model, QString(), QStringLiteral("005")), 1);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.setLanguageFilter(std::nullopt);
        model.setLanguageFilter(std::nullopt);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), 2);

        // Columns 0 to 9 are the tree's card cells; then set, series, language.
        QCOMPARE(count(model, QStringLiteral("charizard")), 2);
        CollectionTreeModel tree;
        tree.setCollection(&collection);
        const QModelIndex card = tree.indexForEntryKey(entryKey(collection.entries().at(0)));
        for (int column = 0; column < CollectionTreeModel::ColumnCount; ++column) {
            QCOMPARE(model.index(0, column).data(), card.siblingAtColumn(column).data());
            QCOMPARE(model.index(0, column).data(Qt::TextAlignmentRole), card.siblingAtColumn(column).data(Qt::TextAlignmentRole));
            QCOMPARE(model.headerData(column, Qt::Horizontal), tree.headerData(column, Qt::Horizontal));
        }
        QCOMPARE(model.index(0, 10).data().toString(), QStringLiteral("Obsidian Flames"));
        QCOMPARE(model.index(0, 11).data().toString(), QStringLiteral("Scarlet & Violet"));
        QCOMPARE(model.index(1, 12).data().toString(), QStringLiteral("Japanese"));
        QCOMPARE(model.index(1, 11).data().toString(), QString());
        QCOMPARE(model.index(0, 3).data(Qt::ToolTipRole).toString(), QStringLiteral("Obsidian Flames - Scarlet & Violet"));
        QCOMPARE(model.headerData(12, Qt::Horizontal).toString(), QStringLiteral("Language"));
        QCOMPARE(model.index(1, 0).data(CollectionSearchModel::EntryIndexRole).toInt(), 2);
        QCOMPARE(model.index(0, 1).data(CollectionSearchModel::SortKeyRole).toString(), cardNumberSortKey(QStringLiteral("005")));
        QCOMPARE(model.index(0, 9).data(CollectionSearchModel::SortKeyRole).toDouble(), 4.0);
        QCOMPARE(model.index(0, 10).data(CollectionSearchModel::SortKeyRole).toString(), QStringLiteral("Obsidian Flames"));

        // Rows point back into the collection; a removed holding is gone
        // after the owner's rebuild, and a stale row reads nothing before it.
        const QString firstKey = entryKey(collection.entries().at(0));
        QCOMPARE(model.rowForKey(firstKey), 0);
        QCOMPARE(model.sourceIndex(-1), -1);
        QCOMPARE(model.sourceIndex(model.rowCount()), -1);
        collection.removeEntryAt(4);
        collection.removeEntryAt(3);
        collection.removeEntryAt(2);
        QVERIFY(!model.index(1, 0).data().isValid());
        collection.removeEntryAt(0);
        model.rebuild();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.rowForKey(firstKey), -1);
    }

    void refreshesValuesInPlace()
    {
        Collection collection;
        collection.addEntry(holding(QStringLiteral("s"), QStringLiteral("1"), QStringLiteral("A"), 1.0));
        collection.addEntry(holding(QStringLiteral("s"), QStringLiteral("2"), QStringLiteral("B"), 2.0));
        CollectionSearchModel model;
        model.setCollection(&collection);
        QCOMPARE(count(model, QString(), QString(), 0), 0);
        QSignalSpy cells(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
        model.refreshValues();
        QCOMPARE(cells.count(), 0);
        QCOMPARE(headers.count(), 1);
        QCOMPARE(count(model, QStringLiteral("a")), 1);
        QCOMPARE(count(model, QString(), QString(), 50), 2);
        model.refreshValues();
        QCOMPARE(cells.count(), 1);
        QCOMPARE(cells.at(0).at(0).value<QModelIndex>(), model.index(0, 8));
        QCOMPARE(cells.at(0).at(1).value<QModelIndex>(), model.index(1, 9));
        QCOMPARE(cells.at(0).at(2).value<QList<int>>(), (QList<int>{Qt::DisplayRole, 258}));

        // New rarities show in the rows found, unless the query chooses by
        // rarity: those results must be searched again.
        cells.clear();
        collection.fillMissingRarities([](Language, const QString &) { return QStringLiteral("Rare"); });
        QVERIFY(model.refreshCardFacts());
        QCOMPARE(cells.count(), 1);
        QCOMPARE(cells.at(0).at(0).value<QModelIndex>(), model.index(0, 2));
        QCOMPARE(cells.at(0).at(1).value<QModelIndex>(), model.index(1, 3));
        QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("Rare"));
        CardQuery byRarity;
        byRarity.rarities = {QStringLiteral("Common")};
        model.setQuery(byRarity);
        QVERIFY(!model.refreshCardFacts());
    }
};

PV_REGISTER_TEST(CollectionSearchModelTest)
#include "CollectionSearchModelTest.moc"
