#include "DialogTestSupport.h"
#include "Fixtures.h"
#include "TestRegistry.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "catalog/CardCatalog.h"
#include "catalog/TcgdexClient.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "core/FxRates.h"
#include "core/SteadyClock.h"
#include "ui/mainwindow/MainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QUndoStack>

using namespace pv;

// The window's Add cards command: the dialog's lines become one undo step.
class MainWindowAddCardsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // One set of a hundred cards.
        CatalogCache::Contents contents;
        contents.series = {SerieBrief{QStringLiteral("base"), QStringLiteral("Base"), QString()},
                           SerieBrief{QStringLiteral("gym"), QStringLiteral("Gym"), QString()}};
        CatalogSet set =
            test::catalogSet(QStringLiteral("base1"), QStringLiteral("Base Set"), QStringLiteral("base"), 1, 100, 100);
        set.releaseDate = QDate(1999, 1, 9);
        const CatalogSet gym =
            test::catalogSet(QStringLiteral("gym1"), QStringLiteral("Gym Heroes"), QStringLiteral("gym"), 2, 3, 3);
        contents.sets = {set, gym};
        for (int i = 1; i <= 100; ++i)
            contents.cards.append(
                test::officialCard(set.id, QString::number(i), QStringLiteral("Card %1").arg(i), 100, 1));
        for (int i = 1; i <= 3; ++i)
            contents.cards.append(
                test::officialCard(gym.id, QString::number(i), QStringLiteral("Gym %1").arg(i), 3, 1));
        contents.cards[1].rarity = QStringLiteral("Common");
        contents.rarities = {QStringLiteral("Common")};
        contents.cards[3].name = QStringLiteral("Charizard");
        contents.cards[3].printingMask = 2 | 8; // holo, first edition
        contents.haveVariants = true;
        contents.savedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(test::saveCatalogCache(contents));
    }

    void cleanupTestCase() { QFile::remove(test::cacheFile(Language::English)); }
    void cleanup() { DialogPrompts::reset(); }

    void hundredLinesAreOneUndoStep()
    {
        test::PromptScope prompts;
        MainWindow window;
        QAction *action = window.findChild<QAction *>(QStringLiteral("actionAddCards"));
        QVERIFY(action && action->isEnabled());

        // Cancel adds nothing, whatever was staged.
        int opened = 0;
        DialogPrompts::setExec([&opened](QDialog &dialog) {
            ++opened;
            auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            emit table->doubleClicked(table->model()->index(0, 1));
            return int(QDialog::Rejected);
        });
        action->trigger();
        QCOMPARE(opened, 1);
        QCOMPARE(window.undoStack()->count(), 0);

        QString chosenSet;
        DialogPrompts::setExec([&chosenSet](QDialog &dialog) {
            chosenSet = dialog.findChild<QComboBox *>(QStringLiteral("setCombo"))->currentData().toString();
            auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            for (int row = 0; row < table->model()->rowCount(); ++row)
                emit table->doubleClicked(table->model()->index(row, 1));
            return int(QDialog::Accepted);
        });
        window.addCards(QStringLiteral("en:base1"));
        QCOMPARE(chosenSet, QStringLiteral("base1"));
        Collection *collection = window.collection();
        QCOMPARE(collection->entries().size(), 100);
        QCOMPARE(window.undoStack()->count(), 1);
        QCOMPARE(collection->setInfo(Language::English, QStringLiteral("base1")).name, QStringLiteral("Base Set"));

        window.undoStack()->undo();
        QVERIFY(collection->entries().isEmpty());
        QVERIFY(collection->sets().isEmpty());
        window.undoStack()->redo();
        QCOMPARE(collection->entries().size(), 100);
        QCOMPARE(collection->sets().size(), 1);
        window.collection()->setDirty(false);
    }

    // A first-edition Charizard, whose edition price only TCGCSV's data has
    // (for Base Set's shadowless group), added with stale rates: valued at
    // once as the next refresh values it, however the dialog found it.
    void anAddedCardIsValuedAsARefreshValuesIt()
    {
        test::PromptScope prompts;
        for (const bool browse : {false, true}) {
            FxRates::store({{QStringLiteral("EUR"), 0.86}}, SteadyClock::today().addDays(-3));
            MainWindow window;
            DialogPrompts::setExec([browse](QDialog &dialog) {
                auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
                if (!browse) {
                    dialog.findChild<QTabWidget *>(QStringLiteral("modeTabs"))->setCurrentIndex(1);
                    dialog.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"))
                        ->setText(QStringLiteral("Charizard"));
                }
                auto *edition = dialog.findChild<QComboBox *>(QStringLiteral("editionCombo"));
                edition->setCurrentIndex(edition->findData(QStringLiteral("firstEdition")));
                const auto row = [table] {
                    return table->model()->match(table->model()->index(0, 1), Qt::UserRole + 1,
                                                 QStringLiteral("base1-4"));
                };
                if (QTest::qWaitFor([row] { return !row().isEmpty(); }, 5000))
                    emit table->doubleClicked(row().constFirst());
                return int(QDialog::Accepted);
            });
            window.addCards(browse ? QStringLiteral("en:base1") : QString());
            QTRY_VERIFY_WITH_TIMEOUT(!window.isPriceRefreshRunning(), 30000);
            const CardEntry added = window.collection()->entries().value(0);
            // The first edition's 3657.59 USD at today's 1 / 1.0856 EUR.
            QCOMPARE(qRound64(added.unitValueEur * 100), 336919);
            window.refreshPrices();
            QTRY_VERIFY_WITH_TIMEOUT(!window.isPriceRefreshRunning(), 30000);
            QCOMPARE(window.collection()->entries().value(0).unitValueEur, added.unitValueEur);
            window.collection()->setDirty(false);
        }
    }

    // The one Add cards dialog opens, every time, as a dialog just built on
    // the set opens, whatever the last opening left, and makes its own
    // rarity pass.
    void everyOpeningStartsAsANewDialog()
    {
        test::PromptScope prompts;
        MainWindow window;
        CardCatalog *catalog = window.catalog();
        // What the user finds in the dialog as it opens.
        const auto shown = [](QDialog &dialog) {
            QStringList state;
            for (const QComboBox *combo : dialog.findChildren<QComboBox *>())
                state << combo->objectName() + QLatin1Char('=') + combo->currentText()
                        + QString::number(combo->count());
            for (const QLineEdit *edit : dialog.findChildren<QLineEdit *>())
                state << edit->objectName() + QLatin1Char('=') + edit->text() + QString::number(edit->isEnabled());
            for (const QPushButton *button : dialog.findChildren<QPushButton *>())
                state << button->text() + QString::number(button->isEnabled());
            for (const QLabel *label : dialog.findChildren<QLabel *>())
                state << label->text();
            const auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            state << QString::number(table->model()->rowCount()) << QString::number(table->currentIndex().row())
                  << QString::number(table->horizontalHeader()->sortIndicatorSection())
                  << QString::number(table->horizontalHeader()->sortIndicatorOrder())
                  << QString::number(dialog.findChild<QTabWidget *>(QStringLiteral("modeTabs"))->currentIndex())
                  << QString::number(dialog.findChild<QListWidget *>(QStringLiteral("pendingList"))->count())
                  << QString::number(dialog.width()) << QString::number(dialog.height())
                  << (dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString());
            return state;
        };
        // Everything a user could change, and a line staged.
        const auto leaveBehind = [](QDialog &dialog) {
            auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            emit table->doubleClicked(table->model()->index(0, 1));
            table->sortByColumn(2, Qt::DescendingOrder);
            table->setCurrentIndex(table->model()->index(1, 1));
            // The language too, quietly: another language's catalog would be
            // fetched and left for the suites after this one.
            for (const char *name : {"conditionCombo", "gradeCompanyCombo", "finishCombo", "languageCombo"}) {
                auto *combo = dialog.findChild<QComboBox *>(QLatin1String(name));
                const QSignalBlocker quiet(qstrcmp(name, "languageCombo") == 0 ? combo : nullptr);
                combo->setCurrentIndex(combo->count() - 1);
            }
            dialog.findChild<QLineEdit *>(QStringLiteral("gradeNoteEdit"))->setText(QStringLiteral("9.5"));
            dialog.findChild<QSpinBox *>(QStringLiteral("countSpin"))->setValue(4);
            dialog.findChild<QTabWidget *>(QStringLiteral("modeTabs"))->setCurrentIndex(1);
            dialog.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"))->setText(QStringLiteral("Gym"));
            dialog.findChild<QLineEdit *>(QStringLiteral("numberSearchEdit"))->setFocus();
            dialog.resize(1000, 800);
        };
        for (const QString &set : {QStringLiteral("gym1"), QStringLiteral("base1"), QStringLiteral("gym1")}) {
            QStringList expected;
            {
                AddCardsDialog fresh(window.tcgdexClient(), catalog, window.fallbackPrices(), window.collection(),
                                     &window);
                fresh.preselect(Language::English, set);
                expected = shown(fresh);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!catalog->isResolvingRarities(Language::English), 30000);
            bool passStarted = false;
            QStringList opened;
            DialogPrompts::setExec([&](QDialog &dialog) {
                passStarted = catalog->isResolvingRarities(Language::English);
                opened = shown(dialog);
                leaveBehind(dialog);
                return int(QDialog::Rejected);
            });
            window.addCards(QStringLiteral("en:") + set);
            QVERIFY(passStarted);
            QCOMPARE(opened, expected);
        }
        QCOMPARE(window.undoStack()->count(), 0);
    }

    // Every opening of Add cards starts a rarity pass. Its end names the
    // holdings without a rarity that the catalog names; a pass that named
    // nothing new touches no row, unless another document came in since.
    void aPassThatNamesNothingNewFillsNothing()
    {
        test::PromptScope prompts;
        MainWindow window;
        CardCatalog *catalog = window.catalog();
        catalog->ensureLoaded(Language::English);
        window.tcgdexClient()->cancelAll(); // the pass it started stays unanswered
        Collection *collection = window.collection();
        const CardEntry unnamed = test::holdingOf(QStringLiteral("base1-2"));
        collection->replaceContents({unnamed}, {}, {}, {}, std::nullopt);
        QSignalSpy changes(collection, &Collection::changed);
        const auto passEnds = [&](bool changed) {
            emit catalog->raritiesLoaded(Language::English, changed);
            return collection->entries().last().rarity;
        };
        const QString named = catalog->cardById(Language::English, unnamed.cardId)->rarity;
        QVERIFY(!named.isEmpty());
        QCOMPARE(passEnds(false), named);
        CardEntry another = unnamed;
        another.condition = Condition::Played;
        collection->addEntry(another);
        changes.clear();
        QCOMPARE(passEnds(false), QString());
        QCOMPARE(changes.size(), 0);
        QCOMPARE(passEnds(true), named);
        collection->setDirty(false);
    }
};

PV_REGISTER_TEST(MainWindowAddCardsTest)
#include "MainWindowAddCardsTest.moc"
