#pragma once

// The collection file's former JSON reader, kept here only as the baseline
// the collection file benchmark measures the current reader against.


#include <QByteArray>
#include <QJsonParseError>
#include <QLatin1String>
#include <QString>

#include <vector>

namespace pv::legacy {

class JsonValueRef;

// A parsed JSON document whose strings stay UTF-8 byte ranges of the source
// until asked for. Looking a member up compares bytes, so reading many small
// objects costs a fraction of what a QJsonObject look-up does. It accepts what
// QJsonDocument accepts and reports failures with QJsonParseError's codes.
class JsonTree
{
public:
    JsonTree() = default;

    // An object or array as the root; on failure the tree is empty and the
    // error tells why.
    static JsonTree parse(const QByteArray &text, QJsonParseError *error);

    // The root value; undefined for an empty tree.
    JsonValueRef root() const;

private:
    friend class JsonValueRef;
    friend class JsonParser;

    enum class Kind : quint8 { Null, False, True, Number, String, Array, Object };

    struct Node
    {
        Kind kind = Kind::Null;
        bool escaped = false;     // a string with backslash escapes
        int count = 0;            // elements or members of a container
        qsizetype offset = 0;     // string: first byte after the quote; container: first link
        union {
            qsizetype length;     // string: bytes up to the closing quote
            double number;
        };
        Node() : length(0) {}
    };

    // One element of a container: the member name (a string range, length
    // -1 for array elements) and the value's node.
    struct Link
    {
        qsizetype keyOffset = 0;
        int keyLength = -1;
        bool keyEscaped = false;
        int node = -1;
    };

    QString text(qsizetype offset, qsizetype length, bool escaped) const;
    bool keyEquals(const Link &link, QLatin1String key) const;

    QByteArray m_source;
    std::vector<Node> m_nodes;
    std::vector<Link> m_links;
};

// A read-only handle on one value of a JsonTree. A missing value is
// undefined and answers every question with its default, as QJsonValue does:
// text of a non-string is empty, a number of a non-number is the default, and
// so on. A handle is valid while its tree lives.
class JsonValueRef
{
public:
    JsonValueRef() = default;

    bool isUndefined() const;
    bool isNull() const;
    bool isBool() const;
    bool isDouble() const;
    bool isString() const;
    bool isArray() const;
    bool isObject() const;

    QString toString() const;
    double toDouble(double defaultValue = 0.0) const;
    // The number when it is a whole number within the int range, else the default.
    int toInt(int defaultValue = 0) const;
    bool toBool(bool defaultValue = false) const;

    // Object members; with a repeated name the last one counts.
    JsonValueRef value(QLatin1String key) const;
    bool contains(QLatin1String key) const;

    // Elements of an array, or members of an object in file order; 0 for
    // anything else.
    int size() const;
    JsonValueRef at(int index) const;
    QString keyAt(int index) const; // the member name; empty for an array

private:
    friend class JsonTree;
    JsonValueRef(const JsonTree *tree, int node)
        : m_tree(tree)
        , m_node(node)
    {
    }

    const JsonTree::Node &node() const;

    const JsonTree *m_tree = nullptr;
    int m_node = -1;
};

} // namespace pv::legacy
#include <QJsonDocument>

#include <cmath>
#include <cstring>
#include <limits>

namespace pv::legacy {

namespace {

constexpr int kMaxDepth = 1024; // as deep as QJsonDocument goes

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Length of the well-formed UTF-8 sequence at p (lead byte 0x80 or above),
// or 0 when it is malformed, overlong, a surrogate or beyond U+10FFFF.
int utf8SequenceLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char lead = p[0];
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    if (p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xbf)
            return 0;
    }
    return length;
}

} // namespace

// Recursive descent over the source bytes. Containers collect their links on
// a stack while their children are parsed and move them into the tree's link
// list, contiguous, when they close.
class JsonParser
{
public:
    JsonParser(JsonTree &tree, const QByteArray &text)
        : m_tree(tree)
        , m_begin(text.constData())
        , m_p(text.constData())
        , m_end(text.constData() + text.size())
    {
    }

