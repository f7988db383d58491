#include "ui/widgets/WheelGuard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace pv {

namespace {

bool isGuarded(const QWidget *widget)
{
    return qobject_cast<const QComboBox *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget);
}

} // namespace

WheelGuard::WheelGuard(QObject *parent)
    : QObject(parent)
{
}

void WheelGuard::install(QWidget *pane)
{
    if (!pane)
        return;
    auto *guard = pane->findChild<WheelGuard *>(QString(), Qt::FindDirectChildrenOnly);
    if (!guard)
        guard = new WheelGuard(pane);
    QList<QWidget *> widgets = pane->findChildren<QWidget *>();
    widgets.prepend(pane);
    for (QWidget *widget : std::as_const(widgets)) {
        if (!isGuarded(widget))
            continue;
        // A wheel would otherwise give the editor the focus before it arrives.
        if (widget->focusPolicy() == Qt::WheelFocus)
            widget->setFocusPolicy(Qt::StrongFocus);
        widget->removeEventFilter(guard);
        widget->installEventFilter(guard);
    }
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && !widget->hasFocus()) {
            // Ignored, the wheel goes on to the parents: the pane scrolls.
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pv
