// Measures a whole price refresh through the main window: collections of
// five holdings per distinct card (2,500, 5,000 and 10,000 distinct English
// cards, so up to 50,000 holdings) refreshed against the web stand-in, which
// runs on a thread of its own and holds every card answer back 50 ms, as a
// real round trip would be.
//
// Reports, per size, the total time, the longest event-loop stall (a 5 ms
// ticker on the GUI thread measures how late it fires) and the GUI thread's
// CPU time per card. Exits with 1 when a stall exceeds 100 ms or the CPU time
// per card of the largest run is more than twice that of the smallest (the
// cost must grow linearly with the number of cards).
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "core/CardVocabulary.h"
#include "standin/WebStandIn.h"
#include "ui/mainwindow/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

using pv::test::WebStandIn;

namespace {

constexpr int roundTripMs = 50;
constexpr int holdingsPerCard = 5;
constexpr qint64 maxStallMs = 100;
constexpr double maxCostGrowth = 2.0;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1.0e6;
}

// The stand-in on its own thread; every call runs there and waits.
class StandInThread
{
public:
    StandInThread()
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        run([this] {
            m_standIn = new WebStandIn;
            m_started = m_standIn->start();
        });
    }
    ~StandInThread()
    {
        run([this] { delete m_standIn; });
        m_thread.quit();
        m_thread.wait();
    }
    bool started() const { return m_started; }
    QString origin() const { return m_standIn->origin(); }
    void delayCards(int ms)
    {
        run([this, ms] {
            m_standIn->reset();
            m_standIn->addFault(QStringLiteral("^/v2/en/cards/"), WebStandIn::Fault::delay(ms), -1);
        });
    }

private:
    template <typename Function>
    void run(Function function)
    {
        QMetaObject::invokeMethod(&m_anchor, function, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_anchor;
    WebStandIn *m_standIn = nullptr;
    bool m_started = false;
};

QList<pv::CardBrief> englishCardIndex()
{
    pv::TcgdexClient client;
    QList<pv::CardBrief> cards;
    bool done = false;
    QObject::connect(&client, &pv::TcgdexClient::cardIndexReady,
                     [&](int, pv::Language, const QList<pv::CardBrief> &list) {
                         cards = list;
                         done = true;
                     });
    QObject::connect(&client, &pv::TcgdexClient::requestFailed, [&] { done = true; });
    client.fetchCardIndex(pv::Language::English);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cards;
}

struct Result
{
    int cards = 0;
    qint64 totalMs = 0;
    qint64 longestStallMs = 0;
    double cpuPerCardMs = 0.0;
};

Result refresh(const QList<pv::CardBrief> &index, int cards)
{
    pv::MainWindow window;
    pv::Collection *collection = window.collection();
    collection->beginBatch();
    for (int i = 0; i < cards; ++i) {
        const pv::CardBrief &brief = index.at(i);
        for (int copy = 0; copy < holdingsPerCard; ++copy) {
            pv::CardEntry entry;
            entry.cardId = brief.id;
            entry.setId = brief.setId;
            entry.localId = brief.localId;
            entry.name = brief.name;
            entry.condition = pv::allConditions().at(copy % pv::allConditions().size());
            collection->addEntry(entry);
        }
    }
    collection->endBatch();
    QCoreApplication::processEvents();

    // The ticker fires every 5 ms; anything later than that is a stall.
    qint64 longest = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.elapsed() - 5);
        sinceTick.restart();
    });

    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuMs();
    sinceTick.start();
    ticker.start(5);
    window.refreshPrices();
    while (window.isPriceRefreshRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ticker.stop();
    Result result;
    result.cards = cards;
    result.totalMs = wall.elapsed();
    result.longestStallMs = longest;
    result.cpuPerCardMs = (threadCpuMs() - cpu0) / cards;
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("FernwickGuild"));
    QApplication::setApplicationName(QStringLiteral("Tallowmerick"));
    StandInThread standIn;
    if (!standIn.started()) {
        std::fprintf(stderr, "the stand-in did not start\n");
        return 1;
    }
    for (const char *name : {"TALLOWK_TCGDEX_URL", "TALLOWK_ASSETS_URL", "TALLOWK_TCGCSV_URL", "TALLOWK_FX_URL"})
        qputenv(name, standIn.origin().toUtf8());

    const QList<pv::CardBrief> index = englishCardIndex();
    if (index.size() < 10000) {
        std::fprintf(stderr, "the stand-in lists only %lld English cards\n", qlonglong(index.size()));
        return 1;
    }
    standIn.delayCards(roundTripMs);

    QList<Result> results;
    for (const int cards : {2500, 5000, 10000}) {
        const Result result = refresh(index, cards);
        std::printf("%6d cards, %6d holdings: %7.1f s in all, longest stall %4lld ms, "
                    "GUI thread %.3f ms per card\n",
                    result.cards, result.cards * holdingsPerCard, result.totalMs / 1000.0,
                    qlonglong(result.longestStallMs), result.cpuPerCardMs);
        std::fflush(stdout);
        results.append(result);
    }

    bool ok = true;
    for (const Result &result : std::as_const(results)) {
        if (result.longestStallMs > maxStallMs) {
            std::printf("FAIL: a stall of %lld ms with %d cards (target %lld ms)\n",
                        qlonglong(result.longestStallMs), result.cards, maxStallMs);
            ok = false;
        }
    }
    const double growth = results.last().cpuPerCardMs / results.first().cpuPerCardMs;
    std::printf("cost per card grows %.2fx from %d to %d cards (target at most %.1fx)\n", growth,
                results.first().cards, results.last().cards, maxCostGrowth);
    if (growth > maxCostGrowth)
        ok = false;
    return ok ? 0 : 1;
}
