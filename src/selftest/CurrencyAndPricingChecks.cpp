#include "selftest/SelfTests.h"

#include "core/CardDetail.h"
#include "core/Currency.h"
#include "core/FxRates.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "core/Pricing.h"
#include "selftest/SelfTestHarness.h"

#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace pv::selftest {

namespace {

bool fuzzyEqual(double a, double b) { return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b)); }

CardDetail pricedCard(const char *pricingJson)
{
    CardDetail card;
    card.pricing = QJsonDocument::fromJson(pricingJson).object();
    return card;
}

const QString normal = QStringLiteral("normal");
const QString unlimited = QStringLiteral("unlimited");

} // namespace

void testDisplayCurrency()
{
    const int remembered = Currency::currentId();
    const QList<Currency> currencies = Currency::all();
    check(!currencies.isEmpty(), QStringLiteral("the currency table is not empty"));

    bool allHaveRates = true;
    for (const Currency &currency : currencies) {
        if (!(FxRates::rateFor(currency.code) > 0)) {
            out() << "  no rate available for " << currency.code << '\n';
            allHaveRates = false;
        }
    }
    check(allHaveRates, QStringLiteral("every offered currency has a rate in FxRates"));
    check(Currency::byCode(QStringLiteral("cad")).id == 2, QStringLiteral("a lowercase code still resolves"));
    check(Currency::byCode(QStringLiteral("XYZ")).id == defaultCurrencyId(),
          QStringLiteral("an unknown code falls back to the default"));
    check(Currency::byCode(QString()).id == defaultCurrencyId(),
          QStringLiteral("an empty code falls back to the default"));

    Currency::setCurrent(0);
    check(Currency::currentCode() == QLatin1String("EUR"), QStringLiteral("the chosen currency is reported back"));
    check(fuzzyEqual(Currency::fromEur(100.0), 100.0),
          QStringLiteral("EUR is shown unconverted, exactly as before this setting existed"));
    const QString eurText = Currency::formatFromEur(12.34);
    check(eurText.endsWith(QStringLiteral("\u20AC")), QStringLiteral("EUR keeps its trailing symbol: %1").arg(eurText));

    Currency::setCurrent(1);
    const QString usdText = Currency::formatFromUsd(12.34);
    check(usdText == QStringLiteral("$") + QLocale().toString(12.34, 'f', 2),
          QStringLiteral("a USD quote shown in USD is not converted: %1").arg(usdText));
    const double inUsd = Currency::fromEur(100.0);
    check(std::abs(inUsd - 100.0 / FxRates::usdToEur()) < 0.001,
          QStringLiteral("EUR -> USD goes through the stored rate: 100 EUR = %1").arg(inUsd));

    Currency::setCurrent(3);
    const QString yenText = Currency::format(1234.56, 3);
    check(yenText == QStringLiteral("\u00A5") + QLocale().toString(1234.56, 'f', 0),
          QStringLiteral("yen is written without a minor unit: %1").arg(yenText));
    const double inYen = Currency::fromEur(100.0);
    check(inYen > 100.0, QStringLiteral("100 EUR is a larger number of yen: %1").arg(inYen));

    Currency::setCurrent(remembered);
    check(Currency::currentId() == remembered,
          QStringLiteral("the display currency in use before the test is restored"));
}

