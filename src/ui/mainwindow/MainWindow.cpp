#include "ui/mainwindow/MainWindow.h"

#include "catalog/CardCatalog.h"
#include "catalog/CatalogCard.h"
#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/FallbackPrices.h"
#include "collection/PriceRefresh.h"
#include "core/FxRateFetcher.h"
#include "core/Log.h"
#include "prices/PriceIndex.h"
#include "ui/DocumentSession.h"
#include "ui/widgets/ActivationRepaint.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/StatusSummary.h"
#include "ui/widgets/ValueChartWidget.h"
#include "ui_MainWindow.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace pv {

namespace {

// After start, once the window has shown and its first work is done.
constexpr int PrepareAddCardsMs = 1500;

} // namespace

MainWindow::MainWindow(QWidget *parent, TcgdexClient *client)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    m_collection = new Collection(this);
    m_client = client ? client : new TcgdexClient(this);
    m_client->setParent(this);
    m_priceIndex = new PriceIndex(this);
    m_catalog = new CardCatalog(m_client, this);
    m_fallbackPrices = new FallbackPrices(m_collection, m_priceIndex, this);
    m_fallbackPrices->setCatalog(m_catalog);
    m_dexIndex = new DexIndex(m_client, this);
    m_fxFetcher = new FxRateFetcher(this);
    m_undoStack = new QUndoStack(this);
    setUpDocumentSession();

    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // The docks are the whole window: there is no central widget.
    delete takeCentralWidget();

    setUpPriceRefresh();
    setUpTree();
    ui->cardDetails->setTcgdexClient(m_client);
    ui->cardDetails->setCollection(m_collection);
    ui->cardDetails->setCatalog(m_catalog);
    ui->cardDetails->setFallbackPrices(m_fallbackPrices);
    ui->cardDetails->setPriceRefresh(m_priceRefresh);

    setUpSearchDock();
    setUpBindersDock();
    setUpStatusBar();
    m_chartDockTitle = ui->chartDock->windowTitle();

    const QList<QDockWidget *> docks = {ui->treeDock, ui->bindersDock, ui->previewDock, ui->chartDock,
                                        ui->searchDock};
    for (QDockWidget *dock : docks)
        ui->menuView->insertAction(ui->actionResetLayout, dock->toggleViewAction());
    ui->menuView->insertSeparator(ui->actionResetLayout);
    // A dialog opened over the window repaints the selected rows of its
    // views, not every row in view.
    for (QAbstractItemView *view : findChildren<QAbstractItemView *>())
        ActivationRepaint::install(view);

    setUpUndoActions();
    setUpRecentMenu();
    connectActions();
    connectSignals();

    resetLayout();
    restoreWindowState();

    onCollectionChanged(Collection::Change());
    updateWindowTitle();

    // The English catalog loads once the event loop runs, after the window shows.
    QTimer::singleShot(0, this, [this] { m_catalog->ensureLoaded(Language::English); });
    // Add cards opens on a form built while nobody waits for it.
    QTimer::singleShot(PrepareAddCardsMs, this, [this] { addCardsDialog(); });
}

MainWindow::~MainWindow()
{
    // Children destroyed after this body (the clients, aborted replies, the
    // docks and their views) must not reach members that are already gone:
    // cut every connection from an owned object to the window first. The
    // price refresh goes first: it borrows the collection and the clients.
    delete m_priceRefresh;
    m_priceRefresh = nullptr;
    // The document session goes next: the undo stack, freed after the
    // collection, still announces that it became clean.
    delete m_session;
    m_session = nullptr;
    QObject::disconnect(m_undoStack, nullptr, this, nullptr);
    const QList<QObject *> owned = findChildren<QObject *>();
    for (QObject *object : owned)
        QObject::disconnect(object, nullptr, this, nullptr);
    delete ui;
    ui = nullptr;
}

