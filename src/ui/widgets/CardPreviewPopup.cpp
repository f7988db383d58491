#include "ui/widgets/CardPreviewPopup.h"

#include "catalog/TcgdexClient.h"
#include "core/CardArtwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace pv {

namespace {

constexpr int maxPictureHeight = 210;
constexpr int frame = 4;
constexpr int gapAbove = 46;
constexpr int gapBelow = 16;

QScreen *screenFor(const QPoint &pointer)
{
    QScreen *screen = QGuiApplication::screenAt(pointer);
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

CardPreviewPopup::CardPreviewPopup(TcgdexClient *client, QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
    , m_client(client)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    if (client)
        connect(client, &TcgdexClient::imageReady, this, &CardPreviewPopup::onImageReady);
}

CardPreviewPopup::~CardPreviewPopup() = default;

QSize CardPreviewPopup::pictureBox(int availableHeight)
{
    int height = maxPictureHeight;
    if (availableHeight > 0)
        height = std::min(int(0.6 * availableHeight), maxPictureHeight);
    // A card is 63 mm wide and 88 mm high.
    return QSize(int(height * 63.0 / 88.0), height);
}

QPoint CardPreviewPopup::placement(const QPoint &pointer, const QSize &size, const QRect &available)
{
    const int w = size.width();
    const int h = size.height();
    int x = pointer.x() - w / 2;
    int y = pointer.y() - h - gapAbove;
    if (available.isEmpty())
        return QPoint(x, y);
    // The left and top edges win when the popup is larger than the screen.
    x = std::max(available.left(), std::min(x, available.right() - w));
    if (y < available.top())
        y = pointer.y() + gapBelow;
    y = std::max(available.top(), std::min(y, available.bottom() - h));
    return QPoint(x, y);
}

void CardPreviewPopup::previewImage(const QString &imageBase, const QPoint &globalPos)
{
    if (!m_client || imageBase.isEmpty()) {
        dismiss();
        return;
    }
    m_pointer = globalPos;
    if (imageBase == m_pendingBase && isVisible()) {
        place();
        return;
    }
    m_pendingBase = imageBase;
    m_highQualityShown = false;
    const QPixmap large = m_client->cachedImage(imageBase, 1);
    if (!large.isNull()) {
        m_highQualityShown = true;
        showPixmap(large);
        return;
    }
    m_client->fetchCardImage(imageBase, 1);
    showPixmap(m_client->cachedImage(imageBase, 0));
}

void CardPreviewPopup::dismiss()
{
    m_pendingBase.clear();
    m_pixmap = QPixmap();
    m_highQualityShown = false;
    hide();
}

void CardPreviewPopup::onImageReady(int, const QString &imageUrl, const QPixmap &pixmap)
{
    if (m_pendingBase.isEmpty() || pixmap.isNull() || m_highQualityShown)
        return;
    if (imageUrl == cardImageUrl(m_pendingBase, true)) {
        m_highQualityShown = true;
        showPixmap(pixmap);
    } else if (imageUrl == cardImageUrl(m_pendingBase, false) && !isVisible()) {
        showPixmap(pixmap);
    }
}

void CardPreviewPopup::showPixmap(const QPixmap &pixmap)
{
    if (pixmap.isNull()) {
        m_pixmap = QPixmap();
        hide();
        return;
    }
    const QScreen *screen = QGuiApplication::screenAt(m_pointer);
    const QSize box = pictureBox(screen ? screen->availableGeometry().height() : 0);
    m_pixmap = pixmap.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    resize(m_pixmap.size() + QSize(2 * frame, 2 * frame));
    place();
    show();
    update();
}

void CardPreviewPopup::place()
{
    const QScreen *screen = screenFor(m_pointer);
    move(placement(m_pointer, size(), screen ? screen->availableGeometry() : QRect()));
}

void CardPreviewPopup::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::ToolTipBase));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!m_pixmap.isNull())
        painter.drawPixmap(frame, frame, m_pixmap);
}

} // namespace pv
