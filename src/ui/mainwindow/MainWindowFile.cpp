// Collection file commands: New, Open, Save, Save As, the recent files, the
// unsaved-changes question, the window title and the saved window state.
#include "ui/mainwindow/MainWindow.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "core/AppSettings.h"
#include "core/Log.h"
#include "ui/DocumentSession.h"
#include "ui/ScreenFit.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/StatusSummary.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace pv {

namespace {

const int kMaxRecentFiles = 10;
const QString kFileCategory = QStringLiteral("file");

} // namespace

void MainWindow::setUpDocumentSession()
{
    m_session = new DocumentSession(m_collection, m_undoStack, m_catalog, this);
    m_session->setQuestion([this](const QString &name) {
        const QMessageBox::StandardButton answer =
            DialogPrompts::question(this, tr("Unsaved changes"),
                                    tr("%1 has unsaved changes.\n\nSave them before continuing?").arg(name),
                                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        return answer == QMessageBox::Save   ? DocumentSession::Answer::Save
            : answer == QMessageBox::Discard ? DocumentSession::Answer::Discard
                                             : DocumentSession::Answer::Cancel;
    });
    m_session->setSaveCommand([this] { return save(); });
    // A refresh's answers would change the collection behind the question's
    // save, each asked about again once the file is written.
    m_session->setStopChanges([this] { cancelPriceRefresh(); });
    // The tree's rows are made on the reading thread too, in the card order
    // shown when the file began to be read.
    m_session->setReadSideWork([this] {
        const CollectionTreeModel::CardSortMode order = m_treeModel->cardSortMode();
        return [order](const Collection &read) -> std::shared_ptr<void> {
            return CollectionTreeModel::prepare(read, order);
        };
    });
    connect(m_session, &DocumentSession::busyChanged, this, [this](bool reading, bool writing) {
        if (!reading && !writing) {
            m_fileProgress->hide();
            m_statusSummary->clear();
        }
        setFileCommandsEnabled(reading, writing);
    });
    connect(m_session, &DocumentSession::slowTask, this, [this](bool reading, const QString &path) {
        const QString name = QFileInfo(path).fileName();
        showStatus(reading ? tr("Opening %1...").arg(name) : tr("Saving %1...").arg(name), 0);
        m_fileProgress->show();
    });
    connect(m_session, &DocumentSession::replacing, this, [this](const std::shared_ptr<void> &readSide) {
        // The tree of the new contents opens fully expanded, with no
        // holding in focus, from the rows made as it was read unless the
        // card order changed meanwhile.
        cancelPriceRefresh();
        focusKey.clear();
        m_expandWholeTreeOnReset = true;
        m_treeModel->usePrepared(std::static_pointer_cast<CollectionTreeModel::PreparedTree>(readSide));
    });
    connect(m_session, &DocumentSession::opened, this, &MainWindow::onFileOpened);
    connect(m_session, &DocumentSession::openFailed, this, &MainWindow::onOpenFailed);
    connect(m_session, &DocumentSession::saved, this, [this](const QString &path, qsizetype lines) {
        Log::info(kFileCategory, tr("Saved %1 (%n line(s))", nullptr, int(lines)).arg(QDir::toNativeSeparators(path)));
        showStatus(tr("Saved %1").arg(QFileInfo(path).fileName()), 4000);
    });
    connect(m_session, &DocumentSession::saveFailed, this, [this](const QString &path, const QString &error) {
        Log::error(kFileCategory, tr("Could not save %1: %2").arg(QDir::toNativeSeparators(path), error));
        DialogPrompts::warning(this, tr("Could not save collection"), error);
    });
    connect(m_session, &DocumentSession::finishesFilled, this, [this](int rows) {
        releaseHeldChanges();
        showStatus(tr("Recorded the finish of %n older row(s) from the card data.", nullptr, rows), 6000);
    });
    connect(m_session, &DocumentSession::taskFinished, this, [this] {
        emit fileTaskFinished();
        // A close asked for while the file was written; one asking already
        // goes on by itself.
        if (std::exchange(m_closeAfterSave, false) && !m_closing)
            close();
    });
}

bool MainWindow::maybeSave()
{
    // A close asked for while the question was up or its answer's save was
    // written ends the command that asked: nothing of it runs on for a
    // window that is gone.
    const int closes = m_closeRequests;
    return m_session->settle() && m_closeRequests == closes;
}

void MainWindow::newCollection()
{
    if (!maybeSave())
        return;
    cancelPriceRefresh();
    m_session->clear();
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
    const quint64 asked = m_collection->revision();
    const QString path =
        DialogPrompts::openFileName(this, tr("Open collection"), QString(), CollectionSerializer::fileFilter());
    if (path.isEmpty())
        return;
    if (m_collection->revision() != asked && !maybeSave())
        return;
    openFile(path);
}

void MainWindow::openFile(const QString &path)
{
    cancelPriceRefresh();
    Log::info(kFileCategory, tr("Opening %1").arg(QDir::toNativeSeparators(path)));
    m_session->open(path);
}

void MainWindow::onOpenFailed(const QString &path, const QString &error)
{
    // When the reader already says the file could not be opened, the line
    // says so once and gives the reader's reason.
    QString reason = error;
    const QString readerLead = tr("Could not open %1: %2").arg(path, QString());
    if (reason.startsWith(readerLead))
        reason.remove(0, readerLead.size());
    Log::error(kFileCategory, tr("Could not open %1: %2").arg(QDir::toNativeSeparators(path), reason));
    QStringList recent = recentFiles();
    if (recent.removeAll(QFileInfo(path).absoluteFilePath()) > 0)
        setRecentFiles(recent);
    rebuildRecentMenu();
    DialogPrompts::warning(this, tr("Could not open collection"), error);
}

void MainWindow::onFileOpened(const QString &path, const CollectionSerializer::ReadResult &result)
{
    m_treeModel->usePrepared(nullptr);
    if (std::exchange(m_expandWholeTreeOnReset, false))
        expandWholeTree();
    ui->cardDetails->clear();
    focusKey.clear();
    // The collection holds what was read, whichever way it came in.
    const QFileInfo info(path);
    Log::info(kFileCategory,
              tr("Opened %1: %2 entries, %3 sets, %4 history points.")
                  .arg(info.fileName())
                  .arg(m_collection->entries().size())
                  .arg(m_collection->sets().size())
                  .arg(m_collection->history().size()));
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
    // The window is the new file's as soon as it is on disk: a close asked
    // for while it was written goes on from there and asks about that file.
    return saveToFile(path, [this, path] {
        m_collection->setFilePath(path);
        AppSettings().setValue(QStringLiteral("lastDirectory"), QFileInfo(path).absolutePath());
        addRecentFile(path);
        rebuildRecentMenu();
    });
}

bool MainWindow::saveToFile(const QString &path, std::function<void()> whenWritten)
{
    return m_session->write(path, std::move(whenWritten));
}

bool MainWindow::fileTaskRunning() const
{
    return m_session && (m_session->isReading() || m_session->isWriting());
}

void MainWindow::setFileTasksAlwaysInBackground(bool always)
{
    DocumentSession::setAlwaysInBackground(always);
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
        // After a read dropped (a close asking, then let go) the collection
        // kept is as it was: its own commands come back with it.
        updateCollectionCommands();
        updateStatusSummary();
    }
    if (auto *undo = findChild<QAction *>(QStringLiteral("actionUndo")))
        undo->setEnabled(!reading && m_undoStack->canUndo());
    if (auto *redo = findChild<QAction *>(QStringLiteral("actionRedo")))
        redo->setEnabled(!reading && m_undoStack->canRedo());
    for (QDockWidget *dock : {ui->treeDock, ui->bindersDock, ui->previewDock, ui->searchDock})
        dock->widget()->setEnabled(!reading);
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
    ui->actionSave->setEnabled(!fileTaskRunning() && (m_collection->isDirty() || m_collection->filePath().isEmpty()));
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
