#include "ui/widgets/SizeCachingDelegate.h"

#include <QApplication>
#include <QWidget>

namespace pv {

namespace {

// Enough for the values in view of a long session; past it the sizes are
// measured afresh.
constexpr qsizetype keptSizes = 20000;

} // namespace

SizeCachingDelegate::SizeCachingDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

SizeCachingDelegate::~SizeCachingDelegate() = default;

QSize SizeCachingDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    if (style != m_style || option.font != m_font || m_sizes.size() >= keptSizes) {
        m_sizes.clear();
        m_style = style;
        m_font = option.font;
    }
    const QPair<int, QString> key(index.column(), index.data(Qt::DisplayRole).toString());
    const auto found = m_sizes.constFind(key);
    if (found != m_sizes.constEnd())
        return *found;
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    m_sizes.insert(key, size);
    return size;
}

} // namespace pv
