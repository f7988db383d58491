#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv::selftest {

// Card numbers (CardNumberChecks.cpp)
void testCardNumberOrdering();
void testCardNumberNormalisation();

} // namespace pv::selftest
