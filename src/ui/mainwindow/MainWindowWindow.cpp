// The window as a whole: dock layout, status bar summary, value displays,
// the value chart's scope and context, and the Help menu.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/PriceRefresh.h"
#include "core/AppSettings.h"
#include "core/Currency.h"
#include "core/Log.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/dialogs/LogDialog.h"
#include "ui/models/CollectionSearchModel.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/ValueChartWidget.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace pv {

void MainWindow::resetLayout()
{
    const int h = height();
    const QList<QDockWidget *> docks = {ui->treeDock, ui->bindersDock, ui->previewDock, ui->chartDock,
                                        ui->searchDock};
    for (QDockWidget *dock : docks) {
        dock->setFloating(false);
        dock->show();
    }
    addDockWidget(Qt::LeftDockWidgetArea, ui->treeDock);
    addDockWidget(Qt::LeftDockWidgetArea, ui->bindersDock);
    addDockWidget(Qt::RightDockWidgetArea, ui->previewDock);
    addDockWidget(Qt::RightDockWidgetArea, ui->chartDock);
    splitDockWidget(ui->treeDock, ui->bindersDock, Qt::Vertical);
    splitDockWidget(ui->previewDock, ui->chartDock, Qt::Vertical);
    // The card column runs the window's full height and the search dock sits
    // under the collection: stacked under the card panel's picture, the
    // search would make the window taller than a laptop screen.
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    shareWidthBetweenDocks();
    // The binders dock takes no more than its list needs (at least three
    // rows), up to a third of the height; the collection has the rest.
    const int binders = std::min(h / 3, bindersDockHeight());
    resizeDocks({ui->treeDock, ui->bindersDock}, {h - binders, binders}, Qt::Vertical);
    resizeDocks({ui->previewDock, ui->chartDock}, {3 * h / 4, h / 4}, Qt::Vertical);
    addDockWidget(Qt::BottomDockWidgetArea, ui->searchDock);
    resizeDocks({ui->searchDock}, {searchDockHeight()}, Qt::Vertical);
    ui->searchDock->hide();
}

void MainWindow::changeEvent(QEvent *event)
{
    // Maximised or restored by the user, the window's new width is shared
    // as on a first start: left to itself, the card panel took most of it.
    if (event->type() == QEvent::WindowStateChange && isVisible()) {
        const auto before = static_cast<QWindowStateChangeEvent *>(event)->oldState();
        const Qt::WindowStates large = Qt::WindowMaximized | Qt::WindowFullScreen;
        if (bool(before & large) != bool(windowState() & large))
            m_shareWidthOnResize = true;
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_shareWidthOnResize && event->size().width() != event->oldSize().width()) {
        m_shareWidthOnResize = false;
        // Once the docks have taken the new size.
        QTimer::singleShot(0, this, &MainWindow::shareWidthBetweenDocks);
    }
}

void MainWindow::shareWidthBetweenDocks()
{
    // Two fifths to the card panel, or what shows its facts beside its
    // editors (and a scroll bar) while the collection keeps more than half.
    // Narrower, the panel stacks them and scrolls: a third is enough, and
    // the collection's names want the room more.
    const int w = width();
    const int around = ui->previewDock->minimumSizeHint().width() - ui->previewScrollArea->minimumSizeHint().width()
        + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int beside = ui->cardDetails->sideBySideWidth() + around;
    const int card = beside < w / 2 ? std::max(2 * w / 5, beside)
                                    : std::max(w / 3, ui->cardDetails->minimumSizeHint().width() + around);
    resizeDocks({ui->treeDock, ui->previewDock}, {w - card, card}, Qt::Horizontal);
}

int MainWindow::bindersDockHeight() const
{
    QListWidget *list = ui->bindersList;
    const int rows = std::max(list->count(), 3);
    const int row = list->count() > 0 ? list->sizeHintForRow(0) : list->fontMetrics().height() + 10;
    const int listHeight = rows * row + 2 * list->frameWidth() + 6;
    const int listLeast = list->minimumHeight() > 0 ? list->minimumHeight() : list->minimumSizeHint().height();
    return ui->bindersDock->minimumSizeHint().height() - listLeast + listHeight;
}

// A third of the window, and the row of the search fields, which have no
// room beside the scope and language in the collection's column.
int MainWindow::searchDockHeight() const
{
    return height() / 3 + ui->searchBar->sizeHint().height();
}

