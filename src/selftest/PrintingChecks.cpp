#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "core/CardVocabulary.h"

#include <QDir>
#include <QTemporaryDir>

namespace pv::selftest {

void testPrintings()
{

    check(isHoloFinish(QStringLiteral("holo")) && isHoloFinish(QStringLiteral("reverse")),
          QStringLiteral("holo and reverse are foil finishes"));
    check(!isHoloFinish(QStringLiteral("normal")), QStringLiteral("normal is not"));
    check(!allFinishes().contains(QStringLiteral("firstEdition"))
              && !allEditions().contains(QStringLiteral("holo")),
          QStringLiteral("the two axes share no key"));

    const QString first = QStringLiteral("firstEdition");
    const QString shadowless = QStringLiteral("shadowless");

    const Printings base = basePrintings(Language::English, QStringLiteral("base1"));
    check(base.editions.contains(shadowless) && base.editions.contains(first),
          QStringLiteral("Base Set offers both shadowless and 1st edition"));
    const Printings jungle = basePrintings(Language::English, QStringLiteral("base2"));
    check(jungle.editions.contains(first) && !jungle.editions.contains(shadowless),
          QStringLiteral("Jungle offers 1st edition but not shadowless"));
    const Printings destiny = basePrintings(Language::English, QStringLiteral("neo4"));
    check(destiny.editions.contains(first) && !destiny.editions.contains(shadowless),
          QStringLiteral("Neo Destiny, the last of them, still offers 1st edition"));
    const Printings legendary = basePrintings(Language::English, QStringLiteral("lc"));
    check(!legendary.editions.contains(first),
          QStringLiteral("Legendary Collection, the set after, offers none"));
    const Printings modern = basePrintings(Language::English, QStringLiteral("sv03"));
    check(!modern.editions.contains(shadowless) && !modern.editions.contains(first),
          QStringLiteral("a modern English set offers neither"));
    check(modern.editions == QStringList{QStringLiteral("unlimited")},
          QStringLiteral("leaving Unlimited as the only run"));
    check(modern.finishes.contains(QStringLiteral("reverse")),
          QStringLiteral("while keeping the finishes it does have"));
    const Printings japanese = basePrintings(Language::Japanese, QStringLiteral("SV3"));
    check(japanese.editions.contains(first) && !japanese.editions.contains(shadowless),
          QStringLiteral("Japanese sets keep 1st edition, which ran there far longer"));

    const QHash<QString, bool> charizardFlags{{QStringLiteral("normal"), false},
                                              {QStringLiteral("holo"), true},
                                              {QStringLiteral("reverse"), false},
                                              {QStringLiteral("firstEdition"), true}};
    const Printings charizard = basePrintings(Language::English, QStringLiteral("base1"), &charizardFlags);
    check(!charizard.finishes.contains(QStringLiteral("reverse")),
          QStringLiteral("Base Set Charizard is not offered a reverse holo"));
    check(!charizard.finishes.contains(QStringLiteral("normal"))
              && charizard.finishes.contains(QStringLiteral("holo")),
          QStringLiteral("nor a plain one - it exists only as a holo"));
    check(charizard.editions.contains(first) && charizard.editions.contains(shadowless)
              && charizard.editions.contains(QStringLiteral("unlimited")),
          QStringLiteral("but all three of its runs are offered, alongside the finish"));
    check(base.finishes.contains(QStringLiteral("reverse")),
          QStringLiteral("without the card's own answer every finish stays on offer"));
    const QHash<QString, bool> nothing{{QStringLiteral("normal"), false}};
    const Printings none = basePrintings(Language::English, QStringLiteral("sv03"), &nothing);
    check(none.finishes == QStringList{QStringLiteral("normal")}
              && none.editions == QStringList{QStringLiteral("unlimited")},
          QStringLiteral("a card the API says was printed in nothing still offers Normal"));

    CardEntry unlimited;
    unlimited.cardId = QStringLiteral("base1-4");
    unlimited.setId = QStringLiteral("base1");
    unlimited.localId = QStringLiteral("4");
    unlimited.name = QStringLiteral("Charizard");
    unlimited.unitValueEur = 100.0;
    unlimited.variant = QStringLiteral("holo");
    unlimited.edition = QStringLiteral("unlimited");
    CardEntry shadowlessHolo = unlimited;
    shadowlessHolo.edition = shadowless;
    CardEntry firstEdition = unlimited;
    firstEdition.edition = first;

    check(entryKey(shadowlessHolo) != entryKey(unlimited) && entryKey(firstEdition) != entryKey(shadowlessHolo),
          QStringLiteral("the three runs of one holo are three identities"));
    const QString shadowlessLabel = entryPrintingLabel(shadowlessHolo);
    check(shadowlessLabel == QLatin1String("Shadowless Holo"),
          QStringLiteral("and a shadowless holo can finally be said: \"%1\"").arg(shadowlessLabel));
    check(entryPrintingLabel(unlimited) == QLatin1String("Holo"),
          QStringLiteral("while the Unlimited run stays unsaid"));

    Collection collection;
    collection.addEntry(unlimited);
    collection.addEntry(shadowlessHolo);
    collection.addEntry(firstEdition);
    collection.addEntry(unlimited);
    check(collection.entries().size() == 3,
          QStringLiteral("they stay separate rows while duplicates still merge"));

    QTemporaryDir dir;
    if (!dir.isValid())
        return;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("printruns.tmk"));
    check(CollectionSerializer::write(path, collection), QStringLiteral("a collection holding all three saves"));
    const CollectionSerializer::ReadResult read = CollectionSerializer::read(path);
    check(read.ok && read.entries.size() == 3, QStringLiteral("it loads back with every row"));
    bool survived = false;
    for (const CardEntry &entry : read.entries)
        survived = survived || (entry.edition == shadowless && entry.variant == QLatin1String("holo"));
    check(survived, QStringLiteral("the shadowless holo survives the round trip as both"));
}

} // namespace pv::selftest
