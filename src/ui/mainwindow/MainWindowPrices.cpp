// The price refresh and what the card database and the exchange-rate
// service deliver to the window.
#include "ui/mainwindow/MainWindow.h"

#include "collection/Collection.h"
#include "core/CardDetail.h"
#include "core/Currency.h"
#include "core/FxRates.h"
#include "core/Log.h"

namespace pv {

bool MainWindow::isPriceRefreshRunning() const
{
    return false;
}

void MainWindow::cancelPriceRefresh()
{
}

void MainWindow::onCardPriced(int requestId, Language language, const CardDetail &card)
{
    Q_UNUSED(requestId)
    if (m_collection->applyCardFacts(language, card.id, card.rarity, card.dexId) > 0)
        changedOutsideUndo = true;
}

void MainWindow::onCardRequestFailed(int requestId, const QString &context, const QString &message)
{
    Log::warn(QStringLiteral("network"), QStringLiteral("#%1 %2 failed: %3").arg(requestId).arg(context, message));
}

void MainWindow::onFallbackSetIndexed(Language language, const QString &setId, bool ok)
{
    Q_UNUSED(language)
    Q_UNUSED(setId)
    Q_UNUSED(ok)
}

void MainWindow::onRatesFetched(bool ok)
{
    if (!ok) {
        Log::warn(QStringLiteral("fx"),
                  tr("Conversion rates could not be updated; the stored ones stay in use (1 USD = %1 EUR).")
                      .arg(FxRates::usdToEur(), 0, 'f', 5));
        return;
    }
    Log::info(QStringLiteral("fx"), tr("Conversion rates updated (%1): 1 USD = %2 EUR.")
                                        .arg(FxRates::storedDate().toString(Qt::ISODate))
                                        .arg(FxRates::usdToEur(), 0, 'f', 5));
    Currency::reload();
    refreshValueDisplays();
}

} // namespace pv
