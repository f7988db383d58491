// What the collection window pays for the actions a user waits on. The main
// window is shown (offscreen, on a 1920x1200 screen) at 1600x1000 with the
// whole tree expanded, the
// Binders dock shown and the "Most Valuable" binder (the 64 most valuable
// cards) open in its window; both catalogs are loaded, and 5,000, 50,000 or
// 500,000 holdings are drawn from them in random order (as a collection
// filled over years keeps them, in the order they were added) without
// rarities, as an older file holds them. After every action the window runs
// until it is idle: the views' delayed layouts and the repaints they ask for
// are carried out as a shown window carries them out, and whatever the
// action set off (the binder window, the binders' counts, the price of an
// added card, the card database's answers served by the web stand-in) is
// followed until nothing has happened for a while. The user's part is played
// with the pointer and the keyboard, as a user plays it: Add cards opened from
// the menu of the set's row in the tree, a card double-clicked, the pointer
// taken to the Add button and clicked, F5 pressed; the window then repaints
// what hovering, pressing, the menu closing and the change of the active
// window make it repaint. Each line is the time the window's thread was busy
// on the wall clock, its waits for the stand-in's answers left out:
//   first    the first card added through Add cards after the file is opened,
//   top      a later card added, the tree at the top,
//   bottom   a card added with the tree scrolled to its last row,
//   idle     Add cards opened on the set of a holding shown in the tree, until
//            idle (the rarity pass its opening starts, with its answers),
//   refresh  a price refresh started (F5), until idle (the card database
//            holding its answers back, so that the start is what is timed),
//   fill     the rarities a rarity pass names filled into the holdings of an
//            older file, which carry none,
//   opening  a file opened, a fresh copy of the collection each time,
//            alternately into an empty window and over the file opened
//            before: the longest the window's event loop went without a
//            turn, until a second after the file is in,
//   new      File > New, answered Discard, over a file just opened with an
//            edit in it: the longest the window's event loop went without a
//            turn, until a second after the window is empty.
// Targets (medians, the machine's load printed beside them): every line
// within 50 ms up to 50,000 holdings and within 100 ms at 500,000 (the
// longest stalls of an opening and of New within 50 ms at every size, New's
// in every run), and each add at 500,000 holdings at most twice the same add
// at 5,000. Every line runs until its runs took 50 ms or more in all, so that
// noise does not decide a short one. A word the bench does not know is an
// error (exit 2).
//
// Older lines run only when named, beside the models' own work on a copy of
// the collection: "search" (keystrokes), "rebuild" (edits that move a
// holding), "sort", "merge", "batch" (a released refresh batch), "binders"
// (edits with the binders' counts), "open" (Add cards shown), "file" (a file
// opened over another: its longest stall, within 50 ms at every size, the
// first selection and add after it) and "end" (the same at the tree's last
// row); each within 50 ms (250 ms at 500,000 holdings). Sizes given on the command line run only those; "--save PATH
// SIZE" writes the file the bench opens, and the catalogs beside it, for the
// real window.

#include "CatalogBenchSupport.h"
#include "StandInBenchSupport.h"
#include "catalog/CatalogSearch.h"
#include "collection/AddCardsCommand.h"
#include "collection/Binders.h"
#include "collection/CollectionSerializer.h"
#include "collection/EditEntryCommand.h"
#include "collection/RemoveEntryCommand.h"
#include "collection/EntryKeys.h"
#include "collection/PriceRefresh.h"
#include "core/Currency.h"
#include "core/NameTranslator.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "ui/ScreenFit.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/AddCardsDialog.h"
#include "ui/dialogs/BinderDialog.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionSearchModel.h"
#include "ui/models/CollectionTreeModel.h"
#include "ui/models/SetCardsModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QDockWidget>
#include <QMenu>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
// Mouse events go through the window system's path, as a real pointer's do
// (hover, enter and leave, the context menu).
#define QTEST_QPA_MOUSE_HANDLING
#include <QTest>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <QUndoStack>
#include <QWidget>

#include <dlfcn.h>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>

using namespace pv;

namespace {

constexpr int Runs = 7;
// Each line runs at least Runs times and until its runs took this long.
constexpr double MinLineMs = 50.0;
constexpr int MaxRuns = 60;
constexpr int BatchCards = 100;
// The window's lines: within 50 ms, 100 ms at the large size.
constexpr double MaxWindowMs = 50.0;
constexpr int LargeHoldings = 500000;
constexpr double MaxLargeWindowMs = 100.0;
// The older lines at the large size.
constexpr double MaxLargeOlderMs = 250.0;
// An add at the large size against the same add at the smallest.
constexpr int SmallHoldings = 5000;
constexpr double MaxAddGrowth = 2.0;
// The window is idle once nothing happened on its thread for this long.
constexpr int QuietMs = 300;
constexpr QSize WindowSize(1600, 1000);

// Counts the events the window's thread delivers, but for those of the timer
// that wakes the wait for quiet.
class EventCounter : public QObject
{
public:
    qint64 count = 0;
    const QObject *ignored = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != ignored)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

EventCounter &events()
{
    static EventCounter counter;
    return counter;
}

// Runs what the action set off until the event loop has nothing left to do
// at once: posted events, the views' delayed layouts (their zero timers) and
// the repaints, which a shown window carries out at the next turns of its
// loop. Nothing else is run: whatever the bench did here beyond the loop's
// own work would be counted as the window's.
void settle()
{
    for (int pass = 0; pass < 500; ++pass) {
        const qint64 before = events().count;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (events().count == before)
            return;
    }
}

// Runs the event loop as the window's own runs, settling after every wake,
// until nothing happened on the window's thread for QuietMs.
void untilQuiet()
{
    settle();
    QTimer wake;
    events().ignored = &wake;
    wake.start(10);
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer total;
    total.start();
    while (quiet.elapsed() < QuietMs && total.elapsed() < 120000) {
        const qint64 before = events().count;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (events().count != before) {
            settle();
            quiet.restart();
        }
    }
    events().ignored = nullptr;
}

// The GUI thread's CPU time and the wall-clock time of each run of an action.
struct Timing
{
    std::vector<double> cpu;
    std::vector<double> wall;

    void time(const std::function<void()> &action)
    {
        QElapsedTimer clock;
        clock.start();
        const double start = bench::threadCpuMs();
        action();
        settle();
        cpu.push_back(bench::threadCpuMs() - start);
        wall.push_back(double(clock.nsecsElapsed()) / 1.0e6);
    }
    // An action whose clock was started by the caller, at the moment it
    // begins (the click that accepts a dialog).
    void timeFrom(const QElapsedTimer &clock, double cpuStart, const std::function<void()> &rest)
    {
        rest();
        settle();
        cpu.push_back(bench::threadCpuMs() - cpuStart);
        wall.push_back(double(clock.nsecsElapsed()) / 1.0e6);
    }
    double cpuMs() const { return bench::median(cpu); }
    double wallMs() const { return bench::median(wall); }
    // Whether another run is due: Runs of them, and until they took
    // MinLineMs in all.
    bool wantsMore() const
    {
        return wall.size() < size_t(Runs) || (totalMs() < MinLineMs && wall.size() < size_t(MaxRuns));
    }
    double totalMs() const { return std::accumulate(wall.begin(), wall.end(), 0.0); }
};

// One timed line: the window's action and, when the action has one, the
// models' own work for it (left empty otherwise).
struct Figure
{
    QString action;
    Timing window;
    Timing model;
    // The line's own wall-clock limit, where it has one.
    double limitMs = 0.0;
    // Whether every run must keep within the limit, not only the median.
    bool everyRun = false;
};

double olderLimitMs(int holdings)
{
    return holdings >= LargeHoldings ? MaxLargeOlderMs : MaxWindowMs;
}

double windowLimitMs(int holdings)
{
    return holdings >= LargeHoldings ? MaxLargeWindowMs : MaxWindowMs;
}

// Prints one line (the window's medians, on the GUI thread's CPU time and on
// the wall clock, beside the models' own where there are) and judges it
// against its limit. Returns whether the line met it.
bool reportLine(const Figure &figure, int holdings)
{
    const QByteArray action = figure.action.toLocal8Bit();
    const char *name = action.constData();
    if (figure.window.cpu.empty()) {
        std::printf("  %-50s not measured  MISSED\n", name);
        return false;
    }
    const double window = figure.window.cpuMs();
    const double wall = figure.window.wallMs();
    const double limit = figure.limitMs > 0.0 ? figure.limitMs : olderLimitMs(holdings);
    const auto [low, high] = std::minmax_element(figure.window.wall.begin(), figure.window.wall.end());
    const bool met = (figure.everyRun ? *high : wall) <= limit;
    if (figure.model.cpu.empty()) {
        std::printf("  %-50s wall %6.1f ms (%.1f-%.1f, %zu runs), CPU %6.1f ms; limit %.0f ms%s\n", name, wall, *low,
                    *high, figure.window.wall.size(), window, limit, met ? "" : "  MISSED");
        return met;
    }
    const double model = figure.model.cpuMs();
    std::printf("  %-50s wall %6.1f ms, CPU %6.1f ms / models %6.1f ms (%4.1fx); limit %.0f ms%s\n", name, wall,
                window, model, window / std::max(model, 0.001), limit, met ? "" : "  MISSED");
    return met;
}

// The wall-clock time the GUI thread spends at work from its start until it
// is stopped: the time it spent waiting in its event loop for something to
// happen (blocked in the poll of the loop's GLib context) is left out. Where
// that poll cannot be watched, the whole time is counted.
class BusyMeter
{
public:
    using PollFunction = int (*)(void *descriptors, unsigned int count, int timeoutMs);

