#pragma once

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

namespace pv {

class TcgdexClient;

// A card's picture beside the mouse pointer while the user hovers over a
// card: the small picture from the image cache at once, the large one as soon
// as it is there. It never takes the focus or the mouse.
class CardPreviewPopup : public QWidget
{
    Q_OBJECT
public:
    // The client may be null; the popup then never shows.
    explicit CardPreviewPopup(TcgdexClient *client, QWidget *parent = nullptr);
    ~CardPreviewPopup() override;

    // Shows or moves the preview of the card with this image base address
    // for the pointer at the global position.
    void previewImage(const QString &imageBase, const QPoint &globalPos);
    void dismiss();

    // The box a card picture is scaled into on a screen with this available
    // height (0 or less: no screen known).
    static QSize pictureBox(int availableHeight);
    // Where a popup of this size goes for the pointer: above it, or below it
    // near the top, kept inside the available area (empty: no screen).
    static QPoint placement(const QPoint &pointer, const QSize &size, const QRect &available);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void onImageReady(int requestId, const QString &imageUrl, const QPixmap &pixmap);
    void showPixmap(const QPixmap &pixmap);
    void place();

    QPointer<TcgdexClient> m_client;
    QString m_pendingBase;
    QPoint m_pointer;
    QPixmap m_pixmap;
    bool m_highQualityShown = false;
};

} // namespace pv