    bool parseRoot()
    {
        if (m_end - m_p >= 3 && std::memcmp(m_p, "\xef\xbb\xbf", 3) == 0)
            m_p += 3;
        skipSpace();
        if (m_p == m_end || (*m_p != '{' && *m_p != '['))
            return fail(QJsonParseError::IllegalValue);
        int root = -1;
        if (!parseValue(root))
            return false;
        skipSpace();
        if (m_p != m_end)
            return fail(QJsonParseError::GarbageAtEnd);
        return true;
    }

    QJsonParseError::ParseError error = QJsonParseError::NoError;
    qsizetype errorOffset = 0;

private:
    using Kind = JsonTree::Kind;

    bool fail(QJsonParseError::ParseError code)
    {
        error = code;
        errorOffset = m_p - m_begin;
        return false;
    }

    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    int newNode(Kind kind)
    {
        m_tree.m_nodes.emplace_back();
        m_tree.m_nodes.back().kind = kind;
        return int(m_tree.m_nodes.size()) - 1;
    }

    bool literal(const char *word, Kind kind, int &node)
    {
        const size_t length = std::strlen(word);
        if (size_t(m_end - m_p) < length || std::memcmp(m_p, word, length) != 0)
            return fail(QJsonParseError::IllegalValue);
        m_p += length;
        node = newNode(kind);
        return true;
    }

    bool parseValue(int &node)
    {
        skipSpace();
        if (m_p == m_end)
            return fail(QJsonParseError::IllegalValue);
        switch (*m_p) {
        case '{':
            return parseContainer(Kind::Object, node);
        case '[':
            return parseContainer(Kind::Array, node);
        case '"': {
            qsizetype offset = 0;
            qsizetype length = 0;
            bool escaped = false;
            if (!parseString(offset, length, escaped))
                return false;
            node = newNode(Kind::String);
            JsonTree::Node &n = m_tree.m_nodes[size_t(node)];
            n.offset = offset;
            n.length = length;
            n.escaped = escaped;
            return true;
        }
        case 't':
            return literal("true", Kind::True, node);
        case 'f':
            return literal("false", Kind::False, node);
        case 'n':
            return literal("null", Kind::Null, node);
        default:
            if (*m_p == '-' || *m_p == '.' || isDigit(*m_p))
                return parseNumber(node);
            return fail(QJsonParseError::IllegalValue);
        }
    }

    bool parseContainer(Kind kind, int &node)
    {
        const bool object = kind == Kind::Object;
        const char close = object ? '}' : ']';
        const auto unterminated = object ? QJsonParseError::UnterminatedObject : QJsonParseError::UnterminatedArray;
        if (++m_depth > kMaxDepth)
            return fail(QJsonParseError::DeepNesting);
        ++m_p;
        node = newNode(kind);
        const size_t base = m_pending.size();

        skipSpace();
        if (m_p != m_end && *m_p == close) {
            ++m_p;
        } else {
            for (;;) {
                JsonTree::Link link;
                skipSpace();
                if (object) {
                    if (m_p == m_end || *m_p != '"')
                        return fail(unterminated);
                    qsizetype keyLength = 0;
                    if (!parseString(link.keyOffset, keyLength, link.keyEscaped))
                        return false;
                    if (keyLength > std::numeric_limits<int>::max())
                        return fail(QJsonParseError::DocumentTooLarge);
                    link.keyLength = int(keyLength);
                    skipSpace();
                    if (m_p == m_end || *m_p != ':')
                        return fail(QJsonParseError::MissingNameSeparator);
                    ++m_p;
                }
                if (!parseValue(link.node))
                    return false;
                m_pending.push_back(link);
                skipSpace();
                if (m_p == m_end)
                    return fail(unterminated);
                if (*m_p == ',') {
                    ++m_p;
                    skipSpace();
                    if (m_p != m_end && *m_p == close)
                        return fail(QJsonParseError::MissingObject);
                    continue;
                }
                if (*m_p == close) {
                    ++m_p;
                    break;
                }
                return fail(QJsonParseError::MissingValueSeparator);
            }
        }

        std::vector<JsonTree::Link> &links = m_tree.m_links;
        JsonTree::Node &n = m_tree.m_nodes[size_t(node)];
        n.offset = qsizetype(links.size());
        n.count = int(m_pending.size() - base);
        links.insert(links.end(), m_pending.begin() + qsizetype(base), m_pending.end());
        m_pending.resize(base);
        --m_depth;
        return true;
    }

