#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv::selftest {

void testNameTranslation();
void testDisplayCurrency();
void testPriceBasis();
void testPriceSource();
void testErrata();

} // namespace pv::selftest
