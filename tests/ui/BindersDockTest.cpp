#include "BinderFixtures.h"
#include "DialogTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/CardCatalog.h"
#include "collection/AddCardsCommand.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "collection/EditEntryCommand.h"
#include "collection/RemoveEntryCommand.h"
#include "core/SteadyClock.h"
#include "ui/dialogs/BinderDialog.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

#include <memory>

using namespace pv;

namespace {

// Answers the new binder dialog: picks the template, names the binder and
// accepts.
void answerNewBinder(const QString &templateName, const QString &name)
{
    DialogPrompts::setExec([templateName, name](QDialog &dialog) {
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("templateCombo"));
        combo->setCurrentIndex(std::max(0, combo->findText(templateName)));
        dialog.findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(name);
        return int(QDialog::Accepted);
    });
}

QStringList menuTexts(QMenu &menu)
{
    QStringList texts;
    for (const QAction *action : menu.actions())
        texts.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

QAction *menuAction(QMenu &menu, const QString &text)
{
    for (QAction *action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class BindersDockTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The window's catalog reads this fresh cache instead of building one.
        std::unique_ptr<CardCatalog> catalog(test::loadFixtureCatalog(nullptr, {QStringLiteral("Common")}));
        QVERIFY(catalog);
    }

    void newOpenEditDeleteAndUndo()
    {
        test::PromptScope prompts;
        MainWindow window;
        Collection *collection = window.collection();
        auto *list = window.findChild<QListWidget *>(QStringLiteral("bindersList"));
        auto *deleteButton = window.findChild<QPushButton *>(QStringLiteral("deleteBinderButton"));
        QVERIFY(!deleteButton->isEnabled());
        window.deleteBinder();
        QVERIFY(prompts.questions.isEmpty());

        // A binder without a name, or without rules or a cap, is dropped.
        answerNewBinder(QStringLiteral("Custom binder"), QStringLiteral("Nothing in it"));
        window.newBinder();
        answerNewBinder(QStringLiteral("360 Most Valuable Cards"), QString());
        window.newBinder();
        QVERIFY(collection->binders().isEmpty());

        answerNewBinder(QStringLiteral("360 Most Valuable Cards"), QStringLiteral("Best"));
        window.findChild<QPushButton *>(QStringLiteral("newBinderButton"))->click();
        QCOMPARE(collection->binders().size(), 1);
        const Binder stored = collection->binders().constFirst();
        QCOMPARE(stored.topValue, 360);
        QCOMPARE(list->currentItem()->data(Qt::UserRole).toString(), stored.id);
        QVERIFY(deleteButton->isEnabled());
        QCOMPARE(window.findChildren<BinderDialog *>().size(), 1);
        BinderDialog *dialog = window.findChildren<BinderDialog *>().constFirst();
        QVERIFY(dialog->isVisible());

        // Opening it again raises the same dialog.
        Q_EMIT list->itemDoubleClicked(list->item(0));
        QCOMPARE(window.findChildren<BinderDialog *>().size(), 1);

        // A view change is an undoable edit, and undo reaches the dialog.
        const int commands = window.undoStack()->count();
        dialog->findChild<QCheckBox *>(QStringLiteral("showMissingCheck"))->setChecked(false);
        QCOMPARE(window.undoStack()->count(), commands + 1);
        QVERIFY(!collection->binder(stored.id)->showMissing);
        window.undoStack()->undo();
        QVERIFY(collection->binder(stored.id)->showMissing);
        QVERIFY(dialog->binder().showMissing);
        QVERIFY(dialog->findChild<QCheckBox *>(QStringLiteral("showMissingCheck"))->isChecked());

        // Closing deletes the dialog; the binder then opens in a new one.
        dialog->close();
        QTRY_VERIFY(window.findChildren<BinderDialog *>().isEmpty());
        Q_EMIT list->itemDoubleClicked(list->item(0));
        QCOMPARE(window.findChildren<BinderDialog *>().size(), 1);

        // Deleting asks first, closes the open dialog, and can be undone
        // without reopening it.
        prompts.questionAnswers = {QMessageBox::No};
        deleteButton->click();
        QCOMPARE(prompts.questions, QStringList({QStringLiteral("Delete binder|Delete the binder \"Best\"? The cards "
                                                                "in your collection are not affected.")}));
        QCOMPARE(collection->binders().size(), 1);
        prompts.questionAnswers = {QMessageBox::Yes};
        deleteButton->click();
        QVERIFY(collection->binders().isEmpty());
        QTRY_VERIFY(window.findChildren<BinderDialog *>().isEmpty());
        window.undoStack()->undo();
        QCOMPARE(collection->binders().size(), 1);
        QCoreApplication::processEvents();
        QVERIFY(window.findChildren<BinderDialog *>().isEmpty());
        // The deletion left nothing selected, and the binder coming back
        // is not selected on its own.
        QVERIFY(!list->currentItem());
        QVERIFY(!deleteButton->isEnabled());

        // Undoing the binder's creation takes its window with it.
        Q_EMIT list->itemDoubleClicked(list->item(0));
        QCOMPARE(window.findChildren<BinderDialog *>().size(), 1);
        window.undoStack()->undo();
        QVERIFY(collection->binders().isEmpty());
        QTRY_VERIFY(window.findChildren<BinderDialog *>().isEmpty());
    }

    void contextMenuAndDetachedBinders()
    {
        test::PromptScope prompts;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Collection *collection = window.collection();
        const Binder stored = test::setBinder("tst1");
        collection->upsertBinder(stored);
        auto *list = window.findChild<QListWidget *>(QStringLiteral("bindersList"));
        QCOMPARE(list->count(), 1);

        const QPoint empty(5, list->viewport()->height() - 5);
        QVERIFY(!list->itemAt(empty));
        std::unique_ptr<QMenu> menu(window.createBindersContextMenu(empty));
        QCOMPARE(menuTexts(*menu), QStringList({QStringLiteral("&Undo"), QStringLiteral("&Redo"), QStringLiteral("|"),
                                                QStringLiteral("New binder...")}));

        const QPoint onItem = list->visualItemRect(list->item(0)).center();
        menu.reset(window.createBindersContextMenu(onItem));
        QCOMPARE(menuTexts(*menu).mid(3), QStringList({QStringLiteral("Open"), QStringLiteral("Delete"),
                                                       QStringLiteral("|"), QStringLiteral("New binder...")}));
        menuAction(*menu, QStringLiteral("Open"))->trigger();
        QCOMPARE(window.findChildren<BinderDialog *>().size(), 1);
        menuAction(*menu, QStringLiteral("Delete"))->trigger();
        QVERIFY(prompts.questions.isEmpty());
        QVERIFY(collection->binders().isEmpty());
        QTRY_VERIFY(window.findChildren<BinderDialog *>().isEmpty());
        window.undoStack()->undo();
        QCOMPARE(collection->binders().size(), 1);

        // A detached binder's view changes are never recorded.
        const int commands = window.undoStack()->count();
        Binder loose = test::setBinder("tst2");
        window.openBinder(loose, true);
        BinderDialog *detached = nullptr;
        for (BinderDialog *dialog : window.findChildren<BinderDialog *>()) {
            if (dialog->binder().id == loose.id)
                detached = dialog;
        }
        QVERIFY(detached && detached->isDetached());
        detached->findChild<QCheckBox *>(QStringLiteral("showMissingCheck"))->setChecked(false);
        QCOMPARE(window.undoStack()->count(), commands);
        QCOMPARE(collection->binders().size(), 1);
        // It was never in the collection, so collection changes keep it open.
        const QPointer<BinderDialog> kept(detached);
        window.undoStack()->redo();
        QVERIFY(collection->binders().isEmpty());
        QCoreApplication::processEvents();
        QVERIFY(kept && kept->isVisible());
    }

    // The counts follow the holdings once edits pause, after an edit, its
    // undo and its redo, and only while the dock is shown.
    void countsFollowTheHoldingsLater()
    {
        test::PromptScope prompts;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Collection *collection = window.collection();
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-2")));
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-3")));
        collection->upsertBinder(test::setBinder(QStringLiteral("tst1")));
        auto *list = window.findChild<QListWidget *>(QStringLiteral("bindersList"));
        const auto counts = [list] { return list->item(0)->text().section(QStringLiteral("  -  "), 1); };
        QTRY_COMPARE(counts(), QStringLiteral("2/12"));
        const test::ManualTime clock;
        const auto expect = [&](const QString &shown, const QString &later) {
            QCOMPARE(counts(), shown);
            SteadyClock::advance(1000);
            QTRY_COMPARE(counts(), later);
        };
        window.undoStack()->push(new RemoveEntryCommand(collection, 1, nullptr));
        expect(QStringLiteral("2/12"), QStringLiteral("1/12"));
        window.undoStack()->undo();
        expect(QStringLiteral("1/12"), QStringLiteral("2/12"));
        auto *dock = window.findChild<QDockWidget *>(QStringLiteral("bindersDock"));
        dock->hide();
        window.undoStack()->redo();
        expect(QStringLiteral("2/12"), QStringLiteral("2/12"));
        // Nor does what the catalog learns meanwhile recount a hidden dock.
        emit window.catalog()->languageLoaded(Language::English, true);
        emit window.catalog()->raritiesLoaded(Language::English);
        QTest::qWait(50);
        QCOMPARE(counts(), QStringLiteral("2/12"));
        dock->show();
        QTRY_COMPARE(counts(), QStringLiteral("1/12"));
        // Rarities learnt for a language no binder is in recount nothing;
        // those of the binder's own language recount it.
        // (A recount writes the row's text again.)
        const QString mark = QStringLiteral("not recounted");
        list->item(0)->setText(mark);
        for (const Language language : {Language::Japanese, Language::English}) {
            emit window.catalog()->raritiesLoaded(language);
            QCoreApplication::processEvents();
            QCOMPARE(list->item(0)->text() == mark, language != Language::English);
        }
    }

    // An open value-ranked binder and the counts follow an edit in place, its
    // undo and its redo.
    void anOpenBinderFollowsEdits()
    {
        test::PromptScope prompts;
        MainWindow window;
        window.show();
        Collection *collection = window.collection();
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-2"), 1, 2.0));
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-3"), 1, 3.0));
        Binder top = newBinder(QStringLiteral("Top"), Language::English);
        top.topValue = 1;
        collection->upsertBinder(top);
        window.openBinder(top, false);
        auto *dialog = window.findChild<BinderDialog *>();
        QVERIFY(dialog);
        auto *list = window.findChild<QListWidget *>(QStringLiteral("bindersList"));
        const auto shown = [&] {
            const QList<BinderCard> &cards = dialog->shownCards();
            return cards.isEmpty() ? QString() : QStringLiteral("%1 x%2").arg(cards.first().id).arg(cards.first().owned);
        };
        QCOMPARE(shown(), QStringLiteral("tst1-3 x1"));
        CardEntry edited = collection->entries().at(0);
        edited.count = 4;
        edited.customPriceEur = 5.0;
        window.undoStack()->push(new EditEntryCommand(collection, 0, edited, nullptr));
        QCOMPARE(shown(), QStringLiteral("tst1-2 x4"));
        window.undoStack()->undo();
        QCOMPARE(shown(), QStringLiteral("tst1-3 x1"));
        window.undoStack()->redo();
        QCOMPARE(shown(), QStringLiteral("tst1-2 x4"));
        QTRY_COMPARE(list->item(0)->text(), QStringLiteral("Top  -  1/1"));

        // A card added, a merge and a removal, each undone, move only what
        // is held of their cards.
        window.undoStack()->push(
            new AddCardsCommand(collection, {test::holdingOf(QStringLiteral("tst1-4"), 2, 9.0)}, {}, nullptr));
        QCOMPARE(shown(), QStringLiteral("tst1-4 x2"));
        window.undoStack()->undo();
        QCOMPARE(shown(), QStringLiteral("tst1-2 x4"));
        CardEntry merged = collection->entries().at(0);
        merged.count = 3;
        window.undoStack()->push(new EditEntryCommand(collection, 1, merged, nullptr));
        QCOMPARE(collection->entries().size(), 1);
        QCOMPARE(shown(), QStringLiteral("tst1-2 x7"));
        window.undoStack()->undo();
        QCOMPARE(shown(), QStringLiteral("tst1-2 x4"));
        window.undoStack()->push(new RemoveEntryCommand(collection, 0, nullptr));
        QCOMPARE(shown(), QStringLiteral("tst1-3 x1"));
        QTRY_COMPARE(list->item(0)->text(), QStringLiteral("Top  -  1/1"));
        window.undoStack()->undo();
        QCOMPARE(shown(), QStringLiteral("tst1-2 x4"));
    }

    // A card shown in a binder is found in the collection tree: the first
    // holding of that card, of any language.
    void cardActivationSelectsTheFirstHolding()
    {
        test::PromptScope prompts;
        MainWindow window;
        Collection *collection = window.collection();
        auto *tree = window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
        if (!tree->model()) {
            auto *model = new CollectionTreeModel(&window);
            model->setCollection(collection);
            tree->setModel(model);
        }
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-2"), 1));
        CardEntry japanese = test::holdingOf(QStringLiteral("tst1-3"), 1);
        japanese.lang = Language::Japanese;
        collection->addEntry(japanese);
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-3"), 2));
        window.openBinder(test::setBinder("tst1"), false);
        BinderDialog *dialog = window.findChildren<BinderDialog *>().constFirst();
        QTRY_VERIFY(tree->model()->rowCount() > 0);

        Q_EMIT dialog->cardActivated(QStringLiteral("tst1-3"));
        const QModelIndex current = tree->currentIndex();
        QVERIFY(current.isValid());
        QCOMPARE(current.data(CollectionTreeModel::EntryIndexRole).toInt(), 1);
        for (QModelIndex parent = current.parent(); parent.isValid(); parent = parent.parent())
            QVERIFY(tree->isExpanded(parent));

        Q_EMIT dialog->cardActivated(QStringLiteral("tst1-9"));
        QCOMPARE(tree->currentIndex(), current);
    }
};

PV_REGISTER_TEST(BindersDockTest)
#include "BindersDockTest.moc"
