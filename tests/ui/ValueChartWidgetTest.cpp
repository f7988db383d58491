#include "TestRegistry.h"

#include "core/Currency.h"
#include "core/FxRates.h"
#include "ui/widgets/ValueChartWidget.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

using namespace pv;

namespace {

// Opens the widget's internals to the tests.
class ChartProbe : public ValueChartWidget
{
public:
    using ValueChartWidget::firstBreakdownIndex;
    using ValueChartWidget::hitTest;
    using ValueChartWidget::hoverIndex;
    using ValueChartWidget::hoverSeries;
    using ValueChartWidget::hoverText;
    using ValueChartWidget::plotRect;
    using ValueChartWidget::pointPosition;
    using ValueChartWidget::points;
    using ValueChartWidget::series;
    using ValueChartWidget::seriesColors;
    using ValueChartWidget::valueRange;
    using ValueChartWidget::weekLabelIndexes;

    void moveMouse(const QPointF &pos)
    {
        QMouseEvent event(QEvent::MouseMove, pos, mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(this, &event);
    }

    QRegion painted; // what paint events asked for since it was last cleared

protected:
    void paintEvent(QPaintEvent *event) override
    {
        painted += event->region();
        ValueChartWidget::paintEvent(event);
    }
};

ChartScope scopeOf(int mode, int language = 0, const QString &setKey = QString())
{
    ChartScope s;
    s.mode = mode;
    s.language = language;
    s.setKey = setKey;
    return s;
}

QDate week(int i)
{
    return QDate(2026, 1, 5).addDays(7 * i);
}

ValueHistory::ChartData totals(const QList<double> &values)
{
    ValueHistory::ChartData data;
    for (int i = 0; i < values.size(); ++i) {
        HistoryPoint p;
        p.date = week(i);
        p.totalEur = values.at(i);
        p.cards = 10 + i;
        data.points.append(p);
    }
    return data;
}

// `weeks` weeks; from `firstBreakdown` on, set k is worth (k + 1) * 10 + week
// euros. With more than 12 sets the rest fold into one series with no key.
ValueHistory::ChartData stacked(int weeks, int sets, int firstBreakdown)
{
    ValueHistory::ChartData data;
    const int named = std::min(sets, 12);
    for (int k = 0; k < named; ++k) {
        ValueHistory::Series s;
        s.key = QStringLiteral("en:set%1").arg(k);
        s.label = QStringLiteral("EN / Set %1").arg(k);
        data.series.append(s);
    }
    if (sets > 12) {
        ValueHistory::Series other;
        other.label = QStringLiteral("Other (%1 sets)").arg(sets - 12);
        data.series.append(other);
    }
    for (int j = 0; j < weeks; ++j) {
        HistoryPoint p;
        p.date = week(j);
        p.cards = 100 + j;
        for (int k = 0; k < data.series.size(); ++k) {
            const double value = j >= firstBreakdown ? (k + 1) * 10.0 + j : 0.0;
            data.series[k].values.append(value);
            p.totalEur += value;
            if (value > 0)
                p.sets.insert(data.series.at(k).key.isEmpty() ? QStringLiteral("en:rest") : data.series.at(k).key,
                              {value, 1});
        }
        if (j < firstBreakdown)
            p.totalEur = 50.0 + j;
        data.points.append(p);
    }
    data.firstBreakdownIndex = firstBreakdown;
    data.title = QStringLiteral("Collection value history");
    return data;
}

QPalette chartPalette(bool dark)
{
    QPalette p;
    if (dark) {
        p.setColor(QPalette::Base, QColor(30, 30, 34));
        p.setColor(QPalette::Window, QColor(40, 40, 44));
        p.setColor(QPalette::WindowText, QColor(230, 230, 230));
        p.setColor(QPalette::Mid, QColor(90, 90, 96));
        p.setColor(QPalette::Highlight, QColor(80, 160, 255));
        p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    } else {
        p.setColor(QPalette::Base, QColor(255, 255, 255));
        p.setColor(QPalette::Window, QColor(240, 240, 240));
        p.setColor(QPalette::WindowText, QColor(20, 20, 20));
        p.setColor(QPalette::Mid, QColor(170, 170, 170));
        p.setColor(QPalette::Highlight, QColor(30, 100, 200));
        p.setColor(QPalette::PlaceholderText, QColor(120, 120, 120));
    }
    return p;
}

struct MenuEntry
{
    QString text;
    bool enabled;
    bool checked;
};

// Opens the chart's context menu, records its entries and picks the entry at
// `pick` (none when negative) before the menu closes.
QList<MenuEntry> useScopeMenu(ChartProbe &chart, int pick)
{
    QList<MenuEntry> entries;
    QTimer::singleShot(0, [&entries, pick]() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        const QList<QAction *> actions = menu->actions();
        for (QAction *a : actions)
            entries.append({a->text(), a->isEnabled(), a->isChecked()});
        if (pick >= 0 && pick < actions.size())
            actions.at(pick)->trigger();
        menu->close();
    });
    const QPoint at(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, chart.mapToGlobal(at));
    QApplication::sendEvent(&chart, &event);
    return entries;
}

} // namespace