    BusyMeter()
    {
        using Context = void *(*)();
        using GetPoll = PollFunction (*)(void *);
        using SetPoll = void (*)(void *, PollFunction);
        const auto defaultContext = reinterpret_cast<Context>(dlsym(RTLD_DEFAULT, "g_main_context_default"));
        const auto getPoll = reinterpret_cast<GetPoll>(dlsym(RTLD_DEFAULT, "g_main_context_get_poll_func"));
        m_setPoll = reinterpret_cast<SetPoll>(dlsym(RTLD_DEFAULT, "g_main_context_set_poll_func"));
        if (defaultContext && getPoll && m_setPoll) {
            m_context = defaultContext();
            s_poll = getPoll(m_context);
            s_waitedNs = 0;
            m_setPoll(m_context, &timedPoll);
        }
        m_clock.start();
    }
    ~BusyMeter() { stopMs(); }
    double stopMs()
    {
        if (m_context) {
            m_setPoll(m_context, s_poll);
            m_context = nullptr;
            m_busyNs = m_clock.nsecsElapsed() - s_waitedNs;
        } else if (m_busyNs < 0) {
            m_busyNs = m_clock.nsecsElapsed();
        }
        return double(m_busyNs) / 1.0e6;
    }

private:
    static int timedPoll(void *descriptors, unsigned int count, int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        const int ready = s_poll(descriptors, count, timeoutMs);
        s_waitedNs += waited.nsecsElapsed();
        return ready;
    }

