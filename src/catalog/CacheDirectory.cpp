#include "catalog/CacheDirectory.h"

#include <QStandardPaths>

namespace pv {

QString cacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/catalog");
}

} // namespace pv
