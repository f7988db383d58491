#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "ui/CardViewTestSupport.h"

#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/FallbackPrices.h"
#include "core/CardArtwork.h"
#include "core/Currency.h"
#include "core/PriceSource.h"
#include "prices/PriceIndex.h"
#include "standin/WebStandIn.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "ui/dialogs/LabelPreviewDialog.h"
#include "ui/dialogs/PreferencesDialog.h"
#include "ui/ThemeManager.h"
#include "ui/widgets/CardDetailsWidget.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace pv;
using pv::test::WebStandIn;

namespace {

template<typename T>
T *child(QWidget &panel, const char *name)
{
    T *found = panel.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("the card panel has no %s", name);
    return found;
}

QString text(QWidget &panel, const char *name)
{
    return child<QLabel>(panel, name)->text();
}

QStringList comboTexts(QWidget &panel, const char *name)
{
    QStringList texts;
    const auto *combo = child<QComboBox>(panel, name);
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

CardEntry charizard()
{
    CardEntry entry = test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"));
    entry.variant = QStringLiteral("holo");
    entry.condition = Condition::Excellent;
    entry.gradeCompany = GradingCompany::PSA;
    entry.gradeNote = QStringLiteral("10");
    entry.count = 2;
    entry.notes = QStringLiteral("binder 2");
    return entry;
}

// Five notches of the wheel over the widget.
void turnWheel(QWidget *widget)
{
    for (int notch = 0; notch < 5; ++notch) {
        QWheelEvent event(QPointF(4, 4), widget->mapToGlobal(QPointF(4, 4)), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(widget, &event);
    }
}

// Turns the wheel over every combo box and spin box below the pane; true
// when one of them took it.
bool wheelMovesAnEditor(QWidget &pane)
{
    QList<QWidget *> editors;
    for (QComboBox *combo : pane.findChildren<QComboBox *>())
        editors.append(combo);
    for (QAbstractSpinBox *spin : pane.findChildren<QAbstractSpinBox *>())
        editors.append(spin);
    const auto texts = [&editors] {
        QStringList found;
        for (const QWidget *editor : std::as_const(editors))
            found.append(editor->property(qobject_cast<const QComboBox *>(editor) ? "currentText" : "text").toString());
        return found;
    };
    const QStringList before = texts();
    for (QWidget *editor : std::as_const(editors))
        turnWheel(editor);
    return texts() != before;
}

CardDetail pricedCard(const QByteArray &pricingJson)
{
    CardDetail card;
    card.id = QStringLiteral("base1-4");
    card.localId = QStringLiteral("4");
    card.name = QStringLiteral("Charizard");
    card.setId = QStringLiteral("base1");
    card.setName = QStringLiteral("Base Set");
    card.rarity = QStringLiteral("Rare Holo");
    card.illustrator = QStringLiteral("Someone Else");
    card.variants = {{QStringLiteral("holo"), true}, {QStringLiteral("normal"), true}};
    card.pricing = QJsonDocument::fromJson(pricingJson).object();
    return card;
}

} // namespace

class CardDetailsWidgetTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;

    // Shows the entry and waits for the client to answer the panel's card
    // request; returns that request's id.
    int showAndAwaitCard(CardDetailsWidget &panel, const CardEntry &entry)
    {
        QSignalSpy ready(m_client.get(), &TcgdexClient::cardReady);
        QSignalSpy failed(m_client.get(), &TcgdexClient::requestFailed);
        panel.showEntry(entry);
        if (!QTest::qWaitFor([&] { return !ready.isEmpty() || !failed.isEmpty(); }, 10000))
            return 0;
        return (ready.isEmpty() ? failed : ready).at(0).at(0).toInt();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
        test::setSetting(QStringLiteral("pricing/usdToEur"), 0.9123456);
        test::setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_10"), 2.5);
        test::setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_9"), 1.0);
        Currency::reload();
    }

    void init()
    {
        m_standIn->reset();
        QPixmapCache::clear();
        m_client = std::make_unique<TcgdexClient>();
        m_client->imageCache().clear();
    }

    void cleanup() { m_client.reset(); }

    void editorsCommitOnlyRealChanges()
    {
        CardDetailsWidget panel;
        QSignalSpy edited(&panel, &CardDetailsWidget::entryEdited);
        QCOMPARE(text(panel, "imageLabel"), QStringLiteral("Select a card in the collection"));
        QVERIFY(!child<QGroupBox>(panel, "copyBox")->isEnabled());
        QCOMPARE(child<QGroupBox>(panel, "valueBox")->title(),
                 QStringLiteral("Market value (%1)").arg(Currency::currentCode()));

        CardEntry entry = charizard();
        entry.unitValueEur = 0.0;
        panel.showEntry(entry);
        QCOMPARE(edited.size(), 0);
        QVERIFY(child<QGroupBox>(panel, "copyBox")->isEnabled());
        QCOMPARE(text(panel, "titleLabel"), QStringLiteral("Charizard"));
        QCOMPARE(text(panel, "numberValue"), QStringLiteral("4"));
        QCOMPARE(text(panel, "languageValue"), languageDisplayName(Language::English));
        QCOMPARE(text(panel, "rarityValue"), QStringLiteral("loading..."));
        // Stored values before any card record: nothing priced yet.
        QCOMPARE(text(panel, "eurValue"), QStringLiteral("no price"));
        QCOMPARE(text(panel, "usdValue"), QStringLiteral("-"));
        QCOMPARE(text(panel, "lineTotalValue"), QStringLiteral("-"));
        // Base Set offers three editions.
        QVERIFY(child<QComboBox>(panel, "editionCombo")->isEnabled());
        QCOMPARE(child<QComboBox>(panel, "conditionCombo")->currentText(), conditionDisplayName(Condition::Excellent));
        QVERIFY(child<QLineEdit>(panel, "gradeNoteEdit")->isEnabled());

        // Quantity 2 -> 3 -> 2: one edit each.
        auto *count = child<QSpinBox>(panel, "countSpin");
        count->setValue(3);
        QCOMPARE(edited.size(), 1);
        QCOMPARE(edited.at(0).at(0).value<CardEntry>().count, 3);
        count->setValue(2);
        QCOMPARE(edited.size(), 2);
        QCOMPARE(edited.at(1).at(0).value<CardEntry>().count, 2);

        // No-op edits emit nothing.
        auto *finish = child<QComboBox>(panel, "finishCombo");
        finish->setCurrentIndex(finish->currentIndex());
        Q_EMIT child<QLineEdit>(panel, "notesEdit")->editingFinished();
        Q_EMIT child<QLineEdit>(panel, "gradeNoteEdit")->editingFinished();
        QCOMPARE(edited.size(), 2);

        // An editor left without a current item keeps the holding's value.
        child<QComboBox>(panel, "conditionCombo")->setCurrentIndex(-1);
        child<QComboBox>(panel, "gradeCompanyCombo")->setCurrentIndex(-1);
        QCOMPARE(edited.size(), 2);
        count->setValue(5);
        QCOMPARE(edited.size(), 3);
        CardEntry sent = edited.at(2).at(0).value<CardEntry>();
        QCOMPARE(sent.condition, Condition::Excellent);
        QCOMPARE(sent.gradeCompany, GradingCompany::PSA);
        QCOMPARE(sent.gradeNote, QStringLiteral("10"));

        // Ungraded empties and disables the grade.
        auto *company = child<QComboBox>(panel, "gradeCompanyCombo");
        company->setCurrentIndex(company->findData(int(GradingCompany::None)));
        QCOMPARE(edited.size(), 4);
        sent = edited.at(3).at(0).value<CardEntry>();
        QCOMPARE(sent.gradeCompany, GradingCompany::None);
        QVERIFY(sent.gradeNote.isEmpty());
        QVERIFY(!child<QLineEdit>(panel, "gradeNoteEdit")->isEnabled());
        QVERIFY(child<QLineEdit>(panel, "gradeNoteEdit")->text().isEmpty());

        // Another holding: the editors change, nothing is emitted. Its finish
        // is not among those offered and is appended; a custom price shows.
        CardEntry other = charizard();
        other.cardId = QStringLiteral("sv03-4");
        other.setId = QStringLiteral("sv03");
        other.variant = QStringLiteral("cosmos");
        other.customPriceEur = 4.5;
        other.count = 2;
        other.unitValueUsd = 3.0;
        panel.setEntry(other);
        QCOMPARE(edited.size(), 4);
        QCOMPARE(comboTexts(panel, "finishCombo").last(), QStringLiteral("cosmos"));
        QCOMPARE(finish->currentText(), QStringLiteral("cosmos"));
        // Only the unlimited run exists for this set.
        QCOMPARE(comboTexts(panel, "editionCombo"), QStringList{editionDisplayName(QStringLiteral("unlimited"))});
        QVERIFY(!child<QComboBox>(panel, "editionCombo")->isEnabled());
        QCOMPARE(text(panel, "eurValue"), QStringLiteral("%1 (custom)").arg(Currency::formatFromEur(4.5)));
        QCOMPARE(text(panel, "usdValue"), Currency::formatFromUsd(3.0));
        QCOMPARE(text(panel, "lineTotalValue"), Currency::formatFromEur(9.0));

        // A holding whose finish was never stated shows "Not stated" first.
        other.variant.clear();
        panel.setEntry(other);
        QCOMPARE(comboTexts(panel, "finishCombo").first(), QStringLiteral("Not stated"));
        QCOMPARE(finish->currentIndex(), 0);
        QCOMPARE(edited.size(), 4);
        // Choosing a finish then commits it.
        finish->setCurrentIndex(1);
        QCOMPARE(edited.size(), 5);
        QCOMPARE(edited.at(4).at(0).value<CardEntry>().variant, finish->itemData(1).toString());

        panel.clear();
        QCOMPARE(text(panel, "imageLabel"), QStringLiteral("Select a card in the collection"));
        QCOMPARE(text(panel, "numberValue"), QStringLiteral("-"));
        QCOMPARE(text(panel, "eurValue"), QStringLiteral("-"));
        QVERIFY(!child<QGroupBox>(panel, "copyBox")->isEnabled());
        count->setValue(9);
        QCOMPARE(edited.size(), 5);
    }

    void liveValuesComeFromThePanelsOwnRequest()
    {
        CardDetailsWidget panel;
        panel.setTcgdexClient(m_client.get());
        panel.resize(440, 900);
        panel.show();
        CardEntry entry = charizard();
        entry.count = 3;
        entry.unitValueEur = 7.0;
        const int id = showAndAwaitCard(panel, entry);
        QVERIFY(id > 0);
        // The stand-in's own record of the card.
        QCOMPARE(text(panel, "rarityValue"), QStringLiteral("Rare"));
        QCOMPARE(text(panel, "illustratorValue"), QStringLiteral("Mitsuhiro Arita"));
        QCOMPARE(text(panel, "setValue"), QStringLiteral("Base Set"));
        QCOMPARE(text(panel, "imageLabel"), QStringLiteral("No artwork available"));

        // Cardmarket first: the row shows Cardmarket times the PSA 10
        // multiplier 2.5; the line total is the line's value, as the tree's.
        Q_EMIT m_client->cardReady(id, Language::English,
                                   pricedCard(R"({"cardmarket":{"trend-holo":12},"tcgplayer":{"holofoil":{"marketPrice":20}}})"));
        QCOMPARE(text(panel, "rarityValue"), QStringLiteral("Rare Holo"));
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(30.0));
        QCOMPARE(text(panel, "usdValue"), Currency::formatFromUsd(50.0));
        QCOMPARE(text(panel, "lineTotalValue"), Currency::formatFromEur(21.0));
        QCOMPARE(text(panel, "priceNoteLabel"), QString());

        // The higher of both: valued at the converted TCGplayer price.
        PriceSource::setCurrent(PriceSource::HighestOfBoth);
        panel.refresh();
        PriceSource::setCurrent(PriceSource::Cardmarket);
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(30.0));
        QCOMPARE(text(panel, "priceNoteLabel"),
                 QStringLiteral("Valued at the TCGplayer price, which is the higher of the two, converted at "
                                "0.9123 USD/EUR."));

