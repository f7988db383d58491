// TCGCSV's answers: the envelope, the group list, the products and the
// prices applied to them.
#include "FuzzSupport.h"

#include "core/Pricing.h"
#include "core/TcgcsvGroup.h"
#include "prices/TcgcsvClient.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    QJsonArray results;
    QString problem;
    if (!TcgcsvClient::readEnvelope(fuzz::bytesOf(data, size), &results, &problem)) {
        if (problem.isEmpty())
            fuzz::fail(QStringLiteral("a refused reply gave no reason"));
        return 0;
    }
    for (const QJsonValue &value : std::as_const(results))
        TcgcsvGroup::fromJson(value.toObject());
    // The same list read as products, then as their prices.
    QList<TcgcsvProduct> products = TcgcsvClient::numberedProducts(results);
    TcgcsvClient::SkippedPrices skipped;
    TcgcsvClient::applyPrices(products, results, &skipped);
    for (const TcgcsvProduct &product : std::as_const(products)) {
        for (const double price : product.marketPrices) {
            if (!(price > 0 && price <= Pricing::MaxPrice))
                fuzz::fail(QStringLiteral("a market price out of range was kept"));
        }
        for (const QString &subType : product.disputedSubTypes) {
            if (product.marketPrices.contains(subType))
                fuzz::fail(QStringLiteral("a disputed sub-type kept a price"));
        }
    }
    return 0;
}
