#pragma once

#include <QString>

// Loadable picture addresses from the card database's image base addresses.
namespace pv {

// base + "/high.png" (high quality) or "/low.jpg"; empty for an empty base.
QString cardImageUrl(const QString &imageBase, bool highQuality);

// A set or series logo/symbol: language-neutral artwork ("univ/") is fetched
// from the English tree, then ".png" is appended; empty for an empty base.
QString setArtworkUrl(const QString &artworkBase);

} // namespace pv
