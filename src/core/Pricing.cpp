#include "core/Pricing.h"

#include "core/AppSettings.h"
#include "core/FxRates.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace pv::Pricing {

namespace {

const QString firstEdition = QStringLiteral("firstEdition");
const QString shadowless = QStringLiteral("shadowless");
const QString unlimited = QStringLiteral("unlimited");

QString tr(const char *text)
{
    return QCoreApplication::translate("Pricing", text);
}

// A usable figure: a JSON number above 0 and at most MaxPrice.
bool figure(const QJsonValue &value, double *out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!(d > 0.0 && d <= MaxPrice))
        return false;
    *out = d;
    return true;
}

const QStringList &cardmarketFields()
{
    static const QStringList fields = {QStringLiteral("trend"),    QStringLiteral("avg"),
                                       QStringLiteral("avg30"),    QStringLiteral("trend-holo"),
                                       QStringLiteral("avg-holo"), QStringLiteral("avg30-holo")};
    return fields;
}

const QStringList &usdFields()
{
    static const QStringList fields = {QStringLiteral("marketPrice"), QStringLiteral("midPrice"),
                                       QStringLiteral("lowPrice")};
    return fields;
}

// The currency a block's figures are in: euros for Cardmarket, dollars for
// TCGplayer and TCGCSV.
QLatin1String unitOf(const char *name)
{
    return qstrcmp(name, "cardmarket") == 0 ? QLatin1String("EUR") : QLatin1String("USD");
}

// Whether a block names a unit other than its own; one naming none is taken
// to be in its own.
bool inAnotherUnit(const QJsonObject &object, QLatin1String unit)
{
    const QJsonValue named = object.value(QLatin1String("unit"));
    if (named.isUndefined() || named.isNull())
        return false;
    return named.toString().trimmed().compare(unit, Qt::CaseInsensitive) != 0;
}

// A block of figures; none when it is in another currency than its own.
QJsonObject block(const CardDetail &card, const char *name)
{
    const QJsonObject object = card.pricing.value(QLatin1String(name)).toObject();
    return inAnotherUnit(object, unitOf(name)) ? QJsonObject() : object;
}

// Every figure the two blocks of a card answer carry, read or not: a price
// in any other form than a number (or null) means the answer is not what
// it seems. The ids beside them ("idProduct", "productId") are no figures.
const QStringList &cardmarketFigureNames()
{
    static const QStringList names = cardmarketFields()
        + QStringList{QStringLiteral("low"),      QStringLiteral("avg1"),      QStringLiteral("avg7"),
                      QStringLiteral("low-holo"), QStringLiteral("avg1-holo"), QStringLiteral("avg7-holo")};
    return names;
}

const QStringList &usdFigureNames()
{
    static const QStringList names =
        usdFields() + QStringList{QStringLiteral("highPrice"), QStringLiteral("directLowPrice")};
    return names;
}

// Why a figure cannot be a price: not a number, below 0, or, for one the
// rules read (`bounded`), not finite or beyond MaxPrice. Empty for anything
// else (absent, null or 0: no figure at all).
QString figureProblem(const QJsonValue &value, const QString &what, bool bounded)
{
    if (value.isUndefined() || value.isNull())
        return {};
    if (value.isString())
        return tr("%1 is the text \"%2\", not a number").arg(what, value.toString().left(20));
    if (!value.isDouble())
        return tr("%1 is not a number").arg(what);
    const double d = value.toDouble();
    if (d < 0.0)
        return tr("%1 is %2, below 0").arg(what, QString::number(d, 'g', QLocale::FloatingPointShortest));
    if (!bounded || (std::isfinite(d) && d <= MaxPrice))
        return {};
    return tr("%1 is %2, beyond any price").arg(what, QString::number(d, 'g', QLocale::FloatingPointShortest));
}

