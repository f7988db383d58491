#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/Collection.h"
#include "collection/LabelSheet.h"
#include "collection/LabelStyle.h"
#include "core/AppSettings.h"
#include "core/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace pv;

namespace {

QList<LabelRecord> records(int n)
{
    LabelRecord r;
    r.set = QStringLiteral("Obsidian Flames");
    r.year = QStringLiteral("2023");
    r.cardName = QStringLiteral("Charizard ex");
    r.number = QStringLiteral("125");
    r.rarity = QStringLiteral("Double Rare");
    r.condition = QStringLiteral("NM");
    return QList<LabelRecord>(n, r);
}

// Runs of "ink" (pixels clearly darker than the white paper) along one row or
// column of a rendered page, as the centres of the runs.
QList<double> inkRuns(const QImage &page, bool alongRow, int fixed)
{
    QList<double> centres;
    const int length = alongRow ? page.width() : page.height();
    int start = -1;
    for (int i = 0; i <= length; ++i) {
        bool ink = false;
        if (i < length) {
            const QColor c = alongRow ? page.pixelColor(i, fixed) : page.pixelColor(fixed, i);
            ink = qMin(c.red(), qMin(c.green(), c.blue())) < 200;
        }
        if (ink && start < 0)
            start = i;
        if (!ink && start >= 0) {
            centres.append((start + i - 1) / 2.0);
            start = -1;
        }
    }
    return centres;
}

} // namespace

class LabelSheetTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        AppSettings settings;
        settings.remove(QStringLiteral("labels"));
    }

    void recordsRepeatPerCopyInCollectionOrder()
    {
        Collection c;
        c.addEntry(test::labelledHolding(QStringLiteral("sv03"), QStringLiteral("001"), 3));
        CardEntry skipped = test::labelledHolding(QStringLiteral("sv03"), QStringLiteral("002"), 5);
        skipped.printLabel = false;
        c.addEntry(skipped);
        c.addEntry(test::labelledHolding(QStringLiteral("sv03"), QStringLiteral("003"), 1));
        SetRecord set;
        set.id = QStringLiteral("sv03");
        set.name = QStringLiteral("Obsidian Flames");
        set.releaseDate = QDate(2023, 8, 11);
        c.mergeSetInfo(set);
        const QList<LabelRecord> r = labelRecordsForCollection(c);
        QCOMPARE(r.size(), 4);
        QCOMPARE(r.at(2).number, QStringLiteral("001"));
        QCOMPARE(r.at(3).number, QStringLiteral("003"));
        QCOMPARE(r.at(0).set, QStringLiteral("Obsidian Flames"));
        QCOMPARE(r.at(0).year, QStringLiteral("2023"));
        QCOMPARE(r.at(0).condition, QStringLiteral("NM"));
        QCOMPARE(labelPageCount(int(r.size()), defaultLabelSheetGeometry()), 1);
    }

    // Counts come from a file and can be anything: the sheet run is capped,
    // and the log says so.
    void recordsAreCappedWithAWarning()
    {
        Collection c;
        c.addEntry(test::labelledHolding(QStringLiteral("sv03"), QStringLiteral("001"), 60000));
        c.addEntry(test::labelledHolding(QStringLiteral("sv03"), QStringLiteral("002"), 2000000000));
        Log::instance().clear();
        const QList<LabelRecord> r = labelRecordsForCollection(c);
        QCOMPARE(r.size(), qsizetype(maxLabelRecords));
        QCOMPARE(r.first().number, QStringLiteral("001"));
        QCOMPARE(r.last().number, QStringLiteral("002"));
        bool warned = false;
        for (const LogEntry &entry : Log::instance().entries())
            warned = warned || (entry.level == Log::Warn && entry.message.contains(QLatin1String("2000060000")));
        QVERIFY(warned);
    }

    void pageCountsDoNotOverflow()
    {
        LabelSheetGeometry g = defaultLabelSheetGeometry();
        QCOMPARE(labelPageCount(std::numeric_limits<int>::max(), g), 35791395);
        g.columns = 100000;
        g.rows = 100000;  // 10^10 labels a page
        QCOMPARE(labelPageCount(std::numeric_limits<int>::max(), g), 1);
        g.columns = 0;
        QCOMPARE(labelPageCount(5, g), 0);
        QCOMPARE(labelPageCount(-3, defaultLabelSheetGeometry()), 0);
    }

    void validationNamesWhatDoesNotFit()
    {
        LabelSheetGeometry g = defaultLabelSheetGeometry();
        g.columns = 5;
        QCOMPARE(validateLabelStyle(g), QStringLiteral("The columns span 10.28in, which is wider than the 8.50in page."));
        g = defaultLabelSheetGeometry();
        g.rows = 17;
        QCOMPARE(validateLabelStyle(g), QStringLiteral("The rows span 11.82in, which is taller than the 11.00in page."));
        g = defaultLabelSheetGeometry();
        g.pitchXIn = 1.7;
        QCOMPARE(validateLabelStyle(g),
                 QStringLiteral("The labels overlap: a pitch is smaller than the label it steps over."));
        g.rows = 0;
        QCOMPARE(validateLabelStyle(g), QStringLiteral("A sheet needs at least one row and one column."));
    }

    void joinSkipsEmptyParts()
    {
        QCOMPARE(joinNonEmpty({QStringLiteral("a"), QString(), QStringLiteral("b")}), QStringLiteral("a \u00b7 b"));
        QCOMPARE(joinNonEmpty({QString(), QString()}), QString());
    }

    void settingsFallBackAndClamp()
    {
        test::setSetting(QStringLiteral("labels/template"), QStringLiteral("  CUSTOM "));
        test::setSetting(QStringLiteral("labels/custom/pageSize"), QStringLiteral(" A4"));
        test::setSetting(QStringLiteral("labels/custom/columns"), QStringLiteral("abc"));
        test::setSetting(QStringLiteral("labels/custom/rows"), 0);
        test::setSetting(QStringLiteral("labels/custom/labelWidthIn"), 20.0);
        test::setSetting(QStringLiteral("labels/border/color"), QStringLiteral("no such colour"));
        LabelStyle s = LabelStyle::fromSettings();
        QCOMPARE(s.sheetTemplate, LabelStyle::Custom);
        QCOMPARE(s.geometry.pageSize, LabelSheetGeometry::A4);
        QCOMPARE(s.geometry.columns, 4);
        QCOMPARE(s.geometry.rows, 1);
        QCOMPARE(s.geometry.labelWidthIn, 11.0);
        QCOMPARE(s.borderColor, QColor(31, 78, 168));
        QCOMPARE(s.cornerRadiusIn, 0.05);
        test::setSetting(QStringLiteral("labels/custom/columns"), 25);
        QCOMPARE(LabelStyle::readCustomGeometry().columns, 20);
        LabelStyle::toSettings(s, s.geometry);
        QCOMPARE(AppSettings().value(QStringLiteral("labels/border/color")).toString(), QStringLiteral("#1f4ea8"));
    }

    // "nan" and "inf" convert to numbers, but not to usable lengths: they
    // take the default rather than poisoning the layout.
    void notANumberOrInfinityTakesTheDefault()
    {
        test::setSetting(QStringLiteral("labels/template"), QStringLiteral("custom"));
        test::setSetting(QStringLiteral("labels/custom/pitchXIn"), QStringLiteral("nan"));
        test::setSetting(QStringLiteral("labels/custom/marginTopIn"), QStringLiteral("inf"));
        test::setSetting(QStringLiteral("labels/custom/labelHeightIn"), QStringLiteral("-inf"));
        test::setSetting(QStringLiteral("labels/border/widthIn"), QStringLiteral("NaN"));
        test::setSetting(QStringLiteral("labels/text/pointSize"), QStringLiteral("infinity"));
        const LabelStyle s = LabelStyle::fromSettings();
        QCOMPARE(s.geometry.pitchXIn, 2.0625);
        QCOMPARE(s.geometry.marginTopIn, 0.5);
        QCOMPARE(s.geometry.labelHeightIn, 0.666);
        QCOMPARE(s.borderWidthIn, 0.016);
        QCOMPARE(s.textPointSize, 5.5);
        QVERIFY(validateLabelStyle(s.geometry).isEmpty());
    }

    void thePresetIgnoresTheCustomKeys()
    {
        test::setSetting(QStringLiteral("labels/template"), QStringLiteral("avery8195"));
        test::setSetting(QStringLiteral("labels/custom/columns"), 2);
        const LabelStyle s = LabelStyle::fromSettings();
        QCOMPARE(s.sheetTemplate, LabelStyle::Avery8195);
        QCOMPARE(s.geometry.columns, 4);
        QCOMPARE(LabelStyle::readCustomGeometry().columns, 2);
    }

    void printerIsSetUpFullPage()
    {
        QPrinter printer(QPrinter::HighResolution);
        LabelSheetGeometry g = defaultLabelSheetGeometry();
        g.pageSize = LabelSheetGeometry::A4;
        configurePrinterForLabels(printer, g);
        QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A4);
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
        QVERIFY(printer.fullPage());
    }

    // Any paged device takes the sheet; a device that cannot be painted on
    // is reported, so an export dialog can say the file was not written.
    void paintingReportsWhetherItWorked()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("writer.pdf"));
        {
            QPdfWriter writer(path);
            writer.setPageSize(QPageSize(QPageSize::Letter));
            QVERIFY(paintLabelSheet(writer, records(61), LabelStyle(), true));
        }
        QVERIFY(QFileInfo(path).size() > 0);

        QPdfWriter nowhere(dir.filePath(QStringLiteral("no/such/folder/out.pdf")));
        QVERIFY(!paintLabelSheet(nowhere, records(3), LabelStyle(), false));

        LabelStyle empty;
        empty.geometry.columns = 0;
        QPdfWriter unused(dir.filePath(QStringLiteral("unused.pdf")));
        QVERIFY(!paintLabelSheet(unused, records(3), empty, false));
        QVERIFY(paintLabelSheet(unused, {}, LabelStyle(), false));
    }

    // The sheet printed to PDF and rendered back: every label's border sits
    // where the Avery 8195 geometry puts it, three pages for 130 labels, and
    // the third page holds only the ten that are left.
    void pdfLabelsSitOnTheAveryGrid()
    {
        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        if (pdftoppm.isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
        LabelStyle style;  // Avery 8195, border on
        style.showSet = style.showYear = style.showCardName = false;
        style.showNumber = style.showRarity = style.showCondition = false;
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            configurePrinterForLabels(printer, style.geometry);
            QVERIFY(paintLabelSheet(printer, records(130), style, false));
        }
        const int dpi = 100;
        QProcess render;
        render.start(pdftoppm, {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), pdf,
                                dir.filePath(QStringLiteral("page"))});
        QVERIFY(render.waitForFinished(60000));
        QCOMPARE(render.exitCode(), 0);
        const QStringList pages =
            QDir(dir.path()).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name);
        QCOMPARE(pages.size(), 3);

        const LabelSheetGeometry g = defaultLabelSheetGeometry();
        const double stroke = style.borderWidthIn * dpi;
        for (int p = 0; p < pages.size(); ++p) {
            const QImage page(dir.filePath(pages.at(p)));
            QCOMPARE(page.width(), int(std::lround(8.5 * dpi)));
            QCOMPARE(page.height(), int(std::lround(11.0 * dpi)));
            const int labelsOnPage = p < 2 ? 60 : 10;
            for (int row = 0; row < g.rows; ++row) {
                const int y = int((g.marginTopIn + row * g.pitchYIn + g.labelHeightIn / 2) * dpi);
                const QList<double> across = inkRuns(page, true, y);
                const int labels = qBound(0, labelsOnPage - row * g.columns, g.columns);
                QCOMPARE(across.size(), qsizetype(2 * labels));
                for (int col = 0; col < labels; ++col) {
                    const double left = (g.marginLeftIn + col * g.pitchXIn) * dpi + stroke / 2;
                    const double right = (g.marginLeftIn + col * g.pitchXIn + g.labelWidthIn) * dpi - stroke / 2;
                    QVERIFY2(std::abs(across.at(2 * col) - left) <= 1.5,
                             qPrintable(QStringLiteral("page %1 row %2 col %3 left %4 vs %5")
                                            .arg(p).arg(row).arg(col).arg(across.at(2 * col)).arg(left)));
                    QVERIFY2(std::abs(across.at(2 * col + 1) - right) <= 1.5,
                             qPrintable(QStringLiteral("page %1 row %2 col %3 right %4 vs %5")
                                            .arg(p).arg(row).arg(col).arg(across.at(2 * col + 1)).arg(right)));
                }
            }
            // Down the middle of the first column: the top edge of the first
            // label, then one band where each label meets the next (their
            // borders touch, the pitch being the label height), then the
            // bottom edge of the last.
            const int x = int((g.marginLeftIn + g.labelWidthIn / 2) * dpi);
            const QList<double> down = inkRuns(page, false, x);
            const int rowsUsed = qMin(g.rows, (labelsOnPage + g.columns - 1) / g.columns);
            QCOMPARE(down.size(), qsizetype(rowsUsed + 1));
            for (int edge = 0; edge <= rowsUsed; ++edge) {
                double expected = (g.marginTopIn + edge * g.pitchYIn) * dpi;
                if (edge == 0)
                    expected += stroke / 2;
                else if (edge == rowsUsed)
                    expected -= stroke / 2;
                QVERIFY2(std::abs(down.at(edge) - expected) <= 1.5,
                         qPrintable(QStringLiteral("page %1 edge %2: %3 vs %4")
                                        .arg(p).arg(edge).arg(down.at(edge)).arg(expected)));
            }
        }
    }
};

PV_REGISTER_TEST(LabelSheetTest)
#include "LabelSheetTest.moc"
