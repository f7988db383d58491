#include "core/PriceSource.h"

#include "core/PriceChoices.h"

#include <QCoreApplication>

namespace pv {

namespace {

PriceChoices<PriceSource> &table()
{
    static PriceChoices<PriceSource> choices(
        "pricing/priceSource",
        {
            {PriceSource::Cardmarket, QStringLiteral("cardmarket"),
             QCoreApplication::translate("pv::PriceSource", "Cardmarket")},
            {PriceSource::HighestOfBoth, QStringLiteral("highestOfBoth"),
             QCoreApplication::translate("pv::PriceSource", "Highest of Cardmarket and TCGplayer")},
        });
    return choices;
}

} // namespace

QList<PriceSource> PriceSource::all() { return table().rows(); }
PriceSource PriceSource::byKey(const QString &key) { return table().byKey(key); }
PriceSource PriceSource::byId(int id) { return table().byId(id); }
int PriceSource::defaultId() { return Cardmarket; }
int PriceSource::current() { return table().current(); }
void PriceSource::setCurrent(int id) { table().setCurrent(id); }
void PriceSource::load() { table().load(); }

} // namespace pv
