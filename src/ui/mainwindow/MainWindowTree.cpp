// The collection tree, its commands and the card panel beside it.
#include "ui/mainwindow/MainWindow.h"

#include "collection/Binders.h"
#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/DuplicateEntryCommand.h"
#include "collection/EditEntryCommand.h"
#include "collection/EntryKeys.h"
#include "collection/RemoveEntryCommand.h"
#include "collection/SetPrintLabelsCommand.h"
#include "catalog/CardCatalog.h"
#include "core/AppSettings.h"
#include "core/CardKeys.h"
#include "core/NameTranslator.h"
#include "ui/WebLookups.h"
#include "ui/dialogs/CustomPriceDialog.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/dialogs/DuplicateCardDialog.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/CollectionTreeColumns.h"
#include "ui/widgets/CollectionTreeDelegate.h"
#include "ui/models/SetCardsModel.h"
#include "ui_MainWindow.h"

#include <QAbstractItemModel>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QUndoStack>

namespace pv {

namespace {
const QString kSortModeKey = QStringLiteral("collectionTree/cardSortMode");
} // namespace

void MainWindow::setUpTree()
{
    m_treeModel = new CollectionTreeModel(this);
    // Connected before the view's selection model is, so that it is set when
    // that moves the current row.
    connect(m_treeModel, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { m_treeRowsRemoving = true; });
    connect(m_treeModel, &QAbstractItemModel::rowsRemoved, this, [this] { m_treeRowsRemoving = false; });
    setUpSortCombo();
    m_treeModel->setCollection(m_collection);
    m_treeModel->setTcgdexClient(m_client);
    ui->collectionTree->setModel(m_treeModel);
    m_treeDelegate = new CollectionTreeDelegate(this);
    ui->collectionTree->setItemDelegate(m_treeDelegate);
    // Every value in view: the text columns give up room first.
    new CollectionTreeColumns(ui->collectionTree);
    restoreExpansionAfterReset();

    connect(ui->collectionTree->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { onCurrentTreeRowChanged(current); });
    connect(ui->collectionTree, &QWidget::customContextMenuRequested, this, &MainWindow::showTreeContextMenu);
    connect(m_treeModel, &QAbstractItemModel::modelAboutToBeReset, this, &MainWindow::saveExpansionState);
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, &MainWindow::restoreExpansionAfterReset);
    connect(ui->cardDetails, &CardDetailsWidget::entryEdited, this, &MainWindow::onEntryEdited);
    connect(ui->actionRemoveEntry, &QAction::triggered, this, &MainWindow::removeSelectedCard);
}

void MainWindow::setUpSortCombo()
{
    QComboBox *combo = ui->cardSortCombo;
    combo->addItem(tr("Number"), int(CollectionTreeModel::CardSortMode::Number));
    combo->addItem(tr("Price (highest first)"), int(CollectionTreeModel::CardSortMode::Price));
    const int stored = AppSettings().value(kSortModeKey, 0).toInt();
    combo->setCurrentIndex(std::max(0, combo->findData(stored)));
    m_treeModel->setCardSortMode(CollectionTreeModel::CardSortMode(combo->currentData().toInt()));
    connect(combo, &QComboBox::currentIndexChanged, this, [this, combo] {
        const int mode = combo->currentData().toInt();
        m_treeModel->setCardSortMode(CollectionTreeModel::CardSortMode(mode));
        AppSettings().setValue(kSortModeKey, mode);
        selectFocusedRow();
    });
}

void MainWindow::onCurrentTreeRowChanged(const QModelIndex &current)
{
    Q_UNUSED(current)
    if (!m_treeRowsRemoving)
        updateCardDetails();
}

void MainWindow::updateCardDetails()
{
    updateChartContext();
    const int row = m_treeModel->entryIndexAt(ui->collectionTree->currentIndex());
    if (row >= 0 && row < m_collection->entries().size()) {
        const CardEntry &entry = m_collection->entries().at(row);
        const QString key = entryKey(entry);
        // The same holding again (its row rebuilt after an edit) keeps the
        // artwork and card data the panel has already fetched.
        if (key == focusKey)
            ui->cardDetails->setEntry(entry);
        else
            ui->cardDetails->showEntry(entry);
        focusKey = key;
        ui->actionRemoveEntry->setEnabled(true);
        return;
    }
    focusKey.clear();
    ui->cardDetails->clear();
    ui->actionRemoveEntry->setEnabled(false);
}

