#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace pv {

// Lets go of a large value on a thread of the global pool rather than the
// calling one: a collection's worth of small blocks takes a while to free,
// which the window's thread must not spend. The freeing starts a moment
// later, once the work that let go of the value (a view's reset, its
// layout and repaint) is done: freeing many blocks beside a thread that
// allocates slows that thread many times over. Values let go of meanwhile
// are freed together.
//
// Only plain values go (never a QObject), and nothing they reach may go
// before them; the pool's threads finish before the application object is
// gone.
class Disposal
{
public:
    // Sets the allocator up for the whole run: called first thing in the
    // program's main, before much is allocated, and before main in every
    // benchmark, so that all run on one set-up from their start.
    static void setUpAllocator();

    template <typename T>
    static void freeElsewhere(T value)
    {
        run([gone = std::make_shared<T>(std::move(value))]() mutable { gone.reset(); });
    }

    // What is let go of until the next freeing, and freed then, goes back
    // to the system rather than wait in the allocator for the next
    // allocations: for a collection let go of with nothing in its place.
    static void giveBackFreed();

private:
    // An empty freeing asks for what is freed to be given back.
    static void run(std::function<void()> freeing);
};

} // namespace pv
