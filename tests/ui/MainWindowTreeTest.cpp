#include "DialogTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "catalog/TcgdexClient.h"
#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EditEntryCommand.h"
#include "collection/EntryKeys.h"
#include "core/CardArtwork.h"
#include "core/CardDetail.h"
#include "core/SteadyClock.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/BinderDialog.h"
#include "ui/dialogs/CustomPriceDialog.h"
#include "ui/dialogs/DuplicateCardDialog.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/CollectionTreeDelegate.h"
#include "ui/widgets/CollectionTreeView.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyleFactory>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>
#include <QUrlQuery>
#include <QtWidgets/private/qtreeview_p.h>

#include <functional>
#include <memory>
#include <optional>

using namespace pv;

namespace {

QStringList menuTexts(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *action : menu.actions())
        texts.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

QAction *menuAction(const QMenu &menu, const QString &text)
{
    for (QAction *action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QPushButton *okButton(QDialog &dialog)
{
    return dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

// Answers every dialog the window runs with the given function; real dialogs again afterwards.
void answerDialogs(std::function<int(QDialog &)> answer)
{
    DialogPrompts::setExec(std::move(answer));
}

// A tree view that counts the times it lays out the whole tree.
class CountingTreeView : public CollectionTreeView
{
public:
    void doItemsLayout() override
    {
        ++layouts;
        CollectionTreeView::doItemsLayout();
    }
    int layouts = 0;
};

// The rows the view shows, top to bottom, as it has laid them out.
QStringList shownRows(const QTreeView &view)
{
    QStringList rows;
    for (QModelIndex row = view.model()->index(0, 0); row.isValid(); row = view.indexBelow(row))
        rows.append(QStringLiteral("%1 %2").arg(row.row()).arg(row.data().toString()));
    return rows;
}

} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

class MainWindowTreeTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    std::optional<test::TreeViewWay> m_way;

    Collection &collection() { return *m_window->collection(); }
    QTreeView *tree() { return m_window->findChild<QTreeView *>(QStringLiteral("collectionTree")); }

    // Two English sets and a Japanese one; the document starts clean.
    void fill()
    {
        QList<CardEntry> entries;
        CardEntry charizard = test::holding(QStringLiteral("base1"), QStringLiteral("4/102"),
                                            QStringLiteral("Charizard"), 200.0);
        entries << charizard;
        entries << test::holding(QStringLiteral("base1"), QStringLiteral("58/102"), QStringLiteral("Pikachu"), 3.0);
        entries << test::holding(QStringLiteral("sv03"), QStringLiteral("125"), QStringLiteral("Charizard ex"), 30.0);
        entries << test::holding(QStringLiteral("SV3"), QStringLiteral("066"), QStringLiteral("リザードンex"), 25.0,
                                 Language::Japanese);
        QHash<QString, SetRecord> sets;
        sets.insert(setKey(Language::English, QStringLiteral("base1")),
                    test::setRecord(QStringLiteral("base1"), QStringLiteral("Base Set"), QStringLiteral("Base"), 1, 102));
        sets.insert(setKey(Language::English, QStringLiteral("sv03")),
                    test::setRecord(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"),
                                    QStringLiteral("Scarlet & Violet"), 50, 197));
        sets.insert(setKey(Language::Japanese, QStringLiteral("SV3")),
                    test::setRecord(QStringLiteral("SV3"), QStringLiteral("黒炎の支配者"), QStringLiteral("SV"), 50, 108,
                                    108, Language::Japanese));
        collection().replaceContents(entries, sets, {}, {}, std::nullopt);
        collection().setDirty(false);
        m_window->undoStack()->setClean();
        m_window->treeModel()->rebuild();
        tree()->expandAll();
    }

    void select(const QString &key)
    {
        const QModelIndex index = m_window->treeModel()->indexForEntryKey(key);
        QVERIFY(index.isValid());
        tree()->setCurrentIndex(index);
    }

    int currentEntry() { return m_window->treeModel()->entryIndexAt(tree()->currentIndex()); }

    // Whether the row's name reaches to the end of the row, as group rows'
    // do, none of them spanned.
    bool drawnAcross(const QModelIndex &index)
    {
        if (tree()->isFirstColumnSpanned(index.row(), index.parent()))
            return false;
        return tree()->visualRect(index).right() + 1 == tree()->header()->length() - tree()->header()->offset();
    }

    QPoint pointOf(const QModelIndex &index)
    {
        tree()->scrollTo(index);
        return tree()->visualRect(index).center();
    }

    QByteArray saved()
    {
        const QString path = m_dir.filePath(QStringLiteral("state.tmk"));
        QString error;
        if (!CollectionSerializer::write(path, collection(), &error))
            qFatal("cannot save: %s", qPrintable(error));
        // The time of saving is the one line that differs between saves.
        QByteArray bytes = test::readFile(path);
        const int at = bytes.indexOf("\"savedAt\"");
        if (at >= 0)
            bytes.remove(at, bytes.indexOf('\n', at) - at);
        return bytes;
    }

private Q_SLOTS:
    void initTestCase_data() { test::treeViewWays(); }

    void init()
    {
        m_way.emplace();
        test::setSetting(QStringLiteral("collectionTree/cardSortMode"), QVariant());
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        fill();
    }

    void cleanup()
    {
        DialogPrompts::reset();
        SteadyClock::useRealTime();
        m_window.reset();
        m_way.reset();
    }

    void removeAndDuplicateGoThroughTheStack()
    {
        test::PromptScope prompts;
        QAction *remove = m_window->findChild<QAction *>(QStringLiteral("actionRemoveEntry"));
        const QString charizard = entryKey(collection().entries().at(0));
        const QByteArray before = saved();

        // A set row: nothing to remove.
        tree()->setCurrentIndex(m_window->treeModel()->indexForSetKey(QStringLiteral("en:base1")));
        QVERIFY(!remove->isEnabled());
        m_window->removeSelectedCard();
        QVERIFY(prompts.questions.isEmpty());

        select(charizard);
        QVERIFY(remove->isEnabled());
        prompts.questionAnswers = {QMessageBox::No, QMessageBox::Yes};
        remove->trigger();
        QCOMPARE(prompts.questions, QStringList({"Remove card|Remove 4/102 Charizard (Near Mint (NM)) from the collection?"}));
        QCOMPARE(prompts.questionDefaults, QList<QMessageBox::StandardButton>({QMessageBox::No}));
        QCOMPARE(collection().entries().size(), 4);
        QCOMPARE(m_window->undoStack()->count(), 0);
        remove->trigger();
        QCOMPARE(collection().entries().size(), 3);
        QCOMPARE(collection().indexOfEntry(charizard), -1);
        QVERIFY(collection().isDirty());
        m_window->undoStack()->undo();
        QCOMPARE(saved(), before);
        QVERIFY(!collection().isDirty());
        QCOMPARE(entryKey(collection().entries().at(currentEntry())), charizard);

        // Duplicate in another condition: the copy follows its source and is selected.
        int runs = 0;
        answerDialogs([&](QDialog &dialog) {
            ++runs;
            auto *duplicate = qobject_cast<DuplicateCardDialog *>(&dialog);
            if (!duplicate)
                return int(QDialog::Rejected);
            auto *condition = dialog.findChild<QComboBox *>(QStringLiteral("conditionCombo"));
            condition->setCurrentIndex(condition->findData(int(Condition::Excellent)));
            return okButton(dialog)->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        m_window->duplicateCard(0);
        QCOMPARE(collection().entries().size(), 5);
        const CardEntry copy = collection().entries().at(1);
        QCOMPARE(copy.condition, Condition::Excellent);
        QCOMPARE(copy.cardId, QStringLiteral("base1-4/102"));
        QCOMPARE(currentEntry(), 1);
        QCOMPARE(m_window->undoStack()->undoText(), QStringLiteral("Duplicate Charizard (Excellent (EX))"));

        // That line exists now: the same copy is refused.
        m_window->duplicateCard(0);
        QCOMPARE(runs, 2);
        QCOMPARE(collection().entries().size(), 5);
        QCOMPARE(m_window->undoStack()->count(), 1);
        m_window->duplicateCard(17);
        QCOMPARE(runs, 2);

        m_window->undoStack()->undo();
        QCOMPARE(saved(), before);
        QCOMPARE(entryKey(collection().entries().at(currentEntry())), charizard);
        m_window->undoStack()->redo();
        QCOMPARE(entryKey(collection().entries().at(currentEntry())), entryKey(copy));
    }

    void cardMenuPriceLabelsAndLookUps()
    {
        test::PromptScope prompts;
        const CardEntry charizard = collection().entries().at(0);
        const QModelIndex row = m_window->treeModel()->indexForEntryKey(entryKey(charizard));
        std::unique_ptr<QMenu> menu(m_window->createTreeContextMenu(pointOf(row)));
        QVERIFY(menu);
        QCOMPARE(menuTexts(*menu),
                 QStringList({"Remove selected card", "|", "Look up on Cardmarket", "|", "Add To Labels",
                              "Add Custom Price...", "Duplicate Card...", "|", "Expand all", "Collapse all"}));

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        menuAction(*menu, QStringLiteral("Look up on Cardmarket"))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.at(0).path(), QStringLiteral("/en/Pokemon/Products/Search"));
        QCOMPARE(QUrlQuery(catcher.urls.at(0)).queryItemValue(QStringLiteral("searchString"), QUrl::FullyDecoded),
                 QStringLiteral("Charizard"));

        // Labels: one undoable step, then the entry is greyed.
        menuAction(*menu, QStringLiteral("Add To Labels"))->trigger();
        QVERIFY(collection().entries().at(0).printLabel);
        QCOMPARE(m_window->undoStack()->undoText(), QStringLiteral("Add to labels"));
        menu.reset(m_window->createTreeContextMenu(pointOf(m_window->treeModel()->indexForEntryKey(entryKey(charizard)))));
        QVERIFY(!menuAction(*menu, QStringLiteral("Add To Labels"))->isEnabled());

        // Custom price: untouched pushes nothing, a new price one edit, 0 clears it.
        double typed = -1;
        answerDialogs([&](QDialog &dialog) {
            if (typed >= 0)
                dialog.findChild<QDoubleSpinBox *>(QStringLiteral("priceSpin"))->setValue(typed);
            return int(QDialog::Accepted);
        });
        const int steps = m_window->undoStack()->count();
        menuAction(*menu, QStringLiteral("Add Custom Price..."))->trigger();
        QCOMPARE(m_window->undoStack()->count(), steps);
        typed = 12.5;
        m_window->editCustomPrice(0);
        QCOMPARE(collection().entries().at(0).customPriceEur, 12.5);
        QCOMPARE(m_window->undoStack()->count(), steps + 1);
        typed = -1;
        SteadyClock::useManualTime();
        SteadyClock::advance(5000);
        m_window->editCustomPrice(0);
        QCOMPARE(m_window->undoStack()->count(), steps + 1);
        menu.reset(m_window->createTreeContextMenu(pointOf(m_window->treeModel()->indexForEntryKey(entryKey(charizard)))));
        QVERIFY(menuAction(*menu, QStringLiteral("Edit Custom Price...")));
        typed = 0;
        m_window->editCustomPrice(0);
        QCOMPARE(collection().entries().at(0).customPriceEur, 0.0);
        QCOMPARE(m_window->undoStack()->count(), steps + 2);

        // A set row shows its binder, detached from the collection.
        const QModelIndex set = m_window->treeModel()->indexForSetKey(QStringLiteral("en:sv03"));
        menu.reset(m_window->createTreeContextMenu(pointOf(set)));
        QCOMPARE(menuTexts(*menu), QStringList({"Add Cards...", "Show binder", "|", "Expand all", "Collapse all"}));
        menuAction(*menu, QStringLiteral("Show binder"))->trigger();
        BinderDialog *dialog = m_window->findChild<BinderDialog *>();
        QVERIFY(dialog);
        QCOMPARE(dialog->binder().name, QStringLiteral("Obsidian Flames"));
        QCOMPARE(dialog->binder().rules.size(), 1);
        QCOMPARE(dialog->binder().rules.at(0).setId, QStringLiteral("sv03"));
        QVERIFY(collection().binders().isEmpty());
        dialog->close();
        delete dialog;

        const QModelIndex series = set.parent();
        menu.reset(m_window->createTreeContextMenu(pointOf(series)));
        QCOMPARE(menuTexts(*menu), QStringList({"Expand all", "Collapse all"}));

        while (m_window->undoStack()->canUndo())
            m_window->undoStack()->undo();
        QCOMPARE(collection().entries().at(0), charizard);
        QVERIFY(!collection().isDirty());
    }

    void sortOrderExpansionAndGroupRows()
    {
        m_window.reset();
        test::setSetting(QStringLiteral("collectionTree/cardSortMode"), 5);
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        fill();
        auto *combo = m_window->findChild<QComboBox *>(QStringLiteral("cardSortCombo"));
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("Number"));
        QCOMPARE(m_window->treeModel()->cardSortMode(), CollectionTreeModel::CardSortMode::Number);

        const QString pikachu = entryKey(collection().entries().at(1));
        select(pikachu);
        combo->setCurrentIndex(combo->findText(QStringLiteral("Price (highest first)")));
        QCOMPARE(test::setting(QStringLiteral("collectionTree/cardSortMode")).toInt(), 1);
        QCOMPARE(m_window->treeModel()->cardSortMode(), CollectionTreeModel::CardSortMode::Price);
        QCOMPARE(entryKey(collection().entries().at(currentEntry())), pikachu);
        QCOMPARE(tree()->currentIndex().row(), 1);

        // Collapse the Japanese language; its set stays expanded inside it.
        CollectionTreeModel *model = m_window->treeModel();
        const QModelIndex japaneseSet = model->indexForSetKey(QStringLiteral("ja:SV3"));
        const QModelIndex japanese = japaneseSet.parent().parent();
        tree()->collapse(japanese);
        const QModelIndex base = model->indexForSetKey(QStringLiteral("en:base1"));
        tree()->collapse(base);

        m_window->addToLabels(2); // edited in place, and in focus
        model->rebuild();         // as a change that adds or removes holdings does
        const QModelIndex sv03 = model->indexForSetKey(QStringLiteral("en:sv03"));
        QVERIFY(tree()->isExpanded(sv03));
        QVERIFY(tree()->isExpanded(sv03.parent()));
        QVERIFY(!tree()->isExpanded(model->indexForSetKey(QStringLiteral("en:base1"))));
        const QModelIndex japaneseAgain = model->indexForSetKey(QStringLiteral("ja:SV3"));
        QVERIFY(!tree()->isExpanded(japaneseAgain.parent().parent()));
        // Rows expanded inside a collapsed one were not remembered.
        tree()->expand(japaneseAgain.parent().parent());
        QVERIFY(!tree()->isExpanded(japaneseAgain.parent()));

        // Group rows are drawn across the row, card rows are not.
        QVERIFY(drawnAcross(sv03.parent()));
        QVERIFY(drawnAcross(sv03));
        QVERIFY(drawnAcross(japaneseAgain.parent().parent()));
        QVERIFY(!drawnAcross(model->index(0, 0, sv03)));
    }

    // A change of order, an edit that merges two holdings and its undo move
    // rows in place: the collapsed rows stay collapsed, the group rows are
    // drawn across, and the holding in focus stays current.
    void orderChangesAndMergesKeepExpansionAndSelection()
    {
        test::ManualTime time;
        // The twin sorts between the holding it merges into and another card.
        CardEntry twin = collection().entries().at(2);
        twin.condition = Condition::Poor;
        collection().addEntry(twin);
        collection().addEntry(test::holding(QStringLiteral("sv03"), QStringLiteral("200"), QStringLiteral("Pineco")));
        CollectionTreeModel *model = m_window->treeModel();
        const QModelIndex base = model->indexForSetKey(QStringLiteral("en:base1"));
        const QPersistentModelIndex japanese = model->indexForSetKey(QStringLiteral("ja:SV3")).parent().parent();
        const QPersistentModelIndex sv03 = model->indexForSetKey(QStringLiteral("en:sv03"));
        tree()->collapse(base);
        tree()->collapse(japanese);
        select(entryKey(twin));
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        const auto expectKept = [&](const QString &focused) {
            QVERIFY(!tree()->isExpanded(model->indexForSetKey(QStringLiteral("en:base1"))));
            QVERIFY(!tree()->isExpanded(japanese));
            QVERIFY(tree()->isExpanded(sv03) && tree()->isExpanded(sv03.parent()));
            QVERIFY(drawnAcross(sv03));
            QCOMPARE(entryKey(collection().entries().at(currentEntry())), focused);
            QCOMPARE(tree()->selectionModel()->selectedRows(), QModelIndexList{tree()->currentIndex()});
        };

        CardEntry merged = twin;
        merged.condition = Condition::NearMint;
        m_window->onEntryEdited(merged);
        QCOMPARE(model->rowCount(sv03), 2);
        QCOMPARE(collection().entries().at(2).count, 2);
        expectKept(entryKey(merged));
        m_window->undoStack()->undo();
        QCOMPARE(model->rowCount(sv03), 3);
        expectKept(entryKey(twin));
        auto *combo = m_window->findChild<QComboBox *>(QStringLiteral("cardSortCombo"));
        combo->setCurrentIndex(combo->findData(int(CollectionTreeModel::CardSortMode::Price)));
        expectKept(entryKey(twin));
        m_window->undoStack()->redo();
        expectKept(entryKey(merged));
        // A removal leaves no card current beside the emptied panel.
        test::PromptScope prompts;
        prompts.questionAnswers = {QMessageBox::Yes};
        m_window->removeSelectedCard();
        QCOMPARE(model->rowCount(sv03), 1);
        QCOMPARE(currentEntry(), -1);
        QCOMPARE(resets.count(), 0);
    }

    // A set whose record moves it (here into another series, the one it
    // leaves emptied, and back on undo) takes its rows along: still
    // expanded, its card still selected, the rows around it as they were.
    void aSetMovedByItsRecordKeepsExpansionAndSelection()
    {
        CollectionTreeModel *model = m_window->treeModel();
        const QPersistentModelIndex sv03 = model->indexForSetKey(QStringLiteral("en:sv03"));
        const QPersistentModelIndex japanese = model->indexForSetKey(QStringLiteral("ja:SV3")).parent().parent();
        tree()->collapse(sv03);
        tree()->collapse(japanese);
        const QString pikachu = entryKey(collection().entries().at(1));
        select(pikachu);
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        const auto expectKept = [&](const QString &series, int row) {
            const QModelIndex base = model->indexForSetKey(QStringLiteral("en:base1"));
            QCOMPARE(base.parent().data().toString(), series);
            QCOMPARE(base.row(), row);
            QVERIFY(tree()->isExpanded(base) && tree()->isExpanded(base.parent()));
            QVERIFY(!tree()->isExpanded(sv03) && !tree()->isExpanded(japanese));
            QCOMPARE(entryKey(collection().entries().at(currentEntry())), pikachu);
            QCOMPARE(tree()->selectionModel()->selectedRows(), QModelIndexList{tree()->currentIndex()});
        };
        const SetRecord record = test::setRecord(QStringLiteral("base1"), QStringLiteral("Base Set"),
                                                 QStringLiteral("Scarlet & Violet"), 60);
        m_window->undoStack()->push(new AddCardsCommand(&collection(),
                                                        {test::holding(QStringLiteral("base1"), QStringLiteral("2/102"),
                                                                       QStringLiteral("Blastoise"))},
                                                        {record}));
        expectKept(QStringLiteral("Scarlet & Violet"), 1);
        m_window->undoStack()->undo();
        expectKept(QStringLiteral("Base"), 0);
        m_window->undoStack()->redo();
        expectKept(QStringLiteral("Scarlet & Violet"), 1);
        QCOMPARE(resets.count(), 0);
    }

    // A file opens with every group row expanded and drawn across and no
    // holding in focus, even the one focused before; Expand all does the same.
    void openingAndExpandAllExpandEveryGroupRow()
    {
        const QString path = m_dir.filePath(QStringLiteral("expanded.tmk"));
        QVERIFY(m_window->saveToFile(path));
        select(entryKey(collection().entries().at(1)));
        tree()->collapseAll();
        const std::function<void(const QModelIndex &)> expectExpanded = [&](const QModelIndex &parent) {
            const QAbstractItemModel *model = tree()->model();
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex index = model->index(row, 0, parent);
                const bool card = model->rowCount(index) == 0;
                QCOMPARE(tree()->isExpanded(index), !card);
                QCOMPARE(drawnAcross(index), !card);
                expectExpanded(index);
            }
        };
        m_window->openFile(path);
        QCOMPARE(tree()->model()->rowCount(), 2);
        expectExpanded(QModelIndex());
        QVERIFY(!tree()->currentIndex().isValid());

        tree()->collapseAll();
        m_window->findChild<QAction *>(QStringLiteral("actionExpandAll"))->trigger();
        expectExpanded(QModelIndex());
    }

    // The tree emptied (File > New) keeps no room for the rows it laid out
    // before: with half a million rows that is a few tens of MiB, which the
    // process would go on holding. The base view's own layout keeps it.
    void anEmptiedTreeKeepsNoRoomForItsFormerRows()
    {
        QFETCH_GLOBAL(bool, layoutRecord);
        if (!layoutRecord)
            QSKIP("the base view lays out the tree");
        const auto *record = static_cast<QTreeViewPrivate *>(QObjectPrivate::get(tree()));
        QVERIFY(record->viewItems.capacity() > 0);
        m_window->newCollection();
        QTRY_COMPARE(record->viewItems.capacity(), qsizetype(0));
    }

    // At the first-start sizes on 1366 x 768 and 1600 x 1000 screens, with
    // long names, Japanese rows and graded copies, every value shows whole
    // without scrolling (a grade gives way before a name too long for any
    // room); the texts cut short give their whole text in a tool tip.
    // Narrowed, the view scrolls rather than cut a value; wide, every text
    // is whole.
    void valuesShowWholeAndTextsGiveWay()
    {
        // Themed as the program always is.
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        CardEntry wide = collection().entries().at(0);
        wide.name = QStringLiteral("Pikachu with Grey Felt Hat and Trainer's Special Delivery ex");
        wide.rarity = QStringLiteral("Special Illustration Rare");
        wide.variant = QStringLiteral("reverse");
        wide.dexId = 1025;
        wide.count = 120;
        wide.unitValueEur = 12345.67;
        wide.gradeCompany = GradingCompany::BGS;
        wide.gradeNote = QStringLiteral("9.5");
        collection().updateEntry(0, wide);
        CardEntry japanese = collection().entries().at(3);
        japanese.name = QStringLiteral("ピカチュウ＆ゼクロムGX スペシャルアートレア");
        japanese.condition = Condition::LightPlayed;
        japanese.gradeCompany = GradingCompany::CGC;
        japanese.gradeNote = QStringLiteral("10");
        collection().updateEntry(3, japanese);
        QHeaderView *header = tree()->header();
        // A title may be elided where room is short; wide, it is whole too.
        bool titlesWhole = false;
        const auto cellsWhole = [this, header, &titlesWhole](const QList<int> &columns) {
            for (const CardEntry &entry : collection().entries()) {
                const QModelIndex row = m_window->treeModel()->indexForEntryKey(entryKey(entry));
                for (int column : columns) {
                    const int needed = std::max(tree()->sizeHintForIndex(row.siblingAtColumn(column)).width(),
                                                titlesWhole ? header->sectionSizeHint(column) : 0);
                    if (header->sectionSize(column) < needed)
                        return false;
                }
            }
            return true;
        };
        const QList<int> values = {1, 7, 8, 9};
        for (const QSize &size : {QSize(1280, 734), QSize(1280, 800)}) {
            m_window->resize(size);
            m_window->resetLayout();
            QTRY_VERIFY(header->length() <= tree()->viewport()->width() && cellsWhole(values));
            QTRY_COMPARE(tree()->horizontalScrollBar()->maximum(), 0);
        }
        const QModelIndex row = m_window->treeModel()->indexForEntryKey(entryKey(wide));
        QStyleOptionViewItem option;
        option.initFrom(tree());
        option.rect = tree()->visualRect(row.siblingAtColumn(CollectionTreeModel::RarityColumn));
        auto *delegate = qobject_cast<CollectionTreeDelegate *>(tree()->itemDelegate());
        const QString priceTip = row.data(Qt::ToolTipRole).toString();
        QCOMPARE(delegate->toolTip(option, row.siblingAtColumn(CollectionTreeModel::RarityColumn)),
                 QStringLiteral("Special Illustration Rare\n") + priceTip);
        option.rect = tree()->visualRect(row.siblingAtColumn(CollectionTreeModel::TotalColumn));
        QCOMPARE(delegate->toolTip(option, row.siblingAtColumn(CollectionTreeModel::TotalColumn)), priceTip);

        // Narrowed, the view scrolls sideways; wide, every text is whole.
        tree()->setFixedWidth(300);
        QTRY_VERIFY(tree()->horizontalScrollBar()->maximum() > 0);
        QVERIFY(cellsWhole(values));
        tree()->setMinimumWidth(0);
        tree()->setMaximumWidth(QWIDGETSIZE_MAX);
        m_window->resize(2400, 800);
        m_window->resetLayout();
        titlesWhole = true;
        QTRY_VERIFY(header->length() <= tree()->viewport()->width() && cellsWhole({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }

    void everyRowHasTheHeightOfOneLineAndLogosFitIt()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        SetRecord base = collection().setInfo(Language::English, QStringLiteral("base1"));
        base.logo = QStringLiteral("https://assets.example.test/en/base/base1/logo");
        collection().mergeSetInfo(base);
        m_window->treeModel()->rebuild();
        tree()->expandAll();
        const QModelIndex set = m_window->treeModel()->indexForSetKey(setKey(Language::English, QStringLiteral("base1")));
        const QModelIndex japanese = m_window->treeModel()->indexForEntryKey(entryKey(collection().entries().at(3)));
        // One line of text in the tree's font, framed by the style; group rows are bold.
        const auto lineHeight = [this](bool bold) {
            QStyleOptionViewItem option;
            option.initFrom(tree());
            option.font.setBold(bold);
            option.fontMetrics = QFontMetrics(option.font);
            option.features = QStyleOptionViewItem::HasDisplay;
            option.text = QStringLiteral("Base Set");
            return tree()->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), tree()).height();
        };
        const int height = std::max(lineHeight(false), lineHeight(true));
        const auto expectOneHeight = [&] {
            for (const QModelIndex &index : {set.parent().parent(), set.parent(), set, japanese,
                                             m_window->treeModel()->index(0, 0, set)}) {
                tree()->scrollTo(index);
                QCOMPARE(tree()->visualRect(index).height(), height);
            }
        };
        QTRY_VERIFY(tree()->isVisible());
        expectOneHeight();

        // A logo taller than the line arrives: drawn into the line, the row keeps its height.
        QPixmap logo(90, 60);
        logo.fill(Qt::red);
        set.data(Qt::DecorationRole); // as the row asks for it
        emit m_window->tcgdexClient()->imageReady(0, setArtworkUrl(base.logo), logo);
        QVERIFY(!set.data(Qt::DecorationRole).isNull());
        expectOneHeight();
        tree()->scrollTo(set);
        const QImage shown = tree()->viewport()->grab().toImage();
        const QRect row = tree()->visualRect(set).intersected(shown.rect());
        int logoLines = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left(); x <= row.right(); ++x)
                if (QColor(shown.pixel(x, y)) == QColor(Qt::red)) {
                    ++logoLines;
                    break;
                }
        QVERIFY(logoLines > 0 && logoLines <= QFontMetrics(tree()->font()).height() + 1);
    }