void MainWindow::setUpStatusBar()
{
    m_summaryLabel = new QLabel(this);
    // Its text never holds the window wider than a small screen.
    m_summaryLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_summaryLabel, 1);
    m_pricesLabel = new QLabel(this);
    m_pricesLabel->setEnabled(false);
    // Clicked anywhere while it tells what the last refresh kept: the log.
    m_pricesLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    m_pricesLabel->installEventFilter(this);
    statusBar()->addPermanentWidget(m_pricesLabel);
    m_refreshProgress = new QProgressBar(this);
    // Wide enough for its longest text, whatever the status bar's other
    // widgets take.
    QString widest = tr("Cards %v of %m");
    widest.replace(QLatin1String("%v"), QLatin1String("88888")).replace(QLatin1String("%m"), QLatin1String("88888"));
    const int textWidth = m_refreshProgress->fontMetrics().horizontalAdvance(widest) + 24;
    m_refreshProgress->setMinimumWidth(textWidth);
    m_refreshProgress->setMaximumWidth(std::max(180, textWidth));
    m_refreshProgress->hide();
    statusBar()->addPermanentWidget(m_refreshProgress);
    // A file read or written for a while: its progress, with no end known.
    m_fileProgress = new QProgressBar(this);
    m_fileProgress->setRange(0, 0);
    m_fileProgress->setMaximumWidth(180);
    m_fileProgress->hide();
    statusBar()->addPermanentWidget(m_fileProgress);
    m_cancelRefreshButton = new QPushButton(tr("Cancel"), this);
    m_cancelRefreshButton->hide();
    statusBar()->addPermanentWidget(m_cancelRefreshButton);
    connect(m_cancelRefreshButton, &QPushButton::clicked, this, &MainWindow::cancelPriceRefresh);
    m_statusSummary->setBeside({m_pricesLabel, m_refreshProgress, m_fileProgress, m_cancelRefreshButton});
}

void MainWindow::setUpUndoActions()
{
    QAction *undo = m_undoStack->createUndoAction(this, tr("&Undo"));
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcuts(QKeySequence::Undo);
    undo->setIcon(QIcon(QStringLiteral(":/icons/undo.svg")));
    QAction *redo = m_undoStack->createRedoAction(this, tr("&Redo"));
    redo->setObjectName(QStringLiteral("actionRedo"));
    redo->setShortcuts(QKeySequence::Redo);
    redo->setIcon(QIcon(QStringLiteral(":/icons/redo.svg")));
    // The tool bar keeps short labels: a long command's text would widen the
    // button and push the last buttons off the bar. The menu and the tool
    // tips still name the command.
    undo->setIconText(tr("Undo"));
    redo->setIconText(tr("Redo"));
    ui->menuEdit->addAction(undo);
    ui->menuEdit->addAction(redo);
    ui->mainToolBar->insertAction(ui->actionAddCards, undo);
    ui->mainToolBar->insertAction(ui->actionAddCards, redo);
    ui->mainToolBar->insertSeparator(ui->actionAddCards);
}

void MainWindow::connectActions()
{
    connect(ui->actionNew, &QAction::triggered, this, &MainWindow::newCollection);
    connect(ui->actionOpen, &QAction::triggered, this, &MainWindow::openCollection);
    connect(ui->actionSave, &QAction::triggered, this, [this] { save(); });
    connect(ui->actionSaveAs, &QAction::triggered, this, [this] { saveAs(); });
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionExpandAll, &QAction::triggered, this, &MainWindow::expandWholeTree);
    connect(ui->actionCollapseAll, &QAction::triggered, ui->collectionTree, &QTreeView::collapseAll);
    connect(ui->actionClearLabels, &QAction::triggered, this, &MainWindow::clearLabels);
    connect(ui->actionPrintLabels, &QAction::triggered, this, &MainWindow::printLabels);
    connect(ui->actionPreferences, &QAction::triggered, this, &MainWindow::showPreferences);
    connect(ui->actionResetLayout, &QAction::triggered, this, &MainWindow::resetLayout);
    connect(ui->actionClearImageCache, &QAction::triggered, this, &MainWindow::clearImageCache);
    connect(ui->actionShowLog, &QAction::triggered, this, &MainWindow::showLog);
    connect(ui->actionLicense, &QAction::triggered, this, &MainWindow::showLicense);
    connect(ui->actionThirdPartyNotices, &QAction::triggered, this, &MainWindow::showThirdPartyNotices);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->actionRefreshPrices, &QAction::triggered, this, &MainWindow::refreshPrices);
    connect(ui->actionFindCard, &QAction::triggered, this, &MainWindow::findCard);
    connect(ui->actionAddCards, &QAction::triggered, this, [this] { addCards(QString()); });

    // Commands whose dialogs or reactions are not part of this build yet.
    for (QAction *action : {ui->actionRemoveEntry})
        action->setEnabled(false);
}

