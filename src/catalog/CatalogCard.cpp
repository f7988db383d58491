#include "catalog/CatalogCard.h"

namespace pv {

QStringList standardPrintingKeys()
{
    return {QStringLiteral("normal"), QStringLiteral("holo"), QStringLiteral("reverse"),
            QStringLiteral("firstEdition")};
}

} // namespace pv
