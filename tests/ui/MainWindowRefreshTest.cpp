#include "DialogTestSupport.h"
#include "PriceRunSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/FallbackPrices.h"
#include "collection/PriceRefresh.h"
#include "collection/EntryKeys.h"
#include "collection/RemoveEntryCommand.h"
#include "core/Currency.h"
#include "core/FxRates.h"
#include "core/SteadyClock.h"
#include "core/Log.h"
#include "prices/PriceIndex.h"
#include "prices/PricesTestSupport.h"
#include "prices/TcgcsvClient.h"
#include "standin/WebStandIn.h"
#include "ui/dialogs/LogDialog.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"

#include <QAction>
#include <QCloseEvent>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextDocument>
#include <QTranslator>
#include <QUndoStack>
#include <QTreeView>

using namespace pv;
using pv::test::logMessages;
using pv::test::logSize;
using pv::test::RecordingClient;
using pv::test::WebStandIn;

Q_DECLARE_METATYPE(WebStandIn::Fault)

// The price refresh with a client that only records card requests: the
// queue, the six-request limit, the fallback phase, counts, summaries and
// cancelling.
class MainWindowRefreshTest : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        RecordingClient *client = new RecordingClient;
        MainWindow window{nullptr, client};
        QProgressBar *progress() { return window.statusBar()->findChild<QProgressBar *>(); }
        QPushButton *cancel() { return window.statusBar()->findChild<QPushButton *>(); }
        QAction *refresh() { return window.findChild<QAction *>(QStringLiteral("actionRefreshPrices")); }
        // What the status bar says, whole where it shows only the leading
        // sentences.
        QString status()
        {
            const QString whole = window.statusBar()->toolTip();
            return whole.isEmpty() ? window.statusBar()->currentMessage() : whole;
        }
        // The permanent label with the prices' date.
        QLabel *prices()
        {
            const QList<QLabel *> labels = window.statusBar()->findChildren<QLabel *>();
            for (QLabel *label : labels) {
                if (label->text().startsWith(QLatin1String("Prices ")))
                    return label;
            }
            return nullptr;
        }
        // What it reads, without the link it draws.
        QString pricesLine()
        {
            QTextDocument shown;
            shown.setHtml(prices()->text());
            return shown.toPlainText();
        }
        QString pricedOn()
        {
            return window.collection()->lastPriceUpdate().toLocalTime().toString(QStringLiteral("d MMM yyyy HH:mm"));
        }
        const CardEntry &held(int row) { return window.collection()->entries().at(row); }
        // Jungle with Clefable, first edition, priced by TCGCSV alone, and Electrode.
        void holdJungle()
        {
            window.collection()->mergeSetInfo(jungle(16));
            CardEntry clefable = test::holding(QStringLiteral("base2"), QStringLiteral("1"), QString(), 30.0);
            clefable.edition = QStringLiteral("firstEdition");
            clefable.unitValueUsd = 32.0;
            window.collection()->addEntry(clefable);
            window.collection()->addEntry(test::holding(QStringLiteral("base2"), QStringLiteral("2"), QString(), 1.0));
        }
        static SetRecord jungle(int releasedOnDay)
        {
            return test::setRecord(QStringLiteral("base2"), QStringLiteral("Jungle"), QString(), 2, 64, 64,
                                   Language::English, QDate(1999, 6, releasedOnDay));
        }
        bool refreshUntilCardsAreAsked()
        {
            client->sent.clear();
            refresh()->trigger();
            return QTest::qWaitFor([this] { return !client->sent.isEmpty(); }, 30000);
        }
    };

    // The English plural forms, as the program loads them.
    QTranslator m_plurals;

