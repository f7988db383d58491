#include "TestRegistry.h"

#include "collection/JsonTextWriter.h"
#include "collection/JsonTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace pv;

namespace {

QJsonValue toQt(const JsonValueRef &value)
{
    if (value.isObject()) {
        QJsonObject object;
        for (const auto &[key, member] : value.members())
            object.insert(key, toQt(member)); // a repeated name: the last one stays
        return object;
    }
    if (value.isArray()) {
        QJsonArray array;
        for (const JsonValueRef &element : value.elements())
            array.append(toQt(element));
        return array;
    }
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return value.toDouble();
    if (value.isBool())
        return value.toBool();
    return QJsonValue(QJsonValue::Null);
}

bool sameValue(const QJsonValue &a, const QJsonValue &b)
{
    if (a.isDouble() && b.isDouble())
        return a.toDouble() == b.toDouble() && std::signbit(a.toDouble()) == std::signbit(b.toDouble());
    if (a.type() != b.type())
        return false;
    if (a.isObject()) {
        const QJsonObject x = a.toObject();
        const QJsonObject y = b.toObject();
        if (x.size() != y.size())
            return false;
        // In step, not by look-up: QJsonObject finds no member by the name it
        // lists for one that began with U+FEFF.
        for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
            if (i.key() != j.key() || !sameValue(i.value(), j.value()))
                return false;
        }
        return true;
    }
    if (a.isArray()) {
        const QJsonArray x = a.toArray();
        const QJsonArray y = b.toArray();
        if (x.size() != y.size())
            return false;
        for (int i = 0; i < x.size(); ++i) {
            if (!sameValue(x.at(i), y.at(i)))
                return false;
        }
        return true;
    }
    return a == b;
}

// Looking a member up by name finds what QJsonObject's own look-up finds, at
// every level.
bool sameLookups(const JsonValueRef &ours, const QJsonValue &qt)
{
    if (qt.isObject()) {
        const QJsonObject object = qt.toObject();
        QStringList asciiNames{QStringLiteral("missing")};
        for (const QString &key : object.keys()) {
            const QByteArray name = key.toLatin1();
            if (QString::fromLatin1(name) != key)
                continue;
            const QJsonValue expected = object.value(QLatin1String(name));
            const JsonValueRef found = ours.value(QLatin1String(name));
            if (found.isUndefined() != expected.isUndefined() || !sameLookups(found, expected))
                return false;
            if (!name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x80; })
                && !asciiNames.contains(key))
                asciiNames.append(key);
        }
        // All names at once, in one pass over the members.
        const JsonNameSet names(asciiNames);
        std::vector<JsonValueRef> picked(size_t(names.size()));
        ours.pick(names, picked.data());
        for (int i = 0; i < names.size(); ++i) {
            const QJsonValue expected = object.value(names.name(i));
            if (picked[size_t(i)].isUndefined() != expected.isUndefined() || !sameLookups(picked[size_t(i)], expected))
                return false;
        }
        return true;
    }
    if (qt.isArray()) {
        const QJsonArray array = qt.toArray();
        const std::vector<JsonValueRef> elements = ours.elements();
        if (elements.size() != size_t(array.size()))
            return false;
        for (int i = 0; i < array.size(); ++i) {
            if (!sameLookups(elements[size_t(i)], array.at(i)))
                return false;
        }
        return true;
    }
    return qt.isUndefined() || sameValue(toQt(ours), qt);
}