        // Answers to other requests change nothing.
        CardDetail stranger = pricedCard("{}");
        stranger.rarity = QStringLiteral("Common");
        Q_EMIT m_client->cardReady(id + 100, Language::English, stranger);
        Q_EMIT m_client->cardReady(0, Language::English, stranger);
        QCOMPARE(text(panel, "rarityValue"), QStringLiteral("Rare Holo"));

        // Fallback prices only, on a grade without premium.
        entry.gradeNote = QStringLiteral("9");
        panel.setEntry(entry);
        Q_EMIT m_client->cardReady(id, Language::English,
                                   pricedCard(R"({"tcgcsv":{"unit":"USD","holofoil":{"marketPrice":20}}})"));
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(20 * 0.9123456));
        QCOMPARE(text(panel, "usdValue"), Currency::formatFromUsd(20.0));
        QCOMPARE(text(panel, "priceNoteLabel"),
                 QStringLiteral("Cardmarket does not price this card; the Cardmarket row is the USD market price "
                                "converted at 0.9123 USD/EUR.\n"
                                "Price from TCGCSV (TCGplayer market data).\n"
                                "Graded copy valued at the raw price (no grade premium configured)."));
        // Wrapped in the narrow side column, every line of the note shows.
        auto *note = child<QLabel>(panel, "priceNoteLabel");
        QTRY_VERIFY(note->height() >= note->heightForWidth(note->width()));
        QVERIFY(note->heightForWidth(note->width()) > 3 * note->fontMetrics().lineSpacing());

        // A custom price wins over the live ones.
        entry.customPriceEur = 2.0;
        panel.setEntry(entry);
        panel.refresh();
        QCOMPARE(text(panel, "eurValue"), QStringLiteral("%1 (custom)").arg(Currency::formatFromEur(2.0)));
        QCOMPARE(text(panel, "lineTotalValue"), Currency::formatFromEur(6.0));
        QVERIFY(!text(panel, "priceNoteLabel").contains(QLatin1String("Graded copy"))); // the grade does not value it

        // Once another holding is shown, the old request is stale.
        CardEntry japanese = charizard();
        japanese.lang = Language::Japanese;
        japanese.cardId = QStringLiteral("zz-9");
        japanese.setId = QStringLiteral("zz");
        japanese.gradeCompany = GradingCompany::None;
        japanese.gradeNote.clear();
        japanese.rarity = QStringLiteral("Promo");
        const int japaneseId = showAndAwaitCard(panel, japanese);
        QVERIFY(japaneseId > id);
        Q_EMIT m_client->cardReady(id, Language::English, stranger);
        // The stand-in does not know the card: its stored rarity shows.
        QCOMPARE(text(panel, "rarityValue"), QStringLiteral("Promo"));
        Q_EMIT m_client->cardReady(japaneseId, Language::Japanese, pricedCard(R"({"cardmarket":{"trend":3}})"));
        QCOMPARE(text(panel, "usdValue"), QStringLiteral("not listed"));
        QCOMPARE(text(panel, "priceNoteLabel"), QStringLiteral("TCGplayer does not list Japanese printings."));
    }

    // A 1st Edition whose euros a refresh kept, its rates refused, while
    // its dollar figure was renewed: the rows and the note convert that
    // figure at the rate in use, the stored one, else the built-in, and
    // the line total is the line's value.
    void dollarsAreShownAtTheRateInUse_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("rate");
        QTest::newRow("a rate stored") << QVariant(0.9123456) << 0.9123456;
        QTest::newRow("none stored") << QVariant() << 0.86;
    }
    void dollarsAreShownAtTheRateInUse()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, rate);
        const test::AtScopeEnd restore([] {
            test::setSetting(QStringLiteral("pricing/usdToEur"), 0.9123456);
            Currency::reload();
        });
        test::setSetting(QStringLiteral("pricing/usdToEur"), stored);
        Currency::reload();
        CardDetailsWidget panel;
        panel.setTcgdexClient(m_client.get());
        CardEntry entry =
            test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 4369.19);
        entry.edition = QStringLiteral("firstEdition");
        entry.unitValueUsd = 3657.59;
        Q_EMIT m_client->cardReady(showAndAwaitCard(panel, entry), Language::English,
                                   pricedCard(R"({"cardmarket":{"trend":3},
                                                 "tcgplayer":{"1stEditionNormal":{"marketPrice":3657.59}}})"));
        QCOMPARE(text(panel, "usdValue"), Currency::formatFromEur(3657.59 * rate));
        QCOMPARE(text(panel, "lineTotalValue"), Currency::formatFromEur(4369.19));
        const QString note = text(panel, "priceNoteLabel");
        QVERIFY2(note.contains(QStringLiteral("converted at %1 USD/EUR.").arg(QLocale().toString(rate, 'f', 4))),
                 qPrintable(note));
    }

    void fallbackStatusFollowsTheIndex()
    {
        CardDetailsWidget panel;
        Collection collection;
        PriceIndex index;
        FallbackPrices prices(&collection, &index);
        panel.setTcgdexClient(m_client.get());
        panel.setCollection(&collection);
        panel.setFallbackPrices(&prices);
        CardEntry entry = charizard();
        entry.cardId = QStringLiteral("zz9-1");
        entry.setId = QStringLiteral("zz9");
        entry.gradeCompany = GradingCompany::None;
        entry.gradeNote.clear();
        int id = showAndAwaitCard(panel, entry);
        QVERIFY(id > 0);
        // A set the collection does not hold is named after its id, and
        // that name is not matched to anything.
        QCOMPARE(text(panel, "setValue"), QStringLiteral("zz9"));
        QCOMPARE(text(panel, "serieValue"), QStringLiteral("-"));
        QCOMPARE(text(panel, "yearValue"), QStringLiteral("-"));
        QCOMPARE(index.setState(Language::English, QStringLiteral("zz9")), PriceIndex::NotIndexed);

        collection.mergeSetInfo(test::setRecord(QStringLiteral("zz9"), QStringLiteral("Nowhere Expansion")));
        id = showAndAwaitCard(panel, entry);
        Q_EMIT m_client->cardReady(id, Language::English, pricedCard("{}"));
        if (index.setState(Language::English, QStringLiteral("zz9")) == PriceIndex::Pending)
            QCOMPARE(text(panel, "priceNoteLabel"), QStringLiteral("Looking up fallback prices..."));
        QCOMPARE(text(panel, "eurValue"), QStringLiteral("not listed"));
        QCOMPARE(text(panel, "lineTotalValue"), QStringLiteral("-"));
        QTRY_COMPARE_WITH_TIMEOUT(text(panel, "priceNoteLabel"),
                                  QStringLiteral("No TCGCSV set matched this expansion, so no fallback prices are "
                                                 "available."),
                                  20000);
    }

    void aSourceAskedOrFailedShowsNoFigure_data()
    {
        QTest::addColumn<QString>("failing");   // requests refused
        QTest::addColumn<QString>("held");      // requests held back while the panel is read
        QTest::addColumn<QString>("tcgplayer"); // the row's text; empty: a figure
        QTest::newRow("TCGCSV answers") << QString() << QString() << QString();
        QTest::newRow("TCGCSV refused") << QStringLiteral("^/tcgplayer/") << QString() << QStringLiteral("unknown");
        QTest::newRow("its shadowless group refused")
            << QStringLiteral("^/tcgplayer/3/1663/") << QString() << QStringLiteral("unknown");
        // Base Set's own group fails: the shadowless group's figure is unknown, as a refresh takes it.
        QTest::newRow("its own group refused")
            << QStringLiteral("^/tcgplayer/3/604/") << QString() << QStringLiteral("unknown");
        QTest::newRow("TCGCSV slow") << QString() << QStringLiteral("^/tcgplayer/")
                                     << QStringLiteral("looking up\u2026");
    }
    // A Shadowless Blastoise, whose dollar figure only TCGCSV gives: with
    // TCGCSV failing, the TCGplayer row reads "unknown" beside the Cardmarket
    // figure, and the line total is the stored one, said to be stored. While
    // TCGCSV is still asked, the row says so, and nothing says it failed.
    void aSourceAskedOrFailedShowsNoFigure()
    {
        QFETCH(QString, failing);
        QFETCH(QString, held);
        if (!failing.isEmpty())
            m_standIn->addFault(failing, WebStandIn::Fault::refuse(), -1);
        if (!held.isEmpty())
            m_standIn->addFault(held, WebStandIn::Fault::hold(30000), -1);
        Collection collection;
        collection.mergeSetInfo(test::setRecord(QStringLiteral("base1"), QStringLiteral("Base Set"), QString(), 1, 102,
                                                102, Language::English, QDate(1999, 1, 9)));
        PriceIndex index;
        FallbackPrices prices(&collection, &index);
        CardDetailsWidget panel;
        panel.setTcgdexClient(m_client.get());
        panel.setCollection(&collection);
        panel.setFallbackPrices(&prices);
        CardEntry entry =
            test::holding(QStringLiteral("base1"), QStringLiteral("2"), QStringLiteral("Blastoise"), 43.78);
        entry.variant = QStringLiteral("holo");
        entry.edition = QStringLiteral("shadowless");
        entry.unitValueUsd = 48.0;
        entry.priceUpdated = QDateTime(QDate(2026, 8, 21), QTime(12, 0));
        QSignalSpy settled(&prices, &FallbackPrices::settled);
        QVERIFY(showAndAwaitCard(panel, entry) > 0);
        QVERIFY(!held.isEmpty() || !settled.isEmpty() || settled.wait(20000));
        QFETCH(QString, tcgplayer);
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur((19.06 + 20.81 + 21.36) / 3));
        const QString usd = text(panel, "usdValue");
        QVERIFY2(tcgplayer.isEmpty() ? usd.contains(QRegularExpression(QStringLiteral("\\d"))) : usd == tcgplayer,
                 qPrintable(usd));
        const QString total = Currency::formatFromEur(43.78);
        QCOMPARE(text(panel, "lineTotalValue"),
                 tcgplayer.isEmpty() ? total : QStringLiteral("%1 (stored\u00a021\u00a0Aug\u00a02026)").arg(total));
        // Only a failure is said to be one.
        const QString note = text(panel, "priceNoteLabel");
        QCOMPARE(note.startsWith(QLatin1String("TCGplayer's figure is not known: ")), !failing.isEmpty());
        QCOMPARE(note.startsWith(QLatin1String("TCGplayer's figure is not known yet: ")), !held.isEmpty());
    }

    // Beside the picture and editors, the facts' column is narrow: a value
    // that takes two lines there makes its row taller, after a card whose
    // facts took one line each, and not the next card's, at the least width
    // that keeps the columns side by side and at a laptop's.
    void longFactsShowWhole()
    {
        Collection collection;
        collection.mergeSetInfo(test::setRecord(QStringLiteral("PMCG1"), QStringLiteral("拡張パック"),
                                                QStringLiteral("ポケットモンスターカードゲーム"), 1, 102, 102,
                                                Language::Japanese, QDate(1996, 10, 20)));
        // In a dock on a laptop screen, styled, the panel scrolls.
        QScrollArea dock;
        dock.setStyleSheet(ThemeManager::themeStyleSheet(ThemeManager::loadTheme(ThemeManager::defaultThemeName())));
        dock.setWidgetResizable(true);
        auto *panel = new CardDetailsWidget;
        dock.setWidget(panel); // owned
        panel->setTcgdexClient(m_client.get());
        panel->setCollection(&collection);
        const CardEntry japanese = test::holding(QStringLiteral("PMCG1"), QStringLiteral("021"),
                                                 QStringLiteral("リザードン"), 250.0, Language::Japanese);
        CardDetail card = pricedCard("{}");
        card.illustrator = QStringLiteral("PLANETA Mochizuki");
        card.rarity = QStringLiteral("Special illustration rare");
        auto *serie = child<QLabel>(*panel, "serieValue");
        CardEntry stored = test::holding(QStringLiteral("zz"), QStringLiteral("1"), QStringLiteral("Nowhere"), 3369.19);
        stored.priceUpdated = QDateTime(QDate(2026, 12, 10), QTime(12, 0));
        auto *total = child<QLabel>(*panel, "lineTotalValue");
        for (const int width : {panel->sideBySideWidth(), 540}) {
            dock.resize(width + dock.verticalScrollBar()->sizeHint().width(), 400);
            dock.show();
            Q_EMIT m_client->cardReady(showAndAwaitCard(*panel, charizard()), Language::English, pricedCard("{}"));
            // One line again after the long facts of the card before.
            QTRY_VERIFY(serie->height() < 2 * serie->fontMetrics().lineSpacing());
            Q_EMIT m_client->cardReady(showAndAwaitCard(*panel, japanese), Language::Japanese, card);
            QTRY_VERIFY(serie->heightForWidth(serie->width()) > serie->fontMetrics().lineSpacing());
            for (QLabel *value : child<QGroupBox>(*panel, "cardBox")->findChildren<QLabel *>())
                QTRY_VERIFY2(value->height() >= value->heightForWidth(value->width()), qPrintable(value->text()));
            panel->showEntry(stored); // a stored figure's mark, never broken, shows whole
            QTRY_VERIFY2(total->text().contains(QChar::Nbsp) && total->width() >= total->minimumSizeHint().width(),
                         qPrintable(total->text()));
        }
    }

    void artworkAndSetLogo()
    {
        Collection collection;
        SetRecord base;
        base.id = QStringLiteral("base1");
        base.name = QStringLiteral("Base Set");
        base.serie = QStringLiteral("Base");
        base.releaseDate = QDate(1999, 1, 9);
        base.logo = m_standIn->assetsUrl() + QStringLiteral("/en/base/base1/logo");
        base.symbol = m_standIn->assetsUrl() + QStringLiteral("/univ/base/base1/symbol");
        collection.mergeSetInfo(base);
        pv::test::cachePicture(*m_client, setArtworkUrl(base.logo), QSize(300, 100), Qt::darkCyan);

        CardDetailsWidget panel;
        panel.setTcgdexClient(m_client.get());
        panel.setCollection(&collection);
        panel.resize(700, 800);
        panel.show();
        auto *image = child<QLabel>(panel, "imageLabel");
        auto *logo = child<QLabel>(panel, "setLogoLabel");

        // Without artwork the logo fits 3H x H, H being an eighth of the
        // label's height (18 to 56 px), 5 px inside the label's corner.
        CardEntry entry = charizard();
        panel.showEntry(entry);
        QCOMPARE(image->text(), QStringLiteral("No artwork available"));
        QCOMPARE(text(panel, "serieValue"), QStringLiteral("Base"));
        QCOMPARE(text(panel, "yearValue"), QStringLiteral("1999"));
        QTRY_VERIFY(logo->isVisible());
        image->resize(300, 400);
        QCOMPARE(logo->size(), QSize(150, 50));
        QCOMPARE(logo->geometry().right(), image->rect().right() - 5);
        QCOMPARE(logo->geometry().bottom(), image->rect().bottom() - 5);
        image->setMinimumSize(0, 0);
        image->resize(300, 100);
        QCOMPARE(logo->size(), QSize(54, 18));
        QCOMPARE(logo->geometry().bottom(), 100 - 1 - 5);
        image->setMinimumSize(200, 360);

        // With artwork it sits in the corner of the picture, also when the
        // picture is narrower than its label.
        entry.image = m_standIn->assetsUrl() + QStringLiteral("/en/base/base1/4");
        panel.showEntry(entry);
        QCOMPARE(image->text(), QStringLiteral("Loading artwork..."));
        QTRY_VERIFY(!image->pixmap().isNull());
        QTRY_VERIFY(logo->isVisible());
        QVERIFY(image->text().isEmpty());
        image->resize(500, 400);
        QRect picture(QPoint(0, 0), image->pixmap().deviceIndependentSize().toSize());
        QVERIFY(picture.width() < 400);
        picture.moveCenter(image->contentsRect().center());
        QCOMPARE(logo->size(), QSize(150, 50));
        QCOMPARE(logo->geometry().right(), picture.right() - 5);
        QCOMPARE(logo->geometry().bottom(), picture.bottom() - 5);
        QTRY_COMPARE(m_client->pendingCount(), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/symbol")), 0);

        // Artwork that fails, and a logo that fails: the symbol is tried once.
        QPixmapCache::clear();
        m_client->imageCache().clear();
        pv::test::cachePicture(*m_client, setArtworkUrl(base.symbol), QSize(90, 30), Qt::red);
        m_standIn->clearLog();
        m_standIn->addFault(QStringLiteral("/high\\.png$|/logo\\.png$"), WebStandIn::Fault::httpStatus(404), -1);
        panel.showEntry(entry);
        QVERIFY(!logo->isVisible());
        QTRY_COMPARE(image->text(), QStringLiteral("Artwork unavailable"));
        QTRY_VERIFY(logo->isVisible());
        QCOMPARE(logo->pixmap().toImage().pixelColor(5, 5), QColor(Qt::red));
        QTRY_COMPARE(m_client->pendingCount(), 0);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/logo\\.png$")), 1);
    }

    void thePanelShowsTheCardItNames()
    {
        CardDetailsWidget panel;
        panel.setTcgdexClient(m_client.get());
        panel.resize(700, 800);
        panel.show();
        auto *image = child<QLabel>(panel, "imageLabel");

        // After a card with artwork, a holding without any shows no picture,
        // however the panel is resized.
        CardEntry entry = charizard();
        entry.image = m_standIn->assetsUrl() + QStringLiteral("/en/base/base1/4");
        panel.showEntry(entry);
        QTRY_VERIFY(!image->pixmap().isNull());
        QTRY_COMPARE(m_client->pendingCount(), 0);
        entry.image.clear();
        entry.rarity = QStringLiteral("Rare Holo");

        // The card database fails, answers with another card's record or
        // with a price beyond belief: the holding's own rarity shows, no
        // source's figure is made up, the line total is the stored one, and
        // the note says what became of the answer.
        entry.unitValueEur = 4.81;
        entry.priceUpdated = QDateTime(QDate(2026, 8, 21), QTime(12, 0));
        const QByteArray blastoise = R"({"id":"base1-2","name":"Blastoise","rarity":"Common",)"
                                     R"("illustrator":"Ken Sugimori","set":{"id":"base1"}})";
        const QByteArray absurd = R"({"id":"base1-4","name":"Charizard","set":{"id":"base1"},)"
                                  R"("pricing":{"cardmarket":{"trend":1e308}}})";
        const QList<std::pair<WebStandIn::Fault, const char *>> failures =
            {{WebStandIn::Fault::httpStatus(404), "answered with an error"},
             {WebStandIn::Fault::custom(200, "application/json", blastoise), "was refused"},
             {WebStandIn::Fault::custom(200, "application/json", absurd), "was refused"}};
        for (const auto &[failure, said] : failures) {
            const int fault = m_standIn->addFault(QStringLiteral("/cards/base1-4$"), failure, -1);
            QVERIFY(showAndAwaitCard(panel, entry) > 0);
            image->resize(image->width() + 40, image->height() + 40);
            QVERIFY(image->pixmap().isNull());
            QCOMPARE(image->text(), QStringLiteral("No artwork available"));
            QCOMPARE(text(panel, "rarityValue"), QStringLiteral("Rare Holo"));
            QCOMPARE(text(panel, "illustratorValue"), QStringLiteral("-"));
            QCOMPARE(text(panel, "eurValue") + text(panel, "usdValue"), QStringLiteral("unknownunknown"));
            QCOMPARE(text(panel, "lineTotalValue"),
                     QStringLiteral("%1 (stored\u00a021\u00a0Aug\u00a02026)").arg(Currency::formatFromEur(2 * 4.81)));
            QVERIFY2(text(panel, "priceNoteLabel").contains(QLatin1String(said)), said);
            m_standIn->removeFault(fault);
        }

        // Edits keep the figures fetched for the printing; another finish or
        // edition shows its own price from the same record.
        const int id = showAndAwaitCard(panel, entry);
        QVERIFY(id > 0);
        Q_EMIT m_client->cardReady(id, Language::English, pricedCard(R"({"cardmarket":{"trend-holo":12.5,"trend":3},
                                                  "tcgplayer":{"shadowlessHolofoil":{"marketPrice":10}}})"));
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(12.5 * 2.5));
        auto *notes = child<QLineEdit>(panel, "notesEdit");
        notes->setText(QStringLiteral("sleeved"));
        Q_EMIT notes->editingFinished();
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(12.5 * 2.5));
        entry.notes = notes->text();
        panel.setEntry(entry);
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(12.5 * 2.5));
        auto *finish = child<QComboBox>(panel, "finishCombo");
        finish->setCurrentIndex(finish->findData(QStringLiteral("normal")));
        QCOMPARE(text(panel, "eurValue"), Currency::formatFromEur(3 * 2.5));
        finish->setCurrentIndex(finish->findData(QStringLiteral("holo")));

        // A shadowless figure comes before Cardmarket, even when Cardmarket is
        // the price source and the dearer one: the note says so.
        auto *edition = child<QComboBox>(panel, "editionCombo");
        QVERIFY(edition->findData(QStringLiteral("shadowless")) >= 0);
        edition->setCurrentIndex(edition->findData(QStringLiteral("shadowless")));
        QCOMPARE(text(panel, "usdValue"), Currency::formatFromUsd(2.5 * 10));
        QCOMPARE(text(panel, "priceNoteLabel"),
                 QStringLiteral("Valued at the TCGplayer price of this edition, which comes before Cardmarket, "
                                "converted at 0.9123 USD/EUR."));
    }

    void theWheelChangesOnlyAFocusedEditor()
    {
        CardDetailsWidget panel;
        panel.show();
        panel.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        QSignalSpy edited(&panel, &CardDetailsWidget::entryEdited);
        panel.showEntry(charizard());
        PreferencesDialog preferences;
        LabelPreviewDialog labels({}, std::nullopt);
        AddCardsDialog addCards(nullptr, nullptr, nullptr, nullptr);
        for (QWidget *pane : {static_cast<QWidget *>(&panel), static_cast<QWidget *>(&preferences),
                              labels.findChild<QWidget *>(QStringLiteral("settingsPanel")),
                              addCards.findChild<QWidget *>(QStringLiteral("attributesBox"))})
            QVERIFY(!wheelMovesAnEditor(*pane));
        QCOMPARE(edited.size(), 0);

        // Clicked into, an editor takes the wheel.
        auto *condition = child<QComboBox>(panel, "conditionCombo");
        condition->setFocus();
        QTRY_VERIFY(condition->hasFocus());
        turnWheel(condition);
        QVERIFY(!edited.isEmpty());
    }

    void priceNoteTakesThePlaceholderColour()
    {
        CardDetailsWidget panel;
        auto *note = child<QLabel>(panel, "priceNoteLabel");
        for (const QColor &colour : {QColor(1, 2, 3), QColor(200, 100, 50, 128)}) {
            QPalette palette = panel.palette();
            palette.setColor(QPalette::PlaceholderText, colour);
            panel.setPalette(palette);
            note->ensurePolished();
            QCOMPARE(note->palette().color(QPalette::WindowText), colour);
        }
    }
};

PV_REGISTER_TEST(CardDetailsWidgetTest)
#include "CardDetailsWidgetTest.moc"
