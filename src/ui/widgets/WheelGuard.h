#pragma once

#include <QObject>

class QWidget;

namespace pv {

// Keeps the mouse wheel for scrolling: the combo boxes and spin boxes below a
// pane take the wheel only while they have the keyboard focus, so turning it
// over one the user has not clicked scrolls the pane around it instead of
// changing the value. Such an editor no longer takes the focus from the
// wheel either; a click or Tab gives it.
class WheelGuard : public QObject
{
    Q_OBJECT

public:
    // Guards every combo box and spin box below the pane (the pane itself
    // included) that exists now; one guard per pane, however often called.
    static void install(QWidget *pane);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WheelGuard(QObject *parent);
};

} // namespace pv
