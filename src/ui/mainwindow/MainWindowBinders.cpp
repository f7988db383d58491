// The binders dock: the list of the collection's binders.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/DexIndex.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "ui_MainWindow.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace pv {

namespace {
const int kBinderIdRole = Qt::UserRole;
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
    {
        const QSignalBlocker blocker(ui->bindersList);
        ui->bindersList->clear();
        const QList<Binder> binders = m_collection->binders();
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
            auto *item = new QListWidgetItem(text, ui->bindersList);
            item->setData(kBinderIdRole, binder.id);
            if (binder.id == selectedBinderId)
                ui->bindersList->setCurrentItem(item);
        }
    }
    m_refreshingBinders = false;
    ui->deleteBinderButton->setEnabled(!currentBinderId().isEmpty());
}

QString MainWindow::currentBinderId() const
{
    const QListWidgetItem *item = ui->bindersList->currentItem();
    return item ? item->data(kBinderIdRole).toString() : QString();
}

} // namespace pv
