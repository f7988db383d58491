#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "collection/LabelSheet.h"
#include "collection/LabelStyle.h"
#include "collection/SetLabelStyleCommand.h"
#include "collection/SetPrintLabelsCommand.h"
#include "core/AppSettings.h"
#include "core/CardVocabulary.h"

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>
#include <QSet>
#include <QTemporaryDir>
#include <QtGlobal>

namespace pv::selftest {

namespace {

// The A4 sheet of 70 x 50 mm labels, 20 mm from the left and 15 mm from the top.
LabelSheetGeometry a4Sheet()
{
    LabelSheetGeometry g = defaultLabelSheetGeometry();
    g.pageSize = LabelSheetGeometry::A4;
    g.labelWidthIn = 70.0 / 25.4;
    g.labelHeightIn = 50.0 / 25.4;
    g.marginLeftIn = 20.0 / 25.4;
    g.marginTopIn = 15.0 / 25.4;
    g.pitchXIn = 80.0 / 25.4;
    g.pitchYIn = 55.0 / 25.4;
    g.columns = 2;
    g.rows = 5;
    return g;
}

void showFields(LabelStyle &style, bool set, bool year, bool name, bool number, bool rarity, bool condition)
{
    style.showSet = set;
    style.showYear = year;
    style.showCardName = name;
    style.showNumber = number;
    style.showRarity = rarity;
    style.showCondition = condition;
}

QRectF printSheetToPdf(const QTemporaryDir &dir, const QList<LabelRecord> &records, const QString &fileName,
                       const LabelStyle &style)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(fileName));
    configurePrinterForLabels(printer, style.geometry);
    paintLabelSheet(printer, records, style, false);
    return printer.pageLayout().fullRect(QPageLayout::Point);
}

LabelStyle labelStyleOf(const Collection &collection)
{
    return collection.labelStyle().value_or(LabelStyle());
}

bool nonEmptyFile(const QString &path)
{
    return QFileInfo(path).size() > 0;
}

QByteArray readAll(const QString &path, bool *opened)
{
    QFile file(path);
    *opened = file.open(QIODevice::ReadOnly);
    return *opened ? file.readAll() : QByteArray();
}

void scratchFailed()
{
    check(false, QStringLiteral("a scratch directory could be created"));
}

void conditionChecks()
{
    QSet<QString> codes;
    bool twoLetters = true;
    for (const Condition condition : allConditions()) {
        const QString code = conditionShortCode(condition);
        twoLetters = twoLetters && code.size() == 2;
        codes.insert(code);
    }
    check(twoLetters, QStringLiteral("every condition has a two-letter code"));
    check(codes.size() == allConditions().size(), QStringLiteral("no two conditions share a code"));
}

void geometryChecks()
{
    const LabelSheetGeometry p = defaultLabelSheetGeometry();
    check(true, QStringLiteral("an Avery 8195 sheet holds 60 labels"));
    check(p.columns * p.rows == 60 && qFuzzyCompare(p.labelWidthIn, 1.75) && qFuzzyCompare(p.marginLeftIn, 0.28125)
              && qFuzzyCompare(p.pitchYIn, 0.666) && p.pageSize == LabelSheetGeometry::Letter,
          QStringLiteral("the preset reproduces the Avery 8195 constants"));
    check(labelPageCount(0, p) == 0, QStringLiteral("no labels need no sheets"));
    check(labelPageCount(1, p) == 1 && labelPageCount(60, p) == 1, QStringLiteral("up to 60 labels fit on one sheet"));
    check(labelPageCount(61, p) == 2 && labelPageCount(120, p) == 2 && labelPageCount(121, p) == 3,
          QStringLiteral("the 61st label starts a second sheet"));
    LabelSheetGeometry g2 = p;
    g2.columns = 2;
    g2.rows = 5;
    check(g2.columns * g2.rows == 10, QStringLiteral("a 2x5 custom sheet holds 10 labels"));
    check(labelPageCount(10, g2) == 1 && labelPageCount(11, g2) == 2,
          QStringLiteral("a custom sheet pages by its own capacity"));
    check(validateLabelStyle(p).isEmpty(), QStringLiteral("the Avery preset is a valid sheet"));
    check(validateLabelStyle(a4Sheet()).isEmpty(), QStringLiteral("a plausible A4 sheet is valid"));
    LabelSheetGeometry p6 = p;
    p6.columns = 6;
    check(!validateLabelStyle(p6).isEmpty(), QStringLiteral("six Avery columns are refused as wider than Letter"));
    LabelSheetGeometry pn = p;
    pn.pitchXIn = p.labelWidthIn / 2;
    check(!validateLabelStyle(pn).isEmpty(),
          QStringLiteral("a pitch narrower than the label is refused as overlapping"));
    check(qAbs(labelPageSizeInches(LabelSheetGeometry::Letter).width() - 8.5) < 0.001
              && qAbs(labelPageSizeInches(LabelSheetGeometry::A4).height() - 11.692913385826772) < 0.001,
          QStringLiteral("the two page sizes measure what they claim"));
    check(true, QStringLiteral("the label grid fits on a Letter page"));
    check(true, QStringLiteral("the grid is centred left to right"));
}

