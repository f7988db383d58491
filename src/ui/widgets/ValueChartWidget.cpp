#include "ui/widgets/ValueChartWidget.h"

#include "core/Currency.h"
#include "ui/widgets/RoundPen.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QPolygonF>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

namespace pv {

namespace {

constexpr double kTopMargin = 16.0;
constexpr double kRightMargin = 16.0;
constexpr double kBottomMargin = 34.0;
constexpr double kMinLeftMargin = 64.0;
constexpr double kHitDistance = 14.0;
constexpr int kMaxTooltipSeries = 8;
// How far the largest marker, its ring and the ring's antialiased edge reach
// from its centre.
constexpr double kMarkerReach = 8.0;

int circularDistance(int a, int b)
{
    const int d = std::abs(a - b);
    return std::min(d, 360 - d);
}

// A hash of the set key that is the same in every run, so a set keeps its
// colour from one session to the next (Qt's own string hash is seeded anew
// in each process). FNV-1a over the UTF-16 code units, started from the seed.
quint32 stableHash(const QString &key, quint32 seed)
{
    quint32 hash = 2166136261u ^ seed;
    for (const QChar c : key) {
        hash = (hash ^ (c.unicode() & 0xff)) * 16777619u;
        hash = (hash ^ (c.unicode() >> 8)) * 16777619u;
    }
    return hash;
}

QString tickLabel(double value)
{
    return Currency::format(value, Currency::currentId());
}

// A marker: the fill within the radius and a ring 1.5 px wide over its edge,
// as an ellipse drawn with that pen would show.
void drawMarker(QPainter &painter, const QPointF &centre, double radius, const QColor &ring, const QBrush &fill)
{
    constexpr double ringHalf = 0.75;
    QPolygonF polygon;
    polygon.reserve(72);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    RoundPen::appendCircle(centre, radius, polygon);
    painter.drawPolygon(polygon);

    // Both edges of the ring in one polygon: the outer circle, then the inner
    // one from the same angle, which the odd-even rule leaves open.
    polygon.clear();
    RoundPen::appendCircle(centre, radius + ringHalf, polygon);
    polygon.append(polygon.first());
    const qsizetype inner = polygon.size();
    RoundPen::appendCircle(centre, radius - ringHalf, polygon);
    polygon.append(polygon.at(inner));
    painter.setBrush(ring);
    painter.drawPolygon(polygon, Qt::OddEvenFill);
}

// The colour as it shows at the alpha over the background, made opaque.
QColor faded(const QColor &color, const QColor &background, int alpha)
{
    const double a = alpha / 255.0;
    return QColor::fromRgbF(float(color.redF() * a + background.redF() * (1 - a)),
                            float(color.greenF() * a + background.greenF() * (1 - a)),
                            float(color.blueF() * a + background.blueF() * (1 - a)));
}

} // namespace

ValueChartWidget::ValueChartWidget(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAutoFillBackground(true);
    useOpaquePaint();
}

// The paint starts by filling the whole chart with the base colour; when that
// colour is opaque nothing needs to be drawn beneath it first.
void ValueChartWidget::useOpaquePaint()
{
    setAttribute(Qt::WA_OpaquePaintEvent, palette().color(QPalette::Base).alpha() == 255);
}

void ValueChartWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        useOpaquePaint();
    QWidget::changeEvent(event);
}

QSize ValueChartWidget::sizeHint() const
{
    return {480, 220};
}

// Small, so that its dock gives way on a laptop screen: still room for the
// value axis and a plot a few lines high.
QSize ValueChartWidget::minimumSizeHint() const
{
    return {200, 100};
}

