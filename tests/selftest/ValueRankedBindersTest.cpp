#include "StdoutCapture.h"
#include "TestRegistry.h"
#include "ui/BinderFixtures.h"

#include "catalog/TcgdexClient.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include <QFile>
#include <QTest>

using namespace pv;
using pv::test::StdoutCapture;

// The value-ranked binder checks, over a cached English catalog written here.
class ValueRankedBindersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { selftest::resetFailures(); }
    void cleanup() { selftest::resetFailures(); }

    void everyCheckPassesOverACachedCatalog()
    {
        CatalogCache::Contents contents;
        contents.series = {SerieBrief{QStringLiteral("ecard"), QStringLiteral("E-Card"), QString()}};
        contents.sets = {test::catalogSet(QStringLiteral("ecard1"), QStringLiteral("Expedition Base Set"),
                                          QStringLiteral("ecard"), 1)};
        for (int i = 1; i <= 9; ++i)
            contents.cards.append(test::fixtureCard(QStringLiteral("ecard1"), i, QStringLiteral("Common")));
        contents.rarities = {QStringLiteral("Common")};
        contents.haveVariants = true;
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents));

        TcgdexClient client;
        StdoutCapture capture;
        selftest::testValueRankedBinders(client);
        const QString expected = QStringLiteral(
            "  ok    the cap decides how many pockets there are\n"
            "  ok    it keeps the dearest cards, cheapest of them first\n"
            "  ok    each pocket carries the value it was ranked on\n"
            "  ok    every pocket of a value binder is owned by construction\n"
            "  ok    a card ranks on its dearest copy, not on six cheap ones\n"
            "  ok    a custom price is what the ranking sees\n"
            "  ok    a cap larger than the collection is not padded out\n"
            "  ok    an unpriced collection still cuts in the same place twice\n"
            "  ok    a rules binder still resolves the whole set, uncapped\n"
            "  ok    and its pockets carry no ranking value\n"
            "  ok    the value-ranked template is offered in the combo\n"
            "  ok    choosing it greys out the criteria there are none of\n"
            "  ok    and explains why the panel is grey\n"
            "  ok    the binder is named for it\n"
            "  ok    the dialog produces a capped binder with no rules\n"
            "  ok    carrying the template's grid, so 360 is exactly forty pages\n"
            "  ok    switching back to a custom binder clears the cap\n");
        QCOMPARE(capture.text(), expected);
        QCOMPARE(selftest::failureCount(), 0);
    }

    // A set of fewer than six cards cannot be ranked: one failed line ends
    // the test.
    void tooFewCardsEndTheTest()
    {
        CatalogCache::Contents contents;
        contents.sets = {test::catalogSet(QStringLiteral("ecard1"), QString(), QString(), 1)};
        for (int i = 1; i <= 5; ++i)
            contents.cards.append(test::fixtureCard(QStringLiteral("ecard1"), i, QString()));
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents));

        TcgdexClient client;
        StdoutCapture capture;
        selftest::testValueRankedBinders(client);
        QCOMPARE(capture.text(), QStringLiteral("  FAIL  a cached set offers enough cards to rank\n"));
        QCOMPARE(selftest::failureCount(), 1);
    }
};

PV_REGISTER_TEST(ValueRankedBindersTest)
#include "ValueRankedBindersTest.moc"