    static inline PollFunction s_poll = nullptr;
    static inline qint64 s_waitedNs = 0;
    void (*m_setPoll)(void *, PollFunction) = nullptr;
    void *m_context = nullptr;
    QElapsedTimer m_clock;
    qint64 m_busyNs = -1;
};

// The window, and when the older lines run, models of their own over a copy
// of its collection.
class Bench
{
public:
    Bench(int holdings, bool withModels, bench::StandInThread *standIn)
        : m_holdings(holdings)
        , m_standIn(standIn)
    {
        CardCatalog *catalog = m_window.catalog();
        for (Language language : allLanguages())
            catalog->ensureLoaded(language);
        QElapsedTimer clock;
        clock.start();
        while (!catalogsLoaded() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        // A loaded catalog goes on to collect its cards' rarities in the
        // background; that is no part of any action timed here.
        letRaritiesIn();
        bench::fillFromCatalog(*m_window.collection(), *catalog, holdings, bench::HoldingOrder::Random);
        if (holdings >= LargeHoldings)
            repeatKeys(*m_window.collection());
        if (withModels) {
            bench::fillFromCatalog(m_mirror, *catalog, holdings, bench::HoldingOrder::Random);
            if (holdings >= LargeHoldings)
                repeatKeys(m_mirror);
        }
        // The binders a collection usually has.
        Binder named = newBinder(QStringLiteral("Pikachu"), Language::English);
        BinderRule rule;
        rule.name = QStringLiteral("Pikachu");
        named.rules = {rule};
        Binder valued = newBinder(QStringLiteral("Most Valuable"), Language::English);
        valued.topValue = 64;
        for (const Binder &binder : {named, valued})
            m_window.collection()->upsertBinder(binder);
        // An older file's holdings, which name no rarity.
        clearRarities(*m_window.collection());
        m_tree.setCollection(&m_mirror);
        m_search.setCatalog(catalog);
        m_search.setCollection(&m_mirror);
        m_searchProxy.setSortRole(CollectionSearchModel::SortKeyRole);
        m_searchProxy.setSourceModel(&m_search);
        m_catalogModel.setCollection(&m_mirror);
        m_window.show();
        m_window.resize(WindowSize);
        if (withModels)
            m_window.findCard();
        m_window.findChild<QDockWidget *>(QStringLiteral("bindersDock"))->show();
        m_window.expandWholeTree();
        openValueRankedBinder();
        // The user works in the main window, not the binder's.
        m_window.activateWindow();
        // The pointer rests over the tree, as a user's does: the view follows
        // the row under it as the rows move or scroll past.
        QWidget *viewport = tree()->viewport();
        QCursor::setPos(viewport->mapToGlobal(viewport->rect().center()));
        untilQuiet();
    }

    // Holdings that repeat the key of an earlier one.
    int repeatedKeys() const
    {
        QSet<QString> keys;
        for (const CardEntry &entry : m_window.collection()->entries())
            keys.insert(entryKey(entry));
        return int(m_window.collection()->entries().size() - keys.size());
    }

    bool catalogsLoaded() const
    {
        for (Language language : allLanguages())
            if (m_window.catalog()->state(language) != CatalogState::Ready)
                return false;
        return true;
    }

    // The window's collection as a file, with its binders and without
    // rarities, as an older file holds it.
    bool save(const QString &path) const
    {
        const Collection *held = m_window.collection();
        Collection saved;
        saved.replaceContents(held->entries(), held->sets(), {}, held->binders(), std::nullopt);
        clearRarities(saved);
        return CollectionSerializer::write(path, saved);
    }

    // The first card added after the file was opened: the window lays out,
    // paints and walks what it had not since the file came in.
    Figure firstAddAfterOpening()
    {
        Figure figure{QStringLiteral("first card added after opening"), {}, {}, windowLimitMs(m_holdings)};
        const QString path = m_files.filePath(QStringLiteral("older.tmk"));
        if (!save(path))
            return figure;
        // Fewer at the large size, where each opening takes seconds.
        const int runs = m_holdings >= LargeHoldings ? 3 : Runs;
        for (int run = 0; run < runs || (figure.window.totalMs() < MinLineMs && run < MaxRuns); ++run) {
            m_window.openFile(path);
            QElapsedTimer clock;
            clock.start();
            while (m_window.fileTaskRunning() && clock.elapsed() < 120000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            untilQuiet();
            openValueRankedBinder();
            tree()->verticalScrollBar()->setValue(0);
            untilQuiet();
            const int row = shownRowWithTwin(false);
            if (row < 0)
                break;
            addOne(entrySetKey(m_window.collection()->entries().at(row)), figure.window);
        }
        if (!treeExpanded())
            std::printf("  the tree was not expanded again after opening\n");
        return figure;
    }

    // A card added through Add cards to the set of a holding shown at the
    // top of the tree, or at its bottom with the tree scrolled to its last
    // row; each add undone before the next.
    Figure laterAdd(bool atEnd)
    {
        Figure figure{atEnd ? QStringLiteral("card added, tree scrolled to the end")
                            : QStringLiteral("card added, tree at the top"),
                      {},
                      {},
                      windowLimitMs(m_holdings)};
        QScrollBar *bar = tree()->verticalScrollBar();
        const auto scroll = [&] {
            bar->setValue(atEnd ? bar->maximum() : 0);
            untilQuiet();
        };
        scroll();
        const int row = shownRowWithTwin(atEnd);
        if (row < 0)
            return figure;
        const QString set = entrySetKey(m_window.collection()->entries().at(row));
        while (figure.window.wantsMore()) {
            scroll();
            addOne(set, figure.window);
            m_window.undoStack()->undo();
            untilQuiet();
        }
        bar->setValue(0);
        untilQuiet();
        return figure;
    }

    // Add cards opened on the set of a holding shown in the tree, from the
    // click until the window is idle with the dialog still open: the dialog
    // shown with the owned cards marked, and the rarity pass its opening
    // starts, every answer and its end, with whatever the window does then.
    // The pass's waits for the card database, in which the window has
    // nothing to do, are left out.
    Figure addCardsUntilIdle()
    {
        Figure figure{QStringLiteral("Add cards opened, until idle"), {}, {}, windowLimitMs(m_holdings)};
        const int row = shownRowWithTwin(false);
        if (row < 0)
            return figure;
        const CardEntry held = m_window.collection()->entries().at(row);
        CardCatalog *catalog = m_window.catalog();
        std::optional<BusyMeter> busy;
        double cpuStart = 0.0;
        bool passes = true;
        bool marked = true;
        DialogPrompts::setExec([&](QDialog &dialog) {
            passes = passes && catalog->isResolvingRarities(held.lang);
            showModal(dialog);
            untilQuiet();
            figure.window.cpu.push_back(bench::threadCpuMs() - cpuStart);
            figure.window.wall.push_back(busy->stopMs());
            marked = marked && marksOwned(dialog, held.cardId);
            return int(QDialog::Rejected);
        });
        while (figure.window.wantsMore()) {
            letRaritiesIn();
            m_window.activateWindow();
            untilQuiet();
            openAddCards(entrySetKey(held), [&] {
                cpuStart = bench::threadCpuMs();
                busy.emplace();
            });
            busy.reset();
            untilQuiet();
        }
        DialogPrompts::reset();
        if (!passes || !marked) {
            std::printf("  Add cards %s\n", passes ? "did not mark the card held" : "started no rarity pass");
            figure.window = Timing();
        }
        return figure;
    }

    // F5: the price refresh of every card starts, until the window is idle;
    // the card database holds its answers back meanwhile, so that the start
    // alone is timed. Then the refresh is cancelled.
    Figure refreshUntilIdle()
    {
        Figure figure{QStringLiteral("price refresh started (F5), until idle"), {}, {}, windowLimitMs(m_holdings)};
        while (figure.window.wantsMore()) {
            m_standIn->delayAnswers(QStringLiteral("^/"), 4 * QuietMs);
            m_window.activateWindow();
            untilQuiet();
            const double cpuStart = bench::threadCpuMs();
            BusyMeter busy;
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &m_window, Qt::Key_F5);
            untilQuiet();
            figure.window.cpu.push_back(bench::threadCpuMs() - cpuStart);
            figure.window.wall.push_back(busy.stopMs());
            m_window.cancelPriceRefresh();
            m_standIn->delayAnswers(QStringLiteral("^/"), 0);
            letRepliesIn();
            untilQuiet();
        }
        return figure;
    }

    // The holdings of an older file, which name no rarity, meet the end of a
    // rarity pass, which names them: until the window is idle again.
    Figure rarityFill()
    {
        Figure figure{QStringLiteral("rarities filled into an older file"), {}, {}, windowLimitMs(m_holdings)};
        CardCatalog *catalog = m_window.catalog();
        Collection *held = m_window.collection();
        bool filled = true;
        while (figure.window.wantsMore()) {
            clearRarities(*held);
            untilQuiet();
            const double cpuStart = bench::threadCpuMs();
            BusyMeter busy;
            for (Language language : allLanguages())
                emit catalog->raritiesLoaded(language);
            untilQuiet();
            figure.window.cpu.push_back(bench::threadCpuMs() - cpuStart);
            figure.window.wall.push_back(busy.stopMs());
            filled = filled && std::any_of(held->entries().cbegin(), held->entries().cend(),
                                           [](const CardEntry &entry) { return !entry.rarity.isEmpty(); });
        }
        if (!filled) {
            std::printf("  the rarities were not filled\n");
            figure.window = Timing();
        }
        return figure;
    }

    Figure typeWord(bool catalogScope, const QString &word)
    {
        setScope(catalogScope);
        QLineEdit *edit = m_window.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"));
        const QString action = QStringLiteral("%1 search, typing \"%2\"")
                                   .arg(catalogScope ? QStringLiteral("catalog") : QStringLiteral("collection"), word);
        Figure worst{action, {}, {}};
        for (qsizetype length = 1; length <= word.size(); ++length) {
            const QString typed = word.left(length);
            Figure figure{action + QStringLiteral(", slowest at \"%1\"").arg(typed), {}, {}};
            for (int run = 0; run < Runs; ++run) {
                type(edit, word.left(length - 1));
                m_window.runSearch();
                settle();
                // The field shows the letter as it is typed; the search
                // runs when typing pauses.
                type(edit, typed);
                settle();
                figure.window.time([&] { m_window.runSearch(); });
                CatalogQuery query;
                query.text = typed;
                figure.model.time([&] {
                    if (catalogScope)
                        searchCatalog(query);
                    else
                        searchCollection(query);
                });
            }
            if (worst.window.cpu.empty() || figure.window.cpuMs() > worst.window.cpuMs())
                worst = figure;
        }
        type(edit, QString());
        m_window.runSearch();
        settle();
        return worst;
    }

    // An edit that changes a holding's condition moves it to another place
    // in its set.
    Figure rebuildAfterEdit(const QString &action = QStringLiteral("tree after an edit"))
    {
        const int row = m_holdings / 2;
        CardEntry edited = m_window.collection()->entries().at(row);
        edited.condition = edited.condition == Condition::Poor ? Condition::Mint : Condition::Poor;
        const CardEntry original = m_mirror.entries().at(row);
        QString focus;
        Figure figure{action, {}, {}};
        for (int run = 0; run < Runs; ++run) {
            figure.window.time(
                [&] { m_window.undoStack()->push(new EditEntryCommand(m_window.collection(), row, edited, &focus)); });
            letSearchCatchUp();
            figure.model.time([&] { m_mirror.updateEntry(row, edited); });
            figure.window.time([&] { m_window.undoStack()->undo(); });
            letSearchCatchUp();
            figure.model.time([&] { m_mirror.updateEntry(row, original); });
        }
        return figure;
    }

    // The same edit made as a user makes it: the holding chosen in the tree
    // and changed in the card panel, which then follows it to its new row.
    Figure rebuildAfterPanelEdit()
    {
        const int row = m_holdings / 2 + 1;
        const CardEntry original = m_mirror.entries().at(row);
        CardEntry edited = original;
        edited.condition = edited.condition == Condition::Poor ? Condition::Mint : Condition::Poor;
        auto *tree = m_window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
        tree->setCurrentIndex(m_window.treeModel()->indexForEntryKey(entryKey(original)));
        settle();
        Figure figure{QStringLiteral("tree after an edit in the card panel"), {}, {}};
        for (int run = 0; run < Runs; ++run) {
            figure.window.time([&] { m_window.onEntryEdited(edited); });
            letSearchCatchUp();
            figure.model.time([&] { m_mirror.updateEntry(row, edited); });
            figure.window.time([&] { m_window.undoStack()->undo(); });
            letSearchCatchUp();
            figure.model.time([&] { m_mirror.updateEntry(row, original); });
        }
        tree->setCurrentIndex(QModelIndex());
        settle();
        return figure;
    }

    // A change of Finish in the card panel, as a user makes it, to a printing
    // the collection does not hold yet (no merge).
    Figure finishEditWithBinders()
    {
        const QList<CardEntry> &entries = m_window.collection()->entries();
        auto *combo = m_window.findChild<QComboBox *>(QStringLiteral("finishCombo"));
        auto *tree = m_window.findChild<QTreeView *>(QStringLiteral("collectionTree"));
        Figure figure{QStringLiteral("edit of Finish in the card panel, with binders"), {}, {}};
        int row = -1;
        int finish = -1;
        for (int candidate = m_holdings / 2 + 2; candidate < entries.size() && finish < 0; ++candidate) {
            row = m_window.collection()->indexOfEntry(entryKey(entries.at(candidate)));
            tree->setCurrentIndex(m_window.treeModel()->indexForEntryKey(entryKey(entries.at(row))));
            // The panel offers the finishes of the card once it arrives.
            letRepliesIn();
            for (int item = 0; item < combo->count() && finish < 0; ++item) {
                CardEntry changed = entries.at(row);
                changed.variant = combo->itemData(item).toString();
                if (changed.variant != entries.at(row).variant
                    && m_window.collection()->indexOfEntry(entryKey(changed)) < 0)
                    finish = item;
            }
        }
        if (finish < 0)
            return figure;
        const int shown = combo->currentIndex();
        const CardEntry original = m_mirror.entries().at(row);
        CardEntry edited = original;
        edited.variant = combo->itemData(finish).toString();
        for (int run = 0; run < Runs; ++run) {
            figure.window.time([&] { combo->setCurrentIndex(finish); });
            letSearchCatchUp();
            figure.model.time([&] { m_mirror.updateEntry(row, edited); });
            figure.window.time([&] { m_window.undoStack()->undo(); });
            letSearchCatchUp();
            figure.model.time([&] { m_mirror.updateEntry(row, original); });
            if (combo->currentIndex() != shown)
                break;
        }
        tree->setCurrentIndex(QModelIndex());
        settle();
        return figure;
    }

    // The binders' counts as the dock resolves them once edits pause: after
    // an edit of a holding's count and after its undo. The models' work: the
    // same binders resolved over the copy after the same edit.
    Figure binderCountsAfterEdit()
    {
        Figure figure{QStringLiteral("binders' counts once edits pause"), {}, {}};
        const int row = m_holdings / 3;
        const CardEntry original = m_mirror.entries().at(row);
        const CardEntry edited = oneMore(original);
        for (int run = 0; run < Runs; ++run) {
            for (const bool undo : {false, true}) {
                editOrUndo(row, edited, undo);
                settle();
                figure.window.time([&] { m_window.refreshBindersList(); });
                letSearchCatchUp();
                m_mirror.updateEntry(row, undo ? original : edited);
                figure.model.time([&] { resolveBinders(); });
            }
        }
        return figure;
    }

    // An edit of a holding's count, and its undo, with the value-ranked
    // binder open in its window, which follows every change. The models'
    // part is the binder's resolution alone; the line is judged on the wall
    // clock.
    Figure editWithBinderWindow()
    {
        Figure figure{QStringLiteral("edit with a binder window open"), {}, {}};
        for (const Binder &binder : m_window.collection()->binders())
            if (binder.topValue > 0)
                m_window.openBinder(binder, false);
        settle();
        const int row = m_holdings / 3 + 1;
        const CardEntry original = m_mirror.entries().at(row);
        const CardEntry edited = oneMore(original);
        for (int run = 0; run < Runs; ++run) {
            for (const bool undo : {false, true}) {
                figure.window.time([&] { editOrUndo(row, edited, undo); });
                letSearchCatchUp();
                figure.model.time([&] {
                    m_mirror.updateEntry(row, undo ? original : edited);
                    resolveBinders(true);
                });
            }
        }
        for (BinderDialog *dialog : m_window.findChildren<BinderDialog *>())
            dialog->close();
        settle();
        return figure;
    }

    // A merge in the card panel, its undo and its redo, each with the
    // binders' counts that follow it, with the binders dock shown (and, when
    // asked, the value-ranked binder open in its window, which follows
    // within the edit). The models' part: the same commands on the copy,
    // with the binders resolved over it.
    Figure mergeWithCounts(bool binderWindow, const QString &suffix = QString())
    {
        Figure figure{(binderWindow ? QStringLiteral("merge with a binder window open")
                                    : QStringLiteral("binders' counts after a merge"))
                          + suffix,
                      {},
                      {}};
        const int row = shownRowWithTwin(!suffix.isEmpty());
        if (row < 0)
            return figure;
        if (binderWindow)
            openValueRankedBinder();
        const CardEntry original = m_mirror.entries().at(row);
        const CardEntry edited = twinOf(row);
        QString mirrorFocus;
        for (int run = 0; run < Runs; ++run) {
            tree()->setCurrentIndex(m_window.treeModel()->indexForEntryKey(entryKey(original)));
            settle();
            timeWithCounts(
                figure, [&] { m_window.onEntryEdited(edited); },
                [&] { m_mirrorUndo.push(new EditEntryCommand(&m_mirror, row, edited, &mirrorFocus)); });
            undoRedoWithCounts(figure, run % 2 == 1);
        }
        tree()->setCurrentIndex(QModelIndex());
        closeBinderWindows();
        return figure;
    }

    // The removal of a holding shown in the tree, then its undo and redo,
    // each with the binders' counts.
    Figure removalWithCounts(const QString &suffix = QString())
    {
        Figure figure{QStringLiteral("removal of a holding") + suffix, {}, {}};
        const int row = shownRowWithTwin(!suffix.isEmpty());
        if (row < 0)
            return figure;
        QString focus;
        QString mirrorFocus;
        for (int run = 0; run < Runs; ++run) {
            const int windowRow = m_window.collection()->indexOfEntry(entryKey(m_mirror.entries().at(row)));
            timeWithCounts(
                figure,
                [&] { m_window.undoStack()->push(new RemoveEntryCommand(m_window.collection(), windowRow, &focus)); },
                [&] { m_mirrorUndo.push(new RemoveEntryCommand(&m_mirror, row, &mirrorFocus)); });
            undoRedoWithCounts(figure, run % 2 == 1);
        }
        return figure;
    }

    // A card added through the Add cards dialog, opened on the set of a
    // holding shown in the tree, graded so that it takes a row of its own;
    // timed from the click that accepts the dialog to the window painted
    // again with the binders' counts, the card's price and the week recorded
    // after it. Then that add undone.
    QList<Figure> addThroughDialog(const QString &suffix = QString())
    {
        Figure add{QStringLiteral("card added through Add cards") + suffix, {}, {}};
        Figure undo{QStringLiteral("undo of that add") + suffix, {}, {}};
        const int row = shownRowWithTwin(!suffix.isEmpty());
        if (row < 0)
            return {add, undo};
        const QString set = entrySetKey(m_mirror.entries().at(row));
        QElapsedTimer clock;
        double cpuStart = 0.0;
        QList<CardEntry> lines;
        QList<SetRecord> sets;
        DialogPrompts::setExec([&](QDialog &dialog) {
            auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            dialog.findChild<QComboBox *>(QStringLiteral("gradeCompanyCombo"))->setCurrentIndex(1);
            dialog.findChild<QLineEdit *>(QStringLiteral("gradeNoteEdit"))->setText(QStringLiteral("9.5 bench"));
            if (table && table->model()->rowCount() > 0)
                emit table->doubleClicked(table->model()->index(0, 1));
            if (auto *adding = qobject_cast<AddCardsDialog *>(&dialog)) {
                lines = adding->pendingEntries();
                sets = adding->pendingSets();
            }
            clock.start();
            cpuStart = bench::threadCpuMs();
            return int(QDialog::Accepted);
        });
        QString mirrorFocus;
        for (int run = 0; run < Runs; ++run) {
            m_window.addCards(set);
            add.window.timeFrom(clock, cpuStart, [&] {
                m_window.refreshBindersList();
                letPricesIn();
            });
            letRepliesIn();
            letSearchCatchUp();
            add.model.time([&] {
                m_mirrorUndo.push(new AddCardsCommand(&m_mirror, lines, sets, &mirrorFocus));
                resolveBinders();
            });
            timeWithCounts(
                undo, [&] { m_window.undoStack()->undo(); }, [&] { m_mirrorUndo.undo(); });
        }
        DialogPrompts::reset();
        return {add, undo};
    }

    // Add cards opened on the set of a holding shown in the tree: from the
    // click to the dialog shown with that card marked owned. Each opening
    // runs a rarity pass of the catalog again; it is let finish between runs.
    Figure addCardsOpened()
    {
        Figure figure{QStringLiteral("Add cards opened"), {}, {}};
        const int row = shownRowWithTwin(false);
        if (row < 0)
            return figure;
        const CardEntry held = m_mirror.entries().at(row);
        QElapsedTimer clock;
        double cpuStart = 0.0;
        bool marked = true;
        DialogPrompts::setExec([&](QDialog &dialog) {
            dialog.show();
            settle();
            figure.window.cpu.push_back(bench::threadCpuMs() - cpuStart);
            figure.window.wall.push_back(double(clock.nsecsElapsed()) / 1.0e6);
            marked = marked && marksOwned(dialog, held.cardId);
            return int(QDialog::Rejected);
        });
        for (int run = 0; run < Runs; ++run) {
            clock.start();
            cpuStart = bench::threadCpuMs();
            m_window.addCards(entrySetKey(held));
            settle();
            letRaritiesIn();
            letSearchCatchUp();
        }
        DialogPrompts::reset();
        if (!marked) {
            std::printf("  Add cards did not mark the card held\n");
            figure.window = Timing();
        }
        return figure;
    }

    // A file opened in the window, a fresh copy of the collection saved
    // without rarities (as an older file holds it) each time, alternately
    // into an empty window (after New) and over the file opened before: the
    // longest the window's event loop went without a turn, from the call to
    // a second after the file is in (the tree laid out and painted, the
    // binders' counts and the fill that follow it included).
    Figure openingStall()
    {
        Figure stall{QStringLiteral("file opened: longest stall"), {}, {}, MaxWindowMs};
        const int runs = m_holdings >= LargeHoldings ? 4 : 6;
        for (int run = 0; run < runs; ++run) {
            // Copied (and saved, the first time) before the window empties.
            const QString path = freshFile();
            if (run % 2 == 0)
                emptyWindow();
            openTimed(path, stall.window);
        }
        if (!treeExpanded())
            std::printf("  the tree was not expanded after opening\n");
        return stall;
    }

    // File > New, its question answered Discard, over a file just opened
    // (a fresh copy each time) with one edit made in it, as a user leaves
    // it: the longest the window's event loop went without a turn, from the
    // command to a second after the window is empty.
    Figure newStall()
    {
        Figure stall{QStringLiteral("File > New: longest stall"), {}, {}, MaxWindowMs, true};
        const int runs = m_holdings >= LargeHoldings ? 3 : 5;
        bool emptied = true;
        for (int run = 0; run < runs; ++run) {
            Timing opening;
            openTimed(freshFile(), opening);
            const int row = int(m_window.collection()->entries().size() / 2);
            const CardEntry edited = oneMore(m_window.collection()->entries().at(row));
            m_window.undoStack()->push(new EditEntryCommand(m_window.collection(), row, edited, &m_editFocus));
            untilQuiet();
            DialogPrompts::setQuestion([](QWidget *, const QString &, const QString &, QMessageBox::StandardButtons,
                                          QMessageBox::StandardButton) { return QMessageBox::Discard; });
            stallTimed([&] { m_window.newCollection(); }, stall.window);
            DialogPrompts::reset();
            emptied = emptied && m_window.collection()->entries().isEmpty() && m_window.undoStack()->count() == 0
                && m_window.treeModel()->rowCount() == 0;
        }
        if (!emptied) {
            std::printf("  File > New did not leave an empty window\n");
            stall.window = Timing();
        }
        return stall;
    }

    // The longest stall of a file opened over the one before, then the
    // first holding selected after such an opening, from the click to the
    // card panel filled and the window idle, and the first card added
    // through Add cards after one.
    QList<Figure> fileOpened()
    {
        const bool large = m_holdings >= LargeHoldings;
        Figure stall{QStringLiteral("file opened: longest stall"), {}, {}, MaxWindowMs};
        Figure select{QStringLiteral("first card selected after opening"), {}, {}, large ? 100.0 : 50.0};
        Figure add{QStringLiteral("first card added after opening"), {}, {}, large ? 250.0 : 50.0};
        const int runs = m_holdings >= LargeHoldings ? 3 : 5;
        for (int run = 0; run < runs; ++run) {
            openTimed(freshFile(), stall.window);
            QTreeView *view = tree();
            const QModelIndex shown = view->indexAt(QPoint(view->viewport()->width() / 2, view->viewport()->height() / 2));
            select.window.time([&] {
                view->setCurrentIndex(shown);
                settle();
                letRepliesIn();
            });
            openTimed(freshFile(), stall.window);
            addFirstCard(add.window);
            letSearchCatchUp();
        }
        return {stall, select, add};
    }

    Figure sortChange(const QString &action = QStringLiteral("card order changed"))
    {
        QComboBox *combo = m_window.findChild<QComboBox *>(QStringLiteral("cardSortCombo"));
        Figure figure{action, {}, {}};
        for (int run = 0; run < Runs; ++run) {
            for (const int mode : {1, 0}) {
                figure.window.time([&] { combo->setCurrentIndex(mode); });
                figure.model.time([&] { m_tree.setCardSortMode(CollectionTreeModel::CardSortMode(mode)); });
            }
        }
        return figure;
    }

    // A holding shown in the tree (among the first rows, or the last) given
    // the printing and condition of another holding of its card in the card
    // panel: the two merge. Then the merge undone. The models' part: the same
    // commands on the copy.
    QList<Figure> mergeEdit(bool atEnd, const QString &suffix = QString())
    {
        Figure merge{QStringLiteral("edit that merges two holdings") + suffix, {}, {}};
        Figure undo{QStringLiteral("undo of that merge") + suffix, {}, {}};
        const int row = shownRowWithTwin(atEnd);
        if (row < 0)
            return {merge, undo};
        const CardEntry original = m_mirror.entries().at(row);
        const CardEntry edited = twinOf(row);
        QTreeView *view = tree();
        QString mirrorFocus;
        for (int run = 0; run < Runs; ++run) {
            view->setCurrentIndex(m_window.treeModel()->indexForEntryKey(entryKey(original)));
            settle();
            merge.window.time([&] { m_window.onEntryEdited(edited); });
            letSearchCatchUp();
            merge.model.time([&] { m_mirrorUndo.push(new EditEntryCommand(&m_mirror, row, edited, &mirrorFocus)); });
            undo.window.time([&] { m_window.undoStack()->undo(); });
            letSearchCatchUp();
            undo.model.time([&] { m_mirrorUndo.undo(); });
        }
        view->setCurrentIndex(QModelIndex());
        settle();
        return {merge, undo};
    }

    // A refresh holds the collection's changes in a batch and releases them
    // together; the window's batch is released as its timer would.
    Figure refreshBatch(const QString &suffix = QString())
    {
        Figure figure{QStringLiteral("released refresh batch (%1 cards)").arg(BatchCards) + suffix, {}, {}};
        for (int run = 0; run < Runs; ++run) {
            releaseBatch(*m_window.collection(), run, figure.window);
            letSearchCatchUp();
            releaseBatch(m_mirror, run, figure.model);
        }
        return figure;
    }

    // The same actions with the tree scrolled to its last row, as a user
    // leaves it after Ctrl+End or dragging the scroll bar down, and the first
    // jump there after the tree was laid out anew (as any change of its rows
    // lays it out): the view must place its last rows without going through
    // every row above them.
    QList<Figure> scrolledToEnd()
    {
        const QString suffix = QStringLiteral(", scrolled to the end");
        QList<Figure> figures;
        Figure jump{QStringLiteral("first jump to the last row") + suffix, {}, {}};
        QScrollBar *bar = tree()->verticalScrollBar();
        for (int run = 0; run < Runs; ++run) {
            bar->setValue(0);
            tree()->doItemsLayout();
            settle();
            jump.window.time([&] { bar->setValue(bar->maximum()); });
        }
        figures << jump << sortChange(QStringLiteral("card order changed") + suffix)
                << rebuildAfterEdit(QStringLiteral("tree after an edit") + suffix) << mergeEdit(true, suffix)
                << refreshBatch(suffix) << mergeWithCounts(false, suffix) << mergeWithCounts(true, suffix)
                << removalWithCounts(suffix) << addThroughDialog(suffix);
        bar->setValue(0);
        settle();
        return figures;
    }

private:
    // Add cards opened on the set and shown until the window is idle (a user
    // looks the set over), a card of its first row given a grade, so that it
    // takes a row of its own, and added: timed from the click that accepts
    // the dialog until the window is idle again, the new card's price and the
    // binders' counts included.
    void addOne(const QString &set, Timing &timing)
    {
        std::optional<BusyMeter> busy;
        double cpuStart = 0.0;
        DialogPrompts::setExec([&](QDialog &dialog) {
            showModal(dialog);
            untilQuiet();
            auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            dialog.findChild<QComboBox *>(QStringLiteral("gradeCompanyCombo"))->setCurrentIndex(1);
            dialog.findChild<QLineEdit *>(QStringLiteral("gradeNoteEdit"))->setText(QStringLiteral("9.5 bench"));
            if (table && table->model()->rowCount() > 0) {
                const QModelIndex first = table->model()->index(0, 1);
                table->scrollTo(first);
                QTest::mouseMove(table->viewport(), table->visualRect(first).center());
                QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(first).center());
            }
            untilQuiet();
            auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            QPushButton *add = buttons ? buttons->button(QDialogButtonBox::Ok) : nullptr;
            if (!add)
                return int(QDialog::Rejected);
            // From the moment the pointer leaves the table for the button.
            cpuStart = bench::threadCpuMs();
            busy.emplace();
            QTest::mouseMove(add, add->rect().center());
            QTest::mouseClick(add, Qt::LeftButton, {}, add->rect().center());
            // The window system gives the main window back its focus.
            m_window.activateWindow();
            return dialog.result();
        });
        m_window.activateWindow();
        untilQuiet();
        openAddCards(set, [] {});
        if (busy) {
            untilQuiet();
            timing.cpu.push_back(bench::threadCpuMs() - cpuStart);
            timing.wall.push_back(busy->stopMs());
        }
        DialogPrompts::reset();
    }