void ValueChartWidget::setHistory(const ValueHistory::ChartData &data, const ChartScope &newScope)
{
    const int n = int(data.points.size());

    // One date order for the points, the series values and the first
    // breakdown index alike, so every value stays with its own week.
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&data](int a, int b) { return data.points.at(a).date < data.points.at(b).date; });

    points.clear();
    points.reserve(n);
    for (int from : std::as_const(order))
        points.append(data.points.at(from));

    series = data.series;
    for (ValueHistory::Series &s : series) {
        QList<double> values(n, 0.0);
        for (int to = 0; to < n; ++to) {
            const int from = order.at(to);
            if (from < s.values.size())
                values[to] = s.values.at(from);
        }
        s.values = std::move(values);
    }

    // The weeks before the first breakdown have none; in the new order the
    // stack starts at the earliest of the weeks that came from it onwards.
    firstBreakdownIndex = -1;
    if (data.firstBreakdownIndex >= 0) {
        for (int to = 0; to < n; ++to) {
            if (order.at(to) >= data.firstBreakdownIndex) {
                firstBreakdownIndex = to;
                break;
            }
        }
    }

    title = data.title;
    scope = newScope;

    stackEur.clear();
    stackEur.reserve(series.size());
    for (int i = 0; i < series.size(); ++i) {
        QList<double> sums = series.at(i).values;
        if (i > 0) {
            const QList<double> &below = stackEur.at(i - 1);
            for (int j = 0; j < n; ++j)
                sums[j] += below.at(j);
        }
        stackEur.append(std::move(sums));
    }

    rebuildSeriesColors();
    hoverIndex = -1;
    hoverSeries = -1;
    update();
}

void ValueChartWidget::setCurrentContext(const QString &setKey, const QString &setCaption, int language,
                                         const QString &languageCaption)
{
    currentSetKey = setKey;
    currentSetCaption = setCaption;
    currentLanguage = language;
    currentLanguageCaption = languageCaption;
}

void ValueChartWidget::rebuildSeriesColors()
{
    seriesColors.clear();
    seriesColors.reserve(series.size());
    const int value = palette().color(QPalette::Base).lightness() < 128 ? 235 : 195;
    QList<int> usedHues;
    for (const ValueHistory::Series &s : std::as_const(series)) {
        if (s.key.isEmpty()) {
            seriesColors.append(palette().color(QPalette::PlaceholderText));
            continue;
        }
        int hue = int(stableHash(s.key, 24231) % 360);
        for (int moves = 0; moves < 15; ++moves) {
            const bool crowded = std::any_of(usedHues.cbegin(), usedHues.cend(),
                                             [hue](int used) { return circularDistance(hue, used) < 24; });
            if (!crowded)
                break;
            hue = (hue + 24) % 360;
        }
        usedHues.append(hue);
        const int saturation = int(stableHash(s.key, 17) % 60) + 165;
        seriesColors.append(QColor::fromHsv(hue, saturation, value, 255));
    }
}

ValueChartWidget::ValueRange ValueChartWidget::valueRange() const
{
    double largest = 0.0;
    for (const HistoryPoint &p : points)
        largest = std::max(largest, p.totalEur);
    const double m = Currency::fromEur(largest);
    const double x = m > 0 ? m * 1.1 : 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(x)));
    const double f = x / p;
    const double nice = f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10;
    ValueRange range;
    range.top = p * nice;
    range.step = range.top * 0.25;
    range.intervals = 4;
    return range;
}

QRectF ValueChartWidget::plotRect() const
{
    return plotRect(valueRange());
}

QRectF ValueChartWidget::plotRect(const ValueRange &range) const
{
    const QFontMetricsF fm(font());
    double widest = 0.0;
    for (int k = 0; k <= range.intervals; ++k)
        widest = std::max(widest, fm.horizontalAdvance(tickLabel(k * range.step)));
    const double left = std::min(std::max(width() * 0.5, kMinLeftMargin), std::max(widest + 12, kMinLeftMargin));
    return QRectF(left, kTopMargin, std::max(width() - left - kRightMargin, 1.0),
                  std::max(height() - kTopMargin - kBottomMargin, 1.0));
}

QPointF ValueChartWidget::pointPosition(int index, double value) const
{
    const ValueRange range = valueRange();
    return pointPosition(index, value, plotRect(range), range.top);
}

QPointF ValueChartWidget::pointPosition(int index, double value, const QRectF &plot, double top) const
{
    const int n = int(points.size());
    const double x = n > 1 ? plot.left() + plot.width() * index / (n - 1) : plot.center().x();
    const double y = plot.bottom() - plot.height() * (top > 0 ? value / top : 0.0);
    return {x, y};
}

double ValueChartWidget::seriesEur(int seriesIndex, int week) const
{
    if (seriesIndex < 0 || seriesIndex >= series.size())
        return 0.0;
    const QList<double> &values = series.at(seriesIndex).values;
    return week >= 0 && week < values.size() ? values.at(week) : 0.0;
}

double ValueChartWidget::stackedEur(int seriesIndex, int week) const
{
    if (seriesIndex < 0 || seriesIndex >= stackEur.size())
        return 0.0;
    const QList<double> &sums = stackEur.at(seriesIndex);
    return week >= 0 && week < sums.size() ? sums.at(week) : 0.0;
}