// The tree must accept exactly what QJsonDocument accepts, name the same error and read the same values.
void compareWithQt(const QByteArray &text)
{
    QJsonParseError qtError;
    const QJsonDocument qt = QJsonDocument::fromJson(text, &qtError);
    QJsonParseError ourError;
    const JsonTree tree = JsonTree::parse(text, &ourError);
    const bool qtOk = qtError.error == QJsonParseError::NoError;
    const bool ourOk = ourError.error == QJsonParseError::NoError;
    QVERIFY2(qtOk == ourOk, qPrintable(QStringLiteral("%1: Qt says \"%2\", the tree \"%3\"")
                                           .arg(QString::fromLatin1(text.toPercentEncoding(" {}[]:,\"")),
                                                qtError.errorString(), ourError.errorString())));
    QCOMPARE(tree.root().isUndefined(), !ourOk);
    if (!qtOk) {
        QCOMPARE(ourError.errorString(), qtError.errorString()); // the text the user is shown
        return;
    }
    const QJsonValue qtRoot = qt.isObject() ? QJsonValue(qt.object()) : QJsonValue(qt.array());
    QVERIFY2(sameValue(toQt(tree.root()), qtRoot), text.constData());
    QVERIFY2(sameLookups(tree.root(), qtRoot), text.constData());

    // Parsed in place from a buffer with spare room, whatever lies past the
    // end must not count.
    QByteArray padded = JsonTree::paddedBuffer(text.size());
    padded.append(text);
    std::memset(padded.data() + padded.size(), '"', size_t(padded.capacity() - padded.size()));
    const JsonTree inPlace = JsonTree::parse(padded, &ourError);
    QCOMPARE(ourError.error, QJsonParseError::NoError);
    QVERIFY2(sameValue(toQt(inPlace.root()), qtRoot), text.constData());
}

} // namespace

