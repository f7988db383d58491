#include "ui/widgets/WrappingCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace pv {

namespace {

constexpr int TextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

WrappingCheckBox::WrappingCheckBox(const QString &text, QWidget *parent)
    : QCheckBox(text, parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize WrappingCheckBox::indicatorSize() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return QSize(style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this),
                 style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this));
}

int WrappingCheckBox::indicatorSpan() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return indicatorSize().width() + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
}

bool WrappingCheckBox::hasHeightForWidth() const
{
    return true;
}

int WrappingCheckBox::heightForWidth(int width) const
{
    const int textWidth = std::max(width - indicatorSpan(), 1);
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, textWidth, 100000), TextFlags, this->text());
    return std::max(text.height(), indicatorSize().height()) + 2;
}

QSize WrappingCheckBox::sizeHint() const
{
    const int width = indicatorSpan() + fontMetrics().horizontalAdvance(text()) + 2;
    return QSize(width, heightForWidth(width));
}

QSize WrappingCheckBox::minimumSizeHint() const
{
    // The longest word sets the narrowest the box can be.
    int word = 0;
    for (const QString &part : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        word = std::max(word, fontMetrics().horizontalAdvance(part));
    const int width = indicatorSpan() + word + 2;
    return QSize(width, heightForWidth(width));
}

void WrappingCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QSize indicator = indicatorSize();
    const int lineHeight = fontMetrics().height();
    QStyleOptionButton box = option;
    box.rect = QRect(0, std::max((lineHeight - indicator.height()) / 2, 0) + 1, indicator.width(), indicator.height());
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);
    const QRect text(indicatorSpan(), 1, width() - indicatorSpan(), height() - 1);
    painter.drawItemText(text, TextFlags, option.palette, isEnabled(), this->text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = fontMetrics().boundingRect(text, TextFlags, this->text()).adjusted(-1, 0, 1, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace pv
