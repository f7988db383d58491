#include "CatalogTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "catalog/TcgdexClient.h"
#include "core/Log.h"
#include "standin/WebStandIn.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <utility>

using namespace pv;
using pv::test::cacheFile;
using pv::test::readFile;
using pv::test::WebStandIn;
using pv::test::writeCache;
using pv::test::writeFile;

namespace {

// A small earlier English catalog: one real set with one real card, whose
// rarity and release date the card database does not know.
CatalogCache::Contents previousEnglish(qint64 ageSeconds)
{
    CatalogCache::Contents contents;
    contents.series = {SerieBrief{QStringLiteral("sv"), QStringLiteral("Scarlet & Violet"), QString()}};
    CatalogSet set = test::catalogSet(QStringLiteral("sv03.5"), QStringLiteral("151"), QStringLiteral("sv"), 1, 165);
    set.releaseDate = QDate(2023, 9, 22);
    contents.sets = {set};
    contents.cards = {test::catalogCard(set.id, QStringLiteral("005"), QStringLiteral("Charmeleon"),
                                        QStringLiteral("Old Rarity"), 1)};
    contents.rarities = {QStringLiteral("Old Rarity")};
    contents.haveVariants = true;
    contents.savedAt = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
    return contents;
}

// Waits for refreshFinished; returns its arguments.
QList<QVariant> waitForRefresh(QSignalSpy &finished, int timeoutMs = 180000)
{
    if (finished.isEmpty() && !finished.wait(timeoutMs))
        return {};
    return finished.takeFirst();
}

} // namespace

class CatalogRebuildTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
    }

    void cleanup()
    {
        // Nothing a test asked for may reach the stand-in during the next one.
        QTRY_COMPARE_WITH_TIMEOUT(m_standIn->inFlight(), 0, 30000);
    }

    void init()
    {
        m_standIn->reset();
        // A reply an earlier test left in the client's disk cache can be
        // handed out in place of the fault a test sets up.
        QDir(TcgdexClient::diskCacheFolder()).removeRecursively();
        QFile::remove(cacheFile(Language::English));
        QFile::remove(cacheFile(Language::Japanese));
    }

    void aStaleCatalogIsRebuiltAndCompletedByBothPasses()
    {
        writeCache(Language::English, previousEnglish(86410));
        // The card list comes last: the sets are published before it, keeping
        // what is known of them.
        m_standIn->addFault(QStringLiteral("/v2/en/cards$"), WebStandIn::Fault::delay(1000));
        TcgdexClient client;
        CardCatalog catalog(&client);
        QSignalSpy loaded(&catalog, &CardCatalog::languageLoaded);
        QSignalSpy started(&catalog, &CardCatalog::refreshStarted);
        QSignalSpy progress(&catalog, &CardCatalog::refreshProgress);
        QSignalSpy finished(&catalog, &CardCatalog::refreshFinished);
        QSignalSpy rarities(&catalog, &CardCatalog::raritiesLoaded);
        QSignalSpy variants(&catalog, &CardCatalog::variantsLoaded);

        catalog.ensureLoaded(Language::English);
        // The old catalog answers at once and stays usable while the rebuild runs.
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.at(0).at(1).toBool(), true);
        QVERIFY(catalog.isRefreshing(Language::English));
        QCOMPARE(catalog.state(Language::English), CatalogState::Ready);
        QCOMPARE(catalog.statusText(Language::English), QStringLiteral("Updating the English catalog..."));
        QCOMPARE(started.size(), 1);
        // A second refresh while one runs sends nothing.
        catalog.refresh(Language::English);
        QCOMPARE(started.size(), 1);

        const QList<QVariant> result = waitForRefresh(finished);
        QVERIFY(!result.isEmpty());
        QVERIFY2(result.at(1).toBool(), qPrintable(result.at(2).toString()));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/sets\\?")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/cards$")), 1);
        QCOMPARE(catalog.state(Language::English), CatalogState::Ready);
        QVERIFY(result.at(2).toString().contains(QStringLiteral("updated just now")));

        // Progress counts up to every reply: three lists and one detail per series.
        const QList<QVariant> last = progress.last();
        QCOMPARE(last.at(1).toInt(), last.at(2).toInt());
        QCOMPARE(last.at(2).toInt(), int(catalog.series(Language::English).size()) + 3);
        QCOMPARE(progress.size(), last.at(2).toInt());

        const LanguageCatalog *built = catalog.catalog(Language::English);
        QVERIFY(built->cards.size() > 20000);
        QVERIFY(built->sets.size() >= 200);
        QVERIFY(!built->printingsResolved);
        for (const CatalogSet &set : built->sets)
            QVERIFY2(!set.serieName.isEmpty(), qPrintable(set.id));
        // What the card list does not carry survives the rebuild until a pass says otherwise.
        QCOMPARE(catalog.setById(Language::English, QStringLiteral("sv03.5"))->releaseDate, QDate(2023, 9, 22));
        QCOMPARE(catalog.cardById(Language::English, QStringLiteral("sv03.5-005"))->rarity, QStringLiteral("Old Rarity"));
        QCOMPARE(catalog.cardById(Language::English, QStringLiteral("sv03.5-005"))->printingMask, -1);
        QVERIFY(CatalogCache::load(cacheFile(Language::English)).contents.cards.size() > 20000);

        QVERIFY(rarities.size() == 1 || rarities.wait(120000));
        QVERIFY(variants.size() == 1 || variants.wait(120000));
        const CatalogCard *charmeleon = catalog.cardById(Language::English, QStringLiteral("sv03.5-005"));
        QVERIFY(!charmeleon->rarity.isEmpty());
        QVERIFY(charmeleon->rarity != QStringLiteral("Old Rarity"));
        QVERIFY(charmeleon->printingMask > 0);
        QVERIFY(catalog.hasRarities(Language::English));
        QVERIFY(!catalog.rarities(Language::English).contains(QStringLiteral("Old Rarity")));

        const CatalogCache::LoadResult cached = CatalogCache::load(cacheFile(Language::English));
        QVERIFY(cached.ok);
        QVERIFY(cached.contents.haveVariants);
        QCOMPARE(cached.contents.rarities, catalog.rarities(Language::English));
        QCOMPARE(cached.contents.cards.size(), qsizetype(built->cards.size()) - errataCards(*catalog.catalog(Language::English)));
    }

    void aRebuildWhoseSeriesRequestFailsKeepsThePreviousCatalog()
    {
        writeCache(Language::English, previousEnglish(90000));
        const QByteArray before = readFile(cacheFile(Language::English));
        // The client tries three times; every try of this series detail fails.
        m_standIn->addFault(QStringLiteral("/v2/en/series/sv$"), WebStandIn::Fault::httpStatus(503), 3);

        TcgdexClient client;
        CardCatalog catalog(&client);
        QSignalSpy finished(&catalog, &CardCatalog::refreshFinished);
        catalog.ensureLoaded(Language::English);
        QVERIFY(catalog.isRefreshing(Language::English));

        const QList<QVariant> result = waitForRefresh(finished);
        QVERIFY(!result.isEmpty());
        QCOMPARE(result.at(1).toBool(), false);
        QVERIFY2(result.at(2).toString().startsWith(QStringLiteral("series sv: ")), qPrintable(result.at(2).toString()));
        // However often the client tried, every try was refused.
        const QList<WebStandIn::RequestRecord> tries = m_standIn->requests(QStringLiteral("/v2/en/series/sv$"));
        QVERIFY(!tries.isEmpty());
        for (const WebStandIn::RequestRecord &attempt : tries)
            QCOMPARE(attempt.status, 503);

        QVERIFY(!catalog.isRefreshing(Language::English));
        QCOMPARE(catalog.state(Language::English), CatalogState::Ready);
        QCOMPARE(catalog.catalog(Language::English)->cards.size(), 1);
        QCOMPARE(catalog.cardById(Language::English, QStringLiteral("sv03.5-005"))->rarity, QStringLiteral("Old Rarity"));
        QCOMPARE(readFile(cacheFile(Language::English)), before);
        QVERIFY(catalog.statusText(Language::English).startsWith(QStringLiteral("1 sets, 1 cards - updated 1 day(s) ago")));
    }

    // A reply that lists nothing, or of the wrong shape, never replaces the
    // catalog in hand: the old catalog and its cache file stay, the rebuild
    // fails, and the next start tries again.
    void aRebuildThatListsNothingKeepsThePreviousCatalog_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("no cards") << QStringLiteral("/v2/en/cards$") << QByteArray("[]")
                                  << QStringLiteral("the card database listed no cards");
        QTest::newRow("no sets") << QStringLiteral("/v2/en/sets\\?") << QByteArray("[]")
                                 << QStringLiteral("the card database listed no sets");
        QTest::newRow("cards in an object")
            << QStringLiteral("/v2/en/cards$") << QByteArray("{\"cards\":[]}")
            << QStringLiteral("card list (English): Malformed response: expected a list, not an object");
    }

    void aRebuildThatListsNothingKeepsThePreviousCatalog()
    {
        QFETCH(QString, pattern);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        writeCache(Language::English, previousEnglish(90000));
        const QByteArray before = readFile(cacheFile(Language::English));
        m_standIn->addFault(pattern, WebStandIn::Fault::custom(200, "application/json; charset=utf-8", body));

        TcgdexClient client;
        CardCatalog catalog(&client);
        QSignalSpy finished(&catalog, &CardCatalog::refreshFinished);
        catalog.ensureLoaded(Language::English);
        const QList<QVariant> result = waitForRefresh(finished);
        QVERIFY(!result.isEmpty());
        QCOMPARE(result.at(1).toBool(), false);
        QCOMPARE(result.at(2).toString(), message);
        QCOMPARE(catalog.state(Language::English), CatalogState::Ready);
        QCOMPARE(catalog.catalog(Language::English)->sets.size(), 1);
        QCOMPARE(catalog.catalog(Language::English)->cards.size(), 1);
        QCOMPARE(readFile(cacheFile(Language::English)), before);
    }

    void aFirstBuildThatFailsLeavesNoCatalog()
    {
        m_standIn->addFault(QStringLiteral("/v2/ja/sets\\?"), WebStandIn::Fault::httpStatus(503), 3);
        TcgdexClient client;
        CardCatalog catalog(&client);
        QSignalSpy finished(&catalog, &CardCatalog::refreshFinished);
        catalog.ensureLoaded(Language::Japanese);
        QCOMPARE(catalog.state(Language::Japanese), CatalogState::Building);
        const QList<QVariant> result = waitForRefresh(finished);
        QVERIFY(!result.isEmpty());
        QCOMPARE(result.at(1).toBool(), false);
        QCOMPARE(catalog.state(Language::Japanese), CatalogState::Failed);
        QCOMPARE(catalog.statusText(Language::Japanese), QStringLiteral("No Japanese catalog yet."));
        QVERIFY(!QFile::exists(cacheFile(Language::Japanese)));
    }

    void setsArePublishedBeforeTheCardListArrives()
    {
        // No series at all, and a slow card list: the sets come first.
        m_standIn->addFault(QStringLiteral("/v2/ja/series$"),
                            WebStandIn::Fault::custom(200, "application/json", "[]"));
        m_standIn->addFault(QStringLiteral("/v2/ja/cards$"), WebStandIn::Fault::delay(1500));
        TcgdexClient client;
        CardCatalog catalog(&client);
        QSignalSpy loaded(&catalog, &CardCatalog::languageLoaded);
        QSignalSpy progress(&catalog, &CardCatalog::refreshProgress);
        QSignalSpy finished(&catalog, &CardCatalog::refreshFinished);
        catalog.refresh(Language::Japanese);

        QVERIFY(loaded.wait(60000));
        QVERIFY(finished.isEmpty());
        QCOMPARE(catalog.state(Language::Japanese), CatalogState::Partial);
        QVERIFY(catalog.setsOfSeries(Language::Japanese, QString()).size() > 100);
        QVERIFY(catalog.catalog(Language::Japanese)->cards.isEmpty());
        QCOMPARE(progress.last().at(2).toInt(), 3);

        const QList<QVariant> result = waitForRefresh(finished);
        QVERIFY(!result.isEmpty());
        QVERIFY(result.at(1).toBool());
        QCOMPARE(catalog.state(Language::Japanese), CatalogState::Ready);
        QCOMPARE(loaded.size(), 2);
        QVERIFY(catalog.catalog(Language::Japanese)->cards.size() > 10000);

        // The finished rebuild goes on to both passes.
        QSignalSpy rarities(&catalog, &CardCatalog::raritiesLoaded);
        QSignalSpy variants(&catalog, &CardCatalog::variantsLoaded);
        QVERIFY(rarities.wait(60000));
        QVERIFY(variants.size() == 1 || variants.wait(60000));
        QVERIFY(catalog.catalog(Language::Japanese)->printingsResolved);
    }

    void aFreshCatalogOnlyStartsThePasses()
    {
        writeCache(Language::English, previousEnglish(86390));
        TcgdexClient client;
        CardCatalog catalog(&client);
        catalog.ensureLoaded(Language::English);
        QVERIFY(!catalog.isRefreshing(Language::English));
        QVERIFY(catalog.isResolvingRarities(Language::English));

        // A second call within the day reads nothing from disk: a damaged
        // file put in its place would be deleted by any read.
        QVERIFY(writeFile(cacheFile(Language::English), "\xff\xff\xff"));
        catalog.ensureLoaded(Language::English);
        QVERIFY(QFile::exists(cacheFile(Language::English)));
        QCOMPARE(catalog.catalog(Language::English)->cards.size(), 1);

        // The printings were resolved already: no printing pass is asked for.
        QSignalSpy rarities(&catalog, &CardCatalog::raritiesLoaded);
        QVERIFY(rarities.wait(60000));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/cards\\?variants\\.")), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/rarities")), 1);
        // A pass that completed can be started again by the next call.
        catalog.ensureLoaded(Language::English);
        QVERIFY(catalog.isResolvingRarities(Language::English));
        QVERIFY(rarities.wait(60000));
    }

    // A rarity pass that finds every rarity as it was leaves the cache file
    // as it is; one after a release date was set writes it again.
    void aPassThatChangesNothingLeavesTheCacheAlone()
    {
        writeCache(Language::English, previousEnglish(86390));
        TcgdexClient client;
        CardCatalog catalog(&client);
        QSignalSpy rarities(&catalog, &CardCatalog::raritiesLoaded);
        // The first pass replaces the old rarity: the file is written.
        catalog.ensureLoaded(Language::English);
        QVERIFY(rarities.wait(60000));
        const QString rarity = catalog.cardById(Language::English, QStringLiteral("sv03.5-005"))->rarity;
        QVERIFY(rarity != QStringLiteral("Old Rarity"));
        QCOMPARE(CatalogCache::load(cacheFile(Language::English)).contents.cards.value(0).rarity, rarity);

        QCOMPARE(rarities.at(0).at(1).toBool(), true);

        // The same answers again: announced as naming nothing new, the file untouched.
        const QByteArray marker("not rewritten");
        QVERIFY(writeFile(cacheFile(Language::English), marker));
        catalog.ensureLoaded(Language::English);
        QVERIFY(rarities.wait(60000));
        QCOMPARE(rarities.size(), 2);
        QCOMPARE(rarities.at(1).at(1).toBool(), false);
        QCOMPARE(readFile(cacheFile(Language::English)), marker);

        // A release date set since is what the file lacks.
        catalog.setSetReleaseDate(Language::English, QStringLiteral("sv03.5"), QDate(2023, 9, 23));
        catalog.ensureLoaded(Language::English);
        QVERIFY(rarities.wait(60000));
        const CatalogCache::LoadResult cached = CatalogCache::load(cacheFile(Language::English));
        QVERIFY(cached.ok);
        QCOMPARE(cached.contents.sets.value(0).releaseDate, QDate(2023, 9, 23));
        QCOMPARE(cached.contents.cards.value(0).rarity, rarity);
    }

    void aCatalogThatGoesWithdrawsItsRequests()
    {
        writeCache(Language::English, previousEnglish(86410));
        TcgdexClient client;
        // The lists take their time, so they are still open when the catalog goes.
        m_standIn->addFault(QStringLiteral("/v2/en/"), WebStandIn::Fault::delay(3000), -1);
        {
            CardCatalog catalog(&client);
            catalog.ensureLoaded(Language::English);
            QVERIFY(catalog.isRefreshing(Language::English));
            // Wait until the stand-in has seen them, so none reaches it later.
            QTRY_COMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/")), 3);
            QCOMPARE(client.pendingCount(), 3);
        }
        QCOMPARE(client.pendingCount(), 0);

        // The client going first is fine too.
        auto *shortLived = new TcgdexClient;
        CardCatalog orphan(shortLived);
        orphan.refresh(Language::English);
        QTRY_COMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/")), 6);
        delete shortLived;
        m_standIn->clearFaults();
    }

    // A card list is read into records off the GUI thread. A catalog that
    // goes while its list is read drops it: nothing is announced and nothing
    // stays pending; a client that goes too waits for the reading.
    void aListBeingReadWhenItsCatalogGoesIsDropped()
    {
        for (const bool clientToo : {false, true}) {
            writeCache(Language::English, previousEnglish(86410));
            auto *client = new TcgdexClient;
            auto *catalog = new CardCatalog(client);
            QSignalSpy lists(client, &TcgdexClient::cardIndexReady);
            // Logged as the list comes, just before it is handed on to be read.
            const auto arrival = connect(&Log::instance(), &Log::entryAppended, this, [&](const LogEntry &entry) {
                if (!entry.message.contains(QStringLiteral(" bytes (card list (English))")))
                    return;
                QMetaObject::invokeMethod(
                    this,
                    [&] {
                        delete std::exchange(catalog, nullptr);
                        if (clientToo)
                            delete std::exchange(client, nullptr);
                    },
                    Qt::QueuedConnection);
            });
            catalog->refresh(Language::English);
            QTRY_VERIFY_WITH_TIMEOUT(!catalog, 60000);
            disconnect(arrival);
            // The list is read by now, and what was on its way reached the stand-in.
            QTest::qWait(500);
            if (client) {
                QCOMPARE(client->pendingCount(), 0);
                QCOMPARE(lists.size(), 0);
                delete client;
            }
        }
    }

private:
    static qsizetype errataCards(const LanguageCatalog &catalog)
    {
        qsizetype count = 0;
        for (const CatalogCard &card : catalog.cards)
            count += card.fromErrata ? 1 : 0;
        return count;
    }

    WebStandIn *m_standIn = nullptr;
};

PV_REGISTER_TEST(CatalogRebuildTest)
#include "CatalogRebuildTest.moc"
