#pragma once

#include <QFont>
#include <QHash>
#include <QSize>
#include <QStyledItemDelegate>

class QStyle;

namespace pv {

// A styled delegate that remembers the size it measured for each text in
// each column, for views whose cells differ in nothing else: no fonts,
// pictures or check boxes of their own. A view whose columns are sized to
// their contents measures the rows in view again after every change of its
// rows, and each measure lays the text out anew. What was measured is
// forgotten when the view's font or style changes.
class SizeCachingDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit SizeCachingDelegate(QObject *parent = nullptr);
    ~SizeCachingDelegate() override;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    mutable QHash<QPair<int, QString>, QSize> m_sizes;
    mutable QFont m_font;
    mutable const QStyle *m_style = nullptr;
};

} // namespace pv
