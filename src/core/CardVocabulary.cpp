#include "core/CardVocabulary.h"

#include <QCoreApplication>

namespace pv {

namespace {

const char *const conditionKeys[] = {"Mint", "NearMint", "Excellent", "Good",
                                     "LightPlayed", "Played", "Poor"};
const char *const conditionCodes[] = {"MT", "NM", "EX", "GD", "LP", "PL", "PO"};
const char *const conditionNames[] = {
    QT_TRANSLATE_NOOP("pv", "Mint (M)"),        QT_TRANSLATE_NOOP("pv", "Near Mint (NM)"),
    QT_TRANSLATE_NOOP("pv", "Excellent (EX)"),  QT_TRANSLATE_NOOP("pv", "Good (GD)"),
    QT_TRANSLATE_NOOP("pv", "Light Played (LP)"), QT_TRANSLATE_NOOP("pv", "Played (PL)"),
    QT_TRANSLATE_NOOP("pv", "Poor (PO)")};
const char *const companyKeys[] = {"None", "PSA", "BGS", "CGC", "SGC", "ACE", "Other"};
// The keys again as strings that cost no allocation to hand out: every
// holding's merge key is made of them.
const QString conditionKeyTexts[] = {QStringLiteral("Mint"),        QStringLiteral("NearMint"),
                                     QStringLiteral("Excellent"),   QStringLiteral("Good"),
                                     QStringLiteral("LightPlayed"), QStringLiteral("Played"),
                                     QStringLiteral("Poor")};
const QString companyKeyTexts[] = {QStringLiteral("None"), QStringLiteral("PSA"), QStringLiteral("BGS"),
                                   QStringLiteral("CGC"),  QStringLiteral("SGC"), QStringLiteral("ACE"),
                                   QStringLiteral("Other")};
constexpr int conditionCount = 7;
constexpr int companyCount = 7;

QString tr(const char *text)
{
    return QCoreApplication::translate("pv", text);
}

bool validCondition(Condition c)
{
    return int(c) >= 0 && int(c) < conditionCount;
}

bool validCompany(GradingCompany c)
{
    return int(c) >= 0 && int(c) < companyCount;
}

const QString unlimited = QStringLiteral("unlimited");
const QString firstEdition = QStringLiteral("firstEdition");
const QString shadowless = QStringLiteral("shadowless");

} // namespace

QList<Language> allLanguages()
{
    return {Language::English, Language::Japanese};
}

QString languageCode(Language language)
{
    return language == Language::Japanese ? QStringLiteral("ja") : QStringLiteral("en");
}

Language languageFromCode(const QString &code, Language fallback)
{
    const QString c = code.trimmed().toLower();
    if (c == QLatin1String("en"))
        return Language::English;
    if (c == QLatin1String("ja") || c == QLatin1String("jp"))
        return Language::Japanese;
    return fallback;
}

QString languageDisplayName(Language language)
{
    switch (language) {
    case Language::English: return tr(QT_TRANSLATE_NOOP("pv", "English"));
    case Language::Japanese: return tr(QT_TRANSLATE_NOOP("pv", "Japanese"));
    }
    return QString();
}

QStringList allEditions()
{
    return {unlimited, firstEdition, shadowless};
}

QString editionDisplayName(const QString &edition)
{
    if (edition.isEmpty() || edition == unlimited)
        return tr(QT_TRANSLATE_NOOP("pv", "Unlimited"));
    if (edition == firstEdition)
        return tr(QT_TRANSLATE_NOOP("pv", "1st Edition"));
    if (edition == shadowless)
        return tr(QT_TRANSLATE_NOOP("pv", "Shadowless"));
    return edition;
}

QStringList allFinishes()
{
    return {QStringLiteral("normal"), QStringLiteral("holo"), QStringLiteral("reverse")};
}

QString finishDisplayName(const QString &finish)
{
    if (finish.isEmpty())
        return tr(QT_TRANSLATE_NOOP("pv", "Not stated"));
    if (finish == QLatin1String("normal"))
        return tr(QT_TRANSLATE_NOOP("pv", "Normal"));
    if (finish == QLatin1String("holo"))
        return tr(QT_TRANSLATE_NOOP("pv", "Holo"));
    if (finish == QLatin1String("reverse"))
        return tr(QT_TRANSLATE_NOOP("pv", "Reverse Holo"));
    return finish;
}

bool isHoloFinish(const QString &finish)
{
    return finish == QLatin1String("holo") || finish == QLatin1String("reverse");
}

QList<Condition> allConditions()
{
    QList<Condition> list;
    for (int i = 0; i < conditionCount; ++i)
        list.append(Condition(i));
    return list;
}

QString conditionKey(Condition condition)
{
    return conditionKeyTexts[validCondition(condition) ? int(condition) : int(Condition::NearMint)];
}

QString conditionShortCode(Condition condition)
{
    return QString::fromLatin1(validCondition(condition) ? conditionCodes[int(condition)] : "NM");
}

QString conditionDisplayName(Condition condition)
{
    return validCondition(condition) ? tr(conditionNames[int(condition)]) : QString();
}

Condition conditionFromKey(const QString &key, Condition fallback)
{
    for (int i = 0; i < conditionCount; ++i) {
        if (key.compare(QLatin1String(conditionKeys[i]), Qt::CaseInsensitive) == 0)
            return Condition(i);
    }
    return fallback;
}

QString gradingCompanyKey(GradingCompany company)
{
    return companyKeyTexts[validCompany(company) ? int(company) : int(GradingCompany::None)];
}

QString gradingCompanyDisplayName(GradingCompany company)
{
    if (company == GradingCompany::None)
        return tr(QT_TRANSLATE_NOOP("pv", "Ungraded"));
    return gradingCompanyKey(company);
}

GradingCompany gradingCompanyFromKey(const QString &key, GradingCompany fallback)
{
    for (int i = 0; i < companyCount; ++i) {
        if (key.compare(QLatin1String(companyKeys[i]), Qt::CaseInsensitive) == 0)
            return GradingCompany(i);
    }
    return fallback;
}

QString printingKey(const QString &finish, const QString &edition)
{
    return finish + QLatin1Char('|') + (edition.isEmpty() ? unlimited : edition);
}

QString printingLabel(const QString &finish, const QString &edition)
{
    if (edition.isEmpty() || edition == unlimited)
        return finishDisplayName(finish);
    if (finish.isEmpty())
        return editionDisplayName(edition);
    return editionDisplayName(edition) + QLatin1Char(' ') + finishDisplayName(finish);
}

Printings basePrintings(Language language, const QString &setId, const QHash<QString, bool> *variants)
{
    const QString set = setId.toLower();
    const bool haveFlags = variants && !variants->isEmpty();
    Printings result;

    for (const QString &finish : allFinishes()) {
        if (!haveFlags || variants->value(finish, false))
            result.finishes.append(finish);
    }

    result.editions.append(unlimited);
    if (haveFlags) {
        if (variants->value(firstEdition, false))
            result.editions.append(firstEdition);
    } else if (language != Language::English || set.startsWith(QLatin1String("base"))
               || set.startsWith(QLatin1String("gym")) || set.startsWith(QLatin1String("neo"))) {
        result.editions.append(firstEdition);
    }
    if (language == Language::English && set == QLatin1String("base1"))
        result.editions.append(shadowless);

    if (result.finishes.isEmpty())
        result.finishes.append(QStringLiteral("normal"));
    return result;
}

} // namespace pv