    // A dialog shown as its exec() shows it: modal, blocking the other
    // windows.
    static void showModal(QDialog &dialog)
    {
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
    }

    // Add cards opened on the set as a user opens it: the pointer taken to
    // the set's row in the tree, a right click, and "Add Cards..." chosen in
    // the menu; atChoice runs as the pointer sets off for that item (where
    // a timed opening starts). Where the set's row is out of view (a large
    // set at the end of the tree), the window's own call stands in for the
    // menu, the tree holding the focus as after a click in it.
    void openAddCards(const QString &set, const std::function<void()> &atChoice)
    {
        QTreeView *view = tree();
        QWidget *viewport = view->viewport();
        const QModelIndex row = m_window.treeModel()->indexForSetKey(set);
        const QRect shown = row.isValid() ? view->visualRect(row) : QRect();
        if (!shown.isValid() || !viewport->rect().contains(shown.center())) {
            view->setFocus(Qt::MouseFocusReason);
            untilQuiet();
            atChoice();
            m_window.addCards(set);
            return;
        }
        const QPoint at(std::min(shown.left() + 80, shown.right()), shown.center().y());
        QTest::mouseMove(viewport, at);
        untilQuiet();
        QTimer menuShown;
        menuShown.setInterval(10);
        QObject::connect(&menuShown, &QTimer::timeout, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            menuShown.stop();
            // The right button lifted over the menu it opened.
            QTest::mouseRelease(menu, Qt::RightButton, {}, menu->mapFromGlobal(viewport->mapToGlobal(at)));
            untilQuiet();
            QAction *choice = nullptr;
            for (QAction *action : menu->actions())
                if (action->text().startsWith(QLatin1String("Add Cards")))
                    choice = action;
            if (!choice) {
                std::printf("  the set's menu offers no Add Cards\n");
                menu->close();
                return;
            }
            const QPoint item = menu->actionGeometry(choice).center();
            atChoice();
            QTest::mouseMove(menu, item);
            QTest::mouseClick(menu, Qt::LeftButton, {}, item);
        });
        menuShown.start();
        // The menu's own event loop runs until a choice closes it.
        QTest::mousePress(viewport, Qt::RightButton, {}, at);
        menuShown.stop();
    }

