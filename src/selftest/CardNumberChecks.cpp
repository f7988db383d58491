#include "core/CardNumbers.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

namespace pv::selftest {

void testCardNumberOrdering()
{
    const auto less = [](const char *a, const char *b) {
        return cardNumberLess(QString::fromLatin1(a), QString::fromLatin1(b));
    };
    check(less("002", "010"), QStringLiteral("002 sorts before 010"));
    check(less("010", "100"), QStringLiteral("010 sorts before 100"));
    check(less("100", "TG01"), QStringLiteral("plain numbers sort before lettered promos"));
    check(less("SV01", "TG01"), QStringLiteral("SV01 sorts before TG01"));
    check(!less("010", "002"), QStringLiteral("the ordering is not symmetric"));
}

void testCardNumberNormalisation()
{
    const auto key = [](const char *number) {
        return normalizeCardNumber(QString::fromLatin1(number));
    };
    check(key("004/102") == QLatin1String("4"),
          QStringLiteral("\"004/102\" and \"4\" reduce to the same key"));
    check(key("001") == key("001/076"),
          QStringLiteral("a padded TCGdex localId matches its TCGCSV number"));
    check(key("TG01/TG30") == QLatin1String("TG01"),
          QStringLiteral("a number whose digits follow a prefix keeps its padding"));
    check(key("024a/119") == key("24a"),
          QStringLiteral("\"024a/119\" and \"24a\" reduce to the same key"));
    check(key("24a") == QLatin1String("24A"),
          QStringLiteral("a lettered suffix survives the padding strip"));
    check(key("SM103a") == QLatin1String("SM103A"),
          QStringLiteral("a prefixed number with a suffix is left whole"));
    check(key("SM103") != key("SM103a"),
          QStringLiteral("an alternate art does not collide with the card it reprints"));
    check(key("000") == QLatin1String("0"), QStringLiteral("an all-zero number keeps one digit"));
    check(normalizeCardNumber(QString()).isEmpty(), QStringLiteral("an absent number reduces to nothing"));
}

} // namespace pv::selftest
