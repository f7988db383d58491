#pragma once

#include <QCheckBox>

namespace pv {

// A check box whose text wraps onto further lines in a narrow column instead
// of being cut off at the column's edge. The indicator stays beside the first
// line.
class WrappingCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    explicit WrappingCheckBox(const QString &text, QWidget *parent = nullptr);

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Width of the indicator and the gap after it.
    int indicatorSpan() const;
    QSize indicatorSize() const;
};

} // namespace pv
