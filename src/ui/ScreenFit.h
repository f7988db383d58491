#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>

#include <optional>

class QByteArray;
class QWidget;

namespace pv {

// Keeps windows on the screen they open on. A window is measured with its
// frame (title bar and borders): one larger than the screen's free area
// shrinks to it, one that reaches past an edge moves onto it, and one that
// lies on the screen already is left exactly where it is.
//
// Watching the application fits every dialog as it is first shown: centred
// over the window it belongs to, at its own size where that fits. GUI
// thread only.
class ScreenFit : public QObject
{
    Q_OBJECT

public:
    // The outer rectangle shrunk to the available area where it is larger and
    // moved onto it where it reaches past an edge; unchanged when inside.
    static QRect fitted(const QRect &outer, const QRect &available);

    // Fits a top-level window on the screen under its centre with the given
    // frame around it; nothing happens to a maximised or full-screen window.
    static void fitWindow(QWidget *window, const QMargins &frame);

    // Shrinks a window about to open for the first time to the free area of
    // its screen, frame included, leaving its place to the window system;
    // nothing happens where that area cannot hold the window's minimum.
    static void fitOpeningSize(QWidget *window);

    // The frame around a window: its own once the window system has drawn
    // one, else the fallback (the margins a previous session recorded, say),
    // else the frame of another visible window, else an estimate from the
    // style's title bar.
    static QMargins frameMargins(const QWidget *window, const QMargins &fallback = QMargins());

    // The frame margins recorded in bytes of QWidget::saveGeometry; null
    // margins when the bytes hold none or are not such a record.
    static QMargins savedFrameMargins(const QByteArray &geometry);
    // The size of the window (frame excluded) recorded there; an invalid
    // size when there is none.
    static QSize savedSize(const QByteArray &geometry);

    // Tests: the frame every window is taken to have (the offscreen platform
    // draws none); no value brings back the real measurement.
    static void setAssumedFrameMargins(std::optional<QMargins> margins);
    // Tests: the free area of the screen every window is taken to open on;
    // no value brings back the screens' own.
    static void setAssumedScreen(std::optional<QRect> available);

    // Fits every dialog of the application on its first show; once per
    // application, however often called.
    static void watchApplication();
    // Stops watching (tests that watch for a while).
    static void stopWatching();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ScreenFit(QObject *parent);
    static void fitDialog(QWidget *dialog);
    // Gives the window the client area of the outer rectangle fitted on
    // the screen under its centre, when that differs from it; a maximised
    // or full-screen window keeps its state.
    static void place(QWidget *window, const QRect &outer, const QMargins &frame);
};

} // namespace pv