void MainWindow::connectSignals()
{
    connect(ui->valueChart, &ValueChartWidget::scopeChangeRequested, this, &MainWindow::onChartScopeChanged);
    connect(m_undoStack, &QUndoStack::indexChanged, this, [this] {
        releaseHeldChanges();
        showFocusedEntry();
    });
    connect(m_collection, &Collection::changed, this, &MainWindow::onCollectionChanged);
    connect(m_collection, &Collection::dirtyChanged, this, &MainWindow::updateWindowTitle);
    connect(m_collection, &Collection::filePathChanged, this, &MainWindow::updateWindowTitle);
    connect(m_fxFetcher, &FxRateFetcher::finished, this, &MainWindow::onRatesFetched);
    connect(m_fxFetcher, &FxRateFetcher::ratesRefused, this,
            [this](const QString &reason) { m_ratesRefusal = reason; });
    connect(m_client, &TcgdexClient::pendingCountChanged, this, [](int pending) {
        Log::debug(QStringLiteral("network"), QStringLiteral("TCGdex requests outstanding: %1").arg(pending));
    });
    connect(m_client, &TcgdexClient::imageFailed, this,
            [](int requestId, const QString &imageUrl, const QString &message) {
                Log::warn(QStringLiteral("network"),
                          QStringLiteral("#%1 image %2 failed: %3").arg(requestId).arg(imageUrl, message));
            });
    connect(m_catalog, &CardCatalog::languageLoaded, this, &MainWindow::refreshBinderCountsWhenShown);
    connect(m_catalog, &CardCatalog::raritiesLoaded, this, &MainWindow::onRaritiesLoaded);
    connect(m_catalog, &CardCatalog::variantsLoaded, m_session, &DocumentSession::takeFinishes);
    connect(m_dexIndex, &DexIndex::dexReady, this, &MainWindow::refreshBinderCountsWhenShown);
    connect(m_priceIndex, &PriceIndex::failed, this, [this](const QString &context, const QString &message) {
        const QString text = tr("Could not load %1: %2").arg(context, message);
        Log::warn(QStringLiteral("prices"), text);
        // A refresh names its own sets' failures in its summary; a set an
        // open dialog asked about does not take the bar from that summary.
        if (!priceRefreshRunning() && !m_statusSummary->isShowing(m_refreshStatus))
            showStatus(text, 6000);
    });
}

void MainWindow::onRaritiesLoaded(Language language, bool changed)
{
    // The session fills them in, or the file being read takes them when it
    // is in.
    if (!m_session->takeRarities(language, changed))
        return;
    // A binder reads the rarities of its own language's catalog alone.
    const QList<Binder> &binders = m_collection->binders();
    if (std::any_of(binders.cbegin(), binders.cend(),
                    [language](const Binder &binder) { return binder.lang == language; }))
        refreshBinderCountsWhenShown();
}

void MainWindow::showStatus(const QString &text, int timeoutMs)
{
    m_statusSummary->show(text, timeoutMs);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pricesLabel && event->type() == QEvent::MouseButtonRelease && m_pricesLabel->isEnabled()
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
        && m_pricesLabel->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
        showLog();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    ++m_closeRequests;
    // A file being written is let finish first; the window closes once it
    // is on disk (and asks again about what changed meanwhile).
    if (m_session->isWriting()) {
        m_closeAfterSave = true;
        event->ignore();
        return;
    }
    const bool wasClosing = std::exchange(m_closing, true);
    // A file still being read is not waited for (the question drops it
    // before it asks).
    const bool settled = m_session->settle();
    m_closing = wasClosing;
    if (!settled) {
        event->ignore();
        return;
    }
    cancelPriceRefresh();
    saveWindowState();
    event->accept();
}

} // namespace pv
