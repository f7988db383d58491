#pragma once

#include <QString>
#include <QUrl>

namespace pv {

// The web pages the window opens in the user's browser to look a card up.
class WebLookups
{
public:
    // The marketplace's product search for a card name.
    static QUrl cardmarketSearch(const QString &name);
    // The price-tracking site's search page for a card name, and the site's
    // name as buttons show it.
    static QUrl priceTrackerSearch(const QString &name);
    static QString priceTrackerName();
};

} // namespace pv
