#include "ui/WebLookups.h"

namespace pv {

namespace {

// One query item, fully percent-encoded so that "+", "&" and "#" in a card
// name reach the site as themselves.
QUrl searchUrl(const QString &origin, const QString &path, const QString &key, const QString &value)
{
    QUrl url(origin);
    url.setPath(path);
    url.setQuery(key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value)), QUrl::StrictMode);
    return url;
}

} // namespace

QUrl WebLookups::cardmarketSearch(const QString &name)
{
    return searchUrl(QStringLiteral("https://www.cardmarket.com"), QStringLiteral("/en/Pokemon/Products/Search"),
                     QStringLiteral("searchString"), name);
}

QUrl WebLookups::priceTrackerSearch(const QString &name)
{
    return searchUrl(QStringLiteral("https://www.pokemonprice.com"), QStringLiteral("/pokemon-prices"),
                     QStringLiteral("search"), name);
}

QString WebLookups::priceTrackerName()
{
    return QStringLiteral("PokemonPrice");
}

} // namespace pv
