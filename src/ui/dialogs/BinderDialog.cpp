#include "ui/dialogs/BinderDialog.h"

#include "ui_BinderDialog.h"

#include "catalog/CardCatalog.h"
#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "core/CardKeys.h"
#include "core/Pricing.h"
#include "collection/FallbackPrices.h"
#include "ui/widgets/WrappingCheckBox.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPair>
#include <QPoint>
#include <QSet>

#include <algorithm>
#include <utility>

namespace pv {

namespace {

const QList<QPoint> &standardLayouts()
{
    static const QList<QPoint> layouts = {QPoint(2, 2), QPoint(3, 3), QPoint(3, 4), QPoint(4, 3), QPoint(4, 4)};
    return layouts;
}

QString layoutText(const QPoint &layout)
{
    return QStringLiteral("%1 x %2").arg(layout.x()).arg(layout.y());
}

} // namespace

BinderDialog::BinderDialog(CardCatalog *catalog, DexIndex *dexIndex, TcgdexClient *client,
                           FallbackPrices *fallbackPrices, Collection *collection, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::BinderDialog)
    , m_catalog(catalog)
    , m_dexIndex(dexIndex)
    , m_client(client)
    , m_fallbackPrices(fallbackPrices)
    , m_collection(collection)
{
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
    ui->pageWidget->setTcgdexClient(client);

    {
        const QSignalBlocker blocker(ui->layoutCombo);
        for (const QPoint &layout : standardLayouts())
            ui->layoutCombo->addItem(layoutText(layout), layout);
    }

    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(ui->maximizeButton, &QPushButton::clicked, this, &BinderDialog::toggleMaximized);
    connect(ui->fullScreenButton, &QPushButton::clicked, this, &BinderDialog::toggleFullScreen);
    updateWindowButtons();
    connect(ui->prevPageButton, &QPushButton::clicked, this, [this] { showPage(m_page - 1); });
    connect(ui->nextPageButton, &QPushButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(ui->showMissingCheck, &QCheckBox::toggled, this, [this] {
        if (m_updating)
            return;
        applyViewOptions();
        relayout();
    });
    connect(ui->layoutCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_updating)
            return;
        applyViewOptions();
        const QPoint layout = ui->layoutCombo->currentData().toPoint();
        ui->pageWidget->setGrid(layout.x(), layout.y());
        showPage(0);
    });
    connect(ui->pageWidget, &BinderPageWidget::cardActivated, this, &BinderDialog::cardActivated);

    const auto rebuildFor = [this](Language language) {
        if (language == m_binder.lang)
            rebuild();
    };
    if (catalog) {
        connect(catalog, &CardCatalog::raritiesLoaded, this, [rebuildFor](Language language, bool changed) {
            if (changed)
                rebuildFor(language);
        });
        connect(catalog, &CardCatalog::languageLoaded, this, rebuildFor);
    }
    if (dexIndex) {
        connect(dexIndex, &DexIndex::dexReady, this, rebuildFor);
        connect(dexIndex, &DexIndex::dexFailed, this, [this](Language language, int dexId) {
            m_lookups.markFailed(language, dexId);
            if (language == m_binder.lang)
                rebuild();
        });
    }
    if (fallbackPrices) {
        connect(fallbackPrices, &FallbackPrices::settled, this,
                [this](Language language, const QString &setId) { onSetIndexed(language, setId); });
    }

    // Paging keys work wherever the focus is in the dialog.
    for (QWidget *child : findChildren<QWidget *>()) {
        if (child->focusPolicy() != Qt::NoFocus)
            watchArrowKeys(child);
    }
    showPage(0);
}

BinderDialog::~BinderDialog()
{
    delete ui;
}

void BinderDialog::setDetached(bool detached)
{
    m_detached = detached;
}

void BinderDialog::setBinder(const Binder &binder)
{
    m_binder = binder;
    syncControls();
    m_page = 0;
    rebuild();
}

// Shows the binder's name and view options in the controls.
void BinderDialog::syncControls()
{
    setWindowTitle(tr("Binder - %1").arg(m_binder.name));
    ui->titleLabel->setText(m_binder.name);
    m_updating = true;
    ui->showMissingCheck->setChecked(m_binder.showMissing);
    const QPoint layout(m_binder.columns, m_binder.rows);
    int index = ui->layoutCombo->findData(layout);
    if (index < 0) {
        ui->layoutCombo->addItem(layoutText(layout), layout);
        index = ui->layoutCombo->count() - 1;
    }
    ui->layoutCombo->setCurrentIndex(index);
    m_updating = false;
    ui->pageWidget->setGrid(m_binder.columns, m_binder.rows);
}

