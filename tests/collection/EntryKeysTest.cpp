#include "TestRegistry.h"

#include "collection/Binder.h"
#include "collection/EntryKeys.h"
#include "collection/LabelStyle.h"

#include <QTest>

using namespace pv;

class EntryKeysTest : public QObject
{
    Q_OBJECT

private slots:
    void mergeKeyFoldsOnlyWhatIsTheSameHolding()
    {
        CardEntry entry;
        entry.cardId = QStringLiteral("base1-4");
        entry.variant = QStringLiteral("holo");
        entry.edition = QStringLiteral("firstEdition");
        QCOMPARE(entryKey(entry), QStringLiteral("en|base1-4|holo|firstEdition|NearMint|None|"));

        CardEntry emptyEdition = entry;
        emptyEdition.edition = QStringLiteral("unlimited");
        CardEntry unlimited = emptyEdition;
        emptyEdition.edition.clear();
        QCOMPARE(entryKey(emptyEdition), entryKey(unlimited));

        CardEntry unstated = unlimited;
        unstated.variant.clear();
        CardEntry normal = unlimited;
        normal.variant = QStringLiteral("normal");
        QVERIFY(entryKey(unstated) != entryKey(normal));

        CardEntry spaced = unlimited;
        spaced.gradeCompany = GradingCompany::PSA;
        spaced.gradeNote = QStringLiteral("  9 ");
        CardEntry tight = spaced;
        tight.gradeNote = QStringLiteral("9");
        QCOMPARE(entryKey(spaced), entryKey(tight));
        QCOMPARE(gradeLabel(spaced), QStringLiteral("PSA 9"));

        CardEntry ungradedNote = unlimited;
        ungradedNote.gradeNote = QStringLiteral("9");
        QVERIFY(entryKey(ungradedNote) != entryKey(unlimited));
        QCOMPARE(gradeLabel(ungradedNote), QString());
        tight.gradeNote.clear();
        QCOMPARE(gradeLabel(tight), QStringLiteral("PSA"));

        CardEntry percent;
        percent.cardId = QStringLiteral("x%1y%2");
        percent.gradeNote = QStringLiteral("%3");
        QCOMPARE(entryKey(percent), QStringLiteral("en|x%1y%2|normal|unlimited|NearMint|None|%3"));
        CardEntry piped = percent;
        piped.cardId = QStringLiteral("a|b");
        QCOMPARE(entryKey(piped).count(QLatin1Char('|')), 7);

        // Compared without being made, keys order as their texts do ("holo|"
        // after "holofoil|", a "|" inside a card id).
        CardEntry foil = entry;
        foil.variant = QStringLiteral("holofoil");
        CardEntry beforePipe = piped;
        beforePipe.cardId = QStringLiteral("a");
        CardEntry japanese = piped;
        japanese.lang = Language::Japanese;
        const QList<CardEntry> all{entry,        emptyEdition, unlimited, unstated, normal,     spaced, tight,
                                   ungradedNote, percent,      piped,     foil,     beforePipe, japanese};
        const auto sign = [](int value) { return (value > 0) - (value < 0); };
        for (const CardEntry &a : all)
            for (const CardEntry &b : all)
                QCOMPARE(sign(compareEntryKeys(a, b)), sign(entryKey(a).compare(entryKey(b))));
    }

    void setKeysAndValues()
    {
        QCOMPARE(setKey(Language::Japanese, QStringLiteral("SV3")), QStringLiteral("ja:SV3"));
        CardEntry entry;
        entry.setId = QStringLiteral("sv03");
        QCOMPARE(entrySetKey(entry), QStringLiteral("en:sv03"));

        entry.count = 3;
        entry.unitValueEur = 2.5;
        QCOMPARE(entryLineValue(entry), 7.5);
        entry.customPriceEur = 4.0;
        QCOMPARE(entryLineValue(entry), 12.0);
        entry.customPriceEur = -1.0;
        QCOMPARE(entryLineValue(entry), 7.5);

        entry.variant = QStringLiteral("holo");
        entry.edition = QStringLiteral("shadowless");
        QCOMPARE(entryPrintingLabel(entry), QStringLiteral("Shadowless Holo"));
    }

    void recordDefaults()
    {
        const Binder binder;
        QCOMPARE(binder.columns, 3);
        QCOMPARE(binder.rows, 3);
        QVERIFY(binder.showMissing);
        QCOMPARE(binder.topValue, 0);
        QCOMPARE(binder.lang, Language::English);

        const LabelSheetGeometry preset = defaultLabelSheetGeometry();
        QCOMPARE(preset.columns * preset.rows, 60);
        QCOMPARE(labelPageSizeInches(LabelSheetGeometry::A4), QSizeF(8.267716535433072, 11.692913385826772));
        QCOMPARE(labelPageSizeInches(LabelSheetGeometry::Letter), QSizeF(8.5, 11.0));

        const LabelStyle style;
        QCOMPARE(style.sheetTemplate, LabelStyle::Avery8195);
        QCOMPARE(style.borderColor, QColor(31, 78, 168));
        QCOMPARE(style.borderWidthIn, 0.016);
        QCOMPARE(style.cornerRadiusIn, 0.05);
        QCOMPARE(style.textPointSize, 5.5);
        QVERIFY(style.showSet && style.showYear && style.showCardName && style.showNumber
                && style.showRarity && style.showCondition && style.borderEnabled);
    }

    void labelStyleEqualityTolerances()
    {
        const LabelStyle base;
        LabelStyle other = base;
        other.geometry.labelWidthIn += 0.00005;
        QVERIFY(labelStyleEquals(base, other));
        other.geometry.labelWidthIn += 0.0001;
        QVERIFY(!labelStyleEquals(base, other));

        other = base;
        other.textPointSize = 5.509;
        QVERIFY(labelStyleEquals(base, other));
        other.textPointSize = 5.52;
        QVERIFY(!labelStyleEquals(base, other));

        other = base;
        other.borderColor = QColor(31, 78, 169);
        QVERIFY(!labelStyleEquals(base, other));
        other = base;
        other.showRarity = false;
        QVERIFY(!labelStyleEquals(base, other));
        other = base;
        other.sheetTemplate = LabelStyle::Custom;
        QVERIFY(!labelStyleEquals(base, other));
    }

    void normalisationClampsValuesOnly()
    {
        LabelStyle style;
        style.sheetTemplate = LabelStyle::Custom;
        style.showYear = false;
        style.geometry.columns = 0;
        style.geometry.rows = 100;
        style.geometry.pitchXIn = 40.0;
        style.geometry.labelHeightIn = 0.0;
        style.borderWidthIn = 1.0;
        style.borderColor = QColor();
        style.textPointSize = 400.0;
        style.cornerRadiusIn = 3.0;
        const LabelStyle normal = normalizedLabelStyle(style);
        QCOMPARE(normal.geometry.columns, 1);
        QCOMPARE(normal.geometry.rows, 60);
        QCOMPARE(normal.geometry.pitchXIn, 11.0);
        QCOMPARE(normal.geometry.labelHeightIn, 0.1);
        QCOMPARE(normal.borderWidthIn, 0.06);
        QCOMPARE(normal.borderColor, QColor(31, 78, 168));
        QCOMPARE(normal.textPointSize, 16.0);
        QCOMPARE(normal.sheetTemplate, LabelStyle::Custom);
        QVERIFY(!normal.showYear);
        QCOMPARE(normal.cornerRadiusIn, 3.0);
    }
};

PV_REGISTER_TEST(EntryKeysTest)
#include "EntryKeysTest.moc"
