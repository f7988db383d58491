#pragma once

#include "collection/Binder.h"
#include "collection/BinderCard.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/ValueHistory.h"
#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/NetworkReplies.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAbstractItemView;
class QAction;
class QDialog;
class QHeaderView;
class QMenu;
class QLabel;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTimer;
class QUndoStack;

namespace Ui {
class MainWindow;
}

namespace pv {

class AddCardsDialog;
class CardCatalog;
class ClockTimer;
class CollectionTreeDelegate;
class CollectionTreeModel;
class CollectionSearchModel;
class DexIndex;
class FxRateFetcher;
class LogDialog;
class FallbackPrices;
class PriceIndex;
class PriceRefresh;
class SetCardsModel;
class StatusSummary;
class TcgdexClient;
class BinderDialog;
class DocumentSession;
struct CardEntry;
struct CatalogQuery;
namespace CollectionSerializer {
struct ReadResult;
}

// The application's one top-level window. It owns the collection, the web
// clients, the catalog, the Pokedex index, the exchange-rate fetcher and the
// undo stack for its whole life, and turns menu commands, dock actions and
// dialog results into operations on them.
//
// The class is split by command area:
//   MainWindow.cpp          construction, connections, closing, destruction
//   MainWindowWindow.cpp    layout, window state, title, status bar, value
//                           displays, chart scope, Help menu
//   MainWindowFile.cpp      New, Open, Save, Save As, recent files
//   MainWindowPrices.cpp    the window's side of the price refresh, rates
//   MainWindowSearch.cpp    the search dock
//   MainWindowTree.cpp      the collection tree and the card panel
//   MainWindowBinders.cpp   the binders dock
//   MainWindowCommands.cpp  preferences, labels, image cache
// Message boxes and file dialogs go through pv::DialogPrompts, so tests can
// answer them.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // A given client (tests: one that only records requests) is adopted in
    // place of the window's own.
    explicit MainWindow(QWidget *parent = nullptr, TcgdexClient *client = nullptr);
    ~MainWindow() override;

    Collection *collection() const { return m_collection; }
    TcgdexClient *tcgdexClient() const { return m_client; }
    CardCatalog *catalog() const { return m_catalog; }
    DexIndex *dexIndex() const { return m_dexIndex; }
    PriceRefresh *priceRefresh() const { return m_priceRefresh; }
    // The one way to the fallback prices: the index behind it is the window's own.
    FallbackPrices *fallbackPrices() const { return m_fallbackPrices; }
    QUndoStack *undoStack() const { return m_undoStack; }
    DocumentSession *documentSession() const { return m_session; }
    CollectionTreeModel *treeModel() const { return m_treeModel; }
    const ChartScope &chartScope() const { return m_chartScope; }

    // ---- file commands (MainWindowFile.cpp) ----
    void newCollection();
    void openCollection();
    void openFile(const QString &path);
    bool save();
    bool saveAs();
    // whenWritten runs once the file is on disk, before a close asked for
    // meanwhile goes on.
    bool saveToFile(const QString &path, std::function<void()> whenWritten = {});
    // A large file is read, or the collection written, on a thread of its
    // own (the document session's); fileTaskFinished() follows once it is
    // in or on disk (or failed).
    bool fileTaskRunning() const;
    // For tests: every open and save goes through a thread of its own,
    // whatever the file's size.
    static void setFileTasksAlwaysInBackground(bool always);
    // Asks about unsaved changes, again when more changed while its Save
    // ran; true when the caller may go on.
    bool maybeSave();
    static QStringList recentFiles();
    static void setRecentFiles(const QStringList &files);
    static void addRecentFile(const QString &path);
    void rebuildRecentMenu();
    void updateWindowTitle();
    void restoreWindowState();
    void saveWindowState();

    // ---- window (MainWindowWindow.cpp) ----
    void resetLayout();
    void refreshValueChart();
    // Whether the chart shows any of the sets (their names, or its scope).
    bool chartNamesAnySet(const QStringList &setKeys) const;
    void refreshValueDisplays();
    void updateStatusSummary();
    // Refresh prices and the label commands, as the collection shown allows.
    void updateCollectionCommands();
    void onCollectionChanged(const pv::Collection::Change &change);
    void onChartScopeChanged(const pv::ChartScope &scope);
    void updateChartContext();
    void showLog();
    void showLicense();
    void showThirdPartyNotices();
    void showAbout();

