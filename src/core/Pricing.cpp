#include "core/Pricing.h"

#include "core/AppSettings.h"
#include "core/FxRates.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"

#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace pv::Pricing {

namespace {

const QString firstEdition = QStringLiteral("firstEdition");
const QString shadowless = QStringLiteral("shadowless");
const QString unlimited = QStringLiteral("unlimited");

// A usable figure: a finite JSON number above 0.
bool figure(const QJsonValue &value, double *out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d <= 0.0)
        return false;
    *out = d;
    return true;
}

const QStringList &usdFields()
{
    static const QStringList fields = {QStringLiteral("marketPrice"), QStringLiteral("midPrice"),
                                       QStringLiteral("lowPrice")};
    return fields;
}

QJsonObject block(const CardDetail &card, const char *name)
{
    return card.pricing.value(QLatin1String(name)).toObject();
}

// The edition a TCGplayer variant is specific to, in either the documented
// spelling ("1stEditionHolofoil") or the one the live service writes
// ("1st-edition-holofoil"); empty for a variant of any edition.
QString variantEdition(const QString &variant)
{
    if (variant.startsWith(QLatin1String("1stEdition")) || variant.startsWith(QLatin1String("1st-edition")))
        return firstEdition;
    if (variant.startsWith(QLatin1String("shadowless")))
        return shadowless;
    return QString();
}

QString editionOrUnlimited(const QString &edition) { return edition.isEmpty() ? unlimited : edition; }

// The USD figure of one TCGplayer variant under the chosen basis; 0 when the
// variant is missing or holds no usable figure.
double variantPriceUsd(const QJsonValue &variant)
{
    const QJsonObject fields = variant.toObject();
    return fields.isEmpty() ? 0.0 : combine(fields, usdFields());
}

} // namespace

double combine(const QJsonObject &object, const QStringList &names)
{
    const int basis = PriceBasis::current();
    double kept = 0.0;
    double sum = 0.0;
    int count = 0;
    for (const QString &name : names) {
        double value = 0.0;
        if (!figure(object.value(name), &value))
            continue;
        if (count == 0)
            kept = value;
        else if (basis == PriceBasis::Highest)
            kept = std::max(kept, value);
        else if (basis == PriceBasis::Lowest)
            kept = std::min(kept, value);
        sum += value;
        ++count;
    }
    if (count == 0)
        return 0.0;
    if (basis == PriceBasis::Highest || basis == PriceBasis::Lowest)
        return kept;
    return sum / count;
}

double cardmarketPrice(const CardDetail &card, const QString &finish, const QString &edition)
{
    Q_UNUSED(edition)
    const QJsonObject cardmarket = block(card, "cardmarket");
    if (cardmarket.isEmpty())
        return 0.0;
    if (isHoloFinish(finish)) {
        const double holo = combine(cardmarket, {QStringLiteral("trend-holo"), QStringLiteral("avg-holo"),
                                                 QStringLiteral("avg30-holo")});
        if (holo > 0.0)
            return holo;
    }
    return combine(cardmarket, {QStringLiteral("trend"), QStringLiteral("avg"), QStringLiteral("avg30")});
}

QStringList tcgplayerVariantKey(const QString &finish)
{
    // The live service files a product sold in two runs under "unlimited" and
    // "unlimited-holofoil"; those stand in where the plain names are absent.
    if (finish == QLatin1String("reverse"))
        return {QStringLiteral("reverse-holofoil"), QStringLiteral("holofoil"), QStringLiteral("unlimited-holofoil"),
                QStringLiteral("normal"), QStringLiteral("unlimited")};
    if (finish == QLatin1String("holo") || finish.isEmpty())
        return {QStringLiteral("holofoil"), QStringLiteral("unlimited-holofoil"), QStringLiteral("normal"),
                QStringLiteral("unlimited")};
    return {QStringLiteral("normal"), QStringLiteral("unlimited"), QStringLiteral("holofoil"),
            QStringLiteral("unlimited-holofoil")};
}