    // Whether the first language, series and set rows are expanded.
    bool treeExpanded()
    {
        QModelIndex row = m_window.treeModel()->index(0, 0);
        for (int depth = 0; depth < 3; ++depth, row = m_window.treeModel()->index(0, 0, row))
            if (!row.isValid() || !tree()->isExpanded(row))
                return false;
        return true;
    }

    static void clearRarities(Collection &collection)
    {
        QList<CardEntry> entries = collection.entries();
        for (CardEntry &entry : entries)
            entry.rarity.clear();
        collection.replaceContents(entries, collection.sets(), collection.history(), collection.binders(),
                                   collection.labelStyle());
    }

    // The window's collection saved once without rarities, as an older file
    // holds it, and copied to a file of a new name for each opening; the
    // copy opened before is removed.
    QString freshFile()
    {
        const QString saved = m_files.filePath(QStringLiteral("opened.tmk"));
        if (!QFileInfo::exists(saved) && !save(saved))
            return QString();
        if (!m_lastCopy.isEmpty())
            QFile::remove(m_lastCopy);
        m_lastCopy = m_files.filePath(QStringLiteral("opened-%1.tmk").arg(++m_copies));
        QFile::copy(saved, m_lastCopy);
        return m_lastCopy;
    }

    // File > New, its question answered Discard: an empty window.
    void emptyWindow()
    {
        DialogPrompts::setQuestion([](QWidget *, const QString &, const QString &, QMessageBox::StandardButtons,
                                      QMessageBox::StandardButton) { return QMessageBox::Discard; });
        m_window.newCollection();
        DialogPrompts::reset();
        untilQuiet();
    }

