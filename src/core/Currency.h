#pragma once

#include <QList>
#include <QString>

namespace pv {

// One row of the fixed table of display currencies. Every stored amount is in
// euros (TCGplayer figures also in dollars); the user picks one of these rows
// to see and type amounts in.
struct Currency
{
    int id = 0;
    QString code;          // ISO 4217
    QString name;
    QString symbol;
    bool symbolBefore = false;
    int decimals = 2;

    static QList<Currency> all();
    static Currency byCode(const QString &code);  // trimmed, any case; EUR when unknown
    static Currency byId(int id);                 // EUR when unknown

    // The display currency in force and its conversion factors, loaded from
    // the settings and the stored exchange rates on first use.
    static int currentId();
    static QString currentCode();
    static void reload();
    static void setCurrent(int id);

    static double fromEur(double eur);
    static double toEur(double amount);

    // amount is already in the units of the given currency.
    static QString format(double amount, int currencyId);
    static QString formatFromEur(double eur);
    static QString formatFromUsd(double usd);
};

int defaultCurrencyId();

} // namespace pv
