#include "ui/widgets/ValueChartWidget.h"

#include "core/Currency.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
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

// Strokes a long line in short overlapping runs: the rasteriser handles a
// small outline much faster than one that spans the whole plot, and with
// round caps the runs join just as one line would. The pen must be opaque,
// or the overlaps would show.
void drawLongPolyline(QPainter &painter, const QPolygonF &line)
{
    constexpr int run = 16;
    if (line.size() < 2) {
        painter.drawPolyline(line);
        return;
    }
    for (int i = 0; i + 1 < line.size(); i += run - 1)
        painter.drawPolyline(line.constData() + i, std::min<int>(run, int(line.size()) - i));
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
        const double y =
            pointPosition(hoverIndex, Currency::fromEur(stackedEur(i, hoverIndex)), plot, range.top).y();
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
    if (hoverIndex != oldIndex || hoverSeries != oldSeries)
        update();

    const QString text = hoverText();
    if (!text.isEmpty())
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    else
        QToolTip::hideText();
}

void ValueChartWidget::leaveEvent(QEvent *event)
{
    if (hoverIndex != -1 || hoverSeries != -1) {
        hoverIndex = -1;
        hoverSeries = -1;
        update();
    }
    QWidget::leaveEvent(event);
}

void ValueChartWidget::paintEvent(QPaintEvent *)
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
        painter.setPen(textColor);
        painter.drawText(QRectF(0, labelTop, plot.left() - 6, fontHeight), Qt::AlignRight | Qt::AlignVCenter,
                         tickLabel(value));
    }

    // Week axis, anchored at the newest week.
    const double labelWidth = fm.horizontalAdvance(QStringLiteral("00 MMM")) + 12;
    const QLocale locale;
    painter.setPen(textColor);
    for (int i : weekLabelIndexes(plot)) {
        const double x = pointPosition(i, 0, plot, range.top).x();
        const double left = std::clamp(x - labelWidth / 2, 0.0, std::max(width() - labelWidth, 0.0));
        painter.drawText(QRectF(left, plot.bottom() + 6, labelWidth, fontHeight), Qt::AlignHCenter | Qt::AlignTop,
                         locale.toString(points.at(i).date, QStringLiteral("d MMM")));
    }

    // Curves.
    if (series.isEmpty())
        drawTotalLine(painter, 0, n - 1, palette().color(QPalette::Highlight), true, plot, range.top);
    else
        drawCurves(painter, plot, range.top);

    // The week under the mouse.
    if (hoverIndex >= 0 && hoverIndex < n) {
        const double x = pointPosition(hoverIndex, 0, plot, range.top).x();
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }

    drawHoverLabel(painter, plot);
}

void ValueChartWidget::drawTotalLine(QPainter &painter, int from, int to, const QColor &color, bool fill,
                                     const QRectF &plot, double top) const
{
    if (from < 0 || from > to || to >= points.size())
        return;

    QPolygonF line;
    line.reserve(to - from + 1);
    for (int i = from; i <= to; ++i)
        line.append(pointPosition(i, Currency::fromEur(points.at(i).totalEur), plot, top));

    if (fill) {
        QPainterPath area;
        area.moveTo(line.first().x(), plot.bottom());
        for (const QPointF &p : std::as_const(line))
            area.lineTo(p);
        area.lineTo(line.last().x(), plot.bottom());
        area.closeSubpath();
        QLinearGradient gradient(0, plot.top(), 0, plot.bottom());
        QColor upper = color;
        upper.setAlpha(90);
        QColor lower = color;
        lower.setAlpha(12);
        gradient.setColorAt(0, upper);
        gradient.setColorAt(1, lower);
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawPath(area);
    }

    painter.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    drawLongPolyline(painter, line);

    painter.setPen(QPen(color, 1.5));
    painter.setBrush(palette().base());
    for (int i = from; i <= to; ++i) {
        const double radius = i == hoverIndex ? 5.5 : 3.5;
        painter.drawEllipse(line.at(i - from), radius, radius);
    }
}

void ValueChartWidget::drawCurves(QPainter &painter, const QRectF &plot, double top) const
{
    const int n = int(points.size());
    const int start = std::max(firstBreakdownIndex, 0);
    if (start > 0)
        drawTotalLine(painter, 0, start, palette().color(QPalette::Mid), false, plot, top);
    if (start >= n)
        return;

    painter.setBrush(Qt::NoBrush);
    QPolygonF line;
    line.reserve(n - start);
    for (int i = int(series.size()) - 1; i >= 0; --i) {
        QColor color = i < seriesColors.size() ? seriesColors.at(i) : palette().color(QPalette::Highlight);
        if (hoverSeries >= 0 && i != hoverSeries)
            color = faded(color, palette().color(QPalette::Base), 70);
        painter.setPen(QPen(color, i == hoverSeries ? 2.6 : 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        line.clear();
        for (int j = start; j < n; ++j)
            line.append(pointPosition(j, Currency::fromEur(stackedEur(i, j)), plot, top));
        if (line.size() == 1) {
            // A single week has no line to draw: its layer shows as a marker.
            painter.setPen(QPen(color, 1.5));
            painter.setBrush(palette().base());
            painter.drawEllipse(line.first(), 3.5, 3.5);
            painter.setBrush(Qt::NoBrush);
        } else {
            drawLongPolyline(painter, line);
        }
    }

    if (hoverIndex >= start && hoverIndex < n) {
        const double total = stackedEur(int(series.size()) - 1, hoverIndex);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.setBrush(palette().base());
        painter.drawEllipse(pointPosition(hoverIndex, Currency::fromEur(total), plot, top), 5.5, 5.5);
    }
}

void ValueChartWidget::drawHoverLabel(QPainter &painter, const QRectF &plot) const
{
    if (hoverSeries < 0 || hoverSeries >= series.size() || hoverIndex < 0)
        return;

    const QFontMetricsF fm(font());
    QString text = QStringLiteral("%1  %2").arg(series.at(hoverSeries).label,
                                                 Currency::formatFromEur(seriesEur(hoverSeries, hoverIndex)));
    QRectF box(plot.left() + 6, plot.top() + 6, fm.horizontalAdvance(text) + 27, fm.height() + 6);
    if (box.width() > plot.width() - 12) {
        box.setWidth(plot.width() - 12);
        text = fm.elidedText(text, Qt::ElideRight, box.width() - 27);
    }

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
                     Qt::AlignLeft | Qt::AlignVCenter, text);
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
