// Collection file commands: New, Open, Save, Save As, the recent files, the
// unsaved-changes question, the window title and the saved window state.
#include "ui/mainwindow/MainWindow.h"

#include "collection/Collection.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCard.h"
#include "catalog/LanguageCatalog.h"
#include "collection/CollectionFileTask.h"
#include "collection/CollectionSerializer.h"
#include "core/AppSettings.h"
#include "core/Log.h"
#include "ui/ScreenFit.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace pv {

namespace {

const int kMaxRecentFiles = 10;
const QString kFileCategory = QStringLiteral("file");
// Files from this size on are read, and collections of this many holdings
// written, on a thread of their own (a few milliseconds' work below).
constexpr qint64 kBackgroundOpenBytes = qint64(2) << 20;
constexpr qsizetype kBackgroundSaveEntries = 4000;
// A file read or written for longer shows a progress bar.
constexpr int kProgressDelayMs = 500;
bool s_fileTasksInBackground = false;

} // namespace

struct MainWindow::ReadExtras
{
    // The tree's rows, made from the contents read.
    std::shared_ptr<CollectionTreeModel::PreparedTree> tree;
};

bool MainWindow::maybeSave()
{
    if (!m_collection->isDirty())
        return true;
    const QString name = m_collection->filePath().isEmpty() ? tr("this collection")
                                                            : QFileInfo(m_collection->filePath()).fileName();
    const QMessageBox::StandardButton answer = DialogPrompts::question(
        this, tr("Unsaved changes"), tr("%1 has unsaved changes.\n\nSave them before continuing?").arg(name),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer == QMessageBox::Save)
        return save();
    return false;
}

void MainWindow::newCollection()
{
    if (!maybeSave())
        return;
    cancelPriceRefresh();
    m_collection->clear();
    m_undoStack->clear();
    changedOutsideUndo = false;
    ui->cardDetails->clear();
    focusKey.clear();
}

void MainWindow::openCollection()
{
    if (!maybeSave())
        return;
    // A running price refresh may change the collection while the dialog is
    // open; the question before it never saw those changes, so they are asked
    // about before the chosen file replaces them.
    bool changedBehindDialog = false;
    const QMetaObject::Connection watch =
        connect(m_collection, &Collection::changed, this, [&changedBehindDialog] { changedBehindDialog = true; });
    const bool wasDirty = m_collection->isDirty();
    const QString path = DialogPrompts::openFileName(this, tr("Open collection"), QString(),
                                                     CollectionSerializer::fileFilter());
    disconnect(watch);
    if (path.isEmpty())
        return;
    if ((changedBehindDialog || (m_collection->isDirty() && !wasDirty)) && !maybeSave())
        return;
    openFile(path);
}

void MainWindow::openFile(const QString &path)
{
    cancelPriceRefresh();
    finishRunningSave();
    Log::info(kFileCategory, tr("Opening %1").arg(QDir::toNativeSeparators(path)));
    if (m_fileTask) {
        // A file still being read: this one takes its place.
        CollectionFileTask *abandoned = std::exchange(m_fileTask, nullptr);
        disconnect(abandoned, nullptr, this, nullptr);
        connect(abandoned, &CollectionFileTask::finished, abandoned, &CollectionFileTask::disposeLater);
    }
    m_readExtras.reset();
    const QFileInfo info(path);
    if (!s_fileTasksInBackground && info.size() < kBackgroundOpenBytes) {
        CollectionSerializer::ReadResult result = CollectionSerializer::read(path);
        finishOpen(path, result, nullptr, 0);
        return;
    }
    // The rarities the catalogs know already are given on the reading
    // thread, from their card lists as they stand now (shared, not copied).
    struct Known
    {
        QList<CatalogCard> cards;
        QHash<QString, int> index;
    };
    std::vector<Known> known(allLanguages().size());
    for (Language language : allLanguages()) {
        const LanguageCatalog *loaded = m_catalog->catalog(language);
        if (loaded && m_catalog->hasRarities(language))
            known[size_t(language)] = {loaded->cards, loaded->cardIndex};
    }
    m_raritiesWhileReading = false;
    // The tree's rows are made there too, in the card order shown now.
    auto extras = std::make_shared<ReadExtras>();
    m_readExtras = extras;
    const CollectionTreeModel::CardSortMode order = m_treeModel->cardSortMode();
    const auto fill = [known = std::move(known), extras, order](Collection &read) {
        const int filled = read.fillMissingRarities([&known](Language language, const QString &cardId) {
            const size_t at = size_t(language);
            const int card = at < known.size() ? known[at].index.value(cardId, -1) : -1;
            return card < 0 ? QString() : known[at].cards.at(card).rarity;
        });
        extras->tree = CollectionTreeModel::prepare(read, order);
        return filled;
    };
    startFileTask(CollectionFileTask::read(path, fill, this), tr("Opening %1...").arg(info.fileName()));
}

