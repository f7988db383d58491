#include "BinderFixtures.h"
#include "TestRegistry.h"

#include "catalog/DexIndex.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "collection/EditBinderCommand.h"
#include "collection/FallbackPrices.h"
#include "prices/PriceIndex.h"
#include "ui/dialogs/BinderDialog.h"
#include "ui/widgets/BinderPageWidget.h"
#include "ui/widgets/WrappingCheckBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <tuple>

using namespace pv;

namespace {

template <typename T>
T *child(QObject &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

QString text(QDialog &dialog, const char *label)
{
    return child<QLabel>(dialog, label)->text();
}

QList<QCheckBox *> rarityBoxes(QDialog &dialog)
{
    QList<QCheckBox *> boxes;
    for (QCheckBox *box : dialog.findChildren<QCheckBox *>()) {
        if (box->property("rarity").isValid() && !box->isHidden())
            boxes.append(box);
    }
    return boxes;
}

QCheckBox *rarityBox(QDialog &dialog, const QString &rarity)
{
    for (QCheckBox *box : rarityBoxes(dialog)) {
        if (box->property("rarity").toString() == rarity)
            return box;
    }
    return nullptr;
}

// Sends a key to the widget; true when something accepted it.
bool pressKey(QWidget *widget, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

} // namespace

class BinderDialogTest : public QObject
{
    Q_OBJECT

    CardCatalog *m_catalog = nullptr;
    DexIndex *m_dex = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        // Two vintage sets whose fallback prices the stand-in serves.
        QList<CatalogSet> vintage;
        QList<CatalogCard> vintageCards;
        for (const auto &[id, name, released] : {std::make_tuple("base1", "Base Set", QDate(1999, 1, 9)),
                                                 std::make_tuple("base2", "Jungle", QDate(1999, 6, 16))}) {
            CatalogSet set;
            set.id = QString::fromLatin1(id);
            set.name = QString::fromLatin1(name);
            set.serieId = QStringLiteral("base");
            set.releaseDate = released;
            set.order = 10 + int(vintage.size());
            vintage.append(set);
        }
        vintageCards = {test::fixtureCard(QStringLiteral("base1"), 4, QStringLiteral("Rare Holo")),
                        test::fixtureCard(QStringLiteral("base1"), 2, QStringLiteral("Rare Holo")),
                        test::fixtureCard(QStringLiteral("base2"), 1, QStringLiteral("Rare Holo")),
                        test::fixtureCard(QStringLiteral("base2"), 2, QStringLiteral("Rare Holo"))};
        vintageCards[0].name = QStringLiteral("Charizard");
        vintageCards[1].name = QStringLiteral("Blastoise");
        vintageCards[2].name = QStringLiteral("Clefable");
        vintageCards[3].name = QStringLiteral("Electrode");
        m_catalog = test::loadFixtureCatalog(this, {QStringLiteral("Common"), QStringLiteral("Rare"),
                                                    QStringLiteral("Rare Holo")}, vintage, vintageCards);
        QVERIFY(m_catalog);
        QCOMPARE(m_catalog->cardsInSet(Language::English, QStringLiteral("tst1")).size(), 12);
        // No client: numbers it does not know stay pending until told otherwise.
        m_dex = new DexIndex(nullptr, this);
    }

    void pagingCountsAndKeys()
    {
        Collection collection;
        for (int i = 1; i <= 7; ++i)
            collection.addEntry(test::holdingOf(QStringLiteral("tst1-%1").arg(i), 1));
        BinderDialog dialog(m_catalog, m_dex, nullptr, nullptr, &collection);
        Binder binder = test::setBinder("tst1");
        binder.hiddenRarities = {QStringLiteral("Rare Holo")};
        dialog.setBinder(binder);

        // Twelve resolved, seven owned; two hidden leave ten shown.
        QCOMPARE(text(dialog, "progressLabel"), QStringLiteral("7 of 12 - 58%"));
        QCOMPARE(dialog.shownCards().size(), 10);
        QCOMPARE(text(dialog, "pageLabel"), QStringLiteral("Page 1 of 2"));
        auto *prev = child<QPushButton>(dialog, "prevPageButton");
        auto *next = child<QPushButton>(dialog, "nextPageButton");
        QVERIFY(!prev->isEnabled());
        QVERIFY(next->isEnabled());
        auto *page = child<BinderPageWidget>(dialog, "pageWidget");
        QCOMPARE(page->pockets().size(), 9);

        // The arrow keys page even when a button or a check box has the focus.
        QVERIFY(pressKey(child<QPushButton>(dialog, "closeButton"), Qt::Key_Right));
        QCOMPARE(dialog.currentPage(), 1);
        QCOMPARE(text(dialog, "pageLabel"), QStringLiteral("Page 2 of 2"));
        QCOMPARE(page->pockets().size(), 1);
        QVERIFY(!next->isEnabled());
        QVERIFY(prev->isEnabled());
        QVERIFY(!pressKey(&dialog, Qt::Key_Right));
        QCOMPARE(dialog.currentPage(), 1);
        QVERIFY(pressKey(child<QCheckBox>(dialog, "showMissingCheck"), Qt::Key_Left));
        QCOMPARE(dialog.currentPage(), 0);
        QVERIFY(pressKey(&dialog, Qt::Key_Right));
        QCOMPARE(dialog.currentPage(), 1);

        // Rarity boxes count every resolved card; hiding missing cards keeps
        // the page, clamped.
        QCOMPARE(rarityBox(dialog, QStringLiteral("Common"))->text(), QStringLiteral("Show Common (6)"));
        QCOMPARE(rarityBox(dialog, QStringLiteral("Rare"))->text(), QStringLiteral("Show Rare (4)"));
        QVERIFY(!rarityBox(dialog, QStringLiteral("Rare Holo"))->isChecked());
        // A long rarity wraps in the narrow panel instead of being cut off.
        QVERIFY(qobject_cast<WrappingCheckBox *>(rarityBox(dialog, QStringLiteral("Rare"))));
        WrappingCheckBox wide(QStringLiteral("Show Special illustration rare (12)"));
        const int oneLine = wide.heightForWidth(wide.sizeHint().width());
        QVERIFY(wide.minimumSizeHint().width() < 120);
        QVERIFY(wide.heightForWidth(150) > oneLine);
        child<QCheckBox>(dialog, "showMissingCheck")->setChecked(false);
        QCOMPARE(dialog.shownCards().size(), 7);
        QCOMPARE(dialog.currentPage(), 0);
        QCOMPARE(text(dialog, "pageLabel"), QStringLiteral("Page 1 of 1"));

        // A layout change goes back to page 0.
        child<QCheckBox>(dialog, "showMissingCheck")->setChecked(true);
        auto *layout = child<QComboBox>(dialog, "layoutCombo");
        layout->setCurrentIndex(layout->findText(QStringLiteral("2 x 2")));
        QCOMPARE(page->columns(), 2);
        QCOMPARE(text(dialog, "pageLabel"), QStringLiteral("Page 1 of 3"));
        QVERIFY(pressKey(&dialog, Qt::Key_Right));
        QVERIFY(pressKey(&dialog, Qt::Key_Right));
        layout->setCurrentIndex(layout->findText(QStringLiteral("4 x 4")));
        QCOMPARE(dialog.currentPage(), 0);
        QCOMPARE(dialog.binder().columns, 4);
    }

    void emptyAndPendingBinders()
    {
        Collection collection;
        // Without services the page is empty and reads page 1 of 1.
        BinderDialog bare(nullptr, nullptr, nullptr, nullptr, nullptr);
        bare.setBinder(test::setBinder("tst1"));
        QCOMPARE(text(bare, "pageLabel"), QStringLiteral("Page 1 of 1"));

        BinderDialog dialog(m_catalog, m_dex, nullptr, nullptr, &collection);
        dialog.setBinder(test::setBinder("nothing"));
        QCOMPARE(text(dialog, "pageLabel"), QStringLiteral("Page 1 of 1"));
        QVERIFY(!child<QPushButton>(dialog, "prevPageButton")->isEnabled());
        QVERIFY(!child<QPushButton>(dialog, "nextPageButton")->isEnabled());
        QCOMPARE(text(dialog, "progressLabel"), QStringLiteral("Empty binder"));
        QCOMPARE(text(dialog, "rarityHint"), QStringLiteral("No rarities in this binder."));

        // Species still looked up, then a failed look-up: the wait ends.
        Binder species = newBinder(QStringLiteral("Species"), Language::English);
        BinderRule rule;
        rule.dexIds = {9001, 9002};
        species.rules = {rule};
        dialog.setBinder(species);
        QCOMPARE(text(dialog, "progressLabel"), QStringLiteral("Looking up cards..."));
        Q_EMIT m_dex->dexFailed(Language::English, 9001, QStringLiteral("offline"));
        QCOMPARE(text(dialog, "progressLabel"), QStringLiteral("Looking up cards..."));
        Q_EMIT m_dex->dexFailed(Language::English, 9002, QStringLiteral("offline"));
        QCOMPARE(text(dialog, "progressLabel"), QStringLiteral("Empty binder"));

        // Mixed: resolved cards plus a pending species.
        BinderRule set;
        set.setId = QStringLiteral("tst2");
        rule.dexIds = {9003};
        species.rules = {set, rule};
        dialog.setBinder(species);
        QCOMPARE(text(dialog, "progressLabel"), QStringLiteral("0 of 2 - 0% (still looking up 1 species)"));
    }

    void viewChangesAndTheStoredBinder()
    {
        Collection collection;
        Binder stored = test::setBinder("tst1");
        stored.columns = 5;
        stored.rows = 2;
        // A rarity the panel has no box for must survive every view change.
        stored.hiddenRarities = {QStringLiteral("Secret Rare")};
        collection.upsertBinder(stored);
        QUndoStack undo;

        BinderDialog dialog(m_catalog, m_dex, nullptr, nullptr, &collection);
        QSignalSpy changed(&dialog, &BinderDialog::binderChanged);
        connect(&dialog, &BinderDialog::binderChanged, &undo, [&](const Binder &after) {
            undo.push(new EditBinderCommand(&collection, *collection.binder(after.id), after));
            dialog.rebuild();
        });
        dialog.setBinder(stored);
        auto *layout = child<QComboBox>(dialog, "layoutCombo");
        QCOMPARE(layout->count(), 6);
        QCOMPARE(layout->currentText(), QStringLiteral("5 x 2"));
        QCOMPARE(child<BinderPageWidget>(dialog, "pageWidget")->columns(), 5);

        dialog.setBinder(stored);
        QVERIFY(pressKey(&dialog, Qt::Key_Right));
        QCOMPARE(dialog.currentPage(), 1);
        rarityBox(dialog, QStringLiteral("Common"))->setChecked(false);
        QCOMPARE(changed.size(), 1);
        Binder emitted = changed.at(0).at(0).value<Binder>();
        QCOMPARE(emitted.hiddenRarities, QStringList({QStringLiteral("Secret Rare"), QStringLiteral("Common")}));
        QCOMPARE(dialog.shownCards().size(), 6);
        QCOMPARE(dialog.currentPage(), 0);
        QCOMPARE(collection.binder(stored.id)->hiddenRarities, emitted.hiddenRarities);

        child<QCheckBox>(dialog, "showMissingCheck")->setChecked(false);
        emitted = changed.last().at(0).value<Binder>();
        QVERIFY(!emitted.showMissing);
        QVERIFY(emitted.hiddenRarities.contains(QStringLiteral("Secret Rare")));

        // Undo reaches the open dialog on its next rebuild.
        undo.undo();
        undo.undo();
        dialog.rebuild();
        QVERIFY(dialog.binder().showMissing);
        QCOMPARE(dialog.binder().hiddenRarities, QStringList({QStringLiteral("Secret Rare")}));
        QVERIFY(child<QCheckBox>(dialog, "showMissingCheck")->isChecked());
        QVERIFY(rarityBox(dialog, QStringLiteral("Common"))->isChecked());
        QCOMPARE(dialog.shownCards().size(), 12);

        // Detached: the view changes the same way, nothing is reported.
        BinderDialog detached(m_catalog, m_dex, nullptr, nullptr, &collection);
        QSignalSpy silent(&detached, &BinderDialog::binderChanged);
        detached.setDetached(true);
        detached.setBinder(stored);
        rarityBox(detached, QStringLiteral("Rare"))->setChecked(false);
        QCOMPARE(detached.shownCards().size(), 8);
        detached.rebuild();
        QCOMPARE(detached.shownCards().size(), 8);
        QCOMPARE(silent.size(), 0);
    }

    // Fallback prices reach the page once their sets are indexed; a set
    // already indexed is announced inside the request, while the dialog is
    // still walking its page.
    void fallbackPricesOfThePage()
    {
        Collection collection;
        PriceIndex index;
        FallbackPrices prices(&collection, &index);
        prices.setCatalog(m_catalog);
        QSignalSpy indexed(&index, &PriceIndex::setIndexed);
        BinderDialog dialog(m_catalog, m_dex, nullptr, &prices, &collection);
        Binder vintage = newBinder(QStringLiteral("Vintage"), Language::English);
        BinderRule base;
        base.setId = QStringLiteral("base1");
        BinderRule jungle;
        jungle.setId = QStringLiteral("base2");
        vintage.rules = {base, jungle};
        dialog.setBinder(vintage);
        QCOMPARE(dialog.pageCards().size(), 4);
        QTRY_COMPARE_WITH_TIMEOUT(indexed.size(), 2, 30000);
        const auto priced = [&dialog] {
            int count = 0;
            for (const BinderCard &card : dialog.pageCards())
                count += card.market > 0 ? 1 : 0;
            return count;
        };
        QVERIFY(priced() >= 2);
        const QList<BinderCard> shownPrices = child<BinderPageWidget>(dialog, "pageWidget")->pockets();

        dialog.setBinder(vintage);
        QCOMPARE(indexed.size(), 4);
        QCOMPARE(priced(), int(std::count_if(shownPrices.cbegin(), shownPrices.cend(),
                                             [](const BinderCard &card) { return card.market > 0; })));
    }

    void escapeLeavesFullScreenThenMaximisedThenCloses()
    {
        BinderDialog dialog(m_catalog, m_dex, nullptr, nullptr, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *maximize = child<QPushButton>(dialog, "maximizeButton");
        auto *fullScreen = child<QPushButton>(dialog, "fullScreenButton");
        maximize->click();
        QTRY_VERIFY(dialog.isMaximized());
        QCOMPARE(maximize->text(), QStringLiteral("Restore"));
        fullScreen->click();
        QTRY_VERIFY(dialog.isFullScreen());
        QCOMPARE(fullScreen->text(), QStringLiteral("Leave full screen"));

        QVERIFY(pressKey(&dialog, Qt::Key_Escape));
        QTRY_VERIFY(dialog.isMaximized() && !dialog.isFullScreen());
        QVERIFY(pressKey(&dialog, Qt::Key_Escape));
        QTRY_VERIFY(!dialog.isMaximized());
        QCOMPARE(maximize->text(), QStringLiteral("Maximize"));
        QCOMPARE(fullScreen->text(), QStringLiteral("Full screen"));
        QVERIFY(dialog.isVisible());
        pressKey(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }
};

PV_REGISTER_TEST(BinderDialogTest)
#include "BinderDialogTest.moc"
