#include "ui/widgets/ActivationRepaint.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QEvent>
#include <QItemSelectionModel>
#include <QPalette>
#include <QRegion>

namespace pv {

ActivationRepaint::ActivationRepaint(QAbstractItemView *view)
    : QObject(view)
{
}

void ActivationRepaint::install(QAbstractItemView *view)
{
    if (!view || view->findChild<ActivationRepaint *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    // Installed after the view's own filter, so it sees the events first.
    view->viewport()->installEventFilter(new ActivationRepaint(view));
}

QRegion ActivationRepaint::selectedRowsInView(const QAbstractItemView *view)
{
    QRegion rows;
    const QItemSelectionModel *selection = view->selectionModel();
    const QWidget *viewport = view->viewport();
    // The current row shows the focus only while its window is active.
    const QModelIndex current = view->currentIndex();
    if (!current.isValid() && (!selection || !selection->hasSelection()))
        return rows;
    // Row by row from the top of the viewport down: as many steps as rows
    // in view, however many the model holds or the selection names.
    const int width = viewport->width();
    int y = 0;
    while (y < viewport->height()) {
        const QModelIndex index = view->indexAt(QPoint(0, y));
        if (!index.isValid())
            break;
        const QRect rect = view->visualRect(index);
        if (rect.bottom() < y)
            break;
        if ((selection && selection->rowIntersectsSelection(index.row(), index.parent()))
            || (index.row() == current.row() && index.parent() == current.parent()))
            rows += QRect(0, rect.top(), width, rect.height());
        y = rect.bottom() + 1;
    }
    return rows;
}

bool ActivationRepaint::onlySelectionDiffers(const QPalette &colors)
{
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::AlternateBase, QPalette::Text, QPalette::Window,
                                           QPalette::WindowText, QPalette::Button, QPalette::Dark, QPalette::Mid}) {
        if (colors.brush(QPalette::Active, role) != colors.brush(QPalette::Inactive, role))
            return false;
    }
    return true;
}

bool ActivationRepaint::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::WindowActivate && type != QEvent::WindowDeactivate)
        return QObject::eventFilter(watched, event);
    // No longer a view while it is being destroyed.
    const auto *view = qobject_cast<const QAbstractItemView *>(parent());
    if (!view || watched != view->viewport())
        return QObject::eventFilter(watched, event);
    QWidget *viewport = view->viewport();
    if (!onlySelectionDiffers(viewport->palette()))
        return QObject::eventFilter(watched, event);
    // What the viewport would pass on to the widgets in it (editors).
    for (QObject *child : viewport->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (widget && widget->isVisible() && !widget->isWindow())
            QCoreApplication::sendEvent(widget, event);
    }
    const QRegion rows = selectedRowsInView(view);
    if (!rows.isEmpty())
        viewport->update(rows);
    return true;
}

} // namespace pv
