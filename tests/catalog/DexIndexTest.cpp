#include "LogProbe.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/CacheDirectory.h"
#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "core/ServiceUrls.h"
#include "standin/WebStandIn.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using pv::DexIndex;
using pv::Language;
using pv::TcgdexClient;
using pv::test::WebStandIn;
using pv::test::writeFile;

namespace {

const QString catalog = QStringLiteral("catalog");

QCborArray idsOf(const QStringList &ids)
{
    QCborArray array;
    for (const QString &id : ids)
        array.append(id);
    return array;
}

QCborMap dexFile(const QCborArray &entries, const QString &format = QStringLiteral("tallowk-dex"), int version = 1)
{
    QCborMap map;
    map.insert(QStringLiteral("format"), format);
    map.insert(QStringLiteral("version"), version);
    map.insert(QStringLiteral("lang"), QStringLiteral("en"));
    map.insert(QStringLiteral("savedAt"), QStringLiteral("2024-01-01T00:00:00Z"));
    map.insert(QStringLiteral("entries"), entries);
    return map;
}

QCborMap readDexFile(const QString &path)
{
    return QCborValue::fromCbor(pv::test::readFile(path)).toMap();
}

QSet<QString> toSet(const QStringList &list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

} // namespace

// The Pokedex index over a real client against the stand-in, and its cache
// file in this run's own data folder.
class DexIndexTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;

    int dexRequests(int number) const
    {
        return m_standIn->requestCount(QStringLiteral("dexId=eq:%1$").arg(number));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
        QCOMPARE(pv::ServiceUrls::tcgdexBase(), m_standIn->tcgdexUrl());
    }

    void init()
    {
        m_standIn->reset();
        pv::Log::instance().clear();
        QFile::remove(DexIndex::cachePath(Language::English));
        QFile::remove(DexIndex::cachePath(Language::Japanese));
        m_client = std::make_unique<TcgdexClient>();
    }

    void cleanup()
    {
        m_client.reset();
    }

