#include "selftest/SelfTests.h"

#include "core/CardVocabulary.h"
#include "core/Errata.h"
#include "core/NameTranslator.h"
#include "selftest/SelfTestHarness.h"

#include <QDir>

namespace pv::selftest {

void testNameTranslation()
{
    NameTranslator::load();
    check(NameTranslator::isLoaded(), QStringLiteral("the name table loads from %1 (%2 entries)")
                                          .arg(QDir::toNativeSeparators(NameTranslator::tablePath()),
                                               QString::number(NameTranslator::count())));
    if (!NameTranslator::isLoaded())
        return;

    const bool wasEnabled = NameTranslator::isEnabled();
    NameTranslator::setEnabled(true);

    const Language ja = Language::Japanese;
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("トロピウス")), "Tropius",
                QStringLiteral("a species is named outright"));
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("リザードンex")), "Charizard ex",
                QStringLiteral("a trailing ex is set aside and put back"));
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("ピカチュウ&ゼクロムGX")),
                "Pikachu & Zekrom GX", QStringLiteral("a Tag Team names both halves"));
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("アローラロコン")), "Alolan Vulpix",
                QStringLiteral("a form prefix composes with any species"));
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("ナンジャモのハラバリーex")),
                "Iono's Bellibolt ex", QStringLiteral("an owner composes with any species"));
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("ポリゴン\uFF3A")), "Porygon-Z",
                QStringLiteral("a fullwidth letter matches its plain form"));
    expectEqual(NameTranslator::translateCardName(ja, QStringLiteral("基本草エネルギー")), "Basic Grass Energy",
                QStringLiteral("an energy card is named outright"));

    const QString nonsense = QStringLiteral("あいうえお");
    const QString broken = QStringLiteral("フォークナーはトイッチです");
    check(NameTranslator::translateCardName(ja, nonsense) == nonsense,
          QStringLiteral("an untranslated name is returned unchanged"));
    check(NameTranslator::translateSetName(ja, QStringLiteral("SV1a"), nonsense) == QLatin1String("Triplet Beat"),
          QStringLiteral("a set is named by its id, whatever the API called it"));
    check(NameTranslator::translateSerieName(ja, QStringLiteral("SV"), nonsense)
              == QLatin1String("Scarlet & Violet"),
          QStringLiteral("a series is named by its id"));
    Errata::ensureLoaded();
    const QString overridden = NameTranslator::displayName(ja, QStringLiteral("VS1-005"), broken);
    check(overridden == QLatin1String("Falkner's Togetic"),
          QStringLiteral("an errata name override beats the table: %1").arg(overridden));
    check(NameTranslator::displayName(ja, QStringLiteral("SV1a-001"), QStringLiteral("リザードンex"))
              == QLatin1String("Charizard ex"),
          QStringLiteral("a card with no override falls through to the table"));
    check(NameTranslator::displayName(ja, QString(), broken) == broken,
          QStringLiteral("without a card id the broken name is returned unchanged"));
    check(NameTranslator::translateCardName(Language::English, QStringLiteral("Charizard ex"))
              == QLatin1String("Charizard ex"),
          QStringLiteral("English names are left alone"));
    check(NameTranslator::displayName(Language::English, QStringLiteral("VS1-005"), broken) == broken,
          QStringLiteral("an override never applies to English"));

    NameTranslator::setEnabled(false);
    check(NameTranslator::translateCardName(ja, QStringLiteral("リザードンex")) == QStringLiteral("リザードンex"),
          QStringLiteral("nothing is translated while the preference is off"));
    check(NameTranslator::displayName(ja, QStringLiteral("VS1-005"), broken) == broken,
          QStringLiteral("an override is suppressed with the rest while the preference is off"));

    NameTranslator::setEnabled(wasEnabled);
}

} // namespace pv::selftest