int ValueChartWidget::hitTest(const QPointF &pos) const
{
    // Before the first breakdown no set line is drawn, so none can be hit.
    if (series.isEmpty() || hoverIndex < std::max(firstBreakdownIndex, 0) || hoverIndex >= points.size())
        return -1;
    const ValueRange range = valueRange();
    const QRectF plot = plotRect(range);
    int nearest = -1;
    double nearestDistance = kHitDistance;
    for (int i = 0; i < series.size(); ++i) {
        const double y = pointPosition(hoverIndex, Currency::fromEur(stackedEur(i, hoverIndex)), plot, range.top).y();
        const double distance = std::abs(y - pos.y());
        if (distance < nearestDistance) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

QString ValueChartWidget::hoverText() const
{
    if (hoverIndex < 0 || hoverIndex >= points.size())
        return {};
    const HistoryPoint &p = points.at(hoverIndex);
    QString text = tr("Week of %1\n%2 across %3 cards")
                       .arg(QLocale().toString(p.date, QStringLiteral("d MMM yyyy")),
                            Currency::formatFromEur(p.totalEur), QString::number(p.cards));
    if (!series.isEmpty() && hoverIndex >= firstBreakdownIndex) {
        int lines = 0;
        for (int i = int(series.size()) - 1; i >= 0 && lines < kMaxTooltipSeries; --i) {
            const double value = seriesEur(i, hoverIndex);
            if (value <= 0)
                continue;
            text += QLatin1Char('\n');
            if (i == hoverSeries)
                text += QStringLiteral("\u25B8 ");
            text += tr("%1: %2").arg(series.at(i).label, Currency::formatFromEur(value));
            ++lines;
        }
    }
    return text;
}

QList<int> ValueChartWidget::weekLabelIndexes(const QRectF &plot) const
{
    const int n = int(points.size());
    const double labelWidth = QFontMetricsF(font()).horizontalAdvance(QStringLiteral("00 MMM")) + 12;
    const int every = std::max(1, int(std::ceil(n * labelWidth / plot.width())));
    QList<int> indexes;
    for (int i = n - 1; i >= 0; i -= every)
        indexes.append(i);
    return indexes;
}

void ValueChartWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    const int n = int(points.size());
    int index = -1;
    if (n == 1) {
        index = 0;
    } else if (n > 1) {
        const QRectF plot = plotRect();
        const double t = (pos.x() - plot.left()) / plot.width();
        index = std::clamp(int(std::round((n - 1) * t)), 0, n - 1);
    }
    const int oldIndex = hoverIndex;
    const int oldSeries = hoverSeries;
    hoverIndex = index;
    hoverSeries = hitTest(pos);
    updateHover(oldIndex, oldSeries);

    const QString text = hoverText();
    if (!text.isEmpty())
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    else
        QToolTip::hideText();
}

void ValueChartWidget::leaveEvent(QEvent *event)
{
    const int oldIndex = hoverIndex;
    const int oldSeries = hoverSeries;
    hoverIndex = -1;
    hoverSeries = -1;
    updateHover(oldIndex, oldSeries);
    QWidget::leaveEvent(event);
}

// Another layer hovered fades the others: the whole chart changes. Another
// week changes only its mark across the plot, the markers on it and the
// hovered layer's label.
void ValueChartWidget::updateHover(int oldIndex, int oldSeries)
{
    if (hoverSeries != oldSeries) {
        update();
        return;
    }
    if (hoverIndex == oldIndex)
        return;
    const ValueRange range = valueRange();
    const QRectF plot = plotRect(range);
    QRegion changed;
    for (const int index : {oldIndex, hoverIndex}) {
        if (index < 0 || index >= points.size())
            continue;
        const double x = pointPosition(index, 0, plot, range.top).x();
        changed +=
            QRectF(x - kMarkerReach, plot.top() - kMarkerReach, 2 * kMarkerReach, plot.height() + 2 * kMarkerReach)
                .toAlignedRect();
        if (hoverSeries >= 0)
            changed += hoverLabel(index, plot).box.toAlignedRect().adjusted(-1, -1, 1, 1);
    }
    update(changed);
}

void ValueChartWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());

    const int n = int(points.size());
    if (n == 0) {
        const QString text = scope.mode != ChartScope::Collection
            ? tr("Nothing recorded for this yet.\nRefresh prices to record this week.")
            : tr("No value history yet.\nRefresh prices to record this week.");
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, text);
        return;
    }

    // Only what reaches the region asked for is drawn: a hover move repaints
    // a narrow strip.
    const QRegion &exposed = event->region();
    const ValueRange range = valueRange();
    const QRectF plot = plotRect(range);
    const QFontMetricsF fm(font());
    const double fontHeight = fm.height();
    const QColor textColor = palette().color(QPalette::WindowText);

    // Grid and value axis.
    for (int k = 0; k <= range.intervals; ++k) {
        const double value = k * range.step;
        const double y = pointPosition(0, value, plot, range.top).y();
        painter.setPen(QPen(palette().color(QPalette::Mid), 1, k == 0 ? Qt::SolidLine : Qt::DotLine));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        const double labelTop = std::clamp(y - fontHeight / 2, 0.0, std::max(height() - fontHeight, 0.0));
        const QRectF label(0, labelTop, plot.left() - 6, fontHeight);
        if (!exposed.intersects(label.toAlignedRect()))
            continue;
        painter.setPen(textColor);
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, tickLabel(value));
    }

    // Week axis, anchored at the newest week.
    const double labelWidth = fm.horizontalAdvance(QStringLiteral("00 MMM")) + 12;
    const QLocale locale;
    painter.setPen(textColor);
    for (int i : weekLabelIndexes(plot)) {
        const double x = pointPosition(i, 0, plot, range.top).x();
        const double left = std::clamp(x - labelWidth / 2, 0.0, std::max(width() - labelWidth, 0.0));
        const QRectF label(left, plot.bottom() + 6, labelWidth, fontHeight);
        if (exposed.intersects(label.toAlignedRect()))
            painter.drawText(label, Qt::AlignHCenter | Qt::AlignTop,
                             locale.toString(points.at(i).date, QStringLiteral("d MMM")));
    }

    // Curves.
    if (series.isEmpty())
        drawTotalLine(painter, 0, n - 1, palette().color(QPalette::Highlight), true, plot, range.top, exposed);
    else
        drawCurves(painter, plot, range.top, exposed);

    // The week under the mouse.
    if (hoverIndex >= 0 && hoverIndex < n) {
        const double x = pointPosition(hoverIndex, 0, plot, range.top).x();
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }

    drawHoverLabel(painter, plot);
}

