#include "ui/widgets/BinderPageWidget.h"

#include "catalog/TcgdexClient.h"
#include "core/CardArtwork.h"
#include "core/Currency.h"
#include "core/NameTranslator.h"

#include <QImage>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace pv {

namespace {

// Width over height of a card.
constexpr double CardAspect = 0.7159090909090909;
constexpr double PocketWidth = 63.0;
constexpr double PocketHeight = 88.0;
constexpr int MaxGrid = 8;

int pocketInset(const QRect &cell)
{
    return std::min(std::min(cell.width(), cell.height()) / 8, 10);
}

} // namespace

BinderPageWidget::BinderPageWidget(QWidget *parent)
    : QWidget(parent)
    , m_missingColor(200, 60, 60)
    , m_pocketColor(palette().color(QPalette::AlternateBase))
    , m_gridColor(palette().color(QPalette::Mid))
{
    setAttribute(Qt::WA_MouseTracking);
    setAutoFillBackground(false);
    // The theme's stylesheet gives the page its background.
    setAttribute(Qt::WA_StyledBackground);
}

void BinderPageWidget::setTcgdexClient(TcgdexClient *client)
{
    if (client == m_client)
        return;
    if (m_client)
        disconnect(m_client, nullptr, this, nullptr);
    m_client = client;
    if (m_client)
        connect(m_client, &TcgdexClient::imageReady, this, &BinderPageWidget::onImageReady);
}

void BinderPageWidget::setGrid(int columns, int rows)
{
    columns = std::clamp(columns, 1, MaxGrid);
    rows = std::clamp(rows, 1, MaxGrid);
    if (columns == m_columns && rows == m_rows)
        return;
    m_columns = columns;
    m_rows = rows;
    m_hovered = -1;
    updateGeometry();
    update();
}

void BinderPageWidget::setPockets(const QList<BinderCard> &cards)
{
    m_cards = cards;
    m_hovered = -1;
    m_urlToCard.clear();
    for (const BinderCard &card : std::as_const(m_cards)) {
        if (!card.image.isEmpty())
            m_urlToCard.insert(cardImageUrl(card.image, false), card.id);
    }
    if (m_client) {
        for (const BinderCard &card : std::as_const(m_cards)) {
            if (card.image.isEmpty())
                continue;
            const QString url = cardImageUrl(card.image, false);
            if (m_requested.contains(url))
                continue;
            if (m_client->cachedImage(card.image, 0).isNull()) {
                m_requested.insert(url);
                m_client->fetchCardImage(card.image, 0);
            }
        }
    }
    update();
}

void BinderPageWidget::setMissingColor(const QColor &color)
{
    if (color == m_missingColor)
        return;
    m_missingColor = color;
    update();
}

void BinderPageWidget::setPocketColor(const QColor &color)
{
    if (color == m_pocketColor)
        return;
    m_pocketColor = color;
    update();
}

void BinderPageWidget::setGridColor(const QColor &color)
{
    if (color == m_gridColor)
        return;
    m_gridColor = color;
    update();
}

