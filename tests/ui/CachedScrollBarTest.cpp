#include "TestRegistry.h"

#include "ui/widgets/CachedScrollBar.h"

#include <QImage>
#include <QList>
#include <QScrollBar>
#include <QTest>

#include <functional>

using pv::CachedScrollBar;

// A scroll bar that paints its kept picture while it looks the same.
class CachedScrollBarTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paintsWhatAPlainBarPaints()
    {
        QScrollBar plain(Qt::Vertical);
        CachedScrollBar cached(Qt::Vertical);
        const auto same = [&] {
            return plain.grab().toImage().convertToFormat(QImage::Format_ARGB32)
                == cached.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        };
        // Each step changes the bar's look, or (the range beyond the view
        // again) only the range, which leaves the kept picture right.
        const QList<std::function<void(QScrollBar &)>> steps{
            [](QScrollBar &bar) { bar.resize(16, 200); },   [](QScrollBar &bar) { bar.setRange(0, 40); },
            [](QScrollBar &bar) { bar.setPageStep(20); },   [](QScrollBar &bar) { bar.setValue(30); },
            [](QScrollBar &bar) { bar.setRange(0, 4000); }, [](QScrollBar &bar) { bar.setValue(0); },
            [](QScrollBar &bar) { bar.setRange(0, 3000); }, [](QScrollBar &bar) { bar.setEnabled(false); },
            [](QScrollBar &bar) { bar.resize(16, 120); },
        };
        for (int step = 0; step < steps.size(); ++step) {
            steps.at(step)(plain);
            steps.at(step)(cached);
            QVERIFY2(same(), qPrintable(QString::number(step)));
        }
    }
};

PV_REGISTER_TEST(CachedScrollBarTest)
#include "CachedScrollBarTest.moc"
