#include "catalog/CatalogSearch.h"
#include "core/CardNumbers.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

namespace pv::selftest {

namespace {

bool samePrintedNumber(const CardNumber &a, const CardNumber &b)
{
    return a.number == b.number && a.prefix == b.prefix && a.suffix == b.suffix;
}

bool samePrintedNumber(const char *a, const char *b)
{
    return samePrintedNumber(parseCardNumber(QString::fromUtf8(a)), parseCardNumber(QString::fromUtf8(b)));
}

bool sameKey(const char *a, const char *b)
{
    return searchKey(QString::fromUtf8(a)) == searchKey(QString::fromUtf8(b));
}

} // namespace

void testCatalogMatchingRules()
{

    check(samePrintedNumber("005", "5"), QStringLiteral("005 and 5 are the same printed number"));
    check(samePrintedNumber("0005", "5"), QStringLiteral("padding never changes a number"));
    check(!samePrintedNumber("5", "50"), QStringLiteral("5 and 50 stay different"));
    const CardNumber lettered = parseCardNumber(QStringLiteral("24a"));
    check(lettered.number == 24 && lettered.prefix.isEmpty() && lettered.suffix == QStringLiteral("A"),
          QStringLiteral("24a reads as number 24 with suffix A"));
    check(parseCardNumber(QStringLiteral("!")).number == -1,
          QStringLiteral("a number with no digits at all is flagged, not guessed"));
    check(parseCardNumber(QStringLiteral("TG01")).prefix == QStringLiteral("TG"),
          QStringLiteral("TG01 keeps its promo prefix"));

    check(sameKey("pokemon", "Pok\u00e9mon"), QStringLiteral("Pokemon matches Pokemon"));
    check(sameKey("FLABEBE", "Flab\u00e9b\u00e9"), QStringLiteral("accents and case both fold away"));
    check(!sameKey("\u30ab\u30d5\u30ea\u30a2\u30b9", "\u30ac\u30d6\u30ea\u30a2\u30b9"),
          QStringLiteral("voiced kana do not fold into their unvoiced twins"));

    QString number;
    int setSize = 0;
    splitPrintedNumber(QStringLiteral("005/165"), &number, &setSize);
    check(number == QStringLiteral("005") && setSize == 165,
          QStringLiteral("005/165 splits into number 005 and set size 165"));
    number.clear();
    setSize = 0;
    splitPrintedNumber(QStringLiteral("166"), &number, &setSize);
    check(number == QStringLiteral("166") && setSize == 0, QStringLiteral("a bare number leaves the set size alone"));
    number.clear();
    setSize = 0;
    splitPrintedNumber(QStringLiteral("TG01/TG30"), &number, &setSize);
    check(number == QStringLiteral("TG01") && setSize == 0,
          QStringLiteral("TG01/TG30 keeps the number and refuses TG30 as a set size"));
}

} // namespace pv::selftest
