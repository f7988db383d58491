#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv::selftest {

// Name translation (NameTranslationChecks.cpp)
void testNameTranslation();
// Display currency, price basis and price source (CurrencyAndPricingChecks.cpp)
void testDisplayCurrency();
void testPriceBasis();
void testPriceSource();
// Card numbers (CardNumberChecks.cpp)
void testCardNumberOrdering();
void testCardNumberNormalisation();
// Errata (ErrataChecks.cpp)
void testErrata();

// Catalog search rules (CatalogMatchingChecks.cpp)
void testCatalogMatchingRules();

// Catalog diff (CatalogDiffChecks.cpp)
void testCatalogDiff();

} // namespace pv::selftest