    // m_p stands on the opening quote; leaves it after the closing one.
    bool parseString(qsizetype &offset, qsizetype &length, bool &escaped)
    {
        ++m_p;
        const char *start = m_p;
        while (m_p != m_end) {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                offset = start - m_begin;
                length = m_p - start;
                ++m_p;
                return true;
            }
            if (c == '\\') {
                escaped = true;
                ++m_p;
                if (m_p == m_end)
                    break;
                if (*m_p == 'u') {
                    if (m_end - m_p < 5)
                        return fail(QJsonParseError::IllegalEscapeSequence);
                    for (int i = 1; i <= 4; ++i) {
                        if (hexValue(m_p[i]) < 0)
                            return fail(QJsonParseError::IllegalEscapeSequence);
                    }
                    m_p += 5;
                } else {
                    ++m_p; // any other escaped byte stands for itself, as in QJsonDocument
                }
                continue;
            }
            if (c < 0x80) {
                ++m_p;
                continue;
            }
            const int sequence = utf8SequenceLength(reinterpret_cast<const unsigned char *>(m_p),
                                                    reinterpret_cast<const unsigned char *>(m_end));
            if (sequence == 0)
                return fail(QJsonParseError::IllegalUTF8String);
            m_p += sequence;
        }
        return fail(QJsonParseError::UnterminatedString);
    }

    bool parseNumber(int &node)
    {
        const char *start = m_p;
        if (*m_p == '-')
            ++m_p;
        bool simple = true; // whole digits only, small enough to sum exactly
        int digits = 0;
        if (m_p != m_end && *m_p == '0') {
            ++m_p;
            ++digits;
        } else {
            while (m_p != m_end && isDigit(*m_p)) {
                ++m_p;
                ++digits;
            }
        }
        if (m_p != m_end && *m_p == '.') {
            simple = false;
            ++m_p;
            while (m_p != m_end && isDigit(*m_p)) {
                ++m_p;
                ++digits;
            }
        }
        if (digits == 0)
            return fail(QJsonParseError::IllegalNumber);
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) {
            simple = false;
            ++m_p;
            if (m_p != m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            if (m_p == m_end || !isDigit(*m_p))
                return fail(QJsonParseError::IllegalNumber);
            while (m_p != m_end && isDigit(*m_p))
                ++m_p;
        }

        double number = 0.0;
        if (simple && digits <= 15) {
            qint64 whole = 0;
            for (const char *d = *start == '-' ? start + 1 : start; d != m_p; ++d)
                whole = whole * 10 + (*d - '0');
            number = *start == '-' ? -double(whole) : double(whole);
        } else {
            bool ok = false;
            number = QByteArray::fromRawData(start, m_p - start).toDouble(&ok);
            if (!ok || !std::isfinite(number)) {
                m_p = start;
                return fail(QJsonParseError::IllegalNumber);
            }
        }
        // QJsonDocument keeps a whole number as an integer, which has no
        // negative zero: "-0" reads as 0.
        if (number == 0.0)
            number = 0.0;
        node = newNode(Kind::Number);
        m_tree.m_nodes[size_t(node)].number = number;
        return true;
    }

    JsonTree &m_tree;
    const char *m_begin;
    const char *m_p;
    const char *m_end;
    std::vector<JsonTree::Link> m_pending;
    int m_depth = 0;
};

JsonTree JsonTree::parse(const QByteArray &text, QJsonParseError *error)
{
    JsonTree tree;
    tree.m_source = text;
    JsonParser parser(tree, tree.m_source);
    const bool ok = parser.parseRoot();
    if (error) {
        error->error = parser.error;
        error->offset = int(qMin<qsizetype>(parser.errorOffset, std::numeric_limits<int>::max()));
    }
    if (ok)
        return tree;
    if (error) {
        // Where the two parsers stop on damaged text, and so which error they
        // name, differs (a file cut short after a number, for one). Failures
        // are rare: let QJsonDocument name this one, so the user reads its text.
        QJsonParseError qtError;
        QJsonDocument::fromJson(text, &qtError);
        if (qtError.error != QJsonParseError::NoError)
            *error = qtError;
    }
    return JsonTree();
}

