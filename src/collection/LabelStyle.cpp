#include "collection/LabelStyle.h"

#include <QtGlobal>

#include <cmath>

namespace pv {

namespace {

constexpr double kLengthTolerance = 0.0001;
constexpr double kPointTolerance = 0.01;

bool near(double a, double b, double tolerance) { return std::abs(a - b) < tolerance; }

double clampLength(double value) { return qBound(0.1, value, 11.0); }

} // namespace

LabelSheetGeometry defaultLabelSheetGeometry()
{
    return LabelSheetGeometry();
}

QSizeF labelPageSizeInches(LabelSheetGeometry::PageSize pageSize)
{
    if (pageSize == LabelSheetGeometry::A4)
        return QSizeF(210.0 / 25.4, 297.0 / 25.4);
    return QSizeF(8.5, 11.0);
}

bool labelStyleEquals(const LabelStyle &a, const LabelStyle &b)
{
    const LabelSheetGeometry &g = a.geometry;
    const LabelSheetGeometry &h = b.geometry;
    return a.sheetTemplate == b.sheetTemplate && g.pageSize == h.pageSize && g.columns == h.columns
        && g.rows == h.rows && near(g.labelWidthIn, h.labelWidthIn, kLengthTolerance)
        && near(g.labelHeightIn, h.labelHeightIn, kLengthTolerance)
        && near(g.marginLeftIn, h.marginLeftIn, kLengthTolerance)
        && near(g.marginTopIn, h.marginTopIn, kLengthTolerance)
        && near(g.pitchXIn, h.pitchXIn, kLengthTolerance) && near(g.pitchYIn, h.pitchYIn, kLengthTolerance)
        && near(a.borderWidthIn, b.borderWidthIn, kLengthTolerance)
        && near(a.cornerRadiusIn, b.cornerRadiusIn, kLengthTolerance) && a.showSet == b.showSet
        && a.showYear == b.showYear && a.showCardName == b.showCardName && a.showNumber == b.showNumber
        && a.showRarity == b.showRarity && a.showCondition == b.showCondition
        && a.borderEnabled == b.borderEnabled && a.borderColor == b.borderColor
        && near(a.textPointSize, b.textPointSize, kPointTolerance);
}

LabelStyle normalizedLabelStyle(const LabelStyle &style)
{
    LabelStyle result = style;
    LabelSheetGeometry &g = result.geometry;
    g.labelWidthIn = clampLength(g.labelWidthIn);
    g.labelHeightIn = clampLength(g.labelHeightIn);
    g.marginLeftIn = clampLength(g.marginLeftIn);
    g.marginTopIn = clampLength(g.marginTopIn);
    g.pitchXIn = clampLength(g.pitchXIn);
    g.pitchYIn = clampLength(g.pitchYIn);
    g.columns = qBound(1, g.columns, 20);
    g.rows = qBound(1, g.rows, 60);
    if (!result.borderColor.isValid())
        result.borderColor = QColor(31, 78, 168);
    result.borderWidthIn = qBound(0.004, result.borderWidthIn, 0.06);
    result.textPointSize = qBound(3.0, result.textPointSize, 16.0);
    return result;
}

} // namespace pv