    // ---- tree (MainWindowTree.cpp) ----
    void expandAncestors(const QModelIndex &index);
    // Expands every language, series and set row.
    void expandWholeTree();
    // Keep the expanded rows of the tree across a rebuild of its model.
    void saveExpansionState();
    // Expansion, layout and current row of the tree after its model was
    // rebuilt.
    void restoreExpansionAfterReset();
    void revealSets(const QSet<QString> &setKeys);
    // Commands on one holding, given its row in the collection; a row that
    // no longer exists makes them do nothing.
    void removeSelectedCard();
    void duplicateCard(int entryIndex);
    void editCustomPrice(int entryIndex);
    void addToLabels(int entryIndex);
    void lookUpOnCardmarket(const pv::CardEntry &entry);
    void addCardActions(QMenu *menu, int entryIndex);
    void showTreeContextMenu(const QPoint &pos);
    // The tree's context menu for a position in its viewport, or null where
    // there is no row; the caller owns it.
    QMenu *createTreeContextMenu(const QPoint &pos);
    void showSetBinder(const QString &setKey);
    void onEntryEdited(const pv::CardEntry &edited);
    void updateCardDetails();
    // Shows the current row's holding in the card panel from scratch: names,
    // artwork and card record again.
    void reloadCardDetails();
    // Opens the Add cards dialog, on the set of a set key ("en:base1") when
    // one is given, and adds what it returns as one undoable change.
    void addCards(const QString &preselection);
    // The one Add cards dialog, built once (ahead of its first use, when the
    // window has settled after start) and started over at each opening.
    AddCardsDialog *addCardsDialog();

    // ---- binders (MainWindowBinders.cpp) ----
    void refreshBindersList();
    void refreshBinderCountsWhenShown();
    // The binders' counts after a change of the holdings: resolved once the
    // changes pause, and only while the binders dock is shown.
    void scheduleBinderCounts();
    QString currentBinderId() const;
    void newBinder();
    void deleteBinder();
    // Opens the binder in its own dialog, or raises the one already open.
    void openBinder(const pv::Binder &binder, bool detached);
    void showBindersContextMenu(const QPoint &pos);
    // The list's context menu for a position in its viewport; the caller owns it.
    QMenu *createBindersContextMenu(const QPoint &pos);
    QMenu *createSearchResultsContextMenu(const QPoint &pos);
    // The open binder dialogs resolve again (collection or name language
    // changed) or recompute their prices (prices or display currency changed).
    void rebuildBinderDialogs();
    void refreshBinderPrices();
    // A change of the holdings reaches the binders it may alter: their
    // dialogs resolve again, and the dock's counts follow when any of the
    // binders listed there is among them.
    void followHoldingsInBinders(const Collection::Change &change);

    // ---- commands (MainWindowCommands.cpp) ----
    // Runs the preferences dialog and applies what OK brings back, in the
    // order theme, currency, price source, price basis, names, image folder.
    void showPreferences();
    // Each does nothing for the value in force; otherwise stores it, updates
    // what shows it, logs the change and says so in the status bar.
    void applyTheme(const QString &id);
    void applyDisplayCurrency(const QString &code);
    void applyPriceSource(int id);
    void applyPriceBasis(int id);
    void applyJapaneseNames(bool on);
    void printLabels();
    void clearLabels();
    void clearImageCache();
    // Switches the image cache to the requested folder (empty: the default
    // one); false, with an error logged and shown, when it cannot be created.
    bool changeImageCacheFolder(const QString &requested);

    // ---- prices (MainWindowPrices.cpp) ----
    bool isPriceRefreshRunning() const;
    void refreshPrices();
    void cancelPriceRefresh();
    // Cards just added: they join a running refresh, or start a run of their
    // own; either way they are priced as a refresh would price them (with
    // today's rates and their sets' fallback data).
    void queueCardPrices(const QList<QPair<pv::Language, QString>> &cards);

    // ---- search dock (MainWindowSearch.cpp) ----
    void findCard();
    void runSearch();
    void showCardInTree(int entryIndex, bool raise);

signals:
    // A file read or written on a thread of its own is in, or on disk (or
    // failed).
    void fileTaskFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void reportReadWarnings(const QString &fileName, const CollectionSerializer::ReadResult &result);
    // Runs a context menu made for a position in the view's viewport; none
    // when the menu is null.
    void popUpContextMenu(QMenu *menu, QAbstractItemView *view, const QPoint &pos);
    void setUpStatusBar();
    void setUpUndoActions();
    void setUpRecentMenu();
    void setUpSearchDock();
    void setUpTree();
    void setUpSortCombo();
    void collectExpandedKeys(const QModelIndex &parent);
    // Expands the group rows below parent whose keys are given, or all of
    // them when none are.
    void restoreExpandedRows(const QModelIndex &parent, const QSet<QString> *keys);
    void selectFocusedRow();
    void keepFocusedRowCurrent();
    void setUpBindersDock();
    void showCardInTree(const QString &cardId);
    void connectActions();
    void connectSignals();
    void showFocusedEntry();
    void openRecentFile(QAction *action);
    void setUpDocumentSession();
    void onFileOpened(const QString &path, const pv::CollectionSerializer::ReadResult &result);
    void onOpenFailed(const QString &path, const QString &error);
    // While a file is read nothing can change or write the collection;
    // while one is written nothing can open, write or drop it.
    void setFileCommandsEnabled(bool reading, bool writing);
    void onRatesFetched(bool ok);
    void onRaritiesLoaded(pv::Language language, bool changed);
    void onCardPriced(int requestId, pv::Language language, const pv::CardDetail &card);
    void onCardRequestFailed(int requestId, const QString &context, const QString &message, pv::ReplyFailure kind);
    void onFallbackSetIndexed(pv::Language language, const QString &setId, bool ok);
    void onCurrentTreeRowChanged(const QModelIndex &current);
    void showStatus(const QString &text, int timeoutMs);
    // price refresh: the run is m_priceRefresh's; these forward to it
    void setUpPriceRefresh();
    void resolveFallbackSets();
    void pumpPriceRequests();
    void finishPriceRefresh();
    void clearPriceRefreshQueue();
    // Lets the answers held back go out now, with a change of the user's
    // that must show at once.
    void releaseHeldChanges();
    bool priceRefreshRunning() const;
    const QList<QPair<pv::Language, QString>> &priceQueue() const;
    const QSet<int> &priceRequestsInFlight() const;
    const QSet<QString> &pendingFallbackSets() const;
    int priceRefreshTotal() const;
    int pricedCount() const;
    int failedCount() const;
    int fallbackPricedCount() const;
    // search dock
    void onSearchScopeChanged();
    void onSearchTimeout();
    void searchCollection(const pv::CatalogQuery &query);
    void searchCatalog(const pv::CatalogQuery &query);
    void showSearchResultsContextMenu(const QPoint &pos);
    void addFromCatalogResult(const QModelIndex &index);
    void openBesideExecutable(const QString &name, bool folder);
    // The binders dock's height when its list shows every binder, at least three rows.
    int bindersDockHeight() const;
    // The collection takes three fifths of the window's width, the card
    // panel the rest.
    void shareWidthBetweenDocks();
    // The search dock's height as it opens.
    int searchDockHeight() const;