QStringList tcgplayerEditionKey(const QString &finish, const QString &edition)
{
    QStringList normal;
    QStringList holo;
    if (edition == firstEdition) {
        normal = {QStringLiteral("1stEditionNormal"), QStringLiteral("1st-edition")};
        holo = {QStringLiteral("1stEditionHolofoil"), QStringLiteral("1st-edition-holofoil")};
    } else if (edition == shadowless) {
        normal = {QStringLiteral("shadowlessNormal")};
        holo = {QStringLiteral("shadowlessHolofoil")};
    } else {
        return {};
    }
    return finish == QLatin1String("normal") ? normal + holo : holo + normal;
}

double tcgplayerFieldPrice(const QJsonObject &variants, const QStringList &names)
{
    if (variants.isEmpty())
        return 0.0;
    for (const QString &name : names) {
        const double price = variantPriceUsd(variants.value(name));
        if (price > 0.0)
            return price;
    }
    return 0.0;
}

double tcgplayerFinishPrice(const QJsonObject &variants, const QString &finish, const QString &edition)
{
    if (variants.isEmpty())
        return 0.0;
    const double named = tcgplayerFieldPrice(
        variants, tcgplayerEditionKey(finish, edition) + tcgplayerVariantKey(finish));
    if (named > 0.0)
        return named;

    // Last resort: any priced variant, in key order, but never one that is
    // specific to another edition than the printing's (an unlimited card
    // must not take its first-edition figure).
    const QString printingEdition = editionOrUnlimited(edition);
    for (auto it = variants.constBegin(); it != variants.constEnd(); ++it) {
        const QString variantOnly = variantEdition(it.key());
        if (!variantOnly.isEmpty() && variantOnly != printingEdition)
            continue;
        const double price = variantPriceUsd(it.value());
        if (price > 0.0)
            return price;
    }
    return 0.0;
}

double tcgplayerEditionPriceUsd(const CardDetail &card, const QString &finish, const QString &edition)
{
    const QStringList names = tcgplayerEditionKey(finish, edition);
    if (names.isEmpty())
        return 0.0;
    const double own = tcgplayerFieldPrice(block(card, "tcgplayer"), names);
    if (own > 0.0)
        return own;
    return tcgplayerFieldPrice(block(card, "tcgcsv"), names);
}

double tcgplayerPrice(const CardDetail &card, const QString &finish, const QString &edition)
{
    // The figure of the printing's own edition comes first from either block:
    // the card database's figure of another run must not stand for a
    // first-edition copy that TCGCSV prices as such.
    const double editionUsd = tcgplayerEditionPriceUsd(card, finish, edition);
    if (editionUsd > 0.0)
        return editionUsd;
    const double own = tcgplayerFinishPrice(block(card, "tcgplayer"), finish, edition);
    if (own > 0.0)
        return own;
    return tcgplayerFinishPrice(block(card, "tcgcsv"), finish, edition);
}

PriceResult priceFor(const CardDetail &card, const QString &finish, const QString &edition)
{
    const double cardmarket = cardmarketPrice(card, finish, edition);
    if (!edition.isEmpty() && edition != unlimited) {
        const double editionUsd = tcgplayerEditionPriceUsd(card, finish, edition);
        if (editionUsd > 0.0)
            return {editionUsd * FxRates::usdToEur(), PriceResult::TCGplayer};
    }
    if (cardmarket > 0.0 && PriceSource::current() == PriceSource::Cardmarket)
        return {cardmarket, PriceResult::Cardmarket};

    const double usd = tcgplayerPrice(card, finish, edition);
    const double converted = usd > 0.0 ? usd * FxRates::usdToEur() : 0.0;
    if (converted > cardmarket)
        return {converted, PriceResult::TCGplayer};
    return {cardmarket, PriceResult::Cardmarket};
}

double priceValue(const CardDetail &card, const QString &finish, const QString &edition)
{
    return priceFor(card, finish, edition).value;
}

PriceResult::Origin priceOrigin(const CardDetail &card, const QString &finish, const QString &edition)
{
    return priceFor(card, finish, edition).origin;
}