void MainWindow::reloadCardDetails()
{
    focusKey.clear();
    updateCardDetails();
}

void MainWindow::showFocusedEntry()
{
    if (!focusKey.isEmpty()) {
        const int row = m_collection->indexOfEntry(focusKey);
        if (row >= 0) {
            ui->cardDetails->setEntry(m_collection->entries().at(row));
            selectFocusedRow();
            return;
        }
        focusKey.clear();
    }
    ui->cardDetails->clear();
    // No card row stays current beside an empty panel (a removed row's
    // neighbour, made current by the view).
    if (m_treeModel->entryIndexAt(ui->collectionTree->currentIndex()) >= 0)
        ui->collectionTree->setCurrentIndex(QModelIndex());
}

// A reset forgets the tree's current row: the row of the holding the panel
// shows becomes current again, so the two stay in step.
void MainWindow::keepFocusedRowCurrent()
{
    const QModelIndex index = m_treeModel->indexForEntryKey(focusKey);
    if (index.isValid())
        ui->collectionTree->setCurrentIndex(index);
    else
        ui->actionRemoveEntry->setEnabled(false);
}

// Makes the tree row of the focus holding current. The view stays where
// it is, unless the change took that row out of view (the tree view
// follows it then).
void MainWindow::selectFocusedRow()
{
    const QModelIndex index = m_treeModel->indexForEntryKey(focusKey);
    if (index.isValid())
        ui->collectionTree->setCurrentIndex(index);
}

