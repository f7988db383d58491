#include "Fixtures.h"
#include "TestRegistry.h"
#include "ui/CardViewTestSupport.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "catalog/TcgdexClient.h"
#include "core/CardArtwork.h"
#include "core/Currency.h"
#include "collection/Collection.h"
#include "collection/FallbackPrices.h"
#include "prices/PriceIndex.h"
#include "standin/WebStandIn.h"
#include "ui/models/SetCardsModel.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QFile>
#include <QFont>
#include <QPixmap>
#include <QPixmapCache>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace pv;
using pv::test::WebStandIn;

namespace {

// A set of 100 cards with its logo and symbol.
CatalogSet picturedSet(const QString &id, const QString &name, const QString &logo, const QString &symbol)
{
    CatalogSet set = test::catalogSet(id, name, QString(), 0, 100);
    set.logo = logo;
    set.symbol = symbol;
    return set;
}

// The roles of one cell whose dataChanged notices the spy caught.
QList<QList<int>> changedRoles(const QSignalSpy &spy)
{
    QList<QList<int>> roles;
    for (const auto &call : spy)
        roles.append(call.at(2).value<QList<int>>());
    return roles;
}

} // namespace

class SetCardsModelTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;
    std::unique_ptr<CardCatalog> m_catalog;
    QString m_assets;

    QString art(const QString &path) const { return m_assets + path; }

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
        m_assets = m_standIn->assetsUrl();

        // A small English catalog: base1 has a symbol, ex11 only a logo.
        CatalogCache::Contents contents;
        contents.sets = {picturedSet(QStringLiteral("base1"), QStringLiteral("Base Set"),
                                     art(QStringLiteral("/en/base/base1/logo")),
                                     art(QStringLiteral("/univ/base/base1/symbol"))),
                         picturedSet(QStringLiteral("ex11"), QStringLiteral("Delta Species"),
                                     art(QStringLiteral("/en/ex/ex11/logo")), QString())};
        contents.cards = {
            test::officialCard(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 102)};
        contents.haveVariants = true;
        contents.rarities = {QStringLiteral("Rare Holo")};
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QString error;
        QVERIFY2(test::saveCatalogCache(contents, Language::English, &error), qPrintable(error));
        m_catalog = std::make_unique<CardCatalog>(nullptr);
        m_catalog->ensureLoaded(Language::English);
        QCOMPARE(m_catalog->state(Language::English), CatalogState::Ready);
    }

    void cleanupTestCase()
    {
        m_catalog.reset();
        QFile::remove(cacheDirectory() + QStringLiteral("/en.cbor"));
    }

    void init()
    {
        m_standIn->reset();
        QPixmapCache::clear();
        m_client = std::make_unique<TcgdexClient>();
        m_client->imageCache().clear();
    }

    void cleanup() { m_client.reset(); }

    void cellsRolesAndOwnedMarks()
    {
        SetCardsModel model(nullptr, nullptr, m_catalog.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        CatalogCard unnamedSet = test::officialCard(QStringLiteral("zz1"), QStringLiteral("7"), QStringLiteral("Mew"),
                                                    0, -1, art(QStringLiteral("/en/zz/zz1/7")));
        unnamedSet.setName.clear();
        CatalogCard charizard =
            test::officialCard(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 102, -1,
                               art(QStringLiteral("/en/base/base1/4")));
        charizard.setName = QStringLiteral("Base Set");
        charizard.serieName = QStringLiteral("Base");
        model.setCards({charizard, unnamedSet});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.cards().at(1).id, QStringLiteral("zz1-7"));

        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("No."));
        QCOMPARE(model.headerData(5, Qt::Horizontal).toString(),
                 QStringLiteral("Market (%1)").arg(Currency::currentCode()));
        QVERIFY(model.headerData(5, Qt::Horizontal, Qt::ToolTipRole).toString().startsWith(
            QStringLiteral("TCGplayer market price, converted to %1.").arg(Currency::currentCode())));
        QVERIFY(!model.headerData(1, Qt::Vertical).isValid());

        // The custom roles answer on every column.
        for (int column = 0; column < 6; ++column) {
            const QModelIndex cell = model.index(0, column);
            QCOMPARE(cell.data(257).toString(), QStringLiteral("base1-4"));
            QCOMPARE(cell.data(259).toString(), art(QStringLiteral("/en/base/base1/4")));
            QCOMPARE(cell.data(260).toBool(), false);
            QVERIFY(cell.data(258).isValid());
        }
        QCOMPARE(model.index(0, 2).data(258).toString(), QStringLiteral("Charizard"));
        QCOMPARE(model.index(0, 5).data(258).toDouble(), 0.0);
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Charizard"));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("Base Set"));
        QCOMPARE(model.index(0, 4).data().toString(), QStringLiteral("Base"));
        // Without a price index every price is "-".
        QCOMPARE(model.index(0, 5).data().toString(), QStringLiteral("-"));
        QCOMPARE(model.index(0, 5).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
        QCOMPARE(model.index(0, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));

        // Numbers carry the set size in search mode, when it is known.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("4"));
        model.setSearchMode(true);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("4/102"));
        QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("7"));
        QCOMPARE(changed.size(), 1);
        model.setSearchMode(true);
        QCOMPARE(changed.size(), 1);

        // Owned rows: bold gold, with their own double-click line.
        changed.clear();
        const QSet<QString> owned{ownedCardKey(Language::English, QStringLiteral("base1-4"))};
        QCOMPARE(*owned.begin(), QStringLiteral("en|base1-4"));
        model.setOwnedKeys(owned);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(0, 0));
        QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(1, 5));
        QCOMPARE(changedRoles(changed).at(0),
                 (QList<int>{Qt::FontRole, Qt::ForegroundRole, Qt::ToolTipRole, 260}));
        model.setOwnedKeys(owned);
        QCOMPARE(changed.size(), 1);
        for (int column = 0; column < 6; ++column) {
            QVERIFY(model.index(0, column).data(260).toBool());
            QVERIFY(model.index(0, column).data(Qt::FontRole).value<QFont>().weight() >= QFont::Bold);
            QCOMPARE(model.index(0, column).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 210, 63));
            QVERIFY(!model.index(1, column).data(Qt::ForegroundRole).isValid());
            QVERIFY(!model.index(1, column).data(Qt::FontRole).isValid());
        }
        QCOMPARE(model.index(0, 2).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("4 - Charizard\nBase Set\nAlready in the collection. Double-click to add another copy."));
        QCOMPARE(model.index(1, 2).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("7 - Mew\nDouble-click to add to the collection."));
        QCOMPARE(model.index(1, 5).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("TCGplayer does not price this card, or this set could not be matched to a "
                                "TCGplayer set."));

        // Clearing keeps what the owner told the model.
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        model.setCards({charizard});
        QVERIFY(model.isOwned(0));
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("4/102"));
        QVERIFY(!model.isOwned(1));

        // A collection marks the cards it holds in their language, asked
        // again whenever the rows are set.
        model.setOwnedKeys({});
        Collection collection;
        collection.addEntry(test::holdingOf(QStringLiteral("zz1-7")));
        collection.addEntry(test::holdingOf(QStringLiteral("base1-4"), 1, 0.0, Language::Japanese));
        changed.clear();
        model.setCollection(&collection);
        QCOMPARE(changed.size(), 1);
        QVERIFY(!model.isOwned(0));
        model.setCards({charizard, unnamedSet});
        QVERIFY(!model.isOwned(0));
        QVERIFY(model.isOwned(1));
        QVERIFY(model.index(1, 2).data(Qt::ToolTipRole).toString().contains(QStringLiteral("Already in")));
        collection.addEntry(test::holdingOf(QStringLiteral("base1-4")));
        collection.removeEntryAt(0);
        model.setCards({charizard, unnamedSet});
        QVERIFY(model.isOwned(0));
        QVERIFY(!model.isOwned(1));
        model.setCollection(nullptr);
        QVERIFY(!model.isOwned(0));
    }

    void picturesComeFromTheCacheAndAreAskedForOnce()
    {
        SetCardsModel model(m_client.get(), nullptr, m_catalog.get());
        const QString cachedBase = art(QStringLiteral("/en/base/base1/4"));
        const QString missingBase = art(QStringLiteral("/en/ex/ex11/1"));
        pv::test::cachePicture(*m_client, cardImageUrl(cachedBase, false), QSize(440, 610), Qt::blue);
        pv::test::cachePicture(*m_client, setArtworkUrl(art(QStringLiteral("/univ/base/base1/symbol"))),
                               QSize(300, 100), Qt::red);
        model.setCards(
            {test::officialCard(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 102, -1,
                                cachedBase),
             test::officialCard(QStringLiteral("ex11"), QStringLiteral("1"), QStringLiteral("Beedrill"), 113, -1,
                                missingBase),
             test::officialCard(QStringLiteral("ex11"), QStringLiteral("2"), QStringLiteral("Crobat"), 113)});

        QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().size(), SetCardsModel::thumbnailSize());
        QCOMPARE(SetCardsModel::thumbnailSize(), QSize(44, 61));
        QCOMPARE(model.index(0, 3).data(Qt::DecorationRole).value<QPixmap>().size(), QSize(66, 22));
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(2, 0).data(Qt::DecorationRole).isValid());
        // A picture fetched again replaces the one made to fit from it.
        const QString cachedUrl = cardImageUrl(cachedBase, false);
        pv::test::cachePicture(*m_client, cachedUrl, QSize(440, 610), Qt::green);
        Q_EMIT m_client->imageReady(0, cachedUrl, QPixmap());
        QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().toImage().pixelColor(22, 30),
                 QColor(Qt::green));

        // A missing thumbnail and a missing set logo (ex11 has no symbol) are
        // asked for once, however often a view paints.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        for (int i = 0; i < 5; ++i) {
            QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).isValid());
            QVERIFY(!model.index(1, 3).data(Qt::DecorationRole).isValid());
            QVERIFY(!model.index(2, 3).data(Qt::DecorationRole).isValid());
        }
        QTRY_COMPARE(m_client->pendingCount(), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/en/ex/ex11/1/low\\.jpg$")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/en/ex/ex11/logo\\.png$")), 1);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/high\\.png$|/symbol")), 0);

        // Their arrival repaints the thumbnail cell and the whole set column.
        QTRY_COMPARE(changed.size(), 2);
        QList<QPair<QModelIndex, QModelIndex>> ranges;
        for (const auto &call : changed) {
            ranges.append({call.at(0).value<QModelIndex>(), call.at(1).value<QModelIndex>()});
            QCOMPARE(call.at(2).value<QList<int>>(), QList<int>{Qt::DecorationRole});
        }
        QVERIFY(ranges.contains(qMakePair(model.index(1, 0), model.index(1, 0))));
        QVERIFY(ranges.contains(qMakePair(model.index(0, 3), model.index(2, 3))));
        QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).value<QPixmap>().isNull());
        QVERIFY(!model.index(2, 3).data(Qt::DecorationRole).value<QPixmap>().isNull());
    }

    void marketPricesWaitForTheSetAndAreNotComputedWhilePainting()
    {
        PriceIndex index;
        Collection collection;
        FallbackPrices prices(&collection, &index);
        SetCardsModel model(m_client.get(), &prices, m_catalog.get());
        model.setPriceContext(QStringLiteral("holo"), QStringLiteral("unlimited"));
        SetRecord ex11;
        ex11.id = QStringLiteral("ex11");
        ex11.name = QStringLiteral("Delta Species");
        ex11.language = Language::English;
        collection.mergeSetInfo(ex11);
        QVERIFY(prices.lookUp(Language::English, ex11.id));
        QVERIFY(prices.isPending(Language::English, ex11.id));

        QList<CatalogCard> cards;
        for (int number = 1; number <= 12; ++number)
            cards.append(
                test::officialCard(QStringLiteral("ex11"), QString::number(number), QStringLiteral("Card"), 113));
        cards.append(
            test::officialCard(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 102));
        model.setCards(cards);
        const int last = int(cards.size()) - 1;
        QCOMPARE(model.index(0, 5).data().toString(), QStringLiteral("..."));
        QCOMPARE(model.index(0, 5).data(Qt::ToolTipRole).toString(), QStringLiteral("Looking up the prices for this set..."));
        QCOMPARE(model.index(0, 5).data(258).toDouble(), 0.0);
        QCOMPARE(model.index(last, 5).data().toString(), QStringLiteral("-"));
        QCOMPARE(model.index(last, 5).data(258).toDouble(), 0.0);

        // The prices arrive unseen by the model: painting does not price.
        index.blockSignals(true);
        QTRY_VERIFY_WITH_TIMEOUT(index.setState(Language::English, QStringLiteral("ex11")) != PriceIndex::Pending,
                                 20000);
        index.blockSignals(false);
        QCOMPARE(index.setState(Language::English, QStringLiteral("ex11")), PriceIndex::Indexed);
        QCOMPARE(model.index(0, 5).data().toString(), QStringLiteral("..."));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.refreshPrices();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(0, 5));
        QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(last, 5));
        QVERIFY(changed.at(0).at(2).value<QList<int>>().isEmpty());
        int priced = 0;
        for (int row = 0; row < last; ++row) {
            const QModelIndex cell = model.index(row, 5);
            const double usd = cell.data(258).toDouble();
            if (usd > 0.0) {
                ++priced;
                QCOMPARE(cell.data().toString(), Currency::formatFromUsd(usd));
                QCOMPARE(cell.data(Qt::ToolTipRole).toString(),
                         QStringLiteral("Card - Holo printing.\nQuoted by TCGplayer at %1.\nThe collection itself "
                                        "is valued on Cardmarket prices, which can differ.")
                             .arg(Currency::format(usd, 1)));
            } else {
                QCOMPARE(cell.data().toString(), QStringLiteral("-"));
            }
        }
        QVERIFY(priced > 0);

        // The same printing again recomputes nothing; another one does.
        model.setPriceContext(QStringLiteral("holo"), QStringLiteral("unlimited"));
        QCOMPARE(changed.size(), 1);
        model.setPriceContext(QStringLiteral("reverse"), QStringLiteral("unlimited"));
        QCOMPARE(changed.size(), 2);
        model.setPriceContext(QStringLiteral("reverse"), QStringLiteral("unlimited"));
        QCOMPARE(changed.size(), 2);

        // Only news of a set among the rows refreshes the column.
        Q_EMIT index.setIndexed(Language::English, QStringLiteral("sv1"), true);
        Q_EMIT index.setIndexed(Language::Japanese, QStringLiteral("ex11"), true);
        QCOMPARE(changed.size(), 2);
        Q_EMIT index.setIndexed(Language::English, QStringLiteral("ex11"), false);
        QCOMPARE(changed.size(), 3);
    }
};

PV_REGISTER_TEST(SetCardsModelTest)
#include "SetCardsModelTest.moc"
