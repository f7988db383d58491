#include "catalog/CardCatalog.h"
#include "collection/Collection.h"
#include "collection/FallbackPrices.h"
#include "prices/PriceIndex.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "ui/models/SetCardsModel.h"
#include "ui/widgets/CardPreviewPopup.h"

#include <QBrush>
#include <QComboBox>
#include <QEventLoop>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

namespace pv::selftest {

namespace {

constexpr int CardIdRole = Qt::UserRole + 1;
constexpr int PriceRole = Qt::UserRole + 2;
constexpr int ImageRole = Qt::UserRole + 3;
constexpr int OwnedRole = Qt::UserRole + 4;

struct DialogWidgets
{
    QComboBox *series = nullptr;
    QComboBox *sets = nullptr;
    QTabWidget *tabs = nullptr;
    QTableView *table = nullptr;
    QLineEdit *name = nullptr;
    QLineEdit *number = nullptr;
    QLineEdit *count = nullptr;
    QComboBox *finish = nullptr;
    QComboBox *edition = nullptr;

    bool complete() const { return series && sets && tabs && table && name && number && count; }
};

bool hasKey(const QComboBox *combo, const char *key)
{
    return combo->findData(QString::fromLatin1(key), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
}

int findKey(const QComboBox *combo, const char *key)
{
    return combo->findData(QString::fromLatin1(key), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

// Lets the dialog's delayed search run.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The last row whose card id is (or is not) the given one; -1 when none.
int lastRow(const QAbstractItemModel &model, const QString &cardId, bool equal)
{
    int found = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        if ((model.index(row, 1).data(CardIdRole).toString() == cardId) == equal)
            found = row;
    }
    return found;
}

void checkBrowsing(const DialogWidgets &w, PriceIndex &prices)
{
    check(w.series->count() >= 21, QStringLiteral("the series combo filled from the cache with %1 entries")
                                       .arg(w.series->count()));
    check(w.sets->count() >= 200, QStringLiteral("\"All series\" lists every set (%1)").arg(w.sets->count()));
    const int sv = findKey(w.series, "sv");
    check(sv > 0, QStringLiteral("Scarlet & Violet is in the series combo"));
    w.series->setCurrentIndex(sv);
    check(w.sets->count() >= 1 && w.sets->count() < 200,
          QStringLiteral("choosing a series narrows the set combo to its %1 sets").arg(w.sets->count()));
    const int set151 = findKey(w.sets, "sv03.5");
    check(set151 >= 0, QStringLiteral("the 151 set is in the Scarlet & Violet sets"));
    w.sets->setCurrentIndex(set151);
    QAbstractItemModel *model = w.table->model();
    check(model->rowCount() == 207,
          QStringLiteral("selecting 151 filled the table with %1 cards, with no request").arg(model->rowCount()));
    check(w.table->isColumnHidden(3), QStringLiteral("the Set column stays hidden while browsing one set"));

    if (!w.finish || !w.edition) {
        check(false, QStringLiteral("the dialog has a finish and an edition combo"));
    } else {
        w.table->selectionModel()->clearCurrentIndex();
        check(!hasKey(w.edition, "shadowless") && !hasKey(w.edition, "firstEdition"),
              QStringLiteral("browsing a modern set offers neither print run"));
        check(w.edition->count() == 1 && !w.edition->isEnabled(),
              QStringLiteral("leaving Unlimited alone in a combo with nothing to choose"));
        check(hasKey(w.finish, "reverse"), QStringLiteral("while the finishes it does have are still there"));
    }

    QEventLoop loop;
    waitForPriceIndex(prices, loop, 60000);
    const QString set = QStringLiteral("sv03.5");
    check(prices.setState(Language::English, set) == PriceIndex::Indexed,
          QStringLiteral("browsing a set fetched its prices: %1").arg(prices.statusText(Language::English, set)));
    int priced = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 5).data(PriceRole).toDouble() > 0)
            ++priced;
    }
    check(priced >= 151, QStringLiteral("%1 of the %2 rows show a market price").arg(priced).arg(model->rowCount()));
}

void checkSearching(AddCardsDialog &dialog, const DialogWidgets &w)
{
    QAbstractItemModel *model = w.table->model();
    w.tabs->setCurrentIndex(1);
    check(!w.table->isColumnHidden(3), QStringLiteral("switching to Search reveals the Set column"));
    w.number->setText(QStringLiteral("005/165"));
    settle(500);
    check(model->rowCount() == 2,
          QStringLiteral("searching 005/165 returned %1 card(s) across every set").arg(model->rowCount()));

    const QString owned = QStringLiteral("ecard1-5");
    const int other = lastRow(*model, owned, false);
    if (other < 0) {
        check(false, QStringLiteral("the 151 Charmeleon is among the results"));
    } else {
        const QString printed = model->index(other, 1).data().toString();
        check(printed == QStringLiteral("005/165"),
              QStringLiteral("a search result shows the number as printed: %1").arg(printed));
        emit w.table->doubleClicked(model->index(other, 1));
        const QList<CardEntry> pending = dialog.pendingEntries();
        check(pending.size() == 1 && pending.first().setId == QStringLiteral("sv03.5"),
              QStringLiteral("staging a search hit records its own set"));
        const QList<SetRecord> sets = dialog.pendingSets();
        const QString serie = sets.isEmpty() ? QString() : sets.first().serie;
        check(sets.size() == 1 && !serie.isEmpty(),
              QStringLiteral("the staged set carries its series (\"%1\"), so the tree does not file it under "
                             "Unknown series")
                  .arg(serie));
    }

    const int mine = lastRow(*model, owned, true);
    if (mine < 0) {
        check(false, QStringLiteral("the e-Card Charmeleon is among the results"));
    } else {
        const QModelIndex cell = model->index(mine, 2);
        check(cell.data(OwnedRole).toBool(), QStringLiteral("the card the collection already holds is marked owned"));
        const QVariant font = cell.data(Qt::FontRole);
        check(font.canConvert<QFont>() && font.value<QFont>().weight() > 500,
              QStringLiteral("an owned row is painted bold"));
        const QVariant brush = cell.data(Qt::ForegroundRole);
        check(brush.canConvert<QBrush>() && brush.value<QBrush>().color() == QColor(255, 210, 63, 255),
              QStringLiteral("an owned row is painted yellow"));
    }
    if (other >= 0) {
        const QModelIndex cell = model->index(other, 2);
        check(!cell.data(OwnedRole).toBool() && !cell.data(Qt::ForegroundRole).isValid(),
              QStringLiteral("a card that is not in the collection keeps the theme's text"));
    }

    w.number->clear();
    w.count->clear();
    w.name->setText(QStringLiteral("zzzznotacard"));
    settle(500);
    check(model->rowCount() == 0, QStringLiteral("a search with no matches clears the list"));
}

void checkVintagePrintings(const DialogWidgets &w)
{
    if (!w.finish || !w.edition)
        return;
    check(hasKey(w.edition, "shadowless"), QStringLiteral("a search offers every printing again, having no one set"));
    w.tabs->setCurrentIndex(0);
    w.series->setCurrentIndex(0);
    const int base = findKey(w.sets, "base1");
    check(base >= 0, QStringLiteral("Base Set is in the set list"));
    if (base < 0)
        return;
    w.sets->setCurrentIndex(base);
    w.table->selectionModel()->clearCurrentIndex();
    check(hasKey(w.edition, "shadowless") && hasKey(w.edition, "firstEdition"),
          QStringLiteral("browsing Base Set offers both of its print runs"));
    check(w.edition->isEnabled(), QStringLiteral("and the edition combo is live where there is a choice"));
}

void checkHoverPreview(AddCardsDialog &dialog, const DialogWidgets &w, TcgdexClient &client)
{
    auto *popup = dialog.findChild<CardPreviewPopup *>();
    if (!popup) {
        check(false, QStringLiteral("the dialog carries a hover preview"));
        return;
    }
    check(!popup->isVisible(), QStringLiteral("the hover preview starts hidden"));
    const QPoint low(600, 600);
    popup->previewImage(QString(), low);
    check(!popup->isVisible(), QStringLiteral("a card with no artwork shows no preview rather than an empty frame"));

    QAbstractItemModel *model = w.table->model();
    const QString image = model->index(0, 0).data(ImageRole).toString();
    check(!image.isEmpty(), QStringLiteral("a row answers its image URL, which is what the hover reads"));
    if (image.isEmpty())
        return;
    check(model->index(0, 2).data(ImageRole).toString() == image,
          QStringLiteral("and so does every other column of that row"));

    popup->previewImage(image, low);
    if (!popup->isVisible())
        waitForCardPicture(client, image, 30000);
    check(popup->isVisible(), QStringLiteral("the preview appears once the card's scan arrives"));
    check(popup->height() > 3 * SetCardsModel::thumbnailSize().height(),
          QStringLiteral("and shows the card big (%1x%2), not at thumbnail size")
              .arg(popup->width())
              .arg(popup->height()));
    check(popup->geometry().bottom() < 600,
          QStringLiteral("above the cursor, so the pointer does not cover what it points at"));
    popup->previewImage(image, QPoint(600, 4));
    check(popup->geometry().top() >= 0,
          QStringLiteral("a hover at the top of the screen flips the preview below the cursor rather than off-screen"));
    popup->dismiss();
    check(!popup->isVisible(), QStringLiteral("and it goes away when the hover ends"));
}

} // namespace

