// The errata file reader and the look-ups over what it read.
#include "FuzzSupport.h"

#include "core/Errata.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    Errata::load(fuzz::writeScratch(QStringLiteral("errata.json"), data, size));
    for (const Language language : {Language::English, Language::Japanese}) {
        const QHash<QString, bool> variants{{QStringLiteral("normal"), true}, {QStringLiteral("holo"), false}};
        const auto added = Errata::addedCards(language);
        for (auto it = added.cbegin(); it != added.cend(); ++it) {
            Errata::groupPin(language, it.key());
            for (const Errata::AddedCard &card : it.value())
                Errata::printingsFor(language, it.key(), it.key() + QLatin1Char('-') + card.localId, &variants);
        }
        Errata::printingsFor(language, QStringLiteral("base1"), QStringLiteral("base1-4"));
        Errata::printingsFor(language, QStringLiteral("sv03"), QStringLiteral("sv03-1"), &variants);
        Errata::nameOverride(language, QStringLiteral("sv03-1"));
    }
    Errata::printingRuleCount();
    Errata::addedCardCount();
    Errata::groupPinCount();
    Errata::nameCount();
    return 0;
}
