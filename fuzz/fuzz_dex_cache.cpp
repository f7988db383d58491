// The Pokedex cache reader.
#include "FuzzSupport.h"

#include "catalog/DexIndex.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    QString problem;
    const QHash<int, QSet<QString>> entries = DexIndex::readCache(fuzz::bytesOf(data, size), &problem);
    if (!problem.isEmpty() && !entries.isEmpty())
        fuzz::fail(QStringLiteral("a refused file still gave entries"));
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.key() < 1)
            fuzz::fail(QStringLiteral("a dex number below 1 was read"));
    }
    return 0;
}
