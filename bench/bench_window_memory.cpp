// The memory the collection window gives back. The window is shown with both
// catalogs loaded (as a file of both languages needs them) and idle, with no
// network (every service address points at a closed port); its resident
// memory then is the measure. A file of 500,000 holdings in random order,
// drawn from the catalogs as bench_window_response draws them, is then
// opened and File > New chosen, five times over: each opening's peak of
// resident memory, and the resident memory once the window is empty and the
// collection let go of has been freed (which happens on a pool thread a
// moment later). Targets: after every New within 1.3 times the window before
// its first opening; every opening's peak within 1.1 times the first one's.
// Exits with 1 on a miss. A number on the command line replaces the 500,000.
//
// The file and the catalogs are made by a process of their own
// ("--save PATH SIZE"), so that none of that work is held here.

#include "CatalogBenchSupport.h"

#include "collection/CollectionSerializer.h"
#include "ui/ScreenFit.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/mainwindow/MainWindow.h"

#include <QApplication>
#include <QProcess>
#include <QTranslator>

#include <cstdio>
#include <memory>

using namespace pv;

namespace {

constexpr int Holdings = 500000;
constexpr int Cycles = 5;
constexpr double MaxAfterNew = 1.3;
constexpr double MaxPeakGrowth = 1.1;

double residentMiB()
{
    return double(bench::statusKiB("VmRSS:")) / 1024.0;
}

double peakMiB()
{
    return double(bench::statusKiB("VmHWM:")) / 1024.0;
}

// Starts the peak of resident memory over from what is resident now.
bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

void runFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs the window until its resident memory stops falling: the collection
// let go of is freed, and the memory given back, a moment after.
void untilSettled()
{
    runFor(1000);
    double before = residentMiB();
    for (int wait = 0; wait < 40; ++wait) {
        runFor(250);
        const double now = residentMiB();
        if (before - now < 1.0)
            return;
        before = now;
    }
}

bool catalogsLoaded(const MainWindow &window)
{
    for (Language language : allLanguages())
        if (window.catalog()->state(language) != CatalogState::Ready)
            return false;
    return true;
}

// The file of the given size, drawn from the catalogs, which are built and
// cached first where they are not.
int saveFile(const QString &path, int holdings)
{
    if (!bench::prepareCaches({Language::English, Language::Japanese}))
        return 1;
    MainWindow window;
    for (Language language : allLanguages())
        window.catalog()->ensureLoaded(language);
    if (!bench::runUntil([&] { return catalogsLoaded(window); }, 60000))
        return 1;
    Collection collection;
    bench::fillFromCatalog(collection, *window.catalog(), holdings, bench::HoldingOrder::Random);
    return CollectionSerializer::write(path, collection) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The process that writes the file keeps the home of the one that
    // started it, where the catalogs are to be cached.
    const bool saving = argc == 4 && qstrcmp(argv[1], "--save") == 0;
    std::unique_ptr<QTemporaryDir> home(saving ? nullptr : bench::usePrivateHome());
    QApplication app(argc, argv);
    bench::nameApplication();
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (saving)
        return saveFile(arguments.value(1), arguments.value(2).toInt());
    const int holdings = arguments.isEmpty() ? Holdings : arguments.value(0).toInt();
    if (holdings <= 0) {
        std::fprintf(stderr, "usage: %s [HOLDINGS]\n", argv[0]);
        return 2;
    }
    std::printf("load average at the start: %s\n", bench::loadAverage().constData());
    std::fflush(stdout);
    const QString path = home->filePath(QStringLiteral("held.tmk"));
    if (QProcess::execute(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("--save"), path, QString::number(holdings)})
        != 0) {
        std::fprintf(stderr, "the collection file was not written\n");
        return 1;
    }
    // No network from here on.
    for (const char *name : {"TALLOWK_TCGDEX_URL", "TALLOWK_ASSETS_URL", "TALLOWK_TCGCSV_URL", "TALLOWK_FX_URL"})
        qputenv(name, "http://127.0.0.1:9");

    // What the program sets up before its window.
    QTranslator plurals;
    if (plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")))
        QCoreApplication::installTranslator(&plurals);
    ThemeManager::applyTheme(&app, ThemeManager::currentThemeName());
    ScreenFit::watchApplication();

    MainWindow window;
    window.show();
    window.resize(1600, 1000);
    runFor(1000);
    const double shown = residentMiB();
    for (Language language : allLanguages())
        window.catalog()->ensureLoaded(language);
    if (!bench::runUntil([&] { return catalogsLoaded(window); }, 60000)) {
        std::fprintf(stderr, "the catalogs did not load\n");
        return 1;
    }
    runFor(1000);
    const double before = residentMiB();
    std::printf("%d holdings; resident: window shown %.0f MiB, with both catalogs %.0f MiB (before the first "
                "opening)\n",
                holdings, shown, before);

    DialogPrompts::setQuestion([](QWidget *, const QString &, const QString &, QMessageBox::StandardButtons,
                                  QMessageBox::StandardButton) { return QMessageBox::Discard; });
    bool ok = true;
    double firstPeak = 0.0;
    for (int cycle = 1; cycle <= Cycles; ++cycle) {
        if (!resetPeak())
            std::printf("  the peak cannot be started over; it is the process's\n");
        window.openFile(path);
        bench::runUntil([&] { return !window.fileTaskRunning(); }, 120000);
        runFor(1000);
        const double peak = peakMiB();
        const double opened = residentMiB();
        const bool held = !window.collection()->entries().isEmpty();
        window.newCollection();
        untilSettled();
        const double emptied = residentMiB();
        if (cycle == 1)
            firstPeak = peak;
        const bool met = held && window.collection()->entries().isEmpty() && emptied <= before * MaxAfterNew
            && peak <= firstPeak * MaxPeakGrowth;
        std::printf("  cycle %d: opened peak %.0f MiB (%.2fx the first), %.0f MiB once in; after New %.0f MiB "
                    "(%.2fx)%s%s\n",
                    cycle, peak, peak / firstPeak, opened, emptied, emptied / before, held ? "" : "  not opened",
                    met ? "" : "  MISSED");
        std::fflush(stdout);
        ok = ok && met;
    }
    DialogPrompts::reset();
    std::printf("targets: after New within %.1fx the window before its first opening, every opening's peak within "
                "%.1fx the first: %s\n",
                MaxAfterNew, MaxPeakGrowth, ok ? "met" : "MISSED");
    std::printf("load average at the end: %s\n", bench::loadAverage().constData());
    return ok ? 0 : 1;
}
