#include "core/Disposal.h"

#include <QMutex>
#include <QThread>
#include <QThreadPool>

#include <vector>

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
    Waiting &held = waiting();
    const QMutexLocker lock(&held.mutex);
    held.freeings.push_back(std::move(freeing));
    if (!std::exchange(held.scheduled, true))
        QThreadPool::globalInstance()->start(&freeWaiting);
}

} // namespace pv
