#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/CardVocabulary.h"
#include "core/Errata.h"
#include "core/Log.h"
#include "core/NameTranslator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;
using pv::test::logMessages;
using pv::test::writeFile;
using pv::test::writeFixture;

namespace {

const Language JA = Language::Japanese;

// A table holding just what the composition cases need.
const char *const table = R"({
  "format": "tallowk-translations",
  "cards": {"トロピウス": "Tropius", "リザードン": "Charizard", "ピカチュウ": "Pikachu", "ゼクロム": "Zekrom",
            "ロコン": "Vulpix", "ハラバリー": "Bellibolt", "ポリゴンZ": "Porygon-Z", "ミュウツー": "Mewtwo",
            "基本草エネルギー": "Basic Grass Energy", "ナッシー": "Exeggutor", "empty": "", "number": 5},
  "owners": {"ナンジャモ": "Iono", "ナツメ": "Sabrina", "コルニ": "Korrina"},
  "forms": {"アローラ": "Alolan", "ア": "A-form", "メガ": "Mega"},
  "sets": {"SV1a": "Triplet Beat"},
  "setNames": {"スカーレットex": "Scarlet ex"},
  "series": {"SV": "Scarlet & Violet"},
  "serieNames": {"サン＆ムーン": "Sun & Moon"},
  "unknownSection": {"a": "b"}
})";

} // namespace

class NameTranslatorTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString write(const QByteArray &text)
    {
        return writeFixture(m_dir.filePath(QStringLiteral("ja-en.json")), text);
    }

