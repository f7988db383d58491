#include "selftest/SelfTestRunner.h"

#include "catalog/TcgdexClient.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include <memory>

namespace pv {

int runSelfTests()
{
    using namespace selftest;
    resetFailures();
    // The suite's own card database client, handed to every network test.
    auto client = std::make_unique<TcgdexClient>();

    // Offline tests, in run order.
    testThemes();
    testNameTranslation();
    testDisplayCurrency();
    testPriceBasis();
    testPriceSource();
    testCardNumberOrdering();
    testCardNumberNormalisation();
    testPrintings();
    testErrata();
    testLegacyPrintingMigration();
    testCatalogMatchingRules();
    testCatalogDiff();
    testUndoRedo();
    testCardFacts();
    testLabels();
    testBinders();

    // Network tests, in run order.
    testEnglishEndpoints(*client);     // 19
    testBinderEndpoints(*client);      // 20
    testCardCatalog(*client);          // 21
    testValueRankedBinders(*client);   // 22
    testJapaneseEndpoints(*client);    // 24
    testVintageEnglishPrintings(*client); // 25
    testFallbackPricing(*client);      // 26
    testImages(*client);               // 27

    const int status = finishRun();
    client.reset();
    return status;
}

} // namespace pv
