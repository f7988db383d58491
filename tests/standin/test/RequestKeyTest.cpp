#include "TestRegistry.h"
#include "standin/RequestKey.h"

#include <QTest>

using namespace pv::test;

// The stand-in finds a recorded answer only when it spells a request target
// exactly as the recording does.
class RequestKeyTest : public QObject
{
    Q_OBJECT

private slots:
    void keys_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("plain card") << QByteArray("/v2/en/cards/base1-4") << QByteArray("/v2/en/cards/base1-4");
        QTest::newRow("encoded plus stays a plus") << QByteArray("/v2/ja/sets/SM1%2B") << QByteArray("/v2/ja/sets/SM1%2B");
        QTest::newRow("raw bang is encoded") << QByteArray("/v2/en/cards/exu-!") << QByteArray("/v2/en/cards/exu-%21");
        QTest::newRow("lower-case hex is raised") << QByteArray("/v2/en/cards/exu-%3f") << QByteArray("/v2/en/cards/exu-%3F");
        QTest::newRow("encoded percent survives") << QByteArray("/v2/en/cards/exu-%253F") << QByteArray("/v2/en/cards/exu-%253F");
        QTest::newRow("unreserved tilde is decoded") << QByteArray("/a%7Eb") << QByteArray("/a~b");
        QTest::newRow("set list query keeps colons")
            << QByteArray("/v2/en/sets?sort%3Afield=releaseDate&sort:order=ASC")
            << QByteArray("/v2/en/sets?sort:field=releaseDate&sort:order=ASC");
        QTest::newRow("plus in a query is a space")
            << QByteArray("/v2/en/cards?rarity=eq:Rare+Holo+LV.X")
            << QByteArray("/v2/en/cards?rarity=eq:Rare%20Holo%20LV.X");
        QTest::newRow("percent space") << QByteArray("/v2/en/cards?rarity=eq:Amazing%20Rare")
                                       << QByteArray("/v2/en/cards?rarity=eq:Amazing%20Rare");
        QTest::newRow("item without value") << QByteArray("/v2/en/cards?flag") << QByteArray("/v2/en/cards?flag=");
        QTest::newRow("encoded ampersand stays inside its value")
            << QByteArray("/x?a=b%26c&d=e") << QByteArray("/x?a=b%26c&d=e");
        QTest::newRow("empty query is dropped") << QByteArray("/v2/en/rarities?") << QByteArray("/v2/en/rarities");
        QTest::newRow("utf-8 id") << QByteArray("/v2/ja/cards/%E3%81%82") << QByteArray("/v2/ja/cards/%E3%81%82");
    }
    void keys()
    {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, key);
        QCOMPARE(requestKey(target), key);
    }

    void encodingKeepsOnlyUnreservedCharacters()
    {
        QCOMPARE(encodeKeyPart("Rare Holo LV.X", false), QByteArray("Rare%20Holo%20LV.X"));
        QCOMPARE(encodeKeyPart("eq:1", false), QByteArray("eq%3A1"));
        QCOMPARE(encodeKeyPart("eq:1", true), QByteArray("eq:1"));
        QCOMPARE(encodeKeyPart("a/b?c", true), QByteArray("a%2Fb%3Fc"));
    }

    void sortedQueryIgnoresItemOrder()
    {
        QCOMPARE(withSortedQuery("/v2/en/sets?sort:order=ASC&sort:field=releaseDate"),
                 withSortedQuery("/v2/en/sets?sort:field=releaseDate&sort:order=ASC"));
        QCOMPARE(withSortedQuery("/v2/en/cards"), QByteArray("/v2/en/cards"));
    }
};

PV_REGISTER_TEST(RequestKeyTest)
#include "RequestKeyTest.moc"
