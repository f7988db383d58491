#include "core/FxRates.h"

#include "core/AppSettings.h"
#include "core/SteadyClock.h"

#include <QHash>
#include <QList>
#include <QPair>

#include <algorithm>
#include <cmath>

namespace pv::FxRates {

namespace {

const char *const usdToEurKey = "pricing/usdToEur";
const char *const dateKey = "pricing/usdToEurDate";
const double builtInUsdToEur = 0.86;

QString rateKey(const QString &code) { return QStringLiteral("pricing/rates/") + code; }

// Each rate keeps its own date: one kept back while the others were
// renewed is as old as it is, not as the euro's.
QString rateDateKey(const QString &code)
{
    return QStringLiteral("pricing/rateDates/") + code;
}

// A rate the service answered beyond the band of the stored one, waiting
// for a later day's answer to confirm it. Kept under keys of their own,
// which a settings file without them lacks to no harm.
QString keptAsideKey(const QString &code)
{
    return QStringLiteral("pricing/keptAside/") + code;
}

QString keptAsideDateKey(const QString &code)
{
    return QStringLiteral("pricing/keptAsideDates/") + code;
}

QString storageKey(const QString &code)
{
    return code == QLatin1String("EUR") ? QString::fromLatin1(usdToEurKey) : rateKey(code);
}

// The stored rates in use, by code (0: missing or not in use, as one an
// earlier version stored in the wrong unit must not price anything). Read
// once and kept up to date by store(): a price refresh looks the euro rate up
// several times a card, and the settings file is not read for each. The
// window's thread alone uses them, as it does the currency in force.
struct StoredRates
{
    bool loaded = false;
    QHash<QString, double> inUse;
};

StoredRates &storedRates()
{
    static StoredRates rates;
    return rates;
}

void takeStoredRates(const QSettings &settings)
{
    StoredRates &rates = storedRates();
    rates.inUse.clear();
    for (const auto &row : builtInRates()) {
        const QVariant value = settings.value(storageKey(row.first));
        bool ok = false;
        const double rate = value.isValid() ? value.toDouble(&ok) : 0.0;
        rates.inUse.insert(row.first, ok && isNearBuiltIn(row.first, rate) ? rate : 0.0);
    }
    rates.loaded = true;
}

double storedRate(const QString &code)
{
    if (!storedRates().loaded)
        takeStoredRates(AppSettings());
    return storedRates().inUse.value(code, 0.0);
}

bool withinFactor(double rate, double reference, double factor)
{
    return rate <= reference * factor && rate >= reference / factor;
}

// The day an answer's rates are stored under: without a date, today.
QDate dayOf(const QDate &date)
{
    return date.isValid() ? date : SteadyClock::today();
}

// How far a rate of the date may lie from one stored on the day since; the
// widest band when the stored rate's date is not known.
double moveSince(const QDate &since, const QDate &date)
{
    if (!since.isValid())
        return widestBand;
    const qint64 days = std::max<qint64>(0, since.daysTo(dayOf(date)));
    return std::min(widestBand, baseBand + bandPerDay * double(days));
}

bool withinMove(double rate, double reference, double move)
{
    return rate <= reference * (1.0 + move) && rate >= reference * (1.0 - move);
}

// The service answered, for a later day than the rate kept aside, a figure
// within the band of the days between.
bool confirmsKeptAside(const QString &code, double rate, const QDate &date)
{
    const auto [kept, keptOn] = keptAside(code);
    return kept > 0.0 && dayOf(date) > keptOn && withinMove(rate, kept, moveSince(keptOn, date));
}

// A stored rate out of reach of the built-in one is a wrong rate: an
// answer within reach undoes it at once. (A move toward the built-in rate
// from one within reach waits as any other does.)
bool undoesAWrongRate(const QString &code, double rate, double last)
{
    return !isWithinReachOfBuiltIn(code, last) && isWithinReachOfBuiltIn(code, rate);
}

// The local day on which the service last answered rates of a date that
// had not moved past the stored one.
const char *const unmovedOnKey = "pricing/ratesUnmovedOn";

} // namespace

bool isUsable(double rate) { return rate > 0.0 && rate < 100000.0; }

double builtInRate(const QString &code)
{
    for (const auto &row : builtInRates()) {
        if (row.first == code)
            return row.second;
    }
    return 0.0;
}

bool isNearBuiltIn(const QString &code, double rate)
{
    const double builtIn = builtInRate(code);
    return isUsable(rate) && builtIn > 0.0 && withinFactor(rate, builtIn, builtInBand);
}

bool isWithinReachOfBuiltIn(const QString &code, double rate)
{
    return isNearBuiltIn(code, rate) && withinMove(rate, builtInRate(code), builtInReach);
}

double lastRate(const QString &code)
{
    return storedRate(code);
}

QDate lastRateDate(const QString &code)
{
    // A date stored without a rate in use dates nothing.
    if (lastRate(code) <= 0.0)
        return {};
    QDate date;
    if (code != QLatin1String("EUR")) {
        AppSettings settings;
        date = QDate::fromString(settings.value(rateDateKey(code)).toString(), Qt::ISODate);
    }
    // Rates stored before each kept its own date share the euro's.
    if (!date.isValid())
        date = storedDate();
    // A date ahead of tomorrow came from a clock that was wrong: it tells
    // nothing of how old the rate is.
    return date.isValid() && date <= SteadyClock::today().addDays(1) ? date : QDate();
}

double allowedMove(const QString &code, const QDate &date)
{
    return moveSince(lastRateDate(code), date);
}

bool isBelievable(const QString &code, double rate, const QDate &date)
{
    if (!isNearBuiltIn(code, rate))
        return false;
    const double last = lastRate(code);
    const QDate day = dayOf(date);
    // With none in use, the built-in rate is the measure.
    if (last <= 0.0)
        return isWithinReachOfBuiltIn(code, rate) || confirmsKeptAside(code, rate, day);
    const QDate since = lastRateDate(code);
    // An answer older than the stored rate says nothing newer; one of its
    // own date is that day's rate again.
    if (since.isValid() && day < since)
        return false;
    if (since.isValid() && day == since)
        return confirmsStored(code, rate, date);
    return withinMove(rate, last, moveSince(since, day)) || undoesAWrongRate(code, rate, last)
        || confirmsKeptAside(code, rate, day);
}

bool awaitsConfirmation(const QString &code, double rate, const QDate &date)
{
    const QDate since = lastRateDate(code);
    return isNearBuiltIn(code, rate) && (!since.isValid() || dayOf(date) > since) && !isBelievable(code, rate, date);
}

QPair<double, QDate> keptAside(const QString &code)
{
    AppSettings settings;
    bool ok = false;
    const double rate = settings.value(keptAsideKey(code)).toDouble(&ok);
    const QDate date = QDate::fromString(settings.value(keptAsideDateKey(code)).toString(), Qt::ISODate);
    if (!ok || !isNearBuiltIn(code, rate) || !date.isValid())
        return {0.0, QDate()};
    return {rate, date};
}

void keepAside(const QString &code, double rate, const QDate &date)
{
    const QDate day = dayOf(date);
    const auto [kept, keptOn] = keptAside(code);
    // An answer dated before the one kept aside is no later word.
    if (kept > 0.0 && day < keptOn)
        return;
    AppSettings settings;
    settings.setValue(keptAsideKey(code), rate);
    settings.setValue(keptAsideDateKey(code), day.toString(Qt::ISODate));
}

bool confirmsStored(const QString &code, double rate, const QDate &date)
{
    const double last = lastRate(code);
    const QDate since = lastRateDate(code);
    return last > 0.0 && since.isValid() && dayOf(date) == since && std::abs(rate - last) <= last * sameDayTolerance;
}

QList<QPair<QString, double>> builtInRates()
{
    static const QList<QPair<QString, double>> table = {
        {QStringLiteral("EUR"), builtInUsdToEur},
        {QStringLiteral("CAD"), 1.36},
        {QStringLiteral("JPY"), 147.0},
        {QStringLiteral("GBP"), 0.79},
        {QStringLiteral("AUD"), 1.5},
        {QStringLiteral("CHF"), 0.88},
    };
    return table;
}

void store(const QMap<QString, double> &rates, const QDate &date)
{
    AppSettings settings;
    const QString eur = QStringLiteral("EUR");
    const QString when = (date.isValid() ? date : SteadyClock::today()).toString(Qt::ISODate);
    for (const auto &row : builtInRates()) {
        if (row.first == eur)
            continue;
        const double rate = rates.value(row.first, 0.0);
        if (isUsable(rate)) {
            settings.setValue(rateKey(row.first), rate);
            settings.setValue(rateDateKey(row.first), when);
            settings.remove(keptAsideKey(row.first));
            settings.remove(keptAsideDateKey(row.first));
        }
    }
    const double eurRate = rates.value(eur, 0.0);
    // A euro rate beyond belief is not stored: it would replace a good rate
    // with one that reads back as unusable while the date says it is fresh.
    if (isUsable(eurRate)) {
        settings.setValue(QLatin1String(usdToEurKey), eurRate);
        settings.setValue(QLatin1String(dateKey), when);
        settings.remove(keptAsideKey(eur));
        settings.remove(keptAsideDateKey(eur));
    }
    takeStoredRates(settings);
}

void reload()
{
    storedRates().loaded = false;
}

double usdToEur()
{
    return rateFor(QStringLiteral("EUR"));
}

double rateFor(const QString &code)
{
    if (code == QLatin1String("USD"))
        return 1.0;
    const double stored = storedRate(code);
    return stored > 0.0 ? stored : builtInRate(code);
}

bool hasRate(const QString &code)
{
    return code == QLatin1String("USD") || storedRate(code) > 0.0;
}

QDate storedDate()
{
    AppSettings settings;
    return QDate::fromString(settings.value(QLatin1String(dateKey)).toString(), Qt::ISODate);
}

bool isStale()
{
    const QDate date = storedDate();
    const QDate today = SteadyClock::today();
    // A date further ahead than the next day cannot be right (a clock that
    // was wrong when the rates were stored); taken as fresh, it would keep
    // the rates from ever being fetched again.
    return !date.isValid() || date < today.addDays(-1) || date > today.addDays(1);
}

void noteAnswerDated(const QDate &date)
{
    const QString eur = QStringLiteral("EUR");
    const QDate since = std::max(lastRateDate(eur), keptAside(eur).second);
    if (!since.isValid() || dayOf(date) > since)
        return;
    AppSettings settings;
    settings.setValue(QLatin1String(unmovedOnKey), SteadyClock::today().toString(Qt::ISODate));
}

bool isDue()
{
    if (hasRate(QStringLiteral("EUR")) && !isStale())
        return false;
    AppSettings settings;
    const QDate unmovedOn = QDate::fromString(settings.value(QLatin1String(unmovedOnKey)).toString(), Qt::ISODate);
    return unmovedOn != SteadyClock::today();
}

} // namespace pv::FxRates
