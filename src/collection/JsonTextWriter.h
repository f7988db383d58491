#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

namespace pv {

// Writes indented JSON text straight into a byte buffer, four spaces a level
// as QJsonDocument does. Building a QJsonObject for every record first costs
// more than twice the serialisation itself on a large collection.
//
// Members are written in call order; a member or element of a finished
// container is a caller error and is not checked.
class JsonTextWriter
{
public:
    explicit JsonTextWriter(qsizetype reserveBytes = 0);

    // Containers: the keyless forms open the root or an array element.
    void beginObject();
    void beginObject(const QString &key);
    void beginObject(QLatin1String key);
    void endObject();
    void beginArray();
    void beginArray(const QString &key);
    void beginArray(QLatin1String key);
    void endArray();

    // Object members.
    void value(QLatin1String key, const QString &text);
    void value(QLatin1String key, QLatin1String text);
    void value(QLatin1String key, double number);
    void value(QLatin1String key, int number);
    void value(QLatin1String key, qint64 number);
    void value(QLatin1String key, bool flag);
    void value(QLatin1String key, const QStringList &texts);
    void value(QLatin1String key, const QList<int> &numbers);

    // Array elements.
    void element(double number);
    void element(int number);
    void element(qint64 number);

    // The text so far, with a final line end once the root is closed.
    const QByteArray &bytes() const;
    // Bytes written so far, and how many the buffer holds before it grows.
    qsizetype size() const { return m_used; }
    qsizetype capacity() const { return m_out.size(); }
    // Gives the buffer room for the text to reach total bytes without
    // growing again; a buffer that runs short doubles, copying the text.
    void reserve(qsizetype total);

private:
    // Room for count more bytes at the end of the text, which now holds
    // them: the buffer grows in large steps, and the many short pieces of
    // the text are copied in without a call into QByteArray each.
    char *extend(qsizetype count);
    void append(const char *data, qsizetype count);
    void append(char c) { *extend(1) = c; }
    void appendInteger(qint64 number);
    void appendEscaped(const char *begin, const char *end);
    void appendUnicodeEscape(char16_t unit);
    void newItem();
    // Defined and used in the source only: a QString or a QLatin1String.
    template <typename Text>
    void writeKey(const Text &key);
    void writeString(const QString &text);
    void writeEscapedString(const QString &text);
    void writeString(QLatin1String text);
    void writeNumber(double number);
    void open(char bracket);
    void close(char bracket);

    // The text is its first m_used bytes; bytes() cuts it to them.
    mutable QByteArray m_out;
    qsizetype m_used = 0;
    // One flag per open container: whether it holds an item yet.
    QList<bool> m_hasItems;
};

} // namespace pv
