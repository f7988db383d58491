#pragma once

// Shared by the binder benchmarks: the full English catalog built from the web
// stand-in's recorded card data, and a large random collection over it.

#include "catalog/CardCatalog.h"
#include "collection/CardEntry.h"

#include <QEventLoop>
#include <QList>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>

namespace pv::bench {

// Waits until the English catalog stands (from the cache a previous run left,
// or built from the stand-in) and its rarity pass is done.
inline bool buildEnglishCatalog(CardCatalog &catalog)
{
    QEventLoop loop;
    QObject::connect(&catalog, &CardCatalog::refreshFinished, &loop,
                     [&](Language, bool ok, const QString &message) {
                         if (!ok) {
                             std::fprintf(stderr, "catalog build failed: %s\n", qPrintable(message));
                             loop.quit();
                         }
                     });
    QObject::connect(&catalog, &CardCatalog::raritiesLoaded, &loop, [&](Language) { loop.quit(); });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    catalog.ensureLoaded(Language::English);
    loop.exec();
    const LanguageCatalog *english = catalog.catalog(Language::English);
    return english && !english->cards.isEmpty() && !english->rarities.isEmpty();
}

// Holdings of random catalog cards in every condition, priced or not.
inline QList<CardEntry> randomHoldings(const LanguageCatalog &english, int holdingCount)
{
    QRandomGenerator random(20261207);
    QList<CardEntry> entries;
    entries.reserve(holdingCount);
    for (int i = 0; i < holdingCount; ++i) {
        const CatalogCard &card = english.cards.at(random.bounded(int(english.cards.size())));
        CardEntry e = CardEntry::ofCatalogCard(card);
        e.condition = Condition(random.bounded(7));
        e.count = 1 + random.bounded(4);
        e.unitValueEur = random.bounded(4) == 0 ? 0.0 : random.bounded(100000) / 100.0;
        if (random.bounded(20) == 0)
            e.customPriceEur = random.bounded(5000) / 100.0;
        entries.append(e);
    }
    return entries;
}

} // namespace pv::bench
