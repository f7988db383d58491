#include "collection/CollectionSerializer.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "collection/JsonTextWriter.h"
#include "collection/JsonTree.h"
#include "core/CardKeys.h"
#include "core/FileSaving.h"
#include "core/Log.h"
#include "core/Pricing.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonParseError>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <utility>

namespace pv::CollectionSerializer {

namespace {

constexpr int kCurrentVersion = 5;
const QString kFormatTag = QStringLiteral("tallowk");
const QString kLegacyFormatTag = QStringLiteral("mossel");
// A save measures what a holding takes from this many of the first, and
// leaves room for the rest with this much to spare.
constexpr qsizetype kSampledEntries = 256;
constexpr double kEntryMargin = 1.25;
// The room kept beyond the estimate, which is measured again when less is
// left.
constexpr qsizetype kLowRoom = 64 * 1024;

QString tr(const char *text)
{
    return QCoreApplication::translate("CollectionSerializer", text);
}

// The kinds of warning a read gives.
enum class Warn {
    NoCardId,
    Condition,
    Company,
    Count,
    CustomPrice,
    UnitValue,
    PointDate,
    PointTotal,
    Breakdown,
    NoBinderId,
    Kinds
};

// Collects the warnings of a read: the first ones as texts, and per kind its
// first text and a count. A text is made only when it is kept, so a file
// with millions of bad items costs a counter, not millions of strings.
class Warnings
{
public:
    explicit Warnings(ReadResult &result)
        : m_result(&result)
    {
        m_kindRow.fill(-1);
    }
    explicit Warnings(QStringList &list)
        : m_list(&list)
    {
        m_kindRow.fill(-1);
    }

    template <typename MakeText>
    void add(Warn kind, MakeText makeText)
    {
        if (m_list) {
            m_list->append(makeText());
            return;
        }
        ReadResult &result = *m_result;
        ++result.warningCount;
        int &row = m_kindRow[size_t(kind)];
        const bool listed = result.warnings.size() < MaxListedWarnings;
        if (row >= 0 && !listed) {
            ++result.warningKinds[row].count;
            return;
        }
        QString text = makeText();
        if (row < 0) {
            row = int(result.warningKinds.size());
            result.warningKinds.append(WarningKind{text, 1});
        } else {
            ++result.warningKinds[row].count;
        }
        if (listed)
            result.warnings.append(std::move(text));
    }

private:
    ReadResult *m_result = nullptr;
    QStringList *m_list = nullptr;
    std::array<int, size_t(Warn::Kinds)> m_kindRow;
};

// A text from the file as a warning quotes it: long ones cut short.
QString quoted(const QString &text)
{
    constexpr int kLongest = 60;
    return text.size() <= kLongest ? text : text.left(kLongest) + QChar(0x2026);
}

// A value from the file as a warning names it.
QString shownValue(const JsonValueRef &value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (number == std::floor(number) && std::abs(number) < 1e15)
            return QString::number(number, 'f', 0);
        return QString::number(number, 'g', QLocale::FloatingPointShortest);
    }
    if (value.isString())
        return QLatin1Char('"') + quoted(value.toString()) + QLatin1Char('"');
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isNull())
        return QStringLiteral("null");
    return value.isArray() ? QStringLiteral("[...]") : QStringLiteral("{...}");
}

// A count as the quantity editor takes it: a whole number from 1 to
// MaxEntryCount. Anything else present in the file (0, -5, "7", 1e12) is
// corrected, with a warning.
int readCount(const JsonValueRef &value, const QString &cardId, Warnings *warnings)
{
    if (value.isUndefined())
        return 1;
    double number = value.toDouble(std::nan(""));
    if (value.isString()) {
        bool ok = false;
        number = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            number = std::nan("");
    }
    int count = 1;
    if (std::isfinite(number) && number == std::floor(number))
        count = int(std::clamp(number, 1.0, double(MaxEntryCount)));
    if (warnings && !(value.isDouble() && number == count)) {
        warnings->add(Warn::Count, [&] {
            return tr("Unusable count %1 on %2, read as %3.").arg(shownValue(value), quoted(cardId)).arg(count);
        });
    }
    return count;
}

// A price from the file: a number from 0 to the highest price a card can
// have. Anything else present (negative, too large, not a number) reads as
// no price, with a warning; a 0 is no price already.
double readPrice(const JsonValueRef &value, Warn kind, const QString &cardId, Warnings *warnings)
{
    if (value.isUndefined())
        return 0.0;
    const double price = value.toDouble(std::nan(""));
    if (Pricing::isStorablePrice(price))
        return price;
    if (warnings) {
        warnings->add(kind, [&] {
            return (kind == Warn::CustomPrice ? tr("Ignored the custom price %1 on %2.")
                                              : tr("Ignored the unit value %1 on %2."))
                .arg(shownValue(value), quoted(cardId));
        });
    }
    return 0.0;
}

// Elements of an array and members of an object; a value of another kind
// has none, as the file's readers take it.
int elementCount(const JsonValueRef &value)
{
    return value.isArray() ? value.size() : 0;
}

