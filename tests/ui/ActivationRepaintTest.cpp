#include "TestRegistry.h"

#include "ui/widgets/ActivationRepaint.h"

#include <QFocusEvent>
#include <QPaintEvent>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

using pv::ActivationRepaint;

// A window gaining or losing the focus, and its views the focus with it,
// repaints the selected rows and the current row in view of its item views,
// not all they show.
class ActivationRepaintTest : public QObject
{
    Q_OBJECT

    QRegion m_painted;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private Q_SLOTS:
    void repaintsTheSelectedRowsInViewAlone()
    {
        // Rows selected, the current row (-1 for none), and how many rows
        // are to be repainted.
        struct Case
        {
            QList<int> selected;
            int current;
            int inView;
        };
        const QList<Case> cases{{{}, -1, 0}, {{2}, -1, 1}, {{0, 4, 150}, -1, 2}, {{150}, -1, 0},
                                {{}, 3, 1},  {{3}, 3, 1},  {{2}, 7, 2},          {{150}, 160, 0}};
        QStandardItemModel model(200, 2);
        QTreeView view;
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::MultiSelection);
        view.resize(300, 200);
        // Rows made current stay out of view.
        view.setAutoScroll(false);
        ActivationRepaint::install(&view);
        ActivationRepaint::install(&view);
        QCOMPARE(view.findChildren<ActivationRepaint *>().size(), 1);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.viewport()->installEventFilter(this);
        for (const auto &[selected, current, inView] : cases) {
            view.selectionModel()->setCurrentIndex(current < 0 ? QModelIndex() : model.index(current, 0),
                                                   QItemSelectionModel::NoUpdate);
            view.clearSelection();
            for (int row : selected)
                view.selectionModel()->select(model.index(row, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
            QCoreApplication::processEvents();
            m_painted = QRegion();
            for (QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate}) {
                QEvent event(type);
                QCoreApplication::sendEvent(&view, &event);
                QCoreApplication::processEvents();
            }
            const QRegion rows = ActivationRepaint::selectedRowsInView(&view);
            QCOMPARE(rows.rectCount(), inView);
            if (current >= 0 && current < 10)
                QVERIFY(rows.contains(view.visualRect(model.index(current, 1))));
            for (int row : selected)
                if (row < 10)
                    QVERIFY(rows.contains(view.visualRect(model.index(row, 1))));
            QCOMPARE(m_painted, rows);
            // The focus the window takes away and gives back alike (a view
            // given the focus makes a row current where none was).
            m_painted = QRegion();
            for (QEvent::Type type : {QEvent::FocusOut, QEvent::FocusIn}) {
                QFocusEvent event(type, Qt::ActiveWindowFocusReason);
                QCoreApplication::sendEvent(&view, &event);
                QCoreApplication::processEvents();
            }
            QCOMPARE(m_painted, ActivationRepaint::selectedRowsInView(&view));
        }
    }
};

PV_REGISTER_TEST(ActivationRepaintTest)
#include "ActivationRepaintTest.moc"
