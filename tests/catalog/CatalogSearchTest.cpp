#include "TestRegistry.h"

#include "catalog/CatalogSearch.h"
#include "catalog/LanguageCatalog.h"

#include <QTest>

using namespace pv;

class CatalogSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void searchKeyFolds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("ascii capitals") << QStringLiteral("Charmeleon EX") << QStringLiteral("charmeleon ex");
        QTest::newRow("ascii lower") << QStringLiteral("pikachu-gx 2") << QStringLiteral("pikachu-gx 2");
        QTest::newRow("accents") << QStringLiteral("Flab\u00e9b\u00e9 \u00c9toile") << QStringLiteral("flabebe etoile");
        QTest::newRow("kana keeps its marks") << QStringLiteral("\u30ac\u30d6\u30ea\u30a2\u30b9") << QStringLiteral("\u30ac\u30d6\u30ea\u30a2\u30b9");
        QTest::newRow("kana with latin") << QStringLiteral("\u30d4\u30ab\u30c1\u30e5\u30a6GX") << QStringLiteral("\u30d4\u30ab\u30c1\u30e5\u30a6gx");
        // One CJK unit anywhere keeps the accents of the whole text.
        QTest::newRow("cjk after an accent") << QStringLiteral("\u00c9\u30a2") << QStringLiteral("\u00e9\u30a2");
        // ASCII capitals first, then a character beyond ASCII: the whole text
        // is folded by the general rules.
        QTest::newRow("capital, then accent") << QStringLiteral("Pok\u00e9mon Center") << QStringLiteral("pokemon center");
        QTest::newRow("capital, then kana") << QStringLiteral("GX\u30ac") << QStringLiteral("gx\u30ac");
        QTest::newRow("lower, then kana") << QStringLiteral("ex\u30ac") << QStringLiteral("ex\u30ac");
        QTest::newRow("full-width") << QStringLiteral("\uff30\uff2b") << QStringLiteral("\uff50\uff4b");
    }

    void searchKeyFolds()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(searchKey(text), key);
    }

    void splitPrintedNumberCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("total");
        QTest::newRow("printed") << QStringLiteral("025/198") << QStringLiteral("025") << 198;
        QTest::newRow("blanks") << QStringLiteral("  25 / 198 ") << QStringLiteral("25") << 198;
        QTest::newRow("bare") << QStringLiteral(" SV12 ") << QStringLiteral("SV12") << -7;
        QTest::newRow("slash only") << QStringLiteral("12/") << QStringLiteral("12") << -7;
        QTest::newRow("letters") << QStringLiteral("12/abc") << QStringLiteral("12") << -7;
        QTest::newRow("zero") << QStringLiteral("12/0") << QStringLiteral("12") << -7;
        QTest::newRow("negative") << QStringLiteral("12/-3") << QStringLiteral("12") << -7;
        QTest::newRow("two slashes") << QStringLiteral("1/2/3") << QStringLiteral("1") << -7;
    }

    void splitPrintedNumberCases()
    {
        QFETCH(QString, text);
        QFETCH(QString, number);
        QFETCH(int, total);
        QString gotNumber = QStringLiteral("untouched");
        int gotTotal = -7; // what the caller had
        splitPrintedNumber(text, &gotNumber, &gotTotal);
        QCOMPARE(gotNumber, number);
        QCOMPARE(gotTotal, total);
        // Either output may be left out.
        splitPrintedNumber(text, nullptr, nullptr);
        int onlyTotal = -7;
        splitPrintedNumber(text, nullptr, &onlyTotal);
        QCOMPARE(onlyTotal, total);
    }

    void anUnindexedCatalogMatchesNoNameOrNumber()
    {
        LanguageCatalog catalog;
        CatalogCard card;
        card.id = QStringLiteral("s-1");
        card.setId = QStringLiteral("s");
        card.localId = QStringLiteral("1");
        card.name = QStringLiteral("Mew");
        catalog.cards = {card, card};
        catalog.foldedNames = {QStringLiteral("mew")}; // one short of the cards
        CatalogQuery query;
        query.text = QStringLiteral("mew");
        QCOMPARE(searchCatalog(catalog, query, 10).total, 0);
        query = CatalogQuery();
        query.number = QStringLiteral("1");
        QCOMPARE(searchCatalog(catalog, query, 10).total, 0);
        query = CatalogQuery();
        query.setId = QStringLiteral("s");
        QCOMPARE(searchCatalog(catalog, query, 10).total, 2);
    }
};

PV_REGISTER_TEST(CatalogSearchTest)
#include "CatalogSearchTest.moc"
