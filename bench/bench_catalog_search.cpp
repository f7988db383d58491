// Runs the searches of a user typing into the catalog search, keystroke by
// keystroke, over the English catalog and reports the median time of each.

#include "CatalogBenchSupport.h"
#include "catalog/CatalogSearch.h"

#include <QGuiApplication>

#include <memory>

using namespace pv;

namespace {

constexpr int Runs = 101;
constexpr int Limit = 2000;

double medianSearchMs(const CardCatalog &catalog, const QString &name, const QString &typedNumber, int *total)
{
    std::vector<double> times;
    times.reserve(Runs);
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        // What the search bar does per keystroke: split the number field,
        // then search.
        CatalogQuery query;
        query.text = name;
        splitPrintedNumber(typedNumber, &query.number, &query.printedTotal);
        const CatalogSearchResult result = catalog.search(Language::English, query, Limit);
        times.push_back(double(timer.nsecsElapsed()) / 1.0e6);
        *total = result.total;
    }
    return bench::median(times);
}

double typeInto(const CardCatalog &catalog, const QString &label, const QString &text, bool numberField)
{
    std::printf("%s\n", qPrintable(label));
    double worst = 0;
    for (qsizetype length = 1; length <= text.size(); ++length) {
        const QString typed = text.left(length);
        int total = 0;
        const double ms = numberField ? medianSearchMs(catalog, QString(), typed, &total)
                                      : medianSearchMs(catalog, typed, QString(), &total);
        worst = std::max(worst, ms);
        std::printf("  %-12s %6d hits  %7.3f ms\n", qPrintable(typed), total, ms);
    }
    return worst;
}

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QGuiApplication app(argc, argv);
    bench::nameApplication();
    if (!bench::prepareCaches({Language::English}))
        return 1;

    CardCatalog catalog(nullptr);
    catalog.ensureLoaded(Language::English);
    std::printf("English catalog: %lld cards; median of %d runs per keystroke, limit %d\n",
                static_cast<long long>(catalog.catalog(Language::English)->cards.size()), Runs, Limit);
    double worst = typeInto(catalog, QStringLiteral("name field, typing \"charmeleon\""), QStringLiteral("charmeleon"), false);
    worst = std::max(worst, typeInto(catalog, QStringLiteral("number field, typing \"166\""), QStringLiteral("166"), true));
    worst = std::max(worst, typeInto(catalog, QStringLiteral("number field, typing \"005/165\""), QStringLiteral("005/165"), true));
    std::printf("slowest keystroke median: %.3f ms (target under 2 ms)\n", worst);
    return 0;
}