void MainWindow::refreshValueChart()
{
    if (m_chartScope.mode == ChartScope::Set && !m_collection->sets().contains(m_chartScope.setKey))
        m_chartScope = ChartScope();
    const ValueHistory::ChartData data =
        ValueHistory::build(m_collection->history(), m_collection->sets(), m_chartScope);
    ui->valueChart->setHistory(data, m_chartScope);
    updateChartContext();
    ui->chartDock->setWindowTitle(data.title.isEmpty() ? m_chartDockTitle : data.title);
    ui->chartDock->toggleViewAction()->setText(m_chartDockTitle);
}

void MainWindow::refreshValueDisplays()
{
    m_treeModel->onCurrencyChanged();
    m_searchModel->refreshValues();
    ui->valueChart->update();
    ui->cardDetails->refresh();
    updateStatusSummary();
    refreshBinderPrices();
}

void MainWindow::updateStatusSummary()
{
    const qint64 cards = m_collection->totalCardCount();
    const int lines = m_collection->entries().size();
    // Plural forms take an int; a count beyond it is plural in any case.
    const QString cardsText =
        cards <= std::numeric_limits<int>::max() ? tr("%n card(s)", nullptr, int(cards)) : tr("%1 cards").arg(cards);
    m_summaryLabel->setText(cardsText + tr(" in %n line(s)", nullptr, lines)
                            + tr("  -  total %1").arg(Currency::formatFromEur(m_collection->totalValueEur())));
    const QDateTime newest = m_collection->lastPriceUpdate();
    QString prices = newest.isValid()
        ? tr("Prices from %1").arg(newest.toLocalTime().toString(QStringLiteral("d MMM yyyy HH:mm")))
        : tr("Prices never refreshed");
    // Until the next refresh, the date does not claim every value is that
    // recent when the last one kept some or met a failed source: the line
    // says so, the tool tip holds the whole summary, a click opens the log.
    const PriceRefresh::OutcomeNote &note = m_priceRefresh->outcomeNote();
    const bool told = !note.isEmpty();
    // Drawn as a link, which it acts as.
    if (told)
        prices = tr("%1; %2").arg(prices.toHtmlEscaped(),
                                  QStringLiteral("<a href=\"#log\">%1</a>").arg(note.line().toHtmlEscaped()));
    m_pricesLabel->setTextFormat(told ? Qt::RichText : Qt::PlainText);
    m_pricesLabel->setText(prices);
    m_pricesLabel->setEnabled(told);
    m_pricesLabel->setCursor(told ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QStringList tip{note.summary, note.addedSummary};
    tip.removeAll(QString());
    if (told)
        tip.append(tr("Click to open the log."));
    m_pricesLabel->setToolTip(tip.join(QLatin1String("\n\n")));
}

void MainWindow::updateCollectionCommands()
{
    ui->actionRefreshPrices->setEnabled(!m_collection->entries().isEmpty() && !priceRefreshRunning());
    const int marked = m_collection->summary().labelled;
    ui->actionClearLabels->setEnabled(marked > 0);
    ui->actionPrintLabels->setEnabled(marked > 0);
    ui->actionPrintLabels->setText(marked > 0 ? tr("Print Labels (%1)...").arg(marked) : tr("Print Labels..."));
}

void MainWindow::onCollectionChanged(const Collection::Change &change)
{
    using Kind = Collection::Change::Kind;
    // The chart draws the value history, and the records of the sets in it.
    if (change.kinds.testAnyFlags(Kind::Document | Kind::Contents) || chartNamesAnySet(change.sets))
        refreshValueChart();
    else
        updateChartContext();
    updateStatusSummary();
    updateCollectionCommands();
    // A change of the binders shows at once; their counts follow the
    // holdings later. A change of neither (the value history, the label
    // style, set records, the card facts of holdings, which a binder reads
    // from the catalog) leaves every binder as it was.
    const bool holdings =
        change.kinds.testAnyFlags(Kind::Holdings | Kind::EditedRows | Kind::UpdatedRows) && !change.cardFactsOnly();
    if (change.bindersChanged()) {
        refreshBindersList();
        rebuildBinderDialogs();
    } else if (holdings) {
        followHoldingsInBinders(change);
    }

    // New prices keep the tree's rows (no reset brings the card panel up to
    // date), so the panel follows its holding here. Such a change moves no
    // row: its steps name the rows as they stand, and are looked through
    // once, not sorted again (a refresh names every row).
    if (focusKey.isEmpty() || !change.kinds.testFlag(Kind::UpdatedRows) || !change.holdingsKept())
        return;
    const int row = m_collection->indexOfEntry(focusKey);
    const auto names = [row](const Collection::Change::Step &step) { return step.row == row; };
    if (row >= 0 && std::any_of(change.steps.cbegin(), change.steps.cend(), names))
        ui->cardDetails->setEntry(m_collection->entries().at(row));
}

bool MainWindow::chartNamesAnySet(const QStringList &setKeys) const
{
    for (const QString &key : setKeys) {
        if (key == m_chartScope.setKey)
            return true;
        for (const HistoryPoint &point : m_collection->history())
            if (point.sets.contains(key))
                return true;
    }
    return false;
}

void MainWindow::onChartScopeChanged(const ChartScope &scope)
{
    if (scope == m_chartScope)
        return;
    m_chartScope = scope;
    refreshValueChart();
    AppSettings settings;
    settings.beginGroup(QStringLiteral("chart"));
    settings.setValue(QStringLiteral("scopeMode"), scope.mode);
    settings.setValue(QStringLiteral("scopeSetKey"), scope.setKey);
    settings.setValue(QStringLiteral("scopeLanguage"), languageCode(Language(scope.language)));
    settings.endGroup();
}

void MainWindow::updateChartContext()
{
    const QModelIndex current = ui->collectionTree->currentIndex();
    if (current.isValid()) {
        m_contextSetKey = current.data(CollectionTreeModel::SetKeyRole).toString();
        m_contextLanguage = Language(current.data(CollectionTreeModel::LanguageRole).toInt());
    } else {
        m_contextSetKey.clear();
    }
    const QString setCaption = m_contextSetKey.isEmpty()
        ? QString()
        : ValueHistory::setLabel(m_collection->sets(), m_contextSetKey, false);
    ui->valueChart->setCurrentContext(m_contextSetKey, setCaption, int(m_contextLanguage),
                                      languageDisplayName(m_contextLanguage));
}

void MainWindow::showLog()
{
    if (!m_logDialog)
        m_logDialog = new LogDialog(this);
    m_logDialog->show();
    m_logDialog->raise();
    m_logDialog->activateWindow();
}

void MainWindow::openBesideExecutable(const QString &name, bool folder)
{
    const QString path = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
    const QString native = QDir::toNativeSeparators(path);
    const QString title = folder ? tr("Third-Party Notices") : tr("License");
    if (!QFileInfo::exists(path)) {
        DialogPrompts::warning(this, title,
                               folder ? tr("The third-party notices could not be found.\n\nThey should be at:\n%1").arg(native)
                                      : tr("The license file could not be found.\n\nIt should be at:\n%1").arg(native));
        return;
    }
    if (!DialogPrompts::openUrl(QUrl::fromLocalFile(path))) {
        DialogPrompts::warning(this, title,
                               folder ? tr("The third-party notices could not be opened.\n\nYou can read them in:\n%1").arg(native)
                                      : tr("The license file could not be opened.\n\nYou can read it at:\n%1").arg(native));
    }
}

void MainWindow::showLicense()
{
    openBesideExecutable(QStringLiteral("LICENSE.txt"), false);
}

void MainWindow::showThirdPartyNotices()
{
    openBesideExecutable(QStringLiteral("legal"), true);
}

void MainWindow::showAbout()
{
    // The Qt named is the one the program was built with.
    const QString body =
        tr("<h3>Tallowmerick %1</h3>"
           "<p>A Pokemon TCG collection manager.</p>"
           "<p>Card data and images come from the <a href=\"https://tcgdex.dev\">TCGdex</a> community database, "
           "prices from TCGCSV and exchange rates from the Frankfurter service.</p>"
           "<p>Tallowmerick is built with Qt %2, used under the LGPL version 3 and linked dynamically so it can be "
           "replaced. Qt's licence, the offer of its source and the notices of the other open-source components "
           "are under Help, Third-Party Notices.</p>"
           "<p><b>Graded cards</b> are valued at their raw market price: the database publishes no graded pricing. "
           "All values are estimates, not an appraisal or financial advice.</p>")
            .arg(QCoreApplication::applicationVersion(), QStringLiteral(QT_VERSION_STR));
    DialogPrompts::about(this, tr("About Tallowmerick"), body);
}

} // namespace pv