    // Opens the file in the window and waits until it is in and a second
    // after; the longest turn of the event loop, the call itself counted as
    // one, goes into the timing.
    void openTimed(const QString &path, Timing &timing)
    {
        stallTimed([&] { m_window.openFile(path); }, timing);
    }

    // Runs the action, then the event loop until no file is being read or
    // written and a second after; the longest turn of the loop, the action
    // itself counted as one, goes into the timing.
    void stallTimed(const std::function<void()> &action, Timing &timing)
    {
        QElapsedTimer clock;
        double longest = 0.0;
        qint64 last = 0;
        QTimer ticks;
        ticks.setInterval(0);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, double(now - last) / 1.0e6);
            last = now;
        });
        const double cpuStart = bench::threadCpuMs();
        clock.start();
        ticks.start();
        action();
        QElapsedTimer in;
        in.start();
        while (m_window.fileTaskRunning() && in.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        in.restart();
        while (in.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ticks.stop();
        timing.cpu.push_back(bench::threadCpuMs() - cpuStart);
        timing.wall.push_back(std::max(longest, double(clock.nsecsElapsed() - last) / 1.0e6));
    }

    // One card added through Add cards on the set of a holding shown in the
    // tree, from the click that accepts the dialog to the window painted
    // again with the binders' counts and the card's price.
    void addFirstCard(Timing &timing)
    {
        const int row = shownRowWithTwin(false);
        if (row < 0)
            return;
        const QString set = entrySetKey(m_window.collection()->entries().at(row));
        QElapsedTimer clock;
        double cpuStart = 0.0;
        DialogPrompts::setExec([&](QDialog &dialog) {
            auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
            dialog.findChild<QComboBox *>(QStringLiteral("gradeCompanyCombo"))->setCurrentIndex(1);
            dialog.findChild<QLineEdit *>(QStringLiteral("gradeNoteEdit"))->setText(QStringLiteral("9.5 first"));
            if (table && table->model()->rowCount() > 0)
                emit table->doubleClicked(table->model()->index(0, 1));
            clock.start();
            cpuStart = bench::threadCpuMs();
            return int(QDialog::Accepted);
        });
        m_window.addCards(set);
        timing.timeFrom(clock, cpuStart, [&] {
            m_window.refreshBindersList();
            letPricesIn();
        });
        DialogPrompts::reset();
    }

    QTreeView *tree() { return m_window.findChild<QTreeView *>(QStringLiteral("collectionTree")); }

    // The holding in the row given the printing and condition of another
    // holding of its card: an edit that merges the two.
    CardEntry twinOf(int row) const
    {
        const CardEntry &original = m_mirror.entries().at(row);
        CardEntry edited = original;
        for (const int other : m_mirror.rowsOfCard(original.lang, original.cardId)) {
            const CardEntry &twin = m_mirror.entries().at(other);
            if (other != row && entryKey(twin) != entryKey(original)) {
                edited.variant = twin.variant;
                edited.edition = twin.edition;
                edited.condition = twin.condition;
                edited.gradeCompany = twin.gradeCompany;
                edited.gradeNote = twin.gradeNote;
                break;
            }
        }
        return edited;
    }

    // An action with the binders' counts that follow it, in the window, then
    // the same on the copy with the binders resolved over it.
    void timeWithCounts(Figure &figure, const std::function<void()> &inWindow, const std::function<void()> &onCopy)
    {
        figure.window.time([&] {
            inWindow();
            m_window.refreshBindersList();
        });
        letSearchCatchUp();
        figure.model.time([&] {
            onCopy();
            resolveBinders();
        });
    }

    // The last command undone, then redone and undone again when asked, each
    // with the binders' counts; the undo is left in place for the next run
    // to push again.
    void undoRedoWithCounts(Figure &figure, bool redoToo)
    {
        const auto undo = [&] {
            timeWithCounts(
                figure, [&] { m_window.undoStack()->undo(); }, [&] { m_mirrorUndo.undo(); });
        };
        undo();
        if (!redoToo)
            return;
        timeWithCounts(
            figure, [&] { m_window.undoStack()->redo(); }, [&] { m_mirrorUndo.redo(); });
        undo();
    }

    void openValueRankedBinder()
    {
        for (const Binder &binder : m_window.collection()->binders())
            if (binder.topValue > 0)
                m_window.openBinder(binder, false);
        settle();
    }

    void closeBinderWindows()
    {
        for (BinderDialog *dialog : m_window.findChildren<BinderDialog *>())
            dialog->close();
        settle();
    }

    // The first holding shown in the tree, from its top or its bottom, whose
    // card is held in another printing or condition and whose set fills the
    // Add cards table, as most sets do (a promo set of a handful of cards
    // would leave it nearly empty); -1 when none shows.
    int shownRowWithTwin(bool fromBottom)
    {
        constexpr int FullSet = 60;
        const int row = shownRowWithTwin(fromBottom, FullSet);
        return row >= 0 ? row : shownRowWithTwin(fromBottom, 0);
    }

    int shownRowWithTwin(bool fromBottom, int setCards)
    {
        QTreeView *view = tree();
        const int height = view->viewport()->height();
        const int step = std::max(1, view->sizeHintForRow(0));
        for (int y = step / 2; y < height; y += step) {
            const QModelIndex index = view->indexAt(QPoint(view->viewport()->width() / 2, fromBottom ? height - y : y));
            const int row = m_window.treeModel()->entryIndexAt(index);
            if (row < 0)
                continue;
            const Collection &held = *m_window.collection();
            const CardEntry &entry = held.entries().at(row);
            if (setCards > 0 && m_window.catalog()->cardsInSet(entry.lang, entry.setId).size() < setCards)
                continue;
            for (const int other : held.rowsOfCard(entry.lang, entry.cardId))
                if (entryKey(held.entries().at(other)) != entryKey(entry))
                    return row;
        }
        return -1;
    }

    void setScope(bool catalogScope)
    {
        m_window.findChild<QComboBox *>(QStringLiteral("searchScopeCombo"))->setCurrentIndex(catalogScope ? 1 : 0);
        settle();
    }

    // Fills the field as typing would, without starting the search bar's
    // pause timer: the bench runs the search itself.
    static void type(QLineEdit *edit, const QString &text)
    {
        const QSignalBlocker blocker(edit);
        edit->setText(text);
    }

    // What the dock does for a collection keystroke, on the models alone:
    // the search and the sorting proxy in front of it, which maps the new
    // rows when asked for them.
    void searchCollection(const CatalogQuery &query)
    {
        m_search.setLanguageFilter(std::nullopt);
        m_search.setQuery(query);
        m_searchProxy.rowCount();
    }

    void searchCatalog(const CatalogQuery &query)
    {
        if (query.text.size() < 2)
            return;
        m_catalogModel.setCards(m_window.catalog()->search(Language::English, query, 2000).cards);
    }

    // Whether the dialog's table marks the card as owned.
    static bool marksOwned(QDialog &dialog, const QString &cardId)
    {
        const auto *table = dialog.findChild<QTableView *>(QStringLiteral("cardsTable"));
        if (!table)
            return false;
        const QAbstractItemModel *model = table->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex cell = model->index(row, 0);
            if (cell.data(SetCardsModel::CardIdRole).toString() == cardId)
                return cell.data(SetCardsModel::OwnedRole).toBool();
        }
        return false;
    }

    // The rarity passes the catalogs run again end before the next action.
    void letRaritiesIn()
    {
        CardCatalog *catalog = m_window.catalog();
        QElapsedTimer clock;
        clock.start();
        const auto resolving = [catalog] {
            for (Language language : allLanguages())
                if (catalog->isResolvingRarities(language))
                    return true;
            return false;
        };
        while (resolving() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        settle();
    }

    // The card database answers what the card panel and the tree's rows
    // asked for (artwork, the card) from the stand-in, paced; those answers
    // are handled before an action is timed rather than inside it.
    void letRepliesIn()
    {
        QElapsedTimer clock;
        clock.start();
        while (m_window.tcgdexClient()->pendingCount() > 0 && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        settle();
    }

    // The prices the window asked for, to the end of their run and the week
    // it records (the artwork and logos it asks for meanwhile come later).
    void letPricesIn()
    {
        QElapsedTimer clock;
        clock.start();
        while (m_window.priceRefresh()->isRunning() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        settle();
    }

    // The collection's change restarts the dock's pause before it searches
    // again; that search is not part of the action measured, and must not
    // fall into the next one.
    static void letSearchCatchUp()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 250)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }

    // One holding in a hundred a copy of the one before it, as a file may
    // hold them.
    static void repeatKeys(Collection &collection)
    {
        QList<CardEntry> entries = collection.entries();
        for (qsizetype row = 100; row < entries.size(); row += 100) {
            const int count = entries.at(row).count;
            entries[row] = entries.at(row - 1);
            entries[row].count = count;
        }
        collection.replaceContents(entries, collection.sets(), {}, {}, std::nullopt);
    }

    static CardEntry oneMore(CardEntry entry)
    {
        entry.count += 1;
        return entry;
    }

    // The holding in the row edited in the window, or the last edit undone.
    void editOrUndo(int row, const CardEntry &edited, bool undo)
    {
        if (undo)
            m_window.undoStack()->undo();
        else
            m_window.undoStack()->push(new EditEntryCommand(m_window.collection(), row, edited, &m_editFocus));
    }

    // The window's binders over the copy of its collection.
    void resolveBinders(bool valueRankedOnly = false)
    {
        for (const Binder &binder : m_window.collection()->binders())
            if (!valueRankedOnly || binder.topValue > 0)
                resolveBinder(binder, m_window.catalog(), m_window.dexIndex(), &m_mirror);
    }

    static void releaseBatch(Collection &collection, int run, Timing &timing)
    {
        const QList<CardEntry> &entries = collection.entries();
        QList<QPair<Language, QString>> cards;
        QSet<QString> seen;
        for (int row = run * 997 % int(entries.size()); cards.size() < BatchCards;
             row = (row + 37) % int(entries.size())) {
            const CardEntry &entry = entries.at(row);
            if (!seen.contains(ownedCardKey(entry.lang, entry.cardId))) {
                seen.insert(ownedCardKey(entry.lang, entry.cardId));
                cards.append({entry.lang, entry.cardId});
            }
        }
        collection.beginBatch();
        for (int i = 0; i < cards.size(); ++i) {
            QHash<QString, double> eur;
            for (const QString &finish : allFinishes())
                for (const QString &edition : allEditions())
                    eur.insert(printingKey(finish, edition), 1.0 + run + i * 0.25);
            collection.applyPrices(cards.at(i).first, cards.at(i).second, eur, {});
        }
        timing.time([&] { collection.endBatch(); });
    }

    int m_holdings = 0;
    bench::StandInThread *m_standIn = nullptr;
    QTemporaryDir m_files;
    QString m_lastCopy;
    int m_copies = 0;
    QString m_editFocus;
    MainWindow m_window;
    Collection m_mirror;
    QUndoStack m_mirrorUndo;
    CollectionTreeModel m_tree;
    CollectionSearchModel m_search;
    QSortFilterProxyModel m_searchProxy;
    SetCardsModel m_catalogModel{nullptr, m_window.fallbackPrices(), m_window.catalog()};
};
// The window's lines, by the words that name them.
const QStringList WindowActions{QStringLiteral("first"),   QStringLiteral("top"),     QStringLiteral("bottom"),
                                QStringLiteral("idle"),    QStringLiteral("refresh"), QStringLiteral("fill"),
                                QStringLiteral("opening"), QStringLiteral("new")};
