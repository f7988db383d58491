#include "collection/JsonTextWriter.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pv {

namespace {

// A character of a string that is written as it is, one byte of plain ASCII.
bool plain(char16_t c)
{
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

} // namespace

JsonTextWriter::JsonTextWriter(qsizetype reserveBytes)
{
    if (reserveBytes > 0)
        m_out.resize(reserveBytes);
}

const QByteArray &JsonTextWriter::bytes() const
{
    if (m_out.size() != m_used)
        m_out.resize(m_used);
    return m_out;
}

void JsonTextWriter::reserve(qsizetype total)
{
    if (total > m_out.size())
        m_out.resize(total);
}

char *JsonTextWriter::extend(qsizetype count)
{
    const qsizetype used = m_used;
    if (m_out.size() - used < count)
        m_out.resize(std::max(used + count, 2 * m_out.size() + 4096));
    m_used += count;
    return m_out.data() + used;
}

void JsonTextWriter::append(const char *data, qsizetype count)
{
    if (count > 0)
        std::memcpy(extend(count), data, size_t(count));
}

void JsonTextWriter::appendInteger(qint64 number)
{
    // As QByteArray::number writes it.
    char digits[24];
    char *const end = digits + sizeof digits;
    char *p = end;
    quint64 rest = number < 0 ? 0 - quint64(number) : quint64(number);
    do {
        *--p = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (number < 0)
        *--p = '-';
    append(p, end - p);
}

// "\uXXXX" for one UTF-16 unit, in lower-case hex as QJsonDocument writes it.
void JsonTextWriter::appendUnicodeEscape(char16_t unit)
{
    static const char hex[] = "0123456789abcdef";
    const char escape[] = {'\\', 'u', hex[unit >> 12], hex[(unit >> 8) & 0xf], hex[(unit >> 4) & 0xf],
                           hex[unit & 0xf]};
    append(escape, sizeof escape);
}

void JsonTextWriter::appendEscaped(const char *begin, const char *end)
{
    const char *run = begin;
    for (const char *p = begin; p != end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        append(run, p - run);
        run = p + 1;
        // The characters with a two-character escape, and the letter after
        // the backslash; any other is written as "\uXXXX".
        static constexpr char shortForms[] = "\"\"\\\\\bb\ff\nn\rr\tt";
        const char *form = shortForms;
        while (*form != '\0' && static_cast<unsigned char>(*form) != c)
            form += 2;
        if (*form != '\0') {
            const char escape[] = {'\\', form[1]};
            append(escape, sizeof escape);
        } else {
            appendUnicodeEscape(c);
        }
    }
    append(run, end - run);
}

void JsonTextWriter::newItem()
{
    if (m_hasItems.isEmpty())
        return; // the root value
    bool &hasItems = m_hasItems.last();
    if (hasItems)
        append(",\n", 2);
    else
        append('\n');
    hasItems = true;
    const qsizetype indent = 4 * m_hasItems.size();
    std::memset(extend(indent), ' ', size_t(indent));
}

void JsonTextWriter::writeString(const QString &text)
{
    // Most texts are plain ASCII: copied across as they are. Any other
    // takes the long way.
    const qsizetype length = text.size();
    char *out = extend(length + 2);
    *out++ = '"';
    const auto *units = reinterpret_cast<const char16_t *>(text.constData());
    for (qsizetype i = 0; i < length; ++i) {
        if (!plain(units[i])) {
            m_used -= length + 2;
            writeEscapedString(text);
            return;
        }
        out[i] = char(units[i]);
    }
    out[length] = '"';
}

void JsonTextWriter::writeEscapedString(const QString &text)
{
    // Runs of well-formed UTF-16 go through the fast converter. A lone
    // surrogate (a file may carry "\ud800") is written as an escape, as
    // QJsonDocument does, instead of being replaced on the way out.
    const auto appendRun = [this](const char16_t *begin, const char16_t *stop) {
        if (begin == stop)
            return;
        const QByteArray utf8 = QStringView(begin, stop - begin).toUtf8();
        appendEscaped(utf8.constData(), utf8.constData() + utf8.size());
    };
    append('"');
    const auto *p = reinterpret_cast<const char16_t *>(text.constData());
    const auto *const end = p + text.size();
    const char16_t *run = p;
    while (p != end) {
        if (!QChar::isSurrogate(*p)) {
            ++p;
        } else if (QChar::isHighSurrogate(*p) && end - p >= 2 && QChar::isLowSurrogate(p[1])) {
            p += 2;
        } else {
            appendRun(run, p);
            appendUnicodeEscape(*p++);
            run = p;
        }
    }
    appendRun(run, end);
    append('"');
}

void JsonTextWriter::writeString(QLatin1String text)
{
    // Keys and fixed words of this program: plain ASCII.
    append('"');
    appendEscaped(text.data(), text.data() + text.size());
    append('"');
}

template <typename Text>
void JsonTextWriter::writeKey(const Text &key)
{
    newItem();
    writeString(key);
    append(": ", 2);
}

void JsonTextWriter::writeNumber(double number)
{
    // QJsonValue keeps a whole number of at most 53 bits as an integer and
    // writes it without an exponent (1000000, not 1e+06; 0 for -0). JSON has
    // no infinity or NaN; QJsonDocument writes null for them too.
    constexpr double kExactWhole = 9007199254740992.0; // 2^53
    if (number >= -kExactWhole && number <= kExactWhole && number == std::trunc(number)) {
        appendInteger(qint64(number));
    } else if (std::isfinite(number)) {
        const QByteArray text = QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
        append(text.constData(), text.size());
    } else {
        append("null", 4);
    }
}

void JsonTextWriter::open(char bracket)
{
    append(bracket);
    m_hasItems.append(false);
}

void JsonTextWriter::close(char bracket)
{
    // An empty container still spans two lines, as in QJsonDocument's text.
    m_hasItems.removeLast();
    append('\n');
    const qsizetype indent = 4 * m_hasItems.size();
    std::memset(extend(indent), ' ', size_t(indent));
    append(bracket);
    if (m_hasItems.isEmpty())
        append('\n');
}

void JsonTextWriter::beginObject()
{
    newItem();
    open('{');
}

void JsonTextWriter::beginObject(const QString &key)
{
    writeKey(key);
    open('{');
}

void JsonTextWriter::beginObject(QLatin1String key)
{
    writeKey(key);
    open('{');
}

void JsonTextWriter::endObject()
{
    close('}');
}

void JsonTextWriter::beginArray()
{
    newItem();
    open('[');
}

void JsonTextWriter::beginArray(const QString &key)
{
    writeKey(key);
    open('[');
}

void JsonTextWriter::beginArray(QLatin1String key)
{
    writeKey(key);
    open('[');
}

void JsonTextWriter::endArray()
{
    close(']');
}

void JsonTextWriter::value(QLatin1String key, const QString &text)
{
    writeKey(key);
    writeString(text);
}

void JsonTextWriter::value(QLatin1String key, QLatin1String text)
{
    writeKey(key);
    writeString(text);
}

void JsonTextWriter::value(QLatin1String key, double number)
{
    writeKey(key);
    writeNumber(number);
}

void JsonTextWriter::value(QLatin1String key, int number)
{
    value(key, qint64(number));
}

void JsonTextWriter::value(QLatin1String key, qint64 number)
{
    writeKey(key);
    appendInteger(number);
}

void JsonTextWriter::value(QLatin1String key, bool flag)
{
    writeKey(key);
    if (flag)
        append("true", 4);
    else
        append("false", 5);
}

void JsonTextWriter::value(QLatin1String key, const QStringList &texts)
{
    beginArray(key);
    for (const QString &text : texts) {
        newItem();
        writeString(text);
    }
    endArray();
}

void JsonTextWriter::value(QLatin1String key, const QList<int> &numbers)
{
    beginArray(key);
    for (int number : numbers)
        element(number);
    endArray();
}

void JsonTextWriter::element(double number)
{
    newItem();
    writeNumber(number);
}

void JsonTextWriter::element(int number)
{
    element(qint64(number));
}

void JsonTextWriter::element(qint64 number)
{
    newItem();
    appendInteger(number);
}

} // namespace pv
