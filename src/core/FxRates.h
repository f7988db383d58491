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
// A rate just received that is usable and within a factor of 2 of the one
// in use for the code (the stored rate, else the built-in one): a day's
// rates never move that far, while a service that answers in the wrong unit
// would value every dollar figure a hundred times over.
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
