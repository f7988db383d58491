#pragma once

#include <QDate>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// Exchange rates from US dollars, kept in the settings file. Every reader
// falls back to a built-in table, so prices can be converted even when the
// rate service was never reached.
namespace pv::FxRates {

// Units of a currency per dollar that are believable at all.
bool isUsable(double rate);

// A rate is taken only within a factor of 2 of the built-in one for its
// code: rates drift that far over years, while an answer in the wrong unit
// is off by far more. A stored rate outside that band is not in use.
constexpr double builtInBand = 2.0;
// A new rate must also lie near the last one stored and in use, however
// old: within 5 per cent either way, and 1 more for each day between their
// dates, a quarter at most. The euro moves by a few per cent in a week,
// rarely by more than 3 in a day; a band that widens with the days lets a
// rate follow the market, while answers a day apart cannot walk it away.
constexpr double baseBand = 0.05;
constexpr double bandPerDay = 0.01;
constexpr double maxBand = 0.25;

// The built-in rate for a code of the table, 0 for any other.
double builtInRate(const QString &code);
// Usable and within the factor of 2 of the code's built-in rate.
bool isNearBuiltIn(const QString &code, double rate);
// The stored rate a new one is judged against: the code's stored rate when
// it is in use, however old; else 0.
double lastRate(const QString &code);
// The date of the code's stored rate; invalid when it is not known (none
// stored, or a date past tomorrow, from a clock that was wrong).
QDate lastRateDate(const QString &code);
// How far, as a fraction either way, a rate of the given date may lie from
// the code's last rate (a date not known: maxBand).
double allowedMove(const QString &code, const QDate &date);
// A rate received for the date that may replace the stored one: near the
// built-in rate and, when a rate is stored and in use, not dated before it
// and within allowedMove of it.
bool isBelievable(const QString &code, double rate, const QDate &date);

// The built-in rates, in the order they are stored: EUR, CAD, JPY, GBP, AUD, CHF.
QList<QPair<QString, double>> builtInRates();

void store(const QMap<QString, double> &rates, const QDate &date);
// The stored rates are read once and then kept, and store() keeps them up to
// date; after the settings file changed by other means, this reads them
// again at the next look-up.
void reload();
double rateFor(const QString &code);
double usdToEur();
bool hasRate(const QString &code);
QDate storedDate();
bool isStale();

} // namespace pv::FxRates
