// Builds the English catalog from the web stand-in on loopback and reports
// the wall time, the process CPU time and the CPU time spent in the catalog's
// own handlers (the rest is Qt's network and JSON code and the stand-in).

#include "CatalogBenchSupport.h"
#include "core/Log.h"

#include <QGuiApplication>

#include <memory>

using namespace pv;

int main(int argc, char *argv[])
{
    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QGuiApplication app(argc, argv);
    bench::nameApplication();
    test::WebStandIn::shared();

    TcgdexClient client;
    // Handlers connected before and after the catalog's own bracket its work
    // on each reply: direct connections run in the order they were made.
    double catalogCpuMs = 0;
    double started = 0;
    const auto open = [&] { started = bench::threadCpuMs(); };
    const auto close = [&] { catalogCpuMs += bench::threadCpuMs() - started; };
    QObject::connect(&client, &TcgdexClient::setIndexReady, &app, open);
    QObject::connect(&client, &TcgdexClient::seriesIndexReady, &app, open);
    QObject::connect(&client, &TcgdexClient::serieDetailReady, &app, open);
    QObject::connect(&client, &TcgdexClient::cardIndexReady, &app, open);
    CardCatalog catalog(&client);
    QObject::connect(&client, &TcgdexClient::setIndexReady, &app, close);
    QObject::connect(&client, &TcgdexClient::seriesIndexReady, &app, close);
    QObject::connect(&client, &TcgdexClient::serieDetailReady, &app, close);
    QObject::connect(&client, &TcgdexClient::cardIndexReady, &app, close);

    const double cpuBefore = bench::processCpuMs();
    const bench::BuildResult built = bench::buildCatalog(catalog, Language::English);
    const double processCpu = bench::processCpuMs() - cpuBefore;
    if (!built.ok) {
        std::fprintf(stderr, "build failed: %s\n", qPrintable(built.message));
        return 1;
    }
    const LanguageCatalog *english = catalog.catalog(Language::English);
    std::printf("English catalog build from the stand-in: %lld sets, %lld cards\n",
                static_cast<long long>(english->sets.size()), static_cast<long long>(english->cards.size()));
    std::printf("  wall time           %8.1f ms\n", built.wallMs);
    std::printf("  process CPU time    %8.1f ms (client, Qt network and JSON, stand-in, catalog)\n", processCpu);
    std::printf("  catalog's own CPU   %8.1f ms (%.1f%% of the process CPU): indexing, sorting, cache write\n",
                catalogCpuMs, processCpu > 0 ? 100.0 * catalogCpuMs / processCpu : 0.0);
    // The catalog's own account of its indexing and saving times.
    for (const LogEntry &entry : Log::instance().entries()) {
        if (entry.category == QStringLiteral("catalog") && entry.message.contains(QStringLiteral("rebuilt")))
            std::printf("  log: %s\n", qPrintable(entry.message));
    }
    return 0;
}