JsonValueRef JsonTree::root() const
{
    return m_nodes.empty() ? JsonValueRef() : JsonValueRef(this, 0);
}

QString JsonTree::text(qsizetype offset, qsizetype length, bool escaped) const
{
    const char *p = m_source.constData() + offset;
    const char *end = p + length;
    if (!escaped)
        return QString::fromUtf8(p, length);

    QString result;
    result.reserve(length);
    // QString::fromUtf8 drops a byte order mark at the start of its input;
    // inside an escaped string QJsonDocument keeps every U+FEFF.
    const auto appendRun = [&result](const char *begin, const char *stop) {
        while (stop - begin >= 3 && std::memcmp(begin, "\xef\xbb\xbf", 3) == 0) {
            result.append(QChar(0xfeff));
            begin += 3;
        }
        result.append(QString::fromUtf8(begin, stop - begin));
    };
    const char *run = p;
    while (p != end) {
        if (*p != '\\') {
            ++p;
            continue;
        }
        appendRun(run, p);
        ++p; // the parser made sure something follows
        const char c = *p;
        switch (c) {
        case 'b': result.append(QLatin1Char('\b')); ++p; break;
        case 'f': result.append(QLatin1Char('\f')); ++p; break;
        case 'n': result.append(QLatin1Char('\n')); ++p; break;
        case 'r': result.append(QLatin1Char('\r')); ++p; break;
        case 't': result.append(QLatin1Char('\t')); ++p; break;
        case 'u': {
            char16_t unit = 0;
            for (int i = 1; i <= 4; ++i)
                unit = char16_t(unit * 16 + hexValue(p[i]));
            result.append(QChar(unit));
            p += 5;
            break;
        }
        default:
            // Any other escaped byte stands for the character of that code.
            result.append(QLatin1Char(c));
            ++p;
            break;
        }
        run = p;
    }
    appendRun(run, end);
    return result;
}

bool JsonTree::keyEquals(const Link &link, QLatin1String key) const
{
    if (link.keyEscaped)
        return text(link.keyOffset, link.keyLength, true) == key;
    return link.keyLength == key.size()
        && std::memcmp(m_source.constData() + link.keyOffset, key.data(), size_t(key.size())) == 0;
}

// ---------------------------------------------------------------- JsonValueRef

bool JsonValueRef::isUndefined() const
{
    return !m_tree || m_node < 0;
}

const JsonTree::Node &JsonValueRef::node() const
{
    return m_tree->m_nodes[size_t(m_node)];
}

bool JsonValueRef::isNull() const
{
    return !isUndefined() && node().kind == JsonTree::Kind::Null;
}

bool JsonValueRef::isBool() const
{
    return !isUndefined() && (node().kind == JsonTree::Kind::True || node().kind == JsonTree::Kind::False);
}

bool JsonValueRef::isDouble() const
{
    return !isUndefined() && node().kind == JsonTree::Kind::Number;
}

bool JsonValueRef::isString() const
{
    return !isUndefined() && node().kind == JsonTree::Kind::String;
}

bool JsonValueRef::isArray() const
{
    return !isUndefined() && node().kind == JsonTree::Kind::Array;
}

bool JsonValueRef::isObject() const
{
    return !isUndefined() && node().kind == JsonTree::Kind::Object;
}

QString JsonValueRef::toString() const
{
    if (!isString())
        return QString();
    const JsonTree::Node &string = node();
    return m_tree->text(string.offset, string.length, string.escaped);
}

double JsonValueRef::toDouble(double defaultValue) const
{
    return isDouble() ? node().number : defaultValue;
}

int JsonValueRef::toInt(int defaultValue) const
{
    if (!isDouble())
        return defaultValue;
    const double number = node().number;
    if (number != std::trunc(number) || number < std::numeric_limits<int>::min()
        || number > std::numeric_limits<int>::max())
        return defaultValue;
    return int(number);
}

bool JsonValueRef::toBool(bool defaultValue) const
{
    if (!isBool())
        return defaultValue;
    return node().kind == JsonTree::Kind::True;
}

