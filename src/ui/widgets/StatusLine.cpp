#include "ui/widgets/StatusLine.h"

#include <QEvent>
#include <QLabel>

namespace pv {

StatusLine::StatusLine(QLabel *label, QWidget *parent)
    : QWidget(parent)
    , m_label(label)
{
    m_label->setParent(this);
    m_label->move(0, 0);
    m_label->show();
    setSizePolicy(m_label->sizePolicy());
    m_hints = labelHints();
}

StatusLine::~StatusLine() = default;

QSize StatusLine::sizeHint() const
{
    return m_label->sizeHint();
}

QSize StatusLine::minimumSizeHint() const
{
    return m_label->minimumSizeHint();
}

bool StatusLine::hasHeightForWidth() const
{
    return m_label->hasHeightForWidth();
}

int StatusLine::heightForWidth(int width) const
{
    return m_label->heightForWidth(width);
}

StatusLine::Hints StatusLine::labelHints() const
{
    return {m_label->sizeHint(), m_label->minimumSizeHint(),
            m_label->hasHeightForWidth() ? m_label->heightForWidth(width()) : -1};
}

bool StatusLine::followLabel()
{
    if (sizePolicy() != m_label->sizePolicy())
        setSizePolicy(m_label->sizePolicy());
    const Hints hints = labelHints();
    if (hints == m_hints)
        return false;
    m_hints = hints;
    updateGeometry();
    return true;
}

bool StatusLine::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::LayoutRequest:
        // The label asks for one after each change of text; while the line
        // is hidden it cannot, so the line looks again when shown.
        followLabel();
        return true;
    case QEvent::Show:
        followLabel();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_label->resize(size());
    m_hints = labelHints();
}

} // namespace pv