QRect BinderPageWidget::pageRect() const
{
    if (m_columns < 1 || m_rows < 1)
        return QRect();
    const double aspect = (m_columns * PocketWidth) / (m_rows * PocketHeight);
    int w = width();
    int h = int(w / aspect);
    if (h > height()) {
        h = height();
        w = int(h * aspect);
    }
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

QRect BinderPageWidget::pocketRect(int index) const
{
    if (m_columns < 1 || m_rows < 1 || index < 0)
        return QRect();
    const QRect page = pageRect();
    const int row = index / m_columns;
    const int column = index % m_columns;
    const int left = page.x() + (page.width() * column) / m_columns;
    const int right = page.x() + (page.width() * (column + 1)) / m_columns - 1;
    const int top = page.y() + (page.height() * row) / m_rows;
    const int bottom = page.y() + (page.height() * (row + 1)) / m_rows - 1;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect BinderPageWidget::cardRect(int index) const
{
    const QRect cell = pocketRect(index);
    const int inset = pocketInset(cell);
    const QRect inner = cell.adjusted(inset, inset, -inset, -inset);
    int cw = inner.width();
    int ch = int(cw / CardAspect);
    if (ch > inner.height()) {
        ch = inner.height();
        cw = int(ch * CardAspect);
    }
    return QRect(inner.x() + (inner.width() - cw) / 2, inner.y() + (inner.height() - ch) / 2, cw, ch);
}

int BinderPageWidget::pocketAt(const QPoint &point) const
{
    for (int i = 0; i < m_cards.size(); ++i) {
        if (pocketRect(i).contains(point))
            return i;
    }
    return -1;
}

QSize BinderPageWidget::minimumSizeHint() const
{
    return QSize(m_columns * 94, m_rows * 123);
}

void BinderPageWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    const int i = pocketAt(event->position().toPoint());
    if (i < 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    Q_EMIT cardActivated(m_cards.at(i).id);
}

void BinderPageWidget::mouseMoveEvent(QMouseEvent *event)
{
    const int i = pocketAt(event->position().toPoint());
    if (i != m_hovered) {
        const int old = m_hovered;
        m_hovered = i;
        if (old >= 0)
            update(pocketRect(old));
        if (i >= 0)
            update(pocketRect(i));
        setCursor(i >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    QWidget::mouseMoveEvent(event);
}

void BinderPageWidget::leaveEvent(QEvent *event)
{
    if (m_hovered >= 0) {
        const int old = m_hovered;
        m_hovered = -1;
        update(pocketRect(old));
    }
    QWidget::leaveEvent(event);
}

void BinderPageWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    QFont textFont = font();
    textFont.setPointSizeF(std::max(textFont.pointSizeF() - 1.0, 6.5));

    if (m_cards.isEmpty())
        return;
    paintGrid(painter);

    for (int i = 0; i < m_cards.size(); ++i) {
        const QRect r = cardRect(i);
        if (r.width() <= 0 || r.height() <= 0)
            continue;
        const BinderCard &card = m_cards.at(i);
        const bool missing = card.owned < 1;
        const QPixmap picture = pocketImage(card);

        painter.save();
        QPainterPath path;
        path.addRoundedRect(QRectF(r), 4, 4);

        if (picture.isNull()) {
            painter.fillPath(path, m_pocketColor);
        } else {
            painter.setClipPath(path);
            if (missing)
                painter.setOpacity(0.45);
            painter.drawPixmap(r, picture);
            painter.setOpacity(1.0);
            painter.setClipping(false);
        }

        if (missing) {
            const double penWidth = std::max(r.width() / 36.0, 1.5);
            painter.setPen(QPen(m_missingColor, penWidth));
            painter.setBrush(Qt::NoBrush);
            const double half = penWidth / 2.0;
            painter.drawRoundedRect(QRectF(r).adjusted(half, half, -half, -half), 4, 4);
        } else if (card.owned > 1) {
            QFont badgeFont = textFont;
            badgeFont.setWeight(QFont::Bold);
            painter.setFont(badgeFont);
            const QString text = QStringLiteral("x%1").arg(card.owned);
            const QRect b = painter.fontMetrics().boundingRect(text);
            const QRect badge(r.right() - 8 - b.width(), r.top() + 4, b.width() + 8, b.height() + 4);
            QPainterPath badgePath;
            badgePath.addRoundedRect(QRectF(badge), 3, 3);
            painter.fillPath(badgePath, palette().color(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
            painter.drawText(badge, Qt::AlignCenter, text);
        }

        if (i == m_hovered)
            paintHoverCaption(painter, card, r, path, textFont);
        painter.restore();
    }
}

void BinderPageWidget::paintGrid(QPainter &painter) const
{
    const QRect p = pageRect();
    if (p.width() <= 1 || p.height() <= 1)
        return;
    const QColor color = m_gridColor.darker(200);
    const int t = std::min(std::max(pocketInset(pocketRect(0)) * 2 - 4, 1), 5);
    const int half = t / 2;
    for (int c = 1; c < m_columns; ++c)
        painter.fillRect(QRect(p.x() + (p.width() * c) / m_columns - half, p.top(), t, p.height()), color);
    for (int r = 1; r < m_rows; ++r)
        painter.fillRect(QRect(p.left(), p.y() + (p.height() * r) / m_rows - half, p.width(), t), color);
    painter.fillRect(QRect(p.left(), p.top(), p.width(), t), color);
    painter.fillRect(QRect(p.left(), p.bottom() + 1 - t, p.width(), t), color);
    painter.fillRect(QRect(p.left(), p.top(), t, p.height()), color);
    painter.fillRect(QRect(p.right() + 1 - t, p.top(), t, p.height()), color);
}

void BinderPageWidget::paintHoverCaption(QPainter &painter, const BinderCard &card, const QRect &rect,
                                         const QPainterPath &path, const QFont &font) const
{
    painter.save();
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    const int ls = metrics.lineSpacing();
    int b = std::min(std::max(int(rect.height() * 0.26), ls * 2 + 8), rect.height() / 2);
    if (b < ls + 4) {
        painter.restore();
        return;
    }

    // The strip holds as many lines as the text needs, growing up to half the
    // card when a narrow pocket would otherwise cut the name or the set.
    const int width = rect.width() - 8;
    int detailFrom = 0;
    const QStringList lines =
        captionLines(card, metrics, width, std::max((rect.height() / 2 - 6) / ls, 1), &detailFrom);
    b = std::min(std::max(b, int(lines.size()) * ls + 6), rect.height() / 2);
    const int shown = std::min(int(lines.size()), std::max((b - 6) / ls, 1));

    const QRect strip(rect.x(), rect.bottom() + 1 - b, rect.width(), b);
    painter.setClipPath(path);
    QLinearGradient gradient(strip.topLeft(), strip.bottomLeft());
    QColor window = palette().color(QPalette::Window);
    window.setAlpha(0);
    gradient.setColorAt(0.0, window);
    window.setAlpha(225);
    gradient.setColorAt(0.33, window);
    gradient.setColorAt(1.0, window);
    painter.fillRect(strip, gradient);

    const QPalette::ColorGroup detailGroup = card.owned < 1 ? QPalette::Disabled : QPalette::Active;
    int top = strip.bottom() - 3 - shown * ls + 1;
    for (int i = 0; i < shown; ++i, top += ls) {
        painter.setPen(palette().color(i < detailFrom ? QPalette::Active : detailGroup, QPalette::Text));
        painter.drawText(QRect(strip.x() + 4, top, width, ls), Qt::AlignCenter, lines.at(i));
    }
    painter.restore();
}

QStringList BinderPageWidget::captionLines(const BinderCard &card, const QFontMetrics &metrics, int width, int maxLines,
                                           int *detailFrom)
{
    QStringList lines;
    const QString name = NameTranslator::displayName(card.language, card.id, card.name);
    const QString title = QStringLiteral("%1  %2").arg(card.localId, name);
    QString price;
    if (card.value > 0)
        price = Currency::formatFromEur(card.value);
    else if (card.market > 0)
        price = Currency::formatFromUsd(card.market);
    const QString joined = price.isEmpty() ? title : title + QStringLiteral(" - ") + price;
    if (metrics.horizontalAdvance(joined) <= width || maxLines < 2) {
        // One line: the name gives way to the price, which is never shortened.
        const int room =
            std::max(width - (price.isEmpty() ? 0 : metrics.horizontalAdvance(QStringLiteral(" - ") + price)), 0);
        lines.append(price.isEmpty() ? metrics.elidedText(title, Qt::ElideRight, width)
                                     : metrics.elidedText(title, Qt::ElideRight, room) + QStringLiteral(" - ") + price);
    } else if (metrics.horizontalAdvance(title) <= width) {
        lines.append(title);
        if (!price.isEmpty())
            lines.append(price);
    } else {
        // Too narrow for number and name together: the name keeps a line of
        // its own and the number goes beside the price.
        lines.append(metrics.elidedText(name, Qt::ElideRight, width));
        lines.append(metrics.elidedText(price.isEmpty() ? card.localId : card.localId + QStringLiteral(" - ") + price,
                                        Qt::ElideRight, width));
    }
    const int titleLines = int(lines.size());
    if (detailFrom)
        *detailFrom = titleLines;
    if (titleLines >= maxLines)
        return lines.mid(0, maxLines);

    QStringList parts;
    const QString setName = NameTranslator::translateSetName(card.language, card.setId, card.setName);
    if (!setName.isEmpty())
        parts.append(setName);
    if (!card.rarity.isEmpty())
        parts.append(card.rarity);
    parts.append(card.owned < 1 ? tr("Missing") : tr("Owned: %n copy(s)", nullptr, card.owned));
    const QString separator = QStringLiteral("  \u00b7  ");
    QStringList details;
    for (const QString &part : std::as_const(parts)) {
        const QString candidate = details.isEmpty() ? part : details.last() + separator + part;
        if (!details.isEmpty() && metrics.horizontalAdvance(candidate) <= width)
            details.last() = candidate;
        else
            details.append(part);
    }
    // Beyond the room, the last line kept says what it can of the rest.
    const int room = maxLines - titleLines;
    if (details.size() > room) {
        const QString rest = details.mid(room - 1).join(separator);
        details = details.mid(0, room - 1);
        details.append(rest);
    }
    for (const QString &detail : std::as_const(details))
        lines.append(metrics.elidedText(detail, Qt::ElideRight, width));
    return lines;
}

QPixmap BinderPageWidget::pocketImage(const BinderCard &card)
{
    if (!m_client || card.image.isEmpty())
        return QPixmap();
    const QPixmap picture = m_client->cachedImage(card.image, 0);
    if (card.owned >= 1 || picture.isNull())
        return picture;
    const auto cached = m_faded.constFind(card.id);
    if (cached != m_faded.cend())
        return *cached;

    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter blend(&image);
        blend.setOpacity(0.5);
        blend.drawImage(0, 0, grey);
    }
    const QPixmap faded = QPixmap::fromImage(image);
    m_faded.insert(card.id, faded);
    return faded;
}

void BinderPageWidget::onImageReady(int, const QString &imageUrl, const QPixmap &)
{
    const auto it = m_urlToCard.constFind(imageUrl);
    if (it == m_urlToCard.cend())
        return;
    m_faded.remove(*it);
    update();
}

} // namespace pv