// The members of an object in file order; of a repeated name only the last
// member counts, as in a QJsonObject.
std::vector<std::pair<QString, JsonValueRef>> lastMembers(const JsonValueRef &object)
{
    std::vector<std::pair<QString, JsonValueRef>> members = object.members();
    QSet<QString> seen;
    seen.reserve(qsizetype(members.size()));
    auto kept = members.end();
    for (auto it = members.end(); it != members.begin();) {
        --it;
        if (seen.contains(it->first))
            continue;
        seen.insert(it->first);
        if (--kept != it)
            *kept = std::move(*it);
    }
    members.erase(members.begin(), kept);
    return members;
}

QString text(const JsonValueRef &object, QLatin1String key)
{
    return object.value(key).toString();
}

// Qt's ISO form drops milliseconds; keep them when there are any so a saved
// price time reads back as it was.
QString isoDateTime(const QDateTime &time)
{
    // Qt's ISO form, "2026-03-01T12:00:00Z" (milliseconds before the Z when
    // there are any), put together here: Qt builds it with a formatted print
    // for every part, which took a fifth of a save.
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    const int year = date.year();
    if (year < 1 || year > 9999 || !clock.isValid())
        return utc.toString(clock.msec() != 0 ? Qt::ISODateWithMs : Qt::ISODate);
    char text[24];
    char *p = text;
    const auto put = [&p](int value, int digits) {
        for (int place = digits - 1; place >= 0; --place, value /= 10)
            p[place] = char('0' + value % 10);
        p += digits;
    };
    put(year, 4);
    *p++ = '-';
    put(date.month(), 2);
    *p++ = '-';
    put(date.day(), 2);
    *p++ = 'T';
    put(clock.hour(), 2);
    *p++ = ':';
    put(clock.minute(), 2);
    *p++ = ':';
    put(clock.second(), 2);
    if (clock.msec() != 0) {
        *p++ = '.';
        put(clock.msec(), 3);
    }
    *p++ = 'Z';
    return QString::fromLatin1(text, p - text);
}

