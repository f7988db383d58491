// The folded search key of a name.
#include "FuzzSupport.h"

#include "catalog/CatalogSearch.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString key = searchKey(text);
    if (key.size() > 4 * text.size() + 16)
        fuzz::fail(QStringLiteral("the key of \"%1\" grew out of bounds").arg(text));
    searchKey(key);
    return 0;
}
