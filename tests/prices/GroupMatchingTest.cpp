#include "PricesTestSupport.h"
#include "TestRegistry.h"

#include "prices/PriceIndex.h"

#include <QTest>

using namespace pv;
using pv::test::makeSet;

namespace {

TcgcsvGroup makeGroup(int groupId, const QString &name, const QDate &published = QDate())
{
    TcgcsvGroup group;
    group.groupId = groupId;
    group.name = name;
    group.publishedOn = published;
    return group;
}

} // namespace

// How a card-database set is matched to a TCGCSV group by name, id and date.
class GroupMatchingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scoresAddUpNameIdAndDate()
    {
        const QDate released(2020, 1, 10);
        const SetRecord set = makeSet(QStringLiteral("ab1"), QStringLiteral("Alpha Beta"), released);
        QCOMPARE(PriceIndex::scoreGroup(set, makeGroup(1, QStringLiteral("AB1: Alpha Beta"), released)), 210);
        QCOMPARE(PriceIndex::scoreGroup(set, makeGroup(2, QStringLiteral("Alpha Beta"), released.addDays(5))), 95);
        QCOMPARE(PriceIndex::scoreGroup(set, makeGroup(2, QStringLiteral("Alpha Beta"), released.addDays(-7))), 95);
        QCOMPARE(PriceIndex::scoreGroup(set, makeGroup(2, QStringLiteral("Alpha Beta"), released.addDays(8))), 80);
        QCOMPARE(PriceIndex::scoreGroup(set, makeGroup(3, QStringLiteral("Alpha Beta Theme Deck"),
                                                       released.addYears(1))),
                 35);
        // "tin" is found inside longer words too, and only a word on one side costs.
        QCOMPARE(PriceIndex::scoreGroup(set, makeGroup(4, QStringLiteral("Alpha Beta Tinsel"))), 35);
        const SetRecord deckSet = makeSet(QStringLiteral("d1"), QStringLiteral("Alpha Deck"));
        QCOMPARE(PriceIndex::scoreGroup(deckSet, makeGroup(5, QStringLiteral("Alpha Deck"))), 80);
    }

    void bestGroupWinsAndTiesGoToTheSmallerId()
    {
        const QDate released(1999, 1, 9);
        const SetRecord set = makeSet(QStringLiteral("base1"), QStringLiteral("Base Set"), released);
        const QList<TcgcsvGroup> groups{
            makeGroup(1663, QStringLiteral("Base Set (Shadowless)"), released),
            makeGroup(900, QStringLiteral("Base Set"), released),
            makeGroup(604, QStringLiteral("Base Set"), released),
            makeGroup(700, QStringLiteral("Base Set"), released),
        };
        const PriceIndex::GroupMatch match = PriceIndex::scoreGroups(set, groups);
        QCOMPARE(match.groupId, 604);
        QCOMPARE(match.name, QStringLiteral("Base Set"));
        QCOMPARE(match.score, 130);
        QCOMPARE(PriceIndex::scoreGroups(set, {groups.at(2), groups.at(1)}).groupId, 604);
    }

    void scoresBelowFiftyMatchNothing()
    {
        const QDate released(2020, 1, 10);
        const SetRecord set = makeSet(QStringLiteral("ab1"), QStringLiteral("Alpha Beta"), released);
        // 60 + 15 - 25 reaches the threshold exactly.
        const TcgcsvGroup fifty = makeGroup(8, QStringLiteral("Alpha Beta Bundle"), released.addDays(3));
        QCOMPARE(PriceIndex::scoreGroup(set, fifty), 50);
        QCOMPARE(PriceIndex::scoreGroups(set, {fifty}).groupId, 8);
        // 60 - 25 falls short, and so does anything at or below 0.
        const TcgcsvGroup deck = makeGroup(9, QStringLiteral("Alpha Beta Theme Deck"), released.addYears(1));
        const TcgcsvGroup unrelated = makeGroup(1, QStringLiteral("Gamma"), released.addYears(2));
        QCOMPARE(PriceIndex::scoreGroups(set, {deck, unrelated}).groupId, 0);
        QCOMPARE(PriceIndex::scoreGroups(set, {unrelated}).score, 0);
        QCOMPARE(PriceIndex::scoreGroups(set, {}).groupId, 0);
        // A set without a usable name is placed by id and date alone.
        const SetRecord unnamed = makeSet(QStringLiteral("PCG1"), QStringLiteral("伝説の飛翔"), QDate(2004, 5, 21));
        QCOMPARE(PriceIndex::scoreGroups(unnamed, {makeGroup(24117, QStringLiteral("PCG1: Flight of Legends"),
                                                             QDate(2004, 5, 21))})
                     .score,
                 150);
    }

    void namesAreNormalisedToAsciiLettersAndDigits()
    {
        QCOMPARE(PriceIndex::normalise(QStringLiteral("Base Set (Shadowless)")), QStringLiteral("basesetshadowless"));
        QCOMPARE(PriceIndex::normalise(QStringLiteral("Ruby & Sapphire")), QStringLiteral("rubysapphire"));
        QCOMPARE(PriceIndex::normalise(QStringLiteral("Pokémon-Card 151")), QStringLiteral("pokmoncard151"));
        QCOMPARE(PriceIndex::normalise(QStringLiteral("伝説の飛翔")), QString());
    }
};

PV_REGISTER_TEST(GroupMatchingTest)
#include "GroupMatchingTest.moc"
