// Memory of the loaded English and Japanese catalogs. The caches are built
// from the web stand-in first; the measurement then runs in a fresh child
// process that only reads the two cache files, so the stand-in's own data
// does not count.

#include "CatalogBenchSupport.h"

#include <QGuiApplication>
#include <QProcess>

#include <memory>

using namespace pv;
using pv::bench::statusKiB;

namespace {

int measure()
{
    const long rssBefore = statusKiB("VmRSS:");
    CardCatalog catalog(nullptr);
    catalog.ensureLoaded(Language::English);
    catalog.ensureLoaded(Language::Japanese);
    const long rssAfter = statusKiB("VmRSS:");
    const long peak = statusKiB("VmHWM:");
    const LanguageCatalog *english = catalog.catalog(Language::English);
    const LanguageCatalog *japanese = catalog.catalog(Language::Japanese);
    if (!english || !japanese)
        return 1;
    std::printf("English %lld cards in %lld sets, Japanese %lld cards in %lld sets\n",
                static_cast<long long>(english->cards.size()), static_cast<long long>(english->sets.size()),
                static_cast<long long>(japanese->cards.size()), static_cast<long long>(japanese->sets.size()));
    std::printf("  resident after loading both    %+8.1f MiB\n", double(rssAfter - rssBefore) / 1024.0);
    std::printf("  peak RSS delta while loading   %+8.1f MiB (target under 40 MB)\n", double(peak - rssBefore) / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--measure") == 0) {
        QGuiApplication app(argc, argv);
        bench::nameApplication();
        return measure();
    }

    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QGuiApplication app(argc, argv);
    bench::nameApplication();
    if (!bench::prepareCaches({Language::English, Language::Japanese}))
        return 1;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--measure")});
    child.waitForFinished(120000);
    return child.exitCode();
}
