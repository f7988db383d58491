#include "collection/EntryKeys.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>

namespace pv {

namespace {

constexpr size_t KeyFieldCount = 7;
constexpr QChar Separator = u'|';

Condition keyCondition(Condition condition)
{
    const bool known = int(condition) >= 0 && int(condition) <= int(Condition::Poor);
    return known ? condition : Condition::NearMint;
}

GradingCompany keyCompany(GradingCompany company)
{
    const bool known = int(company) >= 0 && int(company) <= int(GradingCompany::Other);
    return known ? company : GradingCompany::None;
}

// The fields as the texts of the key, in its order. The vocabulary's keys
// are held here.
struct KeyTexts
{
    QString language;
    QString condition;
    QString company;
    std::array<QStringView, KeyFieldCount> fields;

    explicit KeyTexts(const EntryKeyFields &key)
        : language(languageCode(key.language))
        , condition(conditionKey(key.condition))
        , company(gradingCompanyKey(key.company))
        , fields{language, key.cardId, key.variant, key.edition, condition, company, key.gradeNote}
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
                return Separator.unicode();
        }
        return -1;
    }

private:
    const std::array<QStringView, KeyFieldCount> &m_fields;
    size_t m_field = 0;
    qsizetype m_at = 0;
};

} // namespace

Language entryKeyLanguage(Language language)
{
    return language == Language::Japanese ? Language::Japanese : Language::English;
}

bool EntryKeyFields::holdsSeparator() const
{
    return cardId.contains(Separator) || variant.contains(Separator) || edition.contains(Separator)
        || gradeNote.contains(Separator);
}

EntryKeyFields entryKeyFields(Language language, QStringView cardId, QStringView variant, QStringView edition,
                              Condition condition, GradingCompany company, QStringView gradeNote)
{
    return {entryKeyLanguage(language),
            cardId,
            variant,
            edition.isEmpty() ? QStringView(u"unlimited") : edition,
            keyCondition(condition),
            keyCompany(company),
            gradeNote.trimmed()};
}

EntryKeyFields entryKeyFields(const CardEntry &entry)
{
    return entryKeyFields(entry.lang, entry.cardId, entry.variant, entry.edition, entry.condition, entry.gradeCompany,
                          entry.gradeNote);
}

std::optional<EntryKeyFields> readEntryKey(QStringView key)
{
    std::array<QStringView, KeyFieldCount> parts;
    size_t field = 0;
    qsizetype from = 0;
    for (qsizetype at = 0; at <= key.size(); ++at) {
        if (at < key.size() && key.at(at) != Separator)
            continue;
        if (field == KeyFieldCount)
            return std::nullopt;
        parts[field++] = key.mid(from, at - from);
        from = at + 1;
    }
    if (field != KeyFieldCount)
        return std::nullopt;
    EntryKeyFields fields;
    if (parts[0] == languageCode(Language::Japanese))
        fields.language = Language::Japanese;
    else if (parts[0] != languageCode(Language::English))
        return std::nullopt;
    fields.cardId = parts[1];
    fields.variant = parts[2];
    fields.edition = parts[3];
    fields.gradeNote = parts[6];
    // Texts no holding's fields give: an empty edition, a note with white
    // space around it, a condition or company the vocabulary does not name.
    if (fields.edition.isEmpty() || fields.gradeNote.trimmed().size() != fields.gradeNote.size())
        return std::nullopt;
    bool named = false;
    for (int condition = 0; !named && condition <= int(Condition::Poor); ++condition) {
        named = parts[4] == conditionKey(Condition(condition));
        fields.condition = Condition(condition);
    }
    if (!named)
        return std::nullopt;
    named = false;
    for (int company = 0; !named && company <= int(GradingCompany::Other); ++company) {
        named = parts[5] == gradingCompanyKey(GradingCompany(company));
        fields.company = GradingCompany(company);
    }
    if (!named)
        return std::nullopt;
    return fields;
}

QString formatEntryKey(const EntryKeyFields &fields)
{
    // Joined by hand into one buffer: keys are made for every holding when a
    // large collection is indexed or sorted.
    const KeyTexts texts(fields);
    qsizetype size = qsizetype(KeyFieldCount) - 1;
    for (const QStringView field : texts.fields)
        size += field.size();
    QString key;
    key.reserve(size);
    for (size_t i = 0; i < KeyFieldCount; ++i) {
        if (i > 0)
            key.append(Separator);
        key.append(texts.fields[i]);
    }
    return key;
}

QString formatEntryKey(Language language, const QString &cardId, const QString &variant, const QString &edition,
                       Condition condition, GradingCompany company, const QString &gradeNote)
{
    return formatEntryKey(entryKeyFields(language, cardId, variant, edition, condition, company, gradeNote));
}

QString entryKey(const CardEntry &entry)
{
    return formatEntryKey(entryKeyFields(entry));
}

int compareEntryKeys(const CardEntry &a, const CardEntry &b)
{
    // Fields that are the same in both leave the order to the first that is
    // not. Texts that differ before either ends decide it there; so does one
    // that ends first, unless the other goes on with the separator itself.
    // That rare case, and only it, is read out joined.
    const EntryKeyFields keyA = entryKeyFields(a);
    const EntryKeyFields keyB = entryKeyFields(b);
    const auto decide = [&keyA, &keyB](size_t field, QStringView x, QStringView y) -> std::optional<int> {
        const qsizetype common = std::min(x.size(), y.size());
        for (qsizetype i = 0; i < common; ++i)
            if (x[i] != y[i])
                return x[i].unicode() < y[i].unicode() ? -1 : 1;
        const bool last = field + 1 == KeyFieldCount;
        const int separator = last ? -1 : Separator.unicode();
        const int xNext = x.size() > common ? x[common].unicode() : separator;
        const int yNext = y.size() > common ? y[common].unicode() : separator;
        if (xNext != yNext)
            return xNext < yNext ? -1 : 1;
        const KeyTexts joinedA(keyA);
        const KeyTexts joinedB(keyB);
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
    if (keyA.language != keyB.language)
        order = decide(0, languageCode(keyA.language), languageCode(keyB.language));
    if (!order && keyA.cardId != keyB.cardId)
        order = decide(1, keyA.cardId, keyB.cardId);
    if (!order && keyA.variant != keyB.variant)
        order = decide(2, keyA.variant, keyB.variant);
    if (!order && keyA.edition != keyB.edition)
        order = decide(3, keyA.edition, keyB.edition);
    if (!order && keyA.condition != keyB.condition)
        order = decide(4, conditionKey(keyA.condition), conditionKey(keyB.condition));
    if (!order && keyA.company != keyB.company)
        order = decide(5, gradingCompanyKey(keyA.company), gradingCompanyKey(keyB.company));
    if (!order && keyA.gradeNote != keyB.gradeNote)
        order = decide(6, keyA.gradeNote, keyB.gradeNote);
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
