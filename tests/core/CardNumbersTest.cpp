#include "TestRegistry.h"

#include "core/CardNumbers.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace pv;

class CardNumbersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalForm_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blanks around a printed number") << " 4/102 " << "4";
        QTest::newRow("zero") << "0" << "0";
        QTest::newRow("double zero") << "00" << "0";
        QTest::newRow("zero then letter") << "0A" << "0A";
        QTest::newRow("ten") << "010" << "10";
        QTest::newRow("lower-case prefix") << "sv001" << "SV001";
        QTest::newRow("all blank") << " \t " << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("slash only") << "/" << "";
        QTest::newRow("starts with slash") << "/102" << "";
        QTest::newRow("blank before slash") << "  /102" << "";
        QTest::newRow("blanks inside the cut") << "007 / 100" << "7";
        QTest::newRow("second slash") << "4/5/6" << "4";
        // Arabic-Indic digits are decimal digits but not zeros to strip.
        QTest::newRow("non-ASCII digit run") << QString::fromUtf8("0\u0664") << QString::fromUtf8("\u0664");
        QTest::newRow("fullwidth zeros kept") << QString::fromUtf8("\uff10\uff14") << QString::fromUtf8("\uff10\uff14");
        QTest::newRow("25 zeros") << QString(25, QLatin1Char('0')) << "0";
    }
    void normalForm()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(normalizeCardNumber(input), expected);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("prefix") << "SV012" << "SV" << qint64(12) << "";
        QTest::newRow("suffix") << "25a" << "" << qint64(25) << "A";
        QTest::newRow("no digits") << "tg" << "TG" << qint64(-1) << "";
        QTest::newRow("printed total kept") << "4/102" << "" << qint64(4) << "/102";
        QTest::newRow("empty") << "" << "" << qint64(-1) << "";
        QTest::newRow("slash only") << "/" << "/" << qint64(-1) << "";
        QTest::newRow("not trimmed") << " 7 " << " " << qint64(7) << " ";
        QTest::newRow("25-digit run") << QStringLiteral("1234567890123456789012345x") << ""
                                      << qint64(-1) << "X";
        QTest::newRow("int64 max") << "9223372036854775807" << "" << qint64(9223372036854775807LL) << "";
        QTest::newRow("int64 max + 1") << "9223372036854775808" << "" << qint64(-1) << "";
        QTest::newRow("leading zeros do not overflow")
            << QString(30, QLatin1Char('0')) + QStringLiteral("5") << "" << qint64(5) << "";
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("A\u0661\u0662b") << "A" << qint64(-1) << "B";
        QTest::newRow("mixed run") << QString::fromUtf8("1\u0662") << "" << qint64(-1) << "";
        QTest::newRow("accented suffix") << QString::fromUtf8("12\u00e9") << "" << qint64(12)
                                         << QString::fromUtf8("\u00c9");
        QTest::newRow("accented prefix") << QString::fromUtf8("\u00e95a") << QString::fromUtf8("\u00c9")
                                         << qint64(5) << "A";
        QTest::newRow("fullwidth digits") << QString::fromUtf8("\uff11\uff12") << "" << qint64(-1) << "";
        // U+1D7CE MATHEMATICAL BOLD DIGIT ZERO lies outside the basic plane.
        QTest::newRow("digit outside the basic plane")
            << QString::fromUtf8("SV\U0001D7CE9") << "SV" << qint64(-1) << "";
        QTest::newRow("lone surrogate") << QString(QChar(0xD835)) + QStringLiteral("7") << QString(QChar(0xD835))
                                        << qint64(7) << "";
    }
    void parse()
    {
        QFETCH(QString, input);
        QFETCH(QString, prefix);
        QFETCH(qint64, number);
        QFETCH(QString, suffix);
        const CardNumber parsed = parseCardNumber(input);
        QCOMPARE(parsed.prefix, prefix);
        QCOMPARE(parsed.number, number);
        QCOMPARE(parsed.suffix, suffix);
    }

    void order_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("2 < 10") << "2" << "10";
        QTest::newRow("10 < 10A") << "10" << "10A";
        QTest::newRow("SV2 < SV10") << "SV2" << "SV10";
        QTest::newRow("prefix order") << "H1" << "SV1";
        QTest::newRow("no number first") << "TG" << "TG01";
        QTest::newRow("equal parse, texts decide") << "004" << "4";
        QTest::newRow("case of the raw text") << "SV1" << "sv1";
        QTest::newRow("overflow counts as no number") << "99999999999999999999" << "1";
    }
    void order()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(cardNumberLess(a, b));
        QVERIFY(!cardNumberLess(b, a));
        QVERIFY(!cardNumberLess(a, a));
    }

    // The comparator feeds std::sort, which misbehaves on anything but a
    // strict weak ordering; check transitivity over a mixed sample.
    void orderIsStrictWeak()
    {
        const QStringList sample = {"1", "01", "001", "2", "10", "10a", "10A", "SV1", "sv1", "SV01",
                                    "TG", "TG01", "H3", "", "/", "4/102", "25a", "99999999999999999999",
                                    QString::fromUtf8("\u0664"), "a", "A"};
        for (const QString &a : sample) {
            QVERIFY(!cardNumberLess(a, a));
            for (const QString &b : sample) {
                QVERIFY(!(cardNumberLess(a, b) && cardNumberLess(b, a)));
                for (const QString &c : sample) {
                    if (cardNumberLess(a, b) && cardNumberLess(b, c))
                        QVERIFY2(cardNumberLess(a, c), qPrintable(a + " " + b + " " + c));
                }
            }
        }
        QStringList shuffled = sample;
        std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
        std::sort(shuffled.begin(), shuffled.end(), cardNumberLess);
        QVERIFY(std::is_sorted(shuffled.begin(), shuffled.end(), cardNumberLess));
    }

    void sortKey_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("key");
        QTest::newRow("plain") << "12" << "|00000012|";
        QTest::newRow("prefix and suffix") << "SV9a" << "SV|00000009|A";
        QTest::newRow("no digits") << "tg" << "TG|-0000001|";
        QTest::newRow("empty") << "" << "|-0000001|";
        QTest::newRow("long number in full") << "1234567890" << "|1234567890|";
    }
    void sortKey()
    {
        QFETCH(QString, input);
        QFETCH(QString, key);
        QCOMPARE(cardNumberSortKey(input), key);
    }
};

PV_REGISTER_TEST(CardNumbersTest)
#include "CardNumbersTest.moc"
