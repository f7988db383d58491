#pragma once

#include "catalog/DexIndex.h"
#include "core/CardVocabulary.h"

#include <QList>
#include <QSet>

namespace pv {

// The national dex numbers whose look-up failed while a binder view was
// open. They no longer count as pending and are not asked for again, so a
// failed look-up cannot keep a view waiting or asking in a loop.
class DexLookups
{
public:
    void markFailed(Language language, int dexId) { m_failed.insert(key(language, dexId)); }
    void clear() { m_failed.clear(); }

    // The pending numbers still worth waiting for.
    QList<int> outstanding(Language language, const QList<int> &pending) const
    {
        QList<int> result;
        for (const int dexId : pending) {
            if (!m_failed.contains(key(language, dexId)))
                result.append(dexId);
        }
        return result;
    }

    // Asks the index for each outstanding number; returns them.
    QList<int> request(DexIndex *index, Language language, const QList<int> &pending) const
    {
        const QList<int> result = outstanding(language, pending);
        if (index) {
            for (const int dexId : result)
                index->request(language, dexId);
        }
        return result;
    }

private:
    static qint64 key(Language language, int dexId) { return (qint64(int(language)) << 32) | quint32(dexId); }

    QSet<qint64> m_failed;
};

} // namespace pv
