#include "TestRegistry.h"

#include "ui/widgets/StatusSummary.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>

using pv::StatusSummary;

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
        StatusSummary messages(bar);
        messages.setBeside({beside});
        window.resize(640, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QString whole = QStringLiteral("Exchange rate kept at 1 USD = 0.92115 EUR of 30 Oct 2026; the service's "
                                             "1.30000 waits for a later day's answer. Priced 37 cards.");
        messages.show(whole, 0);
        const QString shown = bar->currentMessage();
        QVERIFY2(shown.endsWith(QChar(0x2026)) && whole.startsWith(shown.chopped(1)), qPrintable(shown));
        // Cut where a word ends, left of the widget beside it.
        QVERIFY2(!whole.at(shown.size() - 1).isLetterOrNumber() && !shown.at(shown.size() - 2).isSpace(),
                 qPrintable(shown));
        QVERIFY(bar->fontMetrics().horizontalAdvance(shown) <= beside->x() - 8);
        QCOMPARE(bar->toolTip(), whole);
        // A wider bar shows it whole.
        window.resize(1600, 200);
        QTRY_COMPARE(bar->currentMessage(), whole);
        QCOMPARE(bar->toolTip(), QString());

        // The tool tip goes with the message: when its time is up, or when
        // another takes the bar.
        window.resize(640, 200);
        QTRY_VERIFY(bar->currentMessage() != whole);
        messages.show(whole, 50);
        QCOMPARE(bar->toolTip(), whole);
        QTRY_COMPARE(bar->currentMessage(), QString());
        QCOMPARE(bar->toolTip(), QString());
        messages.show(whole, 0);
        bar->showMessage(QStringLiteral("Saved plain.tmk"));
        QCOMPARE(bar->toolTip(), QString());
        QVERIFY(!messages.isShowing());
    }
};

PV_REGISTER_TEST(StatusSummaryTest)
#include "StatusSummaryTest.moc"
