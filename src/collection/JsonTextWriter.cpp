#include "collection/JsonTextWriter.h"

#include <QLocale>

#include <cmath>

namespace pv {

namespace {

// "\uXXXX" for one UTF-16 unit, in lower-case hex as QJsonDocument writes it.
void appendUnicodeEscape(QByteArray &out, char16_t unit)
{
    static const char hex[] = "0123456789abcdef";
    const char escape[] = {'\\', 'u', hex[unit >> 12], hex[(unit >> 8) & 0xf], hex[(unit >> 4) & 0xf],
                           hex[unit & 0xf]};
    out.append(escape, sizeof escape);
}

void appendEscaped(QByteArray &out, const char *begin, const char *end)
{
    const char *run = begin;
    for (const char *p = begin; p != end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(run, p - run);
        run = p + 1;
        switch (c) {
        case '"': out.append("\\\"", 2); break;
        case '\\': out.append("\\\\", 2); break;
        case '\b': out.append("\\b", 2); break;
        case '\f': out.append("\\f", 2); break;
        case '\n': out.append("\\n", 2); break;
        case '\r': out.append("\\r", 2); break;
        case '\t': out.append("\\t", 2); break;
        default: appendUnicodeEscape(out, c);
        }
    }
    out.append(run, end - run);
}

} // namespace

JsonTextWriter::JsonTextWriter(qsizetype reserveBytes)
{
    if (reserveBytes > 0)
        m_out.reserve(reserveBytes);
}

void JsonTextWriter::newItem()
{
    if (m_hasItems.isEmpty())
        return; // the root value
    bool &hasItems = m_hasItems.last();
    if (hasItems)
        m_out.append(",\n", 2);
    else
        m_out.append('\n');
    hasItems = true;
    m_out.append(4 * m_hasItems.size(), ' ');
}

void JsonTextWriter::writeString(const QString &text)
{
    // Runs of well-formed UTF-16 go through the fast converter. A lone
    // surrogate (a file may carry "\ud800") is written as an escape, as
    // QJsonDocument does, instead of being replaced on the way out.
    const auto appendRun = [this](const char16_t *begin, const char16_t *stop) {
        if (begin == stop)
            return;
        const QByteArray utf8 = QStringView(begin, stop - begin).toUtf8();
        appendEscaped(m_out, utf8.constData(), utf8.constData() + utf8.size());
    };
    m_out.append('"');
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
            appendUnicodeEscape(m_out, *p++);
            run = p;
        }
    }
    appendRun(run, end);
    m_out.append('"');
}

void JsonTextWriter::writeString(QLatin1String text)
{
    // Keys and fixed words of this program: plain ASCII.
    m_out.append('"');
    appendEscaped(m_out, text.data(), text.data() + text.size());
    m_out.append('"');
}

template <typename Text>
void JsonTextWriter::writeKey(const Text &key)
{
    newItem();
    writeString(key);
    m_out.append(": ", 2);
}

void JsonTextWriter::writeNumber(double number)
{
    // QJsonValue keeps a whole number of at most 53 bits as an integer and
    // writes it without an exponent (1000000, not 1e+06; 0 for -0). JSON has
    // no infinity or NaN; QJsonDocument writes null for them too.
    constexpr double kExactWhole = 9007199254740992.0; // 2^53
    if (number >= -kExactWhole && number <= kExactWhole && number == std::trunc(number))
        m_out.append(QByteArray::number(qint64(number)));
    else if (std::isfinite(number))
        m_out.append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
    else
        m_out.append("null", 4);
}

void JsonTextWriter::open(char bracket)
{
    m_out.append(bracket);
    m_hasItems.append(false);
}

void JsonTextWriter::close(char bracket)
{
    // An empty container still spans two lines, as in QJsonDocument's text.
    m_hasItems.removeLast();
    m_out.append('\n');
    m_out.append(4 * m_hasItems.size(), ' ');
    m_out.append(bracket);
    if (m_hasItems.isEmpty())
        m_out.append('\n');
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
    m_out.append(QByteArray::number(number));
}

void JsonTextWriter::value(QLatin1String key, bool flag)
{
    writeKey(key);
    if (flag)
        m_out.append("true", 4);
    else
        m_out.append("false", 5);
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
    m_out.append(QByteArray::number(number));
}

} // namespace pv
