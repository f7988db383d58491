#pragma once

#include <QList>
#include <QString>

namespace pv {
class TcgdexClient;
}

namespace pv::selftest {

void testThemes();
void testNameTranslation();
void testDisplayCurrency();
void testPriceBasis();
void testPriceSource();
void testCardNumberOrdering();
void testCardNumberNormalisation();
void testPrintings();
void testErrata();
void testLegacyPrintingMigration();
void testCatalogMatchingRules();
// Collection tree order and collection search (CollectionViewChecks.cpp)
void testCollectionSortOrder();
void testCollectionSearch();
void testCatalogDiff();
void testUndoRedo();
void testCardFacts();
void testLabels();
void testBinders();

void testEnglishEndpoints(TcgdexClient &client);
void testBinderEndpoints(TcgdexClient &client);
void testCardCatalog(TcgdexClient &client);
void testValueRankedBinders(TcgdexClient &client);
void testAddCardsDialog(TcgdexClient &client);
void testJapaneseEndpoints(TcgdexClient &client);
void testVintageEnglishPrintings(TcgdexClient &client);
void testFallbackPricing(TcgdexClient &client);
void testImages(TcgdexClient &client);

// One test of the suite. The runner writes the title line before calling the
// function, so a test begins straight with its checks. A test either takes no
// argument or is given the suite's card database client; one given the client
// may still await no reply, hence the separate network flag.
struct SelfTest
{
    using Offline = void (*)();
    using GivenClient = void (*)(TcgdexClient &);
    enum Spacing { BlankLineBefore, JoinsPrevious };
    enum Reach { Network, NoNetwork };

    SelfTest(const char *title, Offline run, Spacing spacing = BlankLineBefore)
        : title(QString::fromUtf8(title)), offline(run), blankLineBefore(spacing == BlankLineBefore)
    {
    }
    SelfTest(const char *title, GivenClient run, Reach reach = Network)
        : title(QString::fromUtf8(title)), givenClient(run), needsNetwork(reach == Network)
    {
    }

    QString title;
    Offline offline = nullptr;
    GivenClient givenClient = nullptr;
    bool needsNetwork = false;
    // The first test of a run never has an empty line before its title.
    bool blankLineBefore = true;
};

// The suite's tests in run order.
const QList<SelfTest> &selfTests();

// Writes each title, runs each test to its end and writes the summary;
// returns the exit status (0 when every check passed, else 1).
int runSelfTestList(const QList<SelfTest> &tests, TcgdexClient &client);

} // namespace pv::selftest
