#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "core/CardDetail.h"
#include "core/Pricing.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>

#include <cmath>

namespace pv::selftest {

namespace {

QJsonObject legacyEntry(const char *cardId, const char *localId, const char *name, const char *variant,
                        double eur, double usd)
{
    return QJsonObject{{QStringLiteral("cardId"), QString::fromUtf8(cardId)},
                       {QStringLiteral("setId"), QStringLiteral("base1")},
                       {QStringLiteral("localId"), QString::fromUtf8(localId)},
                       {QStringLiteral("name"), QString::fromUtf8(name)},
                       {QStringLiteral("lang"), QStringLiteral("en")},
                       {QStringLiteral("variant"), QString::fromUtf8(variant)},
                       {QStringLiteral("condition"), QStringLiteral("nearMint")},
                       {QStringLiteral("gradeCompany"), QStringLiteral("none")},
                       {QStringLiteral("gradeNote"), QString()},
                       {QStringLiteral("count"), 1},
                       {QStringLiteral("image"), QString()},
                       {QStringLiteral("unitValueEur"), eur},
                       {QStringLiteral("unitValueUsd"), usd}};
}

QByteArray legacyDocument()
{
    const QJsonObject root{
        {QStringLiteral("format"), QStringLiteral("mossel")},
        {QStringLiteral("version"), 1},
        {QStringLiteral("sets"), QJsonObject()},
        {QStringLiteral("history"), QJsonArray()},
        {QStringLiteral("entries"),
         QJsonArray{legacyEntry("base1-4", "4", "Charizard", "firstEdition", 100.0, 120.0),
                    legacyEntry("base1-5", "5", "Clefairy", "holo", 10.0, 12.0)}}};
    return QJsonDocument(root).toJson();
}

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

QStringList variantsFor(const QString &cardId)
{
    if (cardId == QLatin1String("base1-4"))
        return {QStringLiteral("holo")};
    return {QStringLiteral("normal"), QStringLiteral("holo")};
}

} // namespace

void testLegacyPrintingMigration()
{

    QTemporaryDir dir;
    if (!dir.isValid()) {
        check(false, QStringLiteral("a temporary directory could be made"));
        return;
    }
    const QString path = QDir(dir.path()).filePath(QStringLiteral("legacy.msl"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        check(false, QStringLiteral("the legacy document could be written"));
        return;
    }
    file.write(legacyDocument());
    file.close();

    const CollectionSerializer::ReadResult read = CollectionSerializer::read(path);
    check(read.ok && read.entries.size() == 2, QStringLiteral("a document written before the split still loads"));
    if (read.entries.size() != 2)
        return;
    const CardEntry &e0 = read.entries.at(0);
    const CardEntry &e1 = read.entries.at(1);

    check(e0.edition == QLatin1String("firstEdition"),
          QStringLiteral("a \"variant\" of \"firstEdition\" becomes the 1st Edition run"));
    check(e0.variant.isEmpty(), QStringLiteral("and its finish is left unstated rather than guessed at"));
    const QString label = entryPrintingLabel(e0);
    check(label == QLatin1String("1st Edition"), QStringLiteral("which reads as \"%1\"").arg(label));
    check(e1.variant == QLatin1String("holo") && e1.edition == QLatin1String("unlimited"),
          QStringLiteral("a plain finish becomes that finish on the Unlimited run"));

    CardDetail card;
    card.id = QStringLiteral("base1-4");
    card.pricing = QJsonObject{
        {QStringLiteral("tcgplayer"),
         QJsonObject{{QStringLiteral("holofoil"), QJsonObject{{QStringLiteral("marketPrice"), 1000.0}}},
                     {QStringLiteral("1stEditionHolofoil"),
                      QJsonObject{{QStringLiteral("marketPrice"), 4000.0}}}}}};
    const double unstated = Pricing::tcgplayerPrice(card, QString(), e0.edition);
    const double holo = Pricing::tcgplayerPrice(card, QStringLiteral("holo"), e0.edition);
    check(fuzzyEqual(unstated, 4000.0),
          QStringLiteral("an unstated finish still reads the run's own price (%1)")
              .arg(QString::number(unstated, 'g', QLocale::FloatingPointShortest)));
    check(fuzzyEqual(unstated, holo), QStringLiteral("which is what stating the holo would have given"));

    const auto stubVariantsFor = [](Language, const QString &cardId) { return variantsFor(cardId); };
    const auto stubAllVariants = [](Language, const QString &) {
        return QStringList{QStringLiteral("normal"), QStringLiteral("holo")};
    };

    Collection settled;
    for (const CardEntry &entry : read.entries)
        settled.addEntry(entry);
    const int settledRows = settled.fillMissingVariants(stubVariantsFor);
    check(settledRows == 1, QStringLiteral("one row could be settled from the card data"));
    check(settled.entries().at(0).variant == QLatin1String("holo"),
          QStringLiteral("the 1st Edition Charizard is now a 1st Edition Holo"));

    Collection ambiguous;
    CardEntry copy = e0;
    copy.cardId = QStringLiteral("base1-5");
    ambiguous.addEntry(copy);
    const int ambiguousRows = ambiguous.fillMissingVariants(stubAllVariants);
    check(ambiguousRows == 0 && ambiguous.entries().at(0).variant.isEmpty(),
          QStringLiteral("a card printed both ways keeps its finish unstated"));
}

} // namespace pv::selftest
