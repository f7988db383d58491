#include "core/Currency.h"

#include "core/AppSettings.h"
#include "core/FxRates.h"

#include <QLocale>

#include <cmath>

namespace pv {

namespace {

const char *const displayCurrencyKey = "pricing/displayCurrency";

struct CurrencyState
{
    bool loaded = false;
    int id = 0;
    double eurFactor = 1.0;  // display units per euro
    double usdFactor = 1.0;  // display units per dollar
};

CurrencyState &state()
{
    static CurrencyState s;
    return s;
}

const CurrencyState &loadedState()
{
    if (!state().loaded)
        Currency::reload();
    return state();
}

} // namespace

QList<Currency> Currency::all()
{
    static const QList<Currency> table = {
        {0, QStringLiteral("EUR"), QStringLiteral("Euro"), QStringLiteral("\u20AC"), false, 2},
        {1, QStringLiteral("USD"), QStringLiteral("US dollar"), QStringLiteral("$"), true, 2},
        {2, QStringLiteral("CAD"), QStringLiteral("Canadian dollar"), QStringLiteral("CA$"), true, 2},
        {3, QStringLiteral("JPY"), QStringLiteral("Japanese yen"), QStringLiteral("\u00A5"), true, 0},
        {4, QStringLiteral("GBP"), QStringLiteral("Pound sterling"), QStringLiteral("\u00A3"), true, 2},
        {5, QStringLiteral("AUD"), QStringLiteral("Australian dollar"), QStringLiteral("A$"), true, 2},
        {6, QStringLiteral("CHF"), QStringLiteral("Swiss franc"), QStringLiteral("CHF "), true, 2},
    };
    return table;
}

Currency Currency::byCode(const QString &code)
{
    const QString wanted = code.trimmed();
    const QList<Currency> table = all();
    for (const Currency &c : table) {
        if (c.code.compare(wanted, Qt::CaseInsensitive) == 0)
            return c;
    }
    return table.first();
}

Currency Currency::byId(int id)
{
    const QList<Currency> table = all();
    for (const Currency &c : table) {
        if (c.id == id)
            return c;
    }
    return table.first();
}

int defaultCurrencyId() { return 0; }

int Currency::currentId() { return loadedState().id; }

QString Currency::currentCode() { return byId(currentId()).code; }

void Currency::reload()
{
    CurrencyState &s = state();
    s.loaded = true;

    QString stored;
    {
        AppSettings settings;
        stored = settings.value(QLatin1String(displayCurrencyKey)).toString().trimmed();
    }
    // byCode falls back to EUR for an empty or unknown code.
    s.id = byCode(stored).id;

    const double r = FxRates::rateFor(byId(s.id).code);
    const double e = FxRates::usdToEur();
    s.usdFactor = r > 0 ? r : 1.0;
    s.eurFactor = (r > 0 && e > 0) ? r / e : 1.0;
}

void Currency::setCurrent(int id)
{
    {
        AppSettings settings;
        settings.setValue(QLatin1String(displayCurrencyKey), byId(id).code);
    }
    reload();
}

double Currency::fromEur(double eur) { return eur * loadedState().eurFactor; }

double Currency::toEur(double amount)
{
    const double factor = loadedState().eurFactor;
    return factor > 0 ? amount / factor : amount;
}

QString Currency::format(double amount, int currencyId)
{
    const Currency c = byId(currencyId);
    // An amount that rounds to zero is written without a minus sign.
    if (std::abs(amount) * std::pow(10.0, c.decimals) < 0.5)
        amount = 0.0;
    const QString number = QLocale().toString(amount, 'f', c.decimals);
    if (c.symbolBefore)
        return c.symbol + number;
    return number + QLatin1Char(' ') + c.symbol;
}

QString Currency::formatFromEur(double eur)
{
    const CurrencyState &s = loadedState();
    return format(eur * s.eurFactor, s.id);
}

QString Currency::formatFromUsd(double usd)
{
    const CurrencyState &s = loadedState();
    return format(usd * s.usdFactor, s.id);
}

} // namespace pv
