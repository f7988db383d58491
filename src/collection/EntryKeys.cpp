#include "collection/EntryKeys.h"

namespace pv {

QString formatEntryKey(Language language, const QString &cardId, const QString &variant,
                       const QString &edition, Condition condition, GradingCompany company,
                       const QString &gradeNote)
{
    // One multi-argument substitution, so a "%1" inside a field stays literal.
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(languageCode(language), cardId, variant,
             edition.isEmpty() ? QStringLiteral("unlimited") : edition, conditionKey(condition),
             gradingCompanyKey(company), gradeNote.trimmed());
}

QString entryKey(const CardEntry &entry)
{
    return formatEntryKey(entry.lang, entry.cardId, entry.variant, entry.edition, entry.condition,
                          entry.gradeCompany, entry.gradeNote);
}

QString entrySetKey(const CardEntry &entry)
{
    return setKey(entry.lang, entry.setId);
}

QString gradeLabel(const CardEntry &entry)
{
    if (entry.gradeCompany == GradingCompany::None)
        return QString();
    QString label = gradingCompanyDisplayName(entry.gradeCompany);
    const QString note = entry.gradeNote.trimmed();
    if (!note.isEmpty())
        label += QLatin1Char(' ') + note;
    return label;
}

QString entryPrintingLabel(const CardEntry &entry)
{
    return printingLabel(entry.variant, entry.edition);
}

double entryUnitPrice(const CardEntry &entry)
{
    return entry.customPriceEur > 0.0 ? entry.customPriceEur : entry.unitValueEur;
}

double entryLineValue(const CardEntry &entry)
{
    return entry.count * entryUnitPrice(entry);
}

} // namespace pv
