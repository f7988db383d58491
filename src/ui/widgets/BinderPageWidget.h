#pragma once

#include "collection/BinderCard.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

class QPainterPath;

namespace pv {

class TcgdexClient;

// One page of a virtual binder: a grid of pockets, each holding a card
// picture at the card's aspect ratio. Missing cards are faded and outlined,
// several copies get a count badge and the pocket under the mouse shows a
// caption. Pictures come from the card database client's cache; the widget
// asks for the ones it lacks and repaints when they arrive.
class BinderPageWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor missingColor READ missingColor WRITE setMissingColor)
    Q_PROPERTY(QColor pocketColor READ pocketColor WRITE setPocketColor)
    Q_PROPERTY(QColor gridColor READ gridColor WRITE setGridColor)

public:
    explicit BinderPageWidget(QWidget *parent = nullptr);

    // Not owned; null shows and fetches no pictures.
    void setTcgdexClient(TcgdexClient *client);
    // Each kept within 1 to 8.
    void setGrid(int columns, int rows);
    void setPockets(const QList<BinderCard> &cards);

    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    const QList<BinderCard> &pockets() const { return m_cards; }
    int hoveredPocket() const { return m_hovered; }

    QColor missingColor() const { return m_missingColor; }
    QColor pocketColor() const { return m_pocketColor; }
    QColor gridColor() const { return m_gridColor; }
    void setMissingColor(const QColor &color);
    void setPocketColor(const QColor &color);
    void setGridColor(const QColor &color);

    // Geometry of the page, in widget coordinates.
    QRect pageRect() const;
    QRect pocketRect(int index) const;
    QRect cardRect(int index) const;
    // The pocket whose cell holds the point, -1 when none.
    int pocketAt(const QPoint &point) const;

    QSize minimumSizeHint() const override;

    // The hover caption's lines for a card, at most maxLines of at most width
    // pixels: the number and name (the price beside them when it fits, else
    // on a line of its own), then the set, rarity and ownership, packed onto
    // as few lines as they fit. detailFrom receives the index of the first
    // of those lines.
    static QStringList captionLines(const BinderCard &card, const QFontMetrics &metrics, int width, int maxLines,
                                    int *detailFrom = nullptr);

Q_SIGNALS:
    void cardActivated(const QString &cardId);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void paintGrid(QPainter &painter) const;
    void paintHoverCaption(QPainter &painter, const BinderCard &card, const QRect &rect,
                           const QPainterPath &path, const QFont &font) const;
    QPixmap pocketImage(const BinderCard &card);
    void onImageReady(int requestId, const QString &imageUrl, const QPixmap &pixmap);

    QPointer<TcgdexClient> m_client;
    QList<BinderCard> m_cards;
    int m_columns = 3;
    int m_rows = 3;
    QColor m_missingColor;
    QColor m_pocketColor;
    QColor m_gridColor;
    int m_hovered = -1;
    QSet<QString> m_requested;
    QHash<QString, QString> m_urlToCard;
    QHash<QString, QPixmap> m_faded;
};

} // namespace pv
