#include "ui/widgets/ActivationRepaint.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
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
    auto *filter = new ActivationRepaint(view);
    view->viewport()->installEventFilter(filter);
    view->installEventFilter(filter);
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
    const bool activation = type == QEvent::WindowActivate || type == QEvent::WindowDeactivate;
    const bool focus = type == QEvent::FocusIn || type == QEvent::FocusOut;
    if (!activation && !focus)
        return QObject::eventFilter(watched, event);
    // No longer a view while it is being destroyed.
    auto *view = qobject_cast<QAbstractItemView *>(parent());
    if (!view || watched != (activation ? view->viewport() : view)
        || !onlySelectionDiffers(view->viewport()->palette()))
        return QObject::eventFilter(watched, event);
    if (focus) {
        // Focus given to or taken back from another window or a popup; a
        // view without a current row picks one as it gains the focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if ((reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            || (type == QEvent::FocusIn && !view->currentIndex().isValid()))
            return QObject::eventFilter(watched, event);
        // As the view itself would, for input methods.
        if (type == QEvent::FocusIn)
            view->setAttribute(Qt::WA_InputMethodEnabled, view->currentIndex().flags().testFlag(Qt::ItemIsEditable));
    } else {
        // What the viewport would pass on to the widgets in it (editors).
        for (QObject *child : view->viewport()->children()) {
            auto *widget = qobject_cast<QWidget *>(child);
            if (widget && widget->isVisible() && !widget->isWindow())
                QCoreApplication::sendEvent(widget, event);
        }
    }
    if (focus) {
        // The frame around the viewport, as the view's own handling would.
        view->update(QRegion(view->rect()) - QRegion(view->contentsRect()));
    }
    const QRegion rows = selectedRowsInView(view);
    if (!rows.isEmpty())
        view->viewport()->update(rows);
    return true;
}

} // namespace pv
