#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "core/CardDetail.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

namespace pv::selftest {

void testCardFacts()
{

    const CardDetail withDex = CardDetail::fromJson(QJsonObject{{QStringLiteral("id"), QStringLiteral("base1-058")},
                                                                {QStringLiteral("rarity"), QStringLiteral("Common")},
                                                                {QStringLiteral("dexId"), QJsonArray{25}}});
    check(withDex.dexId == 25, QStringLiteral("a card's dex number is read from the array"));
    const CardDetail withoutDex = CardDetail::fromJson(
        QJsonObject{{QStringLiteral("id"), QStringLiteral("base1-088")}, {QStringLiteral("rarity"), QStringLiteral("Common")}});
    check(withoutDex.dexId == 0, QStringLiteral("a card with no dex number reads as 0"));

    CardEntry pikachu;
    pikachu.cardId = QStringLiteral("base1-058");
    pikachu.setId = QStringLiteral("base1");
    pikachu.localId = QStringLiteral("58");
    pikachu.name = QStringLiteral("Pikachu");
    CardEntry graded = pikachu;
    graded.gradeCompany = GradingCompany::PSA;
    graded.gradeNote = QStringLiteral("10");
    CardEntry charizard = pikachu;
    charizard.cardId = QStringLiteral("base1-004");
    charizard.localId = QStringLiteral("4");
    charizard.name = QStringLiteral("Charizard");

    Collection collection;
    collection.addEntry(pikachu);
    collection.addEntry(graded);
    collection.addEntry(charizard);

    const QString cardId = QStringLiteral("base1-058");
    const QString common = QStringLiteral("Common");
    check(collection.applyCardFacts(Language::English, cardId, common, 25) == 4,
          QStringLiteral("both facts reach both copies of the card"));
    check(collection.entries().at(2).dexId == 0 && collection.entries().at(2).rarity.isEmpty(),
          QStringLiteral("a different card is left alone"));
    check(collection.applyCardFacts(Language::English, cardId, common, 25) == 0,
          QStringLiteral("re-applying the same facts changes nothing"));
    check(collection.applyCardFacts(Language::English, cardId, QString(), 0) == 0,
          QStringLiteral("blank facts do not overwrite known ones"));

    const auto stubRarityFor = [](Language, const QString &id) {
        return id == QLatin1String("base1-004") ? QStringLiteral("Rare Holo") : QStringLiteral("Uncommon");
    };
    check(collection.fillMissingRarities(stubRarityFor) == 1,
          QStringLiteral("the catalog fills only the rows with no rarity"));
    check(collection.entries().at(2).rarity == QLatin1String("Rare Holo"),
          QStringLiteral("the blank row takes the catalog's rarity"));
    check(collection.entries().at(0).rarity == common, QStringLiteral("the row that already had one keeps it"));

    QTemporaryDir dir;
    if (!dir.isValid()) {
        check(false, QStringLiteral("a scratch directory could be created"));
        return;
    }
    const QString path = QDir(dir.path()).filePath(QStringLiteral("facts.tmk"));
    QString error;
    check(CollectionSerializer::write(path, collection, &error),
          QStringLiteral("a collection carrying card facts saves"));
    const CollectionSerializer::ReadResult read = CollectionSerializer::read(path);
    check(read.ok && read.entries.size() == 3, QStringLiteral("it comes back out of the file"));
    if (read.entries.size() != 3)
        return;
    check(read.entries.at(0).dexId == 25 && read.entries.at(0).rarity == common,
          QStringLiteral("an entry keeps its dex number and rarity"));
    check(read.entries.at(2).dexId == 0, QStringLiteral("a card with no dex number comes back with none"));
}

} // namespace pv::selftest
