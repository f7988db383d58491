// The window's side of the price refresh (the run itself is PriceRefresh's)
// and what the exchange-rate service delivers to the window.
#include "ui/mainwindow/MainWindow.h"

#include "collection/Collection.h"
#include "collection/PriceRefresh.h"
#include "core/Currency.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "ui/DocumentSession.h"
#include "ui/widgets/StatusSummary.h"
#include "ui_MainWindow.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace pv {

namespace {

// How long a summary fitted again stays: as long as a refresh's.
constexpr int summaryTimeoutMs = 8000;
// A run of cards just added shows its bar once it has lasted this long.
constexpr int progressDelayMs = 400;

} // namespace

void MainWindow::setUpPriceRefresh()
{
    m_priceRefresh = new PriceRefresh(m_collection, m_client, m_fallbackPrices, m_fxFetcher, this);
    // The prices of cards just added mostly come before the eye would
    // catch a bar in the status bar: it shows only when they take a while,
    // and the status bar is not laid out twice for each card added.
    m_refreshProgressDelay = new QTimer(this);
    m_refreshProgressDelay->setSingleShot(true);
    m_refreshProgressDelay->setInterval(progressDelayMs);
    const auto showProgress = [this] {
        m_refreshProgressDelay->stop();
        m_refreshProgress->show();
        m_cancelRefreshButton->show();
    };
    connect(m_refreshProgressDelay, &QTimer::timeout, this, showProgress);
    connect(m_priceRefresh, &PriceRefresh::runStarted, this, [this, showProgress](bool fromCommand) {
        // Cards just added leave the command enabled; a click is ignored
        // while their run goes on.
        if (fromCommand) {
            showProgress();
            ui->actionRefreshPrices->setEnabled(false);
        } else {
            m_refreshProgressDelay->start();
        }
    });
    connect(m_priceRefresh, &PriceRefresh::progressChanged, this,
            [this](PriceRefresh::Stage stage, int value, int maximum) {
                // Each stage fills the bar by itself, named on it.
                const bool sets = stage == PriceRefresh::Stage::FallbackSets;
                m_refreshProgress->setFormat(sets ? tr("Sets %v of %m") : tr("Cards %v of %m"));
                m_refreshProgress->setToolTip(sets ? tr("Looking up TCGCSV's fallback prices, set by set")
                                                   : tr("Fetching the prices of each card"));
                // A bar whose text counts the steps paints itself at once on
                // each one; a refresh's answers come many a second, so it is
                // painted with the window's next paint instead.
                m_refreshProgress->setUpdatesEnabled(false);
                m_refreshProgress->setRange(0, maximum);
                m_refreshProgress->setValue(value);
                m_refreshProgress->setUpdatesEnabled(true);
            });
    connect(m_priceRefresh, &PriceRefresh::runEnded, this, [this] {
        m_refreshProgressDelay->stop();
        m_refreshProgress->hide();
        m_cancelRefreshButton->hide();
        ui->actionRefreshPrices->setEnabled(!m_collection->entries().isEmpty());
    });
    // A summary too long for the status bar shows what failed there first,
    // and whole in the bar's tool tip (and the log) while it shows. The
    // run's empty text takes its own last message away, not another's.
    m_statusSummary = new StatusSummary(statusBar(), this);
    connect(m_priceRefresh, &PriceRefresh::statusChanged, this,
            [this](const QString &text, int timeoutMs, const QStringList &shownFirst) {
                if (!text.isEmpty())
                    m_statusSummary->show(text, timeoutMs, shownFirst);
                else if (m_statusSummary->isShowing(m_refreshStatus))
                    m_statusSummary->clear();
                m_refreshStatus = text;
            });
    connect(m_priceRefresh, &PriceRefresh::collectionChangedOutsideUndo, m_session,
            &DocumentSession::noteChangeOutsideUndo);
    // The prices' line beside the summary tells the run's outcome once the
    // summary shows: the summary is fitted again beside it.
    connect(m_priceRefresh, &PriceRefresh::outcomeNoteChanged, this, [this] {
        updateStatusSummary();
        m_statusSummary->refit(summaryTimeoutMs);
    });
}

bool MainWindow::isPriceRefreshRunning() const
{
    return priceRefreshRunning();
}