void ValueChartWidget::drawTotalLine(QPainter &painter, int from, int to, const QColor &color, bool fill,
                                     const QRectF &plot, double top, const QRegion &exposed) const
{
    if (from < 0 || from > to || to >= points.size())
        return;

    QPolygonF line;
    line.reserve(to - from + 1);
    for (int i = from; i <= to; ++i)
        line.append(pointPosition(i, Currency::fromEur(points.at(i).totalEur), plot, top));

    if (fill) {
        // The area under the line, closed along the bottom of the plot.
        QPolygonF area;
        area.reserve(line.size() + 2);
        area.append(QPointF(line.first().x(), plot.bottom()));
        area.append(line);
        area.append(QPointF(line.last().x(), plot.bottom()));
        QLinearGradient gradient(0, plot.top(), 0, plot.bottom());
        QColor upper = color;
        upper.setAlpha(90);
        QColor lower = color;
        lower.setAlpha(12);
        gradient.setColorAt(0, upper);
        gradient.setColorAt(1, lower);
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawPolygon(area);
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    RoundPen(2).drawPolyline(painter, line.constData(), int(line.size()), exposed);

    for (int i = from; i <= to; ++i) {
        const double radius = i == hoverIndex ? 5.5 : 3.5;
        const QPointF &at = line.at(i - from);
        const QRectF reach(at.x() - kMarkerReach, at.y() - kMarkerReach, 2 * kMarkerReach, 2 * kMarkerReach);
        if (exposed.intersects(reach.toAlignedRect()))
            drawMarker(painter, at, radius, color, palette().base());
    }
}

void ValueChartWidget::drawCurves(QPainter &painter, const QRectF &plot, double top, const QRegion &exposed) const
{
    const int n = int(points.size());
    const int start = std::max(firstBreakdownIndex, 0);
    if (start > 0)
        drawTotalLine(painter, 0, start, palette().color(QPalette::Mid), false, plot, top, exposed);
    if (start >= n)
        return;

    QPolygonF line;
    line.reserve(n - start);
    for (int i = int(series.size()) - 1; i >= 0; --i) {
        QColor color = i < seriesColors.size() ? seriesColors.at(i) : palette().color(QPalette::Highlight);
        if (hoverSeries >= 0 && i != hoverSeries)
            color = faded(color, palette().color(QPalette::Base), 70);
        line.clear();
        for (int j = start; j < n; ++j)
            line.append(pointPosition(j, Currency::fromEur(stackedEur(i, j)), plot, top));
        if (line.size() == 1) {
            // A single week has no line to draw: its layer shows as a marker.
            drawMarker(painter, line.first(), 3.5, color, palette().base());
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            RoundPen(i == hoverSeries ? 2.6 : 1.8).drawPolyline(painter, line.constData(), int(line.size()), exposed);
        }
    }

    if (hoverIndex >= start && hoverIndex < n) {
        const double total = stackedEur(int(series.size()) - 1, hoverIndex);
        drawMarker(painter, pointPosition(hoverIndex, Currency::fromEur(total), plot, top), 5.5,
                   palette().color(QPalette::Highlight), palette().base());
    }
}

ValueChartWidget::HoverLabel ValueChartWidget::hoverLabel(int index, const QRectF &plot) const
{
    const QFontMetricsF fm(font());
    HoverLabel label;
    label.text = QStringLiteral("%1  %2").arg(series.at(hoverSeries).label,
                                              Currency::formatFromEur(seriesEur(hoverSeries, index)));
    label.box = QRectF(plot.left() + 6, plot.top() + 6, fm.horizontalAdvance(label.text) + 27, fm.height() + 6);
    if (label.box.width() > plot.width() - 12) {
        label.box.setWidth(plot.width() - 12);
        label.text = fm.elidedText(label.text, Qt::ElideRight, label.box.width() - 27);
    }
    return label;
}

void ValueChartWidget::drawHoverLabel(QPainter &painter, const QRectF &plot) const
{
    if (hoverSeries < 0 || hoverSeries >= series.size() || hoverIndex < 0)
        return;

    const HoverLabel label = hoverLabel(hoverIndex, plot);
    const QRectF &box = label.box;
    QColor fill = palette().color(QPalette::Base);
    fill.setAlpha(225);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 3, 3);

    const QRectF swatch(box.left() + 6, box.center().y() - 4.5, 9, 9);
    painter.setBrush(hoverSeries < seriesColors.size() ? seriesColors.at(hoverSeries)
                                                       : palette().color(QPalette::Highlight));
    painter.drawRoundedRect(swatch, 2, 2);

    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(swatch.right() + 6, box.top(), box.right() - 6 - (swatch.right() + 6), box.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, label.text);
}

