#pragma once

#include <QHash>
#include <QMetaType>
#include <QSet>
#include <QString>

namespace pv {

// One product of a TCGCSV group that carries a collector number.
struct TcgcsvProduct
{
    int productId = 0;
    QString name;
    QString number;  // "Number" of the product as the service writes it ("004/102")
    QString rarity;
    // US-dollar market price by the service's sub-type ("Normal", "Holofoil",
    // "Reverse Holofoil", "1st Edition", ...); only positive prices are kept.
    QHash<QString, double> marketPrices;
    // Sub-types listed twice with different market prices, or at a figure
    // that is no price: their price is not known, and they have none in
    // marketPrices.
    QSet<QString> disputedSubTypes;

    bool isPriced() const { return !marketPrices.isEmpty() || !disputedSubTypes.isEmpty(); }
};

// The products and market prices of one TCGCSV group.
struct TcgcsvGroupData
{
    int categoryId = 0;
    int groupId = 0;
    // Keyed by the normal form of the collector number (normalizeCardNumber).
    QHash<QString, TcgcsvProduct> products;
    // Product rows the service listed, with or without a collector number.
    int productCount = 0;
};

} // namespace pv

Q_DECLARE_METATYPE(pv::TcgcsvGroupData)
