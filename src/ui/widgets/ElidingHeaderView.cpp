#include "ui/widgets/ElidingHeaderView.h"

#include <QStyle>
#include <QStyleOptionHeader>

#include <algorithm>

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
    // What the section takes besides its title (padding, the sort arrow
    // where it shows), as the style counts it.
    const QSize whole = style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
    const int title = option.fontMetrics.horizontalAdvance(option.text);
    // The section's border is drawn inside it, and not counted there.
    const int besides = (orientation() == Qt::Horizontal ? whole.width() : whole.height()) - title + 2;
    if (width - besides >= title)
        return option.text;
    return option.fontMetrics.elidedText(option.text, textElideMode(), std::max(0, width - besides));
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
        option->text =
            shownTitle(logicalIndex, orientation() == Qt::Horizontal ? m_painted.width() : m_painted.height());
}

} // namespace pv
