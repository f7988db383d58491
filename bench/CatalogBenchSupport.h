#pragma once

// Shared helpers of the catalog benchmarks: a private home so the benchmarks
// never touch the user's caches, a catalog build against the in-process web
// stand-in, medians and CPU clocks.

#include "catalog/CacheDirectory.h"
#include "catalog/CardCatalog.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardVocabulary.h"
#include "core/Errata.h"
#include "standin/WebStandIn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace pv::bench {

// Points HOME and the XDG folders at a temporary folder; call before the
// application object exists. Keep the returned folder alive.
inline QTemporaryDir *usePrivateHome()
{
    auto *home = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tallowk-bench-XXXXXX"));
    const QByteArray root = home->path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return home;
}

// Names the application and, as the program does at start-up, reads the
// errata file before any catalog is built.
inline void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QCoreApplication::setApplicationName(QStringLiteral("Tallowmerick"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));
    Errata::ensureLoaded();
}

inline QString cacheFile(Language language)
{
    return cacheDirectory() + QLatin1Char('/') + languageCode(language) + QStringLiteral(".cbor");
}

inline double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1.0e6;
}

inline double processCpuMs() { return cpuMs(CLOCK_PROCESS_CPUTIME_ID); }
inline double threadCpuMs() { return cpuMs(CLOCK_THREAD_CPUTIME_ID); }

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

struct BuildResult
{
    bool ok = false;
    QString message;
    double wallMs = 0;
};

// Rebuilds the language's catalog through the client and waits for the end.
inline BuildResult buildCatalog(CardCatalog &catalog, Language language, int timeoutMs = 300000)
{
    BuildResult result;
    QEventLoop loop;
    QObject::connect(&catalog, &CardCatalog::refreshFinished, &loop,
                     [&](Language, bool ok, const QString &message) {
                         result.ok = ok;
                         result.message = message;
                         loop.quit();
                     });
    QTimer::singleShot(timeoutMs, &loop, [&] {
        result.message = QStringLiteral("timed out");
        loop.quit();
    });
    QElapsedTimer wall;
    wall.start();
    catalog.refresh(language);
    loop.exec();
    result.wallMs = double(wall.nsecsElapsed()) / 1.0e6;
    return result;
}

// Builds and caches the catalogs of the given languages from the stand-in,
// unless their cache files exist already. Returns false when a build failed.
inline bool prepareCaches(const QList<Language> &languages)
{
    test::WebStandIn::shared();
    TcgdexClient client;
    for (Language language : languages) {
        if (QFile::exists(cacheFile(language)))
            continue;
        CardCatalog catalog(&client);
        // The cache is written again when both background passes are done,
        // so the file carries rarities and printings like a user's does.
        int passesDone = 0;
        QEventLoop passes;
        const auto passDone = [&](Language) {
            if (++passesDone == 2)
                passes.quit();
        };
        QObject::connect(&catalog, &CardCatalog::raritiesLoaded, &passes, passDone);
        QObject::connect(&catalog, &CardCatalog::variantsLoaded, &passes, passDone);
        const BuildResult built = buildCatalog(catalog, language);
        if (!built.ok) {
            std::fprintf(stderr, "building the %s catalog failed: %s\n", qPrintable(languageCode(language)),
                         qPrintable(built.message));
            return false;
        }
        QTimer::singleShot(300000, &passes, &QEventLoop::quit);
        passes.exec();
        if (passesDone < 2)
            std::fprintf(stderr, "the %s passes did not finish; the cache lacks rarities or printings\n",
                         qPrintable(languageCode(language)));
    }
    return true;
}

// How the holdings of fillFromCatalog() follow each other.
enum class HoldingOrder {
    // Card by card through the catalogs, each set's holdings together.
    BySet,
    // Shuffled, as a collection filled over years keeps its holdings in the
    // order they were added; a random two thirds as many cards as holdings
    // (all of them where the catalogs hold fewer), so that a third of the
    // holdings are further printings or conditions of a card held already.
    Random,
};

// Fills the collection with holdings spread over every card of the loaded
// catalogs, several printings and conditions of a card where the catalogs run
// out, with a price on most; the document starts clean.
inline void fillFromCatalog(Collection &collection, const CardCatalog &catalog, int holdings,
                            HoldingOrder order = HoldingOrder::BySet)
{
    QList<CardEntry> entries;
    entries.reserve(holdings);
    QHash<QString, SetRecord> sets;
    QList<const CatalogCard *> cards;
    for (Language language : allLanguages())
        if (const LanguageCatalog *loaded = catalog.catalog(language))
            for (const CatalogCard &card : loaded->cards)
                cards.append(&card);
    const QStringList finishes{QStringLiteral("normal"), QStringLiteral("holo"), QStringLiteral("reverse")};
    QRandomGenerator random(7);
    if (order == HoldingOrder::Random) {
        std::shuffle(cards.begin(), cards.end(), random);
        cards.resize(std::clamp<qsizetype>(qsizetype(holdings) * 2 / 3, 1, cards.size()));
    }
    for (int i = 0; i < holdings; ++i) {
        const CatalogCard &card = *cards.at(i % cards.size());
        const int round = i / int(cards.size());
        CardEntry entry = CardEntry::ofCatalogCard(card);
        entry.variant = finishes.at(round % finishes.size());
        entry.condition = Condition(round / finishes.size() % 7);
        entry.count = 1 + int(random.bounded(3));
        if (random.bounded(10) < 8)
            entry.unitValueEur = double(random.bounded(20000)) / 100.0;
        entries.append(entry);
        const QString key = setKey(card.language, card.setId);
        if (!sets.contains(key))
            sets.insert(key, catalog.setSummary(card.language, card.setId));
    }
    if (order == HoldingOrder::Random)
        std::shuffle(entries.begin(), entries.end(), random);
    collection.replaceContents(entries, sets, {}, {}, std::nullopt);
}

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in KiB (-1 when unread).
inline long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Runs the event loop until done() holds or timeoutMs pass; sleeps between
// events, with a ticker bounding each wait.
template <typename Predicate>
bool runUntil(Predicate done, int timeoutMs)
{
    QTimer ticker;
    ticker.start(100);
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// The machine's load average, for benchmarks to print beside their figures.
inline QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("unknown");
    return file.readAll().split(' ').mid(0, 3).join(' ');
}

} // namespace pv::bench
