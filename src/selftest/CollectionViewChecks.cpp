#include "catalog/CatalogSearch.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/NameTranslator.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"
#include "ui/models/CollectionSearchModel.h"
#include "ui/models/CollectionTreeModel.h"

namespace pv::selftest {

namespace {

// A default holding of count 1 whose card id is the set id, "-" and the number.
CardEntry searchEntry(const QString &name, const QString &localId, const QString &setId, Language language)
{
    CardEntry entry;
    entry.name = name;
    entry.localId = localId;
    entry.setId = setId;
    entry.lang = language;
    entry.cardId = setId + QLatin1Char('-') + localId;
    entry.count = 1;
    return entry;
}

CardEntry makeSv03Entry(const QString &localId, const QString &name, double unitValueEur)
{
    CardEntry entry = searchEntry(name, localId, QStringLiteral("sv03"), Language::English);
    entry.unitValueEur = unitValueEur;
    return entry;
}

// The "No." column of the first set of the first series of the first language.
QStringList cardRowTexts(const QAbstractItemModel &model)
{
    const QModelIndex set = model.index(0, 0, model.index(0, 0, model.index(0, 0)));
    QStringList rows;
    if (!set.isValid())
        return rows;
    for (int row = 0; row < model.rowCount(set); ++row)
        rows.append(model.index(row, 1, set).data(Qt::DisplayRole).toString());
    return rows;
}

int searchCount(CollectionSearchModel &model, const QString &name, const QString &numberText, int setCount)
{
    CardQuery query;
    query.text = name;
    query.printedTotal = setCount;
    splitPrintedNumber(numberText, &query.number, &query.printedTotal);
    model.setQuery(query);
    return model.rowCount();
}

SetRecord searchSet(const QString &id, const QString &name, const QString &serie, Language language, int official)
{
    SetRecord record;
    record.id = id;
    record.name = name;
    record.serie = serie;
    record.language = language;
    record.officialCardCount = official;
    return record;
}

} // namespace

void testCollectionSortOrder()
{
    Collection collection;
    collection.addEntry(makeSv03Entry(QStringLiteral("010"), QStringLiteral("Charmander"), 2.0));
    collection.addEntry(makeSv03Entry(QStringLiteral("002"), QStringLiteral("Charizard"), 50.0));
    collection.addEntry(makeSv03Entry(QStringLiteral("005"), QStringLiteral("Charmeleon"), 0.0));
    CollectionTreeModel model;
    model.setCollection(&collection);

    const QStringList printed = cardRowTexts(model);
    check(printed == QStringList{QStringLiteral("002"), QStringLiteral("005"), QStringLiteral("010")},
          QStringLiteral("cards read in printed order by default (%1)").arg(printed.join(QStringLiteral(", "))));

    model.setCardSortMode(CollectionTreeModel::CardSortMode::Price);
    QStringList rows = cardRowTexts(model);
    check(rows == QStringList{QStringLiteral("002"), QStringLiteral("010"), QStringLiteral("005")},
          QStringLiteral("by price the dearest leads and the unpriced card sinks (%1)").arg(rows.join(QStringLiteral(", "))));

    const int at = collection.indexOfEntry(entryKey(makeSv03Entry(QStringLiteral("010"), QStringLiteral("Charmander"), 2.0)));
    if (at >= 0) {
        CardEntry dearer = collection.entries().at(at);
        dearer.customPriceEur = 900.0;
        collection.updateEntry(at, dearer);
    }
    rows = cardRowTexts(model);
    check(!rows.isEmpty() && rows.first() == QLatin1String("010"),
          QStringLiteral("a custom price outranks the cached market one (%1)").arg(rows.join(QStringLiteral(", "))));

    model.setCardSortMode(CollectionTreeModel::CardSortMode::Number);
    check(cardRowTexts(model) == printed, QStringLiteral("and switching back restores the printed order"));
}

void testCollectionSearch()
{
    const Language en = Language::English;
    const Language ja = Language::Japanese;
    Collection collection;
    collection.addEntry(searchEntry(QStringLiteral("Charizard ex"), QStringLiteral("005"), QStringLiteral("sv03"), en));
    collection.addEntry(searchEntry(QStringLiteral("Pokemon Center Lady"), QStringLiteral("010"), QStringLiteral("sv03"), en));
    collection.addEntry(searchEntry(QString::fromUtf8("リザードン"), QStringLiteral("005"), QStringLiteral("SV3"), ja));
    collection.mergeSetInfo(searchSet(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"),
                                      QStringLiteral("Scarlet & Violet"), en, 165));
    collection.mergeSetInfo(searchSet(QStringLiteral("SV3"), QString::fromUtf8("Ruler of the Black Flame"), QString(), ja, 0));

    CollectionSearchModel model;
    model.setCollection(&collection);
    const int t = NameTranslator::isLoaded() && NameTranslator::isEnabled() ? 1 : 0;

    check(searchCount(model, QStringLiteral("charizard"), QString(), 0) == 1 + t,
          t ? QStringLiteral("a name matches case-insensitively, across both spellings")
            : QStringLiteral("a name matches case-insensitively"));
    check(searchCount(model, QStringLiteral("pokemon"), QString(), 0) == 1,
          QStringLiteral("an accent-folded name finds \"Pokemon Center Lady\""));
    check(searchCount(model, QStringLiteral("c"), QString(), 0) == 2 + t,
          QStringLiteral("a single character is a valid collection search"));
    check(searchCount(model, QString(), QStringLiteral("005"), 0) == 2,
          QStringLiteral("a printed number matches across languages"));
    check(searchCount(model, QString(), QStringLiteral("5"), 0) == 2,
          QStringLiteral("\"5\" finds a card printed \"005\""));
    check(searchCount(model, QString(), QStringLiteral("005/165"), 0) == 2,
          QStringLiteral("\"005/165\" keeps the card whose set size is unknown"));

    collection.mergeSetInfo(searchSet(QStringLiteral("SV3"), QString::fromUtf8("Ruler of the Black Flame"), QString(), ja, 108));
    check(searchCount(model, QString(), QStringLiteral("005/165"), 0) == 1,
          QStringLiteral("once both set sizes are known the denominator narrows"));
    check(!model.setCountIgnored(), QStringLiteral("a document whose sets know their size reports no doubt"));

    model.setLanguageFilter(ja);
    check(searchCount(model, QString(), QStringLiteral("005"), 0) == 1,
          QStringLiteral("the language filter narrows to one language"));
    model.setLanguageFilter(std::nullopt);
    check(searchCount(model, QString(), QStringLiteral("005"), 0) == 2,
          QStringLiteral("clearing it searches every language again"));

    searchCount(model, QStringLiteral("charizard"), QString(), 0);
    check(model.index(0, 0).data(Qt::DisplayRole).toString() == QLatin1String("Charizard ex"),
          QStringLiteral("the name column reads as the tree's does"));
    check(model.index(0, 10).data(Qt::DisplayRole).toString() == QLatin1String("Obsidian Flames"),
          QStringLiteral("the set column names the expansion"));
    check(model.index(0, 0).data(CollectionSearchModel::EntryIndexRole).toInt() == 0,
          QStringLiteral("a row carries its index into the collection"));
    const QString firstKey = entryKey(collection.entries().at(0));
    check(model.rowForKey(firstKey) == 0, QStringLiteral("a row is findable by its entry identity"));

    searchCount(model, QString(), QStringLiteral("005"), 0);
    collection.removeEntryAt(0);
    model.rebuild();
    check(model.rowCount() == 1, QStringLiteral("removing a hit leaves the other one behind"));
    check(model.rowForKey(firstKey) == -1, QStringLiteral("the removed card is no longer findable"));
    const int source = model.sourceIndex(0);
    check(source >= 0 && source < collection.entries().size(),
          QStringLiteral("the surviving row points at a card that still exists"));
}

} // namespace pv::selftest
