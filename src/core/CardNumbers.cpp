#include "core/CardNumbers.h"

#include <QChar>

#include <limits>

namespace pv {

namespace {

// The code point starting at i (a surrogate pair counts as one) and its
// length in UTF-16 units, so digits outside the basic plane count as digits.
char32_t codePointAt(const QString &text, qsizetype i, qsizetype *length)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    *length = 1;
    return c.unicode();
}

// Length in UTF-16 units of the run of Unicode decimal digits starting at from.
qsizetype digitRunLength(const QString &text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size()) {
        qsizetype length = 0;
        if (!QChar::isDigit(codePointAt(text, i, &length)))
            break;
        i += length;
    }
    return i - from;
}

qsizetype firstDigit(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype length = 0;
        if (QChar::isDigit(codePointAt(text, i, &length)))
            return i;
        i += length;
    }
    return text.size();
}

// The same cut as firstDigit and digitRunLength for text that is plain ASCII
// up to the end of its first digit run, where a digit is only 0 to 9. Gives
// false as soon as it meets another character; the general scan then decides.
bool asciiDigitRun(const QString &text, qsizetype *start, qsizetype *run)
{
    const QChar *units = text.constData();
    const qsizetype size = text.size();
    qsizetype i = 0;
    for (; i < size; ++i) {
        const char16_t u = units[i].unicode();
        if (u >= 0x80)
            return false;
        if (u >= u'0' && u <= u'9')
            break;
    }
    qsizetype end = i;
    for (; end < size; ++end) {
        const char16_t u = units[end].unicode();
        if (u >= 0x80)
            return false;
        if (u < u'0' || u > u'9')
            break;
    }
    *start = i;
    *run = end - i;
    return true;
}

// Base 10 over ASCII digits only; -1 for any other digit or a value beyond
// 64 bits. Leading zeros never overflow.
qint64 toNumber(QStringView digits)
{
    if (digits.isEmpty())
        return -1;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9')
            return -1;
        const int digit = u - u'0';
        if (value > (max - digit) / 10)
            return -1;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

QString normalizeCardNumber(const QString &number)
{
    QString text = number.trimmed();
    if (text.isEmpty())
        return QString();
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        text = text.left(slash);
    text = text.trimmed().toUpper();
    const qsizetype run = digitRunLength(text, 0);
    qsizetype zeros = 0;
    while (zeros < run - 1 && text.at(zeros) == QLatin1Char('0'))
        ++zeros;
    return text.mid(zeros);
}

CardNumber parseCardNumber(const QString &number)
{
    qsizetype start = 0;
    qsizetype run = 0;
    if (!asciiDigitRun(number, &start, &run)) {
        start = firstDigit(number);
        run = digitRunLength(number, start);
    }
    CardNumber parsed;
    // Most numbers are digits alone: no empty prefix or suffix is cut out.
    if (start > 0)
        parsed.prefix = number.left(start).toUpper();
    parsed.number = toNumber(QStringView(number).mid(start, run));
    if (start + run < number.size())
        parsed.suffix = number.mid(start + run).toUpper();
    return parsed;
}

bool cardNumberLess(const QString &a, const QString &b)
{
    const CardNumber x = parseCardNumber(a);
    const CardNumber y = parseCardNumber(b);
    if (x.prefix != y.prefix)
        return x.prefix < y.prefix;
    if (x.number != y.number)
        return x.number < y.number;
    if (x.suffix != y.suffix)
        return x.suffix < y.suffix;
    return a < b;
}

QString cardNumberSortKey(const QString &number)
{
    const CardNumber parsed = parseCardNumber(number);
    // Zero padding goes after the sign, so "no number" (-1) reads "-0000001"
    // and sorts before every real number of up to eight digits.
    QString digits = QString::number(parsed.number < 0 ? -parsed.number : parsed.number);
    const int width = parsed.number < 0 ? 7 : 8;
    digits = digits.rightJustified(width, QLatin1Char('0'));
    if (parsed.number < 0)
        digits.prepend(QLatin1Char('-'));
    return QStringLiteral("%1|%2|%3").arg(parsed.prefix, digits, parsed.suffix);
}

} // namespace pv