class ValueChartWidgetTest : public QObject
{
    Q_OBJECT

    static void useYen()
    {
        // 1 EUR = 200 JPY: 0.5 EUR and 100 JPY to the dollar.
        FxRates::store({{QStringLiteral("EUR"), 0.5}, {QStringLiteral("JPY"), 100.0}}, QDate(2026, 1, 5));
        Currency::setCurrent(3);
    }

    QLocale m_locale;

private slots:
    // Dates and amounts are written in the user's locale; these tests read them in one.
    void initTestCase()
    {
        m_locale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }

    void cleanupTestCase() { QLocale::setDefault(m_locale); }

    void cleanup()
    {
        FxRates::store({{QStringLiteral("EUR"), 0.86}}, QDate(2026, 1, 5));
        Currency::setCurrent(0);
    }

    void valueAxisRoundsUpInTheDisplayCurrency()
    {
        ChartProbe chart;
        chart.resize(480, 220);
        chart.setHistory(totals({120.0, 430.0, 300.0}), {});
        QCOMPARE(chart.valueRange().top, 500.0);
        QCOMPARE(chart.valueRange().step, 125.0);
        QCOMPARE(chart.valueRange().intervals, 4);

        chart.setHistory(totals({100.0}), {});
        QCOMPARE(chart.valueRange().top, 200.0);
        chart.setHistory(totals({0.0, 0.0}), {});
        QCOMPARE(chart.valueRange().top, 1.0);
        chart.setHistory({}, {});
        QCOMPARE(chart.valueRange().top, 1.0);

        // 430 EUR are 86,000 JPY; the axis and every text follow the yen.
        useYen();
        ChartProbe narrow;
        narrow.resize(narrow.minimumSizeHint());
        narrow.setHistory(totals({120.0, 430.0}), {});
        QCOMPARE(narrow.valueRange().top, 100000.0);
        QVERIFY(narrow.hoverText().isEmpty());
        narrow.moveMouse(narrow.plotRect().topRight());
        QCOMPARE(narrow.hoverIndex, 1);
        QCOMPARE(narrow.hoverText(), QStringLiteral("Week of 12 Jan 2026\n\u00A586,000 across 11 cards"));
        // The widest tick label still fits left of the plot on the smallest chart.
        const QFontMetricsF fm(narrow.font());
        QVERIFY(fm.horizontalAdvance(Currency::format(100000.0, 3)) <= narrow.plotRect().left() - 6);
    }

    void historyKeepsEveryValueWithItsWeek()
    {
        // The weeks arrive out of order: 2, 0, 3, 1. Set values and the first
        // breakdown (week 1, at index 3) must travel with their weeks.
        ValueHistory::ChartData data = stacked(4, 2, 1);
        const ValueHistory::ChartData sorted = data;
        const QList<int> arrival = {2, 0, 3, 1};
        data.points.clear();
        for (ValueHistory::Series &s : data.series)
            s.values.clear();
        for (int from : arrival) {
            data.points.append(sorted.points.at(from));
            for (int k = 0; k < data.series.size(); ++k)
                data.series[k].values.append(sorted.series.at(k).values.at(from));
        }
        data.firstBreakdownIndex = 3;

        ChartProbe chart;
        chart.resize(480, 220);
        chart.setHistory(sorted, scopeOf(0));
        chart.moveMouse(chart.pointPosition(2, 42.0));
        QCOMPARE(chart.hoverSeries, 1);
        chart.setHistory(data, scopeOf(0));
        QCOMPARE(chart.hoverIndex, -1);
        QCOMPARE(chart.hoverSeries, -1);
        QCOMPARE(chart.points, sorted.points);
        QCOMPARE(chart.firstBreakdownIndex, 1);
        for (int k = 0; k < sorted.series.size(); ++k)
            QCOMPARE(chart.series.at(k).values, sorted.series.at(k).values);

        // Sorted data are taken as they come; a short value list reads as 0.
        ValueHistory::ChartData shortList = sorted;
        shortList.series[1].values.removeLast();
        chart.setHistory(shortList, scopeOf(0));
        QCOMPARE(chart.points, sorted.points);
        QCOMPARE(chart.firstBreakdownIndex, 1);
        QCOMPARE(chart.series.at(0).values, sorted.series.at(0).values);
        QCOMPARE(chart.series.at(1).values, (QList<double>{0.0, 21.0, 22.0, 0.0}));
    }

