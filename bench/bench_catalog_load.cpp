// Loads the English catalog from its cache file and compares the time with
// QCborValue::fromCbor alone on the same bytes, both as the first load of a
// freshly started process (what a user waits for at start-up) and as warm
// repeats in one process. The cache is first built from the web stand-in in
// a private home. Exits with 1 when the catalog takes more than twice as
// long as fromCbor, first or warm.
//
// Where the build allows it, every heap allocation is counted, so the figures
// also show how many allocations a card costs.

#include "CatalogBenchSupport.h"
#include "catalog/CatalogCache.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QGuiApplication>
#include <QProcess>

#include <atomic>
#include <cstdlib>
#include <memory>

using namespace pv;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TALLOWK_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TALLOWK_COUNT_ALLOCATIONS 0
#endif
#endif
#if !defined(TALLOWK_COUNT_ALLOCATIONS) && defined(__GLIBC__)
#define TALLOWK_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<unsigned long long> allocationCount{0};
}

#if TALLOWK_COUNT_ALLOCATIONS
// glibc's own allocator under the names every library calls: counted, then
// passed on unchanged.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);

void *malloc(size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
}
#endif

namespace {

constexpr int FreshRounds = 15;
constexpr int WarmRuns = 25;
constexpr double MostTimesFromCbor = 2.0;

// What one measurement does: parse with QCborValue, read the cache file into
// records, or load the catalog (read and indexed).
enum class Step { FromCbor, Read, Ready };

const char *stepArgument(Step step)
{
    switch (step) {
    case Step::FromCbor: return "fromcbor";
    case Step::Read: return "read";
    default: return "ready";
    }
}

struct Measured
{
    double ms = 0;
    unsigned long long allocations = 0;
    qsizetype cards = 0;
    bool ok = false;
};

Measured measure(Step step, const QString &path, const QByteArray &bytes)
{
    Measured result;
    QElapsedTimer timer;
    const unsigned long long before = allocationCount.load();
    timer.start();
    switch (step) {
    case Step::FromCbor: {
        const QCborValue value = QCborValue::fromCbor(bytes);
        result.ms = double(timer.nsecsElapsed()) / 1.0e6;
        result.allocations = allocationCount.load() - before;
        result.ok = value.isMap();
        result.cards = value.toMap().value(QLatin1String("cards")).toArray().size() / 6;
        break;
    }
    case Step::Read: {
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        result.ms = double(timer.nsecsElapsed()) / 1.0e6;
        result.allocations = allocationCount.load() - before;
        result.ok = read.ok;
        result.cards = read.contents.cards.size();
        break;
    }
    case Step::Ready: {
        CardCatalog catalog(nullptr);
        catalog.ensureLoaded(Language::English);
        result.ms = double(timer.nsecsElapsed()) / 1.0e6;
        result.allocations = allocationCount.load() - before;
        const LanguageCatalog *loaded = catalog.catalog(Language::English);
        result.ok = loaded != nullptr;
        result.cards = loaded ? loaded->cards.size() : 0;
        break;
    }
    }
    return result;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// In a fresh process started by the benchmark: one measurement, printed as
// "milliseconds allocations cards".
int measureOnce(Step step)
{
    const QString path = bench::cacheFile(Language::English);
    const QByteArray bytes = readFile(path);
    const Measured measured = measure(step, path, bytes);
    if (!measured.ok)
        return 1;
    std::printf("%.4f %llu %lld\n", measured.ms, measured.allocations, static_cast<long long>(measured.cards));
    return 0;
}

bool measureFresh(Step step, Measured &out)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--first"), QString::fromLatin1(stepArgument(step))});
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return false;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 3)
        return false;
    out.ms = fields.at(0).toDouble();
    out.allocations = fields.at(1).toULongLong();
    out.cards = fields.at(2).toLongLong();
    out.ok = true;
    return true;
}

struct Series
{
    std::vector<double> ms;
    unsigned long long allocations = 0;
    qsizetype cards = 0;

    void add(const Measured &measured)
    {
        ms.push_back(measured.ms);
        allocations = measured.allocations;
        cards = measured.cards;
    }
    double median() const { return bench::median(ms); }
};

void printLine(const char *label, const Series &series, const Series &reference)
{
    const double ms = series.median();
    std::printf("  %-34s %7.2f ms  %5.2f x fromCbor", label, ms, ms / reference.median());
    if (TALLOWK_COUNT_ALLOCATIONS && series.cards > 0)
        std::printf("  %9llu allocations, %.2f per card", series.allocations,
                    double(series.allocations) / double(series.cards));
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--first") == 0) {
        QCoreApplication app(argc, argv);
        bench::nameApplication();
        const QByteArray step = argv[2];
        return measureOnce(step == "fromcbor" ? Step::FromCbor : step == "read" ? Step::Read : Step::Ready);
    }

    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QGuiApplication app(argc, argv);
    bench::nameApplication();
    if (!bench::prepareCaches({Language::English}))
        return 1;

    const QString path = bench::cacheFile(Language::English);
    const QByteArray bytes = readFile(path);
    if (bytes.isEmpty())
        return 1;

    // Fresh processes first, the three kinds taking turns so that a change
    // in the machine's load falls on all of them alike.
    constexpr Step Steps[] = {Step::FromCbor, Step::Read, Step::Ready};
    Series fresh[3];
    for (int round = 0; round < FreshRounds; ++round) {
        for (int i = 0; i < 3; ++i) {
            Measured measured;
            if (!measureFresh(Steps[i], measured)) {
                std::fprintf(stderr, "the %s measurement in a fresh process failed\n", stepArgument(Steps[i]));
                return 1;
            }
            fresh[i].add(measured);
        }
    }

    Series warm[3];
    for (int run = 0; run < WarmRuns; ++run) {
        for (int i = 0; i < 3; ++i) {
            const Measured measured = measure(Steps[i], path, bytes);
            if (!measured.ok)
                return 1;
            warm[i].add(measured);
        }
    }

    std::printf("English catalog cache: %.1f KiB, %lld cards\n", double(bytes.size()) / 1024.0,
                static_cast<long long>(warm[2].cards));
    std::printf("First load in a fresh process, medians of %d processes each:\n", FreshRounds);
    printLine("QCborValue::fromCbor alone", fresh[0], fresh[0]);
    printLine("cache file read into records", fresh[1], fresh[0]);
    printLine("catalog ready (read and indexed)", fresh[2], fresh[0]);
    std::printf("Warm, medians of %d runs in one process:\n", WarmRuns);
    printLine("QCborValue::fromCbor alone", warm[0], warm[0]);
    printLine("cache file read into records", warm[1], warm[0]);
    printLine("catalog ready (read and indexed)", warm[2], warm[0]);

    const double firstRatio = fresh[2].median() / fresh[0].median();
    const double warmRatio = warm[2].median() / warm[0].median();
    std::printf("Target: catalog ready at most %.1f x fromCbor, first (%.2f x) and warm (%.2f x): %s\n",
                MostTimesFromCbor, firstRatio, warmRatio,
                firstRatio <= MostTimesFromCbor && warmRatio <= MostTimesFromCbor ? "met" : "MISSED");
    return firstRatio <= MostTimesFromCbor && warmRatio <= MostTimesFromCbor ? 0 : 1;
}
