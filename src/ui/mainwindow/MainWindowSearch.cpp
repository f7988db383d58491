// The search dock: the collection and the catalog searched by the search bar.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/CardCatalog.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/ClockTimer.h"
#include "ui/models/CollectionSearchModel.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/models/SetCardsModel.h"
#include "ui/widgets/CachedScrollBar.h"
#include "ui/widgets/CardSearchBar.h"
#include "ui/widgets/CollectionTreeColumns.h"
#include "ui/widgets/CollectionTreeDelegate.h"
#include "ui/widgets/ColumnFitter.h"
#include "ui/widgets/SetCardsColumns.h"
#include "ui/widgets/StatusLine.h"
#include "ui_MainWindow.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QTableView>

namespace pv {

namespace {

constexpr int collectionScope = 0;
constexpr int catalogScope = 1;
constexpr int allLanguagesData = -1;
constexpr int catalogSearchLimit = 2000;
constexpr int minimumNameLength = 2;
constexpr int searchDelayMs = 150;

// Shows a search's status. The dock hears at once of a text that changes the
// status line's size; it is laid out with the results.
void showSearchStatus(QLabel *label, const QString &text)
{
    label->setText(text);
    if (auto *line = qobject_cast<StatusLine *>(label->parentWidget()))
        line->followLabel();
}

// Lays a result table out for the rows a search has just put in it, before
// it is painted. Left to itself the table paints with the old column widths,
// measures the new rows' contents only then, and paints all of it again: the
// columns are fitted to the rows in view here, once, with the header's
// signals held back, since the reset already has the whole table repainted.
// The dock comes first, as a new status may have changed the table's height.
void layOutResults(QTableView *view, QLayout *dock)
{
    if (!view->isVisible())
        return;
    const QSignalBlocker blocker(view->horizontalHeader());
    if (dock)
        dock->activate();
    view->doItemsLayout();
    // The table shows or hides its scroll bars through the event loop; done
    // now, the narrower or wider rows are measured here too.
    QCoreApplication::sendPostedEvents(view, QEvent::MetaCall);
    // Laid out again only for widths that changed: that walks every row.
    ColumnFitter *fitter = ColumnFitter::of(view);
    if (fitter && fitter->fit())
        view->doItemsLayout();
}

} // namespace

void MainWindow::setUpSearchDock()
{
    ui->searchScopeCombo->addItem(tr("My collection"), collectionScope);
    ui->searchScopeCombo->addItem(tr("All cards (catalog)"), catalogScope);
    ui->searchLanguageCombo->addItem(tr("All languages"), allLanguagesData);
    for (const Language language : allLanguages())
        ui->searchLanguageCombo->addItem(languageDisplayName(language), int(language));

    m_searchModel = new CollectionSearchModel(this);
    m_searchModel->setCollection(m_collection);
    m_searchModel->setCatalog(m_catalog);
    m_searchProxy = new QSortFilterProxyModel(this);
    m_searchProxy->setSortRole(CollectionSearchModel::SortKeyRole);
    m_searchProxy->setSourceModel(m_searchModel);
    QTableView *collectionResults = ui->collectionResults;
    // The result tables are laid out again on every keystroke, and their
    // scroll bars repainted with them: they keep their picture.
    for (QTableView *results : {collectionResults, ui->catalogResults}) {
        results->setVerticalScrollBar(new CachedScrollBar(Qt::Vertical));
        results->setHorizontalScrollBar(new CachedScrollBar(Qt::Horizontal));
    }
    collectionResults->setModel(m_searchProxy);
    // Its cells are those of the tree's card rows, with their short forms.
    collectionResults->setItemDelegate(new CollectionTreeDelegate(collectionResults));
    collectionResults->verticalHeader()->hide();
    // Rows as high as their text: the header's default, made for its own
    // padded sections, costs the dock two of its rows.
    collectionResults->ensurePolished();
    collectionResults->verticalHeader()->setDefaultSectionSize(collectionResults->fontMetrics().height() + 9);
    // The dock's own rows give the search fields their margins. The fields
    // have a row of their own under the combos, which keep their longest item
    // readable: beside them, in the collection's column, the fields had no
    // room to show a name.
    ui->searchBar->layout()->setContentsMargins(0, 0, 0, 0);
    for (QComboBox *combo : {ui->searchScopeCombo, ui->searchLanguageCombo}) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        combo->setSizePolicy(QSizePolicy::Fixed, combo->sizePolicy().verticalPolicy());
    }
    // The dock's contents paint their own background: a search repaints
    // them without the dock and the window behind them.
    ui->searchDockContents->setAutoFillBackground(true);
    // The status changes with every search: the dock is laid out again only
    // when it changes the line's size.
    if (auto *dockLayout = qobject_cast<QBoxLayout *>(ui->searchDockContents->layout())) {
        const int place = dockLayout->indexOf(ui->searchStatus);
        dockLayout->insertWidget(place, new StatusLine(ui->searchStatus, ui->searchDockContents));
    }
    // In both result tables Tab moves on to the next control.
    collectionResults->setTabKeyNavigation(false);
    ui->catalogResults->setTabKeyNavigation(false);
    // Fitted as the tree's columns are, to the rows in view.
    new CollectionTreeColumns(collectionResults);
    QHeaderView *header = collectionResults->horizontalHeader();
    header->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const int column : {int(CollectionSearchModel::SetColumn), int(CollectionSearchModel::SeriesColumn),
                             int(CollectionSearchModel::LanguageColumn)}) {
        collectionResults->setColumnHidden(column, true);
        auto *toggle = new QAction(m_searchModel->headerData(column, Qt::Horizontal).toString(), header);
        toggle->setCheckable(true);
        connect(toggle, &QAction::toggled, collectionResults,
                [collectionResults, column](bool shown) { collectionResults->setColumnHidden(column, !shown); });
        header->addAction(toggle);
    }

    m_catalogResultsModel = new SetCardsModel(m_client, m_fallbackPrices, m_catalog, this);
    m_catalogResultsModel->setCollection(m_collection);
    m_catalogResultsModel->setSearchMode(true);
    m_catalogResultsProxy = new QSortFilterProxyModel(this);
    m_catalogResultsProxy->setSortRole(SetCardsModel::SortRole);
    m_catalogResultsProxy->setSourceModel(m_catalogResultsModel);
    ui->catalogResults->setModel(m_catalogResultsProxy);
    ui->catalogResults->verticalHeader()->hide();
    ui->catalogResults->verticalHeader()->setDefaultSectionSize(SetCardsModel::thumbnailSize().height() + 4);
    // Fitted as Add cards fits the same cards.
    new SetCardsColumns(ui->catalogResults);

    m_searchTimer = new ClockTimer(searchDelayMs, this);

    connect(ui->searchScopeCombo, &QComboBox::currentIndexChanged, this, &MainWindow::onSearchScopeChanged);
    connect(ui->searchLanguageCombo, &QComboBox::currentIndexChanged, this, [this] {
        const int language = ui->searchLanguageCombo->currentData().toInt();
        if (ui->searchScopeCombo->currentData().toInt() == catalogScope && language >= 0)
            m_catalog->ensureLoaded(Language(language));
        runSearch();
    });
    connect(ui->searchBar, &CardSearchBar::queryChanged, this, &MainWindow::runSearch);
    connect(ui->searchBar, &CardSearchBar::searchRequested, this, &MainWindow::runSearch);
    connect(collectionResults->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!current.isValid() || m_reselectingResult)
                    return;
                const int entryIndex = current.data(CollectionSearchModel::EntryIndexRole).toInt();
                const QList<CardEntry> &entries = m_collection->entries();
                currentSearchKey = entryIndex >= 0 && entryIndex < entries.size() ? entryKey(entries.at(entryIndex))
                                                                                   : QString();
                showCardInTree(entryIndex, false);
            });
    connect(collectionResults, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        showCardInTree(index.data(CollectionSearchModel::EntryIndexRole).toInt(), true);
    });
    connect(collectionResults, &QWidget::customContextMenuRequested, this, &MainWindow::showSearchResultsContextMenu);
    connect(ui->catalogResults, &QAbstractItemView::doubleClicked, this, &MainWindow::addFromCatalogResult);
    connect(m_searchTimer, &ClockTimer::timeout, this, &MainWindow::onSearchTimeout);
    connect(m_collection, &Collection::changed, this, [this](const Collection::Change &change) {
        if (!ui->searchDock->isVisible())
            return;
        // New card facts alone show in the results they are in, which a
        // search over every holding would only find again.
        if (change.cardFactsOnly() && m_searchModel->refreshCardFacts())
            return;
        m_searchTimer->start();
    });
    connect(ui->searchDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            m_searchTimer->start();
    });
    connect(m_catalog, &CardCatalog::languageLoaded, this, [this](Language language) {
        const int selected = ui->searchLanguageCombo->currentData().toInt();
        if (ui->searchScopeCombo->currentData().toInt() == catalogScope && selected >= 0
            && selected == int(language))
            runSearch();
    });

    onSearchScopeChanged();
}

