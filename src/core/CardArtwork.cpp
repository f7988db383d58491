#include "core/CardArtwork.h"

#include "core/ServiceUrls.h"

namespace pv {

QString cardImageUrl(const QString &imageBase, bool highQuality)
{
    if (imageBase.isEmpty())
        return QString();
    return imageBase + (highQuality ? QLatin1String("/high.png") : QLatin1String("/low.jpg"));
}

QString setArtworkUrl(const QString &artworkBase)
{
    if (artworkBase.isEmpty())
        return QString();
    QString url = artworkBase;
    // The database writes public image-host addresses; a configured image
    // host serves the same tree, so either may lead the address.
    for (const QString &host : {ServiceUrls::defaultAssetsBase(), ServiceUrls::assetsBase()}) {
        const QString universal = host + QLatin1String("/univ/");
        if (url.startsWith(universal)) {
            url = host + QLatin1String("/en/") + url.mid(universal.size());
            break;
        }
    }
    return url + QLatin1String(".png");
}

} // namespace pv
