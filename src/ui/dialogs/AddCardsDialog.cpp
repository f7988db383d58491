#include "ui/dialogs/AddCardsDialog.h"

#include "ui_AddCardsDialog.h"

#include "catalog/CardCatalog.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardArtwork.h"
#include "core/Errata.h"
#include "core/NameTranslator.h"
#include "collection/FallbackPrices.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/models/SetCardsModel.h"
#include "ui/widgets/CardPreviewPopup.h"
#include "ui/widgets/SetCardsColumns.h"
#include "ui/widgets/WheelGuard.h"

#include <QAbstractItemView>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTimer>

#include <algorithm>

namespace pv {

namespace {

constexpr int HoverDelayMs = 350;
constexpr int SearchLimit = 2000;
constexpr int MinimumNameLength = 2;
const QSize SetIconSize(66, 22);
const QList<int> SplitterSizes{560, 340};

QString releasedText(const QDate &date)
{
    return date.toString(QStringLiteral("d MMMM yyyy"));
}

// Selects the row with exactly that key, else the first row.
void selectKey(QComboBox *combo, const QString &key)
{
    const int row = combo->findData(key, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(row >= 0 ? row : (combo->count() > 0 ? 0 : -1));
}

} // namespace

AddCardsDialog::AddCardsDialog(TcgdexClient *client, CardCatalog *catalog, FallbackPrices *fallbackPrices,
                               Collection *collection, QWidget *parent)
    : AddCardsDialog(FormOnly(), client, catalog, fallbackPrices, parent)
{
    start(collection);
}

AddCardsDialog *AddCardsDialog::prepare(TcgdexClient *client, CardCatalog *catalog, FallbackPrices *fallbackPrices,
                                        QWidget *parent)
{
    return new AddCardsDialog(FormOnly(), client, catalog, fallbackPrices, parent);
}

AddCardsDialog::AddCardsDialog(FormOnly, TcgdexClient *client, CardCatalog *catalog, FallbackPrices *fallbackPrices,
                               QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AddCardsDialog)
    , m_client(client)
    , m_catalog(catalog)
    , m_fallbackPrices(fallbackPrices)
{
    ui->setupUi(this);
    m_formSize = size();
    WheelGuard::install(ui->attributesBox);
    // Turning the wheel over the series and set lists scrolls nothing away
    // from the set being browsed unless one of them was clicked.
    WheelGuard::install(ui->browseTab);
    ui->contentSplitter->setStretchFactor(0, 3);
    ui->contentSplitter->setStretchFactor(1, 1);
    ui->contentSplitter->setSizes(SplitterSizes);
    // Only its handles change when the pointer comes over it, and they
    // follow the pointer themselves; the splitter would repaint all it holds,
    // as the table's frame would (its rows follow the pointer below).
    ui->contentSplitter->installEventFilter(this);
    // The status line takes the room beside the button rather than wrapping
    // into a narrow column.
    ui->cardsStatusLayout->setStretchFactor(ui->statusLabel, 1);
    m_model = new SetCardsModel(client, fallbackPrices, catalog, this);
    m_proxy = new QSortFilterProxyModel(this);

    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setSortRole(SetCardsModel::SortRole);
    ui->cardsTable->setModel(m_proxy);
    ui->cardsTable->verticalHeader()->hide();
    // Tab leaves the table for the attributes instead of walking its cells.
    ui->cardsTable->setTabKeyNavigation(false);
    ui->cardsTable->verticalHeader()->setDefaultSectionSize(SetCardsModel::thumbnailSize().height() + 4);
    // The columns are fitted to the table's width, as the search dock's are.
    new SetCardsColumns(ui->cardsTable);
    ui->cardsTable->sortByColumn(1, Qt::AscendingOrder);

    m_preview = new CardPreviewPopup(client, this);
    ui->cardsTable->viewport()->setMouseTracking(true);
    ui->cardsTable->viewport()->installEventFilter(this);
    m_hoverTimer = new QTimer(this);
    m_hoverTimer->setSingleShot(true);
    m_hoverTimer->setInterval(HoverDelayMs);
    connect(m_hoverTimer, &QTimer::timeout, this, &AddCardsDialog::onHoverTimeout);

    for (Language language : allLanguages())
        ui->languageCombo->addItem(languageDisplayName(language), int(language));

    fillConditionCombos();
    updatePriceContext();

    connect(ui->languageCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &AddCardsDialog::onLanguageChanged);
    connect(ui->modeTabs, &QTabWidget::currentChanged, this, &AddCardsDialog::onTabChanged);
    connect(ui->serieCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &AddCardsDialog::fillSetCombo);
    connect(ui->setCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        updateSetIcon(index);
        loadSetCards();
    });
    ui->setCombo->setIconSize(SetIconSize);
    ui->setCombo->view()->installEventFilter(this);
    connect(ui->searchEdit, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);

