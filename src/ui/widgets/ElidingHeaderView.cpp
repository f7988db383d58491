#include "ui/widgets/ElidingHeaderView.h"

#include <QStyle>
#include <QStyleOptionHeader>

namespace pv {

ElidingHeaderView::ElidingHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    setTextElideMode(Qt::ElideRight);
}

ElidingHeaderView::~ElidingHeaderView() = default;

QString ElidingHeaderView::shownTitle(int logicalIndex, int width) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    QHeaderView::initStyleOptionForIndex(&option, logicalIndex);
    option.rect = orientation() == Qt::Horizontal ? QRect(0, 0, width, height()) : QRect(0, 0, this->width(), width);
    const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    return option.fontMetrics.elidedText(option.text, textElideMode(), label.width());
}

void ElidingHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    m_painted = rect;
    QHeaderView::paintSection(painter, rect, logicalIndex);
    m_painted = QRect();
}

void ElidingHeaderView::initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const
{
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    // Only for painting: a section measuring its title wants it whole.
    if (m_painted.isValid())
        option->text = shownTitle(logicalIndex, orientation() == Qt::Horizontal ? m_painted.width() : m_painted.height());
}

} // namespace pv
