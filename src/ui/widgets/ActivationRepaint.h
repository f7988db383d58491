#pragma once

#include <QObject>

class QAbstractItemView;
class QPalette;
class QRegion;

namespace pv {

// An item view repaints all it shows when its window gains or loses the
// focus, though only its selected rows and its current row look different
// then (the style sheet mutes a selection in a window in the background, and
// the focus shows only in the active window). Over a large tree that whole
// repaint is most of what opening a dialog costs. Once installed, the view
// repaints those rows in view alone, as long as its palette draws the rest
// alike in both states; otherwise it repaints in full as before. The same
// holds for the focus the view loses and takes back with its window.
class ActivationRepaint : public QObject
{
    Q_OBJECT

public:
    // One per view, however often called.
    static void install(QAbstractItemView *view);
    // The part of the view's viewport showing selected rows and the current
    // row, each as wide as the viewport.
    static QRegion selectedRowsInView(const QAbstractItemView *view);

protected:
    static bool onlySelectionDiffers(const QPalette &colors);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ActivationRepaint(QAbstractItemView *view);
    // While the view takes a focus change its window made: it draws nothing
    // then, the rows that show the change are drawn once it is taken.
    void holdUpdates(QAbstractItemView *view);
    void releaseUpdates();

    bool m_holding = false;
};

} // namespace pv
