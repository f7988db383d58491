#pragma once

#include "core/CardDetail.h"
#include "core/CardVocabulary.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace pv {

// The euro value of one printing, where it came from and what it read.
struct PriceResult
{
    enum Origin { Cardmarket = 0, TCGplayer = 1 };  // TCGplayer: a dollar figure converted to euros

    // The blocks of figures a value reads: those it was taken from or
    // weighed against, and those it looked in and found nothing in (a figure
    // there would have changed it).
    enum Read : unsigned {
        CardmarketFigures = 0x1,   // the card database's "cardmarket" euros
        CardDatabaseDollars = 0x2, // the card database's "tcgplayer" dollars
        TcgcsvDollars = 0x4,       // the "tcgcsv" dollars the fallback prices add
        DisputedDollars = 0x8,     // a "tcgcsv" figure it looked for is unknown: TCGCSV
                                   // listed it twice, differently (named under "disputed")
        UnansweredDollars = 0x10,  // a "tcgcsv" figure it looked for is unknown: the TCGCSV
                                   // group that lists it did not answer (named under "unanswered")
    };

    double value = 0.0;
    Origin origin = Cardmarket;
    unsigned reads = 0;      // Read flags
    double usdToEur = 0.0;   // the rate a dollar figure was converted at, taken or weighed; 0: none was
    bool fromTcgcsv = false; // the value is a "tcgcsv" figure converted

    bool readsTcgcsv() const { return (reads & TcgcsvDollars) != 0; }
    bool readsDisputed() const { return (reads & DisputedDollars) != 0; }
    bool readsUnanswered() const { return (reads & UnansweredDollars) != 0; }
    bool convertsDollars() const { return usdToEur > 0.0; }
};

// Turns a card's raw "pricing" object into prices for its printings. Every
// function answers 0 for "no price"; figures of 0 or less, beyond MaxPrice,
// and anything that is not a JSON number, count as absent, and so does a
// block whose "unit" is not its own currency.
namespace Pricing {

// No card sells for more: a larger figure, from any source or any file, is a
// broken one.
inline constexpr double MaxPrice = 10000000.0;

// A figure a holding can keep: finite, from 0 to MaxPrice.
inline bool isStorablePrice(double figure)
{
    return figure >= 0.0 && figure <= MaxPrice;
}

// Why the pricing object of a card answer cannot price it: a figure that is
// not a number (text, true, a list ...; null and 0 are no figure, not a
// wrong one), below 0, not finite or beyond MaxPrice, or a "cardmarket" block in another unit
// than euros or a "tcgplayer" one in another than dollars. Empty when it can.
QString pricingProblem(const QJsonObject &pricing);

double combine(const QJsonObject &object, const QStringList &names);

double cardmarketPrice(const CardDetail &card, const QString &finish, const QString &edition);

QStringList tcgplayerVariantKey(const QString &finish);
QStringList tcgplayerEditionKey(const QString &finish, const QString &edition);
// A variant the object names under "disputed" (TCGCSV listed it at two
// figures) or "unanswered" (its group did not answer) ends a look-up that
// reaches it before a figure: no price.
double tcgplayerFieldPrice(const QJsonObject &variants, const QStringList &names);
double tcgplayerFinishPrice(const QJsonObject &variants, const QString &finish, const QString &edition);
double tcgplayerEditionPriceUsd(const CardDetail &card, const QString &finish, const QString &edition);
// The dollar figure of a printing: its edition's own figure from either
// block, else the finish's from "tcgplayer", else from "tcgcsv". When
// priceFor values a printing from TCGplayer, this is the figure it converts.
double tcgplayerPrice(const CardDetail &card, const QString &finish, const QString &edition);
// The blocks that dollar figure reads (PriceResult::Read flags).
unsigned tcgplayerPriceReads(const CardDetail &card, const QString &finish, const QString &edition);

// The printing's euro value, with the figures and the rate it read: the
// one answer to what a value depends on.
PriceResult priceFor(const CardDetail &card, const QString &finish, const QString &edition);
double priceValue(const CardDetail &card, const QString &finish, const QString &edition);
PriceResult::Origin priceOrigin(const CardDetail &card, const QString &finish, const QString &edition);
// True when priceFor's value is a "tcgcsv" figure converted.
bool priceOriginSource(const CardDetail &card, const QString &finish, const QString &edition);

// The twelve (finish, edition) pairs priced for every card.
QList<QPair<QString, QString>> allCombinations();
QHash<QString, double> priceMap(const CardDetail &card);
QHash<QString, double> tcgplayerPriceMap(const CardDetail &card);

QString gradeMultiplierKey(GradingCompany company, const QString &grade);
// From the settings file, read once.
double gradeMultiplier(GradingCompany company, const QString &grade);
// Reads the grade multipliers again at the next look-up, after the settings
// file changed.
void reloadGradeMultipliers();
bool isNeutralGrade(GradingCompany company, const QString &grade);

} // namespace Pricing

} // namespace pv
