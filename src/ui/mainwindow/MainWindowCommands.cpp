// Preferences, the commands of the Labels and Help menus and the image cache folder.
#include "ui/mainwindow/MainWindow.h"

#include "catalog/ImageCache.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "catalog/CardCatalog.h"
#include "collection/LabelSheet.h"
#include "collection/SetLabelStyleCommand.h"
#include "collection/SetPrintLabelsCommand.h"
#include "core/Currency.h"
#include "core/FxRateFetcher.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "core/NameTranslator.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/dialogs/LabelPreviewDialog.h"
#include "ui/dialogs/PreferencesDialog.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QUndoStack>

namespace pv {

namespace {
const QString kCacheCategory = QStringLiteral("cache");
}

void MainWindow::clearLabels()
{
    QStringList keys;
    for (const CardEntry &entry : m_collection->entries()) {
        if (entry.printLabel)
            keys.append(entryKey(entry));
    }
    if (keys.isEmpty())
        return;
    m_undoStack->push(new SetPrintLabelsCommand(m_collection, keys, false, tr("Clear labels")));
}

void MainWindow::clearImageCache()
{
    ImageCache &cache = m_client->imageCache();
    cache.clear();
    Log::info(kCacheCategory,
              tr("Image cache cleared (%1).").arg(QDir::toNativeSeparators(cache.folder().absolutePath())));
    showStatus(tr("Image cache cleared."), 4000);
}

bool MainWindow::changeImageCacheFolder(const QString &requested)
{
    ImageCache &cache = m_client->imageCache();
    // An empty field stands for the default folder; either way the messages
    // name the absolute folder that was tried, never an empty text.
    const QString target = requested.trimmed().isEmpty() ? ImageCache::defaultFolder()
                                                         : QDir(requested.trimmed()).absolutePath();
    const QString inUse = cache.folder().absolutePath();
    if (target == inUse)
        return true;
    if (!cache.changeFolder(target)) {
        const QString nativeTarget = QDir::toNativeSeparators(target);
        const QString nativeInUse = QDir::toNativeSeparators(inUse);
        Log::error(kCacheCategory, tr("Image cache folder %1 could not be created; still using %2.")
                                       .arg(nativeTarget, nativeInUse));
        DialogPrompts::warning(this, tr("Could not change the image cache folder"),
                               tr("%1 could not be created. The cache keeps using %2.").arg(nativeTarget, nativeInUse));
        return false;
    }
    m_treeModel->reloadArtwork();
    reloadCardDetails();
    const QString nativeFolder = QDir::toNativeSeparators(cache.folder().absolutePath());
    Log::info(kCacheCategory, tr("Image cache folder: %1").arg(nativeFolder));
    showStatus(tr("Image cache folder: %1").arg(nativeFolder), 6000);
    return true;
}

void MainWindow::showPreferences()
{
    PreferencesDialog dialog(this);
    dialog.setTheme(ThemeManager::currentThemeName());
    dialog.setCurrency(Currency::currentCode());
    dialog.setPriceSource(PriceSource::current());
    dialog.setPriceBasis(PriceBasis::current());
    dialog.setTranslateJapanese(NameTranslator::isEnabled());
    dialog.setImageCacheFolder(m_client->imageCache().folder().absolutePath());
    if (DialogPrompts::exec(dialog) != QDialog::Accepted)
        return;
    applyTheme(dialog.themeId());
    applyDisplayCurrency(dialog.currency());
    applyPriceSource(dialog.priceSource());
    applyPriceBasis(dialog.priceBasis());
    applyJapaneseNames(dialog.translateJapanese());
    changeImageCacheFolder(dialog.imageCacheFolder());
}

void MainWindow::applyTheme(const QString &id)
{
    if (id.isEmpty() || id == ThemeManager::currentThemeName())
        return;
    ThemeManager::setCurrentThemeName(id);
    ThemeManager::applyTheme(qApp, id);
    QString name = id;
    for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
        if (theme.id == id) {
            name = theme.name;
            break;
        }
    }
    Log::info(QStringLiteral("app"), tr("Theme changed to %1 (%2).").arg(name, id));
    showStatus(tr("Theme: %1").arg(name), 6000);
}

