#pragma once

#include <QHeaderView>

namespace pv {

// A header whose titles end in an ellipsis where their section is too
// narrow, also under the application's style sheet, which would otherwise
// cut a title off mid-letter. The size hints stay those of the whole titles.
class ElidingHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit ElidingHeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);
    ~ElidingHeaderView() override;

    // The title as a section that wide shows it.
    QString shownTitle(int logicalIndex, int width) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const override;

private:
    mutable QRect m_painted; // the section being painted
};

} // namespace pv
