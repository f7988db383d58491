#include "ui/widgets/RoundPen.h"

#include <QPainter>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cmath>

namespace pv {

namespace {

// A long line is filled in runs at most this many device pixels wide and this
// many points long: the rasteriser's work on an outline grows faster than its
// width, while each fill also costs a little on its own.
constexpr double kRunWidth = 24.0;
constexpr int kRunPoints = 64;
// Arc points stand at most 30 degrees apart, which keeps the polygon within
// 0.05 px of the arc for pens up to 2.6 px wide.
constexpr double kCosStep = 0.8660254037844386;
constexpr int kMaxArcDepth = 6;
// 32 points keep a circle of 10 px radius within 0.05 px.
constexpr int kCirclePoints = 32;

double dot(const QPointF &a, const QPointF &b)
{
    return a.x() * b.x() + a.y() * b.y();
}

double cross(const QPointF &a, const QPointF &b)
{
    return a.x() * b.y() - a.y() * b.x();
}

} // namespace

RoundPen::RoundPen(double width)
    : half(width / 2)
{
}

void RoundPen::drawPolyline(QPainter &painter, const QPointF *points, int count, const QRegion &exposed) const
{
    // The width counts on the device: a run is narrower where a pixel is smaller.
    const QTransform &device = painter.deviceTransform();
    const double runWidth = kRunWidth / std::max(std::hypot(device.m11(), device.m12()), 1e-6);
    QPolygonF outline;
    outline.reserve(4 * kRunPoints + 64);
    // Each run starts at the point where the one before it ends.
    for (int from = 0; from + 1 < count;) {
        double left = points[from].x();
        double right = left;
        double top = points[from].y();
        double bottom = top;
        int end = from + 1;
        for (; end < count && end - from < kRunPoints; ++end) {
            const QPointF &p = points[end];
            if (end > from + 1 && std::max(right, p.x()) - std::min(left, p.x()) > runWidth)
                break;
            left = std::min(left, p.x());
            right = std::max(right, p.x());
            top = std::min(top, p.y());
            bottom = std::max(bottom, p.y());
        }
        const double margin = half + 1;
        const QRectF reach(QPointF(left - margin, top - margin), QPointF(right + margin, bottom + margin));
        if (exposed.intersects(reach.toAlignedRect())) {
            outline.clear();
            appendOutline(points + from, end - from, outline);
            painter.drawPolygon(outline.constData(), int(outline.size()), Qt::WindingFill);
        }
        from = end - 1;
    }
}

// The outline runs forward along the left side of the line, round the end,
// back along the right side and round the start. On the outer side of a bend
// an arc joins the two segments' edges; on the inner side the outline passes
// through the bend's point instead, and the winding rule fills the overlap.
void RoundPen::appendOutline(const QPointF *points, int count, QPolygonF &outline) const
{
    // The distinct points and the unit direction of each segment between them.
    QVarLengthArray<QPointF, kRunPoints> at;
    QVarLengthArray<QPointF, kRunPoints> dir;
    for (int i = 0; i < count; ++i) {
        if (!at.isEmpty()) {
            const QPointF step = points[i] - at.last();
            const double length = std::sqrt(dot(step, step));
            if (length < 1e-9)
                continue;
            dir.append(step / length);
        }
        at.append(points[i]);
    }
    const int segments = int(dir.size());
    if (segments == 0)
        return;

    const auto normal = [this](const QPointF &d) { return QPointF(d.y() * half, -d.x() * half); };
    // The arc round the outer side of a bend, split first at the segment's
    // own direction when the bend is sharper than a right angle.
    const auto join = [&](const QPointF &centre, const QPointF &from, const QPointF &to, const QPointF &ahead) {
        if (dot(from, to) < 0) {
            appendArc(outline, centre, from, ahead * half, kMaxArcDepth);
            appendArc(outline, centre, ahead * half, to, kMaxArcDepth);
        } else {
            appendArc(outline, centre, from, to, kMaxArcDepth);
        }
    };

    QPointF side = normal(dir[0]);
    outline.append(at[0] + side);
    for (int s = 0; s + 1 < segments; ++s) {
        const QPointF &bend = at[s + 1];
        const QPointF next = normal(dir[s + 1]);
        outline.append(bend + side);
        if (cross(dir[s], dir[s + 1]) < 0) {
            outline.append(bend);
            outline.append(bend + next);
        } else {
            join(bend, side, next, dir[s]);
        }
        side = next;
    }

    const QPointF &end = at[segments];
    const QPointF ahead = dir[segments - 1] * half;
    outline.append(end + side);
    appendArc(outline, end, side, ahead, kMaxArcDepth);
    appendArc(outline, end, ahead, -side, kMaxArcDepth);

    side = -side;
    for (int s = segments - 2; s >= 0; --s) {
        const QPointF &bend = at[s + 1];
        const QPointF next = -normal(dir[s]);
        outline.append(bend + side);
        if (cross(dir[s], dir[s + 1]) > 0) {
            outline.append(bend);
            outline.append(bend + next);
        } else {
            join(bend, side, next, dir[s]);
        }
        side = next;
    }

    const QPointF &start = at[0];
    const QPointF behind = dir[0] * -half;
    outline.append(start + side);
    appendArc(outline, start, side, behind, kMaxArcDepth);
    appendArc(outline, start, behind, -side, kMaxArcDepth);
}

// Appends the points of the arc after `from` up to `to`, both offsets from
// the centre of the pen's half width and at most a right angle apart, by
// halving the arc until its pieces are short enough.
void RoundPen::appendArc(QPolygonF &outline, const QPointF &centre, const QPointF &from, const QPointF &to,
                         int depth) const
{
    if (depth > 0 && dot(from, to) < half * half * kCosStep) {
        QPointF middle = from + to;
        middle *= half / std::sqrt(dot(middle, middle));
        appendArc(outline, centre, from, middle, depth - 1);
        appendArc(outline, centre, middle, to, depth - 1);
        return;
    }
    outline.append(centre + to);
}

void RoundPen::appendCircle(const QPointF &centre, double radius, QPolygonF &polygon)
{
    static const std::array<QPointF, kCirclePoints> unit = [] {
        std::array<QPointF, kCirclePoints> points;
        for (int k = 0; k < kCirclePoints; ++k) {
            const double angle = 2 * M_PI * k / kCirclePoints;
            points[k] = QPointF(std::cos(angle), std::sin(angle));
        }
        return points;
    }();
    for (const QPointF &p : unit)
        polygon.append(centre + p * radius);
}

} // namespace pv
