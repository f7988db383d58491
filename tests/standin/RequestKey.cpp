#include "standin/RequestKey.h"

#include <QList>
#include <algorithm>

namespace pv::test {

namespace {

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
        || c == '.' || c == '_' || c == '~';
}

QByteArray recode(const QByteArray &part, bool keepColon)
{
    return encodeKeyPart(QByteArray::fromPercentEncoding(part), keepColon);
}

} // namespace

QByteArray encodeKeyPart(const QByteArray &decoded, bool keepColon)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(decoded.size() * 3);
    for (const char c : decoded) {
        if (isUnreserved(c) || (keepColon && c == ':')) {
            out.append(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 0x0f]);
        }
    }
    return out;
}

QByteArray normalisePath(const QByteArray &path)
{
    QList<QByteArray> segments = path.split('/');
    for (QByteArray &segment : segments)
        segment = recode(segment, false);
    return segments.join('/');
}

QByteArray requestKey(const QByteArray &rawTarget)
{
    QByteArray target = rawTarget;
    target.replace('+', ' ');
    const qsizetype mark = target.indexOf('?');
    const QByteArray path = mark < 0 ? target : target.left(mark);
    const QByteArray query = mark < 0 ? QByteArray() : target.mid(mark + 1);

    QByteArray key = normalisePath(path);
    if (query.isEmpty())
        return key;

    QList<QByteArray> items = query.split('&');
    for (QByteArray &item : items) {
        const qsizetype eq = item.indexOf('=');
        const QByteArray name = eq < 0 ? item : item.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : item.mid(eq + 1);
        item = recode(name, true) + '=' + recode(value, true);
    }
    return key + '?' + items.join('&');
}

QByteArray withSortedQuery(const QByteArray &key)
{
    const qsizetype mark = key.indexOf('?');
    if (mark < 0)
        return key;
    QList<QByteArray> items = key.mid(mark + 1).split('&');
    std::sort(items.begin(), items.end());
    return key.left(mark + 1) + items.join('&');
}

} // namespace pv::test
