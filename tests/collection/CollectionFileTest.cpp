#include "Fixtures.h"
#include "TestRegistry.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "collection/JsonTextWriter.h"
#include "core/CardKeys.h"
#include "core/FileSaving.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <future>
#include <limits>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace pv;
using Result = CollectionSerializer::ReadResult;

namespace {

QJsonObject entryObject(const QString &cardId)
{
    return QJsonObject{{QStringLiteral("cardId"), cardId},
                       {QStringLiteral("setId"), QStringLiteral("base1")},
                       {QStringLiteral("lang"), QStringLiteral("en")}};
}

QJsonObject document(const QJsonObject &members)
{
    QJsonObject root{{QStringLiteral("format"), QStringLiteral("tallowk")}, {QStringLiteral("version"), 5}};
    for (auto it = members.begin(); it != members.end(); ++it)
        root.insert(it.key(), it.value());
    return root;
}

bool sameSet(const SetRecord &a, const SetRecord &b)
{
    return a.id == b.id && a.name == b.name && a.serie == b.serie && a.language == b.language
        && a.releaseDate == b.releaseDate && a.order == b.order && a.logo == b.logo && a.symbol == b.symbol
        && a.officialCardCount == b.officialCardCount && a.totalCardCount == b.totalCardCount;
}

#ifdef Q_OS_LINUX
// Root writes into a folder whatever its mode says; the immutable flag holds
// for root too. Returns whether the folder is now closed to writing.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}
#endif

} // namespace

class CollectionFileTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    QString writeBytes(const QString &name, const QByteArray &bytes)
    {
        return pv::test::writeFixture(path(name), bytes);
    }

    Result readDocument(const QJsonObject &root, const QString &name = QStringLiteral("doc.tmk"))
    {
        return CollectionSerializer::read(writeBytes(name, QJsonDocument(root).toJson()));
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void everyFieldRoundTrips()
    {
        Collection collection;
        const QStringList finishes{QStringLiteral("normal"), QStringLiteral("holo"), QStringLiteral("reverse"), QString()};
        const QStringList editions{QStringLiteral("unlimited"), QStringLiteral("firstEdition"), QStringLiteral("shadowless"), QString()};
        QList<CardEntry> entries;
        for (int i = 0; i < 7; ++i) {
            CardEntry entry;
            entry.cardId = QStringLiteral("base1-%1").arg(i + 1);
            entry.setId = QStringLiteral("base1");
            entry.localId = QString::number(i + 1);
            entry.name = QStringLiteral("Pokémon ポケモン %1").arg(i);
            entry.lang = i % 2 ? Language::Japanese : Language::English;
            entry.variant = finishes.at(i % finishes.size());
            entry.edition = editions.at(i % editions.size());
            entry.condition = static_cast<Condition>(i);
            entry.gradeCompany = static_cast<GradingCompany>(i);
            entry.gradeNote = i ? QStringLiteral(" %1.5 ").arg(i) : QString();
            entry.count = i + 1;
            entry.notes = i % 3 ? QStringLiteral("née «fragile» \"quoted\"\n✓ %1").arg(i) : QString();
            entry.customPriceEur = i % 2 ? 0.1 * i + 0.01 : 0.0;
            entry.printLabel = i % 2 == 0;
            entry.image = QStringLiteral("https://assets.example.test/en/base/base1/%1").arg(i);
            entry.rarity = i == 3 ? QString() : QStringLiteral("Rare Holo");
            entry.dexId = i * 25;
            entry.unitValueEur = i * 1.1;
            entry.unitValueUsd = i * 1.3;
            if (i != 2)
                entry.priceUpdated = QDateTime(QDate(2026, 3, i + 1), QTime(10, i, 7, i * 100), Qt::UTC);
            entries.append(entry);
        }
        // Values whose text QJsonDocument writes in its own way: whole numbers
        // without an exponent, a lone surrogate as an escape.
        entries[1].notes += QChar(0xd800);
        entries[2].unitValueEur = 2000000.0;
        entries[3].unitValueUsd = 1e7; // the highest price a card is read with
        entries[4].unitValueEur = 1e-7;

        QHash<QString, SetRecord> sets;
        SetRecord full;
        full.id = QStringLiteral("base1");
        full.name = QStringLiteral("Base Set");
        full.serie = QStringLiteral("Base");
        full.releaseDate = QDate(1999, 1, 9);
        full.order = 1;
        full.logo = QStringLiteral("https://assets.example.test/logo");
        full.symbol = QStringLiteral("https://assets.example.test/symbol");
        full.officialCardCount = 102;
        full.totalCardCount = 102;
        sets.insert(setKey(full.language, full.id), full);
        SetRecord sparse;
        sparse.id = QStringLiteral("SV3");
        sparse.name = QStringLiteral("黒炎の支配者");
        sparse.language = Language::Japanese;
        sets.insert(setKey(sparse.language, sparse.id), sparse);

        HistoryPoint plain;
        plain.date = QDate(2026, 1, 5);
        plain.totalEur = MaxHistoryEur; // the largest total a file keeps
        plain.cards = 3;
        HistoryPoint split;
        split.date = QDate(2026, 1, 12);
        split.totalEur = 1234.5678;
        split.cards = 28;
        split.sets.insert(QStringLiteral("en:base1"), {1000.125, 20});
        split.sets.insert(QStringLiteral("ja:SV3"), {234.4428, 8});

        Binder rules;
        rules.id = QStringLiteral("0b1c6f2e-1111-4e5a-9c3d-000000000001");
        rules.name = QStringLiteral("Fire «types»");
        rules.lang = Language::Japanese;
        BinderRule rule;
        rule.setId = QStringLiteral("SV3");
        rule.serieId = QStringLiteral("sv");
        rule.rarities = {QStringLiteral("Rare"), QStringLiteral("Double Rare")};
        rule.dexIds = {4, 5, 6};
        rule.name = QStringLiteral("Char");
        BinderRule onlyName;
        onlyName.name = QStringLiteral("Pikachu");
        rules.rules = {rule, onlyName};
        rules.added = {QStringLiteral("SV3-1")};
        rules.removed = {QStringLiteral("SV3-2")};
        rules.order = {QStringLiteral("SV3-3"), QStringLiteral("SV3-1")};
        rules.columns = 4;
        rules.rows = 2;
        rules.showMissing = false;
        rules.hiddenRarities = {QStringLiteral("Common")};
        Binder top;
        top.id = QStringLiteral("0b1c6f2e-1111-4e5a-9c3d-000000000002");
        top.name = QStringLiteral("Most valuable");
        top.topValue = 360;

        LabelStyle style;
        style.sheetTemplate = LabelStyle::Custom;
        style.geometry.pageSize = LabelSheetGeometry::A4;
        style.geometry.columns = 3;
        style.geometry.rows = 10;
        style.geometry.labelWidthIn = 2.5;
        style.geometry.labelHeightIn = 1.0;
        style.geometry.marginLeftIn = 0.3;
        style.geometry.marginTopIn = 0.4;
        style.geometry.pitchXIn = 2.6;
        style.geometry.pitchYIn = 1.1;
        style.showSet = false;
        style.showCondition = false;
        style.borderEnabled = false;
        style.borderColor = QColor(0x12, 0xab, 0xef);
        style.borderWidthIn = 0.03;
        style.cornerRadiusIn = 0.2;
        style.textPointSize = 7.25;

        collection.replaceContents(entries, sets, {plain, split}, {rules, top}, style);
        const QString file = path(QStringLiteral("full.tmk"));
        QString error;
        QVERIFY2(CollectionSerializer::write(file, collection, &error), qPrintable(error));
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        QCOMPARE(bytes, QJsonDocument::fromJson(bytes).toJson(QJsonDocument::Indented));

        const Result read = CollectionSerializer::read(file);
        QVERIFY2(read.ok, qPrintable(read.error));
        QVERIFY(read.warnings.isEmpty());
        QCOMPARE(read.entries.size(), entries.size());
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(read.entries.at(i), entries.at(i));
        QCOMPARE(read.sets.size(), 2);
        QVERIFY(sameSet(read.sets.value(QStringLiteral("en:base1")), full));
        QVERIFY(sameSet(read.sets.value(QStringLiteral("ja:SV3")), sparse));
        QCOMPARE(read.history, (QList<HistoryPoint>{plain, split}));
        QCOMPARE(read.binders, (QList<Binder>{rules, top}));
        QVERIFY(read.labelStyle);
        QCOMPARE(read.labelStyle->cornerRadiusIn, 0.05);
        LabelStyle expected = style;
        expected.cornerRadiusIn = 0.05;
        QVERIFY(labelStyleEquals(*read.labelStyle, expected));
    }

    // The text of a save is QJsonDocument's indented text of itself, with
    // every time in Qt's own ISO form, whatever the holdings hold: plain
    // and escaped texts, other scripts, a lone surrogate, whole, fractional
    // and negative numbers, times with and without milliseconds, from other
    // zones and at the ends of the years written.
    void savedTextIsQtsOwnText()
    {
        const QList<QDateTime> times = {QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC),
                                        QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 7), Qt::UTC),
                                        QDateTime(QDate(1999, 12, 31), QTime(22, 30, 5, 120), Qt::OffsetFromUTC, -9000),
                                        QDateTime(QDate(999, 1, 2), QTime(3, 4, 5), Qt::UTC),
                                        QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC),
                                        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
                                        QDateTime(QDate(2024, 6, 30), QTime(8, 15), Qt::LocalTime),
                                        QDateTime()};
        const QStringList names = {QStringLiteral("Pikachu"), QStringLiteral("リザードンex"),
                                   QStringLiteral("quote\" slash\\ tab\t ctl\x01 del\x7f"),
                                   QStringLiteral("lone %1 surrogate").arg(QChar(0xd800)), QStringLiteral("🂡 é")};
        QList<CardEntry> entries;
        for (int i = 0; i < times.size(); ++i) {
            CardEntry entry = test::holdingOf(QStringLiteral("base1-%1").arg(i + 1), 1 + 9999 * i, 0.1 * i);
            entry.name = names.at(i % names.size());
            entry.notes = names.at((i + 1) % names.size());
            entry.priceUpdated = times.at(i);
            entry.unitValueUsd = i % 2 ? 1e-7 * i : 123456789.0 * i;
            entry.customPriceEur = i == 3 ? 12345.678 : 0.0;
            entry.dexId = 1025 * i;
            entries.append(entry);
        }
        Collection collection;
        collection.replaceContents(entries, {}, {}, {}, std::nullopt);
        const QString file = path(QStringLiteral("text.tmk"));
        QVERIFY(CollectionSerializer::write(file, collection));
        const QByteArray bytes = test::readFile(file);
        const QJsonDocument parsed = QJsonDocument::fromJson(bytes);
        QCOMPARE(bytes, parsed.toJson(QJsonDocument::Indented));
        const QJsonArray written = parsed.object().value(QStringLiteral("entries")).toArray();
        QCOMPARE(written.size(), times.size());
        for (int i = 0; i < times.size(); ++i) {
            const QDateTime utc = times.at(i).toUTC();
            const QString expected =
                utc.isValid() ? utc.toString(utc.time().msec() ? Qt::ISODateWithMs : Qt::ISODate) : QString();
            QCOMPARE(written.at(i).toObject().value(QStringLiteral("priceUpdated")).toString(), expected);
        }
    }

    // A save measures what its first holdings take and gives the text room
    // for the rest, and for the history and set records after them: a large
    // save does not double its buffer on the way, also when later holdings
    // run longer than the first, and writes the text as before, byte for
    // byte.
    void largeSavesKeepTheirTextAndRoom()
    {
        QList<CardEntry> entries;
        QHash<QString, SetRecord> sets;
        HistoryPoint point;
        point.date = QDate(2026, 3, 2);
        for (int i = 0; i < 3000; ++i) {
            const QString set = QStringLiteral("s%1").arg(i % 40);
            CardEntry entry = test::holdingOf(QStringLiteral("%1-%2").arg(set).arg(i), 1 + i % 3, 0.01 * i);
            if (i >= 1500)
                entry.notes = QString(i % 300, QChar(i % 2 ? u'n' : u'\u00e9'));
            entries.append(entry);
            sets.insert(setKey(Language::English, set), test::setRecord(set, QStringLiteral("Set ") + set));
            point.sets.insert(setKey(Language::English, set), {0.1 * i, i});
        }

        JsonTextWriter measured;
        measured.beginArray();
        CollectionSerializer::writeEntries(measured, entries, 0);
        QVERIFY2(measured.capacity() < measured.size() * 1.4 + 96 * 1024,
                 qPrintable(QStringLiteral("%1 bytes in %2").arg(measured.size()).arg(measured.capacity())));

        Collection collection;
        collection.replaceContents(entries, sets, {point}, {}, std::nullopt);
        const QString file = path(QStringLiteral("large.tmk"));
        QVERIFY(CollectionSerializer::write(file, collection));
        const QByteArray bytes = test::readFile(file);
        QCOMPARE(bytes, QJsonDocument::fromJson(bytes).toJson(QJsonDocument::Indented));
        const Result read = CollectionSerializer::read(file);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.entries, entries);
        QCOMPARE(read.history, QList<HistoryPoint>{point});
    }

    void optionalMembersAreLeftOut()
    {
        Collection collection;
        CardEntry plain;
        plain.cardId = QStringLiteral("sv03-1");
        collection.addEntry(plain);
        Binder binder;
        binder.id = QStringLiteral("b");
        collection.upsertBinder(binder);
        const QString file = path(QStringLiteral("sparse.tmk"));
        QVERIFY(CollectionSerializer::write(file, collection));

        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
        QCOMPARE(root.value(QStringLiteral("format")).toString(), QStringLiteral("tallowk"));
        QCOMPARE(root.value(QStringLiteral("version")).toInt(), 5);
        QVERIFY(QDateTime::fromString(root.value(QStringLiteral("savedAt")).toString(), Qt::ISODate).isValid());
        QVERIFY(!root.contains(QStringLiteral("labelStyle")));
        const QJsonObject entry = root.value(QStringLiteral("entries")).toArray().at(0).toObject();
        for (const char *absent : {"printLabel", "customPriceEur", "notes", "rarity", "dexId", "priceUpdated"})
            QVERIFY2(!entry.contains(QLatin1String(absent)), absent);
        for (const char *present : {"variant", "edition", "gradeNote", "image", "unitValueEur", "unitValueUsd"})
            QVERIFY2(entry.contains(QLatin1String(present)), present);
        const QJsonObject savedBinder = root.value(QStringLiteral("binders")).toArray().at(0).toObject();
        QVERIFY(!savedBinder.contains(QStringLiteral("topValue")));
        QVERIFY(!savedBinder.contains(QStringLiteral("added")));
        QVERIFY(savedBinder.value(QStringLiteral("rules")).isArray());
    }

    void legacyFilesAreMigrated()
    {
        const QJsonObject v1{
            {QStringLiteral("format"), QStringLiteral("mossel")},
            {QStringLiteral("version"), 1},
            {QStringLiteral("sets"),
             QJsonObject{{QStringLiteral("ja:SV3"), QJsonObject{{QStringLiteral("lang"), QStringLiteral("en")}}},
                         {QStringLiteral("noColon"), QJsonObject{{QStringLiteral("name"), QStringLiteral("dropped")}}},
                         {QStringLiteral("base1"), QJsonObject{{QStringLiteral("id"), QStringLiteral("base1")},
                                                               {QStringLiteral("lang"), QStringLiteral("jp")}}}}},
            {QStringLiteral("entries"),
             QJsonArray{QJsonObject{{QStringLiteral("cardId"), QStringLiteral("base1-4")},
                                    {QStringLiteral("variant"), QStringLiteral("firstEdition")}},
                        QJsonObject{{QStringLiteral("cardId"), QStringLiteral("base1-5")},
                                    {QStringLiteral("variant"), QStringLiteral("holo")}},
                        QJsonObject{{QStringLiteral("cardId"), QStringLiteral("base1-6")}},
                        QJsonObject{{QStringLiteral("cardId"), QStringLiteral("base1-7")},
                                    {QStringLiteral("variant"), QStringLiteral("shadowless")},
                                    {QStringLiteral("edition"), 3}}}},
            {QStringLiteral("history"),
             QJsonArray{QJsonObject{{QStringLiteral("month"), QStringLiteral("2026-08")},
                                    {QStringLiteral("totalEur"), 4.5}},
                        QJsonObject{{QStringLiteral("month"), QStringLiteral("2026-13")}},
                        QJsonObject{{QStringLiteral("date"), QStringLiteral("2026-09-02")},
                                    {QStringLiteral("month"), QStringLiteral("2026-01")}}}}};
        const Result one = readDocument(v1, QStringLiteral("legacy.msl"));
        QVERIFY2(one.ok, qPrintable(one.error));
        QVERIFY(one.binders.isEmpty());
        QVERIFY(!one.labelStyle);

        QCOMPARE(one.sets.size(), 2);
        const SetRecord sv3 = one.sets.value(QStringLiteral("ja:SV3"));
        QCOMPARE(sv3.language, Language::Japanese);
        QCOMPARE(sv3.id, QStringLiteral("SV3"));
        QVERIFY(sv3.name.isEmpty()); // none is invented
        QVERIFY(one.sets.contains(QStringLiteral("ja:base1")));

        QCOMPARE(one.entries.size(), 4);
        QCOMPARE(one.entries.at(0).edition, QStringLiteral("firstEdition"));
        QCOMPARE(one.entries.at(0).variant, QString());
        QCOMPARE(one.entries.at(1).variant, QStringLiteral("holo"));
        QCOMPARE(one.entries.at(1).edition, QStringLiteral("unlimited"));
        QCOMPARE(one.entries.at(2).variant, QStringLiteral("normal"));
        QCOMPARE(one.entries.at(2).edition, QStringLiteral("unlimited"));
        QCOMPARE(one.entries.at(3).edition, QStringLiteral("shadowless"));
        QCOMPARE(one.entries.at(3).variant, QString());

        QCOMPARE(one.history.size(), 2);
        QCOMPARE(one.history.at(0).date, QDate(2026, 8, 1));
        QCOMPARE(one.history.at(0).totalEur, 4.5);
        QCOMPARE(one.history.at(1).date, QDate(2026, 9, 2));
        QCOMPARE(one.warnings,
                 QStringList{QStringLiteral("Skipped a history point with an unreadable date \"2026-13\".")});

        QJsonObject v2 = v1;
        v2.insert(QStringLiteral("version"), 2);
        v2.insert(QStringLiteral("binders"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("b")}}});
        const Result two = readDocument(v2, QStringLiteral("legacy2.msl"));
        QVERIFY(two.ok);
        QCOMPARE(two.entries.size(), 4);
        QCOMPARE(two.binders.size(), 1);

        // A current entry keeps an empty edition; its key still says unlimited.
        const Result current = readDocument(document(QJsonObject{
            {QStringLiteral("entries"),
             QJsonArray{QJsonObject{{QStringLiteral("cardId"), QStringLiteral("sv03-1")},
                                    {QStringLiteral("variant"), QString()},
                                    {QStringLiteral("edition"), QString()}}}}}));
        QCOMPARE(current.entries.at(0).edition, QString());
        QCOMPARE(current.entries.at(0).variant, QString());
        QVERIFY(entryKey(current.entries.at(0)).contains(QStringLiteral("|unlimited|")));
    }

    // Records an earlier version saved, named after their set id or without
    // a name, keep what the tree shows of them (series, date, logo, order)
    // and are saved back as they were read: no name is invented.
    void recordsWithoutARealNameKeepTheirFields()
    {
        const auto record = [](const QString &name) {
            QJsonObject object{{QStringLiteral("serie"), QStringLiteral("Sword & Shield")},
                               {QStringLiteral("releaseDate"), QStringLiteral("2020-02-07")},
                               {QStringLiteral("logo"), QStringLiteral("https://example.invalid/swsh1/logo")},
                               {QStringLiteral("order"), 7}};
            if (!name.isNull())
                object.insert(QStringLiteral("name"), name);
            return object;
        };
        const QString file = writeBytes(
            QStringLiteral("earlier.tmk"),
            QJsonDocument(
                document(QJsonObject{{QStringLiteral("sets"),
                                      QJsonObject{{QStringLiteral("en:swsh1"), record(QStringLiteral("swsh1"))},
                                                  {QStringLiteral("en:P-A"), record(QStringLiteral("P-A"))},
                                                  {QStringLiteral("en:swsh2"), record(QString())},
                                                  {QStringLiteral("ja:SV3"),
                                                   QJsonObject{{QStringLiteral("lang"), QStringLiteral("en")},
                                                               {QStringLiteral("name"), QStringLiteral("Ruler")}}}}},
                                     {QStringLiteral("entries"), QJsonArray{entryObject(QStringLiteral("swsh2-1"))}}}))
                .toJson());
        const Result read = CollectionSerializer::read(file);
        QVERIFY2(read.ok, qPrintable(read.error));
        QVERIFY(read.warnings.isEmpty());
        QCOMPARE(read.sets.size(), 4);
        QVERIFY(read.sets.value(QStringLiteral("en:swsh2")).name.isEmpty());
        QCOMPARE(read.sets.value(QStringLiteral("ja:SV3")).id, QStringLiteral("SV3"));

        Collection collection;
        collection.replaceContents(read.entries, read.sets, {}, {}, std::nullopt);
        QCOMPARE(collection.setInfo(Language::English, QStringLiteral("swsh2")).name, QStringLiteral("swsh2"));
        QVERIFY(CollectionSerializer::write(file, collection));
        // Saved back field for field, the series, date, logo and order with them.
        const QJsonObject sets =
            QJsonDocument::fromJson(test::readFile(file)).object().value(QStringLiteral("sets")).toObject();
        for (const QString &key : {QStringLiteral("en:swsh1"), QStringLiteral("en:P-A"), QStringLiteral("en:swsh2")}) {
            QJsonObject expected = record(key == QLatin1String("en:swsh2") ? QString() : key.mid(3));
            expected.insert(QStringLiteral("id"), key.mid(3));
            expected.insert(QStringLiteral("lang"), QStringLiteral("en"));
            QCOMPARE(sets.value(key).toObject(), expected);
        }
    }

    void itemsAreCorrectedWithWarnings()
    {
        QJsonObject lowCase = entryObject(QStringLiteral("base1-1"));
        lowCase.insert(QStringLiteral("condition"), QStringLiteral("nearmint"));
        lowCase.insert(QStringLiteral("gradeCompany"), QStringLiteral("psa"));
        lowCase.insert(QStringLiteral("count"), 0);
        lowCase.insert(QStringLiteral("dexId"), -5);
        lowCase.insert(QStringLiteral("customPriceEur"), -2);
        lowCase.insert(QStringLiteral("unitValueEur"), -2);
        QJsonObject unknown = entryObject(QStringLiteral("base1-4"));
        unknown.insert(QStringLiteral("condition"), QStringLiteral("Damaged"));
        unknown.insert(QStringLiteral("gradeCompany"), QStringLiteral("Beckett"));
        const QJsonObject breakdown{{QStringLiteral("en:a"), QJsonArray{90.0}},
                                    {QStringLiteral("en:b"), QJsonArray{0, 3}},
                                    {QStringLiteral("en:c"), QJsonArray{12.5, 3, 7}},
                                    {QStringLiteral("en:d"), QJsonArray{-4, 3}}};
        const QJsonObject root = document(QJsonObject{
            {QStringLiteral("entries"), QJsonArray{lowCase, unknown, QJsonObject{{QStringLiteral("name"), QStringLiteral("x")}}}},
            {QStringLiteral("history"), QJsonArray{QJsonObject{{QStringLiteral("date"), QStringLiteral("2026-01-05")},
                                                               {QStringLiteral("sets"), breakdown}}}},
            {QStringLiteral("binders"),
             QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("b")},
                                    {QStringLiteral("columns"), 12},
                                    {QStringLiteral("rows"), 0},
                                    {QStringLiteral("topValue"), -3},
                                    {QStringLiteral("rules"),
                                     QJsonArray{QJsonObject(),
                                                QJsonObject{{QStringLiteral("dexIds"), QJsonArray{0, 25, -1, "7", 2.5, 6}}}}},
                                    {QStringLiteral("added"), QJsonArray{QString(), 5, QStringLiteral("sv03-1")}}},
                        QJsonObject{{QStringLiteral("name"), QStringLiteral("no id")}}}},
            {QStringLiteral("labelStyle"),
             QJsonObject{{QStringLiteral("template"), QStringLiteral("avery8195")},
                         {QStringLiteral("sheet"), QJsonObject{{QStringLiteral("pageSize"), QStringLiteral("a4")},
                                                               {QStringLiteral("columns"), 2}}},
                         {QStringLiteral("border"), QJsonObject{{QStringLiteral("color"), QStringLiteral("no colour")}}},
                         {QStringLiteral("textPointSize"), 400}}}});
        const Result read = readDocument(root);
        QVERIFY(read.ok);
        QCOMPARE(read.entries.size(), 2);
        const CardEntry &first = read.entries.at(0);
        QCOMPARE(first.condition, Condition::NearMint);
        QCOMPARE(first.gradeCompany, GradingCompany::PSA);
        QCOMPARE(first.count, 1);
        QCOMPARE(first.dexId, 0);
        QCOMPARE(first.customPriceEur, 0.0);
        QCOMPARE(first.unitValueEur, 0.0);

        QCOMPARE(
            read.warnings,
            (QStringList{QStringLiteral("Unusable count 0 on base1-1, read as 1."),
                         QStringLiteral("Ignored the unit value -2 on base1-1."),
                         QStringLiteral("Ignored the custom price -2 on base1-1."),
                         QStringLiteral("Unknown condition \"Damaged\" on base1-4, read as Near Mint (NM)."),
                         QStringLiteral("Unknown grading company \"Beckett\" on base1-4, read as Ungraded."),
                         QStringLiteral("Skipped an entry with no card id."),
                         QStringLiteral(
                             "Skipped an unreadable set breakdown for \"en:a\" in the history point of 2026-01-05."),
                         QStringLiteral("Skipped a binder with no id.")}));

        const HistoryPoint &point = read.history.at(0);
        QCOMPARE(point.sets.size(), 1);
        QCOMPARE(point.sets.value(QStringLiteral("en:c")), (HistorySetValue{12.5, 3}));

        const Binder &binder = read.binders.at(0);
        QCOMPARE(binder.columns, 8);
        QCOMPARE(binder.rows, 1);
        QCOMPARE(binder.topValue, 0);
        QCOMPARE(binder.rules.size(), 1);
        QCOMPARE(binder.rules.at(0).dexIds, (QList<int>{25, 6}));
        QCOMPARE(binder.added, QStringList{QStringLiteral("sv03-1")});

        QVERIFY(read.labelStyle);
        QCOMPARE(read.labelStyle->geometry.pageSize, LabelSheetGeometry::Letter);
        QCOMPARE(read.labelStyle->geometry.columns, 4);
        QCOMPARE(read.labelStyle->borderColor, QColor(31, 78, 168));
        QCOMPARE(read.labelStyle->textPointSize, 16.0);
    }

    // Whatever the reader takes in, the writer must write back so that it
    // reads the same: a point the writer could not date would be lost.
    void whatIsReadIsWrittenBackReadable()
    {
        QJsonArray history;
        for (const QString &date : {QStringLiteral("2026-08"), QStringLiteral("9999-12"), QStringLiteral("12026-08"),
                                    QStringLiteral("0-08"), QStringLiteral("2026-02-03")}) {
            history.append(QJsonObject{{QStringLiteral("month"), date}, {QStringLiteral("totalEur"), 5.0}});
        }
        const Result first = readDocument(document(QJsonObject{
            {QStringLiteral("entries"), QJsonArray{entryObject(QStringLiteral("base1-1"))}},
            {QStringLiteral("history"), history}}));
        QVERIFY2(first.ok, qPrintable(first.error));
        QCOMPARE(first.history.size(), 3);
        QVERIFY(first.warnings.contains(QStringLiteral("Skipped a history point with an unreadable date \"12026-08\".")));

        Collection collection;
        collection.replaceContents(first.entries, first.sets, first.history, first.binders, first.labelStyle);
        const QString again = path(QStringLiteral("again.tmk"));
        QString error;
        QVERIFY2(CollectionSerializer::write(again, collection, &error), qPrintable(error));
        const Result second = CollectionSerializer::read(again);
        QVERIFY2(second.ok, qPrintable(second.error));
        QVERIFY2(second.warnings.isEmpty(), qPrintable(second.warnings.join(QLatin1Char('\n'))));
        QCOMPARE(second.history.size(), collection.history().size());
        for (int i = 0; i < second.history.size(); ++i)
            QCOMPARE(second.history.at(i).date, collection.history().at(i).date);
        QCOMPARE(second.entries.size(), 1);
    }

    // A week's total no collection reaches reads as none, with a warning,
    // and no figure the document holds reaches the file beyond the bound or
    // as a null: a price beyond it is not stored, a total beyond it not
    // recorded, and anything non-finite is saved as no figure.
    void figuresBeyondAnyPriceNeverReachTheFile()
    {
        QJsonArray history;
        for (const QJsonValue &total : {QJsonValue(QJsonValue::Null), QJsonValue(1e308), QJsonValue(-5),
                                        QJsonValue(MaxHistoryEur), QJsonValue(12.5)})
            history.append(QJsonObject{{QStringLiteral("date"), QStringLiteral("2026-01-%1").arg(history.size() + 10)},
                                       {QStringLiteral("totalEur"), total}});
        const Result read = readDocument(document(QJsonObject{{QStringLiteral("history"), history}}));
        QList<double> totals;
        for (const HistoryPoint &point : read.history)
            totals.append(point.totalEur);
        QCOMPARE(totals, (QList<double>{0, 0, 0, MaxHistoryEur, 12.5}));
        QCOMPARE(read.warnings,
                 (QStringList{QStringLiteral("Ignored the total null of the history point of 2026-01-10."),
                              QStringLiteral("Ignored the total 1e+308 of the history point of 2026-01-11."),
                              QStringLiteral("Ignored the total -5 of the history point of 2026-01-12.")}));

        Collection collection;
        const CardEntry broken = test::holdingOf(QStringLiteral("base1-1"), 1, std::numeric_limits<double>::infinity());
        collection.replaceContents({broken, test::holdingOf(QStringLiteral("base1-2"), 1, 5.0)}, {}, {}, {},
                                   std::nullopt);
        collection.applyPrices(Language::English, QStringLiteral("base1-2"),
                               {{QStringLiteral("normal|unlimited"), 2e7}},
                               {{QStringLiteral("normal|unlimited"), 3.0}});
        QCOMPARE(collection.entries().at(1).unitValueEur, 5.0);
        QCOMPARE(collection.entries().at(1).unitValueUsd, 3.0);
        collection.recordHistoryPoint(QDate(2026, 1, 5), std::numeric_limits<double>::infinity(), 2, {});
        QVERIFY(collection.history().isEmpty());
        collection.recordHistoryPoint(QDate(2026, 1, 5), 5.0, 2,
                                      {{QStringLiteral("en:base1"), {5.0, 1}}, {QStringLiteral("en:x"), {1e300, 1}}});
        QCOMPARE(collection.history().at(0).sets.keys(), QStringList{QStringLiteral("en:base1")});

        const QString saved = path(QStringLiteral("bounded.tmk"));
        QVERIFY(CollectionSerializer::write(saved, collection));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("null"));
        const Result again = CollectionSerializer::read(saved);
        QVERIFY2(again.warnings.isEmpty(), qPrintable(again.warnings.join(QLatin1Char('\n'))));
        QCOMPARE(again.entries.at(0).unitValueEur, 0.0);
    }

    void aRepeatedMemberNameCountsOnlyOnce()
    {
        // As QJsonObject reads it: the last member of a name stands alone.
        const QString file = writeBytes(
            QStringLiteral("repeated.tmk"),
            "{\"format\": \"tallowk\", \"version\": 5,"
            " \"sets\": {\"en:a\": {\"id\": \"old\", \"name\": \"A\"}, \"en:a\": {\"id\": \"new\", \"name\": \"A\"}},"
            " \"history\": [{\"date\": \"2026-01-05\", \"sets\": {\"en:x\": [5, 1], \"en:x\": [0, 1],"
            " \"en:y\": [1], \"en:y\": [2, 3]}}]}");
        const Result read = CollectionSerializer::read(file);
        QVERIFY(read.ok);
        QCOMPARE(read.sets.keys(), QStringList{QStringLiteral("en:new")});
        QCOMPARE(read.history.at(0).sets.keys(), QStringList{QStringLiteral("en:y")});
        QVERIFY(read.warnings.isEmpty());
    }

    // Text that is loose JSON but that QJsonDocument takes opens as it reads
    // it; text it refuses is refused with its own words.
    void filesOpenAndFailAsQJsonDocumentTakesThem()
    {
        const QByteArray loose =
            "\xef\xbb\xbf{\"format\": \"tallowk\", \"version\": 5, \"entries\": [{\"cardId\": \"sv03-1\","
            " \"name\": \"tab\there\", \"notes\": \"lone \\ud800 and \\' quote\", \"dexId\": 25.,"
            " \"count\": 18446744073709551616, \"unitValueEur\": 0.0}]}";
        const Result read = CollectionSerializer::read(writeBytes(QStringLiteral("loose.tmk"), loose));
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.entries.size(), 1);
        const CardEntry &entry = read.entries.first();
        QCOMPARE(entry.cardId, QStringLiteral("sv03-1"));
        QCOMPARE(entry.name, QStringLiteral("tab\there"));
        QCOMPARE(entry.notes, QStringLiteral("lone %1 and ' quote").arg(QChar(0xd800)));
        QCOMPARE(entry.dexId, 25);

        for (const QByteArray &bad :
             {QByteArray("{\"format\": \"tallowk\", \"x\": 1e-400}"), QByteArray("{\"format\": \"tallowk\"} {}"),
              QByteArray("{\"format\": \"tal\xc0\xafk\"}")}) {
            const QString file = writeBytes(QStringLiteral("bad.tmk"), bad);
            QJsonParseError qtError;
            QJsonDocument::fromJson(bad, &qtError);
            QVERIFY(qtError.error != QJsonParseError::NoError);
            QCOMPARE(CollectionSerializer::read(file).error,
                     QStringLiteral("%1 is not a valid collection file: %2").arg(file, qtError.errorString()));
        }
    }

    void refusedFilesGiveTheirMessageAndNothingElse()
    {
        const QString missing = path(QStringLiteral("missing.tmk"));
        Result read = CollectionSerializer::read(missing);
        QVERIFY(!read.ok);
        QVERIFY(read.error.startsWith(QStringLiteral("Could not open %1: ").arg(missing)));

        // A folder or a named pipe is refused at once: a pipe must not wait
        // for a writer that never comes.
        QCOMPARE(CollectionSerializer::read(m_dir.path()).error,
                 QStringLiteral("Could not open %1: it is a folder, not a file").arg(m_dir.path()));
#ifdef Q_OS_LINUX
        const QString pipe = path(QStringLiteral("pipe.tmk"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        auto reading = std::async(std::launch::async, [&] { return CollectionSerializer::read(pipe).error; });
        if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            (void)QFile(pipe).open(QIODevice::WriteOnly); // ends the wait
            QFAIL("opening a named pipe waits for a writer");
        }
        QCOMPARE(reading.get(),
                 QStringLiteral("Could not open %1: it is a pipe, device or socket, not a file").arg(pipe));
        // A socket cannot even be opened; it is named as a pipe is.
        QLocalServer listener;
        QVERIFY(listener.listen(path(QStringLiteral("sock.tmk"))));
        QCOMPARE(CollectionSerializer::read(listener.fullServerName()).error,
                 QStringLiteral("Could not open %1: it is a pipe, device or socket, not a file")
                     .arg(listener.fullServerName()));

        // What starts as no JSON object is refused on its first bytes: a
        // large film is not taken into memory to be refused.
        const QString film = writeBytes(QStringLiteral("film.tmk"), "\xef\xbb\xbf\n \x1a\x45\xdf\xa3");
        QVERIFY(QFile::resize(film, qint64(512) << 20));
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        const QString refused = CollectionSerializer::read(film).error;
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY(after.ru_maxrss - before.ru_maxrss < 64 * 1024);
        QCOMPARE(refused, QStringLiteral("%1 is not a Tallowmerick collection file.").arg(film));
        QFile::remove(film);

        // Nor is a file larger than any collection, told by its size.
        const QLocale locale;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const test::AtScopeEnd restoreLocale([locale] { QLocale::setDefault(locale); });
        const QString large = writeBytes(QStringLiteral("large.tmk"), "{");
        QVERIFY(QFile::resize(large, (qint64(2) << 30) + 1));
        ::getrusage(RUSAGE_SELF, &before);
        read = CollectionSerializer::read(large);
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY(after.ru_maxrss - before.ru_maxrss < 64 * 1024);
        QCOMPARE(read.error,
                 QStringLiteral("%1 is too large to be a Tallowmerick collection file (2.0 GB; the limit is 1.0 GB).")
                     .arg(large));
        QFile::remove(large);
#endif
        // A start of blanks longer than any writer puts first is refused
        // there; a short file of blanks fails as the parser says.
        const QString blank =
            writeBytes(QStringLiteral("blank.tmk"), QByteArray(CollectionSerializer::MaxBlankStart, ' ') + "{}");
        QCOMPARE(CollectionSerializer::read(blank).error,
                 QStringLiteral("%1 is not a Tallowmerick collection file.").arg(blank));
        QFile::remove(blank);
        for (const QByteArray &start : {QByteArray("\x89PNG\r\n\x1a\n\0\0", 10), QByteArray(" \"tallowk\"")}) {
            const QString garbage = writeBytes(QStringLiteral("garbage.tmk"), start);
            QCOMPARE(CollectionSerializer::read(garbage).error,
                     QStringLiteral("%1 is not a Tallowmerick collection file.").arg(garbage));
        }
        for (const QByteArray &blanks : {QByteArray(), QByteArray(4096, ' ')}) {
            const QString empty = writeBytes(QStringLiteral("empty.tmk"), blanks);
            QVERIFY(CollectionSerializer::read(empty).error.startsWith(
                QStringLiteral("%1 is not a valid collection file: ").arg(empty)));
        }
        const QString huge = writeBytes(QStringLiteral("huge.tmk"), R"({"format":"tallowk","entries":[{"unitValueEur":1e999}]})");
        QVERIFY(!CollectionSerializer::read(huge).ok);

        const QString array = writeBytes(QStringLiteral("array.tmk"), R"([{"format":"tallowk"}])");
        QCOMPARE(CollectionSerializer::read(array).error,
                 QStringLiteral("%1 is not a Tallowmerick collection file.").arg(array));
        for (const char *tag : {"tallowk-catalog", "Tallowk", ""}) {
            const QString foreign = path(QStringLiteral("foreign.tmk"));
            read = readDocument(QJsonObject{{QStringLiteral("format"), QLatin1String(tag)}}, QStringLiteral("foreign.tmk"));
            QCOMPARE(read.error, QStringLiteral("%1 is not a Tallowmerick collection file.").arg(foreign));
        }

        QJsonObject newer = document(QJsonObject{{QStringLiteral("entries"), QJsonArray{entryObject(QStringLiteral("a-1"))}}});
        newer.insert(QStringLiteral("version"), 6);
        read = readDocument(newer, QStringLiteral("newer.tmk"));
        QVERIFY(!read.ok);
        QCOMPARE(read.error, QStringLiteral("%1 was written by a newer version of Tallowmerick (format 6, this build reads 5).")
                                 .arg(path(QStringLiteral("newer.tmk"))));
        QVERIFY(read.entries.isEmpty() && read.sets.isEmpty() && read.history.isEmpty() && read.binders.isEmpty()
                && !read.labelStyle && read.warnings.isEmpty());
        newer.insert(QStringLiteral("version"), 1e10);
        QVERIFY(readDocument(newer, QStringLiteral("newer.tmk")).error.contains(QStringLiteral("format 10000000000,")));
        newer.remove(QStringLiteral("version"));
        QVERIFY(readDocument(newer, QStringLiteral("newer.tmk")).ok);
    }

    void hostileContentIsToleratedWithoutCrashing()
    {
        // Every member of every kind of object holds a value of the wrong type.
        const QJsonArray wrong{QJsonValue(), true, 17, -1.5, QStringLiteral("x"), QJsonArray{1, "a"}, QJsonObject{{"k", 1}}};
        for (const QJsonValue &bad : wrong) {
            QJsonObject entry{{QStringLiteral("cardId"), QStringLiteral("ok-1")}};
            for (const char *key : {"setId", "localId", "name", "lang", "variant", "edition", "condition",
                                    "gradeCompany", "gradeNote", "count", "image", "rarity", "dexId", "unitValueEur",
                                    "unitValueUsd", "notes", "customPriceEur", "printLabel", "priceUpdated"})
                entry.insert(QLatin1String(key), bad);
            QJsonObject binder{{QStringLiteral("id"), QStringLiteral("b")}};
            for (const char *key : {"name", "lang", "columns", "rows", "showMissing", "rules", "added", "removed",
                                    "order", "hiddenRarities", "topValue"})
                binder.insert(QLatin1String(key), bad);
            binder.insert(QStringLiteral("rules"), QJsonArray{bad, QJsonObject{{"setId", bad}, {"serieId", bad},
                                                                               {"rarities", bad}, {"dexIds", bad},
                                                                               {"name", bad}}});
            QJsonObject style;
            for (const char *key : {"template", "sheet", "fields", "border", "textPointSize"})
                style.insert(QLatin1String(key), bad);
            const QJsonObject root = document(QJsonObject{
                {QStringLiteral("sets"), QJsonObject{{QStringLiteral("en:first"), bad},
                                                     {QStringLiteral("en:y"), QJsonObject{{"id", bad}, {"name", bad},
                                                                                          {"order", bad}, {"releaseDate", bad},
                                                                                          {"officialCardCount", bad}}}}},
                {QStringLiteral("entries"), QJsonArray{bad, entry}},
                {QStringLiteral("history"), QJsonArray{bad, QJsonObject{{"date", QStringLiteral("2026-01-05")},
                                                                        {"totalEur", bad}, {"cards", bad}, {"sets", bad}}}},
                {QStringLiteral("binders"), QJsonArray{bad, binder}},
                {QStringLiteral("labelStyle"), style}});
            const Result read = readDocument(root);
            QVERIFY(read.ok);
            QCOMPARE(read.entries.size(), 1);
            QCOMPARE(read.entries.at(0).cardId, QStringLiteral("ok-1"));
            QVERIFY(read.entries.at(0).count >= 1);
            QCOMPARE(read.binders.size(), 1);
            QCOMPARE(read.history.size(), 1);
            QVERIFY(read.labelStyle);
            // Only a text is an id or a name; a record without a name is
            // kept all the same.
            QCOMPARE(read.sets.size(), 2);
            const SetRecord y = read.sets.value(bad.isString() ? QStringLiteral("en:x") : QStringLiteral("en:y"));
            QCOMPARE(y.name, bad.isString() ? QStringLiteral("x") : QString());
            QVERIFY(read.sets.value(QStringLiteral("en:first")).name.isEmpty());

            // Whole top-level members of the wrong type read as empty.
            QJsonObject flat = document({});
            for (const char *key : {"sets", "entries", "history", "binders"})
                flat.insert(QLatin1String(key), bad);
            QVERIFY(readDocument(flat).ok);
        }
    }

    // Counts are read into the quantity editor's range and prices up to the
    // highest a card sells for; each correction leaves one warning, and the
    // warnings of each kind are counted, not all spelt out.
    void hostileNumbersAndSizes()
    {
        const auto entry = [](const QString &id, const QJsonObject &members) {
            QJsonObject object = entryObject(id);
            for (auto it = members.begin(); it != members.end(); ++it)
                object.insert(it.key(), it.value());
            return object;
        };
        const int most = std::numeric_limits<int>::max();
        const QString tenMegabytes(10 * 1024 * 1024, QLatin1Char('n'));
        QJsonArray entries{entry(QStringLiteral("a-1"),
                                 {{"count", most}, {"unitValueEur", "NaN"}, {"customPriceEur", "Infinity"}}),
                           entry(QStringLiteral("a-2"), {{"count", -5}, {"unitValueEur", -7.5}, {"unitValueUsd", 2e7}}),
                           entry(QStringLiteral("a-3"), {{"count", "7"}, {"customPriceEur", 1e308}}),
                           entry(QStringLiteral("a-4"),
                                 {{"count", 1e12}, {"customPriceEur", -1}, {"notes", tenMegabytes}}),
                           entry(QStringLiteral("a-5"), {{"count", 2.5}, {"unitValueEur", 1e7}, {"customPriceEur", 0}}),
                           entry(QStringLiteral("a-6"),
                                 {{"count", 99999}, {"unitValueUsd", 0.01}, {"customPriceEur", 12.5}})};
        for (int i = 0; i < 300; ++i)
            entries.append(entry(QStringLiteral("b-%1").arg(i), {{"condition", "Damaged"}}));
        const Result read = readDocument(document(QJsonObject{{QStringLiteral("entries"), entries}}));
        QVERIFY(read.ok);
        QCOMPARE(read.entries.size(), 306);

        QList<int> counts;
        QList<double> prices;
        for (int i = 0; i < 6; ++i) {
            const CardEntry &e = read.entries.at(i);
            counts.append(e.count);
            prices << e.unitValueEur << e.unitValueUsd << e.customPriceEur;
        }
        QCOMPARE(counts, (QList<int>{99999, 1, 7, 99999, 1, 99999}));
        QCOMPARE(prices, (QList<double>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e7, 0, 0, 0, 0.01, 12.5}));
        QCOMPARE(read.entries.at(3).notes.size(), tenMegabytes.size());

        // 11 corrections and 300 unknown conditions; the first hundred are
        // listed in reading order, every kind is counted with its first text.
        QCOMPARE(read.warningCount, 311);
        QCOMPARE(read.warnings.size(), CollectionSerializer::MaxListedWarnings);
        for (const char *text :
             {"Unusable count -5 on a-2, read as 1.", "Ignored the unit value 20000000 on a-2.",
              "Unusable count \"7\" on a-3, read as 7.", "Ignored the custom price 1e+308 on a-3.",
              "Unusable count 1000000000000 on a-4, read as 99999.", "Ignored the custom price -1 on a-4."})
            QVERIFY2(read.warnings.contains(QLatin1String(text)), text);
        QStringList kinds;
        for (const CollectionSerializer::WarningKind &kind : read.warningKinds)
            kinds.append(QStringLiteral("%1 x %2").arg(kind.count).arg(kind.first));
        QCOMPARE(kinds,
                 (QStringList{QStringLiteral("5 x Unusable count 2147483647 on a-1, read as 99999."),
                              QStringLiteral("3 x Ignored the unit value \"NaN\" on a-1."),
                              QStringLiteral("3 x Ignored the custom price \"Infinity\" on a-1."),
                              QStringLiteral("300 x Unknown condition \"Damaged\" on b-0, read as Near Mint (NM).")}));

        Collection collection;
        collection.replaceContents(read.entries, read.sets, read.history, read.binders, read.labelStyle);
        QVERIFY(qIsFinite(collection.totalValueEur()));
    }

    // A save that runs out of disk space partway must leave the old file as
    // it was, whatever the point at which the space runs out, and say why.
    void aFullDiskKeepsTheOldFile()
    {
        const QString folder = path(QStringLiteral("small-disk"));
        pv::test::SmallDisk disk(folder, 256 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));

        Collection small;
        CardEntry entry;
        entry.cardId = QStringLiteral("sv03-1");
        entry.setId = QStringLiteral("sv03");
        small.addEntry(entry);
        const QString file = QDir(folder).filePath(QStringLiteral("mine.tmk"));
        QString error;
        QVERIFY2(CollectionSerializer::write(file, small, &error), qPrintable(error));
        const QByteArray old = pv::test::readFile(file);
        QVERIFY(!old.isEmpty());

        // About 120 kB of text: it fits the empty disk but none of the fuller ones.
        Collection large;
        for (int i = 1; i <= 200; ++i) {
            entry.cardId = QStringLiteral("sv03-%1").arg(i);
            entry.localId = QString::number(i);
            entry.notes = QString(400, QLatin1Char('n'));
            large.addEntry(entry);
        }
        for (const qint64 left : {qint64(0), qint64(4096), qint64(40 * 1024), qint64(100 * 1024)}) {
            disk.fillLeaving(left);
            error.clear();
            QVERIFY2(!CollectionSerializer::write(file, large, &error), qPrintable(QString::number(left)));
            QVERIFY2(error.contains(QStringLiteral("not enough disk space")), qPrintable(error));
            QCOMPARE(pv::test::readFile(file), old);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{QStringLiteral("filler"), QStringLiteral("mine.tmk")}));
            disk.removeFiller();
        }
        // With the space back, the same save goes through and reads back whole.
        QVERIFY2(CollectionSerializer::write(file, large, &error), qPrintable(error));
        QCOMPARE(CollectionSerializer::read(file).entries.size(), 200);
    }

    // A save tidies up only the temporary files of its own earlier saves;
    // the user's files beside it stay, however they are named and however old.
    void savingRemovesOnlyItsOwnLeftovers()
    {
        Collection collection;
        const QString folder = path(QStringLiteral("tidy"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = QDir(folder).filePath(QStringLiteral("mine.tmk"));
        const QString leftover = saveTemporaryPath(file);
        const QStringList users = {QStringLiteral("mine.tmk.backup"), QStringLiteral("mine.tmk.v2copy"),
                                   QStringLiteral("mine.tmk.bak"), QStringLiteral("mine.tmk.old123"),
                                   QStringLiteral("mine.tmk.Q7w8E9")};
        for (const QString &name : users + QStringList{QFileInfo(leftover).fileName()}) {
            const QString at = QDir(folder).filePath(name);
            QVERIFY(pv::test::writeFile(at, QByteArray(1000, 'x')));
            QFile old(at);
            QVERIFY(old.open(QIODevice::ReadWrite));
            QVERIFY(old.setFileTime(QDateTime::currentDateTimeUtc().addDays(-2), QFileDevice::FileModificationTime));
        }
        QString error;
        QVERIFY2(CollectionSerializer::write(file, collection, &error), qPrintable(error));
        QVERIFY(!QFile::exists(leftover));
        QStringList kept = users + QStringList{QStringLiteral("mine.tmk")};
        kept.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), kept);
        for (const QString &name : users)
            QCOMPARE(pv::test::readFile(QDir(folder).filePath(name)), QByteArray(1000, 'x'));
    }

    void failedSavesKeepTheOldFile()
    {
        Collection collection;
        CardEntry entry;
        entry.cardId = QStringLiteral("sv03-1");
        collection.addEntry(entry);

        const QString nowhere = path(QStringLiteral("no/such/folder/x.tmk"));
        QString error;
        QVERIFY(!CollectionSerializer::write(nowhere, collection, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Could not write %1: ").arg(nowhere)), qPrintable(error));
        QVERIFY(!QFile::exists(nowhere));

        const QString folder = path(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = QDir(folder).filePath(QStringLiteral("mine.tmk"));
        const QByteArray old("{\"format\":\"tallowk\",\"version\":5}");
        QVERIFY(pv::test::writeFile(file, old));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser));
        bool locked = true;
#ifdef Q_OS_LINUX
        if (::geteuid() == 0)
            locked = setImmutable(folder, true);
#endif
        if (!locked) {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("this user can write into any folder and cannot lock one");
        }

        error.clear();
        const bool saved = CollectionSerializer::write(file, collection, &error);
#ifdef Q_OS_LINUX
        if (::geteuid() == 0)
            setImmutable(folder, false);
#endif
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QVERIFY(!saved);
        QVERIFY2(error.startsWith(QStringLiteral("Could not write %1: ").arg(file)), qPrintable(error));
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("mine.tmk")});
    }

    void fileFilterNamesBothExtensions()
    {
        QCOMPARE(CollectionSerializer::fileFilter(),
                 QStringLiteral("Tallowmerick collection (*.tmk *.msl);;All files (*)"));
    }
};

PV_REGISTER_TEST(CollectionFileTest)
#include "CollectionFileTest.moc"