    void positionsAndHoverFollowThePointer()
    {
        ChartProbe chart;
        chart.resize(480, 220);
        chart.setHistory(totals({10.0, 20.0, 30.0, 40.0}), {});
        const QRectF plot = chart.plotRect();
        QCOMPARE(plot.top(), 16.0);
        QCOMPARE(plot.bottom(), 220.0 - 34.0);
        QCOMPARE(plot.right(), 480.0 - 16.0);
        // A third of the plot width is not a whole number of pixels; the points
        // keep their fractions so lines and hit tests line up.
        QVERIFY(std::fmod(plot.width(), 3.0) != 0.0);
        QCOMPARE(chart.pointPosition(1, 25.0),
                 QPointF(plot.left() + plot.width() / 3, plot.bottom() - plot.height() * 25.0 / 50.0));

        // The week nearest the pointer, also left of or beyond the plot.
        chart.moveMouse({plot.left() + plot.width() / 6 + 0.5, 50});
        QCOMPARE(chart.hoverIndex, 1);
        chart.moveMouse({plot.left() + plot.width() / 6 - 0.5, 50});
        QCOMPARE(chart.hoverIndex, 0);
        chart.moveMouse({2, 50});
        QCOMPARE(chart.hoverIndex, 0);
        chart.moveMouse({479, 50});
        QCOMPARE(chart.hoverIndex, 3);
        QCOMPARE(chart.hoverText(), QStringLiteral("Week of 26 Jan 2026\n40.00 \u20AC across 13 cards"));
        QCOMPARE(chart.hitTest({479, 50}), -1);

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&chart, &leave);
        QCOMPARE(chart.hoverIndex, -1);
        QVERIFY(chart.hoverText().isEmpty());

