#pragma once

#include <QColor>
#include <QMetaType>
#include <QSizeF>

namespace pv {

// One label sheet: where the labels sit on the page. Every length is in inches.
struct LabelSheetGeometry
{
    enum PageSize { Letter = 0, A4 = 1 };

    PageSize pageSize = Letter;
    double labelWidthIn = 1.75;
    double labelHeightIn = 0.666;
    double marginLeftIn = 0.28125;
    double marginTopIn = 0.5;
    double pitchXIn = 2.0625;
    double pitchYIn = 0.666;
    int columns = 4;
    int rows = 15;
};

// The Avery 8195 sheet: Letter paper, 4 x 15 labels.
LabelSheetGeometry defaultLabelSheetGeometry();

// Page size in inches: 8.5 x 11 for Letter, 210 x 297 mm for A4.
QSizeF labelPageSizeInches(LabelSheetGeometry::PageSize pageSize);

// What a printed label looks like and which sheet it goes on.
struct LabelStyle
{
    enum Template { Avery8195 = 0, Custom = 1 };

    // Stored under the key "template" in the settings and the collection file;
    // the member needs another name because "template" is a C++ keyword.
    Template sheetTemplate = Avery8195;
    LabelSheetGeometry geometry;
    bool showSet = true;
    bool showYear = true;
    bool showCardName = true;
    bool showNumber = true;
    bool showRarity = true;
    bool showCondition = true;
    bool borderEnabled = true;
    QColor borderColor = QColor(31, 78, 168);
    double borderWidthIn = 0.016;
    // Never stored; always the default.
    double cornerRadiusIn = 0.05;
    double textPointSize = 5.5;
};

// Equal up to 0.0001 in on every length and 0.01 pt on the text size.
bool labelStyleEquals(const LabelStyle &a, const LabelStyle &b);

// Clamps every value into the range the label painter can handle; used on a
// style read from a file.
LabelStyle normalizedLabelStyle(const LabelStyle &style);

} // namespace pv

Q_DECLARE_METATYPE(pv::LabelStyle)