    void ignoresWhatItCannotAsk()
    {
        DexIndex index(m_client.get());
        DexIndex detached(nullptr);
        QSignalSpy ready(&index, &DexIndex::dexReady);
        QSignalSpy failed(&index, &DexIndex::dexFailed);
        index.request(Language::English, 0);
        index.request(Language::English, -3);
        detached.request(Language::English, 25);
        QTest::qWait(20);
        QCOMPARE(ready.size(), 0);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_client->pendingCount(), 0);
        QVERIFY(!detached.contains(Language::English, 25));
        // Answers come from memory only: nothing is asked.
        QVERIFY(index.cardsFor(Language::English, 25).isEmpty());
        QCOMPARE(m_standIn->requestCount(), 0);
    }

    void asksOnceAndRemembersAcrossRestarts()
    {
        auto index = std::make_unique<DexIndex>(m_client.get());
        QSignalSpy ready(index.get(), &DexIndex::dexReady);
        index->request(Language::English, 133);
        index->request(Language::English, 133);
        QCOMPARE(m_client->pendingCount(), 1);
        QTRY_COMPARE(ready.size(), 1);
        QTest::qWait(30);
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready.at(0).at(0).value<Language>(), Language::English);
        QCOMPARE(ready.at(0).at(1).toInt(), 133);
        QCOMPARE(dexRequests(133), 1);

        const QSet<QString> eevees = index->cardsFor(Language::English, 133);
        QVERIFY(eevees.size() > 50);
        QVERIFY(!eevees.contains(QString()));
        QVERIFY(index->contains(Language::English, 133));
        QVERIFY(!index->contains(Language::Japanese, 133));
        QVERIFY(pv::test::logHas(pv::Log::Debug, catalog,
                                 QStringLiteral("Dex 133 (English): %1 card(s).").arg(eevees.size())));

        // The file, beside the catalog cache files in this run's data folder,
        // holds what was learned.
        QVERIFY(DexIndex::cachePath(Language::English)
                    .startsWith(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QLatin1Char('/')));
        QVERIFY(DexIndex::cachePath(Language::English).endsWith(QLatin1String("/catalog/dex-en.cbor")));
        const QCborMap file = readDexFile(DexIndex::cachePath(Language::English));
        QCOMPARE(file.value(QStringLiteral("format")).toString(), QStringLiteral("tallowk-dex"));
        QCOMPARE(file.value(QStringLiteral("version")).toInteger(), 1);
        QCOMPARE(file.value(QStringLiteral("lang")).toString(), QStringLiteral("en"));
        QVERIFY(file.value(QStringLiteral("savedAt")).toString().endsWith(QLatin1Char('Z')));
        const QCborArray entries = file.value(QStringLiteral("entries")).toArray();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).toInteger(), 133);
        QCOMPARE(entries.at(1).toArray().size(), eevees.size());

        // A known number is answered after the call returns, without asking.
        index->request(Language::English, 133);
        QCOMPARE(ready.size(), 1);
        QTRY_COMPARE(ready.size(), 2);
        QCOMPARE(dexRequests(133), 1);

        // After a restart the file answers.
        index = std::make_unique<DexIndex>(m_client.get());
        QSignalSpy again(index.get(), &DexIndex::dexReady);
        QVERIFY(!index->contains(Language::English, 133));
        index->request(Language::English, 133);
        QCOMPARE(again.size(), 0);
        QTRY_COMPARE(again.size(), 1);
        QCOMPARE(index->cardsFor(Language::English, 133), eevees);
        QCOMPARE(dexRequests(133), 1);
    }

    void emptyAnswerIsKnown()
    {
        m_standIn->addFault(QStringLiteral("dexId=eq:9000$"), WebStandIn::Fault::custom(200, "application/json", "[]"));
        DexIndex index(m_client.get());
        QSignalSpy ready(&index, &DexIndex::dexReady);
        index.request(Language::Japanese, 9000);
        QTRY_COMPARE(ready.size(), 1);
        QVERIFY(index.contains(Language::Japanese, 9000));
        QVERIFY(index.cardsFor(Language::Japanese, 9000).isEmpty());
        index.request(Language::Japanese, 9000);
        QTRY_COMPARE(ready.size(), 2);
        QCOMPARE(dexRequests(9000), 1);
    }

    void failureLeavesTheNumberOpen()
    {
        m_standIn->addFault(QStringLiteral("dexId=eq:7$"), WebStandIn::Fault::httpStatus(404));
        m_standIn->addFault(QStringLiteral("/cards/nothing-here$"), WebStandIn::Fault::httpStatus(404));
        DexIndex index(m_client.get());
        QSignalSpy ready(&index, &DexIndex::dexReady);
        QSignalSpy failed(&index, &DexIndex::dexFailed);

        // Another caller's failure is not the index's business.
        m_client->fetchCard(Language::English, QStringLiteral("nothing-here"));
        index.request(Language::English, 7);
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(30);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(1).toInt(), 7);
        QVERIFY(!failed.at(0).at(2).toString().isEmpty());
        QVERIFY(pv::test::logHas(pv::Log::Warn, catalog,
                                 QStringLiteral("Dex 7 could not be resolved (cards of national dex 7): ")));
        QVERIFY(!index.contains(Language::English, 7));

        index.request(Language::English, 7);
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(dexRequests(7), 2);
        QVERIFY(index.contains(Language::English, 7));
    }

    void rejectedCacheFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QCborArray entries = {25, idsOf({QStringLiteral("base1-58")})};
        QTest::newRow("newer version") << dexFile(entries, QStringLiteral("tallowk-dex"), 2).toCborValue().toCbor()
                                       << QStringLiteral("written by a newer version of Tallowmerick");
        QTest::newRow("foreign tag") << dexFile(entries, QStringLiteral("tallowk-catalog")).toCborValue().toCbor()
                                     << QStringLiteral("unexpected format tag");
        QTest::newRow("not a map") << QCborValue(entries).toCbor() << QStringLiteral("the file is not a dex index");
        QTest::newRow("not CBOR") << QByteArray("\xff\xfe garbage", 10) << QString();
    }

    void rejectedCacheFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = DexIndex::cachePath(Language::English);
        QVERIFY(writeFile(path, bytes));

        DexIndex index(m_client.get());
        QSignalSpy ready(&index, &DexIndex::dexReady);
        index.request(Language::English, 25);
        QVERIFY(!QFile::exists(path));
        const QString discarded = QStringLiteral("Discarding the cached dex index %1: %2").arg(path, reason);
        QVERIFY(pv::test::logHas(pv::Log::Warn, catalog, discarded));
        // The number is asked of the card database instead.
        QCOMPARE(m_client->pendingCount(), 1);
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(dexRequests(25), 1);
    }

    void cacheFilePairs()
    {
        const QCborArray entries = {
            25, idsOf({QStringLiteral("old-1")}),
            0, idsOf({QStringLiteral("zero-1")}),
            25, idsOf({QStringLiteral("swsh1-1"), QStringLiteral("base1-58")}),
            // Numbers that are not integers name no Pokemon, however close or large.
            26.0, idsOf({QStringLiteral("double-1")}),
            1e30, idsOf({QStringLiteral("huge-1")}),
            133,
        };
        QVERIFY(writeFile(DexIndex::cachePath(Language::English), dexFile(entries).toCborValue().toCbor()));

        DexIndex index(m_client.get());
        QSignalSpy ready(&index, &DexIndex::dexReady);
        index.request(Language::English, 25);
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(index.cardsFor(Language::English, 25),
                 toSet({QStringLiteral("swsh1-1"), QStringLiteral("base1-58")}));
        QVERIFY(!index.contains(Language::English, 0));
        QVERIFY(!index.contains(Language::English, 26));
        QVERIFY(!index.contains(Language::English, 133));
        QCOMPARE(m_standIn->requestCount(), 0);
        QVERIFY(pv::test::logHas(pv::Log::Debug, catalog, QStringLiteral("Loaded 1 cached dex entries for English.")));
        // The other language has its own file.
        QVERIFY(!index.contains(Language::Japanese, 25));
    }

    void unwritableFolderKeepsAnswersInMemory()
    {
        // A plain file where the cache folder belongs.
        QDir(pv::cacheDirectory()).removeRecursively();
        QVERIFY(writeFile(pv::cacheDirectory(), "in the way"));

        DexIndex index(m_client.get());
        QSignalSpy ready(&index, &DexIndex::dexReady);
        index.request(Language::English, 4);
        QTRY_COMPARE(ready.size(), 1);
        QVERIFY(index.contains(Language::English, 4));

        // Once the folder can be made, the next answer saves both numbers.
        QVERIFY(QFile::remove(pv::cacheDirectory()));
        index.request(Language::English, 5);
        QTRY_COMPARE(ready.size(), 2);
        const QCborArray entries = readDexFile(DexIndex::cachePath(Language::English))
                                       .value(QStringLiteral("entries")).toArray();
        QCOMPARE(entries.size(), 4);
    }
};

PV_REGISTER_TEST(DexIndexTest)

#include "DexIndexTest.moc"
