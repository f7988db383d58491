#pragma once

#include "catalog/CacheDirectory.h"
#include "catalog/CatalogCache.h"
#include "catalog/CatalogCard.h"
#include "catalog/CatalogSet.h"
#include "catalog/CatalogSnapshot.h"
#include "collection/Binder.h"
#include "collection/Binders.h"
#include "collection/CardEntry.h"
#include "core/SetRecord.h"

#include <QDate>
#include <QDir>
#include <QList>
#include <QString>

// The holdings, sets, catalog cards, cached catalogs and binders the suites
// build their cases from. Each builder fills the fields named in its
// arguments and leaves every other one at its default; a case that needs more
// sets it on the result.
namespace pv::test {

// A holding of card "<set>-<number>", count 1.
inline CardEntry holding(const QString &setId, const QString &localId, const QString &name, double unitValueEur = 0.0,
                         Language language = Language::English)
{
    CardEntry entry;
    entry.cardId = setId + QLatin1Char('-') + localId;
    entry.setId = setId;
    entry.localId = localId;
    entry.name = name;
    entry.lang = language;
    entry.unitValueEur = unitValueEur;
    return entry;
}

// A holding named by its card id "<set>-<number>" alone, called "Card <id>".
inline CardEntry holdingOf(const QString &cardId, int count = 1, double unitValueEur = 0.0,
                           Language language = Language::English)
{
    CardEntry entry = holding(cardId.section(QLatin1Char('-'), 0, 0), cardId.section(QLatin1Char('-'), 1),
                              QStringLiteral("Card %1").arg(cardId), unitValueEur, language);
    entry.count = count;
    return entry;
}

// Card "<set>-<number>" called "Card <number>", count copies of it.
inline CardEntry numberedHolding(const QString &setId, const QString &localId, int count = 1, double unitValueEur = 0.0)
{
    CardEntry entry = holding(setId, localId, QStringLiteral("Card ") + localId, unitValueEur);
    entry.count = count;
    return entry;
}

// The same, marked for labels.
inline CardEntry labelledHolding(const QString &setId, const QString &localId, int count)
{
    CardEntry entry = numberedHolding(setId, localId, count);
    entry.printLabel = true;
    return entry;
}

// A card-database set as the collection keeps it.
inline SetRecord setRecord(const QString &id, const QString &name, const QString &serie = QString(),
                           int order = SetRecord::UnsetOrder, int official = 0, int total = 0,
                           Language language = Language::English, const QDate &released = QDate())
{
    SetRecord record;
    record.id = id;
    record.name = name;
    record.serie = serie;
    record.order = order;
    record.officialCardCount = official;
    record.totalCardCount = total;
    record.language = language;
    record.releaseDate = released;
    return record;
}

// A catalog card "<set>-<number>".
inline CatalogCard catalogCard(const QString &setId, const QString &localId, const QString &name,
                               const QString &rarity = QString(), int printingMask = -1)
{
    CatalogCard card;
    card.id = setId + QLatin1Char('-') + localId;
    card.setId = setId;
    card.localId = localId;
    card.name = name;
    card.rarity = rarity;
    card.printingMask = printingMask;
    return card;
}

// A catalog card of a set with an official count, as the add-cards views list it.
inline CatalogCard officialCard(const QString &setId, const QString &localId, const QString &name, int official,
                                int printingMask = -1, const QString &image = QString(),
                                Language language = Language::English)
{
    CatalogCard card = catalogCard(setId, localId, name, QString(), printingMask);
    card.official = official;
    card.image = image;
    card.language = language;
    return card;
}

inline CatalogSet catalogSet(const QString &id, const QString &name, const QString &serieId = QString(), int order = 0,
                             int official = 0, int total = 0)
{
    CatalogSet set;
    set.id = id;
    set.name = name;
    set.serieId = serieId;
    set.order = order;
    set.official = official;
    set.total = total;
    return set;
}

// Where the catalog of the language is cached.
inline QString cacheFile(Language language)
{
    return cacheDirectory() + QLatin1Char('/') + languageCode(language) + QStringLiteral(".cbor");
}

// Saves the contents as the language's cached catalog, making the folder.
inline bool saveCatalogCache(const CatalogCache::Contents &contents, Language language = Language::English,
                             QString *error = nullptr)
{
    QDir().mkpath(cacheDirectory());
    return CatalogCache::save(cacheFile(language), language, contents, error);
}

// An earlier build whose rarities and printings were resolved.
inline CatalogSnapshot resolvedSnapshot(const QList<CatalogSet> &sets, const QList<CatalogCard> &cards)
{
    CatalogSnapshot snapshot;
    snapshot.present = true;
    snapshot.raritiesResolved = true;
    snapshot.printingsResolved = true;
    snapshot.sets = sets;
    snapshot.cards = cards;
    return snapshot;
}

inline BinderRule setRule(const QString &setId)
{
    BinderRule rule;
    rule.setId = setId;
    return rule;
}

inline BinderRule dexRule(const QList<int> &numbers)
{
    BinderRule rule;
    rule.dexIds = numbers;
    return rule;
}

// An English binder of every card of one set, named "Set <id>".
inline Binder setBinder(const QString &setId)
{
    Binder binder = newBinder(QStringLiteral("Set %1").arg(setId), Language::English);
    binder.rules = {setRule(setId)};
    return binder;
}

} // namespace pv::test