void MainWindow::finishOpen(const QString &path, CollectionSerializer::ReadResult &result, Collection *read,
                            int filledWhileReading)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!result.ok) {
        // When the reader already says the file could not be opened, the
        // line says so once and gives the reader's reason.
        QString reason = result.error;
        const QString readerLead = tr("Could not open %1: %2").arg(path, QString());
        if (reason.startsWith(readerLead))
            reason.remove(0, readerLead.size());
        Log::error(kFileCategory, tr("Could not open %1: %2").arg(nativePath, reason));
        QStringList recent = recentFiles();
        if (recent.removeAll(info.absoluteFilePath()) > 0)
            setRecentFiles(recent);
        rebuildRecentMenu();
        DialogPrompts::warning(this, tr("Could not open collection"), result.error);
        return;
    }

    // The tree of the new contents opens fully expanded, with no holding in focus.
    cancelPriceRefresh();
    focusKey.clear();
    m_expandWholeTreeOnReset = true;
    if (read) {
        // The tree takes the rows made while the file was read, unless the
        // card order changed meanwhile.
        if (m_readExtras)
            m_treeModel->usePrepared(std::move(m_readExtras->tree));
        m_readExtras.reset();
        m_collection->takeContents(*read);
        m_treeModel->usePrepared(nullptr);
    } else {
        m_collection->replaceContents(std::move(result.entries), std::move(result.sets), std::move(result.history),
                                      std::move(result.binders), std::move(result.labelStyle));
    }
    if (m_expandWholeTreeOnReset) {
        m_expandWholeTreeOnReset = false;
        expandWholeTree();
    }
    m_collection->setFilePath(path);
    m_collection->setDirty(false);
    m_undoStack->clear();
    changedOutsideUndo = false;
    ui->cardDetails->clear();
    focusKey.clear();

    // The collection holds what was read, whichever way it came in.
    Log::info(kFileCategory,
              tr("Opened %1: %2 entries, %3 sets, %4 history points.")
                  .arg(info.fileName())
                  .arg(m_collection->entries().size())
                  .arg(m_collection->sets().size())
                  .arg(m_collection->history().size()));
    // Rarities the catalog collected before the file was in are given now
    // (or were, as it was read); those it collects later, when they come.
    // Either way they change the document.
    if (filledWhileReading > 0) {
        changedOutsideUndo = true;
        m_collection->setDirty(true);
    }
    if (!read || m_raritiesWhileReading)
        fillRaritiesFromCatalog();
    else
        markRaritiesFilled();
    reportReadWarnings(info.fileName(), result);
    AppSettings().setValue(QStringLiteral("lastDirectory"), info.absolutePath());
    addRecentFile(path);
    rebuildRecentMenu();
}

// Every warning the reader kept goes to the log, then one line per kind with
// its count (a kind seen once and logged already needs none); the first few
// go into a message box. A damaged file may hold millions of them.
void MainWindow::reportReadWarnings(const QString &fileName, const CollectionSerializer::ReadResult &result)
{
    constexpr int shownWarnings = 8;
    for (const QString &text : result.warnings)
        Log::warn(kFileCategory, text);
    for (const CollectionSerializer::WarningKind &kind : result.warningKinds) {
        if (kind.count == 1 && result.warnings.contains(kind.first))
            continue;
        Log::warn(kFileCategory,
                  kind.count == 1 ? kind.first
                                  : tr("%1 (%n warning(s) of this kind)", nullptr, kind.count).arg(kind.first));
    }
    if (result.warningCount == 0)
        return;
    QStringList lines = result.warnings.mid(0, shownWarnings);
    if (result.warningCount > lines.size()) {
        lines.append(tr("... and %n more (see Help > Log)", nullptr, result.warningCount - int(lines.size())));
    }
    DialogPrompts::information(this, tr("Collection opened with warnings"),
                               tr("%1 was opened, but some of its contents were not fully understood:\n\n%2")
                                   .arg(fileName, lines.join(QLatin1Char('\n'))));
}