    void panelEditsMergeAndTheCleanStateFollowsTheStack()
    {
        SteadyClock::useManualTime();
        auto *panel = m_window->findChild<CardDetailsWidget *>(QStringLiteral("cardDetails"));
        const CardEntry pikachu = collection().entries().at(1);
        select(entryKey(pikachu));

        CardEntry edited = pikachu;
        edited.count = 2;
        Q_EMIT panel->entryEdited(edited);
        SteadyClock::advance(1000);
        edited.notes = QStringLiteral("sleeved");
        Q_EMIT panel->entryEdited(edited);
        QCOMPARE(m_window->undoStack()->count(), 1);
        SteadyClock::advance(1600);
        edited.condition = Condition::Excellent;
        Q_EMIT panel->entryEdited(edited);
        QCOMPARE(m_window->undoStack()->count(), 2);
        QCOMPARE(collection().entries().at(1), edited);
        QCOMPARE(entryKey(collection().entries().at(currentEntry())), entryKey(edited));

        m_window->undoStack()->undo();
        QCOMPARE(entryKey(collection().entries().at(currentEntry())), entryKey(pikachu));
        m_window->undoStack()->undo();
        QCOMPARE(collection().entries().at(1), pikachu);
        QVERIFY(!collection().isDirty());

        // A change from outside the stack keeps the document changed.
        m_window->undoStack()->redo();
        CardDetail facts;
        facts.id = pikachu.cardId;
        facts.rarity = QStringLiteral("Common");
        Q_EMIT m_window->tcgdexClient()->cardReady(1, Language::English, facts);
        QCOMPARE(collection().entries().at(1).rarity, QStringLiteral("Common"));
        m_window->undoStack()->undo();
        QVERIFY(m_window->undoStack()->isClean());
        QVERIFY(collection().isDirty());
    }

