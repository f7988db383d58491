#include "Fixtures.h"
#include "PriceRunSupport.h"
#include "TestSupport.h"
#include "TestRegistry.h"

#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/EditEntryCommand.h"
#include "collection/EntryKeys.h"
#include "collection/CollectionSerializer.h"
#include "collection/FallbackPrices.h"
#include "collection/PriceRefresh.h"
#include "core/FxRateFetcher.h"
#include "core/CardKeys.h"
#include "core/FxRates.h"
#include "core/SteadyClock.h"
#include "prices/PriceIndex.h"
#include "prices/PricesTestSupport.h"
#include "prices/TcgcsvClient.h"
#include "standin/WebStandIn.h"

#include <QSignalSpy>
#include <QUndoStack>
#include <QTemporaryDir>

#include <utility>
#include <QTest>

using namespace pv;
using namespace pv::test;

Q_DECLARE_METATYPE(WebStandIn::Fault)

class PriceRefreshTest : public QObject
{
    Q_OBJECT

    // A refresh with a card database client that only records its requests
    // (Fixture), or one that asks the stand-in over HTTP (WebFixture). This
    // suite loads no translation: counted texts read as written ("set(s)").
    template <typename Client>
    struct RunOf
    {
        Collection collection;
        Client client;
        PriceIndex index;
        FallbackPrices fallback{&collection, &index};
        FxRateFetcher rates;
        PriceRefresh refresh{&collection, &client, &fallback, &rates};
        QSignalSpy status{&refresh, &PriceRefresh::statusChanged};

        QString lastStatus() const { return status.isEmpty() ? QString() : status.last().at(0).toString(); }
        void add(const QStringList &cardIds)
        {
            for (const QString &id : cardIds)
                collection.addEntry(holdingOf(id));
        }
        double value(int row) const { return collection.entries().at(row).unitValueEur; }
        // Starts a refresh and waits until its cards are asked for, once
        // its sets have settled.
        bool refreshUntilCardsAreAsked()
        {
            client.sent.clear();
            refresh.refresh();
            return QTest::qWaitFor([this] { return !client.sent.isEmpty(); }, 30000);
        }
        // Opens a document of one holding with its set's record.
        void open(const CardEntry &holding, const SetRecord &set)
        {
            collection.replaceContents({holding}, {{setKey(set.language, set.id), set}}, {}, {}, std::nullopt);
        }
        bool settle(const SetRecord &record)
        {
            QSignalSpy settled(&index, &PriceIndex::setIndexed);
            collection.mergeSetInfo(record);
            fallback.lookUp(record.language, record.id);
            return settled.wait(30000);
        }
        // Runs a refresh of the whole collection to its summary.
        QString refreshed()
        {
            refresh.refresh();
            if (!QTest::qWaitFor([this] { return !refresh.isRunning(); }, 60000))
                return QStringLiteral("still running");
            return lastStatus();
        }
    };
    using Fixture = RunOf<RecordingClient>;
    using WebFixture = RunOf<TcgdexClient>;

    static CardEntry holo(const QString &cardId, double unitValueEur = 0.0)
    {
        CardEntry entry = holdingOf(cardId, 1, unitValueEur);
        entry.variant = QStringLiteral("holo");
        return entry;
    }

    static SetRecord swordAndShield(const QString &name)
    {
        return setRecord(QStringLiteral("swsh1"), name, QStringLiteral("Sword & Shield"), 1, 202, 216,
                         Language::English, QDate(2020, 2, 7));
    }

    static SetRecord jungle()
    {
        return setRecord(QStringLiteral("base2"), QStringLiteral("Jungle"), QString(), 2, 64, 64, Language::English,
                         QDate(1999, 6, 16));
    }
    static SetRecord baseSet()
    {
        return setRecord(QStringLiteral("base1"), QStringLiteral("Base Set"), QString(), 1, 102, 102, Language::English,
                         QDate(1999, 1, 9));
    }
    // Blastoise's Cardmarket figures as the stand-in serves them, averaged.
    static constexpr double blastoise = (19.06 + 20.81 + 21.36) / 3;
    // Its TCGplayer holofoil market, mid and low figures, averaged.
    static constexpr double blastoiseDollars = (17.11 + 24.67 + 10.81) / 3;
    // Ting-Lu ex of Paldea Evolved: Cardmarket figures, no TCGplayer block.
    static constexpr double tingLu = (2.47 + 2.1 + 2.51) / 3;

    static SetRecord paldeaEvolved()
    {
        return setRecord(QStringLiteral("sv02"), QStringLiteral("Paldea Evolved"), QStringLiteral("Scarlet & Violet"),
                         2, 193, 279, Language::English, QDate(2023, 6, 9));
    }
    // A holding with both stored figures.
    static CardEntry storedAt(const QString &cardId, const QString &name, double eur, double usd,
                              const QString &edition = QString())
    {
        CardEntry entry = holo(cardId, eur);
        entry.name = name;
        entry.edition = edition;
        entry.unitValueUsd = usd;
        return entry;
    }

private Q_SLOTS:
    void init()
    {
        freshStandIn();
        FxRates::store({{QStringLiteral("EUR"), 0.86}}, SteadyClock::today()); // no run waits for rates
        setSetting(QStringLiteral("pricing/ratesUnmovedOn"), QVariant());
    }

