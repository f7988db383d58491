#include "TestRegistry.h"

#include "ui/widgets/ActivationRepaint.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <memory>

using pv::ActivationRepaint;

namespace {

// Collects what the viewport is asked to paint.
class PaintProbe : public QObject
{
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

// A window gaining or losing the focus repaints the selected rows in view of
// its item views, not all they show.
class ActivationRepaintTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repaintsTheSelectedRowsInViewAlone()
    {
        struct Case
        {
            const char *name;
            QList<int> selected;
            int rowsRepainted;
        };
        const QList<Case> cases{
            {"nothing selected", {}, 0},
            {"one row in view", {2}, 1},
            {"two rows in view, one below it", {0, 4, 150}, 2},
            {"a row below the view", {150}, 0},
        };
        QStandardItemModel model(200, 2);
        for (int row = 0; row < model.rowCount(); ++row)
            model.setItem(row, 0, new QStandardItem(QStringLiteral("row %1").arg(row)));
        QTreeView view;
        view.setModel(&model);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setSelectionMode(QAbstractItemView::MultiSelection);
        view.resize(300, 200);
        ActivationRepaint::install(&view);
        ActivationRepaint::install(&view);
        QCOMPARE(view.findChildren<ActivationRepaint *>().size(), 1);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        PaintProbe probe;
        view.viewport()->installEventFilter(&probe);

        for (const Case &c : cases) {
            view.clearSelection();
            for (int row : c.selected)
                view.selectionModel()->select(model.index(row, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
            QCoreApplication::processEvents();
            probe.painted = QRegion();
            for (QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate}) {
                QEvent event(type);
                QCoreApplication::sendEvent(&view, &event);
                QCoreApplication::processEvents();
            }
            const QRegion rows = ActivationRepaint::selectedRowsInView(&view);
            QCOMPARE(rows.rectCount(), c.rowsRepainted);
            for (int row : c.selected) {
                const QRect shown = view.visualRect(model.index(row, 0));
                if (view.viewport()->rect().intersects(shown))
                    QVERIFY2(rows.contains(QRect(0, shown.top(), view.viewport()->width(), shown.height())), c.name);
            }
            QVERIFY2(probe.painted == rows, c.name);
        }
    }
};

PV_REGISTER_TEST(ActivationRepaintTest)
#include "ActivationRepaintTest.moc"
