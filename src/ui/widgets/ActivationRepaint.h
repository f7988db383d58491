#pragma once

#include <QObject>

class QAbstractItemView;
class QRegion;

namespace pv {

// An item view repaints all it shows when its window gains or loses the
// focus, though only its selected rows look different then (the style sheet
// mutes a selection in a window in the background). Over a large tree that
// whole repaint is most of what opening a dialog costs. Once installed, the
// view repaints the selected rows in view alone; everything else it draws
// is the same either way.
class ActivationRepaint : public QObject
{
    Q_OBJECT

public:
    // One per view, however often called.
    static void install(QAbstractItemView *view);
    // The part of the view's viewport showing selected rows, each as wide
    // as the viewport.
    static QRegion selectedRowsInView(const QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ActivationRepaint(QAbstractItemView *view);
};

} // namespace pv
