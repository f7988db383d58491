#include "collection/EntryKeys.h"

#include <iterator>

namespace pv {

QString formatEntryKey(Language language, const QString &cardId, const QString &variant,
                       const QString &edition, Condition condition, GradingCompany company,
                       const QString &gradeNote)
{
    // Joined by hand into one buffer: keys are made for every holding when a
    // large collection is indexed or sorted.
    const QString fields[] = {languageCode(language),
                              cardId,
                              variant,
                              edition.isEmpty() ? QStringLiteral("unlimited") : edition,
                              conditionKey(condition),
                              gradingCompanyKey(company),
                              gradeNote.trimmed()};
    qsizetype size = qsizetype(std::size(fields)) - 1;
    for (const QString &field : fields)
        size += field.size();
    QString key;
    key.reserve(size);
    for (size_t i = 0; i < std::size(fields); ++i) {
        if (i > 0)
            key.append(QLatin1Char('|'));
        key.append(fields[i]);
    }
    return key;
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
