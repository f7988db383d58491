#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/AppSettings.h"
#include "core/Currency.h"
#include "core/FxRates.h"

#include <QFile>
#include <QLocale>
#include <QTest>

using namespace pv;
using pv::test::setSetting;

class CurrencyTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }
    void init()
    {
        QFile::remove(AppSettings::filePath());
        FxRates::reload();
        Currency::reload();
    }
    void cleanup()
    {
        QFile::remove(AppSettings::filePath());
        FxRates::reload();
    }

    void formatsEveryCurrency_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("expected");
        QTest::newRow("EUR") << 0 << 1234.56 << QStringLiteral("1,234.56 \u20AC");
        QTest::newRow("USD") << 1 << 1234.56 << QStringLiteral("$1,234.56");
        QTest::newRow("CAD") << 2 << 1234.56 << QStringLiteral("CA$1,234.56");
        QTest::newRow("JPY rounds to whole yen") << 3 << 1234.56 << QStringLiteral("\u00A51,235");
        QTest::newRow("GBP") << 4 << 1234.56 << QStringLiteral("\u00A31,234.56");
        QTest::newRow("AUD") << 5 << 1234.56 << QStringLiteral("A$1,234.56");
        QTest::newRow("CHF brings its own blank") << 6 << 1234.56 << QStringLiteral("CHF 1,234.56");
        QTest::newRow("negative EUR") << 0 << -5.5 << QStringLiteral("-5.50 \u20AC");
        QTest::newRow("negative USD: symbol, then the minus") << 1 << -5.5 << QStringLiteral("$-5.50");
        QTest::newRow("negative JPY") << 3 << -1234.56 << QStringLiteral("\u00A5-1,235");
        QTest::newRow("zero USD") << 1 << 0.0 << QStringLiteral("$0.00");
        QTest::newRow("a sliver below zero shows no minus") << 1 << -0.001 << QStringLiteral("$0.00");
        QTest::newRow("unknown id formats as EUR") << 42 << 2.0 << QStringLiteral("2.00 \u20AC");
    }
    void formatsEveryCurrency()
    {
        QFETCH(int, id);
        QFETCH(double, amount);
        QFETCH(QString, expected);
        QCOMPARE(Currency::format(amount, id), expected);
    }

    void tableLookups()
    {
        QCOMPARE(Currency::all().size(), 7);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(Currency::all().at(i).id, i);
        QCOMPARE(Currency::byCode(QStringLiteral("  usd ")).code, QStringLiteral("USD"));
        QCOMPARE(Currency::byCode(QStringLiteral("SEK")).code, QStringLiteral("EUR"));
        QCOMPARE(Currency::byId(-1).code, QStringLiteral("EUR"));
        QCOMPARE(defaultCurrencyId(), 0);
    }

    void defaultsWithNothingStored()
    {
        QCOMPARE(Currency::currentCode(), QStringLiteral("EUR"));
        QCOMPARE(Currency::fromEur(10.0), 10.0);
        // EUR is the display currency: a dollar is worth the built-in 0.86 euros.
        QCOMPARE(Currency::formatFromUsd(100.0), QStringLiteral("86.00 \u20AC"));
    }

    void storedSettingIsTrimmedAndCaseFree()
    {
        setSetting(QStringLiteral("pricing/displayCurrency"), QStringLiteral(" usd "));
        Currency::reload();
        QCOMPARE(Currency::currentCode(), QStringLiteral("USD"));
        setSetting(QStringLiteral("pricing/displayCurrency"), QStringLiteral("XYZ"));
        Currency::reload();
        QCOMPARE(Currency::currentCode(), QStringLiteral("EUR"));
    }

    void factorsFollowTheStoredRates()
    {
        FxRates::store({{QStringLiteral("EUR"), 0.9}, {QStringLiteral("JPY"), 150.0}}, QDate(2024, 5, 2));
        Currency::setCurrent(3);
        QCOMPARE(Currency::currentCode(), QStringLiteral("JPY"));
        QVERIFY(qFuzzyCompare(Currency::fromEur(1.0), 150.0 / 0.9));
        QCOMPARE(Currency::formatFromUsd(2.0), QStringLiteral("\u00A5300"));
        QVERIFY(qFuzzyCompare(Currency::toEur(Currency::fromEur(12.5)), 12.5));
        QCOMPARE(Currency::formatFromEur(0.9), QStringLiteral("\u00A5150"));
    }

    void setCurrentStoresTheCode()
    {
        Currency::setCurrent(6);
        AppSettings settings;
        QCOMPARE(settings.value(QStringLiteral("pricing/displayCurrency")).toString(), QStringLiteral("CHF"));
        Currency::setCurrent(99);
        QCOMPARE(Currency::currentCode(), QStringLiteral("EUR"));
    }
};

PV_REGISTER_TEST(CurrencyTest)
#include "CurrencyTest.moc"