// The names of a keyed table in the order QJsonObject keeps its members.
template <typename Table>
QStringList sortedKeys(const Table &table)
{
    QStringList keys = table.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

template <typename List>
void writeIfNotEmpty(JsonTextWriter &out, QLatin1String key, const List &value)
{
    if (!value.isEmpty())
        out.value(key, value);
}

// Reading a large file spends most of its time on the entries; the helpers
// below take the common exact forms first and fall back to the general
// parsers for anything else.

Language readLanguage(const JsonValueRef &code)
{
    static const JsonNameSet common{"en", "ja"};
    switch (code.wordIndex(common)) {
    case 0: return Language::English;
    case 1: return Language::Japanese;
    default: return languageFromCode(code.toString(), Language::English);
    }
}

// Words as the program writes them, told apart by a value's bytes without
// first making a string of it.
struct Vocabulary
{
    explicit Vocabulary(const QStringList &list)
        : words(list)
        , names(list)
    {
    }

    // The position of the word the value spells exactly, else -1.
    int indexOf(const JsonValueRef &value) const { return value.wordIndex(names); }

    // The value's text; the shared word when it spells one.
    QString text(const JsonValueRef &value) const
    {
        const int index = indexOf(value);
        return index >= 0 ? words.at(index) : value.toString();
    }

    QStringList words;
    JsonNameSet names;
};

const Vocabulary &conditionKeys()
{
    static const Vocabulary keys([] {
        QStringList list;
        for (Condition condition : allConditions())
            list.append(conditionKey(condition));
        return list;
    }());
    return keys;
}

const Vocabulary &companyKeys()
{
    static const Vocabulary keys([] {
        QStringList list;
        for (int company = 0; company <= int(GradingCompany::Other); ++company)
            list.append(gradingCompanyKey(static_cast<GradingCompany>(company)));
        return list;
    }());
    return keys;
}

// The finishes and print runs the program writes, shared by every entry
// that names one rather than copied into each.
const Vocabulary &printingWords()
{
    static const Vocabulary words(allFinishes()
                                  + QStringList{QStringLiteral("unlimited"), QStringLiteral("firstEdition"),
                                                QStringLiteral("shadowless")});
    return words;
}

int digitsAt(const QString &text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "2026-03-01T12:00:00Z", with or without ".123" before the "Z", is what this
// program writes; any other ISO form goes through QDateTime's parser.
QDateTime readTimestamp(const QString &text)
{
    const qsizetype n = text.size();
    if ((n == 20 || n == 24) && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u'T'
        && text.at(13) == u':' && text.at(16) == u':' && text.at(n - 1) == u'Z'
        && (n == 20 || text.at(19) == u'.')) {
        const int parts[] = {digitsAt(text, 0, 4),  digitsAt(text, 5, 2),  digitsAt(text, 8, 2),
                             digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2),
                             n == 24 ? digitsAt(text, 20, 3) : 0};
        const QDate date(parts[0], parts[1], parts[2]);
        const QTime time(parts[3], parts[4], parts[5], parts[6]);
        if (std::all_of(std::begin(parts), std::end(parts), [](int part) { return part >= 0; })
            && date.isValid() && time.isValid())
            return QDateTime(date, time, Qt::UTC);
    }
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? time.toUTC() : QDateTime();
}

// The legacy layout kept a print run ("firstEdition", "shadowless") in the
// finish member; entries without a text "edition" are split here.
void readPrinting(const JsonValueRef &variantValue, const JsonValueRef &edition, CardEntry &entry)
{
    const QString variant = printingWords().text(variantValue);
    if (edition.isString()) {
        entry.variant = variant;
        entry.edition = printingWords().text(edition);
    } else if (variant == QLatin1String("firstEdition") || variant == QLatin1String("shadowless")) {
        entry.edition = variant;
        entry.variant.clear();
    } else if (variant.isEmpty()) {
        entry.variant = QStringLiteral("normal");
        entry.edition = QStringLiteral("unlimited");
    } else {
        entry.variant = variant;
        entry.edition = QStringLiteral("unlimited");
    }
}

// "2026-08-03", or a legacy month "2026-08" read as its first day. Only the
// years the writer can write back (1 to 9999) are read.
QDate readPointDate(const QString &dateText)
{
    const QStringList parts = dateText.split(QLatin1Char('-'));
    if (parts.size() == 3)
        return QDate::fromString(dateText, Qt::ISODate);
    if (parts.size() == 2) {
        bool yearOk = false;
        bool monthOk = false;
        const int year = parts.at(0).toInt(&yearOk, 10);
        const int month = parts.at(1).toInt(&monthOk, 10);
        if (yearOk && monthOk && year >= 1 && year <= 9999)
            return QDate(year, month, 1);
    }
    return QDate();
}

void readBreakdown(const JsonValueRef &object, const QString &dateText, HistoryPoint &point, Warnings &warnings)
{
    for (const auto &[key, pair] : lastMembers(object)) {
        if (elementCount(pair) < 2) {
            const QString &memberName = key; // a lambda may not capture a structured binding
            warnings.add(Warn::Breakdown, [&] {
                return tr("Skipped an unreadable set breakdown for \"%1\" in the history point of %2.")
                    .arg(quoted(memberName), quoted(dateText));
            });
            continue;
        }
        const double eur = pair.at(0).toDouble(0.0);
        if (!(eur > 0.0) || !isStorableHistoryEur(eur))
            continue;
        point.sets.insert(key, HistorySetValue{eur, pair.at(1).toInt64(0)});
    }
}

// A figure as the file stores it. JSON has no infinity or NaN: such a figure
// never gets this far, and should one, it is written as no figure at all
// rather than as a null the reader would refuse.
double writtenFigure(double figure, const char *what, const QString &owner)
{
    if (std::isfinite(figure))
        return figure;
    Log::warn(QStringLiteral("file"),
              tr("Saved the unusable %1 %2 of %3 as 0.").arg(QLatin1String(what), QString::number(figure), owner));
    return 0.0;
}

void writeHistoryPoint(JsonTextWriter &out, const HistoryPoint &point)
{
    out.value(QLatin1String("cards"), point.cards);
    out.value(QLatin1String("date"), point.date.toString(Qt::ISODate));
    if (!point.sets.isEmpty()) {
        out.beginObject(QLatin1String("sets"));
        for (const QString &key : sortedKeys(point.sets)) {
            const HistorySetValue &value = point.sets.find(key).value();
            out.beginArray(key);
            out.element(writtenFigure(value.eur, "set value", key));
            out.element(value.cards);
            out.endArray();
        }
        out.endObject();
    }
    out.value(QLatin1String("totalEur"), writtenFigure(point.totalEur, "total", point.date.toString(Qt::ISODate)));
}

ReadResult failure(const QString &message)
{
    ReadResult result;
    result.error = message;
    return result;
}

ReadResult tooLarge(const QString &path, qint64 size)
{
    const QLocale locale;
    const auto shown = [&](qint64 bytes) {
        return locale.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    };
    return failure(tr("%1 is too large to be a Tallowmerick collection file (%2; the limit is %3).")
                       .arg(path, shown(size), shown(MaxFileSize)));
}

// Room for the text written after the holdings, a little more than it
// takes: history points, their sets, the set records and the label style.
qsizetype textAfterEntries(const CollectionContents &collection)
{
    // A text takes three bytes a character at most, escapes aside.
    qsizetype bytes = 16 * 1024;
    for (const HistoryPoint &point : collection.history) {
        bytes += 256;
        for (auto it = point.sets.cbegin(); it != point.sets.cend(); ++it)
            bytes += 160 + 3 * it.key().size();
    }
    const QHash<QString, SetRecord> &records = collection.sets;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const SetRecord &record = it.value();
        const qsizetype texts = it.key().size() + record.id.size() + record.name.size() + record.logo.size()
            + record.serie.size() + record.symbol.size();
        bytes += 512 + 3 * texts;
    }
    return bytes;
}

// The first byte of the file past one byte order mark and the blanks of
// JSON, looked for in its first MaxBlankStart bytes, a piece at a time with
// nothing kept; -1 when there is none there.
int firstSignificantByte(QFile &file)
{
    constexpr qint64 kPiece = 4096;
    for (qint64 seen = 0; seen < MaxBlankStart; seen += kPiece) {
        const QByteArray piece = file.read(kPiece);
        if (piece.isEmpty())
            return -1;
        qsizetype i = seen == 0 && piece.startsWith("\xef\xbb\xbf") ? 3 : 0;
        for (; i < piece.size(); ++i) {
            const char c = piece.at(i);
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                return uchar(c);
        }
    }
    return -1;
}

} // namespace