void MainWindow::onSearchScopeChanged()
{
    const bool catalog = ui->searchScopeCombo->currentData().toInt() == catalogScope;
    ui->searchStack->setCurrentWidget(catalog ? ui->catalogResults : ui->collectionResults);
    QComboBox *languages = ui->searchLanguageCombo;
    const int all = languages->findData(allLanguagesData);
    if (all >= 0) {
        // The catalog holds one language at a time.
        if (catalog && languages->currentIndex() == all) {
            const QSignalBlocker blocker(languages);
            languages->setCurrentIndex(languages->findData(int(Language::English)));
        }
        if (auto *items = qobject_cast<QStandardItemModel *>(languages->model())) {
            if (QStandardItem *item = items->item(all))
                item->setEnabled(!catalog);
        }
    }
    const int language = languages->currentData().toInt();
    if (catalog && language >= 0)
        m_catalog->ensureLoaded(Language(language));
    runSearch();
}

void MainWindow::runSearch()
{
    const CatalogQuery query = ui->searchBar->query();
    if (ui->searchScopeCombo->currentData().toInt() == catalogScope) {
        searchCatalog(query);
        layOutResults(ui->catalogResults, ui->searchDockContents->layout());
    } else {
        searchCollection(query);
        layOutResults(ui->collectionResults, ui->searchDockContents->layout());
    }
}