void MainWindow::removeSelectedCard()
{
    const int row = m_treeModel->entryIndexAt(ui->collectionTree->currentIndex());
    if (row < 0 || row >= m_collection->entries().size())
        return;
    const CardEntry &entry = m_collection->entries().at(row);
    const QString text = tr("Remove %1 %2 (%3) from the collection?")
                             .arg(entry.localId, NameTranslator::displayName(entry.lang, entry.cardId, entry.name),
                                  conditionDisplayName(entry.condition));
    if (DialogPrompts::question(this, tr("Remove card"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    m_undoStack->push(new RemoveEntryCommand(m_collection, row, &focusKey));
    ui->cardDetails->clear();
}

void MainWindow::duplicateCard(int entryIndex)
{
    if (entryIndex < 0 || entryIndex >= m_collection->entries().size())
        return;
    QSet<QString> keys;
    for (const CardEntry &entry : m_collection->entries())
        keys.insert(entryKey(entry));
    const CardEntry source = m_collection->entries().at(entryIndex);
    DuplicateCardDialog dialog(source, std::move(keys), this);
    if (DialogPrompts::exec(dialog) != QDialog::Accepted)
        return;
    m_undoStack->push(new DuplicateEntryCommand(m_collection, source, dialog.entry(), &focusKey));
}

void MainWindow::editCustomPrice(int entryIndex)
{
    if (entryIndex < 0 || entryIndex >= m_collection->entries().size())
        return;
    CardEntry copy = m_collection->entries().at(entryIndex);
    CustomPriceDialog dialog(copy, this);
    if (DialogPrompts::exec(dialog) != QDialog::Accepted)
        return;
    const double price = dialog.price();
    if (price == copy.customPriceEur || (price <= 0 && copy.customPriceEur <= 0))
        return;
    copy.customPriceEur = price;
    m_undoStack->push(new EditEntryCommand(m_collection, entryIndex, copy, &focusKey));
}

void MainWindow::addToLabels(int entryIndex)
{
    if (entryIndex < 0 || entryIndex >= m_collection->entries().size())
        return;
    const CardEntry &entry = m_collection->entries().at(entryIndex);
    if (entry.printLabel)
        return;
    m_undoStack->push(new SetPrintLabelsCommand(m_collection, {entryKey(entry)}, true, tr("Add to labels"),
                                                &focusKey));
}

void MainWindow::lookUpOnCardmarket(const CardEntry &entry)
{
    QDesktopServices::openUrl(WebLookups::cardmarketSearch(entry.name));
}

void MainWindow::addCardActions(QMenu *menu, int entryIndex)
{
    if (entryIndex < 0 || entryIndex >= m_collection->entries().size())
        return;
    const CardEntry entry = m_collection->entries().at(entryIndex);
    menu->addAction(ui->actionRemoveEntry);
    menu->addSeparator();
    menu->addAction(tr("Look up on Cardmarket"), this, [this, entry] { lookUpOnCardmarket(entry); });
    menu->addSeparator();
    QAction *labels = menu->addAction(tr("Add To Labels"), this, [this, entryIndex] { addToLabels(entryIndex); });
    labels->setEnabled(!entry.printLabel);
    menu->addAction(entry.customPriceEur > 0 ? tr("Edit Custom Price...") : tr("Add Custom Price..."), this,
                    [this, entryIndex] { editCustomPrice(entryIndex); });
    menu->addAction(tr("Duplicate Card..."), this, [this, entryIndex] { duplicateCard(entryIndex); });
}

QMenu *MainWindow::createTreeContextMenu(const QPoint &pos)
{
    const QModelIndex index = ui->collectionTree->indexAt(pos);
    if (!index.isValid())
        return nullptr;
    auto *menu = new QMenu(this);
    const int entryIndex = m_treeModel->entryIndexAt(index);
    const QString setKey = index.data(CollectionTreeModel::SetKeyRole).toString();
    if (entryIndex >= 0) {
        addCardActions(menu, entryIndex);
        menu->addSeparator();
    } else if (index.data(CollectionTreeModel::NodeTypeRole).toInt() == CollectionTreeModel::SetNode
               && !setKey.isEmpty()) {
        menu->addAction(tr("Add Cards..."), this, [this, setKey] { addCards(setKey); });
        menu->addAction(tr("Show binder"), this, [this, setKey] { showSetBinder(setKey); });
        menu->addSeparator();
    }
    menu->addAction(ui->actionExpandAll);
    menu->addAction(ui->actionCollapseAll);
    return menu;
}

void MainWindow::popUpContextMenu(QMenu *menu, QAbstractItemView *view, const QPoint &pos)
{
    if (!menu)
        return;
    menu->exec(view->viewport()->mapToGlobal(pos));
    menu->deleteLater();
}

void MainWindow::showTreeContextMenu(const QPoint &pos)
{
    popUpContextMenu(createTreeContextMenu(pos), ui->collectionTree, pos);
}

void MainWindow::showSetBinder(const QString &setKey)
{
    const KeyParts key = parseSetKey(setKey);
    const Language language = key.language;
    const QString &setId = key.id;
    if (!key.hasLanguage || setId.isEmpty())
        return;
    m_catalog->ensureLoaded(language);
    const SetRecord record = m_collection->setInfo(language, setId);
    const QString name = NameTranslator::translateSetName(language, setId, record.name);
    Binder binder = pv::newBinder(name.isEmpty() ? setId : name, language);
    BinderRule rule;
    rule.setId = setId;
    binder.rules = {rule};
    openBinder(binder, true);
}

void MainWindow::onEntryEdited(const CardEntry &edited)
{
    const int row = m_collection->indexOfEntry(focusKey);
    if (row < 0)
        return;
    m_undoStack->push(new EditEntryCommand(m_collection, row, edited, &focusKey));
    selectFocusedRow();
}

void MainWindow::saveExpansionState()
{
    expandedKeys.clear();
    collectExpandedKeys(QModelIndex());
}

// Card rows have nothing to expand: only language, series and set rows are
// looked at.
void MainWindow::collectExpandedKeys(const QModelIndex &parent)
{
    const int rows = m_treeModel->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = m_treeModel->index(row, 0, parent);
        if (!ui->collectionTree->isExpanded(index))
            continue;
        const QString key = index.data(CollectionTreeModel::NodeKeyRole).toString();
        if (!key.isEmpty())
            expandedKeys.insert(key);
        if (index.data(CollectionTreeModel::NodeTypeRole).toInt() != CollectionTreeModel::SetNode)
            collectExpandedKeys(index);
    }
}

// After a reset the view has forgotten its expanded rows and waits to lay
// the tree out again. Expanding rows now only records them; the tree is then
// laid out once.
void MainWindow::restoreExpansionAfterReset()
{
    if (m_expandWholeTreeOnReset) {
        m_expandWholeTreeOnReset = false;
        restoreExpandedRows(QModelIndex(), nullptr);
    } else if (!expandedKeys.isEmpty()) {
        restoreExpandedRows(QModelIndex(), &expandedKeys);
    }
    ui->collectionTree->doItemsLayout();
    keepFocusedRowCurrent();
}

namespace {

// Visits the language, series and set rows under parent, depth first; a row
// whose visit returns false keeps its children unvisited. Cards are no group.
template <typename Visit>
void visitGroupRows(const QAbstractItemModel *model, const QModelIndex &parent, const Visit &visit)
{
    const int rows = model->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        const int type = index.data(CollectionTreeModel::NodeTypeRole).toInt();
        if (type == CollectionTreeModel::CardNode)
            return;
        if (visit(index) && type != CollectionTreeModel::SetNode)
            visitGroupRows(model, index, visit);
    }
}

} // namespace

void MainWindow::restoreExpandedRows(const QModelIndex &parent, const QSet<QString> *keys)
{
    visitGroupRows(m_treeModel, parent, [&](const QModelIndex &index) {
        if (keys && !keys->contains(index.data(CollectionTreeModel::NodeKeyRole).toString()))
            return false;
        ui->collectionTree->expand(index);
        return true;
    });
}

void MainWindow::expandAncestors(const QModelIndex &index)
{
    QList<QModelIndex> ancestors;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ancestors.prepend(parent);
    for (const QModelIndex &ancestor : std::as_const(ancestors))
        ui->collectionTree->expand(ancestor);
}

// Every language, series and set row, laid out once: expanding from one row
// schedules a single layout instead of laying out at each row.
void MainWindow::expandWholeTree()
{
    QTreeView *tree = ui->collectionTree;
    const int languages = m_treeModel->rowCount();
    for (int row = 0; row < languages; ++row)
        tree->expandRecursively(m_treeModel->index(row, 0), 2);
    tree->doItemsLayout();
}

void MainWindow::revealSets(const QSet<QString> &setKeys)
{
    QModelIndex first;
    for (const QString &key : setKeys) {
        const QModelIndex node = m_treeModel->indexForSetKey(key);
        if (!node.isValid())
            continue;
        expandAncestors(node);
        ui->collectionTree->expand(node);
        if (!first.isValid())
            first = node;
    }
    if (first.isValid())
        ui->collectionTree->scrollTo(first, QAbstractItemView::EnsureVisible);
}

AddCardsDialog *MainWindow::addCardsDialog()
{
    if (!m_addCardsDialog)
        m_addCardsDialog = AddCardsDialog::prepare(m_client, m_catalog, m_fallbackPrices, this);
    return m_addCardsDialog;
}

void MainWindow::addCards(const QString &preselection)
{
    AddCardsDialog &dialog = *addCardsDialog();
    dialog.restart(m_collection);
    const KeyParts preselected = parseSetKey(preselection);
    if (preselected.hasLanguage) {
        dialog.preselect(preselected.language, preselected.id);
    } else {
        const int row = m_treeModel->entryIndexAt(ui->collectionTree->currentIndex());
        if (row >= 0 && row < m_collection->entries().size())
            dialog.selectLanguage(m_collection->entries().at(row).lang);
    }
    const bool accepted = DialogPrompts::exec(dialog) == QDialog::Accepted;
    const QList<CardEntry> cards = accepted ? dialog.pendingEntries() : QList<CardEntry>();
    const QList<SetRecord> sets = dialog.pendingSets();
    dialog.setAside();
    if (cards.isEmpty())
        return;
    m_undoStack->push(new AddCardsCommand(m_collection, cards, sets, &focusKey));
    QSet<QString> setKeys;
    QSet<QString> priced;
    QList<QPair<Language, QString>> toPrice;
    for (const CardEntry &card : cards) {
        setKeys.insert(entrySetKey(card));
        if (!priced.contains(ownedCardKey(card.lang, card.cardId))) {
            priced.insert(ownedCardKey(card.lang, card.cardId));
            toPrice.append({card.lang, card.cardId});
        }
    }
    revealSets(setKeys);
    queueCardPrices(toPrice);
}

} // namespace pv
