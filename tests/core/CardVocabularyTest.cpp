#include "TestRegistry.h"

#include "core/CardKeys.h"
#include "core/CardVocabulary.h"

#include <QTest>

using namespace pv;

class CardVocabularyTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void languages()
    {
        QCOMPARE(languageFromCode(QStringLiteral(" JP "), Language::English), Language::Japanese);
        QCOMPARE(languageFromCode(QStringLiteral("EN"), Language::Japanese), Language::English);
        QCOMPARE(languageFromCode(QStringLiteral("de"), Language::Japanese), Language::Japanese);
        QCOMPARE(languageFromCode(QString(), Language::Japanese), Language::Japanese);
        QCOMPARE(languageCode(Language(5)), QStringLiteral("en"));
        QVERIFY(languageDisplayName(Language(5)).isEmpty());
        QCOMPARE(languageDisplayName(Language::Japanese), QStringLiteral("Japanese"));
    }

    void setAndOwnedCardKeysRoundTrip()
    {
        QCOMPARE(setKey(Language::Japanese, QStringLiteral("SV3")), QStringLiteral("ja:SV3"));
        QCOMPARE(ownedCardKey(Language::English, QStringLiteral("swsh1-1")), QStringLiteral("en|swsh1-1"));
        const KeyParts set = parseSetKey(setKey(Language::Japanese, QStringLiteral("SV3")));
        QVERIFY(set.hasLanguage);
        QCOMPARE(set.language, Language::Japanese);
        QCOMPARE(set.id, QStringLiteral("SV3"));
        // A card id may itself hold the other kind's separator.
        const KeyParts card = parseOwnedCardKey(ownedCardKey(Language::Japanese, QStringLiteral("a:b")));
        QVERIFY(card.hasLanguage && card.language == Language::Japanese && card.id == QStringLiteral("a:b"));
        QCOMPARE(parseSetKey(QStringLiteral("en|sv03")).hasLanguage, false);

        // No language before the separator: the fallback and the whole key.
        for (const QString &bare : {QStringLiteral("sv03"), QStringLiteral(":sv03")}) {
            const KeyParts parts = parseSetKey(bare, Language::Japanese);
            QVERIFY(!parts.hasLanguage && parts.language == Language::Japanese && parts.id == bare);
        }
        const KeyParts unknown = parseSetKey(QStringLiteral("de:sv03"), Language::Japanese);
        QVERIFY(unknown.hasLanguage && unknown.language == Language::Japanese && unknown.id == QStringLiteral("sv03"));

        // One set however its id is spelt, in its own language only.
        QVERIFY(isSameSet(Language::Japanese, QStringLiteral("SV2a"), Language::Japanese, QStringLiteral("sv2a")));
        QVERIFY(!isSameSet(Language::Japanese, QStringLiteral("SV2a"), Language::English, QStringLiteral("sv2a")));
        QVERIFY(!isSameSet(Language::English, QStringLiteral("sv2a"), Language::English, QStringLiteral("sv2")));
    }

    void conditionsAndCompanies()
    {
        QCOMPARE(conditionFromKey(QStringLiteral("nearmint"), Condition::Poor), Condition::NearMint);
        QCOMPARE(conditionFromKey(QStringLiteral("NM"), Condition::Poor), Condition::Poor);
        QCOMPARE(conditionFromKey(QStringLiteral(" Mint"), Condition::Poor), Condition::Poor);
        QCOMPARE(conditionKey(Condition(9)), QStringLiteral("NearMint"));
        QCOMPARE(conditionShortCode(Condition(-1)), QStringLiteral("NM"));
        QVERIFY(conditionDisplayName(Condition(7)).isEmpty());
        QCOMPARE(conditionShortCode(Condition::Mint), QStringLiteral("MT"));
        QCOMPARE(conditionDisplayName(Condition::Mint), QStringLiteral("Mint (M)"));
        QStringList codes;
        for (Condition c : allConditions()) {
            QCOMPARE(conditionFromKey(conditionKey(c), Condition::Poor), c);
            codes << conditionShortCode(c);
        }
        QCOMPARE(codes.join(QLatin1Char(' ')), QStringLiteral("MT NM EX GD LP PL PO"));

        QCOMPARE(gradingCompanyFromKey(QStringLiteral("psa"), GradingCompany::None), GradingCompany::PSA);
        QCOMPARE(gradingCompanyFromKey(QStringLiteral("Beckett"), GradingCompany::Other), GradingCompany::Other);
        QCOMPARE(gradingCompanyDisplayName(GradingCompany::None), QStringLiteral("Ungraded"));
        QCOMPARE(gradingCompanyDisplayName(GradingCompany::PSA), QStringLiteral("PSA"));
        QCOMPARE(gradingCompanyKey(GradingCompany(42)), QStringLiteral("None"));
    }

    void printingKeysAndLabels()
    {
        QCOMPARE(printingKey(QStringLiteral("reverse"), QString()), QStringLiteral("reverse|unlimited"));
        QCOMPARE(printingKey(QString(), QString()), QStringLiteral("|unlimited"));
        QCOMPARE(printingKey(QStringLiteral("holo"), QStringLiteral("firstEdition")),
                 QStringLiteral("holo|firstEdition"));
        QCOMPARE(printingLabel(QStringLiteral("holo"), QStringLiteral("unlimited")), QStringLiteral("Holo"));
        QCOMPARE(printingLabel(QString(), QStringLiteral("shadowless")), QStringLiteral("Shadowless"));
        QCOMPARE(printingLabel(QString(), QString()), QStringLiteral("Not stated"));
        QCOMPARE(printingLabel(QStringLiteral("holo"), QStringLiteral("firstEdition")),
                 QStringLiteral("1st Edition Holo"));
        QCOMPARE(printingLabel(QStringLiteral("foil"), QStringLiteral("promo")), QStringLiteral("promo foil"));
        QVERIFY(isHoloFinish(QStringLiteral("reverse")));
        QVERIFY(!isHoloFinish(QStringLiteral("Holo")));
    }

    void basePrintings_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("setId");
        QTest::addColumn<QVariantMap>("flags");  // empty: no map passed
        QTest::addColumn<QString>("finishes");
        QTest::addColumn<QString>("editions");
        const QString all = QStringLiteral("normal holo reverse");
        QTest::newRow("base1 without map") << 0 << "base1" << QVariantMap() << all
                                           << "unlimited firstEdition shadowless";
        QTest::newRow("modern set") << 0 << "sv03" << QVariantMap() << all << "unlimited";
        QTest::newRow("prefix test") << 0 << "Neo4" << QVariantMap() << all << "unlimited firstEdition";
        QTest::newRow("Japanese base1") << 1 << "base1" << QVariantMap() << all << "unlimited firstEdition";
        QTest::newRow("no finish flagged")
            << 0 << "sv03"
            << QVariantMap{{"normal", false}, {"holo", false}, {"reverse", false}, {"firstEdition", true}}
            << "normal" << "unlimited firstEdition";
        QTest::newRow("map overrides the set prefix") << 0 << "gym1" << QVariantMap{{"holo", true}} << "holo"
                                                      << "unlimited";
        QTest::newRow("shadowless whatever the map") << 0 << "BASE1" << QVariantMap{{"reverse", true}}
                                                     << "reverse" << "unlimited shadowless";
    }
    void basePrintings()
    {
        QFETCH(int, language);
        QFETCH(QString, setId);
        QFETCH(QVariantMap, flags);
        QFETCH(QString, finishes);
        QFETCH(QString, editions);
        QHash<QString, bool> map;
        for (auto it = flags.cbegin(); it != flags.cend(); ++it)
            map.insert(it.key(), it.value().toBool());
        const Printings p = pv::basePrintings(Language(language), setId, map.isEmpty() ? nullptr : &map);
        QCOMPARE(p.finishes.join(QLatin1Char(' ')), finishes);
        QCOMPARE(p.editions.join(QLatin1Char(' ')), editions);
        // An empty map counts as no map.
        if (map.isEmpty()) {
            const QHash<QString, bool> empty;
            QCOMPARE(pv::basePrintings(Language(language), setId, &empty).editions.join(QLatin1Char(' ')),
                     editions);
        }
    }
};

PV_REGISTER_TEST(CardVocabularyTest)
#include "CardVocabularyTest.moc"
