#include "selftest/SelfTestRunner.h"

#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

namespace pv {

int runSelfTests()
{
    using namespace selftest;
    resetFailures();

    // Offline tests, in run order.
    testNameTranslation();
    testDisplayCurrency();
    testPriceBasis();
    testPriceSource();
    testCardNumberOrdering();
    testCardNumberNormalisation();
    testErrata();
    testCatalogMatchingRules();
    testCatalogDiff();

    // Network tests, in run order, follow here.

    return finishRun();
}

} // namespace pv
