#pragma once

#include <QString>

namespace pv {

// Folder of the catalog cache files and the Pokedex cache files: the
// application's local data folder followed by "/catalog". It is not created
// here; writers create it when they first save.
QString cacheDirectory();

} // namespace pv