// The printing keys of a "tcgcsv" block listed under the member: those
// TCGCSV listed twice, differently ("disputed"), or that a group of the set
// which did not answer could have listed ("unanswered").
QStringList namesUnder(const QJsonObject &tcgcsv, QLatin1String member)
{
    QStringList names;
    for (const QJsonValue &name : tcgcsv.value(member).toArray())
        names.append(name.toString());
    return names;
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

// A figure of TCGplayer variants, or none because a variant whose figure
// is unknown came before any with a figure: TCGCSV listed it twice,
// differently, or its group did not answer. The printing then has no figure
// of TCGCSV's, and none of another variant stands in for it.
struct VariantFigure
{
    double figure = 0.0;
    unsigned unknown = 0; // PriceResult::DisputedDollars or UnansweredDollars
};

// The first figure among the named variants.
VariantFigure namedFigure(const QJsonObject &variants, const QStringList &names)
{
    if (variants.isEmpty())
        return {};
    const QStringList disputed = namesUnder(variants, QLatin1String("disputed"));
    const QStringList unanswered = namesUnder(variants, QLatin1String("unanswered"));
    for (const QString &name : names) {
        if (disputed.contains(name))
            return {0.0, PriceResult::DisputedDollars};
        if (unanswered.contains(name))
            return {0.0, PriceResult::UnansweredDollars};
        const double price = variantPriceUsd(variants.value(name));
        if (price > 0.0)
            return {price, 0};
    }
    return {};
}

// The figure of the finish and edition: the named variants', else, as a last
// resort, any priced variant in key order, but never one that is specific to
// another edition than the printing's (an unlimited card must not take its
// first-edition figure).
VariantFigure finishFigure(const QJsonObject &variants, const QString &finish, const QString &edition)
{
    const VariantFigure named =
        namedFigure(variants, tcgplayerEditionKey(finish, edition) + tcgplayerVariantKey(finish));
    if (named.figure > 0.0 || named.unknown != 0)
        return named;
    const QString printingEdition = editionOrUnlimited(edition);
    for (auto it = variants.constBegin(); it != variants.constEnd(); ++it) {
        const QString variantOnly = variantEdition(it.key());
        if (!variantOnly.isEmpty() && variantOnly != printingEdition)
            continue;
        const double price = variantPriceUsd(it.value());
        if (price > 0.0)
            return {price, 0};
    }
    return {};
}

constexpr unsigned unknownDollars = PriceResult::DisputedDollars | PriceResult::UnansweredDollars;

// A dollar figure and what looking it up read.
struct Dollars
{
    double figure = 0.0;
    unsigned reads = 0;
    bool fromTcgcsv = false;
};

// The figure of the printing's own edition: from "tcgplayer", else from
// "tcgcsv"; none for an unlimited printing.
Dollars editionDollars(const CardDetail &card, const QString &finish, const QString &edition)
{
    Dollars dollars;
    const QStringList names = tcgplayerEditionKey(finish, edition);
    if (names.isEmpty())
        return dollars;
    dollars.reads = PriceResult::CardDatabaseDollars;
    dollars.figure = tcgplayerFieldPrice(block(card, "tcgplayer"), names);
    if (dollars.figure > 0.0)
        return dollars;
    dollars.reads |= PriceResult::TcgcsvDollars;
    const VariantFigure tcgcsv = namedFigure(block(card, "tcgcsv"), names);
    dollars.reads |= tcgcsv.unknown;
    dollars.figure = tcgcsv.figure;
    dollars.fromTcgcsv = dollars.figure > 0.0;
    return dollars;
}

// The figure of a printing: the edition's own from either block (the card
// database's figure of another run must not stand for a first-edition copy
// that TCGCSV prices as such), else the finish's from "tcgplayer", else
// from "tcgcsv".
Dollars printingDollars(const CardDetail &card, const QString &finish, const QString &edition)
{
    Dollars dollars = editionDollars(card, finish, edition);
    if (dollars.figure > 0.0 || (dollars.reads & unknownDollars) != 0)
        return dollars;
    dollars.reads |= PriceResult::CardDatabaseDollars;
    dollars.figure = tcgplayerFinishPrice(block(card, "tcgplayer"), finish, edition);
    if (dollars.figure > 0.0)
        return dollars;
    dollars.reads |= PriceResult::TcgcsvDollars;
    const VariantFigure tcgcsv = finishFigure(block(card, "tcgcsv"), finish, edition);
    dollars.reads |= tcgcsv.unknown;
    dollars.figure = tcgcsv.figure;
    dollars.fromTcgcsv = dollars.figure > 0.0;
    return dollars;
}

// The result of a dollar figure converted at today's rate.
PriceResult converted(const Dollars &dollars, unsigned reads)
{
    PriceResult result;
    result.usdToEur = FxRates::usdToEur();
    result.value = dollars.figure * result.usdToEur;
    result.origin = PriceResult::TCGplayer;
    result.reads = reads | dollars.reads;
    result.fromTcgcsv = dollars.fromTcgcsv;
    return result;
}

} // namespace