bool MainWindow::save()
{
    if (m_collection->filePath().isEmpty())
        return saveAs();
    return saveToFile(m_collection->filePath());
}

bool MainWindow::saveAs()
{
    const QString start = AppSettings().value(QStringLiteral("lastDirectory")).toString();
    QString path = DialogPrompts::saveFileName(this, tr("Save collection"), start,
                                               CollectionSerializer::fileFilter());
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".tmk");
    if (!saveToFile(path))
        return false;
    m_collection->setFilePath(path);
    AppSettings().setValue(QStringLiteral("lastDirectory"), QFileInfo(path).absolutePath());
    addRecentFile(path);
    rebuildRecentMenu();
    return true;
}

bool MainWindow::saveToFile(const QString &path)
{
    if (!s_fileTasksInBackground && m_collection->entries().size() < kBackgroundSaveEntries) {
        QString error;
        const bool written = CollectionSerializer::write(path, *m_collection, &error);
        finishSave(path, written, error, m_collection->entries().size(), true);
        return written;
    }
    // The collection as it stands is written on a thread of its own; the
    // window answers meanwhile, and edits made then leave it changed.
    finishRunningSave();
    bool written = false;
    QEventLoop writing;
    auto *task = CollectionFileTask::write(path, *m_collection, this);
    m_savedChangeCount = m_changeCount;
    connect(task, &CollectionFileTask::finished, &writing, [task, &written, &writing] {
        written = task->written();
        writing.quit();
    });
    startFileTask(task, tr("Saving %1...").arg(QFileInfo(path).fileName()));
    writing.exec();
    return written;
}

void MainWindow::finishSave(const QString &path, bool written, const QString &error, qsizetype entries,
                            bool sameContents)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    if (!written) {
        Log::error(kFileCategory, tr("Could not save %1: %2").arg(nativePath, error));
        DialogPrompts::warning(this, tr("Could not save collection"), error);
        return;
    }
    Log::info(kFileCategory, tr("Saved %1 (%n line(s))", nullptr, int(entries)).arg(nativePath));
    if (sameContents) {
        m_collection->setDirty(false);
        changedOutsideUndo = false;
        m_undoStack->setClean();
    } else {
        // What changed while the file was written is in no file: no step
        // of the undo history matches the file now.
        m_undoStack->resetClean();
    }
    showStatus(tr("Saved %1").arg(QFileInfo(path).fileName()), 4000);
}

bool MainWindow::fileTaskRunning() const
{
    return m_fileTask != nullptr;
}

void MainWindow::setFileTasksAlwaysInBackground(bool always)
{
    s_fileTasksInBackground = always;
}

void MainWindow::startFileTask(CollectionFileTask *task, const QString &message)
{
    m_fileTask = task;
    connect(task, &CollectionFileTask::finished, this, [this, task] { onFileTaskFinished(task); });
    setFileCommandsEnabled(task->kind() == CollectionFileTask::Kind::Read,
                           task->kind() == CollectionFileTask::Kind::Write);
    // A file that takes a while shows that it is being read or written.
    QTimer::singleShot(kProgressDelayMs, this, [this, task, message] {
        if (m_fileTask != task)
            return;
        statusBar()->showMessage(message);
        m_fileProgress->show();
    });
}

void MainWindow::onFileTaskFinished(CollectionFileTask *task)
{
    disconnect(task, nullptr, this, nullptr);
    if (task != m_fileTask) {
        task->disposeLater();
        return;
    }
    m_fileTask = nullptr;
    m_fileProgress->hide();
    statusBar()->clearMessage();
    setFileCommandsEnabled(false, false);
    if (task->kind() == CollectionFileTask::Kind::Read) {
        finishOpen(task->path(), task->readResult(), &task->contents(), task->preparedRows());
    } else {
        finishSave(task->path(), task->written(), task->error(), task->entryCount(),
                   m_changeCount == m_savedChangeCount);
    }
    const bool saved = task->kind() == CollectionFileTask::Kind::Write;
    task->disposeLater();
    emit fileTaskFinished();
    if (saved && std::exchange(m_closeAfterSave, false))
        close();
}