private Q_SLOTS:
    void initTestCase()
    {
        test::WebStandIn::shared();
        QVERIFY(m_plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")));
        QCoreApplication::installTranslator(&m_plurals);
    }

    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_plurals); }

    void init()
    {
        test::freshStandIn();
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
        FxRates::store({{QStringLiteral("EUR"), 0.86}}, SteadyClock::today()); // no run waits for rates
    }

    void queueIsDistinctAndAtMostSixCardsAreAskedAtOnce()
    {
        Fixture f;
        Collection *collection = f.window.collection();

        // Nothing to do in an empty collection: the command waits for a card.
        QVERIFY(!f.refresh()->isEnabled());
        f.window.refreshPrices();
        QCOMPARE(f.status(), QStringLiteral("Nothing to refresh - the collection is empty."));
        QVERIFY(!f.window.isPriceRefreshRunning());

        // One card in three conditions, the same id in Japanese, and eight more: ten distinct cards.
        for (const Condition condition : {Condition::Mint, Condition::NearMint, Condition::Played}) {
            CardEntry entry = test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("One"));
            entry.condition = condition;
            collection->addEntry(entry);
        }
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("Ichi"), 0.0,
                                           Language::Japanese));
        for (int i = 2; i <= 9; ++i)
            collection->addEntry(test::holding(QStringLiteral("zz1"), QString::number(i), QStringLiteral("Card")));
        QCOMPARE(collection->entries().size(), 12);
        QVERIFY(f.refresh()->isEnabled());
        const int historyBefore = int(collection->history().size());

        const int logStart = logSize();
        f.refresh()->trigger();
        f.refresh()->trigger(); // a second click while running starts nothing
        QVERIFY(f.window.isPriceRefreshRunning());
        QVERIFY(!f.refresh()->isEnabled());
        QVERIFY(!f.progress()->isHidden());
        QVERIFY(!f.cancel()->isHidden());
        QCOMPARE(f.progress()->maximum(), 10);
        QCOMPARE(logMessages(QStringLiteral("prices"), -1, logStart)
                     .count(QStringLiteral("Price refresh started: 10 distinct cards.")),
                 1);
        // No set record: no fallback phase, six requests at once.
        QCOMPARE(f.client->sent.size(), 6);
        QCOMPARE(f.client->sent.at(0).cardId, QStringLiteral("zz1-1"));
        QCOMPARE(f.client->sent.at(1).language, Language::Japanese);
        // Prices are asked for fresh, past the HTTP disk cache.
        QCOMPARE(f.client->sent.at(0).cacheUse, TcgdexClient::CacheUse::BypassDiskCache);

        // Facts of any card are applied; prices only for a card the run asked for.
        f.client->answer(QStringLiteral("zz1-8"), 9.0, QStringLiteral("Rare"), Language::English, 9999);
        QCOMPARE(collection->entries().at(10).rarity, QStringLiteral("Rare"));
        QCOMPARE(collection->entries().at(10).unitValueEur, 0.0);
        QCOMPARE(f.client->sent.size(), 6);

        // Each answer or failure frees a slot for the next card.
        f.client->answer(QStringLiteral("zz1-1"), 2.5);
        QCOMPARE(f.client->sent.size(), 7);
        QCOMPARE(collection->entries().at(0).unitValueEur, 2.5);
        QCOMPARE(collection->entries().at(2).unitValueEur, 2.5);
        QCOMPARE(collection->entries().at(3).unitValueEur, 0.0); // the Japanese card is asked separately
        f.client->fail(QStringLiteral("zz1-2"), QStringLiteral("Service unavailable (503)"), ReplyFailure::HttpError);
        QCOMPARE(f.client->sent.size(), 8);
        QCOMPARE(f.progress()->value(), 2);
        QCOMPARE(f.status(), QStringLiteral("Could not load card zz1-2: Service unavailable (503)"));

        for (const QString id : {"zz1-3", "zz1-4", "zz1-5", "zz1-6", "zz1-7", "zz1-8"})
            f.client->answer(id, 1.0);
        f.client->fail(QStringLiteral("zz1-9"), QStringLiteral("Operation timed out"));
        QVERIFY(f.window.isPriceRefreshRunning());
        f.client->answer(QStringLiteral("zz1-1"), 4.0, QString(), Language::Japanese);
        QCOMPARE(f.client->sent.size(), 10);
        QVERIFY(!f.window.isPriceRefreshRunning());
        QVERIFY(f.progress()->isHidden());
        QVERIFY(f.cancel()->isHidden());
        QVERIFY(f.refresh()->isEnabled());
        QCOMPARE(collection->history().size(), historyBefore + 1);
        QVERIFY(logMessages(QStringLiteral("prices"), -1, logStart)
                    .contains(QStringLiteral(
                        "Priced 8 of 10 cards; the card database could not be reached for 1 and answered 1 "
                        "with an error. "
                        "Recorded this week's total.")));
        QVERIFY(logMessages(QStringLiteral("network"), -1, logStart)
                    .contains(QStringLiteral("#%1 card zz1-9 failed: Operation timed out")
                                  .arg(f.client->idOf(QStringLiteral("zz1-9")))));

        // A run in which every card fails records no value point.
        collection->clear();
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("20"), QStringLiteral("Lone")));
        const int history = int(collection->history().size());
        const int secondRun = logSize();
        f.refresh()->trigger();
        QCOMPARE(logMessages(QStringLiteral("prices"), -1, secondRun).first(),
                 QStringLiteral("Price refresh started: 1 distinct card."));
        f.client->fail(QStringLiteral("zz1-20"), QStringLiteral("Connection closed"));
        QVERIFY(!f.window.isPriceRefreshRunning());
        // The run's last card failed: the summary, not that failure, stays.
        QCOMPARE(f.status(), QStringLiteral("Priced 0 of 1 cards; the card database could not be reached for 1."));
        QCOMPARE(collection->history().size(), history);
        QVERIFY(logMessages(QStringLiteral("prices"), -1, secondRun)
                    .contains(QStringLiteral("Priced 0 of 1 cards; the card database could not be reached for 1.")));

        // A card answered with something other than a card was reached: the
        // summary says what came instead, told by the failure's kind and not
        // by its (maybe translated) words.
        const QString wrongShape =
            QStringLiteral("Priced 0 of 2 cards; the card database answered 2 with data of the wrong shape.");
        const QString mixed = QStringLiteral("Priced 0 of 2 cards; the card database could not be reached for 1 and "
                                             "answered 1 with data of the wrong shape.");
        const QList<QPair<ReplyFailure, QString>> runs =
            {{ReplyFailure::Unusable, wrongShape},
             {ReplyFailure::NotReached, mixed},
             {ReplyFailure::HttpError,
              QStringLiteral("Priced 0 of 2 cards; the card database answered 1 with an error and answered 1 with data "
                             "of the wrong shape.")}};
        for (int run = 0; run < runs.size(); ++run) {
            const QString first = QString::number(30 + 2 * run), second = QString::number(31 + 2 * run);
            collection->clear();
            collection->addEntry(test::holding(QStringLiteral("zz1"), first, QStringLiteral("Odd")));
            collection->addEntry(test::holding(QStringLiteral("zz1"), second, QStringLiteral("Odd")));
            f.refresh()->trigger();
            f.client->fail(QStringLiteral("zz1-") + first, QStringLiteral("Antwort unbrauchbar"),
                           ReplyFailure::Unusable);
            f.client->fail(QStringLiteral("zz1-") + second, QStringLiteral("Malformed response: illegal value"),
                           runs.at(run).first);
            QCOMPARE(f.status(), runs.at(run).second);
        }
    }

    void fallbackSetsSettleBeforeCardsAndTcgcsvCountsPerRun()
    {
        Fixture f;
        Collection *collection = f.window.collection();
        collection->mergeSetInfo(test::setRecord(QStringLiteral("base1"), QStringLiteral("Base Set"), QString(), 1,
                                                 102, 102, Language::English, QDate(1999, 1, 9)));
        collection->mergeSetInfo(test::setRecord(QStringLiteral("zz9"), QStringLiteral("Nowhere Expansion"),
                                                 QString(), 2, 3, 3));
        collection->addEntry(test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard")));
        collection->addEntry(test::holding(QStringLiteral("base1"), QStringLiteral("1"), QStringLiteral("Alakazam")));
        collection->addEntry(test::holding(QStringLiteral("zz9"), QStringLiteral("1"), QStringLiteral("Nobody")));
        collection->addEntry(test::holding(QStringLiteral("zz9"), QStringLiteral("2"), QStringLiteral("Nobody")));

        QSignalSpy indexed(f.window.fallbackPrices(), &FallbackPrices::settled);
        const int logStart = logSize();
        QStringList bar; // as each set settles
        connect(f.window.fallbackPrices(), &FallbackPrices::settled, &f.window,
                [&bar, &f] { bar.append(f.progress()->text()); });
        f.refresh()->trigger();
        QCOMPARE(f.status(), QStringLiteral("Looking up fallback prices for 2 sets..."));
        QVERIFY(logMessages(QStringLiteral("prices"), -1, logStart)
                    .contains(QStringLiteral("Resolving TCGCSV fallback data for 2 sets.")));
        QVERIFY(f.client->sent.isEmpty());

        // A card added meanwhile joins the queue and the total, but is not asked for yet.
        f.window.queueCardPrices({{Language::English, QStringLiteral("zz9-3")}});
        QVERIFY(f.client->sent.isEmpty());
        // The sets' lookup fills the bar by itself, set by set; the cards then.
        QCOMPARE(f.progress()->text(), QStringLiteral("Sets 0 of 2"));
        QVERIFY(QTest::qWaitFor([&indexed] { return indexed.size() >= 2; }, 30000));
        QCOMPARE(f.client->sent.size(), 5);
        QCOMPARE(bar, (QStringList{QStringLiteral("Sets 1 of 2"), QStringLiteral("Cards 0 of 5")}));
        QVERIFY(logMessages(QStringLiteral("prices"), -1, logStart)
                    .contains(QStringLiteral("No usable TCGCSV fallback for set en/zz9.")));

        // Charizard without a price of its own takes TCGCSV's; Alakazam has a Cardmarket price.
        f.client->answer(QStringLiteral("base1-4"));
        f.client->answer(QStringLiteral("base1-1"), 3.0);
        for (const QString id : {"zz9-1", "zz9-2", "zz9-3"})
            f.client->answer(id);
        QVERIFY(!f.window.isPriceRefreshRunning());
        QVERIFY(collection->entries().at(0).unitValueUsd > 0.0);
        QVERIFY(logMessages(QStringLiteral("prices"), -1, logStart)
                    .contains(QStringLiteral(
                        "Priced 2 of 5 cards; 3 came back without a price. Recorded this week's total. 1 of them came "
                        "from TCGCSV's USD market prices. 1 set has no fallback prices "
                        "available.")));

        // A set settled for something else is none of this collection's.
        auto *index = f.window.findChild<PriceIndex *>();
        index->indexSet(test::setRecord(QStringLiteral("zz8"), QStringLiteral("Elsewhere"), QString(), 4));
        QCOMPARE(index->setState(Language::English, QStringLiteral("zz8")), PriceIndex::NoGroup);

        // The second run finds Base Set settled: it answers at once. The set
        // that found no group is matched against a new group list, and the
        // cards are asked for only once every set has answered.
        const int second = logSize();
        const int groupLists = test::WebStandIn::shared()->requestCount(QStringLiteral("^/tcgplayer/3/groups$"));
        QVERIFY(f.refreshUntilCardsAreAsked());
        QCOMPARE(test::WebStandIn::shared()->requestCount(QStringLiteral("^/tcgplayer/3/groups$")), groupLists + 1);
        QCOMPARE(logMessages(QStringLiteral("prices"), -1, second)
                     .count(QStringLiteral("Fallback data settled; fetching card prices.")),
                 1);
        QCOMPARE(f.client->sent.size(), 4);
        for (const QString id : {"base1-4", "base1-1", "zz9-1", "zz9-2"})
            f.client->answer(id, 1.0);
        QVERIFY(logMessages(QStringLiteral("prices"), -1, second)
                    .contains(QStringLiteral("Priced 4 cards. Recorded this week's total. 1 set has no "
                                             "fallback prices available.")));

        // Priced before its set was looked up, a card is priced again once
        // the set's data settles during its run, outside the undo stack.
        // (A set the catalog does not know either, which would be looked up first.)
        collection->addEntry(test::holding(QStringLiteral("zz7"), QStringLiteral("1"), QStringLiteral("Clefable")));
        collection->addEntry(test::holding(QStringLiteral("zz9"), QStringLiteral("4"), QStringLiteral("Nobody")));
        f.window.queueCardPrices(
            {{Language::English, QStringLiteral("zz7-1")}, {Language::English, QStringLiteral("zz9-4")}});
        const SetRecord jungle = test::setRecord(QStringLiteral("zz7"), QStringLiteral("Jungle"), QString(), 3, 64, 64,
                                                 Language::English, QDate(1999, 6, 16));
        collection->mergeSetInfo(jungle);
        QVERIFY(f.window.fallbackPrices()->lookUp(Language::English, jungle.id));
        f.client->answer(QStringLiteral("zz7-1")); // no price of its own
        QTRY_VERIFY_WITH_TIMEOUT(collection->entries().at(4).unitValueEur > 0.0, 30000);
        QCOMPARE(f.window.undoStack()->count(), 0);
        f.client->answer(QStringLiteral("zz9-4"));
        QVERIFY(!f.window.isPriceRefreshRunning());
    }

    void failedFallbackSourceKeepsStoredValues_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<WebStandIn::Fault>("fault");
        QTest::addColumn<QString>("said");
        const QString groups = QStringLiteral("^/tcgplayer/3/groups$");
        const QString products = QStringLiteral("^/tcgplayer/3/635/products$");
        QTest::newRow("refused") << groups << WebStandIn::Fault::closeConnection() << "could not be reached";
        QTest::newRow("late") << groups << WebStandIn::Fault::delay(3000) << "could not be reached";
        QTest::newRow("error") << products << WebStandIn::Fault::httpStatus(500) << "answered with an error";
        QTest::newRow("dropped") << products << WebStandIn::Fault::wrongShape()
                                 << "answered with data of the wrong shape";
        QTest::newRow("no prices") << QStringLiteral("^/tcgplayer/3/635/prices$")
                                   << WebStandIn::Fault::custom(200, "application/json", test::envelopeBody({}))
                                   << "answered with no prices";
    }

    // A holding whose value depends on a source that failed keeps its stored
    // value, the summary names the source, and the week is recorded from the
    // values as they stand. The next refresh asks for the set again.
    void failedFallbackSourceKeepsStoredValues()
    {
        QFETCH(QString, path);
        QFETCH(WebStandIn::Fault, fault);
        QFETCH(QString, said);
        WebStandIn *web = WebStandIn::shared();
        const int rule = web->addFault(path, fault, -1);
        Fixture f;
        f.window.findChild<TcgcsvClient *>()->setTransferTimeout(500);
        f.holdJungle();

        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answer(QStringLiteral("base2-1"), 6.0); // the unlimited figure alone
        f.client->answerInDollars(QStringLiteral("base2-2"), 15.0);
        QCOMPARE(f.held(0).unitValueEur, 30.0);
        QCOMPARE(f.held(0).unitValueUsd, 32.0);
        QCOMPARE(f.held(1).unitValueEur, 15.0 * 0.86);
        QCOMPARE(f.status(),
                 QStringLiteral("Priced 1 of 2 cards; 1 kept their stored prices. Recorded this week's total. TCGCSV "
                                "%1 for 1 set; cards "
                                "priced from TCGCSV kept their stored prices.")
                     .arg(said));
        // The bar shows what failed before what went well, and keeps it when
        // a set an open dialog asked about fails after the run.
        emit f.window.findChild<PriceIndex *>()->failed(QStringLiteral("TCGCSV prices for Pitch Black"),
                                                         QStringLiteral("the set came back without a single price"));
        QVERIFY(f.window.statusBar()->currentMessage().startsWith(QStringLiteral("TCGCSV %1").arg(said)));
        QVERIFY(logMessages(QStringLiteral("prices")).constLast().contains(QLatin1String("Pitch Black")));
        QCOMPARE(f.window.collection()->history().constLast().totalEur, 30.0 + 15.0 * 0.86);
        // The set is named as the collection knows it, not by its group's id.
        const QString failedFor = path.contains(QLatin1String("groups")) ? QStringLiteral("the TCGCSV set list")
                                                                         : QStringLiteral("TCGCSV prices for Jungle");
        QVERIFY(logMessages(QStringLiteral("prices"))
                    .join(QLatin1Char('\n'))
                    .contains(QLatin1String("Could not load ") + failedFor + QLatin1Char(':')));

        web->removeFault(rule);
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answer(QStringLiteral("base2-1"), 6.0);
        f.client->answerInDollars(QStringLiteral("base2-2"), 15.0);
        QCOMPARE(f.held(0).unitValueUsd, 21.21); // TCGCSV's first-edition figure
        QCOMPARE(f.status(), QStringLiteral("Priced 2 cards. Recorded this week's total."));
    }

    // A refresh that kept values says so beside the prices' date until the
    // next refresh, its summary in the tool tip and the log a click away.
    // Cards added and priced well leave that as it is; a refresh that met
    // no failure, and another document, show the date alone.
    void keptValuesStayInTheStatusBarUntilTheNextRefresh()
    {
        test::PromptScope prompts;
        prompts.questionAnswers = {QMessageBox::Discard};
        WebStandIn *web = WebStandIn::shared();
        const int rule = web->addFault(QStringLiteral("^/tcgplayer/"), WebStandIn::Fault::refuse(), -1);
        Fixture f;
        f.holdJungle();
        QCOMPARE(f.pricesLine(), QStringLiteral("Prices never refreshed"));
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answer(QStringLiteral("base2-1"), 6.0);
        f.client->answerInDollars(QStringLiteral("base2-2"), 15.0);
        const QString summary = QStringLiteral("Priced 1 of 2 cards; 1 kept their stored prices. Recorded this week's "
                                               "total. TCGCSV could not be reached for 1 set; "
                                               "cards priced from TCGCSV kept their stored prices.");
        QCOMPARE(f.status(), summary);
        f.window.statusBar()->clearMessage(); // as its 8 s end
        QLabel *prices = f.prices();
        QCOMPARE(f.pricesLine(), QStringLiteral("Prices from %1; 1 card kept older prices").arg(f.pricedOn()));
        QCOMPARE(prices->toolTip(), summary + QStringLiteral("\n\nClick to open the log."));
        QVERIFY(!f.window.findChild<LogDialog *>());
        QTest::mouseClick(prices, Qt::LeftButton);
        auto *log = f.window.findChild<LogDialog *>();
        QVERIFY(log && log->isVisible());
        log->hide();

        f.window.collection()->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QString()));
        f.window.queueCardPrices({{Language::English, QStringLiteral("zz1-1")}});
        f.client->answer(QStringLiteral("zz1-1"), 2.0);
        QVERIFY(!f.window.isPriceRefreshRunning());
        QCOMPARE(f.pricesLine(), QStringLiteral("Prices from %1; 1 card kept older prices").arg(f.pricedOn()));

        web->removeFault(rule);
        QVERIFY(f.refreshUntilCardsAreAsked());
        for (const QString id : {"base2-1", "base2-2", "zz1-1"})
            f.client->answer(id, 3.0);
        QCOMPARE(f.pricesLine(), QStringLiteral("Prices from %1").arg(f.pricedOn()));
        QVERIFY(prices->toolTip().isEmpty());
        QTest::mouseClick(prices, Qt::LeftButton);
        QVERIFY(log->isHidden());

        // Cancelled, a refresh leaves the cards it did not get to as they were.
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answer(QStringLiteral("base2-1"), 3.0);
        f.cancel()->click();
        QCOMPARE(f.pricesLine(), QStringLiteral("Prices from %1; 2 cards kept older prices").arg(f.pricedOn()));
        QCOMPARE(prices->toolTip(),
                 QStringLiteral("Price refresh cancelled after 1 of 3 cards.\n\nClick to open the log."));

        // What was kept in one document says nothing of the next.
        f.window.newCollection();
        QCOMPARE(f.pricesLine(), QStringLiteral("Prices never refreshed"));
        QVERIFY(prices->toolTip().isEmpty());
    }

    // The card panel of a holding that kept its stored price says what its
    // line total rests on, with the card record or without, until a refresh
    // prices it; a holding priced says nothing of it.
    void theCardPanelSaysWhatAKeptTotalRestsOn()
    {
        WebStandIn *web = WebStandIn::shared();
        const int rule = web->addFault(QStringLiteral("^/tcgplayer/"), WebStandIn::Fault::refuse(), -1);
        Fixture f;
        Collection *collection = f.window.collection();
        f.holdJungle();
        CardEntry clefable = f.held(0);
        clefable.priceUpdated = QDateTime(QDate(2026, 8, 21), QTime(12, 0), Qt::UTC);
        collection->replaceEntry(0, clefable);
        auto *tree = f.window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
        auto *note = f.window.findChild<QLabel *>(QStringLiteral("priceNoteLabel"));
        const auto select = [&](int row) {
            f.client->sent.clear();
            tree->expandAll();
            tree->setCurrentIndex(f.window.treeModel()->indexForEntryKey(entryKey(f.held(row))));
            return f.client->idOf(f.held(row).cardId); // the panel's own request
        };
        const QString rests = QStringLiteral("The line total rests on the price stored on 21 Aug 2026, because its "
                                             "source failed in the last refresh: TCGCSV's prices for its set could "
                                             "not be fetched.");

        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answer(QStringLiteral("base2-1"), 6.0); // the unlimited figure alone
        f.client->answer(QStringLiteral("base2-2"), 2.0);
        QVERIFY(!f.window.isPriceRefreshRunning());
        QCOMPARE(f.held(0).unitValueEur, 30.0);

        const int panelAsked = select(0);
        QCOMPARE(note->text(), rests); // no card record yet
        f.client->answer(QStringLiteral("base2-1"), 6.0, QString(), Language::English, panelAsked);
        QCOMPARE(f.window.findChild<QLabel *>(QStringLiteral("eurValue"))->text(), Currency::formatFromEur(6.0));
        QCOMPARE(note->text(), rests);
        select(1);
        QVERIFY(note->text().isEmpty());

        // A custom price makes the total: nothing is said of the kept one.
        clefable = f.held(0);
        clefable.customPriceEur = 45.0;
        collection->replaceEntry(0, clefable);
        select(1);
        select(0);
        QVERIFY(note->text().isEmpty());
        clefable.customPriceEur = 0.0;
        collection->replaceEntry(0, clefable);

        web->removeFault(rule);
        select(1);
        select(0);
        QCOMPARE(note->text(), rests);
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answer(QStringLiteral("base2-1"), 6.0);
        f.client->answer(QStringLiteral("base2-2"), 2.0);
        QVERIFY(f.held(0).unitValueEur != 30.0);
        QVERIFY2(!note->text().contains(QLatin1String("rests on")), qPrintable(note->text()));
    }

    // A set has one record for fallback matching, whoever asks: a view that
    // asks for the set after the collection learnt another release date
    // changes nothing of a running refresh.
    void aViewCannotMatchASetAgainUnderARunningRefresh()
    {
        Fixture f;
        f.holdJungle();
        QVERIFY(f.refreshUntilCardsAreAsked());
        const int asked = WebStandIn::shared()->requestCount(QStringLiteral("^/tcgplayer/"));
        f.window.collection()->mergeSetInfo(Fixture::jungle(17));
        QVERIFY(f.window.fallbackPrices()->lookUp(Language::English, QStringLiteral("base2")));
        QCOMPARE(f.window.fallbackPrices()->setRecord(Language::English, QStringLiteral("base2")).releaseDate,
                 QDate(1999, 6, 16));
        f.client->answer(QStringLiteral("base2-1"));
        f.client->answer(QStringLiteral("base2-2"));
        QCOMPARE(WebStandIn::shared()->requestCount(QStringLiteral("^/tcgplayer/")), asked);
        QCOMPARE(f.status(),
                 QStringLiteral("Priced 2 cards. Recorded this week's total. 2 of them came from "
                                "TCGCSV's USD market prices."));
    }

    void dollarValuesWithoutAFetchedRate_data()
    {
        QTest::addColumn<WebStandIn::Fault>("fault");
        QTest::addColumn<double>("stored");      // the rate stored three days before, 0 for none
        QTest::addColumn<double>("convertedAt"); // the rate dollars became euros at, 0 when kept
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("logged");
        const auto answer = [](const QByteArray &body) {
            return WebStandIn::Fault::custom(200, "application/json", body);
        };
        const QByteArray today = SteadyClock::today().toString(Qt::ISODate).toLatin1();
        const auto absurd = answer(R"({"amount": 1.0, "base": "USD", "rates": {"EUR": 92.12}})");
        const auto believable =
            answer(R"({"amount": 1.0, "base": "USD", "date": ")" + today + R"(", "rates": {"EUR": 0.92, "JPY": 149}})");
        const QString kept =
            QStringLiteral("Priced 1 of 2 cards; 1 kept their stored prices. Recorded this week's total. ");
        const QString priced = QStringLiteral("Priced 2 cards. Recorded this week's total. ");
        const QString absurdWhy = QStringLiteral(
            "the service answered 1 USD = 92.12000 EUR, more than twice or under half the built-in rate (1 USD = "
            "0.86000 EUR)");
        const QString refused = QStringLiteral("The exchange rates were refused: %1; ");
        const QString dollarsKept = QStringLiteral("cards priced in dollars kept their stored prices.");
        const QString atStored =
            QStringLiteral("cards priced in dollars were converted at the stored rate (1 USD = 0.91000 EUR).");
        const QString noneStored =
            QStringLiteral("no usable ones are stored; amounts in dollars are shown at the built-in rate (1 USD = "
                           "0.86000 EUR), and a price refresh keeps the stored values of cards priced in dollars.");
        const QString refusedNoneStored = QStringLiteral("Conversion rates refused: %1, and ") + noneStored;
        // What is said first: the rate in use, and what became of the answer.
        const QString rateKept = QStringLiteral("Exchange rate kept at %1; the service's %2. ");
        const QString builtInKept =
            rateKept.arg(QStringLiteral("the built-in 1 USD = 0.86000 EUR"), QStringLiteral("answer was refused"));
        const QString storedRate = "1 USD = 0.91000 EUR of " + SteadyClock::today().addDays(-3).toString("d MMM yyyy");
        const QString storedKept = rateKept.arg(storedRate, QStringLiteral("answer was refused"));

        QTest::newRow("unreachable") << WebStandIn::Fault::closeConnection() << 0.0 << 0.0
                                     << kept + "The exchange rates could not be fetched; " + dollarsKept
                                     << "Conversion rates could not be fetched, and " + noneStored;
        QTest::newRow("unreachable, a rate stored")
            << WebStandIn::Fault::closeConnection() << 0.91 << 0.91
            << priced + "The exchange rates could not be updated; " + atStored
            << QStringLiteral("Conversion rates could not be updated; the stored ones stay in use (1 USD = 0.91000 EUR).");
        QTest::newRow("absurd") << absurd << 0.0 << 0.0 << kept + builtInKept + refused.arg(absurdWhy) + dollarsKept
                                << refusedNoneStored.arg(absurdWhy);
        QTest::newRow("absurd, a rate stored")
            << absurd << 0.91 << 0.91 << priced + storedKept + refused.arg(absurdWhy) + atStored
            << "Conversion rates refused: " + absurdWhy + "; the stored ones stay in use (1 USD = 0.91000 EUR).";
        // A rate an earlier version stored in the wrong unit converts
        // nothing, however recent, and the next believable answer
        // replaces it.
        QTest::newRow("absurd, a wrong rate stored")
            << absurd << 92.12 << 0.0 << kept + builtInKept + refused.arg(absurdWhy) + dollarsKept
            << refusedNoneStored.arg(absurdWhy);
        // Per euro, as the service answers it: without a euro rate.
        const QString perEuroWhy = QStringLiteral("the service answered rates per 1 EUR rather than per 1 USD");
        QTest::newRow("per euro") << answer(R"({"amount": 1.0, "base": "EUR", "rates": {"USD": 1.0856}})") << 0.0 << 0.0
                                  << kept + builtInKept + refused.arg(perEuroWhy) + dollarsKept
                                  << refusedNoneStored.arg(perEuroWhy);
        const QString walkedWhy =
            QStringLiteral("the service answered 1 USD = 1.13000 EUR, more than 8% away from the rate of %1 (1 USD = "
                           "0.91000 EUR), kept aside until the service answers it again for a later day")
                .arg(SteadyClock::today().addDays(-3).toString(Qt::ISODate));
        QTest::newRow("walked away three days after a rate stored")
            << answer(R"({"amount": 1.0, "base": "USD", "date": ")" + today + R"(", "rates": {"EUR": 1.13}})") << 0.91
            << 0.91
            << priced + rateKept.arg(storedRate, QStringLiteral("1.13000 waits for a later day's answer"))
                + refused.arg(walkedWhy) + atStored
            << "Conversion rates refused: " + walkedWhy + "; the stored ones stay in use (1 USD = 0.91000 EUR).";
        QTest::newRow("believable, a wrong rate stored")
            << believable << 92.12 << 0.92
            << priced + "Exchange rate moved by +7.0% to 1 USD = 0.92000 EUR of "
                + SteadyClock::today().toString("d MMM yyyy") + ", from the built-in 1 USD = 0.86000 EUR."
            << QStringLiteral("Conversion rates updated (%1): 1 USD = 0.92000 EUR.").arg(QString::fromLatin1(today));
    }

    // Dollar prices are converted only at a rate fetched now or stored from
    // a fetch and in use: without one, a holding priced in dollars keeps its
    // value. An answer that cannot be right is refused, and the window's log
    // says so.
    void dollarValuesWithoutAFetchedRate()
    {
        QFETCH(WebStandIn::Fault, fault);
        QFETCH(double, stored);
        QFETCH(double, convertedAt);
        test::setSetting(QStringLiteral("pricing/usdToEur"), QVariant());
        test::setSetting(QStringLiteral("pricing/usdToEurDate"), QVariant());
        test::setSetting(QStringLiteral("pricing/ratesUnmovedOn"), QVariant());
        if (stored > 0)
            FxRates::store({{QStringLiteral("EUR"), stored}}, SteadyClock::today().addDays(-3));
        WebStandIn::shared()->addFault(QStringLiteral("^/v1/latest"), fault, -1);
        Fixture f;
        f.window.resize(1366, 740);
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        CardEntry dollars = test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("Dollars"), 10.0);
        dollars.unitValueUsd = 11.0;
        f.window.collection()->addEntry(dollars);
        f.window.collection()->addEntry(
            test::holding(QStringLiteral("zz1"), QStringLiteral("2"), QStringLiteral("Euros")));
        const int logStart = logSize();
        QVERIFY(f.refreshUntilCardsAreAsked());
        f.client->answerInDollars(QStringLiteral("zz1-1"), 20.0);
        f.client->answer(QStringLiteral("zz1-2"), 2.0);
        QCOMPARE(f.held(0).unitValueEur, convertedAt > 0 ? 20.0 * convertedAt : 10.0);
        QCOMPARE(f.held(0).unitValueUsd, 20.0); // the dollar figure needs no rate
        QCOMPARE(f.held(1).unitValueEur, 2.0);
        // A refused rate is not stored; a wrong one is not in use.
        QCOMPARE(FxRates::usdToEur(), convertedAt > 0 ? convertedAt : 0.86);
        QFETCH(QString, summary);
        QCOMPARE(f.status(), summary);
        // The bar names the rate in use or the rates that failed first, cut
        // after a word; a summary too long for it at 1366 pixels is whole in
        // the tool tip and the log.
        const QString shown = f.window.statusBar()->currentMessage();
        QVERIFY2((shown == summary || shown.startsWith(QLatin1String("Exchange rate "))
                  || shown.startsWith(QLatin1String("The exchange rates ")))
                     && (shown.endsWith(u'.') || shown.endsWith(u'\u2026')),
                 qPrintable(shown));
        if (summary.size() > 220)
            QVERIFY(shown.size() < summary.size());
        QVERIFY(logMessages(QStringLiteral("prices"), -1, logStart).contains(summary));
        // Beside the prices' date until the next refresh: a rate that did
        // not come is a source that did not answer.
        QCOMPARE(f.window.priceRefresh()->outcomeNote().isEmpty(), !summary.contains(QLatin1String("exchange rates")));
        const QStringList said = logMessages(QStringLiteral("fx"), -1, logStart);
        QFETCH(QString, logged);
        QVERIFY2(said.contains(logged), qPrintable(said.join(QLatin1Char('\n'))));
    }

    void cancelStopsAtOnceAndNewOpenAndCloseCancel()
    {
        test::PromptScope prompts;
        prompts.questionAnswers = {QMessageBox::Discard, QMessageBox::Discard, QMessageBox::Discard};
        Fixture f;
        Collection *collection = f.window.collection();
        for (int i = 1; i <= 8; ++i)
            collection->addEntry(test::holding(QStringLiteral("zz1"), QString::number(i), QStringLiteral("Card")));
        const int history = int(collection->history().size());

        const int logStart = logSize();
        f.refresh()->trigger();
        f.client->answer(QStringLiteral("zz1-1"), 2.0);
        QCOMPARE(f.client->sent.size(), 7);
        f.cancel()->click();
        QVERIFY(!f.window.isPriceRefreshRunning());
        QCOMPARE(f.client->cancelled.size(), 6);
        QCOMPARE(f.status(), QStringLiteral("Price refresh cancelled."));
        QVERIFY(f.refresh()->isEnabled());
        QVERIFY(f.progress()->isHidden());
        QVERIFY(logMessages(QStringLiteral("prices"), -1, logStart)
                    .contains(QStringLiteral("Price refresh cancelled after 1 of 8 cards.")));
        QCOMPARE(collection->history().size(), history);

        // A late answer still brings its facts, never its prices.
        f.client->answer(QStringLiteral("zz1-2"), 7.0, QStringLiteral("Rare"));
        QCOMPARE(collection->entries().at(1).rarity, QStringLiteral("Rare"));
        QCOMPARE(collection->entries().at(1).unitValueEur, 0.0);
        QCOMPARE(f.client->sent.size(), 7);

        // New, and closing the window, cancel a running refresh first.
        f.refresh()->trigger();
        QVERIFY(f.window.isPriceRefreshRunning());
        f.window.newCollection();
        QVERIFY(!f.window.isPriceRefreshRunning());
        QCOMPARE(f.client->cancelled.size(), 12);

        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("Card")));
        f.refresh()->trigger();
        QVERIFY(f.window.isPriceRefreshRunning());
        QCloseEvent close;
        QCoreApplication::sendEvent(&f.window, &close);
        QVERIFY(close.isAccepted());
        QVERIFY(!f.window.isPriceRefreshRunning());
        QCOMPARE(f.client->cancelled.size(), 13);
    }

    void addedCardsStartARunOfTheirOwn()
    {
        Fixture f;
        f.window.collection()->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("A")));
        f.window.collection()->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("2"), QStringLiteral("B")));
        const int logStart = logSize();
        f.window.queueCardPrices({{Language::English, QStringLiteral("zz1-1")}});
        QVERIFY(f.window.isPriceRefreshRunning());
        QCOMPARE(f.client->sent.size(), 1);
        QVERIFY(f.refresh()->isEnabled());
        f.refresh()->trigger(); // ignored while the run goes on
        QCOMPARE(f.client->sent.size(), 1);
        // Cards that join a running refresh count towards its total.
        f.window.queueCardPrices({{Language::English, QStringLiteral("zz1-2")}});
        QCOMPARE(f.progress()->maximum(), 2);
        f.client->answer(QStringLiteral("zz1-1"), 1.0);
        QCOMPARE(f.client->sent.size(), 2);
        f.client->answer(QStringLiteral("zz1-2"), 1.0);
        QVERIFY(!f.window.isPriceRefreshRunning());
        const QStringList lines = logMessages(QStringLiteral("prices"), -1, logStart);
        QVERIFY(!lines.join(QLatin1Char('\n')).contains(QLatin1String("Price refresh started")));
        QVERIFY(lines.contains(QStringLiteral("Priced 2 cards. Recorded this week's total.")));
    }

    // A run's answers update the tree in place: its expanded rows and current
    // row stay as the user left them, and the card panel, which no reset
    // refreshes any more, shows the new stored price of its holding.
    void answersKeepTheTreeAndReachTheCardPanel()
    {
        Fixture f;
        Collection *collection = f.window.collection();
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("One")));
        collection->addEntry(test::holding(QStringLiteral("zz1"), QStringLiteral("2"), QStringLiteral("Two")));
        auto *tree = f.window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
        const QPersistentModelIndex two = f.window.treeModel()->indexForEntryKey(entryKey(collection->entries().at(1)));
        tree->expandAll();
        tree->setCurrentIndex(two);
        auto *eurValue = f.window.findChild<QLabel *>(QStringLiteral("eurValue"));
        QCOMPARE(eurValue->text(), QStringLiteral("looking up\u2026")); // its card is asked for
        // A set the collection holds no record of is not looked up by its bare id.
        QCOMPARE(f.window.findChild<PriceIndex *>()->setState(Language::English, QStringLiteral("zz1")),
                 PriceIndex::NotIndexed);
        QSignalSpy resets(f.window.treeModel(), &QAbstractItemModel::modelReset);

        f.client->sent.clear(); // the panel's own request for the card
        f.refresh()->trigger();
        f.client->answer(QStringLiteral("zz1-1"), 1.0);
        QTest::qWait(300); // the views follow a running refresh in batches
        f.client->answer(QStringLiteral("zz1-2"), 3.0);
        QVERIFY(!f.window.isPriceRefreshRunning());
        QCoreApplication::processEvents();
        QCOMPARE(resets.count(), 0);
        QVERIFY(two.isValid());
        QCOMPARE(tree->currentIndex(), QModelIndex(two));
        QVERIFY(tree->isExpanded(two.parent()));
        QCOMPARE(QModelIndex(two).siblingAtColumn(CollectionTreeModel::UnitValueColumn).data().toString(),
                 Currency::formatFromEur(3.0));
        QCOMPARE(f.window.treeModel()->index(0, CollectionTreeModel::TotalColumn).data().toString(),
                 Currency::formatFromEur(4.0));
        // Its own answer still on the way, the panel shows the new price as stored.
        QVERIFY(f.window.findChild<QLabel *>(QStringLiteral("lineTotalValue"))
                    ->text()
                    .startsWith(Currency::formatFromEur(3.0) + QStringLiteral(" (stored\u00a0")));

        // A change the user makes while answers are held back shows at once.
        f.client->sent.clear();
        f.refresh()->trigger();
        f.client->answer(QStringLiteral("zz1-1"), 2.0);
        f.window.undoStack()->push(new RemoveEntryCommand(collection, 0, nullptr));
        const QModelIndex set = f.window.treeModel()->indexForSetKey(QStringLiteral("en:zz1"));
        QCOMPARE(f.window.treeModel()->rowCount(set), 1);
        QCOMPARE(f.window.treeModel()->index(0, CollectionTreeModel::NameColumn, set).data().toString(),
                 QStringLiteral("Two"));
        f.client->answer(QStringLiteral("zz1-2"), 3.0);
    }
};

PV_REGISTER_TEST(MainWindowRefreshTest)
#include "MainWindowRefreshTest.moc"
