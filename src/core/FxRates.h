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
// A new rate must also lie near the last one stored and in use: within 5
// per cent either way, and 1 more for each day from the stored rate's date
// to the new one's, up to 10 (the band of a stored rate whose date is not
// known). The euro moves by a few per cent in a week, rarely by more than 3
// in a day; a band that widens with the days lets a rate follow the market,
// while answers a day apart cannot walk it away, and no one answer moves it
// far. A rate beyond the band is kept aside, and taken when the service
// answers it again, within the band of the days between, for a later day:
// one wrong answer after a pause does not replace a good rate, and a real
// move is taken the next day.
constexpr double baseBand = 0.05;
constexpr double bandPerDay = 0.01;
constexpr double widestBand = 0.10;
// Rates do not stray far from the built-in ones in a few years: with no
// rate stored, a first answer within this fraction of the built-in rate is
// taken, and one beyond it kept aside. A stored rate beyond it (a wrong one
// taken by an earlier version) gives way at once to an answer within it.
constexpr double builtInReach = 0.25;
// A rate taken that moves further than this is said.
constexpr double notableMove = 0.05;
// An answer of the stored rate's own date is that day's rate again: it
// confirms the stored one when within this fraction of it (the service
// rounds its figures to five digits, a part in ten thousand at most),
// and is refused otherwise.
constexpr double sameDayTolerance = 0.0001;

// The built-in rate for a code of the table, 0 for any other.
double builtInRate(const QString &code);
// Usable and within the factor of 2 of the code's built-in rate.
bool isNearBuiltIn(const QString &code, double rate);
// Within builtInReach of the code's built-in rate.
bool isWithinReachOfBuiltIn(const QString &code, double rate);
// The stored rate a new one is judged against: the code's stored rate when
// it is in use, however old; else 0.
double lastRate(const QString &code);
// The date of the code's stored rate in use; invalid when it is not known
// (none in use, or a date past tomorrow, from a clock that was wrong).
QDate lastRateDate(const QString &code);
// How far, as a fraction either way, a rate dated after the code's last
// rate may lie from it (its date not known: the widest band).
double allowedMove(const QString &code, const QDate &date);
// A rate received for the date (today's when invalid) that may replace the
// stored one: near the built-in rate and, when a rate is stored and in use
// with a known date, not dated before it and the same figure when of its
// own date; when later or the stored date is not known, within allowedMove
// of it, within reach of the built-in rate when the stored one is not, or
// confirming the rate kept aside. With no rate in use, one within reach of
// the built-in rate or confirming the rate kept aside.
bool isBelievable(const QString &code, double rate, const QDate &date);
// A rate that is not believable only for lying beyond allowedMove of the
// stored one, or beyond reach of the built-in rate when none is stored: it
// is kept aside to be confirmed by a later day's answer.
bool awaitsConfirmation(const QString &code, double rate, const QDate &date);
// The rate last kept aside for the code and its date (rate 0 when none).
// store() forgets it once a rate of the code is stored; one of the same or
// a later date replaces it.
QPair<double, QDate> keptAside(const QString &code);
void keepAside(const QString &code, double rate, const QDate &date);
// An answer of the date confirms the code's stored rate: both of one day,
// with figures that differ by rounding only.
bool confirmsStored(const QString &code, double rate, const QDate &date);

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
// The service answered today with rates of the date (today's when
// invalid). When that date is not after the euro rate's stored one, nor
// after the one kept aside, today is remembered: the service's rates have
// not moved since.
void noteAnswerDated(const QDate &date);
// The rates are to be asked for: none in use or stale, and not yet asked
// today with an answer whose date stood still. While the service keeps
// answering the same day's rates, it is asked at most once a day; with
// none in use, at every chance until it answered one kept aside.
bool isDue();

} // namespace pv::FxRates
