#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/CatalogCache.h"
#include "core/Errata.h"
#include "core/Log.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include <QElapsedTimer>
#include <QEventLoop>

namespace pv::selftest {

namespace {

constexpr int SearchLimit = 2000;
constexpr int BuildTimeoutMs = 120000;

bool holdsId(const QList<CatalogCard> &cards, const QString &id)
{
    for (const CatalogCard &card : cards) {
        if (card.id == id)
            return true;
    }
    return false;
}

bool holdsEveryNumber(const QList<CatalogCard> &cards, const QList<Errata::AddedCard> &added)
{
    for (const Errata::AddedCard &record : added) {
        bool found = false;
        for (const CatalogCard &card : cards)
            found = found || card.localId == record.localId;
        if (!found)
            return false;
    }
    return true;
}

// Position of the last card with that number, -1 when there is none.
qsizetype lastPositionOf(const QList<CatalogCard> &cards, const QString &localId)
{
    qsizetype position = -1;
    for (qsizetype i = 0; i < cards.size(); ++i) {
        if (cards.at(i).localId == localId)
            position = i;
    }
    return position;
}

} // namespace

void testCardCatalog(TcgdexClient &client)
{
    const Language english = Language::English;

    CardCatalog built(&client, nullptr);
    QEventLoop loop;
    bool buildOk = false;
    QString buildMessage;
    const auto connection = QObject::connect(&built, &CardCatalog::refreshFinished, &loop,
                                             [&](Language, bool ok, const QString &message) {
                                                 buildOk = ok;
                                                 buildMessage = message;
                                                 loop.quit();
                                             });
    built.refresh(english);
    waitForClient(client, loop, BuildTimeoutMs);
    QObject::disconnect(connection);
    check(buildOk, QStringLiteral("the English catalog builds: %1").arg(buildMessage));
    if (!buildOk)
        return;

    const QList<SerieBrief> series = built.series(english);
    check(series.size() >= 20, QStringLiteral("%1 series").arg(series.size()));
    const QList<CatalogSet> sets = built.setsOfSeries(english, QString());
    check(sets.size() >= 200, QStringLiteral("%1 sets").arg(sets.size()));
    int unnamed = 0;
    for (const CatalogSet &set : sets)
        unnamed += set.serieName.isEmpty() ? 1 : 0;
    check(unnamed == 0, QStringLiteral("every set names its series (%1 without)").arg(unnamed));

    CatalogQuery query;
    query.number = QStringLiteral("005");
    query.printedTotal = 165;
    CatalogSearchResult result = built.search(english, query, SearchLimit);
    out() << "  005/165 matched " << result.total << " card(s)" << '\n';
    check(holdsId(result.cards, QStringLiteral("sv03.5-005")), QStringLiteral("005/165 finds Charmeleon in 151"));
    check(holdsId(result.cards, QStringLiteral("ecard1-5")),
          QStringLiteral("005/165 also finds Butterfree in Expedition, printed \"5\" unpadded"));

    query.number = QStringLiteral("166");
    result = built.search(english, query, SearchLimit);
    check(holdsId(result.cards, QStringLiteral("sv03.5-166")),
          QStringLiteral("166/165 finds the secret rare above the printed count"));

    query = CatalogQuery();
    query.text = QStringLiteral("charmele");
    result = built.search(english, query, SearchLimit);
    check(result.total >= 40, QStringLiteral("a name search for \"charmele\" returns %1 card(s)").arg(result.total));

    const SetRecord summary = built.setSummary(english, QStringLiteral("sv03.5"));
    const QString shownName = summary.serie.isEmpty() ? summary.name : summary.serie + QStringLiteral(" - ") + summary.name;
    check(!summary.serie.isEmpty() && summary.officialCardCount == 165,
          QStringLiteral("sv03.5 resolves to \"%1\" with 165 official cards").arg(shownName));

    QElapsedTimer cacheTimer;
    cacheTimer.start();
    const CatalogCache::LoadResult cached = CatalogCache::load(cacheDirectory() + QStringLiteral("/en.cbor"));
    const qint64 cacheMs = cacheTimer.elapsed();
    check(cached.ok && cached.contents.cards.size() > 20000,
          QStringLiteral("the cache file parses back to %1 card(s) in %2 ms")
              .arg(cached.contents.cards.size())
              .arg(cacheMs));

    CardCatalog reloaded(&client, nullptr);
    QElapsedTimer reloadTimer;
    reloadTimer.start();
    reloaded.ensureLoaded(english);
    const qint64 reloadMs = reloadTimer.elapsed();
    check(reloaded.setsOfSeries(english, QString()).size() == sets.size(),
          QStringLiteral("the cached catalog reloads with the same %1 sets, in %2 ms").arg(sets.size()).arg(reloadMs));

    query = CatalogQuery();
    query.number = QStringLiteral("005");
    query.printedTotal = 165;
    check(reloaded.search(english, query, SearchLimit).total == 2,
          QStringLiteral("the reloaded catalog answers 005/165 identically"));

    const QList<Errata::AddedCard> added = Errata::addedCards(english).value(QStringLiteral("smp"));
    if (added.isEmpty()) {
        out() << "  (the errata adds no cards to smp; skipping the injection checks)" << '\n';
        return;
    }
    const QList<CatalogCard> promos = built.cardsInSet(english, QStringLiteral("smp"));
    check(holdsEveryNumber(promos, added),
          QStringLiteral("the built catalog holds all %1 card(s) the errata adds to SM Black Star Promos").arg(added.size()));
    check(holdsEveryNumber(reloaded.cardsInSet(english, QStringLiteral("smp")), added),
          QStringLiteral("and so does one reloaded from the cache"));

    const qsizetype original = lastPositionOf(promos, QStringLiteral("SM103"));
    const qsizetype reprint = lastPositionOf(promos, QStringLiteral("SM103a"));
    check(original >= 0 && reprint == original + 1, QStringLiteral("SM103a is listed directly after the SM103 it reprints"));

    bool cacheHoldsReprint = false;
    for (const CatalogCard &card : cached.contents.cards)
        cacheHoldsReprint = cacheHoldsReprint || card.localId == QStringLiteral("SM103a");
    check(!cacheHoldsReprint, QStringLiteral("but the cache file itself carries none of them"));

    const int logStart = Log::instance().count();
    built.reindex();
    const qsizetype reindexed = built.cardsInSet(english, QStringLiteral("smp")).size();
    check(reindexed == promos.size(),
          QStringLiteral("a reindex leaves the set the size it was (%1 cards, was %2)").arg(reindexed).arg(promos.size()));
    const QList<LogEntry> entries = Log::instance().entries();
    bool reportedServed = false;
    for (qsizetype i = logStart; i < entries.size(); ++i) {
        const LogEntry &entry = entries.at(i);
        reportedServed = reportedServed
            || (entry.category == QStringLiteral("errata") && entry.message.contains(QStringLiteral("now serves")));
    }
    check(!reportedServed,
          QStringLiteral("and does not report the errata's own cards as ones TCGdex has caught up with"));
}

} // namespace pv::selftest