void MainWindow::finishRunningSave()
{
    if (!m_fileTask || m_fileTask->kind() != CollectionFileTask::Kind::Write)
        return;
    m_fileTask->wait();
    emit m_fileTask->finished();
}

void MainWindow::setFileCommandsEnabled(bool reading, bool writing)
{
    const bool busy = reading || writing;
    for (QAction *action : {ui->actionNew, ui->actionOpen, ui->actionSaveAs})
        action->setEnabled(!busy);
    ui->menuOpenRecent->setEnabled(!busy && !recentFiles().isEmpty());
    updateWindowTitle();
    // Nothing edits the collection that the file read replaces.
    for (QAction *action : {ui->actionAddCards, ui->actionPrintLabels})
        action->setEnabled(!reading);
    if (reading) {
        for (QAction *action : {ui->actionRefreshPrices, ui->actionClearLabels})
            action->setEnabled(false);
    } else {
        updateStatusSummary();
    }
    if (auto *undo = findChild<QAction *>(QStringLiteral("actionUndo")))
        undo->setEnabled(!reading && m_undoStack->canUndo());
    if (auto *redo = findChild<QAction *>(QStringLiteral("actionRedo")))
        redo->setEnabled(!reading && m_undoStack->canRedo());
    for (QDockWidget *dock : {ui->treeDock, ui->bindersDock, ui->previewDock, ui->searchDock})
        dock->widget()->setEnabled(!reading);
}

void MainWindow::fillRaritiesFromCatalog()
{
    bool known = false;
    for (Language language : allLanguages())
        known = known || m_catalog->hasRarities(language);
    if (!known)
        return;
    const int filled = m_collection->fillMissingRarities([this](Language language, const QString &cardId) {
        const CatalogCard *card = m_catalog->cardById(language, cardId);
        return card ? card->rarity : QString();
    });
    markRaritiesFilled();
    if (filled > 0)
        changedOutsideUndo = true;
}

void MainWindow::markRaritiesFilled()
{
    // The fill named what every catalog with rarities names.
    for (const Language language : allLanguages())
        if (m_catalog->hasRarities(language))
            m_rarityFillDue.remove(language);
}

QStringList MainWindow::recentFiles()
{
    AppSettings settings;
    QStringList files;
    const int size = settings.beginReadArray(QStringLiteral("recentFiles"));
    for (int i = 0; i < size && files.size() < kMaxRecentFiles; ++i) {
        settings.setArrayIndex(i);
        const QString path = settings.value(QStringLiteral("path")).toString();
        if (!path.isEmpty())
            files.append(path);
    }
    settings.endArray();
    return files;
}

void MainWindow::setRecentFiles(const QStringList &files)
{
    AppSettings settings;
    settings.remove(QStringLiteral("recentFiles"));
    settings.beginWriteArray(QStringLiteral("recentFiles"), files.size());
    for (int i = 0; i < files.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("path"), files.at(i));
    }
    settings.endArray();
}

void MainWindow::addRecentFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kMaxRecentFiles)
        files.removeLast();
    setRecentFiles(files);
}

void MainWindow::setUpRecentMenu()
{
    ui->menuOpenRecent->setToolTipsVisible(true);
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        auto *action = new QAction(this);
        action->setVisible(false);
        connect(action, &QAction::triggered, this, [this, action] { openRecentFile(action); });
        ui->menuOpenRecent->addAction(action);
        m_recentActions.append(action);
    }
    ui->menuOpenRecent->addSeparator();
    m_clearRecentAction = ui->menuOpenRecent->addAction(tr("&Clear Recent List"));
    connect(m_clearRecentAction, &QAction::triggered, this, [this] {
        setRecentFiles({});
        rebuildRecentMenu();
    });
    rebuildRecentMenu();
}

