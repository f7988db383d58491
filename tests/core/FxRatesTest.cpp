#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/AppSettings.h"
#include "core/FxRates.h"
#include "core/SteadyClock.h"

#include <QFile>
#include <QTest>

using namespace pv;
using pv::test::setSetting;
using pv::test::setting;

class FxRatesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QFile::remove(AppSettings::filePath());
        FxRates::reload();
    }
    void cleanup()
    {
        SteadyClock::useRealTime();
        QFile::remove(AppSettings::filePath());
        FxRates::reload();
    }

    void storeWritesOnlyUsableRates()
    {
        setSetting(QStringLiteral("pricing/rates/CAD"), 1.4);
        FxRates::store({{QStringLiteral("EUR"), 0.93},
                        {QStringLiteral("JPY"), 155.1},
                        {QStringLiteral("GBP"), 0.0},
                        {QStringLiteral("AUD"), -2.0},
                        {QStringLiteral("CHF"), 1e9},
                        {QStringLiteral("SEK"), 10.0}},
                       QDate(2024, 5, 2));
        QCOMPARE(setting(QStringLiteral("pricing/usdToEur")).toDouble(), 0.93);
        QCOMPARE(setting(QStringLiteral("pricing/rates/JPY")).toDouble(), 155.1);
        QCOMPARE(setting(QStringLiteral("pricing/usdToEurDate")).toString(), QStringLiteral("2024-05-02"));
        QCOMPARE(setting(QStringLiteral("pricing/rates/CAD")).toDouble(), 1.4);
        QVERIFY(!setting(QStringLiteral("pricing/rates/GBP")).isValid());
        QVERIFY(!setting(QStringLiteral("pricing/rates/AUD")).isValid());
        QVERIFY(!setting(QStringLiteral("pricing/rates/CHF")).isValid());
        QVERIFY(!setting(QStringLiteral("pricing/rates/SEK")).isValid());
        QVERIFY(!setting(QStringLiteral("pricing/rates/EUR")).isValid());
    }

    void storeWithoutDateUsesToday()
    {
        SteadyClock::useManualTime();
        FxRates::store({{QStringLiteral("EUR"), 0.9}}, QDate());
        QCOMPARE(FxRates::storedDate(), SteadyClock::today());
    }

    void storeRefusesAnUnbelievableEuroRate()
    {
        FxRates::store({{QStringLiteral("EUR"), 0.9}}, QDate(2024, 5, 2));
        FxRates::store({{QStringLiteral("EUR"), 1e9}}, QDate(2024, 5, 3));
        QCOMPARE(FxRates::usdToEur(), 0.9);
        QCOMPARE(FxRates::storedDate(), QDate(2024, 5, 2));
    }

    // The rates are read once, not at every look-up; one stored is in use at
    // once.
    void lookUpsFollowTheRatesStoredWithoutReadingTheSettingsAgain()
    {
        FxRates::store({{QStringLiteral("EUR"), 0.9}, {QStringLiteral("CAD"), 1.3}}, QDate(2024, 5, 2));
        QCOMPARE(FxRates::usdToEur(), 0.9);
        AppSettings().setValue(QStringLiteral("pricing/usdToEur"), 0.5);
        QCOMPARE(FxRates::usdToEur(), 0.9);
        FxRates::store({{QStringLiteral("EUR"), 0.92}}, QDate(2024, 5, 3));
        QCOMPARE(FxRates::usdToEur(), 0.92);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.3);
        FxRates::reload();
        QCOMPARE(FxRates::usdToEur(), 0.92);
    }

    void rateForFallsBackToTheBuiltInTable()
    {
        QCOMPARE(FxRates::rateFor(QStringLiteral("USD")), 1.0);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.36);
        setSetting(QStringLiteral("pricing/rates/CAD"), 0);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.36);
        setSetting(QStringLiteral("pricing/rates/CAD"), 1e6);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.36);
        setSetting(QStringLiteral("pricing/rates/CAD"), QStringLiteral("lots"));
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.36);
        setSetting(QStringLiteral("pricing/rates/CAD"), 1.25);
        QCOMPARE(FxRates::rateFor(QStringLiteral("CAD")), 1.25);
        QCOMPARE(FxRates::rateFor(QStringLiteral("SEK")), 0.0);
        QCOMPARE(FxRates::rateFor(QStringLiteral("cad")), 0.0);
    }

    void euroRateAndItsBounds()
    {
        QCOMPARE(FxRates::usdToEur(), 0.86);
        QCOMPARE(FxRates::rateFor(QStringLiteral("EUR")), 0.86);
        QVERIFY(!FxRates::hasRate(QStringLiteral("EUR")));
        QVERIFY(FxRates::hasRate(QStringLiteral("USD")));
        setSetting(QStringLiteral("pricing/usdToEur"), 100000.0);
        QCOMPARE(FxRates::usdToEur(), 0.86);
        QVERIFY(!FxRates::hasRate(QStringLiteral("EUR")));
        setSetting(QStringLiteral("pricing/usdToEur"), 0.91);
        QCOMPARE(FxRates::usdToEur(), 0.91);
        QVERIFY(FxRates::hasRate(QStringLiteral("EUR")));
        QVERIFY(!FxRates::hasRate(QStringLiteral("JPY")));
    }

    // A stored rate an earlier version took in the wrong unit is not in
    // use: every reader falls back to the built-in table.
    void storedRatesFarFromTheBuiltInOnesAreNotInUse_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<double>("stored");
        QTest::addColumn<bool>("inUse");
        QTest::newRow("EUR a hundred times") << QStringLiteral("EUR") << 92.12 << false;
        QTest::newRow("EUR twice") << QStringLiteral("EUR") << 1.72 << true;
        QTest::newRow("EUR over twice") << QStringLiteral("EUR") << 1.73 << false;
        QTest::newRow("EUR half") << QStringLiteral("EUR") << 0.43 << true;
        QTest::newRow("EUR under half") << QStringLiteral("EUR") << 0.42 << false;
        QTest::newRow("CAD over twice") << QStringLiteral("CAD") << 2.8 << false;
        QTest::newRow("JPY near the built-in") << QStringLiteral("JPY") << 161.92 << true;
        QTest::newRow("JPY per hundred dollars") << QStringLiteral("JPY") << 14700.0 << false;
    }
    void storedRatesFarFromTheBuiltInOnesAreNotInUse()
    {
        QFETCH(QString, code);
        QFETCH(double, stored);
        QFETCH(bool, inUse);
        const double builtIn = FxRates::builtInRate(code);
        // Dated by a euro rate stored with it.
        QMap<QString, double> rates{{QStringLiteral("EUR"), 0.9}};
        rates.insert(code, stored);
        FxRates::store(rates, SteadyClock::today());
        QCOMPARE(FxRates::rateFor(code), inUse ? stored : builtIn);
        QCOMPARE(FxRates::hasRate(code), inUse);
        QCOMPARE(FxRates::lastRate(code), inUse ? stored : 0.0);
        if (code == QLatin1String("EUR"))
            QCOMPARE(FxRates::usdToEur(), inUse ? stored : builtIn);
    }

    void staleness()
    {
        QVERIFY(FxRates::isStale());
        setSetting(QStringLiteral("pricing/usdToEurDate"), QStringLiteral("not a date"));
        QVERIFY(FxRates::isStale());
        SteadyClock::useManualTime();
        const QDate today = SteadyClock::today();
        setSetting(QStringLiteral("pricing/usdToEurDate"), today.toString(Qt::ISODate));
        QVERIFY(!FxRates::isStale());
        setSetting(QStringLiteral("pricing/usdToEurDate"), today.addDays(-1).toString(Qt::ISODate));
        QVERIFY(!FxRates::isStale());
        setSetting(QStringLiteral("pricing/usdToEurDate"), today.addDays(-2).toString(Qt::ISODate));
        QVERIFY(FxRates::isStale());
        // A date from a clock that ran ahead must not freeze the rates.
        setSetting(QStringLiteral("pricing/usdToEurDate"), today.addDays(1).toString(Qt::ISODate));
        QVERIFY(!FxRates::isStale());
        setSetting(QStringLiteral("pricing/usdToEurDate"), today.addYears(3).toString(Qt::ISODate));
        QVERIFY(FxRates::isStale());
        // A day later, yesterday's rates are two days old.
        setSetting(QStringLiteral("pricing/usdToEurDate"), today.addDays(-1).toString(Qt::ISODate));
        SteadyClock::advance(24 * 3600 * 1000);
        QVERIFY(FxRates::isStale());
    }
};

PV_REGISTER_TEST(FxRatesTest)
#include "FxRatesTest.moc"