void MainWindow::onSearchTimeout()
{
    runSearch();
}

void MainWindow::searchCollection(const CatalogQuery &query)
{
    const int language = ui->searchLanguageCombo->currentData().toInt();
    m_searchModel->setLanguageFilter(language >= 0 ? std::optional<Language>(Language(language)) : std::nullopt);
    m_searchModel->setQuery(query);
    if (query.isEmpty()) {
        showSearchStatus(ui->searchStatus,
                         tr("Search your collection by name, by the number printed on the card "
                            "(\"005\" or \"005/165\"), or by how many cards the set has."));
        return;
    }
    const int rows = m_searchProxy->rowCount();
    QString status;
    if (rows > 0)
        status = tr("%n card(s) in your collection. Double-click one to show it in the tree.", nullptr, rows);
    else if (!m_collection->entries().isEmpty())
        status = tr("No card you own matches. Try the catalog to find one you do not.");
    else
        status = tr("This collection is empty.");
    if (m_searchModel->setCountIgnored())
        status += QLatin1Char(' ')
                  + tr("The set sizes are not known for this document, so the card count was ignored; "
                       "a price refresh fills them in.");
    showSearchStatus(ui->searchStatus, status);

    // The result stays selected in the table only: the tree and the card
    // panel keep the holding the user is working on.
    const int row = currentSearchKey.isEmpty() ? -1 : m_searchModel->rowForKey(currentSearchKey);
    if (row >= 0) {
        const QScopedValueRollback<bool> reselecting(m_reselectingResult, true);
        ui->collectionResults->setCurrentIndex(m_searchProxy->mapFromSource(m_searchModel->index(row, 0)));
    }
}

