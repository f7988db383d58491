#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "ui/CardViewTestSupport.h"
#include "ui/DialogTestSupport.h"
#include "ui/UiTestSupport.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "catalog/TcgdexClient.h"
#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "core/CardArtwork.h"
#include "core/NameTranslator.h"
#include "collection/FallbackPrices.h"
#include "prices/PriceIndex.h"
#include "standin/WebStandIn.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "ui/widgets/CardPreviewPopup.h"
#include "ui/widgets/ColumnWidths.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <QWheelEvent>

#include <memory>

using namespace pv;
using pv::test::WebStandIn;

namespace {

template <typename T>
T *child(QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

QString text(QObject &parent, const char *label)
{
    return child<QLabel>(parent, label)->text();
}

CatalogSet set(const QString &id, const QString &name, const QString &serie, int order, int total,
               const QDate &released = QDate())
{
    CatalogSet s = test::catalogSet(id, name, serie, order, total, total);
    s.releaseDate = released;
    return s;
}

// Printing masks over normal, holo, reverse, firstEdition.
constexpr int Normal = 1;
constexpr int Holo = 2;
constexpr int Reverse = 4;
constexpr int FirstEdition = 8;

void selectData(QComboBox *combo, const QVariant &data)
{
    const int row = combo->findData(data);
    QVERIFY2(row >= 0, qPrintable(data.toString()));
    combo->setCurrentIndex(row);
}

QStringList comboKeys(const QComboBox *combo)
{
    QStringList keys;
    for (int row = 0; row < combo->count(); ++row)
        keys.append(combo->itemData(row).toString());
    return keys;
}

// The proxy row of the card with that id in the dialog's table.
int tableRow(QTableView *table, const QString &cardId)
{
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        if (table->model()->index(row, 1).data(Qt::UserRole + 1).toString() == cardId)
            return row;
    }
    return -1;
}

void doubleClick(QTableView *table, const QString &cardId)
{
    const int row = tableRow(table, cardId);
    QVERIFY2(row >= 0, qPrintable(cardId));
    emit table->doubleClicked(table->model()->index(row, 1));
}

QStringList pendingTexts(QObject &dialog)
{
    QStringList texts;
    auto *list = child<QListWidget>(dialog, "pendingList");
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

void mouseMove(QWidget *viewport, const QPoint &pos)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(viewport->mapToGlobal(pos)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
}

} // namespace

class AddCardsDialogTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;
    QString m_assets;

    QString art(const QString &path) const { return m_assets + path; }

