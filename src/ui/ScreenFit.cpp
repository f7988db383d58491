#include "ui/ScreenFit.h"

#include <QApplication>
#include <QCursor>
#include <QDataStream>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace pv {

namespace {

// Marks a dialog fitted on its first show: shown again, it keeps the place
// the user gave it.
const char *const FittedProperty = "pvScreenFitted";
// The magic number that opens the bytes of QWidget::saveGeometry.
constexpr quint32 SavedGeometryMagic = 0x1D9D0CB;
// No window manager draws a frame this wide: a larger one is a measuring
// error (a window not mapped yet, an embedded window).
constexpr int LargestFrame = 100;

std::optional<QMargins> &assumedMargins()
{
    static std::optional<QMargins> margins;
    return margins;
}

std::optional<QRect> &assumedScreen()
{
    static std::optional<QRect> available;
    return available;
}

QPointer<ScreenFit> &watcher()
{
    static QPointer<ScreenFit> instance;
    return instance;
}

QMargins between(const QRect &outer, const QRect &inner)
{
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

bool plausible(const QMargins &margins)
{
    const int low = std::min({margins.left(), margins.top(), margins.right(), margins.bottom()});
    const int high = std::max({margins.left(), margins.top(), margins.right(), margins.bottom()});
    return !margins.isNull() && low >= 0 && high < LargestFrame;
}

// The frame the window system drew around a shown window; null margins
// while it has drawn none.
QMargins drawnFrame(const QWidget *window)
{
    if (!window || !window->isVisible() || !window->testAttribute(Qt::WA_WState_Created))
        return QMargins();
    const QMargins margins = between(window->frameGeometry(), window->geometry());
    return plausible(margins) ? margins : QMargins();
}

QRect availableAt(const QPoint &point, const QWidget *window)
{
    if (assumedScreen())
        return *assumedScreen();
    const QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = window->screen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

ScreenFit::ScreenFit(QObject *parent)
    : QObject(parent)
{
}

QRect ScreenFit::fitted(const QRect &outer, const QRect &available)
{
    const QSize size = outer.size().boundedTo(available.size());
    return QRect(QPoint(std::clamp(outer.x(), available.left(), available.right() + 1 - size.width()),
                        std::clamp(outer.y(), available.top(), available.bottom() + 1 - size.height())),
                 size);
}

void ScreenFit::fitWindow(QWidget *window, const QMargins &frame)
{
    if (window)
        place(window, window->geometry().marginsAdded(frame), frame);
}

void ScreenFit::fitOpeningSize(QWidget *window)
{
    const QScreen *screen = window ? window->screen() : nullptr;
    if (!screen)
        return;
    const QRect available = assumedScreen() ? *assumedScreen() : screen->availableGeometry();
    const QSize room = available.marginsRemoved(frameMargins(window)).size();
    const QSize smallest = window->minimumSizeHint().expandedTo(window->minimumSize());
    if (room.width() >= smallest.width() && room.height() >= smallest.height())
        window->resize(window->size().boundedTo(room));
}

void ScreenFit::place(QWidget *window, const QRect &outer, const QMargins &frame)
{
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QRect available = availableAt(outer.center(), window);
    if (available.isEmpty())
        return;
    QRect inside = fitted(outer, available);
    if (inside == outer)
        return;
    // Word-wrapped text asks for more height the narrower it is set: a
    // window cut shorter widens until its text fits again.
    const int height = inside.height() - frame.top() - frame.bottom();
    const int width = inside.width() - frame.left() - frame.right();
    if (height < outer.height() - frame.top() - frame.bottom() && window->hasHeightForWidth()
        && window->heightForWidth(width) > height) {
        int narrow = width;
        int wide = available.width() - frame.left() - frame.right();
        while (narrow < wide) {
            const int middle = narrow + (wide - narrow) / 2;
            if (window->heightForWidth(middle) > height)
                narrow = middle + 1;
            else
                wide = middle;
        }
        const int grown = wide - width;
        inside = fitted(inside.adjusted(-grown / 2, 0, grown - grown / 2, 0), available);
    }
    window->setGeometry(inside.marginsRemoved(frame));
}

QMargins ScreenFit::frameMargins(const QWidget *window, const QMargins &fallback)
{
    if (assumedMargins())
        return *assumedMargins();
    const QMargins own = drawnFrame(window);
    if (!own.isNull())
        return own;
    if (!fallback.isNull())
        return fallback;
    // Windows of one application get one kind of frame: the window this one
    // belongs to is asked first.
    QWidgetList others = QApplication::topLevelWidgets();
    if (window && window->parentWidget())
        others.prepend(window->parentWidget()->window());
    for (const QWidget *other : std::as_const(others)) {
        if (other == window || (other->windowFlags() & Qt::FramelessWindowHint))
            continue;
        const QMargins margins = drawnFrame(other);
        if (!margins.isNull())
            return margins;
    }
    const QStyle *style = window ? window->style() : QApplication::style();
    const int titleBar = style->pixelMetric(QStyle::PM_TitleBarHeight);
    return QMargins(5, titleBar + 5, 5, 5);
}

namespace {

// The frame and the client area recorded in bytes of QWidget::saveGeometry;
// false when the bytes are no such record.
bool readSavedGeometry(const QByteArray &geometry, QRect &frame, QRect &normal)
{
    QDataStream stream(geometry);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    stream >> magic >> major >> minor;
    if (magic != SavedGeometryMagic || major < 1)
        return false;
    stream >> frame >> normal;
    return stream.status() == QDataStream::Ok;
}

} // namespace

QMargins ScreenFit::savedFrameMargins(const QByteArray &geometry)
{
    QRect frame;
    QRect normal;
    if (!readSavedGeometry(geometry, frame, normal))
        return QMargins();
    const QMargins margins = between(frame, normal);
    return plausible(margins) ? margins : QMargins();
}

QSize ScreenFit::savedSize(const QByteArray &geometry)
{
    QRect frame;
    QRect normal;
    return readSavedGeometry(geometry, frame, normal) ? normal.size() : QSize();
}

void ScreenFit::setAssumedFrameMargins(std::optional<QMargins> margins)
{
    assumedMargins() = margins;
}

void ScreenFit::setAssumedScreen(std::optional<QRect> available)
{
    assumedScreen() = available;
}

void ScreenFit::watchApplication()
{
    if (!watcher() && qApp) {
        watcher() = new ScreenFit(qApp);
        qApp->installEventFilter(watcher());
    }
}

void ScreenFit::stopWatching()
{
    delete watcher();
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    // The show event arrives here before the dialog places itself: a dialog
    // fitted now opens where it was put.
    if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched)) {
        auto *dialog = static_cast<QWidget *>(watched);
        if (dialog->isWindow() && !dialog->property(FittedProperty).toBool()) {
            dialog->setProperty(FittedProperty, true);
            fitDialog(dialog);
        }
    }
    return QObject::eventFilter(watched, event);
}

// A dialog that fits the screen is left to Qt, which centres it over its
// window; one that does not is centred and fitted here.
void ScreenFit::fitDialog(QWidget *dialog)
{
    const QMargins frame = frameMargins(dialog);
    QRect outer = dialog->geometry().marginsAdded(frame);
    if (!dialog->testAttribute(Qt::WA_Moved)) {
        const QWidget *owner = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
        if (owner && owner->isVisible()) {
            outer.moveCenter(owner->frameGeometry().center());
        } else {
            outer.moveCenter(availableAt(QCursor::pos(), dialog).center());
        }
    }
    place(dialog, outer, frame);
}

} // namespace pv