void MainWindow::rebuildRecentMenu()
{
    const QStringList files = recentFiles();
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction *action = m_recentActions.at(i);
        if (i < files.size()) {
            const QString &path = files.at(i);
            QString name = QFileInfo(path).fileName();
            name.replace(QLatin1Char('&'), QStringLiteral("&&"));
            action->setText(QStringLiteral("&%1  %2").arg(i + 1).arg(name));
            action->setToolTip(QDir::toNativeSeparators(path));
            action->setStatusTip(QDir::toNativeSeparators(path));
            action->setData(path);
            action->setVisible(true);
        } else {
            action->setVisible(false);
            action->setData(QString());
        }
    }
    ui->menuOpenRecent->setEnabled(!files.isEmpty());
}

void MainWindow::openRecentFile(QAction *action)
{
    const QString path = action->data().toString();
    if (!path.isEmpty() && maybeSave())
        openFile(path);
}

void MainWindow::updateWindowTitle()
{
    const QString name = m_collection->filePath().isEmpty() ? tr("Untitled")
                                                            : QFileInfo(m_collection->filePath()).fileName();
    setWindowTitle(tr("%1%2 - Tallowmerick")
                       .arg(name, m_collection->isDirty() ? QStringLiteral("*") : QString()));
    ui->actionSave->setEnabled(!m_fileTask && (m_collection->isDirty() || m_collection->filePath().isEmpty()));
}

void MainWindow::saveWindowState()
{
    AppSettings settings;
    settings.beginGroup(QStringLiteral("mainWindow"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState(2));
    settings.remove(QStringLiteral("mainSplitter"));
    settings.remove(QStringLiteral("detailSplitter"));
    settings.endGroup();
}

void MainWindow::restoreWindowState()
{
    AppSettings settings;
    settings.beginGroup(QStringLiteral("mainWindow"));
    const QByteArray geometry = settings.value(QStringLiteral("geometry")).toByteArray();
    bool narrowed = false;
    if (!geometry.isEmpty()) {
        // A window saved on a larger screen, or while something once
        // stretched it, shrinks and moves onto this one, title bar and
        // borders included.
        restoreGeometry(geometry);
        ScreenFit::fitWindow(this, ScreenFit::frameMargins(this, ScreenFit::savedFrameMargins(geometry)));
        narrowed = width() < ScreenFit::savedSize(geometry).width();
    } else {
        ScreenFit::fitOpeningSize(this);
    }
    const QByteArray state = settings.value(QStringLiteral("state")).toByteArray();
    if (state.isEmpty()) {
        // Dock sizes only take once the window has its real size: the first
        // start lays the docks out again when the event loop runs.
        QTimer::singleShot(0, this, &MainWindow::resetLayout);
    } else {
        restoreState(state, 2);
        if (dockWidgetArea(ui->searchDock) == Qt::NoDockWidgetArea && !ui->searchDock->isFloating()) {
            addDockWidget(Qt::BottomDockWidgetArea, ui->searchDock);
            ui->searchDock->hide();
        }
        // Docks laid out for a wider window, or a collection squeezed
        // narrower than the card panel (as a panel that would not give way
        // once left it), share the width as a first start does, once they
        // have their size.
        QTimer::singleShot(0, this, [this, narrowed] {
            layout()->activate();
            if (dockWidgetArea(ui->treeDock) == Qt::LeftDockWidgetArea
                && dockWidgetArea(ui->previewDock) == Qt::RightDockWidgetArea && ui->treeDock->isVisible()
                && ui->previewDock->isVisible() && (narrowed || ui->treeDock->width() < ui->previewDock->width()))
                shareWidthBetweenDocks();
        });
    }
    settings.endGroup();

    settings.beginGroup(QStringLiteral("chart"));
    const int mode = settings.value(QStringLiteral("scopeMode"), 0).toInt();
    if (mode >= ChartScope::Collection && mode <= ChartScope::Set)
        m_chartScope.mode = mode;
    m_chartScope.setKey = settings.value(QStringLiteral("scopeSetKey")).toString();
    m_chartScope.language = int(
        languageFromCode(settings.value(QStringLiteral("scopeLanguage")).toString(), Language::English));
    settings.endGroup();
}

} // namespace pv
