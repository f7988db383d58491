// Resident memory of a reply that never ends: the web stand-in, on a thread
// of its own, answers with a chunked body without end, as fast as the client
// takes it, and each web client must cut it off with its peak resident memory
// within twice the reply's size limit. Cases: the card database's card list
// (64 MiB) and a card picture (32 MiB), and TCGCSV's products of a group
// (32 MiB). Exits with 1 when a case misses.
#include "StandInBenchSupport.h"
#include "catalog/TcgdexClient.h"
#include "core/ServiceUrls.h"
#include "prices/TcgcsvClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

using pv::bench::loadAverage;
using pv::bench::runUntil;
using pv::bench::nameApplication;
using pv::bench::StandInThread;
using pv::bench::statusKiB;
using pv::bench::usePrivateHome;

namespace {

// Starts the peak resident memory afresh from the current one.
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::unique_ptr<QTemporaryDir> home(usePrivateHome());
    QGuiApplication app(argc, argv);
    nameApplication();

    std::printf("load average at the start: %s\n", loadAverage().constData());

    StandInThread standIn;
    if (!standIn.started()) {
        std::fprintf(stderr, "the stand-in did not start\n");
        return 1;
    }
    for (const char *name : {"TALLOWK_TCGDEX_URL", "TALLOWK_ASSETS_URL", "TALLOWK_TCGCSV_URL"})
        qputenv(name, standIn.origin().toUtf8());
    standIn.addFault(QStringLiteral("^/v2/en/cards$"), pv::test::WebStandIn::Fault::endless());
    standIn.addFault(QStringLiteral("/high\\.png$"), pv::test::WebStandIn::Fault::endless());
    standIn.addFault(QStringLiteral("/products$"), pv::test::WebStandIn::Fault::endless());

    pv::TcgdexClient tcgdex;
    pv::TcgcsvClient tcgcsv;
    int failures = 0;
    QString lastMessage;
    QObject::connect(&tcgdex, &pv::TcgdexClient::requestFailed, &tcgdex, [&](int, const QString &, const QString &m) {
        ++failures;
        lastMessage = m;
    });
    QObject::connect(&tcgdex, &pv::TcgdexClient::imageFailed, &tcgdex, [&](int, const QString &, const QString &m) {
        ++failures;
        lastMessage = m;
    });
    QObject::connect(&tcgcsv, &pv::TcgcsvClient::requestFailed, &tcgcsv, [&](int, const QString &, const QString &m) {
        ++failures;
        lastMessage = m;
    });

    struct Case
    {
        const char *name;
        qint64 limit;
        std::function<void()> start;
    };
    const Case cases[] = {
        {"card database card list", pv::TcgdexClient::maxReplyBytes(pv::TcgdexClient::CardIndex),
         [&] { tcgdex.fetchCardIndex(pv::Language::English); }},
        {"card database picture", pv::TcgdexClient::maxReplyBytes(pv::TcgdexClient::Image),
         [&] { tcgdex.fetchCardImage(pv::ServiceUrls::defaultAssetsBase() + QStringLiteral("/en/sv/sv03/1"), 1); }},
        {"TCGCSV group products", pv::TcgcsvClient::maxReplyBytes(pv::TcgcsvClient::Products),
         [&] { tcgcsv.requestGroupData(3, 604); }},
    };
    bool ok = true;
    for (const Case &c : cases) {
        failures = 0;
        lastMessage.clear();
        if (!resetPeak()) {
            std::fprintf(stderr, "the peak resident memory cannot be reset\n");
            return 1;
        }
        const long before = statusKiB("VmRSS:");
        QElapsedTimer wall;
        wall.start();
        c.start();
        const bool ended = runUntil([&] { return failures > 0; }, 120000);
        const double peakMiB = double(statusKiB("VmHWM:") - before) / 1024.0;
        const double limitMiB = double(c.limit) / (1024.0 * 1024.0);
        const bool met = ended && peakMiB < 2.0 * limitMiB;
        std::printf("%-24s limit %4.0f MiB: peak resident memory %+7.1f MiB (target under %.0f MiB) in %5lld ms, "
                    "\"%s\" %s\n",
                    c.name, limitMiB, peakMiB, 2.0 * limitMiB, static_cast<long long>(wall.elapsed()),
                    qPrintable(lastMessage), met ? "ok" : "MISSED");
        ok = ok && met;
    }
    return ok ? 0 : 1;
}