    // Newest first. Base: base1 (three cards, dated), base2 (64 listed, none held), base3
    // (nothing); Scarlet & Violet: sv03.5 (three cards, undated); Test: zz1
    // (unknown to the card database) and big1 (2100 cards).
    void writeEnglishFixture()
    {
        CatalogCache::Contents contents;
        contents.series = {SerieBrief{QStringLiteral("base"), QStringLiteral("Base"), QString()},
                           SerieBrief{QStringLiteral("sv"), QStringLiteral("Scarlet & Violet"), QString()},
                           SerieBrief{QStringLiteral("tst"), QStringLiteral("Test"), QString()}};
        CatalogSet base1 = set(QStringLiteral("base1"), QStringLiteral("Base Set"), QStringLiteral("base"), 6, 102,
                               QDate(1999, 1, 9));
        base1.symbol = art(QStringLiteral("/univ/base/base1/symbol"));
        contents.sets = {base1,
                         set(QStringLiteral("base2"), QStringLiteral("Jungle"), QStringLiteral("base"), 5, 64,
                             QDate(1999, 6, 16)),
                         set(QStringLiteral("base3"), QStringLiteral("Fossil"), QStringLiteral("base"), 4, 0,
                             QDate(1999, 10, 10)),
                         set(QStringLiteral("sv03.5"), QStringLiteral("151"), QStringLiteral("sv"), 3, 165),
                         set(QStringLiteral("zz1"), QStringLiteral("Mystery"), QStringLiteral("tst"), 2, 1),
                         set(QStringLiteral("big1"), QStringLiteral("Big Set of the Black Star Promos Collection"),
                             QStringLiteral("tst"), 1, 2100, QDate(2020, 1, 1))};
        contents.cards = {
            test::officialCard(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 102,
                               Holo | FirstEdition, art(QStringLiteral("/en/base/base1/4"))),
            test::officialCard(QStringLiteral("base1"), QStringLiteral("44"), QStringLiteral("Bulbasaur"), 102, -1,
                               art(QStringLiteral("/en/base/base1/44"))),
            test::officialCard(QStringLiteral("base1"), QStringLiteral("58"), QStringLiteral("Pikachu"), 102,
                               Normal | FirstEdition, art(QStringLiteral("/en/base/base1/58"))),
            test::officialCard(QStringLiteral("sv03.5"), QStringLiteral("001"), QStringLiteral("Bulbasaur"), 165,
                               Normal | Reverse),
            test::officialCard(QStringLiteral("sv03.5"), QStringLiteral("004"), QStringLiteral("Charmander"), 165,
                               Normal | Reverse),
            test::officialCard(QStringLiteral("sv03.5"), QStringLiteral("005"), QStringLiteral("Charmeleon"), 165,
                               Normal | Reverse),
            test::officialCard(QStringLiteral("zz1"), QStringLiteral("1"), QStringLiteral("Oddity"), 1, Normal),
        };
        for (int i = 1; i <= 2100; ++i)
            contents.cards.append(test::officialCard(QStringLiteral("big1"), QStringLiteral("SWSH%1").arg(i),
                                                     QStringLiteral("Pikachu"), 2100, Normal));
        contents.rarities = {QStringLiteral("Common")};
        contents.haveVariants = true;
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents));
    }

    // One Japanese set that is listed with 100 cards and holds none.
    void writeJapaneseFixture()
    {
        CatalogCache::Contents contents;
        contents.series = {SerieBrief{QStringLiteral("SV"), QStringLiteral("Scarlet & Violet"), QString()}};
        contents.sets = {set(QStringLiteral("SV9"), QStringLiteral("Battle Partners"), QStringLiteral("SV"), 1, 100,
                             QDate(2025, 1, 24))};
        contents.rarities = {QStringLiteral("Common")};
        contents.haveVariants = true;
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents, Language::Japanese));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
        m_assets = m_standIn->assetsUrl();
        QVERIFY(QDir().mkpath(cacheDirectory()));
    }

    void cleanupTestCase()
    {
        QFile::remove(test::cacheFile(Language::English));
        QFile::remove(test::cacheFile(Language::Japanese));
    }

    void init()
    {
        // A catalog on the client may resolve printings and rewrite its cache.
        writeEnglishFixture();
        m_standIn->reset();
        m_client = std::make_unique<TcgdexClient>();
        m_client->imageCache().clear();
    }

    void cleanup()
    {
        m_client.reset();
        QFile::remove(test::cacheFile(Language::Japanese));
    }

    // The set browser: combos, the status line of each kind of set, the
    // set-detail answer, the catalog failure texts and the owned marks.
    void browsingSetsAndStatusLines()
    {
        writeJapaneseFixture();
        CardCatalog catalog(nullptr);
        Collection collection;
        CardEntry owned;
        owned.cardId = QStringLiteral("base1-4");
        owned.setId = QStringLiteral("base1");
        owned.localId = QStringLiteral("004");
        collection.addEntry(owned);
        AddCardsDialog dialog(m_client.get(), &catalog, nullptr, &collection);
        auto *series = child<QComboBox>(dialog, "serieCombo");
        auto *sets = child<QComboBox>(dialog, "setCombo");
        auto *table = child<QTableView>(dialog, "cardsTable");

        QCOMPARE(series->count(), 4);
        QCOMPARE(series->itemText(0), QStringLiteral("All series"));
        QCOMPARE(series->itemData(0).toString(), QString());
        QCOMPARE(sets->count(), 6);
        QCOMPARE(sets->iconSize(), QSize(66, 22));
        QCOMPARE(sets->itemData(0, Qt::UserRole + 1).toString(), art(QStringLiteral("/univ/base/base1/symbol")));
        QCOMPARE(sets->currentData().toString(), QStringLiteral("base1"));
        QCOMPARE(table->model()->rowCount(), 3);
        QVERIFY(table->isColumnHidden(3) && table->isColumnHidden(4));
        QCOMPARE(text(dialog, "statusLabel"),
                 QStringLiteral("Base Set - released 9 January 1999. 3 card(s). Double-click a card to add it."));
        QVERIFY(table->model()->index(tableRow(table, QStringLiteral("base1-4")), 2).data(Qt::UserRole + 4).toBool());
        QVERIFY(!table->model()->index(tableRow(table, QStringLiteral("base1-58")), 2).data(Qt::UserRole + 4).toBool());
        // The symbol of the shown set is asked for once.
        QTRY_COMPARE(m_standIn->requestCount(QStringLiteral("/base/base1/symbol")), 1);

        selectData(sets, QStringLiteral("base2"));
        QCOMPARE(text(dialog, "statusLabel"),
                 QStringLiteral("Jungle - TCGdex lists 64 card(s) for this set but holds no Japanese card data for "
                                "it, so there is nothing to show."));
        selectData(sets, QStringLiteral("base3"));
        QCOMPARE(text(dialog, "statusLabel"), QStringLiteral("Fossil - no cards in the catalog."));

        // An undated set asks the card database once; the answer dates it.
        selectData(series, QStringLiteral("sv"));
        QCOMPARE(sets->count(), 1);
        QCOMPARE(text(dialog, "statusLabel"), QStringLiteral("151. 3 card(s). Double-click a card to add it."));
        QTRY_COMPARE(text(dialog, "statusLabel"),
                     QStringLiteral("151 - released 22 September 2023. 3 card(s). Double-click a card to add it."));
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/v2/en/sets/sv03.5")), 1);
        QCOMPARE(catalog.setById(Language::English, QStringLiteral("sv03.5"))->releaseDate, QDate(2023, 9, 22));

        // A series refill that keeps the set does not reload its cards.
        QSignalSpy resets(table->model(), &QAbstractItemModel::modelReset);
        selectData(series, QString());
        QCOMPARE(sets->currentData().toString(), QStringLiteral("sv03.5"));
        QCOMPARE(resets.size(), 0);
        QCOMPARE(table->model()->rowCount(), 3);

        emit catalog.refreshFinished(Language::English, false, QStringLiteral("HTTP 503"));
        QCOMPARE(text(dialog, "statusLabel"),
                 QStringLiteral("The catalog could not be updated, so this is the last copy downloaded. HTTP 503"));

        // Japanese: the listed-but-empty line, then no catalog at all.
        dialog.selectLanguage(Language::Japanese);
        QCOMPARE(sets->currentData().toString(), QStringLiteral("SV9"));
        QCOMPARE(text(dialog, "statusLabel"),
                 QStringLiteral("Battle Partners - TCGdex lists 100 card(s) for this set but holds no Japanese card "
                                "data for it, so there is nothing to show."));
        QFile::remove(test::cacheFile(Language::Japanese));
        CardCatalog empty(nullptr);
        AddCardsDialog bare(m_client.get(), &empty, nullptr, nullptr);
        bare.selectLanguage(Language::Japanese);
        QCOMPARE(child<QComboBox>(bare, "setCombo")->count(), 0);
        QCOMPARE(text(bare, "statusLabel"), QStringLiteral("No sets to show."));
        emit empty.refreshFinished(Language::Japanese, false, QStringLiteral("offline"));
        QCOMPARE(text(bare, "statusLabel"), QStringLiteral("The card catalog is unavailable: offline"));
        // A failure of the other language leaves the line alone.
        emit empty.refreshFinished(Language::English, false, QStringLiteral("elsewhere"));
        QCOMPARE(text(bare, "statusLabel"), QStringLiteral("The card catalog is unavailable: offline"));
    }

    // Undated Japanese sets under English names: once the card database has
    // dated them, the line reads as it does on the next visit, under the
    // English name. Tab leaves the card table for the next control.
    void undatedSetsReadAsOnTheNextVisit()
    {
        CatalogCache::Contents contents;
        contents.series = {SerieBrief{QStringLiteral("ADV"), QStringLiteral("ADV"), QString()},
                           SerieBrief{QStringLiteral("neo"), QStringLiteral("neo"), QString()}};
        contents.sets = {set(QStringLiteral("ADV5"), QStringLiteral("とかれた封印"), QStringLiteral("ADV"), 1, 83),
                         set(QStringLiteral("neo1"), QStringLiteral("金、銀、新世界へ..."), QStringLiteral("neo"), 2,
                             96)};
        contents.cards = {test::officialCard(QStringLiteral("neo1"), QStringLiteral("001"), QStringLiteral("奇妙な"),
                                             96, Normal, QString(), Language::Japanese),
                          test::officialCard(QStringLiteral("neo1"), QStringLiteral("002"),
                                             QStringLiteral("チコリータ"), 96, Normal, QString(), Language::Japanese)};
        contents.rarities = {QStringLiteral("Common")};
        contents.haveVariants = true;
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents, Language::Japanese));
        QTemporaryDir names;
        const test::AtScopeEnd builtInNames([wasEnabled = NameTranslator::isEnabled()] {
            NameTranslator::load();
            NameTranslator::setEnabled(wasEnabled);
        });
        NameTranslator::setEnabled(true);
        NameTranslator::loadFile(test::writeFixture(
            names.filePath(QStringLiteral("ja-en.json")),
            R"({"format": "tallowk-translations", "sets": {"ADV5": "Undone Seal", "neo1": "Gold, Silver, New World"}})"));

        CardCatalog catalog(nullptr);
        AddCardsDialog dialog(m_client.get(), &catalog, nullptr, nullptr);
        dialog.selectLanguage(Language::Japanese);
        auto *sets = child<QComboBox>(dialog, "setCombo");
        const QString empty = QStringLiteral("Undone Seal - TCGdex lists 83 card(s) for this set but holds no "
                                             "Japanese card data for it, so there is nothing to show.");
        selectData(sets, QStringLiteral("ADV5"));
        QCOMPARE(text(dialog, "statusLabel"), empty);
        QTRY_VERIFY(catalog.setById(Language::Japanese, QStringLiteral("ADV5"))->releaseDate.isValid());
        QCOMPARE(text(dialog, "statusLabel"), empty);

        selectData(sets, QStringLiteral("neo1"));
        QTRY_COMPARE(text(dialog, "statusLabel"),
                     QStringLiteral("Gold, Silver, New World - released 4 February "
                                    "2000. 2 card(s). Double-click a card to add it."));
        selectData(sets, QStringLiteral("ADV5"));
        QCOMPARE(text(dialog, "statusLabel"), empty);

        selectData(sets, QStringLiteral("neo1"));
        auto *table = child<QTableView>(dialog, "cardsTable");
        table->setCurrentIndex(table->model()->index(0, 1));
        QTest::keyClick(table, Qt::Key_Tab);
        QCOMPARE(table->currentIndex(), table->model()->index(0, 1));
        for (const QAbstractItemView *view : dialog.findChildren<QAbstractItemView *>())
            QVERIFY2(!view->tabKeyNavigation(), qPrintable(view->objectName()));
    }

    // While a rebuild runs, an empty set says the list is still coming.
    void rebuildingCatalogSaysSo()
    {
        CardCatalog catalog(m_client.get());
        AddCardsDialog dialog(m_client.get(), &catalog, nullptr, nullptr);
        auto *refresh = child<QPushButton>(dialog, "refreshCatalogButton");
        QVERIFY(refresh->isEnabled());
        refresh->click();
        QVERIFY(catalog.isRefreshing(Language::English));
        QVERIFY(!refresh->isEnabled());
        QCOMPARE(text(dialog, "catalogStatusLabel"), catalog.statusText(Language::English));
        selectData(child<QComboBox>(dialog, "setCombo"), QStringLiteral("base3"));
        QCOMPARE(text(dialog, "statusLabel"), QStringLiteral("Fossil - still downloading the card list..."));
        // The catalog goes before its rebuild finishes, so the fixture stays.
    }

    // A set asked for before its language's catalog is there is chosen once
    // the catalog arrives, switching the series first.
    void remembersSetUntilCatalogLoads()
    {
        QFile::remove(test::cacheFile(Language::Japanese));
        CardCatalog catalog(m_client.get());
        AddCardsDialog dialog(m_client.get(), &catalog, nullptr, nullptr);
        auto *series = child<QComboBox>(dialog, "serieCombo");
        auto *sets = child<QComboBox>(dialog, "setCombo");
        child<QTabWidget>(dialog, "modeTabs")->setCurrentIndex(1);
        dialog.preselect(Language::Japanese, QStringLiteral("SV3"));
        QCOMPARE(child<QTabWidget>(dialog, "modeTabs")->currentIndex(), 0);
        QVERIFY(sets->currentData().toString() != QStringLiteral("SV3"));
        QTRY_VERIFY_WITH_TIMEOUT(child<QTableView>(dialog, "cardsTable")->model()->rowCount() > 100, 60000);
        QCOMPARE(series->currentData().toString(), QStringLiteral("SV"));
        QCOMPARE(sets->currentData().toString(), QStringLiteral("SV3"));
        // Once landed, the set is no longer forced on later refills.
        selectData(series, QStringLiteral("PMCG"));
        QVERIFY(sets->currentData().toString() != QStringLiteral("SV3"));
    }

    // The search tab: its texts, the 2,000-card cap, the columns it shows
    // and the way back to the set.
    void searchTabTextsAndLimit()
    {
        CardCatalog catalog(nullptr);
        AddCardsDialog dialog(nullptr, &catalog, nullptr, nullptr);
        auto *tabs = child<QTabWidget>(dialog, "modeTabs");
        auto *table = child<QTableView>(dialog, "cardsTable");
        auto *name = child<QLineEdit>(dialog, "nameSearchEdit");
        auto *number = child<QLineEdit>(dialog, "numberSearchEdit");
        auto *count = child<QLineEdit>(dialog, "countSearchEdit");
        auto *filter = child<QLineEdit>(dialog, "searchEdit");
        filter->setText(QStringLiteral("char"));
        QCOMPARE(table->model()->rowCount(), 1);

        tabs->setCurrentIndex(1);
        QVERIFY(filter->text().isEmpty());
        QVERIFY(!table->isColumnHidden(3) && !table->isColumnHidden(4));
        QCOMPARE(table->model()->rowCount(), 0);
        QCOMPARE(text(dialog, "statusLabel"),
                 QStringLiteral("Search by name, by the number printed on the card (\"005\" or \"005/165\"), or by "
                                "how many cards the set has."));
        // Every printing is offered while no one set is chosen.
        QCOMPARE(comboKeys(child<QComboBox>(dialog, "editionCombo")),
                 (QStringList{QStringLiteral("unlimited"), QStringLiteral("firstEdition"),
                              QStringLiteral("shadowless")}));

        name->setText(QStringLiteral("P"));
        QTRY_COMPARE(text(dialog, "statusLabel"),
                     QStringLiteral("Type at least 2 character(s) of the name, or a card number."));
        QCOMPARE(table->model()->rowCount(), 0);

        name->setText(QStringLiteral("Pika"));
        QTRY_COMPARE(text(dialog, "statusLabel"),
                     QStringLiteral("2101 matches; showing the first 2000. Double-click a card to add it."));
        QCOMPARE(table->model()->rowCount(), 2000);

        // A number alone searches; so does a set size alone.
        name->clear();
        number->setText(QStringLiteral("005/165"));
        QTRY_COMPARE(text(dialog, "statusLabel"), QStringLiteral("1 match(es). Double-click a card to add it."));
        QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("005/165"));
        number->clear();
        count->setText(QStringLiteral("102"));
        QTRY_COMPARE(text(dialog, "statusLabel"), QStringLiteral("3 match(es). Double-click a card to add it."));
        count->clear();
        name->setText(QStringLiteral("zzzz"));
        QTRY_COMPARE(text(dialog, "statusLabel"),
                     QStringLiteral("No card matches. Check the number, or widen the search."));

        // A language without a catalog cannot be searched.
        dialog.selectLanguage(Language::Japanese);
        QCOMPARE(text(dialog, "statusLabel"),
                 QStringLiteral("The card catalog is not available yet. Press Refresh."));
        dialog.selectLanguage(Language::English);

        // At its opening size, on a 1366 x 768 screen as on a larger one, the
        // numbers and the prices show whole and in view, and the set column
        // holds a set's name on one line or wraps it between whole words,
        // however long the names. Themed as the program always is.
        const test::DefaultTheme themed;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(900, 700));
        name->setText(QStringLiteral("Pika"));
        QTRY_COMPARE(table->model()->rowCount(), 2000);
        QHeaderView *header = table->horizontalHeader();
        const auto cellFor = [table](const QString &text) { return ColumnWidths::cellWidth(table, text); };
        // The columns are fitted once the rows are in.
        QTRY_VERIFY(header->sectionSize(3) >= cellFor(QStringLiteral("Base Set"))
                    && header->sectionSize(3) >= cellFor(QStringLiteral("Collection")));
        QTRY_VERIFY(header->length() <= table->viewport()->width());
        QTRY_COMPARE(table->horizontalScrollBar()->maximum(), 0);
        // Their titles may end in an ellipsis, not their figures.
        for (int column : {1, 5}) {
            for (int row = 0; row < 5; ++row)
                QVERIFY(table->visualRect(table->model()->index(row, column)).width()
                        >= table->sizeHintForIndex(table->model()->index(row, column)).width());
        }

        // Shown narrow, the set and series columns leave the name whole and
        // the set's name a line; the table scrolls instead.
        name->clear();
        dialog.resize(600, 500);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        number->setText(QStringLiteral("005/165"));
        QTRY_COMPARE(table->model()->rowCount(), 1);
        QTRY_VERIFY(table->columnWidth(2) >= table->sizeHintForIndex(table->model()->index(0, 2)).width()
                    && table->columnWidth(3) >= cellFor(QStringLiteral("151")));
        number->clear();

        tabs->setCurrentIndex(0);
        QVERIFY(table->isColumnHidden(3) && table->isColumnHidden(4));
        QCOMPARE(table->model()->rowCount(), 3);
        QVERIFY(text(dialog, "statusLabel").startsWith(QStringLiteral("Base Set - released")));
    }

    // The preview waits 350 ms on one card; moving on the same card does not
    // restart the wait; press, wheel, leave and hide end it; a picture of
    // something else arriving does not.
    void hoverPreviewTimerAndStops()
    {
        CardCatalog catalog(nullptr);
        AddCardsDialog dialog(m_client.get(), &catalog, nullptr, nullptr);
        const QString base = art(QStringLiteral("/en/base/base1/4"));
        test::cachePicture(*m_client, cardImageUrl(base, true), QSize(245, 342), Qt::red);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *table = child<QTableView>(dialog, "cardsTable");
        auto *popup = dialog.findChild<CardPreviewPopup *>();
        QTimer *timer = nullptr;
        for (QTimer *candidate : dialog.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (candidate->isSingleShot() && candidate->interval() == 350)
                timer = candidate;
        }
        QVERIFY(popup && timer);
        QWidget *viewport = table->viewport();
        const int row = tableRow(table, QStringLiteral("base1-4"));
        const QPoint onCard = table->visualRect(table->model()->index(row, 2)).center();
        const QPoint onOther = table->visualRect(table->model()->index(row == 0 ? 1 : 0, 2)).center();

        const auto armOnCard = [&] {
            mouseMove(viewport, onCard);
            QVERIFY(timer->isActive());
            QVERIFY(!popup->isVisible());
        };

        armOnCard();
        QTest::qWait(120);
        mouseMove(viewport, onCard + QPoint(3, 0));
        QVERIFY(!timer->isActive() || timer->remainingTime() < 300);
        QTRY_VERIFY(popup->isVisible());
        // Another picture arriving leaves the preview up.
        emit m_client->imageReady(999, setArtworkUrl(art(QStringLiteral("/univ/base/base1/symbol"))),
                                  test::plainPicture(QSize(20, 20), Qt::blue));
        QVERIFY(popup->isVisible());

        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, onCard);
        QVERIFY(!popup->isVisible() && !timer->isActive());
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, onCard);

        // A move onto another card re-arms; wheel, leave and hide disarm.
        armOnCard();
        mouseMove(viewport, onOther);
        QVERIFY(timer->isActive());
        QWheelEvent wheel(QPointF(onCard), QPointF(viewport->mapToGlobal(onCard)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &wheel);
        QVERIFY(!timer->isActive());

        armOnCard();
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(viewport, &leave);
        QVERIFY(!timer->isActive());

        armOnCard();
        QTRY_VERIFY(popup->isVisible());
        dialog.hide();
        QVERIFY(!popup->isVisible() && !timer->isActive());
    }

    // The side pane and the pending lines: printings per card and per set,
    // merging, grading, removal, the custom card, the OK button, Return in
    // the fields, and the result turned into one undo step.
    void attributesPendingLinesAndResult()
    {
        CardCatalog catalog(nullptr);
        Collection collection;
        AddCardsDialog dialog(nullptr, &catalog, nullptr, &collection);
        auto *table = child<QTableView>(dialog, "cardsTable");
        auto *finish = child<QComboBox>(dialog, "finishCombo");
        auto *edition = child<QComboBox>(dialog, "editionCombo");
        auto *condition = child<QComboBox>(dialog, "conditionCombo");
        auto *company = child<QComboBox>(dialog, "gradeCompanyCombo");
        auto *grade = child<QLineEdit>(dialog, "gradeNoteEdit");
        auto *quantity = child<QSpinBox>(dialog, "countSpin");
        QPushButton *ok = child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
        QCOMPARE(ok->text(), QStringLiteral("Add"));
        QVERIFY(!ok->isEnabled());
        QCOMPARE(condition->currentData().toInt(), int(Condition::NearMint));
        QCOMPARE(company->currentText(), QStringLiteral("Ungraded"));
        QVERIFY(!grade->isEnabled());

        // The set's printings, then the current card's.
        QCOMPARE(comboKeys(finish), allFinishes());
        QCOMPARE(comboKeys(edition), allEditions());
        QVERIFY(edition->isEnabled());
        table->setCurrentIndex(table->model()->index(tableRow(table, QStringLiteral("base1-4")), 1));
        QTRY_COMPARE(comboKeys(finish), QStringList{QStringLiteral("holo")});
        table->selectionModel()->clearCurrentIndex();
        QTRY_COMPARE(comboKeys(finish), allFinishes());

        // A finish the card lacks falls back to its first one; the same card
        // twice is one line; another condition is another line.
        selectData(finish, QStringLiteral("reverse"));
        doubleClick(table, QStringLiteral("base1-4"));
        doubleClick(table, QStringLiteral("base1-4"));
        QCOMPARE(dialog.pendingEntries().size(), 1);
        QCOMPARE(dialog.pendingEntries().at(0).variant, QStringLiteral("holo"));
        QCOMPARE(dialog.pendingEntries().at(0).count, 2);
        QCOMPARE(ok->text(), QStringLiteral("Add 1 card(s)"));
        QVERIFY(ok->isEnabled());
        selectData(condition, int(Condition::Excellent));
        doubleClick(table, QStringLiteral("base1-4"));
        QCOMPARE(dialog.pendingEntries().size(), 2);
        // Unresolved printings keep the chosen attributes.
        quantity->setValue(3);
        doubleClick(table, QStringLiteral("base1-44"));
        QCOMPARE(dialog.pendingEntries().at(2).variant, QStringLiteral("reverse"));
        QCOMPARE(dialog.pendingEntries().at(2).count, 3);

        // A grade needs a company; "Ungraded" clears what was typed.
        selectData(company, int(GradingCompany::PSA));
        QVERIFY(grade->isEnabled());
        grade->setText(QStringLiteral(" 10 "));
        quantity->setValue(1);
        doubleClick(table, QStringLiteral("base1-58"));
        QCOMPARE(dialog.pendingEntries().at(3).gradeNote, QStringLiteral("10"));
        selectData(company, int(GradingCompany::None));
        QVERIFY(grade->text().isEmpty() && !grade->isEnabled());
        doubleClick(table, QStringLiteral("base1-58"));
        QCOMPARE(dialog.pendingEntries().size(), 5);
        QCOMPARE(dialog.pendingEntries().at(4).gradeNote, QString());
        QCOMPARE(pendingTexts(dialog),
                 (QStringList{QStringLiteral("2x  -  4 Charizard  -  Holo  -  Near Mint (NM)"),
                              QStringLiteral("1x  -  4 Charizard  -  Holo  -  Excellent (EX)"),
                              QStringLiteral("3x  -  44 Bulbasaur  -  Reverse Holo  -  Excellent (EX)"),
                              QStringLiteral("1x  -  58 Pikachu  -  Normal  -  Excellent (EX)  -  PSA 10"),
                              QStringLiteral("1x  -  58 Pikachu  -  Normal  -  Excellent (EX)")}));
        QCOMPARE(ok->text(), QStringLiteral("Add 5 card(s)"));

        // Every line shows whole in the dialog's default size: a long one wraps.
        auto *list = child<QListWidget>(dialog, "pendingList");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (int row = 0; row < list->count(); ++row) {
            const QRect rect = list->visualRect(list->model()->index(row, 0));
            const QRect needed = list->fontMetrics().boundingRect(QRect(0, 0, rect.width(), 10000), Qt::TextWordWrap,
                                                                  list->item(row)->text());
            QVERIFY2(rect.right() <= list->viewport()->width() && needed.height() <= rect.height(),
                     qPrintable(list->item(row)->text()));
        }

        // Removing rows 1 and 3 of five removes exactly those.
        auto *remove = child<QPushButton>(dialog, "removePendingButton");
        QVERIFY(!remove->isEnabled());
        list->item(1)->setSelected(true);
        list->item(3)->setSelected(true);
        QVERIFY(remove->isEnabled());
        const QList<CardEntry> before = dialog.pendingEntries();
        remove->click();
        QCOMPARE(dialog.pendingEntries(), (QList<CardEntry>{before.at(0), before.at(2), before.at(4)}));
        QVERIFY(!remove->isEnabled());

        // A card from another set brings its record; removing its line drops
        // the record from the result.
        selectData(child<QComboBox>(dialog, "serieCombo"), QStringLiteral("sv"));
        doubleClick(table, QStringLiteral("sv03.5-005"));
        QCOMPARE(dialog.pendingSets().size(), 2);
        list->item(3)->setSelected(true);
        remove->click();
        QCOMPARE(dialog.pendingSets().size(), 1);
        QCOMPARE(dialog.pendingSets().at(0).id, QStringLiteral("base1"));
        QCOMPARE(dialog.pendingSets().at(0).serie, QStringLiteral("Base"));

        // The card the database does not hold.
        test::PromptScope prompts;
        int asked = 0;
        DialogPrompts::setExec([&asked](QDialog &sub) {
            ++asked;
            auto *buttons = sub.findChild<QDialogButtonBox *>();
            QPushButton *subOk = buttons->button(QDialogButtonBox::Ok);
            if (subOk->isEnabled())
                return int(QDialog::Rejected);
            auto *setCombo = sub.findChild<QComboBox *>();
            const QList<QLineEdit *> edits = sub.findChildren<QLineEdit *>();
            edits.at(0)->setText(QStringLiteral(" SM103a "));
            if (subOk->isEnabled())
                return int(QDialog::Rejected);
            edits.at(1)->setText(QStringLiteral("Lunala GX"));
            if (!subOk->isEnabled() || setCombo->currentData().toString() != QStringLiteral("sv03.5"))
                return int(QDialog::Rejected);
            setCombo->setCurrentIndex(setCombo->findData(QStringLiteral("base1")));
            return int(QDialog::Accepted);
        });
        child<QPushButton>(dialog, "addManualButton")->click();
        QCOMPARE(asked, 1);
        QCOMPARE(dialog.pendingEntries().size(), 4);
        const CardEntry custom = dialog.pendingEntries().last();
        QCOMPARE(custom.cardId, QStringLiteral("base1-SM103a"));
        QCOMPARE(custom.localId, QStringLiteral("SM103a"));
        QCOMPARE(custom.name, QStringLiteral("Lunala GX"));
        QVERIFY(custom.image.isEmpty());

        // Return in a search or filter field does not accept the dialog.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!ok->isDefault());
        for (const char *field : {"searchEdit", "nameSearchEdit"}) {
            QLineEdit *edit = child<QLineEdit>(dialog, field);
            child<QTabWidget>(dialog, "modeTabs")->setCurrentIndex(QByteArray(field) == "searchEdit" ? 0 : 1);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return);
            QVERIFY(dialog.isVisible());
        }
        // Return and Enter stage the highlighted card; the wheel leaves the set lists.
        child<QTabWidget>(dialog, "modeTabs")->setCurrentIndex(0);
        table->setFocus();
        table->setCurrentIndex(table->model()->index(tableRow(table, QStringLiteral("sv03.5-005")), 1));
        QTest::keyClick(table, Qt::Key_Return);
        QTest::keyClick(table, Qt::Key_Enter);
        QCOMPARE(dialog.pendingEntries().size(), 5);
        QCOMPARE(dialog.pendingEntries().last().count, 2);
        for (QComboBox *combo : {child<QComboBox>(dialog, "serieCombo"), child<QComboBox>(dialog, "setCombo")}) {
            const int row = combo->currentIndex();
            for (int delta : {120, -120}) {
                QWheelEvent wheel(QPointF(4, 4), combo->mapToGlobal(QPointF(4, 4)), QPoint(), QPoint(0, delta),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(combo, &wheel);
                QCOMPARE(combo->currentIndex(), row);
            }
        }
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        // One undo step adds every line and undo takes them all away.
        QUndoStack stack;
        stack.push(new AddCardsCommand(&collection, dialog.pendingEntries(), dialog.pendingSets()));
        QCOMPARE(stack.count(), 1);
        QCOMPARE(collection.entries().size(), 5);
        stack.undo();
        QVERIFY(collection.entries().isEmpty());

        // Clear all.
        child<QPushButton>(dialog, "clearPendingButton")->click();
        QVERIFY(dialog.pendingEntries().isEmpty());
        QVERIFY(!ok->isEnabled());
    }

    // Fallback prices are asked for whenever the set request ends: with a
    // date, and when it fails.
    void setPricesFollowTheSetRequest()
    {
        CardCatalog catalog(nullptr);
        PriceIndex prices;
        FallbackPrices fallback(nullptr, &prices);
        fallback.setCatalog(&catalog);
        AddCardsDialog dialog(m_client.get(), &catalog, &fallback, nullptr);
        auto *series = child<QComboBox>(dialog, "serieCombo");
        auto *sets = child<QComboBox>(dialog, "setCombo");
        // A dated set asks at once.
        QVERIFY(prices.setState(Language::English, QStringLiteral("base1")) != PriceIndex::NotIndexed);

        selectData(series, QStringLiteral("tst"));
        selectData(sets, QStringLiteral("zz1"));
        QCOMPARE(prices.setState(Language::English, QStringLiteral("zz1")), PriceIndex::NotIndexed);
        QTRY_VERIFY(m_standIn->requestCount(QStringLiteral("/v2/en/sets/zz1")) == 1);
        QTRY_VERIFY(prices.setState(Language::English, QStringLiteral("zz1")) != PriceIndex::NotIndexed);

        selectData(series, QStringLiteral("sv"));
        QCOMPARE(prices.setState(Language::English, QStringLiteral("sv03.5")), PriceIndex::NotIndexed);
        QTRY_VERIFY(prices.setState(Language::English, QStringLiteral("sv03.5")) != PriceIndex::NotIndexed);
    }
};

PV_REGISTER_TEST(AddCardsDialogTest)
#include "AddCardsDialogTest.moc"