    connect(ui->cardsTable, &QAbstractItemView::doubleClicked, this, &AddCardsDialog::onCardActivated);
    ui->cardsTable->installEventFilter(this);
    connect(ui->cardsTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &AddCardsDialog::updateVariantCombos, Qt::QueuedConnection);
    connect(ui->finishCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &AddCardsDialog::updatePriceContext);
    connect(ui->editionCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &AddCardsDialog::updatePriceContext);
    connect(ui->gradeCompanyCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &AddCardsDialog::onGradeCompanyChanged);
    // A line names count, card, printing and condition in a narrow column:
    // it wraps rather than losing its end.
    ui->pendingList->setWordWrap(true);
    ui->pendingList->setResizeMode(QListView::Adjust);
    connect(ui->pendingList, &QListWidget::itemSelectionChanged, this, [this] {
        ui->removePendingButton->setEnabled(!ui->pendingList->selectedItems().isEmpty());
    });
    connect(ui->removePendingButton, &QPushButton::clicked, this, &AddCardsDialog::removeSelectedPending);
    connect(ui->clearPendingButton, &QPushButton::clicked, this, &AddCardsDialog::clearPending);
    connect(ui->addManualButton, &QPushButton::clicked, this, &AddCardsDialog::addCustomCard);

    connect(ui->searchTab, &CardSearchBar::queryChanged, this, &AddCardsDialog::updateSearch);
    connect(ui->searchTab, &CardSearchBar::searchRequested, this, &AddCardsDialog::updateSearch);
    connect(ui->refreshCatalogButton, &QPushButton::clicked, this, [this] {
        if (m_catalog)
            m_catalog->refresh(currentLanguage());
        updateCatalogStatus();
    });

