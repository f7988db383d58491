#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "collection/AddBinderCommand.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EditBinderCommand.h"
#include "collection/RemoveBinderCommand.h"
#include "collection/ValueHistory.h"
#include "core/CardVocabulary.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtGlobal>

namespace pv::selftest {

namespace {

bool isBlank(const BinderRule &rule)
{
    return rule.setId.isEmpty() && rule.serieId.isEmpty() && rule.name.isEmpty() && rule.rarities.isEmpty()
        && rule.dexIds.isEmpty();
}

bool hasBreakdown(const HistoryPoint &point)
{
    return !point.sets.isEmpty();
}

BinderRule starRule()
{
    BinderRule rule;
    rule.serieId = QStringLiteral("sv");
    rule.rarities = {QStringLiteral("Rare Holo")};
    rule.dexIds = {133, 196, 197};
    rule.name = QString(QChar(0x2606));
    return rule;
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(text) == text.size();
}

// Step 1: the built-in templates.
void templateChecks()
{
    const QList<Binder> templates = builtinBinderTemplates();
    check(templates.size() >= 5, QStringLiteral("there are predefined binder templates"));

    bool described = true;
    QSet<QString> ids;
    for (const Binder &binder : templates) {
        ids.insert(binder.id);
        described = described && !binder.name.isEmpty() && !binder.id.isEmpty()
            && (!binder.rules.isEmpty() || binder.topValue > 0);
        for (const BinderRule &rule : binder.rules)
            described = described && !isBlank(rule);
    }
    check(described, QStringLiteral("every template is named and says what belongs in it"));
    check(ids.size() == templates.size(), QStringLiteral("every template gets its own id"));

    bool ranked = false;
    for (const Binder &binder : templates) {
        if (binder.topValue <= 0)
            continue;
        ranked = true;
        check(binder.rules.isEmpty(), QStringLiteral("a value-ranked template carries no catalog rules"));
        const int pockets = binder.columns * binder.rows;
        check(pockets > 0 && binder.topValue % pockets == 0,
              QStringLiteral("its card count fills whole pages at its own grid"));
    }
    check(ranked, QStringLiteral("a value-ranked template is offered"));

    const Binder *gold = nullptr;
    for (const Binder &binder : templates) {
        if (binder.name.contains(QLatin1String("Gold"), Qt::CaseInsensitive))
            gold = &binder;
    }
    bool stars = gold != nullptr;
    if (gold) {
        for (const BinderRule &rule : gold->rules)
            stars = stars && !rule.name.isEmpty() && rule.rarities.isEmpty();
    }
    check(stars, QStringLiteral("Gold Stars matches on the star in the name"));
}

// Step 2: what a binder shows of its pockets.
void pocketChecks()
{
    const auto pocket = [](const char *id, const char *rarity, int owned) {
        BinderCard card;
        card.id = QString::fromLatin1(id);
        card.rarity = QString::fromLatin1(rarity);
        card.owned = owned;
        return card;
    };
    const QList<BinderCard> pockets = {pocket("a-1", "Common", 2), pocket("a-2", "Common", 0),
                                       pocket("a-3", "Rare Holo", 1), pocket("a-4", "", 0)};
    Binder view = newBinder(QStringLiteral("View"), Language::English);
    check(entriesForBinder(view, pockets).size() == 4, QStringLiteral("an unfiltered binder shows every pocket"));
    view.showMissing = false;
    check(entriesForBinder(view, pockets).size() == 2,
          QStringLiteral("hiding missing cards leaves only the owned ones"));
    view.showMissing = true;
    view.hiddenRarities = {QStringLiteral("Common")};
    const QList<BinderCard> shown = entriesForBinder(view, pockets);
    check(shown.size() == 2, QStringLiteral("unchecking a rarity hides its pockets"));
    bool keptBare = false;
    for (const BinderCard &card : shown)
        keptBare = keptBare || card.id == QLatin1String("a-4");
    check(keptBare, QStringLiteral("a card with no rarity is never filtered out"));
    view.showMissing = false;
    check(entriesForBinder(view, pockets).size() == 1, QStringLiteral("the two filters combine"));
}

// Step 4: binders through the collection file.
void binderFileChecks(const QTemporaryDir &dir)
{
    Binder eevee = newBinder(QStringLiteral("Eeveelutions"), Language::Japanese);
    eevee.rules = {starRule()};
    eevee.added = {QStringLiteral("sv03-001")};
    eevee.removed = {QStringLiteral("sv03-002")};
    eevee.order = {QStringLiteral("sv03-003"), QStringLiteral("sv03-001")};
    eevee.hiddenRarities = {QStringLiteral("Common")};
    eevee.columns = 4;
    eevee.rows = 3;
    eevee.showMissing = false;
    eevee.topValue = 360;

    Collection withBinder;
    withBinder.upsertBinder(eevee);
    const QString bindersPath = dir.filePath(QStringLiteral("binders.tmk"));
    check(CollectionSerializer::write(bindersPath, withBinder), QStringLiteral("a collection with a binder saves"));
    const CollectionSerializer::ReadResult read = CollectionSerializer::read(bindersPath);
    const bool one = read.ok && read.binders.size() == 1;
    check(one, QStringLiteral("the binder comes back out of the file"));
    if (one) {
        const Binder &b = read.binders.first();
        check(b.id == eevee.id && b.name == eevee.name && b.lang == eevee.lang,
              QStringLiteral("a binder keeps its id, name and language"));
        check(b.columns == 4 && b.rows == 3 && !b.showMissing,
              QStringLiteral("a binder keeps its grid and its show-missing setting"));
        check(b.added == eevee.added && b.removed == eevee.removed && b.order == eevee.order
                  && b.hiddenRarities == eevee.hiddenRarities,
              QStringLiteral("a binder keeps its overrides, order and hidden rarities"));
        const BinderRule star = starRule();
        check(b.rules.size() == 1 && b.rules.first().dexIds == star.dexIds && b.rules.first().rarities == star.rarities
                  && b.rules.first().serieId == star.serieId && b.rules.first().name == star.name,
              QStringLiteral("a rule keeps every field, the star glyph included"));
        check(b.topValue == 360, QStringLiteral("a binder keeps its value-ranked cap"));
    }

    Binder plain = newBinder(QStringLiteral("Plain"), Language::English);
    plain.rules = {starRule()};
    Collection withPlain;
    withPlain.upsertBinder(plain);
    const QString plainPath = dir.filePath(QStringLiteral("plain.tmk"));
    if (CollectionSerializer::write(plainPath, withPlain)) {
        QString text;
        QFile file(plainPath);
        if (file.open(QIODevice::ReadOnly)) {
            text = QString::fromUtf8(file.readAll());
            file.close();
        }
        check(!text.contains(QLatin1String("topValue")), QStringLiteral("an ordinary binder writes no value-ranked key"));
        const CollectionSerializer::ReadResult back = CollectionSerializer::read(plainPath);
        check(back.ok && back.binders.size() == 1 && back.binders.first().topValue == 0,
              QStringLiteral("a binder without the key loads as a rules-only binder"));
    }

    const QString legacyPath = dir.filePath(QStringLiteral("legacy.msl"));
    writeText(legacyPath, "{\n \"format\": \"mossel\",\n \"version\": 1,\n \"sets\": {},\n \"entries\": [],\n"
                          " \"history\": []\n}\n");
    const CollectionSerializer::ReadResult legacy = CollectionSerializer::read(legacyPath);
    check(legacy.ok && legacy.binders.isEmpty(), QStringLiteral("a version 1 document still opens, with no binders"));
}

// Step 5: one history point per week.
void weeklyHistoryChecks(const QTemporaryDir &dir)
{
    Collection c;
    c.recordHistoryPoint(QDate(2026, 9, 8), 100.0, 10, {});
    c.recordHistoryPoint(QDate(2026, 9, 10), 150.0, 12, {});
    c.recordHistoryPoint(QDate(2026, 9, 14), 200.0, 14, {});
    const QList<HistoryPoint> &history = c.history();
    check(history.size() == 2, QStringLiteral("two refreshes in one week make one history point"));
    if (history.size() == 2) {
        check(history.at(0).date == QDate(2026, 9, 7) && qFuzzyCompare(history.at(0).totalEur, 150.0)
                  && history.at(0).cards == 12,
              QStringLiteral("the week's point sits on its Monday and holds the latest total"));
        check(history.at(1).date == QDate(2026, 9, 14), QStringLiteral("the next Monday starts a new history point"));
    }
    const QString path = dir.filePath(QStringLiteral("history.tmk"));
    check(CollectionSerializer::write(path, c), QStringLiteral("a collection with a weekly history saves"));
    const CollectionSerializer::ReadResult read = CollectionSerializer::read(path);
    check(read.ok && read.history.size() == 2 && read.history.at(0).date == QDate(2026, 9, 7)
              && read.history.at(1).date == QDate(2026, 9, 14),
          QStringLiteral("week starts survive a round trip through the file"));

    const QString monthlyPath = dir.filePath(QStringLiteral("monthly.msl"));
    writeText(monthlyPath, "{\"format\": \"mossel\", \"version\": 2, \"sets\": {}, \"entries\": [],"
                           " \"history\": [{\"month\": \"2026-08\", \"totalEur\": 90.0, \"cards\": 9}]}\n");
    const CollectionSerializer::ReadResult monthly = CollectionSerializer::read(monthlyPath);
    check(monthly.ok && monthly.history.size() == 1 && monthly.history.first().date == QDate(2026, 8, 1),
          QStringLiteral("a month-keyed history point still loads, dated the 1st"));
}

CardEntry holding(const char *cardId, const char *setId, const char *number, const char *name, Language language,
                  int count, double unitValue, double customPrice)
{
    CardEntry entry;
    entry.cardId = QString::fromLatin1(cardId);
    entry.setId = QString::fromLatin1(setId);
    entry.localId = QString::fromLatin1(number);
    entry.name = QString::fromLatin1(name);
    entry.lang = language;
    entry.count = count;
    entry.unitValueEur = unitValue;
    entry.customPriceEur = customPrice;
    return entry;
}

void fillCollectionD(Collection &d)
{
    SetRecord en;
    en.id = QStringLiteral("sv03");
    en.name = QStringLiteral("Obsidian Flames");
    en.language = Language::English;
    en.order = 3;
    d.mergeSetInfo(en);
    SetRecord ja;
    ja.id = QStringLiteral("SV3");
    ja.name = QStringLiteral("Ruler of the Black Flame");
    ja.language = Language::Japanese;
    ja.order = 3;
    d.mergeSetInfo(ja);
    d.addEntry(holding("sv03-125", "sv03", "125", "Charizard ex", Language::English, 2, 30.0, 0.0));
    d.addEntry(holding("sv03-007", "sv03", "007", "Pidgey", Language::English, 1, 0.0, 5.0));
    d.addEntry(holding("SV3-097", "SV3", "097", "Charizard ex (ja)", Language::Japanese, 1, 40.0, 0.0));
    d.addEntry(holding("sv03-008", "sv03", "008", "Pidgeotto", Language::English, 1, 0.0, 0.0));
}

// Step 6: value per set.
void setTotalChecks(const Collection &d, const QHash<QString, HistorySetValue> &totals)
{
    const HistorySetValue en = totals.value(QStringLiteral("en:sv03"));
    const HistorySetValue ja = totals.value(QStringLiteral("ja:SV3"));
    check(totals.size() == 2 && totals.contains(QStringLiteral("en:sv03")) && qFuzzyCompare(en.eur, 65.0)
              && en.cards == 4 && totals.contains(QStringLiteral("ja:SV3")) && qFuzzyCompare(ja.eur, 40.0),
          QStringLiteral("set totals count duplicates and custom prices, per language"));
    check(qFuzzyCompare(en.eur + ja.eur, d.totalValueEur()), QStringLiteral("the set totals add up to the collection total"));
}

// Step 7: the per-set breakdown of the weekly history.
void perSetHistoryChecks(Collection &d, const QHash<QString, HistorySetValue> &totals, const QTemporaryDir &dir)
{
    d.recordHistoryPoint(QDate(2026, 8, 31), 80.0, 5, {});
    d.recordHistoryPoint(QDate(2026, 9, 7), 100.0, 5, totals);
    d.recordHistoryPoint(QDate(2026, 9, 14), d.totalValueEur(), d.totalCardCount(), totals);
    check(d.history().size() == 3 && !hasBreakdown(d.history().at(0)) && hasBreakdown(d.history().at(1)),
          QStringLiteral("a point records its breakdown, and an older one has none"));
    QHash<QString, HistorySetValue> englishOnly;
    englishOnly.insert(QStringLiteral("en:sv03"), totals.value(QStringLiteral("en:sv03")));
    d.recordHistoryPoint(QDate(2026, 9, 16), 65.0, 4, englishOnly);
    check(d.history().size() == 3 && d.history().at(2).sets.size() == 1,
          QStringLiteral("re-recording a week replaces its breakdown wholesale"));
    d.recordHistoryPoint(QDate(2026, 9, 14), d.totalValueEur(), d.totalCardCount(), totals);

    const QString path = dir.filePath(QStringLiteral("persets.tmk"));
    check(CollectionSerializer::write(path, d), QStringLiteral("a collection with per-set history saves"));
    const CollectionSerializer::ReadResult read = CollectionSerializer::read(path);
    bool slices = read.ok && read.history.size() == 3 && !hasBreakdown(read.history.at(0));
    if (slices) {
        const QHash<QString, HistorySetValue> &sets = read.history.at(2).sets;
        const HistorySetValue en = sets.value(QStringLiteral("en:sv03"));
        slices = sets.size() == 2 && sets.contains(QStringLiteral("en:sv03")) && qFuzzyCompare(en.eur, 65.0)
            && en.cards == 4;
    }
    check(slices, QStringLiteral("per-set slices survive a round trip, and a total-only point stays one"));

    const QString v3Path = dir.filePath(QStringLiteral("v3.tmk"));
    writeText(v3Path, "{\"format\": \"tallowk\", \"version\": 3, \"sets\": {}, \"entries\": [],"
                      " \"history\": [{\"date\": \"2026-09-07\", \"totalEur\": 90.0, \"cards\": 9}]}\n");
    const CollectionSerializer::ReadResult v3 = CollectionSerializer::read(v3Path);
    check(v3.ok && v3.history.size() == 1 && !hasBreakdown(v3.history.first()),
          QStringLiteral("a version 3 history point still opens, with no breakdown"));
}

// Step 8: the value chart's three scopes.
void chartChecks(const Collection &d)
{
    ChartScope whole;
    whole.mode = ChartScope::Collection;
    const ValueHistory::ChartData all = ValueHistory::build(d.history(), d.sets(), whole);
    check(all.points.size() == 3 && all.firstBreakdownIndex == 1,
          QStringLiteral("the collection chart keeps every point and finds the first broken-down one"));
    check(all.series.size() == 2, QStringLiteral("the collection chart draws one curve per expansion"));
    if (all.series.size() == 2) {
        check(all.series.first().key == QLatin1String("en:sv03")
                  && all.series.first().label.startsWith(QLatin1String("EN / ")),
              QStringLiteral("curves sort by value, and are named by language where two languages are charted together"));
        double stacked = 0.0;
        for (const ValueHistory::Series &series : all.series)
            stacked += series.values.size() >= 3 ? series.values.at(2) : 0.0;
        check(all.points.size() >= 3 && qFuzzyCompare(stacked, all.points.at(2).totalEur),
              QStringLiteral("the topmost curve of the stack is the total"));
        const QList<double> &first = all.series.first().values;
        check((first.isEmpty() ? 0.0 : first.first()) == 0.0,
              QStringLiteral("a point with no breakdown contributes nothing to any curve"));
    }

    ChartScope japanese;
    japanese.mode = ChartScope::Language;
    japanese.language = int(Language::Japanese);
    const ValueHistory::ChartData ja = ValueHistory::build(d.history(), d.sets(), japanese);
    check(ja.points.size() == 2, QStringLiteral("a language chart drops the points that say nothing about it"));
    check(ja.series.size() == 1 && ja.series.first().key == QLatin1String("ja:SV3")
              && !ja.series.first().label.contains(QLatin1String(" / ")),
          QStringLiteral("a language chart draws only its own sets, unprefixed"));
    check(!ja.points.isEmpty() && qFuzzyCompare(ja.points.last().totalEur, 40.0),
          QStringLiteral("a language total is re-summed from its own sets alone"));

    ChartScope oneSet;
    oneSet.mode = ChartScope::Set;
    oneSet.language = int(Language::English);
    oneSet.setKey = QStringLiteral("en:sv03");
    const ValueHistory::ChartData set = ValueHistory::build(d.history(), d.sets(), oneSet);
    check(set.points.size() == 2 && set.series.isEmpty(),
          QStringLiteral("a set chart is a plain line over the weeks that know the set"));
    check(!set.points.isEmpty() && qFuzzyCompare(set.points.last().totalEur, 65.0) && set.points.last().cards == 4,
          QStringLiteral("a set chart plots that set's own total and count"));
    check(set.title.contains(QLatin1String("Obsidian Flames")),
          QStringLiteral("a set chart captions itself with the expansion"));
}

// Step 9: the binder undo commands.
void binderCommandChecks()
{
    Collection e;
    QUndoStack stack;
    Binder first = newBinder(QStringLiteral("First"), Language::English);
    first.rules = {starRule()};
    Binder second = newBinder(QStringLiteral("Second"), Language::English);
    second.rules = {starRule()};

    stack.push(new AddBinderCommand(&e, first));
    stack.push(new AddBinderCommand(&e, second));
    check(e.binders().size() == 2, QStringLiteral("two binders were added"));
    stack.push(new RemoveBinderCommand(&e, first.id));
    check(e.binders().size() == 1 && !e.binder(first.id), QStringLiteral("removing a binder takes it out"));
    stack.undo();
    check(e.binders().size() == 2 && e.binders().first().id == first.id,
          QStringLiteral("undo puts a binder back at its old position"));

    Binder renamed = first;
    renamed.name = QStringLiteral("Renamed");
    renamed.columns = 2;
    renamed.rows = 2;
    stack.push(new EditBinderCommand(&e, first, renamed));
    const Binder *now = e.binder(first.id);
    check(now && now->name == QLatin1String("Renamed"), QStringLiteral("editing a binder applies"));
    stack.undo();
    now = e.binder(first.id);
    check(now && now->columns == first.columns, QStringLiteral("undoing an edit restores the previous definition"));
    stack.redo();
    now = e.binder(first.id);
    check(now && now->columns == 2, QStringLiteral("redoing an edit applies it again"));

    int emissions = 0;
    QObject::connect(&e, &Collection::changed, &e, [&emissions] { countEmission(emissions); }, Qt::DirectConnection);
    stack.push(new AddBinderCommand(&e, newBinder(QStringLiteral("Third"), Language::English)));
    check(emissions == 1, QStringLiteral("adding a binder emits changed() once"));
}

int percentOf(qsizetype part, qsizetype whole)
{
    return int(qint64(part) * 100 / qint64(whole));
}

// Step 10: the catalog cache, and the quality of this machine's English one.
void catalogCacheChecks(const QTemporaryDir &dir)
{
    CatalogCache::Contents fixture;
    CatalogSet set;
    set.id = QStringLiteral("sv03");
    set.name = QStringLiteral("Obsidian Flames");
    set.official = 197;
    set.total = 197;
    fixture.sets = {set};
    CatalogCard sprigatito;
    sprigatito.id = QStringLiteral("sv03-001");
    sprigatito.localId = QStringLiteral("001");
    sprigatito.name = QStringLiteral("Sprigatito");
    sprigatito.setId = QStringLiteral("sv03");
    sprigatito.rarity = QStringLiteral("Common");
    sprigatito.printingMask = 5;
    CatalogCard floragato = sprigatito;
    floragato.id = QStringLiteral("sv03-002");
    floragato.localId = QStringLiteral("002");
    floragato.name = QStringLiteral("Floragato");
    floragato.rarity.clear();
    floragato.printingMask = 0;
    fixture.cards = {sprigatito, floragato};
    fixture.rarities = {QStringLiteral("Common"), QStringLiteral("Rare Holo")};
    fixture.haveVariants = true;
    fixture.savedAt = QDateTime::currentDateTimeUtc();

    const QString path = dir.filePath(QStringLiteral("catalog.cbor"));
    check(CatalogCache::save(path, Language::English, fixture), QStringLiteral("a catalog carrying rarities saves"));
    const CatalogCache::LoadResult loaded = CatalogCache::load(path);
    const bool two = loaded.ok && loaded.contents.cards.size() == 2;
    check(two, QStringLiteral("the catalog cache reads back"));
    if (two) {
        const QList<CatalogCard> &cards = loaded.contents.cards;
        check(loaded.contents.rarities == fixture.rarities, QStringLiteral("the rarity list survives the round trip"));
        check(cards.at(0).rarity == QLatin1String("Common"), QStringLiteral("a card keeps its rarity"));
        check(cards.at(1).rarity.isEmpty(), QStringLiteral("a card with no rarity stays without one"));
        check(loaded.contents.haveVariants, QStringLiteral("the cache remembers that the variants phase ran"));
        check(cards.at(0).printingMask == 5, QStringLiteral("a card keeps the printings it was made in"));
        const QHash<QString, bool> flags = CardCatalog::printingsOf(cards.at(0));
        check(flags.value(QStringLiteral("normal")) && flags.value(QStringLiteral("reverse"))
                  && !flags.value(QStringLiteral("holo")),
              QStringLiteral("and the mask decodes back to those finishes"));
        check(cards.at(1).printingMask == 0, QStringLiteral("a card the phase found nothing for stays at 0, not unknown"));
    }

    const CatalogCache::LoadResult cached = CatalogCache::load(cacheDirectory() + QStringLiteral("/en.cbor"));
    const QList<CatalogCard> &cards = cached.contents.cards;
    const bool haveCards = cached.ok && !cards.isEmpty();
    if (!haveCards) {
        out() << "  (no cached English catalog on this machine; skipping the rarity coverage check)\n";
    } else if (cached.contents.rarities.isEmpty()) {
        out() << "  (the cached catalog predates the rarity pass; skipping)\n";
    } else {
        qsizetype withRarity = 0;
        for (const CatalogCard &card : cards)
            withRarity += card.rarity.isEmpty() ? 0 : 1;
        const int percent = percentOf(withRarity, cards.size());
        check(percent > 90, QStringLiteral("the cached catalog has a rarity on %1% of its %2 cards")
                                .arg(percent)
                                .arg(cards.size()));
    }
    out().flush();

    if (!haveCards || !cached.contents.haveVariants) {
        out() << "  (no cached English catalog with printings on this machine; skipping)\n";
        out().flush();
        return;
    }
    qsizetype withPrintings = 0;
    const CatalogCard *charizard = nullptr;
    for (const CatalogCard &card : cards) {
        withPrintings += card.printingMask > 0 ? 1 : 0;
        if (card.id == QLatin1String("base1-4"))
            charizard = &card;
    }
    const int percent = percentOf(withPrintings, cards.size());
    check(percent > 90, QStringLiteral("the cached catalog knows the printings of %1% of its %2 cards")
                            .arg(percent)
                            .arg(cards.size()));
    if (!charizard) {
        out() << "  (base1-4 is not in this cache; skipping the printing check)\n";
        out().flush();
        return;
    }
    const QHash<QString, bool> flags = CardCatalog::printingsOf(*charizard);
    check(flags.value(QStringLiteral("holo")), QStringLiteral("the cached Base Set Charizard is a holo"));
    check(!flags.value(QStringLiteral("reverse")), QStringLiteral("and is not a reverse holo, which is the bug this fixes"));
    check(flags.value(QStringLiteral("firstEdition")),
          QStringLiteral("while its 1st Edition run is recorded on the other axis"));
    const Printings offered = basePrintings(Language::English, QStringLiteral("base1"), &flags);
    check(!offered.finishes.contains(QStringLiteral("reverse")),
          QStringLiteral("so the combos built from the cache offer no reverse holo"));
}

} // namespace

void testBinders()
{
    templateChecks();
    pocketChecks();

    QTemporaryDir dir;
    if (!dir.isValid()) {
        check(false, QStringLiteral("a scratch directory could be created"));
        return;
    }
    binderFileChecks(dir);
    weeklyHistoryChecks(dir);

    Collection d;
    fillCollectionD(d);
    const QHash<QString, HistorySetValue> totals = d.valueBySet();
    setTotalChecks(d, totals);
    perSetHistoryChecks(d, totals, dir);
    chartChecks(d);
    binderCommandChecks();
    catalogCacheChecks(dir);
}

} // namespace pv::selftest
