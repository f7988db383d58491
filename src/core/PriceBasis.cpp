#include "core/PriceBasis.h"

#include "core/PriceChoices.h"

#include <QCoreApplication>

namespace pv {

namespace {

PriceChoices<PriceBasis> &table()
{
    static PriceChoices<PriceBasis> choices(
        "pricing/priceBasis",
        {
            {PriceBasis::Mean, QStringLiteral("mean"), QCoreApplication::translate("pv::PriceBasis", "Mean")},
            {PriceBasis::Highest, QStringLiteral("highest"),
             QCoreApplication::translate("pv::PriceBasis", "Highest")},
            {PriceBasis::Lowest, QStringLiteral("lowest"), QCoreApplication::translate("pv::PriceBasis", "Lowest")},
        });
    return choices;
}

} // namespace

QList<PriceBasis> PriceBasis::all() { return table().rows(); }
PriceBasis PriceBasis::byKey(const QString &key) { return table().byKey(key); }
PriceBasis PriceBasis::byId(int id) { return table().byId(id); }
int PriceBasis::defaultId() { return Mean; }
int PriceBasis::current() { return table().current(); }
void PriceBasis::setCurrent(int id) { table().setCurrent(id); }
void PriceBasis::load() { table().load(); }

} // namespace pv
