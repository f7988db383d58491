#include "selftest/SelfTests.h"

#include "core/CardNumbers.h"
#include "core/CardVocabulary.h"
#include "core/Errata.h"
#include "selftest/SelfTestHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace pv::selftest {

namespace {

const Language EN = Language::English;
const Language JA = Language::Japanese;

// A holo-only card as the card database flags it.
const QHash<QString, bool> holoOnly = {
    {QStringLiteral("normal"), false}, {QStringLiteral("holo"), true}, {QStringLiteral("reverse"), false}};

QStringList finishesOf(const char *setId, const char *cardId)
{
    return Errata::printingsFor(EN, QString::fromUtf8(setId), QString::fromUtf8(cardId), &holoOnly).finishes;
}

QString loadErrataText(const QTemporaryDir &dir, const QByteArray &text)
{
    const QString path = dir.filePath(QStringLiteral("errata.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text);
        file.close();
    }
    Errata::load(path);
    return path;
}

bool containsNamed(const QList<Errata::AddedCard> &cards, const QString &number)
{
    for (const Errata::AddedCard &card : cards) {
        if (card.localId == number && !card.name.isEmpty())
            return true;
    }
    return false;
}

void checkShippedErrata()
{
    Errata::ensureLoaded();
    if (!Errata::hasAny()) {
        out() << "  (no errata file beside the executable or in the resources; skipping the shipped-content checks)"
              << '\n';
        return;
    }
    check(true, QStringLiteral("errata loaded from %1: %2 printing rule(s), %3 pin(s), %4 name(s)")
                    .arg(QDir::toNativeSeparators(Errata::sourcePath()),
                         QString::number(Errata::printingRuleCount()), QString::number(Errata::groupPinCount()),
                         QString::number(Errata::nameOverrideCount())));

    const QStringList vaporeon = finishesOf("ex11", "ex11-18");
    check(vaporeon.contains(QLatin1String("reverse")),
          QStringLiteral("EX Delta Species Vaporeon is offered a reverse holo"));
    check(vaporeon.contains(QLatin1String("holo")), QStringLiteral("without losing the holo the API did record"));
    check(vaporeon.indexOf(QLatin1String("holo")) < vaporeon.indexOf(QLatin1String("reverse")),
          QStringLiteral("and the combo order is still normal, holo, reverse"));
    check(!finishesOf("base1", "base1-4").contains(QLatin1String("reverse")),
          QStringLiteral("Base Set Charizard is still offered no reverse holo"));
    check(Errata::groupPin(EN, QStringLiteral("ex1")) > 0 && Errata::groupPin(EN, QStringLiteral("bw1")) > 0,
          QStringLiteral("Ruby & Sapphire and Black & White are pinned to a price group"));
    check(Errata::groupPin(EN, QStringLiteral("sv03")) == 0,
          QStringLiteral("a set the matcher already finds is not pinned"));
    const QList<Errata::AddedCard> promos = Errata::addedCards(EN).value(QStringLiteral("smp"));
    check(promos.size() >= 2,
          QStringLiteral("the errata adds %1 card(s) to SM Black Star Promos").arg(promos.size()));
    check(containsNamed(promos, QStringLiteral("SM103a")) && containsNamed(promos, QStringLiteral("SM104a")),
          QStringLiteral("SM103a and SM104a are among them, each with a name"));
    check(Errata::groupPin(EN, QStringLiteral("smp")) == 1861,
          QStringLiteral("SM Black Star Promos is pinned to SM Promos, not SM Base Set"));
    check(normalizeCardNumber(QStringLiteral("SM103")) != normalizeCardNumber(QStringLiteral("SM103a")),
          QStringLiteral("and SM103a keys apart from the SM103 it reprints"));
}

void checkScratchErrata(const QTemporaryDir &dir)
{
    loadErrataText(dir, R"({"format": "tallowk-errata", "version": 1,
        "printings": {"en:xy1": {"addFinishes": {"reverse": "*"}}}})");
    check(finishesOf("xy1", "xy1-99").contains(QLatin1String("reverse")),
          QStringLiteral("\"*\" widens every card of its set"));

    loadErrataText(dir, R"({"format": "tallowk-errata", "version": 1,
        "printings": {"en:xy1": {"addFinishes": {"reverse": ["18"]}}}})");
    check(finishesOf("xy1", "xy1-18").contains(QLatin1String("reverse")),
          QStringLiteral("a listed collector number is widened"));
    check(!finishesOf("xy1", "xy1-19").contains(QLatin1String("reverse")), QStringLiteral("an unlisted one is not"));
    check(finishesOf("xy1", "xy1-018").contains(QLatin1String("reverse")),
          QStringLiteral("and zero padding does not change the answer"));