    // A change leaves the view where the user left it. With the current row
    // in view, an order change elsewhere, an add and its undo keep the
    // scroll position; a current row the user scrolled away from is not
    // scrolled to, nor after the undo of an add shown elsewhere. A current
    // row that the change itself takes out of view is followed, and a card
    // shown on purpose is scrolled to.
    void changesLeaveTheViewWhereTheUserLeftIt()
    {
        const QString sv03 = QStringLiteral("sv03");
        QList<CardEntry> entries;
        for (int number = 1; number <= 150; ++number)
            entries << test::numberedHolding(sv03, QString::number(number));
        const SetRecord flames =
            test::setRecord(sv03, QStringLiteral("Obsidian Flames"), QStringLiteral("Scarlet & Violet"), 50);
        collection().replaceContents(entries, {{setKey(Language::English, sv03), flames}}, {}, {}, std::nullopt);
        m_window->treeModel()->rebuild();
        tree()->expandAll();
        QScrollBar *bar = tree()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 100);
        // Runs a step, then what it set off: the view's layout and what follows it.
        const auto settled = [](const std::function<void()> &step) {
            step();
            for (int pass = 0; pass < 3; ++pass) {
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
            }
        };
        const auto scroll = [&](int value) { settled([&] { bar->setValue(value); }); };
        const auto inView = [this] {
            return tree()->visualRect(tree()->currentIndex()).intersects(tree()->viewport()->rect());
        };
        const auto currentKey = [this] { return entryKey(collection().entries().at(currentEntry())); };
        QUndoStack *stack = m_window->undoStack();
        const auto undo = [&] { settled([stack] { stack->undo(); }); };

