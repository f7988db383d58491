#include "ui/widgets/CachedScrollBar.h"

#include <QPainter>
#include <QStyle>

namespace pv {

namespace {

// Looks a bar goes back and forth between, as when a search is typed and
// taken back.
constexpr int keptPictures = 4;

} // namespace

CachedScrollBar::CachedScrollBar(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
{
}

CachedScrollBar::~CachedScrollBar() = default;

bool CachedScrollBar::sameLook(const QStyleOptionSlider &a, const QStyleOptionSlider &b)
{
    return a.rect == b.rect && a.state == b.state && a.direction == b.direction
        && a.palette.cacheKey() == b.palette.cacheKey() && a.fontMetrics == b.fontMetrics
        && a.orientation == b.orientation && a.minimum == b.minimum && a.maximum == b.maximum
        && a.sliderPosition == b.sliderPosition && a.sliderValue == b.sliderValue && a.singleStep == b.singleStep
        && a.pageStep == b.pageStep && a.upsideDown == b.upsideDown && a.subControls == b.subControls
        && a.activeSubControls == b.activeSubControls;
}

void CachedScrollBar::paintEvent(QPaintEvent *event)
{
    if (underMouse() || isSliderDown()) {
        QScrollBar::paintEvent(event);
        return;
    }
    // What the bar paints for itself when no part of it is pressed or hovered.
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    option.activeSubControls = QStyle::SC_None;
    const qreal ratio = devicePixelRatio();
    qsizetype found = 0;
    while (found < m_pictures.size()
           && !(m_pictures.at(found).style == style() && m_pictures.at(found).pixmap.devicePixelRatio() == ratio
                && sameLook(m_pictures.at(found).look, option)))
        ++found;
    if (found == m_pictures.size()) {
        QPixmap pixmap(size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
        painter.end();
        m_pictures.prepend({option, style(), pixmap});
        if (m_pictures.size() > keptPictures)
            m_pictures.removeLast();
    } else if (found > 0) {
        m_pictures.move(found, 0);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_pictures.constFirst().pixmap);
}

} // namespace pv
