// The collection tree and the card panel beside it.
#include "ui/mainwindow/MainWindow.h"

#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CollectionTreeDelegate.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/models/SetCardsModel.h"
#include "ui_MainWindow.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>
#include <QUndoStack>

#include <memory>

namespace pv {

void MainWindow::setUpTree()
{
    m_treeModel = new CollectionTreeModel(this);
    m_treeModel->setCollection(m_collection);
    m_treeModel->setTcgdexClient(m_client);
    ui->collectionTree->setModel(m_treeModel);
    m_treeDelegate = new CollectionTreeDelegate(this);
    ui->collectionTree->setItemDelegate(m_treeDelegate);
    QHeaderView *header = ui->collectionTree->header();
    // The card column keeps room for the names: when the value columns fill
    // the dock, it scrolls sideways rather than squeezing the names away.
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    header->resizeSection(0, 240);
    for (int column = 1; column < m_treeModel->columnCount(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    spanGroupRows();
    connect(m_treeModel, &QAbstractItemModel::modelAboutToBeReset, this, &MainWindow::saveExpansionState);
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, &MainWindow::restoreExpansionAfterReset);
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, [this] { spanGroupRows(); });
    connect(ui->collectionTree->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { onCurrentTreeRowChanged(current); });
}

void MainWindow::onCurrentTreeRowChanged(const QModelIndex &current)
{
    const int row = m_treeModel->entryIndexAt(current);
    if (row >= 0 && row < m_collection->entries().size()) {
        const CardEntry &entry = m_collection->entries().at(row);
        focusKey = entryKey(entry);
        ui->cardDetails->setEntry(entry);
    }
    updateChartContext();
}

void MainWindow::showFocusedEntry()
{
    if (!focusKey.isEmpty()) {
        const int row = m_collection->indexOfEntry(focusKey);
        if (row >= 0) {
            ui->cardDetails->setEntry(m_collection->entries().at(row));
            const QModelIndex index = m_treeModel->indexForEntryKey(focusKey);
            if (index.isValid()) {
                ui->collectionTree->setCurrentIndex(index);
                ui->collectionTree->scrollTo(index);
            }
            return;
        }
        focusKey.clear();
    }
    ui->cardDetails->clear();
}

void MainWindow::expandAncestors(const QModelIndex &index)
{
    QList<QModelIndex> ancestors;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ancestors.prepend(parent);
    for (const QModelIndex &ancestor : std::as_const(ancestors))
        ui->collectionTree->expand(ancestor);
}

void MainWindow::spanGroupRows(const QModelIndex &parent)
{
    const int rows = m_treeModel->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = m_treeModel->index(row, 0, parent);
        const int type = index.data(CollectionTreeModel::NodeTypeRole).toInt();
        if (type == CollectionTreeModel::CardNode)
            continue;
        ui->collectionTree->setFirstColumnSpanned(row, parent, true);
        if (type != CollectionTreeModel::SetNode)
            spanGroupRows(index);
    }
}

namespace {

void collectExpandedKeys(const QTreeView *tree, const QAbstractItemModel *model, const QModelIndex &parent,
                         QSet<QString> &keys)
{
    const int rows = model->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (!tree->isExpanded(index))
            continue;
        const QString key = index.data(CollectionTreeModel::NodeKeyRole).toString();
        if (!key.isEmpty())
            keys.insert(key);
        collectExpandedKeys(tree, model, index, keys);
    }
}

void restoreExpandedRows(QTreeView *tree, const QAbstractItemModel *model, const QModelIndex &parent,
                         const QSet<QString> &keys)
{
    const int rows = model->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (!keys.contains(index.data(CollectionTreeModel::NodeKeyRole).toString()))
            continue;
        tree->expand(index);
        restoreExpandedRows(tree, model, index, keys);
    }
}

} // namespace

void MainWindow::saveExpansionState()
{
    expandedKeys.clear();
    collectExpandedKeys(ui->collectionTree, m_treeModel, QModelIndex(), expandedKeys);
}

void MainWindow::restoreExpansionAfterReset()
{
    if (!expandedKeys.isEmpty())
        restoreExpandedRows(ui->collectionTree, m_treeModel, QModelIndex(), expandedKeys);
}

void MainWindow::expandWholeTree()
{
    if (!m_treeModel->isRebuildPending()) {
        ui->collectionTree->expandAll();
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_treeModel, &QAbstractItemModel::modelReset, this, [this, connection] {
        QObject::disconnect(*connection);
        ui->collectionTree->expandAll();
    });
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

void MainWindow::addCards(const QString &preselection)
{
    AddCardsDialog dialog(m_client, m_catalog, m_priceIndex, m_collection, this);
    const qsizetype colon = preselection.indexOf(QLatin1Char(':'));
    if (colon >= 1) {
        dialog.preselect(languageFromCode(preselection.left(colon), Language::English),
                         preselection.mid(colon + 1));
    } else {
        const int row = m_treeModel->entryIndexAt(ui->collectionTree->currentIndex());
        if (row >= 0 && row < m_collection->entries().size())
            dialog.selectLanguage(m_collection->entries().at(row).lang);
    }
    if (DialogPrompts::exec(dialog) != QDialog::Accepted)
        return;
    const QList<CardEntry> cards = dialog.pendingEntries();
    if (cards.isEmpty())
        return;
    m_undoStack->push(new AddCardsCommand(m_collection, cards, dialog.pendingSets(), &focusKey));
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
