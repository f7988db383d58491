// The binders dock: the list of the collection's binders.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/CardCatalog.h"
#include "catalog/DexIndex.h"
#include "collection/AddBinderCommand.h"
#include "collection/BinderCard.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "collection/EditBinderCommand.h"
#include "collection/RemoveBinderCommand.h"
#include "core/ClockTimer.h"
#include "ui/dialogs/BinderDialog.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/dialogs/NewBinderDialog.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui_MainWindow.h"

#include <QDockWidget>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUndoStack>

namespace pv {

namespace {
const int kBinderIdRole = Qt::UserRole;
// Edits in a row (a quantity spun up, notes typed) resolve the binders once.
const int kBinderCountsDelayMs = 200;
// The tree's card rows carry their holding's row in the collection; a match
// on it finds the row through any proxy between the view and the model.
const int kTreeEntryRowRole = CollectionTreeModel::EntryIndexRole;
}

void MainWindow::setUpBindersDock()
{
    connect(ui->newBinderButton, &QPushButton::clicked, this, &MainWindow::newBinder);
    connect(ui->deleteBinderButton, &QPushButton::clicked, this, &MainWindow::deleteBinder);
    connect(ui->bindersList, &QListWidget::customContextMenuRequested, this, &MainWindow::showBindersContextMenu);
    connect(ui->bindersList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        if (const Binder *binder = m_collection->binder(item->data(kBinderIdRole).toString()))
            openBinder(*binder, false);
    });
    connect(ui->bindersList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *current) {
        selectedBinderId = current ? current->data(kBinderIdRole).toString() : QString();
        ui->deleteBinderButton->setEnabled(!selectedBinderId.isEmpty());
    });
    ui->deleteBinderButton->setEnabled(false);
    // Where the window is short the list gives way down to a row, its
    // buttons staying in view under it.
    QListWidget *list = ui->bindersList;
    list->setMinimumHeight(list->fontMetrics().height() + 10 + 2 * list->frameWidth());
    m_binderCountsTimer = new ClockTimer(kBinderCountsDelayMs, this);
    connect(m_binderCountsTimer, &ClockTimer::timeout, this, [this] {
        if (ui->bindersDock->isVisible())
            refreshBindersList();
    });
    connect(ui->bindersDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && m_binderCountsStale)
            refreshBindersList();
    });
}

void MainWindow::scheduleBinderCounts()
{
    // Resolving every binder costs as much as the rest of an edit together:
    // the counts follow the holdings once the edits pause.
    m_binderCountsStale = true;
    m_binderCountsTimer->start();
}

void MainWindow::refreshBinderCountsWhenShown()
{
    // What the catalog learns changes the counts, which a hidden dock takes
    // up when it is shown again.
    if (ui->bindersDock->isVisible())
        refreshBindersList();
    else
        m_binderCountsStale = true;
}

void MainWindow::newBinder()
{
    // The dialog's series, sets and rarities come from the English catalog.
    m_catalog->ensureLoaded(Language::English);
    NewBinderDialog dialog(m_catalog, m_dexIndex, m_collection, this);
    if (DialogPrompts::exec(dialog) != QDialog::Accepted)
        return;
    const Binder binder = dialog.binder();
    if (binder.name.isEmpty() || (binder.rules.isEmpty() && binder.topValue < 1))
        return;
    selectedBinderId = binder.id;
    m_undoStack->push(new AddBinderCommand(m_collection, binder));
    refreshBindersList();
    openBinder(binder, false);
}

