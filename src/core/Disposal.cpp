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
    }
}

} // namespace

void Disposal::run(std::function<void()> freeing)
{
#if defined(__GLIBC__)
    // Blocks freed on another thread than the one that made them wait in
    // the allocator's fast lists, which the window's thread's next large
    // allocation then sweeps all at once: a collection's worth held it for
    // a tenth of a second. Without those lists the freeing thread puts each
    // block back itself (the per-thread caches stay).
    static const bool noFastLists = mallopt(M_MXFAST, 0) == 1;
    Q_UNUSED(noFastLists);
#endif
    Waiting &held = waiting();
    const QMutexLocker lock(&held.mutex);
    held.freeings.push_back(std::move(freeing));
    if (!std::exchange(held.scheduled, true))
        QThreadPool::globalInstance()->start(&freeWaiting);
}

} // namespace pv