void MainWindow::applyDisplayCurrency(const QString &code)
{
    if (code.isEmpty() || code == Currency::currentCode())
        return;
    const Currency currency = Currency::byCode(code);
    // The rate the values are shown at until fresher rates arrive.
    const double rate = FxRates::rateFor(currency.code);
    Currency::setCurrent(currency.id);
    refreshValueDisplays();
    if (FxRates::isDue() || !FxRates::hasRate(currency.code))
        m_fxFetcher->fetch();
    Log::info(QStringLiteral("app"),
              tr("Display currency changed to %1 (1 USD = %2).").arg(currency.code).arg(rate, 0, 'f', 5));
    showStatus(tr("Prices shown in %1.").arg(currency.name), 6000);
}

void MainWindow::applyPriceSource(int id)
{
    if (id == PriceSource::current())
        return;
    PriceSource::setCurrent(id);
    refreshValueDisplays();
    Log::info(QStringLiteral("prices"),
              id == 1 ? tr("Cards are now valued at whichever of Cardmarket and TCGplayer is higher.")
                      : tr("Cards are now valued at Cardmarket, with TCGplayer used only where Cardmarket lists "
                           "nothing."));
    showStatus(tr("Price source: %1. Refresh prices to apply it to stored figures.").arg(PriceSource::byId(id).label),
               8000);
}

void MainWindow::applyPriceBasis(int id)
{
    if (id == PriceBasis::current())
        return;
    PriceBasis::setCurrent(id);
    refreshValueDisplays();
    const QString label = PriceBasis::byId(id).label;
    Log::info(QStringLiteral("prices"), tr("Cards are now valued at the %1 of the quoted market prices.").arg(label.toLower()));
    showStatus(tr("Collection value: %1 quoted price. Refresh prices to apply it to stored figures.").arg(label), 8000);
}

void MainWindow::applyJapaneseNames(bool on)
{
    if (on == NameTranslator::isEnabled())
        return;
    NameTranslator::setEnabled(on);
    m_treeModel->rebuild();
    m_catalog->reindex();
    reloadCardDetails();
    rebuildBinderDialogs();
    Log::info(QStringLiteral("names"), on ? tr("Japanese cards, sets and series are shown in English.")
                                          : tr("Japanese cards, sets and series are shown as the API spells them."));
    showStatus(on ? tr("Japanese names are shown in English.") : tr("Japanese names are shown in Japanese."), 6000);
}

void MainWindow::printLabels()
{
    const QList<LabelRecord> records = labelRecordsForCollection(*m_collection);
    if (records.isEmpty()) {
        DialogPrompts::information(this, tr("Print Labels"),
                                   tr("No cards are on the label sheet yet.\n\nRight-click a card in the collection "
                                      "and choose \"Add To Labels\"."));
        return;
    }
    const LabelStyle style = m_collection->labelStyle() ? *m_collection->labelStyle() : LabelStyle::fromSettings();
    const int sheets = labelPageCount(int(records.size()), style.geometry);
    if (sheets > 10) {
        const QMessageBox::StandardButton answer = DialogPrompts::question(
            this, tr("Print Labels"),
            tr("%n label(s) will fill %1 sheets. Continue?", nullptr, int(records.size())).arg(sheets),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    LabelPreviewDialog dialog(records, m_collection->labelStyle(), this);
    connect(&dialog, &LabelPreviewDialog::documentDefaultRequested, this, [this](const LabelStyle &chosen) {
        m_undoStack->push(new SetLabelStyleCommand(m_collection, m_collection->labelStyle(), chosen));
    });
    DialogPrompts::exec(dialog);
}

} // namespace pv