// The older lines, run only when named.
const QStringList OlderActions{QStringLiteral("search"), QStringLiteral("rebuild"), QStringLiteral("sort"),
                               QStringLiteral("merge"),  QStringLiteral("batch"),   QStringLiteral("binders"),
                               QStringLiteral("open"),   QStringLiteral("end"),     QStringLiteral("file")};

QList<Figure> windowLines(Bench &bench, const QStringList &actions)
{
    QList<Figure> figures;
    const auto wanted = [&](const char *action) {
        return actions.isEmpty() || actions.contains(QLatin1String(action));
    };
    if (wanted("first"))
        figures << bench.firstAddAfterOpening();
    if (wanted("top"))
        figures << bench.laterAdd(false);
    if (wanted("bottom"))
        figures << bench.laterAdd(true);
    if (wanted("idle"))
        figures << bench.addCardsUntilIdle();
    if (wanted("refresh"))
        figures << bench.refreshUntilIdle();
    if (wanted("fill"))
        figures << bench.rarityFill();
    if (wanted("opening"))
        figures << bench.openingStall();
    if (wanted("new"))
        figures << bench.newStall();
    return figures;
}

QList<Figure> olderLines(Bench &bench, const QStringList &actions)
{
    QList<Figure> figures;
    const auto wanted = [&](const char *action) { return actions.contains(QLatin1String(action)); };
    if (wanted("search"))
        figures << bench.typeWord(false, QStringLiteral("charizard")) << bench.typeWord(false, QStringLiteral("pikachu"))
                << bench.typeWord(true, QStringLiteral("charizard"));
    if (wanted("rebuild"))
        figures << bench.rebuildAfterEdit() << bench.rebuildAfterPanelEdit();
    if (wanted("sort"))
        figures << bench.sortChange();
    if (wanted("merge"))
        figures << bench.mergeEdit(false);
    if (wanted("batch"))
        figures << bench.refreshBatch();
    if (wanted("binders"))
        figures << bench.finishEditWithBinders() << bench.binderCountsAfterEdit() << bench.editWithBinderWindow()
                << bench.mergeWithCounts(false) << bench.mergeWithCounts(true) << bench.removalWithCounts()
                << bench.addThroughDialog();
    if (wanted("open"))
        figures << bench.addCardsOpened();
    if (wanted("end"))
        figures << bench.scrolledToEnd();
    if (wanted("file"))
        figures << bench.fileOpened();
    return figures;
}

