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
    testErrata();

    // Network tests, in run order, follow here.

    out() << '\n';
    if (failureCount() == 0)
        out() << "All checks passed." << '\n';
    else
        out() << QStringLiteral("%1 check(s) failed.").arg(failureCount()) << '\n';
    out().flush();
    return failureCount() != 0 ? 1 : 0;
}

} // namespace pv