        // A single week sits in the middle and is hovered wherever the pointer is.
        chart.setHistory(totals({10.0}), {});
        QCOMPARE(chart.pointPosition(0, 0.0).x(), chart.plotRect().center().x());
        chart.moveMouse({1, 1});
        QCOMPARE(chart.hoverIndex, 0);
        chart.setHistory({}, {});
        chart.moveMouse({200, 100});
        QCOMPARE(chart.hoverIndex, -1);
    }

    void hitTestFindsTheNearestLayerWithinFourteenPixels()
    {
        ChartProbe chart;
        chart.resize(480, 220);
        chart.setHistory(stacked(6, 3, 2), scopeOf(0));
        const QRectF plot = chart.plotRect();
        const double top = chart.valueRange().top;
        const double x = plot.left() + plot.width() * 4 / 5;
        // Week 4: layers at 14, 14 + 24 = 38 and 38 + 34 = 72 euros.
        auto layerY = [&](double eur) { return plot.bottom() - plot.height() * eur / top; };
        chart.moveMouse({x, layerY(38.0) + 3});
        QCOMPARE(chart.hoverIndex, 4);
        QCOMPARE(chart.hoverSeries, 1);
        chart.moveMouse({x, layerY(72.0) - 13.5});
        QCOMPARE(chart.hoverSeries, 2);
        chart.moveMouse({x, layerY(72.0) - 14.5});
        QCOMPARE(chart.hoverSeries, -1);

        // Where two layers meet (a set worth nothing that week) the lower one wins.
        ValueHistory::ChartData gap = stacked(6, 3, 2);
        gap.series[1].values[4] = 0.0;
        chart.setHistory(gap, scopeOf(0));
        chart.moveMouse({x, layerY(14.0) - 2});
        QCOMPARE(chart.hoverSeries, 0);

        // Before the first breakdown no layer is drawn, so none is hovered.
        chart.moveMouse({plot.left(), plot.bottom()});
        QCOMPARE(chart.hoverIndex, 0);
        QCOMPARE(chart.hoverSeries, -1);
        QCOMPARE(chart.hoverText(), QStringLiteral("Week of 5 Jan 2026\n50.00 \u20AC across 100 cards"));
    }

    void hoverTextListsTheTopEightLayers()
    {
        useYen();
        ChartProbe chart;
        chart.resize(480, 220);
        chart.setHistory(stacked(3, 12, 0), scopeOf(0));
        const QRectF plot = chart.plotRect();
        const double top = chart.valueRange().top;
        // Week 2: set 10 is the layer at 2 + 10 + 20 + ... + 110 + 11 * 2 = 682 euros.
        chart.moveMouse({plot.right(), plot.bottom() - plot.height() * Currency::fromEur(682.0) / top});
        QCOMPARE(chart.hoverIndex, 2);
        QCOMPARE(chart.hoverSeries, 10);
        const QStringList lines = chart.hoverText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2 + 8);
        QCOMPARE(lines.at(0), QStringLiteral("Week of 19 Jan 2026"));
        QCOMPARE(lines.at(1), QStringLiteral("\u00A5160,800 across 102 cards"));
        QCOMPARE(lines.at(2), QStringLiteral("EN / Set 11: \u00A524,400"));
        QCOMPARE(lines.at(3), QStringLiteral("\u25B8 EN / Set 10: \u00A522,400"));
        QCOMPARE(lines.at(9), QStringLiteral("EN / Set 4: \u00A510,400"));
    }

    void weekLabelsCountBackFromTheNewestWeek()
    {
        ChartProbe chart;
        chart.resize(400, 200);
        chart.setHistory(totals({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), {});
        const double labelWidth = QFontMetricsF(chart.font()).horizontalAdvance(QStringLiteral("00 MMM")) + 12;
        // A plot 10 / 2.5 label widths wide fits a label every third week.
        const double left = chart.plotRect().left();
        chart.resize(int(std::ceil(left + 16 + labelWidth * 10 / 2.5)), 200);
        QCOMPARE(chart.weekLabelIndexes(chart.plotRect()), (QList<int>{9, 6, 3, 0}));
        chart.resize(1600, 200);
        QCOMPARE(chart.weekLabelIndexes(chart.plotRect()).size(), 10);
    }

    void seriesColoursKeepApartFollowThePaletteAndStayFromRunToRun()
    {
        for (const bool dark : {true, false}) {
            ChartProbe chart;
            chart.setPalette(chartPalette(dark));
            chart.setHistory(stacked(2, 13, 0), scopeOf(0));
            QCOMPARE(chart.seriesColors.size(), 13);
            QCOMPARE(chart.seriesColors.last(), chartPalette(dark).color(QPalette::PlaceholderText));
            for (int i = 0; i < 12; ++i) {
                const QColor c = chart.seriesColors.at(i);
                QCOMPARE(c.value(), dark ? 235 : 195);
                QVERIFY(c.hsvSaturation() >= 165 && c.hsvSaturation() < 225);
                // Up to eight sets there is always room for a hue of their own.
                for (int j = 0; j < i && i < 8; ++j) {
                    const int d = std::abs(c.hsvHue() - chart.seriesColors.at(j).hsvHue());
                    QVERIFY2(std::min(d, 360 - d) >= 24, qPrintable(QStringLiteral("series %1 and %2").arg(i).arg(j)));
                }
            }
        }

        // The colour comes from the key alone, not from a hash seeded per process.
        ValueHistory::ChartData data = totals({1.0, 2.0});
        ValueHistory::Series s;
        s.key = QStringLiteral("en:sv03");
        s.values = {1.0, 2.0};
        data.series = {s};
        data.firstBreakdownIndex = 0;
        ChartProbe chart;
        chart.setPalette(chartPalette(false));
        chart.setHistory(data, scopeOf(0));
        QCOMPARE(chart.seriesColors, (QList<QColor>{QColor::fromHsv(165, 216, 195)}));
    }

    void scopeMenuOffersTheCurrentSetLanguageAndCollection()
    {
        ChartProbe chart;
        chart.resize(480, 220);
        QSignalSpy requested(&chart, &ValueChartWidget::scopeChangeRequested);

        // No current set: its entry is disabled even with a caption.
        chart.setHistory(stacked(3, 2, 0), scopeOf(0));
        chart.setCurrentContext(QString(), QStringLiteral("Obsidian Flames"), 0, QString());
        QList<MenuEntry> entries = useScopeMenu(chart, 0);
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(0).text, QStringLiteral("Show Current Set (Obsidian Flames)"));
        QVERIFY(!entries.at(0).enabled);
        QCOMPARE(entries.at(1).text, QStringLiteral("Show Current Language"));
        QVERIFY(entries.at(1).enabled);
        QCOMPARE(entries.at(2).text, QStringLiteral("Show Collection"));
        QVERIFY(entries.at(2).checked && !entries.at(0).checked && !entries.at(1).checked);
        QCOMPARE(requested.count(), 0);

        // The collection while the collection is shown, or a dismissed menu: nothing.
        useScopeMenu(chart, 2);
        useScopeMenu(chart, -1);
        QCOMPARE(requested.count(), 0);

        // A Japanese set takes its language from its key.
        chart.setCurrentContext(QStringLiteral("ja:SV4a"), QString(), 0, QStringLiteral("English"));
        entries = useScopeMenu(chart, 0);
        QCOMPARE(entries.at(0).text, QStringLiteral("Show Current Set"));
        QVERIFY(entries.at(0).enabled);
        QCOMPARE(entries.at(1).text, QStringLiteral("Show Current Language (English)"));
        QCOMPARE(requested.count(), 1);
        ChartScope picked = requested.takeFirst().at(0).value<ChartScope>();
        QCOMPARE(picked.mode, int(ChartScope::Set));
        QCOMPARE(picked.setKey, QStringLiteral("ja:SV4a"));
        QCOMPARE(picked.language, int(Language::Japanese));

        // From the set scope, the language keeps the set key.
        chart.setHistory(totals({5.0}), scopeOf(2, 1, QStringLiteral("ja:SV4a")));
        entries = useScopeMenu(chart, 1);
        QVERIFY(entries.at(0).checked);
        QCOMPARE(requested.count(), 1);
        picked = requested.takeFirst().at(0).value<ChartScope>();
        QCOMPARE(picked, scopeOf(1, 0, QStringLiteral("ja:SV4a")));

        // The set already shown is no change.
        useScopeMenu(chart, 0);
        QCOMPARE(requested.count(), 0);

        // A chart that goes away while its menu is open takes the menu with it.
        QWidget window;
        QPointer<ChartProbe> doomed = new ChartProbe;
        doomed->setParent(&window);
        QTimer::singleShot(0, doomed.data(), [&doomed]() { delete doomed.data(); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
        QApplication::sendEvent(doomed.data(), &event);
        QVERIFY(doomed.isNull());
    }

    // A move to another week repaints only part of the chart, yet leaves on
    // screen what a whole repaint shows; another layer repaints it all.
    void hoverMovesLeaveWhatAWholeRepaintShows()
    {
        for (const bool layered : {true, false}) {
            ChartProbe chart;
            chart.setPalette(chartPalette(layered));
            chart.resize(600, 260);
            chart.setHistory(layered ? stacked(80, 15, 20) : totals(QList<double>(80, 40.0)), scopeOf(0));
            chart.show();
            QVERIFY(QTest::qWaitForWindowExposed(&chart));
            const QRectF plot = chart.plotRect();
            const auto top = [&](int week) { return chart.pointPosition(week, chart.points.at(week).totalEur); };
            const auto onScreen = [&chart] {
                return chart.windowHandle()->screen()->grabWindow(chart.winId()).toImage();
            };
            // Where the pointer goes, whether that hovers another layer.
            const QList<std::pair<QPointF, bool>> moves{{top(40), layered},
                                                        {top(41), false},
                                                        {top(47) + QPointF(0, 3), false},
                                                        {{top(48).x(), plot.top()}, layered},
                                                        {{top(10).x(), plot.top()}, false},
                                                        {{top(12).x(), plot.bottom()}, false},
                                                        {{-1, -1}, false}};
            for (int step = 0; step < moves.size(); ++step) {
                chart.painted = QRegion();
                const QPointF at = moves.at(step).first;
                if (at.x() < 0) {
                    QEvent leave(QEvent::Leave);
                    QApplication::sendEvent(&chart, &leave);
                } else {
                    chart.moveMouse(at);
                }
                QCoreApplication::processEvents();
                const QImage painted = onScreen();
                const bool whole = QRegion(chart.rect()).subtracted(chart.painted).isEmpty();
                QVERIFY2(whole == moves.at(step).second && !chart.painted.isEmpty(), qPrintable(QString::number(step)));
                chart.repaint();
                QVERIFY2(onScreen() == painted, qPrintable(QString::number(step)));
            }
        }
    }

    void paintsInsideThePlotInDarkAndLightPalettes()
    {
        for (const bool dark : {true, false}) {
            const QPalette palette = chartPalette(dark);
            ChartProbe chart;
            chart.setPalette(palette);
            chart.resize(480, 220);
            chart.setHistory(stacked(20, 15, 5), scopeOf(0));
            const QRectF plot = chart.plotRect();
            QImage image(chart.size(), QImage::Format_RGB32);
            chart.render(&image);

            // Set colours appear only within the plot (pens reach a few pixels
            // past it). The grey of the folded rest also shades text edges.
            const QRectF allowed = plot.adjusted(-7, -7, 7, 7);
            QSet<QRgb> lineColours;
            for (int i = 0; i < 12; ++i)
                lineColours.insert(chart.seriesColors.at(i).rgb());
            int linePixels = 0;
            int textPixels = 0;
            const QRgb base = palette.color(QPalette::Base).rgb();
            const QRgb text = palette.color(QPalette::WindowText).rgb();
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    if (lineColours.contains(pixel)) {
                        ++linePixels;
                        QVERIFY2(allowed.contains(x, y), qPrintable(QStringLiteral("line at %1,%2").arg(x).arg(y)));
                    }
                    if (pixel == text)
                        ++textPixels;
                    // Nothing touches the right and bottom edges: labels are not cut off.
                    if (x >= image.width() - 2 || y >= image.height() - 2)
                        QVERIFY2(pixel == base, qPrintable(QStringLiteral("edge at %1,%2").arg(x).arg(y)));
                }
            }
            QVERIFY(linePixels > 500);
            QVERIFY(textPixels > 50);

            // The hovered week's label box stays inside the plot.
            chart.moveMouse(chart.pointPosition(19, Currency::fromEur(chart.points.last().totalEur)));
            QCOMPARE(chart.hoverSeries, 12);
            image.fill(Qt::black);
            chart.render(&image);
            for (int y = 0; y < image.height(); ++y)
                for (int x = image.width() - 2; x < image.width(); ++x)
                    QCOMPARE(image.pixel(x, y), base);
        }

        // A single week of a breakdown marks each layer's value.
        ChartProbe single;
        single.setPalette(chartPalette(true));
        single.resize(480, 220);
        single.setHistory(stacked(1, 3, 0), scopeOf(0));
        QImage image(single.size(), QImage::Format_RGB32);
        single.render(&image);
        for (int k = 0; k < 3; ++k) {
            const QPoint at = single.pointPosition(0, Currency::fromEur(5.0 * (k + 1) * (k + 2))).toPoint();
            int ring = 0;
            for (int y = at.y() - 5; y <= at.y() + 5; ++y)
                for (int x = at.x() - 5; x <= at.x() + 5; ++x)
                    ring += image.pixel(x, y) == single.seriesColors.at(k).rgb();
            QVERIFY(ring >= 4);
        }

        // Without data only the explanation is drawn, in the placeholder colour.
        for (const int mode : {0, 1}) {
            ChartProbe chart;
            chart.setPalette(chartPalette(true));
            chart.resize(480, 220);
            chart.setHistory({}, scopeOf(mode));
            QImage image(chart.size(), QImage::Format_RGB32);
            chart.render(&image);
            const QRgb placeholder = chartPalette(true).color(QPalette::PlaceholderText).rgb();
            int found = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    found += image.pixel(x, y) == placeholder;
            QVERIFY(found > 20);
        }
    }
};

PV_REGISTER_TEST(ValueChartWidgetTest)
#include "ValueChartWidgetTest.moc"
