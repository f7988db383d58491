// Commands of the Labels and Help menus and the image cache folder.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/ImageCache.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "collection/SetPrintLabelsCommand.h"
#include "core/Log.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QUndoStack>

namespace pv {

namespace {
const QString kCacheCategory = QStringLiteral("cache");
}

void MainWindow::clearLabels()
{
    QStringList keys;
    for (const CardEntry &entry : m_collection->entries()) {
        if (entry.printLabel)
            keys.append(entryKey(entry));
    }
    if (keys.isEmpty())
        return;
    m_undoStack->push(new SetPrintLabelsCommand(m_collection, keys, false, tr("Clear labels")));
}

void MainWindow::clearImageCache()
{
    ImageCache &cache = m_client->imageCache();
    cache.clear();
    Log::info(kCacheCategory,
              tr("Image cache cleared (%1).").arg(QDir::toNativeSeparators(cache.folder().absolutePath())));
    showStatus(tr("Image cache cleared."), 4000);
}

bool MainWindow::changeImageCacheFolder(const QString &requested)
{
    ImageCache &cache = m_client->imageCache();
    // An empty field stands for the default folder; either way the messages
    // name the absolute folder that was tried, never an empty text.
    const QString target = requested.trimmed().isEmpty() ? ImageCache::defaultFolder()
                                                         : QDir(requested.trimmed()).absolutePath();
    const QString inUse = cache.folder().absolutePath();
    if (target == inUse)
        return true;
    if (!cache.changeFolder(target)) {
        const QString nativeTarget = QDir::toNativeSeparators(target);
        const QString nativeInUse = QDir::toNativeSeparators(inUse);
        Log::error(kCacheCategory, tr("Image cache folder %1 could not be created; still using %2.")
                                       .arg(nativeTarget, nativeInUse));
        DialogPrompts::warning(this, tr("Could not change the image cache folder"),
                               tr("%1 could not be created. The cache keeps using %2.").arg(nativeTarget, nativeInUse));
        return false;
    }
    ui->cardDetails->refresh();
    const QString nativeFolder = QDir::toNativeSeparators(cache.folder().absolutePath());
    Log::info(kCacheCategory, tr("Image cache folder: %1").arg(nativeFolder));
    showStatus(tr("Image cache folder: %1").arg(nativeFolder), 6000);
    return true;
}

} // namespace pv
