#include "TestRegistry.h"
#include "TestSupport.h"
#include "ui/DialogTestSupport.h"

#include "collection/LabelSheet.h"
#include "collection/LabelStyle.h"
#include "ui/dialogs/LabelPreviewDialog.h"
#include "ui/widgets/ColorButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace pv;

using test::child;

namespace {

QList<LabelRecord> records(int count, const QString &name = QStringLiteral("Pikachu"))
{
    QList<LabelRecord> list;
    for (int i = 0; i < count; ++i)
        list.append({QStringLiteral("Base Set"), QStringLiteral("1999"), name, QString::number(i + 1),
                     QStringLiteral("Common"), QStringLiteral("NM")});
    return list;
}

int pdfPageCount(const QString &path)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(test::readFile(path)).count(page));
}

// Forgets every label setting, so each case starts from the defaults.
void clearLabelSettings()
{
    AppSettings settings;
    settings.remove(QStringLiteral("labels"));
}

void setEdited(QDoubleSpinBox *spin, double value)
{
    spin->setValue(value);
}

} // namespace

class LabelPreviewDialogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { clearLabelSettings(); }

    // The summary counts labels and sheets; the preview holds at most 20
    // sheets while export takes every record; the toolbar pages and zooms.
    void summarisesPreviewsAndExportsEveryRecord()
    {
        {
            LabelPreviewDialog dialog(records(61), std::nullopt);
            QCOMPARE(child<QLabel>(dialog, "summaryLabel")->text(),
                     QStringLiteral("61 label(s) on 2 sheet(s) - Avery 8195"));
        }
        LabelPreviewDialog dialog(records(1300), std::nullopt);
        QCOMPARE(child<QLabel>(dialog, "summaryLabel")->text(),
                 QStringLiteral("1300 label(s) on 22 sheet(s) - Avery 8195 (previewing the first 20)"));
        auto *preview = child<QPrintPreviewWidget>(dialog, "preview");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_COMPARE(preview->pageCount(), 20);
        QCOMPARE(child<QLabel>(dialog, "sheetLabel")->text(), QStringLiteral("Sheet 1 of 20"));
        QVERIFY(!child<QToolButton>(dialog, "previousSheetButton")->isEnabled());
        child<QToolButton>(dialog, "nextSheetButton")->click();
        QCOMPARE(child<QLabel>(dialog, "sheetLabel")->text(), QStringLiteral("Sheet 2 of 20"));
        QVERIFY(child<QToolButton>(dialog, "previousSheetButton")->isEnabled());

        // Changing a setting re-previews after its pause: two columns hold
        // 30 a sheet, so the first 20 sheets are 600 labels.
        child<QComboBox>(dialog, "templateCombo")->setCurrentIndex(1);
        child<QSpinBox>(dialog, "columnsSpin")->setValue(2);
        QCOMPARE(child<QLabel>(dialog, "summaryLabel")->text(),
                 QStringLiteral("1300 label(s) on 44 sheet(s) - custom sheet (previewing the first 20)"));
        QTRY_COMPARE(preview->pageCount(), 20);
        child<QSpinBox>(dialog, "rowsSpin")->setValue(60);
        QTRY_COMPARE(preview->pageCount(), 11);
        child<QComboBox>(dialog, "templateCombo")->setCurrentIndex(0);

        auto *zoom = child<QSpinBox>(dialog, "zoomSpin");
        zoom->setValue(800);
        child<QToolButton>(dialog, "zoomInButton")->click();
        QCOMPARE(zoom->value(), 800);
        QCOMPARE(child<QSlider>(dialog, "zoomSlider")->value(), 800);
        QCOMPARE(qRound(preview->zoomFactor() * 100), 800);
        child<QToolButton>(dialog, "zoomOutButton")->click();
        QCOMPARE(zoom->value(), 775);

        QTemporaryDir dir;
        test::PromptScope prompts;
        prompts.savePath = dir.filePath(QStringLiteral("all.pdf"));
        child<QPushButton>(dialog, "exportButton")->click();
        QCOMPARE(prompts.captions,
                 QStringList(QStringLiteral("Export Labels as PDF|labels.pdf|PDF files (*.pdf)")));
        QVERIFY(prompts.warnings.isEmpty());
        QCOMPARE(pdfPageCount(prompts.savePath), 22);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList(QStringLiteral("all.pdf")));

        // A cancelled file dialog writes nothing.
        prompts.savePath.clear();
        child<QPushButton>(dialog, "exportButton")->click();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        // A target that cannot be replaced is reported, not taken for done.
        prompts.savePath = dir.filePath(QStringLiteral("taken.pdf"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.pdf")));
        child<QPushButton>(dialog, "exportButton")->click();
        QCOMPARE(prompts.warnings,
                 QStringList(QStringLiteral("Export Labels|Could not write %1.").arg(prompts.savePath)));
        QVERIFY(QFileInfo(prompts.savePath).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList(QStringLiteral("all.pdf")));

        // The print dialog is asked; cancelled, nothing more happens.
        child<QPushButton>(dialog, "printButton")->click();
        QCOMPARE(prompts.captions.last(), QStringLiteral("Print Labels"));
        QCOMPARE(prompts.warnings.size(), 1);
    }

    // Lengths show in the chosen unit; what the user types is stored in
    // inches; values the user did not touch keep every digit.
    void showsUnitsAndKeepsUntouchedValuesExact()
    {
        test::setSetting(QStringLiteral("labels/units"), QStringLiteral("MM "));
        LabelStyle style;
        style.sheetTemplate = LabelStyle::Custom;
        style.borderWidthIn = 0.004;
        style.textPointSize = 5.55;
        LabelStyle::toSettings(style, style.geometry);

        LabelPreviewDialog dialog(records(3), std::nullopt);
        QCOMPARE(child<QComboBox>(dialog, "unitsCombo")->currentText(), QStringLiteral("Millimetres"));
        auto *width = child<QDoubleSpinBox>(dialog, "labelWidthSpin");
        QCOMPARE(width->value(), 44.45);
        QCOMPARE(width->decimals(), 2);
        QCOMPARE(width->suffix(), QStringLiteral(" mm"));
        QVERIFY(!width->keyboardTracking());

        // Any change stores every value; the untouched ones exactly.
        child<QCheckBox>(dialog, "showRarityCheck")->setChecked(false);
        QCOMPARE(test::setting(QStringLiteral("labels/custom/labelHeightIn")).toDouble(), 0.666);
        QCOMPARE(test::setting(QStringLiteral("labels/custom/marginLeftIn")).toDouble(), 0.28125);
        QCOMPARE(test::setting(QStringLiteral("labels/border/widthIn")).toDouble(), 0.004);
        QCOMPARE(test::setting(QStringLiteral("labels/text/pointSize")).toDouble(), 5.55);
        QCOMPARE(LabelStyle::fromSettings().showRarity, false);

        setEdited(width, 50.8);
        QCOMPARE(LabelStyle::readCustomGeometry().labelWidthIn, 2.0);
        // The thinnest border the box offers in millimetres is still a border
        // the sheet accepts.
        auto *thickness = child<QDoubleSpinBox>(dialog, "borderWidthSpin");
        setEdited(thickness, thickness->minimum());
        QCOMPARE(test::setting(QStringLiteral("labels/border/widthIn")).toDouble(), 0.004);
        setEdited(thickness, 0.5);
        QCOMPARE(dialog.style().borderWidthIn, 0.5 / 25.4);

        child<QComboBox>(dialog, "unitsCombo")->setCurrentIndex(1);
        QCOMPARE(test::setting(QStringLiteral("labels/units")).toString(), QStringLiteral("inch"));
        QCOMPARE(width->text(), QStringLiteral("2.000 in"));
        QCOMPARE(child<QDoubleSpinBox>(dialog, "marginLeftSpin")->value(), 0.281);
        child<QCheckBox>(dialog, "showRarityCheck")->setChecked(true);
        QCOMPARE(LabelStyle::readCustomGeometry().marginLeftIn, 0.28125);
        QCOMPARE(LabelStyle::readCustomGeometry().labelWidthIn, 2.0);
        child<QComboBox>(dialog, "unitsCombo")->setCurrentIndex(0);
        QCOMPARE(test::setting(QStringLiteral("labels/units")).toString(), QStringLiteral("mm"));
    }

    // "Set As Default" asks for the current style and stays greyed until a
    // setting changes; the preset greys the layout but keeps the custom
    // values; a sheet that does not fit is warned about.
    void recordsDefaultsAndSwitchesTemplates()
    {
        {
            LabelStyle saved;
            saved.textPointSize = 7.0;
            LabelPreviewDialog dialog(records(1), saved);
            auto *button = child<QPushButton>(dialog, "defaultButton");
            QVERIFY(!button->isEnabled());
            QCOMPARE(button->text(), QStringLiteral("Saved As &Default"));
            QCOMPARE(child<QDoubleSpinBox>(dialog, "textSizeSpin")->value(), 7.0);
        }
        LabelPreviewDialog dialog(records(5), std::nullopt);
        auto *button = child<QPushButton>(dialog, "defaultButton");
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Set As &Default"));
        QVERIFY(!button->autoDefault());
        QSignalSpy requested(&dialog, &LabelPreviewDialog::documentDefaultRequested);
        child<QDoubleSpinBox>(dialog, "textSizeSpin")->setValue(9.5);
        button->click();
        QCOMPARE(requested.size(), 1);
        QCOMPARE(requested.at(0).at(0).value<LabelStyle>().textPointSize, 9.5);
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Saved As &Default"));
        child<ColorButton>(dialog, "borderColorButton")->setColor(Qt::red);
        Q_EMIT child<ColorButton>(dialog, "borderColorButton")->colorChanged(Qt::red);
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Set As &Default"));
        QCOMPARE(LabelStyle::fromSettings().borderColor, QColor(Qt::red));

        auto *layoutBox = child<QGroupBox>(dialog, "layoutBox");
        auto *pageSize = child<QComboBox>(dialog, "pageSizeCombo");
        QVERIFY(!layoutBox->isEnabled());
        child<QComboBox>(dialog, "templateCombo")->setCurrentIndex(1);
        QVERIFY(layoutBox->isEnabled() && pageSize->isEnabled());
        pageSize->setCurrentIndex(1);
        child<QSpinBox>(dialog, "columnsSpin")->setValue(6);
        auto *warnings = child<QLabel>(dialog, "warningsLabel");
        QVERIFY(!warnings->isHidden());
        QCOMPARE(warnings->text(), validateLabelStyle(dialog.style().geometry));
        QVERIFY(!warnings->text().isEmpty());

        child<QComboBox>(dialog, "templateCombo")->setCurrentIndex(0);
        QVERIFY(!layoutBox->isEnabled() && !pageSize->isEnabled());
        QVERIFY(warnings->isHidden());
        QCOMPARE(dialog.style().geometry.columns, 4);
        QCOMPARE(dialog.style().geometry.pageSize, LabelSheetGeometry::Letter);
        QCOMPARE(child<QSpinBox>(dialog, "columnsSpin")->value(), 6);
        QCOMPARE(LabelStyle::readCustomGeometry().columns, 6);
        QCOMPARE(LabelStyle::readCustomGeometry().pageSize, LabelSheetGeometry::A4);
        QCOMPARE(LabelStyle::fromSettings().sheetTemplate, LabelStyle::Avery8195);

        auto *border = child<QCheckBox>(dialog, "borderCheck");
        border->setChecked(false);
        QVERIFY(!child<QDoubleSpinBox>(dialog, "borderWidthSpin")->isEnabled());
        QVERIFY(!child<ColorButton>(dialog, "borderColorButton")->isEnabled());
        QVERIFY(!LabelStyle::fromSettings().borderEnabled);
    }

    // The exported sheet, rendered, puts each label's border where the Avery
    // 8195 sheet has its label, within half a millimetre, and sets Japanese
    // names in a font that has their glyphs.
    void exportedSheetLinesUpWithThePreset()
    {
        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
        if (pdftoppm.isEmpty() || pdffonts.isEmpty())
            QSKIP("pdftoppm and pdffonts (poppler-utils) are needed to render the PDF");
        QTemporaryDir dir;
        test::PromptScope prompts;
        prompts.savePath = dir.filePath(QStringLiteral("sheet.pdf"));
        LabelStyle style;
        style.showSet = style.showYear = style.showNumber = style.showRarity = style.showCondition = false;
        LabelPreviewDialog dialog(records(60, QStringLiteral("リザードンex")), style);
        child<QPushButton>(dialog, "exportButton")->click();
        QVERIFY(prompts.warnings.isEmpty());

        constexpr int dpi = 300;
        QProcess render;
        render.start(pdftoppm, {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                                QStringLiteral("-png"), QStringLiteral("-singlefile"), prompts.savePath,
                                dir.filePath(QStringLiteral("sheet"))});
        QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
        const QImage page(dir.filePath(QStringLiteral("sheet.png")));
        QCOMPARE(page.size(), QSize(int(8.5 * dpi), 11 * dpi));

        const LabelSheetGeometry g = defaultLabelSheetGeometry();
        const double tolerance = 0.5 / 25.4 * dpi;
        const auto dark = [&page](int x, int y) { return qGray(page.pixel(x, y)) < 160; };
        // The first dark pixel from a point outside the label, stepping inwards.
        const auto edge = [&](int x, int y, int dx, int dy) {
            while (x >= 0 && y >= 0 && x < page.width() && y < page.height() && !dark(x, y)) {
                x += dx;
                y += dy;
            }
            return dx != 0 ? x : y;
        };
        for (int column = 0; column < g.columns; ++column) {
            for (int row = 0; row < g.rows; row += 7) {
                const double left = (g.marginLeftIn + column * g.pitchXIn) * dpi;
                const double top = (g.marginTopIn + row * g.pitchYIn) * dpi;
                const double right = left + g.labelWidthIn * dpi;
                const double bottom = top + g.labelHeightIn * dpi;
                const int midY = int((top + bottom) / 2);
                const int quarterX = int(left + g.labelWidthIn * dpi / 4);
                const QString where = QStringLiteral("column %1 row %2").arg(column).arg(row);
                QVERIFY2(qAbs(edge(int(left - 8), midY, 1, 0) - left) <= tolerance, qPrintable(where));
                QVERIFY2(qAbs(edge(int(right + 8), midY, -1, 0) - right) <= tolerance, qPrintable(where));
                QVERIFY2(qAbs(edge(quarterX, int(top - 8), 0, 1) - top) <= tolerance, qPrintable(where));
                QVERIFY2(qAbs(edge(quarterX, int(bottom + 8), 0, -1) - bottom) <= tolerance, qPrintable(where));
            }
        }

        const bool cjkInstalled = QFontDatabase::families(QFontDatabase::Japanese).size() > 0
            && QFontDatabase::families().filter(QStringLiteral("CJK")).size() > 0;
        if (!cjkInstalled)
            QSKIP("no CJK font is installed (fonts-noto-cjk)");
        QProcess fonts;
        fonts.start(pdffonts, {prompts.savePath});
        QVERIFY(fonts.waitForFinished(60000) && fonts.exitCode() == 0);
        QVERIFY2(QString::fromUtf8(fonts.readAllStandardOutput()).contains(QLatin1String("CJK")),
                 "the Japanese names are set in a font without their glyphs");
    }
};

PV_REGISTER_TEST(LabelPreviewDialogTest)
#include "LabelPreviewDialogTest.moc"
