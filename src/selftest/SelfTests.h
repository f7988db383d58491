#pragma once

// The tests of the self-test suite, one function each, in run order.
namespace pv {
class TcgdexClient;
}

namespace pv::selftest {

// Colour themes (ThemeChecks.cpp)
void testThemes();
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
// Collection (PrintingChecks.cpp, LegacyPrintingChecks.cpp, CardFactsChecks.cpp)
void testPrintings();
void testLegacyPrintingMigration();
void testCardFacts();
// Undo and redo of holding commands (UndoRedoChecks.cpp)
void testUndoRedo();
// Label sheet (LabelChecks.cpp)
void testLabels();
// Binders, value history and the catalog cache (BinderChecks.cpp)
void testBinders();

// Catalog search rules (CatalogMatchingChecks.cpp)
void testCatalogMatchingRules();

// Catalog diff (CatalogDiffChecks.cpp)
void testCatalogDiff();

// Card database endpoints (EndpointChecks.cpp), given the suite's client.
void testEnglishEndpoints(TcgdexClient &client);
void testBinderEndpoints(TcgdexClient &client);
void testJapaneseEndpoints(TcgdexClient &client);
void testImages(TcgdexClient &client);
// Fallback prices from TCGCSV (FallbackPricingChecks.cpp), given the suite's client.
void testVintageEnglishPrintings(TcgdexClient &client);
void testFallbackPricing(TcgdexClient &client);

// Card catalog (CardCatalogChecks.cpp), given the suite's client.
void testCardCatalog(TcgdexClient &client);
// Value-ranked binders and the new binder dialog's templates
// (ValueRankedBinderChecks.cpp), read from the catalog cache just written.
void testValueRankedBinders(TcgdexClient &client);

} // namespace pv::selftest
