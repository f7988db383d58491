#include "ui/widgets/ColorButton.h"

#include <QColorDialog>
#include <QEvent>
#include <QPainter>
#include <QPixmap>

namespace pv {

ColorButton::ColorButton(QWidget *parent)
    : QPushButton(parent)
{
    setIconSize(QSize(16, 16));
    updateSwatch();
    connect(this, &QPushButton::clicked, this, &ColorButton::chooseColor);
}

ColorButton::~ColorButton() = default;

void ColorButton::setColor(const QColor &color)
{
    if (!color.isValid() || color == m_color)
        return;
    m_color = color;
    updateSwatch();
}

void ColorButton::chooseColor()
{
    const QColor chosen = QColorDialog::getColor(m_color, this, tr("Label Border Colour"));
    if (!chosen.isValid() || chosen == m_color)
        return;
    m_color = chosen;
    updateSwatch();
    Q_EMIT colorChanged(m_color);
}

void ColorButton::updateSwatch()
{
    QPixmap swatch(16, 16);
    swatch.fill(Qt::transparent);
    {
        QPainter painter(&swatch);
        painter.setPen(palette().color(QPalette::Mid));
        painter.setBrush(m_color.isValid() ? QBrush(m_color) : QBrush(Qt::transparent));
        painter.drawRect(0, 0, 15, 15);
    }
    setIcon(QIcon(swatch));
    setText(m_color.isValid() ? m_color.name(QColor::HexRgb).toUpper() : tr("Choose..."));
}

void ColorButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateSwatch();
}

} // namespace pv