void MainWindow::searchCatalog(const CatalogQuery &query)
{
    if (query.isEmpty()) {
        m_catalogResultsModel->clear();
        showSearchStatus(ui->searchStatus,
                         tr("Search every card there is by name, by the number printed on the card "
                            "(\"005\" or \"005/165\"), or by how many cards the set has."));
        return;
    }
    if (query.number.trimmed().isEmpty() && query.printedTotal < 1
        && query.text.trimmed().size() < minimumNameLength) {
        m_catalogResultsModel->clear();
        showSearchStatus(ui->searchStatus,
                         tr("Type at least %n character(s) of the name, or a card number.", nullptr,
                            minimumNameLength));
        return;
    }
    const int languageData = ui->searchLanguageCombo->currentData().toInt();
    if (languageData < 0) {
        m_catalogResultsModel->clear();
        return;
    }
    const Language language = Language(languageData);
    if (m_catalog->state(language) != CatalogState::Ready) {
        m_catalogResultsModel->clear();
        showSearchStatus(ui->searchStatus,
                         m_catalog->isRefreshing(language)
                             ? tr("Building the card index...")
                             : tr("The card catalog is not available yet. Open Add Cards and press Refresh."));
        return;
    }
    const CatalogSearchResult result = m_catalog->search(language, query, catalogSearchLimit);
    m_catalogResultsModel->setCards(result.cards);
    ui->catalogResults->scrollToTop();
    if (result.total == 0)
        showSearchStatus(ui->searchStatus, tr("No card matches. Check the number, or widen the search."));
    else if (result.truncated)
        showSearchStatus(ui->searchStatus,
                         tr("%1 matches; showing the first %2. Double-click a card to add it.")
                             .arg(result.total)
                             .arg(result.cards.size()));
    else
        showSearchStatus(ui->searchStatus, tr("%n match(es). Double-click a card to add it.", nullptr, result.total));
}

void MainWindow::showCardInTree(int entryIndex, bool raise)
{
    const QList<CardEntry> &entries = m_collection->entries();
    if (entryIndex < 0 || entryIndex >= entries.size())
        return;
    auto *tree = qobject_cast<CollectionTreeModel *>(ui->collectionTree->model());
    if (!tree)
        return;
    const QModelIndex index = tree->indexForEntryKey(entryKey(entries.at(entryIndex)));
    if (!index.isValid())
        return;
    expandAncestors(index);
    ui->collectionTree->setCurrentIndex(index);
    ui->collectionTree->scrollTo(index, QAbstractItemView::EnsureVisible);
    if (raise)
        ui->treeDock->raise();
}

void MainWindow::findCard()
{
    const bool opening = ui->searchDock->isHidden();
    ui->searchDock->show();
    ui->searchDock->raise();
    if (opening && !ui->searchDock->isFloating()) {
        // A dock that was hidden opens at the height Reset Layout gives it.
        // Without a central widget the other docks share what is left, so the
        // first request lands short: the shortfall is asked for once more.
        const int target = searchDockHeight();
        layout()->activate();
        resizeDocks({ui->searchDock}, {target}, Qt::Vertical);
        layout()->activate();
        const int shortfall = target - ui->searchDock->height();
        if (shortfall != 0) {
            resizeDocks({ui->searchDock}, {target + shortfall}, Qt::Vertical);
            layout()->activate();
        }
    }
    ui->searchBar->focusSearch();
}

QMenu *MainWindow::createSearchResultsContextMenu(const QPoint &pos)
{
    const QModelIndex index = ui->collectionResults->indexAt(pos);
    if (!index.isValid())
        return nullptr;
    const int entryIndex = index.data(CollectionSearchModel::EntryIndexRole).toInt();
    if (entryIndex < 0)
        return nullptr;
    // The card commands act on the tree's selection, so the holding is
    // selected there first.
    showCardInTree(entryIndex, false);
    auto *menu = new QMenu(this);
    addCardActions(menu, entryIndex);
    menu->addSeparator();
    menu->addAction(tr("Show In Tree"), this, [this, entryIndex] { showCardInTree(entryIndex, true); });
    return menu;
}

void MainWindow::showSearchResultsContextMenu(const QPoint &pos)
{
    popUpContextMenu(createSearchResultsContextMenu(pos), ui->collectionResults, pos);
}

void MainWindow::addFromCatalogResult(const QModelIndex &index)
{
    const int row = m_catalogResultsProxy->mapToSource(index).row();
    const QList<CatalogCard> &cards = m_catalogResultsModel->cards();
    if (row < 0 || row >= cards.size())
        return;
    addCards(setKey(cards.at(row).language, cards.at(row).setId));
}

} // namespace pv
