#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/CardVocabulary.h"
#include "core/Errata.h"
#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;
using pv::test::logMessages;
using pv::test::writeFixture;

namespace {

const Language EN = Language::English;
const Language JA = Language::Japanese;

int levelOfLast(const QString &category)
{
    int level = -1;
    for (const LogEntry &e : Log::instance().entries()) {
        if (e.category == category)
            level = e.level;
    }
    return level;
}

} // namespace

class ErrataTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString write(const QByteArray &text)
    {
        return writeFixture(m_dir.filePath(QStringLiteral("errata.json")), text);
    }
    void loadText(const QByteArray &text) { Errata::load(write(text)); }

private Q_SLOTS:
    void init() { Log::instance().clear(); }
    void cleanupTestCase() { Errata::ensureLoaded(); }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("messageStart");
        const QString malformed = QStringLiteral("Errata file %1 is malformed at offset ");
        QTest::newRow("malformed JSON") << QByteArray(R"({"format": "tallowk-errata", "names": )") << malformed;
        QTest::newRow("an array, not an object") << QByteArray(R"(["tallowk-errata"])") << malformed;
        QTest::newRow("empty file") << QByteArray() << malformed;
        QTest::newRow("foreign tag")
            << QByteArray(R"({"format": "tallowk-translations", "names": {"ja:VS1-005": "X"}})")
            << QStringLiteral("%1 is not an errata file (its format tag is not \"tallowk-errata\").");
        QTest::newRow("tag of the wrong type")
            << QByteArray(R"({"format": ["tallowk-errata"], "names": {"ja:VS1-005": "X"}})")
            << QStringLiteral("%1 is not an errata file (its format tag is not \"tallowk-errata\").");
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, messageStart);
        loadText(R"({"format": "tallowk-errata", "names": {"ja:VS1-005": "Falkner Togetic"}})");
        QVERIFY(Errata::hasAny());
        const QString path = write(text);
        Errata::load(path);
        QVERIFY(!Errata::hasAny());
        QVERIFY(Errata::sourcePath().isEmpty());
        QCOMPARE(Errata::nameOverride(JA, QStringLiteral("VS1-005")), QString());
        QCOMPARE(levelOfLast(QStringLiteral("errata")), int(Log::Error));
        QVERIFY2(logMessages(QStringLiteral("errata")).last().startsWith(messageStart.arg(QDir::toNativeSeparators(path))),
                 qPrintable(logMessages(QStringLiteral("errata")).last()));
    }

    void missingFile()
    {
        Errata::load(m_dir.filePath(QStringLiteral("absent.json")));
        QVERIFY(!Errata::hasAny());
        QVERIFY(Errata::isLoaded());
        QCOMPARE(logMessages(QStringLiteral("errata")).last(),
                 QStringLiteral("No errata file; printings are offered exactly as TCGdex reports them."));
        Errata::load(QString());
        QVERIFY(!Errata::hasAny());
    }

    void wrongMemberTypesAreSkippedOneByOne()
    {
        loadText(R"({"format": "tallowk-errata",
            "printings": {"en:a": 5, "en:b": {"addFinishes": 7}, "en:c": {"addFinishes": {"reverse": ["1", 2, true]}},
                          " ": {"addFinishes": ["holo"]}, "en:d": {"removeFinishes": ["", 3]}},
            "cards": [1, 2],
            "groupIds": {"en:ex1": {"groupId": 1393, "group": "EX Ruby and Sapphire"}, "en:bw1": 1400,
                         "en:s1": "1393", "en:s2": 0, "en:s3": -4, "en:s4": {"groupId": "7"}, "en:s5": 1e12},
            "addCards": {"en:smp": [{"localId": " SM103a "}, {"name": "no id"}, 7, {"localId": 5}],
                         "en:none": [{"name": "x"}], "en:bad": {"localId": "1"}},
            "names": {"ja:A-1": 5, "ja:A-2": " Two ", "ja:A-3": null, "  ": "blank key"}})");
        QCOMPARE(Errata::printingRuleCount(), 1);
        const QHash<QString, bool> flags{{QStringLiteral("normal"), true}};
        QCOMPARE(Errata::printingsFor(EN, QStringLiteral("c"), QStringLiteral("c-002"), &flags).finishes,
                 (QStringList{QStringLiteral("normal"), QStringLiteral("reverse")}));
        QCOMPARE(Errata::printingsFor(EN, QStringLiteral("c"), QStringLiteral("c-003"), &flags).finishes,
                 (QStringList{QStringLiteral("normal")}));
        QCOMPARE(Errata::groupPin(EN, QStringLiteral("ex1")), 1393);
        QCOMPARE(Errata::groupPin(EN, QStringLiteral("bw1")), 1400);
        QCOMPARE(Errata::groupPinCount(), 2);
        const QList<Errata::AddedCard> added = Errata::addedCards(EN).value(QStringLiteral("smp"));
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.first().localId, QStringLiteral("SM103a"));
        QCOMPARE(added.first().name, QStringLiteral("SM103a"));
        QCOMPARE(Errata::addedCards(EN).size(), 1);
        QVERIFY(Errata::addedCards(JA).isEmpty());
        QCOMPARE(Errata::nameCount(), 1);
        QCOMPARE(Errata::nameOverride(JA, QStringLiteral("A-2")), QStringLiteral("Two"));
    }

    void groupPinWithoutSetAsksNothing()
    {
        Errata::load(QString());
        QCOMPARE(Errata::groupPin(EN, QString()), 0);
        QCOMPARE(Errata::nameOverride(JA, QString()), QString());
        QVERIFY(logMessages(QStringLiteral("errata")).size() == 1);
    }

    void redundantCorrectionIsNotedOnce()
    {
        loadText(R"({"format": "tallowk-errata", "printings": {"en:xy1": {"addFinishes": {"reverse": "*"}}}})");
        const QHash<QString, bool> flags{{QStringLiteral("normal"), true}, {QStringLiteral("reverse"), true}};
        Log::instance().clear();
        for (int i = 0; i < 3; ++i)
            Errata::printingsFor(EN, QStringLiteral("xy1"), QStringLiteral("xy1-5"), &flags);
        QCOMPARE(logMessages(QStringLiteral("errata")),
                 QStringList{QStringLiteral("en:xy1 already offers Reverse Holo; the correction for it can be removed "
                                            "from the errata file.")});
        loadText(R"({"format": "tallowk-errata", "printings": {"en:xy1": {"addFinishes": {"reverse": "*"}}}})");
        Log::instance().clear();
        Errata::printingsFor(EN, QStringLiteral("xy1"), QStringLiteral("xy1-5"), &flags);
        QCOMPARE(logMessages(QStringLiteral("errata")).size(), 1);
    }

    // Without the card's own flags every finish is offered, so a rule adding
    // one proves nothing about the card database and earns no note.
    void noRedundancyNoteWithoutFlags()
    {
        loadText(R"({"format": "tallowk-errata", "printings": {"en:xy1": {"addFinishes": {"reverse": "*"}}}})");
        Log::instance().clear();
        const QHash<QString, bool> noFlags;
        Errata::printingsFor(EN, QStringLiteral("xy1"), QStringLiteral("xy1-5"));
        Errata::printingsFor(EN, QStringLiteral("xy1"), QStringLiteral("xy1-5"), &noFlags);
        Errata::printingsFor(EN, QStringLiteral("xy1"), QString());
        QVERIFY(logMessages(QStringLiteral("errata")).isEmpty());
    }

    void notesOfServedCardsAndNames()
    {
        loadText(R"({"format": "tallowk-errata", "names": {"ja:X-1": "Name"}})");
        Log::instance().clear();
        Errata::noteServedAddedCard(EN, QStringLiteral("smp-SM103a"));
        Errata::noteServedAddedCard(EN, QStringLiteral("smp-SM103a"));
        QCOMPARE(logMessages(QStringLiteral("errata")),
                 QStringList{QStringLiteral("TCGdex now serves en:smp-SM103a; the addCards entry for it can be "
                                            "removed from the errata file.")});
        QVERIFY(Errata::markNameNoticed(JA, QStringLiteral("X-1")));
        QVERIFY(!Errata::markNameNoticed(JA, QStringLiteral("X-1")));
        Errata::noteRedundantName(JA, QStringLiteral("X-1"));
        QCOMPARE(logMessages(QStringLiteral("errata")).last(),
                 QStringLiteral("The name table already gives the same name for ja:X-1; the names entry for it can be "
                                "removed from the errata file."));
    }

    void listWithoutUsableNumbersCoversNoCard()
    {
        loadText(R"({"format": "tallowk-errata", "printings": {"en:xy1": {"addFinishes": {"reverse": ["/5", " "]}}}})");
        const QHash<QString, bool> flags{{QStringLiteral("normal"), true}};
        QCOMPARE(Errata::printingsFor(EN, QStringLiteral("xy1"), QString(), &flags).finishes,
                 QStringList{QStringLiteral("normal")});
        QCOMPARE(Errata::printingsFor(EN, QStringLiteral("xy1"), QStringLiteral("xy1-5"), &flags).finishes,
                 QStringList{QStringLiteral("normal")});
    }

    void unknownFinishesGoLast()
    {
        loadText(R"({"format": "tallowk-errata", "cards": {"en:xy1-1": {"addFinishes": ["cosmos", "holo"]}}})");
        const QHash<QString, bool> flags{{QStringLiteral("reverse"), true}};
        QCOMPARE(Errata::printingsFor(EN, QStringLiteral("xy1"), QStringLiteral("xy1-1"), &flags).finishes,
                 (QStringList{QStringLiteral("holo"), QStringLiteral("reverse"), QStringLiteral("cosmos")}));
    }

    void builtInFileIsCompiledIn()
    {
        QVERIFY(QFile::exists(Errata::builtInPath()));
        Errata::load(Errata::builtInPath());
        QCOMPARE(Errata::groupPinCount(), 18);
        QCOMPARE(Errata::groupPin(EN, QStringLiteral("smp")), 1861);
        QCOMPARE(Errata::nameOverride(JA, QStringLiteral("VS1-005")), QStringLiteral("Falkner's Togetic"));
        QCOMPARE(Errata::nameOverride(JA, QStringLiteral("E1-002")), QStringLiteral("Hoppip"));
        QCOMPARE(Errata::nameOverride(JA, QStringLiteral("web1-044")), QStringLiteral("Dark Blastoise"));
        const QHash<QString, bool> holoOnly{{QStringLiteral("holo"), true}};
        QCOMPARE(Errata::printingsFor(EN, QStringLiteral("ex11"), QStringLiteral("ex11-18"), &holoOnly).finishes,
                 (QStringList{QStringLiteral("holo"), QStringLiteral("reverse")}));
        QVERIFY(!Errata::printingsFor(EN, QStringLiteral("base1"), QStringLiteral("base1-4"), &holoOnly)
                     .finishes.contains(QStringLiteral("reverse")));

        // One reverse holo rule for each of the 54 sets, including those whose
        // card data records the finish today and so must keep it if the flag goes.
        QCOMPARE(Errata::printingRuleCount(), 54);
        const QHash<QString, bool> normalOnly{{QStringLiteral("normal"), true}};
        const auto offersReverse = [&normalOnly](const char *set, const char *card) {
            return Errata::printingsFor(EN, QString::fromLatin1(set), QString::fromLatin1(card), &normalOnly)
                .finishes.contains(QStringLiteral("reverse"));
        };
        QVERIFY(offersReverse("hgss1", "hgss1-1"));
        QVERIFY(offersReverse("sm1", "sm1-1"));
        QVERIFY(offersReverse("sm1", "sm1-137"));
        QVERIFY(!offersReverse("sm1", "sm1-150"));  // past the official count
        QVERIFY(offersReverse("svp", "svp-133"));
        QVERIFY(!offersReverse("svp", "svp-132"));
    }
};

PV_REGISTER_TEST(ErrataTest)
#include "ErrataTest.moc"
