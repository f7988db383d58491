#include "catalog/CardCatalog.h"

#include "catalog/CacheDirectory.h"
#include "catalog/CatalogCache.h"
#include "catalog/CatalogSearch.h"
#include "catalog/TcgdexClient.h"
#include "core/CardNumbers.h"
#include "core/Disposal.h"
#include "core/Errata.h"
#include "core/Log.h"
#include "core/NameTranslator.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

namespace pv {

namespace {

const QString LogCategory = QStringLiteral("catalog");

constexpr qint64 FreshSeconds = 86400;
constexpr int UnknownSetPosition = std::numeric_limits<int>::max();

// Card order inside the catalog: by set, then by printed number.
struct CardOrderKey
{
    int setPosition;
    const CardNumber *number;
    qsizetype position; // where the card stands before sorting
};

bool cardOrderLess(const CardOrderKey &a, const CardOrderKey &b)
{
    if (a.setPosition != b.setPosition)
        return a.setPosition < b.setPosition;
    const CardNumber &x = *a.number;
    const CardNumber &y = *b.number;
    if (x.prefix != y.prefix)
        return x.prefix < y.prefix;
    if (x.number != y.number)
        return x.number < y.number;
    return x.suffix < y.suffix;
}

// Indexing a catalog read from its cache finds the set fields already filled
// from the same strings; leaving them alone spares a write per field.
void assignShared(QString &target, const QString &source)
{
    if (target.constData() != source.constData() || target.size() != source.size())
        target = source;
}

// Reorders a list in place: element i becomes what element order[i] was.
// Each element is moved once, along the cycles of the order, and elements
// already in place are not touched, so a list that is nearly in order costs
// next to nothing and no second list is allocated.
template <typename T>
void permute(QList<T> &list, const std::vector<qsizetype> &order)
{
    T *data = list.data();
    std::vector<bool> placed(order.size());
    for (size_t start = 0; start < order.size(); ++start) {
        if (placed[start] || size_t(order[start]) == start)
            continue;
        T held = std::move(data[start]);
        size_t to = start;
        for (;;) {
            placed[to] = true;
            const size_t from = size_t(order[to]);
            if (from == start) {
                data[to] = std::move(held);
                break;
            }
            data[to] = std::move(data[from]);
            to = from;
        }
    }
}

// Newest set first (names break ties), each set findable by its id and
// carrying the name of its series.
void indexSets(LanguageCatalog &catalog)
{
    std::sort(catalog.sets.begin(), catalog.sets.end(), [](const CatalogSet &a, const CatalogSet &b) {
        if (a.order != b.order)
            return a.order > b.order;
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });

    catalog.setIndex.clear();
    catalog.setIndex.reserve(catalog.sets.size());
    for (qsizetype i = 0; i < catalog.sets.size(); ++i) {
        CatalogSet &set = catalog.sets[i];
        catalog.setIndex.insert(set.id, int(i));
        if (set.serieName.isEmpty() && !set.serieId.isEmpty()) {
            for (const SerieBrief &serie : std::as_const(catalog.series)) {
                if (serie.id == set.serieId) {
                    set.serieName = serie.name;
                    break;
                }
            }
        }
    }
}

// Sets the card database lists again keep the release dates known of them;
// the set list carries none.
void carryReleaseDates(QList<CatalogSet> &sets, const LanguageCatalog &old)
{
    for (CatalogSet &set : sets) {
        const auto position = old.setIndex.constFind(set.id);
        if (position != old.setIndex.cend()) {
            const QDate released = old.sets.at(position.value()).releaseDate;
            if (released.isValid())
                set.releaseDate = released;
        }
    }
}

// The series whose newest set is newest come first; series without a set last.
void sortSeries(LanguageCatalog &catalog)
{
    QHash<QString, int> serieRank;
    for (const CatalogSet &set : std::as_const(catalog.sets)) {
        auto rank = serieRank.find(set.serieId);
        if (rank == serieRank.end())
            serieRank.insert(set.serieId, set.order);
        else if (set.order > rank.value())
            rank.value() = set.order;
    }
    std::sort(catalog.series.begin(), catalog.series.end(), [&serieRank](const SerieBrief &a, const SerieBrief &b) {
        const int rankA = serieRank.value(a.id, -1);
        const int rankB = serieRank.value(b.id, -1);
        if (rankA != rankB)
            return rankA > rankB;
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
}

// Completes every card from its set and makes the search lists anew from
// the cards as they are now: cards the errata no longer supplies, or names no
// longer translated, must not leave entries behind that would shift the
// lists against the cards. Returns each card's set position
// (UnknownSetPosition when the catalog lacks its set).
std::vector<int> fillCardsAndSearchLists(LanguageCatalog &catalog, Language language, bool translate)
{
    const qsizetype count = catalog.cards.size();
    catalog.foldedNames.clear();
    catalog.alternateNames.clear();
    catalog.numbers.clear();
    catalog.foldedNames.reserve(count);
    catalog.alternateNames.reserve(count);
    catalog.numbers.reserve(count);

    std::vector<int> setPositions;
    setPositions.reserve(size_t(count));
    const QString hyphen = QStringLiteral("-");
    // Names repeat from set to set: each distinct name is folded once.
    QHash<QString, QString> foldedByName;
    foldedByName.reserve(count / 4);
    const QString *lastSetId = nullptr;
    int lastSetPosition = UnknownSetPosition;
    for (CatalogCard &card : catalog.cards) {
        card.language = language;
        if (card.id.isEmpty())
            card.id = card.setId + hyphen + card.localId;
        // The cards of a set stand together: the previous card's set is
        // looked up again only when the set changes.
        if (!lastSetId || card.setId != *lastSetId) {
            const auto set = catalog.setIndex.constFind(card.setId);
            lastSetPosition = set != catalog.setIndex.cend() ? set.value() : UnknownSetPosition;
            lastSetId = &card.setId;
        }
        if (lastSetPosition != UnknownSetPosition) {
            const CatalogSet &owner = catalog.sets.at(lastSetPosition);
            assignShared(card.setName, owner.name);
            assignShared(card.serieName, owner.serieName);
            card.official = owner.official;
        }
        setPositions.push_back(lastSetPosition);
        auto folded = foldedByName.constFind(card.name);
        if (folded == foldedByName.cend())
            folded = foldedByName.insert(card.name, searchKey(card.name));
        catalog.foldedNames.append(folded.value());
        catalog.numbers.append(parseCardNumber(card.localId));
        QString alternate;
        if (translate) {
            const QString english = NameTranslator::displayName(language, card.id, card.name);
            if (english != card.name)
                alternate = searchKey(english);
        }
        catalog.alternateNames.append(alternate);
    }
    return setPositions;
}

// Cards by set, then by printed number, the search lists moved alongside.
void putCardsInOrder(LanguageCatalog &catalog, const std::vector<int> &setPositions, bool translate)
{
    const qsizetype count = catalog.cards.size();
    std::vector<CardOrderKey> keys;
    keys.reserve(size_t(count));
    for (qsizetype i = 0; i < count; ++i)
        keys.push_back({setPositions[size_t(i)], &catalog.numbers.at(i), i});
    // A catalog read back from its own cache is in order up to the errata's
    // cards, which come last: only those are sorted and merged in. Cards that
    // compare equal keep the order they stand in.
    const auto sortedEnd = std::is_sorted_until(keys.begin(), keys.end(), cardOrderLess);
    if (sortedEnd == keys.end())
        return;
    std::stable_sort(sortedEnd, keys.end(), cardOrderLess);
    std::inplace_merge(keys.begin(), sortedEnd, keys.end(), cardOrderLess);
    std::vector<qsizetype> order;
    order.reserve(keys.size());
    for (const CardOrderKey &key : keys)
        order.push_back(key.position);
    keys.clear();
    permute(catalog.cards, order);
    permute(catalog.foldedNames, order);
    // Without translation every alternate name is empty: nothing to move.
    if (translate)
        permute(catalog.alternateNames, order);
    permute(catalog.numbers, order);
}

void indexCards(LanguageCatalog &catalog)
{
    const qsizetype count = catalog.cards.size();
    catalog.cardIndex.clear();
    catalog.cardIndex.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        catalog.cardIndex.insert(catalog.cards.at(i).id, int(i));
}

} // namespace

CardCatalog::CardCatalog(TcgdexClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
    if (!m_client)
        return;
    m_rarityMatcher.setMaxThreadCount(1);
    m_cacheWriter.setMaxThreadCount(1);
    connect(m_client, &TcgdexClient::setIndexReady, this, &CardCatalog::onSetIndexReady);
    connect(m_client, &TcgdexClient::seriesIndexReady, this, &CardCatalog::onSeriesIndexReady);
    connect(m_client, &TcgdexClient::serieDetailReady, this, &CardCatalog::onSerieDetailReady);
    connect(m_client, &TcgdexClient::cardIndexReady, this, &CardCatalog::onCardIndexReady);
    connect(m_client, &TcgdexClient::rarityListReady, this, &CardCatalog::onRarityListReady);
    connect(m_client, &TcgdexClient::cardsByRarityReady, this, &CardCatalog::onCardsByRarityReady);
    connect(m_client, &TcgdexClient::cardsByVariantReady, this, &CardCatalog::onCardsByVariantReady);
    connect(m_client, &TcgdexClient::requestFailed, this, &CardCatalog::onRequestFailed);
}

CardCatalog::~CardCatalog()
{
    m_rarityMatcher.clear();
    m_rarityMatcher.waitForDone();
    m_cacheWriter.waitForDone();
    // The passes end with the catalog: their answers would have no one to
    // go to, and would only hold up the client's queue.
    for (const RebuildJob &job : std::as_const(m_rebuildJobs))
        cancelRequests(job);
    for (const RarityJob &job : std::as_const(m_rarityJobs))
        cancelRequests(job);
    for (const PrintingJob &job : std::as_const(m_printingJobs))
        cancelRequests(job);
}

void CardCatalog::cancelRequests(const RebuildJob &job)
{
    if (!m_client)
        return;
    m_client->cancel(job.setIndexRequestId);
    m_client->cancel(job.seriesIndexRequestId);
    m_client->cancel(job.cardIndexRequestId);
    // Answered details are withdrawn too; the client ignores ids it no longer has.
    for (auto it = job.pendingSerieDetails.cbegin(); it != job.pendingSerieDetails.cend(); ++it)
        m_client->cancel(it.key());
}

void CardCatalog::cancelRequests(const RarityJob &job)
{
    if (!m_client)
        return;
    m_client->cancel(job.listRequestId);
    for (auto it = job.pending.cbegin(); it != job.pending.cend(); ++it)
        m_client->cancel(it.key());
}

void CardCatalog::cancelRequests(const PrintingJob &job)
{
    if (!m_client)
        return;
    for (auto it = job.pending.cbegin(); it != job.pending.cend(); ++it)
        m_client->cancel(it.key());
}

// ---------------------------------------------------------------------------
// Loading and freshness

void CardCatalog::ensureLoaded(Language language)
{
    if (!m_loaded.value(language, false)) {
        // The disk is read at most once per language, whatever the outcome.
        m_loaded.insert(language, true);
        QElapsedTimer timer;
        timer.start();
        CatalogCache::LoadResult loaded = CatalogCache::load(cachePath(language));
        if (loaded.ok) {
            LanguageCatalog catalog;
            catalog.series = std::move(loaded.contents.series);
            catalog.sets = std::move(loaded.contents.sets);
            catalog.cards = std::move(loaded.contents.cards);
            catalog.rarities = std::move(loaded.contents.rarities);
            catalog.printingsResolved = loaded.contents.haveVariants;
            catalog.savedAt = loaded.contents.savedAt;
            indexCatalog(catalog, language);
            const qsizetype setCount = catalog.sets.size();
            const qsizetype cardCount = catalog.cards.size();
            m_catalogs.insert_or_assign(language, std::move(catalog));
            m_states.insert(language, CatalogState::Ready);
            Log::info(LogCategory, tr("Loaded the %1 catalog: %2 sets, %3 cards (%4 ms).")
                                       .arg(languageDisplayName(language))
                                       .arg(setCount)
                                       .arg(cardCount)
                                       .arg(timer.elapsed()));
            emit languageLoaded(language, true);
        } else {
            Log::debug(LogCategory, tr("No usable %1 catalog on disk: %2")
                                        .arg(languageDisplayName(language), loaded.error));
        }
    }

    const LanguageCatalog *current = catalog(language);
    const bool fresh = current && current->savedAt.isValid()
        && current->savedAt.secsTo(QDateTime::currentDateTimeUtc()) <= FreshSeconds;
    if (fresh) {
        startRarityPass(language);
        startPrintingPass(language);
    } else {
        refresh(language);
    }
}

QString CardCatalog::cachePath(Language language) const
{
    return cacheDirectory() + QLatin1Char('/') + languageCode(language) + QStringLiteral(".cbor");
}

namespace {

CatalogCache::Contents cachedContents(const LanguageCatalog &catalog)
{
    CatalogCache::Contents contents;
    contents.series = catalog.series;
    contents.sets = catalog.sets;
    contents.cards.reserve(catalog.cards.size());
    for (const CatalogCard &card : catalog.cards) {
        // The errata's own cards are put back by every indexing, never cached.
        if (!card.fromErrata)
            contents.cards.append(card);
    }
    contents.rarities = catalog.rarities;
    contents.haveVariants = catalog.printingsResolved;
    contents.savedAt = catalog.savedAt;
    return contents;
}

} // namespace

void CardCatalog::saveCache(Language language)
{
    const LanguageCatalog *current = catalog(language);
    if (!current)
        return;
    // A write handed to the worker is older than this one.
    m_cacheWriter.waitForDone();
    QString error;
    if (!CatalogCache::save(cachePath(language), language, cachedContents(*current), &error)) {
        m_unsaved.insert(language);
        Log::warn(LogCategory, tr("The %1 catalog could not be cached: %2")
                                   .arg(languageDisplayName(language), error));
        return;
    }
    m_unsaved.remove(language);
}

void CardCatalog::saveCacheApart(Language language, std::function<void()> done)
{
    const LanguageCatalog *current = catalog(language);
    if (!current) {
        done();
        return;
    }
    // What changes from now on is unsaved again; a write that fails is too.
    m_unsaved.remove(language);
    // The catalog's lists are shared with the copy, not copied: encoding
    // twenty thousand cards and writing them is the worker's.
    m_cacheWriter.start([this, language, path = cachePath(language), copy = *current, done = std::move(done)] {
        QString error;
        const bool saved = CatalogCache::save(path, language, cachedContents(copy), &error);
        QMetaObject::invokeMethod(
            this,
            [this, language, saved, error, done] {
                if (!saved) {
                    m_unsaved.insert(language);
                    Log::warn(LogCategory,
                              tr("The %1 catalog could not be cached: %2").arg(languageDisplayName(language), error));
                }
                done();
            },
            Qt::QueuedConnection);
    });
}

// ---------------------------------------------------------------------------
// Indexing

void CardCatalog::indexCatalog(LanguageCatalog &catalog, Language language)
{
    indexSets(catalog);
    sortSeries(catalog);
    applyErrata(catalog, language);
    const bool translate = language == Language::Japanese && NameTranslator::isEnabled();
    const std::vector<int> setPositions = fillCardsAndSearchLists(catalog, language, translate);
    putCardsInOrder(catalog, setPositions, translate);
    indexCards(catalog);
}

void CardCatalog::applyErrata(LanguageCatalog &catalog, Language language)
{
    catalog.cards.removeIf([](const CatalogCard &card) { return card.fromErrata; });

    const auto added = Errata::addedCards(language);
    if (added.isEmpty())
        return;

    QSet<QString> served;
    const QString *lastSetId = nullptr;
    bool lastSetAdded = false;
    for (const CatalogCard &card : std::as_const(catalog.cards)) {
        // Cards of one set stand together: ask again only when the set changes.
        if (!lastSetId || card.setId != *lastSetId) {
            lastSetAdded = added.contains(card.setId);
            lastSetId = &card.setId;
        }
        if (lastSetAdded)
            served.insert(card.id.isEmpty() ? card.setId + QLatin1Char('-') + card.localId : card.id);
    }

    int appended = 0;
    for (auto it = added.cbegin(); it != added.cend(); ++it) {
        const QString &setId = it.key();
        if (!catalog.setIndex.contains(setId)) {
            Log::warn(LogCategory, tr("The errata adds cards to %1, which is not a set of the %2 catalog; "
                                      "they were skipped.")
                                       .arg(setId, languageDisplayName(language)));
            continue;
        }
        for (const auto &addedCard : it.value()) {
            const QString id = setId + QLatin1Char('-') + addedCard.localId;
            if (served.contains(id)) {
                Errata::noteServedAddedCard(language, id);
                continue;
            }
            CatalogCard card;
            card.id = id;
            card.localId = addedCard.localId;
            card.name = addedCard.name;
            card.image = addedCard.image;
            card.setId = setId;
            card.fromErrata = true;
            card.printingMask = -1;
            catalog.cards.append(card);
            ++appended;
        }
    }
    if (appended > 0) {
        Log::info(LogCategory, tr("%n card(s) the errata supplies were added to the %1 catalog.", nullptr, appended)
                                   .arg(languageDisplayName(language)));
    }
}

void CardCatalog::reindex()
{
    QList<Language> languages;
    for (const auto &entry : m_catalogs)
        languages.append(entry.first);
    for (Language language : languages) {
        indexCatalog(m_catalogs[language], language);
        emit languageLoaded(language, true);
    }
}

void CardCatalog::setSetReleaseDate(Language language, const QString &setId, const QDate &date)
{
    LanguageCatalog *current = mutableCatalog(language);
    if (!date.isValid() || !current)
        return;
    const auto position = current->setIndex.constFind(setId);
    if (position == current->setIndex.cend())
        return;
    QDate &stored = current->sets[position.value()].releaseDate;
    if (stored == date)
        return;
    stored = date;
    m_unsaved.insert(language);
}

// ---------------------------------------------------------------------------
// Rebuild

void CardCatalog::refresh(Language language)
{
    if (!m_client || m_rebuildJobs.contains(language))
        return;
    RebuildJob job;
    job.setIndexRequestId = m_client->fetchSetIndex(language);
    job.seriesIndexRequestId = m_client->fetchSerieIndex(language);
    job.cardIndexRequestId = m_client->fetchCardIndex(language);
    m_rebuildJobs.insert(language, job);
    if (state(language) != CatalogState::Ready)
        m_states.insert(language, CatalogState::Building);
    Log::info(LogCategory, tr("Rebuilding the %1 catalog.").arg(languageDisplayName(language)));
    emit refreshStarted(language);
}

void CardCatalog::emitProgress(Language language, const RebuildJob &job)
{
    const int done = (job.setsReceived ? 1 : 0) + (job.seriesReceived ? 1 : 0) + (job.cardsReceived ? 1 : 0)
        + job.serieDetailsDone;
    emit refreshProgress(language, done, job.serieDetailsExpected + 3);
}

void CardCatalog::onSetIndexReady(int requestId, Language language, const QList<SetBrief> &sets)
{
    auto job = m_rebuildJobs.find(language);
    if (job == m_rebuildJobs.end() || job->setIndexRequestId != requestId)
        return;
    job->sets = sets;
    job->setsReceived = true;
    emitProgress(language, *job);
    advanceRebuild(language);
}

void CardCatalog::onSeriesIndexReady(int requestId, Language language, const QList<SerieBrief> &series)
{
    auto job = m_rebuildJobs.find(language);
    if (job == m_rebuildJobs.end() || job->seriesIndexRequestId != requestId)
        return;
    job->series = series;
    job->seriesReceived = true;
    job->serieDetailsExpected = int(series.size());
    // Every fetch emits the client's pending count, whose receivers may start
    // other jobs: the job is looked up again after asking.
    QHash<int, QString> details;
    for (const SerieBrief &serie : series)
        details.insert(m_client->fetchSerie(language, serie.id), serie.id);
    job = m_rebuildJobs.find(language);
    if (job == m_rebuildJobs.end()) {
        for (auto it = details.cbegin(); it != details.cend(); ++it)
            m_client->cancel(it.key());
        return;
    }
    job->pendingSerieDetails.insert(details);
    emitProgress(language, *job);
    advanceRebuild(language);
}

void CardCatalog::onSerieDetailReady(int requestId, Language language, const SerieDetail &detail)
{
    auto job = m_rebuildJobs.find(language);
    if (job == m_rebuildJobs.end())
        return;
    const auto pending = job->pendingSerieDetails.constFind(requestId);
    if (pending == job->pendingSerieDetails.cend())
        return;
    const QString serieId = pending.value();
    for (const SetBrief &set : detail.sets)
        job->setSerie.insert(set.id, serieId);
    ++job->serieDetailsDone;
    emitProgress(language, *job);
    advanceRebuild(language);
}

void CardCatalog::onCardIndexReady(int requestId, Language language, const QList<CardBrief> &cards)
{
    auto job = m_rebuildJobs.find(language);
    if (job == m_rebuildJobs.end() || job->cardIndexRequestId != requestId)
        return;
    job->cards = cards;
    job->cardsReceived = true;
    emitProgress(language, *job);
    // Looks the job up again: receivers of the progress may have changed the jobs.
    advanceRebuild(language);
}

QList<CatalogSet> CardCatalog::catalogSets(const RebuildJob &job) const
{
    QList<CatalogSet> sets;
    sets.reserve(job.sets.size());
    for (const SetBrief &brief : job.sets) {
        CatalogSet set;
        set.id = brief.id;
        set.name = brief.name;
        set.logo = brief.logo;
        set.symbol = brief.symbol;
        set.official = brief.official;
        set.total = brief.total;
        set.order = brief.order;
        set.serieId = job.setSerie.value(brief.id);
        sets.append(set);
    }
    return sets;
}

QString CardCatalog::shrinkProblem(Language language, const RebuildJob &job) const
{
    // A reply of the wrong shape or a broken service can list nothing, or
    // far too little: such a list never replaces the catalog in hand.
    const LanguageCatalog *old = catalog(language);
    const qsizetype oldSets = old ? old->sets.size() : 0;
    if (job.sets.isEmpty())
        return tr("the card database listed no sets");
    if (job.sets.size() * 2 < oldSets)
        return tr("the card database listed only %1 of the %2 sets").arg(job.sets.size()).arg(oldSets);
    if (!job.cardsReceived)
        return QString();
    qsizetype oldCards = 0;
    if (old) {
        for (const CatalogCard &card : old->cards)
            oldCards += card.fromErrata ? 0 : 1;
    }
    if (job.cards.isEmpty())
        return tr("the card database listed no cards");
    if (job.cards.size() * 2 < oldCards)
        return tr("the card database listed only %1 of the %2 cards").arg(job.cards.size()).arg(oldCards);
    return QString();
}

void CardCatalog::advanceRebuild(Language language)
{
    auto job = m_rebuildJobs.find(language);
    if (job == m_rebuildJobs.end() || !job->setsReceived || !job->seriesReceived)
        return;
    const QString shrunk = shrinkProblem(language, *job);
    if (!shrunk.isEmpty()) {
        abortRebuild(language, shrunk);
        return;
    }
    if (job->cardsReceived && job->serieDetailsDone >= job->serieDetailsExpected) {
        finishRebuild(language);
        return;
    }
    if (job->serieDetailsDone < job->serieDetailsExpected || job->provisionalPublished || job->cardsReceived)
        return;

    // Series and sets can be browsed before the card list has arrived.
    job->provisionalPublished = true;
    const auto current = m_catalogs.find(language);
    LanguageCatalog provisional = current == m_catalogs.end() ? LanguageCatalog() : current->second;
    provisional.series = job->series;
    QList<CatalogSet> sets = catalogSets(*job);
    // The final catalog takes its release dates from this one.
    carryReleaseDates(sets, provisional);
    provisional.sets = std::move(sets);
    indexCatalog(provisional, language);
    m_catalogs.insert_or_assign(language, std::move(provisional));
    if (state(language) != CatalogState::Ready)
        m_states.insert(language, CatalogState::Partial);
    emit languageLoaded(language, false);
}

void CardCatalog::finishRebuild(Language language)
{
    const auto found = m_rebuildJobs.find(language);
    if (found == m_rebuildJobs.end())
        return;
    const RebuildJob job = std::move(found.value());
    m_rebuildJobs.erase(found);
    QElapsedTimer timer;
    timer.start();

    LanguageCatalog built;
    built.series = job.series;
    built.savedAt = QDateTime::currentDateTimeUtc();
    built.printingsResolved = false;
    built.sets = catalogSets(job);

    // Rarities and release dates outlive a rebuild until a new pass says otherwise.
    QHash<QString, QString> carriedRarity;
    if (const LanguageCatalog *old = catalog(language)) {
        built.rarities = old->rarities;
        for (const CatalogCard &card : old->cards) {
            if (!card.rarity.isEmpty())
                carriedRarity.insert(card.id, card.rarity);
        }
        carryReleaseDates(built.sets, *old);
    }

    int skipped = 0;
    built.cards.reserve(job.cards.size());
    for (const CardBrief &brief : job.cards) {
        if (brief.setId.isEmpty()) {
            ++skipped;
            continue;
        }
        CatalogCard card;
        card.id = brief.id;
        card.localId = brief.localId;
        card.name = brief.name;
        card.image = brief.image;
        card.setId = brief.setId;
        card.rarity = carriedRarity.value(brief.id);
        card.fromErrata = false;
        card.printingMask = -1;
        built.cards.append(card);
    }
    if (skipped > 0)
        Log::warn(LogCategory, tr("%n card(s) named no set and were skipped.", nullptr, skipped));

    indexCatalog(built, language);

    int orphans = 0;
    for (const CatalogCard &card : std::as_const(built.cards)) {
        if (card.setName.isEmpty() && !built.setIndex.contains(card.setId))
            ++orphans;
    }
    if (orphans > 0)
        Log::warn(LogCategory, tr("%n card(s) belong to a set the index does not list.", nullptr, orphans));

    const qint64 indexMs = timer.elapsed();
    const int serieCount = int(built.series.size());
    const int setCount = int(built.sets.size());
    const int cardCount = int(built.cards.size());
    m_catalogs.insert_or_assign(language, std::move(built));
    m_states.insert(language, CatalogState::Ready);
    saveCache(language);
    Log::info(LogCategory, tr("%1 catalog rebuilt: %2 series, %3 sets, %4 cards (indexed in %5 ms, saved in %6 ms).")
                               .arg(languageDisplayName(language))
                               .arg(serieCount)
                               .arg(setCount)
                               .arg(cardCount)
                               .arg(indexMs)
                               .arg(timer.elapsed() - indexMs));
    emit languageLoaded(language, false);
    emit refreshFinished(language, true, statusText(language));
    startRarityPass(language);
    startPrintingPass(language);
}

void CardCatalog::abortRebuild(Language language, const QString &message)
{
    const auto found = m_rebuildJobs.find(language);
    if (found == m_rebuildJobs.end())
        return;
    const RebuildJob job = std::move(found.value());
    m_rebuildJobs.erase(found);
    cancelRequests(job);
    const LanguageCatalog *current = catalog(language);
    m_states.insert(language, current && !current->sets.isEmpty() ? CatalogState::Ready : CatalogState::Failed);
    Log::warn(LogCategory, tr("The %1 catalog rebuild failed: %2").arg(languageDisplayName(language), message));
    emit refreshFinished(language, false, message);
}

// ---------------------------------------------------------------------------
// Rarity pass

void CardCatalog::startRarityPass(Language language)
{
    const LanguageCatalog *current = catalog(language);
    if (!m_client || m_rarityJobs.contains(language) || m_rebuildJobs.contains(language) || !current
        || current->cards.isEmpty())
        return;
    RarityJob job;
    job.serial = ++m_rarityPasses;
    job.listRequestId = m_client->fetchRarityList(language);
    m_rarityJobs.insert(language, job);
    Log::info(LogCategory, tr("Collecting %1 card rarities.").arg(languageDisplayName(language)));
}

void CardCatalog::onRarityListReady(int requestId, Language language, const QStringList &rarities)
{
    auto job = m_rarityJobs.find(language);
    if (job == m_rarityJobs.end() || job->listRequestId != requestId)
        return;
    if (rarities.isEmpty()) {
        abortRarityPass(language, tr("the service listed no rarities"));
        return;
    }
    job->rarities = rarities;
    job->total = int(rarities.size());
    QHash<int, QString> pending;
    for (const QString &rarity : rarities)
        pending.insert(m_client->fetchCardsByRarity(language, rarity), rarity);
    job = m_rarityJobs.find(language);
    if (job == m_rarityJobs.end()) {
        for (auto it = pending.cbegin(); it != pending.cend(); ++it)
            m_client->cancel(it.key());
        return;
    }
    job->pending.insert(pending);
    Log::debug(LogCategory, tr("%1 rarities to resolve for %2.").arg(rarities.size()).arg(languageDisplayName(language)));
}

void CardCatalog::onCardsByRarityReady(int requestId, Language language, const QString &rarity,
                                       const QList<CardBrief> &cards)
{
    auto job = m_rarityJobs.find(language);
    if (job == m_rarityJobs.end())
        return;
    const auto pending = job->pending.find(requestId);
    if (pending == job->pending.end())
        return;
    job->pending.erase(pending);
    job->answers.append({rarity, cards});
    if (++job->done >= job->total)
        finishRarityPass(language);
}

void CardCatalog::finishRarityPass(Language language)
{
    const auto found = m_rarityJobs.find(language);
    const LanguageCatalog *current = catalog(language);
    if (found == m_rarityJobs.end() || found->matching)
        return;
    if (!current) {
        m_rarityJobs.erase(found);
        return;
    }
    // The tens of thousands of cards the answers list are looked up in the
    // catalog's index apart, on copies that share the catalog's data; the
    // pass goes on until they are matched.
    found->matching = true;
    m_rarityMatcher.start([this, language, serial = found->serial, answers = std::move(found->answers),
                           cards = current->cards, index = current->cardIndex]() mutable {
        std::vector<qsizetype> named(size_t(cards.size()), -1);
        for (qsizetype answer = 0; answer < answers.size(); ++answer) {
            for (const CardBrief &card : std::as_const(answers.at(answer).second)) {
                if (card.id.isEmpty())
                    continue;
                const auto position = index.constFind(card.id);
                if (position != index.cend())
                    named[size_t(position.value())] = answer;
            }
        }
        // The index names the last of cards that share an id.
        if (index.size() != cards.size()) {
            std::vector<qsizetype> shared(named.size(), -1);
            for (qsizetype i = 0; i < cards.size(); ++i) {
                const auto position = index.constFind(cards.at(i).id);
                if (position != index.cend())
                    shared[size_t(i)] = named[size_t(position.value())];
            }
            named.swap(shared);
        }
        index = {};
        QMetaObject::invokeMethod(
            this,
            [this, language, serial, cards = std::move(cards), answers = std::move(answers),
             named = std::move(named)]() mutable { applyRarities(language, serial, cards, answers, named); },
            Qt::QueuedConnection);
    });
}

void CardCatalog::applyRarities(Language language, int serial, QList<CatalogCard> &matched,
                                QList<QPair<QString, QList<CardBrief>>> &answers,
                                const std::vector<qsizetype> &answerOf)
{
    // A pass given up meanwhile takes nothing.
    const auto found = m_rarityJobs.find(language);
    if (found == m_rarityJobs.end() || found->serial != serial)
        return;
    LanguageCatalog *current = mutableCatalog(language);
    if (!current) {
        m_rarityJobs.erase(found);
        return;
    }
    // A catalog built anew meanwhile has its own cards matched.
    if (current->cards.size() != matched.size() || current->cards.constData() != matched.constData()) {
        found->matching = false;
        found->answers = std::move(answers);
        finishRarityPass(language);
        return;
    }
    // Let go first, so that the rarities written leave the catalog's data
    // unshared.
    matched = {};
    const QStringList rarities = found->rarities;
    m_rarityJobs.erase(found);
    int classified = 0;
    bool changed = current->rarities != rarities;
    const QList<CatalogCard> &cards = std::as_const(current->cards);
    for (qsizetype i = 0; i < cards.size(); ++i) {
        const CatalogCard &card = cards.at(i);
        if (card.fromErrata)
            continue;
        const qsizetype answer = answerOf[size_t(i)];
        if (answer >= 0)
            ++classified;
        const QString &name = answer >= 0 ? answers.at(answer).first : QString();
        if (card.rarity == name)
            continue;
        // Written only where it differs: the cards stay shared with any copy.
        current->cards[i].rarity = name;
        changed = true;
    }
    current->rarities = rarities;
    Log::info(LogCategory,
              tr("%1 rarities resolved: %2 of %3 cards classified across %4 rarities.")
                  .arg(languageDisplayName(language))
                  .arg(classified)
                  .arg(current->cards.size())
                  .arg(rarities.size()));
    // The answers hold tens of thousands of small strings: they are let go
    // on a worker thread.
    Disposal::freeElsewhere(std::move(answers));
    // A pass that found every rarity as it was leaves the file as it is;
    // the pass is announced once the file is written.
    if (changed || m_unsaved.contains(language)) {
        saveCacheApart(language, [this, language, changed] { emit raritiesLoaded(language, changed); });
        return;
    }
    emit raritiesLoaded(language, changed);
}

void CardCatalog::abortRarityPass(Language language, const QString &message)
{
    const auto found = m_rarityJobs.find(language);
    if (found == m_rarityJobs.end())
        return;
    const RarityJob job = std::move(found.value());
    m_rarityJobs.erase(found);
    cancelRequests(job);
    Log::warn(LogCategory, tr("The %1 rarity pass did not complete: %2").arg(languageDisplayName(language), message));
}

// ---------------------------------------------------------------------------
// Printing pass

void CardCatalog::startPrintingPass(Language language)
{
    const LanguageCatalog *current = catalog(language);
    if (!m_client || m_printingJobs.contains(language) || m_rebuildJobs.contains(language) || !current
        || current->cards.isEmpty() || current->printingsResolved)
        return;
    PrintingJob job;
    const QStringList keys = standardPrintingKeys();
    job.total = int(keys.size());
    for (const QString &key : keys)
        job.pending.insert(m_client->fetchCardsByVariant(language, key), key);
    m_printingJobs.insert(language, job);
    Log::info(LogCategory, tr("Collecting %1 card printings (%2 queries).")
                               .arg(languageDisplayName(language))
                               .arg(job.total));
}

void CardCatalog::onCardsByVariantReady(int requestId, Language language, const QString &variant,
                                        const QList<CardBrief> &cards)
{
    auto job = m_printingJobs.find(language);
    if (job == m_printingJobs.end())
        return;
    const auto pending = job->pending.find(requestId);
    if (pending == job->pending.end())
        return;
    job->pending.erase(pending);
    const qsizetype bit = standardPrintingKeys().indexOf(variant);
    if (bit >= 0) {
        for (const CardBrief &card : cards) {
            if (!card.id.isEmpty())
                job->cardMask[card.id] |= 1 << bit;
        }
    }
    if (++job->done >= job->total)
        finishPrintingPass(language);
}

void CardCatalog::finishPrintingPass(Language language)
{
    const auto found = m_printingJobs.find(language);
    if (found == m_printingJobs.end())
        return;
    const PrintingJob job = std::move(found.value());
    m_printingJobs.erase(found);
    LanguageCatalog *current = mutableCatalog(language);
    if (!current)
        return;
    int withPrinting = 0;
    for (CatalogCard &card : current->cards) {
        if (card.fromErrata)
            continue;
        card.printingMask = job.cardMask.value(card.id, 0);
        if (card.printingMask != 0)
            ++withPrinting;
    }
    current->printingsResolved = true;
    Log::info(LogCategory, tr("%1 printings resolved: %2 of %3 cards carry one.")
                               .arg(languageDisplayName(language))
                               .arg(withPrinting)
                               .arg(current->cards.size()));
    saveCache(language);
    emit variantsLoaded(language);
}

void CardCatalog::abortPrintingPass(Language language, const QString &message)
{
    const auto found = m_printingJobs.find(language);
    if (found == m_printingJobs.end())
        return;
    const PrintingJob job = std::move(found.value());
    m_printingJobs.erase(found);
    cancelRequests(job);
    Log::warn(LogCategory, tr("The %1 printing pass did not complete: %2").arg(languageDisplayName(language), message));
}

// ---------------------------------------------------------------------------
// Failures

bool CardCatalog::rebuildLanguageForRequest(int requestId, Language *language) const
{
    for (auto it = m_rebuildJobs.cbegin(); it != m_rebuildJobs.cend(); ++it) {
        const RebuildJob &job = it.value();
        if (job.setIndexRequestId == requestId || job.seriesIndexRequestId == requestId
            || job.cardIndexRequestId == requestId || job.pendingSerieDetails.contains(requestId)) {
            *language = it.key();
            return true;
        }
    }
    return false;
}

bool CardCatalog::rarityLanguageForRequest(int requestId, Language *language) const
{
    for (auto it = m_rarityJobs.cbegin(); it != m_rarityJobs.cend(); ++it) {
        if (it->listRequestId == requestId || it->pending.contains(requestId)) {
            *language = it.key();
            return true;
        }
    }
    return false;
}

void CardCatalog::onRequestFailed(int requestId, const QString &context, const QString &message)
{
    const QString text = tr("%1: %2").arg(context, message);
    for (auto it = m_printingJobs.cbegin(); it != m_printingJobs.cend(); ++it) {
        if (it->pending.contains(requestId)) {
            abortPrintingPass(it.key(), text);
            return;
        }
    }
    Language language = Language::English;
    if (rarityLanguageForRequest(requestId, &language)) {
        abortRarityPass(language, text);
        return;
    }
    if (rebuildLanguageForRequest(requestId, &language))
        abortRebuild(language, text);
}

// ---------------------------------------------------------------------------
// State and queries

LanguageCatalog *CardCatalog::mutableCatalog(Language language)
{
    const auto found = m_catalogs.find(language);
    return found == m_catalogs.end() ? nullptr : &found->second;
}

const LanguageCatalog *CardCatalog::catalog(Language language) const
{
    const auto found = m_catalogs.find(language);
    return found == m_catalogs.cend() ? nullptr : &found->second;
}

CatalogState CardCatalog::state(Language language) const
{
    return m_states.value(language, CatalogState::None);
}

bool CardCatalog::isRefreshing(Language language) const
{
    return m_rebuildJobs.contains(language);
}

bool CardCatalog::isResolvingRarities(Language language) const
{
    return m_rarityJobs.contains(language);
}

bool CardCatalog::hasRarities(Language language) const
{
    const LanguageCatalog *current = catalog(language);
    return current && !current->rarities.isEmpty();
}

QStringList CardCatalog::rarities(Language language) const
{
    const LanguageCatalog *current = catalog(language);
    return current ? current->rarities : QStringList();
}

QString CardCatalog::statusText(Language language) const
{
    const QString name = languageDisplayName(language);
    if (m_rebuildJobs.contains(language))
        return tr("Updating the %1 catalog...").arg(name);
    const LanguageCatalog *current = catalog(language);
    if (!current || current->sets.isEmpty())
        return tr("No %1 catalog yet.").arg(name);

    QString age;
    if (!current->savedAt.isValid()) {
        age = tr("never updated");
    } else {
        const qint64 minutes = current->savedAt.secsTo(QDateTime::currentDateTimeUtc()) / 60;
        if (minutes < 2)
            age = tr("updated just now");
        else if (minutes < 60)
            age = tr("updated %n minute(s) ago", nullptr, int(minutes));
        else if (minutes < 1440)
            age = tr("updated %n hour(s) ago", nullptr, int(minutes / 60));
        else
            age = tr("updated %n day(s) ago", nullptr, int(qMin<qint64>(minutes / 1440, std::numeric_limits<int>::max())));
    }
    const QLocale locale;
    return tr("%1 sets, %2 cards - %3")
        .arg(locale.toString(current->sets.size()), locale.toString(current->cards.size()), age);
}

QHash<QString, bool> CardCatalog::printingsOf(const CatalogCard &card)
{
    QHash<QString, bool> variants;
    if (card.printingMask < 0)
        return variants;
    const QStringList keys = standardPrintingKeys();
    for (qsizetype bit = 0; bit < keys.size(); ++bit)
        variants.insert(keys.at(bit), (card.printingMask & (1 << bit)) != 0);
    return variants;
}

QStringList CardCatalog::availablePrintings(Language language, const QString &cardId) const
{
    const CatalogCard *card = cardById(language, cardId);
    if (!card || card->printingMask < 0)
        return QStringList();
    const QHash<QString, bool> variants = printingsOf(*card);
    const QStringList finishes = Errata::printingsFor(language, card->setId, card->id, &variants).finishes;
    bool anyFinish = false;
    for (const QString &finish : allFinishes())
        anyFinish = anyFinish || variants.value(finish, false);
    // The errata's "normal" fallback for a card listed in no finish says nothing.
    if (!anyFinish && finishes == QStringList{QStringLiteral("normal")})
        return QStringList();
    return finishes;
}

CatalogSearchResult CardCatalog::search(Language language, const CatalogQuery &query, int limit) const
{
    const LanguageCatalog *current = catalog(language);
    return current ? searchCatalog(*current, query, limit) : CatalogSearchResult();
}

const CatalogCard *CardCatalog::cardById(Language language, const QString &cardId) const
{
    const LanguageCatalog *current = catalog(language);
    if (!current || cardId.isEmpty())
        return nullptr;
    const auto position = current->cardIndex.constFind(cardId);
    return position == current->cardIndex.cend() ? nullptr : &current->cards.at(position.value());
}

QList<CatalogCard> CardCatalog::cardsInSet(Language language, const QString &setId) const
{
    QList<CatalogCard> cards;
    const LanguageCatalog *current = catalog(language);
    if (!current || setId.isEmpty())
        return cards;
    for (const CatalogCard &card : current->cards) {
        if (card.setId == setId)
            cards.append(card);
    }
    return cards;
}

const CatalogSet *CardCatalog::setById(Language language, const QString &setId) const
{
    const LanguageCatalog *current = catalog(language);
    if (!current)
        return nullptr;
    const auto position = current->setIndex.constFind(setId);
    return position == current->setIndex.cend() ? nullptr : &current->sets.at(position.value());
}

QList<CatalogSet> CardCatalog::setsOfSeries(Language language, const QString &serieId) const
{
    const LanguageCatalog *current = catalog(language);
    if (!current)
        return QList<CatalogSet>();
    if (serieId.isEmpty())
        return current->sets;
    QList<CatalogSet> sets;
    for (const CatalogSet &set : current->sets) {
        if (set.serieId == serieId)
            sets.append(set);
    }
    return sets;
}

QList<SerieBrief> CardCatalog::series(Language language) const
{
    const LanguageCatalog *current = catalog(language);
    return current ? current->series : QList<SerieBrief>();
}

SetRecord CardCatalog::setSummary(Language language, const QString &setId) const
{
    const CatalogSet *set = setById(language, setId);
    if (!set)
        return SetRecord();
    SetRecord record;
    record.id = set->id;
    record.name = set->name;
    record.serie = set->serieName;
    record.language = language;
    record.releaseDate = set->releaseDate;
    record.order = set->order;
    record.logo = set->logo;
    record.symbol = set->symbol;
    record.officialCardCount = set->official;
    record.totalCardCount = set->total;
    return record;
}

} // namespace pv