void testPriceBasis()
{
    const int remembered = PriceBasis::current();
    const CardDetail card1 = pricedCard(
        R"({"cardmarket": {"trend": 10.0, "avg": 4.0, "avg30": 7.0},
            "tcgplayer": {"normal": {"marketPrice": 3.0, "midPrice": 6.0, "lowPrice": 1.5}}})");
    const CardDetail card2 = pricedCard(R"({"cardmarket": {"trend": 9.0, "avg": null}})");

    struct Row
    {
        int basis;
        const char *text;
        const CardDetail *card;
        bool tcgplayer;
        double expected;
    };
    const Row rows[] = {
        {PriceBasis::Highest, "Highest takes the largest Cardmarket quote: %1", &card1, false, 10.0},
        {PriceBasis::Highest, "Highest takes the largest TCGplayer quote: %1", &card1, true, 6.0},
        {PriceBasis::Lowest, "Lowest takes the smallest Cardmarket quote: %1", &card1, false, 4.0},
        {PriceBasis::Lowest, "Lowest takes the smallest TCGplayer quote: %1", &card1, true, 1.5},
        {PriceBasis::Mean, "Mean averages the Cardmarket quotes: %1", &card1, false, 7.0},
        {PriceBasis::Mean, "Mean averages the TCGplayer quotes: %1", &card1, true, 3.5},
        {PriceBasis::Mean, "a null field does not drag the mean down: %1", &card2, false, 9.0},
    };
    for (const Row &row : rows) {
        PriceBasis::setCurrent(row.basis);
        const double value = row.tcgplayer ? Pricing::tcgplayerPrice(*row.card, normal, unlimited)
                                           : Pricing::cardmarketPrice(*row.card, normal, unlimited);
        check(fuzzyEqual(value, row.expected), QString::fromUtf8(row.text).arg(value));
    }
    check(PriceBasis::byKey(QStringLiteral("nonsense")).id == PriceBasis::defaultId(),
          QStringLiteral("an unrecognised setting falls back to the default"));
    check(PriceBasis::byKey(QString()).id == PriceBasis::defaultId(),
          QStringLiteral("an empty setting falls back to the default"));

    PriceBasis::setCurrent(remembered);
    check(PriceBasis::current() == remembered, QStringLiteral("the basis in use before the test is restored"));
}

void testPriceSource()
{
    const int rememberedSource = PriceSource::current();
    const int rememberedBasis = PriceBasis::current();
    PriceBasis::setCurrent(PriceBasis::Highest);
    const double r = FxRates::usdToEur();

    const CardDetail card1 =
        pricedCard(R"({"cardmarket": {"trend": 10.0}, "tcgplayer": {"normal": {"marketPrice": 20.0}}})");
    const CardDetail card2 =
        pricedCard(R"({"cardmarket": {"trend": 100.0}, "tcgplayer": {"normal": {"marketPrice": 20.0}}})");
    const CardDetail card3 = pricedCard(R"({"tcgcsv": {"normal": {"marketPrice": 20.0}}})");
    const auto converted = [](const CardDetail &card) {
        return Pricing::priceOrigin(card, normal, unlimited) == PriceResult::TCGplayer;
    };

    PriceSource::setCurrent(PriceSource::Cardmarket);
    double value = Pricing::priceValue(card1, normal, unlimited);
    check(fuzzyEqual(value, 10.0),
          QStringLiteral("Cardmarket wins outright under the Cardmarket source, even against a higher "
                         "TCGplayer quote: %1")
              .arg(value));
    check(!converted(card1), QStringLiteral("that figure is not reported as converted"));

    PriceSource::setCurrent(PriceSource::HighestOfBoth);
    value = Pricing::priceValue(card1, normal, unlimited);
    check(fuzzyEqual(value, 20.0 * r),
          QStringLiteral("the highest of both takes the converted TCGplayer price: %1").arg(value));
    check(converted(card1), QStringLiteral("and reports it as converted, so the panel can say so"));
    value = Pricing::priceValue(card2, normal, unlimited);
    check(fuzzyEqual(value, 100.0),
          QStringLiteral("the highest of both keeps Cardmarket when it is the higher: %1").arg(value));
    check(!converted(card2), QStringLiteral("a winning Cardmarket quote is never reported as converted"));
    value = Pricing::priceValue(card3, normal, unlimited);
    check(fuzzyEqual(value, 20.0 * r),
          QStringLiteral("an unpriced-by-Cardmarket card still values at the converted USD: %1").arg(value));
    check(Pricing::priceOriginSource(card3, normal, unlimited), QStringLiteral("and is reported as a TCGCSV fallback"));
    check(!Pricing::priceOriginSource(card2, normal, unlimited),
          QStringLiteral("a card valued at Cardmarket is not a fallback price"));
    check(PriceSource::byKey(QStringLiteral("nonsense")).id == PriceSource::defaultId(),
          QStringLiteral("an unrecognised source setting falls back to the default"));

    PriceSource::setCurrent(rememberedSource);
    PriceBasis::setCurrent(rememberedBasis);
    check(PriceSource::current() == rememberedSource, QStringLiteral("the source in use before the test is restored"));
}

} // namespace pv::selftest
