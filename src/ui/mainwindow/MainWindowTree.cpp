// The collection tree and the card panel beside it.
#include "ui/mainwindow/MainWindow.h"

#include "collection/Collection.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui_MainWindow.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>

namespace pv {

void MainWindow::setUpTree()
{
}

void MainWindow::onCurrentTreeRowChanged(const QModelIndex &current)
{
    Q_UNUSED(current)
    updateChartContext();
}

void MainWindow::showFocusedEntry()
{
    if (!focusKey.isEmpty()) {
        const int row = m_collection->indexOfEntry(focusKey);
        if (row >= 0) {
            ui->cardDetails->setEntry(m_collection->entries().at(row));
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

void MainWindow::revealSets(const QSet<QString> &setKeys)
{
    Q_UNUSED(setKeys)
}

} // namespace pv
