// Paints the value chart of ten years of weekly points (520 weeks) stacked
// over 13 series (twelve sets and the folded rest), with a week and a set
// hovered, at the size of the dock, of a wide dock and of a full screen; and
// the same weeks as a single total line.
// Target: under 16 ms a paint (one frame). Exits with 1 when a target is missed.
#include "collection/ValueHistory.h"
#include "core/CardKeys.h"
#include "ui/widgets/ValueChartWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

using namespace pv;

namespace {

constexpr int weekCount = 520;
constexpr int setSeries = 12;
constexpr int firstBreakdown = 40;
constexpr int paints = 60;
constexpr double targetMs = 16.0;

// Processor time of the whole process (painting may use Qt's worker threads),
// so that other work on a busy machine does not count.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

ValueHistory::ChartData tenYears()
{
    ValueHistory::ChartData data;
    for (int k = 0; k <= setSeries; ++k) {
        ValueHistory::Series s;
        s.key = k < setSeries ? setKey(Language::English, QStringLiteral("set%1").arg(k)) : QString();
        s.label = k < setSeries ? QStringLiteral("EN / Set %1").arg(k) : QStringLiteral("Other (30 sets)");
        data.series.append(s);
    }
    for (int j = 0; j < weekCount; ++j) {
        HistoryPoint p;
        p.date = QDate(2016, 1, 4).addDays(7 * j);
        p.cards = 400 + j;
        for (int k = 0; k <= setSeries; ++k) {
            const double value =
                j < firstBreakdown ? 0.0 : (60.0 + 9 * k) * (1.0 + 0.3 * std::sin((j + 17 * k) / 23.0)) + j * 0.4;
            data.series[k].values.append(value);
            p.totalEur += value;
            if (value > 0)
                p.sets.insert(setKey(Language::English, QStringLiteral("set%1").arg(k)), {value, 10});
        }
        if (j < firstBreakdown)
            p.totalEur = 500.0 + j * 3;
        data.points.append(p);
    }
    data.firstBreakdownIndex = firstBreakdown;
    return data;
}

bool paintAt(ValueChartWidget &chart, const QSize &size, const char *what)
{
    chart.resize(size);
    // Hover the newest week near the top of the stack, as a user reading it would.
    const QPointF at(size.width() - 20, size.height() * 0.3);
    QMouseEvent move(QEvent::MouseMove, at, chart.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&chart, &move);

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    chart.render(&image); // warm-up: fonts and glyph caches
    QList<double> wall;
    QList<double> cpu;
    QElapsedTimer clock;
    for (int i = 0; i < paints; ++i) {
        const double cpuStart = cpuMs();
        clock.start();
        chart.render(&image);
        wall.append(clock.nsecsElapsed() / 1e6);
        cpu.append(cpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = cpu.at(cpu.size() / 2);
    const bool ok = median < targetMs;
    std::printf("paint %4dx%-4d %s: processor median %6.2f ms, worst %6.2f ms; "
                "wall median %6.2f ms  (target < %.0f ms) %s\n",
                size.width(), size.height(), what, median, cpu.last(),
                wall.at(wall.size() / 2), targetMs, ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const ValueHistory::ChartData data = tenYears();
    ValueChartWidget chart;
    chart.setHistory(data, ChartScope());
    const char *stacked = "520 weeks x 13 series";
    bool ok = paintAt(chart, QSize(480, 220), stacked);
    ok = paintAt(chart, QSize(1200, 400), stacked) && ok;
    ok = paintAt(chart, QSize(1920, 1000), stacked) && ok;

    // The same weeks as one filled total line with a marker on every week.
    ValueHistory::ChartData totalOnly = data;
    totalOnly.series.clear();
    totalOnly.firstBreakdownIndex = -1;
    ValueChartWidget totalChart;
    totalChart.setHistory(totalOnly, ChartScope());
    ok = paintAt(totalChart, QSize(1200, 400), "520 weeks, total line ") && ok;
    return ok ? 0 : 1;
}
