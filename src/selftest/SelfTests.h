#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv::selftest {

// Card numbers (CardNumberChecks.cpp)
void testCardNumberOrdering();
void testCardNumberNormalisation();

// Catalog search rules (CatalogMatchingChecks.cpp)
void testCatalogMatchingRules();

// Catalog diff (CatalogDiffChecks.cpp)
void testCatalogDiff();

} // namespace pv::selftest
