// The Japanese-to-English name table reader and the names composed from it.
#include "FuzzSupport.h"

#include "core/NameTranslator.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    NameTranslator::loadFile(fuzz::writeScratch(QStringLiteral("names.json"), data, size));
    NameTranslator::setEnabled(true);
    const QStringList names = {QStringLiteral("ピカチュウ"), QStringLiteral("リザードンex"),
                               QStringLiteral("ロケット団のミュウツー"), QStringLiteral("ピカチュウ&ゼクロムGX"),
                               QStringLiteral("Pikachu")};
    for (const QString &name : names) {
        NameTranslator::translateCardName(Language::Japanese, name);
        NameTranslator::displayName(Language::Japanese, QStringLiteral("SV1a-025"), name);
    }
    NameTranslator::translateSetName(Language::Japanese, QStringLiteral("SV1a"), QStringLiteral("トリプレットビート"));
    NameTranslator::translateSerieName(Language::Japanese, QStringLiteral("SV"), QStringLiteral("スカーレット&バイオレット"));
    return 0;
}