    // The rates service answers the euro rate for the date, once.
    static void serveRate(double eur, const QDate &date)
    {
        WebStandIn::shared()->addFault(QStringLiteral("^/v1/latest"),
                                       WebStandIn::Fault::custom(200, "application/json",
                                                                 R"({"amount": 1.0, "base": "USD", "date": ")"
                                                                     + date.toString(Qt::ISODate).toLatin1()
                                                                     + R"(", "rates": {"EUR": )"
                                                                     + QByteArray::number(eur, 'f', 5) + "}}"));
    }

    // A rates service that repeats the stored rate's day, 4.9 per cent
    // higher at every refresh, is asked once that day and moves nothing;
    // the next day's right rate is taken.
    void aRateMovesOnlyAsTheDaysPass()
    {
        const ManualTime clock;
        const QDate today = SteadyClock::today();
        FxRates::store({{QStringLiteral("EUR"), 0.92115}}, today.addDays(-3));
        WebStandIn *web = WebStandIn::shared();
        Fixture f;
        f.add({"zz1-4"});
        double walked = 0.92115;
        for (int press = 0; press < 13; ++press) {
            serveRate(walked *= 1.049, today.addDays(-3));
            QVERIFY(f.refreshUntilCardsAreAsked());
            f.client.answerInDollars(QStringLiteral("zz1-4"), 3657.59);
            QCOMPARE(f.value(0), 3657.59 * 0.92115);
            if (press == 0)
                QVERIFY2(f.lastStatus().contains(QLatin1String("another figure for the day of the stored rate")),
                         qPrintable(f.lastStatus()));
        }
        QCOMPARE(web->requestCount(QStringLiteral("^/v1/latest")), 1);
        web->clearFaults();
        SteadyClock::advance(24 * 3600 * 1000);
        serveRate(0.92115, SteadyClock::today());
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client.answerInDollars(QStringLiteral("zz1-4"), 3657.59);
        QCOMPARE(FxRates::storedDate(), SteadyClock::today());
        QCOMPARE(web->requestCount(QStringLiteral("^/v1/latest")), 2);
    }

    // A run's summary says first the euro rate in use and that the
    // service's answer waits, or how far a rate taken moved it. The 1st
    // Edition Charizard (3,657.59 dollars, 3,000 euros stored) is valued at
    // the rate taken; without one it keeps its value, and is the one kept:
    // the card never priced had nothing to keep.
    void theSummarySaysTheRateInUseFirst_data()
    {
        QTest::addColumn<double>("stored"); // forty days back; 0: none, the far answer waits
        QTest::addColumn<double>("answered");
        QTest::addColumn<QStringList>("said"); // parts of the sentence shown first
        QTest::newRow("1.70 with none stored")
            << 0.0 << 1.70
            << QStringList{QStringLiteral("kept at the built-in 1 USD = 0.86000 EUR; the service's 1.70000 waits")};
        QTest::newRow("0.92115 forty days after 1.30")
            << 1.30 << 0.92115
            << QStringList{QStringLiteral("moved by -29.1% to 1 USD = 0.92115 EUR of "),
                           QStringLiteral("from 1 USD = 1.30000 EUR of ")};
    }
    void theSummarySaysTheRateInUseFirst()
    {
        QFETCH(double, stored);
        QFETCH(double, answered);
        const ManualTime clock;
        setSetting(QStringLiteral("pricing/usdToEur"), QVariant());
        if (stored > 0.0)
            FxRates::store({{QStringLiteral("EUR"), stored}}, SteadyClock::today().addDays(-40));
        FxRates::reload();
        serveRate(answered, SteadyClock::today());
        Fixture f;
        f.collection.addEntry(holdingOf(QStringLiteral("zz1-4"), 1, 3000.0));
        f.add({"zz1-5"}); // never priced
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client.answerInDollars(QStringLiteral("zz1-4"), 3657.59);
        f.client.answerInDollars(QStringLiteral("zz1-5"), 1.0);
        QCOMPARE(f.value(0), stored > 0.0 ? 3657.59 * answered : 3000.0);
        QCOMPARE(f.refresh.outcomeNote().keptCards, stored > 0.0 ? 0 : 1);
        const QString first = f.status.last().at(2).toStringList().value(0);
        QFETCH(QStringList, said);
        for (const QString &part : std::as_const(said))
            QVERIFY2(first.contains(part), qPrintable(first));
    }

    // One card priced on its own (a card just added): its facts, its
    // prices and the week recorded after them reach the views as one change.
    void aCardPricedAloneIsOneChange()
    {
        Fixture f;
        f.add({"zz1-1"});
        f.refresh.queueCards({{Language::English, QStringLiteral("zz1-1")}});
        f.refresh.pump();
        QSignalSpy changed(&f.collection, &Collection::changed);
        f.client.answer(QStringLiteral("zz1-1"), 2.0, QStringLiteral("Rare"));
        QVERIFY(!f.refresh.isRunning());
        QCOMPARE(f.collection.entries().at(0).rarity, QStringLiteral("Rare"));
        QVERIFY(f.value(0) > 0.0);
        QCOMPARE(f.collection.history().size(), 1);
        QCOMPARE(changed.count(), 1);
    }

    // Only answers that priced a holding count as priced; a run that priced
    // none records no week.
    void answersWithoutPricesAreNotPriced()
    {
        Fixture f;
        f.add({"zz1-1", "zz1-2", "zz1-3"});
        f.refresh.refresh();
        f.client.answer(QStringLiteral("zz1-1"), 2.0);
        f.client.answer(QStringLiteral("zz1-2"));
        f.client.fail(QStringLiteral("zz1-3"), QStringLiteral("Connection closed"));
        QCOMPARE(f.lastStatus(),
                 QStringLiteral(
                     "Priced 1 of 3 cards; the card database could not be reached for 1, 1 came back without a price. "
                     "Recorded "
                     "this week's total."));
        QCOMPARE(f.collection.history().size(), 1);

        f.collection.clear();
        f.add({"zz1-4", "zz1-5"});
        QSignalSpy progress(&f.refresh, &PriceRefresh::progressChanged);
        f.refresh.refresh();
        f.client.answer(QStringLiteral("zz1-4"));
        f.client.answer(QStringLiteral("zz1-5"));
        QCOMPARE(f.lastStatus(), QStringLiteral("Priced 0 of 2 cards; 2 came back without a price."));
        QCOMPARE(f.collection.history().size(), 0);
        QCOMPARE(progress.last(), QList<QVariant>({QVariant::fromValue(PriceRefresh::Stage::Cards), 2, 2}));
    }

    // Cancelling and another document both end the run: nothing it asked
    // for reaches the document that follows.
    void cancelAndReplacedDocumentEndTheRun()
    {
        Fixture f;
        for (int i = 1; i <= 8; ++i)
            f.add({QStringLiteral("zz1-%1").arg(i)});
        QSignalSpy ended(&f.refresh, &PriceRefresh::runEnded);
        f.refresh.refresh();
        QCOMPARE(f.refresh.requestsInFlight().size(), 6);
        f.client.answer(QStringLiteral("zz1-1"), 2.0);
        f.refresh.cancel();
        QVERIFY(!f.refresh.isRunning());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(f.client.cancelled.size(), 6);
        QVERIFY(f.refresh.queue().isEmpty() && f.refresh.requestsInFlight().isEmpty());
        QCOMPARE(f.lastStatus(), QStringLiteral("Price refresh cancelled."));

        f.refresh.refresh();
        const int late = f.client.idOf(QStringLiteral("zz1-3"), Language::English);
        f.collection.replaceContents({holdingOf(QStringLiteral("zz1-3"))}, {}, {}, {}, std::nullopt);
        QVERIFY(!f.refresh.isRunning());
        QCOMPARE(ended.size(), 2);
        QCOMPARE(f.client.cancelled.size(), 12);
        f.client.answer(QStringLiteral("zz1-3"), 5.0, QString(), Language::English, late);
        QCOMPARE(f.value(0), 0.0);
        QVERIFY(!f.collection.isDirty());
    }

    // A cancelled refresh lets go of the fallback look-ups it alone waits
    // for, waiting for the set list or for the set's own data, while a set
    // a view asked about is still looked up for it.
    void cancelDropsTheRunsOwnFallbackLookUps()
    {
        Fixture f;
        const SetRecord fossil = setRecord(QStringLiteral("base3"), QStringLiteral("Fossil"), QString(), 3, 62, 62,
                                           Language::English, QDate(1999, 10, 10));
        f.add({"base2-1", "base3-1"});
        f.collection.mergeSetInfo(jungle());
        f.collection.mergeSetInfo(fossil);
        QSignalSpy settled(&f.index, &PriceIndex::setIndexed);
        f.fallback.lookUp(Language::English, QStringLiteral("base3"));
        for (const bool listed : {false, true}) {
            f.refresh.refresh();
            QCOMPARE(f.fallback.isPending(Language::English, QStringLiteral("base2")), true);
            f.refresh.cancel();
            QCOMPARE(f.fallback.state(Language::English, QStringLiteral("base2")), PriceIndex::NotIndexed);
            QCOMPARE(f.index.setState(Language::English, QStringLiteral("base2")), PriceIndex::NotIndexed);
            if (listed) // nothing left to send or to wait for
                QCOMPARE(f.index.client()->pendingCount(), 0);
            else
                QVERIFY(QTest::qWaitFor([&f] { return f.index.client()->pendingCount() == 0; }, 30000));
        }
        QVERIFY(!settled.isEmpty());
        for (const QList<QVariant> &set : std::as_const(settled))
            QCOMPARE(set.at(1).toString(), QStringLiteral("base3"));
    }

    // A set without a record of its own is never matched: its bare id is
    // no name to match by. Cards priced before their set settled are priced
    // again only while their run goes on.
    void fallbackOnlyThroughRealRecordsAndForTheRun()
    {
        Fixture f;
        f.add({"base2-1", "zz1-1"});
        f.fallback.lookUp(Language::English, QStringLiteral("base2"));
        QCOMPARE(f.index.setState(Language::English, QStringLiteral("base2")), PriceIndex::NotIndexed);

        QSignalSpy progress(&f.refresh, &PriceRefresh::progressChanged);
        f.refresh.refresh();
        QCOMPARE(f.client.sent.size(), 2); // no record: nothing to wait for
        QVERIFY(f.settle(jungle()));
        f.client.answer(QStringLiteral("base2-1"));
        QVERIFY(f.value(0) > 0.0); // the record settled its set first
        f.client.answer(QStringLiteral("zz1-1"), 1.0);
        QVERIFY2(f.lastStatus().startsWith(QStringLiteral("Priced 2 card")), qPrintable(f.lastStatus()));

        // The sets looked up fill the bar by themselves before any card is
        // asked for.
        f.collection.clear();
        f.add({"base2-1", "base3-1"});
        f.collection.mergeSetInfo(jungle());
        f.collection.mergeSetInfo(setRecord(QStringLiteral("base3"), QStringLiteral("Fossil"), QString(), 3, 62, 62,
                                            Language::English, QDate(1999, 10, 10)));
        progress.clear();
        f.client.sent.clear();
        f.refresh.refresh(); // Jungle settled already: it answers at once
        QVERIFY(QTest::qWaitFor([&f] { return !f.client.sent.isEmpty(); }, 30000));
        const QVariant sets = QVariant::fromValue(PriceRefresh::Stage::FallbackSets);
        QCOMPARE(progress.mid(1),
                 QList<QList<QVariant>>(
                     {{sets, 0, 2}, {sets, 1, 2}, {QVariant::fromValue(PriceRefresh::Stage::Cards), 0, 2}}));

        // A card priced while its set was being looked up is kept for the
        // run alone: once the run ends, the set's data changes nothing.
        f.refresh.cancel();
        f.collection.clear();
        f.add({"base1-2"});
        f.refresh.refresh();
        f.collection.mergeSetInfo(baseSet());
        f.fallback.lookUp(Language::English, QStringLiteral("base1"));
        f.client.answer(QStringLiteral("base1-2"));
        QVERIFY(!f.refresh.isRunning());
        QSignalSpy settled(&f.index, &PriceIndex::setIndexed);
        QVERIFY(settled.wait(30000));
        QCOMPARE(f.value(0), 0.0);
    }

    // A refresh asks for each card once, in the order of its first holding,
    // and looks up every set held: one named only by a card's later holding,
    // and cards whose languages the collection keys as one, included.
    void everyCardAndSetHeldIsRefreshed()
    {
        CardEntry elsewhere = holo(QStringLiteral("base2-1"));
        elsewhere.setId = QStringLiteral("base1");
        for (const bool otherLanguage : {false, true}) {
            Fixture f;
            QList<CardEntry> held{holdingOf(QStringLiteral("zz1-1")), holdingOf(QStringLiteral("base2-1")), elsewhere};
            QList<PriceRefresh::CardKey> queued{{Language::English, QStringLiteral("zz1-1")},
                                                {Language::English, QStringLiteral("base2-1")}};
            if (otherLanguage) {
                held.append(holdingOf(QStringLiteral("zz1-1"), 1, 0.0, Language(9)));
                queued.append({Language(9), QStringLiteral("zz1-1")});
            }
            f.collection.replaceContents(held, {}, {}, {}, std::nullopt);
            f.collection.mergeSetInfo(jungle());
            f.collection.mergeSetInfo(baseSet());
            f.refresh.refresh();
            QCOMPARE(f.refresh.queue(), queued);
            QCOMPARE(f.refresh.pendingFallbackSets().size(), 2);
        }
    }

    // A card that kept its values while its set was being looked up is
    // priced again by its own run alone: the next document's same card is
    // never priced from an answer of the run before.
    void keptCardsGoWithTheirRun()
    {
        WebStandIn::shared()->addFault(QStringLiteral("^/tcgplayer/3/635/products$"), WebStandIn::Fault::delay(1500));
        Fixture f;
        f.add({"base2-1", "zz1-1"});
        f.refresh.refresh(); // no record of Jungle yet: both asked at once
        f.collection.mergeSetInfo(jungle());
        QVERIFY(f.fallback.lookUp(Language::English, QStringLiteral("base2")));
        f.client.answer(QStringLiteral("base2-1")); // no price of its own: waits for its set
        QVERIFY(f.refresh.isRunning());

        f.collection.replaceContents({holdingOf(QStringLiteral("base2-1"))},
                                     {{setKey(Language::English, QStringLiteral("base2")), jungle()}}, {}, {},
                                     std::nullopt);
        f.refresh.refresh();
        QCOMPARE(f.index.setState(Language::English, QStringLiteral("base2")), PriceIndex::Pending);
        QSignalSpy settled(&f.index, &PriceIndex::setIndexed);
        QVERIFY(settled.wait(30000));
        QCOMPARE(f.value(0), 0.0);
    }

    // TCGCSV refused, Cardmarket chosen: a card answered with its Cardmarket
    // figures and without its TCGplayer block reads nothing of TCGCSV and is
    // priced; a card without prices of its own would read TCGCSV's and keeps
    // its value. One with no value stored kept nothing, and is not counted
    // as kept.
    void aValueIsKeptOnlyWhereItReadsWhatFailed()
    {
        WebStandIn *web = WebStandIn::shared();
        web->addServiceFault(QStringLiteral("tcgcsv"), WebStandIn::Fault::refuse(), -1);
        web->addFault(QStringLiteral("/cards/base1-(4|15)$"), WebStandIn::Fault::noPricing(), -1);
        web->addFault(QStringLiteral("/cards/base1-"), WebStandIn::Fault::noTcgplayer(), -1);
        WebFixture f;
        f.collection.mergeSetInfo(baseSet());
        f.collection.addEntry(holdingOf(QStringLiteral("base1-2"), 1, 999.99));
        f.collection.addEntry(holdingOf(QStringLiteral("base1-4"), 1, 999.99));
        f.collection.addEntry(holdingOf(QStringLiteral("base1-15"), 1, 0.0));
        QCOMPARE(f.refreshed(),
                 QStringLiteral(
                     "Priced 1 of 3 cards; 1 came back without a price, 1 kept their stored prices. Recorded this "
                     "week's total. TCGCSV could not be reached for 1 set(s); cards priced from TCGCSV kept their "
                     "stored prices."));
        QCOMPARE(f.value(0), blastoise);
        QCOMPARE(f.value(1), 999.99);
    }

    void eachFigureKeepsWhatOnlyAFailedSourceCouldTell_data()
    {
        QTest::addColumn<WebStandIn::Fault>("tcgcsv");
        QTest::addColumn<QString>("failing"); // the requests that fail; empty: all of TCGCSV's
        QTest::addColumn<bool>("withoutTcgplayer");
        QTest::addColumn<QString>("said");
        const QString shadowlessGroup = QStringLiteral("^/tcgplayer/3/1663/");
        QTest::newRow("refused") << WebStandIn::Fault::refuse() << QString() << false
                                 << "could not be reached for 2 set(s)";
        QTest::newRow("error") << WebStandIn::Fault::httpStatus(500) << QString() << false
                               << "answered with an error for 2 set(s)";
        QTest::newRow("refused, no TCGplayer block")
            << WebStandIn::Fault::refuse() << QString() << true << "could not be reached for 2 set(s)";
        QTest::newRow("shadowless group refused")
            << WebStandIn::Fault::refuse() << shadowlessGroup << false << "could not be reached for 1 set(s)";
        QTest::newRow("shadowless group error")
            << WebStandIn::Fault::httpStatus(500) << shadowlessGroup << false << "answered with an error for 1 set(s)";
    }

    // With TCGCSV failing, each figure of a holding is replaced only where
    // its own sources answered: a Cardmarket value beside a dollar figure
    // that TCGCSV gave keeps that figure; a first edition valued by TCGCSV
    // keeps both, also when only the group that prices its edition fails.
    // Once TCGCSV answers, the next refresh replaces them. The log names the
    // card kept.
    void eachFigureKeepsWhatOnlyAFailedSourceCouldTell()
    {
        QFETCH(WebStandIn::Fault, tcgcsv);
        QFETCH(QString, failing);
        QFETCH(bool, withoutTcgplayer);
        QFETCH(QString, said);
        WebStandIn *web = WebStandIn::shared();
        const int fault = failing.isEmpty() ? web->addServiceFault(QStringLiteral("tcgcsv"), tcgcsv, -1)
                                            : web->addFault(failing, tcgcsv, -1);
        if (withoutTcgplayer)
            web->addFault(QStringLiteral("/cards/"), WebStandIn::Fault::noTcgplayer(), -1);
        WebFixture f;
        f.collection.mergeSetInfo(paldeaEvolved());
        f.collection.mergeSetInfo(baseSet());
        f.collection.addEntry(storedAt(QStringLiteral("sv02-243"), QStringLiteral("Ting-Lu ex"), 9.99, 31.80));
        f.collection.addEntry(storedAt(QStringLiteral("base1-2"), QStringLiteral("Blastoise"), 999.99, 888.88));
        f.collection.addEntry(storedAt(QStringLiteral("base1-4"), QStringLiteral("Charizard"), 3000.0, 3100.0,
                                       QStringLiteral("firstEdition")));
        const auto figures = [&f](int row) {
            const CardEntry &entry = f.collection.entries().at(row);
            return std::make_pair(entry.unitValueEur, entry.unitValueUsd);
        };
        const QDateTime charizardDated = f.collection.entries().at(2).priceUpdated;
        const int logged = logSize();

        QCOMPARE(f.refreshed(),
                 QStringLiteral(
                     "Priced 2 of 3 cards; 1 kept their stored prices. Recorded this week's total. TCGCSV %1; cards "
                     "priced from TCGCSV kept their stored prices.")
                     .arg(said));
        QCOMPARE(figures(0).first, tingLu);
        QCOMPARE(figures(0).second == 31.80, failing.isEmpty()); // its set's TCGCSV figure, when that came
        QCOMPARE(figures(1), std::make_pair(blastoise, withoutTcgplayer ? 888.88 : blastoiseDollars));
        QCOMPARE(figures(2), std::make_pair(3000.0, 3100.0));
        QCOMPARE(f.collection.entries().at(2).priceUpdated, charizardDated); // its value's date stays too
        QVERIFY(f.collection.entries().at(0).priceUpdated.isValid());
        const QStringList kept = logMessages(QStringLiteral("prices"), -1, logged).filter(QStringLiteral("kept its"));
        QCOMPARE(kept,
                 QStringList(QStringLiteral("Charizard (Base Set, 1st Edition Holo) kept its stored price: "
                                            "TCGCSV's prices for its set could not be fetched.")));

        // TCGCSV answers: every figure it gives is replaced.
        web->removeFault(fault);
        QCOMPARE(f.refreshed(), QStringLiteral("Priced 3 card(s). Recorded this week's total."));
        QVERIFY(figures(0).first == tingLu && figures(0).second > 0.0 && figures(0).second != 31.80);
        QVERIFY(figures(1).second > 0.0 && figures(1).second != 888.88);
        QCOMPARE(figures(2), std::make_pair(3657.59 * 0.86, 3657.59)); // TCGCSV's first-edition figure
    }

    // A run names, in the log, each card that kept its stored prices by the
    // holding's name, its set's name and the printings held, a line each,
    // up to a bound; a card priced is not named, nor a card of another run.
    void keptCardsAreNamedInTheLog()
    {
        WebStandIn::shared()->addServiceFault(QStringLiteral("tcgcsv"), WebStandIn::Fault::refuse(), -1);
        Fixture f;
        f.collection.mergeSetInfo(jungle());
        const int cards = 203;
        for (int i = 1; i <= cards; ++i) {
            CardEntry entry = holdingOf(QStringLiteral("base2-%1").arg(i), 1, i == 3 ? 0.0 : 1.5);
            entry.variant = QStringLiteral("normal");
            f.collection.addEntry(entry);
        }
        CardEntry reverse = holdingOf(QStringLiteral("base2-2"));
        reverse.variant = QStringLiteral("reverse");
        f.collection.addEntry(reverse);
        const QRegularExpression keptLine(QStringLiteral(" kept its stored price: | more card\\(s\\) kept "));
        int logged = logSize();
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client.answer(QStringLiteral("base2-1"), 2.0);
        for (int answered = 1; answered < f.client.sent.size();)
            f.client.fail(f.client.sent.at(answered++).cardId, QStringLiteral("Connection refused"));
        QVERIFY(!f.refresh.isRunning());
        QStringList named = logMessages(QStringLiteral("prices"), -1, logged).filter(keptLine);
        QCOMPARE(named.size(), 201);
        QCOMPARE(named.first(),
                 QStringLiteral("Card base2-2 (Jungle, Normal / Reverse Holo) kept its stored price: "
                                "the card database could not be reached (Connection refused)."));
        // base2-3 had no price to keep, and is not named.
        QCOMPARE(named.at(199).left(22), QStringLiteral("Card base2-202 (Jungle"));
        QCOMPARE(named.at(200), QStringLiteral("1 more card(s) kept their stored prices."));
        QCOMPARE(f.refresh.outcomeNote().keptCards, cards - 2);

        // The next run names only what it kept.
        logged = logSize();
        QVERIFY(f.refreshUntilCardsAreAsked());
        for (int answered = 0; answered < f.client.sent.size(); ++answered)
            f.client.answer(f.client.sent.at(answered).cardId, answered == 1 ? 0.0 : 1.0);
        QVERIFY(!f.refresh.isRunning());
        named = logMessages(QStringLiteral("prices"), -1, logged).filter(keptLine);
        QCOMPARE(named,
                 QStringList(QStringLiteral("Card base2-2 (Jungle, Normal / Reverse Holo) kept its stored "
                                            "price: TCGCSV's prices for its set could not be fetched.")));
    }

    // A file spelling its ids otherwise than the card database gets them
    // priced all the same. An answer for another card prices nothing,
    // neither the card asked nor the one it is for, and is named for what
    // came.
    void answersPriceTheCardAskedOnly()
    {
        WebStandIn::shared()->addFault(
            QStringLiteral("^/v2/en/cards/Base1-4$"),
            WebStandIn::Fault::custom(200, "application/json",
                                      R"({"id":"base1-2","name":"Blastoise","set":{"id":"base1"},)"
                                      R"("pricing":{"cardmarket":{"avg":99.0,"trend":99.0,"avg30":99.0}}})"));
        WebFixture f;
        f.collection.addEntry(storedAt(QStringLiteral("Base1-4"), QStringLiteral("Charizard"), 999.99, 888.88));
        f.add({QStringLiteral("base1-2")});
        f.collection.addEntry(holdingOf(QStringLiteral("sv2a-185"), 1, 999.99, Language::Japanese));
        QCOMPARE(f.refreshed(),
                 QStringLiteral(
                     "Priced 2 of 3 cards; the card database answered 1 with data of the wrong shape. Recorded this "
                     "week's total."));
        QCOMPARE(f.value(0), 999.99);
        QCOMPARE(f.collection.entries().at(0).unitValueUsd, 888.88);
        QCOMPARE(f.value(1), blastoise);
        QCOMPARE(f.value(2), (1.31 + 1.16 + 1.44) / 3); // the database spells it SV2a-185
    }

    void undoKeepsWhatARefreshGave_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("edit") << 0;
        QTest::newRow("edit folding another holding in") << 1;
        QTest::newRow("add merging a line") << 2;
        QTest::newRow("add merging a priced line") << 3;
    }

    // Undone or done again after a refresh, a command gives back what it
    // changed (here the count, 1 to 2) and the holding keeps the figures and
    // date the refresh gave it. A holding it took out comes back with what
    // the refresh gave its printing.
    void undoKeepsWhatARefreshGave()
    {
        QFETCH(int, command);
        WebFixture f;
        const CardEntry held = storedAt(QStringLiteral("base1-2"), QStringLiteral("Blastoise"), 999.99, 888.88);
        CardEntry other = held;
        other.condition = Condition::Excellent;
        f.collection.addEntry(held);
        if (command == 1)
            f.collection.addEntry(other);
        CardEntry line = command == 1 ? other : held;
        line.condition = held.condition;
        line.count = command == 0 ? 2 : 1;
        line.unitValueEur = command == 3 ? 5.0 : 0.0;
        QUndoStack stack;
        if (command >= 2)
            stack.push(new AddCardsCommand(&f.collection, {line}, {}));
        else
            stack.push(new EditEntryCommand(&f.collection, command, line));
        const auto stayed = [&f, &held] {
            return f.collection.entries().at(f.collection.indexOfEntry(entryKey(held)));
        };
        QVERIFY(f.refreshed().startsWith(QStringLiteral("Priced 1 card")));
        const CardEntry priced = stayed();
        QCOMPARE(priced.unitValueEur, blastoise);
        for (const int count : {1, 2, 1}) {
            count == 1 ? stack.undo() : stack.redo();
            const CardEntry now = stayed();
            QCOMPARE(now.count, count);
            QVERIFY(now.unitValueEur == priced.unitValueEur && now.unitValueUsd == priced.unitValueUsd
                    && now.priceUpdated == priced.priceUpdated);
        }
        if (command == 1)
            QCOMPARE(f.collection.entries().at(f.collection.indexOfEntry(entryKey(other))).unitValueEur, blastoise);
    }

    // A lightly played Charizard folded into its played twin, stored at a
    // thousand over the market: undone after a refresh, it comes back with
    // the refreshed figures and date its twin has, not its old ones.
    void undoneMergeTakesTheRefreshedFigures()
    {
        WebFixture f;
        f.collection.mergeSetInfo(baseSet());
        CardEntry lightlyPlayed = storedAt(QStringLiteral("base1-4"), QStringLiteral("Charizard"), 1322.55, 1347.01);
        lightlyPlayed.condition = Condition::LightPlayed;
        lightlyPlayed.priceUpdated = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC);
        CardEntry played = lightlyPlayed;
        played.condition = Condition::Played;
        played.count = 2;
        f.collection.addEntry(lightlyPlayed);
        f.collection.addEntry(played);
        CardEntry edited = lightlyPlayed;
        edited.condition = Condition::Played;
        QUndoStack stack;
        stack.push(new EditEntryCommand(&f.collection, 0, edited));
        QCOMPARE(f.collection.entries().size(), 1);
        QVERIFY(f.refreshed().startsWith(QStringLiteral("Priced 1 card")));
        const CardEntry twin = f.collection.entries().at(0);
        QVERIFY(twin.unitValueEur < 1000.0 && twin.priceUpdated > lightlyPlayed.priceUpdated);
        stack.undo();
        const CardEntry back = f.collection.entries().at(f.collection.indexOfEntry(entryKey(lightlyPlayed)));
        QCOMPARE(std::make_tuple(back.count, back.unitValueEur, back.unitValueUsd, back.priceUpdated),
                 std::make_tuple(1, twin.unitValueEur, twin.unitValueUsd, twin.priceUpdated));
        QCOMPARE(f.collection.entries().at(f.collection.indexOfEntry(entryKey(played))).count, 2);
    }

    void setsSpeltOtherwiseArePriced_data()
    {
        QTest::addColumn<QStringList>("spellings"); // the holdings', the record's, the card database's
        QTest::newRow("Base1") << QStringList{"Base1", "Base1", "base1"};
        QTest::newRow("sv2a") << QStringList{"sv2a", "sv2a", "SV2a"};
        QTest::newRow("sv2a, record SV2A") << QStringList{"sv2a", "SV2A", "SV2a"};
    }

    // A file spelling a set otherwise than the card database, or than its
    // own record, is priced as if spelt as the database does: the set's
    // fallback prices are waited for and used, no figure falls to 0.
    void setsSpeltOtherwiseArePriced()
    {
        QFETCH(QStringList, spellings);
        const bool japanese = spellings.last() == QLatin1String("SV2a");
        const auto refreshed = [japanese](const QString &setId, const QString &recordId) {
            WebFixture f;
            CardEntry held = storedAt(setId + (japanese ? "-185" : "-4"), QString(), 999.99, 1031.80,
                                      japanese ? QString() : QStringLiteral("firstEdition"));
            held.lang = japanese ? Language::Japanese : Language::English;
            f.open(held,
                   setRecord(recordId, japanese ? QStringLiteral("Pokemon Card 151") : QStringLiteral("Base Set"),
                             QString(), 1, 0, 0, held.lang));
            const QString summary = f.refreshed();
            const CardEntry &priced = f.collection.entries().at(0);
            return QStringList{summary, QString::number(priced.unitValueEur, 'g', 17),
                               QString::number(priced.unitValueUsd, 'g', 17)};
        };
        const QStringList asSpelt = refreshed(spellings.at(0), spellings.at(1));
        QCOMPARE(asSpelt, refreshed(spellings.at(2), spellings.at(2)));
        QVERIFY2(asSpelt.at(0).startsWith(QStringLiteral("Priced 1 card(s).")) && asSpelt.at(2) != "1031.8",
                 qPrintable(asSpelt.join(" / ")));
    }

    void brokenFiguresKeepWhatTheyRead_data()
    {
        // Charizard's answer as the stand-in gives it, with other Cardmarket figures.
        const auto charizard = [](const char *cardmarket, const char *holofoil = R"("marketPrice":351.82)") {
            return QByteArray(R"({"id":"base1-4","localId":"4","name":"Charizard","set":{"id":"base1"},)"
                              R"("pricing":{"cardmarket":{)")
                + cardmarket + R"(},"tcgplayer":{"unit":"USD","holofoil":{)" + holofoil + "}}}}";
        };
        const QString card = QStringLiteral("^/v2/en/cards/base1-4$");
        const QString firstEditionRows = QStringLiteral("^/tcgplayer/3/1663/prices$");
        const auto rows = [](double second) {
            return envelopeBody({priceRow(106999, QStringLiteral("1st Edition Holofoil"), 3657.59),
                                 priceRow(106999, QStringLiteral("Unlimited Holofoil"), 1001.53),
                                 priceRow(106999, QStringLiteral("1st Edition Holofoil"), second)});
        };
        const QString wrongShape =
            QStringLiteral("Priced 1 of 2 cards; the card database answered 1 with data of the wrong shape. Recorded "
                           "this week's total.");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<bool>("unlimitedKept");
        QTest::addColumn<bool>("firstEditionKept");
        QTest::newRow("trend 1e308") << card << charizard(R"("unit":"EUR","trend":1e308,"avg":287.5,"avg30":365.12)")
                                     << wrongShape << true << true;
        QTest::newRow("1e308 thrice") << card << charizard(R"("trend":1e308,"avg":1e308,"avg30":1e308)") << wrongShape
                                      << true << true;
        QTest::newRow("2e7") << card << charizard(R"("unit":"EUR","trend":2e7)") << wrongShape << true << true;
        QTest::newRow("figures in text")
            << card
            << charizard(R"("updated":"2026-08-21","unit":"EUR","trend":"315.02","avg":"287.5")",
                         R"("marketPrice":"351.82","lowPrice":null)")
            << wrongShape << true << true;
        QTest::newRow("every figure below 0")
            << card << charizard(R"("trend":-315.02,"avg":-287.5,"avg30":-365.12)", R"("marketPrice":-351.82)")
            << wrongShape << true << true;
        QTest::newRow("yen") << card << charizard(R"("unit":"JPY","trend":52000,"avg":48000,"avg30":61000)")
                             << wrongShape << true << true;
        QTest::newRow("two rows that disagree")
            << firstEditionRows << rows(9999.0)
            << QStringLiteral("Priced 1 of 2 cards; 1 kept their stored prices. Recorded this week's total.") << false
            << true;
        QTest::newRow("a row below 0")
            << firstEditionRows << rows(-3657.59)
            << QStringLiteral("Priced 1 of 2 cards; 1 kept their stored prices. Recorded this week's total.") << false
            << true;
        QTest::newRow("two rows alike") << firstEditionRows << rows(3657.59)
                                        << QStringLiteral("Priced 2 card(s). Recorded this week's total.") << false
                                        << false;
    }

    // A Cardmarket figure no card sells for, below 0, in another currency,
    // or in text, is an answer of the wrong shape: the card keeps both stored
    // figures of each holding and their date. A printing TCGCSV lists at two
    // figures, or at one below 0, keeps its own, and
    // the file saved afterwards reads back as it was.
    void brokenFiguresKeepWhatTheyRead()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, summary);
        QFETCH(bool, unlimitedKept);
        QFETCH(bool, firstEditionKept);
        WebStandIn::shared()->addFault(path, WebStandIn::Fault::custom(200, "application/json", body), -1);
        WebFixture f;
        f.collection.mergeSetInfo(baseSet());
        f.collection.addEntry(storedAt(QStringLiteral("base1-4"), QStringLiteral("Charizard"), 1315.02, 1351.82));
        f.collection.addEntry(storedAt(QStringLiteral("base1-4"), QStringLiteral("Charizard"), 4369.19, 4657.59,
                                       QStringLiteral("firstEdition")));
        f.add({QStringLiteral("base1-2")});
        QCOMPARE(f.refreshed(), summary);
        const auto figures = [](const CardEntry &entry) {
            return std::make_pair(entry.unitValueEur, entry.unitValueUsd);
        };
        const QList<CardEntry> &entries = f.collection.entries();
        QCOMPARE(figures(entries.at(0)),
                 unlimitedKept ? std::make_pair(1315.02, 1351.82)
                               : std::make_pair((315.02 + 287.5 + 365.12) / 3, (351.82 + 492.14 + 197.06) / 3));
        QCOMPARE(figures(entries.at(1)),
                 firstEditionKept ? std::make_pair(4369.19, 4657.59) : std::make_pair(3657.59 * 0.86, 3657.59));
        QCOMPARE(entries.at(0).priceUpdated.isNull(), unlimitedKept);
        QCOMPARE(entries.at(1).priceUpdated.isNull(), firstEditionKept);
        QCOMPARE(f.value(2), blastoise);
        // A refused answer is told as refused, with why, not as one never fetched.
        if (firstEditionKept && unlimitedKept)
            QVERIFY(
                f.refresh.keptReasonOf(entries.at(1))
                    .startsWith(QStringLiteral("the card database's answer was refused as data of the wrong shape (")));

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("kept.tmk"));
        QVERIFY(CollectionSerializer::write(file, f.collection));
        const CollectionSerializer::ReadResult read = CollectionSerializer::read(file);
        QVERIFY2(read.ok && read.warnings.isEmpty(), qPrintable(read.warnings.join(QLatin1Char('\n'))));
        QCOMPARE(read.entries, entries);
        QCOMPARE(read.history.size(), 1);
        QCOMPARE(read.history.at(0).totalEur, f.collection.totalValueEur());
    }

    void emptyAnswersFailTheirSet_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("no groups") << QStringLiteral("/tcgplayer/3/groups");
        QTest::newRow("no products") << QStringLiteral("/tcgplayer/3/635/products");
        QTest::newRow("no prices") << QStringLiteral("/tcgplayer/3/635/prices");
    }

    // TCGCSV answering with an empty list has failed for the set: its cards
    // keep their stored values and the summary says it answered nothing. The next refresh
    // asks again, and so does a refresh a day after the data came.
    void emptyAnswersFailTheirSet()
    {
        QFETCH(QString, path);
        WebStandIn *web = WebStandIn::shared();
        serveJson(web, path, envelopeBody({}));
        Fixture f;
        f.open(holo(QStringLiteral("base2-1"), 30.0), jungle());
        QVERIFY(f.refreshUntilCardsAreAsked());
        QCOMPARE(f.fallback.state(Language::English, QStringLiteral("base2")), PriceIndex::Failed);
        f.client.answer(QStringLiteral("base2-1")); // no price of its own
        QCOMPARE(f.value(0), 30.0);
        QVERIFY2(f.lastStatus().contains(QStringLiteral("TCGCSV answered with no prices for 1 set")),
                 qPrintable(f.lastStatus()));

        const QString asked = QLatin1Char('^') + QRegularExpression::escape(path) + QLatin1Char('$');
        QVERIFY(f.refreshUntilCardsAreAsked());
        QCOMPARE(web->requestCount(asked), 2);
        f.client.answer(QStringLiteral("base2-1"));
        QCOMPARE(f.collection.entries().at(0).unitValueUsd, 6.2); // TCGCSV's unlimited holo
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client.answer(QStringLiteral("base2-1"));
        QCOMPARE(web->requestCount(asked), 2);

        {
            ManualTime time;
            SteadyClock::advance(PriceIndex::DataLifetimeMs + 1);
        }
        QVERIFY(f.refreshUntilCardsAreAsked());
        QCOMPARE(web->requestCount(asked), 3);
    }

    // What a document chose goes with it: a set of the next document is
    // matched through that document's own record, and answers nothing for
    // it until it has been.
    void anotherDocumentMatchesThroughItsOwnRecord()
    {
        WebStandIn *web = WebStandIn::shared();
        Fixture f;
        const auto groupOf = [&f] {
            return f.fallback.cardPrices(Language::English, QStringLiteral("swsh1"), QStringLiteral("1"))
                .value(QStringLiteral("groupId"))
                .toInt();
        };
        f.open(holo(QStringLiteral("swsh1-1")), swordAndShield(QStringLiteral("Astral Radiance")));
        QVERIFY(f.refreshUntilCardsAreAsked());
        QCOMPARE(groupOf(), 3040);

        f.open(holo(QStringLiteral("swsh1-1")), swordAndShield(QStringLiteral("Sword & Shield")));
        QCOMPARE(f.fallback.state(Language::English, QStringLiteral("swsh1")), PriceIndex::NotIndexed);
        QCOMPARE(groupOf(), 0);
        QVERIFY(f.refreshUntilCardsAreAsked());
        QCOMPARE(web->requestCount(QStringLiteral("^/tcgplayer/3/2585/products$")), 1);
        QCOMPARE(groupOf(), 2585);
        f.client.answer(QStringLiteral("swsh1-1"));
        QCOMPARE(f.collection.entries().at(0).unitValueUsd, 1.48); // Celebi V, not Beedrill V
    }

    // Records an earlier version saved carry the set id as their name: that
    // is no name to match by, and neither is none. Such a set is not looked
    // up, and TCGCSV is asked nothing for it.
    void recordsNamedAfterTheirIdAreNotMatched()
    {
        WebStandIn *web = WebStandIn::shared();
        Fixture f;
        SetRecord idNamed = swordAndShield(QStringLiteral("swsh1"));
        f.open(holo(QStringLiteral("swsh1-1"), 4.0), idNamed);
        SetRecord nameless = setRecord(QStringLiteral("P-A"), QString(), QString(), 2);
        f.collection.mergeSetInfo(nameless);
        f.collection.addEntry(holding(QStringLiteral("P-A"), QStringLiteral("1"), QStringLiteral("Pikachu")));
        QVERIFY(!f.fallback.lookUp(Language::English, QStringLiteral("swsh1")));
        QVERIFY(!f.fallback.lookUp(Language::English, QStringLiteral("P-A")));
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client.answer(QStringLiteral("swsh1-1"), 2.0);
        f.client.answer(QStringLiteral("P-A-1"), 1.0);
        QCOMPARE(f.value(0), 2.0);
        QCOMPARE(web->requestCount(QStringLiteral("^/tcgplayer/")), 0);
        QCOMPARE(f.collection.sets().value(setKey(Language::English, QStringLiteral("swsh1"))).serie, idNamed.serie);
    }
};

PV_REGISTER_TEST(PriceRefreshTest)
#include "PriceRefreshTest.moc"