    Ui::MainWindow *ui = nullptr;
    Collection *m_collection = nullptr;
    TcgdexClient *m_client = nullptr;
    PriceIndex *m_priceIndex = nullptr;
    FallbackPrices *m_fallbackPrices = nullptr;
    CardCatalog *m_catalog = nullptr;
    DexIndex *m_dexIndex = nullptr;
    FxRateFetcher *m_fxFetcher = nullptr;
    QString m_ratesRefusal; // why the rates answer just refused was, until it is told
    // Every message of the status bar, fitted to the room it has.
    StatusSummary *m_statusSummary = nullptr;
    QString m_refreshStatus; // the price refresh's last message
    QUndoStack *m_undoStack = nullptr;
    CollectionTreeModel *m_treeModel = nullptr;
    CollectionTreeDelegate *m_treeDelegate = nullptr;

    QLabel *m_summaryLabel = nullptr;
    QLabel *m_pricesLabel = nullptr;
    QProgressBar *m_refreshProgress = nullptr;
    QPushButton *m_cancelRefreshButton = nullptr;
    // Shows the bar of a run the user did not start once it lasts.
    QTimer *m_refreshProgressDelay = nullptr;
    QList<QAction *> m_recentActions;
    // The file's work: reading, writing, the unsaved-changes question.
    DocumentSession *m_session = nullptr;
    // The progress of a file read or written for a while.
    QProgressBar *m_fileProgress = nullptr;
    // A close asked for while the file was written.
    bool m_closeAfterSave = false;
    // Closes asked for so far: one asked for while a command's question or
    // its answer's save ran ends that command. And whether a close is
    // asking now.
    int m_closeRequests = 0;
    bool m_closing = false;
    QAction *m_clearRecentAction = nullptr;

    QString focusKey;
    QSet<QString> expandedKeys;
    // The next rebuild of the tree expands it whole (a file just opened).
    bool m_expandWholeTreeOnReset = false;
    // While the tree model removes rows: the view then makes a neighbour of
    // a removed current row current, which is not the holding in focus.
    bool m_treeRowsRemoving = false;
    // The next change of the window's width shares it between the docks
    // anew: the user maximised the window or restored it.
    bool m_shareWidthOnResize = false;
    QString m_chartDockTitle;
    QString selectedBinderId;
    QPointer<LogDialog> m_logDialog;
    QPointer<AddCardsDialog> m_addCardsDialog;
    QHash<QString, QPointer<BinderDialog>> binderDialogs;
    bool m_refreshingBinders = false;
    bool m_bindersRefreshAgain = false;
    // Whether the binders' counts wait for the dock to be shown.
    ClockTimer *m_binderCountsTimer = nullptr;
    bool m_binderCountsStale = false;
    // Each listed binder's cards as its count was last resolved, by id.
    QHash<QString, QList<BinderCard>> m_binderCounted;
    ChartScope m_chartScope;
    QString m_contextSetKey;
    Language m_contextLanguage = Language::English;

    PriceRefresh *m_priceRefresh = nullptr;

    // search dock state
    CollectionSearchModel *m_searchModel = nullptr;
    QSortFilterProxyModel *m_searchProxy = nullptr;
    SetCardsModel *m_catalogResultsModel = nullptr;
    QSortFilterProxyModel *m_catalogResultsProxy = nullptr;
    ClockTimer *m_searchTimer = nullptr;
    QString currentSearchKey;
    // Set while a re-run of the search selects its result again.
    bool m_reselectingResult = false;
};

} // namespace pv