void ValueChartWidget::contextMenuEvent(QContextMenuEvent *event)
{
    // On the heap and watched: the chart may be deleted while its menu is open.
    QPointer<QMenu> menu = new QMenu(this);
    auto *group = new QActionGroup(menu);
    group->setExclusive(true);

    std::optional<ChartScope> picked;
    auto addChoice = [&](const QString &text, bool enabled, int mode, ChartScope choice) {
        QAction *action = menu->addAction(text);
        action->setCheckable(true);
        action->setEnabled(enabled);
        action->setChecked(scope.mode == mode);
        group->addAction(action);
        connect(action, &QAction::triggered, menu, [&picked, choice]() { picked = choice; });
    };

    ChartScope setScope = scope;
    setScope.mode = ChartScope::Set;
    setScope.setKey = currentSetKey;
    setScope.language = int(ValueHistory::languageOfKey(currentSetKey, Language(currentLanguage)));
    addChoice(currentSetCaption.isEmpty() ? tr("Show Current Set") : tr("Show Current Set (%1)").arg(currentSetCaption),
              !currentSetKey.isEmpty(), ChartScope::Set, setScope);

    ChartScope languageScope = scope;
    languageScope.mode = ChartScope::Language;
    languageScope.language = currentLanguage;
    addChoice(currentLanguageCaption.isEmpty() ? tr("Show Current Language")
                                               : tr("Show Current Language (%1)").arg(currentLanguageCaption),
              true, ChartScope::Language, languageScope);

    ChartScope collectionScope = scope;
    collectionScope.mode = ChartScope::Collection;
    addChoice(tr("Show Collection"), true, ChartScope::Collection, collectionScope);

    menu->exec(event->globalPos());
    if (!menu)
        return;
    delete menu;
    if (picked && *picked != scope)
        emit scopeChangeRequested(*picked);
}

} // namespace pv
