#pragma once

#include <QString>
#include <QUrl>

namespace pv {

// Base addresses of the four web services. The public origins are the
// defaults; each can be overridden by an environment variable, read once:
// TALLOWK_TCGDEX_URL, TALLOWK_ASSETS_URL, TALLOWK_TCGCSV_URL, TALLOWK_FX_URL.
// Bases never end with a slash; clients append their paths ("/v2/en/sets").
class ServiceUrls
{
public:
    static QString tcgdexBase();   // card database API origin
    static QString assetsBase();   // card database image host origin
    static QString tcgcsvBase();   // TCGCSV origin
    static QString fxBase();       // Frankfurter origin

    // Rewrites an image address of the public image host onto the configured
    // image host (identity when no override is set).
    static QString mapAssetUrl(const QString &url);

    static QString defaultTcgdexBase();
    static QString defaultAssetsBase();
    static QString defaultTcgcsvBase();
    static QString defaultFxBase();
};

} // namespace pv