JsonValueRef JsonValueRef::value(QLatin1String key) const
{
    if (!isObject())
        return JsonValueRef();
    const JsonTree::Node &object = node();
    for (qsizetype i = object.offset + object.count - 1; i >= object.offset; --i) {
        const JsonTree::Link &link = m_tree->m_links[size_t(i)];
        if (m_tree->keyEquals(link, key))
            return JsonValueRef(m_tree, link.node);
    }
    return JsonValueRef();
}

bool JsonValueRef::contains(QLatin1String key) const
{
    return !value(key).isUndefined();
}

int JsonValueRef::size() const
{
    return isArray() || isObject() ? node().count : 0;
}

JsonValueRef JsonValueRef::at(int index) const
{
    if (index < 0 || index >= size())
        return JsonValueRef();
    return JsonValueRef(m_tree, m_tree->m_links[size_t(node().offset + index)].node);
}

QString JsonValueRef::keyAt(int index) const
{
    if (!isObject() || index < 0 || index >= size())
        return QString();
    const JsonTree::Link &link = m_tree->m_links[size_t(node().offset + index)];
    return m_tree->text(link.keyOffset, link.keyLength, link.keyEscaped);
}

} // namespace pv::legacy

// ---------------------------------------------------------------- records

// The former reader's filling of the collection's records from its tree, as
// it stood, so that the benchmark sets the current reader against the whole
// former open.

#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <iterator>
#include <utility>