bool priceOriginSource(const CardDetail &card, const QString &finish, const QString &edition)
{
    if (priceOrigin(card, finish, edition) == PriceResult::Cardmarket)
        return false;
    const QJsonObject tcgplayer = block(card, "tcgplayer");
    const QJsonObject tcgcsv = block(card, "tcgcsv");
    const QStringList editionNames = tcgplayerEditionKey(finish, edition);
    if (!editionNames.isEmpty()) {
        if (tcgplayerFieldPrice(tcgplayer, editionNames) > 0.0)
            return false;
        if (tcgplayerFieldPrice(tcgcsv, editionNames) > 0.0)
            return true;
    }
    if (tcgplayerFinishPrice(tcgplayer, finish, edition) > 0.0)
        return false;
    return tcgplayerFinishPrice(tcgcsv, finish, edition) > 0.0;
}

bool readsFallback(const CardDetail &card, const QString &finish, const QString &edition)
{
    // An edition's own figure comes first from either block (tcgplayerPrice).
    const QJsonObject own = block(card, "tcgplayer");
    const QStringList editionNames = tcgplayerEditionKey(finish, edition);
    if (!editionNames.isEmpty())
        return tcgplayerFieldPrice(own, editionNames) <= 0.0;
    return tcgplayerFinishPrice(own, finish, edition) <= 0.0;
}

bool convertsDollars(const CardDetail &card, const QString &finish, const QString &edition)
{
    // As priceFor: an edition's dollar figure, else Cardmarket's figure when
    // it is the source of choice, else the higher of both.
    if (!edition.isEmpty() && edition != unlimited && tcgplayerEditionPriceUsd(card, finish, edition) > 0.0)
        return true;
    if (PriceSource::current() == PriceSource::Cardmarket && cardmarketPrice(card, finish, edition) > 0.0)
        return false;
    return tcgplayerPrice(card, finish, edition) > 0.0;
}

QList<QPair<QString, QString>> allCombinations()
{
    QList<QPair<QString, QString>> pairs;
    const QStringList finishes = {QStringLiteral("normal"), QStringLiteral("holo"), QStringLiteral("reverse"),
                                  QString()};
    for (const QString &finish : finishes) {
        for (const QString &edition : {unlimited, firstEdition, shadowless})
            pairs.append(qMakePair(finish, edition));
    }
    return pairs;
}

QHash<QString, double> priceMap(const CardDetail &card)
{
    QHash<QString, double> map;
    for (const auto &pair : allCombinations())
        map.insert(printingKey(pair.first, pair.second), priceValue(card, pair.first, pair.second));
    return map;
}

QHash<QString, double> tcgplayerPriceMap(const CardDetail &card)
{
    QHash<QString, double> map;
    for (const auto &pair : allCombinations())
        map.insert(printingKey(pair.first, pair.second), tcgplayerPrice(card, pair.first, pair.second));
    return map;
}

QString gradeMultiplierKey(GradingCompany company, const QString &grade)
{
    const QString g = grade.trimmed();
    return QStringLiteral("valuation/gradeMultipliers/%1_%2")
        .arg(gradingCompanyKey(company), g.isEmpty() ? QStringLiteral("any") : g);
}

double gradeMultiplier(GradingCompany company, const QString &grade)
{
    if (company == GradingCompany::None)
        return 1.0;
    AppSettings settings;
    for (const QString &key : {gradeMultiplierKey(company, grade), gradeMultiplierKey(company, QString())}) {
        if (!settings.contains(key))
            continue;
        const double value = settings.value(key).toDouble();
        // Text that is no number (and "nan" or "inf") counts as 0.
        return std::isfinite(value) ? value : 0.0;
    }
    return 1.0;
}

bool isNeutralGrade(GradingCompany company, const QString &grade)
{
    if (company == GradingCompany::None)
        return false;
    const double m = gradeMultiplier(company, grade);
    return std::abs(m - 1.0) * 1e12 <= std::min(std::abs(m), 1.0);
}

} // namespace pv::Pricing