// Each add at the large size against the same add at the smallest.
bool addsGrowth(const QHash<int, QHash<QString, double>> &adds)
{
    if (!adds.contains(SmallHoldings) || !adds.contains(LargeHoldings))
        return true;
    bool ok = true;
    for (auto it = adds.value(SmallHoldings).cbegin(); it != adds.value(SmallHoldings).cend(); ++it) {
        const double large = adds.value(LargeHoldings).value(it.key(), -1.0);
        if (large < 0.0 || it.value() <= 0.0)
            continue;
        const double growth = large / it.value();
        const bool met = growth <= MaxAddGrowth;
        std::printf("%s: %.1f ms at %d holdings, %.1f ms at %d: %.2fx (at most %.1fx)%s\n", qPrintable(it.key()),
                    it.value(), SmallHoldings, large, LargeHoldings, growth, MaxAddGrowth, met ? "" : "  MISSED");
        ok = ok && met;
    }
    return ok;
}

// The offscreen platform warns of every dialog shown or raised that it cannot
// pass on its size hints or raise it, and of every menu that it cannot give
// the keyboard; the rest goes through.
QtMessageHandler previousHandler = nullptr;

void quietOffscreenWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) || message.contains(QLatin1String("support raise()"))
        || message.contains(QLatin1String("grabbing the keyboard")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// What the program sets up before its window: the theme's style sheet, which
// every widget paints through, the watch that keeps dialogs on the screen,
// the plural forms and the name and price settings.
void startAsTheProgram(QApplication &app, QTranslator &plurals)
{
    if (plurals.load(QStringLiteral(":/i18n/tallowk_en.qm")))
        QCoreApplication::installTranslator(&plurals);
    ThemeManager::applyTheme(&app, ThemeManager::currentThemeName());
    ScreenFit::watchApplication();
    Currency::reload();
    PriceBasis::load();
    PriceSource::load();
    NameTranslator::load();
}

} // namespace

// The offscreen platform's own screen is 800x600, on which the dialogs would
// be squeezed to fit it; the window is shown on a desktop's screen instead.
// Returns the folder of the screen's description (keep it alive). Another
// platform, or the offscreen one with settings of its own, is left as given.
QTemporaryDir *useDesktopScreen()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "offscreen")
        return nullptr;
    auto *folder = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tallowk-screen-XXXXXX"));
    QFile config(folder->filePath(QStringLiteral("screen.json")));
    if (!config.open(QIODevice::WriteOnly))
        return folder;
    config.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1200,)"
                 R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    return folder;
}

int main(int argc, char *argv[])
{
    std::unique_ptr<QTemporaryDir> screen(useDesktopScreen());
    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QApplication app(argc, argv);
    bench::nameApplication();
    previousHandler = qInstallMessageHandler(quietOffscreenWarnings);
    QTranslator plurals;
    startAsTheProgram(app, plurals);
    app.installEventFilter(&events());
    // A number of holdings or the word of a line; a word the bench does not
    // know would run nothing and pass.
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool saving = arguments.value(0) == QLatin1String("--save");
    QList<int> sizes;
    QStringList actions;
    for (const QString &argument : saving ? QStringList() : arguments) {
        if (argument.toInt() > 0) {
            sizes.append(argument.toInt());
        } else if (WindowActions.contains(argument) || OlderActions.contains(argument)) {
            actions.append(argument);
        } else {
            std::fprintf(stderr,
                         "unknown line \"%s\"; the lines are %s, and the older ones %s (or a number of holdings, or "
                         "--save PATH SIZE)\n",
                         qPrintable(argument), qPrintable(WindowActions.join(QStringLiteral(", "))),
                         qPrintable(OlderActions.join(QStringLiteral(", "))));
            return 2;
        }
    }
    std::printf("load average at the start: %s\n", bench::loadAverage().constData());
    if (const QScreen *shown = QGuiApplication::primaryScreen())
        std::printf("screen %dx%d\n", shown->geometry().width(), shown->geometry().height());
    // The window's own requests (rarity passes, set logos, prices) are
    // answered from a thread of the stand-in's own, which does not work on
    // the window's thread.
    bench::StandInThread standIn;
    if (!standIn.started())
        return 1;
    for (const char *name : {"TALLOWK_TCGDEX_URL", "TALLOWK_ASSETS_URL", "TALLOWK_TCGCSV_URL", "TALLOWK_FX_URL"})
        qputenv(name, standIn.origin().toUtf8());
    if (!bench::prepareCaches({Language::English, Language::Japanese}))
        return 1;

    if (saving) {
        // The catalogs go beside it, for the real window's own data folder.
        const QString path = arguments.value(1);
        for (Language language : {Language::English, Language::Japanese})
            QFile::copy(bench::cacheFile(language),
                        QFileInfo(path).dir().filePath(QFileInfo(bench::cacheFile(language)).fileName()));
        Bench bench(std::max(1, arguments.value(2).toInt()), false, &standIn);
        return bench.save(path) ? 0 : 1;
    }
    if (sizes.isEmpty())
        sizes = {SmallHoldings, 50000, LargeHoldings};
    QStringList windowActions;
    QStringList older;
    for (const QString &action : std::as_const(actions))
        (WindowActions.contains(action) ? windowActions : older).append(action);

    bool ok = true;
    QHash<int, QHash<QString, double>> adds;
    for (const int holdings : std::as_const(sizes)) {
        Bench bench(holdings, !older.isEmpty(), &standIn);
        if (!bench.catalogsLoaded()) {
            std::fprintf(stderr, "the catalogs did not load\n");
            return 1;
        }
        std::printf("%d holdings in random order (%d repeating a key), window %dx%d, medians (load %s):\n", holdings,
                    bench.repeatedKeys(), WindowSize.width(), WindowSize.height(), bench::loadAverage().constData());
        std::fflush(stdout);
        QList<Figure> figures;
        if (older.isEmpty() || !windowActions.isEmpty())
            figures << windowLines(bench, windowActions);
        figures << olderLines(bench, older);
        for (const Figure &figure : std::as_const(figures)) {
            ok = reportLine(figure, holdings) && ok;
            if (figure.action.contains(QLatin1String("added")) && !figure.window.wall.empty())
                adds[holdings].insert(figure.action, figure.window.wallMs());
        }
        std::fflush(stdout);
    }
    ok = addsGrowth(adds) && ok;
    std::printf("targets: every line within %.0f ms (%.0f ms at %d holdings, older lines %.0f ms there), an add at "
                "%d holdings at most %.0fx one at %d: %s\n",
                MaxWindowMs, MaxLargeWindowMs, LargeHoldings, MaxLargeOlderMs, LargeHoldings, MaxAddGrowth,
                SmallHoldings, ok ? "met" : "MISSED");
    std::printf("load average at the end: %s\n", bench::loadAverage().constData());
    return ok ? 0 : 1;
}