namespace pv::legacy {

namespace {

using CollectionSerializer::ReadResult;

constexpr int kCurrentVersion = 5;
const QString kFormatTag = QStringLiteral("tallowk");
const QString kLegacyFormatTag = QStringLiteral("mossel");

QString tr(const char *text)
{
    return QCoreApplication::translate("CollectionSerializer", text);
}

// Elements of an array and members of an object; a value of another kind
// has none, as the file's readers take it.
int elementCount(const JsonValueRef &value)
{
    return value.isArray() ? value.size() : 0;
}

int memberCount(const JsonValueRef &value)
{
    return value.isObject() ? value.size() : 0;
}

// The members of an object in file order, as QJsonObject keeps them: of a
// repeated name only the last member counts.
QList<std::pair<QString, JsonValueRef>> lastMembers(const JsonValueRef &object)
{
    const int count = memberCount(object);
    QList<std::pair<QString, JsonValueRef>> members(count);
    QSet<QString> seen;
    seen.reserve(count);
    qsizetype kept = count;
    for (int i = count - 1; i >= 0; --i) {
        QString name = object.keyAt(i);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        members[--kept] = {std::move(name), object.at(i)};
    }
    members.remove(0, kept);
    return members;
}

QString text(const JsonValueRef &object, QLatin1String key)
{
    return object.value(key).toString();
}

// Reading a large file spends most of its time on the entries; the helpers
// below take the common exact forms first and fall back to the general
// parsers for anything else.

Language readLanguage(const QString &code)
{
    if (code == QLatin1String("en"))
        return Language::English;
    if (code == QLatin1String("ja"))
        return Language::Japanese;
    return languageFromCode(code, Language::English);
}

const QStringList &conditionKeys()
{
    static const QStringList keys = [] {
        QStringList list;
        for (Condition condition : allConditions())
            list.append(conditionKey(condition));
        return list;
    }();
    return keys;
}

const QStringList &companyKeys()
{
    static const QStringList keys = [] {
        QStringList list;
        for (int company = 0; company <= int(GradingCompany::Other); ++company)
            list.append(gradingCompanyKey(static_cast<GradingCompany>(company)));
        return list;
    }();
    return keys;
}

// The position of a key spelt exactly as the program writes it, else -1.
int exactKeyIndex(const QStringList &keys, const QString &text)
{
    for (int i = 0; i < keys.size(); ++i) {
        if (keys.at(i) == text)
            return i;
    }
    return -1;
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
void readPrinting(const JsonValueRef &object, CardEntry &entry)
{
    const QString variant = text(object, QLatin1String("variant"));
    const JsonValueRef edition = object.value(QLatin1String("edition"));
    if (edition.isString()) {
        entry.variant = variant;
        entry.edition = edition.toString();
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

// "2026-08-03", or a legacy month "2026-08" read as its first day.
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
        if (yearOk && monthOk)
            return QDate(year, month, 1);
    }
    return QDate();
}

void readBreakdown(const JsonValueRef &object, const QString &dateText, HistoryPoint &point,
                   QStringList *warnings)
{
    for (const auto &[key, pair] : lastMembers(object)) {
        if (elementCount(pair) < 2) {
            warnings->append(
                tr("Skipped an unreadable set breakdown for \"%1\" in the history point of %2.")
                    .arg(key, dateText));
            continue;
        }
        const double eur = pair.at(0).toDouble(0.0);
        if (!(eur > 0.0))
            continue;
        point.sets.insert(key, HistorySetValue{eur, pair.at(1).toInt(0)});
    }
}


ReadResult failure(const QString &message)
{
    ReadResult result;
    result.error = message;
    return result;
}

} // namespace

// ---------------------------------------------------------------- building blocks

inline QStringList readStringList(const JsonValueRef &value)
{
    QStringList list;
    for (int i = 0, elements = elementCount(value); i < elements; ++i) {
        const QString s = value.at(i).toString();
        if (!s.isEmpty())
            list.append(s);
    }
    return list;
}

inline CardEntry readEntry(const JsonValueRef &object, QStringList *warnings)
{
    CardEntry entry;
    entry.cardId = text(object, QLatin1String("cardId"));
    if (entry.cardId.isEmpty())
        return entry; // skipped by the caller; nothing else of it is worth a warning
    entry.setId = text(object, QLatin1String("setId"));
    entry.localId = text(object, QLatin1String("localId"));
    entry.name = text(object, QLatin1String("name"));
    entry.lang = readLanguage(text(object, QLatin1String("lang")));
    readPrinting(object, entry);

    const QString conditionText = text(object, QLatin1String("condition"));
    const int condition = exactKeyIndex(conditionKeys(), conditionText);
    if (condition >= 0) {
        entry.condition = static_cast<Condition>(condition);
    } else {
        entry.condition = conditionFromKey(conditionText, Condition::NearMint);
        if (!conditionText.isEmpty()
            && conditionText.compare(conditionKey(entry.condition), Qt::CaseInsensitive) != 0 && warnings) {
            warnings->append(tr("Unknown condition \"%1\" on %2, read as %3.")
                                 .arg(conditionText, entry.cardId, conditionDisplayName(entry.condition)));
        }
    }
    const QString companyText = text(object, QLatin1String("gradeCompany"));
    const int company = exactKeyIndex(companyKeys(), companyText);
    if (company >= 0) {
        entry.gradeCompany = static_cast<GradingCompany>(company);
    } else {
        entry.gradeCompany = gradingCompanyFromKey(companyText, GradingCompany::None);
        if (!companyText.isEmpty()
            && companyText.compare(gradingCompanyKey(entry.gradeCompany), Qt::CaseInsensitive) != 0
            && warnings) {
            warnings->append(tr("Unknown grading company \"%1\" on %2, read as %3.")
                                 .arg(companyText, entry.cardId,
                                      gradingCompanyDisplayName(entry.gradeCompany)));
        }
    }

    entry.gradeNote = text(object, QLatin1String("gradeNote"));
    entry.count = std::max(object.value(QLatin1String("count")).toInt(1), 1);
    entry.image = text(object, QLatin1String("image"));
    entry.rarity = text(object, QLatin1String("rarity"));
    const int dexId = object.value(QLatin1String("dexId")).toInt(0);
    entry.dexId = dexId < 1 ? 0 : dexId;
    entry.unitValueEur = object.value(QLatin1String("unitValueEur")).toDouble(0.0);
    entry.unitValueUsd = object.value(QLatin1String("unitValueUsd")).toDouble(0.0);
    entry.notes = text(object, QLatin1String("notes"));
    const double customPrice = object.value(QLatin1String("customPriceEur")).toDouble(0.0);
    entry.customPriceEur = customPrice > 0.0 ? customPrice : 0.0;
    entry.printLabel = object.value(QLatin1String("printLabel")).toBool(false);
    const QString updated = text(object, QLatin1String("priceUpdated"));
    if (!updated.isEmpty())
        entry.priceUpdated = readTimestamp(updated);
    return entry;
}


inline SetRecord readSet(const QString &memberName, const JsonValueRef &object)
{
    SetRecord record;
    record.id = text(object, QLatin1String("id"));
    record.name = text(object, QLatin1String("name"));
    const int colon = memberName.indexOf(QLatin1Char(':'));
    if (colon >= 1) {
        record.language = languageFromCode(memberName.left(colon), Language::English);
        if (record.id.isEmpty())
            record.id = memberName.mid(colon + 1);
    } else {
        record.language = languageFromCode(text(object, QLatin1String("lang")), Language::English);
    }
    if (record.name.isEmpty())
        record.name = record.id;
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


inline BinderRule readBinderRule(const JsonValueRef &object)
{
    BinderRule rule;
    rule.setId = text(object, QLatin1String("setId"));
    rule.serieId = text(object, QLatin1String("serieId"));
    rule.rarities = readStringList(object.value(QLatin1String("rarities")));
    rule.name = text(object, QLatin1String("name"));
    const JsonValueRef dexIds = object.value(QLatin1String("dexIds"));
    for (int i = 0, elements = elementCount(dexIds); i < elements; ++i) {
        const int dexId = dexIds.at(i).toInt(0);
        if (dexId > 0)
            rule.dexIds.append(dexId);
    }
    return rule;
}


inline Binder readBinder(const JsonValueRef &object)
{
    Binder binder;
    binder.id = text(object, QLatin1String("id"));
    binder.name = text(object, QLatin1String("name"));
    binder.lang = languageFromCode(text(object, QLatin1String("lang")), Language::English);
    binder.columns = qBound(1, object.value(QLatin1String("columns")).toInt(3), 8);
    binder.rows = qBound(1, object.value(QLatin1String("rows")).toInt(3), 8);
    binder.showMissing = object.value(QLatin1String("showMissing")).toBool(true);
    const JsonValueRef rules = object.value(QLatin1String("rules"));
    for (int i = 0, elements = elementCount(rules); i < elements; ++i) {
        BinderRule rule = readBinderRule(rules.at(i));
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


inline LabelStyle readLabelStyle(const JsonValueRef &object)
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


inline CollectionSerializer::ReadResult readCollection(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(tr("Could not open %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failure(tr("Could not open %1: %2").arg(path, file.errorString()));
    file.close();

    QJsonParseError parseError;
    const JsonTree document = JsonTree::parse(bytes, &parseError);
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
    result.entries.reserve(elementCount(entries));
    for (int i = 0, elements = elementCount(entries); i < elements; ++i) {
        CardEntry entry = readEntry(entries.at(i), &result.warnings);
        if (entry.cardId.isEmpty()) {
            result.warnings.append(tr("Skipped an entry with no card id."));
            continue;
        }
        result.entries.append(std::move(entry));
    }

    const JsonValueRef history = root.value(QLatin1String("history"));
    for (int i = 0, elements = elementCount(history); i < elements; ++i) {
        const JsonValueRef object = history.at(i);
        const QString dateText = object.contains(QLatin1String("date"))
            ? text(object, QLatin1String("date"))
            : text(object, QLatin1String("month"));
        HistoryPoint point;
        point.date = readPointDate(dateText);
        if (!point.date.isValid()) {
            result.warnings.append(
                tr("Skipped a history point with an unreadable date \"%1\".").arg(dateText));
            continue;
        }
        point.totalEur = object.value(QLatin1String("totalEur")).toDouble(0.0);
        point.cards = object.value(QLatin1String("cards")).toInt(0);
        readBreakdown(object.value(QLatin1String("sets")), dateText, point, &result.warnings);
        result.history.append(std::move(point));
    }

    const JsonValueRef binders = root.value(QLatin1String("binders"));
    for (int i = 0, elements = elementCount(binders); i < elements; ++i) {
        Binder binder = readBinder(binders.at(i));
        if (binder.id.isEmpty()) {
            result.warnings.append(tr("Skipped a binder with no id."));
            continue;
        }
        result.binders.append(std::move(binder));
    }

    if (root.contains(QLatin1String("labelStyle")))
        result.labelStyle = readLabelStyle(root.value(QLatin1String("labelStyle")));

    result.ok = true;
    return result;
}


} // namespace pv::legacy
