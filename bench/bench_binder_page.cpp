// Measures what opening a value-ranked binder costs: the "360 Most Valuable
// Cards" template resolved over the full English catalog (built from the web
// stand-in's recorded card data) and a collection of 50,000 holdings, then one
// 4 x 4 page painted with every picture already in the image cache.
// Target: under 50 ms in all. Exits with 1 when the target is missed.
#include "catalog/CardCatalog.h"
#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "core/CardArtwork.h"
#include "standin/WebStandIn.h"
#include "ui/widgets/BinderPageWidget.h"

#include "BinderBenchSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pv;

namespace {

constexpr int holdingCount = 50000;
constexpr int rounds = 15;
constexpr double targetMs = 50.0;

// A low-quality card picture, as large as the card database serves them.
void fillCache(TcgdexClient &client, const QList<BinderCard> &cards)
{
    QImage picture(245, 342, QImage::Format_RGB32);
    for (const BinderCard &card : cards) {
        picture.fill(QColor::fromHsv(int(qHash(card.id) % 360), 160, 200));
        QPainter painter(&picture);
        painter.drawText(picture.rect(), Qt::AlignCenter, card.name);
        painter.end();
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "JPG");
        client.imageCache().store(cardImageUrl(card.image, false), bytes, QPixmap::fromImage(picture));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);  // keep the user's caches out of it
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QCoreApplication::setApplicationName(QStringLiteral("TallowmerickBench"));

    test::WebStandIn *standIn = test::WebStandIn::shared();
    if (!standIn || !standIn->isListening()) {
        std::fprintf(stderr, "the web stand-in did not start\n");
        return 1;
    }
    TcgdexClient client;
    CardCatalog catalog(&client, nullptr);
    if (!bench::buildEnglishCatalog(catalog)) {
        std::fprintf(stderr, "no English catalog\n");
        return 1;
    }
    const LanguageCatalog *english = catalog.catalog(Language::English);
    Collection collection;
    collection.replaceContents(bench::randomHoldings(*english, holdingCount), {}, {}, {}, std::nullopt);
    DexIndex dex(nullptr);

    Binder binder = builtinBinderTemplates().at(5);
    binder.columns = 4;
    binder.rows = 4;
    const int perPage = binder.columns * binder.rows;
    const QList<BinderCard> firstPage = resolveBinder(binder, &catalog, &dex, &collection).cards.mid(0, perPage);
    fillCache(client, firstPage);

    BinderPageWidget page;
    page.setTcgdexClient(&client);
    page.setGrid(binder.columns, binder.rows);
    page.resize(1100, 900);
    QImage target(page.size(), QImage::Format_ARGB32_Premultiplied);

    std::vector<double> resolveMs, paintMs, totalMs;
    int resolved = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        const BinderResolution contents = resolveBinder(binder, &catalog, &dex, &collection);
        const QList<BinderCard> shown = entriesForBinder(binder, contents.cards);
        const double resolvedAt = clock.nsecsElapsed() / 1.0e6;
        page.setPockets(shown.mid(0, perPage));
        target.fill(Qt::transparent);
        page.render(&target);
        const double total = clock.nsecsElapsed() / 1.0e6;
        resolveMs.push_back(resolvedAt);
        paintMs.push_back(total - resolvedAt);
        totalMs.push_back(total);
        resolved = int(contents.cards.size());
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double total = median(totalMs);
    const bool ok = total < targetMs;
    std::printf("360 Most Valuable Cards over %d holdings (%d cards), one 4 x 4 page painted\n", holdingCount, resolved);
    std::printf("  resolve median %7.2f ms  paint median %7.2f ms  total median %7.2f ms  first %7.2f ms"
                "  (target < %.0f ms) %s\n",
                median(resolveMs), median(paintMs), total, totalMs.front(), targetMs, ok ? "ok" : "MISSED");
    return ok ? 0 : 1;
}