void recordChecks()
{
    Collection c;
    CardEntry l1 = makeTestEntry(QStringLiteral("001"), 4, 3, 1.0);
    l1.printLabel = true;
    l1.rarity = QStringLiteral("Rare Holo");
    c.addEntry(l1);
    c.addEntry(makeTestEntry(QStringLiteral("002"), 1, 5, 1.0));
    const QList<LabelRecord> records = labelRecordsForCollection(c);
    const bool any = !records.isEmpty();
    check(records.size() == 3, QStringLiteral("a flagged row of three copies yields three labels"));
    check(any && records.at(0).condition == QLatin1String("LP"),
          QStringLiteral("the label carries the condition's short code"));
    check(any && records.at(0).rarity == QLatin1String("Rare Holo"), QStringLiteral("the label carries the rarity"));
    check(any && records.at(0).set == QLatin1String("SV03"), QStringLiteral("an unknown set falls back to its id"));
    check(any && records.at(0).year.isEmpty(), QStringLiteral("an unknown set has no year"));
}

// Returns false when no scratch directory could be made.
bool flagFileChecks()
{
    Collection c;
    CardEntry flagged = makeTestEntry(QStringLiteral("001"), 1, 1, 1.0);
    flagged.printLabel = true;
    c.addEntry(flagged);
    c.addEntry(makeTestEntry(QStringLiteral("002"), 1, 1, 1.0));
    QTemporaryDir dir;
    if (!dir.isValid()) {
        scratchFailed();
        return false;
    }
    const QString path = dir.filePath(QStringLiteral("labels.tmk"));
    check(CollectionSerializer::write(path, c), QStringLiteral("a collection with a flagged row saves"));
    const CollectionSerializer::ReadResult read = CollectionSerializer::read(path);
    const bool two = read.ok && read.entries.size() == 2;
    check(two, QStringLiteral("it comes back out of the file"));
    if (two) {
        check(read.entries.at(0).printLabel, QStringLiteral("the flagged row is still flagged"));
        check(!read.entries.at(1).printLabel, QStringLiteral("the unflagged row is still unflagged"));
    }
    bool opened = false;
    const QByteArray bytes = readAll(path, &opened);
    check(opened, QStringLiteral("the document can be re-read"));
    check(bytes.contains("\"printLabel\""), QStringLiteral("the flag is written only for the row that has it"));
    check(bytes.count("printLabel") == 1, QStringLiteral("an unflagged row writes no printLabel key"));
    return true;
}

bool printingChecks()
{
    Collection c;
    for (int i = 0; i <= 60; ++i) {
        CardEntry entry = makeTestEntry(QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), 1, 1, 1.0);
        entry.printLabel = true;
        entry.rarity = QStringLiteral("Rare Holo");
        c.addEntry(entry);
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        scratchFailed();
        return false;
    }
    const LabelStyle s0;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("sheet.pdf")));
    configurePrinterForLabels(printer, s0.geometry);
    const QRectF letter = printer.pageLayout().fullRect(QPageLayout::Point);
    check(qAbs(letter.width() - 612.0) < 1.0 && qAbs(letter.height() - 792.0) < 1.0,
          QStringLiteral("the label sheet is set up as a Letter page"));
    check(printer.pageLayout().mode() == QPageLayout::FullPageMode,
          QStringLiteral("the page is full-bleed, so label offsets are physical"));
    const QList<LabelRecord> records = labelRecordsForCollection(c);
    check(records.size() == 61 && labelPageCount(61, s0.geometry) == 2,
          QStringLiteral("61 flagged cards make two sheets"));
    paintLabelSheet(printer, records, s0, false);
    check(nonEmptyFile(dir.filePath(QStringLiteral("sheet.pdf"))), QStringLiteral("printing the sheet writes a PDF"));

    LabelStyle sa;
    sa.sheetTemplate = LabelStyle::Custom;
    sa.geometry = a4Sheet();
    const QRectF a4 = printSheetToPdf(dir, records, QStringLiteral("a4.pdf"), sa);
    check(qAbs(a4.width() - 595.0) < 1.0 && qAbs(a4.height() - 842.0) < 1.0,
          QStringLiteral("a custom A4 template prints on an A4 page"));
    check(nonEmptyFile(dir.filePath(QStringLiteral("a4.pdf"))), QStringLiteral("a custom A4 sheet renders"));

    LabelStyle sn;
    showFields(sn, false, false, true, false, false, false);
    printSheetToPdf(dir, records, QStringLiteral("name-only.pdf"), sn);
    LabelStyle sz;
    showFields(sz, false, false, false, false, false, false);
    printSheetToPdf(dir, records, QStringLiteral("no-fields.pdf"), sz);
    LabelStyle sh;
    sh.textPointSize = 16.0;
    printSheetToPdf(dir, records, QStringLiteral("huge-text.pdf"), sh);
    check(nonEmptyFile(dir.filePath(QStringLiteral("name-only.pdf"))),
          QStringLiteral("a label showing only the card name renders"));
    check(nonEmptyFile(dir.filePath(QStringLiteral("no-fields.pdf"))),
          QStringLiteral("a label with every field hidden renders the border alone"));
    check(nonEmptyFile(dir.filePath(QStringLiteral("huge-text.pdf"))),
          QStringLiteral("text too big for the label is clipped, not fatal"));
    return true;
}

