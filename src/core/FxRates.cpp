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

// The stored rate under key, or 0 when it is missing or not believable.
double storedRate(const QString &key)
{
    AppSettings settings;
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return 0.0;
    bool ok = false;
    const double rate = value.toDouble(&ok);
    return ok && isUsable(rate) ? rate : 0.0;
}

} // namespace

bool isUsable(double rate) { return rate > 0.0 && rate < 100000.0; }

bool isBelievable(const QString &code, double rate)
{
    const double inUse = rateFor(code);
    return isUsable(rate) && inUse > 0.0 && rate <= 2.0 * inUse && rate >= inUse / 2.0;
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
    const double stored = storedRate(QLatin1String(usdToEurKey));
    return stored > 0.0 ? stored : builtInUsdToEur;
}

double rateFor(const QString &code)
{
    if (code == QLatin1String("USD"))
        return 1.0;
    if (code == QLatin1String("EUR"))
        return usdToEur();
    for (const auto &row : builtInRates()) {
        if (row.first != code)
            continue;
        const double stored = storedRate(rateKey(code));
        return stored > 0.0 ? stored : row.second;
    }
    return 0.0;
}

bool hasRate(const QString &code)
{
    if (code == QLatin1String("USD"))
        return true;
    if (code == QLatin1String("EUR"))
        return storedRate(QLatin1String(usdToEurKey)) > 0.0;
    return storedRate(rateKey(code)) > 0.0;
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