        // The user scrolls halfway down and picks a card in the middle.
        scroll(bar->maximum() / 2);
        tree()->setCurrentIndex(tree()->indexAt(QPoint(5, tree()->viewport()->height() / 2)));
        const QString picked = currentKey();
        const int halfway = bar->value();

        CardEntry moved = entries.first();
        moved.localId = QStringLiteral("151");
        QString elsewhere;
        settled([&] { stack->push(new EditEntryCommand(&collection(), 0, moved, &elsewhere)); });
        QCOMPARE(bar->value(), halfway);
        settled([&] {
            stack->push(new AddCardsCommand(&collection(), {test::numberedHolding(sv03, QStringLiteral("75a"))}, {}));
        });
        QCOMPARE(bar->value(), halfway);
        undo();
        QCOMPARE(bar->value(), halfway);
        QCOMPARE(currentKey(), picked);
        QVERIFY(inView());

        // Scrolled away to the top.
        scroll(0);
        QVERIFY(!inView());
        undo();
        QCOMPARE(bar->value(), 0);
        QCOMPARE(currentKey(), picked);
        // A set of its own, last in the tree, shown as Add cards shows it.
        settled([&] {
            stack->push(new AddCardsCommand(&collection(),
                                            {test::numberedHolding(QStringLiteral("zz1"), QStringLiteral("1"))},
                                            {test::setRecord(QStringLiteral("zz1"), QStringLiteral("Zenith"),
                                                             QStringLiteral("Zenith"), 900)}));
        });
        settled([&] {
            const QModelIndex added = m_window->treeModel()->indexForSetKey(QStringLiteral("en:zz1"));
            tree()->expand(added.parent());
            tree()->scrollTo(added);
        });
        const int shown = bar->value();
        QVERIFY(shown > halfway);
        undo();
        // The set's rows gone from the end, the view ends sooner.
        QCOMPARE(bar->value(), std::min(shown, bar->maximum()));
        QVERIFY(bar->value() > halfway && !inView());
        QCOMPARE(currentKey(), picked);

