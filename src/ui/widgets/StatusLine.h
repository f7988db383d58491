#pragma once

#include <QSize>
#include <QWidget>

class QLabel;

namespace pv {

// Holds a word-wrapped label whose text changes often, such as the search
// dock's status, in a layout. The label is shown at the line's full size and
// the line has the label's size hints; but a new text reaches the layouts
// around only when it changes those hints. Every text a label is given lays
// out its window again otherwise, down to the main window's docks.
class StatusLine : public QWidget
{
    Q_OBJECT

public:
    // Takes the label in as its child.
    explicit StatusLine(QLabel *label, QWidget *parent = nullptr);
    ~StatusLine() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    // Tells the layouts around when the label's size hints have changed
    // since they last heard; true if so. The label's own request for a new
    // layout gets here through the event loop.
    bool followLabel();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Hints
    {
        QSize size;
        QSize minimum;
        int height = -1;
        bool operator==(const Hints &other) const
        {
            return size == other.size && minimum == other.minimum && height == other.height;
        }
    };
    Hints labelHints() const;

    QLabel *m_label;
    Hints m_hints;
};

} // namespace pv