void BinderDialog::rebuild()
{
    if (!m_catalog || !m_dexIndex || !m_collection)
        return;
    // An undo or redo may have changed the stored binder behind this view.
    if (!m_detached) {
        const Binder *stored = m_collection->binder(m_binder.id);
        if (stored && *stored != m_binder) {
            m_binder = *stored;
            syncControls();
        }
    }
    const BinderResolution contents = resolveBinder(m_binder, m_catalog, m_dexIndex, m_collection);
    m_resolved = contents.cards;
    m_ownedCount = contents.ownedCount;
    m_rarities = contents.rarities;
    m_pendingDex = m_lookups.request(m_dexIndex, m_binder.lang, contents.pendingDexIds);
    rebuildRarityPanel();
    relayout();
}

void BinderDialog::followHoldings(const Collection::Change &change)
{
    if (m_collection && binderTouchedBy(m_binder, m_resolved, change.cards, change.cardsKnown, *m_collection))
        rebuild();
}

void BinderDialog::relayout()
{
    m_shown = entriesForBinder(m_binder, m_resolved);
    showPage(m_page);
    updateProgress();
}

int BinderDialog::pageCount() const
{
    const int perPage = std::max(1, m_binder.columns * m_binder.rows);
    return std::max(1, int((m_shown.size() - 1 + perPage) / perPage));
}

void BinderDialog::showPage(int page)
{
    const int perPage = std::max(1, m_binder.columns * m_binder.rows);
    const int pages = pageCount();
    m_page = std::clamp(page, 0, pages - 1);
    const int first = m_page * perPage;
    const int end = std::min(perPage * (m_page + 1), int(m_shown.size()));
    m_pageCards = first < end ? m_shown.mid(first, end - first) : QList<BinderCard>();
    computePocketPrices();
    ui->pageWidget->setPockets(m_pageCards);
    ui->pageLabel->setText(tr("Page %1 of %2").arg(m_page + 1).arg(pages));
    ui->prevPageButton->setEnabled(m_page >= 1);
    ui->nextPageButton->setEnabled(m_page + 1 < pages);
    requestSetPrices();
}

void BinderDialog::computePocketPrices()
{
    for (BinderCard &card : m_pageCards) {
        card.market = m_fallbackPrices
            ? Pricing::tcgplayerFinishPrice(m_fallbackPrices->cardPrices(card.language, card.setId, card.localId),
                                            QString(), QString())
            : 0.0;
    }
}

void BinderDialog::refreshPrices()
{
    computePocketPrices();
    ui->pageWidget->setPockets(m_pageCards);
}

void BinderDialog::requestSetPrices()
{
    if (!m_fallbackPrices)
        return;
    // A set whose prices are known is announced inside indexSet, and that
    // announcement refreshes the page's cards: gather the sets first.
    QList<QPair<Language, QString>> sets;
    for (const BinderCard &card : std::as_const(m_pageCards)) {
        const QPair<Language, QString> set(card.language, card.setId);
        if (!card.setId.isEmpty() && !sets.contains(set))
            sets.append(set);
    }
    m_requestingSets = true;
    m_setSettledMeanwhile = false;
    for (const auto &set : std::as_const(sets)) {
        if (!m_fallbackPrices)
            break;
        m_fallbackPrices->lookUp(set.first, set.second);
    }
    m_requestingSets = false;
    if (std::exchange(m_setSettledMeanwhile, false))
        refreshPrices();
}

void BinderDialog::onSetIndexed(Language language, const QString &setId)
{
    for (const BinderCard &card : std::as_const(m_pageCards)) {
        if (isSameSet(card.language, card.setId, language, setId)) {
            if (m_requestingSets)
                m_setSettledMeanwhile = true;
            else
                refreshPrices();
            return;
        }
    }
}

void BinderDialog::applyViewOptions()
{
    m_binder.showMissing = ui->showMissingCheck->isChecked();
    const QPoint layout = ui->layoutCombo->currentData().toPoint();
    if (layout.x() > 0 && layout.y() > 0) {
        m_binder.columns = layout.x();
        m_binder.rows = layout.y();
    }
    // Rarities hidden before the panel had a box for them stay hidden.
    QStringList hidden;
    for (const QString &rarity : std::as_const(m_binder.hiddenRarities)) {
        const bool hasBox = std::any_of(m_rarityBoxes.cbegin(), m_rarityBoxes.cend(), [&rarity](QCheckBox *box) {
            return box->property("rarity").toString() == rarity;
        });
        if (!hasBox && !hidden.contains(rarity))
            hidden.append(rarity);
    }
    for (QCheckBox *box : std::as_const(m_rarityBoxes)) {
        if (!box->isChecked())
            hidden.append(box->property("rarity").toString());
    }
    m_binder.hiddenRarities = hidden;
    if (!m_detached)
        Q_EMIT binderChanged(m_binder);
}

