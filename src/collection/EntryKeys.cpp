#include "collection/EntryKeys.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>

namespace pv {

namespace {

constexpr size_t KeyFieldCount = 7;

using KeyFields = std::array<QString, KeyFieldCount>;

KeyFields keyFields(Language language, const QString &cardId, const QString &variant, const QString &edition,
                    Condition condition, GradingCompany company, const QString &gradeNote)
{
    return {languageCode(language),
            cardId,
            variant,
            edition.isEmpty() ? QStringLiteral("unlimited") : edition,
            conditionKey(condition),
            gradingCompanyKey(company),
            gradeNote.trimmed()};
}

// The fields again as views, for comparing keys without making them. The
// vocabulary keys are held by the caller.
struct KeyViews
{
    QString language;
    QString condition;
    QString company;
    std::array<QStringView, KeyFieldCount> fields;

    explicit KeyViews(const CardEntry &entry)
        : language(languageCode(entry.lang))
        , condition(conditionKey(entry.condition))
        , company(gradingCompanyKey(entry.gradeCompany))
        , fields{language,
                 entry.cardId,
                 entry.variant,
                 entry.edition.isEmpty() ? QStringView(u"unlimited") : QStringView(entry.edition),
                 condition,
                 company,
                 QStringView(entry.gradeNote).trimmed()}
    {
    }
};

// Reads fields from the given one on as one text joined by "|", a code unit
// at a time; -1 at the end.
class JoinedReader
{
public:
    JoinedReader(const std::array<QStringView, KeyFieldCount> &fields, size_t from)
        : m_fields(fields)
        , m_field(from)
    {
    }

    int next()
    {
        while (m_field < KeyFieldCount) {
            const QStringView field = m_fields[m_field];
            if (m_at < field.size())
                return field.at(m_at++).unicode();
            ++m_field;
            m_at = 0;
            if (m_field < KeyFieldCount)
                return '|';
        }
        return -1;
    }

private:
    const std::array<QStringView, KeyFieldCount> &m_fields;
    size_t m_field = 0;
    qsizetype m_at = 0;
};

} // namespace

QString formatEntryKey(Language language, const QString &cardId, const QString &variant, const QString &edition,
                       Condition condition, GradingCompany company, const QString &gradeNote)
{
    // Joined by hand into one buffer: keys are made for every holding when a
    // large collection is indexed or sorted.
    const KeyFields fields = keyFields(language, cardId, variant, edition, condition, company, gradeNote);
    qsizetype size = qsizetype(KeyFieldCount) - 1;
    for (const QString &field : fields)
        size += field.size();
    QString key;
    key.reserve(size);
    for (size_t i = 0; i < KeyFieldCount; ++i) {
        if (i > 0)
            key.append(QLatin1Char('|'));
        key.append(fields[i]);
    }
    return key;
}

QString entryKey(const CardEntry &entry)
{
    return formatEntryKey(entry.lang, entry.cardId, entry.variant, entry.edition, entry.condition, entry.gradeCompany,
                          entry.gradeNote);
}

int compareEntryKeys(const CardEntry &a, const CardEntry &b)
{
    // Fields that are the same in both leave the order to the first that is
    // not. Texts that differ before either ends decide it there; so does one
    // that ends first, unless the other goes on with the separator itself.
    // That rare case, and only it, is read out joined.
    const auto decide = [&a, &b](size_t field, QStringView x, QStringView y) -> std::optional<int> {
        const qsizetype common = std::min(x.size(), y.size());
        for (qsizetype i = 0; i < common; ++i)
            if (x[i] != y[i])
                return x[i].unicode() < y[i].unicode() ? -1 : 1;
        const bool last = field + 1 == KeyFieldCount;
        const int xNext = x.size() > common ? x[common].unicode() : last ? -1 : '|';
        const int yNext = y.size() > common ? y[common].unicode() : last ? -1 : '|';
        if (xNext != yNext)
            return xNext < yNext ? -1 : 1;
        const KeyViews joinedA(a);
        const KeyViews joinedB(b);
        JoinedReader left(joinedA.fields, field);
        JoinedReader right(joinedB.fields, field);
        for (;;) {
            const int l = left.next();
            const int r = right.next();
            if (l != r)
                return l < r ? -1 : 1;
            if (l < 0)
                return 0;
        }
    };
    std::optional<int> order;
    if (a.lang != b.lang)
        order = decide(0, languageCode(a.lang), languageCode(b.lang));
    if (!order && a.cardId != b.cardId)
        order = decide(1, a.cardId, b.cardId);
    if (!order && a.variant != b.variant)
        order = decide(2, a.variant, b.variant);
    const QStringView unlimited(u"unlimited");
    const QStringView editionA = a.edition.isEmpty() ? unlimited : QStringView(a.edition);
    const QStringView editionB = b.edition.isEmpty() ? unlimited : QStringView(b.edition);
    if (!order && editionA != editionB)
        order = decide(3, editionA, editionB);
    if (!order && a.condition != b.condition)
        order = decide(4, conditionKey(a.condition), conditionKey(b.condition));
    if (!order && a.gradeCompany != b.gradeCompany)
        order = decide(5, gradingCompanyKey(a.gradeCompany), gradingCompanyKey(b.gradeCompany));
    const QStringView noteA = QStringView(a.gradeNote).trimmed();
    const QStringView noteB = QStringView(b.gradeNote).trimmed();
    if (!order && noteA != noteB)
        order = decide(6, noteA, noteB);
    return order.value_or(0);
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
