#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/AppSettings.h"
#include "core/CardDetail.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "core/Pricing.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <limits>

using namespace pv;
using pv::test::setSetting;

namespace {

const QString normal = QStringLiteral("normal");
const QString holo = QStringLiteral("holo");
const QString reverse = QStringLiteral("reverse");
const QString unlimited = QStringLiteral("unlimited");
const QString firstEdition = QStringLiteral("firstEdition");
const QString shadowless = QStringLiteral("shadowless");

CardDetail card(const char *pricingJson)
{
    CardDetail c;
    QJsonParseError error;
    c.pricing = QJsonDocument::fromJson(pricingJson, &error).object();
    if (error.error != QJsonParseError::NoError)
        qFatal("bad fixture: %s", qPrintable(error.errorString()));
    return c;
}

} // namespace

class PricingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QFile::remove(AppSettings::filePath());
        setSetting(QStringLiteral("pricing/usdToEur"), 0.9);
        PriceBasis::setCurrent(PriceBasis::Mean);
        PriceSource::setCurrent(PriceSource::Cardmarket);
    }
    void cleanupTestCase()
    {
        QFile::remove(AppSettings::filePath());
        PriceBasis::load();
        PriceSource::load();
    }

    void brokenFiguresAndDisputedPrintings_data()
    {
        QTest::addColumn<QByteArray>("pricing");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<double>("firstEditionHolo");
        QTest::addColumn<unsigned>("unknown"); // the Read flag of a figure it looked for and cannot know
        const unsigned known = 0;
        QTest::newRow("within the bound")
            << QByteArray(R"({"cardmarket": {"unit": "EUR", "trend": 1e7, "avg": 0, "avg30": null}})") << QString()
            << 1e7 << known;
        QTest::newRow("TCGplayer beyond")
            << QByteArray(R"({"cardmarket": {"trend": 2}, "tcgplayer": {"1stEditionHolofoil": {"lowPrice": 2e7}}})")
            << QStringLiteral("the TCGplayer \"lowPrice\" of \"1stEditionHolofoil\" is 2e+07, beyond any price") << 2.0
            << known;
        QTest::newRow("Cardmarket in yen")
            << QByteArray(R"({"cardmarket": {"unit": "JPY", "trend": 50000}})")
            << QStringLiteral("its Cardmarket prices are in JPY, not EUR") << 0.0 << known;
        QTest::newRow("TCGplayer in euros")
            << QByteArray(R"({"cardmarket": {"trend": 3},
                             "tcgplayer": {"unit": "EUR", "1stEditionHolofoil": {"marketPrice": 100}}})")
            << QStringLiteral("its TCGplayer prices are in EUR, not USD") << 3.0 << known;
        QTest::newRow("Cardmarket figure in text")
            << QByteArray(R"({"cardmarket": {"updated": "2026-08-21", "unit": "EUR", "trend": "315.02", "avg": 2}})")
            << QStringLiteral("the Cardmarket \"trend\" is the text \"315.02\", not a number") << 2.0 << known;
        QTest::newRow("unread figure in text")
            << QByteArray(R"({"cardmarket": {"trend": 2, "avg7": "n/a"}})")
            << QStringLiteral("the Cardmarket \"avg7\" is the text \"n/a\", not a number") << 2.0 << known;
        QTest::newRow("unread figure below 0")
            << QByteArray(R"({"cardmarket": {"trend": 2}, "tcgplayer": {"holofoil": {"directLowPrice": -0.5}}})")
            << QStringLiteral("the TCGplayer \"directLowPrice\" of \"holofoil\" is -0.5, below 0") << 2.0 << known;
        QTest::newRow("TCGplayer figure not a number")
            << QByteArray(R"({"tcgplayer": {"updated": "2026", "1stEditionHolofoil": {"highPrice": [1]}}})")
            << QStringLiteral("the TCGplayer \"highPrice\" of \"1stEditionHolofoil\" is not a number") << 0.0 << known;
        QTest::newRow("ids in text, figures null")
            << QByteArray(R"({"cardmarket": {"idProduct": "273699", "trend": 4, "low-holo": null},
                             "tcgplayer": {"holofoil": {"productId": "42382", "directLowPrice": null}}})")
            << QString() << 4.0 << known;
        QTest::newRow("TCGCSV listed it twice")
            << QByteArray(R"({"cardmarket": {"trend": 5}, "tcgcsv": {"unit": "USD", "holofoil": {"marketPrice": 7},
                                                                    "disputed": ["1stEditionHolofoil"]}})")
            << QString() << 5.0 << unsigned(PriceResult::DisputedDollars);
        QTest::newRow("its TCGCSV group did not answer")
            << QByteArray(R"({"cardmarket": {"trend": 5}, "tcgcsv": {"holofoil": {"marketPrice": 7},
                                                                    "unanswered": ["1stEditionHolofoil"]}})")
            << QString() << 5.0 << unsigned(PriceResult::UnansweredDollars);
    }

    // A figure that is not a number, below 0, beyond any price, or a block in another
    // currency, makes the answer unusable and is never read as a price; a
    // printing TCGCSV listed at two figures, or whose group did not answer,
    // has none of TCGCSV's, and says so.
    void brokenFiguresAndDisputedPrintings()
    {
        QFETCH(QByteArray, pricing);
        QFETCH(QString, problem);
        QFETCH(double, firstEditionHolo);
        QFETCH(unsigned, unknown);
        const unsigned unknowable = PriceResult::DisputedDollars | PriceResult::UnansweredDollars;
        const CardDetail c = card(pricing.constData());
        QCOMPARE(Pricing::pricingProblem(c.pricing), problem);
        const PriceResult price = Pricing::priceFor(c, holo, firstEdition);
        QCOMPARE(price.value, firstEditionHolo);
        QCOMPARE(price.reads & unknowable, unknown);
        QCOMPARE(Pricing::tcgplayerPriceReads(c, holo, firstEdition) & unknowable, unknown);
        QCOMPARE(Pricing::priceFor(c, holo, unlimited).reads & unknowable, 0u);
    }

    void combineUnderEachBasis()
    {
        const QJsonObject object{{QStringLiteral("trend"), 2.0}, {QStringLiteral("avg"), 0}, {QStringLiteral("avg30"), 4.0}};
        const QStringList names{QStringLiteral("trend"), QStringLiteral("avg"), QStringLiteral("avg30")};
        QCOMPARE(Pricing::combine(object, names), 3.0);
        PriceBasis::setCurrent(PriceBasis::Lowest);
        QCOMPARE(Pricing::combine(object, names), 2.0);
        PriceBasis::setCurrent(PriceBasis::Highest);
        QCOMPARE(Pricing::combine(object, names), 4.0);
        QCOMPARE(Pricing::combine(QJsonObject{{QStringLiteral("trend"), -1}}, names), 0.0);
    }

    void hostileFiguresAreAbsent()
    {
        const QStringList names{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                                QStringLiteral("e"), QStringLiteral("f")};
        const QJsonObject object{{QStringLiteral("a"), QStringLiteral("12.5")},
                                 {QStringLiteral("b"), -3.0},
                                 {QStringLiteral("c"), QJsonValue::Null},
                                 {QStringLiteral("d"), std::numeric_limits<double>::infinity()},
                                 {QStringLiteral("e"), std::numeric_limits<double>::quiet_NaN()},
                                 {QStringLiteral("f"), QJsonObject{{QStringLiteral("x"), 1}}}};
        for (int basis : {PriceBasis::Mean, PriceBasis::Highest, PriceBasis::Lowest}) {
            PriceBasis::setCurrent(basis);
            QCOMPARE(Pricing::combine(object, names), 0.0);
        }
    }

    void hostilePricingObjects_data()
    {
        QTest::addColumn<QByteArray>("pricing");
        QTest::addColumn<double>("usd");
        QTest::addColumn<double>("eur");
        QTest::newRow("strings where numbers belong")
            << QByteArray(R"({"cardmarket": {"trend": "5"}, "tcgplayer": {"normal": {"marketPrice": "3"}}})") << 0.0 << 0.0;
        QTest::newRow("blocks that are null")
            << QByteArray(R"({"cardmarket": null, "tcgplayer": null, "tcgcsv": null})") << 0.0 << 0.0;
        QTest::newRow("blocks of the wrong type")
            << QByteArray(R"({"cardmarket": 5, "tcgplayer": [1, 2], "tcgcsv": "x"})") << 0.0 << 0.0;
        QTest::newRow("nested nulls and non-objects")
            << QByteArray(R"({"tcgplayer": {"unit": "USD", "updated": "2024", "normal": null, "holofoil": [4]}})") << 0.0 << 0.0;
        QTest::newRow("negative figures")
            << QByteArray(R"({"cardmarket": {"trend": -2}, "tcgplayer": {"normal": {"marketPrice": -1, "lowPrice": 0}}})") << 0.0 << 0.0;
        QTest::newRow("an unknown variant still prices the card")
            << QByteArray(R"({"tcgplayer": {"mystery-foil": {"lowPrice": 2.0}}})") << 2.0 << 1.8;
        QTest::newRow("tcgcsv beside an empty tcgplayer")
            << QByteArray(R"({"tcgplayer": {}, "tcgcsv": {"normal": {"marketPrice": 4.0}}})") << 4.0 << 3.6;
        QTest::newRow("tcgcsv only where tcgplayer has nothing")
            << QByteArray(R"({"tcgplayer": {"normal": {"marketPrice": 1.0}}, "tcgcsv": {"normal": {"marketPrice": 4.0}}})") << 1.0 << 0.9;
    }
    void hostilePricingObjects()
    {
        QFETCH(QByteArray, pricing);
        QFETCH(double, usd);
        QFETCH(double, eur);
        const CardDetail c = card(pricing.constData());
        QCOMPARE(Pricing::tcgplayerPrice(c, normal, unlimited), usd);
        QVERIFY(qAbs(Pricing::priceValue(c, normal, unlimited) - eur) < 1e-9);
        const QHash<QString, double> map = Pricing::priceMap(c);
        QCOMPARE(map.size(), 12);
        QCOMPARE(Pricing::tcgplayerPriceMap(c).size(), 12);
    }

    void cardmarketHoloFigures()
    {
        const CardDetail onlyTrend = card(R"({"cardmarket": {"trend": 1.5}})");
        QCOMPARE(Pricing::cardmarketPrice(onlyTrend, holo, unlimited), 1.5);
        const CardDetail both = card(R"({"cardmarket": {"trend": 1.0, "trend-holo": 8.0}})");
        QCOMPARE(Pricing::cardmarketPrice(both, reverse, unlimited), 8.0);
        QCOMPARE(Pricing::cardmarketPrice(both, normal, unlimited), 1.0);
    }

    void variantNamesOfAFinish()
    {
        const CardDetail onlyNormal = card(R"({"tcgplayer": {"normal": {"marketPrice": 2.0}, "holofoil": {"marketPrice": 9.0}}})");
        QCOMPARE(Pricing::tcgplayerPrice(onlyNormal, normal, unlimited), 2.0);
        QCOMPARE(Pricing::tcgplayerPrice(onlyNormal, holo, unlimited), 9.0);
        QCOMPARE(Pricing::tcgplayerPrice(onlyNormal, reverse, unlimited), 9.0);
        const CardDetail normalOnly = card(R"({"tcgplayer": {"normal": {"marketPrice": 2.0}}})");
        QCOMPARE(Pricing::tcgplayerPrice(normalOnly, reverse, unlimited), 2.0);
    }

    // The live service names the two runs of a vintage product
    // "1st-edition-holofoil" and "unlimited-holofoil"; the unlimited card must
    // not be valued at its first-edition figure.
    void liveEditionNames()
    {
        const CardDetail vintage = card(R"({"tcgplayer": {
            "1st-edition-holofoil": {"marketPrice": 100.0},
            "unlimited-holofoil": {"marketPrice": 10.0}}})");
        QCOMPARE(Pricing::tcgplayerPrice(vintage, holo, unlimited), 10.0);
        QCOMPARE(Pricing::tcgplayerPrice(vintage, holo, firstEdition), 100.0);
        QCOMPARE(Pricing::tcgplayerEditionPriceUsd(vintage, holo, firstEdition), 100.0);
        QCOMPARE(Pricing::priceValue(vintage, holo, firstEdition), 90.0);
        QCOMPARE(Pricing::priceOrigin(vintage, holo, firstEdition), PriceResult::TCGplayer);
        QCOMPARE(Pricing::priceValue(vintage, holo, unlimited), 9.0);

        const CardDetail plain = card(R"({"tcgplayer": {"1st-edition": {"marketPrice": 40.0}, "unlimited": {"marketPrice": 4.0}}})");
        QCOMPARE(Pricing::tcgplayerPrice(plain, normal, unlimited), 4.0);
        QCOMPARE(Pricing::tcgplayerPrice(plain, normal, firstEdition), 40.0);
        QCOMPARE(Pricing::tcgplayerPriceMap(plain).value(QStringLiteral("normal|unlimited")), 4.0);
    }

    void lastResortWalkKeepsToItsEdition()
    {
        const CardDetail firstOnly = card(R"({"tcgplayer": {"1st-edition-holofoil": {"marketPrice": 100.0},
                                                             "shadowlessHolofoil": {"marketPrice": 50.0}}})");
        QCOMPARE(Pricing::tcgplayerPrice(firstOnly, holo, unlimited), 0.0);
        QCOMPARE(Pricing::tcgplayerPrice(firstOnly, holo, QString()), 0.0);
        QCOMPARE(Pricing::tcgplayerPrice(firstOnly, holo, shadowless), 50.0);
        QCOMPARE(Pricing::tcgplayerPrice(firstOnly, normal, firstEdition), 100.0);
        const CardDetail documented = card(R"({"tcgplayer": {"1stEditionNormal": {"marketPrice": 30.0}}})");
        QCOMPARE(Pricing::tcgplayerPrice(documented, normal, unlimited), 0.0);
        QCOMPARE(Pricing::tcgplayerPrice(documented, normal, firstEdition), 30.0);
    }

    void editionPriceWinsOverCardmarket()
    {
        const CardDetail c = card(R"({"cardmarket": {"trend": 500.0},
                                      "tcgplayer": {"1stEditionHolofoil": {"marketPrice": 100.0}}})");
        QCOMPARE(Pricing::priceValue(c, holo, firstEdition), 90.0);
        // Without an edition figure the ordinary rule applies: Cardmarket first.
        const CardDetail noEdition = card(R"({"cardmarket": {"trend": 5.0}, "tcgplayer": {"holofoil": {"marketPrice": 100.0}}})");
        QCOMPARE(Pricing::priceValue(noEdition, holo, firstEdition), 5.0);
        QCOMPARE(Pricing::priceOrigin(noEdition, holo, firstEdition), PriceResult::Cardmarket);
    }

    void sourceDecidesBetweenTheTwo()
    {
        const CardDetail c = card(R"({"cardmarket": {"trend": 5.0}, "tcgplayer": {"normal": {"marketPrice": 50.0}}})");
        QCOMPARE(Pricing::priceValue(c, normal, unlimited), 5.0);
        PriceSource::setCurrent(PriceSource::HighestOfBoth);
        QCOMPARE(Pricing::priceValue(c, normal, unlimited), 45.0);
        QCOMPARE(Pricing::priceOrigin(c, normal, unlimited), PriceResult::TCGplayer);
        setSetting(QStringLiteral("pricing/usdToEur"), 0.5);
        const CardDetail even = card(R"({"cardmarket": {"trend": 5.0}, "tcgplayer": {"normal": {"marketPrice": 10.0}}})");
        const PriceResult tie = Pricing::priceFor(even, normal, unlimited);
        QCOMPARE(tie.value, 5.0);
        QCOMPARE(tie.origin, PriceResult::Cardmarket);
        const PriceResult none = Pricing::priceFor(CardDetail(), normal, unlimited);
        QCOMPARE(none.value, 0.0);
        QCOMPARE(none.origin, PriceResult::Cardmarket);
    }

    void fallbackOrigin()
    {
        PriceSource::setCurrent(PriceSource::HighestOfBoth);
        const CardDetail fromCsv = card(R"({"tcgplayer": null, "tcgcsv": {"1st-edition": {"marketPrice": 3.0}}})");
        QVERIFY(Pricing::priceOriginSource(fromCsv, normal, firstEdition));
        const CardDetail fromOwn = card(R"({"tcgplayer": {"normal": {"marketPrice": 3.0}}, "tcgcsv": {"normal": {"marketPrice": 9.0}}})");
        QVERIFY(!Pricing::priceOriginSource(fromOwn, normal, unlimited));
        QVERIFY(!Pricing::priceOriginSource(CardDetail(), normal, unlimited));
    }

    // What priceFor says it read is what its value depends on: other figures
    // in a block it read change the value, in one it did not read they never
    // do, and the rate changes it exactly when a dollar figure was converted
    // or weighed. A refresh keeps a stored value on this answer alone.
    void whatItReadIsWhatTheValueDependsOn()
    {
        const char *const pricings[] = {
            R"({})",
            R"({"tcgplayer": {"normal": {"marketPrice": 4.0}, "holofoil": {"marketPrice": 20.0}}})",
            R"({"cardmarket": {"trend": 5.0}, "tcgplayer": {"normal": {"marketPrice": 50.0}}})",
            R"({"cardmarket": {"trend": 6.0}, "tcgplayer": {"normal": {"marketPrice": 5.0}}})",
            R"({"cardmarket": {"trend": 2.0}, "tcgcsv": {"holofoil": {"marketPrice": 7.0},
                                                        "1st-edition-holofoil": {"marketPrice": 70.0}}})",
            R"({"cardmarket": {"trend": 3.0}, "tcgplayer": {"1stEditionNormal": {"marketPrice": 30.0}},
                "tcgcsv": {"normal": {"marketPrice": 6.0}}})",
            R"({"tcgplayer": {"normal": {"marketPrice": 2.0}}, "tcgcsv": {"shadowlessNormal": {"marketPrice": 40.0}}})",
        };
        const QJsonObject cardmarket{{QStringLiteral("trend"), 1e7}, {QStringLiteral("trend-holo"), 1e7}};
        QJsonObject dollars; // under every variant name the rules read
        for (const char *name : {"normal", "holofoil", "reverse-holofoil", "1stEditionNormal", "1stEditionHolofoil",
                                 "shadowlessNormal", "shadowlessHolofoil"})
            dollars.insert(QLatin1String(name), QJsonObject{{QStringLiteral("marketPrice"), 1e6}});
        for (const int source : {PriceSource::Cardmarket, PriceSource::HighestOfBoth}) {
            PriceSource::setCurrent(source);
            for (const char *pricing : pricings) {
                const CardDetail c = card(pricing);
                for (const auto &[finish, edition] : Pricing::allCombinations()) {
                    const PriceResult read = Pricing::priceFor(c, finish, edition);
                    const auto changedBy = [&](const char *name, const QJsonValue &figures) {
                        CardDetail other = c;
                        if (figures.isUndefined())
                            other.pricing.remove(QLatin1String(name));
                        else
                            other.pricing.insert(QLatin1String(name), figures);
                        return Pricing::priceValue(other, finish, edition) != read.value;
                    };
                    const QByteArray where = QByteArray(pricing) + " as " + printingKey(finish, edition).toUtf8()
                        + " from source " + QByteArray::number(source);
                    QVERIFY2(changedBy("cardmarket", cardmarket) == bool(read.reads & PriceResult::CardmarketFigures),
                             where);
                    QVERIFY2(changedBy("tcgplayer", dollars) == bool(read.reads & PriceResult::CardDatabaseDollars),
                             where);
                    QVERIFY2(changedBy("tcgcsv", dollars) == read.readsTcgcsv(), where);
                    QVERIFY2(read.fromTcgcsv
                                 == (read.origin == PriceResult::TCGplayer
                                     && changedBy("tcgcsv", QJsonValue::Undefined)),
                             where);
                    // Far from 0.9, and still a rate in use (within twice
                    // the built-in one).
                    setSetting(QStringLiteral("pricing/usdToEur"), 1.7);
                    const bool rateChanges = Pricing::priceValue(c, finish, edition) != read.value;
                    setSetting(QStringLiteral("pricing/usdToEur"), 0.9);
                    QVERIFY2(rateChanges == read.convertsDollars() && read.usdToEur == (rateChanges ? 0.9 : 0.0),
                             where);
                }
            }
        }
    }

    void combinationsAndMaps()
    {
        const auto pairs = Pricing::allCombinations();
        QCOMPARE(pairs.size(), 12);
        QCOMPARE(pairs.first(), qMakePair(normal, unlimited));
        QCOMPARE(pairs.last(), qMakePair(QString(), shadowless));
        const QHash<QString, double> empty = Pricing::priceMap(CardDetail());
        QCOMPARE(empty.size(), 12);
        QVERIFY(empty.contains(QStringLiteral("|unlimited")));
        for (double v : empty)
            QCOMPARE(v, 0.0);
    }

    void storedChoicesAreReadLeniently()
    {
        setSetting(QStringLiteral("pricing/priceBasis"), QStringLiteral("  HIGHEST "));
        PriceBasis::load();
        QCOMPARE(PriceBasis::current(), int(PriceBasis::Highest));
        setSetting(QStringLiteral("pricing/priceBasis"), QStringLiteral("median"));
        PriceBasis::load();
        QCOMPARE(PriceBasis::current(), int(PriceBasis::Mean));
        setSetting(QStringLiteral("pricing/priceSource"), QStringLiteral("HighestOfBoth"));
        PriceSource::load();
        QCOMPARE(PriceSource::current(), int(PriceSource::HighestOfBoth));
        setSetting(QStringLiteral("pricing/priceSource"), QStringLiteral("ebay"));
        PriceSource::load();
        QCOMPARE(PriceSource::current(), int(PriceSource::Cardmarket));
        PriceBasis::setCurrent(77);
        AppSettings settings;
        QCOMPARE(settings.value(QStringLiteral("pricing/priceBasis")).toString(), QStringLiteral("mean"));
        QCOMPARE(PriceBasis::all().first().key, QStringLiteral("mean"));
        QCOMPARE(PriceSource::all().size(), 2);
    }

    void gradeMultipliers()
    {
        QCOMPARE(Pricing::gradeMultiplierKey(GradingCompany::PSA, QStringLiteral(" 10 ")),
                 QStringLiteral("valuation/gradeMultipliers/PSA_10"));
        QCOMPARE(Pricing::gradeMultiplierKey(GradingCompany::BGS, QString()),
                 QStringLiteral("valuation/gradeMultipliers/BGS_any"));
        QCOMPARE(Pricing::gradeMultiplier(GradingCompany::PSA, QStringLiteral("10")), 1.0);
        QVERIFY(Pricing::isNeutralGrade(GradingCompany::PSA, QStringLiteral("10")));
        QVERIFY(!Pricing::isNeutralGrade(GradingCompany::None, QString()));
        setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_any"), 1.5);
        QCOMPARE(Pricing::gradeMultiplier(GradingCompany::PSA, QStringLiteral("10")), 1.5);
        setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_10"), 3.0);
        QCOMPARE(Pricing::gradeMultiplier(GradingCompany::PSA, QStringLiteral("10")), 3.0);
        QVERIFY(!Pricing::isNeutralGrade(GradingCompany::PSA, QStringLiteral("10")));
        setSetting(QStringLiteral("valuation/gradeMultipliers/CGC_9"), QStringLiteral("lots"));
        QCOMPARE(Pricing::gradeMultiplier(GradingCompany::CGC, QStringLiteral("9")), 0.0);
        setSetting(QStringLiteral("valuation/gradeMultipliers/CGC_8"), QStringLiteral("nan"));
        QCOMPARE(Pricing::gradeMultiplier(GradingCompany::CGC, QStringLiteral("8")), 0.0);
        setSetting(QStringLiteral("valuation/gradeMultipliers/None_any"), 5.0);
        QCOMPARE(Pricing::gradeMultiplier(GradingCompany::None, QString()), 1.0);
    }
};

PV_REGISTER_TEST(PricingTest)
#include "PricingTest.moc"