void testAddCardsDialog(TcgdexClient &client)
{
    CardCatalog catalog(&client);
    catalog.ensureLoaded(Language::English);
    if (catalog.state(Language::English) != CatalogState::Ready) {
        check(false, QStringLiteral("the catalog is available to the dialog"));
        return;
    }

    Collection collection;
    CardEntry charmeleon;
    charmeleon.cardId = QStringLiteral("ecard1-5");
    charmeleon.setId = QStringLiteral("ecard1");
    charmeleon.localId = QStringLiteral("005");
    charmeleon.name = QStringLiteral("Charmeleon");
    charmeleon.lang = Language::English;
    collection.addEntry(charmeleon);
    PriceIndex prices;
    FallbackPrices fallback(&collection, &prices);
    fallback.setCatalog(&catalog);
    AddCardsDialog dialog(&client, &catalog, &fallback, &collection);

    DialogWidgets w;
    w.series = dialog.findChild<QComboBox *>(QStringLiteral("serieCombo"));
    w.sets = dialog.findChild<QComboBox *>(QStringLiteral("setCombo"));
    w.tabs = dialog.findChild<QTabWidget *>(QStringLiteral("modeTabs"));
    w.table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
    w.name = dialog.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"));
    w.number = dialog.findChild<QLineEdit *>(QStringLiteral("numberSearchEdit"));
    w.count = dialog.findChild<QLineEdit *>(QStringLiteral("countSearchEdit"));
    if (!w.complete()) {
        check(false, QStringLiteral("every widget the dialog logic drives exists in the form"));
        return;
    }
    w.finish = dialog.findChild<QComboBox *>(QStringLiteral("finishCombo"));
    w.edition = dialog.findChild<QComboBox *>(QStringLiteral("editionCombo"));

    checkBrowsing(w, prices);
    checkSearching(dialog, w);
    checkVintagePrintings(w);
    checkHoverPreview(dialog, w, client);
}

} // namespace pv::selftest
