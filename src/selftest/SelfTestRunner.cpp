#include "selftest/SelfTestRunner.h"

#include "catalog/TcgdexClient.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include <memory>

namespace pv {

namespace selftest {

const QList<SelfTest> &selfTests()
{
    static const QList<SelfTest> tests = {
        {"themes", testThemes},
        {"Japanese name translation", testNameTranslation},
        {"Display currency", testDisplayCurrency},
        {"Price basis", testPriceBasis},
        {"Price source", testPriceSource},
        {"Card number ordering", testCardNumberOrdering, SelfTest::JoinsPrevious},
        {"Collection dock card ordering", testCollectionSortOrder},
        {"Collector number normalisation", testCardNumberNormalisation},
        {"Printings", testPrintings},
        {"Errata", testErrata},
        {"Legacy printing migration", testLegacyPrintingMigration},
        {"Catalog matching rules", testCatalogMatchingRules},
        {"Search dock, collection scope", testCollectionSearch},
        {"Catalog diff", testCatalogDiff},
        {"Undo and redo", testUndoRedo},
        {"Card facts", testCardFacts},
        {"Labels", testLabels},
        {"Binders", testBinders},
        {"English endpoints", testEnglishEndpoints},
        {"Binder endpoints", testBinderEndpoints},
        {"Card catalog", testCardCatalog},
        {"Value-ranked binders", testValueRankedBinders, SelfTest::NoNetwork},
        {"Add cards dialog", testAddCardsDialog},
        {"Japanese endpoints", testJapaneseEndpoints},
        {"Vintage English printings", testVintageEnglishPrintings},
        {"TCGCSV fallback pricing", testFallbackPricing},
        {"Images", testImages},
    };
    return tests;
}

int runSelfTestList(const QList<SelfTest> &tests, TcgdexClient &client)
{
    resetFailures();
    bool first = true;
    for (const SelfTest &test : tests) {
        beginTest(test.title, test.blankLineBefore && !first);
        first = false;
        if (test.givenClient)
            test.givenClient(client);
        else if (test.offline)
            test.offline();
    }
    return finishRun();
}

} // namespace selftest

int runSelfTests()
{
    // The suite's own card database client, handed to every test that takes one.
    auto client = std::make_unique<TcgdexClient>();
    return selftest::runSelfTestList(selftest::selfTests(), *client);
}

} // namespace pv
