#pragma once

#include "core/Log.h"

#include <QString>

namespace pv::test {

// Whether the in-memory log holds an entry of that level and category whose
// message contains the fragment.
inline bool logHas(int level, const QString &category, const QString &fragment)
{
    const auto entries = pv::Log::instance().entries();
    for (const auto &entry : entries) {
        if (entry.level == level && entry.category == category && entry.message.contains(fragment))
            return true;
    }
    return false;
}

inline int logCount(int level, const QString &category, const QString &fragment)
{
    int count = 0;
    const auto entries = pv::Log::instance().entries();
    for (const auto &entry : entries) {
        if (entry.level == level && entry.category == category && entry.message.contains(fragment))
            ++count;
    }
    return count;
}

} // namespace pv::test