void BinderDialog::rebuildRarityPanel()
{
    if (!m_rarityBoxes.isEmpty() && m_panelRarities == m_rarities) {
        m_updating = true;
        for (QCheckBox *box : std::as_const(m_rarityBoxes))
            box->setChecked(!m_binder.hiddenRarities.contains(box->property("rarity").toString()));
        m_updating = false;
        return;
    }

    m_updating = true;
    for (QCheckBox *box : std::as_const(m_rarityBoxes)) {
        ui->rarityLayout->removeWidget(box);
        box->hide();
        box->deleteLater();
    }
    m_rarityBoxes.clear();
    m_panelRarities = m_rarities;
    while (QLayoutItem *item = ui->rarityLayout->takeAt(0))
        delete item;

    if (m_catalog && m_catalog->hasRarities(m_binder.lang)) {
        if (m_rarities.isEmpty()) {
            ui->rarityHint->setText(tr("No rarities in this binder."));
            ui->rarityHint->show();
            ui->rarityScroll->hide();
        } else {
            ui->rarityHint->hide();
            ui->rarityScroll->show();
            for (const QString &rarity : std::as_const(m_rarities)) {
                const int count = int(std::count_if(m_resolved.cbegin(), m_resolved.cend(),
                                                    [&rarity](const BinderCard &card) { return card.rarity == rarity; }));
                auto *box = new WrappingCheckBox(tr("Show %1 (%2)").arg(rarity).arg(count), ui->rarityContents);
                box->setChecked(!m_binder.hiddenRarities.contains(rarity));
                box->setProperty("rarity", rarity);
                connect(box, &QCheckBox::toggled, this, [this] {
                    if (m_updating)
                        return;
                    applyViewOptions();
                    relayout();
                });
                watchArrowKeys(box);
                ui->rarityLayout->addWidget(box);
                m_rarityBoxes.append(box);
            }
            ui->rarityLayout->addStretch();
        }
    } else {
        const bool collecting = m_catalog && m_catalog->isResolvingRarities(m_binder.lang);
        ui->rarityHint->setText(collecting ? tr("Collecting rarities...") : tr("Rarities are not available yet."));
        ui->rarityHint->show();
        ui->rarityScroll->hide();
    }
    m_updating = false;
}

void BinderDialog::updateProgress()
{
    const int total = int(m_resolved.size());
    const int pending = int(m_pendingDex.size());
    QString text;
    if (total > 0) {
        text = tr("%1 of %2 - %3%").arg(m_ownedCount).arg(total).arg((qint64(m_ownedCount) * 100) / total);
        if (pending > 0)
            text += tr(" (still looking up %n species)", nullptr, pending);
    } else {
        text = pending > 0 ? tr("Looking up cards...") : tr("Empty binder");
    }
    ui->progressLabel->setText(text);
}

void BinderDialog::watchArrowKeys(QWidget *widget)
{
    widget->installEventFilter(this);
}

bool BinderDialog::turnPage(int key)
{
    if (key == Qt::Key_Left && m_page >= 1) {
        showPage(m_page - 1);
        return true;
    }
    if (key == Qt::Key_Right && m_page + 1 < pageCount()) {
        showPage(m_page + 1);
        return true;
    }
    return false;
}

bool BinderDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) && turnPage(key->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void BinderDialog::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (isFullScreen()) {
            if (m_wasMaximized)
                showMaximized();
            else
                showNormal();
            m_wasMaximized = false;
            event->accept();
            return;
        }
        if (isMaximized()) {
            showNormal();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (turnPage(event->key())) {
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void BinderDialog::toggleMaximized()
{
    if (isFullScreen()) {
        m_wasMaximized = false;
        showMaximized();
    } else if (isMaximized()) {
        showNormal();
    } else {
        showMaximized();
    }
}

void BinderDialog::toggleFullScreen()
{
    if (!isFullScreen()) {
        m_wasMaximized = isMaximized();
        showFullScreen();
    } else {
        if (m_wasMaximized)
            showMaximized();
        else
            showNormal();
        m_wasMaximized = false;
    }
}

void BinderDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateWindowButtons();
}

void BinderDialog::updateWindowButtons()
{
    ui->maximizeButton->setText(isMaximized() ? tr("Restore") : tr("Maximize"));
    ui->fullScreenButton->setText(isFullScreen() ? tr("Leave full screen") : tr("Full screen"));
}

} // namespace pv
