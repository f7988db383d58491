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

// The euro value of one printing and where it came from.
struct PriceResult
{
    enum Origin { Cardmarket = 0, TCGplayer = 1 };  // TCGplayer: a dollar figure converted to euros

    double value = 0.0;
    Origin origin = Cardmarket;
};

// Turns a card's raw "pricing" object into prices for its printings. Every
// function answers 0 for "no price"; figures of 0 or less, and anything that
// is not a JSON number, count as absent.
namespace Pricing {

double combine(const QJsonObject &object, const QStringList &names);

double cardmarketPrice(const CardDetail &card, const QString &finish, const QString &edition);

QStringList tcgplayerVariantKey(const QString &finish);
QStringList tcgplayerEditionKey(const QString &finish, const QString &edition);
double tcgplayerFieldPrice(const QJsonObject &variants, const QStringList &names);
double tcgplayerFinishPrice(const QJsonObject &variants, const QString &finish, const QString &edition);
double tcgplayerEditionPriceUsd(const CardDetail &card, const QString &finish, const QString &edition);
// The dollar figure of a printing: its edition's own figure from either
// block, else the finish's from "tcgplayer", else from "tcgcsv". When
// priceFor values a printing from TCGplayer, this is the figure it converts.
double tcgplayerPrice(const CardDetail &card, const QString &finish, const QString &edition);

PriceResult priceFor(const CardDetail &card, const QString &finish, const QString &edition);
double priceValue(const CardDetail &card, const QString &finish, const QString &edition);
PriceResult::Origin priceOrigin(const CardDetail &card, const QString &finish, const QString &edition);
bool priceOriginSource(const CardDetail &card, const QString &finish, const QString &edition);

// True when the printing's figures would be taken from a "tcgcsv" block: the
// card's own "tcgplayer" block has no dollar figure for it.
bool readsFallback(const CardDetail &card, const QString &finish, const QString &edition);
// True when the printing's euro value is worked out from a dollar figure at
// the exchange rate: converted, or weighed against Cardmarket's figure.
bool convertsDollars(const CardDetail &card, const QString &finish, const QString &edition);

// The twelve (finish, edition) pairs priced for every card.
QList<QPair<QString, QString>> allCombinations();
QHash<QString, double> priceMap(const CardDetail &card);
QHash<QString, double> tcgplayerPriceMap(const CardDetail &card);

QString gradeMultiplierKey(GradingCompany company, const QString &grade);
double gradeMultiplier(GradingCompany company, const QString &grade);
bool isNeutralGrade(GradingCompany company, const QString &grade);

} // namespace Pricing

} // namespace pv
