#include "core/Disposal.h"

#include <QMutex>
#include <QThread>
#include <QThreadPool>

#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pv {

namespace {

// Long enough for the window to reset, lay out and repaint its views.
constexpr unsigned long PauseMs = 250;

// Free memory at the top of a heap beyond this goes back to the system.
constexpr int TrimThreshold = 1024 * 1024;

struct Waiting
{
    QMutex mutex;
    std::vector<std::function<void()>> freeings;
    bool scheduled = false;
    // What the next batch frees goes back to the system.
    bool giveBack = false;
};

// Never destroyed: a value may be let go of while the program ends.
Waiting &waiting()
{
    static auto *held = new Waiting;
    return *held;
}

// The allocator keeps what was freed for the next allocations rather than
// give it back: after a collection is let go of, the process would go on
// holding hundreds of MiB it no longer uses, and each file opened after would
// add to what it holds. The sweep holds each heap while it runs, which the
// window's thread then waits for: it runs only where nothing takes the
// place of what was freed.
void giveBack()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void freeWaiting()
{
    QThread::msleep(PauseMs);
    Waiting &held = waiting();
    for (;;) {
        std::vector<std::function<void()>> freeings;
        bool givingBack = false;
        {
            const QMutexLocker lock(&held.mutex);
            freeings.swap(held.freeings);
            givingBack = std::exchange(held.giveBack, false);
            if (freeings.empty() && !givingBack) {
                held.scheduled = false;
                return;
            }
        }
        for (std::function<void()> &freeing : freeings)
            freeing();
        freeings.clear();
        if (givingBack)
            giveBack();
    }
}

} // namespace

void Disposal::setUpAllocator()
{
#if defined(__GLIBC__)
    // Left to itself, the allocator raises this threshold as large blocks
    // come and go, up to 64 MiB: the heaps of the threads that read a file
    // then kept tens of MiB each once the collection was freed (the sweep
    // gives back only the main heap's top), and every file opened after
    // added to it. A fixed threshold keeps it from rising; so does the size
    // from which a block is mapped on its own, which stays at 128 KiB.
    mallopt(M_TRIM_THRESHOLD, TrimThreshold);
    // Blocks freed on another thread than the one that made them wait in
    // the allocator's fast lists, which the window's thread's next large
    // allocation then sweeps all at once: a collection's worth held it for
    // a tenth of a second. Without those lists the freeing thread puts each
    // block back itself (the per-thread caches stay).
    mallopt(M_MXFAST, 0);
#endif
}

void Disposal::run(std::function<void()> freeing)
{
    Waiting &held = waiting();
    const QMutexLocker lock(&held.mutex);
    if (freeing)
        held.freeings.push_back(std::move(freeing));
    else
        held.giveBack = true;
    if (!std::exchange(held.scheduled, true))
        QThreadPool::globalInstance()->start(&freeWaiting);
}

void Disposal::giveBackFreed()
{
    run({});
}

} // namespace pv