class JsonTextTest : public QObject
{
    Q_OBJECT

private slots:
    void acceptsWhatQtAccepts_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QList<QByteArray> cases{
            "{}", "[]", " \t\r\n{ } \n", "\xef\xbb\xbf{}", "5", "\"x\"", "null", "", "   ", "{} x", QByteArray("{}\0", 3),
            "{\"a\":1,\"a\":2}", "{\"a\":{\"b\":[1,2,{\"c\":null}]},\"d\":true,\"e\":false}",
            "[\"\\ud800\"]", "[\"\\ud800\\udc00\"]", "[\"\\u00e9\\u00E9\"]", "[\"\\u00G9\"]", "[\"\\u12\"]",
            "[\"\\x\\/\\\\\\\"\\b\\f\\n\\r\\t\"]", "[\"a\x01\x1f\x7f\"]", QByteArray("[\"a\0b\"]", 7),
            "[\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x82\xa1\"]", "[\"\xc3\x28\"]", "[\"\xc0\xaf\"]", "[\"\xed\xa0\x80\"]",
            "[\"\xf4\x90\x80\x80\"]", "[\"\xef\xbf\xbe\"]", "[\"\xe0\x80\x80\"]", "[\"\xc3\"]", "[\"\\\xc3\xa9\"]",
            "[1,]", "{\"a\":1,}", "[01]", "[-]", "[1.]", "[.5]", "[-.5]", "[.]", "[1e5]", "[-0]", "[1E+2]", "[1e]",
            "[1e400]", "[-1e400]", "[1e-400]", "[9007199254740993]", "[123456789012345678901234567890]",
            "[0.1,2.5e-3,-7,1.7976931348623157e308]", "[tru]", "[true false]", "[nul]", "[+1]", "[1 2]",
            "{\"a\" 1}", "{1:2}", "{\"a\":}", "{,}", "[,]", "[", "{", "[\"", "{\"a\"", "{\"a\":1", "[1",
            "{\"\":1}", "[\"a\"\"b\"]", "[[[]]]", "{\"k\\u0041\":1}", "[\"\xe2\x80\xa8\"]", "[\v1]", "[\f1]",
            "[-0.0,-0e3]", "[\"\xef\xbb\xbf\\n\xef\xbb\xbf\"]",
            // Where simdjson and QJsonDocument part ways: zeros and underflow,
            // integer range, byte order marks, raw controls in strings, lax escapes.
            "[0.0]", "[0e-400]", "[1.5e-400,2]", "[4.9e-324]", "[1.7976931348623159e308]", "\xef\xbb\xbf[1e-400]",
            "[18446744073709551615]", "[18446744073709551616]", "[-9223372036854775808]", "[-9223372036854775809]",
            "\xef\xbb\xbf\xef\xbb\xbf{}", " \xef\xbb\xbf{}", "\xef\xbb\xbf", "{\"\xef\xbb\xbfk\":\"\xef\xbb\xbfv\"}",
            "[\"\t\"]", "{\"a\":\"\\'\",\"a\":\"\\udc00x\",\"b\":[1.,.5]}", "{\"a\":1}\n",
            "[\"\\u0000\"]", "{\"a\":\"b\"\x0c}"};
        for (const QByteArray &text : cases)
            QTest::newRow(text.toPercentEncoding(" {}[]:,\"").left(40).constData()) << text;
        QTest::newRow("1024 deep") << QByteArray(1024, '[') + QByteArray(1024, ']');
        QTest::newRow("1025 deep") << QByteArray(1025, '[') + QByteArray(1025, ']');
        QTest::newRow("100000 deep") << QByteArray(100000, '[');
        // Fractions that underflow only after hundreds of zeros, at every
        // alignment, and texts with a minus after an "e" that is no exponent.
        for (int zeros : {299, 300, 301, 330}) {
            for (int shift = 0; shift < 4; ++shift) {
                QTest::newRow(qPrintable(QStringLiteral("%1 zeros, shifted %2").arg(zeros).arg(shift)))
                    << QByteArray(shift, ' ') + "[0." + QByteArray(zeros, '0') + "1,0.0]";
            }
        }
        QTest::newRow("dash after e") << QByteArray("[\"Pre-release\",\"5e-3\",0.0,\"\\u00e9\"]");
        QTest::newRow("zeros in text") << QByteArray("[\"") + QByteArray(400, '0') + "\",0.0]";
    }

    void acceptsWhatQtAccepts()
    {
        QFETCH(QByteArray, text);
        compareWithQt(text);
    }

    // Damaged copies of a realistic document: every one is accepted or
    // refused as QJsonDocument does it, and read alike.
    void damagedDocumentsMatchQt()
    {
        // (No raw string: moc's scanner reads the escapes inside one as the end of it.)
        const QByteArray sample =
            "{\"format\": \"tallowk\", \"version\": 5, \"sets\": {\"ja:SV3\": {\"id\": \"SV3\", "
            "\"name\": \"\xe9\xbb\x92\xe7\x82\x8e\", \"order\": 3}},\n \"entries\": [{\"cardId\": \"sv03-1\", \"count\": 2, "
            "\"unitValueEur\": 1.25e1, \"notes\": \"a\\\"b\\\\c\\n\\u00e9\", \"printLabel\": true},\n"
            " {\"cardId\": \"sv03-2\", \"dexId\": 25, \"priceUpdated\": null, \"rarity\": \"Rare\"}],\n"
            " \"history\": [{\"date\": \"2026-01-05\", \"totalEur\": -0.5, \"sets\": {\"en:sv03\": [12.5, 3]}}], "
            "\"binders\": []}";
        compareWithQt(sample);
        QRandomGenerator random(20260105);
        const QByteArray alphabet = "{}[]:,\"\\.-+eE0123456789 tfnu\xc3\xa9\x80\xff";
        for (int round = 0; round < 4000; ++round) {
            QByteArray text = sample;
            const int edits = 1 + random.bounded(3);
            for (int e = 0; e < edits && !text.isEmpty(); ++e) {
                const int at = random.bounded(int(text.size()));
                switch (random.bounded(4)) {
                case 0: text[at] = alphabet.at(random.bounded(int(alphabet.size()))); break;
                case 1: text.insert(at, alphabet.at(random.bounded(int(alphabet.size())))); break;
                case 2: text.remove(at, 1 + random.bounded(3)); break;
                default: text.truncate(at); break;
                }
            }
            compareWithQt(text);
            if (QTest::currentTestFailed()) {
                qWarning("round %d", round);
                return;
            }
        }
    }

    void readsLikeQJsonValue()
    {
        QJsonParseError error;
        const JsonTree tree = JsonTree::parse(
            R"({"i": 5.0, "f": 5.5, "big": 2147483648, "neg": -2147483648, "s": "x", "t": true, "n": null,
                "a\u0062": "escaped key", "dup": 1, "dup": 2, "n\u00e9": "Latin-1 name"})",
            &error);
        const JsonValueRef root = tree.root();
        QVERIFY(root.isObject());
        QCOMPARE(root.value(QLatin1String("i")).toInt(7), 5);
        QCOMPARE(root.value(QLatin1String("f")).toInt(7), 7);
        QCOMPARE(root.value(QLatin1String("big")).toInt(7), 7);
        QCOMPARE(root.value(QLatin1String("neg")).toInt(7), -2147483647 - 1);
        QCOMPARE(root.value(QLatin1String("s")).toInt(7), 7);
        QCOMPARE(root.value(QLatin1String("s")).toDouble(1.5), 1.5);
        QCOMPARE(root.value(QLatin1String("i")).toString(), QString());
        QCOMPARE(root.value(QLatin1String("t")).toBool(false), true);
        QCOMPARE(root.value(QLatin1String("n")).toBool(true), true);
        QVERIFY(root.value(QLatin1String("n")).isNull());
        QCOMPARE(root.value(QLatin1String("ab")).toString(), QStringLiteral("escaped key"));
        QCOMPARE(root.value(QLatin1String("dup")).toInt(), 2);
        QCOMPARE(root.value(QLatin1String("n\xe9")).toString(), QStringLiteral("Latin-1 name"));
        QVERIFY(root.contains(QLatin1String("n")));
        const JsonNameSet names{"dup", "ab", "missing", "i"};
        JsonValueRef picked[4];
        root.pick(names, picked);
        QCOMPARE(picked[0].toInt(), 2);
        QCOMPARE(picked[1].toString(), QStringLiteral("escaped key"));
        QVERIFY(picked[2].isUndefined());
        QCOMPARE(picked[3].toInt(7), 5);
        const JsonNameSet words{"y", "x", ""};
        QCOMPARE(root.value(QLatin1String("s")).wordIndex(words), 1);
        QCOMPARE(root.value(QLatin1String("ab")).wordIndex(words), -1);
        QCOMPARE(root.value(QLatin1String("i")).wordIndex(words), -1);
        QVERIFY(!root.contains(QLatin1String("missing")));

        const JsonValueRef missing = root.value(QLatin1String("missing"));
        QVERIFY(missing.isUndefined());
        QCOMPARE(missing.value(QLatin1String("x")).toString(), QString());
        QCOMPARE(missing.size(), 0);
        QVERIFY(missing.at(0).isUndefined());
        QCOMPARE(root.keyAt(7), QStringLiteral("ab"));
        QVERIFY(root.at(99).isUndefined());
        QVERIFY(JsonTree().root().isUndefined());
    }

    void writerMatchesQtText()
    {
        // Members in the sorted order QJsonDocument keeps, so the two texts can be compared byte for byte.
        JsonTextWriter out;
        out.beginObject();
        out.beginArray(QLatin1String("empty"));
        out.endArray();
        out.beginObject(QLatin1String("nested"));
        out.value(QLatin1String("flag"), false);
        out.value(QLatin1String("list"), QStringList{QStringLiteral("a"), QString()});
        out.value(QLatin1String("numbers"), QList<int>{1, -2});
        out.endObject();
        out.beginObject(QLatin1String("none"));
        out.endObject();
        out.beginArray(QStringLiteral("pairs"));
        out.element(12.5);
        out.element(3);
        out.element(1e20);
        out.element(0.1);
        out.element(1e6);
        out.element(-0.0);
        out.endArray();
        out.value(QLatin1String("text"), QStringLiteral("tab\t quote\" slash\\ nul%1 ctl\x1f é € 🂡 %2")
                                             .arg(QChar(0), QChar(0xdc00)));
        out.value(QLatin1String("whole"), 42.0);
        out.endObject();

        const QJsonObject expected{
            {QStringLiteral("empty"), QJsonArray()},
            {QStringLiteral("nested"), QJsonObject{{QStringLiteral("flag"), false},
                                                   {QStringLiteral("list"), QJsonArray{QStringLiteral("a"), QString()}},
                                                   {QStringLiteral("numbers"), QJsonArray{1, -2}}}},
            {QStringLiteral("none"), QJsonObject()},
            {QStringLiteral("pairs"), QJsonArray{12.5, 3, 1e20, 0.1, 1e6, -0.0}},
            {QStringLiteral("text"), QStringLiteral("tab\t quote\" slash\\ nul%1 ctl\x1f é € 🂡 %2").arg(QChar(0), QChar(0xdc00))},
            {QStringLiteral("whole"), 42.0}};
        QCOMPARE(out.bytes(), QJsonDocument(expected).toJson(QJsonDocument::Indented));

        JsonTextWriter odd;
        odd.beginArray();
        odd.element(std::numeric_limits<double>::infinity());
        odd.element(std::numeric_limits<double>::quiet_NaN());
        odd.endArray();
        QCOMPARE(QJsonDocument::fromJson(odd.bytes()).array(), (QJsonArray{QJsonValue::Null, QJsonValue::Null}));
    }
};

PV_REGISTER_TEST(JsonTextTest)
#include "JsonTextTest.moc"