        // The picked card moves to the end of its set: the view follows it.
        scroll(halfway);
        QVERIFY(inView());
        CardEntry renumbered = collection().entries().at(currentEntry());
        renumbered.localId = QStringLiteral("150a");
        settled([&] { m_window->onEntryEdited(renumbered); });
        QCOMPARE(currentKey(), entryKey(renumbered));
        QVERIFY(inView() && bar->value() > halfway);

        // The undo of an add removes the current row, out of view: its
        // neighbour, made current by the change, is not scrolled to.
        const CardEntry extra = test::numberedHolding(sv03, QStringLiteral("75b"));
        settled([&] { stack->push(new AddCardsCommand(&collection(), {extra}, {})); });
        select(entryKey(extra));
        scroll(0);
        QVERIFY(!inView());
        undo();
        QCOMPARE(bar->value(), 0);

        // A card shown on purpose, far from the view.
        scroll(0);
        settled([&] { m_window->showCardInTree(collection().indexOfEntry(entryKey(entries.at(99))), false); });
        QCOMPARE(currentKey(), entryKey(entries.at(99)));
        QVERIFY(inView());
    }

    // Cards added under expanded rows lay out that part of the tree alone,
    // wherever the view is scrolled; the rows then shown are those a whole
    // layout shows.
    void addsAndUndosLayOutOnlyTheirPartOfTheTree_data()
    {
        QTest::addColumn<CardEntry>("card");
        QTest::addColumn<SetRecord>("set");
        QTest::addColumn<bool>("folded");
        const SetRecord none;
        const CardEntry base = test::numberedHolding(QStringLiteral("base1"), QStringLiteral("7"));
        QTest::newRow("card in an expanded set") << base << none << false;
        QTest::newRow("card first in an expanded set")
            << test::numberedHolding(QStringLiteral("base1"), QStringLiteral("1")) << none << false;
        QTest::newRow("card last in an expanded set")
            << test::numberedHolding(QStringLiteral("base1"), QStringLiteral("99/102")) << none << false;
        QTest::newRow("card in a folded set") << base << none << true;
        QTest::newRow("new set in a series") << test::numberedHolding(QStringLiteral("sv04"), QStringLiteral("1"))
                                             << test::setRecord(QStringLiteral("sv04"), QStringLiteral("Paradox Rift"),
                                                                QStringLiteral("Scarlet & Violet"), 60)
                                             << false;
        QTest::newRow("new series") << test::numberedHolding(QStringLiteral("neo1"), QStringLiteral("1"))
                                    << test::setRecord(QStringLiteral("neo1"), QStringLiteral("Neo Genesis"),
                                                       QStringLiteral("Neo"), 10)
                                    << false;
    }

    void addsAndUndosLayOutOnlyTheirPartOfTheTree()
    {
        QFETCH(CardEntry, card);
        QFETCH(SetRecord, set);
        QFETCH(bool, folded);
        QList<CardEntry> more;
        for (int number = 10; number < 90; ++number)
            more << test::numberedHolding(QStringLiteral("sv03"), QString::number(number));
        m_window->undoStack()->push(new AddCardsCommand(&collection(), more, {}));
        // A style that draws the branches' lines, which show where a row's
        // siblings end; it outlives the view.
        const std::unique_ptr<QStyle> lines(QStyleFactory::create(QStringLiteral("Windows")));
        CountingTreeView view;
        view.setStyle(lines.get());
        view.setUniformRowHeights(true);
        view.setModel(m_window->treeModel());
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.expandAll();
        const QModelIndex base1 = m_window->treeModel()->indexForSetKey(QStringLiteral("en:base1"));
        view.setExpanded(base1, !folded);
        QScrollBar *bar = view.verticalScrollBar();
        QList<SetRecord> sets;
        if (!set.id.isEmpty())
            sets << set;
        // The add, then its undo, with the view at its end, then at its top.
        for (const int step : {0, 1, 2, 3}) {
            const bool undo = step % 2 == 1;
            if (!undo) {
                bar->setValue(step == 0 ? bar->maximum() - 2 : 0);
                QCoreApplication::processEvents();
            }
            const int scrolled = bar->value();
            QVERIFY(scrolled > 0 || step > 1);
            view.layouts = 0;
            if (undo)
                m_window->undoStack()->undo();
            else
                m_window->undoStack()->push(new AddCardsCommand(&collection(), {card}, sets));
            QCoreApplication::processEvents();
            QCOMPARE(view.layouts, 0);
            QCOMPARE(bar->value(), scrolled);
            QCOMPARE(view.isExpanded(base1), !folded);
            const QStringList shown = shownRows(view);
            const QImage drawn = view.viewport()->grab().toImage();
            view.doItemsLayout();
            QCOMPARE(shown, shownRows(view));
            QCOMPARE(drawn, view.viewport()->grab().toImage());
        }
    }

    void thousandRandomCommandsUndoAndRedoToTheSameBytes()
    {
        test::PromptScope prompts;
        SteadyClock::useManualTime();
        QRandomGenerator random(19);
        QUndoStack *stack = m_window->undoStack();
        const QStringList names = {"Bulbasaur", "Ivysaur", "Venusaur", "Charmander", "Squirtle", "Eevee"};
        auto randomCard = [&] {
            const int n = random.bounded(names.size());
            const QString set = n < 3 ? QStringLiteral("base1") : QStringLiteral("sv03");
            CardEntry entry = test::holding(set, QString::number(n + 1), names.at(n), random.bounded(50));
            entry.condition = Condition(random.bounded(3));
            entry.count = 1 + random.bounded(3);
            return entry;
        };
        Condition wantedCondition = Condition::Mint;
        double typedPrice = 0;
        answerDialogs([&](QDialog &dialog) {
            if (qobject_cast<DuplicateCardDialog *>(&dialog)) {
                auto *condition = dialog.findChild<QComboBox *>(QStringLiteral("conditionCombo"));
                condition->setCurrentIndex(condition->findData(int(wantedCondition)));
                return okButton(dialog)->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
            }
            dialog.findChild<QDoubleSpinBox *>(QStringLiteral("priceSpin"))->setValue(typedPrice);
            return int(QDialog::Accepted);
        });

        QList<QByteArray> states = {saved()};
        QStringList ops = {QString()};
        for (int step = 0; step < 1000; ++step) {
            SteadyClock::advance(random.bounded(4) == 0 ? 500 : 2000);
            const int rows = collection().entries().size();
            const int op = rows == 0 ? 0 : random.bounded(6);
            const int row = rows == 0 ? 0 : random.bounded(rows);
            switch (op) {
            case 0:
                stack->push(new AddCardsCommand(&collection(), {randomCard(), randomCard()}, {}));
                break;
            case 1: {
                select(entryKey(collection().entries().at(row)));
                CardEntry edited = collection().entries().at(row);
                edited.count = 1 + random.bounded(4);
                if (random.bounded(2))
                    edited.notes = QStringLiteral("note %1").arg(step);
                if (random.bounded(3) == 0)
                    edited.condition = Condition(random.bounded(3));
                m_window->onEntryEdited(edited);
                break;
            }
            case 2:
                wantedCondition = Condition(random.bounded(4));
                m_window->duplicateCard(row);
                break;
            case 3:
                select(entryKey(collection().entries().at(row)));
                prompts.questionAnswers = {QMessageBox::Yes};
                m_window->removeSelectedCard();
                break;
            case 4:
                typedPrice = random.bounded(3) == 0 ? 0.0 : 0.5 * random.bounded(40);
                m_window->editCustomPrice(row);
                break;
            default:
                m_window->addToLabels(row);
                break;
            }
            const QByteArray now = saved();
            const int index = stack->index();
            if (index == states.size()) {
                states.append(now);
                ops.append(QStringLiteral("%1 op %2 row %3 %4").arg(step).arg(op).arg(row).arg(stack->text(index - 1)));
            } else if (index == states.size() - 1) {
                // Nothing pushed, or an edit merged into the step before.
                states.last() = now;
            } else {
                QVERIFY2(index < states.size() - 1, qPrintable(QStringLiteral("step %1").arg(step)));
                states.resize(index + 1);
                ops.resize(index + 1);
                QCOMPARE(now, states.last());
            }
            QCOMPARE(stack->count(), index);
        }
        QVERIFY(stack->count() > 500);

        for (int index = stack->index(); index > 0; --index) {
            stack->undo();
            QVERIFY2(saved() == states.at(index - 1), qPrintable(QStringLiteral("undo to %1").arg(index - 1)));
        }
        QVERIFY(!collection().isDirty());
        while (stack->canRedo()) {
            stack->redo();
            QVERIFY2(saved() == states.at(stack->index()), qPrintable(QStringLiteral("redo to %1").arg(stack->index())));
        }
        QCOMPARE(stack->index(), states.size() - 1);
    }
};

PV_REGISTER_TEST(MainWindowTreeTest)
#include "MainWindowTreeTest.moc"
