// The collection file's JSON reader against QJsonDocument: the same bytes
// are accepted or refused alike, a refusal carries the same error text and
// offset, and every value reads the same, by position and by name. A file
// the reader accepts then goes through read, write, read, write, and the two
// written texts must match byte for byte.
#include "FuzzSupport.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/JsonTree.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace pv;

namespace {

[[noreturn]] void fail(const char *what)
{
    fuzz::fail(QString::fromLatin1(what));
}

void compare(const JsonValueRef &ours, const QJsonValue &qt)
{
    if (qt.isObject()) {
        if (!ours.isObject())
            fail("an object reads as another kind");
        const QJsonObject object = qt.toObject();
        // The same names. (Compared as sets: QJsonObject keeps a name that
        // began with U+FEFF apart from the same name without, and lists both
        // alike.)
        QSet<QString> names;
        for (const auto &[key, value] : ours.members())
            names.insert(key);
        const QStringList qtKeys = object.keys();
        if (names != QSet<QString>(qtKeys.begin(), qtKeys.end()))
            fail("an object's member names differ");
        // Every name alone, then all at once in one pass, together with
        // names the object may lack.
        QStringList asciiNames{QStringLiteral("cardId"), QStringLiteral("count"), QStringLiteral("a")};
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QByteArray name = it.key().toLatin1();
            if (QString::fromLatin1(name) != it.key())
                continue;
            const QJsonValue expected = object.value(QLatin1String(name));
            const JsonValueRef found = ours.value(QLatin1String(name));
            if (expected.isUndefined() != found.isUndefined())
                fail("a member is found by name on one side only");
            if (!expected.isUndefined())
                compare(found, expected);
            if (!name.isEmpty()
                && std::all_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x80; })
                && !asciiNames.contains(it.key()))
                asciiNames.append(it.key());
        }
        const JsonNameSet pickNames(asciiNames);
        std::vector<JsonValueRef> picked(size_t(pickNames.size()));
        ours.pick(pickNames, picked.data());
        for (int i = 0; i < pickNames.size(); ++i) {
            const QJsonValue expected = object.value(pickNames.name(i));
            if (expected.isUndefined() != picked[size_t(i)].isUndefined())
                fail("a member is picked on one side only");
            if (!expected.isUndefined())
                compare(picked[size_t(i)], expected);
        }
        return;
    }
    if (qt.isArray()) {
        const QJsonArray array = qt.toArray();
        const std::vector<JsonValueRef> elements = ours.elements();
        if (!ours.isArray() || elements.size() != size_t(array.size()) || ours.size() != int(array.size()))
            fail("an array reads with another length");
        for (int i = 0; i < array.size(); ++i)
            compare(elements[size_t(i)], array.at(i));
        return;
    }
    if (qt.isString()) {
        const QString text = qt.toString();
        if (!ours.isString() || ours.toString() != text)
            fail("a string reads differently");
        // Told apart from a set of words, shared or not.
        QStringList words{QStringLiteral("en"), QStringLiteral("ja"), QString()};
        const QByteArray latin1 = text.toLatin1();
        const bool ascii = QString::fromLatin1(latin1) == text
            && std::all_of(latin1.begin(), latin1.end(), [](char c) { return uchar(c) < 0x80; });
        if (ascii)
            words.append(text);
        if (ours.wordIndex(JsonNameSet(words)) != int(words.indexOf(text)))
            fail("a string is told apart from words differently");
        JsonStringPool pool;
        if (pool.text(ours) != text || pool.text(ours) != text)
            fail("a pooled string reads differently");
    } else if (qt.isDouble()) {
        const double a = ours.toDouble(-1.5);
        const double b = qt.toDouble();
        if (!ours.isDouble() || a != b || std::signbit(a) != std::signbit(b))
            fail("a number reads differently");
        if (ours.toInt(-7) != (b == std::trunc(b) && b >= -2147483648.0 && b <= 2147483647.0 ? int(b) : -7))
            fail("a number reads as another int");
    } else if (qt.isBool()) {
        if (!ours.isBool() || ours.toBool(!qt.toBool()) != qt.toBool())
            fail("a truth value reads differently");
    } else if (qt.isNull()) {
        if (!ours.isNull())
            fail("null reads as another kind");
    }
}

QString scratch(const char *name)
{
    return fuzz::scratchFile(QLatin1String(name));
}

// The written text without its save time, which is the only thing two saves
// of one collection may differ in.
QByteArray savedText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("a written file cannot be read back");
    QByteArray text = file.readAll();
    const qsizetype at = text.indexOf("\n    \"savedAt\": ");
    if (at >= 0)
        text.remove(at, text.indexOf('\n', at + 1) - at);
    return text;
}

void roundTrip(const uint8_t *data, size_t size)
{
    const QString in = scratch("in.tmk");
    {
        QFile file(in);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the scratch file");
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const CollectionSerializer::ReadResult first = CollectionSerializer::read(in);
    if (!first.ok)
        return;
    const QString outA = scratch("a.tmk");
    const QString outB = scratch("b.tmk");
    Collection once;
    once.replaceContents(first.entries, first.sets, first.history, first.binders, first.labelStyle);
    if (!CollectionSerializer::write(outA, once))
        fail("writing back failed");
    const CollectionSerializer::ReadResult second = CollectionSerializer::read(outA);
    if (!second.ok)
        fail("what was written back does not read");
    Collection twice;
    twice.replaceContents(second.entries, second.sets, second.history, second.binders, second.labelStyle);
    if (!CollectionSerializer::write(outB, twice))
        fail("writing back a second time failed");
    if (savedText(outA) != savedText(outB))
        fail("read, write, read, write does not give the same bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();

    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    QJsonParseError qtError;
    const QJsonDocument qt = QJsonDocument::fromJson(text, &qtError);
    QJsonParseError ourError;
    const JsonTree tree = JsonTree::parse(text, &ourError);
    if ((qtError.error == QJsonParseError::NoError) != (ourError.error == QJsonParseError::NoError))
        fail("accepted on one side only");
    if (qtError.error != QJsonParseError::NoError) {
        if (ourError.error != qtError.error || ourError.offset != qtError.offset
            || ourError.errorString() != qtError.errorString())
            fail("refused with another error or offset");
        return 0;
    }
    compare(tree.root(), qt.isObject() ? QJsonValue(qt.object()) : QJsonValue(qt.array()));

    // In place from a buffer with spare room holding junk past the end.
    QByteArray padded = JsonTree::paddedBuffer(text.size());
    padded.append(text);
    std::memset(padded.data() + padded.size(), '[', size_t(padded.capacity() - padded.size()));
    QJsonParseError paddedError;
    const JsonTree inPlace = JsonTree::parse(padded, &paddedError);
    if (paddedError.error != QJsonParseError::NoError)
        fail("refused when parsed in place");
    compare(inPlace.root(), qt.isObject() ? QJsonValue(qt.object()) : QJsonValue(qt.array()));

    roundTrip(data, size);
    return 0;
}