// ---------------------------------------------------------------- building blocks

QStringList readStringList(const JsonValueRef &value)
{
    QStringList list;
    for (const JsonValueRef &element : value.elements()) {
        const QString s = element.toString();
        if (!s.isEmpty())
            list.append(s);
    }
    return list;
}

namespace {

// What reading one entry after another shares: the texts many entries
// repeat, and the price time last read (a refresh gives all the same one).
struct EntryReading
{
    JsonStringPool pool;
    QString lastUpdatedText;
    QDateTime lastUpdated;
};

CardEntry readEntry(const JsonValueRef &object, Warnings *warnings, EntryReading &reading)
{
    enum Member {
        CardId, SetId, LocalId, Name, Lang, Variant, Edition, ConditionKey, GradeCompany, GradeNote, Count,
        Image, Rarity, DexId, UnitValueEur, UnitValueUsd, Notes, CustomPriceEur, PrintLabel, PriceUpdated,
        MemberCount
    };
    static const JsonNameSet names{"cardId", "setId", "localId", "name", "lang", "variant", "edition",
                                   "condition", "gradeCompany", "gradeNote", "count", "image", "rarity",
                                   "dexId", "unitValueEur", "unitValueUsd", "notes", "customPriceEur",
                                   "printLabel", "priceUpdated"};
    Q_ASSERT(names.size() == MemberCount);
    JsonValueRef member[MemberCount];
    object.pick(names, member);

    CardEntry entry;
    entry.cardId = member[CardId].toString();
    if (entry.cardId.isEmpty())
        return entry; // skipped by the caller; nothing else of it is worth a warning
    entry.setId = reading.pool.text(member[SetId]);
    entry.localId = reading.pool.text(member[LocalId]);
    entry.name = member[Name].toString();
    entry.lang = readLanguage(member[Lang]);
    readPrinting(member[Variant], member[Edition], entry);

    const int condition = conditionKeys().indexOf(member[ConditionKey]);
    if (condition >= 0) {
        entry.condition = static_cast<Condition>(condition);
    } else {
        const QString conditionText = member[ConditionKey].toString();
        entry.condition = conditionFromKey(conditionText, Condition::NearMint);
        if (!conditionText.isEmpty()
            && conditionText.compare(conditionKey(entry.condition), Qt::CaseInsensitive) != 0 && warnings) {
            warnings->add(Warn::Condition, [&] {
                return tr("Unknown condition \"%1\" on %2, read as %3.")
                    .arg(quoted(conditionText), quoted(entry.cardId), conditionDisplayName(entry.condition));
            });
        }
    }
    const int company = companyKeys().indexOf(member[GradeCompany]);
    if (company >= 0) {
        entry.gradeCompany = static_cast<GradingCompany>(company);
    } else {
        const QString companyText = member[GradeCompany].toString();
        entry.gradeCompany = gradingCompanyFromKey(companyText, GradingCompany::None);
        if (!companyText.isEmpty()
            && companyText.compare(gradingCompanyKey(entry.gradeCompany), Qt::CaseInsensitive) != 0
            && warnings) {
            warnings->add(Warn::Company, [&] {
                return tr("Unknown grading company \"%1\" on %2, read as %3.")
                    .arg(quoted(companyText), quoted(entry.cardId), gradingCompanyDisplayName(entry.gradeCompany));
            });
        }
    }

    entry.gradeNote = member[GradeNote].toString();
    entry.count = readCount(member[Count], entry.cardId, warnings);
    entry.image = member[Image].toString();
    entry.rarity = reading.pool.text(member[Rarity]);
    const int dexId = member[DexId].toInt(0);
    entry.dexId = dexId < 1 ? 0 : dexId;
    entry.unitValueEur = readPrice(member[UnitValueEur], Warn::UnitValue, entry.cardId, warnings);
    entry.unitValueUsd = readPrice(member[UnitValueUsd], Warn::UnitValue, entry.cardId, warnings);
    entry.notes = member[Notes].toString();
    entry.customPriceEur = readPrice(member[CustomPriceEur], Warn::CustomPrice, entry.cardId, warnings);
    entry.printLabel = member[PrintLabel].toBool(false);
    const QString updated = reading.pool.text(member[PriceUpdated]);
    if (!updated.isEmpty()) {
        if (updated != reading.lastUpdatedText) {
            reading.lastUpdatedText = updated;
            reading.lastUpdated = readTimestamp(updated);
        }
        entry.priceUpdated = reading.lastUpdated;
    }
    return entry;
}

} // namespace

CardEntry readEntry(const JsonValueRef &object, QStringList *warnings)
{
    EntryReading reading;
    if (!warnings)
        return readEntry(object, nullptr, reading);
    Warnings collected(*warnings);
    return readEntry(object, &collected, reading);
}