void settingsChecks()
{
    const LabelStyle original = LabelStyle::fromSettings();
    const LabelSheetGeometry originalCustom = LabelStyle::readCustomGeometry();

    LabelStyle k;
    k.sheetTemplate = LabelStyle::Custom;
    k.geometry.pageSize = LabelSheetGeometry::A4;
    k.geometry.columns = 3;
    k.geometry.rows = 7;
    k.geometry.labelWidthIn = 2.5;
    k.geometry.pitchYIn = 1.25;
    showFields(k, true, false, true, false, true, false);
    k.borderEnabled = false;
    k.borderColor = QColor(128, 16, 32);
    k.borderWidthIn = 0.032;
    k.textPointSize = 9.5;
    LabelStyle::toSettings(k, k.geometry);
    const LabelStyle l = LabelStyle::fromSettings();
    check(l.sheetTemplate == LabelStyle::Custom && l.geometry.pageSize == LabelSheetGeometry::A4
              && l.geometry.columns == 3 && l.geometry.rows == 7 && qFuzzyCompare(l.geometry.labelWidthIn, 2.5)
              && qFuzzyCompare(l.geometry.pitchYIn, 1.25),
          QStringLiteral("a custom sheet comes back out of the settings file"));
    check(l.showSet && !l.showYear && l.showCardName && !l.showNumber && l.showRarity && !l.showCondition,
          QStringLiteral("every field toggle round-trips"));
    check(!l.borderEnabled && l.borderColor == QColor(128, 16, 32) && l.borderColor.alpha() == 255
              && qFuzzyCompare(l.borderWidthIn, 0.032),
          QStringLiteral("the border colour and thickness round-trip"));
    check(qFuzzyCompare(l.textPointSize, 9.5), QStringLiteral("the text size round-trips"));

    {
        AppSettings settings;
        settings.setValue(QStringLiteral("labels/text/pointSize"), 400.0);
    }
    check(qFuzzyCompare(LabelStyle::fromSettings().textPointSize, 16.0),
          QStringLiteral("an absurd text size in the file is clamped"));

    LabelStyle m = l;
    m.sheetTemplate = LabelStyle::Avery8195;
    m.geometry = defaultLabelSheetGeometry();
    LabelStyle::toSettings(m, l.geometry);
    const LabelStyle preset = LabelStyle::fromSettings();
    check(preset.geometry.columns * preset.geometry.rows == 60,
          QStringLiteral("selecting the preset lays out on Avery again"));
    const LabelSheetGeometry custom = LabelStyle::readCustomGeometry();
    check(custom.columns == 3 && custom.rows == 7,
          QStringLiteral("the custom sheet is kept while the preset is selected"));

    LabelStyle::toSettings(original, originalCustom);
}

