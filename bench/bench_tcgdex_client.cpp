// Measures the card database client: every English set detail (218 requests)
// fetched through pv::TcgdexClient from the web stand-in, which runs on a
// thread of its own so that its work can be told apart from the client's.
//
// Two passes: answers sent at once (the client's own capacity, requests per
// second), and answers held back 50 ms each, as a real round trip would be,
// where the client's CPU time must stay far below the elapsed time: under a
// quarter of it in all, and under a twentieth on the GUI thread, which only
// hands the requests over and emits the answers (the network, the disk cache
// and the parsing run on the client's own thread). Reports requests per
// second and the client's CPU time per request: on the GUI thread and in all
// (with the client's thread and Qt's network thread). Exits with 1 when a target is missed.
#include "catalog/TcgdexClient.h"
#include "StandInBenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

using pv::bench::runUntil;
using pv::bench::nameApplication;
using pv::bench::StandInThread;
using pv::bench::threadCpuMs;
using pv::bench::usePrivateHome;

namespace {

constexpr int expectedSets = 218;
constexpr int roundTripMs = 50;
constexpr double maxClientShare = 0.25;
constexpr double maxGuiShare = 0.05;

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval &tv) { return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

int main(int argc, char *argv[])
{
    // A home of its own: the client's disk and image caches go there.
    const std::unique_ptr<QTemporaryDir> home(usePrivateHome());
    QGuiApplication app(argc, argv);
    nameApplication();

    StandInThread standIn;
    if (!standIn.started()) {
        std::fprintf(stderr, "the stand-in did not start\n");
        return 1;
    }
    // Before the first client: the addresses are read once.
    qputenv("TALLOWK_TCGDEX_URL", standIn.origin().toUtf8());
    qputenv("TALLOWK_ASSETS_URL", standIn.origin().toUtf8());

    pv::TcgdexClient client;
    QList<pv::SetBrief> sets;
    int failures = 0;
    int answered = 0;
    QObject::connect(&client, &pv::TcgdexClient::setIndexReady, &client,
                     [&](int, pv::Language, const QList<pv::SetBrief> &received) { sets = received; });
    QObject::connect(&client, &pv::TcgdexClient::setDetailReady, &client,
                     [&](int, pv::Language, const pv::SetDetail &) { ++answered; });
    QObject::connect(&client, &pv::TcgdexClient::requestFailed, &client,
                     [&](int, const QString &context, const QString &message) {
                         ++failures;
                         std::fprintf(stderr, "%s: %s\n", qPrintable(context), qPrintable(message));
                     });

    client.fetchSetIndex(pv::Language::English);
    if (!runUntil([&] { return !sets.isEmpty() || failures > 0; }, 30000) || sets.size() != expectedSets) {
        std::fprintf(stderr, "expected %d English sets, got %lld\n", expectedSets, static_cast<long long>(sets.size()));
        return 1;
    }

    struct Pass
    {
        const char *name;
        int delayMs;
        int rounds;
    };
    const Pass passes[] = {{"answered at once", 0, 4}, {"50 ms round trip", roundTripMs, 2}};
    bool ok = true;
    std::printf("%d English set details per round through the client, at most six in flight\n", expectedSets);
    for (const Pass &pass : passes) {
        standIn.delayAnswers(QStringLiteral("^/v2/en/sets/"), pass.delayMs);
        for (int round = 1; round <= pass.rounds; ++round) {
            answered = 0;
            failures = 0;
            const double gui0 = threadCpuMs();
            const double process0 = processCpuMs();
            const double server0 = standIn.cpuMs();
            QElapsedTimer wall;
            wall.start();
            for (const pv::SetBrief &set : std::as_const(sets))
                client.fetchSet(pv::Language::English, set.id);
            const bool done = runUntil([&] { return client.pendingCount() == 0; }, 120000);
            const double elapsedMs = wall.nsecsElapsed() / 1.0e6;
            const double guiMs = threadCpuMs() - gui0;
            const double clientMs = (processCpuMs() - process0) - (standIn.cpuMs() - server0);
            const int n = int(sets.size());
            const double guiShare = guiMs / elapsedMs;
            std::printf("%-16s round %d: %5.0f requests/s, %7.1f ms elapsed; client CPU per request "
                        "%.3f ms on the GUI thread (%4.1f%% of the elapsed time), %.3f ms in all (%4.1f%%)\n",
                        pass.name, round, n / (elapsedMs / 1000.0), elapsedMs, guiMs / n, guiShare * 100.0,
                        clientMs / n, clientMs / elapsedMs * 100.0);
            if (!done || answered != n || failures != 0) {
                std::fprintf(stderr, "%d of %d answered, %d failed\n", answered, n, failures);
                ok = false;
            }
            if (pass.delayMs > 0 && (guiShare >= maxGuiShare || clientMs / elapsedMs >= maxClientShare))
                ok = false;
        }
    }
    std::printf("client CPU under a %d ms round trip: target below %.0f%% of the elapsed time in all and %.0f%% on "
                "the GUI thread %s\n",
                roundTripMs, maxClientShare * 100.0, maxGuiShare * 100.0, ok ? "ok" : "MISSED");
    return ok ? 0 : 1;
}