void writeEntry(JsonTextWriter &out, const CardEntry &entry)
{
    out.value(QLatin1String("cardId"), entry.cardId);
    out.value(QLatin1String("condition"), conditionKey(entry.condition));
    out.value(QLatin1String("count"), entry.count);
    if (entry.customPriceEur > 0.0)
        out.value(QLatin1String("customPriceEur"), writtenFigure(entry.customPriceEur, "custom price", entry.cardId));
    if (entry.dexId > 0)
        out.value(QLatin1String("dexId"), entry.dexId);
    out.value(QLatin1String("edition"), entry.edition);
    out.value(QLatin1String("gradeCompany"), gradingCompanyKey(entry.gradeCompany));
    out.value(QLatin1String("gradeNote"), entry.gradeNote);
    out.value(QLatin1String("image"), entry.image);
    out.value(QLatin1String("lang"), languageCode(entry.lang));
    out.value(QLatin1String("localId"), entry.localId);
    out.value(QLatin1String("name"), entry.name);
    writeIfNotEmpty(out, QLatin1String("notes"), entry.notes);
    if (entry.priceUpdated.isValid())
        out.value(QLatin1String("priceUpdated"), isoDateTime(entry.priceUpdated));
    if (entry.printLabel)
        out.value(QLatin1String("printLabel"), true);
    writeIfNotEmpty(out, QLatin1String("rarity"), entry.rarity);
    out.value(QLatin1String("setId"), entry.setId);
    out.value(QLatin1String("unitValueEur"), writtenFigure(entry.unitValueEur, "unit value", entry.cardId));
    out.value(QLatin1String("unitValueUsd"), writtenFigure(entry.unitValueUsd, "unit value", entry.cardId));
    out.value(QLatin1String("variant"), entry.variant);
}

void writeEntries(JsonTextWriter &out, const QList<CardEntry> &entries, qsizetype afterBytes)
{
    // Once the first holdings show what one takes in this collection, the
    // buffer gets room for the rest and for afterBytes; it is measured again
    // each time the holdings written double, and whenever that room runs
    // low because later holdings run longer. A buffer that runs short
    // doubles instead, copying all it holds.
    const qsizetype start = out.size();
    qsizetype measuredRow = 0;
    qsizetype measuredSize = start;
    qsizetype measureAt = kSampledEntries;
    for (qsizetype row = 0; row < entries.size(); ++row) {
        const bool low = row > kSampledEntries && out.capacity() - out.size() < afterBytes + kLowRoom;
        if (row == measureAt || low) {
            // What a holding took, all told or lately, whichever is more.
            const double overall = double(out.size() - start) / double(row);
            const double lately = double(out.size() - measuredSize) / double(row - measuredRow);
            const double rest = std::max(overall, lately) * double(entries.size() - row) * kEntryMargin;
            out.reserve(out.size() + qsizetype(rest) + afterBytes + kLowRoom);
            measuredRow = row;
            measuredSize = out.size();
            measureAt = 2 * row;
        }
        out.beginObject();
        writeEntry(out, entries.at(row));
        out.endObject();
    }
}

SetRecord readSet(const QString &memberName, const JsonValueRef &object)
{
    SetRecord record;
    record.id = text(object, QLatin1String("id"));
    record.name = text(object, QLatin1String("name"));
    const KeyParts key = parseSetKey(memberName);
    if (key.hasLanguage) {
        record.language = key.language;
        if (record.id.isEmpty())
            record.id = key.id;
    } else {
        record.language = languageFromCode(text(object, QLatin1String("lang")), Language::English);
    }
    record.serie = text(object, QLatin1String("serie"));
    const QString released = text(object, QLatin1String("releaseDate"));
    if (!released.isEmpty())
        record.releaseDate = QDate::fromString(released, Qt::ISODate);
    if (object.contains(QLatin1String("order")))
        record.order = object.value(QLatin1String("order")).toInt(0);
    record.logo = text(object, QLatin1String("logo"));
    record.symbol = text(object, QLatin1String("symbol"));
    record.officialCardCount = object.value(QLatin1String("officialCardCount")).toInt(0);
    record.totalCardCount = object.value(QLatin1String("totalCardCount")).toInt(0);
    return record;
}

void writeSet(JsonTextWriter &out, const SetRecord &record)
{
    out.value(QLatin1String("id"), record.id);
    out.value(QLatin1String("lang"), languageCode(record.language));
    writeIfNotEmpty(out, QLatin1String("logo"), record.logo);
    writeIfNotEmpty(out, QLatin1String("name"), record.name); // none is invented
    if (record.officialCardCount > 0)
        out.value(QLatin1String("officialCardCount"), record.officialCardCount);
    if (record.order != SetRecord::UnsetOrder)
        out.value(QLatin1String("order"), record.order);
    if (record.releaseDate.isValid())
        out.value(QLatin1String("releaseDate"), record.releaseDate.toString(Qt::ISODate));
    writeIfNotEmpty(out, QLatin1String("serie"), record.serie);
    writeIfNotEmpty(out, QLatin1String("symbol"), record.symbol);
    if (record.totalCardCount > 0)
        out.value(QLatin1String("totalCardCount"), record.totalCardCount);
}

BinderRule readBinderRule(const JsonValueRef &object)
{
    BinderRule rule;
    rule.setId = text(object, QLatin1String("setId"));
    rule.serieId = text(object, QLatin1String("serieId"));
    rule.rarities = readStringList(object.value(QLatin1String("rarities")));
    rule.name = text(object, QLatin1String("name"));
    const JsonValueRef dexIds = object.value(QLatin1String("dexIds"));
    for (const JsonValueRef &element : dexIds.elements()) {
        const int dexId = element.toInt(0);
        if (dexId > 0)
            rule.dexIds.append(dexId);
    }
    return rule;
}

