#include "core/ServiceUrls.h"

#include <QByteArray>
#include <QtGlobal>

namespace pv {

namespace {

QString fromEnvironment(const char *name, const QString &fallback)
{
    QString value = qEnvironmentVariable(name).trimmed();
    if (value.isEmpty())
        value = fallback;
    while (value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value;
}

struct Bases
{
    QString tcgdex = fromEnvironment("TALLOWK_TCGDEX_URL", ServiceUrls::defaultTcgdexBase());
    QString assets = fromEnvironment("TALLOWK_ASSETS_URL", ServiceUrls::defaultAssetsBase());
    QString tcgcsv = fromEnvironment("TALLOWK_TCGCSV_URL", ServiceUrls::defaultTcgcsvBase());
    QString fx = fromEnvironment("TALLOWK_FX_URL", ServiceUrls::defaultFxBase());
};

const Bases &bases()
{
    static const Bases b;
    return b;
}

} // namespace

QString ServiceUrls::defaultTcgdexBase() { return QStringLiteral("https://api.tcgdex.net"); }
QString ServiceUrls::defaultAssetsBase() { return QStringLiteral("https://assets.tcgdex.net"); }
QString ServiceUrls::defaultTcgcsvBase() { return QStringLiteral("https://tcgcsv.com"); }
QString ServiceUrls::defaultFxBase() { return QStringLiteral("https://api.frankfurter.dev"); }

QString ServiceUrls::tcgdexBase() { return bases().tcgdex; }
QString ServiceUrls::assetsBase() { return bases().assets; }
QString ServiceUrls::tcgcsvBase() { return bases().tcgcsv; }
QString ServiceUrls::fxBase() { return bases().fx; }

QString ServiceUrls::mapAssetUrl(const QString &url)
{
    const QString from = defaultAssetsBase();
    const QString to = assetsBase();
    if (from == to || !url.startsWith(from))
        return url;
    return to + url.mid(from.size());
}

} // namespace pv
