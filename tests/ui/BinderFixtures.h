#pragma once

#include "catalog/CardCatalog.h"
#include "collection/BinderCard.h"

#include "Fixtures.h"

#include <QStringList>

// A small English catalog for the binder views: series "tst" with set "tst1"
// of twelve cards (rarities Common x6, Rare x4, Rare Holo x2) and set "tst2"
// of two cards.
namespace pv::test {

// Card "<set>-<number>" of the fixture catalog, named "Card <id>".
inline CatalogCard fixtureCard(const QString &setId, int number, const QString &rarity)
{
    CatalogCard card = catalogCard(setId, QString::number(number), QString(), rarity, 1);
    card.name = QStringLiteral("Card %1").arg(card.id);
    card.setName = setId.toUpper();
    return card;
}

// Writes the fixture catalog's cache, with the given rarity list and any
// further sets and cards, and loads it.
inline CardCatalog *loadFixtureCatalog(QObject *parent, const QStringList &rarities,
                                       const QList<CatalogSet> &moreSets = {},
                                       const QList<CatalogCard> &moreCards = {})
{
    CatalogCache::Contents contents;
    contents.series = {SerieBrief{QStringLiteral("tst"), QStringLiteral("Test Series"), QString()}};
    contents.sets = {catalogSet(QStringLiteral("tst1"), QStringLiteral("TST1"), QStringLiteral("tst"), 1),
                     catalogSet(QStringLiteral("tst2"), QStringLiteral("TST2"), QStringLiteral("tst"), 2)};
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
    if (!saveCatalogCache(contents))
        return nullptr;
    auto *catalog = new CardCatalog(nullptr, parent);
    catalog->ensureLoaded(Language::English);
    return catalog;
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