void writeBinderRule(JsonTextWriter &out, const BinderRule &rule)
{
    writeIfNotEmpty(out, QLatin1String("dexIds"), rule.dexIds);
    writeIfNotEmpty(out, QLatin1String("name"), rule.name);
    writeIfNotEmpty(out, QLatin1String("rarities"), rule.rarities);
    writeIfNotEmpty(out, QLatin1String("serieId"), rule.serieId);
    writeIfNotEmpty(out, QLatin1String("setId"), rule.setId);
}

Binder readBinder(const JsonValueRef &object)
{
    Binder binder;
    binder.id = text(object, QLatin1String("id"));
    binder.name = text(object, QLatin1String("name"));
    binder.lang = languageFromCode(text(object, QLatin1String("lang")), Language::English);
    binder.columns = qBound(1, object.value(QLatin1String("columns")).toInt(3), 8);
    binder.rows = qBound(1, object.value(QLatin1String("rows")).toInt(3), 8);
    binder.showMissing = object.value(QLatin1String("showMissing")).toBool(true);
    const JsonValueRef rules = object.value(QLatin1String("rules"));
    for (const JsonValueRef &element : rules.elements()) {
        BinderRule rule = readBinderRule(element);
        if (!rule.isEmpty())
            binder.rules.append(std::move(rule));
    }
    binder.added = readStringList(object.value(QLatin1String("added")));
    binder.removed = readStringList(object.value(QLatin1String("removed")));
    binder.order = readStringList(object.value(QLatin1String("order")));
    binder.hiddenRarities = readStringList(object.value(QLatin1String("hiddenRarities")));
    binder.topValue = std::max(object.value(QLatin1String("topValue")).toInt(0), 0);
    return binder;
}

void writeBinder(JsonTextWriter &out, const Binder &binder)
{
    writeIfNotEmpty(out, QLatin1String("added"), binder.added);
    out.value(QLatin1String("columns"), binder.columns);
    writeIfNotEmpty(out, QLatin1String("hiddenRarities"), binder.hiddenRarities);
    out.value(QLatin1String("id"), binder.id);
    out.value(QLatin1String("lang"), languageCode(binder.lang));
    out.value(QLatin1String("name"), binder.name);
    writeIfNotEmpty(out, QLatin1String("order"), binder.order);
    writeIfNotEmpty(out, QLatin1String("removed"), binder.removed);
    out.value(QLatin1String("rows"), binder.rows);
    out.beginArray(QLatin1String("rules"));
    for (const BinderRule &rule : binder.rules) {
        out.beginObject();
        writeBinderRule(out, rule);
        out.endObject();
    }
    out.endArray();
    out.value(QLatin1String("showMissing"), binder.showMissing);
    if (binder.topValue > 0)
        out.value(QLatin1String("topValue"), binder.topValue);
}

LabelStyle readLabelStyle(const JsonValueRef &object)
{
    LabelStyle style;
    const bool custom = text(object, QLatin1String("template"))
                            .trimmed()
                            .compare(QLatin1String("custom"), Qt::CaseInsensitive)
        == 0;
    style.sheetTemplate = custom ? LabelStyle::Custom : LabelStyle::Avery8195;
    if (custom) {
        const JsonValueRef sheet = object.value(QLatin1String("sheet"));
        const LabelSheetGeometry preset = defaultLabelSheetGeometry();
        LabelSheetGeometry &g = style.geometry;
        const bool a4 = text(sheet, QLatin1String("pageSize"))
                            .trimmed()
                            .compare(QLatin1String("a4"), Qt::CaseInsensitive)
            == 0;
        g.pageSize = a4 ? LabelSheetGeometry::A4 : LabelSheetGeometry::Letter;
        g.columns = sheet.value(QLatin1String("columns")).toInt(preset.columns);
        g.rows = sheet.value(QLatin1String("rows")).toInt(preset.rows);
        g.labelWidthIn = sheet.value(QLatin1String("labelWidthIn")).toDouble(preset.labelWidthIn);
        g.labelHeightIn = sheet.value(QLatin1String("labelHeightIn")).toDouble(preset.labelHeightIn);
        g.marginLeftIn = sheet.value(QLatin1String("marginLeftIn")).toDouble(preset.marginLeftIn);
        g.marginTopIn = sheet.value(QLatin1String("marginTopIn")).toDouble(preset.marginTopIn);
        g.pitchXIn = sheet.value(QLatin1String("pitchXIn")).toDouble(preset.pitchXIn);
        g.pitchYIn = sheet.value(QLatin1String("pitchYIn")).toDouble(preset.pitchYIn);
    }
    const JsonValueRef fields = object.value(QLatin1String("fields"));
    style.showSet = fields.value(QLatin1String("set")).toBool(true);
    style.showYear = fields.value(QLatin1String("year")).toBool(true);
    style.showCardName = fields.value(QLatin1String("cardName")).toBool(true);
    style.showNumber = fields.value(QLatin1String("number")).toBool(true);
    style.showRarity = fields.value(QLatin1String("rarity")).toBool(true);
    style.showCondition = fields.value(QLatin1String("condition")).toBool(true);
    const JsonValueRef border = object.value(QLatin1String("border"));
    style.borderEnabled = border.value(QLatin1String("enabled")).toBool(true);
    const QColor color(text(border, QLatin1String("color")).trimmed());
    if (color.isValid())
        style.borderColor = color;
    style.borderWidthIn = border.value(QLatin1String("widthIn")).toDouble(style.borderWidthIn);
    style.textPointSize = object.value(QLatin1String("textPointSize")).toDouble(style.textPointSize);
    return normalizedLabelStyle(style);
}

