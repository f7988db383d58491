#pragma once

#include <QList>
#include <QPixmap>
#include <QScrollBar>
#include <QStyleOptionSlider>

class QStyle;

namespace pv {

// A scroll bar that keeps the pictures of its last few looks and shows one
// again while the bar looks that way. An item view lays its scroll bars out
// again whenever it lays out its rows, and each time both bars are
// repainted; the style draws them with a dozen fills, each of them handed to
// helper threads once the bar is taller than a few rows. While the pointer
// is over the bar or its slider is held, it is painted as usual.
class CachedScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit CachedScrollBar(Qt::Orientation orientation, QWidget *parent = nullptr);
    ~CachedScrollBar() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Picture
    {
        QStyleOptionSlider look;
        const QStyle *style = nullptr;
        QPixmap pixmap;
    };
    static bool sameLook(const QStyleOptionSlider &a, const QStyleOptionSlider &b);

    QList<Picture> m_pictures; // the latest first
};

} // namespace pv
