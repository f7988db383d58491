#include "StandInFetch.h"
#include "TestRegistry.h"
#include "standin/WebStandIn.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace pv::test;

// TCGCSV in its envelope and the exchange rates.
class TcgcsvAndRatesTest : public QObject
{
    Q_OBJECT

    WebStandIn m_standIn;
    QNetworkAccessManager m_network;

    QJsonObject tcgcsv(const QString &path)
    {
        return fetch(m_network, m_standIn.tcgcsvUrl() + QStringLiteral("/tcgplayer") + path).json().object();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_standIn.start(), qPrintable(m_standIn.errorString()));
    }

    void groupListsInTheEnvelope()
    {
        const QJsonObject english = tcgcsv(QStringLiteral("/3/groups"));
        QCOMPARE(english[QStringLiteral("success")].toBool(), true);
        QCOMPARE(english[QStringLiteral("errors")].toArray().size(), 0);
        QCOMPARE(english[QStringLiteral("totalItems")].toInt(), 218);
        QCOMPARE(english[QStringLiteral("results")].toArray().size(), 218);
        QCOMPARE(tcgcsv(QStringLiteral("/85/groups"))[QStringLiteral("results")].toArray().size(), 170);
    }

    void productsAndPricesOfAGroup()
    {
        bool charizard = false;
        for (const QJsonValue &product : tcgcsv(QStringLiteral("/3/604/products"))[QStringLiteral("results")].toArray()) {
            if (product[QStringLiteral("productId")].toInt() == 42382)
                charizard = product[QStringLiteral("name")].toString() == QLatin1String("Charizard");
        }
        QVERIFY(charizard);

        double market = 0;
        for (const QJsonValue &row : tcgcsv(QStringLiteral("/3/604/prices"))[QStringLiteral("results")].toArray()) {
            if (row[QStringLiteral("productId")].toInt() == 42382 && row[QStringLiteral("subTypeName")].toString() == QLatin1String("Holofoil"))
                market = row[QStringLiteral("marketPrice")].toDouble();
        }
        QCOMPARE(market, 351.82);

        // Escaped text in the recording comes out as plain UTF-8.
        const Fetched japanese = fetch(m_network, m_standIn.tcgcsvUrl() + QStringLiteral("/tcgplayer/85/24117/products"));
        QCOMPARE(japanese.status, 200);
        QVERIFY(!japanese.json().isNull());
        QVERIFY(!japanese.body.contains("\\\""));
    }

    void unrecordedRequestsAreNotFound()
    {
        const QString base = m_standIn.tcgcsvUrl() + QStringLiteral("/tcgplayer");
        QCOMPARE(fetch(m_network, base + QStringLiteral("/3/604/products?cache=1")).status, 200);
        QCOMPARE(fetch(m_network, base + QStringLiteral("/4/groups")).status, 404);
        QCOMPARE(fetch(m_network, base + QStringLiteral("/85/604/products")).status, 404);
        QCOMPARE(fetch(m_network, base + QStringLiteral("/categories")).status, 404);
    }

    void exchangeRatesForTheProgramsQuery()
    {
        const Fetched reply = fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/latest?base=USD&symbols=EUR,CAD,JPY,GBP,AUD,CHF"));
        QCOMPARE(reply.status, 200);
        const QJsonObject rates = reply.json().object();
        QCOMPARE(rates[QStringLiteral("base")].toString(), QStringLiteral("USD"));
        QCOMPARE(rates[QStringLiteral("date")].toString(), QDate::currentDate().toString(Qt::ISODate));
        const QJsonObject table = rates[QStringLiteral("rates")].toObject();
        QCOMPARE(table.keys(), QStringList({"AUD", "CAD", "CHF", "EUR", "GBP", "JPY"}));
        QVERIFY(table[QStringLiteral("EUR")].toDouble() > 0.5 && table[QStringLiteral("EUR")].toDouble() < 1.5);
        QVERIFY(table[QStringLiteral("JPY")].toDouble() > 100);
        // The same question gets the same figures.
        QCOMPARE(fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/latest?base=USD&symbols=EUR,CAD,JPY,GBP,AUD,CHF")).body, reply.body);
    }

    void exchangeRatesOtherwise()
    {
        const QJsonObject euro = fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/latest")).json().object();
        QCOMPARE(euro[QStringLiteral("base")].toString(), QStringLiteral("EUR"));
        QVERIFY(!euro[QStringLiteral("rates")].toObject().contains(QStringLiteral("EUR")));
        QVERIFY(euro[QStringLiteral("rates")].toObject().contains(QStringLiteral("USD")));
        const double usdPerEur = euro[QStringLiteral("rates")][QStringLiteral("USD")].toDouble();
        const double eurPerUsd = fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/latest?base=USD&symbols=EUR"))
                                     .json()[QStringLiteral("rates")][QStringLiteral("EUR")].toDouble();
        QVERIFY(qAbs(usdPerEur * eurPerUsd - 1.0) < 1e-3);

        QCOMPARE(fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/latest?base=USD&symbols=XXX")).status, 404);
        QCOMPARE(fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/latest?base=ZZZ")).status, 404);
        QCOMPARE(fetch(m_network, m_standIn.fxUrl() + QStringLiteral("/v1/2024-05-02")).status, 404);
    }
};

PV_REGISTER_TEST(TcgcsvAndRatesTest)
#include "TcgcsvAndRatesTest.moc"
