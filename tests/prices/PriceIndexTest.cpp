#include "PricesTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/AppSettings.h"
#include "prices/PriceIndex.h"
#include "prices/TcgcsvClient.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace pv;
using namespace pv::test;

namespace {

SetRecord baseSet()
{
    return makeSet(Language::English, QStringLiteral("base1"), QStringLiteral("Base Set"), QDate(1999, 1, 9));
}

double marketPrice(const QJsonObject &block, const QString &printingKey)
{
    return block.value(printingKey).toObject().value(QStringLiteral("marketPrice")).toDouble();
}

// Asks the index for the set and waits until it announces an outcome.
bool indexAndWait(PriceIndex &index, const SetRecord &set)
{
    QSignalSpy indexed(&index, &PriceIndex::setIndexed);
    index.indexSet(set);
    return indexed.wait(30000);
}

// Waits until the index has nothing left to send or receive.
bool settle(PriceIndex &index)
{
    return QTest::qWaitFor([&index] { return index.client()->pendingCount() == 0; }, 30000);
}

} // namespace

// The fallback price index against the stand-in's recorded TCGCSV answers:
// matching, the shadowless alias, pins, price blocks and failures.
class PriceIndexTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;

private Q_SLOTS:
    void init()
    {
        m_standIn = freshStandIn();
    }

    void cleanup()
    {
        AppSettings().remove(QStringLiteral("pricing/groupOverrides"));
    }

    // An entry matched from one record never answers for another record of
    // the same set: a bare id matched to another expansion gives way to the
    // set's real record, which keeps what it loaded while it picks the same group.
    void anotherRecordOfTheSetIsMatchedAgain()
    {
        PriceIndex index;
        const SetRecord bare = makeSet(QStringLiteral("swsh1"), QStringLiteral("swsh1"));
        QVERIFY(indexAndWait(index, bare));
        const QString swsh1 = QStringLiteral("swsh1");
        QVERIFY(index.statusText(Language::English, swsh1).contains(QLatin1String("Astral Radiance")));
        const SetRecord real = makeSet(swsh1, QStringLiteral("Sword & Shield"), QDate(2020, 2, 7));
        QVERIFY(indexAndWait(index, real));
        QVERIFY(index.statusText(Language::English, swsh1).contains(QLatin1String("Sword & Shield Base Set")));

        const int requests = m_standIn->requestCount(QStringLiteral("^/tcgplayer/"));
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        index.indexSet(makeSet(swsh1, QStringLiteral("Sword & Shield")));
        QCOMPARE(indexed.size(), 1);
        QCOMPARE(index.setState(Language::English, swsh1), PriceIndex::Indexed);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/")), requests);
    }

    void baseSetIsTwoGroupsAnnouncedOnce()
    {
        PriceIndex index;
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        index.indexSet(baseSet());
        QCOMPARE(index.setState(Language::English, QStringLiteral("base1")), PriceIndex::Pending);
        QCOMPARE(index.statusText(Language::English, QStringLiteral("base1")),
                 QStringLiteral("Looking up fallback prices..."));
        // Asking again while it is pending starts nothing new.
        index.indexSet(baseSet());
        QVERIFY(indexed.wait(30000));
        QVERIFY(settle(index));
        QCOMPARE(indexed.size(), 1);
        QCOMPARE(indexed.at(0).at(0).value<Language>(), Language::English);
        QCOMPARE(indexed.at(0).at(1).toString(), QStringLiteral("base1"));
        QCOMPARE(indexed.at(0).at(2).toBool(), true);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/")), 5);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/3/groups$")), 1);
        QVERIFY(logHas(QStringLiteral("prices"), QStringLiteral("en:base1 matched to TCGCSV group 604 (Base Set).")));
        QVERIFY(logHas(QStringLiteral("prices"),
                       QStringLiteral("en:base1#shadowless matched to TCGCSV group 1663 (Base Set (Shadowless)).")));

        QCOMPARE(index.setState(Language::English, QStringLiteral("base1")), PriceIndex::Indexed);
        QCOMPARE(index.statusText(Language::English, QStringLiteral("base1")),
                 QStringLiteral("Fallback prices from TCGCSV (Base Set), 102 card(s)."));
        QCOMPARE(index.unresolvedSetCount(), 0);

        // Card 4: the plain Charizard, not the unpriced error print, with the
        // shadowless group's runs merged in; "004" finds the same product.
        const QJsonObject charizard = index.cardPrices(Language::English, QStringLiteral("base1"), QStringLiteral("004"));
        QCOMPARE(charizard.value(QStringLiteral("unit")).toString(), QStringLiteral("USD"));
        QCOMPARE(charizard.value(QStringLiteral("groupId")).toInt(), 604);
        QCOMPARE(charizard.value(QStringLiteral("productId")).toInt(), 42382);
        QCOMPARE(marketPrice(charizard, QStringLiteral("holofoil")), 351.82);
        QCOMPARE(marketPrice(charizard, QStringLiteral("shadowlessHolofoil")), 1001.53);
        QCOMPARE(marketPrice(charizard, QStringLiteral("1stEditionHolofoil")), 3657.59);
        QCOMPARE(charizard.size(), 6);
        const QJsonObject alakazam = index.cardPrices(Language::English, QStringLiteral("base1"), QStringLiteral("1"));
        QCOMPARE(marketPrice(alakazam, QStringLiteral("holofoil")), 11.24);
        QCOMPARE(marketPrice(alakazam, QStringLiteral("shadowlessHolofoil")), 25.44);
        QCOMPARE(marketPrice(alakazam, QStringLiteral("1stEditionHolofoil")), 144.52);
        QVERIFY(index.cardPrices(Language::English, QStringLiteral("base1"), QStringLiteral("999")).isEmpty());
        QVERIFY(index.cardPrices(Language::Japanese, QStringLiteral("base1"), QStringLiteral("4")).isEmpty());

        // A settled set repeats its outcome at once, without a request.
        index.indexSet(baseSet());
        QCOMPARE(indexed.size(), 2);
        QCOMPARE(indexed.at(1).at(2).toBool(), true);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/")), 5);
    }

    void cardsGainATcgcsvBlockOnlyWhenPriced()
    {
        PriceIndex index;
        QVERIFY(indexAndWait(index,
                             makeSet(Language::English, QStringLiteral("ex11"), QStringLiteral("Delta Species"))));
        QCOMPARE(index.setState(Language::English, QStringLiteral("ex11")), PriceIndex::Indexed);

        CardDetail card;
        card.setId = QStringLiteral("ex11");
        card.localId = QStringLiteral("18");
        card.pricing = QJsonObject{{QStringLiteral("tcgplayer"), QJsonObject{{QStringLiteral("unit"), QStringLiteral("USD")}}},
                                   {QStringLiteral("tcgcsv"), QStringLiteral("stale")}};
        const CardDetail priced = index.withFallbackPrices(Language::English, card);
        QCOMPARE(priced.pricing.value(QStringLiteral("tcgplayer")), card.pricing.value(QStringLiteral("tcgplayer")));
        const QJsonObject block = priced.pricing.value(QStringLiteral("tcgcsv")).toObject();
        QCOMPARE(block.value(QStringLiteral("groupId")).toInt(), 1429);
        QCOMPARE(marketPrice(block, QStringLiteral("holofoil")), 4.73);
        QCOMPARE(marketPrice(block, QStringLiteral("reverse-holofoil")), 16.54);

        card.localId = QStringLiteral("500");
        QCOMPARE(index.withFallbackPrices(Language::English, card).pricing, card.pricing);
    }

    void setsWaitingForOneListShareIt()
    {
        PriceIndex index;
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        index.indexSet(makeSet(Language::English, QStringLiteral("ex11"), QStringLiteral("Delta Species")));
        index.indexSet(makeSet(Language::English, QStringLiteral("zz9"), QStringLiteral("Nowhere Expansion")));
        index.indexSet(SetRecord());  // no id: ignored
        QVERIFY(QTest::qWaitFor([&indexed] { return indexed.size() == 2; }, 30000));
        QVERIFY(settle(index));
        QCOMPARE(indexed.size(), 2);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/3/groups$")), 1);

        QCOMPARE(index.setState(Language::English, QStringLiteral("zz9")), PriceIndex::NoGroup);
        QCOMPARE(index.statusText(Language::English, QStringLiteral("zz9")),
                 QStringLiteral("No TCGCSV set matched this expansion, so no fallback prices are available."));
        QVERIFY(logHas(QStringLiteral("prices"),
                       QStringLiteral("No TCGCSV group matched \"Nowhere Expansion\" (en:zz9); it gets no fallback prices."),
                       Log::Warn));
        QCOMPARE(index.unresolvedSetCount(), 1);
        QCOMPARE(index.setState(Language::English, QStringLiteral("never")), PriceIndex::NotIndexed);
        QVERIFY(index.statusText(Language::English, QStringLiteral("never")).isEmpty());

        // With the list loaded, a further set is matched and settled at once.
        indexed.clear();
        index.indexSet(makeSet(Language::English, QStringLiteral("zz8"), QStringLiteral("Nowhere Else")));
        QCOMPARE(indexed.size(), 1);
        QCOMPARE(indexed.at(0).at(2).toBool(), false);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/3/groups$")), 1);
    }

    void settingsPinOverridesScoring()
    {
        const SetRecord sv1 = makeSet(Language::English, QStringLiteral("sv1"), QStringLiteral("Scarlet & Violet"),
                                      QDate(2023, 3, 31));
        const QString key = PriceIndex::overrideKey(Language::English, QStringLiteral("sv1"));
        for (const QVariant &ignored : {QVariant(0), QVariant(-5), QVariant(QStringLiteral("604x"))}) {
            setSetting(key, ignored);
            PriceIndex index;
            QVERIFY(indexAndWait(index, sv1));
            // "SVE: Scarlet & Violet Energies" scores as well; the smaller id wins.
            QCOMPARE(index.statusText(Language::English, QStringLiteral("sv1")),
                     QStringLiteral("Fallback prices from TCGCSV (SV01: Scarlet & Violet Base Set), 258 card(s)."));
        }

        setSetting(key, 604);
        PriceIndex index;
        QVERIFY(indexAndWait(index, sv1));
        QVERIFY(logHas(QStringLiteral("prices"),
                       QStringLiteral("en:sv1 matched to TCGCSV group 604 (pinned in settings)."), Log::Info));
        // A pinned group is named by its id, not by the list's name for it.
        QCOMPARE(index.statusText(Language::English, QStringLiteral("sv1")),
                 QStringLiteral("Fallback prices from TCGCSV (group 604), 102 card(s)."));
        QCOMPARE(index.cardPrices(Language::English, QStringLiteral("sv1"), QStringLiteral("4"))
                     .value(QStringLiteral("productId"))
                     .toInt(),
                 42382);
    }

    void errataPinPlacesWhatScoringCannot()
    {
        const SetRecord ex1 = makeSet(Language::English, QStringLiteral("ex1"), QStringLiteral("Ruby & Sapphire"));
        QCOMPARE(PriceIndex::scoreGroups(ex1, {}).groupId, 0);
        {
            PriceIndex index;
            QVERIFY(indexAndWait(index, ex1));
            QCOMPARE(index.setState(Language::English, QStringLiteral("ex1")), PriceIndex::Indexed);
            QVERIFY(logHas(QStringLiteral("prices"),
                           QStringLiteral("en:ex1 matched to TCGCSV group 1393 (pinned in the errata file).")));
            QCOMPARE(marketPrice(index.cardPrices(Language::English, QStringLiteral("ex1"), QStringLiteral("1")),
                                 QStringLiteral("holofoil")),
                     7.34);
        }
        // The user's pin goes before the errata file's.
        setSetting(PriceIndex::overrideKey(Language::English, QStringLiteral("ex1")), 1429);
        PriceIndex index;
        QVERIFY(indexAndWait(index, ex1));
        QVERIFY(logHas(QStringLiteral("prices"),
                       QStringLiteral("en:ex1 matched to TCGCSV group 1429 (pinned in settings).")));
    }

    // Both Base Set entries pinned to groups of our own making, to pin down
    // how sub-types become printing keys and how the two blocks merge.
    void aliasPinAndPrintingKeys()
    {
        const QJsonArray plainProducts{
            product(1, QStringLiteral("Reverse Only"), QStringLiteral("1")),
            product(2, QStringLiteral("Holo Then Unlimited"), QStringLiteral("2")),
            product(3, QStringLiteral("Unlimited Then Holo"), QStringLiteral("3")),
            product(4, QStringLiteral("Unlimited Only"), QStringLiteral("4")),
            product(5, QStringLiteral("Cosmos Only"), QStringLiteral("5")),
        };
        const QJsonArray plainPrices{
            priceRow(1, QStringLiteral("Reverse Holofoil"), 1.5),
            priceRow(2, QStringLiteral("Holofoil"), 10.5),
            priceRow(2, QStringLiteral("Unlimited Holofoil"), 9.0),
            priceRow(3, QStringLiteral("Unlimited Holofoil"), 9.0),
            priceRow(3, QStringLiteral("Holofoil"), 10.5),
            priceRow(4, QStringLiteral("Unlimited"), 2.5),
            priceRow(5, QStringLiteral("Cosmos Holofoil"), 7.0),
        };
        const QJsonArray shadowlessProducts{
            product(11, QStringLiteral("Reverse Only"), QStringLiteral("1")),
            product(12, QStringLiteral("Shadowless Run"), QStringLiteral("2")),
            product(16, QStringLiteral("Only Shadowless"), QStringLiteral("6")),
        };
        const QJsonArray shadowlessPrices{
            priceRow(11, QStringLiteral("Reverse Holofoil"), 3.0),
            priceRow(12, QStringLiteral("Unlimited Holofoil"), 30.0),
            priceRow(12, QStringLiteral("1st Edition Holofoil"), 90.0),
            priceRow(16, QStringLiteral("Normal"), 4.0),
        };
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/990010/products"), envelopeBody(plainProducts));
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/990010/prices"), envelopeBody(plainPrices));
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/990011/products"), envelopeBody(shadowlessProducts));
        serveJson(m_standIn, QStringLiteral("/tcgplayer/3/990011/prices"), envelopeBody(shadowlessPrices));
        setSetting(PriceIndex::overrideKey(Language::English, QStringLiteral("base1")), 990010);
        setSetting(PriceIndex::overrideKey(Language::English, QStringLiteral("base1"), QStringLiteral("shadowless")),
                     990011);

        PriceIndex index;
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        index.indexSet(baseSet());
        QVERIFY(indexed.wait(30000));
        QVERIFY(settle(index));
        QCOMPARE(indexed.size(), 1);
        QVERIFY(logHas(QStringLiteral("prices"),
                       QStringLiteral("en:base1#shadowless matched to TCGCSV group 990011 (pinned in settings).")));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/604/")), 0);

        const auto prices = [&index](const char *number) {
            return index.cardPrices(Language::English, QStringLiteral("base1"), QLatin1String(number));
        };
        // A reverse holo is filed as such, but has no shadowless key.
        QCOMPARE(prices("1").size(), 4);
        QCOMPARE(marketPrice(prices("1"), QStringLiteral("reverse-holofoil")), 1.5);
        // "Holofoil" is the figure of record over "Unlimited Holofoil", whatever the order.
        QCOMPARE(marketPrice(prices("2"), QStringLiteral("holofoil")), 10.5);
        QCOMPARE(marketPrice(prices("3"), QStringLiteral("holofoil")), 10.5);
        QCOMPARE(marketPrice(prices("2"), QStringLiteral("shadowlessHolofoil")), 30.0);
        QCOMPARE(marketPrice(prices("2"), QStringLiteral("1stEditionHolofoil")), 90.0);
        QCOMPARE(prices("2").value(QStringLiteral("productId")).toInt(), 2);
        QCOMPARE(marketPrice(prices("4"), QStringLiteral("normal")), 2.5);
        // A sub-type without a printing key gives no block at all.
        QVERIFY(prices("5").isEmpty());
        // A card only the shadowless group has comes with that group's block.
        QCOMPARE(prices("6").value(QStringLiteral("groupId")).toInt(), 990011);
        QCOMPARE(marketPrice(prices("6"), QStringLiteral("shadowlessNormal")), 4.0);
    }

    void failedGroupListStaysInItsCategory()
    {
        m_standIn->addFault(QStringLiteral("^/tcgplayer/85/groups$"), WebStandIn::Fault::httpStatus(500));
        PriceIndex index;
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        QSignalSpy failed(&index, &PriceIndex::failed);
        index.indexSet(makeSet(Language::Japanese, QStringLiteral("PCG1"), QStringLiteral("Flight of Legends"),
                               QDate(2004, 4, 9)));
        index.indexSet(makeSet(Language::English, QStringLiteral("ex11"), QStringLiteral("Delta Species")));
        QVERIFY(QTest::qWaitFor([&indexed] { return indexed.size() == 2; }, 30000));

        QCOMPARE(index.setState(Language::Japanese, QStringLiteral("PCG1")), PriceIndex::Failed);
        QCOMPARE(index.statusText(Language::Japanese, QStringLiteral("PCG1")),
                 QStringLiteral("Fallback prices could not be reached."));
        QCOMPARE(index.setState(Language::English, QStringLiteral("ex11")), PriceIndex::Indexed);
        QCOMPARE(indexed.at(0).at(1).toString(), QStringLiteral("PCG1"));
        QCOMPARE(indexed.at(0).at(2).toBool(), false);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("the TCGCSV set list"));
        QCOMPARE(index.unresolvedSetCount(), 0);

        // A failed set is not fetched again; a new set of the category asks
        // for the list once more.
        indexed.clear();
        index.indexSet(makeSet(Language::Japanese, QStringLiteral("PCG1"), QStringLiteral("Flight of Legends")));
        QCOMPARE(indexed.size(), 1);
        index.indexSet(makeSet(Language::Japanese, QStringLiteral("PMCG1"), QStringLiteral("Expansion Pack"),
                               QDate(1996, 10, 20)));
        QVERIFY(indexed.wait(30000));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/85/groups$")), 2);
        QCOMPARE(index.setState(Language::Japanese, QStringLiteral("PMCG1")), PriceIndex::NoProducts);
        QCOMPARE(index.statusText(Language::Japanese, QStringLiteral("PMCG1")),
                 QStringLiteral("TCGplayer catalogued \"Expansion Pack\" without collector numbers, so its cards "
                                "cannot be matched reliably."));
        QCOMPARE(index.unresolvedSetCount(), 1);
        QCOMPARE(index.setState(Language::Japanese, QStringLiteral("PCG1")), PriceIndex::Failed);
    }

    void failedGroupDataFailsItsSet_data()
    {
        const QString unreached = QStringLiteral("Fallback prices could not be reached.");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // empty: the service fails with 503
        QTest::addColumn<QString>("status");
        QTest::newRow("503 for the products")
            << QStringLiteral("/tcgplayer/3/1429/products") << QByteArray() << unreached;
        QTest::newRow("503 for the prices") << QStringLiteral("/tcgplayer/3/1429/prices") << QByteArray() << unreached;
        QTest::newRow("not a list") << QStringLiteral("/tcgplayer/3/1429/products")
                                    << QByteArray(R"({"success":true,"results":{}})") << unreached;
        // The service answered, with nothing: the line says what was missing.
        QTest::newRow("no groups") << QStringLiteral("/tcgplayer/3/groups") << envelopeBody({})
                                   << QStringLiteral("No TCGCSV set matched this expansion, so no fallback prices "
                                                     "are available.");
        const QString noPrices = QStringLiteral("TCGCSV answered with no prices for \"EX Delta Species\", so no "
                                                "fallback prices are available.");
        QTest::newRow("no products") << QStringLiteral("/tcgplayer/3/1429/products") << envelopeBody({}) << noPrices;
        QTest::newRow("no prices") << QStringLiteral("/tcgplayer/3/1429/prices") << envelopeBody({}) << noPrices;
    }

    // A failed set announces itself as failed, is named by its set in the
    // failure, and its status line tells an unreached service from one that
    // answered with nothing.
    void failedGroupDataFailsItsSet()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, status);
        if (body.isEmpty())
            m_standIn->addFault(QRegularExpression::escape(path), WebStandIn::Fault::httpStatus(503));
        else
            serveJson(m_standIn, path, body);
        PriceIndex index;
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        QSignalSpy failed(&index, &PriceIndex::failed);
        const QString ex11 = QStringLiteral("ex11");
        index.indexSet(makeSet(Language::English, ex11, QStringLiteral("Delta Species")));
        QVERIFY(indexed.wait(30000));
        QCOMPARE(indexed.at(0).at(2).toBool(), false);
        QCOMPARE(index.setState(Language::English, ex11), PriceIndex::Failed);
        QCOMPARE(index.statusText(Language::English, ex11), status);
        QCOMPARE(index.unresolvedSetCount(), 0);
        QCOMPARE(failed.size(), 1);
        // Named by the set's name, not by the group's id.
        if (path.contains(QLatin1String("1429")))
            QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("TCGCSV prices for Delta Species"));
    }

    void anIndexMayBeDroppedWhenItAnnouncesASet()
    {
        // A view that lets its index go as soon as a set settles, while the
        // index is still working through the group list that settled it.
        auto *index = new PriceIndex;
        const QPointer<PriceIndex> alive(index);
        connect(index, &PriceIndex::setIndexed, this, [index] { delete index; });
        index->indexSet(makeSet(Language::English, QStringLiteral("zz9"), QStringLiteral("Nowhere Expansion")));
        index->indexSet(makeSet(Language::English, QStringLiteral("ex11"), QStringLiteral("Delta Species")));
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 30000);
        QTest::qWait(50);  // deferred deletions run
        QCOMPARE(m_standIn->requestCount(QStringLiteral("^/tcgplayer/3/1429/")), 0);
    }

    void japaneseBase1HasNoShadowlessAlias()
    {
        PriceIndex index;
        QVERIFY(indexAndWait(index,
                             makeSet(Language::Japanese, QStringLiteral("base1"), QStringLiteral("Nothing Like It"))));
        QCOMPARE(index.setState(Language::Japanese, QStringLiteral("base1")), PriceIndex::NoGroup);
        QCOMPARE(logCount(QStringLiteral("prices"), QStringLiteral("ja:base1#")), 0);
    }
};

PV_REGISTER_TEST(PriceIndexTest)
#include "PriceIndexTest.moc"
