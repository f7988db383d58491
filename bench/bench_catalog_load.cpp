// Loads the English catalog from its cache file and compares the time with
// QCborValue::fromCbor alone on the same bytes. The cache is first built
// from the web stand-in in a private home.

#include "CatalogBenchSupport.h"
#include "catalog/CatalogCache.h"

#include <QCborValue>
#include <QGuiApplication>

#include <memory>

using namespace pv;

int main(int argc, char *argv[])
{
    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));
    bench::nameApplication();
    if (!bench::prepareCaches({Language::English}))
        return 1;

    const QString path = bench::cacheFile(Language::English);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();
    file.close();

    constexpr int Runs = 25;
    std::vector<double> parseMs, readMs, loadMs;
    qsizetype cards = 0;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QCborValue value = QCborValue::fromCbor(bytes);
        parseMs.push_back(double(timer.nsecsElapsed()) / 1.0e6);
        if (!value.isMap())
            return 1;

        timer.restart();
        const CatalogCache::LoadResult read = CatalogCache::load(path);
        readMs.push_back(double(timer.nsecsElapsed()) / 1.0e6);
        if (!read.ok)
            return 1;

        CardCatalog catalog(nullptr);
        timer.restart();
        catalog.ensureLoaded(Language::English);
        loadMs.push_back(double(timer.nsecsElapsed()) / 1.0e6);
        cards = catalog.catalog(Language::English)->cards.size();
    }

    const double parse = bench::median(parseMs);
    const double read = bench::median(readMs);
    const double load = bench::median(loadMs);
    std::printf("English catalog cache: %.1f KiB, %lld cards, medians of %d runs\n", double(bytes.size()) / 1024.0,
                static_cast<long long>(cards), Runs);
    std::printf("  QCborValue::fromCbor alone        %7.2f ms\n", parse);
    std::printf("  cache file read into records      %7.2f ms  (%.2f x fromCbor)\n", read, read / parse);
    std::printf("  catalog ready (read and indexed)  %7.2f ms  (%.2f x fromCbor; target under 50 ms, at most 2 x)\n",
                load, load / parse);
    return 0;
}
