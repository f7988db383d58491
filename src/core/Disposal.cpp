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
// add to what it holds. The sweep also merges the blocks freed here, which
// otherwise wait in the allocator's fast lists until the window's thread
// merges them all at once on its next large allocation.
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
        {
            const QMutexLocker lock(&held.mutex);
            freeings.swap(held.freeings);
            if (freeings.empty()) {
                held.scheduled = false;
                return;
            }
        }
        for (std::function<void()> &freeing : freeings)
            freeing();
        freeings.clear();
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
#endif
}

void Disposal::run(std::function<void()> freeing)
{
    Waiting &held = waiting();
    const QMutexLocker lock(&held.mutex);
    held.freeings.push_back(std::move(freeing));
    if (!std::exchange(held.scheduled, true))
        QThreadPool::globalInstance()->start(&freeWaiting);
}

} // namespace pv
