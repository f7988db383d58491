#pragma once

#include "collection/HistoryPoint.h"
#include "collection/ValueHistory.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QString>
#include <QWidget>

class QPainter;

namespace pv {

// The collection's weekly value as a line chart: the total per week, or, once
// per-set breakdowns exist, one line per cumulative layer of the set stack.
// The widget only draws what it is handed; picking another scope from its
// context menu asks the owner to rebuild the data.
class ValueChartWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ValueChartWidget(QWidget *parent = nullptr);

    // Shows the chart data of the scope; the data arrive in euros.
    void setHistory(const pv::ValueHistory::ChartData &data, const pv::ChartScope &scope);

    // What the scope menu offers as the current set and language.
    void setCurrentContext(const QString &setKey, const QString &setCaption, int language,
                           const QString &languageCaption);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The scope the user picked; only when it differs from the one shown.
    void scopeChangeRequested(const pv::ChartScope &scope);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

    // The value axis: its top, the step between ticks and the number of steps,
    // all in the display currency.
    struct ValueRange
    {
        double top = 1.0;
        double step = 0.25;
        int intervals = 4;
    };

    void rebuildSeriesColors();
    void useOpaquePaint();
    ValueRange valueRange() const;
    QRectF plotRect() const;
    QRectF plotRect(const ValueRange &range) const;
    // value is in the display currency.
    QPointF pointPosition(int index, double value) const;
    QPointF pointPosition(int index, double value, const QRectF &plot, double top) const;
    int hitTest(const QPointF &pos) const;
    QString hoverText() const;
    // The indexes of the weeks that get a date under the plot, newest first.
    QList<int> weekLabelIndexes(const QRectF &plot) const;

    // The hovered layer's name and value at the week, and the box they show in.
    struct HoverLabel
    {
        QString text;
        QRectF box;
    };
    HoverLabel hoverLabel(int index, const QRectF &plot) const;
    // Repaints what the hover from the old week and layer to the current ones changes.
    void updateHover(int oldIndex, int oldSeries);

    // Each draws only what reaches `exposed`.
    void drawTotalLine(QPainter &painter, int from, int to, const QColor &color, bool fill, const QRectF &plot,
                       double top, const QRegion &exposed) const;
    void drawCurves(QPainter &painter, const QRectF &plot, double top, const QRegion &exposed) const;
    void drawHoverLabel(QPainter &painter, const QRectF &plot) const;

    // The value in euros of series 0..seriesIndex at the week; 0 for a week or
    // series the data do not reach.
    double stackedEur(int seriesIndex, int week) const;
    // One series' own value in euros at the week; 0 where it has none.
    double seriesEur(int seriesIndex, int week) const;

    QList<HistoryPoint> points;
    QList<ValueHistory::Series> series;
    int firstBreakdownIndex = -1;
    QString title;
    ChartScope scope;
    QList<QColor> seriesColors;
    QString currentSetKey;
    QString currentSetCaption;
    int currentLanguage = 0;
    QString currentLanguageCaption;
    int hoverIndex = -1;
    int hoverSeries = -1;

private:
    // Cumulative euro values per series and week, kept with the data so that
    // painting and hit tests add nothing up.
    QList<QList<double>> stackEur;
};

} // namespace pv
