#include "TestRegistry.h"

#include "ui/widgets/StatusSummary.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>

// Messages of a window's status bar, fitted beside its permanent widgets.
class StatusSummaryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aMessageTooWideEndsAtAWordAndShowsWholeInTheToolTip()
    {
        QMainWindow window;
        QStatusBar *bar = window.statusBar();
        auto *beside = new QLabel(QStringLiteral("Prices from 1 Dec 2026 12:00"));
        bar->addPermanentWidget(beside);
        pv::StatusSummary messages(bar);
        messages.setBeside({beside});
        window.resize(640, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString whole = QStringLiteral("Exchange rate kept at 1 USD = 0.92115 EUR of 30 Oct 2026; the service's "
                                             "1.30000 waits for a later day's answer.");
        messages.show(whole, 50);
        // Cut where a word ends, left of the widget beside it.
        const QString shown = bar->currentMessage();
        QVERIFY2(shown.endsWith(u'\u2026') && whole.startsWith(shown.chopped(1))
                     && !whole.at(shown.size() - 1).isLetterOrNumber(),
                 qPrintable(shown));
        QVERIFY(bar->fontMetrics().horizontalAdvance(shown) <= beside->x() - 8);
        QCOMPARE(bar->toolTip(), whole);
        // Nor is a figure left without what it counts.
        const QString counts = QStringLiteral("Priced 25 of 29 cards; 4 came back without a price.");
        QCOMPARE(pv::StatusSummary::fitted(counts, {}, bar->fontMetrics(),
                                           bar->fontMetrics().horizontalAdvance(counts.left(27))),
                 QStringLiteral("Priced 25 of 29 cards\u2026"));
        // Its tool tip goes with it, when its time is up or another message comes.
        QTRY_COMPARE(bar->currentMessage(), QString());
        QCOMPARE(bar->toolTip(), QString());
        messages.show(whole, 0);
        bar->showMessage(QStringLiteral("Saved plain.tmk"));
        QCOMPARE(bar->toolTip(), QString());
        // A wider bar shows it whole.
        messages.show(whole, 0);
        window.resize(1600, 200);
        QTRY_COMPARE(bar->currentMessage(), whole);
        QCOMPARE(bar->toolTip(), QString());
    }
};

PV_REGISTER_TEST(StatusSummaryTest)
#include "StatusSummaryTest.moc"
