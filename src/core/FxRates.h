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
// While the stored rate is recent, a new one must also lie within a quarter
// of it either way: a day's move is a few per cent.
constexpr double dayBand = 0.25;
constexpr int recentDays = 30;

// The built-in rate for a code of the table, 0 for any other.
double builtInRate(const QString &code);
// Usable and within the factor of 2 of the code's built-in rate.
bool isNearBuiltIn(const QString &code, double rate);
// The stored rate a new one is judged against: the code's stored rate when
// it is in use and dated within the last recentDays days, else 0.
double recentRate(const QString &code);
// A rate just received that may replace the stored one: near the built-in
// rate and, while there is a recent rate, within dayBand of it.
bool isBelievable(const QString &code, double rate);

// The built-in rates, in the order they are stored: EUR, CAD, JPY, GBP, AUD, CHF.
QList<QPair<QString, double>> builtInRates();

void store(const QMap<QString, double> &rates, const QDate &date);
double rateFor(const QString &code);
double usdToEur();
bool hasRate(const QString &code);
QDate storedDate();
bool isStale();

} // namespace pv::FxRates
