#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QRegion>

class QPainter;

namespace pv {

// Draws lines as a pen with round caps and round joins would, by filling
// their outline with the painter's brush. The painter's own stroker builds
// every join from arcs of curves and angles even where a line barely bends;
// here a join gets arc points only as far as the turn needs them, and a long
// line is filled in short runs, which the rasteriser handles much faster
// than one outline spanning the whole width. The runs overlap, so the brush
// must be opaque.
class RoundPen
{
public:
    explicit RoundPen(double width);

    // Fills the line through the points with the painter's brush; runs that
    // miss `exposed`, in the painter's coordinates, are skipped.
    void drawPolyline(QPainter &painter, const QPointF *points, int count, const QRegion &exposed) const;

    // Appends the closed outline of the line through the points, to be filled
    // with the winding rule.
    void appendOutline(const QPointF *points, int count, QPolygonF &outline) const;

    // Appends a circle as a polygon that strays from it by a few hundredths of
    // a pixel at most, for radii up to about ten pixels.
    static void appendCircle(const QPointF &centre, double radius, QPolygonF &polygon);

private:
    void appendArc(QPolygonF &outline, const QPointF &centre, const QPointF &from, const QPointF &to, int depth) const;

    double half;
};

} // namespace pv