private Q_SLOTS:
    void init()
    {
        Log::instance().clear();
        NameTranslator::setEnabled(true);
        NameTranslator::loadFile(write(table));
        Errata::load(QString());
    }
    void cleanupTestCase()
    {
        NameTranslator::load();
        NameTranslator::setEnabled(true);
        Errata::ensureLoaded();
    }

    void loadsEverySectionAndCountsIt()
    {
        // 10 cards (two members are not usable), 3 owners, 3 forms and one each of the rest.
        QCOMPARE(NameTranslator::count(), 10 + 3 + 3 + 4);
        QVERIFY(NameTranslator::isLoaded());
        QCOMPARE(logMessages(QStringLiteral("names")).last(),
                 QStringLiteral("Name table loaded from %1: 10 cards, 2 sets, 1 series, 3 owners, 3 form prefixes.")
                     .arg(QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("ja-en.json")))));
    }

    void composesCardNames_data()
    {
        QTest::addColumn<QString>("japanese");
        QTest::addColumn<QString>("english");
        QTest::newRow("species") << QStringLiteral("トロピウス") << QStringLiteral("Tropius");
        QTest::newRow("trailing ex") << QStringLiteral("リザードンex") << QStringLiteral("Charizard ex");
        QTest::newRow("tag team") << QStringLiteral("ピカチュウ&ゼクロムGX") << QStringLiteral("Pikachu & Zekrom GX");
        QTest::newRow("tag team with blanks") << QStringLiteral("ピカチュウ & ゼクロム") << QStringLiteral("Pikachu & Zekrom");
        QTest::newRow("tag team with an unknown half") << QStringLiteral("ピカチュウ&あいうえおGX")
                                                       << QStringLiteral("ピカチュウ&あいうえおGX");
        QTest::newRow("longest form prefix first") << QStringLiteral("アローラロコン") << QStringLiteral("Alolan Vulpix");
        QTest::newRow("form prefix and a blank") << QStringLiteral("メガ ミュウツーEX") << QStringLiteral("Mega Mewtwo EX");
        QTest::newRow("owner") << QStringLiteral("ナンジャモのハラバリーex") << QStringLiteral("Iono's Bellibolt ex");
        QTest::newRow("owner ending in s") << QStringLiteral("ナツメのナッシー") << QStringLiteral("Sabrina's Exeggutor");
        QTest::newRow("unknown owner") << QStringLiteral("サトシのピカチュウ") << QStringLiteral("サトシのピカチュウ");
        QTest::newRow("letter form") << QStringLiteral("ミュウツーX") << QStringLiteral("Mewtwo X");
        QTest::newRow("fullwidth letter") << QStringLiteral("ポリゴン\uFF3A") << QStringLiteral("Porygon-Z");
        QTest::newRow("fullwidth suffix") << QStringLiteral("リザードン\uFF45\uFF58") << QStringLiteral("Charizard ex");
        QTest::newRow("energy") << QStringLiteral("基本草エネルギー") << QStringLiteral("Basic Grass Energy");
        QTest::newRow("unknown name") << QStringLiteral("あいうえお") << QStringLiteral("あいうえお");
        QTest::newRow("only a suffix") << QStringLiteral("ex") << QStringLiteral("ex");
        QTest::newRow("only a separator") << QStringLiteral("&") << QStringLiteral("&");
        QTest::newRow("の at the very end") << QStringLiteral("ナンジャモの") << QStringLiteral("ナンジャモの");
        QTest::newRow("empty") << QString() << QString();
    }
    void composesCardNames()
    {
        QFETCH(QString, japanese);
        QFETCH(QString, english);
        QCOMPARE(NameTranslator::translateCardName(JA, japanese), english);
    }

    void owner()
    {
        // "コルニ" ends in no s in Japanese, but its English name does.
        QVERIFY(NameTranslator::translateCardName(JA, QStringLiteral("コルニのミュウツー")) == QStringLiteral("Korrina's Mewtwo"));
    }

    void setsAndSeries()
    {
        QCOMPARE(NameTranslator::translateSetName(JA, QStringLiteral("SV1a"), QStringLiteral("x")), QStringLiteral("Triplet Beat"));
        QCOMPARE(NameTranslator::translateSetName(JA, QStringLiteral("sv1a"), QStringLiteral("x")), QStringLiteral("x"));
        QCOMPARE(NameTranslator::translateSetName(JA, QStringLiteral("?"), QStringLiteral("スカーレットex")),
                 QStringLiteral("Scarlet ex"));
        QCOMPARE(NameTranslator::translateSerieName(JA, QStringLiteral("SV"), QString()), QStringLiteral("Scarlet & Violet"));
        // The table key is written with a fullwidth ampersand; the name here with a plain one.
        QCOMPARE(NameTranslator::translateSerieName(JA, QStringLiteral("?"), QStringLiteral("サン&ムーン")),
                 QStringLiteral("Sun & Moon"));
        QCOMPARE(NameTranslator::translateSetName(Language::English, QStringLiteral("SV1a"), QStringLiteral("x")),
                 QStringLiteral("x"));
    }

    void switchedOff()
    {
        NameTranslator::setEnabled(false);
        QVERIFY(!NameTranslator::isEnabled());
        QCOMPARE(NameTranslator::translateCardName(JA, QStringLiteral("トロピウス")), QStringLiteral("トロピウス"));
        QCOMPARE(NameTranslator::translateSetName(JA, QStringLiteral("SV1a"), QStringLiteral("x")),
                 QStringLiteral("x"));
    }

    void errataOverrideAndItsRedundancyNote()
    {
        const QString errata = m_dir.filePath(QStringLiteral("errata.json"));
        QVERIFY(writeFile(errata,
                          R"({"format": "tallowk-errata", "names": {"ja:X-1": "Falkner Togetic", "ja:X-2": "Tropius"}})"));
        Errata::load(errata);
        Log::instance().clear();
        QCOMPARE(NameTranslator::displayName(JA, QStringLiteral("X-1"), QStringLiteral("トロピウス")),
                 QStringLiteral("Falkner Togetic"));
        QVERIFY(logMessages(QStringLiteral("errata")).isEmpty());
        for (int i = 0; i < 2; ++i)
            QCOMPARE(NameTranslator::displayName(JA, QStringLiteral("X-2"), QStringLiteral("トロピウス")),
                     QStringLiteral("Tropius"));
        QCOMPARE(logMessages(QStringLiteral("errata")).size(), 1);
        QCOMPARE(NameTranslator::displayName(Language::English, QStringLiteral("X-1"), QStringLiteral("Tropius")),
                 QStringLiteral("Tropius"));
        QCOMPARE(NameTranslator::displayName(JA, QString(), QStringLiteral("トロピウス")), QStringLiteral("Tropius"));
    }

    void refusedTables_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("malformed") << QByteArray(R"({"format": "tallowk-translations", "cards": )")
                                   << QStringLiteral("Name table %1 is malformed at offset ");
        QTest::newRow("not an object") << QByteArray(R"("tallowk-translations")")
                                       << QStringLiteral("Name table %1 is malformed at offset ");
        QTest::newRow("foreign tag") << QByteArray(R"({"format": "tallowk-errata", "cards": {"a": "b"}})")
                                     << QStringLiteral("%1 is not a name table (its format tag is not \"tallowk-translations\").");
        QTest::newRow("no tag") << QByteArray(R"({"cards": {"a": "b"}})")
                                << QStringLiteral("%1 is not a name table (its format tag is not \"tallowk-translations\").");
    }
    void refusedTables()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const QString path = write(text);
        NameTranslator::loadFile(path);
        QCOMPARE(NameTranslator::count(), 0);
        QVERIFY(!NameTranslator::isLoaded());
        QVERIFY(logMessages(QStringLiteral("names")).last().startsWith(message.arg(QDir::toNativeSeparators(path))));
        QCOMPARE(Log::instance().entries().last().level, int(Log::Error));
        QCOMPARE(NameTranslator::translateCardName(JA, QStringLiteral("トロピウス")), QStringLiteral("トロピウス"));
    }

    void wrongSectionTypesCountAsEmpty()
    {
        NameTranslator::loadFile(write(R"({"format": "tallowk-translations", "cards": ["トロピウス"],
                                           "owners": 5, "forms": null, "sets": {"SV1a": "Triplet Beat"}})"));
        QCOMPARE(NameTranslator::count(), 1);
    }

    void missingTable()
    {
        const QString path = m_dir.filePath(QStringLiteral("nowhere/ja-en.json"));
        NameTranslator::loadFile(path);
        QVERIFY(!NameTranslator::isLoaded());
        QCOMPARE(logMessages(QStringLiteral("names")).last(),
                 QStringLiteral("No name table at %1; Japanese names are shown as the API spells them.")
                     .arg(QDir::toNativeSeparators(path)));
        QCOMPARE(Log::instance().entries().last().level, int(Log::Info));
    }

    void shippedTableLoadsBesideTheExecutable()
    {
        NameTranslator::load();
        QVERIFY(NameTranslator::isLoaded());
        QCOMPARE(NameTranslator::translateCardName(JA, QStringLiteral("ナンジャモのハラバリーex")),
                 QStringLiteral("Iono's Bellibolt ex"));
    }
};

PV_REGISTER_TEST(NameTranslatorTest)
#include "NameTranslatorTest.moc"