bool MainWindow::priceRefreshRunning() const
{
    return m_priceRefresh->isRunning();
}

const QList<QPair<Language, QString>> &MainWindow::priceQueue() const
{
    return m_priceRefresh->queue();
}

const QSet<int> &MainWindow::priceRequestsInFlight() const
{
    return m_priceRefresh->requestsInFlight();
}

const QSet<QString> &MainWindow::pendingFallbackSets() const
{
    return m_priceRefresh->pendingFallbackSets();
}

int MainWindow::priceRefreshTotal() const
{
    return m_priceRefresh->counts().total;
}

int MainWindow::pricedCount() const
{
    return m_priceRefresh->counts().priced;
}

int MainWindow::failedCount() const
{
    return m_priceRefresh->counts().failed();
}

int MainWindow::fallbackPricedCount() const
{
    return m_priceRefresh->counts().fallbackPriced;
}

void MainWindow::refreshPrices()
{
    m_priceRefresh->refresh();
}

void MainWindow::resolveFallbackSets()
{
    m_priceRefresh->resolveFallbackSets();
}

void MainWindow::queueCardPrices(const QList<QPair<Language, QString>> &cards)
{
    m_priceRefresh->queueCards(cards);
}

void MainWindow::pumpPriceRequests()
{
    m_priceRefresh->pump();
}

void MainWindow::onFallbackSetIndexed(Language language, const QString &setId, bool ok)
{
    m_priceRefresh->onFallbackSetIndexed(language, setId, ok);
}

void MainWindow::onCardPriced(int requestId, Language language, const CardDetail &card)
{
    m_priceRefresh->onCardPriced(requestId, language, card);
}

void MainWindow::onCardRequestFailed(int requestId, const QString &context, const QString &message, ReplyFailure kind)
{
    m_priceRefresh->onCardRequestFailed(requestId, context, message, kind);
}

void MainWindow::finishPriceRefresh()
{
    m_priceRefresh->finish();
}

void MainWindow::cancelPriceRefresh()
{
    m_priceRefresh->cancel();
}

void MainWindow::clearPriceRefreshQueue()
{
    m_priceRefresh->clearQueue();
}

void MainWindow::releaseHeldChanges()
{
    m_priceRefresh->releaseHeldChanges();
}

void MainWindow::onRatesFetched(bool ok)
{
    // An answer that cannot be right was refused, not missed: it is named
    // as such.
    const QString refusal = std::exchange(m_ratesRefusal, QString());
    const QString inUse = QString::number(FxRates::usdToEur(), 'f', 5);
    if (!ok && !refusal.isEmpty() && !FxRates::hasRate(QStringLiteral("EUR"))) {
        Log::warn(QStringLiteral("fx"),
                  tr("Conversion rates refused: %1, and no usable ones are stored; amounts in dollars are shown at "
                     "the built-in rate (1 USD = %2 EUR), and a price refresh keeps the stored values of cards "
                     "priced in dollars.")
                      .arg(refusal, inUse));
    } else if (!ok && !refusal.isEmpty()) {
        Log::warn(QStringLiteral("fx"),
                  tr("Conversion rates refused: %1; the stored ones stay in use (1 USD = %2 EUR).")
                      .arg(refusal, inUse));
    } else if (!ok && !FxRates::hasRate(QStringLiteral("EUR"))) {
        Log::warn(QStringLiteral("fx"),
                  tr("Conversion rates could not be fetched, and no usable ones are stored; amounts in dollars are "
                     "shown at the built-in rate (1 USD = %1 EUR), and a price refresh keeps the stored values "
                     "of cards priced in dollars.")
                      .arg(inUse));
    } else if (!ok) {
        Log::warn(QStringLiteral("fx"),
                  tr("Conversion rates could not be updated; the stored ones stay in use (1 USD = %1 EUR).")
                      .arg(inUse));
    } else {
        Log::info(QStringLiteral("fx"),
                  tr("Conversion rates updated (%1): 1 USD = %2 EUR.")
                      .arg(FxRates::storedDate().toString(Qt::ISODate))
                      .arg(FxRates::usdToEur(), 0, 'f', 5));
        Currency::reload();
        refreshValueDisplays();
    }
}

} // namespace pv