void writeLabelStyle(JsonTextWriter &out, const LabelStyle &style)
{
    const LabelSheetGeometry &g = style.geometry;
    out.beginObject(QLatin1String("border"));
    out.value(QLatin1String("color"), style.borderColor.name(QColor::HexRgb));
    out.value(QLatin1String("enabled"), style.borderEnabled);
    out.value(QLatin1String("widthIn"), style.borderWidthIn);
    out.endObject();

    out.beginObject(QLatin1String("fields"));
    out.value(QLatin1String("cardName"), style.showCardName);
    out.value(QLatin1String("condition"), style.showCondition);
    out.value(QLatin1String("number"), style.showNumber);
    out.value(QLatin1String("rarity"), style.showRarity);
    out.value(QLatin1String("set"), style.showSet);
    out.value(QLatin1String("year"), style.showYear);
    out.endObject();

    out.beginObject(QLatin1String("sheet"));
    out.value(QLatin1String("columns"), g.columns);
    out.value(QLatin1String("labelHeightIn"), g.labelHeightIn);
    out.value(QLatin1String("labelWidthIn"), g.labelWidthIn);
    out.value(QLatin1String("marginLeftIn"), g.marginLeftIn);
    out.value(QLatin1String("marginTopIn"), g.marginTopIn);
    out.value(QLatin1String("pageSize"),
              g.pageSize == LabelSheetGeometry::A4 ? QLatin1String("a4") : QLatin1String("letter"));
    out.value(QLatin1String("pitchXIn"), g.pitchXIn);
    out.value(QLatin1String("pitchYIn"), g.pitchYIn);
    out.value(QLatin1String("rows"), g.rows);
    out.endObject();

    out.value(QLatin1String("template"), style.sheetTemplate == LabelStyle::Custom ? QLatin1String("custom")
                                                                                   : QLatin1String("avery8195"));
    out.value(QLatin1String("textPointSize"), style.textPointSize);
}

// ---------------------------------------------------------------- file

