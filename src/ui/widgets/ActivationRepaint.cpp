#include "ui/widgets/ActivationRepaint.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QPalette>
#include <QRegion>
#include <QTimer>

#include <utility>

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
    // The application announces a focus change once the widgets took it.
    connect(qApp, &QApplication::focusChanged, filter, &ActivationRepaint::releaseUpdates);
}

void ActivationRepaint::holdUpdates(QAbstractItemView *view)
{
    m_holding = true;
    view->setAttribute(Qt::WA_UpdatesDisabled, true);
    view->viewport()->setAttribute(Qt::WA_UpdatesDisabled, true);
    // Should no announcement follow, the next turn of the event loop ends it.
    QTimer::singleShot(0, this, &ActivationRepaint::releaseUpdates);
}

void ActivationRepaint::releaseUpdates()
{
    if (!std::exchange(m_holding, false))
        return;
    auto *view = qobject_cast<QAbstractItemView *>(parent());
    if (!view)
        return;
    view->setAttribute(Qt::WA_UpdatesDisabled, false);
    view->viewport()->setAttribute(Qt::WA_UpdatesDisabled, false);
    // The frame around the viewport, and the rows the focus marks.
    view->update(QRegion(view->rect()) - QRegion(view->contentsRect()));
    const QRegion rows = selectedRowsInView(view);
    if (!rows.isEmpty())
        view->viewport()->update(rows);
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
    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        auto *view = qobject_cast<QAbstractItemView *>(parent());
        if (view && watched == view && !m_holding
            && static_cast<QFocusEvent *>(event)->reason() == Qt::ActiveWindowFocusReason && view->updatesEnabled()
            && view->viewport()->updatesEnabled() && onlySelectionDiffers(view->viewport()->palette()))
            holdUpdates(view);
        return QObject::eventFilter(watched, event);
    }
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