void MainWindow::deleteBinder()
{
    const QString id = currentBinderId();
    const Binder *binder = id.isEmpty() ? nullptr : m_collection->binder(id);
    if (!binder)
        return;
    const QMessageBox::StandardButton answer = DialogPrompts::question(
        this, tr("Delete binder"),
        tr("Delete the binder \"%1\"? The cards in your collection are not affected.").arg(binder->name),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    if (BinderDialog *open = binderDialogs.value(id))
        open->close();
    m_undoStack->push(new RemoveBinderCommand(m_collection, id));
}

void MainWindow::openBinder(const Binder &binder, bool detached)
{
    m_catalog->ensureLoaded(binder.lang);
    if (BinderDialog *open = binderDialogs.value(binder.id)) {
        open->setBinder(binder);
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }

    auto *dialog = new BinderDialog(m_catalog, m_dexIndex, m_client, m_fallbackPrices, m_collection, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setDetached(detached);
    dialog->setBinder(binder);
    const QString id = binder.id;
    connect(dialog, &QObject::destroyed, this, [this, id] {
        // A dialog reopened for the same binder meanwhile keeps its entry.
        const auto it = binderDialogs.find(id);
        if (it != binderDialogs.end() && it->isNull())
            binderDialogs.erase(it);
    });
    if (!detached) {
        connect(dialog, &BinderDialog::binderChanged, this, [this](const Binder &after) {
            const Binder *stored = m_collection->binder(after.id);
            if (stored)
                m_undoStack->push(new EditBinderCommand(m_collection, Binder(*stored), after));
        });
    }
    connect(dialog, &BinderDialog::cardActivated, this, qOverload<const QString &>(&MainWindow::showCardInTree));
    binderDialogs.insert(id, dialog);
    dialog->show();
}

QMenu *MainWindow::createBindersContextMenu(const QPoint &pos)
{
    auto *menu = new QMenu(this);
    for (const char *name : {"actionUndo", "actionRedo"}) {
        if (QAction *action = findChild<QAction *>(QLatin1String(name)))
            menu->addAction(action);
    }
    menu->addSeparator();
    if (const QListWidgetItem *item = ui->bindersList->itemAt(pos)) {
        const QString id = item->data(kBinderIdRole).toString();
        menu->addAction(tr("Open"), this, [this, id] {
            if (const Binder *binder = m_collection->binder(id))
                openBinder(*binder, false);
        });
        menu->addAction(tr("Delete"), this, [this, id] {
            m_undoStack->push(new RemoveBinderCommand(m_collection, id));
        });
        menu->addSeparator();
    }
    menu->addAction(tr("New binder..."), this, &MainWindow::newBinder);
    return menu;
}

void MainWindow::showBindersContextMenu(const QPoint &pos)
{
    popUpContextMenu(createBindersContextMenu(pos), ui->bindersList, pos);
}

void MainWindow::rebuildBinderDialogs()
{
    // A binder that left the collection (deleted, undone, another file
    // opened) takes its window with it; a detached one was never in it.
    QList<BinderDialog *> gone;
    for (const QPointer<BinderDialog> &dialog : std::as_const(binderDialogs)) {
        if (!dialog)
            continue;
        if (!dialog->isDetached() && !m_collection->binder(dialog->binder().id))
            gone.append(dialog);
        else
            dialog->rebuild();
    }
    for (BinderDialog *dialog : std::as_const(gone))
        dialog->close();
}

void MainWindow::followHoldingsInBinders(const Collection::Change &change)
{
    for (const QPointer<BinderDialog> &dialog : std::as_const(binderDialogs)) {
        if (dialog)
            dialog->followHoldings(change);
    }
    // Counts waiting for the dock are resolved anew when it shows in any case.
    bool touched = m_binderCountsStale || !change.cardsKnown;
    for (const Binder &binder : m_collection->binders()) {
        if (touched)
            break;
        const auto counted = m_binderCounted.constFind(binder.id);
        touched = counted == m_binderCounted.cend()
            || binderTouchedBy(binder, *counted, change.cards, change.cardsKnown, *m_collection);
    }
    if (touched)
        scheduleBinderCounts();
}

void MainWindow::refreshBinderPrices()
{
    for (const QPointer<BinderDialog> &dialog : std::as_const(binderDialogs)) {
        if (dialog)
            dialog->refreshPrices();
    }
}

void MainWindow::showCardInTree(const QString &cardId)
{
    const QList<CardEntry> &entries = m_collection->entries();
    int row = -1;
    for (int i = 0; i < entries.size() && row < 0; ++i) {
        if (entries.at(i).cardId == cardId)
            row = i;
    }
    QAbstractItemModel *model = ui->collectionTree->model();
    if (row < 0 || !model || model->rowCount() == 0)
        return;
    const QModelIndexList found = model->match(model->index(0, 0), kTreeEntryRowRole, row, 1,
                                               Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty())
        return;
    const QModelIndex index = found.first();
    expandAncestors(index);
    ui->collectionTree->setCurrentIndex(index);
    ui->collectionTree->scrollTo(index);
    ui->treeDock->raise();
}

void MainWindow::refreshBindersList()
{
    // The Pokedex index may answer a request at once and signal dexReady from
    // inside the loop below. Such a call must not rebuild the list under the
    // loop (its items would be listed twice): it asks for one more rebuild,
    // run from the event loop once this one is done.
    if (m_refreshingBinders) {
        if (!m_bindersRefreshAgain) {
            m_bindersRefreshAgain = true;
            QMetaObject::invokeMethod(this, [this] {
                m_bindersRefreshAgain = false;
                refreshBindersList();
            }, Qt::QueuedConnection);
        }
        return;
    }
    m_refreshingBinders = true;
    m_binderCountsStale = false;
    m_binderCountsTimer->stop();
    {
        const QSignalBlocker blocker(ui->bindersList);
        const QList<Binder> binders = m_collection->binders();
        QStringList texts;
        m_binderCounted.clear();
        for (const Binder &binder : binders) {
            const BinderResolution resolved = resolveBinder(binder, m_catalog, m_dexIndex, m_collection);
            QString text = binder.name;
            if (!resolved.cards.isEmpty()) {
                text += QStringLiteral("  -  %1/%2").arg(resolved.ownedCount).arg(resolved.cards.size());
            } else if (!resolved.pendingDexIds.isEmpty()) {
                text += tr("  -  looking up...");
                for (int dexId : resolved.pendingDexIds)
                    m_dexIndex->request(binder.lang, dexId);
            }
            texts.append(text);
            m_binderCounted.insert(binder.id, resolved.cards);
        }
        // The same binders in the same order keep their rows: only a count
        // that changed is drawn again.
        QListWidget *list = ui->bindersList;
        bool sameRows = list->count() == binders.size();
        for (int row = 0; sameRows && row < list->count(); ++row)
            sameRows = list->item(row)->data(kBinderIdRole).toString() == binders.at(row).id;
        if (!sameRows) {
            list->clear();
            for (const Binder &binder : binders)
                (new QListWidgetItem(list))->setData(kBinderIdRole, binder.id);
        }
        QListWidgetItem *selected = nullptr;
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem *item = list->item(row);
            if (item->text() != texts.at(row))
                item->setText(texts.at(row));
            if (binders.at(row).id == selectedBinderId)
                selected = item;
        }
        if (list->currentItem() != selected)
            list->setCurrentItem(selected);
    }
    m_refreshingBinders = false;
    // A list that ends with nothing current forgets the selection, so that a
    // binder coming back later is not re-selected on its own.
    if (!ui->bindersList->currentItem())
        selectedBinderId.clear();
    ui->deleteBinderButton->setEnabled(!currentBinderId().isEmpty());
}

QString MainWindow::currentBinderId() const
{
    const QListWidgetItem *item = ui->bindersList->currentItem();
    return item ? item->data(kBinderIdRole).toString() : QString();
}

} // namespace pv