    loadErrataText(dir, R"({"format": "tallowk-errata", "version": 1,
        "printings": {"en:xy1": {"addFinishes": {"reverse": "*"}}},
        "cards": {"en:xy1-18": {"removeFinishes": {"reverse": "*"}}}})");
    check(!finishesOf("xy1", "xy1-18").contains(QLatin1String("reverse")),
          QStringLiteral("a card rule overrides the set rule that covers it"));
    check(finishesOf("xy1", "xy1-19").contains(QLatin1String("reverse")),
          QStringLiteral("and leaves the rest of the set alone"));

    loadErrataText(dir, R"({"format": "tallowk-errata", "version": 1,
        "names": {"ja:VS1-005": "Falkner's Togetic", "en:base1-4": "Charizard"}})");
    check(Errata::nameOverrideCount() == 2, QStringLiteral("both name overrides are read"));
    check(Errata::nameOverride(JA, QStringLiteral("VS1-005")) == QLatin1String("Falkner's Togetic"),
          QStringLiteral("a name override is found by card id"));
    check(Errata::nameOverride(EN, QStringLiteral("VS1-005")).isEmpty(),
          QStringLiteral("and only in the language it was written for"));
    check(Errata::nameOverride(JA, QStringLiteral("VS1-006")).isEmpty(), QStringLiteral("a card with no entry gets no name"));
    check(Errata::nameOverride(JA, QString()).isEmpty(), QStringLiteral("and an empty card id asks nothing"));

    loadErrataText(dir, R"({"format": "tallowk-errata", "version": 1,
        "names": {"ja:VS1-005": "  ", "ja:VS1-006": "Falkner's Delibird"}})");
    check(Errata::nameOverrideCount() == 1
              && Errata::nameOverride(JA, QStringLiteral("VS1-006")) == QLatin1String("Falkner's Delibird"),
          QStringLiteral("an empty name is skipped and the rest of the section survives"));

    loadErrataText(dir, R"({"format": "tallowk-errata", "version": 1,
        "printings": {"en:xy1": {"removeFinishes": ["normal", "holo", "reverse"]}}})");
    check(finishesOf("xy1", "xy1-18") == QStringList{QStringLiteral("normal")},
          QStringLiteral("a rule that removed every finish still leaves Normal selectable"));

    loadErrataText(dir, R"({"format":"tallowk-errata","version":1, "printings": <not json>})");
    check(!Errata::hasAny() && finishesOf("ex11", "ex11-18").contains(QLatin1String("holo")),
          QStringLiteral("a malformed file is ignored and printings still resolve"));

    loadErrataText(dir, R"({"format": "something-else", "version": 1,
        "printings": {"en:ex11": {"addFinishes": {"reverse": "*"}}}})");
    check(!finishesOf("ex11", "ex11-18").contains(QLatin1String("reverse")),
          QStringLiteral("a file with the wrong format tag is refused"));

    Errata::load(dir.filePath(QStringLiteral("absent.json")));
    check(!Errata::hasAny() && finishesOf("ex11", "ex11-18").contains(QLatin1String("holo")),
          QStringLiteral("so is a missing one"));
}

} // namespace

void testErrata()
{
    checkShippedErrata();

    const Printings base = basePrintings(EN, QStringLiteral("ex11"), &holoOnly);
    check(!base.finishes.contains(QLatin1String("reverse")),
          QStringLiteral("printingsFor() itself still reports only what TCGdex said"));

    QTemporaryDir dir;
    if (dir.isValid())
        checkScratchErrata(dir);
    else
        check(false, QStringLiteral("could not create a scratch directory"));

    Errata::ensureLoaded();
}

} // namespace pv::selftest
