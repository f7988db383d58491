// Card numbers as the services write them: normal form, parts and order.
#include "FuzzSupport.h"

#include "core/CardNumbers.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const QString a = tab < 0 ? text : text.left(tab);
    const QString b = tab < 0 ? QString() : text.mid(tab + 1);

    const QString normal = normalizeCardNumber(a);
    if (normalizeCardNumber(normal) != normal)
        fuzz::fail(QStringLiteral("the normal form of \"%1\" is not normal").arg(a));
    parseCardNumber(a);
    cardNumberSortKey(a);
    if (cardNumberLess(a, a))
        fuzz::fail(QStringLiteral("\"%1\" sorts before itself").arg(a));
    if (cardNumberLess(a, b) && cardNumberLess(b, a))
        fuzz::fail(QStringLiteral("\"%1\" and \"%2\" each sort before the other").arg(a, b));
    return 0;
}