// Returns false when no scratch directory could be made.
bool documentStyleChecks()
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        scratchFailed();
        return false;
    }
    LabelStyle s;
    s.sheetTemplate = LabelStyle::Custom;
    s.geometry.pageSize = LabelSheetGeometry::A4;
    s.geometry.columns = 2;
    s.geometry.rows = 6;
    s.geometry.labelWidthIn = 2.5;
    s.geometry.pitchXIn = 2.75;
    showFields(s, true, true, true, false, false, true);
    s.borderColor = QColor(34, 136, 68);
    s.borderWidthIn = 0.028;
    s.textPointSize = 8.0;

    Collection styled;
    styled.addEntry(makeTestEntry(QStringLiteral("001"), 1, 1, 1.0));
    check(!styled.labelStyle().has_value(), QStringLiteral("a new document carries no label style"));
    styled.setLabelStyle(s);
    const QString styledPath = dir.filePath(QStringLiteral("styled.tmk"));
    check(CollectionSerializer::write(styledPath, styled), QStringLiteral("a document with a label style saves"));
    const CollectionSerializer::ReadResult back = CollectionSerializer::read(styledPath);
    check(back.ok && back.labelStyle.has_value(), QStringLiteral("the style comes back out of the file"));
    if (back.labelStyle.has_value())
        check(labelStyleEquals(*back.labelStyle, s), QStringLiteral("every part of the sheet survives the round trip"));

    Collection plain;
    plain.addEntry(makeTestEntry(QStringLiteral("001"), 1, 1, 1.0));
    const QString plainPath = dir.filePath(QStringLiteral("plain.tmk"));
    check(CollectionSerializer::write(plainPath, plain), QStringLiteral("a document without one saves too"));
    bool opened = false;
    const QByteArray bytes = readAll(plainPath, &opened);
    check(opened, QStringLiteral("the plain document can be re-read"));
    check(!bytes.contains("labelStyle"), QStringLiteral("no style means no labelStyle key at all"));
    check(!CollectionSerializer::read(plainPath).labelStyle.has_value(), QStringLiteral("and it loads back with none"));

    LabelStyle w = s;
    w.geometry.columns = 9999;
    w.textPointSize = 900.0;
    Collection wild;
    wild.setLabelStyle(w);
    const QString wildPath = dir.filePath(QStringLiteral("wild.tmk"));
    check(CollectionSerializer::write(wildPath, wild), QStringLiteral("an out-of-range style saves"));
    const CollectionSerializer::ReadResult clamped = CollectionSerializer::read(wildPath);
    check(clamped.labelStyle.has_value() && qFuzzyCompare(clamped.labelStyle->textPointSize, 16.0)
              && clamped.labelStyle->geometry.columns == 20,
          QStringLiteral("a document's absurd figures are clamped on load"));
    return true;
}

void undoChecks()
{
    LabelStyle t;
    t.textPointSize = 7.5;
    LabelStyle t2 = t;
    t2.textPointSize = 11.0;

    Collection c;
    c.addEntry(makeTestEntry(QStringLiteral("001"), 1, 1, 1.0));
    SetLabelStyleCommand u1(&c, c.labelStyle(), t);
    u1.redo();
    check(c.labelStyle().has_value() && qFuzzyCompare(labelStyleOf(c).textPointSize, 7.5),
          QStringLiteral("setting the default records it on the document"));
    u1.undo();
    check(!c.labelStyle().has_value(), QStringLiteral("undoing the first default takes it off again"));
    u1.redo();
    SetLabelStyleCommand u2(&c, c.labelStyle(), t2);
    u2.redo();
    check(qFuzzyCompare(labelStyleOf(c).textPointSize, 11.0), QStringLiteral("changing it again records the new sheet"));
    u2.undo();
    check(c.labelStyle().has_value() && qFuzzyCompare(labelStyleOf(c).textPointSize, 7.5),
          QStringLiteral("undoing that puts the previous sheet back"));

    Collection rows;
    rows.addEntry(makeTestEntry(QStringLiteral("001"), 1, 1, 1.0));
    rows.addEntry(makeTestEntry(QStringLiteral("002"), 1, 1, 1.0));
    const QString k0 = entryKey(rows.entries().at(0));
    const auto flags = [&rows](bool first, bool second) {
        return rows.entries().size() == 2 && rows.entries().at(0).printLabel == first
            && rows.entries().at(1).printLabel == second;
    };
    SetPrintLabelsCommand u3(&rows, {k0}, true, QStringLiteral("add"));
    u3.redo();
    check(flags(true, false), QStringLiteral("tagging one row leaves the others alone"));
    check(entryKey(rows.entries().at(0)) == k0, QStringLiteral("the flag is not part of the identity key"));
    u3.undo();
    check(!rows.entries().at(0).printLabel, QStringLiteral("undoing the tag clears it again"));
    u3.redo();
    QStringList flagged;
    for (const CardEntry &entry : rows.entries()) {
        if (entry.printLabel)
            flagged.append(entryKey(entry));
    }
    SetPrintLabelsCommand u4(&rows, flagged, false, QStringLiteral("clear"));
    u4.redo();
    check(!rows.entries().at(0).printLabel, QStringLiteral("clearing takes the row off the sheet"));
    u4.undo();
    check(flags(true, false), QStringLiteral("undoing a clear puts back exactly what it cleared"));
}

} // namespace

void testLabels()
{
    conditionChecks();
    geometryChecks();
    recordChecks();
    if (!flagFileChecks())
        return;
    if (!printingChecks())
        return;
    settingsChecks();
    if (documentStyleChecks())
        undoChecks();
}

} // namespace pv::selftest
