#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "catalog/TcgdexClient.h"
#include "core/Pricing.h"
#include "prices/PriceIndex.h"

#include <QEventLoop>
#include <QJsonObject>

namespace pv::selftest {

namespace {

constexpr int kCardWaitMs = 30000;
constexpr int kIndexWaitMs = 60000;

const QString kHolo = QStringLiteral("holo");
const QString kNormal = QStringLiteral("normal");
const QString kReverse = QStringLiteral("reverse");
const QString kUnlimited = QStringLiteral("unlimited");
const QString kFirstEdition = QStringLiteral("firstEdition");
const QString kShadowless = QStringLiteral("shadowless");

// Two prices differ when they are not fuzzy-equal, compared one above zero so
// that a zero compares sanely.
bool apart(double a, double b)
{
    return !qFuzzyCompare(a + 1.0, b + 1.0);
}

CardDetail fetchCard(TcgdexClient &client, Language language, const QString &cardId)
{
    CardDetail card;
    QEventLoop loop;
    const auto connection = captureCard(client, card, loop);
    client.fetchCard(language, cardId);
    waitForClient(client, loop, kCardWaitMs);
    QObject::disconnect(connection);
    return card;
}

SetRecord makeRecord(const QString &id, const QString &name, Language language, const QDate &released = QDate())
{
    SetRecord record;
    record.id = id;
    record.name = name;
    record.language = language;
    record.releaseDate = released;
    return record;
}

// Indexes the set and waits until the index reports it; returns the number
// of times it was reported.
int indexAndWait(PriceIndex &index, const SetRecord &record)
{
    int announcements = 0;
    QEventLoop loop;
    QObject::connect(&index, &PriceIndex::setIndexed, &loop,
                     [&announcements](pv::Language, const QString &, bool) { countEmission(announcements); });
    index.indexSet(record);
    waitForPriceIndex(index, loop, kIndexWaitMs);
    return announcements;
}

} // namespace

void testVintageEnglishPrintings(TcgdexClient &client)
{

    const CardDetail charizard = fetchCard(client, Language::English, QStringLiteral("base1-4"));
    check(charizard.name == QLatin1String("Charizard"),
          QStringLiteral("/en/cards/base1-4 is \"%1\"").arg(charizard.name));
    const double firstEditionUsd = Pricing::tcgplayerPrice(charizard, kHolo, kFirstEdition);
    const double unlimitedUsd = Pricing::tcgplayerPrice(charizard, kHolo, kUnlimited);
    out() << "  holo USD " << unlimitedUsd << "  |  1st edition USD " << firstEditionUsd << '\n';
    check(unlimitedUsd > 0, QStringLiteral("the holofoil printing is priced"));
    check(firstEditionUsd > 0, QStringLiteral("an unlisted 1st edition printing falls through to the holofoil price"));

    PriceIndex baseIndex;
    const int announcements =
        indexAndWait(baseIndex, makeRecord(QStringLiteral("base1"), QStringLiteral("Base Set"), Language::English,
                                           QDate(1999, 1, 9)));
    check(announcements == 1,
          QStringLiteral("a set fetched as two groups still announces itself once (got %1)").arg(announcements));
    check(baseIndex.setState(Language::English, QStringLiteral("base1")) == PriceIndex::Indexed,
          QStringLiteral("Base Set resolved to a TCGCSV group: %1")
              .arg(baseIndex.statusText(Language::English, QStringLiteral("base1"))));

    const QJsonObject card4 = baseIndex.cardPrices(Language::English, QStringLiteral("base1"), QStringLiteral("4"));
    check(card4.contains(QLatin1String("holofoil")),
          QStringLiteral("an unpriced error print does not displace the card it shares a number with"));
    check(card4.contains(QLatin1String("shadowlessHolofoil")),
          QStringLiteral("and the shadowless group merges its own printing in beside it"));
    const QJsonObject card1 = baseIndex.cardPrices(Language::English, QStringLiteral("base1"), QStringLiteral("1"));
    check(card1.contains(QLatin1String("holofoil")) && card1.contains(QLatin1String("shadowlessHolofoil"))
              && card1.contains(QLatin1String("1stEditionHolofoil")),
          QStringLiteral("unlimited, shadowless and 1st edition all reach one card's block"));

    const CardDetail alakazam = fetchCard(client, Language::English, QStringLiteral("base1-1"));
    const CardDetail pricedAlakazam = baseIndex.withFallbackPrices(Language::English, alakazam);
    const double shadowlessEur = Pricing::priceValue(pricedAlakazam, kHolo, kShadowless);
    const double firstEditionEur = Pricing::priceValue(pricedAlakazam, kHolo, kFirstEdition);
    const double unlimitedEur = Pricing::priceValue(pricedAlakazam, kHolo, kUnlimited);
    out() << "  base1-1 EUR  holo " << unlimitedEur << "  |  shadowless " << shadowlessEur << "  |  1st edition "
          << firstEditionEur << '\n';
    check(shadowlessEur > 0 && firstEditionEur > 0, QStringLiteral("both print runs of base1-1 are priced"));
    check(apart(shadowlessEur, firstEditionEur), QStringLiteral("and priced apart from each other"));
    check(apart(shadowlessEur, unlimitedEur), QStringLiteral("and apart from the unlimited printing"));
    check(Pricing::cardmarketPrice(alakazam, kHolo, kShadowless) > 0,
          QStringLiteral("Cardmarket does quote this card, with no run breakdown"));
    check(Pricing::priceOrigin(pricedAlakazam, kHolo, kShadowless) != PriceResult::Cardmarket
              && Pricing::priceOrigin(pricedAlakazam, kHolo, kFirstEdition) != PriceResult::Cardmarket,
          QStringLiteral("so both run figures are reported as converted from USD"));

    PriceIndex deltaIndex;
    indexAndWait(deltaIndex, makeRecord(QStringLiteral("ex11"), QStringLiteral("Delta Species"), Language::English));
    const QJsonObject vaporeon = deltaIndex.cardPrices(Language::English, QStringLiteral("ex11"), QStringLiteral("18"));
    const double holoUsd = Pricing::tcgplayerFinishPrice(vaporeon, kHolo, kUnlimited);
    const double reverseUsd = Pricing::tcgplayerFinishPrice(vaporeon, kReverse, kUnlimited);
    out() << "  ex11-18 USD  holo " << holoUsd << "  |  reverse " << reverseUsd << '\n';
    check(holoUsd > 0 && reverseUsd > 0, QStringLiteral("both finishes of ex11-18 are priced"));
    check(apart(reverseUsd, holoUsd), QStringLiteral("and the reverse reads its own figure, not the holofoil's"));
}

void testFallbackPricing(TcgdexClient &client)
{

    SetDetail flight;
    {
        QEventLoop loop;
        const auto connection = captureSetDetail(client, flight, loop);
        client.fetchSet(Language::Japanese, QStringLiteral("PCG1"));
        waitForClient(client, loop, kCardWaitMs);
        QObject::disconnect(connection);
    }
    const CardDetail butterfree = fetchCard(client, Language::Japanese, QStringLiteral("PCG1-003"));
    check(Pricing::cardmarketPrice(butterfree, kNormal, kUnlimited) == 0.0,
          QStringLiteral("TCGdex prices PCG1-003 at nothing, as expected"));

    SetRecord flightRecord = makeRecord(flight.id, flight.name, Language::Japanese, flight.releaseDate);
    flightRecord.officialCardCount = flight.official;
    flightRecord.totalCardCount = flight.total;
    PriceIndex flightIndex;
    indexAndWait(flightIndex, flightRecord);
    check(flightIndex.setState(Language::Japanese, flightRecord.id) == PriceIndex::Indexed,
          QStringLiteral("PCG1 resolved to a TCGCSV group: %1")
              .arg(flightIndex.statusText(Language::Japanese, flightRecord.id)));

    const CardDetail priced = flightIndex.withFallbackPrices(Language::Japanese, butterfree);
    const double eur = Pricing::priceValue(priced, kNormal, kUnlimited);
    const double usd = Pricing::tcgplayerPrice(priced, kNormal, kUnlimited);
    out() << "  fallback USD " << usd << "  ->  EUR " << eur << '\n';
    check(usd > 0, QStringLiteral("a TCGCSV market price was found for PCG1-003"));
    check(eur > 0, QStringLiteral("it converts to a usable EUR figure"));
    check(Pricing::priceOriginSource(priced, kNormal, kUnlimited),
          QStringLiteral("the price is reported as a fallback, not as a quote"));
    check(Pricing::priceOrigin(priced, kNormal, kUnlimited) == PriceResult::TCGplayer,
          QStringLiteral("the EUR figure is reported as converted"));

    PriceIndex expansionIndex;
    indexAndWait(expansionIndex, makeRecord(QStringLiteral("PMCG1"), QStringLiteral("Expansion Pack"),
                                            Language::Japanese, QDate(1996, 10, 20)));
    check(expansionIndex.setState(Language::Japanese, QStringLiteral("PMCG1")) == PriceIndex::NoProducts,
          QStringLiteral("the numberless 1996 set declines to match: %1")
              .arg(expansionIndex.statusText(Language::Japanese, QStringLiteral("PMCG1"))));

    PriceIndex rubyIndex;
    indexAndWait(rubyIndex, makeRecord(QStringLiteral("ex1"), QStringLiteral("Ruby & Sapphire"), Language::English));
    check(rubyIndex.setState(Language::English, QStringLiteral("ex1")) == PriceIndex::Indexed,
          QStringLiteral("a set only the errata pin can place is priced: %1")
              .arg(rubyIndex.statusText(Language::English, QStringLiteral("ex1"))));
    check(!rubyIndex.cardPrices(Language::English, QStringLiteral("ex1"), QStringLiteral("1")).isEmpty(),
          QStringLiteral("and its cards read a price through that pin"));
}

} // namespace pv::selftest
