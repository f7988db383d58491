#pragma once

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "collection/BinderCard.h"
#include "collection/Binders.h"
#include "collection/CardEntry.h"

#include <QDir>
#include <QStringList>

// A small English catalog for the binder views: series "tst" with set "tst1"
// of twelve cards (rarities Common x6, Rare x4, Rare Holo x2) and set "tst2"
// of two cards.
namespace pv::test {

// A binder of every card of one set.
inline Binder setBinder(const char *setId)
{
    Binder binder = newBinder(QStringLiteral("Set %1").arg(QLatin1String(setId)), Language::English);
    BinderRule rule;
    rule.setId = QString::fromLatin1(setId);
    binder.rules = {rule};
    return binder;
}

inline CatalogCard fixtureCard(const QString &setId, int number, const QString &rarity)
{
    CatalogCard card;
    card.setId = setId;
    card.localId = QString::number(number);
    card.id = setId + QLatin1Char('-') + card.localId;
    card.name = QStringLiteral("Card %1").arg(card.id);
    card.setName = setId.toUpper();
    card.rarity = rarity;
    card.printingMask = 1;
    return card;
}

// Writes the fixture catalog's cache, with the given rarity list and any
// further sets and cards, and loads it.
inline CardCatalog *loadFixtureCatalog(QObject *parent, const QStringList &rarities,
                                       const QList<CatalogSet> &moreSets = {},
                                       const QList<CatalogCard> &moreCards = {})
{
    CatalogCache::Contents contents;
    SerieBrief serie;
    serie.id = QStringLiteral("tst");
    serie.name = QStringLiteral("Test Series");
    contents.series = {serie};
    for (const char *id : {"tst1", "tst2"}) {
        CatalogSet set;
        set.id = QString::fromLatin1(id);
        set.name = set.id.toUpper();
        set.serieId = serie.id;
        set.order = contents.sets.size() + 1;
        contents.sets.append(set);
    }
    for (int i = 1; i <= 12; ++i) {
        const QString rarity = i <= 6 ? QStringLiteral("Common") : i <= 10 ? QStringLiteral("Rare")
                                                                          : QStringLiteral("Rare Holo");
        contents.cards.append(fixtureCard(QStringLiteral("tst1"), i, rarity));
    }
    contents.cards.append(fixtureCard(QStringLiteral("tst2"), 1, QStringLiteral("Rare")));
    contents.cards.append(fixtureCard(QStringLiteral("tst2"), 2, QStringLiteral("Rare")));
    contents.sets += moreSets;
    contents.cards += moreCards;
    contents.rarities = rarities;
    contents.haveVariants = true;
    contents.savedAt = QDateTime::currentDateTimeUtc();
    QDir().mkpath(cacheDirectory());
    if (!CatalogCache::save(cacheDirectory() + QStringLiteral("/en.cbor"), Language::English, contents))
        return nullptr;
    auto *catalog = new CardCatalog(nullptr, parent);
    catalog->ensureLoaded(Language::English);
    return catalog;
}

inline CardEntry fixtureHolding(const QString &cardId, int count, double value = 0.0)
{
    CardEntry entry;
    entry.cardId = cardId;
    entry.setId = cardId.section(QLatin1Char('-'), 0, 0);
    entry.localId = cardId.section(QLatin1Char('-'), 1);
    entry.name = QStringLiteral("Card %1").arg(cardId);
    entry.lang = Language::English;
    entry.count = count;
    entry.unitValueEur = value;
    return entry;
}

inline BinderCard pocket(const QString &id, int owned, const QString &image = QString())
{
    BinderCard card;
    card.id = id;
    card.localId = id.section(QLatin1Char('-'), 1);
    card.name = QStringLiteral("Card %1").arg(id);
    card.setId = id.section(QLatin1Char('-'), 0, 0);
    card.image = image;
    card.owned = owned;
    return card;
}

} // namespace pv::test