QString pricingProblem(const QJsonObject &pricing)
{
    const QJsonObject cardmarket = pricing.value(QLatin1String("cardmarket")).toObject();
    if (inAnotherUnit(cardmarket, unitOf("cardmarket")))
        return tr("its Cardmarket prices are in %1, not EUR")
            .arg(cardmarket.value(QLatin1String("unit")).toVariant().toString());
    for (const QString &name : cardmarketFigureNames()) {
        const QString problem = figureProblem(cardmarket.value(name), tr("the Cardmarket \"%1\"").arg(name),
                                              cardmarketFields().contains(name));
        if (!problem.isEmpty())
            return problem;
    }
    const QJsonObject tcgplayer = pricing.value(QLatin1String("tcgplayer")).toObject();
    if (inAnotherUnit(tcgplayer, unitOf("tcgplayer")))
        return tr("its TCGplayer prices are in %1, not USD")
            .arg(tcgplayer.value(QLatin1String("unit")).toVariant().toString());
    for (auto variant = tcgplayer.constBegin(); variant != tcgplayer.constEnd(); ++variant) {
        const QJsonObject fields = variant.value().toObject();
        for (const QString &name : usdFigureNames()) {
            const QString problem =
                figureProblem(fields.value(name), tr("the TCGplayer \"%1\" of \"%2\"").arg(name, variant.key()),
                              usdFields().contains(name));
            if (!problem.isEmpty())
                return problem;
        }
    }
    return {};
}

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
    return namedFigure(variants, names).figure;
}

double tcgplayerFinishPrice(const QJsonObject &variants, const QString &finish, const QString &edition)
{
    return finishFigure(variants, finish, edition).figure;
}

double tcgplayerEditionPriceUsd(const CardDetail &card, const QString &finish, const QString &edition)
{
    return editionDollars(card, finish, edition).figure;
}

double tcgplayerPrice(const CardDetail &card, const QString &finish, const QString &edition)
{
    return printingDollars(card, finish, edition).figure;
}

unsigned tcgplayerPriceReads(const CardDetail &card, const QString &finish, const QString &edition)
{
    return printingDollars(card, finish, edition).reads;
}

PriceResult priceFor(const CardDetail &card, const QString &finish, const QString &edition)
{
    // An edition's own dollar figure wins over everything.
    unsigned reads = 0;
    if (!edition.isEmpty() && edition != unlimited) {
        const Dollars own = editionDollars(card, finish, edition);
        if (own.figure > 0.0)
            return converted(own, 0);
        reads = own.reads;
    }
    PriceResult result;
    result.value = cardmarketPrice(card, finish, edition);
    result.reads = reads | PriceResult::CardmarketFigures;
    if (result.value > 0.0 && PriceSource::current() == PriceSource::Cardmarket)
        return result;

    // Cardmarket has nothing, or the higher of both is wanted: the dollar
    // figure converted is weighed against Cardmarket's, and a tie goes to
    // Cardmarket.
    const Dollars usd = printingDollars(card, finish, edition);
    result.reads |= usd.reads;
    if (usd.figure <= 0.0)
        return result;
    const PriceResult dollars = converted(usd, result.reads);
    if (dollars.value > result.value)
        return dollars;
    result.usdToEur = dollars.usdToEur;
    return result;
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
    return priceFor(card, finish, edition).fromTcgcsv;
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

namespace {

// The grade multipliers of the settings file, by key, read once: a price
// refresh asks for one per graded holding. The window's thread alone uses them.
struct GradeMultipliers
{
    bool loaded = false;
    QHash<QString, QVariant> byKey;
};

GradeMultipliers &storedMultipliers()
{
    static GradeMultipliers multipliers;
    return multipliers;
}

const GradeMultipliers &gradeMultipliers()
{
    GradeMultipliers &multipliers = storedMultipliers();
    if (!multipliers.loaded) {
        AppSettings settings;
        const QString group = QStringLiteral("valuation/gradeMultipliers");
        settings.beginGroup(group);
        for (const QString &key : settings.childKeys())
            multipliers.byKey.insert(group + QLatin1Char('/') + key, settings.value(key));
        multipliers.loaded = true;
    }
    return multipliers;
}

} // namespace

void reloadGradeMultipliers()
{
    storedMultipliers() = GradeMultipliers();
}

double gradeMultiplier(GradingCompany company, const QString &grade)
{
    if (company == GradingCompany::None)
        return 1.0;
    const QHash<QString, QVariant> &stored = gradeMultipliers().byKey;
    for (const QString &key : {gradeMultiplierKey(company, grade), gradeMultiplierKey(company, QString())}) {
        const auto found = stored.constFind(key);
        if (found == stored.constEnd())
            continue;
        const double value = found->toDouble();
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