ReadResult read(const QString &path)
{
    QFile file(path);
    QString reason;
    if (!openRegularFile(file, &reason))
        return failure(tr("Could not open %1: %2").arg(path, reason));
    // A collection is a JSON object: a file that starts as anything else (a
    // picture or a film picked among all files), or with more blanks than
    // any writer puts first, is refused on its first bytes, and a file
    // larger than any collection on its size, before it is taken into memory.
    if (file.size() > MaxFileSize)
        return tooLarge(path, file.size());
    const int first = firstSignificantByte(file);
    if ((first >= 0 && first != '{') || (first < 0 && file.size() > MaxBlankStart))
        return failure(tr("%1 is not a Tallowmerick collection file.").arg(path));
    if (file.error() != QFileDevice::NoError || !file.seek(0))
        return failure(tr("Could not open %1: %2").arg(path, file.errorString()));
    // Read into a buffer with the room the parser wants past the end, so
    // it parses the bytes where they are; a file that grows meanwhile is
    // read up to the limit.
    QByteArray bytes = JsonTree::paddedBuffer(file.size());
    bytes.resize(file.size());
    const qint64 got = file.read(bytes.data(), bytes.size());
    bytes.resize(qMax<qint64>(got, 0));
    if (got >= 0 && !file.atEnd())
        bytes.append(file.read(MaxFileSize + 1 - bytes.size()));
    if (file.error() != QFileDevice::NoError)
        return failure(tr("Could not open %1: %2").arg(path, file.errorString()));
    file.close();
    if (bytes.size() > MaxFileSize)
        return tooLarge(path, bytes.size());

    QJsonParseError parseError;
    const JsonTree document = JsonTree::parse(bytes, &parseError);
    bytes = QByteArray(); // the tree holds what it needs of the text
    if (parseError.error != QJsonParseError::NoError)
        return failure(tr("%1 is not a valid collection file: %2").arg(path, parseError.errorString()));
    const JsonValueRef root = document.root();

    const QString format = text(root, QLatin1String("format"));
    if (format != kFormatTag && format != kLegacyFormatTag)
        return failure(tr("%1 is not a Tallowmerick collection file.").arg(path));

    // A version too large for an int is newer all the same.
    const JsonValueRef versionValue = root.value(QLatin1String("version"));
    const double version = versionValue.toDouble(0.0);
    if (version == std::floor(version) && version > kCurrentVersion) {
        return failure(tr("%1 was written by a newer version of Tallowmerick (format %2, this build reads %3).")
                           .arg(path, QString::number(version, 'f', 0), QString::number(kCurrentVersion)));
    }

    ReadResult result;
    const JsonValueRef sets = root.value(QLatin1String("sets"));
    for (const auto &[name, object] : lastMembers(sets)) {
        SetRecord record = readSet(name, object);
        if (record.id.isEmpty())
            continue;
        result.sets.insert(setKey(record.language, record.id), std::move(record));
    }

    const JsonValueRef entries = root.value(QLatin1String("entries"));
    const std::vector<JsonValueRef> entryValues = entries.elements();
    result.entries.reserve(qsizetype(entryValues.size()));
    EntryReading reading;
    Warnings warnings(result);
    for (const JsonValueRef &element : entryValues) {
        CardEntry entry = readEntry(element, &warnings, reading);
        if (entry.cardId.isEmpty()) {
            warnings.add(Warn::NoCardId, [] { return tr("Skipped an entry with no card id."); });
            continue;
        }
        result.entries.append(std::move(entry));
    }

    const JsonValueRef history = root.value(QLatin1String("history"));
    for (const JsonValueRef &object : history.elements()) {
        const QString dateText = object.contains(QLatin1String("date"))
            ? text(object, QLatin1String("date"))
            : text(object, QLatin1String("month"));
        HistoryPoint point;
        point.date = readPointDate(dateText);
        if (!point.date.isValid()) {
            warnings.add(Warn::PointDate, [&] {
                return tr("Skipped a history point with an unreadable date \"%1\".").arg(quoted(dateText));
            });
            continue;
        }
        // A total no collection reaches (or null, as a faulty save wrote a
        // non-finite one) reads as none, as a unit value does.
        const JsonValueRef total = object.value(QLatin1String("totalEur"));
        point.totalEur = total.toDouble(std::nan(""));
        if (total.isUndefined()) {
            point.totalEur = 0.0;
        } else if (!isStorableHistoryEur(point.totalEur)) {
            point.totalEur = 0.0;
            warnings.add(Warn::PointTotal, [&] {
                return tr("Ignored the total %1 of the history point of %2.").arg(shownValue(total), quoted(dateText));
            });
        }
        point.cards = object.value(QLatin1String("cards")).toInt64(0);
        readBreakdown(object.value(QLatin1String("sets")), dateText, point, warnings);
        result.history.append(std::move(point));
    }

    const JsonValueRef binders = root.value(QLatin1String("binders"));
    for (const JsonValueRef &element : binders.elements()) {
        Binder binder = readBinder(element);
        if (binder.id.isEmpty()) {
            warnings.add(Warn::NoBinderId, [] { return tr("Skipped a binder with no id."); });
            continue;
        }
        result.binders.append(std::move(binder));
    }

    if (root.contains(QLatin1String("labelStyle")))
        result.labelStyle = readLabelStyle(root.value(QLatin1String("labelStyle")));

    result.ok = true;
    return result;
}

bool write(const QString &path, const Collection &collection, QString *error)
{
    return write(path, collection.contents(), error);
}

bool write(const QString &path, const CollectionContents &collection, QString *error)
{
    // Members in the sorted order QJsonDocument writes them in. Room for
    // the first holdings, which tell how much the others take.
    const qsizetype sampled = std::min(qsizetype(collection.entries.size()), kSampledEntries);
    JsonTextWriter out(sampled * 1024 + 64 * 1024);
    out.beginObject();

    out.beginArray(QLatin1String("binders"));
    for (const Binder &binder : collection.binders) {
        out.beginObject();
        writeBinder(out, binder);
        out.endObject();
    }
    out.endArray();

    out.beginArray(QLatin1String("entries"));
    writeEntries(out, collection.entries, textAfterEntries(collection));
    out.endArray();

    out.value(QLatin1String("format"), kFormatTag);

    out.beginArray(QLatin1String("history"));
    for (const HistoryPoint &point : collection.history) {
        out.beginObject();
        writeHistoryPoint(out, point);
        out.endObject();
    }
    out.endArray();

    if (collection.labelStyle) {
        out.beginObject(QLatin1String("labelStyle"));
        writeLabelStyle(out, *collection.labelStyle);
        out.endObject();
    }

    out.value(QLatin1String("savedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));

    out.beginObject(QLatin1String("sets"));
    const QHash<QString, SetRecord> &records = collection.sets;
    for (const QString &key : sortedKeys(records)) {
        out.beginObject(key);
        writeSet(out, records.find(key).value());
        out.endObject();
    }
    out.endObject();

    out.value(QLatin1String("version"), kCurrentVersion);
    out.endObject();

    // Temporary files of earlier saves that were killed midway go first.
    removeSaveLeftovers(path);
    QString reason;
    const SaveStep step = replaceFileContents(path, out.bytes(), &reason);
    if (step != SaveStep::Done) {
        if (error) {
            *error = step == SaveStep::Open ? tr("Could not write %1: %2").arg(path, reason)
                                            : tr("Could not save %1: %2").arg(path, reason);
        }
        return false;
    }
    return true;
}

QString fileFilter()
{
    return tr("Tallowmerick collection (*.%1 *.%2);;All files (*)")
        .arg(QStringLiteral("tmk"), QStringLiteral("msl"));
}

} // namespace pv::CollectionSerializer