    if (client) {
        connect(client, &TcgdexClient::setDetailReady, this, &AddCardsDialog::onSetDetailReady);
        connect(client, &TcgdexClient::requestFailed, this,
                [this](int requestId) { onSetDetailFailed(requestId); });
        connect(client, &TcgdexClient::imageReady, this,
                [this](int, const QString &url, const QPixmap &pixmap) { onSetArtworkReady(url, pixmap); });
    }
    if (catalog) {
        connect(catalog, &CardCatalog::languageLoaded, this, [this](Language language) {
            updateCatalogStatus();
            if (!m_open || language != currentLanguage())
                return;
            fillSeriesCombo();
            restoreSetSelection();
            if (searchTabCurrent())
                updateSearch();
        });
        connect(catalog, &CardCatalog::refreshStarted, this, &AddCardsDialog::updateCatalogStatus);
        connect(catalog, &CardCatalog::refreshProgress, this, &AddCardsDialog::updateCatalogStatus);
        connect(catalog, &CardCatalog::refreshFinished, this, &AddCardsDialog::showCatalogError);
    }
}

void AddCardsDialog::start(Collection *collection)
{
    m_open = true;
    m_model->setCollection(collection);
    rebuildPendingList();
    onTabChanged();
    if (m_catalog) {
        m_catalog->ensureLoaded(currentLanguage());
        fillSeriesCombo();
    }
    updateCatalogStatus();
}

AddCardsDialog::~AddCardsDialog()
{
    cancelSetDetail();
    delete ui;
}

void AddCardsDialog::cancelSetDetail()
{
    if (m_client && m_setDetailRequest != 0)
        m_client->cancel(m_setDetailRequest);
    m_setDetailRequest = 0;
}

void AddCardsDialog::restart(Collection *collection)
{
    resetForm();
    start(collection);
}

void AddCardsDialog::setAside()
{
    hide();
    m_open = false;
    cancelSetDetail();
    stopHoverPreview();
    m_model->clear();
}

void AddCardsDialog::resetForm()
{
    setAside();
    m_pending.clear();
    m_pendingSets.clear();
    m_rememberedSetId.clear();
    m_setArtworkRows.clear();
    m_requestedSetArtwork.clear();
    m_setIconsLoaded = false;
    // Quietly, as the form was built: the opening's start fills what follows
    // from these.
    {
        const QSignalBlocker language(ui->languageCombo);
        const QSignalBlocker tabs(ui->modeTabs);
        const QSignalBlocker series(ui->serieCombo);
        const QSignalBlocker sets(ui->setCombo);
        const QSignalBlocker finish(ui->finishCombo);
        const QSignalBlocker edition(ui->editionCombo);
        const QSignalBlocker grade(ui->gradeCompanyCombo);
        ui->languageCombo->setCurrentIndex(0);
        ui->modeTabs->setCurrentIndex(0);
        ui->serieCombo->clear();
        ui->setCombo->clear();
        ui->finishCombo->clear();
        ui->editionCombo->clear();
        ui->conditionCombo->setCurrentIndex(ui->conditionCombo->findData(int(Condition::NearMint)));
        ui->gradeCompanyCombo->setCurrentIndex(0);
    }
    ui->gradeNoteEdit->clear();
    ui->gradeNoteEdit->setEnabled(false);
    ui->countSpin->setValue(ui->countSpin->minimum());
    ui->searchTab->clear();
    updateVariantCombos();
    ui->statusLabel->clear();
    ui->catalogStatusLabel->clear();
    ui->cardsTable->sortByColumn(1, Qt::AscendingOrder);
    ui->contentSplitter->setSizes(SplitterSizes);
    resize(m_formSize);
    // The first field in the tab order takes the focus, as in a new dialog.
    if (QWidget *focused = focusWidget())
        focused->clearFocus();
    setResult(0);
}

void AddCardsDialog::selectLanguage(Language language)
{
    const int row = ui->languageCombo->findData(int(language));
    if (row >= 0)
        ui->languageCombo->setCurrentIndex(row);
}

void AddCardsDialog::preselect(Language language, const QString &setId)
{
    if (setId.isEmpty()) {
        selectLanguage(language);
        return;
    }
    m_rememberedSetId = setId;
    selectLanguage(language);
    if (m_catalog)
        m_catalog->ensureLoaded(language);
    ui->modeTabs->setCurrentIndex(0);
    restoreSetSelection();
}

QList<SetRecord> AddCardsDialog::pendingSets() const
{
    QList<SetRecord> sets;
    QSet<QString> seen;
    for (const CardEntry &entry : m_pending) {
        const QString key = entrySetKey(entry);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        const auto found = m_pendingSets.constFind(key);
        if (found != m_pendingSets.constEnd())
            sets.append(found.value());
    }
    return sets;
}

Language AddCardsDialog::currentLanguage() const
{
    const QVariant data = ui->languageCombo->currentData();
    return data.isValid() ? Language(data.toInt()) : Language::English;
}

QString AddCardsDialog::currentSetId() const
{
    return ui->setCombo->currentData(Qt::UserRole).toString();
}

bool AddCardsDialog::searchTabCurrent() const
{
    return ui->modeTabs->currentIndex() == 1;
}

// ---- set browser ----

void AddCardsDialog::onLanguageChanged()
{
    stopHoverPreview();
    m_model->clear();
    if (m_catalog)
        m_catalog->ensureLoaded(currentLanguage());
    fillSeriesCombo();
    updateCatalogStatus();
    if (searchTabCurrent())
        updateSearch();
}

void AddCardsDialog::updateCatalogStatus()
{
    if (!m_catalog) {
        ui->catalogStatusLabel->clear();
        return;
    }
    const Language language = currentLanguage();
    ui->catalogStatusLabel->setText(m_catalog->statusText(language));
    ui->refreshCatalogButton->setEnabled(!m_catalog->isRefreshing(language));
}

void AddCardsDialog::fillSeriesCombo()
{
    if (!m_catalog)
        return;
    const Language language = currentLanguage();
    const QString previous = ui->serieCombo->currentData().toString();
    {
        const QSignalBlocker blocker(ui->serieCombo);
        ui->serieCombo->clear();
        ui->serieCombo->addItem(tr("All series"), QString());
        for (const SerieBrief &serie : m_catalog->series(language))
            ui->serieCombo->addItem(NameTranslator::translateSerieName(language, serie.id, serie.name), serie.id);
        selectKey(ui->serieCombo, previous);
    }
    fillSetCombo();
}

void AddCardsDialog::fillSetCombo()
{
    if (!m_catalog)
        return;
    const Language language = currentLanguage();
    const QString previous = currentSetId();
    const QString target = m_rememberedSetId.isEmpty() ? previous : m_rememberedSetId;
    bool found = false;
    {
        const QSignalBlocker blocker(ui->setCombo);
        ui->setCombo->clear();
        m_setArtworkRows.clear();
        m_setIconsLoaded = false;
        const QList<CatalogSet> sets = m_catalog->setsOfSeries(language, ui->serieCombo->currentData().toString());
        // Rows wait for their artwork behind a blank icon of its size: rows
        // that grew when the pictures came in would leave the list, sized on
        // its first opening, a row short.
        QPixmap blank(SetIconSize);
        blank.fill(Qt::transparent);
        const QIcon placeholder(blank);
        // The rows are made whole and go in together: one insertion for the
        // list, not one per row and per field of a row.
        QList<QStandardItem *> rows;
        rows.reserve(sets.size());
        for (const CatalogSet &set : sets) {
            auto *row = new QStandardItem(NameTranslator::translateSetName(language, set.id, set.name));
            row->setData(set.id, Qt::UserRole);
            const QString artwork = set.symbol.isEmpty() ? set.logo : set.symbol;
            if (!artwork.isEmpty()) {
                row->setData(placeholder, Qt::DecorationRole);
                row->setData(artwork, Qt::UserRole + 1);
                m_setArtworkRows.insert(setArtworkUrl(artwork), int(rows.size()));
            }
            rows.append(row);
        }
        if (auto *model = qobject_cast<QStandardItemModel *>(ui->setCombo->model()))
            model->invisibleRootItem()->appendRows(rows);
        const int targetRow = target.isEmpty()
            ? -1
            : ui->setCombo->findData(target, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        found = targetRow >= 0;
        ui->setCombo->setCurrentIndex(found ? targetRow : (ui->setCombo->count() > 0 ? 0 : -1));
    }
    updateSetIcon(ui->setCombo->currentIndex());
    if (searchTabCurrent())
        return;
    if (found && target == previous && m_model->rowCount() > 0)
        return;
    loadSetCards();
}

void AddCardsDialog::restoreSetSelection()
{
    if (m_rememberedSetId.isEmpty() || !m_catalog)
        return;
    const CatalogSet *set = m_catalog->setById(currentLanguage(), m_rememberedSetId);
    if (!set)
        return; // kept until the catalog holds the set
    int row = ui->serieCombo->findData(set->serieId, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (row < 0)
        row = ui->serieCombo->findData(QString(), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (row >= 0 && row != ui->serieCombo->currentIndex())
        ui->serieCombo->setCurrentIndex(row);
    else
        fillSetCombo();
    m_rememberedSetId.clear();
}

void AddCardsDialog::updateSetIcons()
{
    m_setIconsLoaded = true;
    for (int row = 0; row < ui->setCombo->count(); ++row) {
        if (!ui->setCombo->itemData(row, Qt::UserRole + 1).toString().isEmpty())
            updateSetIcon(row);
    }
}

void AddCardsDialog::updateSetIcon(int row)
{
    if (!m_client || row < 0 || row >= ui->setCombo->count())
        return;
    const QString base = ui->setCombo->itemData(row, Qt::UserRole + 1).toString();
    if (base.isEmpty())
        return;
    const QString url = setArtworkUrl(base);
    const QPixmap pixmap = m_client->imageCache().load(url);
    if (!pixmap.isNull()) {
        ui->setCombo->setItemIcon(row, pixmap.scaled(SetIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else if (!m_requestedSetArtwork.contains(url)) {
        m_requestedSetArtwork.insert(url);
        m_client->fetchSetArtwork(base);
    }
}

void AddCardsDialog::onSetArtworkReady(const QString &url, const QPixmap &pixmap)
{
    if (pixmap.isNull())
        return;
    const auto found = m_setArtworkRows.constFind(url);
    if (found == m_setArtworkRows.constEnd() || found.value() >= ui->setCombo->count())
        return;
    ui->setCombo->setItemIcon(found.value(),
                              pixmap.scaled(SetIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void AddCardsDialog::loadSetCards()
{
    if (!m_catalog)
        return;
    const Language language = currentLanguage();
    const QString setId = currentSetId();
    if (setId.isEmpty()) {
        stopHoverPreview();
        m_model->clear();
        updateVariantCombos();
        ui->statusLabel->setText(m_catalog->isRefreshing(language) ? tr("Downloading the set list...")
                                                                   : tr("No sets to show."));
        return;
    }

    stopHoverPreview();
    m_model->setCards(m_catalog->cardsInSet(language, setId));
    ui->cardsTable->scrollToTop();
    // After the cards changed, so that a row of the previous list cannot
    // decide the printings offered.
    updateVariantCombos();

    const CatalogSet *set = m_catalog->setById(language, setId);
    showSetStatus(language, ui->setCombo->currentText(), set ? set->releaseDate : QDate());

    if (m_client && !(set && set->releaseDate.isValid())) {
        if (m_setDetailRequest != 0)
            m_client->cancel(m_setDetailRequest);
        m_setDetailLanguage = language;
        m_setDetailSetId = setId;
        m_setDetailRequest = m_client->fetchSet(language, setId);
    } else {
        requestSetPrices(language, setId);
    }
}

void AddCardsDialog::showSetStatus(Language language, const QString &otherName, const QDate &released)
{
    const QString setId = currentSetId();
    const CatalogSet *set = m_catalog->setById(language, setId);
    const QString title = NameTranslator::translateSetName(language, setId, set ? set->name : otherName);
    const int cards = m_model->rowCount();
    if (cards > 0) {
        const QString date = released.isValid() ? tr(" - released %1").arg(releasedText(released)) : QString();
        ui->statusLabel->setText(
            tr("%1%2. %n card(s). Double-click a card to add it.", nullptr, cards).arg(title, date));
    } else if (m_catalog->isRefreshing(language)) {
        ui->statusLabel->setText(tr("%1 - still downloading the card list...").arg(title));
    } else if (set && set->total > 0) {
        ui->statusLabel->setText(tr("%1 - TCGdex lists %n card(s) for this set but holds no Japanese card data "
                                    "for it, so there is nothing to show.",
                                    nullptr, set->total)
                                     .arg(title));
    } else {
        ui->statusLabel->setText(tr("%1 - no cards in the catalog.").arg(title));
    }
}

void AddCardsDialog::onSetDetailReady(int requestId, Language language, const SetDetail &detail)
{
    if (requestId == 0 || requestId != m_setDetailRequest)
        return;
    m_setDetailRequest = 0;
    Q_UNUSED(language)
    updateSetInfo(m_setDetailLanguage, detail);
}

void AddCardsDialog::onSetDetailFailed(int requestId)
{
    if (requestId == 0 || requestId != m_setDetailRequest)
        return;
    m_setDetailRequest = 0;
    // The set's prices do not depend on its date.
    requestSetPrices(m_setDetailLanguage, m_setDetailSetId);
}

void AddCardsDialog::updateSetInfo(Language language, const SetDetail &detail)
{
    const QString setId = m_setDetailSetId;
    if (m_catalog && detail.releaseDate.isValid()) {
        m_catalog->setSetReleaseDate(language, setId, detail.releaseDate);
        // The line reads as it would on the set's next visit.
        if (language == currentLanguage() && setId == currentSetId() && !searchTabCurrent())
            showSetStatus(language, detail.name, detail.releaseDate);
        const auto record = m_pendingSets.find(setKey(language, setId));
        if (record != m_pendingSets.end())
            record->releaseDate = detail.releaseDate;
    }
    // Whatever the answer says of the date, the prices are still wanted.
    requestSetPrices(language, setId);
}

void AddCardsDialog::requestSetPrices(Language language, const QString &setId)
{
    if (!m_fallbackPrices || !m_fallbackPrices->lookUp(language, setId))
        return;
    m_model->refreshPrices();
}

void AddCardsDialog::showCatalogError(Language language, bool ok, const QString &message)
{
    updateCatalogStatus();
    if (language != currentLanguage() || ok)
        return;
    if (ui->setCombo->count() == 0)
        ui->statusLabel->setText(tr("The card catalog is unavailable: %1").arg(message));
    else
        ui->statusLabel->setText(
            tr("The catalog could not be updated, so this is the last copy downloaded. %1").arg(message));
}

// ---- search tab and hover preview ----

void AddCardsDialog::onTabChanged()
{
    const bool searchMode = searchTabCurrent();
    ui->cardsTable->setColumnHidden(3, !searchMode);
    ui->cardsTable->setColumnHidden(4, !searchMode);
    m_model->setSearchMode(searchMode);
    // The set filter belongs to one set; its field goes with it.
    ui->searchEdit->clear();
    m_proxy->setFilterFixedString(QString());
    if (searchMode) {
        updateVariantCombos();
        updateSearch();
    } else {
        loadSetCards();
    }
}

void AddCardsDialog::updateSearch()
{
    if (!searchTabCurrent() || !m_catalog)
        return;
    const Language language = currentLanguage();
    const CardQuery query = ui->searchTab->query();
    if (query.isEmpty()) {
        stopHoverPreview();
        m_model->clear();
        ui->statusLabel->setText(tr("Search by name, by the number printed on the card (\"005\" or \"005/165\"), "
                                    "or by how many cards the set has."));
        return;
    }
    if (query.number.isEmpty() && query.printedTotal < 1 && query.text.size() < MinimumNameLength) {
        stopHoverPreview();
        m_model->clear();
        ui->statusLabel->setText(
            tr("Type at least %n character(s) of the name, or a card number.", nullptr, MinimumNameLength));
        return;
    }
    if (m_catalog->state(language) != CatalogState::Ready) {
        stopHoverPreview();
        m_model->clear();
        ui->statusLabel->setText(m_catalog->isRefreshing(language)
                                     ? tr("Building the card index...")
                                     : tr("The card catalog is not available yet. Press Refresh."));
        return;
    }
    const CatalogSearchResult result = m_catalog->search(language, query, SearchLimit);
    stopHoverPreview();
    m_model->setCards(result.cards);
    ui->cardsTable->scrollToTop();
    if (result.total > 0 && result.truncated) {
        ui->statusLabel->setText(tr("%1 matches; showing the first %2. Double-click a card to add it.")
                                     .arg(result.total)
                                     .arg(result.cards.size()));
    } else if (result.total > 0) {
        ui->statusLabel->setText(tr("%n match(es). Double-click a card to add it.", nullptr, result.total));
    } else {
        ui->statusLabel->setText(tr("No card matches. Check the number, or widen the search."));
    }
}

bool AddCardsDialog::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((watched == ui->contentSplitter || watched == ui->cardsTable)
        && (type == QEvent::HoverEnter || type == QEvent::HoverLeave || type == QEvent::HoverMove))
        return true;
    if (watched == ui->setCombo->view()) {
        if (event->type() == QEvent::Show && !m_setIconsLoaded)
            updateSetIcons();
    } else if (watched == ui->cardsTable && event->type() == QEvent::KeyPress) {
        // Return on the highlighted card stages it, as a double-click does;
        // held down, it stages the card once.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!key->isAutoRepeat())
                onCardActivated(ui->cardsTable->currentIndex());
            return true;
        }
    } else if (watched == ui->cardsTable->viewport()) {
        switch (event->type()) {
        case QEvent::MouseMove: {
            const auto *move = static_cast<QMouseEvent *>(event);
            const QModelIndex index = ui->cardsTable->indexAt(move->position().toPoint());
            const QString key = index.isValid() ? index.data(SetCardsModel::ImageRole).toString() : QString();
            if (key.isEmpty()) {
                stopHoverPreview();
            } else if (key != m_hoverKey) {
                m_hoverKey = key;
                m_preview->dismiss();
                m_hoverTimer->start();
            }
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::Leave:
        case QEvent::Wheel:
            stopHoverPreview();
            break;
        case QEvent::HoverEnter:
        case QEvent::HoverLeave: {
            // The table marks the row under the pointer on a move as well;
            // the pointer coming or going would repaint every row.
            const auto *hover = static_cast<QHoverEvent *>(event);
            const QPointF at = event->type() == QEvent::HoverEnter ? hover->position() : QPointF(-1, -1);
            QHoverEvent move(QEvent::HoverMove, at, hover->globalPosition(), hover->oldPosF(), hover->modifiers());
            QCoreApplication::sendEvent(ui->cardsTable->viewport(), &move);
            return true;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AddCardsDialog::onHoverTimeout()
{
    if (!m_hoverKey.isEmpty())
        m_preview->previewImage(m_hoverKey, QCursor::pos());
}

void AddCardsDialog::stopHoverPreview()
{
    m_hoverTimer->stop();
    m_hoverKey.clear();
    m_preview->dismiss();
}

void AddCardsDialog::hideEvent(QHideEvent *event)
{
    stopHoverPreview();
    QDialog::hideEvent(event);
}

void AddCardsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The button box makes OK the default as it is shown; Return in the
    // search and filter fields must not accept half-entered lines.
    if (QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok))
        ok->setDefault(false);
}

void AddCardsDialog::keyPressEvent(QKeyEvent *event)
{
    // A focused button takes Return itself; from anywhere else it does
    // nothing here rather than pressing a default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- attributes and pending lines ----

void AddCardsDialog::fillConditionCombos()
{
    updateVariantCombos();
    for (Condition condition : allConditions())
        ui->conditionCombo->addItem(conditionDisplayName(condition), int(condition));
    ui->conditionCombo->setCurrentIndex(ui->conditionCombo->findData(int(Condition::NearMint)));
    for (int company = int(GradingCompany::None); company <= int(GradingCompany::Other); ++company)
        ui->gradeCompanyCombo->addItem(gradingCompanyDisplayName(GradingCompany(company)), company);
    ui->gradeCompanyCombo->setCurrentIndex(0);
}

void AddCardsDialog::updateVariantCombos()
{
    Printings offered;
    const QModelIndex current = ui->cardsTable->currentIndex();
    const QModelIndex source = current.isValid() ? m_proxy->mapToSource(current) : QModelIndex();
    if (source.isValid() && source.row() < m_model->cards().size()) {
        const CatalogCard &card = m_model->cards().at(source.row());
        const QHash<QString, bool> flags = CardCatalog::printingsOf(card);
        offered = Errata::printingsFor(card.language, card.setId, card.id, flags.isEmpty() ? nullptr : &flags);
    } else if (!searchTabCurrent() && !currentSetId().isEmpty()) {
        offered = Errata::printingsFor(currentLanguage(), currentSetId(), QString(), nullptr);
    } else {
        offered.finishes = allFinishes();
        offered.editions = allEditions();
    }

    const QString finish = ui->finishCombo->currentData().toString();
    const QString edition = ui->editionCombo->currentData().toString();
    {
        const QSignalBlocker finishBlocker(ui->finishCombo);
        const QSignalBlocker editionBlocker(ui->editionCombo);
        ui->finishCombo->clear();
        for (const QString &key : std::as_const(offered.finishes))
            ui->finishCombo->addItem(finishDisplayName(key), key);
        selectKey(ui->finishCombo, finish);
        ui->editionCombo->clear();
        for (const QString &key : std::as_const(offered.editions))
            ui->editionCombo->addItem(editionDisplayName(key), key);
        selectKey(ui->editionCombo, edition);
        ui->editionCombo->setEnabled(ui->editionCombo->count() >= 2);
    }
    updatePriceContext();
}

void AddCardsDialog::updatePriceContext()
{
    m_model->setPriceContext(ui->finishCombo->currentData().toString(), ui->editionCombo->currentData().toString());
}

void AddCardsDialog::onGradeCompanyChanged()
{
    const bool graded = GradingCompany(ui->gradeCompanyCombo->currentData().toInt()) != GradingCompany::None;
    ui->gradeNoteEdit->setEnabled(graded);
    if (!graded)
        ui->gradeNoteEdit->clear();
}

void AddCardsDialog::onCardActivated(const QModelIndex &proxyIndex)
{
    const QModelIndex source = m_proxy->mapToSource(proxyIndex);
    if (source.isValid() && source.row() < m_model->cards().size())
        addToPending(m_model->cards().at(source.row()));
}

void AddCardsDialog::addToPending(const CatalogCard &card)
{
    CardEntry entry = CardEntry::ofCatalogCard(card);
    if (ui->finishCombo->currentIndex() >= 0)
        entry.variant = ui->finishCombo->currentData().toString();
    if (ui->editionCombo->currentIndex() >= 0)
        entry.edition = ui->editionCombo->currentData().toString();
    coerceVariant(card, entry);
    entry.condition = Condition(ui->conditionCombo->currentData().toInt());
    entry.gradeCompany = GradingCompany(ui->gradeCompanyCombo->currentData().toInt());
    entry.gradeNote = entry.gradeCompany != GradingCompany::None ? ui->gradeNoteEdit->text().trimmed() : QString();
    entry.count = ui->countSpin->value();

    const QString set = setKey(entry.lang, entry.setId);
    if (!m_pendingSets.contains(set) && m_catalog) {
        const SetRecord record = m_catalog->setSummary(entry.lang, entry.setId);
        if (!record.id.isEmpty())
            m_pendingSets.insert(set, record);
    }

    const QString key = entryKey(entry);
    const auto same = std::find_if(m_pending.begin(), m_pending.end(),
                                   [&key](const CardEntry &line) { return entryKey(line) == key; });
    if (same != m_pending.end())
        same->count += entry.count;
    else
        m_pending.append(entry);
    rebuildPendingList();
}

void AddCardsDialog::coerceVariant(const CatalogCard &card, CardEntry &entry) const
{
    const QHash<QString, bool> flags = CardCatalog::printingsOf(card);
    if (flags.isEmpty())
        return;
    const Printings offered = Errata::printingsFor(card.language, card.setId, card.id, &flags);
    if (!offered.finishes.isEmpty() && !offered.finishes.contains(entry.variant))
        entry.variant = offered.finishes.first();
    if (!offered.editions.isEmpty() && !offered.editions.contains(entry.edition))
        entry.edition = offered.editions.first();
}

void AddCardsDialog::rebuildPendingList()
{
    ui->pendingList->clear();
    for (const CardEntry &entry : std::as_const(m_pending)) {
        QStringList parts;
        parts << tr("%1x").arg(entry.count)
              << QStringLiteral("%1 %2").arg(entry.localId,
                                             NameTranslator::displayName(entry.lang, entry.cardId, entry.name))
              << entryPrintingLabel(entry) << conditionDisplayName(entry.condition);
        if (entry.gradeCompany != GradingCompany::None)
            parts << gradeLabel(entry);
        const QString line = parts.join(QStringLiteral("  -  "));
        auto *item = new QListWidgetItem(line, ui->pendingList);
        item->setToolTip(line);
    }
    ui->pendingList->scrollToBottom();
    ui->clearPendingButton->setEnabled(!m_pending.isEmpty());
    ui->removePendingButton->setEnabled(false);
    if (QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok)) {
        ok->setEnabled(!m_pending.isEmpty());
        ok->setText(m_pending.isEmpty() ? tr("Add") : tr("Add %n card(s)", nullptr, int(m_pending.size())));
    }
}

void AddCardsDialog::removeSelectedPending()
{
    QList<int> rows;
    for (const QListWidgetItem *item : ui->pendingList->selectedItems())
        rows.append(ui->pendingList->row(item));
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : std::as_const(rows)) {
        if (row >= 0 && row < m_pending.size())
            m_pending.removeAt(row);
    }
    rebuildPendingList();
}

void AddCardsDialog::clearPending()
{
    m_pending.clear();
    rebuildPendingList();
}

void AddCardsDialog::addCustomCard()
{
    if (!m_catalog)
        return;
    const Language language = currentLanguage();

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("customCardDialog"));
    dialog.setWindowTitle(tr("Add a card the database does not hold"));
    auto *form = new QFormLayout(&dialog);
    auto *setCombo = new QComboBox(&dialog);
    setCombo->setObjectName(QStringLiteral("customSetCombo"));
    for (const CatalogSet &set : m_catalog->setsOfSeries(language, QString()))
        setCombo->addItem(set.name, set.id);
    const int chosen =
        setCombo->findData(currentSetId(), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (chosen >= 0)
        setCombo->setCurrentIndex(chosen);
    auto *numberEdit = new QLineEdit(&dialog);
    numberEdit->setObjectName(QStringLiteral("customNumberEdit"));
    numberEdit->setPlaceholderText(tr("SM103a"));
    auto *nameEdit = new QLineEdit(&dialog);
    nameEdit->setObjectName(QStringLiteral("customNameEdit"));
    nameEdit->setPlaceholderText(tr("Lunala GX"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setObjectName(QStringLiteral("customButtonBox"));
    form->addRow(tr("Set:"), setCombo);
    form->addRow(tr("Number:"), numberEdit);
    form->addRow(tr("Name:"), nameEdit);
    form->addRow(new QLabel(tr("The card is added to this collection only, without artwork."), &dialog));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    const auto updateCustomCardOk = [=] {
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(!numberEdit->text().trimmed().isEmpty() && !nameEdit->text().trimmed().isEmpty()
                         && setCombo->count() > 0);
    };
    updateCustomCardOk();
    connect(numberEdit, &QLineEdit::textChanged, &dialog, updateCustomCardOk);
    connect(nameEdit, &QLineEdit::textChanged, &dialog, updateCustomCardOk);

    if (DialogPrompts::exec(dialog) != QDialog::Accepted || !buttons->button(QDialogButtonBox::Ok)->isEnabled())
        return;
    CatalogCard card;
    card.setId = setCombo->currentData().toString();
    card.localId = numberEdit->text().trimmed();
    card.id = card.setId + QLatin1Char('-') + card.localId;
    card.name = nameEdit->text().trimmed();
    card.language = language;
    addToPending(card);
}

} // namespace pv
