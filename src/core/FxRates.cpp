#include "core/FxRates.h"

#include "core/AppSettings.h"
#include "core/SteadyClock.h"

#include <QList>
#include <QPair>

namespace pv::FxRates {

namespace {

const char *const usdToEurKey = "pricing/usdToEur";
const char *const dateKey = "pricing/usdToEurDate";
const double builtInUsdToEur = 0.86;

QString rateKey(const QString &code) { return QStringLiteral("pricing/rates/") + code; }

QString storageKey(const QString &code)
{
    return code == QLatin1String("EUR") ? QString::fromLatin1(usdToEurKey) : rateKey(code);
}

// The code's stored rate, or 0 when it is missing or not in use: one an
// earlier version stored in the wrong unit must not price anything.
double storedRate(const QString &code)
{
    AppSettings settings;
    const QVariant value = settings.value(storageKey(code));
    if (!value.isValid())
        return 0.0;
    bool ok = false;
    const double rate = value.toDouble(&ok);
    return ok && isNearBuiltIn(code, rate) ? rate : 0.0;
}

bool withinFactor(double rate, double reference, double factor)
{
    return rate <= reference * factor && rate >= reference / factor;
}

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

double recentRate(const QString &code)
{
    const QDate date = storedDate();
    const QDate today = SteadyClock::today();
    // A date ahead of tomorrow came from a clock that was wrong: it tells
    // nothing of how old the rate is.
    if (!date.isValid() || date < today.addDays(-recentDays) || date > today.addDays(1))
        return 0.0;
    return storedRate(code);
}

bool isBelievable(const QString &code, double rate)
{
    if (!isNearBuiltIn(code, rate))
        return false;
    const double recent = recentRate(code);
    return recent <= 0.0 || (rate <= recent * (1.0 + dayBand) && rate >= recent * (1.0 - dayBand));
}

QList<QPair<QString, double>> builtInRates()
{
    return {
        {QStringLiteral("EUR"), builtInUsdToEur},
        {QStringLiteral("CAD"), 1.36},
        {QStringLiteral("JPY"), 147.0},
        {QStringLiteral("GBP"), 0.79},
        {QStringLiteral("AUD"), 1.5},
        {QStringLiteral("CHF"), 0.88},
    };
}

void store(const QMap<QString, double> &rates, const QDate &date)
{
    AppSettings settings;
    const QString eur = QStringLiteral("EUR");
    for (const auto &row : builtInRates()) {
        if (row.first == eur)
            continue;
        const double rate = rates.value(row.first, 0.0);
        if (isUsable(rate))
            settings.setValue(rateKey(row.first), rate);
    }
    const double eurRate = rates.value(eur, 0.0);
    // A euro rate beyond belief is not stored: it would replace a good rate
    // with one that reads back as unusable while the date says it is fresh.
    if (isUsable(eurRate)) {
        settings.setValue(QLatin1String(usdToEurKey), eurRate);
        const QDate when = date.isValid() ? date : SteadyClock::today();
        settings.setValue(QLatin1String(dateKey), when.toString(Qt::ISODate));
    }
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

} // namespace pv::FxRates
