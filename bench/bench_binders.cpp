// Measures binder resolution over the full English catalog (built from the
// web stand-in's recorded card data) with a collection of 50,000 holdings:
// the "360 Most Valuable Cards" template, the "WotC Holos" template and a
// rule binder for a whole series, and a rule naming 100,000 dex numbers the
// index does not know yet. Target: under 50 ms each. Exits with 1 when
// a target is missed.
#include "catalog/CardCatalog.h"
#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "standin/WebStandIn.h"

#include "BinderBenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace pv;

namespace {

constexpr int holdingCount = 50000;
constexpr int rounds = 15;
constexpr qint64 targetMs = 50;

bool measure(const char *what, const Binder &binder, const CardCatalog &catalog, const DexIndex &dex,
             const Collection &collection)
{
    QList<qint64> samples;
    int cards = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        const BinderResolution r = resolveBinder(binder, &catalog, &dex, &collection);
        samples.append(clock.nsecsElapsed() / 1000);
        cards = int(r.cards.size());
    }
    std::sort(samples.begin(), samples.end());
    const qint64 median = samples.at(samples.size() / 2);
    const bool ok = median < targetMs * 1000;
    std::printf("%-40s %6d cards  min %7.2f ms  median %7.2f ms  max %7.2f ms  (target < %lld ms) %s\n", what, cards,
                samples.first() / 1000.0, median / 1000.0, samples.last() / 1000.0,
                static_cast<long long>(targetMs), ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);  // keep the user's caches out of it
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QCoreApplication::setApplicationName(QStringLiteral("TallowmerickBench"));

    pv::test::WebStandIn *standIn = pv::test::WebStandIn::shared();
    if (!standIn || !standIn->isListening()) {
        std::fprintf(stderr, "the web stand-in did not start\n");
        return 1;
    }
    TcgdexClient client;
    CardCatalog catalog(&client, nullptr);
    QElapsedTimer buildClock;
    buildClock.start();
    if (!bench::buildEnglishCatalog(catalog)) {
        std::fprintf(stderr, "no English catalog\n");
        return 1;
    }
    const LanguageCatalog *english = catalog.catalog(Language::English);
    std::printf("English catalog: %lld cards, %lld sets (built in %lld ms)\n",
                static_cast<long long>(english->cards.size()), static_cast<long long>(english->sets.size()),
                static_cast<long long>(buildClock.elapsed()));

    Collection collection;
    collection.replaceContents(bench::randomHoldings(*english, holdingCount), {}, {}, {}, std::nullopt);
    DexIndex dex(nullptr);

    const QList<Binder> templates = builtinBinderTemplates();
    Binder series = newBinder(QStringLiteral("Sword & Shield"), Language::English);
    BinderRule rule;
    rule.serieId = QStringLiteral("swsh");
    series.rules = {rule};

    // A binder read from a hostile file may name any number of dex numbers.
    Binder manyDex = newBinder(QStringLiteral("Many dex numbers"), Language::English);
    BinderRule dexRule;
    for (int i = 0; i < 100000; ++i)
        dexRule.dexIds.append(100000 + i);
    manyDex.rules = {dexRule};

    bool ok = true;
    ok = measure("360 Most Valuable Cards", templates.at(5), catalog, dex, collection) && ok;
    ok = measure("WotC Holos (five rules)", templates.at(1), catalog, dex, collection) && ok;
    ok = measure("whole-series rule binder (swsh)", series, catalog, dex, collection) && ok;
    ok = measure("100,000 dex numbers not looked up yet", manyDex, catalog, dex, collection) && ok;
    return ok ? 0 : 1;
}
