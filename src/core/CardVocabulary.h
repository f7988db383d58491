#pragma once

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// The fixed words every part uses for a physical card: language, edition,
// finish, condition and grading company. Storage keys are what files and
// settings keep; display names are only ever shown.
namespace pv {

enum class Language : int { English = 0, Japanese = 1 };

enum class Condition : int {
    Mint = 0,
    NearMint = 1,
    Excellent = 2,
    Good = 3,
    LightPlayed = 4,
    Played = 5,
    Poor = 6
};

enum class GradingCompany : int { None = 0, PSA = 1, BGS = 2, CGC = 3, SGC = 4, ACE = 5, Other = 6 };

// The finishes and editions a card can be had in, each in its fixed order.
struct Printings
{
    QStringList finishes;
    QStringList editions;
};

QList<Language> allLanguages();
QString languageCode(Language language);
Language languageFromCode(const QString &code, Language fallback);
QString languageDisplayName(Language language);

QStringList allEditions();
QString editionDisplayName(const QString &edition);

QStringList allFinishes();
QString finishDisplayName(const QString &finish);
bool isHoloFinish(const QString &finish);

QList<Condition> allConditions();
QString conditionKey(Condition condition);
QString conditionShortCode(Condition condition);
QString conditionDisplayName(Condition condition);
Condition conditionFromKey(const QString &key, Condition fallback);

QString gradingCompanyKey(GradingCompany company);
QString gradingCompanyDisplayName(GradingCompany company);
GradingCompany gradingCompanyFromKey(const QString &key, GradingCompany fallback);

// "finish|edition", an empty edition written as "unlimited".
QString printingKey(const QString &finish, const QString &edition);
// "1st Edition Holo", or the finish name alone for an unlimited card.
QString printingLabel(const QString &finish, const QString &edition);

// The printings a card exists in from its card data alone. variants is the
// card database's "variants" flags, or null when the record is not at hand.
Printings basePrintings(Language language, const QString &setId,
                        const QHash<QString, bool> *variants = nullptr);

} // namespace pv

Q_DECLARE_METATYPE(pv::Language)
